// The simulated ASPI library: loading, its entries, and requests executed on
// the drives at host adapters and targets.
#include <cstring>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "MachineTestSupport.h"
#include "platform/Win.h"

namespace {

using namespace simtest;
using platform::AspiExecScsiCmd;

// A request block in its 256-byte area, filled as the sender fills it.
union RequestArea {
    AspiExecScsiCmd Srb;
    uint8_t Bytes[256];
};

RequestArea MakeRequest(uint8_t adapter, uint8_t target, const uint8_t* cdb, uint8_t cdbLength,
                        uint8_t* data, uint32_t length, uint8_t flags = platform::SRB_DIR_IN) {
    RequestArea area;
    std::memset(area.Bytes, 0, sizeof area.Bytes);
    area.Srb.SRB_Cmd = platform::SC_EXEC_SCSI_CMD;
    area.Srb.SRB_HaId = adapter;
    area.Srb.SRB_Flags = flags;
    area.Srb.SRB_Target = target;
    area.Srb.SRB_BufLen = length;
    area.Srb.SRB_BufPointer = data;
    area.Srb.SRB_SenseLen = platform::kAspiSenseLength;
    area.Srb.SRB_CDBLen = cdbLength;
    std::memcpy(area.Srb.CDBByte, cdb, cdbLength);
    return area;
}

class Aspi : public testing::Test {
protected:
    Aspi() {
        machine_.Set9xFamily();
        machine_.Aspi.Present = true;
        machine_.Aspi.HostAdapters = 2;
        machine_.Install();
    }

    // The two entries as the loader finds them; null when missing.
    platform::SendASPI32CommandProc SendEntry() {
        return reinterpret_cast<platform::SendASPI32CommandProc>(
            win::GetProcAddress(win::LoadLibraryA("WNASPI32.DLL"), platform::kAspiSendEntry));
    }
    platform::GetASPI32SupportInfoProc SupportEntry() {
        return reinterpret_cast<platform::GetASPI32SupportInfoProc>(
            win::GetProcAddress(win::LoadLibraryA("WNASPI32.DLL"), platform::kAspiSupportEntry));
    }

    sim::SimMachine machine_;
    uint8_t data_[64] = {};
};

TEST_F(Aspi, LibraryLoadsOnlyWhenPresentAndByItsName) {
    EXPECT_NE(win::LoadLibraryA("WNASPI32.DLL"), nullptr);
    EXPECT_NE(win::LoadLibraryA("wnaspi32.dll"), nullptr);
    EXPECT_EQ(win::LoadLibraryA("KERNEL32.DLL"), nullptr);
    EXPECT_EQ(win::LoadLibraryA("WNASPI32.DLL.OLD"), nullptr);
    machine_.Aspi.Present = false;
    EXPECT_EQ(win::LoadLibraryA("WNASPI32.DLL"), nullptr);
}

TEST_F(Aspi, EntriesCanBeRemovedOneByOne) {
    EXPECT_NE(SendEntry(), nullptr);
    EXPECT_NE(SupportEntry(), nullptr);
    machine_.Aspi.HasSendEntry = false;
    EXPECT_EQ(SendEntry(), nullptr);
    EXPECT_NE(SupportEntry(), nullptr);
    machine_.Aspi.HasSendEntry = true;
    machine_.Aspi.HasSupportEntry = false;
    EXPECT_NE(SendEntry(), nullptr);
    EXPECT_EQ(SupportEntry(), nullptr);
    platform::ModuleHandle module = win::LoadLibraryA("WNASPI32.DLL");
    EXPECT_EQ(win::GetProcAddress(module, "sendaspi32command"), nullptr);
    EXPECT_EQ(win::GetProcAddress(nullptr, platform::kAspiSendEntry), nullptr);
}

TEST_F(Aspi, SupportInfoAnswersTheConfiguredWordOrTheAdapterCount) {
    struct Case {
        std::optional<uint32_t> Word;
        uint8_t Adapters;
        uint32_t Expected;
    };
    const Case cases[] = {
        {0x0103, 1, 0x0103}, {0x0100, 1, 0x0100}, {0x0203, 1, 0x0203},
        {std::nullopt, 2, 0x0102}, {std::nullopt, 0, 0x0100},
    };
    for (const Case& c : cases) {
        machine_.Aspi.SupportWord = c.Word;
        machine_.Aspi.HostAdapters = c.Adapters;
        EXPECT_EQ(SupportEntry()(), c.Expected);
    }
}

TEST_F(Aspi, GoodCommandCompletesWithData) {
    machine_.AttachDriveAtAspi(1, 3);
    RequestArea area = MakeRequest(1, 3, kInquiry, 6, data_, 36);
    EXPECT_EQ(SendEntry()(&area), platform::SS_COMP);
    EXPECT_EQ(area.Srb.SRB_Status, platform::SS_COMP);
    EXPECT_EQ(area.Srb.SRB_TargStat, 0);
    EXPECT_EQ(area.Srb.SRB_HaStat, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data_ + 8), 8), "SIMDRIVE");
}

// ASPI has no residual count: a reply shorter than the buffer completes with
// the host adapter's data underrun status.
TEST_F(Aspi, AShortReplyCompletesWithADataUnderrun) {
    machine_.AttachDriveAtAspi(1, 3);
    RequestArea area = MakeRequest(1, 3, kInquiry, 6, data_, 64);
    EXPECT_EQ(SendEntry()(&area), platform::SS_COMP);
    EXPECT_EQ(area.Srb.SRB_TargStat, 0);
    EXPECT_EQ(area.Srb.SRB_HaStat, platform::HASTAT_DO_DU);
}

