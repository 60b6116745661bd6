// The unit's encoders against giflib's decoder.  Input: one flag byte (bit 0
// interlaced, bit 1 RLE, bits 2-4 bits per pixel - 1), one byte width - 1,
// then the indices, row by row (masked to the table size).  What the unit
// writes, giflib must decode to the same indices, and so must the unit.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "Compare.h"
#include "FuzzCommon.h"
#include "GifUnitBridge.h"
#include "GiflibOracle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const bool interlaced = data[0] & 1, rle = data[0] & 2;
    const int bits = ((data[0] >> 2) & 7) + 1;
    const int width = data[1] + 1;
    const size_t pixels = size - 2;
    if (pixels < size_t(width)) return 0;
    const int height = int(std::min<size_t>(pixels / size_t(width), 256));

    giforacle::Picture p;
    p.Width = width;
    p.Height = height;
    p.GlobalPalette = giforacle::DistinctPalette(size_t{1} << bits, 1);
    giforacle::Frame f;
    f.Width = width;
    f.Height = height;
    f.Interlaced = interlaced;
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i) f.Indices.push_back(data[2 + i] & ((1 << bits) - 1));
    p.Frames.push_back(std::move(f));

    const std::vector<uint8_t> saved = gifbridge::Save(p, rle);
    giforacle::GiflibResult g = giforacle::GiflibDecode(saved);
    if (!g.Ok) fuzzgif::Fail("giflib refuses what the unit wrote: " + g.Error);
    if (auto d = giforacle::DiffPictures(p, g.Image); !d.empty()) fuzzgif::Fail("giflib decodes: " + d);
    gifbridge::Loaded ours = gifbridge::Load(saved);
    if (!ours.Ok) fuzzgif::Fail("the unit refuses what it wrote: " + ours.Error);
    if (auto d = giforacle::DiffPictures(p, ours.Image); !d.empty()) fuzzgif::Fail("the unit decodes: " + d);
    if (gifbridge::Save(p, rle) != saved) fuzzgif::Fail("saving twice wrote other bytes");
    return 0;
}
