// Chooses the machine a program runs on, once, at start-up: the simulated
// machine that the environment variable SIMULATED_MACHINE names, or the Linux
// host.  Nothing falls back from one to the other.
#pragma once

#include <string>

#include "simdrive/SimMachine.h"

namespace sim {

// With SIMULATED_MACHINE set: loads that description, installs the machine
// (kept for the life of the process) and says so on stderr ("simulated
// machine: <path>").  False, with the reason, when it cannot be loaded; no
// machine is installed then.  Without it: installs the Linux host.
bool InstallPlatform(std::string& error);

// The simulated machine installed by InstallPlatform; nullptr on the host.
SimMachine* InstalledSimMachine();

}  // namespace sim
