// The host's pure text mappings: command line, language, library and device
// names.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Host.h"

namespace {

using namespace platform::host;

TEST(CommandLine, JoinsArgumentsAsWindowsHandsThemOver) {
    const struct {
        std::vector<std::string> Arguments;
        std::string Line;
    } cases[] = {
        {{}, ""},
        {{"./Pelmora"}, "./Pelmora"},
        {{"./Pelmora", "-TEST"}, "./Pelmora -TEST"},
        {{"/opt/odt/Pelmora", "/media/fw/NEW FW.BIN"}, "/opt/odt/Pelmora \"/media/fw/NEW FW.BIN\""},
        {{"/opt/my tools/Pelmora", "-LIVE"}, "\"/opt/my tools/Pelmora\" -LIVE"},
        {{"prog", "", "x"}, "prog \"\" x"},
        {{"prog", "a\tb"}, "prog \"a\tb\""},
        {{"prog", "C:\\FW\\A.BIN"}, "prog C:\\FW\\A.BIN"},
    };
    for (const auto& c : cases) EXPECT_EQ(JoinCommandLine(c.Arguments), c.Line);
}

TEST(CommandLine, SplitsTheProcFile) {
    using std::string_literals::operator""s;
    const struct {
        std::string Contents;
        std::vector<std::string> Arguments;
    } cases[] = {
        {""s, {}},
        {"./Pelmora\0"s, {"./Pelmora"}},
        {"./Pelmora\0-TEST\0"s, {"./Pelmora", "-TEST"}},
        {"prog\0\0x\0"s, {"prog", "", "x"}},
        {"prog\0last-without-nul"s, {"prog", "last-without-nul"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLineFile(c.Contents), c.Arguments);
}

TEST(CommandLine, ReadsTheFileItIsGiven) {
    const std::string path = testing::TempDir() + "host_cmdline";
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    static const char kContents[] = "./Pelmora\0D:\\NEW FW.BIN\0";
    std::fwrite(kContents, 1, sizeof kContents - 1, file);
    std::fclose(file);
    EXPECT_EQ(HostCommandLine(path).GetCommandLine(), "./Pelmora \"D:\\NEW FW.BIN\"");
    std::remove(path.c_str());
    EXPECT_EQ(HostCommandLine(path).GetCommandLine(), "");
}

TEST(Language, FollowsTheLocaleVariablesInOrder) {
    const struct {
        const char* LcAll;
        const char* LcMessages;
        const char* Lang;
        uint16_t Id;
    } cases[] = {
        {nullptr, nullptr, nullptr, kLangEnglishUs},
        {nullptr, nullptr, "ko_KR.UTF-8", kLangKorean},
        {nullptr, nullptr, "ko_KR.EUC-KR", kLangKorean},
        {nullptr, nullptr, "ko_KP", kLangKoreanNorth},
        {nullptr, nullptr, "ko", kLangKorean},
        {nullptr, nullptr, "ko.UTF-8", kLangKorean},
        {nullptr, nullptr, "ko@euro", kLangKorean},
        {nullptr, nullptr, "en_US.UTF-8", kLangEnglishUs},
        {nullptr, nullptr, "C", kLangEnglishUs},
        {nullptr, nullptr, "kok_IN", kLangEnglishUs},  // Konkani, not Korean
        {nullptr, nullptr, "KO_KR", kLangEnglishUs},
        {"en_US.UTF-8", nullptr, "ko_KR.UTF-8", kLangEnglishUs},
        {"ko_KP.UTF-8", "en_GB", "en_US", kLangKoreanNorth},
        {nullptr, "ko_KR", "en_US", kLangKorean},
        {"", "", "ko_KR", kLangKorean},  // empty means unset
        {"", "en_US", "ko_KR", kLangEnglishUs},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanguageIdFromLocale(c.LcAll, c.LcMessages, c.Lang), c.Id)
            << (c.LcAll ? c.LcAll : "-") << " " << (c.LcMessages ? c.LcMessages : "-") << " "
            << (c.Lang ? c.Lang : "-");
}

TEST(Libraries, WindowsNamesMapToLinuxNames) {
    const struct {
        const char* Windows;
        const char* Linux;
    } cases[] = {
        {"WNASPI32.DLL", "wnaspi32.so"},
        {"wnaspi32.dll", "wnaspi32.so"},
        {"Lib.Dll", "lib.so"},
        {"/opt/Drivers/WNASPI32.DLL", "/opt/Drivers/wnaspi32.so"},
        {"/opt/Drivers/.DLL", ""},
        {"libc.so.6", ""},
        {".dll", ""},
        {"WNASPI32", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(LinuxLibraryName(c.Windows), c.Linux) << c.Windows;
}

TEST(DriveLetters, MapToOpticalDevicesFromD) {
    const struct {
        char Letter;
        const char* Device;
    } cases[] = {{'d', "sr0"}, {'D', "sr0"}, {'e', "sr1"}, {'z', "sr22"}, {'Z', "sr22"},
                 {'a', ""},    {'c', ""},    {'C', ""},    {'1', ""},    {'\0', ""}};
    for (const auto& c : cases) EXPECT_EQ(OpticalDeviceName(c.Letter), c.Device) << int(c.Letter);
}

}  // namespace
