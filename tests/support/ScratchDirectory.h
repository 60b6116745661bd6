// A scratch directory for a test, removed with everything in it; and one
// that is the working directory while it lives (the programs keep their files
// relative to the directory they were started in).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <gtest/gtest.h>

namespace testsupport {

class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& prefix = "scratch") {
        std::string pattern = testing::TempDir() + prefix + "-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
        else
            ADD_FAILURE() << "cannot make a scratch directory from " << pattern;
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    void WriteFile(const std::filesystem::path& relative, const std::string& contents) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative, std::ios::binary) << contents;
    }
    void Link(const std::filesystem::path& relative, const std::filesystem::path& target) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::filesystem::create_symlink(target, path_ / relative);
    }

private:
    std::filesystem::path path_;
};

// Enters the scratch directory; the directory the test was in comes back
// before the scratch directory goes.
class ScratchWorkingDirectory : public ScratchDirectory {
public:
    explicit ScratchWorkingDirectory(const std::string& prefix) : ScratchDirectory(prefix) {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(Path());
    }
    ~ScratchWorkingDirectory() {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }

private:
    std::filesystem::path previous_;
};

}  // namespace testsupport
