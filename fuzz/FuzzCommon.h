// Shared by the GIF fuzz targets on the picture classes: a stop that
// libFuzzer records as a crash, with the reason on stderr, and bounds on the
// pixel stores.
#pragma once

#include "FuzzCheck.h"
#include "gif/GIFImage.h"

namespace fuzzgif {

// Bounds a frame's and a picture's pixel stores, so that an input cannot
// ask for gigabytes.
inline void LimitFrames() {
    gif::GIFImageMaxFramePixels = uint64_t{1} << 18;
    gif::GIFImageMaxPicturePixels = uint64_t{1} << 20;
}

}  // namespace fuzzgif
