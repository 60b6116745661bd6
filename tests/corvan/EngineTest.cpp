// Test runs of the engine on the simulated drive: Batch rounds by the drive's
// features, runs outside Batch Mode, the prompts, STOP and failing commands,
// each checked in the test log, the drive's command log and the result box.
// The runs go on the virtual clock: a minute's wait costs no real time.
#include "CorvanTestSupport.h"

#include <thread>

#include "drive/TextHelpers.h"
#include "simdrive/SimDrive.h"
#include "vcl/Thread.h"

namespace {

using namespace corvantest;
using sim::DiscModel;

// The start time: the splash has taken its second.
const std::string kHeader = LogHeader("2006/03/15 10:00:01");

constexpr const char* kRule = "    =======================================================\n";

sim::Disc Disc(DiscModel model, std::optional<uint32_t> capacity = std::nullopt,
                   std::optional<sim::DiscState> status = std::nullopt) {
    sim::DiscSetup setup;
    setup.Model = model;
    setup.Capacity = capacity;
    setup.Status = status;
    return sim::MakeDisc(setup);
}

sim::Fault Refuse(uint8_t opcode, sim::Sense sense) {
    sim::Fault fault;
    fault.Opcode = opcode;
    fault.SenseData = sense;
    return fault;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The commands with this opcode, in order.
std::vector<sim::LoggedCommand> Commands(const sim::SimDrive& drive, uint8_t opcode) {
    std::vector<sim::LoggedCommand> found;
    for (const sim::LoggedCommand& c : drive.LogSnapshot())
        if (!c.Cdb.empty() && c.Cdb[0] == opcode) found.push_back(c);
    return found;
}

// An engine of its own for the window's drive and disc, reporting to a
// recorder; its pieces run on the test's thread.
struct LoneEngine {
    LoneEngine(const TFormTest& form, const std::string& log)
        : engine(RunSetup{form.CurrentSlot, log, form.Disc}, options, report) {}
    RecordingReport report;
    TestOptions options;
    TestEngine engine;
};

enum class Choice { Batch, FullWrite, PartialWrite, SequentialRead, RandomRead, Nothing };

class EngineTest : public CorvanTest {
protected:
    // Chooses the test as a user would.
    static void Choose(TFormTest& form, Choice choice, const char* count = nullptr) {
        switch (choice) {
            case Choice::Batch:
                break;
            case Choice::FullWrite:
            case Choice::PartialWrite:
                form.WriteProperties->click();
                (choice == Choice::FullWrite ? form.FullWriteRadioBtn : form.PartialWriteRadioBtn)->click();
                break;
            case Choice::SequentialRead:
            case Choice::RandomRead: {
                form.ReadProperties->click();
                const bool random = choice == Choice::RandomRead;
                (random ? form.RandomReadCheckBox : form.SequentialReadCheckBox)->click();
                if (count != nullptr) (random ? form.RandomReadEdit : form.SequentialReadEdit)->setText(count);
                break;
            }
            case Choice::Nothing:
                form.ReadProperties->click();
                break;
        }
    }

    // Presses START and runs the UI loop until the run has ended; with
    // stopWhen, presses STOP as soon as it holds.
    void StartAndWait(TFormTest& form, const std::function<bool()>& stopWhen = {}) {
        form.StartBtnClick();
        if (stopWhen) {
            ASSERT_TRUE(RunLoop([&] { return stopWhen() || !form.RunActive(); }, 120000));
            form.StopBtnClick();
        }
        ASSERT_TRUE(RunLoop([&] { return !form.RunActive(); }, 120000));
    }

    // One run outside Batch Mode on the loaded disc.
    void RunOnce(Choice choice, const char* count = nullptr, const std::function<bool()>& stopWhen = {}) {
        Run([&](TFormTest& form) {
            Choose(form, choice, count);
            StartAndWait(form, stopWhen);
            runEnded = !form.RunActive();
            windowBack = form.DriveComboBox->isEnabled() && !form.StopBtn->isEnabled() && form.AutoRun->Enabled();
        });
    }

    // A drive with these features; outside Batch Mode the disc is in it, a
    // Batch run gets each disc when it asks for it.
    sim::SimDrive& DriveWithDiscs(bool batch, const std::vector<uint16_t>& features,
                                  const std::vector<DiscModel>& discs, uint32_t capacity,
                                  std::optional<sim::DiscState> status = std::nullopt) {
        sim::DriveConfig config;
        config.Features = features;
        sim::SimDrive& drive = AttachDrive('d', std::nullopt, config);
        for (DiscModel model : discs) {
            if (batch)
                drive.QueueDisc(Disc(model, capacity, status));
            else
                drive.LoadDisc(Disc(model, capacity, status));
        }
        return drive;
    }

    std::string Log(const std::string& name = "Corvan_CE") const {
        return ReadFile(dir + "/Corvan CE/" + name + ".LOG").value_or("<no log>");
    }
    // The log from the first test-index line on.
    std::string Body() const {
        const std::string log = Log();
        const size_t at = log.find("     TEST INDEX");
        return at == std::string::npos ? std::string() : log.substr(at);
    }
    // The message boxes' texts in order.
    Lines Boxes() const {
        Lines boxes;
        for (const vcl::MessageBoxRecord& box : dialogs.MessageBoxes()) boxes.push_back(box.Text);
        return boxes;
    }
    std::string Verdict() const { return Boxes().empty() ? std::string() : Boxes().back(); }

    bool runEnded = false;
    bool windowBack = false;
};

// ---------------------------------------------------------------------------
// Batch Mode

TEST_F(EngineTest, ABatchRunOnADriveWithEveryFeatureLogsFourRounds) {
    sim::SimDrive& drive = AttachDrive('d');
    drive.SetLogLimits(1 << 16, 1024);
    for (DiscModel model : {DiscModel::CdRom, DiscModel::CdRw, DiscModel::DvdRom, DiscModel::DvdRw})
        drive.QueueDisc(Disc(model));
    Run([&](TFormTest& form) {
        StartAndWait(form);
        EXPECT_TRUE(form.DriveComboBox->isEnabled());
        EXPECT_FALSE(form.StopBtn->isEnabled());
        EXPECT_TRUE(form.AutoRun->Enabled());
    });
    const std::string rule = kRule;
    EXPECT_EQ(Log(), kHeader +
                         "     TEST INDEX(C/T)  >> : 0/0\n\n" + rule +
                         "    [ DISC TYPE        ] : CD-ROM\n"
                         "    [ DISC SIZE        ] : 650.4 MB\n"
                         "    [ DISC ATIP INFO.  ] :   \n" +
                         rule + "\n"
                         "    << RANDOM READ TEST >>\n"
                         "    [ TEST COUNT     ] : 200 TIME(S)\n"
                         "    [ STATUS         ] : PASS!!\n\n"
                         "     TEST INDEX(C/T)  >> : 1/0\n\n" + rule +
                         "    [ DISC TYPE        ] : CD-RW\n"
                         "    [ DISC SIZE        ] : 702.8 MB\n"
                         "    [ DISC ATIP INFO.  ] : 97:10:64 79:59:74 \n" +
                         rule + "\n"
                         "    << FORMAT TEST >>\n"
                         "    [ STATUS         ] : COMPLETE\n\n"
                         "    << PARTIAL WRITE TEST >>\n"
                         "    [ TEST AREA      ] : 0 ~ 10784 \n"
                         "    [ STATUS         ] : PASS!!\n\n"
                         "    << READ & COMPARE TEST >>\n"
                         "    [ TEST AREA      ] : 0 ~ 10784 \n"
                         "    [ STATUS         ] : PASS!!\n\n"
                         "     TEST INDEX(C/T)  >> : 2/0\n\n" + rule +
                         "    [ DISC TYPE        ] : DVD-ROM\n"
                         "    [ DISC SIZE        ] : 4.4 GB\n" +
                         rule + "\n"
                         "    << RANDOM READ TEST >>\n"
                         "    [ TEST COUNT     ] : 200 TIME(S)\n"
                         "    [ STATUS         ] : PASS!!\n\n"
                         "     TEST INDEX(C/T)  >> : 3/0\n\n" + rule +
                         "    [ DISC TYPE        ] : DVD-RW\n"
                         "    [ DISC SIZE        ] : 4.4 GB\n"
                         "    [ DISC MID         ] : MCC 01RW11n1\n" +
                         rule + "\n"
                         "    << FORMAT TEST >>\n"
                         "    [ STATUS         ] : COMPLETE\n\n"
                         "    << PARTIAL WRITE TEST >>\n"
                         "    [ TEST AREA      ] : 0 ~ 68928 \n"
                         "    [ STATUS         ] : PASS!!\n\n"
                         "    << READ & COMPARE TEST >>\n"
                         "    [ TEST AREA      ] : 0 ~ 68928 \n"
                         "    [ STATUS         ] : PASS!!\n\n");
    EXPECT_EQ(Boxes(), (Lines{"Put a CD-ROM or CD-R disc on the tray ", "Put a CD-RW disc on the tray ",
                              "Put a DVD-ROM or DVD-R disc on the tray ", "Put a DVD-RW disc on the tray ", "PASS !!"}));
    // The prompts and the verdict are the window's, shown on its thread.
    for (const vcl::MessageBoxRecord& box : dialogs.MessageBoxes()) {
        EXPECT_EQ(box.Caption, "MESSAGE");
        EXPECT_TRUE(box.OnUiThread) << box.Text;
    }
    // The CD-RW is blanked (minimal, immediate) and the DVD-RW quick formatted.
    const auto blanks = Commands(drive, 0xA1);
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_EQ(blanks[0].Cdb[1], 0x11);
    const auto formats = Commands(drive, 0x04);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].DataOut, (std::vector<uint8_t>{0x00, 0x82, 0x00, 0x08, 0, 0, 0, 0, 0x54, 0x00, 0x00, 0x10}));
    EXPECT_TRUE(drive.TrayOpen());
}

