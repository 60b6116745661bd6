// Drive enumeration: finds the optical drives once, at start-up, numbers
// them (a drive's position is its drive slot), sets the transport mode and,
// for a caller that wants them, writes one name cell per drive.
#pragma once

#include <cstdint>

#include "drive/Transport.h"

namespace drive {

inline constexpr int kDriveNameSlotSize = 40;

// One 40-character cell of the caller's name array.
struct DriveNameSlot {
    char Text[kDriveNameSlotSize];
};

inline constexpr int kAspiUnavailable = -1;

// What a program counts as its drives.  The defaults are the diagnostic
// program's.
struct EnumerationRules {
    // Drives the ASPI scan may fill the tables with (they hold kSlotCount).
    int AspiSlots = kSlotCount;
    // On the NT family every CD-ROM letter that opens is a drive; with this
    // set it must also answer the INQUIRY good with byte 0 exactly 5
    // (peripheral qualifier 0, CD/DVD device), as on ASPI, and the handles
    // of the letters that do not are closed.
    bool NtNeedsOpticalReply = false;
};

// The device handle of a two-character root ("d:") that is a CD-ROM drive,
// opened for reading and writing with both shared; otherwise the invalid
// handle.
Handle OpenCdDrive(const char* root);

// -1 ASPI unavailable, 0 no drive, n > 0 drives in slots 0..n-1.  `names`,
// when given, needs one cell per drive found (at most 26): bytes 8-35 of the
// drive's INQUIRY reply and three blanks, or an empty text for a drive whose
// INQUIRY failed.
int FindDrives(DriveNameSlot* names, const EnumerationRules& rules = {});

}  // namespace drive
