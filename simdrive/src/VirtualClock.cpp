#include <chrono>
#include <mutex>

#include "simdrive/SimMachine.h"

namespace sim {

namespace {

using Milliseconds = std::chrono::duration<int64_t, std::milli>;

// A fixed default date, so that logs written on the simulated machine are the
// same on every run.
constexpr platform::LocalTime kDefaultLocalTime{2006, 3, 15, 10, 0, 0, 0};

Milliseconds ToEpochMs(const platform::LocalTime& t) {
    using namespace std::chrono;
    const sys_days day = year{t.Year} / month{static_cast<unsigned>(t.Month)} /
                         std::chrono::day{static_cast<unsigned>(t.Day)};
    return duration_cast<Milliseconds>(day.time_since_epoch()) + hours{t.Hour} +
           minutes{t.Minute} + seconds{t.Second} + Milliseconds{t.Milliseconds};
}

platform::LocalTime FromEpochMs(Milliseconds ms) {
    using namespace std::chrono;
    const sys_days day = floor<days>(sys_time<Milliseconds>(ms));
    const year_month_day date(day);
    Milliseconds rest = ms - duration_cast<Milliseconds>(day.time_since_epoch());
    platform::LocalTime t{};
    t.Year = static_cast<int>(date.year());
    t.Month = static_cast<int>(static_cast<unsigned>(date.month()));
    t.Day = static_cast<int>(static_cast<unsigned>(date.day()));
    t.Hour = static_cast<int>(rest / hours{1});
    rest -= hours{t.Hour};
    t.Minute = static_cast<int>(rest / minutes{1});
    rest -= minutes{t.Minute};
    t.Second = static_cast<int>(rest / seconds{1});
    rest -= seconds{t.Second};
    t.Milliseconds = static_cast<int>(rest.count());
    return t;
}

}  // namespace

struct VirtualClock::State {
    std::mutex Lock;
    uint32_t StartTick = 0;
    uint64_t Elapsed = 0;          // virtual milliseconds since construction
    uint32_t AdvancePerRead = 0;
    uint64_t TotalSlept = 0;
    Milliseconds LocalBase{};      // local date/time when ElapsedAtBase was current
    uint64_t ElapsedAtBase = 0;
};

VirtualClock::VirtualClock(uint32_t startTick) : state_(std::make_shared<State>()) {
    state_->StartTick = startTick;
    state_->LocalBase = ToEpochMs(kDefaultLocalTime);
}

void VirtualClock::Sleep(uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(state_->Lock);
    state_->Elapsed += milliseconds;
    state_->TotalSlept += milliseconds;
}

uint32_t VirtualClock::TickCount() {
    std::lock_guard<std::mutex> lock(state_->Lock);
    // The counter wraps at 2^32 as the system's millisecond counter does.
    const uint32_t tick = static_cast<uint32_t>(state_->StartTick + state_->Elapsed);
    state_->Elapsed += state_->AdvancePerRead;
    return tick;
}

platform::LocalTime VirtualClock::Now() {
    std::lock_guard<std::mutex> lock(state_->Lock);
    const auto since = static_cast<int64_t>(state_->Elapsed - state_->ElapsedAtBase);
    return FromEpochMs(state_->LocalBase + Milliseconds{since});
}

void VirtualClock::Advance(uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(state_->Lock);
    state_->Elapsed += milliseconds;
}

void VirtualClock::SetAdvancePerRead(uint32_t milliseconds) {
    std::lock_guard<std::mutex> lock(state_->Lock);
    state_->AdvancePerRead = milliseconds;
}

void VirtualClock::SetLocalTime(const platform::LocalTime& t) {
    std::lock_guard<std::mutex> lock(state_->Lock);
    state_->LocalBase = ToEpochMs(t);
    state_->ElapsedAtBase = state_->Elapsed;
}

uint64_t VirtualClock::TotalSleptMs() const {
    std::lock_guard<std::mutex> lock(state_->Lock);
    return state_->TotalSlept;
}

}  // namespace sim