struct RoundsCase {
    const char* name;
    std::vector<uint16_t> features;
    std::vector<DiscModel> discs;
    Lines prompts;
};

class BatchRounds : public EngineTest, public ::testing::WithParamInterface<RoundsCase> {};

TEST_P(BatchRounds, FollowTheDrivesFeatures) {
    const RoundsCase& c = GetParam();
    sim::DriveConfig config;
    config.Features = c.features;
    sim::SimDrive& drive = AttachDrive('d', std::nullopt, config);
    for (DiscModel model : c.discs) drive.QueueDisc(Disc(model, 4096));
    Run([&](TFormTest& form) { StartAndWait(form); });
    Lines expected = c.prompts;
    expected.push_back("PASS !!");
    EXPECT_EQ(Boxes(), expected);
    EXPECT_EQ(Count(Log(), "TEST INDEX"), c.prompts.size());
}

const char* const kCdPrompt = "Put a CD-ROM or CD-R disc on the tray ";
const char* const kCdRwPrompt = "Put a CD-RW disc on the tray ";
const char* const kDvdPrompt = "Put a DVD-ROM or DVD-R disc on the tray ";
const char* const kDvdRwPrompt = "Put a DVD-RW disc on the tray ";

INSTANTIATE_TEST_SUITE_P(
    Features, BatchRounds,
    ::testing::Values(
        RoundsCase{"NoneOfThem", {}, {DiscModel::CdRom}, {kCdPrompt}},
        RoundsCase{"DvdReadOnly", {0x1F}, {DiscModel::CdRom, DiscModel::DvdRom}, {kCdPrompt, kDvdPrompt}},
        RoundsCase{"DvdReadAndDvdWriteWithoutCdWrite", {0x1F, 0x2F}, {DiscModel::CdRom, DiscModel::DvdRom},
                   {kCdPrompt, kDvdPrompt}},
        RoundsCase{"CdWrite", {0x2D}, {DiscModel::CdRom, DiscModel::CdRw, DiscModel::DvdRom},
                   {kCdPrompt, kCdRwPrompt, kDvdPrompt}},
        RoundsCase{"CdWriteAndDvdWrite", {0x2D, 0x2F},
                   {DiscModel::CdRom, DiscModel::CdRw, DiscModel::DvdRom, DiscModel::DvdRw},
                   {kCdPrompt, kCdRwPrompt, kDvdPrompt, kDvdRwPrompt}}),
    [](const ::testing::TestParamInfo<RoundsCase>& info) { return std::string(info.param.name); });

TEST_F(EngineTest, CancelAtTheFirstPromptLogsTheTrayAndBreaks) {
    sim::SimDrive& drive = AttachDrive('d', Disc(DiscModel::DvdRom));
    dialogs.QueueMessageBoxAnswer(platform::IDCANCEL);
    Run([&](TFormTest& form) { StartAndWait(form); });
    EXPECT_EQ(Log(), kHeader +
                         "    <<  TRAY OPEN/CLOSE  TEST >>\n"
                         "    [ TEST TIME    ] : 00:00:00\n"
                         "    [ STATUS       ] : BREAK\n\n");
    EXPECT_EQ(Boxes(), (Lines{kCdPrompt, "BREAK!!"}));
    EXPECT_TRUE(drive.TrayOpen());
}

