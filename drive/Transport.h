// Drive transport: carries one command block to one optical drive and brings
// back a one-byte status, with the drive's sense bytes folded into the
// caller's data buffer.
//
// Two carriers: the ASPI library WNASPI32.DLL, loaded at run time (Windows
// 95/98/ME), and the SCSI pass-through-direct request on a drive's device
// handle (NT family).  SendDriveCommand picks one from the transport mode and
// the drive's entry in the DriveSlotTable, both filled by enumeration.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Scsi.h"
#include "platform/Services.h"

namespace drive {

using platform::Handle;

// Command status values.
inline constexpr uint8_t kStatusGood = 1;
inline constexpr uint8_t kStatusCheckCondition = 4;
inline constexpr uint8_t kStatusTransportFailed = 0xFF;

inline constexpr int kSlotCount = 26;

// Which way a command's data moves, as every sender takes it.  A command
// without data goes as In.
enum class Direction : uint8_t { In = 0, Out = 1 };

// One per process, static, zero at start.  Filled once by enumeration.
struct DriveSlotTable {
    int32_t TransportMode;               // 1 pass-through (NT family), 0 ASPI
    uint8_t TargetIds[kSlotCount];
    uint8_t HostAdapterIds[kSlotCount];
    Handle DeviceHandles[kSlotCount];
};
extern DriveSlotTable SlotTable;

// Settings of the program the transport is built into.  The diagnostic
// program uses the defaults; the download program sets its own.
struct TransportSettings {
    uint32_t PassThroughTimeoutSeconds = 200;
    // Bound of the ASPI sender's wait for the library, on the platform clock.
    // Past it the sender gives up and returns SS_ABORTED.
    uint32_t AspiWaitBoundMs = 200 * 1000;
};
extern TransportSettings Settings;

// The pass-through record handed to the control request as both input and
// output buffer: the pass-through-direct request, a filler and a 32-byte sense
// area.
struct PassThroughRecord {
    platform::ScsiPassThroughDirect Request;
    uint32_t Filler;
    uint8_t SenseArea[32];
};

// The ASPI execute-SCSI-command request, built in a 256-byte area cleared to
// zero for every command.
union AspiRequestBlock {
    platform::AspiExecScsiCmd Srb;
    uint8_t Area[256];
};
static_assert(sizeof(AspiRequestBlock) == 256);

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(PassThroughRecord) == 80);
static_assert(offsetof(PassThroughRecord, SenseArea) == 48);
#endif

inline constexpr uint8_t kPassThroughSenseLength = 24;

// Loads WNASPI32.DLL and resolves its two entries; the number of host
// adapters, or 0 when ASPI is unavailable.
uint8_t LoadAspi();

// What `transferred` receives for a request the carrier completed with fewer
// bytes than asked without saying how many (ASPI's data underrun): never
// the length asked, so a caller that needs every byte sees it short.
inline constexpr uint32_t kTransferNotCounted = UINT32_MAX;

// `transferred`, when given, receives kTransferNotCounted when the library
// reports a data underrun (SRB_HaStat HASTAT_DO_DU) on a completed request,
// the length asked when it completes one without, and 0 otherwise.
uint8_t SendAspiCommand(uint8_t hostAdapter, uint8_t target, const uint8_t* cdb, uint8_t cdbLength,
                        uint8_t* data, uint32_t dataLength, Direction direction, uint32_t* transferred = nullptr);

// 1, 4 or -1 (the control request failed).  `transferred`, when given,
// receives the bytes that moved as the record came back (0 on failure).
int SendPassThroughCommand(Handle device, const uint8_t* cdb, uint8_t cdbLength, uint8_t* data,
                           uint32_t dataLength, Direction direction, uint32_t* transferred = nullptr);

// `transferred` as the carrier's sender gives it.
uint8_t SendDriveCommand(uint32_t slot, const uint8_t* cdb, uint8_t cdbLength, uint8_t* data,
                         uint32_t dataLength, Direction direction, uint32_t* transferred = nullptr);

// Builders of the two request images, used by the senders (and by tests, which
// check them field by field).
void BuildAspiRequest(AspiRequestBlock& block, uint8_t hostAdapter, uint8_t target,
                      const uint8_t* cdb, uint8_t cdbLength, uint8_t* data, uint32_t dataLength,
                      Direction direction);
void BuildPassThroughRecord(PassThroughRecord& record, const uint8_t* cdb, uint8_t cdbLength,
                            uint8_t* data, uint32_t dataLength, Direction direction,
                            uint32_t timeoutSeconds);

// Forgets the loaded ASPI entries (tests that load another machine).
void ResetAspiLoader();

}  // namespace drive
