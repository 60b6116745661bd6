// The pass-through record as the drive layer hands it to the platform:
// request, filler, sense area; filled with garbage where nothing is set.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/Scsi.h"

namespace hosttest {

// The record as the drive layer hands it over: request, filler, sense area.
struct Record {
    platform::ScsiPassThroughDirect Request;
    uint32_t Filler;
    uint8_t Sense[32];
};
constexpr uint32_t kSenseOffset = offsetof(Record, Sense);
constexpr uint8_t kGarbage = 0xEE;

inline Record MakeRecord(const std::vector<uint8_t>& cdb, uint8_t dataIn, uint32_t length, void* buffer,
                         uint32_t timeoutSeconds = 200, uint8_t senseLength = 24) {
    Record record;
    std::memset(&record, kGarbage, sizeof record);
    record.Request.Length = sizeof(platform::ScsiPassThroughDirect);
    record.Request.PathId = 0;
    record.Request.TargetId = 1;
    record.Request.Lun = 0;
    record.Request.CdbLength = static_cast<uint8_t>(cdb.size());
    record.Request.SenseInfoLength = senseLength;
    record.Request.DataIn = dataIn;
    record.Request.DataTransferLength = length;
    record.Request.TimeOutValue = timeoutSeconds;
    record.Request.DataBuffer = buffer;
    record.Request.SenseInfoOffset = kSenseOffset;
    std::memcpy(record.Request.Cdb, cdb.data(), std::min<size_t>(cdb.size(), 16));
    return record;
}

}  // namespace hosttest
