// Drawing the picture: still pictures and forced frames, the cached bitmap
// and its tiles, the painter Draw keeps or replaces, and the painters'
// management when options change and the picture ends.
#include "AnimTestSupport.h"

using namespace animtest;
using namespace gif;

namespace {

using DrawTest = AnimTest;

TColor PixelAt(vcl::TBitmap& bitmap, int x, int y) { return bitmap.GetCanvas().GetPixel(x, y); }

struct StillCase {
    const char* Name;
    int Frames;
    TGIFDrawOptions Options;
    int ForcedFrame;
    int ShownColour;
};

class StillTest : public AnimTest, public ::testing::WithParamInterface<StillCase> {};

// A still picture is drawn at once, on the calling thread, by no painter.
TEST_P(StillTest, DrawsOneFrameAtOnceWithoutAPainter) {
    const StillCase& c = GetParam();
    auto image = Strip(c.Frames);
    image->SetDrawOptions(c.Options);
    image->SetForceFrame(c.ForcedFrame);
    int starts = 0;
    image->OnPaintStart = [&](TObject*) { ++starts; };
    vcl::TBitmap target;
    target.SetSize(4, 4);
    const int threads = vcl::TThread::RunningCount();
    image->Draw(target.GetCanvas(), {0, 0, 4, 4});
    EXPECT_EQ(PixelAt(target, 1, 1), Colour(c.ShownColour));
    EXPECT_EQ(vcl::TThread::RunningCount(), threads);
    EXPECT_EQ(PainterCount(*image), 0);
    EXPECT_EQ(starts, 0);
}

constexpr TGIFDrawOptions kStill = Options({goAsync, goTransparent, goLoop});

INSTANTIATE_TEST_SUITE_P(
    Draw, StillTest,
    ::testing::Values(StillCase{"OneFrameEvenWhenAnimated", 1, Options({goAsync, goAnimate, goLoop}), -1, 1},
                      StillCase{"AnimationOffShowsFrameZero", 3, kStill, -1, 1},
                      StillCase{"ForcedFrame", 3, kStill, 2, 3},
                      StillCase{"ForcedFrameOutsideShowsFrameZero", 3, kStill, 5, 1}),
    [](const ::testing::TestParamInfo<StillCase>& info) { return std::string(info.param.Name); });

// Without goDirectDraw the first Draw returns once the painter has shown its
// first frame, and the destination then shows the cached bitmap.
TEST_F(DrawTest, TheFirstDrawWaitsForTheFirstFrame) {
    auto image = Strip(3, 50);
    // At speed 0 the painter holds after its first frame.
    image->SetAnimationSpeed(0);
    image->SetDrawOptions(Options({goAsync, goAnimate, goLoop}));
    vcl::TBitmap target;
    target.SetSize(8, 8);
    image->Draw(target.GetCanvas(), {0, 0, 8, 8});
    EXPECT_EQ(PixelAt(target, 7, 7), Colour(1));
    EXPECT_EQ(PainterCount(*image), 1);
    // Later draws show the cached bitmap, whatever frame it holds by now.
    image->Draw(target.GetCanvas(), {0, 0, 8, 8});
    EXPECT_EQ(PainterCount(*image), 1);
    image->PaintStop();
    EXPECT_EQ(PainterCount(*image), 0);
}

// The running painter keeps drawing at the same canvas and rectangle; at
// another rectangle it is stopped and a new one starts.
TEST_F(DrawTest, SameCanvasAndRectangleKeepTheRunningPainter) {
    auto image = Strip(3, 10, 0);
    image->SetDrawOptions(Options({goAsync, goAnimate, goLoop, goDirectDraw}));
    int starts = 0;
    image->OnPaintStart = [&](TObject*) { ++starts; };
    vcl::TBitmap target;
    target.SetSize(8, 8);
    image->Draw(target.GetCanvas(), {0, 0, 4, 4});
    ASSERT_TRUE(RunUntil([&] { return starts == 1; }));
    image->Draw(target.GetCanvas(), {0, 0, 4, 4});
    RunUntil([] { return false; }, 20);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(PainterCount(*image), 1);
    image->Draw(target.GetCanvas(), {4, 4, 8, 8});
    ASSERT_TRUE(RunUntil([&] { return starts == 2; }));
    EXPECT_EQ(PainterCount(*image), 1);
    image->PaintStop();
    EXPECT_EQ(PainterCount(*image), 0);
}

// Tiles of the picture's size start at the rectangle's corner; those at the
// right and bottom edges reach past it.
TEST_F(DrawTest, TheCachedBitmapIsTiled) {
    auto image = MakePicture(4, 4, {{0, 0, 2, 4, 1, 10}, {2, 0, 2, 4, 2, 10}});
    image->SetDrawOptions(Options({goAsync, goAnimate, goTile}));
    vcl::TBitmap target;
    target.SetSize(10, 6);
    image->Draw(target.GetCanvas(), {0, 0, 10, 6});
    image->PaintStop();
    for (int x = 0; x < 10; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(PixelAt(target, x, 5), (x % 4) < 2 ? Colour(1) : PixelAt(target, 2, 0));
    }
}

// Tiles step by the picture's size: a logical screen of size 0 gives tiles
// of one pixel, never a loop without end.
TEST_F(DrawTest, TilingAScreenOfSizeZeroEnds) {
    auto image = MakePicture(4, 4, {{0, 0, 4, 4, 1, 10}, {0, 0, 4, 4, 2, 10}});
    image->GetHeader().SetWidth(0);
    image->GetHeader().SetHeight(0);
    // Synchronous, with restore buffers whose frame areas are tiled.
    image->SetDrawOptions(Options({goAnimate, goTile, goDirectDraw, goClearOnLoop}));
    vcl::TBitmap target;
    target.SetSize(6, 6);
    image->Draw(target.GetCanvas(), {0, 0, 6, 6});
    EXPECT_EQ(PixelAt(target, 5, 5), Colour(2));
    EXPECT_EQ(PainterCount(*image), 0);
}

TEST_F(DrawTest, PaintWithAnEmptyRectangleMakesNoPainter) {
    auto image = Strip(3);
    vcl::TBitmap target;
    target.SetSize(4, 4);
    EXPECT_EQ(image->Paint(target.GetCanvas(), {2, 0, 2, 4}, Options({goAsync, goAnimate})), nullptr);
    EXPECT_EQ(image->Paint(target.GetCanvas(), {0, 3, 4, 1}, Options({goAsync, goAnimate})), nullptr);
    EXPECT_EQ(PainterCount(*image), 0);
}

TEST_F(DrawTest, SpeedIsClampedAndReachesTheDrawingPainter) {
    auto image = Strip(3);
    image->SetAnimationSpeed(5000);
    EXPECT_EQ(image->GetAnimationSpeed(), 1000);
    image->SetAnimationSpeed(-3);
    EXPECT_EQ(image->GetAnimationSpeed(), 0);
    image->SetDrawOptions(Options({goAsync, goAnimate, goDirectDraw}));
    vcl::TBitmap target;
    target.SetSize(4, 4);
    image->Draw(target.GetCanvas(), {0, 0, 4, 4});
    TGIFPainter* painter = image->GetDrawingPainter();
    ASSERT_NE(painter, nullptr);
    EXPECT_EQ(painter->GetAnimationSpeed(), 0);
    image->SetAnimationSpeed(250);
    EXPECT_EQ(painter->GetAnimationSpeed(), 250);
    image->PaintStop();
    EXPECT_EQ(image->GetDrawingPainter(), nullptr);
}

// Changing the options stops the drawing painter and drops the cached
// bitmap; clearing and destroying the picture stop and wait for every
// painter, which then no longer reach it.
TEST_F(DrawTest, OptionsClearAndTheEndStopThePainters) {
    auto image = Strip(3);
    image->SetAnimationSpeed(0);  // the painters hold after their first frame
    image->SetDrawOptions(Options({goAsync, goAnimate, goLoop}));
    int changes = 0;
    image->SetOnChange([&](TObject*) { ++changes; });
    vcl::TBitmap target;
    target.SetSize(4, 4);
    image->Draw(target.GetCanvas(), {0, 0, 4, 4});
    ASSERT_NE(image->GetDrawingPainter(), nullptr);
    image->SetDrawOptions(Options({goAsync, goAnimate}));
    EXPECT_GE(changes, 1);
    ASSERT_TRUE(RunUntil([&] { return image->GetDrawingPainter() == nullptr; }));

    for (int i = 0; i < 3; ++i) image->Paint(target.GetCanvas(), {0, 0, 4, 4}, Options({goAsync, goAnimate, goLoop}));
    EXPECT_EQ(PainterCount(*image), 3);
    image->Clear();
    EXPECT_EQ(PainterCount(*image), 0);
    EXPECT_TRUE(image->GetEmpty());

    auto other = Strip(2);
    other->SetAnimationSpeed(0);
    int ends = 0;
    other->OnPaintEnd = [&](TObject*) { ++ends; };
    other->Paint(target.GetCanvas(), {0, 0, 4, 4}, Options({goAsync, goAnimate, goLoop}));
    other.reset();  // waits for its painter
    EXPECT_EQ(vcl::TThread::RunningCount(), 0);
    EXPECT_EQ(ends, 0);
}

}  // namespace
