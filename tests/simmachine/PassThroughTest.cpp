// The pass-through-direct request on a simulated machine's drive letters.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MachineTestSupport.h"
#include "platform/Win.h"

namespace {

using namespace simtest;
using platform::IOCTL_SCSI_PASS_THROUGH_DIRECT;
using platform::SCSI_IOCTL_DATA_IN;
using platform::SCSI_IOCTL_DATA_OUT;
using platform::SCSI_IOCTL_DATA_UNSPECIFIED;

class PassThrough : public testing::Test {
protected:
    PassThrough() : drive_(machine_.AttachDriveAtLetter('d')) {
        machine_.Install();
        device_ = win::CreateFileA("\\\\.\\d:", 0, 0, platform::OPEN_EXISTING, 0);
    }

    bool Send(PassThroughRecord& record, uint32_t size = sizeof(PassThroughRecord)) {
        uint32_t returned = 0;
        return win::DeviceIoControl(device_, IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, size, &record,
                                    size, &returned);
    }

    sim::SimMachine machine_;
    sim::SimDrive& drive_;
    platform::Handle device_ = platform::kInvalidHandle;
    uint8_t data_[64] = {};
};

// The sense area is written whatever the status, as on the Linux host: a
// good command leaves it zero, never an earlier command's bytes.
TEST_F(PassThrough, GoodCommandFillsDataAndClearsTheSenseArea) {
    PassThroughRecord record = MakeRecord(kInquiry, 6, data_, 36, SCSI_IOCTL_DATA_IN);
    uint32_t returned = 0;
    ASSERT_TRUE(win::DeviceIoControl(device_, IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record, &record,
                                     sizeof record, &returned));
    EXPECT_EQ(record.Request.ScsiStatus, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data_ + 8), 8), "SIMDRIVE");
    for (size_t i = 0; i < sizeof record.Sense; ++i) EXPECT_EQ(record.Sense[i], i < 24 ? 0 : kGarbage) << i;
    EXPECT_EQ(returned, kSenseOffset + 24);
    ASSERT_EQ(drive_.LogSnapshot().size(), 1u);
    EXPECT_EQ(drive_.LogSnapshot()[0].Direction, sim::DataDirection::In);
    EXPECT_EQ(drive_.LogSnapshot()[0].DataLength, 36u);
    EXPECT_EQ(drive_.LogSnapshot()[0].TimeoutSeconds, 200u);
}

// The record comes back with the length that moved: a drive that answers
// fewer bytes than asked (INQUIRY prepares 96), or that takes none of a
// write it reports as good, says so in DataTransferLength.
TEST_F(PassThrough, TheTransferredLengthComesBack) {
    uint8_t big[254] = {};
    PassThroughRecord record = MakeRecord(kInquiry, 6, big, sizeof big, SCSI_IOCTL_DATA_IN);
    record.Request.Cdb[4] = 0xFE;
    ASSERT_TRUE(Send(record));
    EXPECT_EQ(record.Request.DataTransferLength, 96u);

    sim::Fault takesNothing;
    takesNothing.Opcode = 0xFF;
    takesNothing.Status = sim::kStatusGood;
    drive_.AddFault(takesNothing);
    const uint8_t write[12] = {0xFF, 0x00, 0x01};
    record = MakeRecord(write, 12, big, 64, SCSI_IOCTL_DATA_OUT);
    ASSERT_TRUE(Send(record));
    EXPECT_EQ(record.Request.ScsiStatus, 0);
    EXPECT_EQ(record.Request.DataTransferLength, 0u);
}

