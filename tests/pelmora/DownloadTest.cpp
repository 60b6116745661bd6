// The road of one download: the progress bar, the interfering programs, and
// every way the download thread's end handler goes.
#include "PelmoraTestSupport.h"

namespace {

using namespace pelmoratest;
using pelmoratest::ReadLines;

// Five points a value from `from` up to 100.
std::vector<int> FillFrom(int from) {
    std::vector<int> values;
    for (int value = from; value <= 100; value += 5) values.push_back(value);
    return values;
}

struct ProgressCase {
    const char* Name;
    uint8_t ChunkKiB;
    uint8_t ChunkCount;
    uint8_t LastChunkKiB;
    std::vector<int> Values;  // the bar's positions, as they changed
    uint32_t FillMs;          // the final fill's waits
};

// 17 chunks: 5 points each up to 85, then 90, 95, 100 in three waits.  More
// than 90 chunks: a step of 0, so the bar stays at 0 until the fill.  Seven:
// steps of 12 to 84, then the fill runs past 100 and the bar stops there.
const ProgressCase kProgress[] = {
    {"SeventeenChunks", 60, 17, 40, FillFrom(5), 300},
    {"HundredChunks", 1, 100, 1, FillFrom(5), 2000},
    {"SevenChunks", 32, 7, 32, {12, 24, 36, 48, 60, 72, 84, 89, 94, 99, 100}, 400},
};

class ProgressTest : public PelmoraTest, public ::testing::WithParamInterface<ProgressCase> {};

TEST_P(ProgressTest, MovesByChunkThenFillsInFives) {
    const ProgressCase& c = GetParam();
    sim::SimDrive& drive = AttachDrive();
    sim::FirmwareImageLayout file;
    file.ChunkKiB = c.ChunkKiB;
    file.ChunkCount = c.ChunkCount;
    file.LastChunkKiB = c.LastChunkKiB;
    WriteImage("AUTORUN.BIN", file);
    machine.CommandLine = "Pelmora.exe -TEST";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadLines(FlashTestLog()), kFullLog);
    EXPECT_EQ(progress, c.Values);
    // The only waits: the 100 ms pauses of the start-up's two drive queries
    // (the selected drive, then the unattended open's), the five 100 ms disc
    // checks of the download button, and the fill.
    EXPECT_EQ(machine.Clock().TotalSleptMs(), 200u + 500u + c.FillMs);
    // In the test modes the status keeps its text of the running download.
    EXPECT_EQ(MainForm->LabelStatusInfo->text().toStdString(), "Wait..");
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
}

INSTANTIATE_TEST_SUITE_P(Chunks, ProgressTest, ::testing::ValuesIn(kProgress),
                         [](const ::testing::TestParamInfo<ProgressCase>& info) {
                             return std::string(info.param.Name);
                         });

using DownloadTest = PelmoraTest;

// Opens the file through the open dialog, then presses the download button.
void OpenAndDownload(vcl::RecordingDialogs& dialogs, const std::string& path) {
    dialogs.QueueOpenFile(path);
    MainForm->SpeedButtonSearchClick();
    MainForm->SpeedButtonDownClick();
}

TEST_F(DownloadTest, InterferingProgramsEndBeforeTheDownloadSevenSecondsEach) {
    sim::SimDrive& drive = AttachDrive();
    machine.Processes = {{100, "explorer.exe"}, {200, "DirectCD.exe"}, {300, "hpadvisor.exe"}};
    WriteImage("fw/PLAIN.BIN", {});
    Start();
    OpenAndDownload(dialogs, "fw/PLAIN.BIN");
    ASSERT_TRUE(Settle());
    ASSERT_EQ(machine.Processes.size(), 3u);
    EXPECT_TRUE(machine.Processes[0].Running);
    EXPECT_FALSE(machine.Processes[1].Running);
    EXPECT_FALSE(machine.Processes[2].Running);
    EXPECT_EQ(machine.Clock().TotalSleptMs(), 100u + 500u + 2 * 7000u + 300u);
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
}

// The thread cannot open the file: state 13 is shown, nothing restarts, and
// the window stays.
TEST_F(DownloadTest, AFileGoneBeforeTheThreadOpensItIsReportedAndTheWindowStays) {
    sim::SimDrive& drive = AttachDrive();
    WriteImage("fw/PLAIN.BIN", {});
    Start();
    dialogs.QueueOpenFile("fw/PLAIN.BIN");
    MainForm->SpeedButtonSearchClick();
    fs::remove("fw/PLAIN.BIN");
    MainForm->SpeedButtonDownClick();
    ASSERT_TRUE(Settle());
    EXPECT_FALSE(Ended());
    EXPECT_EQ(Shown(), (Lines{"TFormCaution", "msg: File Not Opened!!"}));
    EXPECT_TRUE(machine.RestartRequests().empty());
    EXPECT_EQ(MainForm->ThreadResult, StateNoFile);
    EXPECT_FALSE(MainForm->HasCapture());
    EXPECT_EQ(vcl::Screen.Cursor(), vcl::crDefault);
    EXPECT_EQ(drive.FirmwareState().Revision, "1.00");
}

