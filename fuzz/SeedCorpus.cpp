// Writes the fuzz targets' seed corpus (fuzz/seeds/): small files from the
// test corpus for the loaders, the optimiser's test animations, and a few
// encoder inputs.
//   build-fuzz/fuzz/fuzz_seeds fuzz/seeds
#include <filesystem>
#include <fstream>
#include <iostream>

#include "AnimationCorpus.h"
#include "Corpus.h"
#include "GifModel.h"
#include "GiflibOracle.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seeds DIRECTORY\n";
        return 2;
    }
    const fs::path load = fs::path(argv[1]) / "load", encode = fs::path(argv[1]) / "encode";
    const fs::path optimize = fs::path(argv[1]) / "optimize";
    fs::create_directories(load);
    fs::create_directories(encode);
    fs::create_directories(optimize);
    constexpr size_t kMaxSeed = 4096;
    for (const auto& c : giforacle::GeneratedCorpus()) {
        std::vector<uint8_t> file = giforacle::GiflibEncode(c.Image);
        if (file.size() <= kMaxSeed) Write(load / (c.Name + ".gif"), file);
    }
    for (const auto& c : giforacle::CraftedCorpus()) {
        // A few cuts are enough: the fuzzer makes more.
        if (c.Cut && c.Bytes.size() % 50 != 0) continue;
        if (c.Bytes.size() <= kMaxSeed) Write(load / (c.Name + ".gif"), c.Bytes);
    }
    for (const auto& c : gifopt::AnimationCorpus()) {
        std::vector<uint8_t> file = giforacle::GiflibEncode(c.Picture);
        if (file.size() <= kMaxSeed) Write(optimize / (c.Name + ".gif"), file);
    }
    struct EncodeSeed {
        const char* Name;
        uint8_t Flags, WidthMinus1;
        int Kind, Pixels;
    };
    const EncodeSeed seeds[] = {{"photo_8bit", 7 << 2, 31, 0, 32 * 24},  {"line_4bit_interlaced", 3 << 2 | 1, 19, 1, 20 * 9},
                                {"noise_2bit_rle", 1 << 2 | 2, 15, 2, 16 * 16}, {"noise_1bit", 0, 7, 2, 8 * 3},
                                {"run_8bit_rle", 7 << 2 | 2, 63, 3, 64 * 40}};
    for (const auto& s : seeds) {
        int w = s.WidthMinus1 + 1, h = s.Pixels / w, colors = 1 << (((s.Flags >> 2) & 7) + 1);
        std::vector<uint8_t> px = s.Kind == 0   ? giforacle::PhotoLike(w, h, colors, 1)
                                  : s.Kind == 1 ? giforacle::LineArt(w, h, colors, 2)
                                  : s.Kind == 2 ? giforacle::Noise(w, h, colors, 3)
                                                : std::vector<uint8_t>(size_t(w * h), 5);
        std::vector<uint8_t> bytes{s.Flags, s.WidthMinus1};
        bytes.insert(bytes.end(), px.begin(), px.end());
        Write(encode / (std::string(s.Name) + ".bin"), bytes);
    }
    return 0;
}
