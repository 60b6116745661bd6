// The pass-through-direct request, read once into one neutral request that a
// machine's backend carries out (the Linux host over SG_IO, the simulated
// machine on its simulated drives), and the outcome written back into the
// caller's record.  The record's rules live here only, so every machine
// accepts, refuses and answers a record the same way.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Scsi.h"

namespace platform {

// Which way the data moves.  None is the record's "unspecified", allowed
// only without data.
enum class TransferDirection : uint8_t { None, In, Out };

// The most sense bytes a backend takes back from one command; a larger sense
// area receives these and zeros past them.
inline constexpr uint32_t kMaxSenseBytes = 96;

struct PassThroughRequest {
    // What the caller asked for.
    uint8_t Cdb[16] = {};
    uint8_t CdbLength = 0;
    // As the record names it, also for a request without data.
    TransferDirection Direction = TransferDirection::None;
    void* Data = nullptr;           // null when DataLength is 0
    uint32_t DataLength = 0;
    uint32_t TimeoutSeconds = 0;
    uint32_t SenseRoom = 0;         // bytes of the caller's sense area (0: none asked for)

    // What came back, written by the backend.  A request that reached the
    // device and ended with a SCSI status - good, check condition, busy, ...
    // - leaves OsError 0; one that did not (refused by the system, device
    // gone, timed out) says why in OsError (an errno value) and carries
    // nothing else.
    uint8_t Status = 0;
    uint8_t Sense[kMaxSenseBytes] = {};
    uint32_t SenseLength = 0;       // sense bytes that came back
    uint32_t Residual = 0;          // bytes of DataLength that did not move
    int OsError = 0;
};

// Reads and checks a record.  False (request unspecified) when it is refused:
// a record that does not fit `inSize` or `outSize`, whose Length is not the
// record's size, a command block length of 0 or more than 16, a DataIn value
// that is none of data in / data out / unspecified, data with "unspecified"
// (no carrier can move data without knowing which way), data without a
// buffer, a sense area that overlaps the record or ends past `outSize`.
bool DecodePassThroughDirect(const void* in, uint32_t inSize, uint32_t outSize,
                             PassThroughRequest& request);

// Writes the outcome of a request that reached the device into `out` (which
// may be `in`): the record of `in` with ScsiStatus set and DataTransferLength
// cut to what moved (the residual taken off, never below 0), and, when a
// sense area was asked for, that area written whole, whatever the status:
// the sense that came back, kNoSenseReturned for a bad status that brought
// none, zeros past it.  Returns the bytes written back: the end of the sense
// area, or the record's size without one.
uint32_t EncodePassThroughDirect(const PassThroughRequest& request, const void* in, void* out);

// Carries out one request: fills request.OsError (and, when it is 0, the
// status, sense and residual).
using PassThroughBackend = std::function<void(PassThroughRequest& request)>;

// The whole request: decode, carry out, write back.  False, with `out` and
// bytesReturned untouched, for a refused record (no backend call) and for a
// request that did not reach the device.  `osError`, when given, receives
// the cause of a false result (EINVAL for a refused record) or 0.
bool CarryPassThroughDirect(const void* in, uint32_t inSize, void* out, uint32_t outSize,
                            uint32_t* bytesReturned, const PassThroughBackend& backend,
                            int* osError = nullptr);

// Marks the requests this thread sends while it lives as optional queries:
// the caller does without their answer.  A backend that may not send one
// then says once that the information is not shown, rather than reporting a
// failure each time.
class OptionalQuery {
public:
    OptionalQuery();
    ~OptionalQuery();
    OptionalQuery(const OptionalQuery&) = delete;
    OptionalQuery& operator=(const OptionalQuery&) = delete;
    static bool Active();
};

}  // namespace platform
