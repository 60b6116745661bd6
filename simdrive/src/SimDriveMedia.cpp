// Recording on the loaded disc: reads and writes of blocks, the write
// parameters page, closing tracks and sessions, blanking and formatting.
#include <algorithm>
#include <cstring>

#include "BlockStore.h"
#include "SimDriveImpl.h"

namespace sim {

namespace {

bool IsCd(const Disc& disc) { return disc.Profile >= 0x08 && disc.Profile <= 0x0A; }
bool IsDvdMinus(const Disc& disc) {
    return disc.Profile == 0x11 || (disc.Profile >= 0x13 && disc.Profile <= 0x16);
}

// The feature a drive needs to write the disc; 0 when none is asked.
uint16_t WritingFeature(const Disc& disc) {
    switch (disc.Profile) {
        case 0x09:
        case 0x0A: return kFeatureCdTrackAtOnce;
        case 0x11:
        case 0x13:
        case 0x14:
        case 0x15:
        case 0x16: return kFeatureDvdMinusWrite;
        case 0x12: return kFeatureRandomWritable;
        case 0x1A: return kFeatureDvdPlusRw;
        case 0x1B:
        case 0x2B: return kFeatureDvdPlusR;
        default: return 0;
    }
}

bool WriteProtected(const Disc& disc) { return disc.HasWriteProtection && disc.WriteProtection != 0; }

// Whether the drive may change what is on the disc; fails the command if not.
bool Writable(const SimDrive::Impl& drive, const Disc& disc, Command& command) {
    const uint16_t feature = WritingFeature(disc);
    if (disc.Writing == Recording::ReadOnly || (feature != 0 && !drive.HasFeature(feature))) {
        command.Fail(kSenseCannotWriteMedium);
        return false;
    }
    if (WriteProtected(disc)) {
        command.Fail(kSenseWriteProtected);
        return false;
    }
    return true;
}

bool Readable(const Disc& disc, uint32_t lba) {
    if (disc.Writing == Recording::ReadOnly) return true;
    if (disc.Writing == Recording::Random && disc.Formatted) return true;
    if (disc.Writing == Recording::Random) return disc.Blocks && disc.Blocks->IsWritten(lba);
    return std::any_of(disc.Tracks.begin(), disc.Tracks.end(), [&](const DiscTrack& t) {
        return lba >= t.Start && lba - t.Start < t.Recorded;
    });
}

void ReadBlock(const Disc& disc, uint32_t lba, uint8_t* out) {
    if (disc.Writing == Recording::ReadOnly || !disc.Blocks)
        FillPatternBlock(lba, out);
    else
        disc.Blocks->Read(lba, out);
}

// One open track again at `start` in `session`, to the end of the disc.
void OpenTrackAt(Disc& disc, uint32_t start, uint16_t session) {
    if (start >= disc.Capacity) return;
    DiscTrack track;
    track.Session = session;
    track.Start = start;
    track.Size = disc.Capacity - start;
    track.Recorded = 0;
    track.Closed = false;
    disc.Tracks.push_back(track);
}

// A disc back to blank: one open track over the whole of it, nothing recorded.
void MakeBlank(Disc& disc) {
    disc.Tracks.clear();
    OpenTrackAt(disc, 0, 1);
    disc.Status = DiscState::Blank;
    if (disc.Blocks) disc.Blocks->Erase();
}

// A disc formatted for random writing: one track, every block readable.
void MakeFormatted(Disc& disc) {
    disc.Writing = Recording::Random;
    disc.Formatted = true;
    disc.Status = DiscState::Finalized;
    disc.Tracks = {DiscTrack{1, 0, disc.Capacity, disc.Capacity, true}};
    if (disc.Blocks) disc.Blocks->Erase();
}

}  // namespace

void HandleRead(SimDrive::Impl& drive, Command& command) {
    const Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    uint32_t lba = 0, count = 0;
    BlockRange(command.Cdb, lba, count);
    if (uint64_t{lba} + count > disc->Capacity) {
        command.Fail(kSenseLbaOutOfRange);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (!Readable(*disc, lba + i)) {
            command.Fail(kSenseLbaOutOfRange);
            return;
        }
    }
    if (command.Request.Direction == DataDirection::Out && command.Request.DataLength > 0) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    if (command.Request.Direction != DataDirection::In) return;
    // Straight into the host's buffer; a buffer shorter than the blocks takes
    // what fits.
    const uint64_t bytes = std::min<uint64_t>(uint64_t{count} * kBlockBytes, command.Request.DataLength);
    uint8_t* out = command.Request.Data;
    uint32_t done = 0;
    for (uint32_t i = 0; done < bytes; ++i) {
        const uint32_t part = static_cast<uint32_t>(std::min<uint64_t>(kBlockBytes, bytes - done));
        if (part == kBlockBytes) {
            ReadBlock(*disc, lba + i, out + done);
        } else {
            uint8_t block[kBlockBytes];
            ReadBlock(*disc, lba + i, block);
            std::memcpy(out + done, block, part);
        }
        done += part;
    }
    command.Transferred = done;
}

void HandleWrite(SimDrive::Impl& drive, Command& command) {
    Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr || !Writable(drive, *disc, command)) return;
    uint32_t lba = 0, count = 0;
    BlockRange(command.Cdb, lba, count);
    if (uint64_t{lba} + count > disc->Capacity) {
        command.Fail(kSenseLbaOutOfRange);
        return;
    }
    DiscTrack* open = nullptr;
    if (disc->Writing == Recording::Sequential) {
        // Only at the next writable address of the open track; a finalized
        // disc has none.
        open = disc->Tracks.empty() || disc->Tracks.back().Closed ? nullptr : &disc->Tracks.back();
        if (open == nullptr || lba != open->Start + open->Recorded) {
            command.Fail(kSenseInvalidWriteAddress);
            return;
        }
        if (uint64_t{open->Recorded} + count > open->Size) {
            command.Fail(kSenseLbaOutOfRange);
            return;
        }
    }
    const uint8_t* data = command.Received(uint64_t{count} * kBlockBytes);
    if (data == nullptr || count == 0) return;
    if (open != nullptr) {
        open->Recorded += count;
        if (disc->Status == DiscState::Blank) disc->Status = DiscState::Incomplete;
    } else if (!disc->Formatted) {
        MakeFormatted(*disc);  // a blank DVD+RW formats itself on the first write
    }
    for (uint32_t i = 0; i < count; ++i) disc->Blocks->Write(lba + i, data + uint64_t{i} * kBlockBytes);
}

