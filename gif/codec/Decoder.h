// The GIF flavour of LZW, decoded over plain byte buffers.
//
// LzwDecoder turns codes into colour indexes, from a bare payload (no
// sub-block framing) or from the blocks a SubBlockReader walks: codes least
// significant bit first, a clear code of 1 << code size, the
// width growing as soon as the next free code reaches a power of two, up to
// 12 bits, and a full table kept until the next clear code.  Its tables are
// fixed arrays inside it, so decoding allocates nothing.
// ImageDataDecoder takes a frame's whole image data as the file holds it
// (code size byte, data sub-blocks, terminator) and decodes the codes block
// by block, where they stand.
// Neither throws nor reports anything on its own: each decode returns what
// ended it, how much of the input it took and how many pixels it placed,
// and the caller decides what a user hears.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "gif/codec/SubBlocks.h"

namespace gif::codec {

// Where the pixels go: Width × Height colour indexes, rows top to bottom.
// Pixels the codes do not reach keep what they held, which is the frame's
// fill value: the caller puts it there first, and the decoder puts it back
// wherever it wrote ahead of the last pixel it placed.  A buffer shorter
// than Width × Height takes only the whole rows (or, not interlaced, the
// pixels) it has room for.
struct PixelTarget {
    std::span<uint8_t> Pixels;
    int Width = 0;
    int Height = 0;
    bool Interlaced = false;  // the codes bring the rows in four-pass order
    uint8_t Fill = 0;
};

enum class LzwStatus : uint8_t {
    Full,        // every pixel placed (codes may be left over)
    EndCode,     // the end code came before the last pixel
    OutOfCodes,  // the codes ran out before the last pixel
    Circular,    // a table entry leads back into itself: the data is corrupt
};

struct LzwResult {
    LzwStatus Status = LzwStatus::Full;
    uint64_t Pixels = 0;  // pixels placed, in the order the codes brought them
    int BitsLeft = 0;     // OutOfCodes: the bits that were left, fewer than a code
};

class LzwDecoder {
public:
    // Each decode sets up the tables it reads; an empty constructor keeps
    // make_unique from clearing some 50 KB first.
    LzwDecoder() {}

    // codeSize is the image data's code size byte: above 8 it is read as 8,
    // below 2 as it is.
    LzwResult Decode(int codeSize, std::span<const uint8_t> codes, const PixelTarget& target);
    // The same, the codes being the data of the blocks the reader walks
    // (and of a block it finds cut); the reader is left after the last
    // block the codes were read from.
    LzwResult Decode(int codeSize, SubBlockReader& blocks, const PixelTarget& target);

private:
    static constexpr int kTableSize = 4096;
    static constexpr int kStackSize = 8192;
    // Codes the decoder stops with, below 0 like the results of NextCode.
    static constexpr int kOutOfCodes = -1;
    static constexpr int kEndCode = -2;
    static constexpr int kCircular = -3;

    LzwResult Run(int codeSize, std::span<const uint8_t> codes, SubBlockReader* blocks, const PixelTarget& target);
    bool NextPiece();
    int NextCode();
    int DecodeCode(int code);
    void ResetTable();
    int ReadCode(int width);
    bool Refill(int width);
    uint64_t PlaceLinear(uint8_t* out, uint64_t total, uint8_t fill, int& stop);
    uint64_t Place(uint8_t* pixels, int width, int height, int& stop);

    const uint8_t* in_ = nullptr;  // the codes at hand: a block, or all of a bare payload
    const uint8_t* inEnd_ = nullptr;
    SubBlockReader* blocks_ = nullptr;  // where more codes come from, if anywhere
    bool restTaken_ = false;
    int initialCodeSize_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    int codeWidth_ = 0;
    int threshold_ = 0;
    int nextCode_ = 0;
    int firstCode_ = 0;
    int oldCode_ = 0;
    bool fresh_ = true;
    uint64_t accumulator_ = 0;
    int bits_ = 0;
    int sp_ = 0;
    uint16_t prefix_[kTableSize];
    uint8_t suffix_[kTableSize];
    uint8_t stack_[kStackSize];
    uint32_t where_[kTableSize];
    uint32_t length_[kTableSize];
};

enum class DecodeStatus : uint8_t {
    Done,        // every pixel placed, or the end code came first
    NoCodeSize,  // the data is empty: not even its code size byte is there
    OutOfData,   // the bytes end before the terminator, and the frame wanted more codes
    UnderRun,    // the terminator came first, with not one bit left for the next code
    DataEnded,   // the terminator came first, with a few bits left, fewer than a code
    Circular,    // a table entry leads back into itself: the data is corrupt
};

struct DecodeResult {
    DecodeStatus Status = DecodeStatus::Done;
    // The image data's bytes: the code size byte and every sub-block up to
    // and including the terminator (all of the bytes when it is missing),
    // also when the frame was full before.
    size_t Consumed = 0;
    uint64_t Pixels = 0;  // pixels placed
};

class ImageDataDecoder {
public:
    ImageDataDecoder() {}  // see LzwDecoder()
    DecodeResult Decode(std::span<const uint8_t> data, const PixelTarget& target);

private:
    LzwDecoder lzw_;
};

}  // namespace gif::codec
