// A frame's colour indexes written as GIF image data (code size byte, codes
// packed least significant bit first into data sub-blocks of 255 bytes,
// terminator), over plain byte buffers.
//
// Two coders: a true LZW coder (an open-addressed hash table of 8009 slots,
// a clear code first and whenever the next free code would pass 4094) and a
// run-length coder that sends only literal codes and codes for runs of one
// colour, with a table any GIF decoder rebuilds the same way.  Neither
// throws: a colour index at or above the colour count stops the coding and
// the result says so.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace gif::codec {

enum class Compression : uint8_t { Lzw, Rle };

struct EncodeSource {
    // Width × Height colour indexes, rows top to bottom.  A frame of size 0,
    // or with fewer indexes than that, is written as a frame without pixels.
    std::span<const uint8_t> Pixels;
    int Width = 0;
    int Height = 0;
    bool Interlaced = false;  // rows go out in four-pass order
    int BitsPerPixel = 8;     // the colour table's; below 2 it is written as 2
    int ColorCount = 256;     // indexes at or above it are refused
};

enum class EncodeStatus : uint8_t {
    Done,
    BadColor,  // a pixel's index is not below the colour count
};

struct EncodeResult {
    EncodeStatus Status = EncodeStatus::Done;
    // Pixels coded, in the order they go out; on BadColor the pixels before
    // the refused one.
    uint64_t Pixels = 0;
};

// Appends the frame's image data to out.  On BadColor what went out is the
// code size byte and the whole bytes of the codes sent before the refused
// pixel, in whole sub-blocks, without the terminator.
EncodeResult EncodeImageData(const EncodeSource& source, Compression compression, std::vector<uint8_t>& out);

}  // namespace gif::codec
