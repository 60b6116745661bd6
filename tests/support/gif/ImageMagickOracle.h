// ImageMagick as a second independent decoder, through its command-line
// tools.  It gives colours, not indices: each frame at its own size, RGBA.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "GifModel.h"

namespace giforacle {

struct RgbaFrame {
    int Width = 0, Height = 0, Left = 0, Top = 0;
    std::vector<uint8_t> Rgba;
};

struct ImageMagickResult {
    bool Ok = false;  // the tools ran and reported no error
    std::string Error;
    std::vector<RgbaFrame> Frames;
};

bool ImageMagickAvailable();
ImageMagickResult ImageMagickDecode(std::span<const uint8_t> bytes);

}  // namespace giforacle
