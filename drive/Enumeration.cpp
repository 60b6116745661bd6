#include "drive/Enumeration.h"

#include <cstring>
#include <string>
#include <vector>

#include "drive/Transport.h"
#include "platform/Win.h"

namespace drive {

namespace {

constexpr uint32_t kReplyBufferSize = 65536;
constexpr uint8_t kInquiry[6] = {0x12, 0x00, 0x00, 0x00, 0x24, 0x00};
constexpr uint32_t kInquiryLength = kInquiry[4];

// Bytes 8 to 35 of the INQUIRY reply (vendor, product, revision) and three
// blanks; the text ends early at the first NUL among those bytes.
void WriteName(DriveNameSlot& cell, const uint8_t* reply) {
    char text[32];
    std::memcpy(text, reply + 8, 28);
    std::memcpy(text + 28, "   ", 3);
    text[31] = '\0';
    std::strcpy(cell.Text, text);
}

}  // namespace

int FindDrives(DriveNameSlot* names) {
    std::memset(SlotTable.TargetIds, 0, sizeof SlotTable.TargetIds);
    std::memset(SlotTable.HostAdapterIds, 0, sizeof SlotTable.HostAdapterIds);
    for (Handle& handle : SlotTable.DeviceHandles) handle = 0;
    std::vector<uint8_t> reply(kReplyBufferSize, 0);
    platform::OsVersionInfo version{};
    version.OSVersionInfoSize = platform::kPlainVersionRecordSize;
    int count = 0;

    win::GetVersionExA(&version);
    if (version.PlatformId == platform::VER_PLATFORM_WIN32_NT) {
        SlotTable.TransportMode = 1;
        for (char letter = 'a'; letter <= 'z'; ++letter) {
            const char root[3] = {letter, ':', '\0'};
            if (win::GetDriveTypeA(root) != platform::DRIVE_CDROM) continue;
            const std::string path = std::string("\\\\.\\") + root;
            const Handle handle =
                win::CreateFileA(path.c_str(), platform::GENERIC_READ | platform::GENERIC_WRITE,
                                 platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                                 platform::OPEN_EXISTING, 0);
            SlotTable.DeviceHandles[count] = handle;
            if (handle != platform::kInvalidHandle) ++count;
        }
        // Every opened drive is listed.  A drive whose INQUIRY fails gets an
        // empty name rather than what the shared reply buffer held from the
        // drive before it (or the sense bytes the failure copied into it).
        for (int k = 0; k < count; ++k) {
            std::memset(reply.data(), 0, kInquiryLength);
            const int status = SendPassThroughCommand(SlotTable.DeviceHandles[k], kInquiry,
                                                      sizeof kInquiry, reply.data(),
                                                      kInquiryLength, Direction::In);
            if (status == kStatusGood)
                WriteName(names[k], reply.data());
            else
                names[k].Text[0] = '\0';
        }
        return count;
    }

    SlotTable.TransportMode = 0;
    const uint8_t adapters = LoadAspi();
    if (adapters == 0) return kAspiUnavailable;
    for (uint8_t a = 0; a < adapters && count < kSlotCount; ++a) {
        for (uint8_t t = 0; t < 8 && count < kSlotCount; ++t) {
            const uint8_t status = SendAspiCommand(a, t, kInquiry, sizeof kInquiry, reply.data(),
                                                   kInquiryLength, Direction::In);
            if (status == kStatusGood && reply[0] == 0x05) {
                SlotTable.TargetIds[count] = t;
                SlotTable.HostAdapterIds[count] = a;
                WriteName(names[count], reply.data());
                ++count;
            }
        }
    }
    return count;
}

}  // namespace drive
