// A plain description of a GIF file at index level, shared by the test
// oracles (giflib, ImageMagick), the crafted-stream builder, the fuzz targets
// and the benchmark.  Pictures are compared in this form, whichever decoder
// produced them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace giforacle {

struct Rgb {
    uint8_t R = 0, G = 0, B = 0;
    bool operator==(const Rgb&) const = default;
};

struct Frame {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Interlaced = false;
    std::vector<Rgb> LocalPalette;  // empty: the frame uses the global table
    std::vector<uint8_t> Indices;   // Width * Height, rows top to bottom
    bool HasControl = false;        // a graphic control extension precedes it
    int Disposal = 0;
    int Delay = 0;
    int Transparent = -1;           // -1: no transparent index
};

// Gives the frame a graphic control extension with these values.
inline Frame& Control(Frame& f, int disposal, int delay, int transparent = -1) {
    f.HasControl = true;
    f.Disposal = disposal;
    f.Delay = delay;
    f.Transparent = transparent;
    return f;
}

struct Picture {
    int Width = 0, Height = 0;
    int Background = 0;
    std::vector<Rgb> GlobalPalette;  // empty: no global table
    int LoopCount = -1;              // -1: no NETSCAPE2.0 loop extension
    int LoopFrame = 0;               // the frame whose extensions hold it
    std::string Comment;             // empty: no comment extension
    std::vector<Frame> Frames;

    const std::vector<Rgb>& ActivePalette(const Frame& f) const {
        return f.LocalPalette.empty() ? GlobalPalette : f.LocalPalette;
    }
};

// Bits a table of `count` entries needs in a GIF file (1 ... 8).
int TableBits(size_t count);

// Distinct colours, so that equal RGB means equal index.
std::vector<Rgb> DistinctPalette(size_t count, uint32_t seed);

// Deterministic index images of the three benchmark/corpus classes.
std::vector<uint8_t> PhotoLike(int width, int height, int colors, uint32_t seed);
std::vector<uint8_t> LineArt(int width, int height, int colors, uint32_t seed);
std::vector<uint8_t> Noise(int width, int height, int colors, uint32_t seed);

// Rows of a frame in the order an interlaced GIF stores them.
std::vector<int> InterlacedRowOrder(int height);

}  // namespace giforacle
