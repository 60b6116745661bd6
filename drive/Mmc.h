// MMC command set of the diagnostic program: one routine per drive command.
//
// Each routine copies a fixed 12-byte command block template, fills the bytes
// that depend on its arguments and sends the block through SendDriveCommand
// with a fixed block length, direction and data length.  Every routine takes
// the drive slot first and the caller's reply buffer last; the buffer receives
// the reply and, on status 4, the sense bytes (read them with GetSenseCode or
// GetSenseKeyAsc).
//
// The buffer is passed with its size.  A command whose data would not fit the
// buffer (or a buffer too small for the sense bytes) is not sent: the routine
// answers kStatusNotSent and records kNotSentCode as its error code.  Every
// status other than 1 and 4 leaves the code FF0000h + status in the buffer
// (FF00FFh after a failed control request): the command brought back no sense,
// and no drive answers a sense byte 2 of FFh, so an earlier command's bytes
// never pass for this one's error.  A check condition that came without sense
// reads FF0004h the same way (the carriers record platform::kNoSenseReturned).
//
// Queries clear the bytes they ask for before they are sent, so a short reply
// leaves zeros, not an earlier reply, in the fields the caller reads.
#pragma once

#include <cstdint>
#include <span>

#include "drive/Transport.h"

namespace drive {

inline constexpr uint32_t kBlockSize = 2048;
// Bytes 2, 12 and 13 of the buffer receive sense: no buffer is smaller.
inline constexpr size_t kMinimumBuffer = 14;

// Status of a command the layer refused to send (its data would not fit the
// caller's buffer): the value of a failed control request, as nothing reached
// the drive.
inline constexpr uint8_t kStatusNotSent = kStatusTransportFailed;
// Sense byte 2 written for a command that brought back no sense.
using platform::kNoSenseMarker;
inline constexpr uint32_t kNotSentCode = 0xFF0000u | kStatusNotSent;

// Direction values of the command table.
inline constexpr uint8_t kDataIn = 0;
inline constexpr uint8_t kDataOut = 1;

// Media index (the index of the disc type name table).
inline constexpr uint32_t kMediaCdR = 1;
inline constexpr uint32_t kMediaCdRw = 2;
inline constexpr uint32_t kMediaDvdR = 4;
inline constexpr uint32_t kMediaDvdRw = 5;
inline constexpr uint32_t kMediaDvdRDl = 6;
inline constexpr uint32_t kMediaDvdPlusR = 8;
inline constexpr uint32_t kMediaDvdPlusRw = 9;
inline constexpr uint32_t kMediaDvdPlusRDl = 10;
inline constexpr uint32_t kMediaDvdRam = 12;

// Images of a mode parameter header (8 bytes) and the first 16 bytes of the
// write parameters page; they replace bytes 0-23 of a sensed page.
struct WriteParametersTemplate {
    uint8_t Bytes[24];
};
extern const WriteParametersTemplate kCdTrackAtOnceTemplate;
extern const WriteParametersTemplate kDvdRIncrementalTemplate;
// Page byte 3 (buffer byte 11) is combined with C0h before use.
extern const WriteParametersTemplate kDvdRCloseTemplate;

// Readiness wait of CloseTrackSession: polls every 300 ms while the drive is
// becoming ready or busy, up to this bound on the platform clock.
inline constexpr uint32_t kClosePollMs = 300;
inline constexpr uint32_t kCloseWaitBoundMs = 10 * 60 * 1000;

uint8_t Inquiry(uint32_t slot, std::span<uint8_t> buffer);
uint8_t TestUnitReady(uint32_t slot, std::span<uint8_t> buffer);
bool IsUnitReady(uint32_t slot, std::span<uint8_t> buffer);
// The readiness check of the disc information: a 12-byte block, 14 bytes in.
uint8_t TestUnitReady12(uint32_t slot, std::span<uint8_t> buffer);
uint8_t Read10(uint32_t slot, uint32_t lba, uint8_t count, std::span<uint8_t> buffer);
uint8_t Write10(uint32_t slot, uint32_t lba, uint8_t count, std::span<uint8_t> buffer);
uint8_t Write12(uint32_t slot, uint32_t lba, uint8_t count, uint8_t streaming,
                std::span<uint8_t> buffer);
uint8_t SynchronizeCache(uint32_t slot, std::span<uint8_t> buffer);
uint8_t LoadEjectTray(uint32_t slot, uint8_t open, std::span<uint8_t> buffer);
bool GetConfiguration(uint32_t slot, uint16_t startingFeature, uint16_t allocationLength,
                      std::span<uint8_t> buffer);
bool HasFeature(uint32_t slot, uint16_t feature, uint16_t currentProfile, std::span<uint8_t> buffer);
bool ReadFormatCapacities(uint32_t slot, std::span<uint8_t> buffer);
bool ReadDvdStructure(uint32_t slot, uint32_t address, uint8_t layer, uint8_t format,
                      uint16_t allocationLength, std::span<uint8_t> buffer);
// Status of READ DISC INFORMATION (52 bytes), of READ TRACK INFORMATION of one
// track (254 bytes), of the ATIP (254 bytes) and of the write protection
// status (READ DVD STRUCTURE C0h), as the disc information sends them.
uint8_t ReadDiscInformationCommand(uint32_t slot, std::span<uint8_t> buffer);
uint8_t ReadTrackInformation(uint32_t slot, uint16_t track, std::span<uint8_t> buffer);
uint8_t ReadAtip(uint32_t slot, std::span<uint8_t> buffer);
uint8_t ReadWriteProtection(uint32_t slot, std::span<uint8_t> buffer);
// Yes when the drive answers the vendor query and its reply bytes 0-1 are not 0.
bool QueryVendorFF09(uint32_t slot, std::span<uint8_t> buffer);

// Status of the MODE SELECT, or 0 when the index asks for nothing.  A MODE
// SENSE that fails ends the routine with its own status; a sensed page whose
// length does not fit what was received (or is shorter than the 24 bytes the
// templates replace) is not selected back: the result is then 0, with the
// not-sent code in the buffer.
uint8_t SetWriteParameters(uint32_t slot, uint32_t mediaIndex, std::span<uint8_t> buffer);
// Status of the CLOSE TRACK/SESSION.
uint8_t CloseTrackSession(uint32_t slot, uint8_t mediaIndex, uint8_t closeTrack, uint8_t track,
                          std::span<uint8_t> buffer);

// Bytes 0-3 cleared, then block i filled with the big-endian value
// startLba + i in each of its 512 words.  False, and nothing written, when
// count blocks do not fit the buffer.
bool FillTestPattern(uint32_t startLba, uint8_t count, std::span<uint8_t> buffer);
// The read-back check of the pattern: yes when each of the 512 big-endian
// words of the 2048-byte block equals lba.  No for a block shorter than that.
bool BlockHoldsTestPattern(uint32_t lba, std::span<const uint8_t> block);

// (byte 2 << 16) | (byte 12 << 8) | byte 13, byte 2 taken whole.
uint32_t GetSenseCode(std::span<const uint8_t> buffer);
// (byte 2 << 8) | byte 12.
uint16_t GetSenseKeyAsc(std::span<const uint8_t> buffer);

}  // namespace drive
