// The drive layer over the Linux host's pass-through: what SG_IO reports as
// not moved (its residual) reaches the drive routines, so a read the kernel
// completes short never counts as read.  A fake SG_IO call stands in for the
// device node.
#include <fcntl.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "drive/Mmc.h"
#include "drive/Transport.h"
#include "platform/Host.h"
#include "simdrive/SimMachine.h"
#include "support/ScratchDirectory.h"

namespace {

using namespace platform::host;

class HostCarrier : public ::testing::Test {
protected:
    void SetUp() override {
        dev_.WriteFile("sr0", "");
        HostDriveSystem system;
        system.DeviceDirectory = dev_.Path().string();
        system.BlockDirectory = dev_.Path().string();
        system.Open = [](const std::string& path, int) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); };
        system.SgIo = [this](int, sg_io_hdr& header) {
            header.status = 0;
            header.host_status = 0;
            header.driver_status = 0;
            header.resid = resid_;
            return 0;
        };
        system.Report = [](const std::string&) {};
        drives_ = std::make_unique<HostDrives>(system);
        machine_.Install();
        platform::Services services;
        services.DeviceControl = drives_.get();
        platform::Install(services);
        handle_ = drives_->CreateFile("\\\\.\\d:", platform::GENERIC_READ | platform::GENERIC_WRITE, 0,
                                      platform::OPEN_EXISTING, 0);
        ASSERT_NE(handle_, platform::kInvalidHandle);
        drive::SlotTable = drive::DriveSlotTable{};
        drive::SlotTable.TransportMode = 1;
        drive::SlotTable.DeviceHandles[0] = handle_;
    }
    void TearDown() override { drives_->CloseHandle(handle_); }

    testsupport::ScratchDirectory dev_{"host-carrier"};
    sim::SimMachine machine_;
    std::unique_ptr<HostDrives> drives_;
    platform::Handle handle_ = platform::kInvalidHandle;
    int resid_ = 0;
};

TEST_F(HostCarrier, TheResidualOfSgIoReachesTheDriveRoutines) {
    std::vector<uint8_t> buffer(65536);
    EXPECT_EQ(drive::Read10(0, 0, 16, buffer), 1);

    resid_ = 32768 - 2048;
    EXPECT_EQ(drive::Read10(0, 0, 16, buffer), drive::kStatusShortTransfer);
    EXPECT_EQ(drive::GetSenseCode(buffer), drive::kShortTransferCode);
    EXPECT_EQ(drive::Write10(0, 0, 16, buffer), drive::kStatusShortTransfer);

    resid_ = 36 - 8;
    uint32_t moved = 0;
    EXPECT_EQ(drive::Inquiry(0, buffer, &moved), 1);
    EXPECT_EQ(moved, 8u);
}

}  // namespace
