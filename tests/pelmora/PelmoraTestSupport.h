// One run of Pelmora per test: a simulated machine built in code, a fresh
// working directory (and a flash-test directory inside it), the recording
// seam for every window and message box, and the program's message loop run
// until the program ends or has nothing left to do.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <unistd.h>

#include "download/Pelmoraabout.h"
#include "download/Pelmoraengineeroption.h"
#include "download/Pelmoramain.h"
#include "simdrive/FirmwareImage.h"
#include "simdrive/SimMachine.h"
#include "vcl/Dialogs.h"
#include "support/RunUntil.h"
#include "support/ScratchDirectory.h"
#include "support/ShownInOrder.h"
#include "vcl/Forms.h"

namespace pelmoratest {

namespace fs = std::filesystem;

// The lines of a text file; nothing when it does not exist.
inline std::optional<std::vector<std::string>> ReadLines(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

using Lines = std::vector<std::string>;

// The drive fails its n-th command (counting every command it ran).
inline sim::Fault NthCommandFails(uint32_t n) {
    sim::Fault fault;
    fault.NthCommand = n;
    return fault;
}

// The drive refuses its next vendor command (after start-up: the first
// chunk write, unless the file carries an FC marker).
inline sim::Fault NextVendorCommandFails() {
    sim::Fault fault;
    fault.Opcode = 0xFF;
    fault.Once = true;
    fault.SenseData = {0x05, 0x26, 0x00};
    return fault;
}

// The chunk writes the drive received: (byte 5, byte 9, length).
inline std::vector<std::tuple<int, int, uint32_t>> ChunkWrites(const sim::SimDrive& drive) {
    std::vector<std::tuple<int, int, uint32_t>> writes;
    for (const sim::LoggedCommand& command : drive.LogSnapshot())
        if (command.Cdb.size() >= 10 && command.Cdb[0] == 0xFF && command.Cdb[1] == 0x00 && command.Cdb[2] == 0x01)
            writes.emplace_back(command.Cdb[5], command.Cdb[9], command.DataLength);
    return writes;
}

inline const Lines kFullLog = {"START", "P1", "P2", "P3", "P4", "P5", "P6", "P7", "COMPLETE"};

class PelmoraTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir + "/FLASHTEST");
        ::setenv(kFlashTestDirVariable, (dir + "/FLASHTEST").c_str(), 1);
        machine.SetNtFamily();
    }

    void TearDown() override {
        // A download still running reports to a window that is about to go.
        if (MainForm != nullptr && MainForm->Busy) RunLoop([] { return MainForm == nullptr || !MainForm->Busy; });
        vcl::Application.Reset();
        MainForm = nullptr;
        FormAbout = nullptr;
        FormEngOption = nullptr;
        vcl::InstallDialogs(nullptr);
        QCoreApplication::processEvents();
        ::unsetenv(kFlashTestDirVariable);
    }

    sim::SimDrive& AttachDrive(char letter = 'd', const sim::DriveConfig& config = {}) {
        return machine.AttachDriveAtLetter(letter, config);
    }

    // Writes an image, optionally with another chunk count in its trailer.
    void WriteImage(const std::string& path, const sim::FirmwareImageLayout& layout,
                    std::optional<uint8_t> chunkCountInTrailer = std::nullopt) {
        std::vector<uint8_t> image = sim::BuildFirmwareImage(layout);
        ASSERT_FALSE(image.empty());
        if (chunkCountInTrailer) image[image.size() - sim::kTrailerBytes + 29] = *chunkCountInTrailer;
        const fs::path file(path);
        if (file.has_parent_path()) fs::create_directories(file.parent_path());
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        ASSERT_TRUE(out.good());
    }

    // Starts the program as its entry does: the machine, the seam, the title,
    // the three windows.  The main window's creation may already end it.
    void Start() {
        machine.Install();
        vcl::InstallDialogs(&dialogs);
        vcl::InstallMessageBoxService();
        machine.OnRestartAccepted([] { vcl::Application.Terminate(); });
        vcl::Application.Title = "Pelmora";
        vcl::Application.CreateForm(MainForm, skinPicture);
        QObject::connect(MainForm->ProgressBar, &QProgressBar::valueChanged,
                         [this](int value) { progress.push_back(value); });
        vcl::Application.CreateForm(FormAbout, MainForm->Korean != 0);
        vcl::Application.CreateForm(FormEngOption);
    }

    // Runs the message loop until the program has ended, or until it waits
    // for the user: no download running and the unattended timer off.  False
    // when neither came within a generous bound (a failure, never the normal
    // way: the waits of the program run on the virtual clock).
    bool Settle() {
        if (!Ended() && MainForm != nullptr) MainForm->Show();
        return RunLoop([] {
            return vcl::Application.Terminated() ||
                   (MainForm != nullptr && !MainForm->Busy && !MainForm->TimerAutorun->Enabled());
        });
    }

    static bool Ended() { return vcl::Application.Terminated(); }

    // What was shown, in order: "msg: <text>" for the message window, the
    // class name for other modal windows, "box <caption>: <text>" for a
    // message box.
    Lines Shown() const {
        return testsupport::ShownInOrder(dialogs, [](const vcl::ModalRecord& form) {
            return form.ClassName == "TFormMsg" ? "msg: " + form.Text("Label1") : form.ClassName;
        });
    }

    std::string FlashTestLog() const { return dir + "/FLASHTEST/Quilbex.TMP"; }
    static std::string WorkLog() { return "Quilbex.TMP"; }

    // The program's working directory; it goes last, after every window.
    testsupport::ScratchWorkingDirectory scratch_{"pelmora-test"};
    std::string dir = scratch_.Path().string();
    sim::SimMachine machine;
    std::string skinPicture = kSkinPicture;  // what the main window's layout holds
    vcl::RecordingDialogs dialogs;
    std::vector<int> progress;  // the progress bar's values, as they changed

private:
    static bool RunLoop(const std::function<bool()>& done, int boundMs = 20000) {
        return testsupport::RunEventLoopUntil(done, boundMs, true);
    }
};

}  // namespace pelmoratest
