#include "drive/Enumeration.h"

#include <cstring>
#include <string>

#include "drive/Mmc.h"
#include "platform/Win.h"

namespace drive {

namespace {

constexpr uint32_t kInquiryReplyLength = 36;
constexpr uint8_t kOpticalDevice = 0x05;

// Bytes 8 to 35 of the INQUIRY reply (vendor, product, revision) and three
// blanks; the text ends early at the first NUL among those bytes.
void WriteName(DriveNameSlot& cell, const uint8_t* reply) {
    char text[32];
    std::memcpy(text, reply + 8, 28);
    std::memcpy(text + 28, "   ", 3);
    text[31] = '\0';
    std::strcpy(cell.Text, text);
}

// Asks the drive that slot `count` now reaches and decides whether it is
// kept there.  A drive that is kept gets its name cell.
bool Keep(int count, bool needsOpticalReply, DriveNameSlot* names) {
    uint8_t reply[kInquiryReplyLength];
    const bool good = Inquiry(static_cast<uint32_t>(count), reply) == kStatusGood;
    if (needsOpticalReply && !(good && reply[0] == kOpticalDevice)) return false;
    if (names != nullptr) {
        if (good)
            WriteName(names[count], reply);
        else
            names[count].Text[0] = '\0';  // not what the failure left in the reply
    }
    return true;
}

}  // namespace

Handle OpenCdDrive(const char* root) {
    if (win::GetDriveTypeA(root) != platform::DRIVE_CDROM) return platform::kInvalidHandle;
    const std::string path = std::string("\\\\.\\") + root;
    return win::CreateFileA(path.c_str(), platform::GENERIC_READ | platform::GENERIC_WRITE,
                            platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                            platform::OPEN_EXISTING, 0);
}

int FindDrives(DriveNameSlot* names, const EnumerationRules& rules) {
    std::memset(SlotTable.TargetIds, 0, sizeof SlotTable.TargetIds);
    std::memset(SlotTable.HostAdapterIds, 0, sizeof SlotTable.HostAdapterIds);
    for (Handle& handle : SlotTable.DeviceHandles) handle = 0;
    platform::OsVersionInfo version{};
    version.OSVersionInfoSize = platform::kPlainVersionRecordSize;
    int count = 0;

    // Each candidate is put into the next free slot and asked through it, as
    // every later command reaches it; one that is not kept leaves the slot
    // free again.
    win::GetVersionExA(&version);
    if (version.PlatformId == platform::VER_PLATFORM_WIN32_NT) {
        SlotTable.TransportMode = 1;
        for (char letter = 'a'; letter <= 'z'; ++letter) {
            const char root[3] = {letter, ':', '\0'};
            const Handle handle = OpenCdDrive(root);
            if (handle == platform::kInvalidHandle) continue;
            SlotTable.DeviceHandles[count] = handle;
            if (Keep(count, rules.NtNeedsOpticalReply, names)) {
                ++count;
            } else {
                // Not a drive of this program: nothing will use the handle again.
                platform::Current().DeviceOpen->CloseHandle(handle);
                SlotTable.DeviceHandles[count] = 0;
            }
        }
        return count;
    }

    SlotTable.TransportMode = 0;
    const uint8_t adapters = LoadAspi();
    if (adapters == 0) return kAspiUnavailable;
    const int slots = rules.AspiSlots < kSlotCount ? rules.AspiSlots : kSlotCount;
    for (uint8_t a = 0; a < adapters && count < slots; ++a) {
        for (uint8_t t = 0; t < 8 && count < slots; ++t) {
            SlotTable.TargetIds[count] = t;
            SlotTable.HostAdapterIds[count] = a;
            if (Keep(count, true, names)) {
                ++count;
            } else {
                SlotTable.TargetIds[count] = 0;
                SlotTable.HostAdapterIds[count] = 0;
            }
        }
    }
    return count;
}

}  // namespace drive
