// The download program's drive commands: the drive layer's enumeration on
// this program's rules, the INQUIRY and START STOP UNIT it needs, and the
// drives' vendor download commands (FC-code command, chunk write, checksum
// query, download-mode set and query, identity query).  Every function returns the transport's status byte unchanged:
// 1 good, 4 check condition (sense key, ASC and ASCQ in bytes 2, 12 and 13 of
// the data buffer), 0xFF the pass-through request failed.
#pragma once

#include <cstdint>

#include "drive/Enumeration.h"

// Lengths of the vendor commands' replies.
inline constexpr uint32_t kVendorReplyLength = 8;
// Download-mode reply: boot-area rewriting is on when byte 0 or 1 is non-zero.
inline bool BootRewriteIsOn(const uint8_t* downloadModeReply) {
    return downloadModeReply[0] != 0 || downloadModeReply[1] != 0;
}
// Identity-query reply: bytes 0-1 are 00 06 when the drive supports the query.
inline bool DriveCodeQueryAnswered(const uint8_t* driveCodeReply) {
    return driveCodeReply[0] == 0x00 && driveCodeReply[1] == 0x06;
}

// WriteFirmwareBlock's byte 5 and byte 9.
inline constexpr uint8_t kChunkFirst = 0x00;
inline constexpr uint8_t kChunkMiddle = 0xFF;
inline constexpr uint8_t kChunkBootImage = 0x01;
inline constexpr uint8_t kKindNormal = 0x00;
inline constexpr uint8_t kKindBoot = 0xF0;

// The download program's ASPI tables hold this many slots.
inline constexpr int kDownloadAspiSlots = 8;
// Its drives: at most 8 over ASPI, and on the NT family only the CD-ROM
// letters that answer the INQUIRY as optical drives.
inline constexpr drive::EnumerationRules kDownloadEnumeration = {kDownloadAspiSlots, true};
// Pass-through time-out of the download program's commands, in seconds.
inline constexpr uint32_t kDownloadPassThroughTimeoutSeconds = 60;

// Sets the transport to the download program's own settings: a 60-second
// pass-through time-out, and the ASPI wait bounded by as long.  Run before
// enumeration (TAtapiLib::FindDrives does).
void ConfigureDownloadTransport();

// The functions keep no state and do not use the object; AtapiLib is the one
// instance the program calls them through.
class TAtapiLib {
public:
    // Finds the drives on this program's rules (kDownloadEnumeration) and
    // fills the shared slot table: on the NT family every CD-ROM letter a..z
    // whose 36-byte INQUIRY succeeds with byte 0 exactly 5, on 95/98/ME
    // every such ASPI adapter/target, at most 8.  The handles of letters
    // that are not kept are closed.  Never negative: without the ASPI
    // library the count is 0.
    uint8_t FindDrives();

    // INQUIRY (12-byte block, allocation length 96) into the caller's
    // buffer, with the caller's transfer length.  The buffer must hold at
    // least max(length, 14) bytes (sense bytes land there); the bytes asked
    // for are cleared first, so what the drive does not send reads as 0.
    uint8_t Inquiry(uint8_t slot, uint8_t* buffer, uint32_t length);
    // START STOP UNIT with the given byte 4 (2 = eject).
    uint8_t StartStopUnit(uint8_t slot, uint8_t byte4);
    // The FC-code command: puts the drive into flash mode.
    uint8_t SendFlashCommand(uint8_t slot);
    // One chunk of firmware, data out.  The buffer must hold at least
    // max(length, 14) bytes.  A good status for a chunk the drive took only
    // in part comes back as 0xFF.
    uint8_t WriteFirmwareBlock(uint8_t slot, uint8_t* buffer, uint16_t length, uint8_t byte5,
                               uint8_t byte9);
    // Three big-endian 16-bit checksums: program, boot and parameter area.
    uint8_t ReadChecksums(uint8_t slot, uint8_t* reply8);
    // byte5 1: rewrite the boot area with the next download, 0: do not.
    uint8_t SetDownloadMode(uint8_t slot, uint8_t byte5, uint8_t* reply8);
    uint8_t GetDownloadMode(uint8_t slot, uint8_t* reply8);
    // The vendor identity query: 00 06 and the code in bytes 4-6.
    uint8_t ReadDriveCode(uint8_t slot, uint8_t* reply8);
};

extern TAtapiLib AtapiLib;
