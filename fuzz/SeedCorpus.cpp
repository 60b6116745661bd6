// Writes the fuzz targets' seed corpus (fuzz/seeds/): small files from the
// test corpus for the loaders, the optimiser's test animations, a few
// encoder inputs, and image data sections (giflib's and hand-made ones) for
// the decoder.
//   build-fuzz/fuzz/fuzz_seeds fuzz/seeds
#include <filesystem>
#include <fstream>
#include <iostream>

#include "AnimationCorpus.h"
#include "Corpus.h"
#include "CraftedStream.h"
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
    const fs::path optimize = fs::path(argv[1]) / "optimize", decode = fs::path(argv[1]) / "decode";
    fs::create_directories(load);
    fs::create_directories(encode);
    fs::create_directories(optimize);
    fs::create_directories(decode);
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
    // The decoder's input: flags (bit 0 interlaced), width - 1, height - 1,
    // fill, then one frame's image data.
    auto frameSeed = [&](const std::string& name, const giforacle::Frame& f, std::span<const uint8_t> data) {
        std::vector<uint8_t> bytes{uint8_t(f.Interlaced ? 1 : 0), uint8_t(f.Width - 1), uint8_t(f.Height - 1),
                                   uint8_t(f.Transparent >= 0 ? f.Transparent : 0)};
        bytes.insert(bytes.end(), data.begin(), data.end());
        if (bytes.size() <= kMaxSeed) Write(decode / (name + ".bin"), bytes);
    };
    for (const auto& c : giforacle::GeneratedCorpus()) {
        for (size_t i = 0; i < c.Image.Frames.size(); ++i) {
            const giforacle::Frame& f = c.Image.Frames[i];
            if (f.Width > 256 || f.Height > 255) continue;
            const int bits = giforacle::TableBits(c.Image.ActivePalette(f).size());
            frameSeed(c.Name + "_" + std::to_string(i), f,
                      giforacle::GiflibEncodeImageData(f.Indices, f.Width, f.Height, bits, f.Interlaced));
        }
    }
    // Code streams giflib never writes.
    giforacle::Frame row;
    row.Width = 200;
    row.Height = 3;
    const std::vector<uint8_t> px = giforacle::Noise(200, 3, 4, 7);
    struct Crafted {
        const char* Name;
        giforacle::LzwOptions Options;
        int Block;
    };
    giforacle::LzwOptions deferred, everyCode, sizeOne, noEnd;
    deferred.MinCodeSize = everyCode.MinCodeSize = noEnd.MinCodeSize = 2;
    deferred.Clear = giforacle::ClearPolicy::Deferred;
    everyCode.Clear = giforacle::ClearPolicy::Early;
    everyCode.ClearEvery = 1;
    sizeOne.MinCodeSize = 1;
    noEnd.EndCode = false;
    const Crafted crafted[] = {{"deferred_clear", deferred, 255}, {"clear_every_code", everyCode, 255},
                               {"code_size_1", sizeOne, 255},      {"no_end_code", noEnd, 255},
                               {"one_byte_blocks", noEnd, 1}};
    for (const auto& c : crafted) {
        std::vector<uint8_t> pixels = px;
        if (c.Options.MinCodeSize == 1)
            for (auto& p : pixels) p &= 1;
        const giforacle::LzwCodes codes = giforacle::LzwEncode(pixels, c.Options);
        frameSeed(c.Name, row, giforacle::ImageData(c.Options.MinCodeSize, giforacle::SubBlocks(codes.Bytes, c.Block)));
    }
    giforacle::CodePacker ring;
    for (unsigned code : {256u, 0u, 260u, 259u, 260u, 259u, 257u}) ring.Put(code, 9);
    frameSeed("table_ring", row, giforacle::ImageData(8, giforacle::SubBlocks(ring.Finish())));
    return 0;
}
