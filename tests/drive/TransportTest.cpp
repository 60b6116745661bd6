// Both carriers end to end against the simulated machine, through
// SendDriveCommand as every drive command of the programs goes.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "Carriers.h"
#include "drive/Enumeration.h"
#include "drive/Mmc.h"
#include "drive/Timing.h"
#include "drive/Transport.h"
#include "simdrive/SimMachine.h"

namespace {

using drivetest::Carrier;

const uint8_t kTestUnitReady[6] = {0x00, 0, 0, 0, 0, 0};
const uint8_t kInquiry36[6] = {0x12, 0, 0, 0, 0x24, 0};

class TransportTest : public ::testing::TestWithParam<Carrier> {
protected:
    void SetUp() override {
        drive::Settings = drive::TransportSettings{};
        machine = std::make_unique<sim::SimMachine>();
        sim::DriveConfig config;
        config.DiscLoaded = true;
        int found = 0;
        drv = &drivetest::AttachOnCarrier(*machine, GetParam(), config, found);
        ASSERT_EQ(found, 1);
        drv->ClearLog();
    }
    void TearDown() override { machine.reset(); }

    void FailNextWith(uint8_t status, uint8_t key, uint8_t asc, uint8_t ascq) {
        sim::Fault fault;
        fault.NthCommand = drv->CommandCount() + 1;
        fault.Status = status;
        fault.SenseData = {key, asc, ascq};
        drv->AddFault(fault);
    }

    std::unique_ptr<sim::SimMachine> machine;
    sim::SimDrive* drv = nullptr;
};

TEST_P(TransportTest, GoodCommandReturnsOneAndLeavesTheBufferAlone) {
    uint8_t buffer[254];
    std::memset(buffer, 0x5A, sizeof buffer);
    EXPECT_EQ(drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 1);
    EXPECT_EQ(buffer[2], 0x5A);
    ASSERT_EQ(drv->LogSnapshot().size(), 1u);
    EXPECT_EQ(drv->LogSnapshot()[0].Cdb[0], 0x00);
}

TEST_P(TransportTest, CheckConditionCopiesSenseIntoTheCallersBuffer) {
    struct Case {
        const char* what;
        uint32_t length;
        drive::Direction direction;
    } cases[] = {
        {"no-data command into its 14-byte buffer", 0, drive::Direction::In},
        {"data-in command", 14, drive::Direction::In},
        {"data-out command, into its outgoing data", 14, drive::Direction::Out},
    };
    for (const Case& c : cases) {
        uint8_t buffer[14];
        std::memset(buffer, 0x11, sizeof buffer);
        FailNextWith(sim::kStatusCheckCondition, 0x05, 0x24, 0x01);
        const uint8_t cdb[10] = {0x2A};
        EXPECT_EQ(drive::SendDriveCommand(0, cdb, 10, buffer, c.length, c.direction), 4) << c.what;
        EXPECT_EQ(buffer[2], 0x05) << c.what;
        EXPECT_EQ(buffer[12], 0x24) << c.what;
        EXPECT_EQ(buffer[13], 0x01) << c.what;
        EXPECT_EQ(buffer[0], 0x11) << c.what;   // only bytes 2, 12 and 13 change
        EXPECT_EQ(buffer[3], 0x11) << c.what;
        EXPECT_EQ(buffer[11], 0x11) << c.what;
    }
}

TEST_P(TransportTest, SenseByteTwoKeepsItsFlagBits) {
    uint8_t buffer[14] = {};
    FailNextWith(sim::kStatusCheckCondition, 0x22, 0x3A, 0x00);
    ASSERT_EQ(drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 4);
    const uint32_t code = (uint32_t(buffer[2]) << 16) | (buffer[12] << 8) | buffer[13];
    EXPECT_EQ(code, 0x223A00u);
    EXPECT_NE(code >> 8, 0x023Au);
}

TEST_P(TransportTest, DirectionZeroWithoutDataIsSentAsDataIn) {
    uint8_t buffer[14];
    ASSERT_EQ(drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 1);
    ASSERT_EQ(drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::Out), 1);
    ASSERT_EQ(drv->LogSnapshot().size(), 2u);
    // With no bytes to move the carrier still names a direction: data in for
    // direction 0, data out for any other.
    EXPECT_EQ(drv->LogSnapshot()[0].Direction, sim::DataDirection::In);
    EXPECT_EQ(drv->LogSnapshot()[0].DataLength, 0u);
    EXPECT_EQ(drv->LogSnapshot()[1].Direction, sim::DataDirection::Out);
    EXPECT_EQ(drv->LogSnapshot()[1].DataLength, 0u);
}

