// The read and write test steps: the write step with its closing, the read
// and compare, the sequential read and the random read, and the range and
// random loops under them.  They run on the test worker.
#include <cstdio>
#include <cstring>

#include "diagnostic/Mirtaltest.h"
#include "diagnostic/TestLog.h"
#include "drive/Mmc.h"
#include "platform/Win.h"

namespace {

constexpr uint8_t kKindDvdRDl = 6;
constexpr uint8_t kKindDvdPlusRw = 9;
constexpr uint8_t kKindDvdRam = 12;
constexpr uint16_t kBecomingReady = 0x0204;

std::span<const uint8_t> Block(std::span<const uint8_t> chunk, uint32_t index) {
    return chunk.subspan(static_cast<size_t>(index) * drive::kBlockSize, drive::kBlockSize);
}

// Walks [first, end) in chunks of at most 16 blocks, the last one shorter;
// the current address and progress follow.  A chunk that answers false
// ends the walk with the address at that chunk.
template <typename Chunk>
void WalkRange(TestRunState& run, uint32_t first, uint32_t end, Chunk chunk) {
    uint32_t n = kChunkBlocks;
    run.CurrentAddress = first;
    while (run.CurrentAddress < end) {
        const uint32_t address = run.CurrentAddress;
        run.Progress = address - first;
        if (uint64_t{address} + n > end) n = end - address;
        if (!chunk(address, n)) return;
        run.CurrentAddress = address + n;
    }
}

}  // namespace

bool TFormTest::RunWriteTest() {
    std::vector<uint8_t> buffer(kStepBufferSize);
    const uint8_t slot = Run.Slot;
    uint32_t errorCode = 0;
    uint8_t closeFailed = 0;
    std::string ownText;
    BeginStep(nullptr);
    if (!RunFormatTest(buffer)) {
        Run.Fail = 1;
    } else {
        const bool partial = Options.PartialWrite || Options.BatchMode;
        ShowStatus(partial ? "Partial Write..." : "Full Write...", clNavy);
        SetProgressPosition(0);
        Run.Progress = 0;
        // The range starts at the disc's next writable address as it is now.
        if (!drive::GetDiscInfo(slot, Disc)) {
            // Without the disc's information there is no range to write: the
            // step fails with the read's sense, and its section shows no
            // range an earlier step left.
            Run.Fail = 1;
            errorCode = Disc.ErrorCode;
            Run.RangeStart = 0;
            Run.RangeEnd = 0;
        } else {
            if (partial)
                SetTestRange(false);
            else if (Options.FullWrite)
                SetTestRange(true);
            SetProgressMax(Run.RangeEnd - Run.RangeStart);
            if (drive::SetWriteParameters(slot, Run.TestKind, buffer) != drive::kStatusGood) {
                Run.Fail = 1;
                errorCode = drive::GetSenseCode(buffer);
            }
        }
    }
    if (Run.Fail == 0) {
        SetProgressMax(Run.RangeEnd - Run.RangeStart);
        if (!WriteRange(buffer)) {
            Run.Fail = 1;
            errorCode = drive::GetSenseCode(buffer);
        }
    }
    if (drive::SynchronizeCache(slot, buffer) != drive::kStatusGood) {
        Run.Fail = 1;
        errorCode = drive::GetSenseCode(buffer);
    }
    if (Run.Fail == 0 && Run.Abort == 0 && Run.TestKind != kKindDvdPlusRw) {
        ShowStatus("Close Session...", clNavy);
        if (!CloseSession(buffer, static_cast<uint8_t>(Disc.LastTrack & 0xFF))) {
            Run.Fail = 1;
            closeFailed = 1;
            errorCode = drive::GetSenseCode(buffer);
        }
    }
    if (closeFailed != 0) {
        char text[40];
        std::snprintf(text, sizeof text, "CLOSE SESSION ERROR(%6X)", errorCode);
        ownText = text;
    }
    return EndRangeStep(0, 0, SetResultStatus(closeFailed, ownText), errorCode);
}

