// Reads a firmware file's trailer and checks the file's size against it.
//
// A firmware file is the drive's image; its last 48 bytes are the trailer
// (or, when those begin with 0xFF, the 48 bytes ending 65,536 bytes before
// the end).  The size rule: with S the size in bytes, C the chunk size in KiB
// and N the chunk count, the last chunk has L = low byte of S/1024 - (N-1)*C
// KiB, and the file is whole when (N-1)*C KiB + L KiB equals S (32-bit signed
// arithmetic).  A 65,536-byte file is a boot image, to which the rule does
// not apply.
//
// Beyond the size rule the reader refuses what the download could not send
// as it stands: trailers it cannot read, and chunk fields that do not fit one
// transfer (16-bit length, 64 KiB buffer) or that would send a wrong chunk.
#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadTypes.h"

inline constexpr int64_t kBootImageSize = 65536;
// The second trailer position lies this far before the end of the file.
inline constexpr int64_t kSecondTrailerOffset = 65536 + 48;

enum class FirmwareFileProblem {
    None,
    NotOpened,             // missing, not a regular file, or unreadable
    TooShortForTrailer,    // fewer than 48 bytes
    NoSecondTrailer,       // last 48 bytes begin with 0xFF, file shorter than 65,584 bytes
    TooLarge,              // more than 2^31-1 bytes
    SizeRuleFails,         // the size does not match the chunk fields
    NoChunks,              // chunk count 0
    ChunkSizeZero,
    ChunkTooLarge,         // chunk size of 64 KiB or more
    LastChunkTooLarge,     // last chunk of 64 KiB or more
    LastChunkEmpty,        // last chunk of 0 KiB after a first chunk
    SingleChunkMismatch,   // one chunk whose size is not the file's
};

// What one firmware file holds.
struct FirmwareFileInfo {
    bool Opened = false;         // the file could be opened and its size taken
    int64_t FileSize = 0;        // bytes (0 when not opened)
    bool TrailerRead = false;    // false: Identity and the chunk fields are zeros
    FirmwareIdentity Identity;   // model, revision, code (upper-cased), FC code
    int ChunkKiB = 0;            // C
    int ChunkCount = 0;          // N
    OptionFlags Flags = 0;       // OptFcMarker, OptBootImage, OptCompareCode of this file
    uint8_t LastChunkKiB = 0;    // L (not for a boot image)
    bool SizeRuleHolds = false;  // true for a boot image, where the rule is not applied
    bool Usable = false;         // the file may be downloaded
    FirmwareFileProblem Problem = FirmwareFileProblem::NotOpened;
    std::string Reason;          // why not usable (English, for logs and tests)

    // The failed-open message "%ub %dKb %dCmd" shows ChunkBytes(),
    // LastChunkKiB and ChunkCount.
    uint32_t ChunkBytes() const { return static_cast<uint32_t>(ChunkKiB) * 1024u; }
};

// Opens the file, reads its trailer and judges it; the file is closed again
// on every path.  Never reads before the start of the file.
FirmwareFileInfo ReadFirmwareFile(const std::string& path);

// The judgement alone, on a file size and the trailer read at its place
// (nullptr when none could be read: the file is shorter than 48 bytes, or its
// last 48 bytes begin with 0xFF and it is shorter than 65,584 bytes).  The
// reader's last step; tests drive it directly for sizes no test file needs to
// have.
FirmwareFileInfo JudgeFirmwareFile(int64_t fileSize, const FirmwareTrailer* trailer);

// The reason text of a problem.
const char* FirmwareFileProblemText(FirmwareFileProblem problem);