TEST_F(DownloadTest, AFileGoneInATestModeLogsE1AndCloses) {
    sim::SimDrive& drive = AttachDrive();
    WriteImage("AUTORUN.BIN", {});
    machine.CommandLine = "Pelmora.exe -LIVE";
    Start();
    fs::remove("AUTORUN.BIN");
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(Ended());
    EXPECT_EQ(ReadLines(WorkLog()), (Lines{"START", "P1", "P2", "P3", "P4", "P5", "E1"}));
    EXPECT_EQ(Shown(), Lines{});
    EXPECT_EQ(drive.FirmwareState().Revision, "1.00");
}

TEST_F(DownloadTest, ARefusedRestartLeavesTheWindowUsable) {
    sim::SimDrive& drive = AttachDrive();
    machine.RestartAccepted = false;
    WriteImage("fw/PLAIN.BIN", {});
    Start();
    OpenAndDownload(dialogs, "fw/PLAIN.BIN");
    ASSERT_TRUE(Settle());
    EXPECT_FALSE(Ended());
    ASSERT_EQ(machine.RestartRequests().size(), 1u);
    EXPECT_FALSE(machine.RestartRequests()[0].Accepted);
    EXPECT_EQ(Shown(), (Lines{"TFormCaution", "msg: Download OK!!\nRestart WINDOWS"}));
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
    EXPECT_FALSE(MainForm->Busy);
    EXPECT_FALSE(MainForm->HasCapture());
    EXPECT_EQ(vcl::Screen.Cursor(), vcl::crDefault);
    EXPECT_EQ(MainForm->LabelStatusInfo->text().toStdString(), "Download OK");
    EXPECT_EQ(MainForm->ProgressBar->value(), 100);
    EXPECT_EQ(MainForm->StaticTextDnFileInfo->text().toStdString(), "PLAIN.BIN (128 K)");
    EXPECT_EQ(MainForm->LabelCurVerInfo->text().toStdString(), "1.00");
    EXPECT_EQ(MainForm->LabelNewVerInfo->text().toStdString(), "1.01");

    // The buttons answer again.
    MainForm->SpeedButtonHelpClick();
    dialogs.QueueOpenFileCancel();
    MainForm->SpeedButtonSearchClick();
    EXPECT_EQ(Shown().back(), "TFormAbout");
    EXPECT_EQ(dialogs.OpenFiles().size(), 2u);
    MainForm->SpeedButtonExitClick();
    EXPECT_TRUE(Ended());
}

TEST_F(DownloadTest, AFailedChunkStopsTheLoopAndTheStatusSaysSo) {
    sim::SimDrive& drive = AttachDrive();
    machine.RestartAccepted = false;
    WriteImage("fw/PLAIN.BIN", {});
    Start();
    // The second chunk write fails: the five disc checks, the first chunk,
    // then the second.
    drive.AddFault(NthCommandFails(drive.CommandCount() + 5 + 2));
    OpenAndDownload(dialogs, "fw/PLAIN.BIN");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(Shown(), (Lines{"TFormCaution", "msg: Download Fail!!\nRestart WINDOWS"}));
    EXPECT_EQ(machine.RestartRequests().size(), 1u);
    EXPECT_EQ(MainForm->ThreadResult, StateDownloadFail);
    EXPECT_EQ(MainForm->LabelStatusInfo->text().toStdString(), "Download Fail");
    EXPECT_EQ(ChunkWrites(drive).size(), 2u);
    EXPECT_EQ(progress, (std::vector<int>{22, 44}));
    EXPECT_EQ(drive.FirmwareState().Revision, "1.00");
}

}  // namespace

// While a download runs the window refuses every close, as the exit button
// does: the worker writes through the window, and a flash cut mid-chunk
// leaves the drive without firmware.  The drive's waits run on the real
// clock here so that the download is still running when the close comes.
class SlowDownloadTest : public PelmoraTest {
protected:
    // Starts a download by hand on the real clock; its final fill keeps it
    // running for a few hundred milliseconds.
    sim::SimDrive& StartSlowDownload() {
        sim::SimDrive& drive = AttachDrive();
        machine.RealClock = true;
        machine.RestartAccepted = false;
        WriteImage("fw/PLAIN.BIN", {});
        Start();
        OpenAndDownload(dialogs, "fw/PLAIN.BIN");
        return drive;
    }
};

enum class CloseKind { CloseCall, CloseBox };

class CloseDuringDownloadTest : public SlowDownloadTest, public ::testing::WithParamInterface<CloseKind> {};