// The sense lands where the record says, SenseInfoLength bytes of it: the 18
// sense bytes, zeros past them, and nothing beyond the area.
TEST_F(PassThrough, CheckConditionWritesSenseAtTheRecordsOffset) {
    struct Case {
        uint32_t Offset;
        uint8_t Length;
    };
    for (const Case c : {Case{kSenseOffset, 24}, Case{sizeof(platform::ScsiPassThroughDirect), 8},
                         Case{kSenseOffset + 4, 28}}) {
        SCOPED_TRACE(testing::Message() << "offset " << c.Offset << " length " << int(c.Length));
        PassThroughRecord record = MakeRecord(kUnknownOpcode, 6, data_, 0, SCSI_IOCTL_DATA_IN);
        record.Request.SenseInfoOffset = c.Offset;
        record.Request.SenseInfoLength = c.Length;
        ASSERT_TRUE(Send(record));
        EXPECT_EQ(record.Request.ScsiStatus, sim::kStatusCheckCondition);
        const auto* bytes = reinterpret_cast<const uint8_t*>(&record);
        const uint8_t* sense = bytes + c.Offset;
        EXPECT_EQ(sense[0], 0x70);
        EXPECT_EQ(sense[2], 0x05);
        if (c.Length > 13) {
            EXPECT_EQ(sense[12], 0x20);
            EXPECT_EQ(sense[13], 0x00);
        }
        for (uint32_t i = sim::kSenseLength; i < c.Length; ++i) EXPECT_EQ(sense[i], 0) << i;
        for (uint32_t i = c.Offset + c.Length; i < sizeof record; ++i) EXPECT_EQ(bytes[i], kGarbage) << i;
    }
}

// A bad status is passed on with the sense the drive gave; busy without
// sense records a code no drive sends (FF0004), never the "no error" 000000.
TEST_F(PassThrough, ABadStatusCarriesItsSenseOrACodeNoDriveSends) {
    struct Case {
        sim::Sense injected;
        uint8_t key, asc, ascq;
    };
    const Case cases[] = {
        {{0x02, 0x04, 0x01}, 0x02, 0x04, 0x01},
        {{}, platform::kNoSenseMarker, 0x00, 0x04},
    };
    for (const Case& c : cases) {
        drive_.ClearFaults();
        sim::Fault busy;
        busy.Opcode = 0x00;
        busy.Status = sim::kStatusBusy;
        busy.SenseData = c.injected;
        drive_.AddFault(busy);
        const uint8_t testUnitReady[6] = {};
        PassThroughRecord record = MakeRecord(testUnitReady, 6, data_, 0, SCSI_IOCTL_DATA_IN);
        ASSERT_TRUE(Send(record));
        EXPECT_EQ(record.Request.ScsiStatus, sim::kStatusBusy);
        EXPECT_EQ(record.Sense[2], c.key);
        EXPECT_EQ(record.Sense[12], c.asc);
        EXPECT_EQ(record.Sense[13], c.ascq);
    }
}

TEST_F(PassThrough, TransportFailureFailsTheRequest) {
    sim::Fault gone;
    gone.NthCommand = 1;
    gone.TransportFailure = true;
    drive_.AddFault(gone);
    PassThroughRecord record = MakeRecord(kInquiry, 6, data_, 36, SCSI_IOCTL_DATA_IN);
    EXPECT_FALSE(Send(record));
    EXPECT_EQ(record.Request.ScsiStatus, kGarbage);
}

TEST_F(PassThrough, DirectionComesFromDataIn) {
    struct Case {
        uint8_t DataIn;
        uint32_t Length;
        sim::DataDirection Expected;
        uint32_t ExpectedLength;
    };
    const Case cases[] = {
        {SCSI_IOCTL_DATA_IN, 0, sim::DataDirection::In, 0},
        {SCSI_IOCTL_DATA_IN, 36, sim::DataDirection::In, 36},
        {SCSI_IOCTL_DATA_OUT, 8, sim::DataDirection::Out, 8},
        {SCSI_IOCTL_DATA_OUT, 0, sim::DataDirection::Out, 0},
        {SCSI_IOCTL_DATA_UNSPECIFIED, 0, sim::DataDirection::None, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "DataIn " << int(c.DataIn) << " length " << c.Length);
        drive_.ClearLog();
        PassThroughRecord record = MakeRecord(kInquiry, 6, data_, c.Length, c.DataIn);
        ASSERT_TRUE(Send(record));
        ASSERT_EQ(drive_.LogSnapshot().size(), 1u);
        EXPECT_EQ(drive_.LogSnapshot()[0].Direction, c.Expected);
        EXPECT_EQ(drive_.LogSnapshot()[0].DataLength, c.ExpectedLength);
    }
}

