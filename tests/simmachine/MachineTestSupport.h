// Helpers shared by the simulated machine's tests.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/Scsi.h"
#include "simdrive/SimMachine.h"
#include "support/PassThroughRecord.h"
#include "support/ScratchDirectory.h"

namespace simtest {

using testsupport::kGarbage;
using testsupport::kSenseOffset;
using testsupport::PassThroughRecord;

inline constexpr uint8_t kInquiry[6] = {0x12, 0, 0, 0, 36, 0};
inline constexpr uint8_t kUnknownOpcode[6] = {0xEE, 0, 0, 0, 0, 0};

// A record for one command, with every byte the request does not set holding
// garbage (as the sender leaves it).
inline PassThroughRecord MakeRecord(const uint8_t* cdb, uint8_t cdbLength, uint8_t* data,
                                    uint32_t dataLength, uint8_t dataIn) {
    return testsupport::MakePassThroughRecord(cdb, cdbLength, dataIn, dataLength, data);
}

// A fresh directory under the system's temporary directory, removed at the
// end of the test.
class TempDir : public testsupport::ScratchDirectory {
public:
    TempDir() : ScratchDirectory("simmachine") {}
    std::string File(const std::string& name) const { return (Path() / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        WriteFile(name, text);
        return File(name);
    }
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace simtest
