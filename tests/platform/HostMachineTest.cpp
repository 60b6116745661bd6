// The Linux host's services over fake device and /proc trees, fake program
// runners and a fake effective user.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/ScratchDirectory.h"
#include "platform/Host.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::host;
using platform::ERROR_NO_SUCH_PRIVILEGE;
using platform::ERROR_NOT_ALL_ASSIGNED;
using platform::ERROR_SUCCESS;
using platform::Handle;
using platform::kShutdownPrivilegeLuid;
using platform::STILL_ACTIVE;
using platform::UsersSid;
using testsupport::ScratchDirectory;

// ---------------------------------------------------------------------------

class HostDrivesTest : public testing::Test {
protected:
    void SetUp() override {
        dev_.WriteFile("sr1", "");
        dev_.WriteFile("sr3", "");
        dev_.WriteFile("sda", "");
    }
    ScratchDirectory dev_;
    HostDrives drives_{HostDriveSystem{.DeviceDirectory = dev_.Path().string(), .Report = nullptr}};
};

TEST_F(HostDrivesTest, OnlyLettersOfExistingDevicesAreCdRoms) {
    const struct {
        const char* Root;
        unsigned Type;
    } cases[] = {{"d:", platform::DRIVE_NO_ROOT_DIR}, {"e:", platform::DRIVE_CDROM},
                 {"E:", platform::DRIVE_CDROM},       {"f:", platform::DRIVE_NO_ROOT_DIR},
                 {"g:", platform::DRIVE_CDROM},       {"c:", platform::DRIVE_NO_ROOT_DIR},
                 {"e", platform::DRIVE_NO_ROOT_DIR},  {"e:\\", platform::DRIVE_NO_ROOT_DIR},
                 {"", platform::DRIVE_NO_ROOT_DIR},   {nullptr, platform::DRIVE_NO_ROOT_DIR}};
    for (const auto& c : cases)
        EXPECT_EQ(drives_.GetDriveType(c.Root), c.Type) << (c.Root ? c.Root : "null");
}

TEST_F(HostDrivesTest, OpensOnlyTheDevicePathForm) {
    const struct {
        const char* Path;
        bool Opens;
    } cases[] = {{"\\\\.\\e:", true},   {"\\\\.\\E:", true},    {"\\\\.\\g:", true},
                 {"\\\\.\\d:", false},  {"\\\\.\\c:", false},   {"e:", false},
                 {"\\\\.\\e:\\", false}, {"//./e:", false},     {"\\\\.\\e", false},
                 {"\\\\?\\e:", false},  {"", false},            {nullptr, false}};
    for (const auto& c : cases) {
        const Handle handle = drives_.CreateFile(c.Path, platform::GENERIC_READ | platform::GENERIC_WRITE,
                                                 platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                                                 platform::OPEN_EXISTING, 0);
        EXPECT_EQ(handle != platform::kInvalidHandle, c.Opens) << (c.Path ? c.Path : "null");
        if (handle != platform::kInvalidHandle) {
            EXPECT_TRUE(drives_.CloseHandle(handle));
            EXPECT_FALSE(drives_.CloseHandle(handle)) << "closed twice";
        }
    }
    EXPECT_FALSE(drives_.CloseHandle(platform::kInvalidHandle));
}

// ---------------------------------------------------------------------------

class HostProcessListTest : public testing::Test {
protected:
    ScratchDirectory proc_;
};

TEST_F(HostProcessListTest, NamesComeFromTheExeLinkElseFromComm) {
    proc_.Link("1/exe", "/usr/lib/systemd/systemd");
    proc_.WriteFile("1/comm", "init-comm\n");
    proc_.Link("42/exe", "/opt/Roxio/directcd.exe (deleted)");
    proc_.WriteFile("77/comm", "HPAdvisor.exe\n");  // exe unreadable
    proc_.WriteFile("88/status", "");                // neither: gone
    proc_.Link("self", "42");
    proc_.WriteFile("cpuinfo", "");
    proc_.WriteFile("0123/comm", "leading-zero\n");
    proc_.WriteFile("99999999999/comm", "too-big\n");
    proc_.WriteFile("12ab/comm", "not-a-number\n");

    std::vector<platform::ProcessEntry> list;
    ASSERT_TRUE(ReadProcessList(proc_.Path().string(), list));
    std::sort(list.begin(), list.end(), [](auto& a, auto& b) { return a.ProcessId < b.ProcessId; });
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].ProcessId, 1u);
    EXPECT_EQ(list[0].ExeFile, "systemd");
    EXPECT_EQ(list[1].ProcessId, 42u);
    EXPECT_EQ(list[1].ExeFile, "directcd.exe");
    EXPECT_EQ(list[2].ProcessId, 77u);
    EXPECT_EQ(list[2].ExeFile, "HPAdvisor.exe");
}

