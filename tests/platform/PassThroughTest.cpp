// The pass-through-direct request <-> SG_IO translation of the Linux host,
// against a fake SG_IO call.
#include <scsi/sg.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PassThroughRecord.h"
#include "support/ScratchDirectory.h"
#include "platform/Host.h"
#include "platform/PassThrough.h"
#include "platform/Scsi.h"

namespace {

using platform::ScsiPassThroughDirect;
using platform::host::PassThroughDirect;
using namespace hosttest;

// What the fake SG_IO call saw, and what it answers.
struct FakeSgIo {
    // Answer.
    int Result = 0;
    uint8_t Status = 0;
    uint16_t HostStatus = 0;
    uint16_t DriverStatus = 0;
    std::vector<uint8_t> Sense;
    int ClaimedSenseLength = -1;  // -1: what was written
    std::vector<uint8_t> DataIn;  // written into the data buffer
    // Seen.
    int Calls = 0;
    int Fd = -1;
    sg_io_hdr Header{};
    std::vector<uint8_t> Cdb;

    platform::host::SgIoCall Call() {
        return [this](int fd, sg_io_hdr& header) {
            ++Calls;
            Fd = fd;
            Header = header;
            Cdb.assign(header.cmdp, header.cmdp + header.cmd_len);
            const size_t written = std::min<size_t>(Sense.size(), header.mx_sb_len);
            if (written != 0) std::memcpy(header.sbp, Sense.data(), written);
            header.sb_len_wr = static_cast<unsigned char>(
                ClaimedSenseLength >= 0 ? ClaimedSenseLength : static_cast<int>(written));
            if (!DataIn.empty() && header.dxferp != nullptr && header.dxfer_len != 0)
                std::memcpy(header.dxferp, DataIn.data(), std::min<size_t>(DataIn.size(), header.dxfer_len));
            header.status = Status;
            header.host_status = HostStatus;
            header.driver_status = DriverStatus;
            return Result;
        };
    }
};

const std::vector<uint8_t> kInquiry = {0x12, 0, 0, 0, 0x24, 0};
const std::vector<uint8_t> kTestUnitReady = {0, 0, 0, 0, 0, 0};
const std::vector<uint8_t> kWrite10 = {0x2A, 0, 0, 0, 0x10, 0, 0, 0, 1, 0};
const std::vector<uint8_t> kRead12 = {0xA8, 0, 0, 0, 0, 0x20, 0, 0, 0, 1, 0, 0};
const std::vector<uint8_t> kCdb16 = {0x88, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
// Fixed-format sense: not ready, medium not present.
const std::vector<uint8_t> kNoMediumSense = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x01};

struct ReplyCase {
    const char* Name;
    std::vector<uint8_t> Cdb;
    uint8_t DataIn;
    uint32_t Length;
    // Reply.
    int Result;
    uint8_t Status;
    uint16_t HostStatus;
    uint16_t DriverStatus;
    std::vector<uint8_t> Sense;
    // Expected.
    bool Succeeds;
    int Direction;
};

const ReplyCase kReplyCases[] = {
    {"Inquiry6DataIn", kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, 0, 0, 0, 0, {}, true, SG_DXFER_FROM_DEV},
    {"Write10DataOut", kWrite10, platform::SCSI_IOCTL_DATA_OUT, 2048, 0, 0, 0, 0, {}, true, SG_DXFER_TO_DEV},
    {"Read12DataIn", kRead12, platform::SCSI_IOCTL_DATA_IN, 2048, 0, 0, 0, 0, {}, true, SG_DXFER_FROM_DEV},
    {"Cdb16", kCdb16, platform::SCSI_IOCTL_DATA_IN, 8, 0, 0, 0, 0, {}, true, SG_DXFER_FROM_DEV},
    {"NoDataDataIn", kTestUnitReady, platform::SCSI_IOCTL_DATA_IN, 0, 0, 0, 0, 0, {}, true, SG_DXFER_NONE},
    {"NoDataDataOut", kTestUnitReady, platform::SCSI_IOCTL_DATA_OUT, 0, 0, 0, 0, 0, {}, true, SG_DXFER_NONE},
    {"NoDataUnspecified", kTestUnitReady, platform::SCSI_IOCTL_DATA_UNSPECIFIED, 0, 0, 0, 0, 0, {}, true,
     SG_DXFER_NONE},
    {"CheckConditionWithSense", kTestUnitReady, platform::SCSI_IOCTL_DATA_IN, 0, 0, 0x02, 0, 0x08,
     kNoMediumSense, true, SG_DXFER_NONE},
    {"CheckConditionRetrySuggested", kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, 0, 0x02, 0, 0x18,
     kNoMediumSense, true, SG_DXFER_FROM_DEV},
    {"Busy", kWrite10, platform::SCSI_IOCTL_DATA_OUT, 2048, 0, 0x08, 0, 0, {}, true, SG_DXFER_TO_DEV},
    {"ReservationConflict", kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, 0, 0x18, 0, 0, {}, true,
     SG_DXFER_FROM_DEV},
    {"IoctlFails", kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, -1, 0, 0, 0, {}, false, SG_DXFER_FROM_DEV},
    {"HostNoConnect", kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, 0, 0, 0x01, 0, {}, false,
     SG_DXFER_FROM_DEV},
    {"HostTimeout", kWrite10, platform::SCSI_IOCTL_DATA_OUT, 2048, 0, 0, 0x03, 0, {}, false,
     SG_DXFER_TO_DEV},
    {"DriverTimeout", kRead12, platform::SCSI_IOCTL_DATA_IN, 2048, 0, 0, 0, 0x06, {}, false,
     SG_DXFER_FROM_DEV},
    {"DriverError", kRead12, platform::SCSI_IOCTL_DATA_IN, 2048, 0, 0x02, 0, 0x04, kNoMediumSense,
     false, SG_DXFER_FROM_DEV},
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << c.Name; }

class PassThroughReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(PassThroughReply, TranslatesBothWays) {
    const ReplyCase& c = GetParam();
    std::vector<uint8_t> data(4096, 0x5A);
    Record record = MakeRecord(c.Cdb, c.DataIn, c.Length, data.data());
    const Record before = record;