// Requests that cannot be carried out fail before they reach the drive.
TEST_F(PassThrough, MalformedRequestsFailWithoutReachingTheDrive) {
    struct Case {
        const char* Name;
        std::function<void(PassThroughRecord&, uint32_t& size, uint32_t& code)> Spoil;
    };
    const Case cases[] = {
        {"record too small", [](PassThroughRecord&, uint32_t& size, uint32_t&) {
             size = sizeof(platform::ScsiPassThroughDirect) - 1;
         }},
        {"sense past the buffer", [](PassThroughRecord& r, uint32_t&, uint32_t&) {
             r.Request.SenseInfoLength = sizeof(PassThroughRecord) - kSenseOffset + 1;
         }},
        {"sense past a short buffer", [](PassThroughRecord&, uint32_t& size, uint32_t&) {
             size = kSenseOffset + 10;
         }},
        {"sense over the request", [](PassThroughRecord& r, uint32_t&, uint32_t&) {
             r.Request.SenseInfoOffset = 4;
         }},
        {"wrong length field", [](PassThroughRecord& r, uint32_t&, uint32_t&) { r.Request.Length = 44 + 100; }},
        {"no command block", [](PassThroughRecord& r, uint32_t&, uint32_t&) { r.Request.CdbLength = 0; }},
        {"command block too long", [](PassThroughRecord& r, uint32_t&, uint32_t&) { r.Request.CdbLength = 17; }},
        {"unknown direction", [](PassThroughRecord& r, uint32_t&, uint32_t&) { r.Request.DataIn = 3; }},
        // No carrier can move data without knowing which way.
        {"data with no direction",
         [](PassThroughRecord& r, uint32_t&, uint32_t&) { r.Request.DataIn = SCSI_IOCTL_DATA_UNSPECIFIED; }},
        {"data without buffer", [](PassThroughRecord& r, uint32_t&, uint32_t&) { r.Request.DataBuffer = nullptr; }},
        {"other control code", [](PassThroughRecord&, uint32_t&, uint32_t& code) { code = 0x2D1400; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        PassThroughRecord record = MakeRecord(kInquiry, 6, data_, 36, SCSI_IOCTL_DATA_IN);
        uint32_t size = sizeof record;
        uint32_t code = IOCTL_SCSI_PASS_THROUGH_DIRECT;
        c.Spoil(record, size, code);
        uint32_t returned = 0;
        EXPECT_FALSE(win::DeviceIoControl(device_, code, &record, size, &record, size, &returned));
        EXPECT_EQ(drive_.CommandCount(), 0u);
    }
}

TEST_F(PassThrough, UnknownOrClosedHandlesFail) {
    PassThroughRecord record = MakeRecord(kInquiry, 6, data_, 36, SCSI_IOCTL_DATA_IN);
    uint32_t returned = 0;
    for (platform::Handle h : {platform::kInvalidHandle, platform::Handle{0}, device_ + 1000}) {
        EXPECT_FALSE(win::DeviceIoControl(h, IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record,
                                          &record, sizeof record, &returned));
    }
    ASSERT_TRUE(platform::Current().DeviceOpen->CloseHandle(device_));
    EXPECT_FALSE(win::DeviceIoControl(device_, IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record,
                                      &record, sizeof record, &returned));
    EXPECT_EQ(drive_.CommandCount(), 0u);
}

TEST_F(PassThrough, SeparateOutputBufferReceivesTheRecordBack) {
    PassThroughRecord in = MakeRecord(kUnknownOpcode, 6, data_, 0, SCSI_IOCTL_DATA_IN);
    PassThroughRecord out;
    std::memset(&out, 0, sizeof out);
    uint32_t returned = 0;
    ASSERT_TRUE(win::DeviceIoControl(device_, IOCTL_SCSI_PASS_THROUGH_DIRECT, &in, sizeof in, &out,
                                     sizeof out, &returned));
    EXPECT_EQ(out.Request.ScsiStatus, sim::kStatusCheckCondition);
    EXPECT_EQ(out.Request.CdbLength, 6);
    EXPECT_EQ(out.Sense[2], 0x05);
    EXPECT_EQ(returned, kSenseOffset + 24);
}

}  // namespace
