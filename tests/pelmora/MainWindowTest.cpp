// The main window in interactive use: the information keys, the drive list,
// the help and exit buttons, the hover glyphs and the language at start-up.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "PelmoraTestSupport.h"
#include "support/Glyphs.h"

namespace {

using testsupport::Glyph;
using testsupport::MoveOver;
using testsupport::ShownGlyph;

using namespace pelmoratest;

void PressKey(int qtKey) {
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier);
    QApplication::sendEvent(MainForm, &press);
}

// 15 chunks of 60 KiB and one of 40; no FC marker, but FC bytes AB CD.
sim::FirmwareImageLayout SixteenChunks() {
    sim::FirmwareImageLayout file;
    file.ChunkKiB = 60;
    file.ChunkCount = 16;
    file.LastChunkKiB = 40;
    file.FcCode[0] = 0xAB;
    file.FcCode[1] = 0xCD;
    return file;
}

const std::string kF9Box = "box MESSAGE: Download File Info. !!\n(61440b 60Kb 16Cmd)\n";
const std::string kF8BoxNoFile = "box MESSAGE: [ FC CODE ]       \n  - DRV : [1234]\n  - FW  : [0000]";
const std::string kF8Box = "box MESSAGE: [ FC CODE ]       \n  - DRV : [1234]\n  - FW  : [ABCD]";

class InformationKeysTest : public PelmoraTest, public ::testing::WithParamInterface<bool> {};

// Both keys speak English in either language, also while a download runs;
// F9 only once a usable file is open.
TEST_P(InformationKeysTest, F9ShowsTheChunkNumbersAndF8TheFcCodes) {
    sim::DriveConfig config;
    config.FcCode[0] = 0x12;
    config.FcCode[1] = 0x34;
    AttachDrive('d', config);
    WriteImage("fw/SIXTEEN.BIN", SixteenChunks());
    machine.LanguageId = GetParam() ? 0x412 : 0x409;
    Start();
    PressKey(Qt::Key_F9);
    PressKey(Qt::Key_F8);
    EXPECT_EQ(Shown(), Lines{kF8BoxNoFile});

    dialogs.QueueOpenFile("fw/SIXTEEN.BIN");
    MainForm->SpeedButtonSearchClick();
    MainForm->Busy = true;
    PressKey(Qt::Key_F9);
    PressKey(Qt::Key_F8);
    MainForm->Busy = false;
    EXPECT_EQ(Shown(), (Lines{kF8BoxNoFile, kF9Box, kF8Box}));
    for (const vcl::MessageBoxRecord& box : dialogs.MessageBoxes()) {
        EXPECT_EQ(box.Owner, MainForm);
        EXPECT_NE(box.Flags & platform::MB_SYSTEMMODAL, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, InformationKeysTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Korean" : "English");
                         });

using MainWindowTest = PelmoraTest;

TEST_F(MainWindowTest, ChoosingAnotherDriveForgetsTheFileAndTheSameDriveChangesNothing) {
    AttachDrive('d');
    sim::DriveConfig second;
    second.Product = "DVD-RW SD-2000";
    second.Revision = "2.00";
    second.Code = "SDB";
    AttachDrive('e', second);
    WriteImage("fw/SIXTEEN.BIN", SixteenChunks());
    Start();
    dialogs.QueueOpenFile("fw/SIXTEEN.BIN");
    MainForm->SpeedButtonSearchClick();
    ASSERT_NE(MainForm->FileSize, 0);

    // The same line again: no message, the file stays.
    emit MainForm->ComboBoxDrv->activated(0);
    EXPECT_EQ(Shown(), Lines{});
    EXPECT_NE(MainForm->FileSize, 0);

    MainForm->ComboBoxDrv->setCurrentIndex(1);
    emit MainForm->ComboBoxDrv->activated(1);
    EXPECT_EQ(Shown(), Lines{"msg: Change Drive\nSIMDRIVEDVD-RW SD-2000  2.00"});
    EXPECT_EQ(MainForm->DriveIndex, 1);
    EXPECT_STREQ(MainForm->DriveIdentity.Revision, "2.00");
    EXPECT_STREQ(MainForm->DriveIdentity.Code, "SDB");
    EXPECT_EQ(MainForm->LabelTarDrvInfo->text().toStdString(), "SIMDRIVEDVD-RW SD-2000  2.00");
    EXPECT_EQ(MainForm->StaticTextDnFileInfo->text().toStdString(), "Not Open");
    EXPECT_EQ(MainForm->LabelCurVerInfo->text().toStdString(), " ");
    EXPECT_EQ(MainForm->LabelNewVerInfo->text().toStdString(), " ");
    EXPECT_EQ(MainForm->FileSize, 0);

    // F9 has nothing to tell, and the download button finds no file.
    dialogs.Clear();
    PressKey(Qt::Key_F9);
    MainForm->SpeedButtonDownClick();
    EXPECT_FALSE(MainForm->Busy);
    EXPECT_EQ(Shown(), Lines{"msg: File Not Opened!!"});
}

TEST_F(MainWindowTest, ALineAfterAFailedInquiryReachesItsOwnDrive) {
    AttachDrive('d');
    AttachDrive('e').AddFault(NthCommandFails(2));
    sim::DriveConfig third;
    third.Product = "DVD-RW SD-3000";
    third.Revision = "3.00";
    AttachDrive('f', third);
    Start();
    ASSERT_EQ(MainForm->ComboBoxDrv->count(), 2);
    MainForm->ComboBoxDrv->setCurrentIndex(1);
    emit MainForm->ComboBoxDrv->activated(1);
    EXPECT_EQ(MainForm->DriveIndex, 2);
    EXPECT_STREQ(MainForm->DriveIdentity.Revision, "3.00");
    EXPECT_EQ(Shown(), Lines{"msg: Change Drive\nSIMDRIVEDVD-RW SD-3000  3.00"});
}

TEST_F(MainWindowTest, HelpShowsTheAboutBoxWithoutTheEngineersLineAndExitEnds) {
    AttachDrive();
    Start();
    MainForm->SpeedButtonHelpClick();
    const std::vector<vcl::ModalRecord> shown = dialogs.ModalForms();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].ClassName, "TFormAbout");
    EXPECT_EQ(shown[0].Text("Label1"), "PELMORA");
    EXPECT_EQ(shown[0].Texts.count("LabelForEngineer"), 0u);

    // While a download runs the buttons do nothing.
    MainForm->Busy = true;
    MainForm->SpeedButtonHelpClick();
    MainForm->SpeedButtonSearchClick();
    MainForm->SpeedButtonExitClick();
    EXPECT_EQ(dialogs.ModalForms().size(), 1u);
    EXPECT_TRUE(dialogs.OpenFiles().empty());
    EXPECT_FALSE(Ended());
    MainForm->Busy = false;
    MainForm->SpeedButtonExitClick();
    EXPECT_TRUE(Ended());
}

