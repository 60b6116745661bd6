// Ends a test program that stops moving: when Beat() is not called for the
// given time, it prints what it was last told and aborts (a deadlock or a
// hang would otherwise stall the whole test run).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds bound) : thread_([this, bound] { Watch(bound); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // The test moved on; `doing` names what it does now.
    void Beat(const std::string& doing) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            doing_ = doing;
            ++beats_;
        }
        changed_.notify_all();
    }

private:
    void Watch(std::chrono::seconds bound) {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!finished_) {
            const long seen = beats_;
            if (!changed_.wait_for(lock, bound, [&] { return finished_ || beats_ != seen; })) {
                std::fprintf(stderr, "no progress for %lld s in \"%s\": a hang\n",
                             static_cast<long long>(bound.count()), doing_.c_str());
                std::abort();
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::string doing_ = "start";
    long beats_ = 0;
    bool finished_ = false;
    std::thread thread_;  // last: starts once the rest is set up
};

}  // namespace testsupport
