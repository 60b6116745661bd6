// The settings file across program runs: what closing writes, what the
// screen-item dialog saves, what the next run reads back, and what happens
// to a file the program cannot read in full.
#include "CorvanTestSupport.h"

#include <QCheckBox>

#include "diagnostic/Settings.h"

namespace {

using namespace corvantest;

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class SettingsRun : public CorvanTest {
protected:
    void TwoDrives() {
        AttachDrive('d');
        sim::DriveConfig other;
        other.Vendor = "OTHER";
        other.Product = "CD-ROM X";
        other.Revision = "2.00";
        AttachDrive('e', std::nullopt, other);
    }
    // A second run of the program on the same machine and directory.
    void RunAgain(std::function<void(TFormTest&)> whileUp) {
        vcl::Application.Reset();
        FormScreenItem = nullptr;
        FormTest = nullptr;
        FormAbout = nullptr;
        FormTestSpec = nullptr;
        dialogs.Clear();
        fs::current_path(dir);
        Run(std::move(whileUp));
    }
};

// Closing writes the file even when nothing was changed; without the dialog
// every mode and flag is 0.
TEST_F(SettingsRun, ClosingWritesTheFileOfTheDriveTable) {
    TwoDrives();
    Run();
    const auto text = ReadFile(SettingsPath());
    ASSERT_TRUE(text);
    const auto lines = SplitLines(*text);
    ASSERT_EQ(lines.size(), 2u + 46u * 2u);
    EXPECT_EQ(lines[0], "[ACTIVE DRIVE]");
    EXPECT_EQ(lines[1], "0");
    EXPECT_EQ(lines[2], "SIMDRIVEDVD-RW SD-1000  1.00   ");
    EXPECT_EQ(lines[3], "0");
    EXPECT_EQ(lines[4], "0, 0");
}

// The screen items the user saved survive the next run: it reads them and
// its close writes them back, and it starts on the drive selected last.
TEST_F(SettingsRun, SavedScreenItemsAndTheSelectionSurviveTheNextRun) {
    TwoDrives();
    onModal["TFormScreenItem"] = [](vcl::TForm& form) {
        auto& dialog = static_cast<TFormScreenItem&>(form);
        EXPECT_EQ(dialog.ActiveDrive, 1);
        dialog.DVDRAMCheckBox->setChecked(true);
        dialog.CDReadCheckBox->setChecked(false);
        dialog.SaveBtn->click();
    };
    Run([&](TFormTest& form) {
        form.DriveComboBox->setCurrentIndex(1);
        emit form.DriveComboBox->activated(1);
        form.ScreenTestItem1->trigger();
        // Read back after OK: what the dialog saved, the rest as before.
        EXPECT_EQ(form.DriveTable.Entries[1].Mode, 0);
        EXPECT_EQ(form.DriveTable.Entries[1].TableB[12].Flag0, 1);
        EXPECT_EQ(form.DriveTable.Entries[1].TableB[0].Flag0, 0);
    });
    EXPECT_EQ(Shown(), (Lines{"TFormTest", "TFormScreenItem"}));
    const auto first = ReadFile(SettingsPath());
    ASSERT_TRUE(first);
    const auto lines = SplitLines(*first);
    EXPECT_EQ(lines[1], "1");
    EXPECT_EQ(lines[48 + 2 + 22 + 12], "1, 0");  // DVD-RAM, table B of drive 1
    EXPECT_EQ(lines[48 + 2 + 22 + 0], "0, 0");   // CD-ROM, table B of drive 1
    EXPECT_EQ(lines[2 + 2 + 22 + 12], "0, 0");   // drive 0 untouched

    RunAgain([&](TFormTest& form) {
        EXPECT_EQ(form.DriveTable.Selected, 1);
        EXPECT_EQ(form.CurrentSlot, 1);
        EXPECT_EQ(form.DriveComboBox->currentIndex(), 1);
        EXPECT_EQ(LabelText(form.DrvVendorIDLabel), "OTHER   ");
        EXPECT_EQ(form.DriveTable.Entries[1].TableB[12].Flag0, 1);
    });
    EXPECT_EQ(ReadFile(SettingsPath()), first);
}

// Each activation of the dialog reads the file again: unsaved changes go.
TEST_F(SettingsRun, TheDialogRereadsTheFileWhenActivatedAndCancelKeepsIt) {
    AttachDrive('d');
    onModal["TFormScreenItem"] = [](vcl::TForm& form) {
        auto& dialog = static_cast<TFormScreenItem&>(form);
        const bool before = dialog.DVDRAMCheckBox->isChecked();
        dialog.DVDRAMCheckBox->setChecked(!before);
        dialog.NotifyActivated();  // back from another window
        EXPECT_EQ(dialog.DVDRAMCheckBox->isChecked(), before);
        dialog.DVDRAMCheckBox->setChecked(!before);
        dialog.CancelBtn->click();
    };
    Run([&](TFormTest& form) {
        form.ScreenTestItem1Click();
        EXPECT_EQ(form.DriveTable.Entries[0].Mode, 0);  // cancelled: nothing read back
    });
    const auto lines = SplitLines(*ReadFile(SettingsPath()));
    EXPECT_EQ(lines[2 + 1 + 22 + 12], "0, 0");
}

// A file the program cannot read in full is kept aside once, with one box,
// and the program goes on with what it could read.
TEST_F(SettingsRun, AMalformedFileIsKeptAsideAndSaidOnce) {
    AttachDrive('d');
    fs::create_directory("Corvan CE");
    std::string text = "[ACTIVE DRIVE]\n-7\nSIMDRIVEDVD-RW SD-1000  1.00   \n2\n1, 1\n300, 1\n";
    std::ofstream(SettingsPath()) << text;
    Run([&](TFormTest& form) {
        EXPECT_EQ(form.DriveTable.Selected, 0);
        EXPECT_EQ(form.DriveTable.Entries[0].Mode, 2);
        EXPECT_EQ(form.DriveTable.Entries[0].TableA[0].Flag0, 1);
        EXPECT_EQ(form.DriveTable.Entries[0].TableA[1].Flag0, 0);
        // The dialog reads the file this run writes: well formed, no box.
        form.ScreenTestItem1Click();
    });
    EXPECT_EQ(Shown(), (Lines{"box MESSAGE: The settings file \"Corvan CE.INI\" could not be read in full.\n"
                              "It was kept as \"Corvan CE.INI.bad\"; the settings start afresh.",
                              "TFormTest", "TFormScreenItem"}));
    EXPECT_EQ(ReadFile(SettingsPath() + ".bad"), text);
    EXPECT_TRUE(fs::exists(SettingsPath()));
}

}  // namespace
