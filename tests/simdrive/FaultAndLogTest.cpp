// Fault injection, the command log, undeliverable requests and concurrent use.
#include <gtest/gtest.h>

#include <thread>

#include "DriveTestSupport.h"

using namespace simtest;
using sim::DataDirection;
using sim::Fault;
using sim::SimDrive;

namespace {

struct FaultCase {
    const char* Name;
    std::vector<Fault> Faults;
    // Sent in order: TEST UNIT READY, INQUIRY, eject, INQUIRY, TEST UNIT READY.
    std::vector<std::string> Expected;
    bool TrayOpenAfter;
};

Fault Nth(uint32_t n, uint8_t status, sim::Sense sense = {}) {
    Fault f;
    f.NthCommand = n;
    f.Status = status;
    f.SenseData = sense;
    return f;
}

Fault OnOpcode(uint8_t opcode, uint8_t status, sim::Sense sense = {}, bool once = false) {
    Fault f;
    f.Opcode = opcode;
    f.Status = status;
    f.SenseData = sense;
    f.Once = once;
    return f;
}

Fault TransportFailure(uint8_t opcode) {
    Fault f;
    f.Opcode = opcode;
    f.TransportFailure = true;
    return f;
}

Fault Both(uint32_t n, uint8_t opcode) {
    Fault f = Nth(n, sim::kStatusCheckCondition, {0x06, 0x29, 0x00});
    f.Opcode = opcode;
    return f;
}

class FaultInjection : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultInjection, MatchingCommandsFailAndAreNotExecuted) {
    const FaultCase& c = GetParam();
    sim::DriveConfig config;
    config.DiscLoaded = true;
    SimDrive drive(config);
    for (const Fault& f : c.Faults) drive.AddFault(f);
    const std::vector<std::vector<uint8_t>> commands = {kTestUnitReady, kInquiry96, StartStopUnit(0x02),
                                                        kInquiry96, kTestUnitReady};
    std::vector<std::string> outcomes;
    for (const auto& cdb : commands) {
        const Reply reply = SendIn(drive, cdb, 96);
        outcomes.push_back(Outcome(reply.Result));
        if (reply.Result.TransportFailed) {
            EXPECT_EQ(reply.Result.AspiStatus, 0x82);
        }
        if (outcomes.back() != "good") {
            EXPECT_EQ(reply.Result.Residual, 96u) << "data moved by a failed command";
        }
        // Every command is logged with what it answered, failed ones included.
        ASSERT_EQ(drive.LogSnapshot().size(), outcomes.size());
        const sim::LoggedCommand entry = drive.LogSnapshot().back();
        EXPECT_EQ(entry.TransportFailed, reply.Result.TransportFailed);
        if (!entry.TransportFailed) {
            EXPECT_EQ(entry.Status, reply.Result.Status);
            EXPECT_EQ(entry.Answered, SenseOf(reply.Result));
        }
    }
    EXPECT_EQ(outcomes, c.Expected);
    EXPECT_EQ(drive.TrayOpen(), c.TrayOpenAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, FaultInjection,
    ::testing::Values(
        FaultCase{"None", {}, {"good", "good", "good", "good", "02 02/3A/02"}, true},
        FaultCase{"ThirdCommand", {Nth(3, sim::kStatusCheckCondition, {0x02, 0x04, 0x01})},
                  {"good", "good", "02 02/04/01", "good", "good"}, false},
        FaultCase{"EveryInquiryBusy", {OnOpcode(0x12, sim::kStatusBusy)},
                  {"good", "08 00/00/00", "good", "08 00/00/00", "02 02/3A/02"}, true},
        FaultCase{"OnceOnly", {OnOpcode(0x12, sim::kStatusCheckCondition, {0x06, 0x29, 0x00}, true)},
                  {"good", "02 06/29/00", "good", "good", "02 02/3A/02"}, true},
        FaultCase{"TransportFailure", {TransportFailure(0x1B)},
                  {"good", "good", "transport failed", "good", "good"}, false},
        FaultCase{"NthAndOpcodeMustBothMatch", {Both(2, 0x00), Both(5, 0x00)},
                  {"good", "good", "good", "good", "02 06/29/00"}, true},
        FaultCase{"FirstMatchWins",
                  {Nth(2, sim::kStatusCheckCondition, {0x03, 0x11, 0x00}), OnOpcode(0x12, sim::kStatusBusy)},
                  {"good", "02 03/11/00", "good", "08 00/00/00", "02 02/3A/02"}, true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveFaults, ClearFaultsRestoresNormalAnswers) {
    SimDrive drive;
    drive.AddFault(OnOpcode(0x12, sim::kStatusBusy));
    EXPECT_EQ(Outcome(SendIn(drive, kInquiry96, 96).Result), "08 00/00/00");
    drive.ClearFaults();
    EXPECT_EQ(Outcome(SendIn(drive, kInquiry96, 96).Result), "good");
}

TEST(SimdriveLog, RecordsEveryField) {
    SimDrive drive;
    SendIn(drive, kInquiry96, 96);
    const std::vector<uint8_t> bytes(1024, 0x5A);
    Send(drive, ChunkWriteCdb(0xFF, 0x00), DataDirection::Out, bytes);  // no download open
    sim::ScsiRequest bad;                                                // no command block
    bad.CdbLength = 6;
    drive.Execute(bad);

    const auto& log = drive.LogSnapshot();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].Cdb, kInquiry96);
    EXPECT_EQ(log[0].CdbLength, 12);
    EXPECT_EQ(log[0].Direction, DataDirection::In);
    EXPECT_EQ(log[0].DataLength, 96u);
    EXPECT_EQ(log[0].TimeoutSeconds, 60u);
    EXPECT_TRUE(log[0].DataOut.empty());
    EXPECT_EQ(log[0].Status, sim::kStatusGood);
    EXPECT_EQ(log[0].Answered, sim::Sense{});

    EXPECT_EQ(log[1].Direction, DataDirection::Out);
    EXPECT_EQ(log[1].DataOut, bytes);
    EXPECT_EQ(log[1].Status, sim::kStatusCheckCondition);
    EXPECT_EQ(log[1].Answered, sim::kSenseSequenceError);

    EXPECT_TRUE(log[2].TransportFailed);
    EXPECT_EQ(drive.CommandCount(), 3u);
    drive.ClearLog();
    EXPECT_TRUE(drive.LogSnapshot().empty());
    EXPECT_EQ(drive.CommandCount(), 3u);
}

TEST(SimdriveLog, SwitchedOffRecordsNothingButCounts) {
    SimDrive drive;
    drive.SetLogging(false);
    for (int i = 0; i < 10; ++i) SendIn(drive, kTestUnitReady, 14);
    EXPECT_TRUE(drive.LogSnapshot().empty());
    EXPECT_EQ(drive.CommandCount(), 10u);
    drive.SetLogging(true);
    SendIn(drive, kTestUnitReady, 14);
    EXPECT_EQ(drive.LogSnapshot().size(), 1u);
}

struct UndeliverableCase {
    const char* Name;
    bool NoCdb;
    uint8_t CdbLength;
    bool NoBuffer;
    uint32_t DataLength;
};

class Undeliverable : public ::testing::TestWithParam<UndeliverableCase> {};

TEST_P(Undeliverable, TransportFailsWithoutTouchingAnything) {
    const UndeliverableCase& c = GetParam();
    SimDrive drive;
    uint8_t cdb[17] = {0x12, 0, 0, 0, 0x24};
    std::vector<uint8_t> data(64, 0xEE);
    sim::ScsiRequest request;
    request.Cdb = c.NoCdb ? nullptr : cdb;
    request.CdbLength = c.CdbLength;
    request.Direction = DataDirection::In;
    request.Data = c.NoBuffer ? nullptr : data.data();
    request.DataLength = c.DataLength;
    const sim::ScsiResult result = drive.Execute(request);
    EXPECT_TRUE(result.TransportFailed);
    EXPECT_EQ(result.AspiStatus, sim::kAspiInvalidRequest);
    EXPECT_EQ(data, std::vector<uint8_t>(64, 0xEE));
    ASSERT_EQ(drive.LogSnapshot().size(), 1u);
    EXPECT_TRUE(drive.LogSnapshot()[0].TransportFailed);
}

INSTANTIATE_TEST_SUITE_P(Simdrive, Undeliverable,
                         ::testing::Values(UndeliverableCase{"NoCommandBlock", true, 6, false, 36},
                                           UndeliverableCase{"EmptyCommandBlock", false, 0, false, 36},
                                           UndeliverableCase{"LongerThan16", false, 17, false, 36},
                                           UndeliverableCase{"LengthWithoutBuffer", false, 6, true, 36}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveThreads, WorkerAndTestThreadShareTheDrive) {
    SimDrive drive;
    constexpr int kPerThread = 2000;
    auto send = [&] {
        for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(Outcome(SendIn(drive, kInquiry96, 96).Result), "good");
    };
    std::thread worker(send);
    send();
    worker.join();
    EXPECT_EQ(drive.CommandCount(), 2u * kPerThread);
    EXPECT_EQ(drive.LogSnapshot().size(), 2u * kPerThread);
}

}  // namespace
