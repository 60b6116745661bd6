// The host's drive service on what a real /dev/sr* node can do to it: a node
// the user may only read, a node nobody may open, a block queue with a
// transfer limit, and a kernel that refuses a command.  Fake open and SG_IO
// calls stand in for the node; the tests run as any user, root included.
#include <fcntl.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PassThroughRecord.h"
#include "support/ScratchDirectory.h"
#include "platform/Host.h"
#include "platform/Scsi.h"

namespace {

using platform::Handle;
using hosttest::Record;
using namespace platform::host;

Record MakeRecord(uint8_t opcode, uint8_t dataIn, uint32_t length, void* buffer) {
    std::vector<uint8_t> cdb(12, 0);
    cdb[0] = opcode;
    return hosttest::MakeRecord(cdb, dataIn, length, buffer, 60);
}

class HostDriveNodes : public testing::Test {
protected:
    void SetUp() override {
        dev_.WriteFile("sr0", "");
        dev_.WriteFile("sr1", "");
        dev_.WriteFile("sr3", "");
        sys_.WriteFile("sr0/queue/max_hw_sectors_kb", "64\n");
        sys_.WriteFile("sr0/queue/max_sectors_kb", "32\n");
        sys_.WriteFile("sr1/queue/max_sectors_kb", "128\n");
        // virtio-scsi: the segments, not the sectors, bound a user buffer.
        sys_.WriteFile("sr3/queue/max_hw_sectors_kb", "4096\n");
        sys_.WriteFile("sr3/queue/max_segments", "254\n");
        HostDriveSystem system;
        system.DeviceDirectory = dev_.Path().string();
        system.BlockDirectory = sys_.Path().string();
        system.PageBytes = 4096;
        system.Open = [this](const std::string& path, int flags) {
            const bool write = (flags & O_ACCMODE) != O_RDONLY;
            const auto refusal = (write ? refuseWrite_ : refuseRead_).find(path);
            if (refusal != (write ? refuseWrite_ : refuseRead_).end()) {
                errno = refusal->second;
                return -1;
            }
            opened_.push_back({path, write});
            // A real descriptor, so that closing it is real too.
            return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        };
        system.SgIo = [this](int, sg_io_hdr& header) {
            ++sgIoCalls_;
            if (sgIoErrno_ != 0) {
                errno = sgIoErrno_;
                return -1;
            }
            header.status = 0;
            header.resid = 0;
            return 0;
        };
        system.Report = [this](const std::string& line) { reports_.push_back(line); };
        system.Advice = [](const std::string&, NodeAccess access) {
            return access == NodeAccess::Read ? "read advice" : "write advice";
        };
        drives_ = std::make_unique<HostDrives>(system);
    }
    void TearDown() override {
        for (Handle handle : handles_) drives_->CloseHandle(handle);
    }

    std::string Node(const char* name) const { return (dev_.Path() / name).string(); }
    Handle Open(const char* path) {
        const Handle handle = drives_->CreateFile(path, platform::GENERIC_READ | platform::GENERIC_WRITE,
                                                  platform::FILE_SHARE_READ | platform::FILE_SHARE_WRITE,
                                                  platform::OPEN_EXISTING, 0);
        if (handle != platform::kInvalidHandle) handles_.push_back(handle);
        return handle;
    }
    bool Send(Handle handle, Record& record) {
        uint32_t returned = 0;
        return drives_->DeviceIoControl(handle, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record,
                                        &record, sizeof record, &returned);
    }

