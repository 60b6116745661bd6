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

}  // namespace
