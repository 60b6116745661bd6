// Numbers, sizes, times and the text that names the running system.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <string>

#include "drive/TextHelpers.h"
#include "platform/Host.h"
#include "simdrive/SimMachine.h"

namespace {

TEST(FormatNumber, FourModesPaddedOrNotOn32BitValues) {
    struct Case {
        uint32_t value;
        uint8_t padded;
        int mode;
        const char* expected;
    } cases[] = {
        {255, 0, 0, "FF h"},
        {255, 0, 1, "255"},
        {255, 0, 2, "255(FF h)"},
        {255, 0, 3, "FF h(255)"},
        {255, 1, 0, "FF       h"},
        {255, 1, 1, "255     "},
        {255, 1, 2, "255     (FF       h)"},
        {255, 1, 3, "FF       h(255     )"},
        {0, 0, 2, "0(0 h)"},
        // The decimal form is the signed 32-bit value, the hexadecimal form
        // the unsigned one, whatever the width of long.
        {0xFFFFFFFFu, 0, 1, "-1"},
        {0xFFFFFFFFu, 0, 0, "FFFFFFFF h"},
        {0x80000000u, 0, 2, "-2147483648(80000000 h)"},
        {0x7FFFFFFFu, 1, 3, "7FFFFFFF h(2147483647)"},
        {12345678, 1, 1, "12345678"},
        {255, 0, 4, ""},
        {255, 1, -1, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(drive::FormatNumber(c.value, c.padded, c.mode), c.expected)
            << c.value << " padded " << int(c.padded) << " mode " << c.mode;
}

TEST(FormatSeconds, HoursAreNotWrapped) {
    struct Case {
        uint32_t seconds;
        const char* expected;
    } cases[] = {
        {0, "00:00:00"},         {59, "00:00:59"},          {3661, "01:01:01"},
        {86399, "23:59:59"},     {86400, "24:00:00"},       {359999, "99:59:59"},
        {360000, "100:00:00"},   {0xFFFFFFFFu, "1193046:28:15"},
    };
    for (const Case& c : cases) EXPECT_EQ(drive::FormatSeconds(c.seconds), c.expected) << c.seconds;
}

TEST(FormatDiscSize, TheUnitFollowsTheDecimalMagnitudeOfTheBlockCount) {
    struct Case {
        uint32_t blocks;
        const char* expected;
    } cases[] = {
        {0, "0 KB"},           {1, "2 KB"},              {999, "1998 KB"},
        {1000, "2.0 MB"},      {359847, "702.8 MB"},     {999999, "1953.1 MB"},
        {1000000, "1.9 GB"},   {2295104, "4.4 GB"},      {4173824, "8.0 GB"},
        {0xFFFFFFFFu, "8192.0 GB"},
    };
    for (const Case& c : cases) EXPECT_EQ(drive::FormatDiscSize(c.blocks), c.expected) << c.blocks;
}

TEST(FormatNow, ReadsTheMachinesLocalTime) {
    sim::SimMachine machine;
    machine.Clock().SetLocalTime({2006, 3, 5, 9, 7, 2, 0});
    machine.Install();
    EXPECT_EQ(drive::FormatNow(0), "2006/03/05 09:07:02");
    EXPECT_EQ(drive::FormatNow(1), "2006/03/05");
    EXPECT_EQ(drive::FormatNow(2), "09:07:02");
    EXPECT_EQ(drive::FormatNow(3), "");
}

TEST(ReadBigEndian, MostSignificantByteFirst) {
    const uint8_t bytes[4] = {0x80, 0x01, 0xFE, 0x7F};
    EXPECT_EQ(drive::ReadBigEndian32(bytes), 0x8001FE7Fu);
    EXPECT_EQ(drive::ReadBigEndian16(bytes), 0x8001);
}

// ---- the running system --------------------------------------------------------

constexpr char kProductOptions[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kHotfix[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

struct Machine {
    const char* what;
    uint32_t platformId, major, minor, build;
    const char* servicePack;
    uint8_t productType;
    uint16_t suite;
    bool extendedFails = false;
    std::string productTypeValue = {};  // registry value; empty: no ProductOptions key
    bool hotfix = false;
    bool plainFails = false;
};

std::string VersionTextOn(const Machine& m) {
    sim::SimMachine machine;
    if (m.platformId == 1)
        machine.Set9xFamily(m.major, m.minor, m.build, m.servicePack);
    else
        machine.SetNtFamily(m.major, m.minor, m.build, m.servicePack);
    platform::OsVersionInfo& record = machine.VersionRecord();
    record.PlatformId = m.platformId;
    record.BuildNumber = m.build;
    record.ProductType = m.productType;
    record.SuiteMask = m.suite;
    machine.ExtendedQueryFails = m.extendedFails;
    machine.PlainQueryFails = m.plainFails;
    if (!m.productTypeValue.empty()) machine.Registry[kProductOptions]["ProductType"] = m.productTypeValue;
    if (m.hotfix) machine.Registry[kHotfix]["Installed"] = std::string("\1\0\0\0", 4);
    machine.Install();
    return drive::GetWindowsVersionText();
}

TEST(WindowsVersionText, NamesEveryWindowsFromItsVersionRecords) {
    const std::string winnt = std::string("WinNT") + '\0';
    const Machine cases[] = {
        {"XP Professional", 2, 5, 1, 2600, "Service Pack 2", 1, 0x0100},
        {"XP Home", 2, 5, 1, 2600, "Service Pack 1", 1, 0x0300},
        {"2000 Professional, build in the low word", 2, 5, 0, 0x05000893, "Service Pack 4", 1, 0},
        {"2000 Server", 2, 5, 0, 2195, "Service Pack 4", 3, 0},
        {"2000 Advanced Server", 2, 5, 0, 2195, "", 3, 0x0002},
        {"2000 Datacenter Server", 2, 5, 0, 2195, "", 3, 0x0082},
        {"2003 Datacenter", 2, 5, 2, 3790, "", 3, 0x0082},
        {"2003 Enterprise", 2, 5, 2, 3790, "Service Pack 1", 3, 0x0002},
        {"2003 Web", 2, 5, 2, 3790, "", 3, 0x0400},
        {"2003 Standard: Web only with no other suite bit", 2, 5, 2, 3790, "", 3, 0x0410},
        {"2003 domain controller: no edition", 2, 5, 2, 3790, "", 2, 0},
        {"NT 4 Workstation", 2, 4, 0, 1381, "Service Pack 5", 1, 0},
        {"NT 4 SP6 without the hotfix key", 2, 4, 0, 1381, "Service Pack 6", 1, 0},
        {"NT 4 SP6a", 2, 4, 0, 1381, "service pack 6", 1, 0, false, {}, true},
        {"NT 4 Server", 2, 4, 0, 1381, "Service Pack 3", 3, 0},
        {"NT 4 Server Enterprise", 2, 4, 0, 1381, "Service Pack 3", 3, 0x0002},
        {"NT 3.51", 2, 3, 51, 1057, "Service Pack 5", 1, 0},
        {"a later NT: no name, the edition still", 2, 6, 0, 6001, "Service Pack 1", 1, 0},
        {"NT 4 before SP4: registry WinNT", 2, 4, 0, 1381, "Service Pack 3", 0, 0, true, winnt},
        {"registry LanmanNT", 2, 4, 0, 1381, "Service Pack 3", 0, 0, true,
         std::string("LANMANNT") + '\0'},
        {"registry ServerNT", 2, 4, 0, 1381, "Service Pack 6", 0, 0, true,
         std::string("ServerNT") + '\0', true},
        {"registry value unknown", 2, 4, 0, 1381, "Service Pack 3", 0, 0, true,
         std::string("Terminal") + '\0'},
        {"registry value of 80 bytes without a NUL", 2, 4, 0, 1381, "Service Pack 3", 0, 0, true,
         "WINNT" + std::string(75, ' ')},
        {"registry value longer than 80 bytes", 2, 4, 0, 1381, "Service Pack 3", 0, 0, true,
         std::string(81, 'W')},
        {"no ProductOptions key", 2, 4, 0, 1381, "Service Pack 3", 0, 0, true},
        {"95", 1, 4, 0, 950, "", 0, 0},
        {"95 OSR2 (B)", 1, 4, 0, 1111, " B", 0, 0},
        {"95 OSR2 (C)", 1, 4, 0, 1212, " C", 0, 0},
        {"98", 1, 4, 10, 1998, " ", 0, 0},
        {"98 Second Edition", 1, 4, 10, 2222, " A ", 0, 0},
        {"ME", 1, 4, 90, 3000, " ", 0, 0},
        {"an unknown 9x version", 1, 4, 20, 1, "", 0, 0},
        {"Win32s", 0, 1, 30, 1, "", 0, 0},
        {"an unknown platform", 3, 1, 0, 1, "", 0, 0},
        {"both queries fail", 2, 5, 1, 2600, "Service Pack 2", 1, 0, true, {}, false, true},
    };
    const char* expected[] = {
        "Windows XP Professional Service Pack 2 (Build 2600)",
        "Windows XP Home Edition Service Pack 1 (Build 2600)",
        "Windows 2000 Professional Service Pack 4 (Build 2195)",
        "Windows 2000 Server Service Pack 4 (Build 2195)",
        "Windows 2000 Advanced Server  (Build 2195)",
        "Windows 2000 Datacenter Server  (Build 2195)",
        "Windows .NET Server 2003 family Datacenter Edition  (Build 3790)",
        "Windows .NET Server 2003 family Enterprise Edition Service Pack 1 (Build 3790)",
        "Windows .NET Server 2003 family Web Edition  (Build 3790)",
        "Windows .NET Server 2003 family Standard Edition  (Build 3790)",
        "Windows .NET Server 2003 family  (Build 3790)",
        "Windows NT Workstation 4.0 Service Pack 5 (Build 1381)",
        "Windows NT Workstation 4.0 Service Pack 6 (Build 1381)",
        "Windows NT Workstation 4.0 Service Pack 6a (Build 1381)",
        "Windows NT Server 4.0 Service Pack 3 (Build 1381)",
        "Windows NT Server 4.0, Enterprise Edition Service Pack 3 (Build 1381)",
        "Windows NT Professional Service Pack 5 (Build 1057)",
        "Professional Service Pack 1 (Build 6001)",
        "Windows NT Workstation Service Pack 3 (Build 1381)",
        "Windows NT Server Service Pack 3 (Build 1381)",
        "Windows NT Advanced Server Service Pack 6a (Build 1381)",
        "Windows NT Service Pack 3 (Build 1381)",
        "Windows NT Service Pack 3 (Build 1381)",
        "Windows NT ",
        "Windows NT ",
        "Windows 95 ",
        "Windows 95 OSR2 ",
        "Windows 95 OSR2 ",
        "Windows 98 ",
        "Windows 98 SE ",
        "Windows ME ",
        "",
        "Microsoft Win32s",
        "",
        "",
    };
    static_assert(std::size(cases) == std::size(expected));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(VersionTextOn(cases[i]), expected[i]) << cases[i].what;
}

TEST(WindowsVersionText, TheLinuxHostNamesItselfFromTheKernel) {
    platform::InstallLinuxHost();
    utsname names{};
    ASSERT_EQ(::uname(&names), 0);
    EXPECT_EQ(drive::GetWindowsVersionText(),
              std::string(names.sysname) + ' ' + names.release + ' ' + names.machine);
    platform::Uninstall();
}

}  // namespace