TEST_F(Aspi, CheckConditionCopiesTheAskedSenseBytes) {
    machine_.AttachDriveAtAspi(0, 0);
    RequestArea area = MakeRequest(0, 0, kUnknownOpcode, 6, data_, 0);
    std::memset(area.Srb.SenseArea, kGarbage, sizeof area.Srb.SenseArea);
    EXPECT_EQ(SendEntry()(&area), platform::SS_ERR);
    EXPECT_EQ(area.Srb.SRB_Status, platform::SS_ERR);
    EXPECT_EQ(area.Srb.SRB_TargStat, sim::kStatusCheckCondition);
    EXPECT_EQ(area.Srb.SenseArea[0], 0x70);
    EXPECT_EQ(area.Srb.SenseArea[2], 0x05);
    EXPECT_EQ(area.Srb.SenseArea[12], 0x20);
    EXPECT_EQ(area.Srb.SenseArea[13], 0x00);
    // 14 bytes were asked for: the two after them stay as they were.
    EXPECT_EQ(area.Srb.SenseArea[14], kGarbage);
    EXPECT_EQ(area.Srb.SenseArea[15], kGarbage);
}

TEST_F(Aspi, RequestsThatReachNoDriveAreAnsweredByTheLibrary) {
    sim::SimDrive& drive = machine_.AttachDriveAtAspi(0, 3);
    struct Case {
        const char* Name;
        uint8_t Command, Adapter, Target, Lun;
        uint8_t Expected;
    };
    const Case cases[] = {
        {"host adapter inquiry", 0, 0, 3, 0, platform::SS_INVALID_CMD},
        {"adapter past the count", 2, 2, 3, 0, platform::SS_INVALID_HA},
        {"no drive at the target", 2, 0, 4, 0, platform::SS_NO_DEVICE},
        {"no drive on the other adapter", 2, 1, 3, 0, platform::SS_NO_DEVICE},
        {"logical unit 1", 2, 0, 3, 1, platform::SS_NO_DEVICE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        RequestArea area = MakeRequest(c.Adapter, c.Target, kInquiry, 6, data_, 36);
        area.Srb.SRB_Cmd = c.Command;
        area.Srb.SRB_Lun = c.Lun;
        EXPECT_EQ(SendEntry()(&area), c.Expected);
        EXPECT_EQ(area.Srb.SRB_Status, c.Expected);
    }
    EXPECT_EQ(drive.CommandCount(), 0u);
}

TEST_F(Aspi, TransportFailureReportsTheFaultsStatus) {
    sim::SimDrive& drive = machine_.AttachDriveAtAspi(0, 0);
    sim::Fault aborted;
    aborted.Opcode = 0x12;
    aborted.TransportFailure = true;
    aborted.AspiStatus = platform::SS_ABORTED;
    drive.AddFault(aborted);
    RequestArea area = MakeRequest(0, 0, kInquiry, 6, data_, 36);
    EXPECT_EQ(SendEntry()(&area), platform::SS_ABORTED);
    EXPECT_EQ(area.Srb.SRB_Status, platform::SS_ABORTED);
}

TEST_F(Aspi, NeverCompletingRequestsLeaveTheStatusPending) {
    sim::SimDrive& drive = machine_.AttachDriveAtAspi(0, 0);
    machine_.Aspi.NeverCompletes = true;
    RequestArea area = MakeRequest(0, 0, kInquiry, 6, data_, 36);
    EXPECT_EQ(SendEntry()(&area), platform::SS_PENDING);
    EXPECT_EQ(area.Srb.SRB_Status, platform::SS_PENDING);
    EXPECT_EQ(drive.CommandCount(), 0u);
}

TEST_F(Aspi, DirectionComesFromTheFlags) {
    sim::SimDrive& drive = machine_.AttachDriveAtAspi(0, 0);
    struct Case {
        uint8_t Flags;
        uint32_t Length;
        sim::DataDirection Expected;
    };
    const Case cases[] = {
        {platform::SRB_DIR_IN, 36, sim::DataDirection::In},
        {platform::SRB_DIR_IN, 0, sim::DataDirection::In},
        {platform::SRB_DIR_OUT, 8, sim::DataDirection::Out},
        {platform::SRB_DIR_IN | platform::SRB_DIR_OUT, 8, sim::DataDirection::None},
        {0, 0, sim::DataDirection::None},
    };
    const uint8_t testUnitReady[6] = {};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << int(c.Flags) << " length " << c.Length);
        drive.ClearLog();
        RequestArea area = MakeRequest(0, 0, testUnitReady, 6, data_, c.Length, c.Flags);
        drive.InsertDisc(true);
        EXPECT_EQ(SendEntry()(&area), platform::SS_COMP);
        ASSERT_EQ(drive.LogSnapshot().size(), 1u);
        EXPECT_EQ(drive.LogSnapshot()[0].Direction, c.Expected);
    }
    // Data with no direction named cannot go.
    RequestArea area = MakeRequest(0, 0, kInquiry, 6, data_, 36, 0);
    EXPECT_EQ(SendEntry()(&area), platform::SS_INVALID_CMD);
    area = MakeRequest(0, 0, kInquiry, 6, nullptr, 36);
    EXPECT_EQ(SendEntry()(&area), platform::SS_INVALID_CMD);
}

}  // namespace
