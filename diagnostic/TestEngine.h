// The test engine: one test run on a worker thread of its own.
//
// START makes one engine per run and gives it a copy of what the run needs:
// the drive slot, the log path and the disc as the window saw it.  The engine
// owns the run state, its own disc record and the step buffer; it reads the
// options the user may still change during the run from the window's atomic
// model, and shows what it does only through its report (diagnostic/
// TestReport.h).  It never touches a window, a control or a timer.
//
// A run: up to four Batch rounds (or one round outside Batch Mode), each a
// disc preparation (tray, prompt, lead-in, the disc checked against the
// round) and the round's step; at the end the tray opens, and the report's
// RunEnded, after the last drive command, hands the drive back.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "diagnostic/TestReport.h"
#include "diagnostic/TestRun.h"
#include "drive/DiscInfo.h"

// Engine timing.
inline constexpr uint32_t kTrayCloseDelayMs = 1000;
inline constexpr uint32_t kLeadInPollMs = 500;
inline constexpr uint32_t kLeadInLimitSeconds = 60;
inline constexpr uint32_t kPreparationProgressMax = 70;
// After the write step the disc information is read, with a pause between
// looks, for at most a minute while the disc may still come.
inline constexpr uint32_t kDiscAfterWriteSeconds = 60;
inline constexpr uint32_t kDiscAfterWritePollMs = 500;
// (The waits after a close and a format keep the drive layer's timing,
// drive/Timing.h.)

inline constexpr uint32_t kBatchRandomReads = 200;
inline constexpr size_t kStepBufferSize = 65536;
inline constexpr uint32_t kChunkBlocks = 16;

// Range read results.
inline constexpr uint8_t kRangeReadOk = 0x01;
inline constexpr uint8_t kRangeReadFailed = 0x10;
inline constexpr uint8_t kRangeMismatch = 0x20;

// Status texts of a step that had nothing to read or write: it never passes.
inline constexpr const char* kEmptyRangeText = "EMPTY TEST AREA";
inline constexpr const char* kNoCapacityText = "DISC SIZE 0";
inline constexpr const char* kNothingReadText = "NOTHING READ";

// What a test run covers: start and end block (exclusive).
struct TestRange {
    uint32_t Start = 0;
    uint32_t End = 0;
};

// The range of a test: the whole disc, or about 3 % of it (a multiple of 16
// blocks) from the start (DVD+RW) or from the next writable address (other
// writable discs), never past the disc's capacity.  Kinds 0 and 3 (CD-ROM and
// DVD-ROM rounds) always cover the whole disc.
TestRange ComputeTestRange(uint8_t rangeKind, uint16_t discType, uint32_t capacity, uint32_t nextWritable,
                           bool full);

// What START hands a run.
struct RunSetup {
    uint8_t Slot = 0;
    std::string LogPath;
    drive::DiscRecord Disc{};  // the disc the window showed at START
};

class TestEngine {
public:
    // options and report must outlive the engine.
    TestEngine(RunSetup setup, const TestOptions& options, ITestReport& report);
    // Waits for the worker (see WaitFor).
    ~TestEngine();
    TestEngine(const TestEngine&) = delete;
    TestEngine& operator=(const TestEngine&) = delete;

    // Starts the run on its worker.
    void Start();
    // STOP: the run breaks off at its next check.
    void Stop();
    // Waits until the worker has returned.  The UI thread calls it once the
    // run has reported its end; before that the worker may be waiting for the
    // UI thread.
    void WaitFor();

    TestRunState& State() { return state_; }
    const TestRunState& State() const { return state_; }

    // The worker's body: the rounds, then the end of the run.
    void Run();

    // The pieces of a run, on the worker (tests call them on a thread of
    // their own).
    bool PrepareDisc(uint8_t second);
    std::string SetResultStatus(uint8_t useOwnText, const std::string& ownText);
    void SetTestRange(bool full);
    // After a write: reads the disc information until it answers, while the
    // drive says it is becoming ready or holds no disc yet (at most a minute,
    // pausing between looks, STOP ends it); any other answer ends the wait.
    void WaitForDiscAfterWrite();

    bool RunWriteTest();
    bool RunReadCompare();
    bool RunSequentialRead();
    bool RunRandomRead(uint32_t count);
    uint8_t ReadRange(uint32_t first, uint32_t end, uint8_t compare, std::span<uint8_t> buffer);
    bool WriteRange(std::span<uint8_t> buffer);
    uint8_t ReadRandomBlocks(uint32_t seed, uint32_t count, uint32_t low, uint32_t high, std::span<uint8_t> buffer);
    bool CloseSession(std::span<uint8_t> buffer, uint8_t track);

    bool RunFormatTest(std::span<uint8_t> buffer);
    bool SendFormatCommand(uint8_t slot, uint8_t kind, std::span<uint8_t> buffer);
    uint32_t GetFormatCapacity(uint8_t slot, std::span<uint8_t> buffer);

private:
    class Worker;

    void RunRoundStep(bool batch);
    void WriteThenCompare();
    void EndRun();
    void BeginStep(const char* text);
    void SetProgressMax(uint32_t maximum);
    uint32_t SecondsSince(uint32_t start) const;
    bool EndRangeStep(uint8_t sequential, uint8_t compare, const std::string& result, uint32_t errorCode);

    const RunSetup setup_;
    const TestOptions& options_;
    ITestReport& report_;
    TestRunState state_;
    drive::DiscRecord disc_;
    std::vector<uint8_t> buffer_;
    uint32_t progressMax_ = 0;  // the maximum last shown
    std::unique_ptr<Worker> worker_;
};