// The picture restores only the glyph of the button last hovered, and
// nothing changes while a download runs.
TEST_F(MainWindowTest, HoverGlyphsFollowTheLastHoveredButton) {
    AttachDrive();
    Start();
    TMainForm& form = *MainForm;
    MoveOver(form.SpeedButtonHelp);
    MoveOver(form.SpeedButtonExit);
    EXPECT_EQ(form.HoveredButton, 2);
    MoveOver(form.ImageMain);
    EXPECT_EQ(form.HoveredButton, 0);
    EXPECT_EQ(ShownGlyph(form.SpeedButtonHelp), Glyph(form.ImageListHelp, 1));
    EXPECT_EQ(ShownGlyph(form.SpeedButtonExit), Glyph(form.ImageListExit, 0));

    form.Busy = true;
    MoveOver(form.SpeedButtonDown);
    EXPECT_EQ(form.HoveredButton, 0);
    EXPECT_EQ(ShownGlyph(form.SpeedButtonDown), Glyph(form.ImageListDown_en, 0));
    form.Busy = false;
    MoveOver(form.SpeedButtonDown);
    EXPECT_EQ(ShownGlyph(form.SpeedButtonDown), Glyph(form.ImageListDown_en, 1));
}

struct LanguageCase {
    uint16_t LanguageId;
    const char* SelectDrive;
    const char* FileText;
    const char* Status;
    const char* Font;
    int DownWidth;
};

class StartUpLanguageTest : public PelmoraTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(StartUpLanguageTest, TheSystemLanguageChoosesEveryText) {
    const LanguageCase& c = GetParam();
    AttachDrive();
    machine.LanguageId = c.LanguageId;
    Start();
    const TMainForm& form = *MainForm;
    EXPECT_EQ(form.LabelSelDrv->text().toStdString(), c.SelectDrive);
    EXPECT_EQ(form.StaticTextDnFileInfo->text().toStdString(), c.FileText);
    EXPECT_EQ(form.LabelStatusInfo->text().toStdString(), c.Status);
    EXPECT_EQ(form.LabelCaution3->font().families().value(0).toStdString(), c.Font);
    EXPECT_EQ(form.SpeedButtonDown->width(), c.DownWidth);
    const bool korean = form.Korean != 0;
    EXPECT_EQ(ShownGlyph(form.SpeedButtonDown),
              Glyph(korean ? form.ImageListSearchDownKr : form.ImageListDown_en, 0));
    EXPECT_EQ(form.size(), QSize(517, 384));
    EXPECT_EQ(form.ComboBoxDrv->itemText(0).toStdString(), "SIMDRIVEDVD-RW SD-1000  1.00");
    EXPECT_EQ(form.LabelTarDrvInfo->text().toStdString(), "SIMDRIVEDVD-RW SD-1000  1.00");
    EXPECT_TRUE(form.ButtonOption->isHidden());
}

INSTANTIATE_TEST_SUITE_P(
    Languages, StartUpLanguageTest,
    ::testing::Values(LanguageCase{0x412, "드라이브 선택 :", "선택된 파일이 없습니다.", "준비", "굴림", 60},
                      LanguageCase{0x812, "드라이브 선택 :", "선택된 파일이 없습니다.", "준비", "굴림", 60},
                      LanguageCase{0x409, "Select Drive :", "Not Opened", "Ready", "Tahoma", 69}),
    [](const ::testing::TestParamInfo<LanguageCase>& info) {
        return "Language" + std::to_string(info.param.LanguageId);
    });

}  // namespace
