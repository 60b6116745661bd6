// The virtual clock, and the clock a machine hands to its services and drives.
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "simdrive/SimMachine.h"

namespace {

TEST(VirtualClock, SleepAndAdvanceMoveTheTickAtOnce) {
    sim::VirtualClock clock(1000);
    const auto start = std::chrono::steady_clock::now();
    clock.Sleep(7000);
    clock.Sleep(7000);
    clock.Advance(500);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(clock.TickCount(), 1000u + 14500u);
    EXPECT_EQ(clock.TotalSleptMs(), 14000u);  // advancing is not sleeping
    EXPECT_TRUE(clock.IsVirtual());
}

TEST(VirtualClock, TickWrapsAtTwoToTheThirtySecond) {
    sim::VirtualClock clock(0xFFFFFF00u);
    const uint32_t before = clock.TickCount();
    clock.Sleep(0x200);
    const uint32_t after = clock.TickCount();
    EXPECT_EQ(after, 0x100u);
    EXPECT_EQ(after - before, 0x200u);  // unsigned differences stay right
}

TEST(VirtualClock, EveryReadCanMoveTheClockOn) {
    sim::VirtualClock clock(0);
    clock.SetAdvancePerRead(5);
    EXPECT_EQ(clock.TickCount(), 0u);
    EXPECT_EQ(clock.TickCount(), 5u);
    EXPECT_EQ(clock.TickCount(), 10u);
    clock.SetAdvancePerRead(0);
    EXPECT_EQ(clock.TickCount(), 15u);
    EXPECT_EQ(clock.TickCount(), 15u);
    EXPECT_EQ(clock.TotalSleptMs(), 0u);
}

TEST(VirtualClock, LocalTimeMovesWithTheVirtualTime) {
    struct Case {
        platform::LocalTime Set;
        uint32_t SleepMs;
        platform::LocalTime Expected;
    };
    const Case cases[] = {
        {{2004, 12, 31, 23, 59, 59, 500}, 1000, {2005, 1, 1, 0, 0, 0, 500}},
        {{2004, 2, 28, 23, 0, 0, 0}, 2 * 3600 * 1000, {2004, 2, 29, 1, 0, 0, 0}},
        {{2005, 2, 28, 23, 0, 0, 0}, 2 * 3600 * 1000, {2005, 3, 1, 1, 0, 0, 0}},
        {{2006, 3, 15, 10, 0, 0, 0}, 0, {2006, 3, 15, 10, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        sim::VirtualClock clock;
        clock.Sleep(12345);  // time before the setting does not count
        clock.SetLocalTime(c.Set);
        clock.Sleep(c.SleepMs);
        const platform::LocalTime t = clock.Now();
        const platform::LocalTime& e = c.Expected;
        EXPECT_EQ((std::vector<int>{t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Milliseconds}),
                  (std::vector<int>{e.Year, e.Month, e.Day, e.Hour, e.Minute, e.Second, e.Milliseconds}));
    }
}

TEST(VirtualClock, SleepsFromSeveralThreadsAllCount) {
    sim::VirtualClock clock(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                clock.Sleep(1);
                clock.TickCount();
            }
        });
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(clock.TotalSleptMs(), 4000u);
    EXPECT_EQ(clock.TickCount(), 4000u);
}

// TEST UNIT READY's answer: true once the drive has finished loading.
bool Ready(sim::SimDrive& drive) {
    const uint8_t testUnitReady[6] = {};
    sim::ScsiRequest request;
    request.Cdb = testUnitReady;
    request.CdbLength = sizeof testUnitReady;
    return drive.Execute(request).Status == sim::kStatusGood;
}

TEST(MachineClock, ServicesAndDrivesRunOnTheChosenClock) {
    sim::SimMachine machine;
    sim::DriveConfig config;
    config.BecomingReadyMs = 7000;
    sim::SimDrive& drive = machine.AttachDriveAtLetter('d', config);
    drive.InsertDisc(true);
    platform::IClock& clock = *machine.Services().Clock;
    EXPECT_TRUE(clock.IsVirtual());
    clock.Sleep(6999);
    EXPECT_FALSE(Ready(drive));
    clock.Sleep(1);
    EXPECT_TRUE(Ready(drive)) << "the drive loads on the services' clock";
    EXPECT_EQ(machine.Clock().TotalSleptMs(), 7000u);
    EXPECT_EQ(&machine.ActiveClock(), &machine.Clock());

    machine.RealClock = true;
    EXPECT_FALSE(clock.IsVirtual());
    EXPECT_NE(&machine.ActiveClock(), &machine.Clock());
}

}  // namespace
