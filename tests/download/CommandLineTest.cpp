// The command-line scan and the step log's name, without a window.
#include <gtest/gtest.h>

#include <cstdlib>

#include "download/Pelmoracommandline.h"

namespace {

struct ScanCase {
    const char* CommandLine;
    OptionFlags Options;
    bool BinArgument;
    const char* FileName;
    const char* LogToClear;  // "flash" for the flash-test log
};

const ScanCase kScans[] = {
    {"Pelmora.exe", 0, false, "", ""},
    {"Pelmora.exe -NOCHECK", OptNoCheck, false, "", ""},
    // Each option replaces the whole word, -LIVE last: -NOCHECK with a test
    // mode checks all the same.
    {"Pelmora.exe -nocheck -test", OptTest, false, "", "flash"},
    {"Pelmora.exe -TEST -LIVE", OptLive, false, "", "Quilbex.TMP"},
    {"Pelmora.exe -Live -NOCHECK", OptLive, false, "", "Quilbex.TMP"},
    // Anywhere on the line, the program path too.
    {"C:\\my-test\\Pelmora.exe", OptTest, false, "", "flash"},
    // A ".BIN" path wins over the options and means no check.
    {"Pelmora.exe D:\\fw\\new.bin", OptNoCheck, true, "D:\\fw\\new.bin", "Quilbex.TMP"},
    {"\"C:\\Program Files\\Pelmora.exe\" D:\\FW.BIN -TEST", OptNoCheck, true, "D:\\FW.BIN", "Quilbex.TMP"},
    // Unquoted, a blank in the path cuts it.
    {"Pelmora.exe C:\\My Files\\fw.bin", OptNoCheck, true, "Files\\fw.bin", "Quilbex.TMP"},
    // Quoted, the path is whole and the quotes go.
    {"Pelmora.exe \"C:\\My Files\\fw.bin\"", OptNoCheck, true, "C:\\My Files\\fw.bin", "Quilbex.TMP"},
    {"Pelmora.exe \"D:\\fw.bin", OptNoCheck, true, "D:\\fw.bin", "Quilbex.TMP"},
    // No blank before it: the scan stops at the start of the line.
    {"D:\\new.BIN", OptNoCheck, true, "D:\\new.BIN", "Quilbex.TMP"},
    {".bin -TEST", OptNoCheck, true, ".bin", "Quilbex.TMP"},
    // The first ".BIN" counts, up to and including it.
    {"Pelmora.exe a.binary b.bin", OptNoCheck, true, "a.bin", "Quilbex.TMP"},
};

class CommandLineScan : public ::testing::TestWithParam<ScanCase> {
protected:
    void SetUp() override { ::setenv(kFlashTestDirVariable, "/tmp/flash-test-dir", 1); }
    void TearDown() override { ::unsetenv(kFlashTestDirVariable); }
};

TEST_P(CommandLineScan, GivesOptionsFileAndLogToClear) {
    const ScanCase& scan = GetParam();
    const CommandLineChoice choice = ParseCommandLineText(scan.CommandLine);
    EXPECT_EQ(choice.Options, scan.Options);
    EXPECT_EQ(choice.BinArgument, scan.BinArgument);
    EXPECT_EQ(choice.FileName, scan.FileName);
    const std::string log = scan.LogToClear == std::string("flash") ? "/tmp/flash-test-dir/Quilbex.TMP" : scan.LogToClear;
    EXPECT_EQ(choice.LogToClear, log);
}

INSTANTIATE_TEST_SUITE_P(Lines, CommandLineScan, ::testing::ValuesIn(kScans));

TEST(StepLogName, FollowsTheModeAndTheFlashTestDirectory) {
    ::unsetenv(kFlashTestDirVariable);
    EXPECT_EQ(StepLogPath(OptTest, false), "/FLASHTEST/Quilbex.TMP");
    ::setenv(kFlashTestDirVariable, "/srv/flash", 1);
    EXPECT_EQ(StepLogPath(OptTest, false), "/srv/flash/Quilbex.TMP");
    EXPECT_EQ(StepLogPath(OptLive, false), "Quilbex.TMP");
    EXPECT_EQ(StepLogPath(OptNoCheck, true), "Quilbex.TMP");
    // -LIVE and a path beat -TEST; -NOCHECK alone and plain starts log nothing.
    EXPECT_EQ(StepLogPath(OptTest | OptLive, false), "Quilbex.TMP");
    EXPECT_EQ(StepLogPath(OptNoCheck, false), "");
    EXPECT_EQ(StepLogPath(0, false), "");
    EXPECT_FALSE(AppendStepLog(OptNoCheck, false, "START"));
    ::unsetenv(kFlashTestDirVariable);
}

}  // namespace
