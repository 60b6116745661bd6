// The settings file: its exact layout, the round trip, the line search, and
// what the readers make of files they cannot read in full.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "diagnostic/Settings.h"
#include "support/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;

TestDriveEntry Drive(const char* name, uint8_t slot) {
    TestDriveEntry entry;
    std::snprintf(entry.Name, sizeof entry.Name, "%s", name);
    entry.Slot = slot;
    return entry;
}

// Two drives with 31-character names, as enumeration writes them.
TestDriveTable TwoDrives() {
    TestDriveTable table;
    table.Entries[0] = Drive("SIMDRIVEDVD-RW SD-1000  1.00   ", 0);
    table.Entries[1] = Drive("OTHER   CD-ROM X        2.00   ", 1);
    table.Count = 2;
    return table;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

class SettingsTest : public ::testing::Test {
protected:
    testsupport::ScratchDirectory scratch{"corvan-settings"};

    // A written file of TwoDrives with drive 0 on defaults and drive 1 on
    // distinct values, as lines.
    std::vector<std::string> WrittenLines() {
        TestDriveTable table = TwoDrives();
        SetDefaultScreenItems(table.Entries[0]);
        table.Entries[1].Mode = kModeNormal;
        for (int i = 0; i < kScreenItemCount; ++i) {
            table.Entries[1].TableA[i] = {uint8_t(i), uint8_t(255 - i), 0};
            table.Entries[1].TableB[i] = {uint8_t(i % 2), uint8_t(i % 3), 0};
        }
        table.Selected = 1;
        EXPECT_TRUE(WriteSettingsFile(path, table));
        return Lines(path);
    }

    std::string dir = scratch.Path().string();
    std::string path = dir + "/" + kSettingsFileName;
};

TEST_F(SettingsTest, LayoutIsTwoLinesThenFortySixPerDrive) {
    const std::vector<std::string> lines = WrittenLines();
    ASSERT_EQ(lines.size(), 2u + 46u * 2u);
    EXPECT_EQ(lines[0], "[ACTIVE DRIVE]");
    EXPECT_EQ(lines[1], "1");
    EXPECT_EQ(lines[2], "SIMDRIVEDVD-RW SD-1000  1.00   ");
    EXPECT_EQ(lines[3], "2");
    EXPECT_EQ(lines[4], "1, 1");    // CD-ROM, table A
    EXPECT_EQ(lines[6], "1, 1");    // CD-RW, table A
    EXPECT_EQ(lines[26 + 2], "1, 0");  // CD-RW, table B
    EXPECT_EQ(lines[26 + 12], "1, 0");  // DVD-RAM, table B
    EXPECT_EQ(lines[26 + 13], "0, 0");  // HD DVD-ROM, table B
    EXPECT_EQ(lines[48], "OTHER   CD-ROM X        2.00   ");
    EXPECT_EQ(lines[49], "1");
    EXPECT_EQ(lines[50 + 21], "21, 234");
    EXPECT_FALSE(fs::exists(path + ".tmp"));

    // With no earlier file, a table without drives writes the two lines.
    fs::remove(path);
    TestDriveTable empty;
    ASSERT_TRUE(WriteSettingsFile(path, empty));
    EXPECT_EQ(Lines(path), (std::vector<std::string>{"[ACTIVE DRIVE]", "0"}));
}

TEST_F(SettingsTest, ReadingBackRestoresEveryEntryAndTheSelection) {
    WrittenLines();
    TestDriveTable table = TwoDrives();
    const SettingsReadResult result = ReadSettingsFile(path, table, true);
    EXPECT_EQ(result.Status, SettingsRead::Read);
    EXPECT_FALSE(result.Malformed);
    EXPECT_TRUE(result.HasActive);
    EXPECT_EQ(result.Active, 1);
    TestDriveEntry defaults = Drive("", 0);
    SetDefaultScreenItems(defaults);
    EXPECT_EQ(table.Entries[0].Mode, kModeScreen);
    for (int i = 0; i < kScreenItemCount; ++i) {
        EXPECT_EQ(table.Entries[0].TableB[i].Flag0, defaults.TableB[i].Flag0) << i;
        EXPECT_EQ(table.Entries[0].TableB[i].Flag1, defaults.TableB[i].Flag1) << i;
        EXPECT_EQ(table.Entries[1].TableA[i].Flag0, i) << i;
        EXPECT_EQ(table.Entries[1].TableA[i].Flag1, 255 - i) << i;
        EXPECT_EQ(table.Entries[1].TableB[i].Flag1, i % 3) << i;
        EXPECT_EQ(table.Entries[1].TableA[i].Code, 0) << "codes are not stored";
    }
    EXPECT_EQ(table.Entries[1].Mode, kModeNormal);
    EXPECT_EQ(std::string(table.Entries[1].Name), "OTHER   CD-ROM X        2.00   ");
}

TEST_F(SettingsTest, DrivesNotInTheFileGetDefaultsOrKeepTheirValues) {
    WrittenLines();
    for (const bool defaults : {true, false}) {
        TestDriveTable table = TwoDrives();
        table.Entries[2] = Drive("NEWDRIVEBD-RE X          1.00  ", 2);
        table.Entries[2].Mode = 7;
        table.Count = 3;
        ReadSettingsFile(path, table, defaults);
        EXPECT_EQ(table.Entries[2].Mode, defaults ? kModeScreen : 7);
        EXPECT_EQ(table.Entries[2].TableA[0].Flag0, defaults ? 1 : 0);
    }
    // Two drives of the same name both take the first block.
    TestDriveTable twins = TwoDrives();
    std::memcpy(twins.Entries[1].Name, twins.Entries[0].Name, sizeof twins.Entries[0].Name);
    ReadSettingsFile(path, twins, true);
    EXPECT_EQ(twins.Entries[1].Mode, kModeScreen);
    EXPECT_EQ(twins.Entries[1].TableB[2].Flag1, 0);
}

// A drive that is not there for a session keeps its block: the session's
// writes carry it over, once, after the drives it has, and the drive gets
// its values back when it returns.
TEST_F(SettingsTest, ADriveAbsentForASessionKeepsItsBlock) {
    const std::vector<std::string> written = WrittenLines();
    TestDriveTable alone;
    alone.Entries[0] = TwoDrives().Entries[0];
    alone.Entries[0].Mode = kModeNormal;
    alone.Count = 1;
    ASSERT_TRUE(WriteSettingsFile(path, alone));
    ASSERT_TRUE(WriteSettingsFile(path, alone));
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 2u + 46u * 2u);
    EXPECT_EQ(lines[1], "0");
    EXPECT_EQ(lines[3], "1");  // the present drive as this session has it
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 48, lines.end()),
              std::vector<std::string>(written.begin() + 48, written.end()));

    TestDriveTable back = TwoDrives();
    const SettingsReadResult result = ReadSettingsFile(path, back, true);
    EXPECT_FALSE(result.Malformed);
    EXPECT_EQ(back.Entries[0].Mode, kModeNormal);
    EXPECT_EQ(back.Entries[1].Mode, kModeNormal);
    for (int i = 0; i < kScreenItemCount; ++i) {
        EXPECT_EQ(back.Entries[1].TableA[i].Flag1, 255 - i) << i;
        EXPECT_EQ(back.Entries[1].TableB[i].Flag1, i % 3) << i;
    }
}

