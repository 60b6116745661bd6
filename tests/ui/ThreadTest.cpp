// TThread: suspended creation, the end on the UI thread, Queue and Synchronize.
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "UiTestSupport.h"
#include "vcl/Thread.h"

namespace {

using uitest::UiTest;
using ThreadTest = UiTest;

class ScriptedThread : public vcl::TThread {
public:
    ScriptedThread(std::function<void()> body, std::atomic<bool>* freed)
        : body_(std::move(body)), freed_(freed) {}
    ~ScriptedThread() override {
        if (freed_ != nullptr) *freed_ = true;
    }
    std::atomic<bool> ran{false};

protected:
    void Execute() override {
        ran = true;
        if (body_) body_();
    }

private:
    std::function<void()> body_;
    std::atomic<bool>* freed_;
};

TEST_F(ThreadTest, RunsOnlyAfterResumeThenEndsOnTheUiThreadAndFreesItself) {
    std::atomic<bool> freed{false};
    auto* thread = new ScriptedThread(nullptr, &freed);
    thread->FreeOnTerminate = true;
    bool terminateOnUi = false;
    bool ranBeforeTerminate = false;
    vcl::TThread* sender = nullptr;
    thread->OnTerminate = [&](vcl::TThread* s) {
        terminateOnUi = vcl::IsUiThread();
        ranBeforeTerminate = thread->ran;
        sender = s;
    };
    QCoreApplication::processEvents();
    EXPECT_FALSE(thread->ran);  // created suspended

    thread->Resume();
    ASSERT_TRUE(RunUntil([&] { return freed.load(); }));
    EXPECT_TRUE(terminateOnUi);
    EXPECT_TRUE(ranBeforeTerminate);
    EXPECT_EQ(sender, thread);
}

TEST_F(ThreadTest, QueuedCallsArriveInOrderAndBeforeTheEnd) {
    std::vector<int> seen;  // UI thread only
    std::atomic<bool> allOnUi{true};
    ScriptedThread thread(
        [&] {
            for (int i = 0; i < 200; ++i)
                vcl::TThread::Queue([&, i] {
                    if (!vcl::IsUiThread()) allOnUi = false;
                    seen.push_back(i);
                });
        },
        nullptr);
    size_t seenAtEnd = 0;
    thread.OnTerminate = [&](vcl::TThread*) { seenAtEnd = seen.size(); };
    thread.Resume();
    ASSERT_TRUE(RunUntil([&] { return thread.Finished(); }));
    EXPECT_EQ(seenAtEnd, 200u);
    ASSERT_EQ(seen.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[static_cast<size_t>(i)], i);
    EXPECT_TRUE(allOnUi);
}

TEST_F(ThreadTest, SynchronizeWaitsForTheUiThreadAndBringsItsExceptionBack) {
    std::atomic<int> value{0};
    std::atomic<bool> ranOnUi{false};
    std::atomic<int> seenAfterReturn{-1};
    std::string caught;
    ScriptedThread thread(
        [&] {
            vcl::TThread::Synchronize([&] {
                ranOnUi = vcl::IsUiThread();
                value = 7;
            });
            seenAfterReturn = value.load();
            try {
                vcl::TThread::Synchronize([] { throw std::runtime_error("ui side failed"); });
            } catch (const std::exception& e) {
                caught = e.what();
            }
        },
        nullptr);
    thread.Resume();
    ASSERT_TRUE(RunUntil([&] { return thread.Finished(); }));
    EXPECT_TRUE(ranOnUi);
    EXPECT_EQ(seenAfterReturn, 7);
    EXPECT_EQ(caught, "ui side failed");
    EXPECT_TRUE(dialogs.MessageBoxes().empty());  // the caller got it, not the display
}

TEST_F(ThreadTest, AnExceptionEscapingExecuteIsKeptAndTheEndStillRuns) {
    ScriptedThread thread([] { throw std::runtime_error("worker failed"); }, nullptr);
    bool ended = false;
    thread.OnTerminate = [&](vcl::TThread*) { ended = true; };
    thread.Resume();
    ASSERT_TRUE(RunUntil([&] { return thread.Finished(); }));
    EXPECT_TRUE(ended);
    EXPECT_EQ(thread.FatalException(), "worker failed");
}

TEST_F(ThreadTest, AThreadFreedBeforeItsEndArrivesIsNotTouchedAfterwards) {
    std::atomic<bool> freed{false};
    bool terminateRan = false;
    {
        std::atomic<bool> executed{false};
        ScriptedThread thread([&] { executed = true; }, &freed);
        thread.OnTerminate = [&](vcl::TThread*) { terminateRan = true; };
        thread.Resume();
        thread.WaitFor();
        EXPECT_TRUE(executed);
    }  // its end is still queued
    EXPECT_TRUE(freed);
    QCoreApplication::processEvents();
    EXPECT_FALSE(terminateRan);
}

// Deleting a thread whose Execute still runs would leave Execute working on
// a destroyed object: the program stops with a message instead.  (Before the
// thread ends, Execute keeps reading its own member.)
class BusyThread : public vcl::TThread {
public:
    std::atomic<int> Spins{0};

protected:
    void Execute() override {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (std::chrono::steady_clock::now() < end) ++Spins;
    }
};

// Spins until the process ends, so it is surely still running when deleted.
class EndlessThread : public vcl::TThread {
public:
    std::atomic<bool> Started{false};

protected:
    void Execute() override {
        Started = true;
        for (;;) std::this_thread::yield();
    }
};

TEST(ThreadDeathTest, DeletingARunningThreadStopsWithAMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto* thread = new EndlessThread;
            thread->Resume();
            // Deleted before Execute began, the derived part would already be
            // gone when the thread calls it: wait until it runs.
            while (!thread->Started) std::this_thread::yield();
            delete thread;
        },
        "running thread was deleted");
}

