#include "drive/DiscInfo.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "drive/Mmc.h"
#include "drive/Reply.h"

namespace drive {

const char* const DiscTypeNameTable[kDiscTypeNameCount] = {
    "CD-ROM",     "CD-R",         "CD-RW",      "DVD-ROM",      "DVD-R",        "DVD-RW",
    "DVD-R DL",   "DVD-RW DL",    "DVD+R",      "DVD+RW",       "DVD+R DL",     "DVD+RW DL",
    "DVD-RAM",    "HD DVD-ROM",   "HD DVD-R",   "HD DVD-RW",    "HD DVD-R DL",  "HD DVD-RW DL",
    "HD DVD-RAM", "BD-ROM",       "BD-R",       "BD-RE",
};

const KnownMediaTable kKnownMedia = {
    {"RICOHJPND01", "RITEK D03", "RITEK S04"},
    {"RICOHJPNR03", "RITEK R05", "RITEK F16", "MBIPG101R05", "PRODISC R05"},
};

namespace {

constexpr uint8_t kFamilyDvd = 0x10;
constexpr uint8_t kFamilyDashR = 0x01;
constexpr uint8_t kFamilyPlusR = 0x02;
constexpr uint8_t kKindDualLayer = 0x08;

constexpr uint16_t kConfigurationLength = 32;
constexpr uint16_t kMediaIdLength = 2052;
constexpr uint8_t kPhysicalFormat = 0x00;
constexpr uint8_t kPrerecordedLeadIn = 0x0E;
constexpr size_t kCapacityAsked = 8;
constexpr uint8_t kSenseKeyIllegalRequest = 0x05;

uint8_t Family(DiscTypeCode code) { return static_cast<uint8_t>(code >> 8); }
uint8_t Kind(DiscTypeCode code) { return static_cast<uint8_t>(code); }
bool IsDvd(DiscTypeCode code) { return (Family(code) & kFamilyDvd) != 0; }

// A reply of `moved` bytes whose bytes 0-1 count the bytes after them.
Reply LengthPrefixed16(std::span<const uint8_t> buffer, size_t moved) {
    return Reply(buffer, moved, ReadBigEndian16(buffer.data()) + 2u);
}

// READ DISC INFORMATION up to its last field the record takes (byte 11),
// and READ TRACK INFORMATION up to the track size (bytes 24-27).
constexpr uint32_t kDiscInformationFields = 12;
constexpr uint32_t kTrackFields = 28;

// A query that came good but without the fields its reader needs counts as
// failed, with the short-transfer code.
bool CameWith(uint8_t status, uint32_t moved, uint32_t needed, std::span<uint8_t> buffer) {
    if (status != kStatusGood) return false;
    if (moved >= needed) return true;
    RecordShortReply(buffer);
    return false;
}

// A NUL-terminated text in a fixed array, never written past its size.
class FixedText {
public:
    FixedText(char* text, size_t size) : text_(text), size_(size) { text_[0] = '\0'; }

