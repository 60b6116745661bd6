// The simulated WNASPI32.DLL: its two entries, as plain functions that reach
// the installed machine's drives at their host adapters and targets.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "SimMachineImpl.h"
#include "platform/Scsi.h"

namespace sim {

std::atomic<SimMachine::Impl*> g_aspiMachine{nullptr};

namespace {

constexpr uint8_t kSsNoAdapters = 0xE8;

// The sender spins on the status byte, possibly on another thread: every other
// field of the block is written before the status, which is published last.
uint32_t Complete(platform::AspiExecScsiCmd& srb, uint8_t status) {
    std::atomic_ref<uint8_t>(srb.SRB_Status).store(status, std::memory_order_release);
    return status;
}

}  // namespace

uint32_t SimGetASPI32SupportInfo() {
    SimMachine::Impl* machine = g_aspiMachine.load();
    if (machine == nullptr) return static_cast<uint32_t>(kSsNoAdapters) << 8;
    const AspiLibraryConfig& aspi = machine->Machine.Aspi;
    if (aspi.SupportWord) return *aspi.SupportWord;
    return (static_cast<uint32_t>(platform::SS_COMP) << 8) | aspi.HostAdapters;
}

uint32_t SimSendASPI32Command(void* requestBlock) {
    if (requestBlock == nullptr) return platform::SS_INVALID_CMD;
    auto& srb = *static_cast<platform::AspiExecScsiCmd*>(requestBlock);
    SimMachine::Impl* machine = g_aspiMachine.load();
    if (machine == nullptr) return Complete(srb, platform::SS_INVALID_HA);
    const AspiLibraryConfig& aspi = machine->Machine.Aspi;

    if (srb.SRB_Cmd != platform::SC_EXEC_SCSI_CMD) return Complete(srb, platform::SS_INVALID_CMD);
    if (srb.SRB_HaId >= aspi.HostAdapters) return Complete(srb, platform::SS_INVALID_HA);
    SimDrive* drive = machine->DriveAt(srb.SRB_HaId, srb.SRB_Target);
    if (drive == nullptr || srb.SRB_Lun != 0) return Complete(srb, platform::SS_NO_DEVICE);

    ScsiRequest request;
    request.Cdb = srb.CDBByte;
    request.CdbLength = srb.SRB_CDBLen;
    if (request.CdbLength == 0 || request.CdbLength > sizeof srb.CDBByte)
        return Complete(srb, platform::SS_INVALID_CMD);
    switch (srb.SRB_Flags & (platform::SRB_DIR_IN | platform::SRB_DIR_OUT)) {
        case platform::SRB_DIR_IN: request.Direction = DataDirection::In; break;
        case platform::SRB_DIR_OUT: request.Direction = DataDirection::Out; break;
        case platform::SRB_DIR_IN | platform::SRB_DIR_OUT: request.Direction = DataDirection::None; break;
        default:
            // No direction named: only a request without data can go.
            if (srb.SRB_BufLen != 0) return Complete(srb, platform::SS_INVALID_CMD);
            request.Direction = DataDirection::None;
            break;
    }
    if (request.Direction != DataDirection::None) {
        request.DataLength = srb.SRB_BufLen;
        request.Data = srb.SRB_BufPointer;
        if (request.DataLength != 0 && request.Data == nullptr)
            return Complete(srb, platform::SS_INVALID_CMD);
    }

    // A request that never completes: the status stays pending.
    if (aspi.NeverCompletes) return platform::SS_PENDING;

    const ScsiResult result = drive->Execute(request);
    if (result.TransportFailed) return Complete(srb, result.AspiStatus);

    srb.SRB_TargStat = result.Status;
    // A data phase that ended early is the host adapter's to report: the
    // library has no residual count to give.
    srb.SRB_HaStat = result.Residual != 0 ? platform::HASTAT_DO_DU : 0;
    if (result.Status == kStatusGood) return Complete(srb, platform::SS_COMP);
    const size_t copied =
        std::min({static_cast<size_t>(srb.SRB_SenseLen), sizeof srb.SenseArea, size_t{kSenseLength}});
    // A drive that ended the command without sense (no response code).
    const bool none = result.SenseData[0] == 0;
    std::memcpy(srb.SenseArea, none ? platform::kNoSenseReturned : result.SenseData, copied);
    return Complete(srb, platform::SS_ERR);
}

}  // namespace sim
