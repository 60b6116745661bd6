// "RAM PWP Control": the question, the final text and the disc's protection
// bits afterwards, for every starting state, answer and refusal.
#include "CorvanTestSupport.h"

namespace {

using namespace corvantest;

constexpr const char* kProtectedQuestion =
    "box MESSAGE: This Media is \"Write Protected Status\"\nDo you want to CLEAR PWP bit?";
constexpr const char* kPermittedQuestion =
    "box MESSAGE: This Media is \"Write Permitted Status\"\nDo you want to SET PWP bit?";
constexpr const char* kFail = "box MESSAGE: ATAPI Command Fail";

struct PwpCase {
    const char* name;
    uint8_t bitsBefore;
    bool yes;
    bool sendRefused;
    Lines shown;
    uint8_t bitsAfter;
    bool optionsOfferWrite;  // "Write Properties" enabled afterwards
};

class PwpTable : public CorvanTest, public ::testing::WithParamInterface<PwpCase> {};

TEST_P(PwpTable, QuestionFinalTextAndBits) {
    const PwpCase& c = GetParam();
    sim::DiscSetup setup;
    setup.Model = sim::DiscModel::DvdRam;
    setup.WriteProtection = c.bitsBefore;
    sim::SimDrive& drive = AttachDrive('d', sim::MakeDisc(setup));
    bool offersWrite = false;
    size_t sendCommands = 0;
    Run([&](TFormTest& form) {
        dialogs.QueueMessageBoxAnswer(c.yes ? platform::IDYES : platform::IDNO);
        if (c.sendRefused) {
            sim::Fault refuse;
            refuse.Opcode = 0xBF;
            refuse.SenseData = {0x05, 0x24, 0x00};
            drive.AddFault(refuse);
        }
        drive.ClearLog();
        form.PWPControl->trigger();
        for (const sim::LoggedCommand& command : drive.LogSnapshot()) sendCommands += command.Cdb[0] == 0xBF ? 1 : 0;
        offersWrite = form.WriteProperties->isEnabled();
    });
    EXPECT_EQ(Shown(), c.shown);
    EXPECT_EQ(drive.LoadedDisc()->WriteProtection, c.bitsAfter);
    EXPECT_EQ(sendCommands, c.yes ? 1u : 0u);
    EXPECT_EQ(offersWrite, c.optionsOfferWrite);
}

constexpr uint8_t kPwp = sim::kProtectPersistent;
constexpr uint8_t kCartridge = sim::kProtectCartridge;

INSTANTIATE_TEST_SUITE_P(
    States, PwpTable,
    ::testing::Values(
        PwpCase{"ProtectedYes", kPwp, true, false,
                {"TFormTest", kProtectedQuestion, "box MESSAGE: Now, This Media is\n\"Write Permitted Status\""}, 0, true},
        PwpCase{"ProtectedNo", kPwp, false, false,
                {"TFormTest", kProtectedQuestion, "box MESSAGE: This Media is \"Write Protected Status\" yet"}, kPwp,
                false},
        PwpCase{"PermittedYes", 0, true, false,
                {"TFormTest", kPermittedQuestion, "box MESSAGE: Now, This Media is\n\"Write Protected Status\""}, kPwp,
                false},
        PwpCase{"PermittedNo", 0, false, false,
                {"TFormTest", kPermittedQuestion, "box MESSAGE: This Media is \"Write Permitted Status\" yet"}, 0, true},
        // The cartridge's tab cannot be changed: still protected after clearing.
        PwpCase{"CartridgeYes", kCartridge | kPwp, true, false,
                {"TFormTest", kProtectedQuestion, "box MESSAGE: Now, This Media is\n\"Write Protected Status\""},
                kCartridge, false},
        PwpCase{"CartridgeNo", kCartridge, false, false,
                {"TFormTest", kProtectedQuestion, "box MESSAGE: This Media is \"Write Protected Status\" yet"},
                kCartridge, false},
        PwpCase{"ProtectedSendRefused", kPwp, true, true, {"TFormTest", kProtectedQuestion, kFail}, kPwp, false},
        PwpCase{"PermittedSendRefused", 0, true, true, {"TFormTest", kPermittedQuestion, kFail}, 0, true},
        PwpCase{"CartridgeSendRefused", kCartridge | kPwp, true, true, {"TFormTest", kProtectedQuestion, kFail},
                kCartridge | kPwp, false}),
    [](const ::testing::TestParamInfo<PwpCase>& info) { return std::string(info.param.name); });

// A refused status read leaves its sense in the command's buffer: the
// buffer has room for it (the sanitizer build sees any overrun).
TEST_F(CorvanTest, ARefusedStatusReadSaysSoAndSendsNothingMore) {
    sim::SimDrive& drive = AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRam));
    Run([&](TFormTest& form) {
        sim::Fault refuse;
        refuse.Opcode = 0xAD;
        refuse.SenseData = {0x05, 0x30, 0x02};
        drive.AddFault(refuse);
        const uint8_t before = form.Disc.WriteProtected;
        form.PWPControlClick();
        EXPECT_EQ(form.Disc.WriteProtected, before);
    });
    EXPECT_EQ(Shown(), (Lines{"TFormTest", kFail}));
}

class NotRamTable : public CorvanTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NotRamTable, OnlyADvdRamIsAskedAbout) {
    sim::SimDrive& drive =
        GetParam() ? AttachDrive('d', sim::MakeDisc(sim::DiscModel::CdRw)) : AttachDrive('d');
    Run([&](TFormTest& form) {
        const uint32_t before = drive.CommandCount();
        form.PWPControlClick();
        EXPECT_EQ(drive.CommandCount(), before);  // no command sent
    });
    EXPECT_EQ(Shown(), (Lines{"TFormTest", "box MESSAGE: Please Insert RAM Disc"}));
}

INSTANTIATE_TEST_SUITE_P(CdRwOrEmpty, NotRamTable, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "CdRw" : "EmptyDrive");
                         });

}  // namespace