    bool Full() const { return length_ + 1 >= size_; }
    bool Append(char c) {
        if (Full()) return false;
        text_[length_++] = c;
        text_[length_] = '\0';
        return true;
    }
    // One "%02X" item, after a blank when it is not the first; an item that
    // does not fit whole is left out.
    void AppendHex(uint8_t byte) {
        char item[4];
        const int length = std::snprintf(item, sizeof item, length_ == 0 ? "%02X" : " %02X", byte);
        if (length_ + static_cast<size_t>(length) + 1 > size_) return;
        for (int i = 0; i < length; ++i) text_[length_++] = item[i];
        text_[length_] = '\0';
    }
    void DropLast() {
        if (length_ > 0) text_[--length_] = '\0';
    }
    std::string_view View() const { return {text_, length_}; }

private:
    char* text_;
    size_t size_;
    size_t length_ = 0;
};

uint8_t ByteAt(std::span<const uint8_t> data, size_t offset) {
    return offset < data.size() ? data[offset] : 0;
}

// Identifier bytes as hex items and as a compacted text: every 00 byte a
// blank, each run of blanks one blank, one blank at the end removed.
void TakeCompacted(std::span<const uint8_t> bytes, FixedText& identity, FixedText& hex) {
    bool lastWasBlank = false;
    for (const uint8_t byte : bytes) {
        hex.AppendHex(byte);
        const char c = byte == 0 ? ' ' : static_cast<char>(byte);
        if (c == ' ' && lastWasBlank) continue;
        identity.Append(c);
        lastWasBlank = c == ' ';
    }
    if (lastWasBlank) identity.DropLast();
}

// The bytes of data from first to last that the data holds, appended to out.
void Gather(std::span<const uint8_t> data, size_t first, size_t last, std::vector<uint8_t>& out) {
    for (size_t i = first; i <= last && i < data.size(); ++i) out.push_back(data[i]);
}

// The identifier of a pressed or RAM disc: a first word from d[549] on (a
// "RITEK" identifier keeps a second word), then the text from d[597] on.
void TakeWords(std::span<const uint8_t> data, FixedText& identity, FixedText& hex) {
    constexpr uint8_t kCr = 0x0D;
    constexpr size_t kFirstWord = 549;
    constexpr size_t kSecondPart = 597;

    bool stepOneBlank = false;
    bool took = false;
    for (size_t i = kFirstWord; !identity.Full();) {
        const uint8_t byte = ByteAt(data, i);
        if (byte == kCr || byte == 0 || byte == ' ') {
            if (!took) break;
            identity.Append(' ');
            stepOneBlank = true;
            if (identity.View() != "RITEK ") break;
            hex.AppendHex(byte);
            const uint8_t next = ByteAt(data, i + 1);
            identity.Append(static_cast<char>(next));
            hex.AppendHex(next);
            stepOneBlank = false;
            i += 2;
            continue;
        }
        identity.Append(static_cast<char>(byte));
        hex.AppendHex(byte);
        took = true;
        stepOneBlank = false;
        ++i;
    }

    for (size_t i = kSecondPart; !identity.Full(); ++i) {
        const uint8_t byte = ByteAt(data, i);
        if (byte == kCr || byte == 0) {
            if (i == kSecondPart && stepOneBlank) identity.DropLast();
            break;
        }
        identity.Append(static_cast<char>(byte));
        hex.AppendHex(byte);
    }
}

void ClearTexts(DiscRecord& record) {
    std::memset(record.IdentityText, 0, sizeof record.IdentityText);
    std::memset(record.SecondText, 0, sizeof record.SecondText);
}

void SetTrackValues(const Reply& reply, DiscRecord& record) {
    record.Capacity = reply.Word32(8) + reply.Word32(24);
    record.NextWritableAddress = reply.Word32(12);
    record.FreeBlocks = reply.Word32(16);
}

// One track's values, when its information came whole enough to hold them.
bool ReadTrack(uint32_t slot, uint16_t track, std::span<uint8_t> buffer, DiscRecord& record) {
    uint32_t moved = 0;
    const uint8_t status = ReadTrackInformation(slot, track, buffer, &moved);
    if (!CameWith(status, moved, kTrackFields, buffer)) return false;
    SetTrackValues(LengthPrefixed16(buffer, moved), record);
    return true;
}

// A drive that keeps its tracks to itself (emulated drives refuse READ TRACK
// INFORMATION) still says how far the disc can be read.  A last block of 0
// names no size: blank discs answer so, and so does a reply without it.
void SetCapacityFromReadCapacity(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record) {
    uint32_t moved = 0;
    if (ReadCapacity(slot, buffer, &moved) != kStatusGood) return;
    const uint32_t lastBlock = Reply(buffer, moved, kCapacityAsked).Word32(0);
    if (moved >= 4 && lastBlock != 0 && lastBlock != UINT32_MAX) record.Capacity = lastBlock + 1;
}

// An optional command the drive does not implement (ILLEGAL REQUEST): the
// information it would give is missing, nothing failed.
bool RefusedAsUnsupported(std::span<const uint8_t> buffer) {
    return ((GetSenseCode(buffer) >> 16) & 0x0F) == kSenseKeyIllegalRequest;
}

// ATIP times: minutes, seconds below 60 and frames below 75.
bool IsAtipTime(const Reply& reply, size_t at) {
    return reply.Holds(at, 3) && reply.Byte(at) < 100 && reply.Byte(at + 1) < 60 && reply.Byte(at + 2) < 75;
}

}  // namespace

bool GetDiscInfo(uint32_t slot, DiscRecord& record) {
    std::memset(&record, 0, sizeof record);
    std::vector<uint8_t> storage(kDiscInfoBufferSize);
    const std::span<uint8_t> buffer(storage);

    if (TestUnitReady12(slot, buffer) != kStatusGood &&
        TestUnitReady12(slot, buffer) != kStatusGood) {
        record.ErrorCode = GetSenseCode(buffer);
        return false;
    }
    GetCurrentDiscType(slot, record, buffer);
    if (record.DiscType == kDiscNone || record.DiscType == kDiscUnknown) return false;
    if (!ReadDiscInformation(slot, buffer, record)) {
        record.ErrorCode = GetSenseCode(buffer);
        return false;
    }
    record.FinishedReadable = IsFinishedReadableDisc(record) ? 1 : 0;
    if (!ReadCapacityInfo(slot, buffer, record)) {
        record.ErrorCode = GetSenseCode(buffer);
        return false;
    }
    ReadMediaIdentity(slot, buffer, record);
    uint32_t moved = 0;
    if (ReadWriteProtection(slot, buffer, &moved) == kStatusGood)
        record.WriteProtected = IsWriteProtected(ReplyBytes(buffer, moved)) ? 1 : 0;
    record.VendorSupportFlag = QueryVendorFF09(slot, buffer) ? 1 : 0;
    record.Valid = 1;
    return true;
}

void GetCurrentDiscType(uint32_t slot, DiscRecord& record, std::span<uint8_t> buffer) {
    record.DiscType = kDiscNone;
    record.CurrentProfile = 0;
    uint32_t moved = 0;
    if (!GetConfiguration(slot, 0, kConfigurationLength, buffer, &moved)) return;
    const Reply reply(buffer, moved, ReadBigEndian32(buffer.data()) + 4u);
    record.CurrentProfile = reply.Word16(6);
    if (IsUnitReady(slot, buffer)) record.DiscType = ProfileToDiscCode(record.CurrentProfile);
}

DiscTypeCode ProfileToDiscCode(uint16_t profile) {
    switch (profile) {
        case 0x08: return kDiscCdRom;
        case 0x09: return kDiscCdR;
        case 0x0A: return kDiscCdRw;
        case 0x10: return kDiscDvdRom;
        case 0x11: return kDiscDvdR;
        case 0x12: return kDiscDvdRam;
        case 0x13:
        case 0x14: return kDiscDvdRw;
        case 0x15:
        case 0x16: return kDiscDvdRDl;
        case 0x1A: return kDiscDvdPlusRw;
        case 0x1B: return kDiscDvdPlusR;
        case 0x2B: return kDiscDvdPlusRDl;
        default: return kDiscNone;
    }
}

namespace {

// READ DISC INFORMATION: the disc status and the last track in the last
// session.
bool ReadStatusAndLastTrack(uint32_t slot, std::span<uint8_t> buffer, uint8_t& status, uint16_t& lastTrack) {
    uint32_t moved = 0;
    const uint8_t read = ReadDiscInformationCommand(slot, buffer, &moved);
    if (!CameWith(read, moved, kDiscInformationFields, buffer)) return false;
    const Reply reply = LengthPrefixed16(buffer, moved);
    status = reply.Byte(2) & 0x03;
    lastTrack = static_cast<uint16_t>((reply.Byte(11) << 8) | reply.Byte(6));
    return true;
}

}  // namespace

bool ReadDiscInformation(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record) {
    return ReadStatusAndLastTrack(slot, buffer, record.Status, record.LastTrack);
}

bool ReadCapacityInfo(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record) {
    uint8_t status = 0;
    if (!ReadStatusAndLastTrack(slot, buffer, status, record.LastTrack)) return false;

    // On an incomplete disc the last track is the invisible one; the track
    // before it is read first so that a failure there still leaves values.
    const uint16_t last = record.LastTrack;
    if (status == DiscIncomplete && last > 1) {
        ReadTrack(slot, static_cast<uint16_t>(last - 1), buffer, record);
        if (!ReadTrack(slot, last, buffer, record)) return false;
    } else if (!ReadTrack(slot, last, buffer, record)) {
        SetCapacityFromReadCapacity(slot, buffer, record);
    }

    if (IsDvd(record.DiscType)) {
        uint32_t moved = 0;
        if (!ReadFormatCapacities(slot, buffer, &moved)) {
            // Drives that cannot format need not answer the query, and a disc
            // that is only read has no use for it.
            DiscRecord disc = record;
            disc.Status = status;
            if (!IsFinishedReadableDisc(disc) || !RefusedAsUnsupported(buffer)) return false;
            record.FormattableCapacity = 0;
            return true;
        }
        // Only descriptors the list covers are read: with none, there is no
        // formattable capacity and the capacity stays as the track gave it.
        const std::span<const uint8_t> capacities = ReplyBytes(buffer, moved);
        record.FormattableCapacity = FormatCapacityBlocks(capacities);
        const bool listed = capacities.size() >= 12 && capacities[3] >= 8;
        if (listed && (status == DiscBlank || record.DiscType == kDiscDvdRam) &&
            record.Capacity != record.FormattableCapacity)
            record.Capacity = record.FormattableCapacity;
    }
    return true;
}

bool ReadMediaIdentity(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record) {
    if (IsDvd(record.DiscType)) return ReadDvdMediaId(slot, buffer, record);
    return ReadAtipTimes(slot, buffer, record) == kStatusGood;
}

uint8_t ReadAtipTimes(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record) {
    uint32_t moved = 0;
    const uint8_t status = ReadAtip(slot, buffer, &moved);
    ClearTexts(record);
    if (status != kStatusGood) return status;
    const Reply reply = LengthPrefixed16(buffer, moved);
    // Bytes 2-3 of an ATIP are reserved; a drive that answers with its table
    // of contents instead puts the first and last track numbers there.
    if (reply.Byte(2) != 0 || reply.Byte(3) != 0) return status;
    if (IsAtipTime(reply, 8))
        std::snprintf(record.IdentityText, sizeof record.IdentityText, "%02d:%02d:%02d",
                      reply.Byte(8), reply.Byte(9), reply.Byte(10));
    if (IsAtipTime(reply, 12))
        std::snprintf(record.SecondText, sizeof record.SecondText, "%02d:%02d:%02d",
                      reply.Byte(12), reply.Byte(13), reply.Byte(14));
    return status;
}

bool ReadDvdMediaId(uint32_t slot, std::span<uint8_t> buffer, DiscRecord& record) {
    ClearTexts(record);
    const uint8_t format =
        (Family(record.DiscType) & kFamilyDashR) != 0 ? kPrerecordedLeadIn : kPhysicalFormat;
    uint32_t moved = 0;
    if (!ReadDvdStructure(slot, 0, 0, format, kMediaIdLength, buffer, &moved)) return false;
    ParseDvdMediaId(record, LengthPrefixed16(buffer, moved).From(4));
    return true;
}

bool ParseDvdMediaId(DiscRecord& record, std::span<const uint8_t> data) {
    FixedText identity(record.IdentityText, sizeof record.IdentityText);
    FixedText hex(record.SecondText, sizeof record.SecondText);
    const uint8_t family = Family(record.DiscType);
    std::vector<uint8_t> bytes;
    if ((family & kFamilyDashR) != 0) {
        // The pre-pit identifier: d[23] and d[24] lie between its two parts.
        Gather(data, 17, 22, bytes);
        Gather(data, 25, 30, bytes);
        TakeCompacted(bytes, identity, hex);
    } else if ((family & kFamilyPlusR) != 0 && (family & kFamilyDvd) != 0) {
        // Disc manufacturer and media type of the ADIP information, then the
        // product revision for the media the table knows.
        Gather(data, 19, 29, bytes);
        TakeCompacted(bytes, identity, hex);
        if (IsKnownMedia(record) && data.size() > 30) {
            char revision[8];
            std::snprintf(revision, sizeof revision, "(%02X)", data[30]);
            for (const char* c = revision; *c != '\0'; ++c) identity.Append(*c);
        }
    } else {
        TakeWords(data, identity, hex);
    }
    return true;
}

bool IsKnownMedia(const DiscRecord& record) {
    if ((Family(record.DiscType) & kFamilyPlusR) == 0) return false;
    const std::string_view identity(record.IdentityText,
                                    strnlen(record.IdentityText, sizeof record.IdentityText));
    if ((Kind(record.DiscType) & kKindDualLayer) != 0) {
        for (const auto& entry : kKnownMedia.DualLayer)
            if (identity == entry) return true;
    } else {
        for (const auto& entry : kKnownMedia.SingleLayer)
            if (identity == entry) return true;
    }
    return false;
}

bool IsFinishedReadableDisc(DiscRecord record) {
    switch (record.DiscType) {
        case kDiscCdRom:
        case kDiscDvdRom:
            return true;
        case kDiscCdR:
        case kDiscDvdR:
        case kDiscDvdPlusR:
            return record.Status == DiscFinalized;
        default:
            return false;
    }
}

bool MatchesTestMedia(uint8_t kind, uint8_t& nextKind, uint8_t roundCount, DiscRecord record) {
    const DiscTypeCode code = record.DiscType;
    switch (kind) {
        case 0:
            if (code != kDiscCdRom && !(code == kDiscCdR && record.Status == DiscFinalized))
                return false;
            nextKind = roundCount == 2 ? 3 : 2;
            return true;
        case 1: return code == kDiscCdR;
        case 2:
            if (code != kDiscCdRw) return false;
            nextKind = 3;
            return true;
        case 3:
            // The disc prompt of this kind asks for a DVD-ROM or DVD-R disc: a
            // finalized DVD-R reads like a pressed one, as a finalized CD-R
            // does for the CD read kind.
            if (code != kDiscDvdRom && !(code == kDiscDvdR && record.Status == DiscFinalized))
                return false;
            nextKind = 5;
            return true;
        case 4: return code == kDiscDvdR;
        case 5: return code == kDiscDvdRw;
        case 6: return code == kDiscDvdRDl;
        case 8: return code == kDiscDvdPlusR;
        case 9: return code == kDiscDvdPlusRw;
        case 12: return code == kDiscDvdRam;
        default: return false;
    }
}

std::string GetDiscTypeName(int index) {
    if (index < 0 || index >= kDiscTypeNameCount) return {};
    return DiscTypeNameTable[index];
}

std::string GetDiscCodeName(DiscTypeCode code) {
    switch (code) {
        case kDiscNone: return "DISC NOT READY";
        case kDiscUnknown: return "UNKNOWN DISC";
        case kDiscCdRom: return "CD-ROM";
        case kDiscCdR: return "CD-R";
        case kDiscCdRw: return "CD-RW";
        case kDiscDvdRom: return "DVD-ROM";
        case kDiscDvdRam: return "DVD-RAM";
        case kDiscDvdR: return "DVD-R ";
        case kDiscDvdRw: return "DVD-RW";
        case kDiscDvdRDl: return "DVD-R DL";
        case kDiscDvdPlusR: return "DVD+R";
        case kDiscDvdPlusRw: return "DVD+RW";
        case kDiscDvdPlusRDl: return "DVD+R DL";
        default: return {};
    }
}

int16_t DiscCodeToIndex(DiscTypeCode code) {
    switch (code) {
        case kDiscCdRom: return 0;
        case kDiscCdR: return 1;
        case kDiscCdRw: return 2;
        case kDiscDvdRom: return 3;
        case kDiscDvdR: return 4;
        case kDiscDvdRw: return 5;
        case kDiscDvdRDl: return 6;
        case kDiscDvdPlusR: return 8;
        case kDiscDvdPlusRw: return 9;
        case kDiscDvdPlusRDl: return 10;
        case kDiscDvdRam: return 12;
        default: return -1;
    }
}

std::string GetDiscStatusName(uint8_t status) {
    switch (status) {
        case DiscBlank: return "BLANK";
        case DiscIncomplete: return "INCOMPLETE DISC";
        case DiscFinalized: return "FINALIZED DISC";
        default: return "OTHERS";
    }
}

}  // namespace drive
