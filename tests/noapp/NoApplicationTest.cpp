// A program that made no application: no UI thread services synchronised
// calls, so a thread's end runs on the thread itself, and the picture paints
// animations synchronously on the calling thread.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "gifanim/AnimTestSupport.h"
#include "support/Watchdog.h"
#include "vcl/Thread.h"

using namespace gif;

namespace {

class QuickThread : public vcl::TThread {
public:
    explicit QuickThread(std::atomic<int>& ended) : ended_(ended) {
        FreeOnTerminate = true;
        OnTerminate = [this](vcl::TThread*) { ++ended_; };
    }

protected:
    void Execute() override {}

private:
    std::atomic<int>& ended_;
};

// A thread that frees itself when it ends ends on its own thread here, as
// soon as its Execute returns: often before Resume has stored its handle.
// Resume must be through with the object first (AddressSanitizer sees the
// store into a freed thread otherwise).
TEST(NoApplication, AThreadThatEndsAtOnceFreesItselfAfterResumeIsThrough) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_FALSE(vcl::HasUiThread());
    constexpr int kThreads = 2000;
    std::atomic<int> ended{0};
    for (int i = 0; i < kThreads; ++i) (new QuickThread(ended))->Resume();
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((ended < kThreads || vcl::TThread::RunningCount() > 0) && std::chrono::steady_clock::now() < bound)
        std::this_thread::yield();
    EXPECT_EQ(ended, kThreads);
    EXPECT_EQ(vcl::TThread::RunningCount(), 0);
}

// Its end takes a moment and then touches the object.
class SlowEndThread : public vcl::TThread {
public:
    explicit SlowEndThread(std::atomic<bool>& ending) {
        OnTerminate = [this, &ending](vcl::TThread*) {
            ending = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ++ends_;
        };
    }

protected:
    void Execute() override {}

private:
    int ends_ = 0;
};

// WaitFor waits for the end too when the end runs on the thread itself, so
// that the owner may free the thread once WaitFor returns.
TEST(NoApplication, WaitForReturnsOnlyAfterTheEndThatRunsOnTheThread) {
    for (int i = 0; i < 20; ++i) {
        std::atomic<bool> ending{false};
        auto thread = std::make_unique<SlowEndThread>(ending);
        thread->Resume();
        while (!ending) std::this_thread::yield();
        thread->WaitFor();
    }
    EXPECT_EQ(vcl::TThread::RunningCount(), 0);
}

// On the recording clock: the synchronous waits cost no time.
using NoApplicationPaint = animtest::AnimTest;

