// The operating-system helpers and the disc check, on the simulated machine.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/Atapilib.h"
#include "download/Fwlib.h"
#include "drive/Transport.h"
#include "simdrive/SimMachine.h"

namespace {

constexpr uint32_t kStillActive = 259;

TEST(SysFunTest, KoreanLocaleIsTheTwoKoreanLanguageIds) {
    const struct {
        uint16_t id;
        bool korean;
    } cases[] = {{0x412, true}, {0x812, true}, {0x409, false}, {0x411, false},
                 {0x012, false}, {0x1412, false}, {0x0413, false}};
    for (const auto& c : cases) {
        sim::SimMachine machine;
        machine.LanguageId = c.id;
        machine.Install();
        EXPECT_EQ(SysFun.IsKoreanLocale(), c.korean) << std::hex << c.id;
    }
}

// A machine built for one case, and what a query answers on it.
template <typename T>
struct MachineCase {
    const char* what;
    std::function<void(sim::SimMachine&)> build;
    T expected;
};

template <typename T, typename Query>
void ExpectOnEachMachine(const std::vector<MachineCase<T>>& cases, Query query) {
    for (const MachineCase<T>& c : cases) {
        sim::SimMachine machine;
        c.build(machine);
        machine.Install();
        EXPECT_EQ(query(), c.expected) << c.what;
    }
}

TEST(SysFunTest, WindowsNtFromThePlatformId) {
    ExpectOnEachMachine<bool>(
        {
            {"NT family", [](sim::SimMachine& m) { m.SetNtFamily(); }, true},
            {"95/98/ME", [](sim::SimMachine& m) { m.Set9xFamily(); }, false},
            {"version query fails", [](sim::SimMachine& m) { m.SetNtFamily(); m.PlainQueryFails = true; }, false},
        },
        [] { return SysFun.IsWindowsNT(); });
}

// ---------------------------------------------------------------------------

class KillProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine.SetNtFamily();
        machine.SnapshotFails = false;
        machine.Processes = {
            {4, "System"},
            {100, "explorer.exe"},
            {200, "DirectCD.EXE"},
            {300, "directcd.exe"},
            {400, "hpadvisor.exe"},
        };
        machine.Install();
    }
    const sim::SimProcess& Process(uint32_t id) const {
        for (const sim::SimProcess& p : machine.Processes)
            if (p.ProcessId == id) return p;
        throw std::runtime_error("no such process");
    }

    sim::SimMachine machine;
};

TEST_F(KillProcessTest, EndsTheFirstMatchOnlyAndWaitsSevenSeconds) {
    EXPECT_EQ(SysFun.KillProcess("directcd.exe"), 1);
    EXPECT_FALSE(Process(200).Running);
    EXPECT_EQ(Process(200).TerminatedWith, kStillActive);  // its own exit code
    EXPECT_TRUE(Process(300).Running);
    EXPECT_TRUE(Process(400).Running);
    EXPECT_EQ(machine.Clock().TotalSleptMs(), 7000u);
}

TEST_F(KillProcessTest, InterferingProgramsEndInOrderSevenSecondsEach) {
    uint64_t sleptBefore[2] = {};
    int index = 0;
    for (const char* name : kInterferingPrograms) {
        sleptBefore[index++] = machine.Clock().TotalSleptMs();
        EXPECT_EQ(SysFun.KillProcess(name), 1) << name;
    }
    EXPECT_EQ(sleptBefore[1], 7000u);  // the second waited for the first
    EXPECT_FALSE(Process(200).Running);
    EXPECT_FALSE(Process(400).Running);
    EXPECT_EQ(machine.Clock().TotalSleptMs(), 14000u);
}

TEST_F(KillProcessTest, NothingEndedGivesZeroWithoutWaiting) {
    const struct {
        const char* what;
        std::function<void(sim::SimMachine&)> change;
        std::string name;
    } cases[] = {
        {"no such program", [](sim::SimMachine&) {}, "notepad.exe"},
        {"name must match whole", [](sim::SimMachine&) {}, "directcd"},
        {"a trailing blank counts", [](sim::SimMachine&) {}, "directcd.exe "},
        {"snapshot fails", [](sim::SimMachine& m) { m.SnapshotFails = true; }, "directcd.exe"},
        // The first match cannot be opened: the search ends, the second
        // match is not tried.
        {"first match cannot be opened", [](sim::SimMachine& m) { m.Processes[2].CanOpen = false; },
         "directcd.exe"},
    };
    for (const auto& c : cases) {
        SetUp();
        c.change(machine);
        EXPECT_EQ(SysFun.KillProcess(c.name), 0) << c.what;
        for (const sim::SimProcess& p : machine.Processes) EXPECT_TRUE(p.Running) << c.what;
        EXPECT_EQ(machine.Clock().TotalSleptMs(), 0u) << c.what;
    }
}

