#include "ImageMagickOracle.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace giforacle {

namespace {

namespace fs = std::filesystem;

// Runs a shell command; returns its exit status and what it wrote to stdout.
int Run(const std::string& command, std::string& out) {
    out.clear();
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "giforacle-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace

bool ImageMagickAvailable() {
    std::string out;
    return Run("convert -version 2>/dev/null", out) == 0 && out.find("ImageMagick") != std::string::npos;
}

ImageMagickResult ImageMagickDecode(std::span<const uint8_t> bytes) {
    ImageMagickResult result;
    ScratchDir dir;
    if (dir.Path().empty()) {
        result.Error = "no scratch directory";
        return result;
    }
    fs::path in = dir.Path() / "in.gif", raw = dir.Path() / "out.rgba", err = dir.Path() / "err.txt";
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const std::string env = "MAGICK_THREAD_LIMIT=1 ";
    std::string geometry, ignored;
    int rc1 = Run(env + "identify -format '%w %h %X %Y\\n' '" + in.string() + "' 2>'" + err.string() + "'",
                  geometry);
    std::string err1 = ReadFile(err);
    int rc2 = Run(env + "convert '" + in.string() + "' -depth 8 'rgba:" + raw.string() + "' 2>'" +
                      err.string() + "'",
                  ignored);
    std::string err2 = ReadFile(err);
    result.Error = err1 + err2;
    std::istringstream lines(geometry);
    std::string data = ReadFile(raw);
    size_t pos = 0;
    RgbaFrame f;
    while (lines >> f.Width >> f.Height >> f.Left >> f.Top) {
        size_t n = size_t(f.Width) * f.Height * 4;
        if (pos + n > data.size()) break;
        f.Rgba.assign(data.begin() + ptrdiff_t(pos), data.begin() + ptrdiff_t(pos + n));
        pos += n;
        result.Frames.push_back(f);
    }
    result.Ok = rc1 == 0 && rc2 == 0 && result.Error.empty() && pos == data.size();
    return result;
}

}  // namespace giforacle