    FakeSgIo fake;
    fake.Result = c.Result;
    fake.Status = c.Status;
    fake.HostStatus = c.HostStatus;
    fake.DriverStatus = c.DriverStatus;
    fake.Sense = c.Sense;
    fake.DataIn = {0x05, 0x80, 0x00, 0x32};
    uint32_t returned = 0xDEAD;
    const bool ok = PassThroughDirect(7, &record, sizeof record, &record, sizeof record, &returned,
                                      fake.Call());

    // Record -> sg_io_hdr.
    ASSERT_EQ(fake.Calls, 1);
    EXPECT_EQ(fake.Fd, 7);
    const sg_io_hdr& h = fake.Header;
    EXPECT_EQ(h.interface_id, 'S');
    EXPECT_EQ(h.dxfer_direction, c.Direction);
    EXPECT_EQ(h.cmd_len, c.Cdb.size());
    EXPECT_EQ(fake.Cdb, c.Cdb);
    EXPECT_EQ(h.dxfer_len, c.Length);
    EXPECT_EQ(h.dxferp, c.Length == 0 ? nullptr : data.data());
    EXPECT_EQ(h.iovec_count, 0);
    EXPECT_EQ(h.timeout, 200000u);
    EXPECT_EQ(h.mx_sb_len, 24);
    EXPECT_NE(h.sbp, nullptr);

