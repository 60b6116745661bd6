// The test log's writers byte for byte, the log's name in the test
// directory, loop counts as the engine reads them and the random read's
// generator.
#include "CorvanTestSupport.h"

#include <cstring>

#include "diagnostic/TestLog.h"

namespace {

using namespace corvantest;

class TestLogTest : public CorvanTest {
protected:
    void SetUp() override {
        CorvanTest::SetUp();
        machine.Install();
        path = dir + "/T.LOG";
    }
    std::string Written() const { return ReadFile(path).value_or("<none>"); }
    std::string path;
};

drive::DiscRecord Record(uint16_t type, uint32_t capacity, const char* identity, const char* second = "") {
    drive::DiscRecord record{};
    record.DiscType = type;
    record.Capacity = capacity;
    std::strncpy(record.IdentityText, identity, sizeof record.IdentityText - 1);
    std::strncpy(record.SecondText, second, sizeof record.SecondText - 1);
    return record;
}

TEST_F(TestLogTest, TheHeaderStartsTheFileAfresh) {
    WriteLogHeader(path, "2009/11/05 14:03:07", "FIRSTRUN", "A", "B", "C");
    WriteLogTestIndex(path, 0, 0);
    WriteLogHeader(path, "2009/11/05 14:03:07", "SIMDRIVEDVD-RW SD-1000  1.00", "SIMDRIVE", "DVD-RW SD-1000  ",
                   "1.00");
    WriteLogTestIndex(path, 3, 0);
    EXPECT_EQ(Written(), LogHeader("2009/11/05 14:03:07") +
              "     TEST INDEX(C/T)  >> : 3/0\n"
              "\n");
}

TEST_F(TestLogTest, DiscSectionsByFamily) {
    WriteLogDiscInfo(path, Record(drive::kDiscCdR, 359847, "97:24:01", "79:59:74"));
    WriteLogDiscInfo(path, Record(drive::kDiscCdRom, 1000, ""));
    WriteLogDiscInfo(path, Record(drive::kDiscDvdRom, 2295104, "not shown"));
    WriteLogDiscInfo(path, Record(drive::kDiscDvdRw, 2298496, "MCC 01RW11n1"));
    const std::string rule = "    =======================================================\n";
    EXPECT_EQ(Written(), rule +
                             "    [ DISC TYPE        ] : CD-R\n"
                             "    [ DISC SIZE        ] : 702.8 MB\n"
                             "    [ DISC ATIP INFO.  ] : 97:24:01 79:59:74 \n" +
                             rule + "\n" + rule +
                             "    [ DISC TYPE        ] : CD-ROM\n"
                             "    [ DISC SIZE        ] : 2.0 MB\n"
                             "    [ DISC ATIP INFO.  ] :   \n" +
                             rule + "\n" + rule +
                             "    [ DISC TYPE        ] : DVD-ROM\n"
                             "    [ DISC SIZE        ] : 4.4 GB\n" +
                             rule + "\n" + rule +
                             "    [ DISC TYPE        ] : DVD-RW\n"
                             "    [ DISC SIZE        ] : 4.4 GB\n"
                             "    [ DISC MID         ] : MCC 01RW11n1\n" +
                             rule + "\n");
}

struct SectionCase {
    const char* name;
    uint8_t sequential, compare;
    bool batch, partial;
    const char* status;
    uint32_t code;
    const char* expected;
};

class ReadWriteSections : public TestLogTest, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(ReadWriteSections, TitleCountAndStatus) {
    const SectionCase& c = GetParam();
    TestOptions options;
    options.BatchMode = c.batch;
    options.PartialWrite = c.partial;
    options.SequentialReadCount = 2;
    // The partial range of a DVD-R whose first chunk is written, failing at
    // a chunk in its middle.
    WriteLogReadWriteTest(path, c.sequential, 16, 68960, 42416, c.status, c.code, c.compare, options);
    EXPECT_EQ(Written(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sections, ReadWriteSections,
    ::testing::Values(
        SectionCase{"CompareWinsOverSequential", 1, 1, false, false, "PASS!!", 0,
                    "    << READ & COMPARE TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ STATUS         ] : PASS!!\n\n"},
        SectionCase{"SequentialShowsTheLoopCount", 1, 0, true, false, "BREAK", 0x031100,
                    "    << SEQUENTIAL READ TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ TEST COUNT     ] : 2 Time(s)\n    [ STATUS         ] : BREAK\n\n"},
        SectionCase{"BatchWritesPartially", 0, 0, true, false, "PASS!!", 0,
                    "    << PARTIAL WRITE TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ STATUS         ] : PASS!!\n\n"},
        SectionCase{"PartialWrite", 0, 0, false, true, "PASS!!", 0,
                    "    << PARTIAL WRITE TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ STATUS         ] : PASS!!\n\n"},
        SectionCase{"FullWriteError", 0, 0, false, false, "ERROR", 0x052100,
                    "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ FAIL ADDR.     ] : 42416(A5B0h)\n    [ STATUS         ] : ERROR(052100)\n\n"},
        // A failed step with a drive's code shows where and which, whatever
        // its failure text; one whose failure no drive answered shows its
        // text alone; a text that carries its code does not get it twice.
        SectionCase{"FailureWithACode", 1, 0, false, false, "FAIL!!", 0x031100,
                    "    << SEQUENTIAL READ TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ TEST COUNT     ] : 2 Time(s)\n    [ FAIL ADDR.     ] : 42416(A5B0h)\n"
                    "    [ STATUS         ] : FAIL!!(031100)\n\n"},
        SectionCase{"FailureWithoutACode", 1, 1, false, false, "COMPARE ERROR", 0,
                    "    << READ & COMPARE TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ STATUS         ] : COMPARE ERROR\n\n"},
        SectionCase{"TextCarryingItsCode", 0, 0, false, false, "CLOSE SESSION ERROR( 52C00)", 0x052C00,
                    "    << FULL WRITE TEST >>\n    [ TEST AREA      ] : 16 ~ 68960 \n"
                    "    [ FAIL ADDR.     ] : 42416(A5B0h)\n    [ STATUS         ] : CLOSE SESSION ERROR( 52C00)\n\n"}),
    [](const ::testing::TestParamInfo<SectionCase>& info) { return std::string(info.param.name); });

TEST_F(TestLogTest, RandomReadFormatAndTraySections) {
    WriteLogRandomReadTest(path, 200, 7, "PASS!!", 0);
    WriteLogRandomReadTest(path, 200, 0x1F0, "FAIL!!", 0x031100);
    WriteLogRandomReadTest(path, 0, 0x1F0, "NOTHING READ", 0);
    WriteLogFormatTest(path, "COMPLETE", 0x020404);
    WriteLogFormatTest(path, "ERROR", 0x052600);
    WriteLogFormatTest(path, "BREAK", 0x020404);
    WriteLogTrayTest(path, 3725, 0, "BREAK");
    WriteLogTrayTest(path, 5, 2, "PASS!!");
    EXPECT_EQ(Written(),
              "    << RANDOM READ TEST >>\n    [ TEST COUNT     ] : 200 TIME(S)\n    [ STATUS         ] : PASS!!\n\n"
              "    << RANDOM READ TEST >>\n    [ TEST COUNT     ] : 200 TIME(S)\n"
              "    [ READ FAIL ADDR.] : 496(1F0h)\n    [ STATUS         ] : FAIL!!(031100)\n\n"
              "    << RANDOM READ TEST >>\n    [ TEST COUNT     ] : 0 TIME(S)\n    [ STATUS         ] : NOTHING READ\n\n"
              "    << FORMAT TEST >>\n    [ STATUS         ] : COMPLETE\n\n"
              "    << FORMAT TEST >>\n    [ STATUS         ] : ERROR(052600)\n\n"
              "    << FORMAT TEST >>\n    [ STATUS         ] : BREAK\n\n"
              "    <<  TRAY OPEN/CLOSE  TEST >>\n    [ TEST TIME    ] : 01:02:05\n    [ STATUS       ] : BREAK\n\n"
              "    <<  TRAY OPEN/CLOSE  TEST >>\n    [ RETRY INDEX  ] : 2\n    [ TEST TIME    ] : 00:00:05\n"
              "    [ STATUS       ] : PASS!!\n\n");
}

TEST_F(TestLogTest, ALogThatCannotBeOpenedIsSkipped) {
    WriteLogHeader("", "t", "", "", "", "");
    WriteLogFormatTest(dir + "/no such directory/T.LOG", "COMPLETE", 0);
    EXPECT_FALSE(fs::exists(dir + "/no such directory"));
    // An identity that INQUIRY did not give still has its line.
    WriteLogHeader(path, "t", "", "", "", "");
    EXPECT_NE(Written().find("    < VENDOR  ID       > : \n"), std::string::npos);
}

TEST(TestLogPath, StaysInTheTestDirectory) {
    EXPECT_EQ(TestLogPathFor("/w/Corvan CE", "Corvan_CE"), "/w/Corvan CE/Corvan_CE.LOG");
    EXPECT_EQ(TestLogPathFor("/w/Corvan CE", ""), "/w/Corvan CE/.LOG");
    EXPECT_EQ(TestLogPathFor("/w/Corvan CE", ".."), "/w/Corvan CE/...LOG");
    for (const char* name : {"../escape", "/tmp/escape", "sub/log", "..\\escape"})
        EXPECT_EQ(TestLogPathFor("/w/Corvan CE", name), "") << name;
    // No test directory: no log, never a file at the root.
    EXPECT_EQ(TestLogPathFor("", "Corvan_CE"), "");
}

TEST(LoopCount, ReadsLikeTheCLibraryAndNeverOverflows) {
    const std::pair<const char*, int32_t> cases[] = {{"200", 200}, {"9x", 9},          {"x", 0},
                                                     {"", 0},      {" 05", 5},         {"-3", -3},
                                                     {"256", 256}, {"99999999999", INT32_MAX}, {"-99999999999", INT32_MIN}};
    for (const auto& [text, value] : cases) EXPECT_EQ(LoopCountValue(text), value) << text;
}

TEST(TestRandomGenerator, DrawsFifteenBitsOfItsOwnSequence) {
    // Seed 1: the first draw is discarded, then 130, 10982, 1090.
    TestRandom random(1);
    EXPECT_EQ(random.Next(), 130u);
    EXPECT_EQ(random.Next(), 10982u);
    EXPECT_EQ(random.Next(), 1090u);
    TestRandom wide(0xFFFFFFFFu);
    for (int i = 0; i < 1000; ++i) EXPECT_LE(wide.Next(), 0x7FFFu);
}

}  // namespace
