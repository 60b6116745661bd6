// The engineer-option window: what it reads from the main window and the
// drive when shown, the checksums, and the options it hands back only once
// the drive has taken the boot-rewrite setting.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>

#include <cstdio>

#include "PelmoraTestSupport.h"
#include "download/Fwlib.h"

namespace {

using namespace pelmoratest;

std::string Hex(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

class EngineerOptionTest : public PelmoraTest {
protected:
    // Starts the program with one drive, then opens the window as its
    // (hidden) option button would.
    sim::SimDrive& StartAndShow(OptionFlags extraOptions = 0, bool bootRewriteOn = false) {
        sim::SimDrive& drive = AttachDrive();
        Start();
        if (bootRewriteOn) {
            EXPECT_EQ(FwLib.ApplyBootRewriteOption(0, OptBootRewrite), 1);
        }
        MainForm->Options |= extraOptions;
        MainForm->ButtonOptionClick();
        return drive;
    }
};

struct ShowCase {
    const char* Name;
    OptionFlags Options;
    bool BootRewriteOn;
    bool NoCheck;
    int RadioItem;
};

class EngineerOptionShowTest : public EngineerOptionTest, public ::testing::WithParamInterface<ShowCase> {};

TEST_P(EngineerOptionShowTest, TakesTheMainWindowsOptionsAndTheDrivesDownloadMode) {
    const ShowCase& c = GetParam();
    StartAndShow(c.Options, c.BootRewriteOn);
    const TFormEngOption& form = *FormEngOption;
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.Options, MainForm->Options);
    EXPECT_EQ(form.ChkNoCheck->isChecked(), c.NoCheck);
    EXPECT_EQ(form.CheckBoxBootRewrite->isChecked(), c.BootRewriteOn);
    const QRadioButton* items[] = {form.RadioGroupFwDrvOption_0, form.RadioGroupFwDrvOption_1,
                                   form.RadioGroupFwDrvOption_2};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(items[i]->isChecked(), i == c.RadioItem) << "item " << i;
}

INSTANTIATE_TEST_SUITE_P(
    Options, EngineerOptionShowTest,
    ::testing::Values(ShowCase{"NothingSet", 0, false, false, 0},
                      ShowCase{"NoCheckAndBootRewrite", OptNoCheck, true, true, 0},
                      ShowCase{"ForceSuffix", OptForceSuffix, false, false, 1},
                      ShowCase{"ForceNonSuffix", OptForceNonSuffix, false, false, 2},
                      ShowCase{"BothForceBitsTheFirstWins", OptForceSuffix | OptForceNonSuffix, false, false, 1}),
    [](const ::testing::TestParamInfo<ShowCase>& info) { return std::string(info.param.Name); });

TEST_F(EngineerOptionTest, RefreshShowsTheThreeChecksumsOrSaysTheCommandFailed) {
    sim::SimDrive& drive = StartAndShow();
    FormEngOption->BtnRefreshClick();
    const auto& fw = drive.FirmwareState();
    EXPECT_EQ(FormEngOption->EditProgram->text().toStdString(), Hex(fw.ProgramChecksum));
    EXPECT_EQ(FormEngOption->EditBoot->text().toStdString(), Hex(fw.BootChecksum));
    EXPECT_EQ(FormEngOption->EditParam->text().toStdString(), Hex(fw.ParameterChecksum));
    EXPECT_EQ(Shown(), Lines{});

    FormEngOption->EditProgram->setText("kept");
    drive.AddFault(NextVendorCommandFails());
    FormEngOption->BtnRefreshClick();
    EXPECT_EQ(Shown(), Lines{"box Error: Command Error"});
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].Owner, FormEngOption);
    EXPECT_EQ(dialogs.MessageBoxes()[0].Flags, platform::MB_OK);
    EXPECT_EQ(FormEngOption->EditProgram->text().toStdString(), "kept");
}

TEST_F(EngineerOptionTest, ApplyHandsTheOptionsToTheMainWindowAndTheDrive) {
    sim::SimDrive& drive = StartAndShow(OptForceNonSuffix);
    FormEngOption->ChkNoCheck->setChecked(true);
    FormEngOption->CheckBoxBootRewrite->setChecked(true);
    FormEngOption->RadioGroupFwDrvOption_1->setChecked(true);
    FormEngOption->BtnApplyClick();
    EXPECT_EQ(Shown(), Lines{});
    EXPECT_TRUE(drive.FirmwareState().BootRewrite);
    EXPECT_EQ(MainForm->Options & (OptNoCheck | OptBootRewrite | OptForceSuffix | OptForceNonSuffix),
              OptNoCheck | OptBootRewrite | OptForceSuffix);
    EXPECT_FALSE(MainForm->LabelNoChk->isHidden());
    EXPECT_FALSE(MainForm->LabelBootRewrite->isHidden());
    EXPECT_FALSE(MainForm->LabelForceSuffix->isHidden());
    EXPECT_TRUE(MainForm->LabelForceNonSuffix->isHidden());

    // Cleared again: the boot area is left alone and no force bit stays.
    FormEngOption->ChkNoCheck->setChecked(false);
    FormEngOption->CheckBoxBootRewrite->setChecked(false);
    FormEngOption->RadioGroupFwDrvOption_0->setChecked(true);
    FormEngOption->BtnApplyClick();
    EXPECT_FALSE(drive.FirmwareState().BootRewrite);
    EXPECT_EQ(MainForm->Options & (OptNoCheck | OptBootRewrite | OptForceSuffix | OptForceNonSuffix), 0);
    EXPECT_TRUE(MainForm->LabelNoChk->isHidden());
    EXPECT_TRUE(MainForm->LabelForceSuffix->isHidden());
}

TEST_F(EngineerOptionTest, ARefusedDownloadModeKeepsTheMainWindowsOptionsAndLabels) {
    sim::SimDrive& drive = StartAndShow();
    const OptionFlags before = MainForm->Options;
    FormEngOption->ChkNoCheck->setChecked(true);
    FormEngOption->CheckBoxBootRewrite->setChecked(true);
    FormEngOption->RadioGroupFwDrvOption_2->setChecked(true);
    drive.AddFault(NextVendorCommandFails());
    FormEngOption->OKBtnClick();
    EXPECT_EQ(Shown(), Lines{"box Error: Set Download Mode Command Error"});
    EXPECT_EQ(MainForm->Options, before);
    EXPECT_TRUE(MainForm->LabelNoChk->isHidden());
    EXPECT_TRUE(MainForm->LabelBootRewrite->isHidden());
    EXPECT_TRUE(MainForm->LabelForceNonSuffix->isHidden());
    EXPECT_FALSE(drive.FirmwareState().BootRewrite);
    // OK closes the window all the same.
    EXPECT_FALSE(FormEngOption->isVisible());
}

TEST_F(EngineerOptionTest, OkAppliesThenClosesAndCancelOnlyCloses) {
    StartAndShow();
    FormEngOption->ChkNoCheck->setChecked(true);
    FormEngOption->CancelBtnClick();
    EXPECT_FALSE(FormEngOption->isVisible());
    EXPECT_EQ(MainForm->Options & OptNoCheck, 0);

    MainForm->ButtonOptionClick();
    FormEngOption->ChkNoCheck->setChecked(true);
    FormEngOption->OKBtnClick();
    EXPECT_FALSE(FormEngOption->isVisible());
    EXPECT_EQ(MainForm->Options & OptNoCheck, OptNoCheck);
    EXPECT_FALSE(Ended());
}

}  // namespace
