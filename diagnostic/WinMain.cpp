// The program entry of Corvan_CE.
//
// The machine comes first: the simulated machine that SIMULATED_MACHINE
// names, else the Linux host.  On a simulated machine that answers its
// windows itself ("ui auto") every message box and modal window is recorded,
// answered at once and echoed to stderr; otherwise the windows are shown.
// Without a display the windows go to Qt's offscreen platform.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "diagnostic/Startup.h"
#include "simdrive/Select.h"
#include "vcl/Dialogs.h"
#include "vcl/Forms.h"

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::string error;
    if (!sim::InstallPlatform(error)) {
        std::fprintf(stderr, "Corvan_CE: %s\n", error.c_str());
        return 1;
    }
    static vcl::RecordingDialogs recording;
    sim::SimMachine* machine = sim::InstalledSimMachine();
    if (machine != nullptr && machine->UiAuto) {
        recording.SetEcho(true);
        vcl::InstallDialogs(&recording);
    }
    vcl::InstallMessageBoxService();

    const int result = vcl::RunGuarded([&] {
        vcl::Application.Initialize(argc, argv);
        RunCorvan();
    });
    vcl::Application.Finalize();
    vcl::InstallDialogs(nullptr);
    return result;
}
