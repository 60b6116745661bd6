// Command blocks of the disc commands, as hosts send them, and reply fields.
#pragma once

#include <cstdint>
#include <vector>

#include "DriveTestSupport.h"
#include "simdrive/Disc.h"

namespace simtest {

inline uint32_t Big32(const std::vector<uint8_t>& d, size_t at) {
    return uint32_t{d[at]} << 24 | uint32_t{d[at + 1]} << 16 | uint32_t{d[at + 2]} << 8 | d[at + 3];
}
inline uint16_t Big16(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint16_t>(d[at] << 8 | d[at + 1]);
}

inline std::vector<uint8_t> GetConfiguration(uint16_t start, uint16_t allocation, uint8_t rt = 0) {
    return {0x46, rt, static_cast<uint8_t>(start >> 8), static_cast<uint8_t>(start), 0, 0, 0,
            static_cast<uint8_t>(allocation >> 8), static_cast<uint8_t>(allocation), 0};
}
inline const std::vector<uint8_t> kReadDiscInformation = {0x51, 0, 0, 0, 0, 0, 0, 0, 0x34, 0};
inline std::vector<uint8_t> ReadTrackInformation(uint16_t track) {
    return {0x52, 0x01, 0, 0, static_cast<uint8_t>(track >> 8), static_cast<uint8_t>(track), 0, 0, 0xFE, 0};
}
inline const std::vector<uint8_t> kReadAtip = {0x43, 0, 0x04, 0, 0, 0, 0, 0, 0xFE, 0};
inline std::vector<uint8_t> ReadDvdStructure(uint8_t format, uint16_t allocation, uint8_t layer = 0) {
    return {0xAD, 0, 0, 0, 0, 0, layer, format, static_cast<uint8_t>(allocation >> 8),
            static_cast<uint8_t>(allocation), 0, 0};
}
inline const std::vector<uint8_t> kSendWriteProtection = {0xBF, 0, 0, 0, 0, 0, 0, 0xC0, 0, 8, 0, 0};
inline const std::vector<uint8_t> kReadFormatCapacities = {0x23, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0};
inline const std::vector<uint8_t> kReadCapacity = {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline const std::vector<uint8_t> kModeSense05 = {0x5A, 0, 0x05, 0, 0, 0, 0, 0, 0xFE, 0};
inline std::vector<uint8_t> ModeSelect(uint8_t length) { return {0x55, 0x10, 0, 0, 0, 0, 0, 0, length, 0}; }
inline const std::vector<uint8_t> kSynchronizeCache = {0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0};
inline std::vector<uint8_t> CloseTrack(uint8_t track) { return {0x5B, 0x01, 0x01, 0, 0, track, 0, 0, 0, 0}; }
inline const std::vector<uint8_t> kCloseSession = {0x5B, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0};
inline const std::vector<uint8_t> kBlankMinimal = {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0};
inline const std::vector<uint8_t> kFormatUnit = {0x04, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
inline const std::vector<uint8_t> kQueryVendorFF09 = {0xFF, 0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA};

inline std::vector<uint8_t> Read10(uint32_t lba, uint8_t count) {
    return {0x28, 0, static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16), static_cast<uint8_t>(lba >> 8),
            static_cast<uint8_t>(lba), 0, 0, count, 0};
}
inline std::vector<uint8_t> Write10(uint32_t lba, uint8_t count) {
    std::vector<uint8_t> cdb = Read10(lba, count);
    cdb[0] = 0x2A;
    return cdb;
}
inline std::vector<uint8_t> Write12(uint32_t lba, uint8_t count, bool streaming) {
    return {0xAA, 0, static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16), static_cast<uint8_t>(lba >> 8),
            static_cast<uint8_t>(lba), 0, 0, 0, count, static_cast<uint8_t>(streaming ? 0x80 : 0), 0};
}

// The test pattern of `count` blocks from `lba`.
inline std::vector<uint8_t> Pattern(uint32_t lba, uint32_t count) {
    std::vector<uint8_t> data(count * sim::kBlockBytes);
    for (uint32_t i = 0; i < count; ++i) sim::FillPatternBlock(lba + i, data.data() + i * sim::kBlockBytes);
    return data;
}

inline Reply WritePattern(sim::SimDrive& drive, uint32_t lba, uint8_t count) {
    return Send(drive, Write10(lba, count), sim::DataDirection::Out, Pattern(lba, count));
}

// What the disc information routines take from the drive.
struct DiscView {
    uint16_t Profile = 0;
    uint8_t Status = 0;        // disc status, READ DISC INFORMATION byte 2 bits 0-1
    bool Erasable = false;
    uint16_t LastTrack = 0;
    uint32_t Capacity = 0;     // start + size of the last track
    uint32_t NextWritable = 0;
    uint32_t Free = 0;
};

inline DiscView View(sim::SimDrive& drive) {
    DiscView v;
    const Reply config = SendIn(drive, GetConfiguration(0, 32), 32);
    v.Profile = Big16(config.Data, 6);
    const Reply info = SendIn(drive, kReadDiscInformation, 52);
    if (info.Result.Status != sim::kStatusGood) return v;
    v.Status = info.Data[2] & 3;
    v.Erasable = (info.Data[2] & 0x10) != 0;
    v.LastTrack = static_cast<uint16_t>(info.Data[11] << 8 | info.Data[6]);
    const Reply track = SendIn(drive, ReadTrackInformation(v.LastTrack), 254);
    if (track.Result.Status != sim::kStatusGood) return v;
    v.Capacity = Big32(track.Data, 8) + Big32(track.Data, 24);
    v.NextWritable = Big32(track.Data, 12);
    v.Free = Big32(track.Data, 16);
    return v;
}

inline sim::Disc DiscOf(sim::DiscModel model, std::optional<sim::DiscState> status = std::nullopt, unsigned tracks = 0) {
    sim::DiscSetup setup;
    setup.Model = model;
    setup.Status = status;
    setup.Tracks = tracks;
    return sim::MakeDisc(setup);
}

}  // namespace simtest
