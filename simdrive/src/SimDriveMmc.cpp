// The MMC commands of the simulated drive: identity, readiness and the tray.
#include <algorithm>
#include <cstring>

#include "SimDriveImpl.h"

namespace sim {

namespace {

constexpr uint32_t kInquiryReplyBytes = 96;

}  // namespace

void HandleTestUnitReady(SimDrive::Impl& drive, Command& command) { drive.ReadyDisc(command); }

// Standard INQUIRY data only: no vital product data pages.  The allocation
// length is byte 4 also in the 12-byte form the download program sends.
void HandleInquiry(SimDrive::Impl& drive, Command& command) {
    if ((command.Cdb[1] & 0x01) != 0 || command.Cdb[2] != 0) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    const DriveConfig& config = drive.Config;
    uint8_t reply[kInquiryReplyBytes] = {};
    reply[0] = config.PeripheralByte;
    reply[1] = 0x80;  // removable medium
    reply[2] = 0x05;
    reply[3] = 0x02;
    reply[4] = kInquiryReplyBytes - 5;
    PutText(reply + 8, config.Vendor, 8);
    PutText(reply + 16, config.Product, 16);
    PutText(reply + 32, drive.Fw.BootCode ? std::string("BOOT") : config.Revision, 4);
    PutText(reply + 36, config.Code, 3);
    reply[54] = config.FcCode[0];
    reply[55] = config.FcCode[1];
    command.Reply(reply, std::min<uint32_t>(kInquiryReplyBytes, command.Cdb[4]));
}

// Byte 4: LoEj (bit 1) with Start (bit 0) opens (02) or closes (03) the
// tray; without LoEj the spindle is stopped or started, which changes nothing
// the drive reports.  When discs are queued, the next one replaces the disc
// in the opened tray, as a person changing discs would.
void HandleStartStopUnit(SimDrive::Impl& drive, Command& command) {
    const uint8_t control = command.Cdb[4] & 0x03;
    if (control == 0x02) {
        drive.TrayOpen = true;
        drive.BecomingReady = false;
        drive.Busy = false;
        if (!drive.Queue.empty()) {
            drive.Medium = std::move(drive.Queue.front());
            drive.Queue.pop_front();
            drive.Config.DiscLoaded = true;
        }
    } else if (control == 0x03 && drive.TrayOpen) {
        drive.TrayOpen = false;
        if (drive.Config.DiscLoaded) drive.StartLoading();
    }
}

}  // namespace sim
