// The program entry of Pelmora.
//
// The machine comes first: the simulated machine that SIMULATED_MACHINE
// names, else the Linux host.  On a simulated machine that answers its
// windows itself ("ui auto") every message box and modal window is recorded,
// answered at once and echoed to stderr; otherwise the windows are shown.  An
// accepted restart of the simulated machine ends the program, as the real
// system's shutdown would.  Without a display the windows go to Qt's
// offscreen platform.
#include <QTimer>

#include <unistd.h>

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

namespace {

// What a headless run says on stderr (simdrive/MACHINE.md quotes them).
constexpr const char* kWaitingEcho =
    "ui: Pelmora waits for a user; nobody answers with \"ui auto\": end it with Ctrl+C or kill %ld\n";
constexpr const char* kRestartAcceptedEcho = "ui: restart accepted: the simulated system restarts and ends Pelmora\n";
constexpr int kWaitCheckMs = 250;

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);

    // Status 1: the program could not start (see TMainForm::ExitStatus for
    // the others).
    constexpr int kExitNotStarted = 1;
    std::string error;
    if (!sim::InstallPlatform(error)) {
        std::fprintf(stderr, "Pelmora: %s\n", error.c_str());
        return kExitNotStarted;
    }
    static vcl::RecordingDialogs recording;
    sim::SimMachine* machine = sim::InstalledSimMachine();
    if (machine != nullptr) {
        if (machine->UiAuto) {
            recording.SetEcho(true);
            vcl::InstallDialogs(&recording);
        }
        machine->OnRestartAccepted([uiAuto = machine->UiAuto] {
            if (uiAuto) std::fputs(kRestartAcceptedEcho, stderr);
            vcl::Application.Terminate();
        });
    }
    // The program's own message boxes go through the same seam as its windows.
    vcl::InstallMessageBoxService();

    // The GIF unit's start-up runs before the main routine, its exit after.
    gif::GIFUnitInitialize();
    // An exception that ends the program early is no success either.
    int status = kExitNotStarted;
    vcl::RunGuarded([&] {
        vcl::Application.Initialize(argc, argv);
        vcl::Application.Title = "Pelmora";
        vcl::Application.CreateForm(MainForm);
        vcl::Application.CreateForm(FormAbout, MainForm != nullptr && MainForm->Korean != 0);
        vcl::Application.CreateForm(FormEngOption);
        // Headless, a window left open waits for a user nobody is: say so
        // each time the program comes to that, and how to end it.
        QTimer waitCheck;
        bool told = false;
        if (machine != nullptr && machine->UiAuto) {
            QObject::connect(&waitCheck, &QTimer::timeout, [&told] {
                const bool waiting = !vcl::Application.Terminated() && MainForm != nullptr &&
                                     MainForm->WaitsForUser();
                if (waiting && !told)
                    std::fprintf(stderr, kWaitingEcho, static_cast<long>(::getpid()));
                told = waiting;
            });
            waitCheck.start(kWaitCheckMs);
        }
        vcl::Application.Run();
        if (MainForm != nullptr) status = MainForm->ExitStatus();
    });
    vcl::Application.Finalize();
    gif::GIFUnitFinalize();
    vcl::InstallDialogs(nullptr);
    return status;
}
