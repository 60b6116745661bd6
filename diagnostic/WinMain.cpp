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

#include "diagnostic/Mirtaltest.h"
#include "diagnostic/Startup.h"
#include "diagnostic/TestScript.h"
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
    // A scripted run works the test window while it is up, then closes it.
    static std::vector<ScriptStep> script;
    bool scriptFailed = false;
    if (machine != nullptr && !machine->UiScript.empty()) {
        if (!LoadTestScript(machine->UiScript, script, error)) {
            std::fprintf(stderr, "Corvan_CE: %s\n", error.c_str());
            return 1;
        }
        recording.SetModalCallback([&](vcl::TForm& form) {
            if (form.ClassName() != "TFormTest") return;
            auto& test = static_cast<TFormTest&>(form);
            std::string why;
            if (!RunTestScript(test, script, recording, why)) {
                std::fprintf(stderr, "Corvan_CE: the script stopped at %s\n", why.c_str());
                scriptFailed = true;
            }
            test.CloseBtnClick();
        });
    }
    vcl::InstallMessageBoxService();

    const int result = vcl::RunGuarded([&] {
        vcl::Application.Initialize(argc, argv);
        RunCorvan();
    });
    vcl::Application.Finalize();
    vcl::InstallDialogs(nullptr);
    return result != 0 ? result : scriptFailed ? 1 : 0;
}
