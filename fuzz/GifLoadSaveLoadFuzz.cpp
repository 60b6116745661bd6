// Load, save (LZW or RLE), load again: the second load must succeed and give
// the same frames, and saving what it gave must write the same bytes, as
// saving a copy of the first must.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Compare.h"
#include "FuzzCommon.h"
#include "GifUnitBridge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzgif::LimitFrames();
    gif::TGIFImage image;
    rtl::TMemoryStream in(std::vector<uint8_t>(data, data + size));
    try {
        image.LoadFromStream(in);
    } catch (const std::exception&) {
        return 0;
    }
    image.SetCompression(size % 2 ? gif::gcRLE : gif::gcLZW);
    std::vector<uint8_t> saved;
    try {
        saved = gifbridge::Save(image);
    } catch (const gif::GIFException&) {
        return 0;  // e.g. indices beyond the colour table cannot be written
    }
    // A copy holds what its source holds (the compression is a setting of
    // its own) and saves the same bytes.
    gif::TGIFImage copy;
    copy.Assign(&image);
    copy.SetCompression(image.GetCompression());
    if (gifbridge::Save(copy) != saved) fuzzgif::Fail("a copy saved other bytes than its source");
    gifbridge::Loaded first = gifbridge::Load(std::span(data, size));
    gifbridge::Loaded again = gifbridge::Load(saved);
    if (!again.Ok) fuzzgif::Fail("what the unit saved does not load: " + again.Error);
    if (again.Image.Frames.size() != first.Image.Frames.size()) fuzzgif::Fail("frame count changed");
    for (size_t i = 0; i < first.Image.Frames.size(); ++i)
        if (auto d = giforacle::DiffFrame(first.Image.Frames[i], again.Image.Frames[i]); !d.empty())
            fuzzgif::Fail("frame " + std::to_string(i) + ": " + d);

    gif::TGIFImage reloaded;
    reloaded.SetCompression(image.GetCompression());
    rtl::TMemoryStream second(saved);
    reloaded.LoadFromStream(second);
    if (gifbridge::Save(reloaded) != saved) fuzzgif::Fail("saving the reloaded picture wrote other bytes");
    return 0;
}