    testsupport::ScratchDirectory dev_;
    testsupport::ScratchDirectory sys_;
    std::map<std::string, int> refuseWrite_;
    std::map<std::string, int> refuseRead_;
    std::vector<std::pair<std::string, bool>> opened_;
    int sgIoErrno_ = 0;
    int sgIoCalls_ = 0;
    std::vector<std::string> reports_;
    std::unique_ptr<HostDrives> drives_;
    std::vector<Handle> handles_;
};

// A node the user may only read stays a drive: INQUIRY and the other reads
// work; a command the kernel then refuses says that the node is read-only.
TEST_F(HostDriveNodes, ANodeTheUserMayOnlyReadIsOpenedReadOnly) {
    refuseWrite_[Node("sr0")] = EACCES;
    const Handle drive = Open("\\\\.\\d:");
    ASSERT_NE(drive, platform::kInvalidHandle);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_FALSE(opened_[0].second) << "opened for writing";
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0], ReadOnlyOpenText(Node("sr0"), "write advice"));

    uint8_t reply[96] = {};
    Record inquiry = MakeRecord(0x12, platform::SCSI_IOCTL_DATA_IN, sizeof reply, reply);
    EXPECT_TRUE(Send(drive, inquiry));

    sgIoErrno_ = EPERM;
    uint8_t block[2048] = {};
    Record write = MakeRecord(0x2A, platform::SCSI_IOCTL_DATA_OUT, sizeof block, block);
    EXPECT_FALSE(Send(drive, write));
    ASSERT_EQ(reports_.size(), 2u);
    EXPECT_EQ(reports_[1], CommandFailureText(Node("sr0"), EPERM, 0x2A, true));

    // On a read-only file system no change of group or mode would help.
    refuseWrite_[Node("sr1")] = EROFS;
    reports_.clear();
    ASSERT_NE(Open("\\\\.\\e:"), platform::kInvalidHandle);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0], ReadOnlyOpenText(Node("sr1"), ""));
}

TEST_F(HostDriveNodes, ANodeNobodyMayOpenIsReportedWithItsCause) {
    refuseWrite_[Node("sr1")] = EACCES;
    refuseRead_[Node("sr1")] = EACCES;
    EXPECT_EQ(Open("\\\\.\\e:"), platform::kInvalidHandle);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0], "cannot open " + Node("sr1") + ": permission denied (read advice)");

    // Another cause is not mistaken for a permission: no read-only try.
    opened_.clear();
    refuseWrite_[Node("sr0")] = EBUSY;
    EXPECT_EQ(Open("\\\\.\\d:"), platform::kInvalidHandle);
    EXPECT_TRUE(opened_.empty());
    ASSERT_EQ(reports_.size(), 2u);
    EXPECT_EQ(reports_[1], "cannot open " + Node("sr0") + ": the device is busy (another program holds it)");

    // A letter whose node is missing names no drive: nothing to report.
    EXPECT_EQ(Open("\\\\.\\f:"), platform::kInvalidHandle);
    EXPECT_EQ(reports_.size(), 2u);
}

// A transfer above the block queue's limit is refused before it reaches the
// kernel; up to the limit it goes out.  max_hw_sectors_kb counts before
// max_sectors_kb.
TEST_F(HostDriveNodes, ATransferAboveTheQueueLimitIsRefusedBeforeTheKernel) {
    const struct {
        const char* Path;
        const char* Node;
        uint32_t Length;
        bool Sent;
    } cases[] = {
        {"\\\\.\\d:", "sr0", 64 * 1024, true},
        {"\\\\.\\d:", "sr0", 64 * 1024 + 1, false},
        {"\\\\.\\e:", "sr1", 128 * 1024, true},
        {"\\\\.\\e:", "sr1", 255 * 2048, false},
        {"\\\\.\\g:", "sr3", 253 * 4096, true},
        {"\\\\.\\g:", "sr3", 1024 * 1024, false},
    };
    const std::map<std::string, uint32_t> limits = {{"sr0", 64 * 1024}, {"sr1", 128 * 1024}, {"sr3", 253 * 4096}};
    std::vector<uint8_t> buffer(1024 * 1024);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Node << " " << c.Length);
        const Handle drive = Open(c.Path);
        ASSERT_NE(drive, platform::kInvalidHandle);
        reports_.clear();
        sgIoCalls_ = 0;
        Record read = MakeRecord(0x28, platform::SCSI_IOCTL_DATA_IN, c.Length, buffer.data());
        const Record before = read;
        EXPECT_EQ(Send(drive, read), c.Sent);
        EXPECT_EQ(sgIoCalls_, c.Sent ? 1 : 0);
        if (c.Sent) continue;
        EXPECT_EQ(std::memcmp(&read, &before, sizeof read), 0) << "a refused request changed the record";
        ASSERT_EQ(reports_.size(), 1u);
        EXPECT_EQ(reports_[0], TransferLimitText(Node(c.Node), 0x28, c.Length, limits.at(c.Node)));
    }
}

