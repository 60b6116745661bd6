// The unattended starts' edge cases: exact step logs, where the log goes,
// which drive an unattended open picks, one-chunk files and boot images.
#include <fstream>

#include "PelmoraTestSupport.h"

namespace {

using namespace pelmoratest;
using pelmoratest::ReadLines;

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

using UnattendedTest = PelmoraTest;

TEST_F(UnattendedTest, NoCheckWithTestIsTestAloneAndStillChecks) {
    sim::SimDrive& drive = AttachDrive();
    sim::FirmwareImageLayout other;
    other.Model = "OTHERVENOTHER PRODUCT";
    WriteImage("AUTORUN.BIN", other);
    machine.CommandLine = "Pelmora.exe -NOCHECK -TEST";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(Ended());
    EXPECT_EQ(MainForm->Options & (OptNoCheck | OptTestModes), OptTest);
    EXPECT_EQ(Shown(), Lines{"msg: This Firmware is not compatible\n with the selected drive."});
    EXPECT_EQ(ReadLines(FlashTestLog()), (Lines{"START", "P1", "P2", "P3"}));
    EXPECT_EQ(drive.FirmwareState().Revision, "1.00");
}

TEST_F(UnattendedTest, TestModeStartsItsLogAfresh) {
    sim::SimDrive& drive = AttachDrive();
    WriteImage("AUTORUN.BIN", {});
    WriteText(FlashTestLog(), "OLD\n");
    machine.CommandLine = "Pelmora.exe -TEST";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadLines(FlashTestLog()), kFullLog);
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
}

TEST_F(UnattendedTest, TestModeWithoutTheFlashTestDirectoryLogsNothingAndDownloads) {
    sim::SimDrive& drive = AttachDrive();
    WriteImage("AUTORUN.BIN", {});
    ::setenv(kFlashTestDirVariable, (dir + "/missing").c_str(), 1);
    machine.CommandLine = "Pelmora.exe -TEST";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(Ended());
    EXPECT_FALSE(fs::exists(dir + "/missing"));
    EXPECT_FALSE(ReadLines(WorkLog()));
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
}

TEST_F(UnattendedTest, AWindowsPathIsTakenWholeAndStartsAFreshLog) {
    AttachDrive();
    WriteText(WorkLog(), "OLD\n");
    machine.CommandLine = "Pelmora.exe D:\\fw\\new.bin";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(Ended());
    EXPECT_EQ(MainForm->FileName, "D:\\fw\\new.bin");
    EXPECT_EQ(ReadLines(WorkLog()), (Lines{"START", "P1"}));
    EXPECT_EQ(Shown(), Lines{"msg: File Not Opened!!"});
}

TEST_F(UnattendedTest, AQuotedPathWithABlankIsDownloaded) {
    sim::SimDrive& drive = AttachDrive();
    WriteImage("my fw/NEW.BIN", {});
    machine.CommandLine = "Pelmora.exe \"my fw/NEW.BIN\"";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(Ended());
    EXPECT_EQ(ReadLines(WorkLog()), kFullLog);
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
}

TEST_F(UnattendedTest, TestModeWithNeitherDriveNorFilePressesTheButtonOnce) {
    machine.CommandLine = "Pelmora.exe -TEST";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_FALSE(Ended());
    EXPECT_EQ(ReadLines(FlashTestLog()), (Lines{"START", "E3", "P4"}));
    EXPECT_EQ(Shown(), Lines{});
}

TEST_F(UnattendedTest, AOneChunkFileGoesInTheFirstChunksFormWithoutP7) {
    sim::SimDrive& drive = AttachDrive();
    sim::FirmwareImageLayout one;
    one.ChunkCount = 1;
    WriteImage("AUTORUN.BIN", one);
    machine.CommandLine = "Pelmora.exe -LIVE";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadLines(WorkLog()), (Lines{"START", "P1", "P2", "P3", "P4", "P5", "P6", "COMPLETE"}));
    EXPECT_EQ(ChunkWrites(drive), (std::vector<std::tuple<int, int, uint32_t>>{{0x00, 0x00, 32768}}));
    EXPECT_EQ(drive.FirmwareState().Revision, "1.01");
}

// A boot image writes its bytes 4,096 to 5,119 once, as the boot block, and
// logs "COMPLETE" for that write whatever its status.
struct BootCase {
    const char* Name;
    bool WriteFails;
    Lines Log;
};

class BootImageTest : public PelmoraTest, public ::testing::WithParamInterface<BootCase> {};

