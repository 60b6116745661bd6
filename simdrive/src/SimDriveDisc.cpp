// What the simulated drive reports about the loaded disc: configuration
// (profiles and features), disc and track information, ATIP, DVD structures,
// format capacities and capacity.
#include <algorithm>
#include <cstring>
#include <set>

#include "BlockStore.h"
#include "SimDriveImpl.h"

namespace sim {

namespace {

bool IsCd(const Disc& disc) { return disc.Profile >= 0x08 && disc.Profile <= 0x0A; }
bool IsDvd(const Disc& disc) { return disc.Profile >= 0x10 && disc.Profile <= 0x2B; }
bool IsDvdMinus(const Disc& disc) {
    return disc.Profile == 0x11 || (disc.Profile >= 0x13 && disc.Profile <= 0x16);
}
bool CanRandomWrite(const Disc& disc) { return disc.Writing == Recording::Random && disc.Formatted; }

struct Feature {
    uint16_t Code;
    bool Current;
    std::vector<uint8_t> Data;  // after the 4-byte descriptor header
    uint8_t Version = 0;
    bool Persistent = false;
};

// Profiles the drive lists: what its features let it read or write, and the
// loaded disc's own profile.
std::vector<uint16_t> DriveProfiles(const SimDrive::Impl& drive, const Disc* disc) {
    std::set<uint16_t> profiles = {0x08};
    if (drive.HasFeature(kFeatureCdTrackAtOnce)) profiles.insert({0x09, 0x0A});
    if (drive.HasFeature(kFeatureDvdRead)) profiles.insert({0x10, 0x12});
    if (drive.HasFeature(kFeatureDvdMinusWrite)) profiles.insert({0x11, 0x13, 0x14, 0x15});
    if (drive.HasFeature(kFeatureDvdPlusRw)) profiles.insert(0x1A);
    if (drive.HasFeature(kFeatureDvdPlusR)) profiles.insert({0x1B, 0x2B});
    if (disc != nullptr && disc->Profile != 0) profiles.insert(disc->Profile);
    return {profiles.rbegin(), profiles.rend()};
}

std::vector<Feature> Features(const SimDrive::Impl& drive, const Disc* disc) {
    const uint16_t profile = disc != nullptr ? disc->Profile : 0;
    const bool cd = disc != nullptr && IsCd(*disc);
    const bool dvd = disc != nullptr && IsDvd(*disc);
    std::vector<Feature> features;
    std::vector<uint8_t> list;
    for (uint16_t p : DriveProfiles(drive, disc))
        list.insert(list.end(), {static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p), p == profile ? uint8_t{1} : uint8_t{0}, 0});
    features.push_back({0x0000, true, list, 0, true});
    features.push_back({0x0001, true, {0, 0, 0, 2, 1, 0, 0, 0}, 1, true});  // core: ATAPI
    features.push_back({0x0002, true, {0x02, 0, 0, 0}, 1, true});           // morphing
    features.push_back({0x0003, true, {0x29, 0, 0, 0}, 0, true});           // tray, eject, lock
    features.push_back({0x0010, disc != nullptr, {0, 0, 0x08, 0, 0, static_cast<uint8_t>(cd ? 1 : 16), 1, 0}});
    features.push_back({0x001D, cd, {}});
    features.push_back({0x001E, cd, {0, 0, 0, 0}, 2});
    if (drive.HasFeature(kFeatureDvdRead)) features.push_back({0x001F, dvd, {0, 0, 0, 0}, 1});
    if (drive.HasFeature(kFeatureRandomWritable)) {
        std::vector<uint8_t> data(12, 0);
        if (disc != nullptr && CanRandomWrite(*disc)) PutBig32(data.data(), disc->Capacity - 1);
        PutBig32(data.data() + 4, kBlockBytes);
        data[9] = 16;
        data[10] = 1;
        features.push_back({0x0020, disc != nullptr && CanRandomWrite(*disc), data, 0});
    }
    const bool incremental = disc != nullptr && disc->Writing == Recording::Sequential && (cd || IsDvdMinus(*disc));
    features.push_back({0x0021, incremental, {0x00, 0x01, 0x00, 0x00}, 1});
    features.push_back({0x0023, disc != nullptr && !disc->Formats.empty(), {0, 0, 0, 0}});
    features.push_back({0x0024, profile == 0x12, {0x80, 0, 0, 0}});
    features.push_back({0x0026, profile == 0x13, {}});
    if (drive.HasFeature(kFeatureDvdPlusRw)) features.push_back({0x002A, profile == 0x1A, {0x01, 0x02, 0, 0}});
    if (drive.HasFeature(kFeatureDvdPlusR)) features.push_back({0x002B, profile == 0x1B || profile == 0x2B, {0x01, 0, 0, 0}});
    if (drive.HasFeature(kFeatureCdTrackAtOnce)) features.push_back({0x002D, profile == 0x09 || profile == 0x0A, {0x46, 0, 0x00, 0x01}});
    if (drive.HasFeature(kFeatureDvdMinusWrite))
        features.push_back({0x002F, disc != nullptr && IsDvdMinus(*disc) && profile != 0x13, {0x4E, 0, 0, 0}, 1});
    return features;
}

}  // namespace

