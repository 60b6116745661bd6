// The engine's run: its worker, the rounds, the disc preparation, the step
// result text and the end of the run.
#include "diagnostic/TestEngine.h"

#include <algorithm>

#include "diagnostic/TestLog.h"
#include "drive/Mmc.h"
#include "platform/Win.h"
#include "vcl/Thread.h"

namespace {

constexpr uint16_t kFeatureCdTrackAtOnce = 0x2D;
constexpr uint16_t kFeatureDvdRead = 0x1F;
constexpr uint16_t kFeatureDvdMinusWrite = 0x2F;

// Rounds of a Batch run by what the drive can do: CD read; then DVD read;
// with CD writing a CD-RW round before it; with DVD-R/-RW writing a DVD-RW
// round at the end.
uint8_t BatchRoundCount(bool cdWrite, bool dvdRead, bool dvdMinusWrite) {
    if (!cdWrite) return dvdRead ? 2 : 1;
    return dvdMinusWrite ? 4 : 3;
}

std::string Prompt(uint8_t kind) {
    if (kind == 0 || kind == 3)
        return "Put a " + drive::GetDiscTypeName(kind) + " or " + drive::GetDiscTypeName(kind + 1) +
               " disc on the tray ";
    return "Put a " + drive::GetDiscTypeName(kind) + " disc on the tray ";
}

// What a drive answers while its disc may still come: it is becoming ready
// or holds none yet.  Any other answer will not change by waiting.
constexpr uint16_t kDiscMayStillCome[] = {drive::kSenseBecomingReady, drive::kSenseNoMedium};
// The lead-in also asks again after a unit attention, which reports an event
// (the medium change the tray has just made, a reset) once.
constexpr uint16_t kLeadInKeepWaiting[] = {drive::kSenseBecomingReady, drive::kSenseNoMedium,
                                           drive::kSenseMediumChanged, drive::kSenseResetOccurred};

}  // namespace

TestRange ComputeTestRange(uint8_t rangeKind, uint16_t discType, uint32_t capacity, uint32_t nextWritable,
                           bool full) {
    const uint32_t part = ((capacity / 100u) * 3u) & ~uint32_t{0xF};
    if (rangeKind == 0 || rangeKind == 3 || full) return {0, capacity};
    if (discType == drive::kDiscDvdPlusRw) return {0, part};
    // A nearly full disc has less than the part left after its next writable
    // address: the range ends where the disc does.
    const uint64_t end = std::min<uint64_t>(uint64_t{nextWritable} + part, capacity);
    return {nextWritable, static_cast<uint32_t>(std::max<uint64_t>(end, nextWritable))};
}

class TestEngine::Worker : public vcl::TThread {
public:
    explicit Worker(TestEngine& engine) : engine_(engine) {}

protected:
    void Execute() override { engine_.Run(); }

private:
    TestEngine& engine_;
};

TestEngine::TestEngine(RunSetup setup, const TestOptions& options, ITestReport& report)
    : setup_(std::move(setup)), options_(options), report_(report), disc_(setup_.Disc), buffer_(kStepBufferSize) {}

TestEngine::~TestEngine() { WaitFor(); }

void TestEngine::Start() {
    if (worker_) return;
    worker_ = std::make_unique<Worker>(*this);
    worker_->Resume();
}

void TestEngine::Stop() {
    state_.Abort = 1;
    state_.UserBreak = 1;
}

void TestEngine::WaitFor() {
    if (worker_) worker_->WaitFor();
}

uint32_t TestEngine::SecondsSince(uint32_t start) const { return (win::timeGetTime() - start) / 1000; }

void TestEngine::SetProgressMax(uint32_t maximum) {
    progressMax_ = maximum;
    report_.ShowProgressMaximum(maximum);
}

void TestEngine::BeginStep(const char* text) {
    state_.Fail = 0;
    state_.StepStartTime = win::timeGetTime();
    report_.StepBegan();
    if (text != nullptr) report_.ShowStatus(text, clNavy);
    report_.ShowProgress(0);
}

