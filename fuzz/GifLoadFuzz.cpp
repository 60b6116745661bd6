// Any byte string through TGIFImage::LoadFromStream: the load either
// succeeds or raises the unit's exception; every frame's pixel store holds
// exactly width × height indices.
#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzCommon.h"
#include "GifUnitBridge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzgif::LimitFrames();
    gifbridge::Loaded loaded = gifbridge::Load(std::span(data, size));
    if (!loaded.Ok && loaded.Error.empty()) fuzzgif::Fail("a failed load without a message");
    if (!loaded.Ok && loaded.Position != 0) fuzzgif::Fail("a failed load moved the stream");
    unsigned sum = 0;
    for (const auto& f : loaded.Image.Frames) {
        if (f.Indices.size() != size_t(f.Width) * size_t(f.Height)) fuzzgif::Fail("pixel store of the wrong size");
        for (uint8_t px : f.Indices) sum += px;
    }
    return sum == 0xFFFFFFFF;  // keeps the reads
}