TEST_P(CloseDuringDownloadTest, IsRefusedAndTheDownloadEnds) {
    sim::SimDrive& drive = StartSlowDownload();
    ASSERT_TRUE(MainForm->Busy);
    if (GetParam() == CloseKind::CloseCall)
        MainForm->Close();
    else
        MainForm->close();  // the close box, Alt+F4 and the window manager all end here
    EXPECT_FALSE(Ended());
    ASSERT_TRUE(Settle());
    EXPECT_FALSE(Ended());
    EXPECT_EQ(Shown(), (Lines{"TFormCaution", "msg: Download OK!!\nRestart WINDOWS"}));
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
    // Once it is over the window closes again.
    MainForm->close();
    EXPECT_TRUE(Ended());
}

INSTANTIATE_TEST_SUITE_P(Ways, CloseDuringDownloadTest,
                         ::testing::Values(CloseKind::CloseCall, CloseKind::CloseBox),
                         [](const ::testing::TestParamInfo<CloseKind>& info) {
                             return std::string(info.param == CloseKind::CloseCall ? "Close" : "CloseBox");
                         });

// A program told to end while its worker runs (a restart accepted from
// elsewhere, say) leaves its message loop only once the worker has ended and
// its end handler has run.
TEST_F(SlowDownloadTest, TheMessageLoopOutlastsARunningDownload) {
    sim::SimDrive& drive = StartSlowDownload();
    ASSERT_TRUE(MainForm->Busy);
    vcl::Application.Terminate();
    vcl::Application.Run();
    EXPECT_FALSE(MainForm->Busy);
    EXPECT_EQ(MainForm->ThreadResult, StateOk);
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
}

// The file changes between its check and the download: a chunk that cannot
// be read whole ends the download as a failed one before it goes out, so no
// stale buffer bytes are ever flashed.
struct ShortReadCase {
    const char* Name;
    bool BootImage;
    int KeepBytes;     // the file is cut to this size; -1: it becomes a directory
    size_t Writes;     // chunk writes that still went out (whole chunks only)
};

const ShortReadCase kShortReads[] = {
    {"SecondChunkShort", false, 32 * 1024 + 10 * 1024, 1},
    {"LastChunkShort", false, 3 * 32 * 1024 + 1, 3},
    {"Empty", false, 0, 0},
    {"ReadError", false, -1, 0},
    {"BootImageShort", true, 8 * 1024, 0},
};

class ShortReadTest : public PelmoraTest, public ::testing::WithParamInterface<ShortReadCase> {};

TEST_P(ShortReadTest, EndsAsAFailedDownload) {
    const ShortReadCase& c = GetParam();
    sim::SimDrive& drive = AttachDrive();
    machine.RestartAccepted = false;
    sim::FirmwareImageLayout layout;
    layout.BootImage = c.BootImage;
    WriteImage("fw/PLAIN.BIN", layout);
    Start();
    dialogs.QueueOpenFile("fw/PLAIN.BIN");
    MainForm->SpeedButtonSearchClick();
    ASSERT_NE(MainForm->FileSize, 0);
    if (c.KeepBytes < 0) {
        fs::remove("fw/PLAIN.BIN");
        fs::create_directory("fw/PLAIN.BIN");
    } else {
        fs::resize_file("fw/PLAIN.BIN", static_cast<std::uintmax_t>(c.KeepBytes));
    }
    drive.ClearLog();
    MainForm->SpeedButtonDownClick();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(MainForm->ThreadResult, StateDownloadFail);
    EXPECT_EQ(Shown(), (Lines{"TFormCaution", "msg: Download Fail!!\nRestart WINDOWS"}));
    EXPECT_EQ(ChunkWrites(drive).size(), c.Writes);
    EXPECT_EQ(drive.FirmwareState().Revision, "1.00");
}

INSTANTIATE_TEST_SUITE_P(Files, ShortReadTest, ::testing::ValuesIn(kShortReads),
                         [](const ::testing::TestParamInfo<ShortReadCase>& info) {
                             return std::string(info.param.Name);
                         });

// A drive that answers "good" for a chunk it took none of has not taken the
// chunk: the download ends as a failed one there.
TEST_F(DownloadTest, AChunkTheDriveTookOnlyInPartIsAFailedWrite) {
    sim::SimDrive& drive = AttachDrive();
    machine.RestartAccepted = false;
    WriteImage("fw/PLAIN.BIN", {});
    Start();
    sim::Fault takesNothing = NthCommandFails(drive.CommandCount() + 5 + 2);
    takesNothing.Status = sim::kStatusGood;
    drive.AddFault(takesNothing);
    OpenAndDownload(dialogs, "fw/PLAIN.BIN");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(MainForm->ThreadResult, StateDownloadFail);
    EXPECT_EQ(Shown(), (Lines{"TFormCaution", "msg: Download Fail!!\nRestart WINDOWS"}));
    EXPECT_EQ(ChunkWrites(drive).size(), 2u);
}
