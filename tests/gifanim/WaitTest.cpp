// Waiting for painters: the UI thread, and any other thread, sleeps until a
// painter moves on (the UI thread servicing the painters' calls as they
// come); none of the waits spins.  A painter is held on the clock while a
// wait runs, and the waiting thread has to be seen asleep before it is let
// go: a thread that spins never is.
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "AnimTestSupport.h"

using namespace animtest;
using namespace gif;

namespace {

// The scheduler's state of thread `tid` of this process ('R' running or
// ready, 'S' asleep, ...).
char ThreadState(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto end = line.rfind(')');
    return end == std::string::npos || end + 2 >= line.size() ? '?' : line[end + 2];
}

// Lets the clock go once thread `waiter` has been seen asleep on a few looks
// in a row while the clock holds a painter, or after a generous bound
// otherwise (a failure: the waiter spins).
class SleepWatch {
public:
    SleepWatch(RecordingClock& clock, pid_t waiter)
        : thread_([this, &clock, waiter] {
              const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(5);
              int asleep = 0;
              while (asleep < 5 && std::chrono::steady_clock::now() < bound) {
                  asleep = clock.Held() > 0 && ThreadState(waiter) == 'S' ? asleep + 1 : 0;
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
              sawAsleep_ = asleep >= 5;
              clock.LetGo();
          }) {}
    ~SleepWatch() { Join(); }
    // Whether the waiter was seen asleep; waits for the watch to end.
    bool SawAsleep() {
        Join();
        return sawAsleep_;
    }

private:
    void Join() {
        if (thread_.joinable()) thread_.join();
    }
    bool sawAsleep_ = false;
    std::thread thread_;
};

using WaitTest = AnimTest;

struct WaitCase {
    const char* Name;
    // Sets up a painter that the clock then holds; nullptr when the wait
    // itself starts the painter.
    std::function<void(TGIFImage&, vcl::TCanvas&)> Before;
    std::function<void(TGIFImage&, vcl::TCanvas&)> Wait;
};

void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.Name; }

class UiWaitTest : public AnimTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(UiWaitTest, SleepsUntilThePainterMovesOn) {
    const WaitCase& c = GetParam();
    auto image = Strip(3, 10, 0);
    vcl::TBitmap target;
    target.SetSize(4, 4);
    if (c.Before) {
        c.Before(*image, target.GetCanvas());
        // Its next look at the clock holds it: before its next frame's wait.
        clock.Hold();
        ASSERT_TRUE(RunUntil([&] { return clock.Held() > 0; }));
    } else {
        // Held where its first cycle begins, before the first frame.
        clock.Hold();
    }
    SleepWatch watch(clock, gettid());
    c.Wait(*image, target.GetCanvas());
    EXPECT_TRUE(watch.SawAsleep());
    image->PaintStop();
    EXPECT_EQ(PainterCount(*image), 0);
}

constexpr TGIFDrawOptions kDirect = Options({goAsync, goAnimate, goLoop, goDirectDraw});

INSTANTIATE_TEST_SUITE_P(
    Wait, UiWaitTest,
    ::testing::Values(
        WaitCase{"DrawForTheFirstFrame", nullptr,
                 [](TGIFImage& image, vcl::TCanvas& canvas) {
                     image.SetDrawOptions(Options({goAsync, goAnimate, goLoop}));
                     image.Draw(canvas, {0, 0, 4, 4});
                     EXPECT_NE(image.GetDrawingPainter(), nullptr);
                 }},
        WaitCase{"PaintStop",
                 [](TGIFImage& image, vcl::TCanvas& canvas) {
                     ASSERT_NE(image.Paint(canvas, {0, 0, 4, 4}, Options({goAsync, goAnimate, goLoop})), nullptr);
                 },
                 [](TGIFImage& image, vcl::TCanvas&) { image.PaintStop(); }},
        WaitCase{"StopDraw",
                 [](TGIFImage& image, vcl::TCanvas& canvas) {
                     image.SetDrawOptions(kDirect);
                     image.Draw(canvas, {0, 0, 4, 4});
                     ASSERT_NE(image.GetDrawingPainter(), nullptr);
                 },
                 [](TGIFImage& image, vcl::TCanvas&) {
                     image.StopDraw();
                     EXPECT_EQ(image.GetDrawingPainter(), nullptr);
                 }},
        WaitCase{"DrawAtAnotherRectangle",
                 [](TGIFImage& image, vcl::TCanvas& canvas) {
                     image.SetDrawOptions(kDirect);
                     image.Draw(canvas, {0, 0, 2, 2});
                 },
                 [](TGIFImage& image, vcl::TCanvas& canvas) { image.Draw(canvas, {0, 0, 4, 4}); }}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return std::string(info.param.Name); });

// A thread other than the UI thread that stops the painters sleeps until
// they have ended on the UI thread.
TEST_F(WaitTest, AnotherThreadSleepsUntilThePaintersHaveEnded) {
    auto image = Strip(3, 10, 0);
    vcl::TBitmap target;
    target.SetSize(4, 4);
    ASSERT_NE(image->Paint(target.GetCanvas(), {0, 0, 4, 4}, Options({goAsync, goAnimate, goLoop})), nullptr);
    clock.Hold();
    ASSERT_TRUE(RunUntil([&] { return clock.Held() > 0; }));
    std::atomic<pid_t> waiter{0};
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        waiter = gettid();
        image->PaintStop();
        stopped = true;
    });
    ASSERT_TRUE(RunUntil([&] { return waiter != 0; }));
    SleepWatch watch(clock, waiter);
    // The painter's end runs here, on the UI thread.
    EXPECT_TRUE(RunUntil([&] { return stopped.load(); }));
    stopper.join();
    EXPECT_TRUE(watch.SawAsleep());
    EXPECT_EQ(PainterCount(*image), 0);
}

}  // namespace