void HandleSynchronizeCache(SimDrive::Impl& drive, Command& command) { drive.ReadyDisc(command); }

// Page 05h (or all pages, 3Fh): the 8-byte header and the page kept by the drive.
void HandleModeSense10(SimDrive::Impl& drive, Command& command) {
    const uint8_t page = command.Cdb[2] & 0x3F;
    if (page != 0x05 && page != 0x3F) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    uint8_t reply[8 + SimDrive::Impl::kWritePageBytes] = {};
    PutBig16(reply, sizeof reply - 2);
    std::memcpy(reply + 8, drive.WritePage, SimDrive::Impl::kWritePageBytes);
    command.Reply(reply, std::min<uint32_t>(sizeof reply, Big16(command.Cdb + 7)));
}

// Takes page 05h.  The header's bytes are not looked at (hosts send the
// sensed header back); a write type or data block type the loaded disc
// cannot take is refused.
void HandleModeSelect10(SimDrive::Impl& drive, Command& command) {
    const uint16_t length = Big16(command.Cdb + 7);
    if ((command.Cdb[1] & 0x10) == 0) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    if (length == 0) return;
    const uint8_t* data = command.Received(length);
    if (data == nullptr) return;
    // The header (with the block descriptor length in bytes 6-7) comes first.
    if (length < 8) {
        command.Fail(kSenseParameterListLength);
        return;
    }
    const uint32_t at = 8u + Big16(data + 6);
    if (at + 2 > length || at + 2u + data[at + 1] > length) {
        command.Fail(kSenseParameterListLength);
        return;
    }
    const uint8_t* page = data + at;
    if ((page[0] & 0x3F) != 0x05 || page[1] != 0x32) {
        command.Fail(kSenseInvalidFieldInParameters);
        return;
    }
    const uint8_t writeType = page[2] & 0x0F;
    const uint8_t blockType = page[4] & 0x0F;
    if (const Disc* disc = drive.LoadedDisc()) {
        bool fits = true;
        if (IsCd(*disc))
            fits = writeType <= 3 && (blockType <= 3 || (blockType >= 8 && blockType <= 13));
        else if (IsDvdMinus(*disc))
            fits = (writeType == 0 || writeType == 2 || writeType == 4) && (blockType == 8 || blockType == 10);
        if (!fits) {
            command.Fail(kSenseInvalidFieldInParameters);
            return;
        }
    }
    std::memcpy(drive.WritePage + 2, page + 2, SimDrive::Impl::kWritePageBytes - 2);
}