// Byte 1 bits 0-1 (RT): 0 every feature from the starting one, 1 the current
// ones, 2 the starting feature alone.
void HandleGetConfiguration(SimDrive::Impl& drive, Command& command) {
    const uint8_t rt = command.Cdb[1] & 0x03;
    if (rt == 3) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    const uint16_t start = Big16(command.Cdb + 2);
    const uint16_t allocation = Big16(command.Cdb + 7);
    const Disc* disc = drive.LoadedDisc();
    std::vector<uint8_t> reply(8, 0);
    if (disc != nullptr) PutBig16(reply.data() + 6, disc->Profile);
    for (const Feature& f : Features(drive, disc)) {
        if (f.Code < start || (rt == 1 && !f.Current) || (rt == 2 && f.Code != start)) continue;
        reply.insert(reply.end(), {static_cast<uint8_t>(f.Code >> 8), static_cast<uint8_t>(f.Code),
                                   static_cast<uint8_t>(f.Version << 2 | (f.Persistent ? 2 : 0) | (f.Current ? 1 : 0)),
                                   static_cast<uint8_t>(f.Data.size())});
        reply.insert(reply.end(), f.Data.begin(), f.Data.end());
    }
    PutBig32(reply.data(), static_cast<uint32_t>(reply.size() - 4));
    command.Reply(reply.data(), std::min<uint32_t>(static_cast<uint32_t>(reply.size()), allocation));
}

namespace {

uint16_t SessionCount(const Disc& disc) { return disc.Tracks.empty() ? 1 : disc.Tracks.back().Session; }

uint16_t FirstTrackOfSession(const Disc& disc, uint16_t session) {
    for (size_t i = 0; i < disc.Tracks.size(); ++i)
        if (disc.Tracks[i].Session == session) return static_cast<uint16_t>(i + 1);
    return 1;
}

// 0 empty, 1 incomplete, 3 complete.
uint8_t LastSessionState(const Disc& disc) {
    const DiscTrack* open = OpenTrack(disc);
    if (open == nullptr) return disc.Status == DiscState::Blank ? 0 : 3;
    if (open->Recorded > 0) return 1;
    const bool othersInSession = std::any_of(disc.Tracks.begin(), disc.Tracks.end() - 1,
                                             [&](const DiscTrack& t) { return t.Session == open->Session; });
    return othersInSession ? 1 : 0;
}

void PutMsf(uint8_t* at, const std::array<uint8_t, 3>& msf) {
    at[0] = 0;
    at[1] = msf[0];
    at[2] = msf[1];
    at[3] = msf[2];
}

}  // namespace

