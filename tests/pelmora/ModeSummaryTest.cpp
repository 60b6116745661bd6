// Every kind of start against the outcomes a download can have: one run of the
// program per row, from its command line and working directory to its end,
// with the step log, the windows shown, the drive's firmware and the restart
// requests asserted.
#include <cstring>
#include <map>

#include "PelmoraTestSupport.h"

namespace {

using namespace pelmoratest;

enum class Mode { Plain, AutoRun, NoCheck, NoCheckAutoRun, Test, Live, BinPath };

enum class Outcome {
    Success,
    DiscInDrive,
    NoDrive,
    NotAdmin,
    ModelMismatch,
    CodeMismatch,
    FcMismatch,
    OldVersion,
    FileMissing,
    SizeRuleFails,
    FlashCmdFails,
    ChunkWriteFails,
};

enum class LogPlace { None, WorkDir, FlashTest };

struct ModeSetup {
    const char* CommandLine;
    const char* File;  // where the firmware file is put (and what the open dialog answers)
    bool Interactive;  // the user opens the file and presses the download button
    LogPlace Log;
    bool NoCheckLabel;
};

ModeSetup SetupOf(Mode mode) {
    switch (mode) {
        case Mode::Plain: return {"Pelmora.exe", "fw/PLAIN.BIN", true, LogPlace::None, false};
        case Mode::AutoRun: return {"Pelmora.exe", "AUTORUN.BIN", false, LogPlace::None, false};
        case Mode::NoCheck: return {"Pelmora.exe -NOCHECK", "fw/PLAIN.BIN", true, LogPlace::None, true};
        case Mode::NoCheckAutoRun: return {"Pelmora.exe -nocheck", "AUTORUN.BIN", false, LogPlace::None, true};
        case Mode::Test: return {"Pelmora.exe -TEST", "AUTORUN.BIN", false, LogPlace::FlashTest, false};
        case Mode::Live: return {"Pelmora.exe -LIVE", "AUTORUN.BIN", false, LogPlace::WorkDir, false};
        case Mode::BinPath: return {"Pelmora.exe fw/NEW.bin", "fw/NEW.bin", false, LogPlace::WorkDir, true};
    }
    return {};
}

struct Row {
    const char* Name;
    Mode StartMode;
    Outcome Result;
    bool Korean;
    Lines Log;  // the mode's step log; none is written where the mode has none
    Lines Shown;
    const char* RevisionAfter;
    size_t Restarts;
    bool Ends;
    bool Ejects = false;
    const char* FirstDriveLine = nullptr;
};

// What the windows say.
const std::string kCaution = "TFormCaution";
const std::string kOkRestart = "msg: Download OK!!\nRestart WINDOWS";
const std::string kFailRestart = "msg: Download Fail!!\nRestart WINDOWS";
const std::string kRemoveDisc = "msg: Remove the Disc in the Drive !!";
const std::string kNotCompatible = "msg: This Firmware is not compatible\n with the selected drive.";
const std::string kNotCompatibleContact =
    "msg: This Firmware is not compatible with the \nselected drive.Contact your system\n"
    "manufacturer for information on firmware \nupdates available for this drive.";
const std::string kNotOpened = "msg: File Not Opened!!";
const std::string kOldVersion = "msg:  Old Version Opened!!";
const std::string kFlashFail = "msg: Flash Cmd Fail!!";
const std::string kLogin = "msg:  Please login as 'Administrator' \n\n to change the firmware in the drive.";
// 16 chunks of 60 KiB and one of 40 whose trailer says 18 chunks.
const std::string kSizeFail = "msg: File Open Fail (No Flash File) !!\n61440b 236Kb 18Cmd";
const std::string kSizeFailBox = "box MESSAGE: 61440b 236Kb 18Cmd";

const Lines kNone;
const Lines kUpToP3 = {"START", "P1", "P2", "P3"};

const Row kRows[] = {
    // Interactive: the user opens the file, then presses the download button.
    {"PlainSuccess", Mode::Plain, Outcome::Success, false, kNone, {kCaution, kOkRestart}, "1.01", 1, true},
    {"PlainSuccessKorean", Mode::Plain, Outcome::Success, true, kNone,
     {kCaution, "msg: 다운로드를 성공했습니다.\n컴퓨터를 재시동합니다."}, "1.01", 1, true},
    {"PlainDisc", Mode::Plain, Outcome::DiscInDrive, false, kNone, {kRemoveDisc}, "1.00", 0, false, true},
    {"PlainDiscKorean", Mode::Plain, Outcome::DiscInDrive, true, kNone,
     {"msg: 드라이브에서 디스크를 꺼내주십시요. "}, "1.00", 0, false, true},
    {"PlainNoDrive", Mode::Plain, Outcome::NoDrive, false, kNone, {}, nullptr, 0, false, false, "Drive not found."},
    {"PlainNotAdmin", Mode::Plain, Outcome::NotAdmin, false, kNone, {kLogin}, "1.00", 0, false, false,
     "User should be an admin."},
    {"PlainNotAdminKorean", Mode::Plain, Outcome::NotAdmin, true, kNone,
     {"msg:  정상적인 펌웨어 업데이트를 위해서는 \n\n 관리자 계정으로 로그인 하셔야 합니다. "}, "1.00", 0, false,
     false, "관리자 권한이 아닙니다."},
    {"PlainModel", Mode::Plain, Outcome::ModelMismatch, false, kNone, {kNotCompatible, kNotCompatible}, "1.00", 0,
     false},
    {"PlainCode", Mode::Plain, Outcome::CodeMismatch, false, kNone, {kNotCompatibleContact, kNotCompatibleContact},
     "1.00", 0, false},
    {"PlainFcCode", Mode::Plain, Outcome::FcMismatch, false, kNone, {kNotCompatibleContact, kNotCompatibleContact},
     "1.00", 0, false},
    {"PlainOld", Mode::Plain, Outcome::OldVersion, false, kNone, {kOldVersion, kCaution, kOkRestart}, "1.03", 1,
     true},
    {"PlainMissing", Mode::Plain, Outcome::FileMissing, false, kNone, {kNotOpened, kNotOpened}, "1.00", 0, false},
    {"PlainSizeRule", Mode::Plain, Outcome::SizeRuleFails, false, kNone,
     {kSizeFail, kSizeFailBox, kNotOpened, kNotOpened}, "1.00", 0, false},
    {"PlainFlashCmd", Mode::Plain, Outcome::FlashCmdFails, false, kNone, {kCaution, kFlashFail}, "1.00", 0, false},
    {"PlainChunkWrite", Mode::Plain, Outcome::ChunkWriteFails, false, kNone, {kCaution, kFailRestart}, "1.00", 1,
     true},

    // "AUTORUN.BIN" in the working directory.
    {"AutoRunSuccess", Mode::AutoRun, Outcome::Success, false, kNone, {kCaution, kOkRestart}, "1.01", 1, true},
    {"AutoRunModel", Mode::AutoRun, Outcome::ModelMismatch, false, kNone, {kNotCompatible}, "1.00", 0, true},
    {"AutoRunOld", Mode::AutoRun, Outcome::OldVersion, false, kNone, {kOldVersion, kCaution, kOkRestart}, "1.03",
     1, true},
    {"AutoRunSizeRule", Mode::AutoRun, Outcome::SizeRuleFails, false, kNone, {kSizeFail, kSizeFailBox}, "1.00", 0,
     false},
    {"AutoRunNoDrive", Mode::AutoRun, Outcome::NoDrive, false, kNone, {}, nullptr, 0, true},
    {"AutoRunDisc", Mode::AutoRun, Outcome::DiscInDrive, false, kNone, {kRemoveDisc}, "1.00", 0, false, true},
    {"AutoRunChunkWrite", Mode::AutoRun, Outcome::ChunkWriteFails, false, kNone, {kCaution, kFailRestart}, "1.00",
     1, true},

    // "-NOCHECK": every verdict is "fits"; the drive still refuses another
    // model's image itself.
    {"NoCheckOld", Mode::NoCheck, Outcome::OldVersion, false, kNone, {kCaution, kOkRestart}, "1.03", 1, true},
    {"NoCheckCode", Mode::NoCheck, Outcome::CodeMismatch, false, kNone, {kCaution, kOkRestart}, "1.01", 1, true},
    {"NoCheckAutoRunModel", Mode::NoCheckAutoRun, Outcome::ModelMismatch, false, kNone, {kCaution, kFailRestart},
     "1.00", 1, true},

    // "-TEST": logs to the flash-test directory, silent, closes.
    {"TestSuccess", Mode::Test, Outcome::Success, false, kFullLog, {}, "1.01", 0, true},
    {"TestDisc", Mode::Test, Outcome::DiscInDrive, false, {"START", "P1", "P2", "P3", "P4", "E4"}, {}, "1.00", 0,
     true},
    {"TestNoDrive", Mode::Test, Outcome::NoDrive, false, {"START", "E3"}, {}, nullptr, 0, true},
    {"TestNotAdmin", Mode::Test, Outcome::NotAdmin, false, {"START", "E3"}, {kLogin}, "1.00", 0, true},
    {"TestModel", Mode::Test, Outcome::ModelMismatch, false, kUpToP3, {kNotCompatible}, "1.00", 0, true},
    {"TestFcCode", Mode::Test, Outcome::FcMismatch, false, kUpToP3, {kNotCompatibleContact}, "1.00", 0, true},
    {"TestOld", Mode::Test, Outcome::OldVersion, false, kFullLog, {}, "1.03", 0, true},
    {"TestMissing", Mode::Test, Outcome::FileMissing, false, {"START", "P1"}, {}, "1.00", 0, true},
    {"TestSizeRule", Mode::Test, Outcome::SizeRuleFails, false, {"START", "P1", "P2", "P4"},
     {kSizeFail, kSizeFailBox}, "1.00", 0, false},
    {"TestFlashCmd", Mode::Test, Outcome::FlashCmdFails, false, {"START", "P1", "P2", "P3", "P4", "P5", "E6"}, {},
     "1.00", 0, true},
    {"TestChunkWrite", Mode::Test, Outcome::ChunkWriteFails, false,
     {"START", "P1", "P2", "P3", "P4", "P5", "P6", "E7"}, {}, "1.00", 0, true},

    // "-LIVE": logs to the working directory, silent, closes.
    {"LiveSuccessKorean", Mode::Live, Outcome::Success, true, kFullLog, {}, "1.01", 0, true},
    {"LiveCode", Mode::Live, Outcome::CodeMismatch, false, kUpToP3, {kNotCompatibleContact}, "1.00", 0, true},
    {"LiveDisc", Mode::Live, Outcome::DiscInDrive, false, {"START", "P1", "P2", "P3", "P4", "E4"}, {}, "1.00", 0,
     true},
    {"LiveMissing", Mode::Live, Outcome::FileMissing, false, {"START", "P1"}, {}, "1.00", 0, true},
    {"LiveFlashCmd", Mode::Live, Outcome::FlashCmdFails, false, {"START", "P1", "P2", "P3", "P4", "P5", "E6"}, {},
     "1.00", 0, true},
    {"LiveChunkWrite", Mode::Live, Outcome::ChunkWriteFails, false,
     {"START", "P1", "P2", "P3", "P4", "P5", "P6", "E7"}, {}, "1.00", 0, true},

    // A ".BIN" path: logs to the working directory, shows the state
    // messages, closes after the download; 14 shows and stays.
    {"BinSuccess", Mode::BinPath, Outcome::Success, false, kFullLog, {}, "1.01", 0, true},
    // The path also means "-NOCHECK": the drive alone refuses another
    // model's image, at its last chunk.
    {"BinModel", Mode::BinPath, Outcome::ModelMismatch, false,
     {"START", "P1", "P2", "P3", "P4", "P5", "P6", "P7", "E7"}, {}, "1.00", 0, true},
    {"BinOld", Mode::BinPath, Outcome::OldVersion, false, kFullLog, {}, "1.03", 0, true},
    {"BinMissing", Mode::BinPath, Outcome::FileMissing, false, {"START", "P1"}, {kNotOpened}, "1.00", 0, true},
    {"BinSizeRule", Mode::BinPath, Outcome::SizeRuleFails, false, {"START", "P1", "P2"},
     {kSizeFail, kSizeFailBox, kNotOpened}, "1.00", 0, true},
    {"BinFlashCmd", Mode::BinPath, Outcome::FlashCmdFails, false, {"START", "P1", "P2", "P3", "P4", "P5", "E6"},
     {kFlashFail}, "1.00", 0, false},
    {"BinChunkWrite", Mode::BinPath, Outcome::ChunkWriteFails, false,
     {"START", "P1", "P2", "P3", "P4", "P5", "P6", "E7"}, {}, "1.00", 0, true},
    {"BinNoDrive", Mode::BinPath, Outcome::NoDrive, false, {"START", "E3"}, {}, nullptr, 0, true},
    {"BinDisc", Mode::BinPath, Outcome::DiscInDrive, false, {"START", "P1", "P2", "P3", "P4"}, {kRemoveDisc}, "1.00",
     0, false, true},
};

// The exit status of every row not listed here is 0: the download
// completed, or the run was interactive and made none.  A failure never
// reads as success: the state that stopped the run, or the failed
// download's result.
const std::map<std::string, int> kExitStatus = {
    {"PlainFlashCmd", 14}, {"PlainChunkWrite", 15},
    {"AutoRunModel", 8}, {"AutoRunSizeRule", 9}, {"AutoRunNoDrive", 6}, {"AutoRunDisc", 4},
    {"AutoRunChunkWrite", 15}, {"NoCheckAutoRunModel", 15},
    {"TestDisc", 4}, {"TestNoDrive", 6}, {"TestNotAdmin", 6}, {"TestModel", 8}, {"TestFcCode", 12},
    {"TestMissing", 9}, {"TestSizeRule", 9}, {"TestFlashCmd", 14}, {"TestChunkWrite", 15},
    {"LiveCode", 7}, {"LiveDisc", 4}, {"LiveMissing", 9}, {"LiveFlashCmd", 14}, {"LiveChunkWrite", 15},
    {"BinModel", 15}, {"BinMissing", 9}, {"BinSizeRule", 9}, {"BinFlashCmd", 14}, {"BinChunkWrite", 15},
    {"BinNoDrive", 6}, {"BinDisc", 4},
};

class ModeSummaryTest : public PelmoraTest, public ::testing::WithParamInterface<Row> {};

TEST_P(ModeSummaryTest, RunsToTheEndTheModeGives) {
    const Row& row = GetParam();
    const ModeSetup mode = SetupOf(row.StartMode);
    machine.LanguageId = row.Korean ? 0x412 : 0x409;
    machine.CommandLine = mode.CommandLine;

    // A drive with firmware 1.00 and a file of four 32 KiB chunks with 1.01,
    // then what the outcome changes.
    sim::DriveConfig config;
    sim::FirmwareImageLayout file;
    std::optional<uint8_t> trailerChunkCount;
    switch (row.Result) {
        case Outcome::DiscInDrive: config.DiscLoaded = true; break;
        case Outcome::NotAdmin: machine.Administrator = false; break;
        case Outcome::ModelMismatch: file.Model = "OTHERVENOTHER PRODUCT"; break;
        case Outcome::CodeMismatch: file.Code = "SDB"; break;
        case Outcome::FcMismatch:
        case Outcome::FlashCmdFails:
            file.FcMarker = true;
            file.FcCode[0] = 0x12;
            file.FcCode[1] = 0x34;
            config.FcCode[0] = 0x12;
            config.FcCode[1] = row.Result == Outcome::FcMismatch ? 0x35 : 0x34;
            config.RefusesFlashCommand = row.Result == Outcome::FlashCmdFails;
            break;
        case Outcome::OldVersion:
            config.Revision = "1.05";
            file.Revision = "1.03";
            break;
        case Outcome::SizeRuleFails:
            file.ChunkKiB = 60;
            file.ChunkCount = 17;
            file.LastChunkKiB = 40;
            trailerChunkCount = 18;
            break;
        default: break;
    }
    sim::SimDrive* drive = row.Result == Outcome::NoDrive ? nullptr : &AttachDrive('d', config);
    if (row.Result != Outcome::FileMissing) WriteImage(mode.File, file, trailerChunkCount);

    Start();
    // The first vendor command after start-up is the first chunk's write.
    if (row.Result == Outcome::ChunkWriteFails)
        drive->AddFault(NextVendorCommandFails());
    if (mode.Interactive && !Ended()) {
        if (row.Result != Outcome::NoDrive && row.Result != Outcome::NotAdmin) {
            dialogs.QueueOpenFile(mode.File);
            MainForm->SpeedButtonSearchClick();
        }
        MainForm->SpeedButtonDownClick();
    }
    ASSERT_TRUE(Settle());

    EXPECT_EQ(Shown(), row.Shown);
    EXPECT_EQ(Ended(), row.Ends);
    EXPECT_EQ(machine.RestartRequests().size(), row.Restarts);
    if (drive != nullptr) {
        EXPECT_EQ(drive->FirmwareState().Revision, row.RevisionAfter);
        EXPECT_EQ(drive->TrayOpen(), row.Ejects);
    }
    const auto workLog = ReadLines(WorkLog());
    const auto flashLog = ReadLines(FlashTestLog());
    EXPECT_EQ(workLog, mode.Log == LogPlace::WorkDir ? std::optional(row.Log) : std::nullopt);
    EXPECT_EQ(flashLog, mode.Log == LogPlace::FlashTest ? std::optional(row.Log) : std::nullopt);
    EXPECT_EQ(!MainForm->LabelNoChk->isHidden(), mode.NoCheckLabel);
    const auto status = kExitStatus.find(row.Name);
    EXPECT_EQ(MainForm->ExitStatus(), status == kExitStatus.end() ? 0 : status->second);
    if (row.FirstDriveLine != nullptr) {
        EXPECT_EQ(MainForm->ComboBoxDrv->count(), 1);
        EXPECT_EQ(MainForm->ComboBoxDrv->itemText(0).toStdString(), row.FirstDriveLine);
        EXPECT_EQ(MainForm->State, StateNoDrive);
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, ModeSummaryTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.Name); });

}  // namespace
