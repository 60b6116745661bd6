// Builds ".BIN" firmware images for simulated drives: the image bytes
// followed by the 48-byte trailer that names the drive model, the revision,
// the three-character code, an optional FC code and how the image is cut into
// chunks.  Used by tests and by the README's run command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

inline constexpr size_t kTrailerBytes = 48;
// Images whose last 48 bytes begin with 0xFF carry their trailer this far
// before the end.
inline constexpr size_t kTailBytes = 65536;
inline constexpr size_t kBootImageBytes = 65536;
// The part of a boot image that is written into the drive's boot block.
inline constexpr size_t kBootBlockOffset = 4096;
inline constexpr size_t kBootBlockBytes = 1024;

struct FirmwareImageLayout {
    std::string Model = "SIMDRIVEDVD-RW SD-1000";  // vendor (8) + product (16), blank-padded to 24
    std::string Revision = "1.01";                 // 4
    std::string Code = "SDA";                      // 3
    uint8_t Type = 4;            // trailer byte 30; 4: the code must match
    bool FcMarker = false;       // trailer bytes 42-43 "FC"
    uint8_t FcCode[2] = {0, 0};  // trailer bytes 44-45
    uint8_t ChunkKiB = 32;       // trailer byte 28
    uint8_t ChunkCount = 4;      // trailer byte 29
    // Size of the last chunk in KiB; the file is (ChunkCount-1)*ChunkKiB +
    // LastChunkKiB KiB long.  0: same as ChunkKiB.
    uint8_t LastChunkKiB = 0;
    // Put the trailer 65,536 bytes before the end and start the last 48 bytes
    // with 0xFF (images that carry a 64 KiB tail after their trailer).
    bool TrailerBeforeTail = false;
    // A 65,536-byte boot image (the chunk fields are then not used for the size).
    bool BootImage = false;
    uint32_t Seed = 1;           // content of the image bytes
};

// The file bytes the layout describes; empty when it describes no file (a size
// of zero or less, less than 48 bytes, or too short to hold a trailer 65,536
// bytes before its end).
std::vector<uint8_t> BuildFirmwareImage(const FirmwareImageLayout& layout);
bool WriteFirmwareImage(const std::string& path, const FirmwareImageLayout& layout, std::string& error);

// Offset of the trailer in an image, read the way the download program reads
// it: the last 48 bytes, or, when their first byte is 0xFF, the 48 bytes that
// end 65,536 bytes before the end.  Nothing when that position does not lie
// inside the image.
std::optional<size_t> FindTrailer(const uint8_t* image, size_t size);

}  // namespace sim