TEST_F(EngineTest, ADiscThatDoesNotSuitTheRoundFailsTheRun) {
    sim::SimDrive& drive = AttachDrive('d');
    drive.QueueDisc(Disc(DiscModel::DvdRom));
    Run([&](TFormTest& form) { StartAndWait(form); });
    EXPECT_EQ(Log(), kHeader);
    EXPECT_EQ(Boxes(), (Lines{kCdPrompt, "FAIL !!"}));
}

// A failure in an earlier round decides the verdict, even when the later
// rounds pass.
TEST_F(EngineTest, AnEarlierRoundsFailureIsNotReportedAsAPass) {
    sim::DriveConfig config;
    config.Features = {0x1F};
    sim::SimDrive& drive = AttachDrive('d', std::nullopt, config);
    drive.QueueDisc(Disc(DiscModel::CdRom, 4096));
    drive.QueueDisc(Disc(DiscModel::DvdRom, 4096));
    sim::Fault fault = Refuse(0x28, sim::kSenseReadError);
    fault.Once = true;
    drive.AddFault(fault);
    Run([&](TFormTest& form) { StartAndWait(form); });
    EXPECT_EQ(Count(Log(), "[ STATUS         ] : FAIL!!(031100)"), 1u);
    EXPECT_EQ(Count(Log(), "[ STATUS         ] : PASS!!"), 1u);
    EXPECT_EQ(Verdict(), "FAIL !!");
}

// STOP in a round ends the run there: no further disc is asked for.
TEST_F(EngineTest, AStoppedBatchRunSkipsTheRemainingRounds) {
    sim::DriveConfig config;
    config.Features = {0x1F, 0x2D};
    sim::SimDrive& drive = AttachDrive('d', std::nullopt, config);
    drive.QueueDisc(Disc(DiscModel::CdRom, 4096));
    drive.QueueDisc(Disc(DiscModel::CdRw, 40000000));
    drive.QueueDisc(Disc(DiscModel::DvdRom, 4096));
    Run([&](TFormTest& form) {
        // The CD-RW's partial range is 1,200,000 blocks long.
        StartAndWait(form, [&] {
            const TestRunState& run = form.Engine()->State();
            return run.RangeEnd > 100000 && run.CurrentAddress > 0;
        });
    });
    EXPECT_EQ(Boxes(), (Lines{kCdPrompt, kCdRwPrompt, "BREAK!!"}));
    EXPECT_EQ(Count(Log(), "TEST INDEX"), 2u);
    EXPECT_NE(Log().find("    << PARTIAL WRITE TEST >>\n"), std::string::npos);
    EXPECT_EQ(Count(Log(), "[ STATUS         ] : BREAK"), 1u);
}

// ---------------------------------------------------------------------------
// A round's second look at the disc fails

// Each look at the disc (a preparation's lead-in, the write step's look
// before its range) sends READ DISC INFORMATION (51h) twice, so the n-th one
// picks the look that fails: 1-2 are the first round's first look, 3-4 its
// second look.
sim::Fault DiscInfoFailsAt(uint32_t nth) {
    sim::Fault fault = Refuse(0x51, sim::kSenseCannotReadMedium);
    fault.NthMatch = nth;
    return fault;
}

struct SecondLookCase {
    const char* name;
    bool batch;
    std::vector<uint16_t> features;
    std::vector<DiscModel> discs;
    uint32_t failingRead;          // which READ DISC INFORMATION of the run fails
    Lines boxes;
    size_t indexLines;
    size_t randomReads;
};

class SecondLook : public EngineTest, public ::testing::WithParamInterface<SecondLookCase> {};

