#include "simdrive/Select.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/Host.h"
#include "simdrive/SimMachineFile.h"

namespace sim {

namespace {
// The machine a program runs on lives as long as the process.
std::unique_ptr<SimMachine> g_machine;
}  // namespace

bool InstallPlatform(std::string& error) {
    const char* path = std::getenv("SIMULATED_MACHINE");
    if (path == nullptr) {
        g_machine.reset();
        platform::InstallLinuxHost();
        return true;
    }
    if (*path == '\0') {
        error = "SIMULATED_MACHINE is set but names no machine description";
        return false;
    }
    std::unique_ptr<SimMachine> machine = LoadSimMachine(path, error);
    if (!machine) return false;
    machine->Install();
    // The machine installed before, if any, goes only now: it no longer is the
    // installed one and leaves the new one in place.
    g_machine = std::move(machine);
    std::fprintf(stderr, "simulated machine: %s\n", path);
    return true;
}

SimMachine* InstalledSimMachine() { return g_machine.get(); }

}  // namespace sim
