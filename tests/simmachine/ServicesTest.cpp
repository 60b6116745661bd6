// The simulated machine's services apart from the drives' carriers: version,
// drive letters and opens, processes, security, restart, registry, shell and
// message boxes, and installing the machine.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "MachineTestSupport.h"
#include "platform/Win.h"

namespace {

using namespace simtest;
using platform::Handle;
using platform::OsVersionInfo;

class Services : public testing::Test {
protected:
    Services() { machine_.Install(); }
    platform::Services& Os() { return platform::Current(); }
    sim::SimMachine machine_;
};

// ---- version -----------------------------------------------------------------

OsVersionInfo Garbage(uint32_t size) {
    OsVersionInfo info;
    std::memset(&info, kGarbage, sizeof info);
    info.OSVersionInfoSize = size;
    return info;
}

TEST_F(Services, PlainQueryFillsOnlyThePlainRecord) {
    OsVersionInfo info = Garbage(platform::kPlainVersionRecordSize);
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(info.OSVersionInfoSize, 148u);
    EXPECT_EQ(info.PlatformId, platform::VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(info.MajorVersion, 5u);
    EXPECT_EQ(info.MinorVersion, 1u);
    EXPECT_EQ(info.BuildNumber, 2600u);
    EXPECT_STREQ(info.CSDVersion, "Service Pack 2");
    const auto* bytes = reinterpret_cast<const uint8_t*>(&info);
    for (size_t i = platform::kPlainVersionRecordSize; i < sizeof info; ++i) EXPECT_EQ(bytes[i], kGarbage) << i;
}

TEST_F(Services, ExtendedQueryFillsTheWholeRecord) {
    OsVersionInfo info = Garbage(platform::kExtendedVersionRecordSize);
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(info.OSVersionInfoSize, 156u);
    EXPECT_EQ(info.ServicePackMajor, 2);
    EXPECT_EQ(info.ServicePackMinor, 0);
    EXPECT_EQ(info.SuiteMask, 0);
    EXPECT_EQ(info.ProductType, 1);
}

TEST_F(Services, NinetyFiveFamilyKeepsTheVersionInTheBuildsHighWord) {
    machine_.Set9xFamily(4, 10, 2222, " A ");
    OsVersionInfo info = Garbage(platform::kPlainVersionRecordSize);
    ASSERT_TRUE(win::GetVersionExA(&info));
    EXPECT_EQ(info.PlatformId, platform::VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(info.BuildNumber, 0x040A08AEu);
    EXPECT_STREQ(info.CSDVersion, " A ");
}

TEST_F(Services, FailingQueriesLeaveTheRecordAsItWas) {
    machine_.PlainQueryFails = true;
    machine_.ExtendedQueryFails = true;
    for (uint32_t size : {148u, 156u, 0u, 152u, 200u}) {
        OsVersionInfo info = Garbage(size);
        const OsVersionInfo before = info;
        EXPECT_FALSE(win::GetVersionExA(&info)) << size;
        EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0) << size;
    }
    machine_.PlainQueryFails = false;
    OsVersionInfo info = Garbage(148);
    EXPECT_TRUE(win::GetVersionExA(&info));
}

// ---- drive letters and opens -------------------------------------------------

TEST_F(Services, DriveTypesOfRoots) {
    machine_.AttachDriveAtLetter('D');
    machine_.SetLetterType('e', 2);
    machine_.SetLetterType('f', platform::DRIVE_CDROM);
    struct Case {
        const char* Root;
        unsigned Expected;
    };
    const Case cases[] = {
        {"d:", platform::DRIVE_CDROM}, {"D:", platform::DRIVE_CDROM}, {"d:\\", platform::DRIVE_CDROM},
        {"c:", 3}, {"e:", 2}, {"f:", platform::DRIVE_CDROM}, {"g:", platform::DRIVE_NO_ROOT_DIR},
        {"", platform::DRIVE_NO_ROOT_DIR}, {"d", platform::DRIVE_NO_ROOT_DIR},
        {"dd:", platform::DRIVE_NO_ROOT_DIR}, {"1:", platform::DRIVE_NO_ROOT_DIR},
        {"d:/", platform::DRIVE_NO_ROOT_DIR},
    };
    for (const Case& c : cases) EXPECT_EQ(win::GetDriveTypeA(c.Root), c.Expected) << '"' << c.Root << '"';
    EXPECT_EQ(win::GetDriveTypeA(nullptr), platform::DRIVE_NO_ROOT_DIR);
}

TEST_F(Services, DeviceOpenTakesExactlyTheDevicePathOfADrive) {
    machine_.AttachDriveAtLetter('d');
    machine_.AttachDriveAtLetter('g');
    machine_.SetLetterOpenFails('g', true);
    machine_.SetLetterType('f', platform::DRIVE_CDROM);  // a CD letter with no device behind it
    struct Case {
        const char* Path;
        bool Opens;
    };
    const Case cases[] = {
        {"\\\\.\\d:", true},   {"\\\\.\\D:", true},   {"\\\\.\\g:", false}, {"\\\\.\\f:", false},
        {"\\\\.\\e:", false},  {"d:", false},         {"\\\\.\\d:\\", false}, {"\\\\?\\d:", false},
        {"\\\\.\\d", false},   {"//./d:", false},     {"", false},
    };
    for (const Case& c : cases) {
        const Handle h = win::CreateFileA(c.Path, 0, 0, platform::OPEN_EXISTING, 0);
        EXPECT_EQ(h != platform::kInvalidHandle, c.Opens) << c.Path;
    }
    EXPECT_EQ(win::CreateFileA(nullptr, 0, 0, 0, 0), platform::kInvalidHandle);
    machine_.SetLetterOpenFails('g', false);
    EXPECT_NE(win::CreateFileA("\\\\.\\g:", 0, 0, 0, 0), platform::kInvalidHandle);
}

TEST_F(Services, HandlesAreDistinctAndCloseOnce) {
    machine_.AttachDriveAtLetter('d');
    const Handle a = win::CreateFileA("\\\\.\\d:", 0, 0, 0, 0);
    const Handle b = win::CreateFileA("\\\\.\\d:", 0, 0, 0, 0);
    Handle token = 0;
    ASSERT_TRUE(Os().Security->OpenProcessToken(platform::TOKEN_QUERY, token));
    EXPECT_NE(a, b);
    EXPECT_NE(token, a);
    EXPECT_NE(token, b);
    EXPECT_GT(a, 0);
    EXPECT_TRUE(Os().DeviceOpen->CloseHandle(a));
    EXPECT_FALSE(Os().DeviceOpen->CloseHandle(a));
    EXPECT_FALSE(Os().DeviceOpen->CloseHandle(12345));
    EXPECT_FALSE(Os().DeviceOpen->CloseHandle(platform::kInvalidHandle));
    EXPECT_TRUE(Os().Security->CloseHandle(token));
    EXPECT_TRUE(Os().DeviceOpen->CloseHandle(b));
}

// ---- processes -----------------------------------------------------------------

TEST_F(Services, ProcessesAreListedOpenedAndTerminated) {
    machine_.Processes = {{100, "explorer.exe"}, {200, "directcd.exe"}, {300, "HPAdvisor.exe", false}};
    platform::IProcesses& p = *Os().Processes;
    std::vector<platform::ProcessEntry> list;
    ASSERT_TRUE(p.Snapshot(list));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].ProcessId, 200u);
    EXPECT_EQ(list[1].ExeFile, "directcd.exe");