TEST_F(HostProcessListTest, MissingTreeFailsAndLeavesTheList) {
    std::vector<platform::ProcessEntry> list{{5, "kept"}};
    HostProcesses processes((proc_.Path() / "absent").string());
    EXPECT_FALSE(processes.Snapshot(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].ExeFile, "kept");
}

TEST(HostProcesses, TheRealListHoldsThisProcess) {
    HostProcesses processes;
    std::vector<platform::ProcessEntry> list;
    ASSERT_TRUE(processes.Snapshot(list));
    const auto self = std::find_if(list.begin(), list.end(), [](auto& e) {
        return e.ProcessId == static_cast<uint32_t>(::getpid());
    });
    ASSERT_NE(self, list.end());
    EXPECT_EQ(self->ExeFile, fs::read_symlink("/proc/self/exe").filename().string());
}

TEST(HostProcesses, IdsThatWouldSignalProcessGroupsDoNotOpen) {
    HostProcesses processes;
    for (const uint32_t id : {0u, 0xFFFFFFFFu, static_cast<uint32_t>(INT_MAX) + 1u})
        EXPECT_EQ(processes.OpenProcess(id), 0) << id;
    for (const Handle handle : {Handle{0}, Handle{-1}, Handle{INT_MAX} + 1}) {
        EXPECT_FALSE(processes.TerminateProcess(handle, 0)) << handle;
        uint32_t code = 0;
        EXPECT_FALSE(processes.GetExitCodeProcess(handle, code)) << handle;
    }
}

