// Hand-built GIF streams: a least-significant-bit-first code packer, a plain
// reference LZW coder whose clear policy and code size can be chosen freely
// (so that streams other encoders never write can be made), sub-block
// framing of any shape, and a block-level file builder that also writes
// what no well-behaved encoder would.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "GifModel.h"

namespace giforacle {

class CodePacker {
public:
    void Put(unsigned code, int width);
    // The packed bytes; a partial last byte is padded with zero bits.
    std::vector<uint8_t> Finish() const;
    size_t Bits() const { return bits_; }

private:
    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

enum class ClearPolicy {
    AtFullTable,   // clear when the next code would pass 4095 (what encoders usually do)
    Deferred,      // keep sending 12-bit codes from a full table, never clear
    Early,         // clear every `ClearEvery` codes
};

struct LzwOptions {
    int MinCodeSize = 8;  // the code size byte; 1 ... 11 are accepted here
    ClearPolicy Clear = ClearPolicy::AtFullTable;
    int ClearEvery = 0;
    bool LeadingClear = true;
    bool EndCode = true;
    // Widen already after the first code following a clear (only code
    // size 1 can tell: its first free code needs the wider width at once).
    bool WidenAfterFirstCode = false;
};

struct LzwCodes {
    std::vector<uint8_t> Bytes;  // packed codes, without framing
    size_t Bits = 0;             // bits the codes take (Bytes pads the last byte)
    size_t CodeCount = 0;
    size_t KwKwK = 0;            // codes sent that the decoder has not tabled yet
    size_t FullTableCodes = 0;   // codes sent while the table held 4096 entries
    int MaxWidth = 0;
};

// Options for a code size and clear policy, the rest as the defaults.
LzwOptions LzwSize(int codeSize, ClearPolicy clear = ClearPolicy::AtFullTable, int clearEvery = 0);

LzwCodes LzwEncode(std::span<const uint8_t> pixels, const LzwOptions& options);

// Frames packed bytes as sub-blocks: `length(i)` gives the size of block i
// (1 ... 255); the zero terminator is appended unless `terminate` is false.
std::vector<uint8_t> SubBlocks(std::span<const uint8_t> data, const std::function<int(size_t)>& length,
                               bool terminate = true);
std::vector<uint8_t> SubBlocks(std::span<const uint8_t> data, int length = 255, bool terminate = true);

// Code size byte followed by the sub-blocks.
std::vector<uint8_t> ImageData(int codeSizeByte, std::span<const uint8_t> sub);

class GifBuilder {
public:
    // Header and logical screen; `palette` becomes the global table (padded
    // to a power of two) unless empty.
    GifBuilder& Screen(int width, int height, const std::vector<Rgb>& palette, int background = 0,
                       const char* version = "GIF89a");
    GifBuilder& Control(int disposal, int delay, int transparent, int blockSize = 4);
    GifBuilder& Loop(int count);
    GifBuilder& Comment(const std::string& text);
    // Image descriptor, optional local table, then `data` as given (code
    // size byte, sub-blocks and terminator, or anything else).
    GifBuilder& Image(int left, int top, int width, int height, bool interlaced,
                      const std::vector<Rgb>& localPalette, std::span<const uint8_t> data);
    GifBuilder& Raw(std::span<const uint8_t> bytes);
    GifBuilder& Raw(std::initializer_list<uint8_t> bytes);
    GifBuilder& Trailer();
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    void Table(const std::vector<Rgb>& palette);
    void Word(int v);
    std::vector<uint8_t> bytes_;
};

// The whole image data of a frame (code size byte, 255-byte sub-blocks,
// terminator) as the reference coder writes it.
std::vector<uint8_t> ReferenceImageData(std::span<const uint8_t> pixels, int bits);

// A one-frame file around an image data section: a global table of 2^bits
// grey entries and a descriptor of the given size.
std::vector<uint8_t> WrapImageData(std::span<const uint8_t> data, int width, int height, int bits);

// A complete file for a picture, every frame through the reference coder:
// a second writer independent of giflib.
std::vector<uint8_t> ReferenceEncode(const Picture& picture);

}  // namespace giforacle