TEST_P(BootImageTest, WritesTheBootBlockOnce) {
    const BootCase& boot = GetParam();
    sim::SimDrive& drive = AttachDrive();
    sim::FirmwareImageLayout image;
    image.BootImage = true;
    image.Seed = 7;
    WriteImage("AUTORUN.BIN", image);
    const uint16_t bootBefore = drive.FirmwareState().BootChecksum;
    machine.CommandLine = "Pelmora.exe -TEST";
    Start();
    if (boot.WriteFails) drive.AddFault(NextVendorCommandFails());
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(Ended());
    EXPECT_EQ(ReadLines(FlashTestLog()), boot.Log);
    ASSERT_EQ(ChunkWrites(drive), (std::vector<std::tuple<int, int, uint32_t>>{{0x01, 0xF0, 1024}}));
    if (!boot.WriteFails) {
        const std::vector<uint8_t> bytes = sim::BuildFirmwareImage(image);
        const sim::LoggedCommand write = drive.LogSnapshot().back();
        EXPECT_EQ(write.DataOut, std::vector<uint8_t>(bytes.begin() + 4096, bytes.begin() + 5120));
        EXPECT_NE(drive.FirmwareState().BootChecksum, bootBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writes, BootImageTest,
    ::testing::Values(BootCase{"Taken", false, {"START", "P1", "P2", "P3", "P4", "P5", "COMPLETE", "COMPLETE"}},
                      BootCase{"Refused", true, {"START", "P1", "P2", "P3", "P4", "P5", "COMPLETE", "E7"}}),
    [](const ::testing::TestParamInfo<BootCase>& info) { return std::string(info.param.Name); });

// The unattended open takes the first drive the file fits; with none, the
// last drive's verdict is shown.
TEST_F(UnattendedTest, TheFirstFittingDriveIsChosen) {
    sim::DriveConfig other;
    other.Product = "DVD-RW SD-2000";
    sim::SimDrive& first = AttachDrive('d', other);
    sim::SimDrive& second = AttachDrive('e');
    WriteImage("AUTORUN.BIN", {});
    machine.CommandLine = "Pelmora.exe -LIVE";
    Start();
    EXPECT_EQ(MainForm->DriveIndex, 1);
    EXPECT_EQ(MainForm->LabelTarDrvInfo->text().toStdString(), "SIMDRIVEDVD-RW SD-1000  1.00");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadLines(WorkLog()), kFullLog);
    EXPECT_EQ(first.FirmwareState().Revision, "1.00");
    EXPECT_EQ(second.FirmwareState().Revision, "1.01");
}

TEST_F(UnattendedTest, WithNoFittingDriveTheLastVerdictIsShown) {
    sim::DriveConfig otherModel;
    otherModel.Product = "DVD-RW SD-2000";
    sim::DriveConfig otherCode;
    otherCode.Code = "SDX";
    otherCode.AnswersDriveCodeQuery = false;
    AttachDrive('d', otherModel);
    AttachDrive('e', otherCode);
    WriteImage("AUTORUN.BIN", {});
    machine.CommandLine = "Pelmora.exe -LIVE";
    Start();
    ASSERT_TRUE(Settle());
    EXPECT_TRUE(Ended());
    EXPECT_EQ(MainForm->State, StateCodeMismatch);
    EXPECT_EQ(ReadLines(WorkLog()), (Lines{"START", "P1", "P2", "P3"}));
    EXPECT_EQ(Shown(), Lines{"msg: This Firmware is not compatible with the \nselected drive.Contact your system\n"
                             "manufacturer for information on firmware \nupdates available for this drive."});
}

// A slot whose INQUIRY fails gets no line, and the lines after it still
// reach their own drives.
TEST_F(UnattendedTest, ADriveWhoseInquiryFailsShiftsNoLaterLine) {
    sim::SimDrive& first = AttachDrive('d');
    sim::SimDrive& silent = AttachDrive('e');
    sim::DriveConfig thirdConfig;
    thirdConfig.Product = "DVD-RW SD-3000";
    sim::SimDrive& third = AttachDrive('f', thirdConfig);
    // Its second command is the drive list's INQUIRY (the first one found it).
    silent.AddFault(NthCommandFails(2));
    sim::FirmwareImageLayout forThird;
    forThird.Model = "SIMDRIVEDVD-RW SD-3000";
    WriteImage("AUTORUN.BIN", forThird);
    machine.CommandLine = "Pelmora.exe -LIVE";
    Start();
    ASSERT_EQ(MainForm->ComboBoxDrv->count(), 2);
    EXPECT_EQ(MainForm->ComboBoxDrv->itemText(1).toStdString(), "SIMDRIVEDVD-RW SD-3000  1.00");
    EXPECT_EQ(MainForm->DriveIndex, 2);
    EXPECT_EQ(MainForm->ComboBoxDrv->currentIndex(), 1);
    EXPECT_EQ(MainForm->LabelTarDrvInfo->text().toStdString(), "SIMDRIVEDVD-RW SD-3000  1.00");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(ReadLines(WorkLog()), kFullLog);
    EXPECT_EQ(first.FirmwareState().Revision, "1.00");
    EXPECT_EQ(silent.FirmwareState().Revision, "1.00");
    EXPECT_EQ(third.FirmwareState().Revision, "1.01");
}

}  // namespace
