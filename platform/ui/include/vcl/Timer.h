// The class library's timer.  OnTimer runs on the UI thread.
//
// With a virtual platform clock (tests, the simulated machine) the timer runs
// in the clock's time: as soon as the event loop is free and no worker thread
// runs (vcl::RunningWorkers), the clock is moved on to the earliest due timer,
// which then fires - a one-second timer costs no real time.  While a worker
// runs, only the worker's own waits move the clock, so its timeouts are never
// cut short by the UI loop; timers then fire once the clock has reached them,
// and the loop looks again every few real milliseconds instead of spinning.
// With a real clock it is a QTimer of the interval.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

namespace vcl {

class TTimer {
public:
    TTimer();  // on the UI thread
    ~TTimer();
    TTimer(const TTimer&) = delete;
    TTimer& operator=(const TTimer&) = delete;

    // Any thread; the change reaches the timer through the UI thread.  A
    // change restarts the count; an interval of 0 stops the timer.
    void SetInterval(uint32_t milliseconds);
    uint32_t Interval() const { return interval_; }
    void SetEnabled(bool on);
    bool Enabled() const { return enabled_; }

    std::function<void()> OnTimer;

private:
    friend class VirtualTimers;
    void Schedule();
    void Apply();
    void Fire();

    std::unique_ptr<QTimer> timer_;
    std::atomic<bool> enabled_{false};
    std::atomic<uint32_t> interval_{1000};
    uint32_t due_ = 0;  // virtual mode: the clock tick it fires at
};

// A pause of the UI thread that keeps its event loop running: repaints,
// queued calls, timers and the user's clicks go on while it lasts.  It lasts
// the given time on the platform clock (on a virtual clock a TTimer's time:
// no real waiting), and ends early when End is called (by a handler that runs
// meanwhile, or by the owner's destructor) or when the program is asked to
// end.  One Run at a time; a Run asked for inside another ends at once.
// Without an application (no UI thread) Run sleeps on the platform clock.
class TPause {
public:
    TPause();
    ~TPause();
    TPause(const TPause&) = delete;
    TPause& operator=(const TPause&) = delete;

    // True when the whole time passed; false when it was ended early.
    bool Run(uint32_t milliseconds);
    void End();
    bool Running() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace vcl
