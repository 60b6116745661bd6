// Any text as a machine description: it is either a machine or refused with
// an error that names the place.  Descriptions that name a state file are
// left out, as the parser would read whatever path the input names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "simdrive/SimMachineFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (text.find("state") != std::string::npos) return 0;
    std::string error;
    const std::unique_ptr<sim::SimMachine> machine =
        sim::ParseSimMachine(text, "fuzz.machine", "/nonexistent", error);
    if ((machine == nullptr) == error.empty()) {
        std::fprintf(stderr, "fuzz check failed: %s\n",
                     machine ? "a machine together with an error" : "a refusal without an error");
        std::abort();
    }
    if (!error.empty() && error.rfind("fuzz.machine:", 0) != 0) {
        std::fprintf(stderr, "fuzz check failed: the error names no place: %s\n", error.c_str());
        std::abort();
    }
    return 0;
}