TEST_F(ThreadTest, WaitForThenDeleteIsSafe) {
    auto* thread = new BusyThread;
    thread->Resume();
    thread->WaitFor();
    EXPECT_GT(thread->Spins.load(), 0);
    delete thread;
}

// The calls a worker hands to the UI thread and the ends of threads wait in
// one list that CheckSynchronize empties without the event loop.
TEST_F(ThreadTest, CheckSynchronizeRunsWaitingCallsAndEndsWithoutTheEventLoop) {
    std::atomic<bool> synchronized{false};
    std::atomic<bool> freed{false};
    auto* thread = new ScriptedThread([&] { vcl::TThread::Synchronize([&] { synchronized = true; }); }, &freed);
    thread->FreeOnTerminate = true;
    bool ended = false;
    thread->OnTerminate = [&](vcl::TThread*) { ended = true; };
    EXPECT_FALSE(vcl::TThread::CheckSynchronize());
    thread->Resume();
    const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!freed && std::chrono::steady_clock::now() < bound)
        if (!vcl::TThread::CheckSynchronize()) std::this_thread::yield();
    EXPECT_TRUE(synchronized);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(freed);
}

class PausingThread : public vcl::TThread {
public:
    std::atomic<int> Rounds{0};

protected:
    void Execute() override {
        while (!Terminated()) {
            CheckSuspended();
            ++Rounds;
            std::this_thread::yield();
        }
    }
};

// POSIX threads cannot be stopped from outside: a suspended thread stops at
// its next safe point, Resume lets it go on, and Terminate wakes it.
TEST_F(ThreadTest, SuspendPausesAtTheNextSafePointAndTerminateWakesIt) {
    PausingThread thread;
    thread.Suspend();  // not started: nothing to pause
    EXPECT_FALSE(thread.Suspended());
    thread.Start();
    ASSERT_TRUE(RunUntil([&] { return thread.Rounds > 0; }));
    thread.Suspend();
    EXPECT_TRUE(thread.Suspended());
    // At most one round finishes after the request.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const int paused = thread.Rounds;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_LE(thread.Rounds - paused, 1);
    thread.Resume();
    EXPECT_FALSE(thread.Suspended());
    ASSERT_TRUE(RunUntil([&] { return thread.Rounds > paused + 1; }));
    thread.Suspend();
    thread.Terminate();
    thread.WaitFor();
    ASSERT_TRUE(RunUntil([&] { return thread.Finished(); }));
}

// Waits count in the platform clock's time: on the virtual clock a timed
// wait moves the clock on and costs no real time.
TEST_F(ThreadTest, EventsWaitOnThePlatformClock) {
    vcl::TEvent event;  // auto-reset
    const uint32_t start = clock.TickCount();
    const auto realStart = std::chrono::steady_clock::now();
    EXPECT_EQ(event.WaitFor(60000), vcl::wrTimeout);
    EXPECT_EQ(clock.TickCount() - start, 60000u);
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(5));

    event.SetEvent();
    EXPECT_EQ(event.WaitFor(100), vcl::wrSignaled);
    EXPECT_EQ(event.WaitFor(0), vcl::wrTimeout);  // reset by the wait that saw it

    vcl::TEvent manual(true, true);
    EXPECT_EQ(manual.WaitFor(0), vcl::wrSignaled);
    EXPECT_EQ(manual.WaitFor(0), vcl::wrSignaled);
    manual.ResetEvent();
    EXPECT_EQ(manual.WaitFor(0), vcl::wrTimeout);

    // An endless wait ends when another thread signals.
    std::thread signaller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        event.SetEvent();
    });
    EXPECT_EQ(event.WaitFor(vcl::INFINITE), vcl::wrSignaled);
    signaller.join();

    const uint32_t before = vcl::PlatformTickCount();
    vcl::PlatformSleep(7000);
    EXPECT_EQ(vcl::PlatformTickCount() - before, 7000u);
}

// The list's lock may be taken again by the thread that holds it, and keeps
// every other thread out until it is released.
TEST_F(ThreadTest, ThreadListLockIsRecursive) {
    vcl::TThreadList<int> list;
    int a = 1, b = 2;
    std::vector<int*>& items = list.LockList();
    list.Add(&a);
    list.Add(&b);
    list.Add(&a);  // ignored
    EXPECT_EQ(items.size(), 2u);
    list.Remove(&a);
    EXPECT_EQ(list.Count(), 1);
    std::atomic<bool> added{false};
    std::thread other([&] {
        list.Add(&a);
        added = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(added);  // still locked here
    EXPECT_EQ(items.size(), 1u);
    list.UnlockList();
    other.join();
    EXPECT_TRUE(added);
    EXPECT_EQ(list.Count(), 2);
}

TEST_F(ThreadTest, ProcessMessagesRunsWaitingMessagesAndTellsAQuitRequest) {
    bool ran = false;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [&] { ran = true; }, Qt::QueuedConnection);
    EXPECT_FALSE(vcl::ProcessMessages());
    EXPECT_TRUE(ran);
    vcl::Application.Terminate();
    EXPECT_TRUE(vcl::ProcessMessages());
    EXPECT_TRUE(vcl::ProcessMessages());  // the request stays
}

}  // namespace
