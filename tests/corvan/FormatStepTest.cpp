// The format step on a drive whose answers the test scripts: what it sends,
// and the code its log section shows when a command fails or never reaches
// the drive.
#include "CorvanTestSupport.h"

#include "diagnostic/TestEngine.h"
#include "drive/ScriptedDrive.h"

namespace {

using namespace drivetest;

constexpr uint8_t kKindCdRw = 2;
constexpr uint8_t kKindDvdRw = 5;
constexpr uint8_t kKindDvdPlusRw = 9;

// A sensed write parameters page whose mode data length is `length`.
Answer SensedPage(uint16_t length) {
    return Good(Bytes(254, {{0, static_cast<uint8_t>(length >> 8)}, {1, static_cast<uint8_t>(length)}, {8, 0x05}}));
}

struct FormatCase {
    const char* name;
    uint8_t kind;
    std::vector<std::pair<uint8_t, Answer>> answers;  // by opcode, in order
    const char* status;                               // the log's status line
    std::vector<uint8_t> notSent;                     // opcodes that must not go out
};

class FormatStep : public ScriptedDriveTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(FormatStep, LogsTheCodeOfWhatFailed) {
    const FormatCase& c = GetParam();
    for (const auto& [opcode, answer] : c.answers) drv.Queue(opcode, answer);
    testsupport::ScratchDirectory scratch("format-step");
    const std::string log = (scratch.Path() / "F.LOG").string();
    corvantest::RecordingReport report;
    TestOptions options;
    TestEngine engine(RunSetup{0, log, drive::DiscRecord{}}, options, report);
    engine.State().TestKind = c.kind;
    std::vector<uint8_t> buffer(kStepBufferSize);
    EXPECT_FALSE(engine.RunFormatTest(buffer));
    EXPECT_EQ(corvantest::ReadFile(log), std::string("    << FORMAT TEST >>\n    [ STATUS         ] : ") + c.status +
                                             "\n\n");
    for (uint8_t opcode : c.notSent) EXPECT_TRUE(drv.SentWith(opcode).empty()) << int{opcode};
}

// A capacity reply whose first formattable descriptor counts 230000h blocks:
// bytes 12-13 hold 00 23, which a failure without sense once showed as its
// code.
Answer Capacities() { return Good(Bytes(254, {{3, 16}, {13, 0x23}})); }

INSTANTIATE_TEST_SUITE_P(
    Commands, FormatStep,
    ::testing::Values(
        // 00FEh + 2 does not fit the 254 bytes sensed: nothing is selected,
        // nothing formatted.
        FormatCase{"DvdPlusRwPageLongerThanSensed", kKindDvdPlusRw, {{0x5A, SensedPage(0x00FE)}}, "ERROR(FF00FF)",
                   {0x55, 0x04}},
        FormatCase{"DvdPlusRwPageShorterThanTheTemplate", kKindDvdPlusRw, {{0x5A, SensedPage(0x0010)}},
                   "ERROR(FF00FF)", {0x55, 0x04}},
        FormatCase{"FormatUnitNeverReachesTheDrive", kKindDvdRw, {{0x23, Capacities()}, {0x04, ControlFails()}},
                   "ERROR(FF00FF)", {}},
        FormatCase{"BlankRefused", kKindCdRw, {{0xA1, Check(0x05, 0x24, 0x00)}}, "ERROR(052400)", {0x04}},
        FormatCase{"WaitEndsOnAnotherSense", kKindDvdRw,
                   {{0x00, Check(0x02, 0x04, 0x04)}, {0x00, Check(0x03, 0x31, 0x00)}}, "ERROR(033100)", {}}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

}  // namespace
