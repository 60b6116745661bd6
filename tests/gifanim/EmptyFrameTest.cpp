// Frames without pixels: composing, painting, saving and reloading, and
// optimising all treat such a frame as showing nothing and taking no time,
// so that every screen of the animation, and how long it is shown, comes out
// the same through all four.
#include "AnimTestSupport.h"
#include "Compositor.h"

using namespace animtest;
using namespace gif;

namespace {

constexpr TColor kBehind = 0x123456;  // what lies behind the picture
const TColor kColours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};

struct Setup {
    int Left = 0, Top = 0, Width = 0, Height = 0;  // Width or Height 0: no pixels
    int Delay = -1;                                // -1: no control extension
    int Disposal = dmNone;
    int Transparent = -1;
    int Loops = -1;         // -1: no loop extension
    int LocalColours = 0;   // a local table of this many colours
    const char* Comment = nullptr;
    bool AllTransparent = false;
};

// Pixels i % 4, except that a transparent frame shows its index on every
// other pixel, or on all of them.
std::unique_ptr<TGIFImage> Build(const std::vector<Setup>& frames) {
    auto image = std::make_unique<TGIFImage>();
    for (TColor c : kColours) image->GetGlobalColorMap().Add(c);
    image->SetWidth(6);
    image->SetHeight(4);
    for (const Setup& s : frames) {
        auto* frame = &image->GetImages().Adopt(std::make_unique<TGIFSubImage>());
        frame->DoSetBounds(s.Left, s.Top, s.Width, s.Height);
        for (uint64_t i = 0; i < frame->GetDataSize(); ++i)
            frame->GetData()[i] =
                static_cast<uint8_t>(s.Transparent >= 0 && (i % 2 == 0 || s.AllTransparent) ? s.Transparent : i % 4);
        for (int i = 0; i < s.LocalColours; ++i) frame->GetColorMap().Add(static_cast<TColor>(0x010203 * (i + 1)));
        if (s.Comment != nullptr) {
            auto* comment = &frame->GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>());
            comment->GetText().push_back(s.Comment);
        }
        if (s.Loops >= 0) {
            auto* loop = &frame->GetExtensions().Adopt(std::make_unique<TGIFAppExtNSLoop>());
            loop->SetLoops(s.Loops);
        }
        if (s.Delay >= 0) {
            auto* gce = &frame->GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
            gce->SetDelay(s.Delay);
            gce->SetDisposal(static_cast<TDisposalMethod>(s.Disposal));
            if (s.Transparent >= 0) {
                gce->SetTransparentColorIndex(s.Transparent);
                gce->SetTransparent(true);
            }
        }
    }
    return image;
}

std::vector<uint8_t> Save(TGIFImage& image) {
    rtl::TMemoryStream stream;
    image.SaveToStream(stream);
    return stream.Bytes();
}

std::unique_ptr<TGIFImage> Load(const std::vector<uint8_t>& bytes) {
    auto image = std::make_unique<TGIFImage>();
    rtl::TMemoryStream stream(bytes);
    image->LoadFromStream(stream);
    return image;
}

// The screens an asynchronous painter shows, after every frame, and the time
// until the next one, in the compositor's terms.
gifopt::Timeline Painted(TGIFImage& image, RecordingClock& clock, int lastDelay) {
    gifopt::Timeline out;
    out.Width = image.GetWidth();
    out.Height = image.GetHeight();
    vcl::TBitmap target;
    target.SetSize(out.Width, out.Height);
    target.GetCanvas().Brush.Color = kBehind;
    target.GetCanvas().FillRect({0, 0, out.Width, out.Height});
    std::vector<uint32_t> times;
    image.OnFrameDone = [&](TObject*) {
        gifopt::Shown shown;
        for (int y = 0; y < out.Height; ++y)
            for (int x = 0; x < out.Width; ++x) {
                const TColor c = target.GetCanvas().GetPixel(x, y);
                shown.Pixels.push_back(c == kBehind ? 0
                                                    : 0xFF000000u | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF));
            }
        out.Frames.push_back(shown);
        times.push_back(clock.TickCount());
    };
    image.Paint(target.GetCanvas(), {0, 0, out.Width, out.Height}, Options({goAsync, goTransparent, goAnimate, goLoop, goClearOnLoop}));
    EXPECT_TRUE(testsupport::RunEventLoopUntil([&] { return PainterCount(image) == 0; }, 10000));
    image.OnFrameDone = nullptr;
    for (size_t i = 0; i < out.Frames.size(); ++i)
        out.Frames[i].Delay = i + 1 < times.size() ? static_cast<int>(times[i + 1] - times[i]) / GIFDelayExp : lastDelay;
    return out;
}

