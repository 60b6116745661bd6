// One simulated drive on either carrier of the drive layer: pass-through on
// an NT-family machine, ASPI on a 9x machine with the library present.
#pragma once

#include <cstdint>

#include "drive/Transport.h"
#include "simdrive/SimMachine.h"

namespace testsupport {

enum class Carrier { PassThrough, Aspi };

inline const char* CarrierName(Carrier carrier) {
    return carrier == Carrier::PassThrough ? "PassThrough" : "Aspi";
}

// Attaches the drive at the letter or at ASPI adapter 0's target, and
// installs the machine with a fresh ASPI loader.
inline sim::SimDrive& AttachOnCarrier(sim::SimMachine& machine, Carrier carrier, const sim::DriveConfig& config,
                                      char letter = 'd', uint8_t target = 1) {
    drive::ResetAspiLoader();
    sim::SimDrive* attached;
    if (carrier == Carrier::PassThrough) {
        machine.SetNtFamily();
        attached = &machine.AttachDriveAtLetter(letter, config);
    } else {
        machine.Set9xFamily();
        machine.Aspi.Present = true;
        attached = &machine.AttachDriveAtAspi(0, target, config);
    }
    machine.Install();
    return *attached;
}

}  // namespace testsupport
