// The program entry of Pelmora.
//
// The machine comes first: the simulated machine that SIMULATED_MACHINE
// names, else the Linux host.  On a simulated machine that answers its
// windows itself ("ui auto") every message box and modal window is recorded,
// answered at once and echoed to stderr; otherwise the windows are shown.  An
// accepted restart of the simulated machine ends the program, as the real
// system's shutdown would.  Without a display the windows go to Qt's
// offscreen platform.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "download/Pelmoraabout.h"
#include "download/Pelmoraengineeroption.h"
#include "download/Pelmoramain.h"
#include "gif/GIFGraphic.h"
#include "simdrive/Select.h"
#include "vcl/Dialogs.h"
#include "vcl/Forms.h"

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::string error;
    if (!sim::InstallPlatform(error)) {
        std::fprintf(stderr, "Pelmora: %s\n", error.c_str());
        return 1;
    }
    static vcl::RecordingDialogs recording;
    sim::SimMachine* machine = sim::InstalledSimMachine();
    if (machine != nullptr) {
        if (machine->UiAuto) {
            recording.SetEcho(true);
            vcl::InstallDialogs(&recording);
        }
        machine->OnRestartAccepted([] { vcl::Application.Terminate(); });
    }
    // The program's own message boxes go through the same seam as its windows.
    vcl::InstallMessageBoxService();

    // The GIF unit's start-up runs before the main routine, its exit after.
    gif::GIFUnitInitialize();
    const int result = vcl::RunGuarded([&] {
        vcl::Application.Initialize(argc, argv);
        vcl::Application.Title = "Pelmora";
        vcl::Application.CreateForm(MainForm);
        vcl::Application.CreateForm(FormAbout, MainForm != nullptr && MainForm->Korean != 0);
        vcl::Application.CreateForm(FormEngOption);
        vcl::Application.Run();
    });
    vcl::Application.Finalize();
    gif::GIFUnitFinalize();
    vcl::InstallDialogs(nullptr);
    return result;
}