void TestEngine::SetTestRange(bool full) {
    state_.CurrentAddress = 0;
    const TestRange range =
        ComputeTestRange(state_.RangeKind, disc_.DiscType, disc_.Capacity, disc_.NextWritableAddress, full);
    state_.RangeStart = range.Start;
    state_.RangeEnd = range.End;
    report_.ShowRange(range.Start, range.End);
}

// ---------------------------------------------------------------------------
// The run

void TestEngine::Run() {
    const uint8_t slot = setup_.Slot;
    state_.NextKind = 0;
    state_.RoundCount = 0;
    const int16_t index = drive::DiscCodeToIndex(disc_.DiscType);
    const bool batch = options_.BatchMode;
    if (batch) {
        const bool cdWrite = drive::HasFeature(slot, kFeatureCdTrackAtOnce, 0, buffer_);
        const bool dvdRead = drive::HasFeature(slot, kFeatureDvdRead, 0, buffer_);
        const bool dvdMinusWrite = drive::HasFeature(slot, kFeatureDvdMinusWrite, 0, buffer_);
        state_.RoundCount = BatchRoundCount(cdWrite, dvdRead, dvdMinusWrite);
        state_.RangeKind = 0;
        state_.TestKind = 0;
    } else {
        const uint8_t kind = index < 0 || index >= kNoTestKind ? kNoTestKind : static_cast<uint8_t>(index);
        state_.RangeKind = kind;
        state_.TestKind = kind;
        state_.RoundCount = 1;
    }
    uint8_t testIndex = 0;
    uint8_t prepared = 0;
    for (uint8_t round = 0; round < state_.RoundCount; ++round) {
        // A stopped run asks for no further disc.
        if (state_.Abort != 0) break;
        if (!PrepareDisc(prepared)) {
            disc_ = drive::DiscRecord{};
            break;
        }
        prepared = 1;
        state_.CurrentAddress = 0;
        report_.ShowProgress(0);
        WriteLogTestIndex(setup_.LogPath, testIndex, state_.SecondNumber);
        ++testIndex;
        // A disc that went away between the two looks ends the run the same
        // way: with the tray open, the verdict and the window given back.
        if (!PrepareDisc(1)) break;
        state_.Progress = 0;
        report_.ShowProgress(0);
        report_.StepBegan();
        RunRoundStep(batch);
        if (batch) {
            state_.TestKind = state_.NextKind.load();
            state_.RangeKind = state_.NextKind.load();
        }
        prepared = 0;
        report_.StepEnded();
    }
    EndRun();
}

void TestEngine::RunRoundStep(bool batch) {
    if (batch) {
        switch (state_.TestKind) {
            case 0:
            case 3:
                SetTestRange(true);
                RunRandomRead(kBatchRandomReads);
                break;
            case 2:
            case 5:
                WriteThenCompare();
                break;
            default:
                break;
        }
        return;
    }
    if (options_.ReadProperties) {
        SetTestRange(true);
        if (options_.RandomRead) RunRandomRead(static_cast<uint32_t>(std::max<int32_t>(options_.RandomReadCount, 0)));
        if (options_.SequentialRead) {
            // The count is read again before each pass, as the user may change it.
            for (int64_t pass = 0; options_.SequentialReadCount > pass; ++pass) {
                RunSequentialRead();
                if (state_.Abort != 0) break;
            }
        }
    } else if (options_.WriteProperties) {
        WriteThenCompare();
    }
}

void TestEngine::WriteThenCompare() {
    if (!RunWriteTest()) return;
    WaitForDiscAfterWrite();
    report_.ShowProgress(0);
    RunReadCompare();
}

void TestEngine::WaitForDiscAfterWrite() {
    // The question is the disc information itself: a drive ready for TEST
    // UNIT READY may still be becoming ready for it after the close.
    drive::ReadyWait wait;
    wait.PollMs = kDiscAfterWritePollMs;
    wait.BoundMs = kDiscAfterWriteSeconds * 1000;
    wait.KeepWaiting = kDiscMayStillCome;
    wait.Cancel = &state_.Abort;
    wait.Ask = [this](std::span<uint8_t> buffer) {
        if (drive::GetDiscInfo(setup_.Slot, disc_)) return drive::kStatusGood;
        drive::PutSenseCode(buffer, disc_.ErrorCode);
        return drive::kStatusCheckCondition;
    };
    if (drive::WaitUntilReady(setup_.Slot, wait, buffer_) == drive::ReadyResult::Ready) report_.ShowDisc(disc_);
}

