// The test options follow the loaded disc and the user's clicks; the test
// range's arithmetic; loop counts compared as texts.
#include "CorvanTestSupport.h"

namespace {

using namespace corvantest;

struct Offer {
    bool batch, read, write, partial, full, start;
    bool operator==(const Offer&) const = default;
};

void PrintTo(const Offer& o, std::ostream* os) {
    *os << "{batch " << o.batch << " read " << o.read << " write " << o.write << " partial " << o.partial
        << " full " << o.full << " start " << o.start << "}";
}

// What the user can choose: Batch Mode checked, the enabled options, START.
Offer Offered(const TFormTest& f) {
    return {f.OneFunction->isChecked(), f.ReadProperties->isEnabled(), f.WriteProperties->isEnabled(),
            f.PartialWriteRadioBtn->isEnabled(), f.FullWriteRadioBtn->isEnabled(), f.StartBtn->isEnabled()};
}

struct DiscCase {
    const char* name;
    std::optional<sim::DiscSetup> disc;
    Offer atStart;
    Offer afterWriteProperties;  // after "Write Properties" is clicked (when offered)
};

sim::DiscSetup DiscSetupOf(sim::DiscModel model, std::optional<sim::DiscState> status = std::nullopt, uint8_t protection = 0) {
    sim::DiscSetup setup;
    setup.Model = model;
    setup.Status = status;
    setup.WriteProtection = protection;
    return setup;
}

class OptionsTable : public CorvanTest, public ::testing::WithParamInterface<DiscCase> {};

TEST_P(OptionsTable, OptionsFollowTheDisc) {
    const DiscCase& c = GetParam();
    if (c.disc)
        AttachDrive('d', sim::MakeDisc(*c.disc));
    else
        AttachDrive('d');
    Run([&](TFormTest& form) {
        // Creation's loop counts run the edits' change rule, which may take
        // START back; a refresh sets the options for the disc.
        form.DiscInfoBtnClick();
        EXPECT_EQ(Offered(form), c.atStart);
        if (!form.WriteProperties->isEnabled()) return;
        form.WriteProperties->click();
        EXPECT_EQ(Offered(form), c.afterWriteProperties);
        EXPECT_TRUE(form.PartialWriteRadioBtn->isChecked());
        EXPECT_FALSE(form.ReadProperties->isChecked());
    });
}

constexpr Offer kBatchOnly{true, false, false, false, false, true};
constexpr Offer kReadOffered{true, true, false, false, false, true};
constexpr Offer kWriteOffered{true, false, true, false, false, true};
constexpr Offer kPartialOnly{false, false, true, true, false, true};
constexpr Offer kPartialAndFull{false, false, true, true, true, true};

INSTANTIATE_TEST_SUITE_P(
    Discs, OptionsTable,
    ::testing::Values(
        DiscCase{"EmptyDrive", std::nullopt, kBatchOnly, {}},
        DiscCase{"PressedCd", DiscSetupOf(sim::DiscModel::CdRom), kReadOffered, {}},
        DiscCase{"FinalizedCdR", DiscSetupOf(sim::DiscModel::CdR, sim::DiscState::Finalized), kReadOffered, {}},
        DiscCase{"IncompleteDvdR", DiscSetupOf(sim::DiscModel::DvdR, sim::DiscState::Incomplete), kWriteOffered, kPartialOnly},
        DiscCase{"BlankDvdR", DiscSetupOf(sim::DiscModel::DvdR, sim::DiscState::Blank), kWriteOffered, kPartialAndFull},
        DiscCase{"DvdPlusRw", DiscSetupOf(sim::DiscModel::DvdPlusRw), kWriteOffered, kPartialAndFull},
        // A rewritable disc is offered for writing whatever its status.
        DiscCase{"FinalizedCdRw", DiscSetupOf(sim::DiscModel::CdRw, sim::DiscState::Finalized), kWriteOffered,
                 kPartialAndFull},
        DiscCase{"FinalizedDvdRw", DiscSetupOf(sim::DiscModel::DvdRw, sim::DiscState::Finalized), kWriteOffered,
                 kPartialAndFull},
        DiscCase{"ProtectedDvdRam", DiscSetupOf(sim::DiscModel::DvdRam, std::nullopt, sim::kProtectPersistent), kBatchOnly, {}},
        DiscCase{"PermittedDvdRam", DiscSetupOf(sim::DiscModel::DvdRam), kWriteOffered, kPartialAndFull},
        DiscCase{"BluRay", DiscSetupOf(sim::DiscModel::BdRom), kBatchOnly, {}}),
    [](const ::testing::TestParamInfo<DiscCase>& info) { return std::string(info.param.name); });

// A write-once disc of status 3 and a disc without rules take only what
// their rules turn off: Batch Mode, START and (status 3) the write options
// stay as the disc before left them.
TEST_F(CorvanTest, DiscsWithoutRulesKeepWhatTheDiscBeforeLeft) {
    sim::SimDrive& drive = AttachDrive('d', sim::MakeDisc(DiscSetupOf(sim::DiscModel::DvdR, sim::DiscState::Blank)));
    Run([&](TFormTest& form) {
        form.WriteProperties->click();
        ASSERT_EQ(Offered(form), kPartialAndFull);

        drive.LoadDisc(sim::MakeDisc(DiscSetupOf(sim::DiscModel::DvdR, sim::DiscState::Other)));
        form.DiscInfoBtnClick();
        EXPECT_EQ(Offered(form), kPartialAndFull);
        EXPECT_TRUE(form.WriteProperties->isChecked());
        EXPECT_TRUE(form.PartialWriteRadioBtn->isChecked());

        drive.LoadDisc(sim::MakeDisc(DiscSetupOf(sim::DiscModel::BdRom)));
        form.DiscInfoBtnClick();
        EXPECT_EQ(Offered(form), (Offer{false, false, false, false, false, true}));
        EXPECT_FALSE(form.WriteProperties->isChecked());
        EXPECT_FALSE(form.PartialWriteRadioBtn->isChecked());
    });
}

// Read Properties: START waits for a read test with a valid loop count.
TEST_F(CorvanTest, ReadTestsNeedAValidLoopCount) {
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdRom));
    Run([&](TFormTest& f) {
        f.ReadProperties->click();
        EXPECT_FALSE(f.StartBtn->isEnabled());
        EXPECT_TRUE(f.RandomReadCheckBox->isEnabled());
        EXPECT_FALSE(f.RandomReadEdit->isEnabled());
        f.RandomReadCheckBox->click();
        EXPECT_TRUE(f.RandomReadEdit->isEnabled());
        EXPECT_TRUE(f.StartBtn->isEnabled());  // "200"
        f.RandomReadEdit->setText("05");
        EXPECT_FALSE(f.StartBtn->isEnabled());
        f.RandomReadEdit->setText("9x");
        EXPECT_TRUE(f.StartBtn->isEnabled());
        f.SequentialReadCheckBox->click();
        f.SequentialReadEdit->setText("0");
        EXPECT_FALSE(f.StartBtn->isEnabled());
        f.SequentialReadCheckBox->click();  // unchecked: its text no longer counts
        EXPECT_FALSE(f.SequentialReadEdit->isEnabled());
        f.RandomReadCheckBox->click();
        EXPECT_FALSE(f.StartBtn->isEnabled());
        f.OneFunction->click();
        EXPECT_TRUE(f.StartBtn->isEnabled());
        EXPECT_FALSE(f.ReadProperties->isChecked());
        EXPECT_TRUE(f.ReadProperties->isEnabled());
    });
}

