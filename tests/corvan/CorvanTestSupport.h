// One run of Corvan_CE per test: a simulated machine built in code, a fresh
// working directory, the recording seam for every window and message box,
// and the program's start-up run as its entry runs it.  While the test
// window is up, the test works it through a callback; the virtual clock
// moves only when the program sleeps or a timer is due.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "diagnostic/Congifscreenitem.h"
#include "diagnostic/Mirtalabout.h"
#include "diagnostic/Mirtalmain.h"
#include "diagnostic/Mirtaltest.h"
#include "diagnostic/Mirtaltestspec.h"
#include "diagnostic/Startup.h"
#include "simdrive/Disc.h"
#include "simdrive/SimMachine.h"
#include "vcl/Dialogs.h"
#include "support/RunUntil.h"
#include "support/ScratchDirectory.h"
#include "support/ShownInOrder.h"
#include "vcl/Forms.h"

namespace corvantest {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

inline std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The test log's header for the default simulated drive on XP SP2.
inline std::string LogHeader(const std::string& startTime) {
    return "****************************************************************\n"
           "    < PROGRAM INFO.    > : Corvan CE(d.01.0)\n"
           "    < OS VERSION       > : Windows XP Professional Service Pack 2 (Build 2600)\n"
           "    < TEST DRIVE       > : SIMDRIVEDVD-RW SD-1000  1.00\n"
           "    < VENDOR  ID       > : SIMDRIVE\n"
           "    < PRODUCT ID       > : DVD-RW SD-1000  \n"
           "    < FIRMWARE VERSION > : 1.00\n"
           "    < TEST START TIME  > : " +
           startTime +
           "\n"
           "****************************************************************\n"
           "\n";
}

inline std::string LabelText(const QLabel* label) { return label->text().toStdString(); }

class CorvanTest : public ::testing::Test {
protected:
    void SetUp() override { machine.SetNtFamily(); }

    void TearDown() override {
        ResetCorvan();
        vcl::InstallDialogs(nullptr);
        QCoreApplication::processEvents();
    }

    sim::SimDrive& AttachDrive(char letter, std::optional<sim::Disc> disc = std::nullopt,
                               const sim::DriveConfig& config = {}) {
        sim::SimDrive& drive = machine.AttachDriveAtLetter(letter, config);
        if (disc) drive.LoadDisc(*disc);
        return drive;
    }

    // Runs the program: start-up, the splash, the test window.  While the
    // test window is up, whileUp works it; other windows shown modally meet
    // the callback set for their class.
    void Run(std::function<void(TFormTest&)> whileUp = {}) {
        machine.Install();
        vcl::InstallDialogs(&dialogs);
        vcl::InstallMessageBoxService();
        dialogs.SetModalCallback([this, whileUp](vcl::TForm& form) {
            if (form.ClassName() == "TFormTest") {
                if (whileUp) whileUp(static_cast<TFormTest&>(form));
                if (closeAtEnd) static_cast<TFormTest&>(form).CloseBtnClick();
                return;
            }
            const auto it = onModal.find(form.ClassName());
            if (it != onModal.end()) it->second(form);
        });
        startTick = machine.Clock().TickCount();
        vcl::RunGuarded(RunCorvan);
        QCoreApplication::processEvents();
    }

    // What was shown, in order: the class name of a modal window, "box
    // <caption>: <text>" for a message box.
    Lines Shown() const {
        return testsupport::ShownInOrder(dialogs, [](const vcl::ModalRecord& form) { return form.ClassName; });
    }

    uint32_t Elapsed() { return machine.Clock().TickCount() - startTick; }

    // Runs the event loop (timers in virtual time) until done() holds; false
    // when it did not come within a generous real-time bound.
    static bool RunLoop(const std::function<bool()>& done, int boundMs = 20000) {
        return testsupport::RunEventLoopUntil(done, boundMs);
    }

    // Lets the disc watch run until the virtual clock has moved on by ms.
    void RunFor(uint32_t ms) {
        const uint32_t until = machine.Clock().TickCount() + ms;
        ASSERT_TRUE(RunLoop([&] { return static_cast<int32_t>(machine.Clock().TickCount() - until) >= 0; }));
    }

    std::string SettingsPath() const { return dir + "/Corvan CE/Corvan CE.INI"; }

    // The program's working directory; it goes last, after every window.
    testsupport::ScratchWorkingDirectory scratch_{"corvan-test"};
    std::string dir = scratch_.Path().string();
    sim::SimMachine machine;
    vcl::RecordingDialogs dialogs;
    std::map<std::string, std::function<void(vcl::TForm&)>> onModal;
    bool closeAtEnd = true;  // the test window is closed with CLOSE after whileUp
    uint32_t startTick = 0;
};

}  // namespace corvantest
