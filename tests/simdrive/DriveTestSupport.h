// Helpers for talking to a simulated drive in tests: send a command block,
// read the sense back, and cut a firmware file into chunks the way the
// download thread does.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "simdrive/FirmwareImage.h"
#include "simdrive/SimDrive.h"

namespace simtest {

struct Reply {
    sim::ScsiResult Result;
    std::vector<uint8_t> Data;
};

inline Reply Send(sim::SimDrive& drive, std::vector<uint8_t> cdb, sim::DataDirection direction,
                  std::vector<uint8_t> data = {}) {
    Reply reply;
    reply.Data = std::move(data);
    sim::ScsiRequest request;
    request.Cdb = cdb.data();
    request.CdbLength = static_cast<uint8_t>(cdb.size());
    request.Direction = direction;
    request.Data = reply.Data.data();
    request.DataLength = static_cast<uint32_t>(reply.Data.size());
    request.TimeoutSeconds = 60;
    reply.Result = drive.Execute(request);
    return reply;
}

inline Reply SendIn(sim::SimDrive& drive, std::vector<uint8_t> cdb, size_t length) {
    return Send(drive, std::move(cdb), sim::DataDirection::In, std::vector<uint8_t>(length, 0xEE));
}

inline sim::Sense SenseOf(const sim::ScsiResult& result) {
    return {result.SenseData[2], result.SenseData[12], result.SenseData[13]};
}

// "good", or the status and sense as "02 05/24/00".
inline std::string Outcome(const sim::ScsiResult& result) {
    if (result.TransportFailed) return "transport failed";
    if (result.Status == sim::kStatusGood) return "good";
    char text[32];
    std::snprintf(text, sizeof text, "%02X %02X/%02X/%02X", result.Status, result.SenseData[2],
                  result.SenseData[12], result.SenseData[13]);
    return text;
}

inline std::string Text(const std::vector<uint8_t>& data, size_t from, size_t size) {
    return std::string(data.begin() + static_cast<long>(from), data.begin() + static_cast<long>(from + size));
}

inline const std::vector<uint8_t> kInquiry96 = {0x12, 0, 0, 0, 0x60, 0, 0, 0, 0, 0, 0, 0};
inline const std::vector<uint8_t> kTestUnitReady = {0, 0, 0, 0, 0, 0};

inline std::vector<uint8_t> StartStopUnit(uint8_t byte4) { return {0x1B, 0, 0, 0, byte4, 0}; }

// One chunk-write as the download thread sends it.
struct Chunk {
    uint8_t Byte5 = 0;
    uint8_t Byte9 = 0;
    std::vector<uint8_t> Data;
};

// First chunk C KiB with byte 5 = 0, middle chunks C KiB with 0xFF, the last
// L KiB with byte 5 = L; a one-chunk file goes in first-chunk form.
inline std::vector<Chunk> SplitLikeDownloadThread(const std::vector<uint8_t>& file, unsigned chunkKiB,
                                                  unsigned count) {
    std::vector<Chunk> chunks;
    size_t at = 0;
    for (unsigned i = 0; i < count; ++i) {
        const bool last = i == count - 1 && i != 0;
        const size_t kib = last ? file.size() / 1024 - (count - 1) * chunkKiB : chunkKiB;
        Chunk chunk;
        chunk.Byte5 = i == 0 ? 0 : last ? static_cast<uint8_t>(kib) : 0xFF;
        chunk.Data.assign(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + kib * 1024));
        at += kib * 1024;
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

inline std::vector<uint8_t> ChunkWriteCdb(uint8_t byte5, uint8_t byte9) {
    return {0xFF, 0x00, 0x01, 0x00, 0x00, byte5, 0x00, 0x00, 0x00, byte9, 0x00, 0x00};
}

inline Reply WriteChunk(sim::SimDrive& drive, const Chunk& chunk) {
    return Send(drive, ChunkWriteCdb(chunk.Byte5, chunk.Byte9), sim::DataDirection::Out, chunk.Data);
}

inline std::vector<uint8_t> VendorCdb(uint8_t byte2, uint8_t byte5 = 0) {
    return {0xFF, 0x00, byte2, 0x00, 0x00, byte5, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA};
}

inline const std::vector<uint8_t> kFlashCommand = {0xFF, 0x02, 0xFC, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA};

struct Checksums {
    uint16_t Program = 0, Boot = 0, Parameter = 0;
    bool operator==(const Checksums&) const = default;
};

inline Checksums ReadChecksums(sim::SimDrive& drive) {
    const Reply reply = SendIn(drive, VendorCdb(0x03), 8);
    const auto word = [&](size_t at) { return static_cast<uint16_t>(reply.Data[at] << 8 | reply.Data[at + 1]); };
    return {word(0), word(2), word(4)};
}

inline uint16_t Sum(const uint8_t* bytes, size_t size) {
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i) sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

}  // namespace simtest
