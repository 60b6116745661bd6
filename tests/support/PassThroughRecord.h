// The pass-through record as the drive layer hands it to the platform:
// request, filler, sense area; every byte the request does not set holds
// garbage, as the sender leaves it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/Scsi.h"

namespace testsupport {

struct PassThroughRecord {
    platform::ScsiPassThroughDirect Request;
    uint32_t Filler;
    uint8_t Sense[32];
};
inline constexpr uint32_t kSenseOffset = offsetof(PassThroughRecord, Sense);
inline constexpr uint8_t kGarbage = 0xEE;

// A record for one command, addressed as the drive layer addresses it.  A
// command block length past 16 is recorded as it is (for the refusal), with
// only 16 bytes copied.
inline PassThroughRecord MakePassThroughRecord(const uint8_t* cdb, size_t cdbLength, uint8_t dataIn,
                                               uint32_t length, void* buffer, uint32_t timeoutSeconds = 200,
                                               uint8_t senseLength = 24) {
    PassThroughRecord record;
    std::memset(&record, kGarbage, sizeof record);
    record.Request.Length = sizeof(platform::ScsiPassThroughDirect);
    record.Request.PathId = 0;
    record.Request.TargetId = 1;
    record.Request.Lun = 0;
    record.Request.CdbLength = static_cast<uint8_t>(cdbLength);
    record.Request.SenseInfoLength = senseLength;
    record.Request.DataIn = dataIn;
    record.Request.DataTransferLength = length;
    record.Request.TimeOutValue = timeoutSeconds;
    record.Request.DataBuffer = buffer;
    record.Request.SenseInfoOffset = kSenseOffset;
    std::memcpy(record.Request.Cdb, cdb, std::min<size_t>(cdbLength, sizeof record.Request.Cdb));
    return record;
}

}  // namespace testsupport
