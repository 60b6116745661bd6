// The pass-through record of the host's tests, its command block given as
// bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "support/PassThroughRecord.h"

namespace hosttest {

using Record = testsupport::PassThroughRecord;
using testsupport::kGarbage;
using testsupport::kSenseOffset;

inline Record MakeRecord(const std::vector<uint8_t>& cdb, uint8_t dataIn, uint32_t length, void* buffer,
                         uint32_t timeoutSeconds = 200, uint8_t senseLength = 24) {
    return testsupport::MakePassThroughRecord(cdb.data(), cdb.size(), dataIn, length, buffer, timeoutSeconds,
                                              senseLength);
}

}  // namespace hosttest
