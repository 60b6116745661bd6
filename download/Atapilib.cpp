#include "download/Atapilib.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "drive/Mmc.h"
#include "drive/Transport.h"

TAtapiLib AtapiLib;

namespace {

using drive::Direction;

// Command block templates, 12 bytes each; only the block's own length is
// sent.  The per-call bytes are filled into a copy.
constexpr uint8_t kStartStopUnit[12] = {0x1B, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kFlashCommand[12] = {0xFF, 0x02, 0xFC, 0x00, 0x00, 0x00,
                                       0x00, 0x00, 0x00, 0x00, 0x00, 0xAA};
constexpr uint8_t kWriteFirmware[12] = {0xFF, 0x00, 0x01, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kReadChecksums[12] = {0xFF, 0x00, 0x03, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0xAA};
constexpr uint8_t kSetDownloadMode[12] = {0xFF, 0x00, 0x04, 0x00, 0x00, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0xAA};
constexpr uint8_t kGetDownloadMode[12] = {0xFF, 0x00, 0x05, 0x00, 0x00, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0x00, 0xAA};
constexpr uint8_t kReadDriveCode[12] = {0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0xAA};

// Commands without data still need a buffer for the sense bytes.
constexpr uint32_t kScratchSize = 512;

struct Cdb {
    uint8_t Bytes[12];
    explicit Cdb(const uint8_t (&pattern)[12]) { std::memcpy(Bytes, pattern, sizeof Bytes); }
};

uint8_t SendWithoutData(uint8_t slot, const Cdb& cdb, uint8_t length) {
    uint8_t scratch[kScratchSize] = {};
    return drive::SendDriveCommand(slot, cdb.Bytes, length, scratch, 0, Direction::In);
}

// The vendor queries answer 8 bytes, but a check condition writes sense bytes
// up to byte 13 of the data buffer.  The command therefore lands in an area of
// its own, seeded with the caller's bytes so that what the drive does not
// transfer stays as the caller left it; the 8 reply bytes (with the sense key
// at byte 2 after a check condition) go back to the caller.
uint8_t SendEightByteQuery(uint8_t slot, const Cdb& cdb, uint8_t* reply8) {
    uint8_t area[16] = {};
    std::memcpy(area, reply8, kVendorReplyLength);
    const uint8_t status =
        drive::SendDriveCommand(slot, cdb.Bytes, 12, area, kVendorReplyLength, Direction::In);
    std::memcpy(reply8, area, kVendorReplyLength);
    return status;
}

}  // namespace

void ConfigureDownloadTransport() {
    drive::Settings.PassThroughTimeoutSeconds = kDownloadPassThroughTimeoutSeconds;
    drive::Settings.AspiWaitBoundMs = kDownloadPassThroughTimeoutSeconds * 1000;
}

uint8_t TAtapiLib::FindDrives() {
    ConfigureDownloadTransport();
    // Without the ASPI library there is no drive to offer.
    const int found = drive::FindDrives(nullptr, kDownloadEnumeration);
    return found < 0 ? 0 : static_cast<uint8_t>(found);
}

uint8_t TAtapiLib::Inquiry(uint8_t slot, uint8_t* buffer, uint32_t length) {
    const std::span<uint8_t> area(buffer, std::max<size_t>(length, drive::kMinimumBuffer));
    return drive::InquiryDriveCodes(slot, length, area);
}

uint8_t TAtapiLib::StartStopUnit(uint8_t slot, uint8_t byte4) {
    Cdb cdb(kStartStopUnit);
    cdb.Bytes[4] = byte4;
    return SendWithoutData(slot, cdb, 6);
}

uint8_t TAtapiLib::SendFlashCommand(uint8_t slot) {
    return SendWithoutData(slot, Cdb(kFlashCommand), 12);
}

uint8_t TAtapiLib::WriteFirmwareBlock(uint8_t slot, uint8_t* buffer, uint16_t length,
                                      uint8_t byte5, uint8_t byte9) {
    Cdb cdb(kWriteFirmware);
    cdb.Bytes[5] = byte5;
    cdb.Bytes[9] = byte9;
    uint32_t taken = 0;
    const uint8_t status = drive::SendDriveCommand(slot, cdb.Bytes, 12, buffer, length, Direction::Out, &taken);
    // A chunk the drive took only in part is not in the drive: it counts as a
    // failed request, whatever status came with it.
    if (status == drive::kStatusGood && taken != length) return drive::kStatusTransportFailed;
    return status;
}

uint8_t TAtapiLib::ReadChecksums(uint8_t slot, uint8_t* reply8) {
    return SendEightByteQuery(slot, Cdb(kReadChecksums), reply8);
}

uint8_t TAtapiLib::SetDownloadMode(uint8_t slot, uint8_t byte5, uint8_t* reply8) {
    Cdb cdb(kSetDownloadMode);
    cdb.Bytes[5] = byte5;
    return SendEightByteQuery(slot, cdb, reply8);
}

uint8_t TAtapiLib::GetDownloadMode(uint8_t slot, uint8_t* reply8) {
    return SendEightByteQuery(slot, Cdb(kGetDownloadMode), reply8);
}

uint8_t TAtapiLib::ReadDriveCode(uint8_t slot, uint8_t* reply8) {
    return SendEightByteQuery(slot, Cdb(kReadDriveCode), reply8);
}
