// Opening the test log (Ctrl+O, though its menu is hidden), the about box,
// the test procedure sheet and closing during a run.
#include "CorvanTestSupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QTest>

namespace {

using namespace corvantest;

TEST_F(CorvanTest, CtrlOOpensTheLogOrAsksForAFile) {
    AttachDrive('d');
    Run([&](TFormTest& form) {
        form.Show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        // No log yet: the file dialog, started in the test directory;
        // cancelled, nothing is opened.
        dialogs.QueueOpenFileCancel();
        QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
        dialogs.QueueOpenFile(dir + "/Corvan CE/other.LOG");
        QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
        // A run named its log and the log exists: opened at once.
        form.TestLogPath = dir + "/Corvan CE/Corvan_CE.LOG";
        std::ofstream(form.TestLogPath) << "log\n";
        QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier);
        form.hide();
    });
    ASSERT_EQ(dialogs.OpenFiles().size(), 2u);
    EXPECT_EQ(dialogs.OpenFiles()[0].Filter, "");
    EXPECT_EQ(fs::current_path(), fs::path(dir + "/Corvan CE"));
    const auto& calls = machine.ShellCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].Verb, "open");
    EXPECT_EQ(calls[0].File, "Notepad.exe");
    EXPECT_EQ(calls[0].Parameters, dir + "/Corvan CE/other.LOG");
    EXPECT_EQ(calls[0].Show, 3);
    EXPECT_EQ(calls[1].Parameters, dir + "/Corvan CE/Corvan_CE.LOG");
}

// Ctrl+C of the hidden File menu closes the window as CLOSE does, and the
// close writes the settings file.
TEST_F(CorvanTest, CtrlCClosesTheWindowThoughItsMenuIsHidden) {
    AttachDrive('d');
    closeAtEnd = false;
    Run([&](TFormTest& form) {
        form.Show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
    });
    EXPECT_TRUE(fs::exists(SettingsPath()));
    ASSERT_EQ(dialogs.ModalForms().size(), 1u);
    EXPECT_EQ(dialogs.ModalForms()[0].Result, vcl::mrCancel);
}

TEST_F(CorvanTest, AboutAndSpecificationSheetReturnWithNothingChanged) {
    AttachDrive('d');
    std::vector<std::string> versions;
    onModal["TFormAbout"] = [&](vcl::TForm& form) {
        auto& about = static_cast<TFormAbout&>(form);
        versions.push_back(LabelText(about.VersionLabel) + " / " + LabelText(about.DateLabel));
        about.OkBitBtn->click();
    };
    onModal["TFormTestSpec"] = [](vcl::TForm& form) { form.Close(); };
    Run([&](TFormTest& form) {
        form.About1->trigger();
        form.About1->trigger();
        form.TestSpec1->trigger();
        EXPECT_TRUE(form.isEnabled());
    });
    EXPECT_EQ(versions, (std::vector<std::string>(2, "Version : d.01.0 / Date : 2009.11.05")));
    EXPECT_EQ(Shown(), (Lines{"TFormTest", "TFormAbout", "TFormAbout", "TFormTestSpec"}));
    const auto forms = dialogs.ModalForms();
    EXPECT_EQ(forms[1].Result, vcl::mrOk);
    EXPECT_EQ(forms[3].Result, vcl::mrCancel);
}

// The close box during a run stops the run and waits for its end before the
// window goes; the settings are written after the run ended.
TEST_F(CorvanTest, TheCloseBoxDuringARunStopsItFirst) {
    sim::DiscSetup setup;
    setup.Model = sim::DiscModel::DvdRam;
    AttachDrive('d', sim::MakeDisc(setup));
    closeAtEnd = false;
    bool endedBeforeTheClose = true;
    Run([&](TFormTest& form) {
        form.WriteProperties->click();
        form.FullWriteRadioBtn->click();
        form.StartBtnClick();
        ASSERT_TRUE(RunLoop([&] { return form.Engine()->State().CurrentAddress > 0 || !form.RunActive(); }));
        endedBeforeTheClose = !form.RunActive();
        QCloseEvent close;
        QApplication::sendEvent(&form, &close);
        EXPECT_FALSE(form.RunActive());
        EXPECT_EQ(LabelText(form.StatusLabel), "BREAK");
    });
    EXPECT_FALSE(endedBeforeTheClose);
    EXPECT_TRUE(fs::exists(SettingsPath()));
    const auto boxes = dialogs.MessageBoxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().Text, "BREAK!!");
    ASSERT_EQ(dialogs.ModalForms().size(), 1u);
    EXPECT_EQ(dialogs.ModalForms()[0].Result, vcl::mrCancel);
}

}  // namespace
