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
#include <mutex>
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
#include "diagnostic/TestEngine.h"
#include "diagnostic/TestReport.h"
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

// A run's report without a window: each call as a line ("status <text>",
// "disc <type>", "ended <verdict>", ...), from any thread; the disc prompts
// are answered from a queue (OK when it is empty).
class RecordingReport : public ITestReport {
public:
    void StepBegan() override { Add("step began"); }
    void StepEnded() override { Add("step ended"); }
    void ShowStatus(const std::string& text, uint32_t) override { Add("status " + text); }
    void ClearStatus() override { Add("clear"); }
    void ShowRange(uint32_t start, uint32_t end) override {
        Add("range " + std::to_string(start) + " ~ " + std::to_string(end));
    }
    void ShowProgressMaximum(uint32_t maximum) override { Add("maximum " + std::to_string(maximum)); }
    void ShowProgress(uint32_t position) override { Add("progress " + std::to_string(position)); }
    void ShowDisc(const drive::DiscRecord& disc) override { Add("disc " + drive::GetDiscCodeName(disc.DiscType)); }
    int AskForDisc(const std::string& prompt) override {
        Add("ask " + prompt);
        std::lock_guard lock(mutex_);
        if (answers_.empty()) return platform::IDOK;
        const int answer = answers_.front();
        answers_.erase(answers_.begin());
        return answer;
    }
    void RunEnded(const std::string& verdict) override { Add("ended " + verdict); }

    void QueueAnswer(int answer) {
        std::lock_guard lock(mutex_);
        answers_.push_back(answer);
    }
    std::vector<std::string> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }

protected:
    virtual void Add(const std::string& call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(call);
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::vector<int> answers_;
};

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
