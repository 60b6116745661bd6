// The format step before a write: a CD-RW is blanked, a DVD-RW quick
// formatted, a blank DVD+RW on a drive that does not write it at random
// formatted; then the drive is waited for and the step logged.  Every
// command goes through the drive layer's routines.
#include <algorithm>

#include "diagnostic/TestEngine.h"
#include "diagnostic/TestLog.h"
#include "drive/Mmc.h"
#include "drive/Reply.h"
#include "drive/Timing.h"
#include "platform/Win.h"

namespace {

constexpr uint8_t kKindCdRw = 2;
constexpr uint8_t kKindDvdRw = 5;
constexpr uint8_t kKindDvdPlusRw = 9;
constexpr uint16_t kFeatureRandomWritable = 0x0020;

}  // namespace

uint32_t TestEngine::GetFormatCapacity(uint8_t slot, std::span<uint8_t> buffer) {
    uint32_t moved = 0;
    if (!drive::ReadFormatCapacities(slot, buffer, &moved)) return 0;
    return drive::FormatCapacityBlocks(drive::ReplyBytes(buffer, moved));
}

// The capacity query goes out first; its count is not used further.  A
// DVD+RW's write parameters are sensed and selected back only when the
// sensed page fits what came back, else nothing is formatted.
bool TestEngine::SendFormatCommand(uint8_t slot, uint8_t kind, std::span<uint8_t> buffer) {
    GetFormatCapacity(slot, buffer);
    if (kind == kKindCdRw) return drive::Blank(slot, buffer) == drive::kStatusGood;
    const drive::FormatParameterList* list = nullptr;
    if (kind == kKindDvdRw) {
        list = &drive::kDvdRwQuickFormatList;
    } else if (kind == kKindDvdPlusRw) {
        if (drive::SelectWriteParameters(slot, drive::kDvdPlusRwFormatTemplate, buffer) != drive::kStatusGood)
            return false;
        list = &drive::kDvdPlusRwFormatList;
    }
    return drive::FormatUnit(slot, list, buffer) == drive::kStatusGood;
}

bool TestEngine::RunFormatTest(std::span<uint8_t> buffer) {
    const uint8_t slot = setup_.Slot;
    const uint8_t kind = state_.TestKind;
    bool result = true;
    std::string status = "COMPLETE";
    uint32_t errorCode = 0;
    std::fill(buffer.begin(), buffer.end(), 0);
    const bool needed = kind == kKindCdRw || kind == kKindDvdRw ||
                        (kind == kKindDvdPlusRw &&
                         !drive::HasFeature(slot, kFeatureRandomWritable, disc_.CurrentProfile, buffer) &&
                         disc_.Status == drive::DiscBlank);
    if (!needed) return true;
    report_.ShowStatus("Format...", clNavy);
    report_.ShowProgress(0);
    if (!SendFormatCommand(slot, kind, buffer)) {
        status = "ERROR";
        errorCode = drive::GetSenseCode(buffer);
        result = false;
    } else {
        // Asked until ready, past a unit attention reported meanwhile.
        drive::ReadyWait wait;
        wait.PollMs = drive::kFormatPollMs;
        wait.BoundMs = drive::kFormatWaitBoundMs;
        wait.KeepWaiting = drive::kSensesWhileWorking;
        wait.Cancel = &state_.Abort;
        wait.EachPoll = [this] { state_.Progress = SecondsSince(state_.StepStartTime); };
        if (drive::WaitUntilReady(slot, wait, buffer) != drive::ReadyResult::Ready) {
            status = "ERROR";
            errorCode = drive::GetSenseCode(buffer);
            result = false;
        }
    }
    win::Sleep(drive::kFormatSettleMs);
    drive::SynchronizeCache(slot, buffer);
    if (state_.Abort != 0) status = "BREAK";
    state_.Progress = SecondsSince(state_.StepStartTime);
    WriteLogFormatTest(setup_.LogPath, status, errorCode);
    return result;
}