// A vendor command the kernel refuses for lack of CAP_SYS_RAWIO says so
// once, however often it is retried; another failure is said again.
TEST_F(HostDriveNodes, ARefusedVendorCommandIsSaidOnceWhileItRepeats) {
    const Handle drive = Open("\\\\.\\d:");
    ASSERT_NE(drive, platform::kInvalidHandle);
    EXPECT_TRUE(reports_.empty());
    sgIoErrno_ = EPERM;
    uint8_t reply[16] = {};
    for (int i = 0; i < 3; ++i) {
        Record query = MakeRecord(0xFF, platform::SCSI_IOCTL_DATA_IN, 8, reply);
        EXPECT_FALSE(Send(drive, query));
    }
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0], Node("sr0") + ": the kernel refused the vendor command (needs root or CAP_SYS_RAWIO)");

    sgIoErrno_ = ENODEV;
    Record inquiry = MakeRecord(0x12, platform::SCSI_IOCTL_DATA_IN, 8, reply);
    EXPECT_FALSE(Send(drive, inquiry));
    ASSERT_EQ(reports_.size(), 2u);
    EXPECT_EQ(reports_[1], Node("sr0") + ": the drive is gone or does not answer (command 12h)");

    // An EINVAL with data names the transfer as its likely cause.
    sgIoErrno_ = EINVAL;
    Record read = MakeRecord(0x28, platform::SCSI_IOCTL_DATA_IN, 8, reply);
    EXPECT_FALSE(Send(drive, read));
    ASSERT_EQ(reports_.size(), 3u);
    EXPECT_EQ(reports_[2], CommandFailureText(Node("sr0"), EINVAL, 0x28, false, 8));
}

// An optional query the kernel refuses is said once, as information not
// shown, however often it comes between other failures; a refusal outside
// such a query, or a drive that is gone, is still a failure.
TEST_F(HostDriveNodes, ARefusedOptionalQueryIsSaidOnceAsInformationNotShown) {
    const Handle drive = Open("\\\\.\\d:");
    ASSERT_NE(drive, platform::kInvalidHandle);
    uint8_t reply[16] = {};
    const auto send = [&](uint8_t opcode, int error, bool optional) {
        sgIoErrno_ = error;
        Record record = MakeRecord(opcode, platform::SCSI_IOCTL_DATA_IN, 8, reply);
        if (!optional) return Send(drive, record);
        const platform::OptionalQuery query;
        return Send(drive, record);
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(send(0xFF, EPERM, true));
        EXPECT_FALSE(send(0x12, EIO, false));
    }
    EXPECT_FALSE(send(0xFF, ENODEV, true));
    EXPECT_FALSE(send(0xFF, EPERM, false));
    ASSERT_EQ(reports_.size(), 4u);
    EXPECT_EQ(reports_[0], OptionalQueryText(Node("sr0"), 0xFF));
    EXPECT_EQ(reports_[1], CommandFailureText(Node("sr0"), EIO, 0x12, false));
    EXPECT_EQ(reports_[2], CommandFailureText(Node("sr0"), ENODEV, 0xFF, false));
    EXPECT_EQ(reports_[3], CommandFailureText(Node("sr0"), EPERM, 0xFF, false));
}

}  // namespace