    EXPECT_EQ(p.OpenProcess(300), 0);  // cannot be opened
    EXPECT_EQ(p.OpenProcess(999), 0);  // no such process
    const Handle h = p.OpenProcess(200);
    ASSERT_NE(h, 0);
    uint32_t code = 0;
    ASSERT_TRUE(p.GetExitCodeProcess(h, code));
    EXPECT_EQ(code, 259u);
    EXPECT_TRUE(p.TerminateProcess(h, code));
    EXPECT_FALSE(machine_.Processes[1].Running);
    EXPECT_EQ(machine_.Processes[1].TerminatedWith, 259u);
    EXPECT_FALSE(p.TerminateProcess(h, 0));  // already ended
    ASSERT_TRUE(p.GetExitCodeProcess(h, code));
    EXPECT_EQ(code, 259u);
    EXPECT_TRUE(p.CloseHandle(h));
    EXPECT_FALSE(p.GetExitCodeProcess(h, code));

    ASSERT_TRUE(p.Snapshot(list));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(p.OpenProcess(200), 0);  // ended processes do not open

    machine_.SnapshotFails = true;
    EXPECT_FALSE(p.Snapshot(list));
}

// ---- security --------------------------------------------------------------------

TEST_F(Services, TokenListsAdministratorsOnlyForAnAdministrator) {
    const platform::Sid users{{0, 0, 0, 0, 0, 5}, {32, 545}};
    for (bool admin : {true, false}) {
        SCOPED_TRACE(admin ? "administrator" : "user");
        machine_.Administrator = admin;
        Handle token = 0;
        ASSERT_TRUE(Os().Security->OpenProcessToken(platform::TOKEN_QUERY, token));
        std::vector<platform::Sid> groups;
        ASSERT_TRUE(Os().Security->GetTokenGroups(token, groups));
        EXPECT_EQ(std::count(groups.begin(), groups.end(), platform::AdministratorsSid()), admin ? 1 : 0);
        EXPECT_EQ(std::count(groups.begin(), groups.end(), users), 1);
        EXPECT_EQ(platform::ProcessTokenHasAdministrators(*Os().Security), admin);
        Os().Security->CloseHandle(token);
    }
}

