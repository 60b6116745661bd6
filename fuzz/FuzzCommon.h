// Shared by the GIF fuzz targets: a stop that libFuzzer records as a crash,
// with the reason on stderr.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gif/GIFImage.h"

namespace fuzzgif {

[[noreturn]] inline void Fail(const std::string& why) {
    std::fprintf(stderr, "fuzz check failed: %s\n", why.c_str());
    std::abort();
}

// Bounds a frame's and a picture's pixel stores, so that an input cannot
// ask for gigabytes.
inline void LimitFrames() {
    gif::GIFImageMaxFramePixels = uint64_t{1} << 18;
    gif::GIFImageMaxPicturePixels = uint64_t{1} << 20;
}

}  // namespace fuzzgif