    // sg_io_hdr -> record.
    EXPECT_EQ(ok, c.Succeeds);
    if (!c.Succeeds) {
        EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0) << "a failed request changed the record";
        EXPECT_EQ(returned, 0xDEADu);
        return;
    }
    EXPECT_EQ(record.Request.ScsiStatus, c.Status);
    Record expected = before;
    expected.Request.ScsiStatus = c.Status;
    EXPECT_EQ(std::memcmp(&record, &expected, kSenseOffset), 0) << "fields other than the status moved";
    // A bad status without sense carries the code no drive sends.
    const std::vector<uint8_t> sense =
        c.Status != 0 && c.Sense.empty()
            ? std::vector<uint8_t>(std::begin(platform::kNoSenseReturned), std::end(platform::kNoSenseReturned))
            : c.Sense;
    for (size_t i = 0; i < 24; ++i)
        EXPECT_EQ(record.Sense[i], i < sense.size() ? sense[i] : 0) << "sense byte " << i;
    for (size_t i = 24; i < sizeof record.Sense; ++i)
        EXPECT_EQ(record.Sense[i], kGarbage) << "sense byte " << i << " past the asked length";
    EXPECT_EQ(returned, kSenseOffset + 24);
    if (c.Direction == SG_DXFER_FROM_DEV) {
        EXPECT_EQ(data[1], 0x80) << "data did not land in the caller's buffer";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, PassThroughReply, testing::ValuesIn(kReplyCases),
                         [](const testing::TestParamInfo<ReplyCase>& info) { return info.param.Name; });

// Requests refused before anything is sent.
struct RefusedCase {
    const char* Name;
    std::function<void(Record&)> Spoil;
    uint32_t InSize;
    uint32_t OutSize;
};

constexpr uint32_t kRecordSize = sizeof(ScsiPassThroughDirect);

const RefusedCase kRefusedCases[] = {
    {"InTooSmall", [](Record&) {}, kRecordSize - 1, sizeof(Record)},
    {"OutTooSmall", [](Record&) {}, sizeof(Record), kRecordSize - 1},
    {"SensePastOut", [](Record&) {}, sizeof(Record), kSenseOffset + 23},
    {"SenseInsideRecord", [](Record& r) { r.Request.SenseInfoOffset = 8; }, sizeof(Record), sizeof(Record)},
    {"SenseOffsetHuge", [](Record& r) { r.Request.SenseInfoOffset = 0xFFFFFFF0u; }, sizeof(Record),
     sizeof(Record)},
    {"WrongLength", [](Record& r) { r.Request.Length = kRecordSize + 4; }, sizeof(Record), sizeof(Record)},
    {"CdbLengthZero", [](Record& r) { r.Request.CdbLength = 0; }, sizeof(Record), sizeof(Record)},
    {"CdbLength17", [](Record& r) { r.Request.CdbLength = 17; }, sizeof(Record), sizeof(Record)},
    {"UnspecifiedDirectionWithData", [](Record& r) { r.Request.DataIn = platform::SCSI_IOCTL_DATA_UNSPECIFIED; },
     sizeof(Record), sizeof(Record)},
    {"UnknownDirection", [](Record& r) { r.Request.DataIn = 3; }, sizeof(Record), sizeof(Record)},
    {"UnknownDirectionWithoutData",
     [](Record& r) {
         r.Request.DataIn = 3;
         r.Request.DataTransferLength = 0;
     },
     sizeof(Record), sizeof(Record)},
    {"DataWithoutBuffer", [](Record& r) { r.Request.DataBuffer = nullptr; }, sizeof(Record), sizeof(Record)},
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.Name; }

class PassThroughRefused : public testing::TestWithParam<RefusedCase> {};

TEST_P(PassThroughRefused, SendsNothingAndLeavesTheRecord) {
    const RefusedCase& c = GetParam();
    uint8_t data[64] = {};
    Record record = MakeRecord(kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, data);
    c.Spoil(record);
    const Record before = record;
    FakeSgIo fake;
    EXPECT_FALSE(PassThroughDirect(3, &record, c.InSize, &record, c.OutSize, nullptr, fake.Call()));
    EXPECT_EQ(fake.Calls, 0);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, PassThroughRefused, testing::ValuesIn(kRefusedCases),
                         [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.Name; });

// The record comes back with DataTransferLength set to what moved: the asked
// length less the driver's residual count, never more than was asked and
// never less than nothing.
TEST(PassThrough, TheResidualComesBackAsTheTransferredLength) {
    const struct {
        const char* Name;
        std::vector<uint8_t> Cdb;
        uint8_t DataIn;
        uint32_t Length;
        int Resid;
        uint32_t Transferred;
    } cases[] = {
        {"ShortRead", kRead12, platform::SCSI_IOCTL_DATA_IN, 2048, 2000, 48},
        {"WholeRead", kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, 0, 36},
        {"PartWrite", kWrite10, platform::SCSI_IOCTL_DATA_OUT, 2048, 1024, 1024},
        {"NothingWritten", kWrite10, platform::SCSI_IOCTL_DATA_OUT, 2048, 2048, 0},
        {"NoData", kTestUnitReady, platform::SCSI_IOCTL_DATA_IN, 0, 0, 0},
        {"ResidPastTheLength", kRead12, platform::SCSI_IOCTL_DATA_IN, 2048, 4096, 0},
        {"NegativeResid", kRead12, platform::SCSI_IOCTL_DATA_IN, 2048, -5, 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::vector<uint8_t> data(4096, 0);
        Record record = MakeRecord(c.Cdb, c.DataIn, c.Length, data.data());
        FakeSgIo fake;
        auto call = fake.Call();
        const int resid = c.Resid;
        ASSERT_TRUE(PassThroughDirect(3, &record, sizeof record, &record, sizeof record, nullptr,
                                      [&](int fd, sg_io_hdr& header) {
                                          const int result = call(fd, header);
                                          header.resid = resid;
                                          return result;
                                      }));
        EXPECT_EQ(record.Request.DataTransferLength, c.Transferred);
    }
}

// A check condition that came without sense records a code no drive sends,
// never the "no error" 000000.
TEST(PassThrough, ACheckConditionWithoutSenseRecordsACodeNoDriveSends) {
    uint8_t data[64] = {};
    Record record = MakeRecord(kTestUnitReady, platform::SCSI_IOCTL_DATA_IN, 0, data);
    FakeSgIo fake;
    fake.Status = 0x02;
    fake.DriverStatus = 0x08;
    ASSERT_TRUE(PassThroughDirect(3, &record, sizeof record, &record, sizeof record, nullptr, fake.Call()));
    EXPECT_EQ(record.Request.ScsiStatus, 0x02);
    // The drive error code reads FF0004: the marker no drive sends and the
    // check-condition status.
    EXPECT_EQ(record.Sense[2], platform::kNoSenseMarker);
    EXPECT_EQ(record.Sense[12], 0x00);
    EXPECT_EQ(record.Sense[13], 0x04);
}

// The SG_IO reply read from a filled header, without a device: what reached
// the drive keeps its status, sense and residual; what did not says why in
// an errno value and nothing else.
TEST(SgIoTranslation, TheReplyOfAFilledHeader) {
    const struct {
        const char* Name;
        int CallResult;
        int CallErrno;
        uint8_t Status;
        uint16_t HostStatus;
        uint16_t DriverStatus;
        uint8_t SenseWritten;
        int Resid;
        // Expected.
        int OsError;
        uint32_t SenseLength;
        uint32_t Residual;
    } cases[] = {
        {"Good", 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0},
        {"ShortRead", 0, 0, 0x00, 0, 0, 0, 2000, 0, 0, 2000},
        {"ResidPastTheLength", 0, 0, 0x00, 0, 0, 0, 4096, 0, 0, 2048},
        {"NegativeResid", 0, 0, 0x00, 0, 0, 0, -5, 0, 0, 0},
        {"CheckConditionWithSense", 0, 0, 0x02, 0, 0x08, 18, 2048, 0, 18, 2048},
        {"CheckConditionWithoutSense", 0, 0, 0x02, 0, 0x00, 0, 0, 0, 0, 0},
        {"SenseClaimPastTheRoom", 0, 0, 0x02, 0, 0x08, 200, 0, 0, 24, 0},
        {"RetrySuggested", 0, 0, 0x02, 0, 0x18, 18, 0, 0, 18, 0},
        {"KernelRefused", -1, EPERM, 0, 0, 0, 0, 0, EPERM, 0, 0},
        {"FailedWithoutErrno", -1, 0, 0, 0, 0, 0, 0, EIO, 0, 0},
        {"NoConnect", 0, 0, 0, 0x01, 0, 0, 0, ENODEV, 0, 0},
        {"BusBusy", 0, 0, 0, 0x02, 0, 0, 0, EBUSY, 0, 0},
        {"HostTimeOut", 0, 0, 0, 0x03, 0, 0, 0, ETIMEDOUT, 0, 0},
        {"BadTarget", 0, 0, 0, 0x04, 0, 0, 0, ENODEV, 0, 0},
        {"OtherHostVerdict", 0, 0, 0, 0x07, 0, 0, 0, EIO, 0, 0},
        {"DriverTimeout", 0, 0, 0, 0, 0x06, 0, 0, ETIMEDOUT, 0, 0},
        {"DriverError", 0, 0, 0x02, 0, 0x04, 18, 0, EIO, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        uint8_t data[2048] = {};
        platform::PassThroughRequest request;
        request.CdbLength = 12;
        request.Direction = platform::TransferDirection::In;
        request.Data = data;
        request.DataLength = sizeof data;
        request.SenseRoom = 24;
        sg_io_hdr header;
        platform::host::BuildSgIoHeader(request, header);
        EXPECT_EQ(header.mx_sb_len, 24);
        header.status = c.Status;
        header.host_status = c.HostStatus;
        header.driver_status = c.DriverStatus;
        header.sb_len_wr = c.SenseWritten;
        header.resid = c.Resid;
        platform::host::TakeSgIoReply(header, c.CallResult, c.CallErrno, request);
        EXPECT_EQ(request.OsError, c.OsError);
        if (c.OsError != 0) continue;
        EXPECT_EQ(request.Status, c.Status);
        EXPECT_EQ(request.SenseLength, c.SenseLength);
        EXPECT_EQ(request.Residual, c.Residual);
    }
}

// Written back, a check condition without sense and a residual read as the
// caller's record has them: the code no drive sends, and the length that
// moved.
TEST(SgIoTranslation, ACheckConditionWithoutSenseAndAResidualInTheRecord) {
    uint8_t data[2048] = {};
    Record record = MakeRecord(kRead12, platform::SCSI_IOCTL_DATA_IN, sizeof data, data);
    const Record before = record;
    platform::PassThroughRequest request;
    ASSERT_TRUE(platform::DecodePassThroughDirect(&record, sizeof record, sizeof record, request));
    sg_io_hdr header;
    platform::host::BuildSgIoHeader(request, header);
    header.status = 0x02;
    header.sb_len_wr = 0;
    header.resid = 1536;
    platform::host::TakeSgIoReply(header, 0, 0, request);
    EXPECT_EQ(platform::EncodePassThroughDirect(request, &record, &record), kSenseOffset + 24);
    EXPECT_EQ(record.Request.ScsiStatus, 0x02);
    EXPECT_EQ(record.Request.DataTransferLength, 512u);
    EXPECT_EQ(std::memcmp(record.Sense, platform::kNoSenseReturned, sizeof platform::kNoSenseReturned), 0);
    for (size_t i = sizeof platform::kNoSenseReturned; i < 24; ++i) EXPECT_EQ(record.Sense[i], 0) << i;
    EXPECT_EQ(std::memcmp(record.Request.Cdb, before.Request.Cdb, sizeof before.Request.Cdb), 0);
}

// The record read once into the request both machines carry out: the
// direction as the record names it even without data, no buffer without
// data, and the caller's sense room.
TEST(PassThroughDecoder, ReadsTheRecordIntoOneRequest) {
    const struct {
        uint8_t DataIn;
        uint32_t Length;
        platform::TransferDirection Direction;
    } cases[] = {
        {platform::SCSI_IOCTL_DATA_IN, 36, platform::TransferDirection::In},
        {platform::SCSI_IOCTL_DATA_IN, 0, platform::TransferDirection::In},
        {platform::SCSI_IOCTL_DATA_OUT, 2048, platform::TransferDirection::Out},
        {platform::SCSI_IOCTL_DATA_OUT, 0, platform::TransferDirection::Out},
        {platform::SCSI_IOCTL_DATA_UNSPECIFIED, 0, platform::TransferDirection::None},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "DataIn " << int(c.DataIn) << " length " << c.Length);
        uint8_t data[2048] = {};
        const Record record = MakeRecord(kCdb16, c.DataIn, c.Length, data, 60, 20);
        platform::PassThroughRequest request;
        ASSERT_TRUE(platform::DecodePassThroughDirect(&record, sizeof record, sizeof record, request));
        EXPECT_EQ(request.CdbLength, 16);
        EXPECT_EQ(std::vector<uint8_t>(request.Cdb, request.Cdb + 16), kCdb16);
        EXPECT_EQ(request.Direction, c.Direction);
        EXPECT_EQ(request.DataLength, c.Length);
        EXPECT_EQ(request.Data, c.Length == 0 ? nullptr : data);
        EXPECT_EQ(request.TimeoutSeconds, 60u);
        EXPECT_EQ(request.SenseRoom, 20u);
        EXPECT_EQ(request.OsError, 0);
    }
}

TEST(PassThrough, NullBuffersAreRefused) {
    uint8_t data[64] = {};
    Record record = MakeRecord(kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, data);
    FakeSgIo fake;
    EXPECT_FALSE(PassThroughDirect(3, nullptr, sizeof record, &record, sizeof record, nullptr, fake.Call()));
    EXPECT_FALSE(PassThroughDirect(3, &record, sizeof record, nullptr, sizeof record, nullptr, fake.Call()));
    EXPECT_EQ(fake.Calls, 0);
}

TEST(PassThrough, NoSenseAreaAskedForIsAllowedAndUntouched) {
    uint8_t data[64] = {};
    Record record = MakeRecord(kTestUnitReady, platform::SCSI_IOCTL_DATA_IN, 0, data, 200, 0);
    record.Request.SenseInfoOffset = 0;  // not looked at without a length
    FakeSgIo fake;
    fake.Status = 0x02;
    fake.Sense = kNoMediumSense;
    uint32_t returned = 0;
    ASSERT_TRUE(PassThroughDirect(3, &record, sizeof record, &record, sizeof record, &returned, fake.Call()));
    EXPECT_EQ(fake.Header.mx_sb_len, 0);
    EXPECT_EQ(record.Request.ScsiStatus, 0x02);
    EXPECT_EQ(returned, kRecordSize);
    for (uint8_t b : record.Sense) EXPECT_EQ(b, kGarbage);
}

TEST(PassThrough, LongSenseRequestIsCappedAndAClaimPastTheCapIgnored) {
    // A sense area larger than the local buffer, and a driver that says it
    // wrote more than it was allowed to.
    struct BigRecord {
        ScsiPassThroughDirect Request;
        uint8_t Sense[200];
    } big;
    uint8_t data[64] = {};
    Record base = MakeRecord(kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, data, 200, 200);
    big.Request = base.Request;
    big.Request.SenseInfoOffset = offsetof(BigRecord, Sense);
    std::memset(big.Sense, kGarbage, sizeof big.Sense);

    FakeSgIo fake;
    fake.Status = 0x02;
    fake.Sense.assign(200, 0xAB);
    fake.ClaimedSenseLength = 255;
    ASSERT_TRUE(PassThroughDirect(3, &big, sizeof big, &big, sizeof big, nullptr, fake.Call()));
    EXPECT_EQ(fake.Header.mx_sb_len, platform::kMaxSenseBytes);
    for (size_t i = 0; i < sizeof big.Sense; ++i)
        EXPECT_EQ(big.Sense[i], i < platform::kMaxSenseBytes ? 0xAB : 0) << "sense byte " << i;
}

TEST(PassThrough, TimeOutInMillisecondsSaturates) {
    const struct {
        uint32_t Seconds;
        unsigned Milliseconds;
    } cases[] = {{0, 0}, {60, 60000}, {200, 200000}, {4294967, 4294967000u}, {4294968, UINT_MAX},
                 {0xFFFFFFFFu, UINT_MAX}};
    for (const auto& c : cases) {
        uint8_t data[64] = {};
        Record record = MakeRecord(kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, data, c.Seconds);
        FakeSgIo fake;
        ASSERT_TRUE(PassThroughDirect(3, &record, sizeof record, &record, sizeof record, nullptr, fake.Call()));
        EXPECT_EQ(fake.Header.timeout, c.Milliseconds) << c.Seconds << " s";
    }
}

TEST(PassThrough, SeparateOutputBufferGetsTheRecordBack) {
    uint8_t data[64] = {};
    Record in = MakeRecord(kTestUnitReady, platform::SCSI_IOCTL_DATA_IN, 0, data);
    const Record inBefore = in;
    Record out;
    std::memset(&out, 0x11, sizeof out);
    FakeSgIo fake;
    fake.Status = 0x02;
    fake.Sense = kNoMediumSense;
    ASSERT_TRUE(PassThroughDirect(3, &in, sizeof in, &out, sizeof out, nullptr, fake.Call()));
    EXPECT_EQ(std::memcmp(&in, &inBefore, sizeof in), 0) << "the input buffer was written";
    EXPECT_EQ(out.Request.ScsiStatus, 0x02);
    EXPECT_EQ(out.Request.Length, in.Request.Length);
    EXPECT_EQ(out.Request.DataBuffer, in.Request.DataBuffer);
    EXPECT_EQ(std::memcmp(out.Request.Cdb, in.Request.Cdb, sizeof in.Request.Cdb), 0);
    EXPECT_EQ(out.Sense[2], 0x02);
    EXPECT_EQ(out.Sense[12], 0x3A);
    EXPECT_EQ(out.Sense[13], 0x01);
}

TEST(PassThrough, UnalignedRecordIsRead) {
    alignas(8) uint8_t buffer[sizeof(Record) + 1];
    uint8_t data[64] = {};
    const Record record = MakeRecord(kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, data);
    std::memcpy(buffer + 1, &record, sizeof record);
    FakeSgIo fake;
    fake.Status = 0x08;
    ASSERT_TRUE(PassThroughDirect(3, buffer + 1, sizeof record, buffer + 1, sizeof record, nullptr, fake.Call()));
    EXPECT_EQ(fake.Header.dxferp, data);
    EXPECT_EQ(buffer[1 + offsetof(ScsiPassThroughDirect, ScsiStatus)], 0x08);
}

TEST(HostDrivesControl, OnlyThePassThroughCodeOnAnOpenedDriveIsSent) {
    testsupport::ScratchDirectory dev;
    dev.WriteFile("sr0", "");
    FakeSgIo fake;
    platform::host::HostDriveSystem system;
    system.DeviceDirectory = dev.Path().string();
    system.SgIo = fake.Call();
    system.Report = nullptr;
    platform::host::HostDrives drives(system);
    const platform::Handle drive = drives.CreateFile("\\\\.\\d:", 0, 0, platform::OPEN_EXISTING, 0);
    ASSERT_NE(drive, platform::kInvalidHandle);
    uint8_t data[64] = {};
    Record record = MakeRecord(kInquiry, platform::SCSI_IOCTL_DATA_IN, 36, data);
    uint32_t returned = 0;
    auto send = [&](platform::Handle handle, uint32_t code) {
        return drives.DeviceIoControl(handle, code, &record, sizeof record, &record, sizeof record, &returned);
    };
    EXPECT_FALSE(send(drive, 0x2D1400));
    // 0 is what an empty slot of the drive tables holds; on Linux it is
    // standard input, which must never receive a request.
    for (platform::Handle other : {platform::Handle{0}, platform::Handle{1}, platform::kInvalidHandle,
                                   platform::Handle{INT_MAX} + 1, drive + 1})
        EXPECT_FALSE(send(other, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT)) << other;
    EXPECT_EQ(fake.Calls, 0);
    EXPECT_TRUE(send(drive, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT));
    EXPECT_EQ(fake.Calls, 1);
    EXPECT_EQ(fake.Fd, drive);
    EXPECT_FALSE(drives.CloseHandle(0));
    EXPECT_TRUE(drives.CloseHandle(drive));
    EXPECT_FALSE(send(drive, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT));
}

}  // namespace
