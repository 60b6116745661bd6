// The disc panel: what an empty drive shows, how the one-second watch
// follows a disc put in, DISC INFO, a drive change, and the bounded wait for
// a disc that never becomes readable.
#include "CorvanTestSupport.h"

#include "drive/TextHelpers.h"

namespace {

using namespace corvantest;

struct DiscLabels {
    std::string type, status, id, capacity;
    bool operator==(const DiscLabels&) const = default;
};

void PrintTo(const DiscLabels& l, std::ostream* os) {
    *os << "{" << l.type << " | " << l.status << " | " << l.id << " | " << l.capacity << "}";
}

DiscLabels Labels(const TFormTest& form) {
    return {LabelText(form.DiscTypeLabel), LabelText(form.DiscStatusLabel), LabelText(form.DiscIDLabel),
            LabelText(form.CapacityLabel)};
}

// The labels the drive layer's names give for the disc.
DiscLabels Expected(const TFormTest& form) {
    return {drive::GetDiscCodeName(form.Disc.DiscType), drive::GetDiscStatusName(form.Disc.Status),
            std::string(form.Disc.IdentityText), drive::FormatDiscSize(form.Disc.Capacity)};
}

TEST_F(CorvanTest, AnEmptyDriveShowsNotReadyAndTheWatchFollowsADiscPutIn) {
    sim::SimDrive& drive = AttachDrive('d');
    sim::DiscSetup setup;
    setup.Model = sim::DiscModel::DvdPlusR;
    setup.Status = sim::DiscState::Blank;
    Run([&](TFormTest& form) {
        EXPECT_EQ(Labels(form), (DiscLabels{"DISC NOT READY", "", "", ""}));
        RunFor(2000);  // the watch refreshes an empty drive every second
        EXPECT_EQ(Labels(form), (DiscLabels{"DISC NOT READY", "", "", ""}));
        EXPECT_EQ(form.DiscWasAbsent, 1);

        drive.LoadDisc(sim::MakeDisc(setup));
        RunFor(1000);  // one tick later every label is right
        EXPECT_EQ(form.DiscWasAbsent, 0);
        EXPECT_EQ(LabelText(form.DiscTypeLabel), "DVD+R");
        EXPECT_EQ(LabelText(form.DiscStatusLabel), drive::GetDiscStatusName(0));
        EXPECT_EQ(Labels(form), Expected(form));
        EXPECT_NE(LabelText(form.CapacityLabel), "");
        EXPECT_NE(LabelText(form.DiscIDLabel), "");

        // Taken out: "DISC NOT READY" again at the next tick.
        drive.TakeDisc();
        RunFor(1000);
        EXPECT_EQ(Labels(form), (DiscLabels{"DISC NOT READY", "", "", ""}));
    });
}

TEST_F(CorvanTest, DiscInfoAndADriveChangeShowTheChosenDrivesDisc) {
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::CdRom));
    sim::DriveConfig other;
    other.Vendor = "OTHER";
    other.Product = "DVD-RAM X";
    AttachDrive('e', sim::MakeDisc(sim::DiscModel::DvdRam), other);
    Run([&](TFormTest& form) {
        EXPECT_EQ(LabelText(form.DiscTypeLabel), "CD-ROM");
        form.DriveComboBox->setCurrentIndex(1);
        emit form.DriveComboBox->activated(1);
        EXPECT_EQ(form.CurrentSlot, 1);
        EXPECT_EQ(LabelText(form.DrvVendorIDLabel), "OTHER   ");
        EXPECT_EQ(LabelText(form.DiscTypeLabel), "DVD-RAM");
        EXPECT_EQ(Labels(form), Expected(form));
        form.DiscInfoBtn->click();
        EXPECT_EQ(Labels(form), Expected(form));
    });
}

// A drive that stays "becoming ready" neither gives its disc's information
// nor reports no disc: the window waits for it a bounded time and then
// shows what it has.
TEST_F(CorvanTest, TheWaitForADiscEndsAfterAMinute) {
    sim::DriveConfig slow;
    slow.BecomingReadyMs = 10 * 60 * 1000;
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRom), slow);
    bool up = false;
    Run([&](TFormTest&) { up = true; });
    EXPECT_TRUE(up);
    EXPECT_GE(Elapsed(), kDiscWaitBoundMs);
    EXPECT_LT(Elapsed(), kDiscWaitBoundMs + kSplashMs + 5 * kDiscWaitPollMs);
}

// A drive that refuses a command of the disc information answers something
// waiting will not change: the window shows what it has at once instead of
// waiting out its minute.
struct RefusedCase {
    const char* name;
    uint8_t opcode;
};

class RefusedAtStart : public CorvanTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedAtStart, EndsTheWaitForTheDiscAtOnce) {
    sim::DriveConfig dvdRom;
    dvdRom.Product = "DVD-ROM SD-16";
    dvdRom.Features = {sim::kFeatureDvdRead};
    sim::SimDrive& drive = AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRom), dvdRom);
    sim::Fault refuse;
    refuse.Opcode = GetParam().opcode;
    refuse.SenseData = sim::kSenseInvalidOpcode;
    drive.AddFault(refuse);
    bool up = false;
    Run([&](TFormTest&) { up = true; });
    EXPECT_TRUE(up);
    EXPECT_LT(Elapsed(), kSplashMs + kDiscWaitPollMs);
}

INSTANTIATE_TEST_SUITE_P(Commands, RefusedAtStart,
                         ::testing::Values(RefusedCase{"ReadFormatCapacities", 0x23},
                                           RefusedCase{"ReadDiscInformation", 0x51}),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

}  // namespace