// The end of the write and the read-and-compare steps: the section, then
// the bar full when the step passed.
bool TFormTest::EndRangeStep(uint8_t sequential, uint8_t compare, const std::string& result, uint32_t errorCode) {
    WriteLogReadWriteTest(TestLogPath, sequential, Run.RangeStart, Run.RangeEnd, Run.CurrentAddress, result,
                          errorCode, compare, Options);
    DisplayTimer->SetEnabled(false);
    if (Run.Abort != 0 || Run.Fail != 0) return false;
    SetProgressPosition(progressMax_);
    return true;
}

bool TFormTest::WriteRange(std::span<uint8_t> buffer) {
    const uint8_t slot = Run.Slot;
    bool written = true;
    WalkRange(Run, Run.RangeStart, Run.RangeEnd, [&](uint32_t address, uint32_t n) {
        drive::FillTestPattern(address, static_cast<uint8_t>(n), buffer);
        const uint8_t status = Run.TestKind == kKindDvdRam
                                   ? drive::Write12(slot, address, static_cast<uint8_t>(n), 1, buffer)
                                   : drive::Write10(slot, address, static_cast<uint8_t>(n), buffer);
        if (status != drive::kStatusGood) {
            Run.Fail = 1;
            written = false;
            return false;
        }
        return Run.Abort == 0 && Run.Fail == 0;
    });
    return written;
}

// Waits until the drive is ready after an immediate command: a drive that is
// becoming ready is asked again after pollMs, up to boundMs; STOP ends the
// wait.  False on any other answer, on STOP or at the bound, with the last
// sense in errorCode (when given).  With countSeconds the progress counts the
// step's seconds meanwhile.
bool TFormTest::WaitUntilReady(std::span<uint8_t> buffer, uint32_t pollMs, uint32_t boundMs, bool byKeyAsc,
                               uint32_t* errorCode, bool countSeconds) {
    const uint32_t start = win::timeGetTime();
    for (;;) {
        if (countSeconds) Run.Progress = SecondsSince(Run.StepStartTime);
        if (drive::TestUnitReady(Run.Slot, buffer) == drive::kStatusGood) return true;
        const uint32_t code = drive::GetSenseCode(buffer);
        if (errorCode != nullptr) *errorCode = code;
        const bool becomingReady = byKeyAsc ? drive::GetSenseKeyAsc(buffer) == kBecomingReady
                                            : (code >> 8) == kBecomingReady;
        if (!becomingReady || Run.Abort != 0) return false;
        if (win::timeGetTime() - start >= boundMs) return false;
        win::Sleep(pollMs);
    }
}

bool TFormTest::CloseSession(std::span<uint8_t> buffer, uint8_t track) {
    const uint8_t slot = Run.Slot;
    const uint8_t kind = Run.TestKind;
    if (kind == kKindDvdPlusRw) return true;
    // A close the drive refuses leaves the disc open: the step fails with
    // the close's own sense.
    if (drive::CloseTrackSession(slot, kind, 1, track, buffer) != drive::kStatusGood) return false;
    if (!WaitUntilReady(buffer, kClosePollMs, kCloseWaitBoundMs, true, nullptr, false)) return false;
    if (kind == kKindDvdRDl) return true;
    if (drive::CloseTrackSession(slot, kind, 0, 0, buffer) != drive::kStatusGood) return false;
    return WaitUntilReady(buffer, kClosePollMs, kCloseWaitBoundMs, true, nullptr, false);
}

bool TFormTest::RunReadCompare() {
    std::vector<uint8_t> buffer(kStepBufferSize);
    uint32_t errorCode = 0;
    uint8_t mismatch = 0;
    BeginStep("Read && Compare...");
    SetProgressMax(Run.RangeEnd - Run.RangeStart);
    const uint8_t r = ReadRange(Run.RangeStart, Run.RangeEnd, 1, buffer);
    if (r == kRangeReadFailed) errorCode = drive::GetSenseCode(buffer);
    if (r == kRangeMismatch) mismatch = 1;
    return EndRangeStep(1, 1, SetResultStatus(mismatch, "COMPARE ERROR"), errorCode);
}

