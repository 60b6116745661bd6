// Composite equivalence: whatever the optimiser does, every screen the
// animation shows, and for how long, stays the same; also after a save and
// a reload.  The compositor itself is checked against ImageMagick's
// coalescing where the disposals are the format's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "AnimationCorpus.h"
#include "Compositor.h"
#include "GifUnitBridge.h"
#include "ImageMagickOracle.h"
#include "OptimizeTestSupport.h"

namespace {

using gifopt::AnimationCorpus;
using gifopt::Compose;
using gifopt::DiffShown;
using gifopt::Timeline;

std::unique_ptr<gif::TGIFImage> Reload(gif::TGIFImage& image) {
    const std::vector<uint8_t> bytes = gifbridge::Save(image);
    auto reloaded = std::make_unique<gif::TGIFImage>();
    rtl::TMemoryStream stream(bytes);
    reloaded->LoadFromStream(stream);
    return reloaded;
}

std::string OptionNames(gif::TGIFOptimizeOptions options) {
    static const char* const names[] = {"ooCrop", "ooMerge", "ooCleanup", "ooColorMap", "ooReduceColors"};
    std::string out;
    for (int i = 0; i < 5; ++i)
        if (options & (1 << i)) out += std::string(out.empty() ? "" : "+") + names[i];
    return out.empty() ? "none" : out;
}

// Both ways a cleared area can look: what lies behind the picture, or the
// picture's background colour.
struct Composites {
    Timeline behind, background;
    explicit Composites(gif::TGIFImage& image)
        : behind(Compose(image)), background(Compose(image, {.BackgroundColor = true})) {}
    std::string Diff(const Composites& after) const {
        std::string diff = DiffShown(behind, after.behind);
        if (diff.empty()) diff = DiffShown(background, after.background);
        return diff;
    }
};

TEST(CompositeEquivalence, OptimizeWithEveryOptionKeepsEveryScreen) {
    for (const auto& c : AnimationCorpus()) {
        const std::unique_ptr<gif::TGIFImage> original = gifbridge::Build(c.Picture);
        const Composites before(*original);
        for (gif::TGIFOptimizeOptions options = 0; options <= gif::GIFAllOptimizeOptions; ++options) {
            SCOPED_TRACE(c.Name + " with " + OptionNames(options));
            const std::unique_ptr<gif::TGIFImage> image = gifbridge::Build(c.Picture);
            image->Optimize(options, gif::rmNone, gif::dmNearest, 8);
            EXPECT_EQ(before.Diff(Composites(*image)), "");
            const std::unique_ptr<gif::TGIFImage> reloaded = Reload(*image);
            EXPECT_EQ(before.Diff(Composites(*reloaded)), "") << "after a save and a reload";
        }
    }
}

// Four frames in every combination of disposals, with the loop extension on
// none of them (one pass) or on any one (two passes, or endless): what a
// frame is drawn over in the passes after the first may differ from the
// first, and every option must keep every pass.
TEST(CompositeEquivalence, EveryDisposalAndLoopPointKeepEveryPass) {
    using gifopttest::Pixels;
    // Rows of 3 x 1 that repeat one another; the second set has a
    // transparent index (0) in two frames.
    const std::vector<std::vector<uint8_t>> rows[] = {{{1, 1, 1}, {2, 2, 2}, {1, 3, 1}, {3, 3, 3}},
                                                      {{1, 2, 3}, {0, 2, 0}, {1, 0, 3}, {1, 2, 1}}};
    const int transparent[][4] = {{-1, -1, -1, -1}, {-1, 0, 0, -1}};
    const int disposals[] = {1, 2, 3, 5};
    struct Loop {
        int Frame, Count;
    };
    std::vector<Loop> loops = {{-1, 0}};
    for (int frame = 0; frame < 4; ++frame)
        for (int count : {2, 0}) loops.push_back({frame, count});
    for (int set = 0; set < 2; ++set)
        for (int combination = 0; combination < 4 * 4 * 4 * 4; ++combination)
            for (const Loop& loop : loops) {
                giforacle::Picture p = gifopttest::Screen(3, 1, 4);
                std::string name = "disposals";
                for (int k = 0, rest = combination; k < 4; ++k, rest /= 4) {
                    const int disposal = disposals[rest % 4];
                    p.Frames.push_back(Pixels(0, 0, 3, 1, rows[set][size_t(k)], disposal, 5, transparent[set][k]));
                    name += " " + std::to_string(disposal);
                }
                auto build = [&] {
                    auto image = gifbridge::Build(p);
                    if (loop.Frame >= 0) gifopttest::AddLoop(*image->GetImages().GetImage(loop.Frame), loop.Count);
                    return image;
                };
                const Composites before(*build());
                for (gif::TGIFOptimizeOptions options = 1; options <= gif::GIFAllOptimizeOptions; ++options) {
                    const std::unique_ptr<gif::TGIFImage> image = build();
                    image->Optimize(options, gif::rmNone, gif::dmNearest, 8);
                    const std::string diff = before.Diff(Composites(*image));
                    // One failure tells enough; thousands would drown it.
                    ASSERT_EQ(diff, "") << "rows " << set << ", " << name << ", loop extension on frame " << loop.Frame
                                        << " (count " << loop.Count << "), " << OptionNames(options);
                }
            }
}

// Colours the frames show, and whether a transparent pixel is among them.
std::pair<size_t, bool> ShownColors(const giforacle::Picture& p) {
    std::set<uint32_t> colors;
    bool transparent = false;
    for (const auto& f : p.Frames) {
        const auto& palette = p.ActivePalette(f);
        for (uint8_t index : f.Indices) {
            if (index == f.Transparent) {
                transparent = true;
                continue;
            }
            const auto& c = palette[index];
            colors.insert(uint32_t{c.R} << 16 | uint32_t{c.G} << 8 | c.B);
        }
    }
    return {colors.size(), transparent};
}

TEST(CompositeEquivalence, OneGlobalTableKeepsEveryScreenWhenTheColoursFit) {
    int checked = 0;
    for (const auto& c : AnimationCorpus()) {
        SCOPED_TRACE(c.Name);
        const auto [colors, transparent] = ShownColors(c.Picture);
        const std::unique_ptr<gif::TGIFImage> image = gifbridge::Build(c.Picture);
        const Composites before(*image);
        image->OptimizeColorMap();
        for (int i = 0; i < image->GetImages().GetCount(); ++i)
            EXPECT_EQ(image->GetImages().GetImage(i)->GetColorMap().GetCount(), 0);
        EXPECT_LE(image->GetGlobalColorMap().GetCount(), 256);
        if (colors + (transparent ? 1 : 0) > 256) continue;  // colours had to be approximated
        ++checked;
        // The background colour may take the place of a missing one only
        // where the picture had a global table to take it from.
        const Composites after(*image);
        EXPECT_EQ(DiffShown(before.behind, after.behind), "");
        const Composites reloaded(*Reload(*image));
        EXPECT_EQ(DiffShown(before.behind, reloaded.behind), "") << "after a save and a reload";
        if (!c.Picture.GlobalPalette.empty()) {
            EXPECT_EQ(DiffShown(before.background, after.background), "");
            EXPECT_EQ(DiffShown(before.background, reloaded.background), "") << "after a save and a reload";
        }
    }
    EXPECT_GT(checked, 40);
}

TEST(CompositeEquivalence, PackKeepsEveryScreen) {
    for (const auto& c : AnimationCorpus()) {
        SCOPED_TRACE(c.Name);
        const std::unique_ptr<gif::TGIFImage> image = gifbridge::Build(c.Picture);
        const Composites before(*image);
        image->Pack();
        EXPECT_EQ(DiffShown(before.behind, Composites(*image).behind), "");
        EXPECT_EQ(DiffShown(before.behind, Composites(*Reload(*image)).behind), "");
    }
}

// ImageMagick's coalesced frames, each the size of the screen, RGBA.
std::vector<std::vector<uint8_t>> Coalesce(const std::vector<uint8_t>& gif, int width, int height) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("gifopt-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path in = dir / "in.gif", out = dir / "out.rgba";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), std::streamsize(gif.size()));
    const std::string command = "MAGICK_THREAD_LIMIT=1 convert '" + in.string() + "' -coalesce -depth 8 'rgba:" +
                                out.string() + "' 2>/dev/null";
    std::vector<std::vector<uint8_t>> frames;
    if (std::system(command.c_str()) == 0) {
        std::ifstream file(out, std::ios::binary);
        const std::vector<uint8_t> data{std::istreambuf_iterator<char>(file), {}};
        const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
        for (size_t pos = 0; size > 0 && pos + size <= data.size(); pos += size)
            frames.emplace_back(data.begin() + static_cast<ptrdiff_t>(pos), data.begin() + static_cast<ptrdiff_t>(pos + size));
    }
    fs::remove_all(dir);
    return frames;
}

// ImageMagick keeps a first frame that restores the previous screen, where
// the format (and a painter) restore the empty screen; and a frame without
// a control extension takes the disposal of the one before it; a picture
// without a global table (or whose first frame has a table of its own)
// starts on white, else on its background colour around the first frame.
bool ImageMagickComposesAlike(const gifopt::AnimationCase& c) {
    const giforacle::Frame& first = c.Picture.Frames[0];
    if (!c.StandardDisposals || first.Disposal == 3 || c.Picture.GlobalPalette.empty() || !first.LocalPalette.empty())
        return false;
    bool control = false;
    for (const auto& f : c.Picture.Frames) {
        if (control && !f.HasControl) return false;
        control = control || f.HasControl;
    }
    return true;
}

TEST(Compositor, AgreesWithImageMagickCoalescing) {
    if (!giforacle::ImageMagickAvailable()) GTEST_SKIP() << "ImageMagick is not installed";
    int compared = 0;
    for (const auto& c : AnimationCorpus()) {
        if (!ImageMagickComposesAlike(c)) continue;
        ++compared;
        SCOPED_TRACE(c.Name);
        const std::unique_ptr<gif::TGIFImage> image = gifbridge::Build(c.Picture);
        const Timeline mine = Compose(*image, {.BackgroundColorAroundFirstFrame = true});
        const auto theirs = Coalesce(gifbridge::Save(*image), mine.Width, mine.Height);
        ASSERT_EQ(static_cast<int>(theirs.size()), mine.PassOneFrames);
        for (int k = 0; k < mine.PassOneFrames; ++k)
            for (size_t p = 0; p < mine.Frames[static_cast<size_t>(k)].Pixels.size(); ++p) {
                const uint32_t pixel = mine.Frames[static_cast<size_t>(k)].Pixels[p];
                const uint8_t* rgba = &theirs[static_cast<size_t>(k)][p * 4];
                const uint32_t expected =
                    rgba[3] == 0 ? 0 : 0xFF000000u | uint32_t{rgba[0]} << 16 | uint32_t{rgba[1]} << 8 | rgba[2];
                ASSERT_EQ(pixel, expected) << "frame " << k << " pixel " << p;
            }
    }
    EXPECT_GT(compared, 20);
}

}  // namespace
