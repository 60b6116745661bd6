// The two request layouts that cross to the platform when a command block is
// sent to a drive: the pass-through-direct request of the storage interface
// and the ASPI execute-SCSI-command request block.
//
// Both are laid out with natural alignment, as the platform's own headers lay
// them out: on a 32-bit build every field sits where the 32-bit platform has
// it, and on a 64-bit build the address fields are 8 bytes wide and the fields
// after them move by natural alignment, as in the platform's 64-bit layouts.
// Callers take offsets from these definitions (offsetof), never from literals.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// SCSI_PASS_THROUGH_DIRECT.
struct ScsiPassThroughDirect {
    uint16_t Length;            // sizeof(ScsiPassThroughDirect)
    uint8_t ScsiStatus;         // written by the system
    uint8_t PathId;
    uint8_t TargetId;
    uint8_t Lun;
    uint8_t CdbLength;
    uint8_t SenseInfoLength;
    uint8_t DataIn;             // SCSI_IOCTL_DATA_OUT / _IN / _UNSPECIFIED
    uint32_t DataTransferLength;
    uint32_t TimeOutValue;      // seconds
    void* DataBuffer;
    uint32_t SenseInfoOffset;   // from the start of this record
    uint8_t Cdb[16];
};

inline constexpr uint8_t SCSI_IOCTL_DATA_OUT = 0;
inline constexpr uint8_t SCSI_IOCTL_DATA_IN = 1;
inline constexpr uint8_t SCSI_IOCTL_DATA_UNSPECIFIED = 2;

// SRB_ExecSCSICmd of ASPI for Win32.
inline constexpr int kAspiSenseLength = 14;

struct AspiExecScsiCmd {
    uint8_t SRB_Cmd;
    uint8_t SRB_Status;
    uint8_t SRB_HaId;
    uint8_t SRB_Flags;
    uint32_t SRB_Hdr_Rsvd;
    uint8_t SRB_Target;
    uint8_t SRB_Lun;
    uint16_t SRB_Rsvd1;
    uint32_t SRB_BufLen;
    uint8_t* SRB_BufPointer;
    uint8_t SRB_SenseLen;
    uint8_t SRB_CDBLen;
    uint8_t SRB_HaStat;
    uint8_t SRB_TargStat;
    void* SRB_PostProc;
    uint8_t SRB_Rsvd2[20];
    uint8_t CDBByte[16];
    uint8_t SenseArea[kAspiSenseLength + 2];
};

inline constexpr uint8_t SC_EXEC_SCSI_CMD = 0x02;
inline constexpr uint8_t SRB_DIR_IN = 0x08;
inline constexpr uint8_t SRB_DIR_OUT = 0x10;

// ASPI request status values.
inline constexpr uint8_t SS_PENDING = 0x00;
inline constexpr uint8_t SS_COMP = 0x01;
inline constexpr uint8_t SS_ABORTED = 0x02;
inline constexpr uint8_t SS_ERR = 0x04;
inline constexpr uint8_t SS_INVALID_CMD = 0x80;
inline constexpr uint8_t SS_INVALID_HA = 0x81;
inline constexpr uint8_t SS_NO_DEVICE = 0x82;

// Host adapter status (SRB_HaStat) of a request whose data phase ended
// before its length: fewer bytes moved than SRB_BufLen, how many is not said.
inline constexpr uint8_t HASTAT_DO_DU = 0x12;

// Sense byte 2 of a command that brought back no sense: no drive sends FFh
// there (a reserved sense key with every flag set), so the code read from it
// never passes for a drive's own error, nor for "no error" (000000).
inline constexpr uint8_t kNoSenseMarker = 0xFF;

// The sense a check condition carries when the device returned none: fixed
// format, byte 2 the marker, ASCQ the check-condition status (SS_ERR), so
// that the drive error code reads FF0004 - the marker plus the command's
// status, as for every other command that brought back no sense.
inline constexpr uint8_t kNoSenseReturned[18] = {
    0x70, 0, kNoSenseMarker, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0, SS_ERR, 0, 0, 0, 0};

// The two entries of the ASPI library.
using GetASPI32SupportInfoProc = uint32_t (*)();
using SendASPI32CommandProc = uint32_t (*)(void* requestBlock);

inline constexpr const char* kAspiLibraryName = "WNASPI32.DLL";
inline constexpr const char* kAspiSendEntry = "SendASPI32Command";
inline constexpr const char* kAspiSupportEntry = "GetASPI32SupportInfo";

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(ScsiPassThroughDirect) == 44);
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 20);
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 28);
static_assert(offsetof(AspiExecScsiCmd, SRB_BufPointer) == 16);
static_assert(offsetof(AspiExecScsiCmd, SRB_PostProc) == 24);
static_assert(offsetof(AspiExecScsiCmd, CDBByte) == 48);
static_assert(offsetof(AspiExecScsiCmd, SenseArea) == 64);
#else
static_assert(sizeof(ScsiPassThroughDirect) == 56);
static_assert(offsetof(ScsiPassThroughDirect, DataBuffer) == 24);
static_assert(offsetof(ScsiPassThroughDirect, Cdb) == 36);
static_assert(offsetof(AspiExecScsiCmd, SRB_BufPointer) == 16);
static_assert(offsetof(AspiExecScsiCmd, SRB_PostProc) == 32);
static_assert(offsetof(AspiExecScsiCmd, CDBByte) == 60);
static_assert(offsetof(AspiExecScsiCmd, SenseArea) == 76);
#endif
static_assert(sizeof(AspiExecScsiCmd) <= 256);

}  // namespace platform
