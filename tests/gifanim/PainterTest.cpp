// The animation painter on the recording clock: delays, speed, the overrun,
// loops and the loop point, jumps from an event, disposals composed after
// every frame, and what becomes of a failure.
#include <numeric>
#include <stdexcept>

#include "AnimTestSupport.h"

using namespace animtest;
using namespace gif;

namespace {

using PainterTest = AnimTest;

constexpr TGIFDrawOptions kAsync = Options({goAsync, goAnimate, goLoop});
constexpr TGIFDrawOptions kSync = Options({goAnimate, goLoop});

// Paints to the end and gives back the frames in the order they were painted.
struct Painted {
    std::vector<int> Frames;
    int Ends = 0;
};

Painted PaintToEnd(TGIFImage& image, TGIFDrawOptions options, const std::function<void(TGIFPainter&)>& onFrameDone = {},
               const std::function<void()>& onFramePaint = {}) {
    Painted run;
    image.OnFramePaint = [&](TObject* sender) {
        run.Frames.push_back(dynamic_cast<TGIFPainter*>(sender)->GetActiveImage());
        if (onFramePaint) onFramePaint();
    };
    image.OnFrameDone = [&](TObject* sender) {
        if (onFrameDone) onFrameDone(*dynamic_cast<TGIFPainter*>(sender));
    };
    image.OnPaintEnd = [&](TObject*) { ++run.Ends; };
    vcl::TBitmap target;
    target.SetSize(image.GetWidth(), image.GetHeight());
    image.Paint(target.GetCanvas(), {0, 0, image.GetWidth(), image.GetHeight()}, options);
    EXPECT_TRUE(testsupport::RunEventLoopUntil([&] { return PainterCount(image) == 0; }, 10000));
    image.OnFramePaint = nullptr;
    image.OnFrameDone = nullptr;
    image.OnPaintEnd = nullptr;
    return run;
}

struct DelayCase {
    const char* Name;
    std::vector<int> Delays;  // per frame; -1: no graphic control extension
    int Speed;
    bool Async;
    int PaintCost;  // clock milliseconds each frame's painting takes
    std::vector<uint32_t> Waits;  // milliseconds waited before frames 1, 2, ...
};

class DelayTest : public AnimTest, public ::testing::WithParamInterface<DelayCase> {};

TEST_P(DelayTest, WaitsFollowTheDelayRules) {
    const DelayCase& c = GetParam();
    std::vector<FrameSetup> frames;
    for (size_t i = 0; i < c.Delays.size(); ++i) frames.push_back({0, 0, 4, 4, 1 + int(i), c.Delays[i]});
    auto image = MakePicture(4, 4, frames);
    image->SetAnimationSpeed(c.Speed);
    std::vector<uint32_t> sleptBefore;  // sleeps recorded when each frame was painted
    const Painted run = PaintToEnd(*image, c.Async ? kAsync : kSync, {}, [&] {
        const auto sleeps = clock.Sleeps();
        sleptBefore.push_back(std::accumulate(sleeps.begin(), sleeps.end(), 0u));
        clock.Advance(static_cast<uint32_t>(c.PaintCost));
    });
    ASSERT_EQ(run.Frames.size(), c.Delays.size());
    std::vector<uint32_t> waits;
    for (size_t i = 1; i < sleptBefore.size(); ++i) waits.push_back(sleptBefore[i] - sleptBefore[i - 1]);
    EXPECT_EQ(waits, c.Waits);
    // A synchronous painter sleeps in steps of at most 100 ms.
    if (!c.Async) {
        for (uint32_t sleep : clock.Sleeps()) EXPECT_LE(sleep, 100u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Painter, DelayTest,
    ::testing::Values(
        // 1 is raised to 3 units of 12 ms; 0 and no control mean 10 units.
        DelayCase{"Minimum", {1, 0, -1, 7}, 100, true, 0, {36, 120, 120}},
        DelayCase{"AsyncWaitsTheWholeLongDelay", {5000, 1}, 100, true, 0, {60000}},
        DelayCase{"SyncCapsTheLongDelay", {5000, 1}, 100, false, 0, {12000}},
        DelayCase{"DoubleSpeedHalvesTheWait", {10, 10, 10}, 200, true, 0, {60, 60}},
        DelayCase{"HalfSpeedDoublesIt", {10, 10}, 50, true, 0, {240}},
        // Painting that takes 20 ms: half of it is taken off every wait.
        DelayCase{"HalfTheOverrunIsCompensated", {10, 10, 10, 10}, 100, true, 20, {110, 110, 110}},
        DelayCase{"SyncToo", {10, 10, 10}, 100, false, 20, {110, 110}}),
    [](const ::testing::TestParamInfo<DelayCase>& info) { return std::string(info.param.Name); });

// A frame carrying two control extensions is delayed and disposed by the
// first, as the optimiser, the renderer and a save see it.
TEST_F(PainterTest, TheFirstControlExtensionRulesTheFrame) {
    auto image = MakePicture(4, 4, {{0, 0, 4, 4, 1, 10, dmNone}, {0, 0, 4, 4, 2, 10, dmNone}});
    auto& second = image->GetImages().GetImage(0)->GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
    second.SetDelay(50);
    second.SetDisposal(static_cast<TDisposalMethod>(5));
    // With buffers, so that an undrawn disposal would show.
    for (TGIFDrawOptions options : {Options({goAnimate, goClearOnLoop}), Options({goAsync, goAnimate, goClearOnLoop})}) {
        SCOPED_TRACE(options);
        vcl::TBitmap target;
        target.SetSize(4, 4);
        std::vector<TColor> shown;
        std::vector<uint32_t> slept;
        image->OnFrameDone = [&](TObject*) {
            shown.push_back(target.GetCanvas().GetPixel(1, 1));
            const auto sleeps = clock.Sleeps();
            slept.push_back(std::accumulate(sleeps.begin(), sleeps.end(), 0u));
        };
        image->Paint(target.GetCanvas(), {0, 0, 4, 4}, options);
        ASSERT_TRUE(RunUntil([&] { return PainterCount(*image) == 0; }));
        EXPECT_EQ(shown, (std::vector<TColor>{Colour(1), Colour(2)}));
        ASSERT_EQ(slept.size(), 2u);
        EXPECT_EQ(slept[1] - slept[0], 120u);
    }
}

TEST_F(PainterTest, SpeedZeroWaitsUntilTheSpeedChanges) {
    auto image = Strip(3);
    image->SetAnimationSpeed(0);
    std::atomic<int> painted{0};
    image->OnFramePaint = [&](TObject*) { ++painted; };
    vcl::TBitmap target;
    target.SetSize(4, 4);
    TGIFPainter* painter = image->Paint(target.GetCanvas(), {0, 0, 4, 4}, kAsync);
    ASSERT_NE(painter, nullptr);
    ASSERT_TRUE(RunUntil([&] { return painted == 1; }));
    EXPECT_FALSE(RunUntil([&] { return painted > 1; }, 100));
    const auto before = clock.Sleeps().size();
    painter->SetAnimationSpeed(100);  // wakes the endless wait
    ASSERT_TRUE(RunUntil([&] { return PainterCount(*image) == 0; }));
    EXPECT_EQ(painted, 3);
    // The woken wait slept nothing; the next one waited its 120 ms.
    EXPECT_EQ(clock.Sleeps().size(), before + 1);
    EXPECT_EQ(clock.Sleeps().back(), 120u);
}

struct LoopCase {
    const char* Name;
    std::vector<FrameSetup> Frames;
    TGIFDrawOptions Options;
    size_t StopAfter;  // frames; 0: runs to its end
    std::vector<int> Sequence;
};

class LoopTest : public AnimTest, public ::testing::WithParamInterface<LoopCase> {};

TEST_P(LoopTest, PassesFollowTheLoopExtension) {
    const LoopCase& c = GetParam();
    auto image = MakePicture(4, 4, c.Frames);
    std::vector<int> done;
    const Painted run = PaintToEnd(*image, c.Options, [&](TGIFPainter& painter) {
        done.push_back(painter.GetActiveImage());
        if (c.StopAfter != 0 && done.size() == c.StopAfter) painter.Stop();
    });
    EXPECT_EQ(run.Frames, c.Sequence);
    EXPECT_EQ(run.Ends, c.StopAfter == 0 ? 1 : 0);  // a stopped painter fires no end
}

const std::vector<FrameSetup> kTwoLoop3{{0, 0, 4, 4, 1, 10, dmNone, 3}, {0, 0, 4, 4, 2, 10}};
const std::vector<FrameSetup> kTwoLoop0{{0, 0, 4, 4, 1, 10, dmNone, 0}, {0, 0, 4, 4, 2, 10}};
const std::vector<FrameSetup> kFourLoopAt2{
    {0, 0, 4, 4, 1, 10}, {0, 0, 4, 4, 2, 10}, {0, 0, 4, 4, 3, 10, dmNone, 2}, {0, 0, 4, 4, 4, 10}};

INSTANTIATE_TEST_SUITE_P(
    Painter, LoopTest,
    ::testing::Values(LoopCase{"CountThreeGivesThreePasses", kTwoLoop3, kAsync, 0, {0, 1, 0, 1, 0, 1}},
                      LoopCase{"CountZeroLoopsUntilStopped", kTwoLoop0, kAsync, 7, {0, 1, 0, 1, 0, 1, 0}},
                      LoopCase{"CountZeroPlaysOnceSynchronously", kTwoLoop0, kSync, 0, {0, 1}},
                      LoopCase{"ContinuousLoopsWhateverTheCount", kTwoLoop3,
                               Options({goAsync, goAnimate, goLoop, goLoopContinously}), 9,
                               {0, 1, 0, 1, 0, 1, 0, 1, 0}},
                      LoopCase{"WithoutGoLoopOnePass", kTwoLoop3, Options({goAsync, goAnimate}), 0, {0, 1}},
                      LoopCase{"LaterPassesStartAtTheLoopPoint", kFourLoopAt2, kAsync, 0, {0, 1, 2, 3, 2, 3}},
                      LoopCase{"WithoutGoAnimateOnlyTheFirstFrame", kTwoLoop3, Options({goAsync, goLoop}), 0, {0}}),
    [](const ::testing::TestParamInfo<LoopCase>& info) { return std::string(info.param.Name); });

TEST_F(PainterTest, AFrameDoneHandlerThatChoosesAFrameMakesTheAnimationJump) {
    auto image = Strip(4);
    bool jumped = false;
    const Painted run = PaintToEnd(*image, kAsync, [&](TGIFPainter& painter) {
        if (painter.GetActiveImage() == 2 && !jumped) {
            jumped = true;
            painter.SetActiveImage(0);
        }
        painter.SetActiveImage(9);  // outside the frames: ignored
    });
    EXPECT_EQ(run.Frames, (std::vector<int>{0, 1, 2, 0, 1, 2, 3}));
}

// The screen after every frame, composed by the format's rules from solid
// frames on a screen first filled with colour 7: disposal none keeps the
// frame, background clears its area to the clear colour, previous puts back
// what was there before.  Disposals 4-7 draw nothing.
TEST_F(PainterTest, DisposalsAreComposedAfterEveryFrame) {
    const std::vector<FrameSetup> frames{
        {0, 0, 8, 6, 1, 10, dmNone},      {2, 1, 4, 3, 2, 10, dmBackground}, {1, 2, 5, 3, 3, 10, dmPrevious},
        {0, 0, 3, 3, 4, 10, dmPrevious},  {4, 3, 4, 3, 5, 10, dmNoDisposal}, {1, 1, 2, 2, 6, 10, 5},
        {5, 0, 3, 2, 1, 10, dmBackground}, {0, 4, 8, 2, 2, 10, dmNone}};
    auto image = MakePicture(8, 6, frames);
    const TColor clear = 0x123456;
    image->SetDrawBackgroundColor(clear);

    using Screen = std::vector<TColor>;
    Screen current(8 * 6, Colour(7));
    std::vector<Screen> expected;
    for (const FrameSetup& f : frames) {
        Screen shown = current;
        const bool drawn = f.Disposal < 4;
        for (int y = f.Top; y < f.Top + f.Height; ++y)
            for (int x = f.Left; x < f.Left + f.Width; ++x)
                if (drawn) shown[size_t(y * 8 + x)] = Colour(f.ColourIndex);
        expected.push_back(shown);
        if (f.Disposal == dmPrevious) continue;
        current = shown;
        if (f.Disposal == dmBackground)
            for (int y = f.Top; y < f.Top + f.Height; ++y)
                for (int x = f.Left; x < f.Left + f.Width; ++x) current[size_t(y * 8 + x)] = clear;
    }

    for (TGIFDrawOptions options : {Options({goAnimate}), Options({goAsync, goAnimate})}) {
        SCOPED_TRACE(options);
        vcl::TBitmap target;
        target.SetSize(8, 6);
        target.GetCanvas().Brush.Color = Colour(7);
        target.GetCanvas().FillRect({0, 0, 8, 6});
        std::vector<Screen> seen;
        image->OnFrameDone = [&](TObject*) {
            Screen screen;
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 8; ++x) screen.push_back(target.GetCanvas().GetPixel(x, y));
            seen.push_back(screen);
        };
        image->Paint(target.GetCanvas(), {0, 0, 8, 6}, options);
        ASSERT_TRUE(RunUntil([&] { return PainterCount(*image) == 0; }));
        ASSERT_EQ(seen.size(), expected.size());
        for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], expected[i]) << "after frame " << i;
    }
}

