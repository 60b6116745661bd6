// giflib as an independent encoder and decoder for tests and benchmarks,
// through its public API only, in memory.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "GifModel.h"

namespace giforacle {

// Writes the picture with giflib's encoder (GIF89a when it has extensions).
// Throws std::runtime_error with giflib's message when giflib refuses.
std::vector<uint8_t> GiflibEncode(const Picture& picture);

// Only the image-data section (code size byte, sub-blocks, terminator) that
// giflib writes for these indices with a table of 2^bits entries.
std::vector<uint8_t> GiflibEncodeImageData(std::span<const uint8_t> indices, int width, int height,
                                           int bits, bool interlaced = false);

struct GiflibResult {
    Picture Image;
    bool Ok = false;           // the whole stream up to the trailer was accepted
    std::string Error;         // giflib's message when not Ok
    // Per frame: which rows giflib delivered (a frame cut short has gaps).
    std::vector<std::vector<bool>> RowsDone;
};

// Decodes block by block, keeping what was decoded before an error.
GiflibResult GiflibDecode(std::span<const uint8_t> bytes);

// Just the pixels of the first frame, for benchmarks (no bookkeeping).
bool GiflibDecodeFirstFrame(std::span<const uint8_t> bytes, std::vector<uint8_t>& indices);

}  // namespace giforacle