// Byte 2 bits 0-2: 1 close the track numbered in bytes 4-5, 2 close the
// session.  A closed session leaves the disc appendable (status incomplete,
// the next track after the session gap) when the write parameters page asks
// for the next session (multi-session 11b) and room is left; otherwise the
// disc is finalized.  Discs written at random have nothing to close.
void HandleCloseTrackSession(SimDrive::Impl& drive, Command& command) {
    Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr || !Writable(drive, *disc, command)) return;
    const uint8_t function = command.Cdb[2] & 0x07;
    if (function != 1 && function != 2) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    if (disc->Writing != Recording::Sequential) return;
    DiscTrack* open = disc->Tracks.empty() || disc->Tracks.back().Closed ? nullptr : &disc->Tracks.back();
    if (function == 1) {
        const uint16_t number = Big16(command.Cdb + 4);
        if (number == 0 || number > disc->Tracks.size()) {
            command.Fail(kSenseInvalidFieldInCdb);
            return;
        }
        DiscTrack& track = disc->Tracks[number - 1u];
        if (&track != open || track.Recorded == 0) return;
        track.Size = track.Recorded;
        track.Closed = true;
        OpenTrackAt(*disc, track.Start + track.Size, track.Session);
        drive.StartBusy(disc->Timings.CloseTrackMs, kSenseOperationInProgress);
        return;
    }
    const uint16_t session = disc->Tracks.empty() ? 1 : disc->Tracks.back().Session;
    const bool recorded = std::any_of(disc->Tracks.begin(), disc->Tracks.end(), [&](const DiscTrack& t) {
        return t.Session == session && t.Recorded > 0;
    });
    if (!recorded) return;  // nothing in this session: nothing to close
    if (open != nullptr) {
        if (open->Recorded == 0) {
            disc->Tracks.pop_back();  // the empty open track goes
        } else {
            open->Size = open->Recorded;
            open->Closed = true;
        }
    }
    const uint32_t end = disc->Tracks.back().Start + disc->Tracks.back().Size;
    const bool nextSession = (drive.WritePage[3] & 0xC0) == 0xC0;
    if (nextSession && uint64_t{end} + disc->SessionGap < disc->Capacity) {
        disc->Status = DiscState::Incomplete;
        OpenTrackAt(*disc, end + disc->SessionGap, static_cast<uint16_t>(session + 1));
    } else {
        disc->Status = DiscState::Finalized;
    }
    drive.StartBusy(disc->Timings.CloseSessionMs, kSenseOperationInProgress);
}

// Byte 1: immediate (10h), blanking type in bits 0-2 (0 the whole disc,
// 1 minimal).  Erasable discs only; a DVD-RW in restricted overwrite returns
// to sequential recording.
void HandleBlank(SimDrive::Impl& drive, Command& command) {
    Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    const uint8_t type = command.Cdb[1] & 0x07;
    if (type > 1) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    if (!disc->Erasable || !(IsCd(*disc) || IsDvdMinus(*disc))) {
        command.Fail(kSenseCannotFormatMedium);
        return;
    }
    if (!Writable(drive, *disc, command)) return;
    if (disc->Profile == 0x13) {
        disc->Profile = 0x14;
        disc->Model = DiscModel::DvdRw;
        disc->Writing = Recording::Sequential;
        disc->Formatted = true;
    }
    MakeBlank(*disc);
    drive.StartBusy(disc->Timings.BlankMs, kSenseOperationInProgress);
}

// Byte 1: format data (10h) with format code 1; the 12-byte list: a 4-byte
// header (descriptor length 8 in bytes 2-3) and one descriptor whose type
// (byte 8, bits 2-7) must be one the disc offers.
void HandleFormatUnit(SimDrive::Impl& drive, Command& command) {
    Disc* disc = drive.ReadyDisc(command);
    if (disc == nullptr) return;
    if ((command.Cdb[1] & 0x17) != 0x11) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    const uint8_t* list = command.Received(12);
    if (list == nullptr) return;
    if (Big16(list + 2) != 8) {
        command.Fail(kSenseParameterListLength);
        return;
    }
    const uint8_t type = list[8] >> 2;
    const bool offered = std::any_of(disc->Formats.begin(), disc->Formats.end(),
                                     [&](const FormatCapacity& f) { return f.Type == type; });
    if (!offered) {
        command.Fail(kSenseInvalidFieldInParameters);
        return;
    }
    if (!Writable(drive, *disc, command)) return;
    if (IsDvdMinus(*disc)) {
        disc->Profile = 0x13;
        disc->Model = DiscModel::DvdRwRestricted;
    }
    MakeFormatted(*disc);
    drive.StartBusy(disc->Timings.FormatMs, kSenseFormatInProgress);
}

}  // namespace sim