// The run ends there and gives the window back as every run does: the tray
// open, the verdict shown, the controls enabled, the disc watch on.
TEST_P(SecondLook, EndsTheRunAndGivesTheWindowBack) {
    const SecondLookCase& c = GetParam();
    sim::SimDrive& drive = DriveWithDiscs(c.batch, c.features, c.discs, 4096);
    bool running = true, displayTimer = true, started = false;
    Run([&](TFormTest& form) {
        if (!c.batch) Choose(form, Choice::Nothing);
        drive.AddFault(DiscInfoFailsAt(c.failingRead));
        form.StartBtnClick();
        // A run that never reports its end is stopped, so that the window's
        // close does not wait for it for good.
        running = !RunLoop([&] { return !form.RunActive(); }, 120000);
        if (running) form.StopBtnClick();
        displayTimer = form.DisplayTimer->Enabled();
        windowBack = form.DriveComboBox->isEnabled() && form.CloseBtn->isEnabled() &&
                     form.LogFileNameEdit->isEnabled() && !form.StopBtn->isEnabled() && form.AutoRun->Enabled();
        started = form.StartBtn->isEnabled();
    });
    EXPECT_FALSE(running);
    EXPECT_TRUE(windowBack);
    EXPECT_FALSE(displayTimer);
    EXPECT_TRUE(started);
    EXPECT_TRUE(drive.TrayOpen());
    EXPECT_EQ(Boxes(), c.boxes);
    // The failed look logs no disc section after its test-index line.
    EXPECT_EQ(Count(Log(), "TEST INDEX"), c.indexLines);
    EXPECT_EQ(Count(Log(), "[ DISC TYPE"), c.indexLines - 1);
    EXPECT_EQ(Count(Log(), "<< RANDOM READ TEST >>"), c.randomReads);
    const std::string log = Log();
    const std::string last = "     TEST INDEX(C/T)  >> : " + std::to_string(c.indexLines - 1) + "/0\n\n";
    ASSERT_GE(log.size(), last.size());
    EXPECT_EQ(log.substr(log.size() - last.size()), last);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SecondLook,
    ::testing::Values(SecondLookCase{"OutsideBatchMode", false, {}, {DiscModel::DvdRom}, 3, {"FAIL !!"}, 1, 0},
                      SecondLookCase{"FirstBatchRound", true, {0x1F}, {DiscModel::CdRom, DiscModel::DvdRom}, 3,
                                     {kCdPrompt, "FAIL !!"}, 1, 0},
                      SecondLookCase{"SecondBatchRound", true, {0x1F}, {DiscModel::CdRom, DiscModel::DvdRom}, 7,
                                     {kCdPrompt, kDvdPrompt, "FAIL !!"}, 2, 1}),
    [](const ::testing::TestParamInfo<SecondLookCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Outside Batch Mode

struct WholeDiscCase {
    const char* name;
    DiscModel model;
    std::optional<sim::DiscState> status;
    bool formatted;      // a format step runs before the write
    uint8_t writeOpcode;
    std::vector<uint8_t> closes;  // CLOSE TRACK/SESSION byte 2 of each close sent
};

class WholeDisc : public EngineTest, public ::testing::WithParamInterface<WholeDiscCase> {};

TEST_P(WholeDisc, IsWrittenAndComparedToTheEnd) {
    const WholeDiscCase& c = GetParam();
    // 1000 blocks: 62 chunks of 16 and a last one of 8.
    sim::SimDrive& drive = AttachDrive('d', Disc(c.model, 1000, c.status));
    RunOnce(Choice::FullWrite);
    std::string expected;
    if (c.formatted) expected += "    << FORMAT TEST >>\n    [ STATUS         ] : COMPLETE\n\n";
    expected +=
        "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n    [ STATUS         ] : PASS!!\n\n"
        "    << READ & COMPARE TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n    [ STATUS         ] : PASS!!\n\n";
    const std::string body = Body();
    ASSERT_GE(body.size(), expected.size());
    EXPECT_EQ(body.substr(body.size() - expected.size()), expected);
    EXPECT_EQ(Verdict(), "PASS !!");
    const auto writes = Commands(drive, c.writeOpcode);
    ASSERT_EQ(writes.size(), 63u);
    EXPECT_EQ(writes.back().DataLength, 8u * 2048u);
    if (c.writeOpcode == 0xAA) {
        for (const auto& w : writes) EXPECT_EQ(w.Cdb[10], 0x80);
    }
    std::vector<uint8_t> closes;
    for (const auto& close : Commands(drive, 0x5B)) closes.push_back(close.Cdb[2]);
    EXPECT_EQ(closes, c.closes);
    const auto reads = Commands(drive, 0x28);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads.back().DataLength, 8u * 2048u);
}

INSTANTIATE_TEST_SUITE_P(
    Discs, WholeDisc,
    ::testing::Values(WholeDiscCase{"DvdRw", DiscModel::DvdRw, sim::DiscState::Blank, true, 0x2A, {1, 2}},
                      WholeDiscCase{"DvdPlusRw", DiscModel::DvdPlusRw, std::nullopt, true, 0x2A, {}},
                      WholeDiscCase{"DvdRam", DiscModel::DvdRam, std::nullopt, false, 0xAA, {1, 2}},
                      WholeDiscCase{"DvdRDualLayer", DiscModel::DvdRDl, sim::DiscState::Blank, false, 0x2A, {1}}),
    [](const ::testing::TestParamInfo<WholeDiscCase>& info) { return std::string(info.param.name); });

TEST_F(EngineTest, ADvdPlusRwIsFormattedWithItsWriteParameters) {
    sim::SimDrive& drive = AttachDrive('d', Disc(DiscModel::DvdPlusRw, 1000));
    RunOnce(Choice::PartialWrite);
    const auto selects = Commands(drive, 0x55);
    ASSERT_FALSE(selects.empty());
    const std::vector<uint8_t> page = {0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x32, 0x01, 0xC4,
                                       0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x96};
    ASSERT_GE(selects[0].DataOut.size(), page.size());
    EXPECT_EQ(std::vector<uint8_t>(selects[0].DataOut.begin(), selects[0].DataOut.begin() + 24), page);
    const auto formats = Commands(drive, 0x04);
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(formats[0].DataOut,
              (std::vector<uint8_t>{0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0x00, 0x00, 0x00}));
}

TEST_F(EngineTest, StopDuringAWriteFlushesAndClosesNothing) {
    sim::SimDrive& drive = AttachDrive('d', Disc(DiscModel::DvdRam));
    RunOnce(Choice::FullWrite, nullptr, [] { return FormTest->Engine()->State().CurrentAddress > 0; });
    const std::string body = Body();
    EXPECT_NE(body.find("    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 2236704 \n"
                        "    [ STATUS         ] : BREAK\n\n"),
              std::string::npos)
        << body;
    EXPECT_EQ(body.find("READ & COMPARE"), std::string::npos);
    EXPECT_EQ(Verdict(), "BREAK!!");
    // After the last write: the cache flush, no close, no read.
    const std::vector<sim::LoggedCommand> log = drive.LogSnapshot();
    size_t lastWrite = 0;
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].Cdb[0] == 0xAA) lastWrite = i;
    ASSERT_LT(lastWrite + 1, log.size());
    EXPECT_EQ(log[lastWrite + 1].Cdb[0], 0x35);
    for (size_t i = lastWrite; i < log.size(); ++i) {
        EXPECT_NE(log[i].Cdb[0], 0x5B);
        EXPECT_NE(log[i].Cdb[0], 0x28);
    }
}

TEST_F(EngineTest, ReadTestsOutsideBatchMode) {
    AttachDrive('d', Disc(DiscModel::DvdRom, 40));
    Run([&](TFormTest& form) {
        form.ReadProperties->click();
        form.RandomReadCheckBox->click();
        form.RandomReadEdit->setText("3");
        form.SequentialReadCheckBox->click();
        form.SequentialReadEdit->setText("2");
        StartAndWait(form);
    });
    const std::string sequential =
        "    << SEQUENTIAL READ TEST >>\n    [ TEST AREA      ] : 0 ~ 40 \n    [ TEST COUNT     ] : 2 Time(s)\n"
        "    [ STATUS         ] : PASS!!\n\n";
    EXPECT_EQ(Body(), std::string("     TEST INDEX(C/T)  >> : 0/0\n\n") + kRule +
                          "    [ DISC TYPE        ] : DVD-ROM\n    [ DISC SIZE        ] : 80 KB\n" + kRule + "\n" +
                          "    << RANDOM READ TEST >>\n    [ TEST COUNT     ] : 3 TIME(S)\n"
                          "    [ STATUS         ] : PASS!!\n\n" +
                          sequential + sequential);
    EXPECT_EQ(Verdict(), "PASS !!");
}

TEST_F(EngineTest, NoTestChosenLogsTheDiscAndPasses) {
    AttachDrive('d', Disc(DiscModel::DvdRom, 40));
    RunOnce(Choice::Nothing);
    EXPECT_EQ(Body(), std::string("     TEST INDEX(C/T)  >> : 0/0\n\n") + kRule +
                          "    [ DISC TYPE        ] : DVD-ROM\n    [ DISC SIZE        ] : 80 KB\n" + kRule + "\n");
    EXPECT_EQ(Verdict(), "PASS !!");
}

// A sequential count past what a byte counts still ends after that many
// passes.
TEST_F(EngineTest, ASequentialCountOfThreeHundredEnds) {
    AttachDrive('d', Disc(DiscModel::DvdRom, 16));
    RunOnce(Choice::SequentialRead, "300");
    EXPECT_EQ(Count(Log(), "<< SEQUENTIAL READ TEST >>"), 300u);
    EXPECT_EQ(Verdict(), "PASS !!");
}

