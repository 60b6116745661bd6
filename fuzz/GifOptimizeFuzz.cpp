// Load, compose every screen, Optimize, compose again, save, reload, compose
// again: every screen and how long it is shown must stay the same, whether
// cleared areas show what lies behind the picture or its background colour.
// Optimize runs once with every option and once with the options the last
// input byte picks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Compositor.h"
#include "FuzzCommon.h"
#include "GifUnitBridge.h"

namespace {

struct Composites {
    gifopt::Timeline Behind, Background;
    explicit Composites(gif::TGIFImage& image)
        : Behind(gifopt::Compose(image)), Background(gifopt::Compose(image, {.BackgroundColor = true})) {}
};

// An animation that only ever shows one screen, or none, looks the same
// however long and however often it shows it (the optimiser drops the loop
// extension of a picture left with one frame or none).
std::string Diff(const gifopt::Timeline& before, const gifopt::Timeline& after) {
    const gifopt::Timeline a = gifopt::Collapse(before), b = gifopt::Collapse(after);
    if (a.Frames.size() <= 1 && a.Frames.size() == b.Frames.size() && a.Width == b.Width && a.Height == b.Height &&
        (a.Frames.empty() || a.Frames[0].Pixels == b.Frames[0].Pixels))
        return "";
    return gifopt::DiffShown(before, after);
}

void ExpectSameScreens(const Composites& before, gif::TGIFImage& image, const std::string& when) {
    const Composites after(image);
    std::string diff = Diff(before.Behind, after.Behind);
    if (diff.empty()) diff = Diff(before.Background, after.Background);
    if (!diff.empty()) fuzzgif::Fail(when + ": " + diff);
}

bool Load(gif::TGIFImage& image, const std::vector<uint8_t>& bytes) {
    rtl::TMemoryStream stream(bytes);
    try {
        image.LoadFromStream(stream);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// Saving raises the unit's error for what cannot be written (no frames,
// indices beyond the table); false then.
bool Save(gif::TGIFImage& image, std::vector<uint8_t>& bytes) {
    try {
        bytes = gifbridge::Save(image);
    } catch (const gif::GIFException&) {
        return false;
    }
    return true;
}

// Pixels beyond their table are saved, if at all, only while some table of
// the picture is large enough for them: the optimiser may shrink it.
bool PixelsWithinTables(const gif::TGIFImage& image) {
    for (int i = 0; i < image.GetImages().GetCount(); ++i) {
        const gif::TGIFSubImage& frame = *image.GetImages().GetImage(i);
        const int count = frame.GetActiveColorMap().GetCount();
        for (uint64_t p = 0; p < frame.GetDataSize(); ++p)
            if (frame.GetData()[p] >= count) return false;
    }
    return true;
}

void Check(const std::vector<uint8_t>& input, gif::TGIFOptimizeOptions options) {
    gif::TGIFImage image;
    if (!Load(image, input)) return;
    // The compositor keeps one screen per frame shown: bounded here.
    const uint64_t screen = uint64_t(image.GetWidth()) * uint64_t(image.GetHeight());
    if (screen > (uint64_t{1} << 16) || screen * uint64_t(image.GetImages().GetCount() + 1) > (uint64_t{1} << 20)) return;
    const Composites before(image);
    std::vector<uint8_t> original;
    const bool savable = Save(image, original) && PixelsWithinTables(image);

    image.Optimize(options, gif::rmNone, gif::dmNearest, 8);
    const std::string how = "options " + std::to_string(options);
    ExpectSameScreens(before, image, "optimised with " + how);

    std::vector<uint8_t> saved;
    if (!Save(image, saved)) {
        // A picture that shows nothing may lose all its frames, and a
        // picture without frames is not saved.
        if (savable && !image.GetEmpty()) fuzzgif::Fail("the optimised picture cannot be saved, " + how);
        return;
    }
    gif::TGIFImage reloaded;
    if (!Load(reloaded, saved)) fuzzgif::Fail("what was saved after optimising does not load, " + how);
    ExpectSameScreens(before, reloaded, "optimised with " + how + ", saved and reloaded");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzgif::LimitFrames();
    const std::vector<uint8_t> input(data, data + size);
    Check(input, gif::GIFAllOptimizeOptions);
    if (size > 0) Check(input, static_cast<gif::TGIFOptimizeOptions>(data[size - 1] & gif::GIFAllOptimizeOptions));
    return 0;
}
