#include "drive/Mmc.h"

#include <algorithm>
#include <cstring>

#include "drive/Reply.h"
#include "platform/PassThrough.h"
#include "platform/TestPattern.h"
#include "platform/Win.h"

namespace drive {

const WriteParametersTemplate kCdTrackAtOnceTemplate = {{
    0x00, 0x3A, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00,  //
    0x05, 0x32, 0x41, 0xC4, 0x08, 0x00, 0x00, 0x00,  //
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x96,
}};
const WriteParametersTemplate kDvdRIncrementalTemplate = {{
    0x00, 0x3A, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00,  //
    0x05, 0x32, 0x60, 0xC5, 0x0A, 0x10, 0x00, 0x00,  //
    0x20, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x96,
}};
const WriteParametersTemplate kDvdRCloseTemplate = {{
    0x00, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00,  //
    0x05, 0x32, 0x60, 0x05, 0x0A, 0x10, 0x00, 0x00,  //
    0x20, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x96,
}};

const WriteParametersTemplate kDvdPlusRwFormatTemplate = {{
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
    0x05, 0x32, 0x01, 0xC4, 0x08, 0x00, 0x00, 0x00,  //
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x96,
}};

const FormatParameterList kDvdRwQuickFormatList = {
    {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x54, 0x00, 0x00, 0x10}};
const FormatParameterList kDvdPlusRwFormatList = {
    {0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0x00, 0x00, 0x00}};

namespace {

using Template = uint8_t[12];

constexpr Template kInquiryBlock = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
constexpr Template kInquiryDriveCodesBlock = {0x12, 0x00, 0x00, 0x00, 0x60, 0x00};
constexpr Template kTestUnitReadyBlock = {};
constexpr Template kReadDiscInformationBlock = {0x51, 0, 0, 0, 0, 0, 0, 0, 0x34, 0};
constexpr Template kReadTrackInformationBlock = {0x52, 0x01, 0, 0, 0, 0, 0, 0, 0xFE, 0};
constexpr Template kReadAtipBlock = {0x43, 0x00, 0x04, 0, 0, 0, 0, 0, 0xFE, 0};
constexpr Template kWriteProtectionBlock = {0xAD, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x08, 0, 0};
constexpr Template kReadDvdStructureBlock = {0xAD, 0, 0, 0, 0, 0, 0, 0, 0x08, 0x04, 0, 0};
constexpr Template kGetConfigurationBlock = {0x46, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kHasFeatureBlock = {0x46, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0};
constexpr Template kReadFormatCapacitiesBlock = {0x23, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0};
constexpr Template kVendorFF09Block = {0xFF, 0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA};
constexpr Template kStartStopBlock = {0x1B, 0, 0, 0, 0, 0};
constexpr Template kRead10Block = {0x28, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kWrite10Block = {0x2A, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kWrite12Block = {0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kSynchronizeCacheBlock = {0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kModeSenseBlock = {0x5A, 0x00, 0x05, 0, 0, 0, 0, 0, 0xFE, 0};
constexpr Template kModeSelectBlock = {0x55, 0x10, 0, 0, 0, 0, 0, 0, 0x3C, 0};
constexpr Template kCloseTrackSessionBlock = {0x5B, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kReadCapacityBlock = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kSendProtectionBlock = {0xBF, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x08, 0, 0};
constexpr Template kBlankBlock = {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr Template kFormatUnitBlock = {0x04, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

constexpr uint32_t kShortReply = 254;
constexpr uint32_t kDiscInformationLength = 52;
constexpr uint32_t kReadinessLength = 14;
constexpr uint32_t kTrayLength = 1000;
constexpr uint32_t kStructureLength = 65536;
constexpr uint32_t kCapacityLength = 8;
// The sensed page from the header on: the templates replace bytes 0-23.
constexpr uint32_t kTemplateLength = sizeof(WriteParametersTemplate::Bytes);

struct Block {
    uint8_t Bytes[12];
    explicit Block(const Template& t) { std::memcpy(Bytes, t, sizeof Bytes); }
};

void RecordNoSense(std::span<uint8_t> buffer, uint8_t status) {
    buffer[2] = kNoSenseMarker;
    buffer[12] = 0;
    buffer[13] = status;
}

// A command the layer does not send: the not-sent code where there is room.
uint8_t NotSent(std::span<uint8_t> buffer) {
    if (buffer.size() >= kMinimumBuffer) RecordNoSense(buffer, kStatusNotSent);
    return kStatusNotSent;
}

// What a command's data is for: nothing the caller uses (the lengths a few
// commands declare move nothing), every byte (blocks read or written, data
// sent), or a reply that may be shorter than asked.
enum class DataUse { None, Whole, Reply };

// Sends one block.  Refuses a buffer that cannot take the data or the sense
// bytes; leaves the no-sense code after any status that brought no sense,
// and the short-transfer code after a good one that did not move the whole
// of data the command needs.  For a reply, `moved` receives the bytes that
// came.
uint8_t Send(uint32_t slot, const Block& block, uint8_t length, std::span<uint8_t> buffer,
             uint32_t dataLength, Direction direction, DataUse use, uint32_t* moved = nullptr) {
    if (moved != nullptr) *moved = 0;
    if (buffer.size() < kMinimumBuffer || dataLength > buffer.size()) return NotSent(buffer);
    uint32_t transferred = 0;
    uint8_t status =
        SendDriveCommand(slot, block.Bytes, length, buffer.data(), dataLength, direction, &transferred);
    if (status == kStatusGood && use == DataUse::Whole && transferred != dataLength)
        status = kStatusShortTransfer;
    if (status != kStatusGood && status != kStatusCheckCondition) RecordNoSense(buffer, status);
    // A carrier that cannot count says only that less came: the cleared
    // bytes then read as zero up to the length asked.
    if (moved != nullptr && status == kStatusGood)
        *moved = transferred == kTransferNotCounted ? dataLength : std::min(transferred, dataLength);
    return status;
}

// A query: the bytes it asks for are cleared first, so what the drive does not
// send reads as zero.
uint8_t Query(uint32_t slot, const Block& block, uint8_t length, std::span<uint8_t> buffer,
              uint32_t dataLength, uint32_t* moved = nullptr, DataUse use = DataUse::Reply) {
    if (buffer.size() >= kMinimumBuffer)
        std::memset(buffer.data(), 0, std::min<size_t>(buffer.size(), std::max(dataLength, 14u)));
    return Send(slot, block, length, buffer, dataLength, Direction::In, use, moved);
}

uint32_t BlockBytes(uint8_t count) { return static_cast<uint32_t>(count) * kBlockSize; }

uint8_t SenseWriteParameters(uint32_t slot, uint8_t blockLength, std::span<uint8_t> buffer,
                             uint32_t* moved) {
    return Query(slot, Block(kModeSenseBlock), blockLength, buffer, kShortReply, moved);
}

uint8_t SelectPage(uint32_t slot, uint8_t blockLength, uint32_t listLength,
                   std::span<uint8_t> buffer) {
    // Bytes 7-8 carry the length: a longer list cannot be asked for.
    if (listLength > 0xFFFF) return NotSent(buffer);
    Block block(kModeSelectBlock);
    PutBigEndian16(&block.Bytes[7], static_cast<uint16_t>(listLength));
    return Send(slot, block, blockLength, buffer, listLength, Direction::Out, DataUse::Whole);
}

void ApplyTemplate(const WriteParametersTemplate& t, std::span<uint8_t> buffer) {
    std::memcpy(buffer.data(), t.Bytes, sizeof t.Bytes);
}

// The sense-and-select pair of the write parameters page.  The sensed page is
// selected back only when its length fits what came back; image, when given,
// replaces its first 24 bytes, and fixedLength, when not 0, is the list
// length selected instead of the sensed one.
uint8_t SenseAndSelect(uint32_t slot, uint8_t blockLength, const WriteParametersTemplate* image,
                       uint32_t fixedLength, std::span<uint8_t> buffer) {
    uint32_t moved = 0;
    const uint8_t sensed = SenseWriteParameters(slot, blockLength, buffer, &moved);
    if (sensed != kStatusGood) return sensed;
    const uint32_t pageLength = SensedPageLength(ReplyBytes(buffer, moved));
    if (pageLength == 0) return NotSent(buffer);
    if (image != nullptr) ApplyTemplate(*image, buffer);
    return SelectPage(slot, blockLength, fixedLength != 0 ? fixedLength : pageLength, buffer);
}

}  // namespace

void RecordShortReply(std::span<uint8_t> buffer) {
    if (buffer.size() >= kMinimumBuffer) RecordNoSense(buffer, kStatusShortTransfer);
}

void PutSenseCode(std::span<uint8_t> buffer, uint32_t code) {
    if (buffer.size() < kMinimumBuffer) return;
    buffer[2] = static_cast<uint8_t>(code >> 16);
    buffer[12] = static_cast<uint8_t>(code >> 8);
    buffer[13] = static_cast<uint8_t>(code);
}

uint8_t Inquiry(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved) {
    return Query(slot, Block(kInquiryBlock), 6, buffer, 36, moved);
}

uint8_t TestUnitReady(uint32_t slot, std::span<uint8_t> buffer) {
    return Send(slot, Block(kTestUnitReadyBlock), 6, buffer, kShortReply, Direction::In, DataUse::None);
}

bool IsUnitReady(uint32_t slot, std::span<uint8_t> buffer) {
    return TestUnitReady(slot, buffer) == kStatusGood;
}

uint8_t InquiryDriveCodes(uint32_t slot, uint32_t dataLength, std::span<uint8_t> buffer) {
    return Query(slot, Block(kInquiryDriveCodesBlock), 12, buffer, dataLength);
}

uint8_t TestUnitReadyWithoutData(uint32_t slot, std::span<uint8_t> buffer) {
    return Send(slot, Block(kTestUnitReadyBlock), 6, buffer, 0, Direction::In, DataUse::None);
}

uint8_t TestUnitReady12(uint32_t slot, std::span<uint8_t> buffer) {
    return Send(slot, Block(kTestUnitReadyBlock), 12, buffer, kReadinessLength, Direction::In, DataUse::None);
}

uint8_t Read10(uint32_t slot, uint32_t lba, uint8_t count, std::span<uint8_t> buffer) {
    Block block(kRead10Block);
    PutBigEndian32(&block.Bytes[2], lba);
    block.Bytes[8] = count;
    return Send(slot, block, 10, buffer, BlockBytes(count), Direction::In, DataUse::Whole);
}

uint8_t Write10(uint32_t slot, uint32_t lba, uint8_t count, std::span<uint8_t> buffer) {
    Block block(kWrite10Block);
    PutBigEndian32(&block.Bytes[2], lba);
    block.Bytes[8] = count;
    return Send(slot, block, 10, buffer, BlockBytes(count), Direction::Out, DataUse::Whole);
}

uint8_t Write12(uint32_t slot, uint32_t lba, uint8_t count, uint8_t streaming,
                std::span<uint8_t> buffer) {
    Block block(kWrite12Block);
    PutBigEndian32(&block.Bytes[2], lba);
    block.Bytes[9] = count;
    block.Bytes[10] = streaming != 0 ? 0x80 : 0x00;
    return Send(slot, block, 12, buffer, BlockBytes(count), Direction::Out, DataUse::Whole);
}

uint8_t SynchronizeCache(uint32_t slot, std::span<uint8_t> buffer) {
    return Send(slot, Block(kSynchronizeCacheBlock), 10, buffer, 0, Direction::In, DataUse::None);
}

uint8_t LoadEjectTray(uint32_t slot, uint8_t open, std::span<uint8_t> buffer) {
    Block block(kStartStopBlock);
    block.Bytes[4] = open != 0 ? 0x02 : 0x03;
    return Send(slot, block, 6, buffer, kTrayLength, Direction::In, DataUse::None);
}

bool GetConfiguration(uint32_t slot, uint16_t startingFeature, uint16_t allocationLength,
                      std::span<uint8_t> buffer, uint32_t* moved) {
    Block block(kGetConfigurationBlock);
    PutBigEndian16(&block.Bytes[2], startingFeature);
    PutBigEndian16(&block.Bytes[7], allocationLength);
    return Query(slot, block, 10, buffer, allocationLength, moved) == kStatusGood;
}

bool HasFeature(uint32_t slot, uint16_t feature, uint16_t currentProfile, std::span<uint8_t> buffer) {
    Block block(kHasFeatureBlock);
    PutBigEndian16(&block.Bytes[2], feature);
    uint32_t moved = 0;
    if (Query(slot, block, 10, buffer, kShortReply, &moved) != kStatusGood) return false;
    // The reply holds the bytes its data length counts, within what came.
    const Reply reply(buffer, moved, ReadBigEndian32(buffer.data()) + 4u);
    if (feature != 0) {
        if (!reply.Holds(8, 2) || reply.Word16(8) != feature) return false;
    }
    const bool dvdPlus = currentProfile == 0x1A || currentProfile == 0x1B ||
                         currentProfile == 0x2A || currentProfile == 0x2B;
    if (dvdPlus && (reply.Byte(12) & 0x01) == 0) return false;
    return true;
}

bool ReadFormatCapacities(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved) {
    return Query(slot, Block(kReadFormatCapacitiesBlock), 10, buffer, kShortReply, moved) == kStatusGood;
}

bool ReadDvdStructure(uint32_t slot, uint32_t address, uint8_t layer, uint8_t format,
                      uint16_t allocationLength, std::span<uint8_t> buffer, uint32_t* moved) {
    Block block(kReadDvdStructureBlock);
    PutBigEndian32(&block.Bytes[2], address);
    block.Bytes[6] = layer;
    block.Bytes[7] = format;
    PutBigEndian16(&block.Bytes[8], allocationLength);
    return Query(slot, block, 12, buffer, allocationLength, moved) == kStatusGood;
}

uint8_t ReadDiscInformationCommand(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved) {
    return Query(slot, Block(kReadDiscInformationBlock), 10, buffer, kDiscInformationLength, moved);
}

uint8_t ReadTrackInformation(uint32_t slot, uint16_t track, std::span<uint8_t> buffer, uint32_t* moved) {
    Block block(kReadTrackInformationBlock);
    PutBigEndian16(&block.Bytes[4], track);
    return Query(slot, block, 10, buffer, kShortReply, moved);
}

uint8_t ReadAtip(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved) {
    return Query(slot, Block(kReadAtipBlock), 10, buffer, kShortReply, moved);
}

uint8_t ReadWriteProtection(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved) {
    return Query(slot, Block(kWriteProtectionBlock), 12, buffer, kStructureLength, moved);
}

uint8_t ReadProtectionStatus(uint32_t slot, std::span<uint8_t> buffer) {
    return Query(slot, Block(kWriteProtectionBlock), 12, buffer, kProtectionStatusLength, nullptr, DataUse::Whole);
}

uint8_t SendProtectionStatus(uint32_t slot, std::span<uint8_t> buffer) {
    return Send(slot, Block(kSendProtectionBlock), 12, buffer, kProtectionStatusLength, Direction::Out, DataUse::Whole);
}

bool IsWriteProtected(std::span<const uint8_t> status) {
    if (status.size() < 2) return false;
    const Reply reply(status, kProtectionStatusLength, ReadBigEndian16(status.data()) + 2u);
    return reply.Byte(4) > 1;
}

uint8_t ReadCapacity(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved) {
    return Query(slot, Block(kReadCapacityBlock), 10, buffer, kCapacityLength, moved);
}

uint32_t FormatCapacityBlocks(std::span<const uint8_t> reply) {
    if (reply.size() < 4) return 0;
    const size_t listLength = reply[3];
    const Reply list(reply, kShortReply, listLength + 4);
    const size_t descriptors = listLength / 8;
    if (descriptors == 0) return 0;
    return descriptors == 1 ? list.Word32(4) : list.Word32(12);
}

bool QueryVendorFF09(uint32_t slot, std::span<uint8_t> buffer) {
    // Drives that do not answer it lose only their drive-specific line, so a
    // host that may not send it says so once instead of failing each time.
    const platform::OptionalQuery optional;
    uint32_t moved = 0;
    if (Query(slot, Block(kVendorFF09Block), 12, buffer, kShortReply, &moved) != kStatusGood) return false;
    return Reply(buffer, moved, 2).Word16(0) != 0;
}

uint8_t ModeSense(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved) {
    return SenseWriteParameters(slot, 10, buffer, moved);
}

uint32_t SensedPageLength(std::span<const uint8_t> buffer) {
    if (buffer.size() < 2) return 0;
    const uint32_t length = ReadBigEndian16(buffer.data()) + 2u;
    if (length > std::min<size_t>(kShortReply, buffer.size()) || length < kTemplateLength) return 0;
    return length;
}

uint8_t ModeSelect(uint32_t slot, uint32_t listLength, std::span<uint8_t> buffer) {
    return SelectPage(slot, 10, listLength, buffer);
}

uint8_t SelectWriteParameters(uint32_t slot, const WriteParametersTemplate& image,
                              std::span<uint8_t> buffer) {
    return SenseAndSelect(slot, 10, &image, 0, buffer);
}

uint8_t SetWriteParameters(uint32_t slot, uint32_t mediaIndex, std::span<uint8_t> buffer) {
    uint8_t blockLength = 10;
    const WriteParametersTemplate* image = nullptr;
    switch (mediaIndex) {
        case kMediaCdR:
        case kMediaCdRw:
            image = &kCdTrackAtOnceTemplate;
            break;
        case kMediaDvdR:
        case kMediaDvdRw:
        case kMediaDvdRDl:
            image = &kDvdRIncrementalTemplate;
            blockLength = 12;
            break;
        case kMediaDvdPlusR:
        case kMediaDvdPlusRw:
        case kMediaDvdPlusRDl:
        case kMediaDvdRam:
            break;
        default:
            return 0;
    }
    // The CD template selects a fixed 60-byte list; the others select the page
    // as long as the drive sensed it.
    const uint32_t fixedLength = image == &kCdTrackAtOnceTemplate ? 60 : 0;
    return SenseAndSelect(slot, blockLength, image, fixedLength, buffer);
}

uint8_t CloseTrackSession(uint32_t slot, uint8_t mediaIndex, uint8_t closeTrack, uint8_t track,
                          std::span<uint8_t> buffer) {
    // The multi-session field is set to 11b before closing, so that what
    // follows the closed session stays writable.  A page that cannot be
    // sensed is not selected; when no select went through, the drive may be
    // busy, and it is waited for before the close goes out all the same.
    bool selected = false;
    uint32_t moved = 0;
    if (ModeSense(slot, buffer, &moved) == kStatusGood) {
        const uint32_t listLength = SensedPageLength(ReplyBytes(buffer, moved));
        if (listLength != 0) {
            if (mediaIndex == kMediaDvdR) {
                ApplyTemplate(kDvdRCloseTemplate, buffer);
                buffer[11] |= 0xC0;
            } else {
                buffer[11] = static_cast<uint8_t>((buffer[11] & 0x3F) | 0xC0);
            }
            selected = ModeSelect(slot, listLength, buffer) == kStatusGood;
        }
    }
    if (!selected) {
        ReadyWait wait;
        wait.PollMs = kBeforeClosePollMs;
        wait.BoundMs = kCloseWaitBoundMs;
        wait.KeepWaiting = kSensesWhileWorking;
        WaitUntilReady(slot, wait, buffer);
    }
    Block block(kCloseTrackSessionBlock);
    if (closeTrack != 0) {
        block.Bytes[2] = 0x01;
        block.Bytes[5] = track;
    } else {
        block.Bytes[2] = 0x02;
    }
    return Send(slot, block, 10, buffer, 0, Direction::Out, DataUse::None);
}

uint8_t Blank(uint32_t slot, std::span<uint8_t> buffer) {
    return Send(slot, Block(kBlankBlock), 10, buffer, kShortReply, Direction::In, DataUse::None);
}

uint8_t FormatUnit(uint32_t slot, const FormatParameterList* list, std::span<uint8_t> buffer) {
    uint32_t listLength = 0;
    if (list != nullptr) {
        listLength = sizeof list->Bytes;
        // A buffer too small for the sense bytes is refused by Send below.
        if (buffer.size() >= kMinimumBuffer) {
            std::memcpy(buffer.data(), list->Bytes, listLength);
            buffer[1] |= 0x02;  // immediate
        }
    }
    return Send(slot, Block(kFormatUnitBlock), 12, buffer, listLength, Direction::Out, DataUse::Whole);
}

ReadyResult WaitUntilReady(uint32_t slot, const ReadyWait& wait, std::span<uint8_t> buffer) {
    const uint32_t start = win::timeGetTime();
    for (;;) {
        if (wait.EachPoll) wait.EachPoll();
        const uint8_t status = wait.Ask ? wait.Ask(buffer) : TestUnitReady(slot, buffer);
        if (status == kStatusGood) return ReadyResult::Ready;
        const uint16_t keyAsc = GetSenseKeyAsc(buffer);
        if (std::find(wait.KeepWaiting.begin(), wait.KeepWaiting.end(), keyAsc) == wait.KeepWaiting.end())
            return ReadyResult::OtherSense;
        if (wait.Cancel != nullptr && wait.Cancel->load() != 0) return ReadyResult::Cancelled;
        if (win::timeGetTime() - start >= wait.BoundMs) return ReadyResult::BoundReached;
        // A wait that did not sleep would never see a simulated clock move.
        const uint32_t pause = std::max<uint32_t>(wait.PollMs, 1);
        if (!wait.Pause)
            win::Sleep(pause);
        else if (!wait.Pause(pause))
            return ReadyResult::Cancelled;
    }
}

static_assert(kBlockSize == platform::kPatternBlockBytes);

PATTERN_FILL_CLONES
bool FillTestPattern(uint32_t startLba, uint8_t count, std::span<uint8_t> buffer) {
    const size_t bytes = std::max<size_t>(BlockBytes(count), 4);
    if (bytes > buffer.size()) return false;
    std::memset(buffer.data(), 0, 4);
    for (uint32_t i = 0; i < count; ++i)
        platform::FillPatternBlock(startLba + i, buffer.data() + static_cast<size_t>(i) * kBlockSize);
    return true;
}

bool BlockHoldsTestPattern(uint32_t lba, std::span<const uint8_t> block) {
    return block.size() >= kBlockSize && platform::IsPatternBlock(lba, block.data());
}

uint32_t GetSenseCode(std::span<const uint8_t> buffer) {
    if (buffer.size() < kMinimumBuffer) return 0;
    return (static_cast<uint32_t>(buffer[2]) << 16) | (static_cast<uint32_t>(buffer[12]) << 8) |
           buffer[13];
}

uint16_t GetSenseKeyAsc(std::span<const uint8_t> buffer) {
    if (buffer.size() < kMinimumBuffer) return 0;
    return static_cast<uint16_t>((buffer[2] << 8) | buffer[12]);
}

}  // namespace drive