// Asked for asynchronously, the painting runs to its end inside the call, on
// the calling thread, and no thread is started: nothing draws into the
// cached bitmap while the caller reads it.
TEST_F(NoApplicationPaint, AnimationsArePaintedSynchronouslyOnTheCallingThread) {
    auto image = animtest::Strip(3, 10, 0);
    const std::thread::id caller = std::this_thread::get_id();
    std::vector<int> painted;
    bool elsewhere = false;
    int ends = 0;
    image->OnFramePaint = [&](TObject* sender) {
        painted.push_back(dynamic_cast<TGIFPainter*>(sender)->GetActiveImage());
        elsewhere |= std::this_thread::get_id() != caller || vcl::TThread::RunningCount() != 0;
    };
    image->OnPaintEnd = [&](TObject*) { ++ends; };
    vcl::TBitmap target;
    target.SetSize(4, 4);
    EXPECT_EQ(image->Paint(target.GetCanvas(), {0, 0, 4, 4}, animtest::Options({goAsync, goAnimate, goLoop})),
              nullptr);
    // A loop count of 0 loops for ever only for an asynchronous painter.
    EXPECT_EQ(painted, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(elsewhere);
    EXPECT_EQ(animtest::PainterCount(*image), 0);

    // Draw with the default options paints the sequence into the cached
    // bitmap and shows it: the destination ends on the last frame.
    painted.clear();
    vcl::TBitmap shown;
    shown.SetSize(4, 4);
    image->Draw(shown.GetCanvas(), {0, 0, 4, 4});
    EXPECT_EQ(painted, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(elsewhere);
    EXPECT_EQ(image->GetDrawingPainter(), nullptr);
    EXPECT_EQ(shown.GetCanvas().GetPixel(1, 1), animtest::Colour(3));
}

struct FallbackCase {
    const char* Name;
    bool ByDraw;  // Draw with the options, or Paint
    TGIFDrawOptions Options;
    int Loops;  // of the loop extension on frame 0; -1 for none
    std::vector<int> Painted;
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.Name; }

class NoApplicationFallback : public animtest::AnimTest, public ::testing::WithParamInterface<FallbackCase> {};

// An asynchronous painting has no UI thread here, so it runs inside the call;
// it plays the sequence once, whatever its loop options and count, since the
// caller asked to get control back.  A synchronous painting keeps its loops.
TEST_P(NoApplicationFallback, AnAsynchronousRequestPlaysTheSequenceOnce) {
    const FallbackCase& c = GetParam();
    // A painting that loops for ever ends the program instead of hanging it.
    testsupport::Watchdog watchdog(std::chrono::seconds(60));
    watchdog.Beat(c.Name);
    auto image = animtest::Strip(3, 10, c.Loops);
    std::vector<int> painted;
    int ends = 0;
    image->OnFramePaint = [&](TObject* sender) {
        auto* painter = dynamic_cast<TGIFPainter*>(sender);
        painted.push_back(painter->GetActiveImage());
        // Far past any sequence expected here: end the painting so that the
        // test reports what it saw.
        if (painted.size() >= 30) painter->Stop();
    };
    image->OnPaintEnd = [&](TObject*) { ++ends; };
    vcl::TBitmap target;
    target.SetSize(4, 4);
    if (c.ByDraw) {
        image->SetDrawOptions(c.Options);
        image->Draw(target.GetCanvas(), {0, 0, 4, 4});
        EXPECT_EQ(image->GetDrawingPainter(), nullptr);
    } else {
        EXPECT_EQ(image->Paint(target.GetCanvas(), {0, 0, 4, 4}, c.Options), nullptr);
    }
    EXPECT_EQ(painted, c.Painted);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(animtest::PainterCount(*image), 0);
    EXPECT_EQ(vcl::TThread::RunningCount(), 0);
}

constexpr TGIFDrawOptions kEndless = animtest::Options({goAsync, goAnimate, goLoop, goLoopContinously});
const std::vector<int> kOnce{0, 1, 2};

INSTANTIATE_TEST_SUITE_P(
    Paint, NoApplicationFallback,
    ::testing::Values(FallbackCase{"DrawLoopingContinuously", true, kEndless, 0, kOnce},
                      FallbackCase{"PaintLoopingContinuously", false, kEndless, 0, kOnce},
                      FallbackCase{"LoopingContinuouslyWithoutALoopExtension", false, kEndless, -1, kOnce},
                      FallbackCase{"ALoopCountOfThree", true, animtest::Options({goAsync, goAnimate, goLoop}), 3,
                                   kOnce},
                      FallbackCase{"SynchronousKeepsItsLoopCount", false, animtest::Options({goAnimate, goLoop}), 3,
                                   {0, 1, 2, 0, 1, 2, 0, 1, 2}}),
    [](const ::testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.Name); });

// A handler written for an asynchronous painter may free the picture; here
// it runs inside Draw, which then touches nothing of the picture.
TEST_F(NoApplicationPaint, AHandlerThatFreesThePictureEndsDrawAtOnce) {
    std::unique_ptr<TGIFImage> image = animtest::Strip(3, 10, 0);
    std::vector<int> painted;
    image->OnFramePaint = [&](TObject* sender) {
        painted.push_back(dynamic_cast<TGIFPainter*>(sender)->GetActiveImage());
        if (painted.size() == 2) image.reset();
    };
    vcl::TBitmap shown;
    shown.SetSize(4, 4);
    image->Draw(shown.GetCanvas(), {0, 0, 4, 4});
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(painted, (std::vector<int>{0, 1}));
}

}  // namespace