bool TFormTest::RunSequentialRead() {
    std::vector<uint8_t> buffer(kStepBufferSize);
    uint32_t errorCode = 0;
    BeginStep("Sequential Read...");
    SetProgressMax(Run.RangeEnd - Run.RangeStart);
    if (ReadRange(Run.RangeStart, Run.RangeEnd, 0, buffer) != kRangeReadOk) {
        Run.Fail = 1;
        errorCode = drive::GetSenseCode(buffer);
    }
    const std::string result = SetResultStatus(0, "");
    WriteLogReadWriteTest(TestLogPath, 1, Run.RangeStart, Run.RangeEnd, Run.CurrentAddress, result, errorCode, 0,
                          Options);
    if (Run.Abort != 0 || Run.Fail != 0) {
        DisplayTimer->SetEnabled(false);
        return false;
    }
    return true;
}

uint8_t TFormTest::ReadRange(uint32_t first, uint32_t end, uint8_t compare, std::span<uint8_t> buffer) {
    uint8_t result = kRangeReadOk;
    WalkRange(Run, first, end, [&](uint32_t address, uint32_t n) {
        if (drive::Read10(Run.Slot, address, static_cast<uint8_t>(n), buffer) != drive::kStatusGood) {
            Run.Fail = 1;
            result = kRangeReadFailed;
            return false;
        }
        if (compare != 0) {
            for (uint32_t b = 0; b < n; ++b) {
                if (!drive::BlockHoldsTestPattern(address + b, Block(buffer, b))) {
                    Run.Fail = 1;
                    result = kRangeMismatch;
                }
                if (Run.Abort != 0 || Run.Fail != 0) break;
            }
        }
        return Run.Abort == 0 && Run.Fail == 0;
    });
    return result;
}

bool TFormTest::RunRandomRead(uint32_t count) {
    std::vector<uint8_t> buffer(kStepBufferSize);
    uint32_t errorCode = 0;
    BeginStep("Random Read...");
    SetProgressMax(count);
    if (ReadRandomBlocks(win::timeGetTime(), count, 0, Disc.Capacity, buffer) != kRangeReadOk) {
        Run.Fail = 1;
        errorCode = drive::GetSenseCode(buffer);
    }
    DisplayTimer->SetEnabled(false);
    const std::string result = SetResultStatus(0, "");
    WriteLogRandomReadTest(TestLogPath, Run.CurrentAddress, result, errorCode, Options);
    return Run.Fail == 0;
}

uint8_t TFormTest::ReadRandomBlocks(uint32_t seed, uint32_t count, uint32_t low, uint32_t high,
                                    std::span<uint8_t> buffer) {
    TestRandom random(seed);
    const uint32_t span = high > low ? high - low : 0;
    // A disc without blocks has no address to draw: the step fails without
    // a command.
    if (count != 0 && span == 0) {
        std::memset(buffer.data(), 0, drive::kMinimumBuffer);
        Run.Fail = 1;
        return kRangeReadFailed;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t n = kChunkBlocks;
        const uint32_t first = random.Next();
        const uint32_t r = (first << 16) | random.Next();
        const uint32_t address = low + r % span;
        Run.CurrentAddress = address;
        Run.Progress = i;
        if (uint64_t{address} + n > high) n = high - address;
        if (drive::Read10(Run.Slot, address, static_cast<uint8_t>(n), buffer) != drive::kStatusGood) {
            Run.Fail = 1;
            return kRangeReadFailed;
        }
        if (Run.Abort != 0 || Run.Fail != 0) break;
    }
    if (Run.Abort == 0 && Run.Fail == 0) SetProgressPosition(progressMax_);
    return kRangeReadOk;
}
