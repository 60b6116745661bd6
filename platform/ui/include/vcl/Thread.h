// The class library's thread class: created suspended, started by Resume;
// after Execute returns, OnTerminate runs on the UI thread and a
// FreeOnTerminate thread then frees itself there.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vcl {

// True on the thread that runs the QApplication (also in vcl/Forms.h).
bool IsUiThread();

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

    // Starts Execute on its own thread (once).
    void Resume();
    // Asks Execute to end; Execute polls Terminated().
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }
    // Waits until Execute has returned (not for OnTerminate, which follows
    // on the UI thread).  Must not be called on the UI thread while Execute
    // waits in Synchronize, nor on the thread itself, nor for a thread that
    // frees itself.
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
    // the UI thread both run fn at once.
    static void Queue(std::function<void()> fn);
    static void Synchronize(const std::function<void()>& fn);

protected:
    virtual void Execute() = 0;

private:
    struct Link;
    void Finish();
    bool OnOwnThread() const;

    std::thread thread_;
    std::shared_ptr<Link> link_;
    std::atomic<bool> started_{false};
    std::atomic<bool> executing_{false};  // Resume until Execute has returned
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::string fatal_;  // written by the thread before Finish is posted
};

}  // namespace vcl