// The tray opens: the run's last drive command.  Then the window gets the
// drive back with the verdict.
void TestEngine::EndRun() {
    drive::LoadEjectTray(setup_.Slot, 1, buffer_);
    report_.StepEnded();
    const char* verdict = state_.Abort != 0                                  ? "BREAK!!"
                          : (state_.Fail != 0 || state_.RunFailed != 0) ? "FAIL !!"
                                                                           : "PASS !!";
    report_.RunEnded(verdict);
}

// ---------------------------------------------------------------------------
// Disc preparation

bool TestEngine::PrepareDisc(uint8_t second) {
    const uint8_t slot = setup_.Slot;
    const bool batch = options_.BatchMode;
    const bool trayStep = batch && second == 0;
    const std::string prompt = trayStep ? Prompt(state_.TestKind) : std::string();
    report_.StepBegan();
    state_.StepStartTime = win::timeGetTime();
    SetProgressMax(kPreparationProgressMax);
    uint8_t accepted = 0;
    // One attempt: the attempt limit is 1.
    const int attempt = 0;
    const uint32_t attemptStart = win::timeGetTime();
    state_.Progress = 0;
    report_.ClearStatus();
    if (trayStep) {
        report_.ShowStatus("Tray Open..", clNavy);
        drive::LoadEjectTray(slot, 1, buffer_);
        if (report_.AskForDisc(prompt) != platform::IDOK) {
            state_.Abort = 1;
            state_.UserBreak = 1;
            WriteLogTrayTest(setup_.LogPath, SecondsSince(attemptStart), attempt, "BREAK");
        }
        state_.Progress = SecondsSince(attemptStart);
        if (state_.Abort == 0) {
            win::Sleep(kTrayCloseDelayMs);
            report_.ShowStatus("Tray Close..", clNavy);
            drive::LoadEjectTray(slot, 0, buffer_);
        }
    }
    if (state_.Abort == 0) {
        // The lead-in: a pause, then the drive is asked every half second,
        // for up to a minute, until it is ready.
        report_.ShowStatus("Lead In..", clNavy);
        win::Sleep(kLeadInPollMs);
        drive::ReadyWait wait;
        wait.PollMs = kLeadInPollMs;
        wait.BoundMs = kLeadInLimitSeconds * 1000;
        wait.KeepWaiting = kLeadInKeepWaiting;
        wait.Cancel = &state_.Abort;
        wait.EachPoll = [&] { state_.Progress = SecondsSince(attemptStart); };
        if (drive::WaitUntilReady(slot, wait, buffer_) == drive::ReadyResult::Ready) {
            drive::Inquiry(slot, buffer_);
            if (drive::GetDiscInfo(slot, disc_)) {
                report_.ShowDisc(disc_);
                uint8_t next = state_.NextKind;
                accepted = batch ? drive::MatchesTestMedia(state_.TestKind, next, state_.RoundCount, disc_) : 1;
                state_.NextKind = next;
            }
        }
    }
    state_.Fail = accepted ? 0 : 1;
    if (!accepted) state_.RunFailed = 1;
    SetResultStatus(0, "");
    report_.StepEnded();
    if (accepted && second == 1) {
        report_.ShowProgress(kPreparationProgressMax);
        WriteLogDiscInfo(setup_.LogPath, disc_);
    }
    return accepted != 0;
}

std::string TestEngine::SetResultStatus(uint8_t useOwnText, const std::string& ownText) {
    std::string text;
    uint32_t colour = clRed;
    if (state_.UserBreak != 0) {
        text = "BREAK";
    } else if (state_.Fail != 0) {
        text = useOwnText != 0 ? ownText : "FAIL!!";
        state_.RunFailed = 1;
    } else {
        text = "PASS!!";
        colour = clNavy;
    }
    report_.ShowStatus(text, colour);
    return text;
}