// ---------------------------------------------------------------------------
// Failures, each in the log with its address and code

struct FailureCase {
    const char* name;
    DiscModel model;
    std::optional<uint32_t> capacity;
    std::optional<sim::DiscState> status;
    Choice choice;
    std::optional<sim::Fault> fault;
    std::string section;  // expected in the log
    const char* absent;   // not expected in the log ("" for nothing)
};

class Failures : public EngineTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failures, AreLoggedWithAddressAndCode) {
    const FailureCase& c = GetParam();
    sim::SimDrive& drive = AttachDrive('d', Disc(c.model, c.capacity, c.status));
    if (c.fault) drive.AddFault(*c.fault);
    RunOnce(c.choice);
    EXPECT_NE(Body().find(c.section), std::string::npos) << Body();
    if (*c.absent != '\0') {
        EXPECT_EQ(Body().find(c.absent), std::string::npos) << Body();
    }
    EXPECT_EQ(Verdict(), "FAIL !!");
    EXPECT_TRUE(windowBack);
}

sim::Fault RefusedFormat() { return Refuse(0x04, sim::kSenseInvalidFieldInParameters); }
sim::Fault RefusedClose() { return Refuse(0x5B, sim::kSenseSequenceError); }

INSTANTIATE_TEST_SUITE_P(
    Steps, Failures,
    ::testing::Values(
        // No drive answered the mismatch: there is no code to show, nor an
        // address beside it.
        FailureCase{"CompareError", DiscModel::DvdRam, 1000, std::nullopt, Choice::FullWrite, sim::Fault::CorruptBlock(37),
                    "    << READ & COMPARE TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n"
                    "    [ STATUS         ] : COMPARE ERROR\n\n",
                    "(000000)"},
        FailureCase{"ReadError", DiscModel::DvdRom, 1000, std::nullopt, Choice::SequentialRead,
                    sim::Fault::ReadErrorAt(517),
                    "    << SEQUENTIAL READ TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n"
                    "    [ TEST COUNT     ] : 1 Time(s)\n    [ FAIL ADDR.     ] : 512(200h)\n"
                    "    [ STATUS         ] : FAIL!!(031100)\n\n",
                    ""},
        FailureCase{"WriteError", DiscModel::DvdRam, 1000, std::nullopt, Choice::FullWrite,
                    sim::Fault::WriteErrorAt(100),
                    "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n"
                    "    [ FAIL ADDR.     ] : 96(60h)\n    [ STATUS         ] : FAIL!!(030C00)\n\n",
                    "READ & COMPARE"},
        FailureCase{"RefusedFormatUnit", DiscModel::DvdRw, 1000, sim::DiscState::Blank, Choice::FullWrite,
                    RefusedFormat(),
                    "    << FORMAT TEST >>\n    [ STATUS         ] : ERROR(052600)\n\n    << FULL WRITE TEST >>\n",
                    "READ & COMPARE"},
        // A close the drive refuses leaves the disc open: the write fails,
        // and its code is shown once, in the close's own text.
        FailureCase{"RefusedClose", DiscModel::DvdRam, 1000, std::nullopt, Choice::FullWrite, RefusedClose(),
                    "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n"
                    "    [ FAIL ADDR.     ] : 1000(3E8h)\n    [ STATUS         ] : CLOSE SESSION ERROR( 52C00)\n\n",
                    "READ & COMPARE"},
        // Reads the drive answers good while their data never came: nothing
        // was read, so nothing passes.
        FailureCase{"SequentialReadThatMovedNothing", DiscModel::DvdRom, 1000, std::nullopt, Choice::SequentialRead,
                    sim::Fault::ShortTransferOf(0x28, 0),
                    "    << SEQUENTIAL READ TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n"
                    "    [ TEST COUNT     ] : 1 Time(s)\n    [ FAIL ADDR.     ] : 0(0h)\n"
                    "    [ STATUS         ] : FAIL!!(FF00FE)\n\n",
                    "PASS!!"},
        FailureCase{"RandomReadThatMovedNothing", DiscModel::DvdRom, 1000, std::nullopt, Choice::RandomRead,
                    sim::Fault::ShortTransferOf(0x28, 0),
                    // (the address it failed at is drawn at random)
                    "    [ STATUS         ] : FAIL!!(FF00FE)\n\n", "PASS!!"},
        // The range is one chunk: the step buffer still holds the pattern
        // the write left, which a read that moved nothing must not compare.
        FailureCase{"OneChunkCompareThatReadNothing", DiscModel::DvdPlusRw, 1000, std::nullopt, Choice::PartialWrite,
                    sim::Fault::ShortTransferOf(0x28, 0),
                    "    << READ & COMPARE TEST >>\n    [ TEST AREA      ] : 0 ~ 16 \n"
                    "    [ FAIL ADDR.     ] : 0(0h)\n    [ STATUS         ] : FAIL!!(FF00FE)\n\n",
                    ""},
        FailureCase{"WriteThatTookPartOfItsBlocks", DiscModel::DvdRam, 1000, std::nullopt, Choice::FullWrite,
                    sim::Fault::ShortTransferOf(0xAA, 2048),
                    "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 1000 \n"
                    "    [ FAIL ADDR.     ] : 0(0h)\n    [ STATUS         ] : FAIL!!(FF00FE)\n\n",
                    "READ & COMPARE"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// A step that had nothing to read or write sends no command and never
// passes: its section says why.
struct NothingCase {
    const char* name;
    DiscModel model;
    uint32_t capacity;
    Choice choice;
    const char* count;  // the "# of Loop" text, when the choice has one
    std::string section;
};

class NothingToDo : public EngineTest, public ::testing::WithParamInterface<NothingCase> {};

TEST_P(NothingToDo, FailsTheStepWithoutACommand) {
    const NothingCase& c = GetParam();
    sim::SimDrive& drive = AttachDrive('d', Disc(c.model, c.capacity));
    RunOnce(c.choice, c.count);
    EXPECT_NE(Body().find(c.section), std::string::npos) << Body();
    EXPECT_EQ(Body().find("PASS!!"), std::string::npos) << Body();
    EXPECT_EQ(Verdict(), "FAIL !!");
    EXPECT_TRUE(windowBack);
    for (uint8_t opcode : {0x28, 0x2A, 0xAA}) EXPECT_TRUE(Commands(drive, opcode).empty()) << int{opcode};
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NothingToDo,
    ::testing::Values(
        NothingCase{"SequentialReadOfADiscWithoutBlocks", DiscModel::DvdRom, 0, Choice::SequentialRead, nullptr,
                    "    << SEQUENTIAL READ TEST >>\n    [ TEST AREA      ] : 0 ~ 0 \n"
                    "    [ TEST COUNT     ] : 1 Time(s)\n    [ STATUS         ] : EMPTY TEST AREA\n\n"},
        NothingCase{"RandomReadOfADiscWithoutBlocks", DiscModel::DvdRom, 0, Choice::RandomRead, nullptr,
                    "    << RANDOM READ TEST >>\n    [ TEST COUNT     ] : 200 TIME(S)\n"
                    "    [ STATUS         ] : DISC SIZE 0\n\n"},
        // "x" passes as a loop text but counts no read.
        NothingCase{"RandomReadOfNoBlocks", DiscModel::DvdRom, 1000, Choice::RandomRead, "x",
                    "    << RANDOM READ TEST >>\n    [ TEST COUNT     ] : 0 TIME(S)\n"
                    "    [ STATUS         ] : NOTHING READ\n\n"},
        // The partial range of 500 blocks is empty.
        NothingCase{"PartialWriteOfASmallDisc", DiscModel::DvdRam, 500, Choice::PartialWrite, nullptr,
                    "    << PARTIAL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 0 \n"
                    "    [ STATUS         ] : EMPTY TEST AREA\n\n"}),
    [](const ::testing::TestParamInfo<NothingCase>& info) { return std::string(info.param.name); });

// A Batch round reads 200 times whatever the "# of Loop" field holds, and
// its section says so.
TEST_F(EngineTest, ABatchRandomReadLogsTheReadsItMade) {
    sim::DriveConfig config;
    config.Features = {};
    sim::SimDrive& drive = AttachDrive('d', std::nullopt, config);
    drive.QueueDisc(Disc(DiscModel::CdRom, 4096));
    Run([&](TFormTest& form) {
        form.RandomReadEdit->setText("7");
        StartAndWait(form);
    });
    EXPECT_NE(Body().find("    << RANDOM READ TEST >>\n    [ TEST COUNT     ] : 200 TIME(S)\n"), std::string::npos)
        << Body();
    EXPECT_EQ(Commands(drive, 0x28).size(), 200u);
    EXPECT_EQ(Verdict(), "PASS !!");
}

// The write step reads the disc information again before it picks its
// range.  When that read fails the step has no range to write: it fails with
// the read's sense instead of passing over an empty range, and its section
// shows no range of an earlier step.
struct RereadCase {
    const char* name;
    bool batch;
    std::vector<DiscModel> discs;  // one loaded, or each queued for its Batch round
    std::optional<sim::DiscState> status;
    uint32_t failingRead;          // which READ DISC INFORMATION of the run fails
    std::string section;
};

class FailedReread : public EngineTest, public ::testing::WithParamInterface<RereadCase> {};

TEST_P(FailedReread, FailsTheWriteStep) {
    const RereadCase& c = GetParam();
    // A Batch run with CD writing and DVD reading: CD, CD-RW, then DVD.
    sim::SimDrive& drive =
        DriveWithDiscs(c.batch, c.batch ? std::vector<uint16_t>{0x1F, 0x2D} : sim::DriveConfig{}.Features, c.discs,
                       1000, c.status);
    Run([&](TFormTest& form) {
        if (!c.batch) Choose(form, Choice::FullWrite);
        drive.AddFault(DiscInfoFailsAt(c.failingRead));
        StartAndWait(form);
        windowBack = form.DriveComboBox->isEnabled() && !form.StopBtn->isEnabled();
    });
    EXPECT_EQ(Count(Log(), c.section), 1u) << Log();
    EXPECT_EQ(Count(Log(), "READ & COMPARE"), 0u);
    EXPECT_EQ(Verdict(), "FAIL !!");
    EXPECT_TRUE(windowBack);
    EXPECT_TRUE(Commands(drive, 0x2A).empty());
    EXPECT_TRUE(Commands(drive, 0xAA).empty());
    EXPECT_TRUE(Commands(drive, 0x5B).empty());
}

// Outside Batch Mode the step's own look is the third, so the fifth READ DISC
// INFORMATION; in the second Batch round, after the first round's random
// read over the whole CD, the fifth look and the ninth command.
INSTANTIATE_TEST_SUITE_P(
    WriteStep, FailedReread,
    ::testing::Values(
        RereadCase{"DvdRam", false, {DiscModel::DvdRam}, std::nullopt, 5,
                   "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 0 \n"
                   "    [ FAIL ADDR.     ] : 0(0h)\n    [ STATUS         ] : FAIL!!(053002)\n\n"},
        RereadCase{"DvdRwAfterItsFormat", false, {DiscModel::DvdRw}, sim::DiscState::Blank, 5,
                   "    << FORMAT TEST >>\n    [ STATUS         ] : COMPLETE\n\n"
                   "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 0 \n"
                   "    [ FAIL ADDR.     ] : 0(0h)\n    [ STATUS         ] : FAIL!!(053002)\n\n"},
        RereadCase{"BatchAfterTheCdRound", true, {DiscModel::CdRom, DiscModel::CdRw, DiscModel::DvdRom},
                   std::nullopt, 9,
                   "    << FORMAT TEST >>\n    [ STATUS         ] : COMPLETE\n\n"
                   "    << PARTIAL WRITE TEST >>\n    [ TEST AREA      ] : 0 ~ 0 \n"
                   "    [ FAIL ADDR.     ] : 0(0h)\n    [ STATUS         ] : FAIL!!(053002)\n\n"}),
    [](const ::testing::TestParamInfo<RereadCase>& info) { return std::string(info.param.name); });

// A partial write on a disc with less room after its next writable address
// than the partial range's length ends at the disc's end and passes.
TEST_F(EngineTest, APartialWriteNearTheDiscsEndStopsAtItsEnd) {
    // One open track over the disc, written but for its last 100 blocks;
    // the partial range is 112 blocks long.
    sim::Disc disc = Disc(DiscModel::DvdR, 4096, sim::DiscState::Blank);
    disc.Tracks.back().Recorded = 3996;
    disc.Status = sim::DiscState::Incomplete;
    sim::SimDrive& drive = AttachDrive('d', disc);
    RunOnce(Choice::PartialWrite);
    const std::string area = "    [ TEST AREA      ] : 3996 ~ 4096 \n";
    EXPECT_EQ(Count(Body(), area + "    [ STATUS         ] : PASS!!\n\n"), 2u) << Body();
    EXPECT_EQ(Verdict(), "PASS !!");
    for (const auto& write : Commands(drive, 0x2A)) {
        EXPECT_LE(drive::ReadBigEndian32(&write.Cdb[2]) + write.Cdb[8], 4096u);
    }
}

// ---------------------------------------------------------------------------
// Waits

struct BoundCase {
    const char* name;
    DiscModel model;
    sim::DiscTimings timings;
    const char* section;
    uint32_t atLeastMs;
};

class BoundedWaits : public EngineTest, public ::testing::WithParamInterface<BoundCase> {};

// A drive that stays busy for good ends the wait at its bound, with the
// drive's last answer.
TEST_P(BoundedWaits, EndAtTheirBound) {
    const BoundCase& c = GetParam();
    sim::Disc disc = Disc(c.model, 1000, sim::DiscState::Blank);
    disc.Timings = c.timings;
    AttachDrive('d', disc);
    RunOnce(Choice::FullWrite);
    EXPECT_NE(Body().find(c.section), std::string::npos) << Body();
    EXPECT_GE(Elapsed(), c.atLeastMs);
    EXPECT_EQ(Verdict(), "FAIL !!");
}

constexpr uint32_t kForever = 0x7FFFFFFF;

INSTANTIATE_TEST_SUITE_P(
    Busy, BoundedWaits,
    ::testing::Values(BoundCase{"Format", DiscModel::DvdRw, {2000, 30000, 60000, kForever},
                                "    << FORMAT TEST >>\n    [ STATUS         ] : ERROR(020404)\n\n",
                                drive::kFormatWaitBoundMs},
                      BoundCase{"Close", DiscModel::DvdR, {kForever, 30000, 60000, 90000},
                                "    [ STATUS         ] : CLOSE SESSION ERROR( 20407)\n\n",
                                drive::kCloseWaitBoundMs}),
    [](const ::testing::TestParamInfo<BoundCase>& info) { return std::string(info.param.name); });

// STOP ends the readiness waits after a format and after a close at once,
// however long the drive would stay busy.
TEST_F(EngineTest, StopEndsTheReadinessWaits) {
    sim::Disc rewritable = Disc(DiscModel::DvdRw, 1000, sim::DiscState::Blank);
    rewritable.Timings = {kForever, kForever, kForever, kForever};
    sim::Disc recordable = Disc(DiscModel::DvdR, 1000, sim::DiscState::Blank);
    recordable.Timings = rewritable.Timings;
    recordable.Tracks.back().Recorded = 16;  // its open first track holds a chunk
    sim::SimDrive& drive = AttachDrive('d', rewritable);
    Run([&](TFormTest& form) {
        LoneEngine lone(form, dir + "/stop.LOG");
        TestRunState& run = lone.engine.State();
        lone.engine.Stop();
        std::vector<uint8_t> buffer(kStepBufferSize);
        uint32_t start = machine.Clock().TickCount();
        run.TestKind = 5;
        EXPECT_FALSE(lone.engine.RunFormatTest(buffer));
        // No more than the format's settling pause.
        EXPECT_LT(machine.Clock().TickCount() - start, 10000u);
        drive.LoadDisc(recordable);
        start = machine.Clock().TickCount();
        run.TestKind = 4;
        EXPECT_FALSE(lone.engine.CloseSession(buffer, 1));
        EXPECT_LT(machine.Clock().TickCount() - start, 10000u);
    });
    EXPECT_EQ(ReadFile(dir + "/stop.LOG"), "    << FORMAT TEST >>\n    [ STATUS         ] : BREAK\n\n");
    EXPECT_EQ(Commands(drive, 0x04).size(), 1u);
    EXPECT_EQ(Commands(drive, 0x5B).size(), 1u);
}

// After a write the disc information is read until it answers, while the
// drive says the disc may still come (it is becoming ready, also for READ
// DISC INFORMATION after TEST UNIT READY is good again, or holds no disc
// yet), with a pause between reads, so the wait spends its minute on the
// clock and not in a tight loop; any other answer ends it at once.
struct AfterWriteCase {
    const char* name;
    bool discLoaded;
    std::vector<sim::Fault> faults;
    bool shown;  // the disc read in the end reaches the window
    uint32_t atLeastMs, belowMs;
};

class WaitAfterWrite : public EngineTest, public ::testing::WithParamInterface<AfterWriteCase> {};

TEST_P(WaitAfterWrite, GoesOnOnlyWhileTheDiscMayCome) {
    const AfterWriteCase& c = GetParam();
    sim::SimDrive& drive =
        c.discLoaded ? AttachDrive('d', Disc(DiscModel::DvdRam, 1000)) : AttachDrive('d');
    Run([&](TFormTest& form) {
        LoneEngine lone(form, "");
        for (const sim::Fault& fault : c.faults) drive.AddFault(fault);
        const uint32_t commandsBefore = drive.CommandCount();
        const uint32_t start = machine.Clock().TickCount();
        lone.engine.WaitForDiscAfterWrite();
        EXPECT_GE(machine.Clock().TickCount() - start, c.atLeastMs);
        EXPECT_LT(machine.Clock().TickCount() - start, c.belowMs);
        // At most one look every half second, a few commands each.
        EXPECT_LE(drive.CommandCount() - commandsBefore, 121u * 4u);
        const Lines calls = lone.report.Calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "disc DVD-RAM"), c.shown ? 1 : 0);
    });
}

sim::Fault DiscInformationBecomingReady(bool once) {
    sim::Fault fault = Refuse(0x51, sim::kSenseOperationInProgress);
    fault.Once = once;
    return fault;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, WaitAfterWrite,
    ::testing::Values(AfterWriteCase{"NoDiscYet", false, {}, false, 60000, 61000},
                      AfterWriteCase{"DiscInformationRefused", true, {Refuse(0x51, sim::kSenseInvalidOpcode)}, false,
                                     0, 1},
                      AfterWriteCase{"DiscInformationBecomingReadyTwice", true,
                                     {DiscInformationBecomingReady(true), DiscInformationBecomingReady(true)}, true,
                                     1000, 1500},
                      AfterWriteCase{"DiscInformationBecomingReadyForEver", true,
                                     {DiscInformationBecomingReady(false)}, false, 60000, 61000}),
    [](const ::testing::TestParamInfo<AfterWriteCase>& info) { return std::string(info.param.name); });

// A unit attention during the long wait after a format or a close (a reset,
// a medium change: drives and buses report them once) is passed over; one
// that comes back for ever ends the wait at its bound, with its sense.
struct AttentionCase {
    const char* name;
    bool close;  // else the format of a blank DVD-RW
    sim::Sense attention;
    bool repeats;  // the attention comes back for ever
    bool passes;
    uint32_t atLeastMs;
    const char* formatLog;  // the format's section, when it is the format
};

class UnitAttention : public EngineTest, public ::testing::WithParamInterface<AttentionCase> {};

TEST_P(UnitAttention, IsPassedOverInTheLongWaits) {
    const AttentionCase& c = GetParam();
    sim::Disc disc = Disc(c.close ? DiscModel::DvdR : DiscModel::DvdRw, 1000, sim::DiscState::Blank);
    if (c.close) disc.Tracks.back().Recorded = 16;  // its open first track holds a chunk
    sim::SimDrive& drive = AttachDrive('d', disc);
    Run([&](TFormTest& form) {
        LoneEngine lone(form, dir + "/attention.LOG");
        TestRunState& run = lone.engine.State();
        std::vector<uint8_t> buffer(kStepBufferSize);
        sim::Fault attention = Refuse(0x00, c.attention);
        attention.Once = !c.repeats;
        drive.AddFault(attention);
        const uint32_t start = machine.Clock().TickCount();
        if (c.close) {
            run.TestKind = 4;
            EXPECT_EQ(lone.engine.CloseSession(buffer, 1), c.passes);
            if (!c.passes) {
                EXPECT_EQ(drive::GetSenseCode(buffer) >> 8, (uint32_t{c.attention.Key} << 8) | c.attention.Asc);
            }
        } else {
            run.TestKind = 5;
            EXPECT_EQ(lone.engine.RunFormatTest(buffer), c.passes);
        }
        EXPECT_GE(machine.Clock().TickCount() - start, c.atLeastMs);
    });
    if (!c.close) {
        EXPECT_EQ(ReadFile(dir + "/attention.LOG"), std::string("    << FORMAT TEST >>\n") + c.formatLog);
    }
    EXPECT_EQ(Commands(drive, c.close ? 0x5B : 0x04).size(), c.close && c.passes ? 2u : 1u);
}

constexpr sim::Sense kResetOccurred{0x06, 0x29, 0x00};
constexpr sim::Sense kMediumChanged{0x06, 0x28, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Waits, UnitAttention,
    ::testing::Values(
        AttentionCase{"FormatResetOnce", false, kResetOccurred, false, true, 0,
                      "    [ STATUS         ] : COMPLETE\n\n"},
        AttentionCase{"FormatMediumChangedOnce", false, kMediumChanged, false, true, 0,
                      "    [ STATUS         ] : COMPLETE\n\n"},
        AttentionCase{"FormatResetForEver", false, kResetOccurred, true, false, drive::kFormatWaitBoundMs,
                      "    [ STATUS         ] : ERROR(062900)\n\n"},
        AttentionCase{"CloseResetOnce", true, kResetOccurred, false, true, 0, ""},
        AttentionCase{"CloseResetForEver", true, kResetOccurred, true, false, drive::kCloseWaitBoundMs, ""}),
    [](const ::testing::TestParamInfo<AttentionCase>& info) { return std::string(info.param.name); });

// The lead-in waits for the disc while the drive says it may still come (it
// is becoming ready, or holds none yet) and asks again after a unit
// attention, which reports the tray's medium change once; any other answer
// ends it at once.  (The time also holds a few ticks of the window's disc
// watch after the run.)
struct LeadInCase {
    const char* name;
    bool discLoaded;
    std::optional<sim::Fault> fault;  // on TEST UNIT READY, once the window is up
    const char* verdict;
    uint32_t atLeastMs, belowMs;
};

class LeadIn : public EngineTest, public ::testing::WithParamInterface<LeadInCase> {};

TEST_P(LeadIn, WaitsOnlyWhileTheDiscMayCome) {
    const LeadInCase& c = GetParam();
    sim::SimDrive& drive = c.discLoaded ? AttachDrive('d', Disc(DiscModel::DvdRom, 40)) : AttachDrive('d');
    uint32_t elapsed = 0;
    Run([&](TFormTest& form) {
        Choose(form, Choice::Nothing);
        if (c.fault) drive.AddFault(*c.fault);
        const uint32_t start = machine.Clock().TickCount();
        StartAndWait(form);
        elapsed = machine.Clock().TickCount() - start;
    });
    EXPECT_EQ(Verdict(), c.verdict);
    EXPECT_GE(elapsed, c.atLeastMs);
    EXPECT_LT(elapsed, c.belowMs);
}

sim::Fault OnceOnTestUnitReady(sim::Sense sense) {
    sim::Fault fault = Refuse(0x00, sense);
    fault.Once = true;
    return fault;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, LeadIn,
    ::testing::Values(LeadInCase{"NoDiscYet", false, std::nullopt, "FAIL !!", 60000, 70000},
                      LeadInCase{"HardwareFailure", true, Refuse(0x00, {0x04, 0x44, 0x00}), "FAIL !!", 0, 10000},
                      LeadInCase{"UnitAttention", true, OnceOnTestUnitReady({0x06, 0x28, 0x00}), "PASS !!", 0,
                                 10000}),
    [](const ::testing::TestParamInfo<LeadInCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The log's name

TEST_F(EngineTest, ALogNameWithAPathWritesNothingOutsideTheTestDirectory) {
    AttachDrive('d', Disc(DiscModel::DvdRom, 40));
    Run([&](TFormTest& form) {
        form.LogFileNameEdit->setText("../escape");
        Choose(form, Choice::Nothing);
        StartAndWait(form);
    });
    EXPECT_FALSE(fs::exists(dir + "/escape.LOG"));
    for (const auto& entry : fs::directory_iterator(dir + "/Corvan CE")) {
        EXPECT_NE(entry.path().extension(), ".LOG") << entry.path();
    }
    EXPECT_EQ(Verdict(), "PASS !!");
}

TEST_F(EngineTest, TwoRunsUnderOneNameKeepOnlyTheSecond) {
    sim::DriveConfig config;
    config.Features = {};
    sim::SimDrive& drive = AttachDrive('d', std::nullopt, config);
    drive.QueueDisc(Disc(DiscModel::CdRom, 40));
    drive.QueueDisc(Disc(DiscModel::CdRom, 40));
    Run([&](TFormTest& form) {
        form.LogFileNameEdit->setText("");
        StartAndWait(form);
        StartAndWait(form);
    });
    const std::string log = Log("");
    EXPECT_EQ(Count(log, "< PROGRAM INFO."), 1u);
    EXPECT_EQ(Count(log, "<< RANDOM READ TEST >>"), 1u);
    EXPECT_EQ(Boxes(), (Lines{kCdPrompt, "PASS !!", kCdPrompt, "PASS !!"}));
}

}  // namespace
