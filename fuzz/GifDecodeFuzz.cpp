// The codec core's decoder alone, on one frame's image data.  Input: a flag
// byte (bit 0 interlaced), width - 1, height - 1 (modulo 255), the fill
// value, then the
// image data (code size byte, sub-blocks, terminator, or anything else).
// Checks: the result stays within the input and the frame; every pixel the
// codes did not reach still holds the fill; the frame's pixels, placed
// through the string-copying path, equal those the table walk gives for the
// same codes in one long row; and the codes read block by block give what
// they give read as one bare payload.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "gif/codec/Decoder.h"

namespace {

// Rows in the order an interlaced frame receives them.
std::vector<int> PassOrder(int height) {
    std::vector<int> rows;
    for (int r = 0; r < height; r += 8) rows.push_back(r);
    for (int r = 4; r < height; r += 8) rows.push_back(r);
    for (int r = 2; r < height; r += 4) rows.push_back(r);
    for (int r = 1; r < height; r += 2) rows.push_back(r);
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
    using namespace gif::codec;
    if (size < 4) return 0;
    const bool interlaced = input[0] & 1;
    const int width = input[1] + 1, height = input[2] % 255 + 1;  // one row of all fits 65535
    const uint8_t fill = input[3];
    const std::span<const uint8_t> data(input + 4, size - 4);
    const size_t total = size_t(width) * size_t(height);

    static auto decoder = std::make_unique<ImageDataDecoder>();
    std::vector<uint8_t> pixels(total, fill);
    const DecodeResult result = decoder->Decode(data, {pixels, width, height, interlaced, fill});
    if (result.Consumed > data.size()) fuzzgif::Fail("consumed more bytes than there were");
    if (result.Pixels > total) fuzzgif::Fail("placed more pixels than the frame holds");
    if (result.Status == DecodeStatus::NoCodeSize && !data.empty()) fuzzgif::Fail("no code size in non-empty data");

    // The same codes as one row, through the other placement.
    std::vector<uint8_t> row(total, fill);
    const DecodeResult other = decoder->Decode(data, {row, int(total), 1, !interlaced, fill});
    if (other.Status != result.Status || other.Pixels != result.Pixels || other.Consumed != result.Consumed)
        fuzzgif::Fail("the two placements end differently");

    // Pixels in the order the codes brought them.
    std::vector<uint8_t> arrived;
    arrived.reserve(total);
    if (interlaced) {
        for (int r : PassOrder(height))
            arrived.insert(arrived.end(), pixels.begin() + ptrdiff_t(r) * width,
                           pixels.begin() + ptrdiff_t(r + 1) * width);
    } else {
        arrived = pixels;
    }
    if (arrived != row) fuzzgif::Fail("the two placements give other pixels");
    for (size_t i = size_t(result.Pixels); i < total; ++i)
        if (arrived[i] != fill) fuzzgif::Fail("a pixel the codes did not reach lost the fill");

    if (data.empty()) return 0;
    std::vector<uint8_t> codes;
    SubBlockReader blocks(data.subspan(1));
    std::span<const uint8_t> block;
    while (blocks.Next(block)) codes.insert(codes.end(), block.begin(), block.end());
    codes.insert(codes.end(), blocks.Rest().begin(), blocks.Rest().end());
    static auto bare = std::make_unique<LzwDecoder>();
    std::vector<uint8_t> flat(total, fill);
    const LzwResult lzw = bare->Decode(data[0], codes, {flat, width, height, interlaced, fill});
    if (lzw.Pixels != result.Pixels || flat != pixels) fuzzgif::Fail("the bare payload decodes otherwise");
    if ((lzw.Status == LzwStatus::Circular) != (result.Status == DecodeStatus::Circular))
        fuzzgif::Fail("the bare payload ends otherwise");
    return 0;
}
