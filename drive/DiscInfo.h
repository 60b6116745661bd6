// The disc information record that the diagnostic program shows, tests and
// logs, the disc type codes and the names under which disc types and
// statuses are shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace drive {

// High byte the family, low byte the kind.  Family bits: 10h DVD (media
// identifier instead of ATIP; format capacities), 01h DVD-R family, 02h
// DVD+R family.  Kind bit 08h: dual layer.
using DiscTypeCode = uint16_t;
inline constexpr DiscTypeCode kDiscNone = 0x0000;     // no disc, or a type not handled
inline constexpr DiscTypeCode kDiscUnknown = 0xFFFF;  // treated like kDiscNone
inline constexpr DiscTypeCode kDiscCdRom = 0x0801;
inline constexpr DiscTypeCode kDiscCdR = 0x0802;
inline constexpr DiscTypeCode kDiscCdRw = 0x0804;
inline constexpr DiscTypeCode kDiscDvdRom = 0x1001;
inline constexpr DiscTypeCode kDiscDvdRam = 0x1010;
inline constexpr DiscTypeCode kDiscDvdR = 0x1102;
inline constexpr DiscTypeCode kDiscDvdRw = 0x1104;
inline constexpr DiscTypeCode kDiscDvdRDl = 0x110A;
inline constexpr DiscTypeCode kDiscDvdPlusR = 0x1202;
inline constexpr DiscTypeCode kDiscDvdPlusRw = 0x1204;
inline constexpr DiscTypeCode kDiscDvdPlusRDl = 0x120A;

// The disc status field of READ DISC INFORMATION.
enum DiscStatus : uint8_t {
    DiscBlank = 0,
    DiscIncomplete = 1,
    DiscFinalized = 2,
    DiscOther = 3,
};

inline constexpr int kDiscTypeNameCount = 22;
// By index, 0 "CD-ROM" to 21 "BD-RE"; the index is also the test kind and
// the media index of the write routines.
extern const char* const DiscTypeNameTable[kDiscTypeNameCount];

inline constexpr size_t kIdentityTextSize = 48;
inline constexpr size_t kSecondTextSize = 128;

struct DiscRecord {
    uint8_t Valid;              // 1 when the last GetDiscInfo succeeded
    uint8_t VendorSupportFlag;  // QueryVendorFF09
    uint8_t FinishedReadable;   // IsFinishedReadableDisc
    uint8_t WriteProtected;
    uint8_t Status;             // DiscStatus
    uint16_t DiscType;          // DiscTypeCode
    uint16_t CurrentProfile;
    uint16_t LastTrack;         // last track in the last session
    uint32_t Capacity;          // blocks
    uint32_t NextWritableAddress;
    uint32_t FreeBlocks;
    uint32_t FormattableCapacity;  // blocks, DVD family only
    uint32_t ErrorCode;         // sense code of the command that failed, else 0
    // CD: ATIP start time of the lead-in "mm:ss:ff"; DVD: media identifier.
    char IdentityText[kIdentityTextSize];
    // CD: ATIP last possible start of the lead-out; DVD: identifier bytes in hex.
    char SecondText[kSecondTextSize];
};
static_assert(offsetof(DiscRecord, DiscType) == 6);
static_assert(offsetof(DiscRecord, Capacity) == 12);
static_assert(offsetof(DiscRecord, IdentityText) == 32);
static_assert(sizeof(DiscRecord) == 208);

// DVD+ media identifiers whose product revision is shown.
struct KnownMediaTable {
    char DualLayer[3][64];
    char SingleLayer[5][64];
};
extern const KnownMediaTable kKnownMedia;

// The reply buffer the routines below take: 65,536 bytes.
inline constexpr size_t kDiscInfoBufferSize = 65536;

bool GetDiscInfo(uint32_t slot, DiscRecord& record);
void GetCurrentDiscType(uint32_t slot, DiscRecord& record, std::span<uint8_t> buffer);
DiscTypeCode ProfileToDiscCode(uint16_t profile);
bool ReadDiscInformation(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record);
bool ReadCapacityInfo(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record);
bool ReadMediaIdentity(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record);
uint8_t ReadAtipTimes(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record);
bool ReadDvdMediaId(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record);
// data: the structure data after its 4-byte header, as far as the drive sent
// it.  Both texts stay within their size and end in a NUL.
bool ParseDvdMediaId(DiscRecord& record, std::span<const uint8_t> data);
bool IsKnownMedia(const DiscRecord& record);
bool IsFinishedReadableDisc(DiscRecord record);
bool MatchesTestMedia(uint8_t kind, uint8_t& nextKind, uint8_t roundCount, DiscRecord record);

// Indexes outside 0-21 give an empty text.
std::string GetDiscTypeName(int index);
std::string GetDiscCodeName(DiscTypeCode code);
int16_t DiscCodeToIndex(DiscTypeCode code);
std::string GetDiscStatusName(uint8_t status);

}  // namespace drive
