// The read and write test steps: the write step with its closing, the read
// and compare, the sequential read and the random read, and the range and
// random loops under them.  They run on the run's worker.
#include <cstdio>
#include <cstring>

#include "diagnostic/TestEngine.h"
#include "diagnostic/TestLog.h"
#include "drive/Mmc.h"
#include "drive/Timing.h"
#include "platform/Win.h"

namespace {

constexpr uint8_t kKindDvdRDl = 6;
constexpr uint8_t kKindDvdPlusRw = 9;
constexpr uint8_t kKindDvdRam = 12;

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

bool TestEngine::RunWriteTest() {
    const std::span<uint8_t> buffer = buffer_;
    const uint8_t slot = setup_.Slot;
    uint32_t errorCode = 0;
    uint8_t useOwnText = 0;
    std::string ownText;
    BeginStep(nullptr);
    if (!RunFormatTest(buffer)) {
        state_.Fail = 1;
    } else {
        const bool partial = options_.PartialWrite || options_.BatchMode;
        report_.ShowStatus(partial ? "Partial Write..." : "Full Write...", clNavy);
        report_.ShowProgress(0);
        state_.Progress = 0;
        // The range starts at the disc's next writable address as it is now.
        if (!drive::GetDiscInfo(slot, disc_)) {
            // Without the disc's information there is no range to write: the
            // step fails with the read's sense, and its section shows no
            // range an earlier step left.
            state_.Fail = 1;
            errorCode = disc_.ErrorCode;
            state_.RangeStart = 0;
            state_.RangeEnd = 0;
        } else {
            if (partial)
                SetTestRange(false);
            else if (options_.FullWrite)
                SetTestRange(true);
            SetProgressMax(state_.RangeEnd - state_.RangeStart);
            if (state_.RangeStart >= state_.RangeEnd) {
                // Nothing to write (a disc too small for a partial range, or
                // without blocks): the step cannot pass.
                state_.Fail = 1;
                useOwnText = 1;
                ownText = kEmptyRangeText;
            } else if (drive::SetWriteParameters(slot, state_.TestKind, buffer) != drive::kStatusGood) {
                state_.Fail = 1;
                errorCode = drive::GetSenseCode(buffer);
            }
        }
    }
    if (state_.Fail == 0) {
        SetProgressMax(state_.RangeEnd - state_.RangeStart);
        if (!WriteRange(buffer)) {
            state_.Fail = 1;
            errorCode = drive::GetSenseCode(buffer);
        }
    }
    if (drive::SynchronizeCache(slot, buffer) != drive::kStatusGood) {
        state_.Fail = 1;
        errorCode = drive::GetSenseCode(buffer);
    }
    if (state_.Fail == 0 && state_.Abort == 0 && state_.TestKind != kKindDvdPlusRw) {
        report_.ShowStatus("Close Session...", clNavy);
        if (!CloseSession(buffer, static_cast<uint8_t>(disc_.LastTrack & 0xFF))) {
            state_.Fail = 1;
            errorCode = drive::GetSenseCode(buffer);
            char text[40];
            std::snprintf(text, sizeof text, "CLOSE SESSION ERROR(%6X)", errorCode);
            useOwnText = 1;
            ownText = text;
        }
    }
    return EndRangeStep(0, 0, SetResultStatus(useOwnText, ownText), errorCode);
}

// The end of the write and the read-and-compare steps: the section, then
// the bar full when the step passed.
bool TestEngine::EndRangeStep(uint8_t sequential, uint8_t compare, const std::string& result, uint32_t errorCode) {
    WriteLogReadWriteTest(setup_.LogPath, sequential, state_.RangeStart, state_.RangeEnd, state_.CurrentAddress,
                          result, errorCode, compare, options_);
    report_.StepEnded();
    if (state_.Abort != 0 || state_.Fail != 0) return false;
    report_.ShowProgress(progressMax_);
    return true;
}

bool TestEngine::WriteRange(std::span<uint8_t> buffer) {
    const uint8_t slot = setup_.Slot;
    bool written = true;
    WalkRange(state_, state_.RangeStart, state_.RangeEnd, [&](uint32_t address, uint32_t n) {
        drive::FillTestPattern(address, static_cast<uint8_t>(n), buffer);
        const uint8_t status = state_.TestKind == kKindDvdRam
                                   ? drive::Write12(slot, address, static_cast<uint8_t>(n), 1, buffer)
                                   : drive::Write10(slot, address, static_cast<uint8_t>(n), buffer);
        if (status != drive::kStatusGood) {
            state_.Fail = 1;
            written = false;
            return false;
        }
        return state_.Abort == 0 && state_.Fail == 0;
    });
    return written;
}

bool TestEngine::CloseSession(std::span<uint8_t> buffer, uint8_t track) {
    const uint8_t slot = setup_.Slot;
    const uint8_t kind = state_.TestKind;
    if (kind == kKindDvdPlusRw) return true;
    // A close the drive refuses leaves the disc open: the step fails with
    // the close's own sense.  After an immediate close the drive is waited
    // for, past a unit attention it reports meanwhile; STOP, any other answer
    // or the bound ends the wait, with its sense.
    drive::ReadyWait wait;
    wait.PollMs = drive::kAfterClosePollMs;
    wait.BoundMs = drive::kCloseWaitBoundMs;
    wait.KeepWaiting = drive::kSensesWhileWorking;
    wait.Cancel = &state_.Abort;
    const auto closeAndWait = [&](uint8_t closeTrack, uint8_t number) {
        return drive::CloseTrackSession(slot, kind, closeTrack, number, buffer) == drive::kStatusGood &&
               drive::WaitUntilReady(slot, wait, buffer) == drive::ReadyResult::Ready;
    };
    if (!closeAndWait(1, track)) return false;
    if (kind == kKindDvdRDl) return true;
    return closeAndWait(0, 0);
}

bool TestEngine::RunReadCompare() {
    const std::span<uint8_t> buffer = buffer_;
    uint32_t errorCode = 0;
    uint8_t useOwnText = 0;
    const char* ownText = "COMPARE ERROR";
    BeginStep("Read && Compare...");
    SetProgressMax(state_.RangeEnd - state_.RangeStart);
    if (state_.RangeStart >= state_.RangeEnd) {
        state_.Fail = 1;
        useOwnText = 1;
        ownText = kEmptyRangeText;
    } else {
        const uint8_t r = ReadRange(state_.RangeStart, state_.RangeEnd, 1, buffer);
        if (r == kRangeReadFailed) errorCode = drive::GetSenseCode(buffer);
        if (r == kRangeMismatch) useOwnText = 1;
    }
    return EndRangeStep(1, 1, SetResultStatus(useOwnText, ownText), errorCode);
}

bool TestEngine::RunSequentialRead() {
    const std::span<uint8_t> buffer = buffer_;
    uint32_t errorCode = 0;
    uint8_t empty = 0;
    BeginStep("Sequential Read...");
    SetProgressMax(state_.RangeEnd - state_.RangeStart);
    if (state_.RangeStart >= state_.RangeEnd) {
        state_.Fail = 1;
        empty = 1;
    } else if (ReadRange(state_.RangeStart, state_.RangeEnd, 0, buffer) != kRangeReadOk) {
        state_.Fail = 1;
        errorCode = drive::GetSenseCode(buffer);
    }
    const std::string result = SetResultStatus(empty, kEmptyRangeText);
    WriteLogReadWriteTest(setup_.LogPath, 1, state_.RangeStart, state_.RangeEnd, state_.CurrentAddress, result,
                          errorCode, 0, options_);
    if (state_.Abort != 0 || state_.Fail != 0) {
        report_.StepEnded();
        return false;
    }
    return true;
}

uint8_t TestEngine::ReadRange(uint32_t first, uint32_t end, uint8_t compare, std::span<uint8_t> buffer) {
    uint8_t result = kRangeReadOk;
    WalkRange(state_, first, end, [&](uint32_t address, uint32_t n) {
        if (drive::Read10(setup_.Slot, address, static_cast<uint8_t>(n), buffer) != drive::kStatusGood) {
            state_.Fail = 1;
            result = kRangeReadFailed;
            return false;
        }
        if (compare != 0) {
            for (uint32_t b = 0; b < n; ++b) {
                if (!drive::BlockHoldsTestPattern(address + b, Block(buffer, b))) {
                    state_.Fail = 1;
                    result = kRangeMismatch;
                }
                if (state_.Abort != 0 || state_.Fail != 0) break;
            }
        }
        return state_.Abort == 0 && state_.Fail == 0;
    });
    return result;
}

bool TestEngine::RunRandomRead(uint32_t count) {
    const std::span<uint8_t> buffer = buffer_;
    uint32_t errorCode = 0;
    const char* ownText = nullptr;
    BeginStep("Random Read...");
    SetProgressMax(count);
    state_.CurrentAddress = 0;
    // A disc without blocks has no address to draw, and no reads read
    // nothing: either way the step fails without a command.
    if (disc_.Capacity == 0)
        ownText = kNoCapacityText;
    else if (count == 0)
        ownText = kNothingReadText;
    if (ownText != nullptr) {
        state_.Fail = 1;
    } else if (ReadRandomBlocks(win::timeGetTime(), count, 0, disc_.Capacity, buffer) != kRangeReadOk) {
        state_.Fail = 1;
        errorCode = drive::GetSenseCode(buffer);
    }
    report_.StepEnded();
    const std::string result = SetResultStatus(ownText != nullptr, ownText != nullptr ? ownText : "");
    WriteLogRandomReadTest(setup_.LogPath, count, state_.CurrentAddress, result, errorCode);
    return state_.Fail == 0;
}

uint8_t TestEngine::ReadRandomBlocks(uint32_t seed, uint32_t count, uint32_t low, uint32_t high,
                                     std::span<uint8_t> buffer) {
    TestRandom random(seed);
    const uint32_t span = high > low ? high - low : 0;
    if (count != 0 && span == 0) {
        state_.Fail = 1;
        return kRangeReadFailed;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t n = kChunkBlocks;
        const uint32_t first = random.Next();
        const uint32_t r = (first << 16) | random.Next();
        const uint32_t address = low + r % span;
        state_.CurrentAddress = address;
        state_.Progress = i;
        if (uint64_t{address} + n > high) n = high - address;
        if (drive::Read10(setup_.Slot, address, static_cast<uint8_t>(n), buffer) != drive::kStatusGood) {
            state_.Fail = 1;
            return kRangeReadFailed;
        }
        if (state_.Abort != 0 || state_.Fail != 0) break;
    }
    if (state_.Abort == 0 && state_.Fail == 0) report_.ShowProgress(progressMax_);
    return kRangeReadOk;
}
