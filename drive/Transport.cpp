#include "drive/Transport.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "drive/Timing.h"
#include "platform/Win.h"

namespace drive {

DriveSlotTable SlotTable{};
TransportSettings Settings{};

namespace {

// Loader state, kept for the life of the process; the module handle is not.
platform::SendASPI32CommandProc g_sendAspi = nullptr;
platform::GetASPI32SupportInfoProc g_aspiSupportInfo = nullptr;

constexpr uint8_t kSsNoAspi = 0xE3;

}  // namespace

void ResetAspiLoader() {
    g_sendAspi = nullptr;
    g_aspiSupportInfo = nullptr;
}

uint8_t LoadAspi() {
    platform::ModuleHandle module = win::LoadLibraryA(platform::kAspiLibraryName);
    if (module == nullptr) return 0;
    g_sendAspi = reinterpret_cast<platform::SendASPI32CommandProc>(
        win::GetProcAddress(module, platform::kAspiSendEntry));
    g_aspiSupportInfo = reinterpret_cast<platform::GetASPI32SupportInfoProc>(
        win::GetProcAddress(module, platform::kAspiSupportEntry));
    if (g_sendAspi == nullptr || g_aspiSupportInfo == nullptr) return 0;

    const uint32_t info = g_aspiSupportInfo();
    const uint8_t adapters = static_cast<uint8_t>(info & 0xFF);
    const uint8_t status = static_cast<uint8_t>((info >> 8) & 0xFF);
    if (adapters != 0 && status == platform::SS_COMP) return adapters;
    return 0;
}

void BuildAspiRequest(AspiRequestBlock& block, uint8_t hostAdapter, uint8_t target,
                      const uint8_t* cdb, uint8_t cdbLength, uint8_t* data, uint32_t dataLength,
                      Direction direction) {
    std::memset(block.Area, 0, sizeof block.Area);
    platform::AspiExecScsiCmd& srb = block.Srb;
    srb.SRB_Cmd = platform::SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = hostAdapter;
    srb.SRB_Flags = direction == Direction::In ? platform::SRB_DIR_IN : platform::SRB_DIR_OUT;
    srb.SRB_Target = target;
    srb.SRB_Lun = 0;
    srb.SRB_BufLen = dataLength;
    srb.SRB_BufPointer = data;
    srb.SRB_SenseLen = platform::kAspiSenseLength;
    srb.SRB_CDBLen = cdbLength;
    srb.SRB_PostProc = nullptr;
    std::memcpy(srb.CDBByte, cdb, cdbLength < sizeof srb.CDBByte ? cdbLength : sizeof srb.CDBByte);
}

uint8_t SendAspiCommand(uint8_t hostAdapter, uint8_t target, const uint8_t* cdb, uint8_t cdbLength,
                        uint8_t* data, uint32_t dataLength, Direction direction, uint32_t* transferred) {
    if (transferred != nullptr) *transferred = 0;
    if (g_sendAspi == nullptr) return kSsNoAspi;

    AspiRequestBlock block;
    BuildAspiRequest(block, hostAdapter, target, cdb, cdbLength, data, dataLength, direction);
    g_sendAspi(&block);

    // The library completes the request on its own time and writes the status
    // byte when it is done.  While it is pending the sender sleeps on the
    // platform clock between looks, so that the wait neither holds a
    // processor nor outlives its bound on a clock that moves only when
    // someone sleeps: past the bound the request counts as aborted.
    std::atomic_ref<uint8_t> status(block.Srb.SRB_Status);
    const uint32_t start = win::timeGetTime();
    while (status.load(std::memory_order_acquire) == platform::SS_PENDING) {
        if (win::timeGetTime() - start >= Settings.AspiWaitBoundMs) return platform::SS_ABORTED;
        win::Sleep(kAspiPollMs);
    }

    const uint8_t result = status.load(std::memory_order_acquire);
    // ASPI counts no residual: a completed request either moved its length
    // or, by its host adapter status, less than that.
    if (transferred != nullptr && result == platform::SS_COMP)
        *transferred = block.Srb.SRB_HaStat == platform::HASTAT_DO_DU ? kTransferNotCounted : dataLength;
    if (result == platform::SS_ERR) {
        data[2] = block.Srb.SenseArea[2];
        data[12] = block.Srb.SenseArea[12];
        data[13] = block.Srb.SenseArea[13];
    }
    return result;
}

void BuildPassThroughRecord(PassThroughRecord& record, const uint8_t* cdb, uint8_t cdbLength,
                            uint8_t* data, uint32_t dataLength, Direction direction,
                            uint32_t timeoutSeconds) {
    // Only the fields given a value are set: status, padding, the command
    // bytes past the block, the filler and the sense area stay as they were.
    platform::ScsiPassThroughDirect& request = record.Request;
    request.Length = sizeof(platform::ScsiPassThroughDirect);
    request.PathId = 0;
    request.TargetId = 1;
    request.Lun = 0;
    request.CdbLength = cdbLength;
    request.SenseInfoLength = kPassThroughSenseLength;
    request.DataIn = direction == Direction::In ? platform::SCSI_IOCTL_DATA_IN : platform::SCSI_IOCTL_DATA_OUT;
    request.DataTransferLength = dataLength;
    request.TimeOutValue = timeoutSeconds;
    request.DataBuffer = data;
    request.SenseInfoOffset = offsetof(PassThroughRecord, SenseArea);
    std::memcpy(request.Cdb, cdb, cdbLength < sizeof request.Cdb ? cdbLength : sizeof request.Cdb);
}

int SendPassThroughCommand(Handle device, const uint8_t* cdb, uint8_t cdbLength, uint8_t* data,
                           uint32_t dataLength, Direction direction, uint32_t* transferred) {
    PassThroughRecord record;
    BuildPassThroughRecord(record, cdb, cdbLength, data, dataLength, direction,
                           Settings.PassThroughTimeoutSeconds);
    uint32_t returned = 0;
    if (transferred != nullptr) *transferred = 0;
    if (!win::DeviceIoControl(device, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT, &record,
                              sizeof record, &record, sizeof record, &returned))
        return -1;
    if (transferred != nullptr) *transferred = std::min(record.Request.DataTransferLength, dataLength);
    if (record.Request.ScsiStatus == 0) return 1;
    data[2] = record.SenseArea[2];
    data[12] = record.SenseArea[12];
    data[13] = record.SenseArea[13];
    return 4;
}

uint8_t SendDriveCommand(uint32_t slot, const uint8_t* cdb, uint8_t cdbLength, uint8_t* data,
                         uint32_t dataLength, Direction direction, uint32_t* transferred) {
    const uint8_t index = static_cast<uint8_t>(slot & 0xFF);
    if (transferred != nullptr) *transferred = 0;
    // The tables hold 26 slots; a number past them names no drive.
    if (index >= kSlotCount) return kStatusTransportFailed;
    if (SlotTable.TransportMode == 1)
        return static_cast<uint8_t>(SendPassThroughCommand(SlotTable.DeviceHandles[index], cdb, cdbLength,
                                                           data, dataLength, direction, transferred));
    return SendAspiCommand(SlotTable.HostAdapterIds[index], SlotTable.TargetIds[index], cdb, cdbLength, data,
                           dataLength, direction, transferred);
}

}  // namespace drive