TEST(HostProcesses, TerminatesAnOpenedProcessWithSigterm) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (;;) ::pause();
    }
    HostProcesses processes;
    const Handle handle = processes.OpenProcess(static_cast<uint32_t>(child));
    ASSERT_NE(handle, 0);
    uint32_t code = 0;
    ASSERT_TRUE(processes.GetExitCodeProcess(handle, code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_TRUE(processes.TerminateProcess(handle, code));
    EXPECT_TRUE(processes.CloseHandle(handle));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    // Reaped: nothing left to open.
    EXPECT_EQ(processes.OpenProcess(static_cast<uint32_t>(child)), 0);
}

// ---------------------------------------------------------------------------

uid_t Root() { return 0; }
uid_t User() { return 1000; }

// The effective capability set decides the Administrators group: the
// download needs CAP_SYS_RAWIO (bit 17), which root normally has and a
// container's root may lack; the restart stays with root.
TEST(HostSecurity, TheRawIoCapabilityMakesTheAdministrator) {
    const struct {
        const char* Name;
        uid_t (*EffectiveUser)();
        const char* Status;  // nullptr: no status file
        bool Readable;
        bool Administrator;
        uint32_t ErrorAfterAdjust;
    } cases[] = {
        {"root", Root, "Name:\tPelmora\nCapInh:\t0000000000000000\nCapEff:\t000001ffffffffff\n", true, true,
         ERROR_SUCCESS},
        {"container root", Root, "CapPrm:\t00000000a80425fb\nCapEff:\t00000000a80425fb\n", true, false,
         ERROR_SUCCESS},
        {"user with the capability", User, "CapEff:\t0000000000020000\n", true, true, ERROR_NOT_ALL_ASSIGNED},
        {"user", User, "CapEff:\t0000000000000000\n", true, false, ERROR_NOT_ALL_ASSIGNED},
        {"no CapEff line", Root, "CapPrm:\t000001ffffffffff\n", false, false, ERROR_SUCCESS},
        {"no status file", Root, nullptr, false, false, ERROR_SUCCESS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        ScratchDirectory proc;
        if (c.Status != nullptr) proc.WriteFile("status", c.Status);
        HostSecurity security(c.EffectiveUser, (proc.Path() / "status").string());
        Handle token = 0;
        ASSERT_TRUE(security.OpenProcessToken(platform::TOKEN_QUERY | platform::TOKEN_ADJUST_PRIVILEGES, token));
        EXPECT_NE(token, 0);
        std::vector<platform::Sid> groups{platform::AdministratorsSid()};
        EXPECT_EQ(security.GetTokenGroups(token, groups), c.Readable);
        const platform::Sid expected =
            !c.Readable || c.Administrator ? platform::AdministratorsSid() : platform::UsersSid();
        EXPECT_EQ(groups, std::vector<platform::Sid>{expected}) << "an unreadable list is left as it was";
        uint64_t luid = 0;
        ASSERT_TRUE(security.LookupPrivilegeValue("SeShutdownPrivilege", luid));
        EXPECT_TRUE(security.AdjustTokenPrivileges(token, luid));
        EXPECT_EQ(security.GetLastError(), c.ErrorAfterAdjust);
        EXPECT_TRUE(security.CloseHandle(token));
        EXPECT_EQ(platform::ProcessTokenHasAdministrators(security), c.Administrator);
    }
}

TEST(HostSecurity, EffectiveCapabilitiesFromTheStatusText) {
    const struct {
        const char* Status;
        bool Parsed;
        uint64_t Capabilities;
    } cases[] = {
        {"CapEff:\t000001ffffffffff\n", true, 0x1ffffffffffull},
        {"Name:\tx\nCapEff:\t0000000000020000", true, 0x20000},
        {"CapEff:  00000000A80425FB  \nCapBnd:\t0\n", true, 0xa80425fb},
        {"CapEff:\tffffffffffffffff\n", true, ~uint64_t{0}},
        {"CapEff:\t1ffffffffffffffff\n", false, 0},  // wider than the set
        {"CapEff:\t\n", false, 0},
        {"CapEff:\t00zz\n", false, 0},
        {"XCapEff:\t0000000000020000\n", false, 0},
        {"", false, 0},
    };
    for (const auto& c : cases) {
        uint64_t capabilities = 0;
        EXPECT_EQ(ParseEffectiveCapabilities(c.Status, capabilities), c.Parsed) << c.Status;
        if (c.Parsed) {
            EXPECT_EQ(capabilities, c.Capabilities) << c.Status;
        }
    }
}

TEST(HostSecurity, UnknownPrivilegesAndTokensFail) {
    HostSecurity security(Root);
    uint64_t luid = 77;
    EXPECT_FALSE(security.LookupPrivilegeValue("SeDebugPrivilege", luid));
    EXPECT_FALSE(security.LookupPrivilegeValue(nullptr, luid));
    EXPECT_EQ(luid, 77u);
    EXPECT_EQ(security.GetLastError(), ERROR_NO_SUCH_PRIVILEGE);
    Handle token = 0;
    ASSERT_TRUE(security.OpenProcessToken(platform::TOKEN_ADJUST_PRIVILEGES, token));
    EXPECT_FALSE(security.AdjustTokenPrivileges(token, 77));
    EXPECT_NE(security.GetLastError(), ERROR_SUCCESS);
    std::vector<platform::Sid> groups{UsersSid()};
    EXPECT_FALSE(security.GetTokenGroups(token + 1, groups));
    EXPECT_EQ(groups, std::vector<platform::Sid>{UsersSid()});
    EXPECT_FALSE(security.AdjustTokenPrivileges(token + 1, kShutdownPrivilegeLuid));
}

// A token service with a scripted group list, to check the administrators test.
class FakeSecurity : public platform::ISecurity {
public:
    bool TokenOpens = true;
    bool GroupsReadable = true;
    std::vector<platform::Sid> Groups;
    int Closed = 0;

    bool OpenProcessToken(uint32_t, Handle& token) override {
        token = TokenOpens ? 9 : 0;
        return TokenOpens;
    }
    bool GetTokenGroups(Handle, std::vector<platform::Sid>& groups) override {
        // A failing read that still leaves data behind must not be walked.
        groups = Groups;
        return GroupsReadable;
    }
    bool LookupPrivilegeValue(const char*, uint64_t&) override { return false; }
    bool AdjustTokenPrivileges(Handle, uint64_t) override { return false; }
    uint32_t GetLastError() override { return 0; }
    bool CloseHandle(Handle) override {
        ++Closed;
        return true;
    }
};

TEST(AdministratorsCheck, CountsAnyListedAdministratorsEntryOfAReadableToken) {
    const platform::Sid admins = platform::AdministratorsSid();
    const platform::Sid otherAuthority{{0, 0, 0, 0, 0, 1}, {32, 544}};
    const platform::Sid longer{{0, 0, 0, 0, 0, 5}, {32, 544, 1}};
    const struct {
        const char* Name;
        bool TokenOpens;
        bool GroupsReadable;
        std::vector<platform::Sid> Groups;
        bool Administrator;
    } cases[] = {
        {"token does not open", false, true, {admins}, false},
        {"groups unreadable", true, false, {admins}, false},
        {"administrators among others", true, true, {UsersSid(), admins}, true},
        {"deny-only administrators entry", true, true, {admins}, true},
        {"users only", true, true, {UsersSid()}, false},
        {"no groups", true, true, {}, false},
        {"same numbers, other authority", true, true, {otherAuthority}, false},
        {"administrators with an extra sub-authority", true, true, {longer}, false},
    };
    for (const auto& c : cases) {
        FakeSecurity security;
        security.TokenOpens = c.TokenOpens;
        security.GroupsReadable = c.GroupsReadable;
        security.Groups = c.Groups;
        EXPECT_EQ(platform::ProcessTokenHasAdministrators(security), c.Administrator) << c.Name;
        EXPECT_EQ(security.Closed, c.TokenOpens ? 1 : 0) << c.Name;
    }
}

// ---------------------------------------------------------------------------

struct RecordingRunner {
    bool Answer = true;
    std::vector<std::vector<std::string>> Runs;
    ProgramRunner Runner() {
        return [this](const std::vector<std::string>& argv) {
            Runs.push_back(argv);
            return Answer;
        };
    }
};

TEST(HostRestart, OnlyTheRebootFlagAsksTheSystem) {
    for (const bool accepted : {true, false}) {
        RecordingRunner runner;
        runner.Answer = accepted;
        HostRestart restart(runner.Runner());
        EXPECT_EQ(restart.ExitWindowsEx(platform::EWX_REBOOT, 0), accepted);
        ASSERT_EQ(runner.Runs.size(), 1u);
        EXPECT_EQ(runner.Runs[0], (std::vector<std::string>{"systemctl", "reboot"}));
    }
    RecordingRunner runner;
    HostRestart restart(runner.Runner());
    for (const uint32_t flags : {0u, 1u, 8u, platform::EWX_REBOOT | 4u})
        EXPECT_FALSE(restart.ExitWindowsEx(flags, 0)) << flags;
    EXPECT_TRUE(runner.Runs.empty());
}

TEST(HostShell, NotepadOpensTheFileInTheDesktopViewer) {
    const struct {
        const char* Verb;
        const char* File;
        const char* Parameters;
        std::vector<std::string> Started;  // empty: nothing started, false
    } cases[] = {
        {"open", "Notepad.exe", "Corvan CE/Corvan_CE.LOG", {"xdg-open", "Corvan CE/Corvan_CE.LOG"}},
        {"open", "NOTEPAD.EXE", "a.log", {"xdg-open", "a.log"}},
        {nullptr, "notepad.exe", "a.log", {"xdg-open", "a.log"}},
        {"OPEN", "/usr/bin/gedit", "a.log", {"/usr/bin/gedit", "a.log"}},
        {"open", "viewer", nullptr, {"viewer"}},
        {"open", "viewer", "", {"viewer"}},
        {"open", "Notepad.exe", "", {}},
        {"open", "Notepad.exe", nullptr, {}},
        {"print", "Notepad.exe", "a.log", {}},
        {"open", "", "a.log", {}},
        {"open", nullptr, "a.log", {}},
    };
    for (const auto& c : cases) {
        RecordingRunner runner;
        HostShell shell(runner.Runner());
        const bool started = shell.ShellExecute(nullptr, c.Verb, c.File, c.Parameters, 3);
        EXPECT_EQ(started, !c.Started.empty()) << (c.File ? c.File : "null");
        if (c.Started.empty())
            EXPECT_TRUE(runner.Runs.empty());
        else
            EXPECT_EQ(runner.Runs, std::vector<std::vector<std::string>>{c.Started});
    }
    RecordingRunner failing;
    failing.Answer = false;
    EXPECT_FALSE(HostShell(failing.Runner()).ShellExecute(nullptr, "open", "Notepad.exe", "a.log", 3));
}

TEST(ProgramRunners, ReportExitStatusAndFailedStarts) {
    EXPECT_TRUE(RunAndWait({"true"}));
    EXPECT_FALSE(RunAndWait({"false"}));
    EXPECT_FALSE(RunAndWait({"/nonexistent/program"}));
    EXPECT_FALSE(RunAndWait({}));
    EXPECT_TRUE(StartDetached({"true"}));
    EXPECT_FALSE(StartDetached({"/nonexistent/program"}));
    EXPECT_FALSE(StartDetached({}));
    // A detached program is nobody's child here.
    int status = 0;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
}

// ---------------------------------------------------------------------------

TEST(HostVersion, AnswersAsWindowsXpForEitherRecordSize) {
    HostVersion version;
    platform::OsVersionInfo plain;
    std::memset(&plain, 0xCC, sizeof plain);
    plain.OSVersionInfoSize = platform::kPlainVersionRecordSize;
    ASSERT_TRUE(version.GetVersionEx(plain));
    EXPECT_EQ(plain.PlatformId, platform::VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(plain.MajorVersion, 5u);
    EXPECT_EQ(plain.MinorVersion, 1u);
    EXPECT_EQ(plain.BuildNumber, 2600u);
    EXPECT_STREQ(plain.CSDVersion, "Service Pack 2");
    EXPECT_EQ(plain.OSVersionInfoSize, platform::kPlainVersionRecordSize);
    const auto* tail = reinterpret_cast<const uint8_t*>(&plain) + platform::kPlainVersionRecordSize;
    for (size_t i = 0; i < sizeof plain - platform::kPlainVersionRecordSize; ++i)
        EXPECT_EQ(tail[i], 0xCC) << "byte " << platform::kPlainVersionRecordSize + i;

    platform::OsVersionInfo extended{};
    extended.OSVersionInfoSize = platform::kExtendedVersionRecordSize;
    ASSERT_TRUE(version.GetVersionEx(extended));
    EXPECT_EQ(extended.PlatformId, platform::VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(extended.ServicePackMajor, 2);
    EXPECT_EQ(extended.ServicePackMinor, 0);
    EXPECT_EQ(extended.ProductType, 1);
    EXPECT_EQ(extended.SuiteMask & 0x0200, 0) << "not a Home Edition";

    for (const uint32_t size : {0u, 100u, 147u, 149u, 157u}) {
        platform::OsVersionInfo other;
        std::memset(&other, 0xCC, sizeof other);
        other.OSVersionInfoSize = size;
        const platform::OsVersionInfo before = other;
        EXPECT_FALSE(version.GetVersionEx(other)) << size;
        EXPECT_EQ(std::memcmp(&other, &before, sizeof other), 0) << size;
    }
}

// No ASPI library exists on Linux, and the host loads nothing in its place.
TEST(HostLibraries, FindNothing) {
    HostLibraries libraries;
    for (const char* name : {"WNASPI32.DLL", "wnaspi32.so", "libc.so.6", "", static_cast<const char*>(nullptr)})
        EXPECT_EQ(libraries.LoadLibrary(name), nullptr) << (name != nullptr ? name : "null");
    int anything = 0;
    EXPECT_EQ(libraries.GetProcAddress(&anything, "SendASPI32Command"), nullptr);
}

TEST(HostClock, NowIsTheLocalCalendarTime) {
    HostClock clock;
    const time_t before = ::time(nullptr);
    const platform::LocalTime now = clock.Now();
    tm local{};
    ::localtime_r(&before, &local);
    EXPECT_EQ(now.Year, local.tm_year + 1900);
    EXPECT_GE(now.Month, 1);
    EXPECT_LE(now.Month, 12);
    EXPECT_GE(now.Day, 1);
    EXPECT_LE(now.Day, 31);
    EXPECT_GE(now.Milliseconds, 0);
    EXPECT_LE(now.Milliseconds, 999);
    EXPECT_FALSE(clock.IsVirtual());
}

TEST(InstallLinuxHost, SetsEveryService) {
    platform::InstallLinuxHost();
    platform::Services& s = platform::Current();
    const void* members[] = {s.Version,  s.DriveType, s.DeviceOpen, s.DeviceControl, s.Libraries,
                             s.Clock,    s.CommandLine, s.Language, s.Processes,     s.Security,
                             s.Restart,  s.Registry,  s.Shell,      s.MessageBoxes};
    for (size_t i = 0; i < std::size(members); ++i) EXPECT_NE(members[i], nullptr) << "member " << i;
    Handle key = 5;
    EXPECT_FALSE(s.Registry->RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE,
                                          "SYSTEM\\CurrentControlSet\\Control\\ProductOptions", key));
    EXPECT_EQ(s.DriveType->GetDriveType("c:"), platform::DRIVE_NO_ROOT_DIR);
    platform::Uninstall();
}

}  // namespace
