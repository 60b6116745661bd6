// INQUIRY, TEST UNIT READY, START STOP UNIT and unknown opcodes.
#include <gtest/gtest.h>

#include "DriveTestSupport.h"
#include "simdrive/SimMachine.h"

using namespace simtest;
using sim::DataDirection;
using sim::DriveConfig;
using sim::SimDrive;

namespace {

DriveConfig FcDrive() {
    DriveConfig config;
    config.Vendor = "VENDOR";                     // padded to 8
    config.Product = "A PRODUCT NAME LONGER THAN"; // cut to 16
    config.Revision = "2.1";                      // padded to 4
    config.Code = "XYZ";
    config.FcCode[0] = 'K';
    config.FcCode[1] = '7';
    return config;
}

struct InquiryCase {
    const char* Name;
    std::vector<uint8_t> Cdb;
    size_t Buffer;
    size_t Written;
};

class InquiryLength : public ::testing::TestWithParam<InquiryCase> {};

TEST_P(InquiryLength, WritesAtMostAllocationAndBuffer) {
    const InquiryCase& c = GetParam();
    SimDrive drive(FcDrive());
    const Reply reply = SendIn(drive, c.Cdb, c.Buffer);
    ASSERT_EQ(Outcome(reply.Result), "good");
    EXPECT_EQ(reply.Result.Residual, c.Buffer - c.Written);
    for (size_t i = c.Written; i < c.Buffer; ++i) ASSERT_EQ(reply.Data[i], 0xEE) << "byte " << i << " written";
    if (c.Written >= 36) {
        EXPECT_EQ(reply.Data[0], 0x05);
        EXPECT_EQ(reply.Data[2], 0x05);
        EXPECT_EQ(reply.Data[3], 0x02);
        EXPECT_EQ(reply.Data[4], 91);
        EXPECT_EQ(Text(reply.Data, 8, 8), "VENDOR  ");
        EXPECT_EQ(Text(reply.Data, 16, 16), "A PRODUCT NAME L");
        EXPECT_EQ(Text(reply.Data, 32, 4), "2.1 ");
    }
    if (c.Written >= 56) {
        EXPECT_EQ(Text(reply.Data, 36, 3), "XYZ");
        EXPECT_EQ(reply.Data[54], 'K');
        EXPECT_EQ(reply.Data[55], '7');
    }
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, InquiryLength,
    ::testing::Values(InquiryCase{"Enumeration36", {0x12, 0, 0, 0, 0x24, 0}, 36, 36},
                      InquiryCase{"Download96", kInquiry96, 96, 96},
                      InquiryCase{"BufferLargerThanAllocation", {0x12, 0, 0, 0, 0x24, 0}, 254, 36},
                      InquiryCase{"BufferSmallerThanAllocation", kInquiry96, 40, 40},
                      InquiryCase{"AllocationBeyondReply", {0x12, 0, 0, 0, 0xFF, 0}, 255, 96},
                      InquiryCase{"ZeroAllocation", {0x12, 0, 0, 0, 0x00, 0}, 36, 0},
                      InquiryCase{"NoBuffer", {0x12, 0, 0, 0, 0x24, 0}, 0, 0}),
    [](const auto& info) { return std::string(info.param.Name); });

class InquiryPeripheralByte : public ::testing::TestWithParam<uint8_t> {};

TEST_P(InquiryPeripheralByte, AnswersConfiguredByte) {
    DriveConfig config;
    config.PeripheralByte = GetParam();
    SimDrive drive(config);
    EXPECT_EQ(SendIn(drive, {0x12, 0, 0, 0, 0x24, 0}, 36).Data[0], GetParam());
}

INSTANTIATE_TEST_SUITE_P(Simdrive, InquiryPeripheralByte, ::testing::Values(0x05, 0x25, 0x00));

TEST(SimdriveInquiry, RefusesVitalProductDataAndDataOut) {
    SimDrive drive;
    EXPECT_EQ(Outcome(SendIn(drive, {0x12, 0x01, 0x80, 0, 0x24, 0}, 36).Result), "02 05/24/00");
    const Reply out = Send(drive, {0x12, 0, 0, 0, 0x24, 0}, DataDirection::Out, std::vector<uint8_t>(36, 0xEE));
    EXPECT_EQ(Outcome(out.Result), "02 05/24/00");
    EXPECT_EQ(out.Data, std::vector<uint8_t>(36, 0xEE));
}

// ---------------------------------------------------------------------------

struct ReadyCase {
    const char* Name;
    bool Disc;
    bool WithClock;
    uint32_t BecomingReadyMs;
    std::vector<std::vector<uint8_t>> Before;  // commands sent first
    uint32_t Elapsed;                           // clock moved on before the TEST UNIT READY
    const char* Expected;
};

class TestUnitReadyState : public ::testing::TestWithParam<ReadyCase> {};

TEST_P(TestUnitReadyState, Answers) {
    const ReadyCase& c = GetParam();
    sim::VirtualClock clock;
    DriveConfig config;
    config.DiscLoaded = c.Disc;
    config.BecomingReadyMs = c.BecomingReadyMs;
    SimDrive drive(config, c.WithClock ? &clock : nullptr);
    for (const auto& cdb : c.Before) ASSERT_EQ(Outcome(SendIn(drive, cdb, 1000).Result), "good");
    clock.Advance(c.Elapsed);
    // The callers send TEST UNIT READY with a 254-byte buffer "in".
    const Reply reply = SendIn(drive, kTestUnitReady, 254);
    EXPECT_EQ(Outcome(reply.Result), c.Expected);
    EXPECT_EQ(reply.Result.Residual, 254u);
}

const std::vector<uint8_t> kEject = StartStopUnit(0x02);
const std::vector<uint8_t> kLoad = StartStopUnit(0x03);

INSTANTIATE_TEST_SUITE_P(
    Simdrive, TestUnitReadyState,
    ::testing::Values(ReadyCase{"DiscReady", true, true, 2000, {}, 0, "good"},
                      ReadyCase{"NoDisc", false, true, 0, {}, 0, "02 02/3A/00"},
                      ReadyCase{"TrayOpen", true, true, 0, {kEject}, 0, "02 02/3A/02"},
                      ReadyCase{"TrayOpenNoDisc", false, true, 0, {kEject}, 0, "02 02/3A/02"},
                      ReadyCase{"JustClosed", true, true, 2000, {kEject, kLoad}, 0, "02 02/04/01"},
                      ReadyCase{"AlmostReady", true, true, 2000, {kEject, kLoad}, 1999, "02 02/04/01"},
                      ReadyCase{"ReadyAfterLoadTime", true, true, 2000, {kEject, kLoad}, 2000, "good"},
                      ReadyCase{"ClosedEmpty", false, true, 2000, {kEject, kLoad}, 0, "02 02/3A/00"},
                      ReadyCase{"NoClockNeverBecomingReady", true, false, 2000, {kEject, kLoad}, 0, "good"},
                      ReadyCase{"SpinDownUpKeepsReady", true, true, 2000,
                                {StartStopUnit(0x00), StartStopUnit(0x01)}, 0, "good"},
                      ReadyCase{"CloseWhenClosedLoadsNothing", true, true, 2000, {kLoad}, 0, "good"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveTray, KeepsStateAndLoadsInsertedDisc) {
    sim::VirtualClock clock;
    DriveConfig config;
    config.BecomingReadyMs = 500;
    SimDrive drive(config, &clock);
    EXPECT_FALSE(drive.TrayOpen());
    ASSERT_EQ(Outcome(SendIn(drive, kEject, 1000).Result), "good");
    EXPECT_TRUE(drive.TrayOpen());
    drive.InsertDisc(true);  // into the open tray: not loaded until it closes
    clock.Advance(1000);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/3A/02");
    ASSERT_EQ(Outcome(SendIn(drive, kLoad, 1000).Result), "good");
    EXPECT_FALSE(drive.TrayOpen());
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/04/01");
    clock.Advance(500);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "good");
    drive.InsertDisc(false);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/3A/00");
    drive.InsertDisc(true);  // into the closed drive: loads at once
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/04/01");
}

TEST(SimdriveTray, ClockWrapDuringLoad) {
    sim::VirtualClock clock(0xFFFFFF00u);
    DriveConfig config;
    config.BecomingReadyMs = 0x200;
    SimDrive drive(config, &clock);
    drive.InsertDisc(true);
    clock.Advance(0x1FF);  // past the wrap, still loading
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/04/01");
    clock.Advance(1);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "good");
}

class UnknownOpcode : public ::testing::TestWithParam<uint8_t> {};

TEST_P(UnknownOpcode, InvalidCommandOperationCode) {
    SimDrive drive;
    const Reply reply = SendIn(drive, {GetParam(), 0, 0, 0, 0, 0, 0, 0, 0, 0}, 64);
    EXPECT_EQ(Outcome(reply.Result), "02 05/20/00");
    EXPECT_EQ(reply.Result.SenseData[0], 0x70);
    EXPECT_EQ(reply.Result.SenseData[7], 10);
    EXPECT_EQ(reply.Result.Residual, 64u);
    EXPECT_EQ(reply.Data, std::vector<uint8_t>(64, 0xEE));
}

INSTANTIATE_TEST_SUITE_P(Simdrive, UnknownOpcode, ::testing::Values(0x03, 0x1E, 0x4A, 0xBB, 0xBE, 0xFE));

}  // namespace