void HandleReadDiscInformation(SimDrive::Impl& drive, Command& command) {
    if ((command.Cdb[1] & 0x07) != 0) {  // other data types than standard disc information
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    const Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    uint8_t reply[34] = {};
    PutBig16(reply, sizeof reply - 2);
    reply[2] = static_cast<uint8_t>((disc->Erasable ? 0x10 : 0) | LastSessionState(*disc) << 2 |
                                    static_cast<uint8_t>(disc->Status));
    const uint16_t sessions = SessionCount(*disc);
    const uint16_t lastTrack = static_cast<uint16_t>(std::max<size_t>(disc->Tracks.size(), 1));
    const uint16_t firstInLast = FirstTrackOfSession(*disc, sessions);
    reply[3] = 1;
    reply[4] = static_cast<uint8_t>(sessions);
    reply[5] = static_cast<uint8_t>(firstInLast);
    reply[6] = static_cast<uint8_t>(lastTrack);
    reply[7] = 0x20;  // unrestricted use
    if ((disc->Profile == 0x1A || disc->Profile == 0x2A) && disc->Formatted) reply[7] |= 0x03;  // background format done
    reply[9] = static_cast<uint8_t>(sessions >> 8);
    reply[10] = static_cast<uint8_t>(firstInLast >> 8);
    reply[11] = static_cast<uint8_t>(lastTrack >> 8);
    if (disc->HasAtip && disc->Status != DiscState::Finalized) {
        PutMsf(reply + 16, disc->AtipLeadIn);
        PutMsf(reply + 20, disc->AtipLeadOut);
    } else {
        std::memset(reply + 16, 0xFF, 8);
    }
    command.Reply(reply, std::min<uint32_t>(sizeof reply, Big16(command.Cdb + 7)));
}

// Byte 1 bits 0-1: 0 the track holding the block address in bytes 2-5, 1 the
// track number, 2 the first track of the session number.
void HandleReadTrackInformation(SimDrive::Impl& drive, Command& command) {
    const Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    const uint32_t address = Big32(command.Cdb + 2);
    size_t index = disc->Tracks.size();
    switch (command.Cdb[1] & 0x03) {
        case 0:
            for (size_t i = 0; i < disc->Tracks.size(); ++i)
                if (address >= disc->Tracks[i].Start && address - disc->Tracks[i].Start < disc->Tracks[i].Size) index = i;
            break;
        case 1:
            if (address == 0xFF && OpenTrack(*disc) != nullptr)
                index = disc->Tracks.size() - 1;
            else if (address >= 1 && address <= disc->Tracks.size())
                index = address - 1;
            break;
        case 2:
            if (address >= 1 && address <= SessionCount(*disc)) index = FirstTrackOfSession(*disc, static_cast<uint16_t>(address)) - 1u;
            break;
        default:
            break;
    }
    if (index >= disc->Tracks.size()) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    const DiscTrack& track = disc->Tracks[index];
    const uint16_t number = static_cast<uint16_t>(index + 1);
    uint8_t reply[36] = {};
    PutBig16(reply, sizeof reply - 2);
    reply[2] = static_cast<uint8_t>(number);
    reply[3] = static_cast<uint8_t>(track.Session);
    reply[5] = 0x04;  // data track
    const bool blank = track.Recorded == 0;
    reply[6] = static_cast<uint8_t>((blank ? 0x40 : 0) | 0x01);
    if (!track.Closed && !IsCd(*disc)) reply[6] |= 0x20;  // incremental
    PutBig32(reply + 8, track.Start);
    if (!track.Closed) {
        reply[7] |= 0x01;  // next writable address valid
        PutBig32(reply + 12, track.Start + track.Recorded);
        PutBig32(reply + 16, track.Size - track.Recorded);
    } else if (disc->Writing == Recording::Random && !disc->Formatted) {
        PutBig32(reply + 16, track.Size);  // an unformatted disc: all of it free
    }
    if (disc->Writing == Recording::Random && disc->Formatted) PutBig32(reply + 20, 16);  // fixed packets
    PutBig32(reply + 24, track.Size);
    if (track.Recorded > 0) {
        reply[7] |= 0x02;
        PutBig32(reply + 28, track.Start + track.Recorded - 1);
    }
    reply[32] = static_cast<uint8_t>(number >> 8);
    reply[33] = static_cast<uint8_t>(track.Session >> 8);
    command.Reply(reply, std::min<uint32_t>(sizeof reply, Big16(command.Cdb + 7)));
}

// Format (byte 2, bits 0-3) 4: ATIP, on recordable CDs only.
void HandleReadTocPmaAtip(SimDrive::Impl& drive, Command& command) {
    const Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    if ((command.Cdb[2] & 0x0F) != 4 || !disc->HasAtip) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    uint8_t reply[28] = {};
    PutBig16(reply, sizeof reply - 2);
    reply[4] = 0xD0;  // indicative writing power
    reply[6] = static_cast<uint8_t>(0x80 | (disc->Erasable ? 0x40 : 0));
    reply[8] = disc->AtipLeadIn[0];
    reply[9] = disc->AtipLeadIn[1];
    reply[10] = disc->AtipLeadIn[2];
    reply[12] = disc->AtipLeadOut[0];
    reply[13] = disc->AtipLeadOut[1];
    reply[14] = disc->AtipLeadOut[2];
    command.Reply(reply, std::min<uint32_t>(sizeof reply, Big16(command.Cdb + 7)));
}

// Formats 00h (physical format), 0Eh (pre-recorded information of the
// DVD-R family) and C0h (write protection); bytes 8-9 allocation length.
void HandleReadDvdStructure(SimDrive::Impl& drive, Command& command) {
    const Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    if (!IsDvd(*disc)) {
        command.Fail(kSenseCannotReadMedium);
        return;
    }
    const uint8_t format = command.Cdb[7];
    std::vector<uint8_t> data;
    if (format == 0x00 && command.Cdb[6] < disc->Layers)
        data = disc->PhysicalFormat;
    else if (format == 0x0E)
        data = disc->PrePit;
    else if (format == 0xC0 && disc->HasWriteProtection)
        data = {disc->WriteProtection, 0, 0, 0};
    if (data.empty()) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    std::vector<uint8_t> reply(4, 0);
    PutBig16(reply.data(), static_cast<uint16_t>(data.size() + 2));
    reply.insert(reply.end(), data.begin(), data.end());
    command.Reply(reply.data(), std::min<uint32_t>(static_cast<uint32_t>(reply.size()), Big16(command.Cdb + 8)));
}

// Format C0h on a DVD-RAM: the host sets or clears the persistent and the
// software write protection; the cartridge and media bits are the disc's own.
void HandleSendDvdStructure(SimDrive::Impl& drive, Command& command) {
    Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    if (command.Cdb[7] != 0xC0) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    if (disc->Profile != 0x12 || !disc->HasWriteProtection) {
        command.Fail(kSenseCannotWriteMedium);
        return;
    }
    const uint16_t length = Big16(command.Cdb + 8);
    if (length < 8) {
        command.Fail(kSenseParameterListLength);
        return;
    }
    const uint8_t* data = command.Received(length);
    if (data == nullptr) return;
    constexpr uint8_t kHostBits = kProtectSoftware | kProtectPersistent;
    disc->WriteProtection = static_cast<uint8_t>((disc->WriteProtection & ~kHostBits) | (data[4] & kHostBits));
}

// A 4-byte header, the current/maximum capacity descriptor (type 1 blank or
// unformatted, 2 formatted) and the formattable capacities.
void HandleReadFormatCapacities(SimDrive::Impl& drive, Command& command) {
    const Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    const bool formatted = disc->Writing == Recording::Random ? disc->Formatted : disc->Status != DiscState::Blank;
    std::vector<uint8_t> reply(12, 0);
    PutBig32(reply.data() + 4, disc->Capacity);
    reply[8] = formatted ? 0x02 : 0x01;
    reply[10] = kBlockBytes >> 8;
    for (const FormatCapacity& f : disc->Formats) {
        uint8_t descriptor[8] = {};
        PutBig32(descriptor, f.Blocks);
        descriptor[4] = static_cast<uint8_t>(f.Type << 2);
        descriptor[5] = static_cast<uint8_t>(f.Parameter >> 16);
        descriptor[6] = static_cast<uint8_t>(f.Parameter >> 8);
        descriptor[7] = static_cast<uint8_t>(f.Parameter);
        reply.insert(reply.end(), descriptor, descriptor + 8);
    }
    reply[3] = static_cast<uint8_t>(reply.size() - 4);
    command.Reply(reply.data(), std::min<uint32_t>(static_cast<uint32_t>(reply.size()), Big16(command.Cdb + 7)));
}

// The last readable block and the block length.
void HandleReadCapacity(SimDrive::Impl& drive, Command& command) {
    const Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    uint32_t end = 0;
    if (disc->Writing == Recording::Sequential) {
        for (const DiscTrack& t : disc->Tracks)
            if (t.Recorded > 0) end = t.Start + t.Recorded;
    } else if (disc->Writing == Recording::ReadOnly || disc->Formatted) {
        end = disc->Capacity;
    }
    uint8_t reply[8] = {};
    PutBig32(reply, end > 0 ? end - 1 : 0);
    PutBig32(reply + 4, kBlockBytes);
    command.Reply(reply, sizeof reply);
}

}  // namespace sim
