// The vendor commands (opcode FFh) of the simulated drive: the FC-code
// command, chunk writes, checksums, download mode and the drive-code query.
// simdrive/README.md describes the protocol from the host's side.
#include <algorithm>
#include <cstring>
#include <optional>

#include "SimDriveImpl.h"
#include "simdrive/FirmwareImage.h"

namespace sim {

namespace {

constexpr uint32_t kVendorReplyBytes = 8;

// Chunk-write byte 9.
constexpr uint8_t kNormalChunk = 0x00;
constexpr uint8_t kBootChunk = 0xF0;
// Chunk-write byte 5 of a normal chunk; 1..FEh is the last chunk's KiB.
constexpr uint8_t kFirstChunk = 0x00;
constexpr uint8_t kMiddleChunk = 0xFF;

// The drive takes a chunk into a 64 KiB buffer.
constexpr uint32_t kChunkBufferBytes = 65536;
// The trailer counts chunks in one byte.
constexpr uint32_t kMostChunks = 255;

void Refuse(SimDrive::Impl& drive, Command& command, const Sense& sense) {
    drive.EndDownload(/*refused=*/true);
    command.Fail(sense);
}

bool IsText(const uint8_t* bytes, size_t size) {
    return std::all_of(bytes, bytes + size, [](uint8_t b) { return b >= 0x20 && b < 0x7F; });
}

// Whether a first chunk is a whole image by itself (a one-chunk file, sent in
// first-chunk form): a trailer where the program reads it, with text in its
// model and revision, a chunk count of 1 and a chunk size equal to what came.
bool IsWholeImage(const std::vector<uint8_t>& image) {
    const std::optional<size_t> at = FindTrailer(image.data(), image.size());
    if (!at) return false;
    const uint8_t* trailer = image.data() + *at;
    return IsText(trailer, 28) && trailer[29] == 1 && trailer[28] * 1024u == image.size();
}

// The image is complete: take it when its trailer names this drive and fits
// the chunks that carried it, else refuse it and keep the old firmware.
void FinishImage(SimDrive::Impl& drive, Command& command, uint32_t lastKiB) {
    const SimDrive::Impl::Session& s = drive.Download;
    const std::optional<size_t> at = FindTrailer(s.Image.data(), s.Image.size());
    if (!at) {
        Refuse(drive, command, kSenseInvalidFieldInParameters);
        return;
    }
    const uint8_t* trailer = s.Image.data() + *at;
    const std::string model = drive.Model();
    const uint32_t chunkKiB = trailer[28];
    const uint32_t count = trailer[29];
    const bool fits = std::memcmp(trailer, model.data(), model.size()) == 0 && count == s.Chunks &&
                      chunkKiB * 1024 == s.ChunkBytes &&
                      (count - 1) * chunkKiB + lastKiB == s.Image.size() / 1024;
    if (!fits) {
        Refuse(drive, command, kSenseInvalidFieldInParameters);
        return;
    }
    drive.TakeImage(s.Image.data(), s.Image.size(), *at);
    drive.EndDownload(/*refused=*/false);
}

void WriteBootBlock(SimDrive::Impl& drive, Command& command) {
    if (command.Cdb[5] != 1) {
        Refuse(drive, command, kSenseInvalidFieldInCdb);
        return;
    }
    if (command.Request.DataLength != kBootBlockBytes) {
        Refuse(drive, command, kSenseParameterListLength);
        return;
    }
    drive.Fw.BootChecksum = Sum16(command.Request.Data, kBootBlockBytes);
    drive.Fw.BootRewrite = false;
    command.Transferred = kBootBlockBytes;
}

void WriteChunk(SimDrive::Impl& drive, Command& command) {
    const ScsiRequest& request = command.Request;
    const uint8_t place = command.Cdb[5];
    const uint8_t kind = command.Cdb[9];
    const uint32_t length = request.DataLength;
    if (request.Direction != DataDirection::Out || (kind != kNormalChunk && kind != kBootChunk)) {
        Refuse(drive, command, kSenseInvalidFieldInCdb);
        return;
    }
    if (kind == kBootChunk) {
        WriteBootBlock(drive, command);
        return;
    }
    SimDrive::Impl::Session& s = drive.Download;
    if (place == kFirstChunk) {
        if (length == 0 || length % 1024 != 0 || length >= kChunkBufferBytes) {
            Refuse(drive, command, kSenseParameterListLength);
            return;
        }
        if (!s.Open) s.BootCodeBefore = drive.Fw.BootCode;
        s.Open = true;
        s.ChunkBytes = length;
        s.Chunks = 1;
        s.Image.assign(request.Data, request.Data + length);
        command.Transferred = length;
        // From here on the old program area is being replaced.
        drive.Fw.BootCode = true;
        if (IsWholeImage(s.Image)) FinishImage(drive, command, length / 1024);
        return;
    }
    if (!s.Open) {
        Refuse(drive, command, kSenseSequenceError);
        return;
    }
    const bool last = place != kMiddleChunk;
    // A middle chunk must leave room for the last one.
    if ((last && place * 1024u >= kChunkBufferBytes) || (!last && s.Chunks + 2 > kMostChunks)) {
        Refuse(drive, command, kSenseInvalidFieldInCdb);
        return;
    }
    if (length != (last ? place * 1024u : s.ChunkBytes)) {
        Refuse(drive, command, kSenseParameterListLength);
        return;
    }
    s.Image.insert(s.Image.end(), request.Data, request.Data + length);
    ++s.Chunks;
    command.Transferred = length;
    if (last) FinishImage(drive, command, place);
}

void SendFlashCommand(SimDrive::Impl& drive, Command& command) {
    if (drive.Config.RefusesFlashCommand)
        command.Fail(kSenseInvalidFieldInCdb);
    else
        drive.Fw.FlashMode = true;
}

void ReadChecksums(SimDrive::Impl& drive, Command& command) {
    const SimDrive::Firmware& fw = drive.Fw;
    const uint8_t reply[kVendorReplyBytes] = {
        static_cast<uint8_t>(fw.ProgramChecksum >> 8),   static_cast<uint8_t>(fw.ProgramChecksum),
        static_cast<uint8_t>(fw.BootChecksum >> 8),      static_cast<uint8_t>(fw.BootChecksum),
        static_cast<uint8_t>(fw.ParameterChecksum >> 8), static_cast<uint8_t>(fw.ParameterChecksum),
        0, 0};
    command.Reply(reply, kVendorReplyBytes);
}

void ReplyDownloadMode(SimDrive::Impl& drive, Command& command) {
    const uint8_t reply[kVendorReplyBytes] = {drive.Fw.BootRewrite ? uint8_t{1} : uint8_t{0}};
    command.Reply(reply, kVendorReplyBytes);
}

void SetDownloadMode(SimDrive::Impl& drive, Command& command) {
    drive.Fw.BootRewrite = command.Cdb[5] != 0;
    ReplyDownloadMode(drive, command);
}

void ReadDriveCode(SimDrive::Impl& drive, Command& command) {
    if (!drive.Config.AnswersDriveCodeQuery) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    uint8_t reply[kVendorReplyBytes] = {0x00, 0x06};
    const std::string code = PadTo(drive.Config.Code, 3);
    std::memcpy(reply + 4, code.data(), 3);
    command.Reply(reply, kVendorReplyBytes);
}

// FF 09: a vendor query that some drives answer with a non-zero word.
void QueryVendorWord(SimDrive::Impl& drive, Command& command) {
    if (!drive.Config.VendorQueryWord) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    uint8_t reply[kVendorReplyBytes] = {};
    reply[0] = static_cast<uint8_t>(*drive.Config.VendorQueryWord >> 8);
    reply[1] = static_cast<uint8_t>(*drive.Config.VendorQueryWord);
    command.Reply(reply, kVendorReplyBytes);
}

struct VendorCommand {
    uint8_t Byte1;
    uint8_t Byte2;
    CommandHandler Run;
};

constexpr VendorCommand kVendorCommands[] = {
    {0x02, 0xFC, &SendFlashCommand}, {0x00, 0x01, &WriteChunk},      {0x00, 0x03, &ReadChecksums},
    {0x00, 0x04, &SetDownloadMode},  {0x00, 0x05, &ReplyDownloadMode}, {0x00, 0xFF, &ReadDriveCode},
    {0x09, 0x00, &QueryVendorWord},
};

}  // namespace

void HandleVendor(SimDrive::Impl& drive, Command& command) {
    const auto* entry = std::find_if(std::begin(kVendorCommands), std::end(kVendorCommands),
                                     [&](const VendorCommand& c) {
                                         return c.Byte1 == command.Cdb[1] && c.Byte2 == command.Cdb[2];
                                     });
    if (entry == std::end(kVendorCommands)) {
        command.Fail(kSenseInvalidFieldInCdb);
        return;
    }
    const SimDrive::Firmware before = drive.Snapshot();
    entry->Run(drive, command);
    if (!(drive.Snapshot() == before)) drive.FirmwareChangedPending = true;
}

}  // namespace sim
