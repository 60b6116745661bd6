// Drive enumeration: finds the optical drives once, at start-up, numbers
// them (a drive's position is its drive slot), sets the transport mode and
// writes one name cell per drive.
#pragma once

#include <cstdint>

namespace drive {

inline constexpr int kDriveNameSlotSize = 40;

// One 40-character cell of the caller's name array.
struct DriveNameSlot {
    char Text[kDriveNameSlotSize];
};

inline constexpr int kAspiUnavailable = -1;

// -1 ASPI unavailable, 0 no drive, n > 0 drives in slots 0..n-1.  The caller's
// array needs one cell per drive found (at most 26).
int FindDrives(DriveNameSlot* names);

}  // namespace drive