TEST_F(Services, UnreadableTokenIsNoAdministrator) {
    platform::ISecurity& s = *Os().Security;
    machine_.TokenGroupsReadable = false;
    Handle token = 0;
    ASSERT_TRUE(s.OpenProcessToken(platform::TOKEN_QUERY, token));
    std::vector<platform::Sid> groups = {platform::AdministratorsSid()};
    EXPECT_FALSE(s.GetTokenGroups(token, groups));
    EXPECT_EQ(groups.size(), 1u);  // untouched
    EXPECT_FALSE(platform::ProcessTokenHasAdministrators(s));

    machine_.TokenGroupsReadable = true;
    machine_.TokenOpens = false;
    token = 77;
    EXPECT_FALSE(s.OpenProcessToken(platform::TOKEN_QUERY, token));
    EXPECT_EQ(token, 0);
    EXPECT_FALSE(platform::ProcessTokenHasAdministrators(s));
    EXPECT_FALSE(s.GetTokenGroups(12345, groups));
}

TEST_F(Services, ShutdownPrivilegeAdjustmentReportsThroughTheLastError) {
    platform::ISecurity& s = *Os().Security;
    uint64_t luid = 0;
    EXPECT_FALSE(s.LookupPrivilegeValue("SeDebugPrivilege", luid));
    ASSERT_TRUE(s.LookupPrivilegeValue("SeShutdownPrivilege", luid));
    Handle token = 0;
    ASSERT_TRUE(s.OpenProcessToken(platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY, token));
    for (bool fails : {false, true}) {
        machine_.PrivilegeAdjustFails = fails;
        EXPECT_TRUE(s.AdjustTokenPrivileges(token, luid));
        EXPECT_EQ(s.GetLastError(), fails ? 1300u : 0u);
    }
    // The last error belongs to the thread that made the call.
    uint32_t seenElsewhere = 99;
    std::thread([&] { seenElsewhere = s.GetLastError(); }).join();
    EXPECT_EQ(seenElsewhere, 0u);
    EXPECT_EQ(s.GetLastError(), 1300u);
    EXPECT_FALSE(s.AdjustTokenPrivileges(54321, luid));
}

// ---- restart ---------------------------------------------------------------------

TEST_F(Services, RestartRequestsAreRecordedAndAcceptedOnlyWhenAllowed) {
    int ended = 0;
    machine_.OnRestartAccepted([&] { ++ended; });
    machine_.RestartAccepted = false;
    EXPECT_FALSE(Os().Restart->ExitWindowsEx(platform::EWX_REBOOT, 0));
    EXPECT_EQ(ended, 0);
    machine_.RestartAccepted = true;
    EXPECT_TRUE(Os().Restart->ExitWindowsEx(platform::EWX_REBOOT, 7));
    EXPECT_EQ(ended, 1);
    ASSERT_EQ(machine_.RestartRequests().size(), 2u);
    EXPECT_FALSE(machine_.RestartRequests()[0].Accepted);
    EXPECT_TRUE(machine_.RestartRequests()[1].Accepted);
    EXPECT_EQ(machine_.RestartRequests()[1].Flags, platform::EWX_REBOOT);
    EXPECT_EQ(machine_.RestartRequests()[1].Reason, 7u);
}

// ---- registry --------------------------------------------------------------------

