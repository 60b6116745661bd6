// Comparisons at index level; each returns "" when equal, else the first
// difference in words, for test failure messages.
#pragma once

#include <string>
#include <vector>

#include "GifModel.h"
#include "ImageMagickOracle.h"

namespace giforacle {

std::string DiffFrame(const Frame& expected, const Frame& actual);
// Screen, global table, loop, and every frame (geometry, tables, control
// extension, indices).
std::string DiffPictures(const Picture& expected, const Picture& actual);
// Indices seen through the active tables against a decoder that gives RGBA:
// a transparent index must come out with alpha 0, any other index as its
// table colour.
std::string DiffAgainstRgba(const Picture& picture, const std::vector<RgbaFrame>& frames);

}  // namespace giforacle
