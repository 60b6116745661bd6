// What a test run shares between the UI thread and the run's worker: the run
// state (flags, range, address, progress), which the run's engine owns and
// the window's display timer reads, and the options the test window's
// controls hold, which the engine reads.  Both are written by one thread and
// read by the other without a lock, so every field is an atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

inline constexpr uint8_t kNoTestKind = 255;

struct TestRunState {
    std::atomic<uint8_t> TestKind{kNoTestKind};  // the round's kind
    std::atomic<uint8_t> NextKind{0};            // the next Batch round's kind
    std::atomic<uint8_t> RangeKind{kNoTestKind};
    std::atomic<uint8_t> RoundCount{0};
    std::atomic<uint8_t> Abort{0};
    std::atomic<uint8_t> UserBreak{0};
    std::atomic<uint8_t> Fail{0};  // the current step or preparation failed
    // Some step or preparation of this run failed: an earlier round's failure
    // still decides the verdict after later rounds passed.
    std::atomic<uint8_t> RunFailed{0};
    std::atomic<uint8_t> SecondNumber{0};  // the test-index line's second number
    std::atomic<uint32_t> StepStartTime{0};
    std::atomic<uint32_t> RangeStart{0};
    std::atomic<uint32_t> RangeEnd{0};  // exclusive
    std::atomic<uint32_t> CurrentAddress{0};
    std::atomic<uint32_t> Progress{0};
};

// The test options as the window's controls show them, kept current by the
// controls' own signals on the UI thread and read by the worker (the engine
// and the log writers) at the moment it needs them.
struct TestOptions {
    std::atomic<bool> BatchMode{false};  // "Batch Mode"
    std::atomic<bool> ReadProperties{false};
    std::atomic<bool> WriteProperties{false};
    std::atomic<bool> PartialWrite{false};
    std::atomic<bool> FullWrite{false};
    std::atomic<bool> RandomRead{false};
    std::atomic<bool> SequentialRead{false};
    // The integer values of the two "# of Loop" texts.
    std::atomic<int32_t> RandomReadCount{0};
    std::atomic<int32_t> SequentialReadCount{0};
};

// The integer value of a loop-count text as the C library reads one: leading
// blanks, a sign, then digits up to the first other character; 0 when there
// is no digit.  Values beyond 32 bits are held at the nearest end.
int32_t LoopCountValue(const std::string& text);

// The random generator of the random read: state × 22695477 + 1 (mod 2^32),
// each draw yields bits 16-30 of the new state.  Seeding draws once.
class TestRandom {
public:
    explicit TestRandom(uint32_t seed) : state_(seed) { Next(); }
    uint32_t Next() {
        state_ = state_ * 22695477u + 1u;
        return (state_ >> 16) & 0x7FFFu;
    }

private:
    uint32_t state_;
};
