// The drive layer's tests on either carrier: one drive, enumerated into
// slot 0.
#pragma once

#include "drive/Enumeration.h"
#include "support/Carriers.h"

namespace drivetest {

using testsupport::Carrier;
using testsupport::CarrierName;

// Attaches the drive, installs the machine and enumerates it into slot 0;
// the number of drives found is left in `found`.
inline sim::SimDrive& AttachOnCarrier(sim::SimMachine& machine, Carrier carrier, const sim::DriveConfig& config,
                                      int& found) {
    sim::SimDrive& attached = testsupport::AttachOnCarrier(machine, carrier, config);
    drive::DriveNameSlot names[26];
    found = drive::FindDrives(names);
    return attached;
}

}  // namespace drivetest