struct EmptyFrameCase {
    const char* Name;
    std::vector<Setup> Frames;
};

class EmptyFrameTest : public AnimTest, public ::testing::WithParamInterface<EmptyFrameCase> {};

TEST_P(EmptyFrameTest, ShowsTheSameScreensComposedPaintedReloadedAndOptimised) {
    auto image = Build(GetParam().Frames);
    const gifopt::Timeline composed = gifopt::Compose(*image);
    ASSERT_FALSE(composed.Frames.empty());
    const int lastDelay = composed.Frames.back().Delay;

    gifopt::Timeline painted = Painted(*image, clock, lastDelay);
    painted.Loops = composed.Loops;
    EXPECT_EQ(gifopt::DiffShown(composed, painted), "") << "painted";

    const std::vector<uint8_t> saved = Save(*image);
    auto reloaded = Load(saved);
    EXPECT_EQ(gifopt::DiffShown(composed, gifopt::Compose(*reloaded)), "") << "reloaded";
    EXPECT_EQ(Save(*reloaded), saved) << "saved again";

    for (TGIFOptimizeOptions options = 0; options <= GIFAllOptimizeOptions; ++options) {
        auto optimised = Build(GetParam().Frames);
        optimised->Optimize(options, rmNone, dmNearest, 8);
        EXPECT_EQ(gifopt::DiffShown(composed, gifopt::Compose(*optimised)), "") << "optimised with " << int(options);
        EXPECT_EQ(gifopt::DiffShown(composed, gifopt::Compose(*Load(Save(*optimised)))), "")
            << "optimised with " << int(options) << " and reloaded";
    }
}

// A frame with pixels, delays 10, 20, 30, ... by position.
Setup Full(int delay, int disposal = dmNone) { return {0, 0, 6, 4, delay, disposal}; }
Setup Part(int delay, int transparent = -1) { return {1, 1, 3, 2, delay, dmNone, transparent}; }

INSTANTIATE_TEST_SUITE_P(
    Painter, EmptyFrameTest,
    ::testing::Values(
        // Its control extension must not become the next frame's: that one
        // kept its delay of 10 and stays opaque.
        EmptyFrameCase{"InTheMiddle", {Full(20), {2, 1, 0, 0, 100, dmBackground, 1}, Part(10)}},
        EmptyFrameCase{"First", {{0, 0, 4, 0, 100, dmNone, 2}, Full(20), Part(30, 1)}},
        EmptyFrameCase{"Last", {Full(20), Part(30), {0, 0, 0, 0, 100}}},
        EmptyFrameCase{"TwoInARow", {Full(20), {0, 0, 0, 3, 50, dmPrevious, 0}, {0, 0, 0, 0, 70}, Part(10, 3)}},
        EmptyFrameCase{"WithoutExtensions", {Full(20), {}, Part(30)}},
        EmptyFrameCase{"WithALocalTableAndAComment",
                       {Full(20, dmBackground), {0, 0, 0, 0, 40, dmNone, -1, -1, 64, "kept"}, Part(30)}},
        // The frame after it shows nothing new: its time cannot go to the
        // empty frame, which takes none.
        EmptyFrameCase{"BeforeAFrameThatShowsNothingNew",
                       {Full(20), {0, 0, 0, 0, 40}, {1, 1, 3, 2, 30, dmNone, 0, -1, 0, nullptr, true}, Part(10)}},
        // The first frame with pixels is the one a later pass clears first:
        // it keeps its area when optimised and when it becomes frame 0 on
        // reloading.
        EmptyFrameCase{"FirstCarryingTheLoop", {{0, 0, 0, 0, -1, dmNone, -1, 2}, {0, 0, 6, 4, 20, dmNone, 0}, Part(30)}},
        // The loop point is the empty frame, that is the frame after it.
        EmptyFrameCase{"CarryingTheLoop", {Full(20), {0, 0, 0, 0, -1, dmNone, -1, 2}, Part(30), Part(40, 2)}},
        // The later pass shows nothing: the painter ends instead of
        // spinning through it.
        EmptyFrameCase{"CarryingTheLoopAtTheEnd", {Full(20), Part(30), {0, 0, 0, 0, -1, dmNone, -1, 0}}}),
    [](const ::testing::TestParamInfo<EmptyFrameCase>& info) { return std::string(info.param.Name); });

}  // namespace