TEST_F(Services, RegistryValuesAreReadWhenTheyFit) {
    const char* keyPath = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
    machine_.Registry[keyPath]["ProductType"] = std::string("WINNT\0", 6);
    platform::IRegistry& r = *Os().Registry;
    Handle key = 0;
    EXPECT_FALSE(r.RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Nothing", key));
    EXPECT_FALSE(r.RegOpenKeyEx(0x80000001, keyPath, key));  // another root
    ASSERT_TRUE(r.RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE,
                               "system\\currentcontrolset\\control\\productoptions", key));

    struct Case {
        const char* Name;
        uint32_t Room;
        bool Reads;
        uint32_t Size;
    };
    const Case cases[] = {
        {"ProductType", 80, true, 6}, {"producttype", 6, true, 6}, {"ProductType", 5, false, 6},
        {"Missing", 80, false, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Name << " in " << c.Room);
        char data[80];
        std::memset(data, kGarbage, sizeof data);
        uint32_t size = c.Room;
        EXPECT_EQ(r.RegQueryValueEx(key, c.Name, data, size), c.Reads);
        EXPECT_EQ(size, c.Size);
        if (c.Reads) EXPECT_STREQ(data, "WINNT");
        else EXPECT_EQ(static_cast<uint8_t>(data[0]), kGarbage);
    }
    r.RegCloseKey(key);
    uint32_t size = 80;
    char data[80];
    EXPECT_FALSE(r.RegQueryValueEx(key, "ProductType", data, size));
}

// ---- shell and message boxes -----------------------------------------------------

TEST_F(Services, ShellCallsAreRecorded) {
    EXPECT_TRUE(Os().Shell->ShellExecute(nullptr, "open", "Notepad.exe", "C:\\LOG\\TEST.LOG", 3));
    ASSERT_EQ(machine_.ShellCalls().size(), 1u);
    EXPECT_EQ(machine_.ShellCalls()[0].Verb, "open");
    EXPECT_EQ(machine_.ShellCalls()[0].File, "Notepad.exe");
    EXPECT_EQ(machine_.ShellCalls()[0].Parameters, "C:\\LOG\\TEST.LOG");
    EXPECT_EQ(machine_.ShellCalls()[0].Show, 3);
}

TEST_F(Services, MessageBoxesAreRecordedEchoedAndAnsweredFromTheQueue) {
    machine_.QueueMessageBoxAnswer(platform::IDCANCEL);
    machine_.QueueMessageBoxAnswer(platform::IDYES);
    int owner = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(win::MessageBoxA(&owner, "Download OK!!\nRestart WINDOWS", "MESSAGE", platform::MB_OK),
              platform::IDCANCEL);
    EXPECT_EQ(win::MessageBoxA(nullptr, "Q", "C", platform::MB_YESNO), platform::IDYES);
    EXPECT_EQ(win::MessageBoxA(nullptr, "", "", platform::MB_OK), platform::IDOK);
    const std::string echoed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(echoed,
              "[MessageBox] MESSAGE: Download OK!!\\nRestart WINDOWS\n"
              "[MessageBox] C: Q\n"
              "[MessageBox] : \n");
    ASSERT_EQ(machine_.MessageBoxes().size(), 3u);
    EXPECT_EQ(machine_.MessageBoxes()[0].Owner, &owner);
    EXPECT_EQ(machine_.MessageBoxes()[0].Text, "Download OK!!\nRestart WINDOWS");
    EXPECT_EQ(machine_.MessageBoxes()[1].Flags, platform::MB_YESNO);
}

TEST_F(Services, MessageBoxesFromSeveralThreadsAreAllRecorded) {
    testing::internal::CaptureStderr();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 50; ++i) win::MessageBoxA(nullptr, "PASS !!", "MESSAGE", platform::MB_OK);
        });
    for (std::thread& t : threads) t.join();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(machine_.MessageBoxes().size(), 200u);
}

// ---- the rest of the services ----------------------------------------------------

TEST_F(Services, CommandLineAndLanguageAreTheMachines) {
    machine_.CommandLine = "Pelmora.exe -LIVE";
    machine_.LanguageId = 0x412;
    EXPECT_EQ(win::GetCommandLineA(), "Pelmora.exe -LIVE");
    EXPECT_EQ(win::GetSystemDefaultLangID(), 0x412);
}

TEST(SimMachineInstall, DestroyingTheInstalledMachineUninstallsIt) {
    {
        sim::SimMachine machine;
        machine.Install();
        EXPECT_TRUE(platform::IsInstalled());
    }
    EXPECT_FALSE(platform::IsInstalled());
}

TEST(SimMachineInstall, AnOlderMachineLeavesTheNewerOneInstalled) {
    auto older = std::make_unique<sim::SimMachine>();
    older->Install();
    sim::SimMachine newer;
    newer.LanguageId = 0x412;
    newer.Install();
    older.reset();
    ASSERT_TRUE(platform::IsInstalled());
    EXPECT_EQ(win::GetSystemDefaultLangID(), 0x412);
}

}  // namespace
