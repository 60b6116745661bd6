// Firmware image files for simulated drives.
#include "simdrive/FirmwareImage.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "SimDriveImpl.h"

namespace sim {

namespace {

// Size of the file in bytes, or a value of zero or less when the layout
// describes no file.
int64_t ImageBytes(const FirmwareImageLayout& layout) {
    if (layout.BootImage) return kBootImageBytes;
    const int64_t lastKiB = layout.LastChunkKiB != 0 ? layout.LastChunkKiB : layout.ChunkKiB;
    return ((static_cast<int64_t>(layout.ChunkCount) - 1) * layout.ChunkKiB + lastKiB) * 1024;
}

// Content bytes that depend only on the seed (xorshift32 over a mixed seed).
void FillContent(std::vector<uint8_t>& image, uint32_t seed) {
    uint32_t state = seed * 2654435761u ^ 0x9E3779B9u;
    if (state == 0) state = 1;
    for (uint8_t& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
}

}  // namespace

std::vector<uint8_t> BuildFirmwareImage(const FirmwareImageLayout& layout) {
    const int64_t size = ImageBytes(layout);
    const bool beforeTail = layout.TrailerBeforeTail && !layout.BootImage;
    const int64_t needed = beforeTail ? static_cast<int64_t>(kTailBytes + kTrailerBytes) : kTrailerBytes;
    if (size < needed) return {};

    std::vector<uint8_t> image(static_cast<size_t>(size));
    FillContent(image, layout.Seed);
    uint8_t* trailer = image.data() + image.size() - kTrailerBytes;
    if (beforeTail) {
        trailer[0] = 0xFF;
        trailer -= kTailBytes;
    }
    std::memset(trailer, 0, kTrailerBytes);
    PutText(trailer, layout.Model, 24);
    PutText(trailer + 24, layout.Revision, 4);
    trailer[28] = layout.ChunkKiB;
    trailer[29] = layout.ChunkCount;
    trailer[30] = layout.Type;
    PutText(trailer + 32, layout.Code, 3);
    if (layout.FcMarker) {
        trailer[42] = 'F';
        trailer[43] = 'C';
    }
    trailer[44] = layout.FcCode[0];
    trailer[45] = layout.FcCode[1];
    return image;
}

bool WriteFirmwareImage(const std::string& path, const FirmwareImageLayout& layout, std::string& error) {
    const std::vector<uint8_t> image = BuildFirmwareImage(layout);
    if (image.empty()) {
        error = "the image description gives a file of " + std::to_string(ImageBytes(layout)) +
                " bytes, too short for its trailer";
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (out) out.close();
    if (!out) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::optional<size_t> FindTrailer(const uint8_t* image, size_t size) {
    if (size < kTrailerBytes) return std::nullopt;
    const size_t last = size - kTrailerBytes;
    if (image[last] != 0xFF) return last;
    if (size < kTailBytes + kTrailerBytes) return std::nullopt;
    return last - kTailBytes;
}

}  // namespace sim