// A block that does not read whole is not carried over, nor is anything
// after it.
TEST_F(SettingsTest, AnAbsentDrivesBrokenBlockIsNotCarriedOver) {
    std::vector<std::string> lines = WrittenLines();
    lines[50 + 30] = "x, 1";
    WriteText(path, Join(lines));
    TestDriveTable alone;
    alone.Entries[0] = TwoDrives().Entries[0];
    alone.Count = 1;
    ASSERT_TRUE(WriteSettingsFile(path, alone));
    EXPECT_EQ(Lines(path).size(), 2u + 46u);
}

TEST_F(SettingsTest, NoFileOrNoPathReadsNothing) {
    TestDriveTable table = TwoDrives();
    table.Entries[0].Mode = 9;
    EXPECT_EQ(ReadSettingsFile(path, table, true).Status, SettingsRead::NoFile);
    EXPECT_EQ(ReadSettingsFile("", table, true).Status, SettingsRead::NoFile);
    EXPECT_EQ(table.Entries[0].Mode, 9);
    EXPECT_FALSE(WriteSettingsFile("", table));
    EXPECT_FALSE(WriteSettingsFile(dir + "/missing/" + kSettingsFileName, table));
    EXPECT_FALSE(fs::exists(dir + "/missing"));
}

// Every malformed value ends the reading of its block there: what came
// before it is taken, the rest of the block keeps its values.
TEST_F(SettingsTest, MalformedValuesEndTheirBlockAndMarkTheFile) {
    const std::vector<std::string> good = WrittenLines();
    const struct {
        const char* what;
        int line;  // 0-based line replaced (-1: removed header)
        const char* text;
        bool hasActive;
        int modeOf1;           // drive 1's mode afterwards
        int lastGoodPairOf1;   // table A records of drive 1 taken (22 = all)
    } cases[] = {
        {"flag past a byte", 50 + 5, "256, 5", true, kModeNormal, 5},
        {"negative flag", 50 + 3, "-1, 0", true, kModeNormal, 3},
        {"letters for a flag", 50 + 0, "x, 1", true, kModeNormal, 0},
        {"mode past 32 bits", 49, "2147483648", true, 0, 0},
        {"negative selected drive", 1, "-3", false, kModeNormal, 22},
        {"header missing", -1, "", false, kModeNormal, 22},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = good;
        if (c.line < 0)
            lines.erase(lines.begin());
        else
            lines[c.line] = c.text;
        WriteText(path, Join(lines));
        TestDriveTable table = TwoDrives();
        const SettingsReadResult result = ReadSettingsFile(path, table, true);
        EXPECT_EQ(result.Status, SettingsRead::Read) << c.what;
        EXPECT_TRUE(result.Malformed) << c.what;
        EXPECT_EQ(result.HasActive, c.hasActive) << c.what;
        EXPECT_EQ(table.Entries[1].Mode, c.modeOf1) << c.what;
        for (int i = 0; i < kScreenItemCount; ++i)
            EXPECT_EQ(table.Entries[1].TableA[i].Flag0, i < c.lastGoodPairOf1 ? i : 0)
                << c.what << " record " << i;
        // Drive 0's block comes first and is whole in every case.
        EXPECT_EQ(table.Entries[0].Mode, kModeScreen) << c.what;
    }
}

