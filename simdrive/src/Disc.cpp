// The disc models of the simulated drive.
#include <algorithm>
#include <cstring>

#include "BigEndian.h"
#include "BlockStore.h"
#include "simdrive/Disc.h"

namespace sim {

namespace {

enum Family : uint8_t { Cd, Dvd, DvdMinus, DvdPlus, OtherDvd };

struct ModelInfo {
    DiscModel Model;
    const char* Name;
    uint16_t Profile;
    Recording Writing;
    bool Erasable;
    Family Kind;
    uint32_t Capacity;
    uint8_t Layers;
    uint8_t BookType;        // physical format byte 0
    const char* MediaId;     // default manufacturer text, "" for none
    DiscState DefaultStatus;
};

// CD capacity: the last possible lead-out start 79:59:74 as a block address.
constexpr uint32_t kCdBlocks = (79 * 60 + 59) * 75 + 74 - 150;
constexpr uint32_t kPressedCdBlocks = 333000;

constexpr ModelInfo kModels[] = {
    {DiscModel::CdRom, "cd-rom", 0x08, Recording::ReadOnly, false, Cd, kPressedCdBlocks, 1, 0, "", DiscState::Finalized},
    {DiscModel::CdR, "cd-r", 0x09, Recording::Sequential, false, Cd, kCdBlocks, 1, 0, "", DiscState::Blank},
    {DiscModel::CdRw, "cd-rw", 0x0A, Recording::Sequential, true, Cd, kCdBlocks, 1, 0, "", DiscState::Blank},
    {DiscModel::DvdRom, "dvd-rom", 0x10, Recording::ReadOnly, false, Dvd, 2295104, 1, 0x01, "", DiscState::Finalized},
    {DiscModel::DvdR, "dvd-r", 0x11, Recording::Sequential, false, DvdMinus, 2298496, 1, 0x25, "MCC 03RG20", DiscState::Blank},
    {DiscModel::DvdRw, "dvd-rw", 0x14, Recording::Sequential, true, DvdMinus, 2297888, 1, 0x32, "MCC 01RW11n1", DiscState::Blank},
    {DiscModel::DvdRwRestricted, "dvd-rw-ro", 0x13, Recording::Random, true, DvdMinus, 2297888, 1, 0x32, "MCC 01RW11n1", DiscState::Finalized},
    {DiscModel::DvdRDl, "dvd-r-dl", 0x15, Recording::Sequential, false, DvdMinus, 4171712, 2, 0x26, "MKM 03RD30", DiscState::Blank},
    {DiscModel::DvdPlusR, "dvd+r", 0x1B, Recording::Sequential, false, DvdPlus, 2295104, 1, 0xA1, "RITEK R05", DiscState::Blank},
    {DiscModel::DvdPlusRw, "dvd+rw", 0x1A, Recording::Random, true, DvdPlus, 2295104, 1, 0x92, "RICOHJPN W11", DiscState::Blank},
    {DiscModel::DvdPlusRDl, "dvd+r-dl", 0x2B, Recording::Sequential, false, DvdPlus, 4173824, 2, 0xE1, "RICOHJPN D01", DiscState::Blank},
    {DiscModel::DvdRam, "dvd-ram", 0x12, Recording::Random, true, Dvd, 2236704, 1, 0x16, "MATSHITA M01J3", DiscState::Finalized},
    {DiscModel::DvdPlusRwDl, "dvd+rw-dl", 0x2A, Recording::Random, true, DvdPlus, 4173824, 2, 0xD1, "MKM 001", DiscState::Blank},
    {DiscModel::BdRom, "bd-rom", 0x40, Recording::ReadOnly, false, OtherDvd, 12219392, 1, 0, "", DiscState::Finalized},
    {DiscModel::BdR, "bd-r", 0x41, Recording::Sequential, false, OtherDvd, 12219392, 1, 0, "", DiscState::Blank},
    {DiscModel::BdRe, "bd-re", 0x43, Recording::Random, true, OtherDvd, 11826176, 1, 0, "", DiscState::Finalized},
    {DiscModel::HdDvdRom, "hd-dvd-rom", 0x50, Recording::ReadOnly, false, OtherDvd, 7398784, 1, 0, "", DiscState::Finalized},
    {DiscModel::HdDvdR, "hd-dvd-r", 0x51, Recording::Sequential, false, OtherDvd, 7398784, 1, 0, "", DiscState::Blank},
    {DiscModel::NoProfile, "unknown", 0x00, Recording::ReadOnly, false, OtherDvd, 100000, 1, 0, "", DiscState::Finalized},
};

const ModelInfo& Info(DiscModel model) {
    for (const ModelInfo& info : kModels)
        if (info.Model == model) return info;
    return kModels[0];
}

// Recorded tracks that MakeDisc puts on an incomplete or finalized disc.
constexpr uint32_t kRecordedTrackBlocks = 20000;
// What a closed session costs: lead-out and the next lead-in (CD), the
// border zones of a DVD-R, the closure of a DVD+R session.
constexpr uint32_t kCdSessionGap = 11400;
constexpr uint32_t kDvdSessionGap = 0x3000;

void PutText(std::vector<uint8_t>& data, size_t at, const std::string& text, size_t size) {
    std::memcpy(data.data() + at, text.data(), std::min(text.size(), size));
}

// Physical format information: book type, disc size and rate, layers,
// density, the data area's first and last sector.
std::vector<uint8_t> PhysicalFormat(const ModelInfo& info, const Disc& disc) {
    std::vector<uint8_t> data(kBlockBytes, 0);
    data[0] = info.BookType;
    data[1] = 0x02;
    const uint8_t layerType = info.Writing == Recording::ReadOnly ? 0x01
                              : info.Erasable                     ? 0x04
                                                                  : 0x02;
    data[2] = static_cast<uint8_t>((info.Layers - 1) << 5 | layerType);
    data[3] = 0x10;
    PutBig32(data.data() + 4, 0x30000);
    PutBig32(data.data() + 8, 0x30000 + disc.Capacity - 1);
    return data;
}

// The manufacturer text split where the program reads it back.
void PutMediaId(const ModelInfo& info, Disc& disc, const std::string& id, uint8_t revision) {
    if (info.Kind == DvdMinus) {
        // Pre-pit data: 6 bytes at 17, 6 more at 25.
        disc.PrePit.assign(kBlockBytes, 0);
        PutText(disc.PrePit, 17, id, 6);
        if (id.size() > 6) PutText(disc.PrePit, 25, id.substr(6), 6);
    } else if (info.Kind == DvdPlus) {
        // ADIP: manufacturer (8 bytes) at 19, media type (3) at 27, revision at 30.
        const size_t blank = id.rfind(' ');
        const std::string maker = blank == std::string::npos ? id.substr(0, 8) : id.substr(0, blank);
        const std::string type = blank == std::string::npos ? (id.size() > 8 ? id.substr(8) : "") : id.substr(blank + 1);
        PutText(disc.PhysicalFormat, 19, maker, 8);
        PutText(disc.PhysicalFormat, 27, type, 3);
        disc.PhysicalFormat[30] = revision;
    } else if (info.Kind == Dvd) {
        // Manufacturing information: a word at 549, the rest at 597.
        const size_t blank = id.find(' ');
        PutText(disc.PhysicalFormat, 549, id.substr(0, blank), 48);
        if (blank != std::string::npos) PutText(disc.PhysicalFormat, 597, id.substr(blank + 1), 48);
    }
}

void AddTracks(Disc& disc, unsigned closedTracks, bool closeSession, bool open) {
    uint32_t at = 0;
    for (unsigned i = 0; i < closedTracks; ++i) {
        DiscTrack track;
        track.Start = at;
        track.Size = track.Recorded = kRecordedTrackBlocks;
        disc.Tracks.push_back(track);
        if (disc.Blocks) disc.Blocks->MarkPattern(at, kRecordedTrackBlocks);
        at += kRecordedTrackBlocks;
    }
    if (!open) return;
    DiscTrack track;
    if (closeSession && closedTracks > 0) {
        at += disc.SessionGap;
        track.Session = 2;
    }
    track.Start = std::min(at, disc.Capacity);
    track.Size = disc.Capacity - track.Start;
    track.Recorded = 0;
    track.Closed = false;
    disc.Tracks.push_back(track);
}

}  // namespace

Disc MakeDisc(const DiscSetup& setup) {
    const ModelInfo& info = Info(setup.Model);
    Disc disc;
    disc.Model = setup.Model;
    disc.Profile = info.Profile;
    disc.Writing = info.Writing;
    disc.Erasable = info.Erasable;
    disc.Layers = info.Layers;
    disc.Capacity = setup.Capacity.value_or(info.Capacity);
    disc.Status = setup.Status.value_or(info.DefaultStatus);
    disc.SessionGap = info.Kind == Cd ? kCdSessionGap : kDvdSessionGap;
    if (info.Kind == Cd) {
        disc.HasAtip = info.Writing != Recording::ReadOnly;
        disc.AtipLeadIn = info.Erasable ? std::array<uint8_t, 3>{97, 10, 64} : std::array<uint8_t, 3>{97, 24, 1};
        disc.AtipLeadOut = {79, 59, 74};
        disc.Timings.CloseSessionMs = 30000;
    } else {
        disc.Timings.CloseSessionMs = info.Kind == DvdMinus ? 60000 : 30000;
    }
    if (setup.Model == DiscModel::DvdPlusRw || setup.Model == DiscModel::DvdPlusRwDl) disc.Timings.FormatMs = 3000;
    if (setup.Model == DiscModel::DvdRam) disc.Timings.FormatMs = 600000;

    if (info.Kind != Cd) {
        disc.PhysicalFormat = PhysicalFormat(info, disc);
        PutMediaId(info, disc, setup.MediaId.value_or(info.MediaId), setup.MediaRevision);
        disc.HasWriteProtection = info.Kind != OtherDvd;
    }
    if (setup.Model == DiscModel::DvdRam) disc.WriteProtection = setup.WriteProtection;

    switch (setup.Model) {
        case DiscModel::DvdRw:
        case DiscModel::DvdRwRestricted:
            disc.Formats = {{disc.Capacity, 0x10, 0x10}, {disc.Capacity, 0x15, 0x10}};
            break;
        case DiscModel::DvdPlusRw:
        case DiscModel::DvdPlusRwDl:
            disc.Formats = {{disc.Capacity, 0x26, 0}};
            break;
        case DiscModel::DvdRam:
        case DiscModel::BdRe:
            disc.Formats = {{disc.Capacity, 0x00, 0}};
            break;
        default:
            break;
    }

    if (info.Writing != Recording::ReadOnly) disc.Blocks = std::make_shared<BlockStore>(disc.Capacity);
    if (info.Writing == Recording::Sequential) {
        switch (disc.Status) {
            case DiscState::Blank:
                AddTracks(disc, 0, false, true);
                break;
            case DiscState::Incomplete:
                // Closed tracks in a closed first session, the open track in the next.
                AddTracks(disc, std::max(setup.Tracks == 0 ? 3u : setup.Tracks, 2u) - 1, true, true);
                break;
            default:
                AddTracks(disc, std::max(setup.Tracks, 1u), false, false);
                break;
        }
    } else {
        // One track over the whole disc; a random-recording disc is either
        // blank (unformatted) or formatted.
        if (info.Writing == Recording::Random) {
            disc.Formatted = disc.Status != DiscState::Blank;
            if (disc.Formatted) disc.Status = DiscState::Finalized;
        }
        const unsigned count = info.Writing == Recording::ReadOnly ? std::max(setup.Tracks, 1u) : 1;
        const uint32_t each = disc.Capacity / count;
        for (unsigned i = 0; i < count; ++i) {
            DiscTrack track;
            track.Start = i * each;
            track.Size = i + 1 == count ? disc.Capacity - track.Start : each;
            track.Recorded = disc.Formatted ? track.Size : 0;
            disc.Tracks.push_back(track);
        }
    }
    return disc;
}

const char* DiscModelName(DiscModel model) { return Info(model).Name; }

std::optional<DiscModel> DiscModelFromName(const std::string& name) {
    for (const ModelInfo& info : kModels)
        if (name == info.Name) return info.Model;
    return std::nullopt;
}

const std::vector<DiscModel>& AllDiscModels() {
    static const std::vector<DiscModel> models = [] {
        std::vector<DiscModel> all;
        for (const ModelInfo& info : kModels) all.push_back(info.Model);
        return all;
    }();
    return models;
}

const DiscTrack* OpenTrack(const Disc& disc) {
    if (disc.Tracks.empty() || disc.Tracks.back().Closed) return nullptr;
    return &disc.Tracks.back();
}

}  // namespace sim