TEST_P(TransportTest, DataMovesInBothDirections) {
    uint8_t reply[36] = {};
    ASSERT_EQ(drive::SendDriveCommand(0, kInquiry36, 6, reply, 36, drive::Direction::In), 1);
    EXPECT_EQ(reply[0], 0x05);
    EXPECT_EQ(std::memcmp(reply + 8, "SIMDRIVE", 8), 0);

    uint8_t out[16];
    for (int i = 0; i < 16; ++i) out[i] = uint8_t(i * 3);
    const uint8_t unknown[10] = {0xEA};
    drive::SendDriveCommand(0, unknown, 10, out, 16, drive::Direction::Out);
    ASSERT_FALSE(drv->LogSnapshot().empty());
    const sim::LoggedCommand sent = drv->LogSnapshot().back();
    EXPECT_EQ(sent.Direction, sim::DataDirection::Out);
    ASSERT_EQ(sent.DataOut.size(), 16u);
    EXPECT_EQ(sent.DataOut[5], 15);
}

TEST_P(TransportTest, BusyStatusIsCheckCondition) {
    uint8_t buffer[14] = {};
    FailNextWith(sim::kStatusBusy, 0, 0, 0);
    EXPECT_EQ(drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 4);
}

TEST_P(TransportTest, SlotPastTheTablesNamesNoDrive) {
    uint8_t buffer[14] = {};
    EXPECT_EQ(drive::SendDriveCommand(26, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 0xFF);
    EXPECT_EQ(drive::SendDriveCommand(255, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 0xFF);
    // Only the low 8 bits of the slot count.
    EXPECT_EQ(drive::SendDriveCommand(0x100, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 1);
    EXPECT_EQ(drv->LogSnapshot().size(), 1u);
}

// A command the drive answers good with part of its data moved reaches the
// caller as short on either carrier: pass-through counts the bytes, ASPI
// says only that fewer moved.  A block read then fails; a reply is read as
// far as the carrier can tell it came.
TEST_P(TransportTest, AResidualReachesTheCaller) {
    const bool counted = GetParam() == Carrier::PassThrough;
    std::vector<uint8_t> buffer(32768);
    const uint8_t read16[10] = {0x28, 0, 0, 0, 0, 0, 0, 0, 16, 0};
    uint32_t transferred = 0;
    ASSERT_EQ(drive::SendDriveCommand(0, read16, 10, buffer.data(), 32768, drive::Direction::In,
                                      &transferred),
              1);
    EXPECT_EQ(transferred, 32768u);

    drv->AddFault(sim::Fault::ShortTransferOf(0x28, 2048));
    ASSERT_EQ(drive::SendDriveCommand(0, read16, 10, buffer.data(), 32768, drive::Direction::In,
                                      &transferred),
              1);
    EXPECT_EQ(transferred, counted ? 2048u : drive::kTransferNotCounted);
    EXPECT_EQ(drive::Read10(0, 0, 16, buffer), drive::kStatusShortTransfer);
    EXPECT_EQ(drive::GetSenseCode(buffer), drive::kShortTransferCode);

    drv->AddFault(sim::Fault::ShortTransferOf(0x12, 8));
    uint32_t moved = 0;
    ASSERT_EQ(drive::Inquiry(0, buffer, &moved), 1);
    EXPECT_EQ(moved, counted ? 8u : 36u);
    EXPECT_EQ(buffer[0], 0x05);
    EXPECT_EQ(buffer[8], 0) << "the vendor never came";
}

INSTANTIATE_TEST_SUITE_P(BothCarriers, TransportTest,
                         ::testing::Values(Carrier::PassThrough, Carrier::Aspi),
                         [](const auto& info) { return std::string(drivetest::CarrierName(info.param)); });

class PassThroughOnly : public ::testing::Test {
protected:
    void SetUp() override {
        drive::Settings = drive::TransportSettings{};
        machine.SetNtFamily();
        drv = &machine.AttachDriveAtLetter('d');
        machine.Install();
        drive::DriveNameSlot names[26];
        ASSERT_EQ(drive::FindDrives(names), 1);
        drv->ClearLog();
    }
    sim::SimMachine machine;
    sim::SimDrive* drv = nullptr;
};

TEST_F(PassThroughOnly, InvalidHandleGivesFFNotFour) {
    drive::SlotTable.DeviceHandles[0] = platform::kInvalidHandle;
    uint8_t buffer[14];
    std::memset(buffer, 0x33, sizeof buffer);
    EXPECT_EQ(drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::In), 0xFF);
    EXPECT_EQ(buffer[2], 0x33);
}

TEST_F(PassThroughOnly, FailedControlRequestCopiesNoSense) {
    sim::Fault fault;
    fault.Opcode = 0x00;
    fault.TransportFailure = true;
    drv->AddFault(fault);
    uint8_t buffer[14];
    std::memset(buffer, 0x33, sizeof buffer);
    EXPECT_EQ(drive::SendPassThroughCommand(drive::SlotTable.DeviceHandles[0], kTestUnitReady, 6,
                                            buffer, 0, drive::Direction::In),
              -1);
    EXPECT_EQ(buffer[2], 0x33);
    EXPECT_EQ(buffer[12], 0x33);
}

TEST_F(PassThroughOnly, TimeOutReachesTheRequest) {
    uint8_t buffer[14];
    drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::In);
    drive::Settings.PassThroughTimeoutSeconds = 60;
    drive::SendDriveCommand(0, kTestUnitReady, 6, buffer, 0, drive::Direction::In);
    ASSERT_EQ(drv->LogSnapshot().size(), 2u);
    EXPECT_EQ(drv->LogSnapshot()[0].TimeoutSeconds, 200u);
    EXPECT_EQ(drv->LogSnapshot()[1].TimeoutSeconds, 60u);
}

TEST(AspiLoader, SupportWordDecidesTheAdapterCount) {
    struct Case {
        uint32_t word;
        uint8_t adapters;
    } cases[] = {{0x0103, 3}, {0x0100, 0}, {0x0203, 0}, {0x0101, 1}, {0x01FF, 255}, {0x0001, 0}};
    for (const Case& c : cases) {
        drive::ResetAspiLoader();
        sim::SimMachine machine;
        machine.Set9xFamily();
        machine.Aspi.Present = true;
        machine.Aspi.SupportWord = c.word;
        machine.Install();
        EXPECT_EQ(drive::LoadAspi(), c.adapters) << std::hex << c.word;
    }
}

TEST(AspiLoader, MissingLibraryOrEntryMeansUnavailable) {
    struct Case {
        const char* what;
        bool present, send, support;
    } cases[] = {{"no library", false, true, true},
                 {"no send entry", true, false, true},
                 {"no support entry", true, true, false}};
    for (const Case& c : cases) {
        drive::ResetAspiLoader();
        sim::SimMachine machine;
        machine.Set9xFamily();
        machine.Aspi.Present = c.present;
        machine.Aspi.HasSendEntry = c.send;
        machine.Aspi.HasSupportEntry = c.support;
        machine.AttachDriveAtAspi(0, 0);
        machine.Install();
        EXPECT_EQ(drive::LoadAspi(), 0) << c.what;
        drive::DriveNameSlot names[26];
        EXPECT_EQ(drive::FindDrives(names), drive::kAspiUnavailable) << c.what;
    }
}

TEST(AspiSender, WaitIsBoundedOnThePlatformClock) {
    drive::ResetAspiLoader();
    drive::Settings = drive::TransportSettings{};
    sim::SimMachine machine;
    machine.Set9xFamily();
    machine.Aspi.Present = true;
    machine.AttachDriveAtAspi(0, 0);
    machine.Install();
    ASSERT_EQ(drive::LoadAspi(), 1);
    machine.Aspi.NeverCompletes = true;
    // The clock moves only when the sender sleeps on it.
    uint8_t buffer[14] = {};
    auto send = std::async(std::launch::async, [&] {
        return drive::SendAspiCommand(0, 0, kTestUnitReady, 6, buffer, 0, drive::Direction::In);
    });
    if (send.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "the wait never sleeps, so its bound is never reached";
        machine.Clock().SetAdvancePerRead(1000);  // lets the sender end
    }
    EXPECT_EQ(send.get(), platform::SS_ABORTED);
    EXPECT_GE(machine.Clock().TotalSleptMs(), drive::Settings.AspiWaitBoundMs);
    EXPECT_LE(machine.Clock().TotalSleptMs(), drive::Settings.AspiWaitBoundMs + drive::kAspiPollMs);
}

TEST(AspiSender, OtherRequestStatusesArePassedOnWithoutSense) {
    drive::ResetAspiLoader();
    sim::SimMachine machine;
    machine.Set9xFamily();
    machine.Aspi.Present = true;
    machine.Aspi.HostAdapters = 1;
    sim::SimDrive& d = machine.AttachDriveAtAspi(0, 0);
    machine.Install();
    ASSERT_EQ(drive::LoadAspi(), 1);
    uint8_t buffer[14];
    std::memset(buffer, 0x44, sizeof buffer);
    EXPECT_EQ(drive::SendAspiCommand(0, 6, kTestUnitReady, 6, buffer, 0, drive::Direction::In), platform::SS_NO_DEVICE);
    EXPECT_EQ(drive::SendAspiCommand(4, 0, kTestUnitReady, 6, buffer, 0, drive::Direction::In), platform::SS_INVALID_HA);
    sim::Fault fault;
    fault.Opcode = 0x00;
    fault.TransportFailure = true;
    fault.AspiStatus = platform::SS_ABORTED;
    d.AddFault(fault);
    EXPECT_EQ(drive::SendAspiCommand(0, 0, kTestUnitReady, 6, buffer, 0, drive::Direction::In), platform::SS_ABORTED);
    EXPECT_EQ(buffer[2], 0x44);
    EXPECT_EQ(buffer[12], 0x44);
}

}  // namespace