// ---------------------------------------------------------------------------

TEST(RebootSystemTest, RestartAskedOnlyWhenThePrivilegeIsEnabled) {
    const struct {
        const char* what;
        std::function<void(sim::SimMachine&)> build;
        int result;
        bool asked;
    } cases[] = {
        {"NT, privilege enabled", [](sim::SimMachine& m) { m.SetNtFamily(); }, 1, true},
        {"NT, adjustment fails", [](sim::SimMachine& m) { m.SetNtFamily(); m.PrivilegeAdjustFails = true; }, 0, false},
        {"NT, token does not open", [](sim::SimMachine& m) { m.SetNtFamily(); m.TokenOpens = false; }, 0, false},
        {"NT, restart refused", [](sim::SimMachine& m) { m.SetNtFamily(); m.RestartAccepted = false; }, 0, true},
        // No privilege is adjusted on 95/98/ME.
        {"9x", [](sim::SimMachine& m) { m.Set9xFamily(); m.TokenOpens = false; m.PrivilegeAdjustFails = true; }, 1, true},
    };
    for (const auto& c : cases) {
        sim::SimMachine machine;
        c.build(machine);
        machine.Install();
        EXPECT_EQ(SysFun.RebootSystem() != 0, c.result != 0) << c.what;
        ASSERT_EQ(machine.RestartRequests().size(), c.asked ? 1u : 0u) << c.what;
        if (c.asked) {
            EXPECT_EQ(machine.RestartRequests()[0].Flags, 2u) << c.what;
            EXPECT_EQ(machine.RestartRequests()[0].Reason, 0u) << c.what;
        }
    }
}

TEST(AuthorityTest, AdministratorsOnlyOnTheNtFamily) {
    ExpectOnEachMachine<bool>(
        {
            {"NT administrator", [](sim::SimMachine& m) { m.SetNtFamily(); }, true},
            {"NT user", [](sim::SimMachine& m) { m.SetNtFamily(); m.Administrator = false; }, false},
            {"NT, token does not open", [](sim::SimMachine& m) { m.SetNtFamily(); m.TokenOpens = false; }, false},
            {"NT, groups unreadable", [](sim::SimMachine& m) { m.SetNtFamily(); m.TokenGroupsReadable = false; }, false},
            {"9x user", [](sim::SimMachine& m) { m.Set9xFamily(); m.Administrator = false; m.TokenOpens = false; }, true},
        },
        [] { return HasDownloadAuthority(); });
}

// ---------------------------------------------------------------------------

class DiscCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        drive::ResetAspiLoader();
        machine.SetNtFamily();
        drv = &machine.AttachDriveAtLetter('d');
        machine.Install();
        ASSERT_EQ(AtapiLib.FindDrives(), 1);
        drv->ClearLog();
    }
    size_t TestUnitReadyCount() const {
        size_t n = 0;
        for (const sim::LoggedCommand& c : drv->LogSnapshot()) n += c.Cdb[0] == 0x00 ? 1 : 0;
        return n;
    }

    sim::SimMachine machine;
    sim::SimDrive* drv = nullptr;
};

TEST_F(DiscCheckTest, DiscAnswersAtTheFirstTry) {
    drv->InsertDisc(true);
    EXPECT_EQ(FwLib.CheckDiscLoaded(0, StateOk), StateDiscPresent);
    EXPECT_EQ(TestUnitReadyCount(), 1u);
    EXPECT_EQ(machine.Clock().TotalSleptMs(), 0u);
}

TEST_F(DiscCheckTest, NoDiscLeavesTheStateAfterFiveTries) {
    for (DownloadState state : {StateOk, StateOldVersion, StateFileNotOpened}) {
        drv->ClearLog();
        const uint64_t before = machine.Clock().TotalSleptMs();
        EXPECT_EQ(FwLib.CheckDiscLoaded(0, state), state);
        EXPECT_EQ(TestUnitReadyCount(), 5u);
        // 100 ms after every failed try, the fifth included.
        EXPECT_EQ(machine.Clock().TotalSleptMs() - before, 500u);
    }
}

TEST_F(DiscCheckTest, DiscThatBecomesReadyAnswersOnALaterTry) {
    drv->InsertDisc(true);
    for (uint32_t n = 1; n <= 2; ++n) {
        sim::Fault fault;
        fault.NthCommand = drv->CommandCount() + n;
        fault.SenseData = sim::kSenseBecomingReady;
        drv->AddFault(fault);
    }
    EXPECT_EQ(FwLib.CheckDiscLoaded(0, StateOk), StateDiscPresent);
    EXPECT_EQ(TestUnitReadyCount(), 3u);
    EXPECT_EQ(machine.Clock().TotalSleptMs(), 200u);
}

}  // namespace
