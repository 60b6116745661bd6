#include "platform/PassThrough.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace platform {

namespace {

constexpr uint32_t kRecordSize = sizeof(ScsiPassThroughDirect);

}  // namespace

bool DecodePassThroughDirect(const void* in, uint32_t inSize, uint32_t outSize,
                             PassThroughRequest& request) {
    if (in == nullptr || inSize < kRecordSize || outSize < kRecordSize) return false;
    // The caller's buffer need not be aligned for the record: read a copy.
    ScsiPassThroughDirect record;
    std::memcpy(&record, in, kRecordSize);
    if (record.Length != kRecordSize) return false;
    if (record.CdbLength == 0 || record.CdbLength > sizeof record.Cdb) return false;
    if (record.SenseInfoLength != 0) {
        const uint64_t senseEnd = uint64_t{record.SenseInfoOffset} + record.SenseInfoLength;
        if (record.SenseInfoOffset < kRecordSize || senseEnd > outSize) return false;
    }
    TransferDirection direction;
    switch (record.DataIn) {
        case SCSI_IOCTL_DATA_IN: direction = TransferDirection::In; break;
        case SCSI_IOCTL_DATA_OUT: direction = TransferDirection::Out; break;
        case SCSI_IOCTL_DATA_UNSPECIFIED: direction = TransferDirection::None; break;
        default: return false;
    }
    if (record.DataTransferLength != 0 &&
        (direction == TransferDirection::None || record.DataBuffer == nullptr))
        return false;

    request = PassThroughRequest{};
    std::memcpy(request.Cdb, record.Cdb, record.CdbLength);
    request.CdbLength = record.CdbLength;
    request.Direction = direction;
    request.DataLength = record.DataTransferLength;
    request.Data = request.DataLength != 0 ? record.DataBuffer : nullptr;
    request.TimeoutSeconds = record.TimeOutValue;
    request.SenseRoom = record.SenseInfoLength;
    return true;
}

uint32_t EncodePassThroughDirect(const PassThroughRequest& request, const void* in, void* out) {
    auto* record = static_cast<uint8_t*>(out);
    if (out != in) std::memmove(record, in, kRecordSize);
    std::memcpy(record + offsetof(ScsiPassThroughDirect, ScsiStatus), &request.Status,
                sizeof request.Status);
    const uint32_t moved = request.DataLength - std::min(request.Residual, request.DataLength);
    std::memcpy(record + offsetof(ScsiPassThroughDirect, DataTransferLength), &moved, sizeof moved);
    if (request.SenseRoom == 0) return kRecordSize;

    uint32_t senseOffset = 0;
    std::memcpy(&senseOffset, record + offsetof(ScsiPassThroughDirect, SenseInfoOffset),
                sizeof senseOffset);
    // A backend that claims more sense than it holds gives no more than that.
    uint32_t came = std::min({request.SenseLength, request.SenseRoom, kMaxSenseBytes});
    const uint8_t* from = request.Sense;
    if (came == 0 && request.Status != 0) {
        from = kNoSenseReturned;
        came = std::min<uint32_t>(sizeof kNoSenseReturned, request.SenseRoom);
    }
    uint8_t* area = record + senseOffset;
    std::memcpy(area, from, came);
    std::memset(area + came, 0, request.SenseRoom - came);
    return senseOffset + request.SenseRoom;
}

bool CarryPassThroughDirect(const void* in, uint32_t inSize, void* out, uint32_t outSize,
                            uint32_t* bytesReturned, const PassThroughBackend& backend,
                            int* osError) {
    if (osError != nullptr) *osError = 0;
    PassThroughRequest request;
    if (out == nullptr || !DecodePassThroughDirect(in, inSize, outSize, request)) {
        if (osError != nullptr) *osError = EINVAL;
        return false;
    }
    backend(request);
    if (request.OsError != 0) {
        if (osError != nullptr) *osError = request.OsError;
        return false;
    }
    const uint32_t returned = EncodePassThroughDirect(request, in, out);
    if (bytesReturned != nullptr) *bytesReturned = returned;
    return true;
}

namespace {

thread_local int t_optionalQueries = 0;

}  // namespace

OptionalQuery::OptionalQuery() { ++t_optionalQueries; }
OptionalQuery::~OptionalQuery() { --t_optionalQueries; }
bool OptionalQuery::Active() { return t_optionalQueries > 0; }

}  // namespace platform
