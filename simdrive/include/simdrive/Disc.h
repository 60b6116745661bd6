// A disc for the simulated drive: what the drive reports about it (profile,
// recording status, sessions and tracks, ATIP times, DVD structures, format
// capacities, write protection) and what has been recorded on it.
//
// A disc is a value: tests and machine files make one with MakeDisc, change
// its fields, load it into a drive, take it out again with its recorded data
// and put it into another.  Copies share the recorded blocks.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

inline constexpr uint32_t kBlockBytes = 2048;

enum class DiscModel : uint8_t {
    CdRom,
    CdR,
    CdRw,
    DvdRom,
    DvdR,
    DvdRw,            // sequential recording (profile 14h)
    DvdRwRestricted,  // restricted overwrite (profile 13h)
    DvdRDl,
    DvdPlusR,
    DvdPlusRw,
    DvdPlusRDl,
    DvdRam,
    DvdPlusRwDl,      // the profiles below are not mapped to a disc type by the program
    BdRom,
    BdR,
    BdRe,
    HdDvdRom,
    HdDvdR,
    NoProfile,        // a disc the drive cannot identify: current profile 0
};

// How blocks get onto the disc.
enum class Recording : uint8_t {
    ReadOnly,    // pressed: every block reads, none can be written
    Sequential,  // written at the next writable address of the open track
    Random,      // any block of a formatted disc may be written
};

// READ DISC INFORMATION's disc status.
enum class DiscState : uint8_t { Blank = 0, Incomplete = 1, Finalized = 2, Other = 3 };

// Write-protection status (DVD structure C0h, byte 4).
inline constexpr uint8_t kProtectSoftware = 0x01;    // until the next power down
inline constexpr uint8_t kProtectPersistent = 0x02;  // PWP: kept on the disc, the host may change it
inline constexpr uint8_t kProtectMedia = 0x04;       // media-specific write inhibit (read-only)
inline constexpr uint8_t kProtectCartridge = 0x08;   // the cartridge's write-protect tab (read-only)

struct DiscTrack {
    uint16_t Session = 1;
    uint32_t Start = 0;
    uint32_t Size = 0;      // blocks; an open track reaches to the end of the disc
    uint32_t Recorded = 0;  // blocks written from its start (a closed track: its size)
    bool Closed = true;
    bool operator==(const DiscTrack&) const = default;
};

// One formattable-capacity descriptor of READ FORMAT CAPACITIES.
struct FormatCapacity {
    uint32_t Blocks = 0;
    uint8_t Type = 0;       // format type (the descriptor carries it shifted left by 2)
    uint32_t Parameter = 0; // 24 bits
    bool operator==(const FormatCapacity&) const = default;
};

// Model times, in milliseconds of the drive's clock, during which the drive
// answers "not ready, in progress" after an immediate command.
struct DiscTimings {
    uint32_t CloseTrackMs = 2000;
    uint32_t CloseSessionMs = 30000;
    uint32_t BlankMs = 60000;
    uint32_t FormatMs = 90000;
};

class BlockStore;

struct Disc {
    DiscModel Model = DiscModel::DvdRom;
    uint16_t Profile = 0x10;
    Recording Writing = Recording::ReadOnly;
    bool Erasable = false;
    DiscState Status = DiscState::Finalized;
    bool Formatted = true;       // Random recording: blocks can be written and read
    uint8_t Layers = 1;
    uint32_t Capacity = 0;       // blocks of the recording area
    uint32_t SessionGap = 0;     // blocks a closed session leaves before the next one
    std::vector<DiscTrack> Tracks;
    bool HasAtip = false;
    std::array<uint8_t, 3> AtipLeadIn{};   // minutes, seconds, frames
    std::array<uint8_t, 3> AtipLeadOut{};  // last possible start of the lead-out
    std::vector<uint8_t> PhysicalFormat;   // DVD structure 00h data (2048 bytes) or empty
    std::vector<uint8_t> PrePit;           // DVD structure 0Eh data or empty
    bool HasWriteProtection = false;       // answers DVD structure C0h
    uint8_t WriteProtection = 0;           // kProtect... bits
    std::vector<FormatCapacity> Formats;   // formattable capacities
    DiscTimings Timings;
    // The recorded blocks (shared by copies).  Pressed discs and tracks made
    // recorded by MakeDisc read back the test pattern: each 32-bit word of
    // block n holds n, big-endian.
    std::shared_ptr<BlockStore> Blocks;
};

// What MakeDisc builds; the machine file's `disc` setting holds the same.
struct DiscSetup {
    DiscModel Model = DiscModel::DvdRom;
    std::optional<DiscState> Status{};   // blank, incomplete or finalized (recordable discs)
    unsigned Tracks = 0;                 // tracks on the disc; 0: the model's default
    std::optional<std::string> MediaId{}; // manufacturer text of the media identifier
    uint8_t MediaRevision = 0x01;        // DVD+R/+RW product revision
    uint8_t WriteProtection = 0;         // kProtect... bits (DVD-RAM)
    std::optional<uint32_t> Capacity{};  // blocks of the recording area
};

Disc MakeDisc(const DiscSetup& setup);
inline Disc MakeDisc(DiscModel model) {
    DiscSetup setup;
    setup.Model = model;
    return MakeDisc(setup);
}

// The machine file's model names ("cd-rom", "dvd+r", "dvd-rw-ro", ...).
const char* DiscModelName(DiscModel model);
std::optional<DiscModel> DiscModelFromName(const std::string& name);
const std::vector<DiscModel>& AllDiscModels();

// Where the next block of the disc can be written: the open track, or none.
const DiscTrack* OpenTrack(const Disc& disc);

// The test pattern of block `lba` (kBlockBytes bytes at `out`).
void FillPatternBlock(uint32_t lba, uint8_t* out);

}  // namespace sim
