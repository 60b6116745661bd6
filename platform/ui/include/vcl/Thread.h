// The class library's thread class: created suspended, started by Resume;
// after Execute returns, OnTerminate runs on the UI thread and a
// FreeOnTerminate thread then frees itself there.  Also the services threads
// meet through: synchronised calls the UI thread services (CheckSynchronize),
// events and sleeps on the platform clock, a list guarded by a recursive lock
// and the message pump.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vcl {

// Thread priorities: kept with the thread; every thread runs at the system's
// normal priority.
enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The platform clock as threads see it: the installed machine's clock, or
// the process's steady clock when none is installed.  PlatformSleep(0) only
// gives up the time slice.
uint32_t PlatformTickCount();
void PlatformSleep(uint32_t milliseconds);

inline constexpr uint32_t INFINITE = 0xFFFFFFFF;
enum TWaitResult { wrSignaled, wrTimeout };

// An event, auto-reset (a wait that sees it signalled resets it) or
// manual-reset.  Waits count in the platform clock's time: on a virtual
// clock a timed wait that is not signalled at once moves the clock on by
// its time and times out without real waiting; an INFINITE wait always waits
// for SetEvent.
class TEvent {
public:
    explicit TEvent(bool manualReset = false, bool initialState = false);
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    TWaitResult WaitFor(uint32_t milliseconds);

private:
    bool Take();  // under the lock

    std::mutex mutex_;
    std::condition_variable signalled_;
    bool manual_;
    bool state_;
};

// A list of pointers shared between threads.  The lock is recursive: the UI
// thread may take it again while it holds it (it services synchronised calls
// that take it while it waits for a thread).
template <class T>
class TThreadList {
public:
    std::vector<T*>& LockList() {
        mutex_.lock();
        return items_;
    }
    void UnlockList() { mutex_.unlock(); }
    // Duplicates are ignored.
    void Add(T* item) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        for (T* existing : items_)
            if (existing == item) return;
        items_.push_back(item);
    }
    void Remove(T* item) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        for (auto it = items_.begin(); it != items_.end(); ++it)
            if (*it == item) {
                items_.erase(it);
                return;
            }
    }
    int Count() {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return static_cast<int>(items_.size());
    }

private:
    std::recursive_mutex mutex_;
    std::vector<T*> items_;
};

// The message pump: on the UI thread, handles the window messages that are
// waiting and returns.  True when the program was asked to end (the quit
// request stays, so the program's own loop still ends).
bool ProcessMessages();
// The message pump's wait: on the UI thread, handles the messages that are
// waiting or, when none is, sleeps until one comes (a thread's synchronised
// or queued call, its end, a posted event, a timer) and handles it.  True
// when the program was asked to end.  Elsewhere it only answers that.
bool HandleMessage();

// True on the thread that runs the QApplication (also in vcl/Forms.h).
bool IsUiThread();
// True while an application exists: queued and synchronised calls then wait
// for the UI thread.  Without one they run at once on the calling thread, and
// a thread's end runs on the thread itself.
bool HasUiThread();

// Worker threads that are running now: every TThread while its Execute runs,
// and every thread inside a WorkerScope.  While one runs, virtual timers do
// not move the virtual clock (vcl/Timer.h): the worker's own waits do.
int RunningWorkers();

class WorkerScope {
public:
    WorkerScope();
    ~WorkerScope();
    WorkerScope(const WorkerScope&) = delete;
    WorkerScope& operator=(const WorkerScope&) = delete;
};

class TThread {
public:
    TThread();
    // Joins a thread whose Execute has returned.  Deleting a thread whose
    // Execute still runs is a program error that stops the program with a
    // message: by the time this destructor runs, the derived part Execute
    // works on is gone.  Wait for it first (WaitFor), or let it free itself
    // (FreeOnTerminate).
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts Execute on its own thread (the first time), or lets a
    // suspended thread go on.
    void Resume();
    void Start() { Resume(); }
    // Asks a running thread to pause: it stops at its next CheckSuspended
    // (POSIX threads cannot be stopped from outside).
    void Suspend();
    bool Suspended() const { return suspended_; }
    bool Started() const { return started_; }
    // Asks Execute to end (it polls Terminated()); a suspended thread wakes.
    void Terminate();
    bool Terminated() const { return terminated_; }
    void SetPriority(TThreadPriority priority) { priority_ = priority; }
    TThreadPriority Priority() const { return priority_; }
    // Waits until Execute has returned (not for OnTerminate, which follows
    // on the UI thread; without an application the end runs on the thread
    // itself, and WaitFor waits for it too).  Must not be called on the UI
    // thread while Execute waits in Synchronize, nor on the thread itself,
    // nor for a thread that frees itself.
    void WaitFor();
    // True once OnTerminate has run.
    bool Finished() const { return finished_; }
    // The message of an exception that escaped Execute ("" when none).
    std::string FatalException() const;

    std::atomic<bool> FreeOnTerminate{false};
    std::function<void(TThread* sender)> OnTerminate;

    // Threads started and not yet through their end (OnTerminate has run,
    // or the object was deleted first).
    static int RunningCount();

    // Runs fn on the UI thread: Queue without waiting (in order), Synchronize
    // waiting for it (an exception fn throws comes back to the caller).  On
    // the UI thread both run fn at once.  Queued and synchronised calls and
    // the ends of threads wait in one list in order; the event loop runs
    // them, and so does CheckSynchronize.
    static void Queue(std::function<void()> fn);
    static void Synchronize(const std::function<void()>& fn);
    // On the UI thread: runs every call waiting in that list; true when one
    // ran.  Elsewhere nothing (false).
    static bool CheckSynchronize();

protected:
    virtual void Execute() = 0;
    // A safe point of Execute: waits while the thread is suspended and not
    // terminated.
    void CheckSuspended();

private:
    struct Link;
    void Finish();
    bool OnOwnThread() const;

    std::mutex pauseMutex_;
    std::condition_variable pauseChanged_;
    std::atomic<bool> suspended_{false};
    std::atomic<TThreadPriority> priority_{tpNormal};

    std::thread thread_;
    std::shared_ptr<Link> link_;
    std::atomic<bool> started_{false};
    std::atomic<bool> executing_{false};  // Resume until Execute has returned
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::string fatal_;  // written by the thread before Finish is posted
};

}  // namespace vcl
