// What only the GIF unit's own sources share: the stream side of the
// sub-block framing and the progress percentage.  Callers and tests include
// gif/GIFImage.h; nothing outside gif/ includes this header.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "gif/GIFTypes.h"
#include "gif/codec/SubBlocks.h"

namespace gif {

// Writes each piece as data sub-blocks of its own (a piece of 300 bytes
// gives blocks of 255 and 45, an empty one none), then the terminator.
void WriteSubBlocks(TStream& stream, const std::vector<std::span<const uint8_t>>& pieces);
// Appends the run of data sub-blocks at the stream's position to run, as the
// stream holds it: up to and including the terminator, or up to the end of
// the stream when that comes first.  Never reads past the terminator; the
// framing is walked by gif::codec::SubBlockReader.
void ReadSubBlockRun(TStream& stream, std::vector<uint8_t>& run);
// Reads that run and calls visit(data) for each whole block, in order.  A
// stream that ends inside a block's data raises "Premature end of data" once
// the blocks before it were visited; one that ends where a block's size
// should come ends the run.
template <typename Visit>
void ReadSubBlocks(TStream& stream, Visit visit) {
    std::vector<uint8_t> run;
    ReadSubBlockRun(stream, run);
    codec::SubBlockReader blocks(run);
    std::span<const uint8_t> data;
    while (blocks.Next(data)) visit(data);
    if (blocks.End() == codec::SubBlockEnd::Cut) RaiseGIFError(_sOutOfData);
}

// A progress report's percentage: done of total, rounded to the nearest,
// within 0..100; 0 when there is nothing to do.
uint8_t Percent(int64_t done, int64_t total);

}  // namespace gif
