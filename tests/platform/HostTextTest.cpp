// The host's pure text mappings: command line, language, device names, the
// plain words of a drive failure and the block queue's transfer limit.
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Host.h"

namespace {

using namespace platform::host;
using platform::kLangEnglishUs;
using platform::kLangKorean;
using platform::kLangKoreanNorth;

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

TEST(DriveLetters, MapToOpticalDevicesFromD) {
    const struct {
        char Letter;
        const char* Device;
    } cases[] = {{'d', "sr0"}, {'D', "sr0"}, {'e', "sr1"}, {'z', "sr22"}, {'Z', "sr22"},
                 {'a', ""},    {'c', ""},    {'C', ""},    {'1', ""},    {'\0', ""}};
    for (const auto& c : cases) EXPECT_EQ(OpticalDeviceName(c.Letter), c.Device) << int(c.Letter);
}

// What the user reads when a drive cannot be opened or a command does not
// reach it: the node, what happened, and what to do about it.
TEST(DriveFailures, SayTheCauseInPlainWords) {
    const std::string sr0 = "/dev/sr0";
    const std::string sr1 = "/dev/sr1";
    const struct {
        std::string Text;
        std::string Expected;
    } cases[] = {
        {OpenFailureText(sr1, EACCES, "add the user to group cdrom"),
         "cannot open /dev/sr1: permission denied (add the user to group cdrom)"},
        {OpenFailureText(sr1, EPERM, ""), "cannot open /dev/sr1: permission denied"},
        {OpenFailureText(sr1, ENXIO, "add"), "cannot open /dev/sr1: no such device"},
        {OpenFailureText(sr1, EBUSY, ""), "cannot open /dev/sr1: the device is busy (another program holds it)"},
        {OpenFailureText(sr1, EIO, ""), "cannot open /dev/sr1: Input/output error"},
        {ReadOnlyOpenText(sr0, "add the user to group cdrom"),
         "/dev/sr0: opened read-only, the user may not write to it (add the user to group cdrom); "
         "commands that need write access will fail"},
        {ReadOnlyOpenText(sr0, ""),
         "/dev/sr0: opened read-only, the user may not write to it; commands that need write access will fail"},
        {CommandFailureText(sr0, EPERM, 0xFF, false),
         "/dev/sr0: the kernel refused the vendor command (needs root or CAP_SYS_RAWIO)"},
        {CommandFailureText(sr0, EPERM, 0xFF, true),
         "/dev/sr0: the kernel refused the vendor command (needs root or CAP_SYS_RAWIO)"},
        {CommandFailureText(sr0, EPERM, 0x3B, false), "/dev/sr0: the kernel refused command 3Bh (needs root or CAP_SYS_RAWIO)"},
        {CommandFailureText(sr0, EPERM, 0x2A, true),
         "/dev/sr0: the kernel refused command 2Ah: the device is open read-only (needs write access to /dev/sr0, "
         "or root)"},
        {CommandFailureText(sr0, ENODEV, 0x12, false), "/dev/sr0: the drive is gone or does not answer (command 12h)"},
        {CommandFailureText(sr0, ETIMEDOUT, 0xFF, false), "/dev/sr0: command FFh timed out"},
        {CommandFailureText(sr0, EBUSY, 0x00, false), "/dev/sr0: the drive or its bus is busy (command 00h)"},
        {CommandFailureText(sr0, EIO, 0x28, false),
         "/dev/sr0: command 28h failed: input/output error (the drive or its connection failed)"},
        {CommandFailureText(sr0, ENOMEM, 0x28, false), "/dev/sr0: command 28h failed: Cannot allocate memory"},
        {CommandFailureText(sr0, EINVAL, 0x28, false, 1048576),
         "/dev/sr0: the kernel refused command 28h as invalid: its transfer of 1048576 bytes is likely more than "
         "the device queue takes at once"},
        {CommandFailureText(sr0, EINVAL, 0x00, false, 0), "/dev/sr0: the kernel refused command 00h as invalid"},
        {OptionalQueryText(sr0, 0xFF),
         "/dev/sr0: drive-specific information is not shown: the kernel refused the drive's vendor query (needs "
         "root or CAP_SYS_RAWIO); the query is optional, nothing failed"},
        {TransferLimitText(sr0, 0x28, 522240, 131072),
         "/dev/sr0: command 28h would move 522240 bytes, more than the device takes at once (131072 bytes); "
         "not sent"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.Text, c.Expected);
}

TEST(DriveLimits, TheQueueLimitInKibibytesBecomesBytes) {
    const struct {
        const char* Text;
        uint32_t Bytes;
    } cases[] = {
        {"128\n", 131072}, {"32767\n", 32767u * 1024}, {" 64 \n", 65536}, {"1", 1024},
        {"4194304\n", 0xFFFFFFFFu},  // 4 GiB does not fit: held at the largest
        {"99999999999999999999\n", 0xFFFFFFFFu}, {"99999999999999999999x\n", 0},
        {"", 0}, {"\n", 0}, {"abc\n", 0}, {"128 KiB\n", 0}, {"-5\n", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseQueueLimitKiB(c.Text), c.Bytes) << c.Text;
    EXPECT_EQ(ParseQueueCount("254\n"), 254u);
    EXPECT_EQ(ParseQueueCount("99999999999999999999\n"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseQueueCount("x\n"), 0u);
}

// A user buffer takes one segment per page, and may start inside a page.
TEST(DriveLimits, TheLargestTransferIsTheSmallerOfTheSectorAndSegmentLimits) {
    const struct {
        const char* What;
        uint32_t Sectors, Segments, Page, Expected;
    } cases[] = {
        {"virtio-scsi: 254 segments under a 4 MiB sector limit", 4096 * 1024, 254, 4096, 253 * 4096},
        {"sectors smaller than the segments allow", 120 * 1024, 128, 4096, 120 * 1024},
        {"segments unknown", 512 * 1024, 0, 4096, 512 * 1024},
        {"sectors unknown", 0, 168, 4096, 167 * 4096},
        {"one segment still takes a page", 0, 1, 4096, 4096},
        {"64 KiB pages", 0, 254, 65536, 253 * 65536},
        {"nothing known", 0, 0, 4096, 0},
        {"segments past 32 bits of bytes are held", 0, 0xFFFFFFFFu, 4096, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) EXPECT_EQ(LargestTransfer(c.Sectors, c.Segments, c.Page), c.Expected) << c.What;
}

// What would let the user open a node: only the change that helps.
TEST(DriveAccess, TheAdviceNamesWhatWouldActuallyHelp) {
    constexpr uint32_t kUser = 1000, kCdrom = 24, kUsers = 100;
    const struct {
        const char* What;
        uint32_t Mode, Owner;
        std::vector<uint32_t> Groups;
        bool Listed;
        NodeAccess Access;
        std::string Expected;
    } cases[] = {
        {"group may write, user not in it", 0660, 0, {kUsers}, false, NodeAccess::Write,
         "add the user to group cdrom"},
        {"group may read, user not in it", 0640, 0, {kUsers}, false, NodeAccess::Read,
         "add the user to group cdrom"},
        {"added to the group after this login began", 0660, 0, {kUsers}, true, NodeAccess::Write,
         "the user is in group cdrom since this login began: log in again"},
        {"mode 0444: no group may write", 0444, 0, {kUsers, kCdrom}, true, NodeAccess::Write,
         "its mode 0444 gives group cdrom no write access: change the node's mode (a udev rule) or run as root"},
        {"mode 0600: joining the group does not help", 0600, 0, {kUsers}, false, NodeAccess::Read,
         "its mode 0600 gives group cdrom no read access: change the node's mode (a udev rule) or run as root"},
        {"already in the group, which may write", 0660, 0, {kUsers, kCdrom}, true, NodeAccess::Write,
         "its mode 0660 allows it: an ACL or a security module refuses it"},
        {"others may write", 0666, 0, {kUsers}, false, NodeAccess::Write,
         "its mode 0666 allows it: an ACL or a security module refuses it"},
        {"the user owns a node it may not write", 0440, kUser, {kUsers}, false, NodeAccess::Write,
         "its mode 0440 denies its owner write access: change the node's mode"},
    };
    for (const auto& c : cases) {
        NodeOwnership node;
        node.Mode = 020000 | c.Mode;  // a character device
        node.Owner = c.Owner;
        node.Group = kCdrom;
        node.GroupName = "cdrom";
        UserIdentity user;
        user.Uid = kUser;
        user.Groups = c.Groups;
        user.ListedInNodeGroup = c.Listed;
        EXPECT_EQ(AccessAdvice(node, user, c.Access), c.Expected) << c.What;
    }
    NodeOwnership unnamed;
    unnamed.Mode = 0660;
    unnamed.Group = 5;
    EXPECT_EQ(AccessAdvice(unnamed, UserIdentity{kUser, {kUsers}, false}, NodeAccess::Write),
              "add the user to group #5");
    EXPECT_EQ(SystemAccessAdvice("/nonexistent/sr9", NodeAccess::Read), "");
}

}  // namespace