TEST(LoopCount, ComparedAsTextsNotNumbers) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {{"1", true}, {"10", true}, {"2", true}, {"x", true}, {"9x", true},
                 {"", false}, {"0", false}, {"05", false}, {" 5", false}};
    for (const auto& c : cases) EXPECT_EQ(IsValidLoopText(c.text), c.valid) << '"' << c.text << '"';
}

TEST(TestRangeArithmetic, AboutThreePercentInWholeSixteens) {
    const struct {
        const char* what;
        uint8_t kind;
        uint16_t type;
        uint32_t capacity, nwa;
        bool full;
        TestRange range;
    } cases[] = {
        {"partial of 4,000,000", 9, drive::kDiscDvdRw, 4000000, 0, false, {0, 120000}},
        {"partial of 1,000", 9, drive::kDiscDvdRw, 1000, 0, false, {0, 16}},
        {"partial of 500", 9, drive::kDiscDvdRw, 500, 0, false, {0, 0}},
        {"partial from the next writable address", 4, drive::kDiscDvdR, 2298496, 1000, false, {1000, 1000 + 68944}},
        {"DVD+RW starts at 0", 9, drive::kDiscDvdPlusRw, 2295104, 5000, false, {0, 68848}},
        {"full", 4, drive::kDiscDvdR, 2298496, 1000, true, {0, 2298496}},
        {"CD-ROM round always whole", 0, drive::kDiscCdR, 359847, 1000, false, {0, 359847}},
        {"DVD-ROM round always whole", 3, drive::kDiscDvdR, 2298496, 1000, false, {0, 2298496}},
        // A nearly full disc: the range ends where the disc does.
        {"clamped to the disc", 4, drive::kDiscDvdR, 2298496, 2290000, false, {2290000, 2298496}},
        {"no room past the address", 4, drive::kDiscDvdR, 1000, 4294967000u, false, {4294967000u, 4294967000u}},
    };
    for (const auto& c : cases) {
        const TestRange r = ComputeTestRange(c.kind, c.type, c.capacity, c.nwa, c.full);
        EXPECT_EQ(r.Start, c.range.Start) << c.what;
        EXPECT_EQ(r.End, c.range.End) << c.what;
    }
}

// The engine's range reaches the window's label through the queued report.
TEST_F(CorvanTest, TheRangeLabelShowsStartAndEnd) {
    AttachDrive('d', sim::MakeDisc(sim::DiscModel::DvdPlusRw));
    Run([&](TFormTest& f) {
        QueuedTestReport report(f, &f);
        TestEngine engine(RunSetup{f.CurrentSlot, "", f.Disc}, f.Options, report);
        engine.State().RangeKind = 9;
        engine.SetTestRange(false);
        const uint32_t part = ((f.Disc.Capacity / 100) * 3) & ~15u;
        EXPECT_EQ(LabelText(f.RangeLabel), "0 ~ " + std::to_string(part));
        EXPECT_EQ(engine.State().RangeEnd.load(), part);
        engine.SetTestRange(true);
        EXPECT_EQ(LabelText(f.RangeLabel), "0 ~ " + std::to_string(f.Disc.Capacity));
    });
}

}  // namespace