TEST_F(SettingsTest, ASelectedDrivePastTheTableIsReportedNotApplied) {
    std::vector<std::string> lines = WrittenLines();
    lines[1] = "5";
    WriteText(path, Join(lines));
    TestDriveTable table = TwoDrives();
    const SettingsReadResult result = ReadSettingsFile(path, table, true);
    EXPECT_FALSE(result.Malformed);  // a drive of an earlier run may be gone
    EXPECT_TRUE(result.HasActive);
    EXPECT_EQ(result.Active, 5);
    EXPECT_EQ(table.Selected, 0);
}

TEST_F(SettingsTest, GarbageNeverCrashesAndIsKeptAside) {
    std::string garbage(1 << 16, '\0');
    for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 7919) % 251);
    WriteText(path, garbage);
    TestDriveTable table = TwoDrives();
    const SettingsReadResult result = ReadSettingsFile(path, table, true);
    EXPECT_TRUE(result.Malformed);
    EXPECT_EQ(table.Entries[0].Mode, kModeScreen);  // defaults: its name is not there

    const std::string aside = KeepSettingsAside(path);
    EXPECT_EQ(aside, path + ".bad");
    EXPECT_FALSE(fs::exists(path));
    WriteText(path, "again");
    EXPECT_EQ(KeepSettingsAside(path), path + ".bad.1");
    std::ifstream kept(aside, std::ios::binary);
    std::stringstream content;
    content << kept.rdbuf();
    EXPECT_EQ(content.str(), garbage);

    ResetMalformedSettingsNotice();
    EXPECT_EQ(MalformedSettingsNotice(aside),
              "The settings file \"Corvan CE.INI\" could not be read in full.\n"
              "It was kept as \"Corvan CE.INI.bad\"; the settings start afresh.");
    EXPECT_EQ(MalformedSettingsNotice(aside), "");
}

TEST(ContainsText, OnePassSubstringTest) {
    const struct {
        const char* pattern;
        const char* text;
        bool found;
    } cases[] = {
        {"[ACTIVE DRIVE]", "[ACTIVE DRIVE]\n", true},
        {"DRIVE", "xxDRIVEyy", true},
        {"", "anything", false},
        {"longer than", "short", false},
        {"abc", "ABC", false},
        {"ab", "aab", true},
        // A match overlapping a broken partial match is not found.
        {"aab", "aaab", false},
    };
    for (const auto& c : cases) EXPECT_EQ(ContainsText(c.pattern, c.text), c.found) << c.pattern << " in " << c.text;
}

TEST_F(SettingsTest, FindLineGivesTheLineStartOrZeroAtTheEnd) {
    WriteText(path, "first\nsecond line\n" + std::string(300, 'x') + "TAIL\nlast\n");
    std::FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    long out = -5;
    EXPECT_TRUE(FindLineInFile("second", file, 0, out));
    EXPECT_EQ(out, 6);
    EXPECT_TRUE(FindLineInFile("first", file, 0, out));
    EXPECT_EQ(out, 0);
    EXPECT_FALSE(FindLineInFile("first", file, 1, out));
    EXPECT_EQ(out, 0);
    // A long line is read in 259-character pieces, each tested alone.
    EXPECT_TRUE(FindLineInFile("TAIL", file, 0, out));
    EXPECT_EQ(out, 18 + 259);
    EXPECT_FALSE(FindLineInFile("absent", file, 0, out));
    EXPECT_EQ(out, 0);
    std::fclose(file);
}

}  // namespace
