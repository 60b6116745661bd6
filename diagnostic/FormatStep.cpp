// The format step before a write: a CD-RW is blanked, a DVD-RW quick
// formatted, a blank DVD+RW on a drive that does not write it at random
// formatted; then the drive is waited for and the step logged.
#include <algorithm>
#include <cstring>

#include "diagnostic/TestEngine.h"
#include "diagnostic/TestLog.h"
#include "drive/Mmc.h"
#include "drive/TextHelpers.h"
#include "platform/Win.h"

namespace {

constexpr uint8_t kKindCdRw = 2;
constexpr uint8_t kKindDvdRw = 5;
constexpr uint8_t kKindDvdPlusRw = 9;
constexpr uint16_t kFeatureRandomWritable = 0x0020;

constexpr uint8_t kReadFormatCapacitiesCdb[10] = {0x23, 0, 0, 0, 0, 0, 0, 0x00, 0xFE, 0};
constexpr uint8_t kBlankCdb[10] = {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kModeSenseWriteParametersCdb[10] = {0x5A, 0x00, 0x05, 0, 0, 0, 0, 0x00, 0xFE, 0};
constexpr uint8_t kModeSelectCdb[10] = {0x55, 0x10, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kFormatUnitCdb[12] = {0x04, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint32_t kReplyBytes = 254;

constexpr uint8_t kDvdRwFormatList[12] = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x54, 0x00, 0x00, 0x10};
constexpr uint8_t kDvdPlusRwFormatList[12] = {0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0x00, 0x00, 0x00};
// Mode parameter header and the start of the write parameters page for a
// DVD+RW format.
constexpr uint8_t kDvdPlusRwWriteParameters[24] = {0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x32, 0x01, 0xC4,
                                                   0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x96};

uint8_t Send(uint8_t slot, const uint8_t* cdb, uint8_t length, std::span<uint8_t> buffer, uint32_t bytes,
             uint8_t direction) {
    return drive::SendDriveCommand(slot, cdb, length, buffer.data(), std::min<size_t>(bytes, buffer.size()),
                                   direction);
}

}  // namespace

uint32_t TestEngine::GetFormatCapacity(uint8_t slot, std::span<uint8_t> buffer) {
    if (Send(slot, kReadFormatCapacitiesCdb, 10, buffer, kReplyBytes, drive::kDataIn) != drive::kStatusGood)
        return 0;
    return buffer[3] == 8 ? drive::ReadBigEndian32(&buffer[4]) : drive::ReadBigEndian32(&buffer[12]);
}

bool TestEngine::SendFormatCommand(uint8_t slot, uint8_t kind, std::span<uint8_t> buffer) {
    std::memset(buffer.data(), 0, 4);
    GetFormatCapacity(slot, buffer);
    uint32_t listLength = 0;
    if (kind == kKindCdRw)
        return Send(slot, kBlankCdb, 10, buffer, kReplyBytes, drive::kDataIn) == drive::kStatusGood;
    if (kind == kKindDvdRw) {
        std::memcpy(buffer.data(), kDvdRwFormatList, sizeof kDvdRwFormatList);
        listLength = sizeof kDvdRwFormatList;
    } else if (kind == kKindDvdPlusRw) {
        std::memset(buffer.data(), 0, kReplyBytes);
        if (Send(slot, kModeSenseWriteParametersCdb, 10, buffer, kReplyBytes, drive::kDataIn) != drive::kStatusGood)
            return false;
        const uint8_t length = static_cast<uint8_t>(buffer[1] + 2);
        std::memcpy(buffer.data(), kDvdPlusRwWriteParameters, sizeof kDvdPlusRwWriteParameters);
        uint8_t select[10];
        std::memcpy(select, kModeSelectCdb, sizeof select);
        select[8] = length;
        if (Send(slot, select, 10, buffer, length, drive::kDataOut) != drive::kStatusGood) return false;
        std::memcpy(buffer.data(), kDvdPlusRwFormatList, sizeof kDvdPlusRwFormatList);
        listLength = sizeof kDvdPlusRwFormatList;
    }
    buffer[1] |= 0x02;
    return Send(slot, kFormatUnitCdb, 12, buffer, listLength, drive::kDataOut) == drive::kStatusGood;
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
        if (!WaitUntilReady(buffer, kFormatPollMs, kFormatWaitBoundMs, false, &errorCode, true)) {
            status = "ERROR";
            result = false;
        }
    }
    win::Sleep(kFormatSettleMs);
    drive::SynchronizeCache(slot, buffer);
    if (state_.Abort != 0) status = "BREAK";
    state_.Progress = SecondsSince(state_.StepStartTime);
    WriteLogFormatTest(setup_.LogPath, status, errorCode);
    return result;
}