// A failure inside an asynchronous painter cannot be raised on its thread:
// it reaches the picture's warning handler on the UI thread.  A synchronous
// painter raises it to the code that asked for the painting.
TEST_F(PainterTest, AFailureEndsThePainterAndIsReported) {
    auto image = Strip(3);
    image->OnFramePaint = [](TObject*) { throw GIFException("handler failed"); };
    std::vector<std::pair<TGIFSeverity, std::string>> warnings;
    std::atomic<bool> warnedOnUi{true};
    image->SetOnGIFWarning([&](TObject*, TGIFSeverity severity, const std::string& message) {
        warnedOnUi = warnedOnUi && vcl::IsUiThread();
        warnings.push_back({severity, message});
    });
    vcl::TBitmap target;
    target.SetSize(4, 4);
    image->Paint(target.GetCanvas(), {0, 0, 4, 4}, kAsync);
    ASSERT_TRUE(RunUntil([&] { return PainterCount(*image) == 0; }));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].first, gsError);
    EXPECT_EQ(warnings[0].second, "handler failed");
    EXPECT_TRUE(warnedOnUi);

    try {
        image->Paint(target.GetCanvas(), {0, 0, 4, 4}, kSync);
        ADD_FAILURE() << "painted";
    } catch (const GIFException& e) {
        EXPECT_STREQ(e.what(), "handler failed");
    }
    EXPECT_EQ(PainterCount(*image), 0);
    EXPECT_EQ(warnings.size(), 1u);
}

TEST_F(PainterTest, PauseHoldsThePaintersAndResumeLetsThemGoOn) {
    auto image = Strip(2, 10, 0);
    std::atomic<int> painted{0};
    image->OnFramePaint = [&](TObject*) { ++painted; };
    vcl::TBitmap target;
    target.SetSize(4, 4);
    ASSERT_NE(image->Paint(target.GetCanvas(), {0, 0, 4, 4}, kAsync), nullptr);
    ASSERT_TRUE(RunUntil([&] { return painted >= 3; }));
    image->PaintPause();
    RunUntil([] { return false; }, 30);
    const int paused = painted;
    EXPECT_FALSE(RunUntil([&] { return painted > paused + 1; }, 100));
    image->PaintResume();
    EXPECT_TRUE(RunUntil([&] { return painted > paused + 3; }));
    image->PaintStop();
    EXPECT_EQ(PainterCount(*image), 0);
}

}  // namespace
