// Starts that must never reach a drive: a user who may not download, and no
// drive at all.  Opening a file and pressing the download button then sends
// nothing, shows no result and asks for no restart.
#include "PelmoraTestSupport.h"

namespace {

using namespace pelmoratest;

struct RefusedCase {
    const char* Name;
    bool Administrator;
    bool WithDrive;
    const char* CommandLine;
    Lines Shown;  // what start-up showed; nothing more may follow
};

const std::string kLogin = "msg:  Please login as 'Administrator' \n\n to change the firmware in the drive.";

const RefusedCase kRefused[] = {
    {"NotAnAdministrator", false, true, "Pelmora.exe", {kLogin}},
    {"NotAnAdministratorNoCheck", false, true, "Pelmora.exe -NOCHECK", {kLogin}},
    {"NoDriveNoCheck", true, false, "Pelmora.exe -NOCHECK", {}},
};

class RefusedDownloadTest : public PelmoraTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedDownloadTest, OpeningAFileAndPressingDownloadSendsNothing) {
    const RefusedCase& c = GetParam();
    sim::SimDrive* drive = c.WithDrive ? &AttachDrive() : nullptr;
    machine.Administrator = c.Administrator;
    machine.CommandLine = c.CommandLine;
    machine.RestartAccepted = false;
    WriteImage("fw/PLAIN.BIN", {});
    Start();
    ASSERT_FALSE(Ended());
    ASSERT_EQ(MainForm->State, StateNoDrive);
    const uint32_t commandsAtStart = drive != nullptr ? drive->CommandCount() : 0;

    dialogs.QueueOpenFile("fw/PLAIN.BIN");
    MainForm->SpeedButtonSearchClick();
    MainForm->SpeedButtonDownClick();
    ASSERT_TRUE(Settle());

    EXPECT_FALSE(Ended());
    EXPECT_EQ(Shown(), c.Shown);
    EXPECT_TRUE(machine.RestartRequests().empty());
    EXPECT_FALSE(MainForm->Busy);
    EXPECT_EQ(MainForm->State, StateNoDrive);
    if (drive != nullptr) {
        // Not even the disc check: it would eject a user's disc.
        EXPECT_EQ(drive->CommandCount(), commandsAtStart);
        EXPECT_EQ(drive->FirmwareState().Revision, "1.00");
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, RefusedDownloadTest, ::testing::ValuesIn(kRefused),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) {
                             return std::string(info.param.Name);
                         });

}  // namespace
