// One simulated drive on either carrier of the drive layer: pass-through on
// an NT-family machine, ASPI on a 9x machine with the library present.
#pragma once

#include "drive/Enumeration.h"
#include "drive/Transport.h"
#include "simdrive/SimMachine.h"

namespace drivetest {

enum class Carrier { PassThrough, Aspi };

inline const char* CarrierName(Carrier carrier) {
    return carrier == Carrier::PassThrough ? "PassThrough" : "Aspi";
}

// Attaches the drive, installs the machine and enumerates it into slot 0;
// the number of drives found is left in `found`.
inline sim::SimDrive& AttachOnCarrier(sim::SimMachine& machine, Carrier carrier, const sim::DriveConfig& config,
                                      int& found) {
    drive::ResetAspiLoader();
    sim::SimDrive* attached;
    if (carrier == Carrier::PassThrough) {
        machine.SetNtFamily();
        attached = &machine.AttachDriveAtLetter('d', config);
    } else {
        machine.Set9xFamily();
        machine.Aspi.Present = true;
        attached = &machine.AttachDriveAtAspi(0, 1, config);
    }
    machine.Install();
    drive::DriveNameSlot names[26];
    found = drive::FindDrives(names);
    return *attached;
}

}  // namespace drivetest
