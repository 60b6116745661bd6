// TTimer: in a virtual clock's time, across threads and under a modal window.
#include <QTimer>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "vcl/Timer.h"

namespace {

using uitest::UiTest;
using TimerTest = UiTest;

TEST_F(TimerTest, FiresInTheVirtualClocksTimeWithoutRealWaiting) {
    vcl::TTimer timer;
    timer.SetInterval(1000);
    const uint32_t start = clock.TickCount();
    std::vector<uint32_t> firedAt;
    timer.OnTimer = [&] {
        firedAt.push_back(clock.TickCount() - start);
        if (firedAt.size() == 3) timer.SetEnabled(false);
    };
    const auto realStart = std::chrono::steady_clock::now();
    timer.SetEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return firedAt.size() == 3; }));
    EXPECT_EQ(firedAt, (std::vector<uint32_t>{1000, 2000, 3000}));
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(900));

    // Disabled: no more firing however long the loop runs.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(firedAt.size(), 3u);
}

TEST_F(TimerTest, TimersInterleaveByTheirDueTimeAndASleepCountsAsTimePassed) {
    vcl::TTimer slow;
    vcl::TTimer fast;
    slow.SetInterval(1000);
    fast.SetInterval(300);
    std::string order;
    slow.OnTimer = [&] {
        order += 'S';
        slow.SetEnabled(false);
        fast.SetEnabled(false);
    };
    fast.OnTimer = [&] { order += 'f'; };
    slow.SetEnabled(true);
    fast.SetEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return !slow.Enabled(); }));
    EXPECT_EQ(order, "fffS");  // 300, 600, 900, then 1000

    // A 7-second sleep makes the next one due at once, with no extra advance.
    order.clear();
    slow.SetEnabled(true);
    clock.Sleep(7000);
    const uint32_t before = clock.TickCount();
    ASSERT_TRUE(RunUntil([&] { return !slow.Enabled(); }));
    EXPECT_EQ(order, "S");
    EXPECT_EQ(clock.TickCount(), before);
}

TEST_F(TimerTest, AZeroIntervalOrNoHandlerNeverFires) {
    vcl::TTimer stopped;
    int fired = 0;
    stopped.OnTimer = [&] { ++fired; };
    stopped.SetInterval(0);
    stopped.SetEnabled(true);
    vcl::TTimer silent;  // enabled, no handler: harmless
    silent.SetEnabled(true);
    vcl::TTimer marker;
    bool markerFired = false;
    marker.SetInterval(5000);
    marker.OnTimer = [&] {
        markerFired = true;
        marker.SetEnabled(false);
    };
    marker.SetEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return markerFired; }));
    EXPECT_EQ(fired, 0);
}

TEST_F(TimerTest, EnablingFromAWorkerReachesTheUiThread) {
    vcl::TTimer timer;
    timer.SetInterval(1000);
    bool firedOnUi = false;
    int fired = 0;
    timer.OnTimer = [&] {
        firedOnUi = vcl::IsUiThread();
        ++fired;
        timer.SetEnabled(false);
    };
    std::thread worker([&] { timer.SetEnabled(true); });
    worker.join();
    EXPECT_TRUE(timer.Enabled());
    ASSERT_TRUE(RunUntil([&] { return fired == 1; }));
    EXPECT_TRUE(firedOnUi);
}

TEST_F(TimerTest, KeepsFiringWhileAModalWindowIsUpAndCanCloseIt) {
    vcl::InstallDialogs(nullptr);  // the Qt seam: a real nested loop
    vcl::TForm form;
    vcl::TTimer timer;
    timer.SetInterval(1000);
    int fired = 0;
    timer.OnTimer = [&] {
        ++fired;
        if (fired == 3) form.Close();
    };
    const uint32_t start = clock.TickCount();
    timer.SetEnabled(true);
    EXPECT_EQ(form.ShowModal(), vcl::mrCancel);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(clock.TickCount() - start, 3000u);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(TimerTest, WithARealClockItIsAQtTimerOfTheInterval) {
    clock.SetVirtual(false);
    vcl::TTimer timer;
    timer.SetInterval(1);
    int fired = 0;
    timer.OnTimer = [&] {
        if (++fired == 2) timer.SetEnabled(false);
    };
    const uint32_t before = clock.TickCount();
    timer.SetEnabled(true);
    ASSERT_TRUE(RunUntil([&] { return fired == 2; }));
    EXPECT_EQ(clock.TickCount(), before);  // the clock was left alone
}

}  // namespace
