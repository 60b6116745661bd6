// The example machine the README starts the program on: it loads, and the
// program shows both drives and the DVD-RAM in the first.
#include "CorvanTestSupport.h"

#include "simdrive/SimMachineFile.h"

namespace {

using namespace corvantest;

TEST_F(CorvanTest, TheShippedExampleMachineShowsItsDrivesAndDisc) {
    std::string error;
    std::unique_ptr<sim::SimMachine> example =
        sim::LoadSimMachine(std::string(ODT_SOURCE_DIR) + "/simdrive/machines/corvan.machine", error);
    ASSERT_TRUE(example) << error;
    EXPECT_FALSE(example->UiAuto);
    EXPECT_TRUE(example->RealClock);
    // Run here on the test's own virtual clock and recording seam.
    for (const char letter : {'d', 'e'}) {
        sim::SimDrive* drive = example->DriveAtLetter(letter);
        ASSERT_NE(drive, nullptr);
        AttachDrive(letter, drive->LoadedDisc(), drive->Config());
    }
    Run([&](TFormTest& form) {
        EXPECT_EQ(form.DriveComboBox->count(), 2);
        EXPECT_EQ(LabelText(form.DrvProductIDLabel), "DVD-RAM SD-2000 ");
        EXPECT_EQ(LabelText(form.DiscTypeLabel), "DVD-RAM");
        EXPECT_EQ(form.Disc.WriteProtected, 1);
    });
}

}  // namespace
