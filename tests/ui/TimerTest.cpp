// TTimer: in a virtual clock's time, across threads and under a modal window;
// TPause, the UI thread's pause that keeps the event loop running.
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "vcl/Thread.h"
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

// While a worker runs, only its own waits move the clock: a one-second timer
// cannot cut the worker's counted wait short, and fires at its due time once
// the worker's sleeps reach it.  Without a worker the timers move it again.
TEST_F(TimerTest, AWorkerHoldsTheVirtualClockWhileItRuns) {
    vcl::TTimer watch;
    watch.SetInterval(1000);
    std::vector<uint32_t> firedAt;
    const uint32_t start = clock.TickCount();
    watch.OnTimer = [&] { firedAt.push_back(clock.TickCount() - start); };

    std::atomic<bool> release{false};
    std::atomic<uint32_t> workerSaw{0};
    std::thread worker([&] {
        vcl::WorkerScope running;
        while (!release) std::this_thread::yield();
        // A counted wait of 2.5 s in 500 ms steps, as a drive wait is.
        const uint32_t begin = clock.TickCount();
        for (int i = 0; i < 5; ++i) clock.Sleep(500);
        workerSaw = clock.TickCount() - begin;
    });
    while (vcl::RunningWorkers() == 0) std::this_thread::yield();
    watch.SetEnabled(true);
    // The loop runs for a while with the worker idle: no time passes.
    QTimer idle;
    idle.setSingleShot(true);
    bool idleDone = false;
    QObject::connect(&idle, &QTimer::timeout, [&] { idleDone = true; });
    idle.start(50);
    ASSERT_TRUE(RunUntil([&] { return idleDone; }));
    EXPECT_EQ(clock.TickCount(), start);
    EXPECT_TRUE(firedAt.empty());

    release = true;
    worker.join();
    EXPECT_EQ(workerSaw.load(), 2500u);
    ASSERT_TRUE(RunUntil([&] {
        if (firedAt.size() >= 4) watch.SetEnabled(false);
        return firedAt.size() >= 4;
    })) << firedAt.size();
    // Fired at its due time once the worker's sleeps passed it (the first
    // look may come after several periods), then at whole seconds again.
    ASSERT_GE(firedAt.size(), 4u);
    EXPECT_GE(firedAt[0], 1000u);
    EXPECT_EQ(firedAt.back() % 500, 0u);
    EXPECT_EQ(vcl::RunningWorkers(), 0);
}

TEST_F(TimerTest, AThreadOfTheClassLibraryCountsAsAWorkerWhileItExecutes) {
    struct Worker : vcl::TThread {
        std::atomic<bool> release{false};
        std::atomic<int> seen{0};
        void Execute() override {
            seen = vcl::RunningWorkers();
            while (!release) std::this_thread::yield();
        }
    } worker;
    EXPECT_EQ(vcl::RunningWorkers(), 0);
    worker.Resume();
    while (worker.seen == 0) std::this_thread::yield();
    EXPECT_EQ(worker.seen.load(), 1);
    worker.release = true;
    ASSERT_TRUE(RunUntil([&] { return worker.Finished(); }));
    EXPECT_EQ(vcl::RunningWorkers(), 0);
}

// A pause lasts its time on the clock while queued calls and timers go on;
// an end from a handler, the program's end or a pause inside it cut it short
// at once.
TEST_F(TimerTest, APauseKeepsTheLoopRunningUntilItsTimeOrItsEnd) {
    struct Case {
        const char* what;
        std::function<void(vcl::TPause&)> inside;  // called by a timer 300 ms in
        bool whole;
        uint32_t lasted;
    };
    const Case cases[] = {
        {"left alone", [](vcl::TPause&) {}, true, 1000},
        {"ended by a handler", [](vcl::TPause& pause) { pause.End(); }, false, 300},
        {"the program asked to end", [](vcl::TPause&) { vcl::Application.Terminate(); }, false, 300},
        {"a pause inside it", [](vcl::TPause& pause) { EXPECT_FALSE(pause.Run(5000)); }, true, 1000},
    };
    for (const Case& c : cases) {
        vcl::Application.Reset();
        vcl::TPause pause;
        bool queued = false;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { queued = pause.Running(); },
                                  Qt::QueuedConnection);
        vcl::TTimer timer;
        timer.SetInterval(300);
        timer.OnTimer = [&] {
            timer.SetEnabled(false);
            c.inside(pause);
        };
        timer.SetEnabled(true);
        const uint32_t start = clock.TickCount();
        EXPECT_EQ(pause.Run(1000), c.whole) << c.what;
        EXPECT_EQ(clock.TickCount() - start, c.lasted) << c.what;
        EXPECT_TRUE(queued) << c.what;
        EXPECT_FALSE(pause.Running()) << c.what;
    }
    vcl::Application.Reset();
}

// With a real clock the pause is a Qt timer of its time; the clock is left
// alone.
TEST_F(TimerTest, WithARealClockAPauseWaitsItsTime) {
    clock.SetVirtual(false);
    vcl::TPause pause;
    const uint32_t before = clock.TickCount();
    const auto realStart = std::chrono::steady_clock::now();
    EXPECT_TRUE(pause.Run(20));
    EXPECT_GE(std::chrono::steady_clock::now() - realStart, std::chrono::milliseconds(15));
    EXPECT_EQ(clock.TickCount(), before);
}

// A pause freed by a handler while it runs (its owner gone) ends, and its Run
// touches nothing freed (the sanitizer build sees it).
TEST_F(TimerTest, APauseFreedWhileItRunsEnds) {
    auto pause = std::make_unique<vcl::TPause>();
    vcl::TPause* running = pause.get();
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { pause.reset(); }, Qt::QueuedConnection);
    EXPECT_FALSE(running->Run(1000));
    EXPECT_EQ(pause, nullptr);
}

}  // namespace
