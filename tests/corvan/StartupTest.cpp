// Start-up: the boxes in their order, which windows come up and how the
// program ends, for the machines the program meets.
#include "CorvanTestSupport.h"

namespace {

using namespace corvantest;

const std::string kNoDrive = "box MESSAGE: Drive Not Found!!";
const std::string kNoAspi = "box MESSAGE: ASPI Not Found!!";
const std::string kNoUsable = "box MESSAGE: Availalbe drive NOT found!!";
const std::string kNoDirectory = "box Corvan CE: Cannot create Test Directory.";

struct StartCase {
    const char* name;
    std::function<void(sim::SimMachine&)> build;
    Lines shown;
    bool quit;                  // the program asked to quit before its window came up
    std::vector<std::string> drives;  // the drive list afterwards
    std::string vendor;         // the vendor label afterwards
};

class StartupTable : public CorvanTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartupTable, BoxesWindowsAndEnd) {
    const StartCase& c = GetParam();
    c.build(machine);
    std::vector<std::string> drives;
    std::string vendor;
    bool modalSawQuit = false;
    Run([&](TFormTest& form) {
        for (int i = 0; i < form.DriveComboBox->count(); ++i) drives.push_back(form.DriveComboBox->itemText(i).toStdString());
        vendor = LabelText(form.DrvVendorIDLabel);
        modalSawQuit = vcl::Application.Terminated();
    });
    EXPECT_EQ(Shown(), c.shown);
    EXPECT_EQ(vcl::Application.Terminated(), c.quit);
    EXPECT_EQ(drives, c.drives);
    EXPECT_EQ(vendor, c.vendor);
    EXPECT_FALSE(modalSawQuit);
    // The splash's second passed on the program's clock, before the window.
    EXPECT_GE(Elapsed(), kSplashMs);
    // The screen-item dialog, though the application's main window, never showed.
    for (const vcl::ModalRecord& form : dialogs.ModalForms()) EXPECT_NE(form.ClassName, "TFormScreenItem");
}

const std::string kDriveName = "SIMDRIVEDVD-RW SD-1000  1.00   ";

INSTANTIATE_TEST_SUITE_P(
    Machines, StartupTable,
    ::testing::Values(
        StartCase{"NoDrive", [](sim::SimMachine&) {}, {kNoDrive, kNoUsable}, true, {}, ""},
        StartCase{"NinetyEightWithoutAspi",
                  [](sim::SimMachine& m) {
                      m.Set9xFamily();
                      m.AttachDriveAtAspi(0, 1);
                  },
                  {kNoAspi, kNoUsable}, true, {}, ""},
        StartCase{"OneDrive",
                  [](sim::SimMachine& m) { m.AttachDriveAtLetter('d').LoadDisc(sim::MakeDisc(sim::DiscModel::DvdRom)); },
                  {"TFormTest"}, false, {kDriveName}, "SIMDRIVE"},
        StartCase{"TwoDrivesTheFirstSelected",
                  [](sim::SimMachine& m) {
                      m.AttachDriveAtLetter('d');
                      sim::DriveConfig other;
                      other.Vendor = "OTHER";
                      other.Product = "CD-ROM X";
                      other.Revision = "2.00";
                      m.AttachDriveAtLetter('e', other);
                  },
                  {"TFormTest"}, false, {kDriveName, "OTHER   CD-ROM X        2.00   "}, "SIMDRIVE"},
        StartCase{"InquiryRefused",
                  [](sim::SimMachine& m) {
                      sim::Fault refuse;
                      refuse.NthCommand = 2;  // the first is enumeration's
                      refuse.SenseData = {0x05, 0x24, 0x00};
                      m.AttachDriveAtLetter('d').AddFault(refuse);
                  },
                  {"TFormTest"}, false, {kDriveName}, ""},
        StartCase{"AFileWhereTheTestDirectoryGoes",
                  [](sim::SimMachine& m) {
                      m.AttachDriveAtLetter('d');
                      std::ofstream("Corvan CE") << "in the way";
                  },
                  {kNoDirectory, "TFormTest"}, false, {kDriveName}, ""}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

// Without a test directory the window still opens, its information labels
// as designed, and nothing is written.
TEST_F(CorvanTest, WithoutATestDirectoryTheLabelsKeepTheirDesignTexts) {
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRom));
    std::ofstream("Corvan CE") << "in the way";
    Run([&](TFormTest& form) {
        EXPECT_EQ(LabelText(form.DiscTypeLabel), "DISC NOT READY");
        EXPECT_EQ(LabelText(form.CapacityLabel), "0.0 KByte");
        EXPECT_EQ(form.SettingsPath, "");
    });
    EXPECT_EQ(ReadFile("Corvan CE"), "in the way");
}

TEST_F(CorvanTest, TheTestWindowHasItsShippedLook) {
    AttachDrive('d');
    Run([&](TFormTest& form) {
        EXPECT_EQ(form.windowTitle().toStdString(), "Corvan CE");
        EXPECT_EQ(form.ClientArea->size(), QSize(612, 197));
        EXPECT_FALSE(form.StartBtn->isVisibleTo(&form));
        EXPECT_FALSE(form.StopBtn->isVisibleTo(&form));
        EXPECT_FALSE(form.File1->menuAction()->isVisible());
        EXPECT_GE(form.TestStatusGroup->y(), 197);  // below the client area, yet live
        EXPECT_EQ(form.RandomReadEdit->text().toStdString(), "200");
        EXPECT_EQ(form.SequentialReadEdit->text().toStdString(), "1");
        EXPECT_TRUE(form.OneFunction->isChecked());
        form.TestPanel1->trigger();
        EXPECT_GT(form.ClientArea->height(), form.TestPropertiesGroup->geometry().bottom());
        EXPECT_TRUE(form.StartBtn->isVisibleTo(&form));
        form.TestPanel1->trigger();
        EXPECT_EQ(form.ClientArea->size(), QSize(612, 197));
    });
}

}  // namespace
