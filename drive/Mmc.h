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
// A reply counts only the bytes that moved.  A block read or write, and every
// command that sends data, that the drive answers good while fewer bytes
// moved than it asked for (the carrier reports a residual) has not read or
// written its blocks: the routine answers kStatusShortTransfer and records
// kShortTransferCode (FF00FEh), beside the not-sent code.
//
// Queries clear the bytes they ask for before they are sent, so a short reply
// leaves zeros, not an earlier reply, in the fields the caller reads; given
// `moved`, they also say how many bytes came (the length asked when the
// carrier cannot count them), and their replies are read no further.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "drive/Timing.h"
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
// Status and code of a command the drive answered good although fewer bytes
// moved than it needed: its data never wholly arrived.
inline constexpr uint8_t kStatusShortTransfer = 0xFE;
inline constexpr uint32_t kShortTransferCode = 0xFF0000u | kStatusShortTransfer;

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

// Mode parameter header and the start of the write parameters page that go
// before a DVD+RW is formatted (write type 1, data block type 8).
extern const WriteParametersTemplate kDvdPlusRwFormatTemplate;

// FORMAT UNIT parameter lists: a 4-byte header (format options valid,
// immediate; descriptor length 8) and one format descriptor.
struct FormatParameterList {
    uint8_t Bytes[12];
};
// Quick format (type 15h) of a DVD-RW.
extern const FormatParameterList kDvdRwQuickFormatList;
// Full format (type 26h) of a DVD+RW, over the largest count the disc takes.
extern const FormatParameterList kDvdPlusRwFormatList;

// Write protection status (disc structure format C0h): 8 bytes; byte 4 holds
// the write-protect bits, bit 1 the persistent one.
inline constexpr uint32_t kProtectionStatusLength = 8;
inline constexpr uint8_t kPersistentWriteProtect = 0x02;

// Senses in their 16-bit form (GetSenseKeyAsc) that waits look at.
inline constexpr uint16_t kSenseBecomingReady = 0x0204;  // becoming ready, or in progress
inline constexpr uint16_t kSenseNoMedium = 0x023A;
inline constexpr uint16_t kSenseMediumChanged = 0x0628;  // not ready to ready: a medium came
inline constexpr uint16_t kSenseResetOccurred = 0x0629;  // power on or reset
// What a drive answers while an immediate command (format, blank, close)
// works on its disc, and the unit attentions a drive or its bus report once
// in the meantime (a reset, a medium change): a wait asks again after each.
inline constexpr uint16_t kSensesWhileWorking[] = {kSenseBecomingReady, kSenseMediumChanged,
                                                   kSenseResetOccurred};

// INQUIRY, 6-byte block, 36 bytes in: bytes 8-15 vendor, 16-31 product,
// 32-35 revision.
uint8_t Inquiry(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
// INQUIRY with a 12-byte block asking for 96 bytes (allocation length 60h),
// dataLength bytes in: past the standard reply the download program's drives
// give their three-character code (bytes 36-38) and FC code (bytes 54-55).
uint8_t InquiryDriveCodes(uint32_t slot, uint32_t dataLength, std::span<uint8_t> buffer);
// TEST UNIT READY asking for 254 bytes, as the diagnostic program sends it.
uint8_t TestUnitReady(uint32_t slot, std::span<uint8_t> buffer);
bool IsUnitReady(uint32_t slot, std::span<uint8_t> buffer);
// TEST UNIT READY without data (transfer length 0).
uint8_t TestUnitReadyWithoutData(uint32_t slot, std::span<uint8_t> buffer);
// The readiness check of the disc information: a 12-byte block, 14 bytes in.
uint8_t TestUnitReady12(uint32_t slot, std::span<uint8_t> buffer);
uint8_t Read10(uint32_t slot, uint32_t lba, uint8_t count, std::span<uint8_t> buffer);
uint8_t Write10(uint32_t slot, uint32_t lba, uint8_t count, std::span<uint8_t> buffer);
uint8_t Write12(uint32_t slot, uint32_t lba, uint8_t count, uint8_t streaming,
                std::span<uint8_t> buffer);
uint8_t SynchronizeCache(uint32_t slot, std::span<uint8_t> buffer);
uint8_t LoadEjectTray(uint32_t slot, uint8_t open, std::span<uint8_t> buffer);
bool GetConfiguration(uint32_t slot, uint16_t startingFeature, uint16_t allocationLength,
                      std::span<uint8_t> buffer, uint32_t* moved = nullptr);
bool HasFeature(uint32_t slot, uint16_t feature, uint16_t currentProfile, std::span<uint8_t> buffer);
bool ReadFormatCapacities(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
bool ReadDvdStructure(uint32_t slot, uint32_t address, uint8_t layer, uint8_t format,
                      uint16_t allocationLength, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
// Status of READ DISC INFORMATION (52 bytes), of READ TRACK INFORMATION of one
// track (254 bytes), of the ATIP (254 bytes) and of the write protection
// status (READ DVD STRUCTURE C0h), as the disc information sends them.
uint8_t ReadDiscInformationCommand(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
uint8_t ReadTrackInformation(uint32_t slot, uint16_t track, std::span<uint8_t> buffer,
                             uint32_t* moved = nullptr);
uint8_t ReadAtip(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
uint8_t ReadWriteProtection(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
// Yes when the drive answers the vendor query and its reply bytes 0-1 are not 0.
// The query is optional (platform::OptionalQuery): its answer only adds a
// drive-specific line.
bool QueryVendorFF09(uint32_t slot, std::span<uint8_t> buffer);

// READ CAPACITY(10): 8 bytes in, the last block's address in bytes 0-3 and
// the block length in bytes 4-7.
uint8_t ReadCapacity(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
// The block count of a READ FORMAT CAPACITIES reply: with one descriptor in
// the list (list lengths 8 to 15) the current/maximum capacity, otherwise the
// first formattable capacity; 0 when the list holds no descriptor.
uint32_t FormatCapacityBlocks(std::span<const uint8_t> reply);

// Write protection status: READ DISC STRUCTURE format C0h (8 bytes in) and
// SEND DISC STRUCTURE format C0h (the buffer's first 8 bytes out).  The
// status is read to be sent back changed, so it must come whole: a short one
// is kStatusShortTransfer.
uint8_t ReadProtectionStatus(uint32_t slot, std::span<uint8_t> buffer);
uint8_t SendProtectionStatus(uint32_t slot, std::span<uint8_t> buffer);
// Yes when byte 4 of a write protection status has a bit above bit 0 set.
bool IsWriteProtected(std::span<const uint8_t> status);

// ---- mode page 05h ----------------------------------------------------------
// MODE SENSE(10) of the write parameters page: 254 bytes in.
uint8_t ModeSense(uint32_t slot, std::span<uint8_t> buffer, uint32_t* moved = nullptr);
// The parameter list length of the page just sensed (the bytes that came):
// its mode data length plus the two bytes of that field.  0 when that does
// not fit the bytes received or holds less than the 24 bytes a template
// replaces; such a page is never selected back.
uint32_t SensedPageLength(std::span<const uint8_t> buffer);
// MODE SELECT(10), page format, the buffer's first listLength bytes out.
uint8_t ModeSelect(uint32_t slot, uint32_t listLength, std::span<uint8_t> buffer);
// Senses the write parameters page, replaces its first 24 bytes by the
// template and selects it back as long as it was sensed.  The result is the
// status of the MODE SELECT; a failed MODE SENSE ends the routine with its own
// status, and a page that SensedPageLength refuses with kStatusNotSent and the
// not-sent code.
uint8_t SelectWriteParameters(uint32_t slot, const WriteParametersTemplate& image,
                              std::span<uint8_t> buffer);

// Status of the MODE SELECT, or 0 when the index asks for nothing.  A MODE
// SENSE that fails ends the routine with its own status; a sensed page that
// SensedPageLength refuses is not selected back: the result is then
// kStatusNotSent, with the not-sent code in the buffer.
uint8_t SetWriteParameters(uint32_t slot, uint32_t mediaIndex, std::span<uint8_t> buffer);
// Status of the CLOSE TRACK/SESSION.
uint8_t CloseTrackSession(uint32_t slot, uint8_t mediaIndex, uint8_t closeTrack, uint8_t track,
                          std::span<uint8_t> buffer);

// ---- blanking and formatting ------------------------------------------------
// BLANK, immediate, minimal (A1 11), 254 bytes in.
uint8_t Blank(uint32_t slot, std::span<uint8_t> buffer);
// FORMAT UNIT with format data, format code 1 (04 11, a 12-byte block).  The
// list is copied into the buffer's first 12 bytes, its immediate bit set once
// more, and sent; without a list nothing goes out.
uint8_t FormatUnit(uint32_t slot, const FormatParameterList* list, std::span<uint8_t> buffer);

// ---- waiting for the drive --------------------------------------------------
struct ReadyWait {
    uint32_t PollMs = 0;
    uint32_t BoundMs = 0;
    // Senses (16-bit form) that mean "ask again"; any other ends the wait.
    std::span<const uint16_t> KeepWaiting;
    // Non-zero ends the wait (STOP); read after each answer that is not ready.
    const std::atomic<uint8_t>* Cancel = nullptr;
    // Called before each question (a step's progress, for instance).
    std::function<void()> EachPoll;
    // The question: TEST UNIT READY when not given.  It returns a command
    // status, and with any status but good leaves its sense in the buffer.
    std::function<uint8_t(std::span<uint8_t> buffer)> Ask;
    // Takes the place of the sleep between tries (a UI thread's pause keeps
    // its event loop running); false ends the wait at once (Cancelled).
    std::function<bool(uint32_t milliseconds)> Pause;
};
enum class ReadyResult { Ready, OtherSense, Cancelled, BoundReached };
// Asks the drive (TEST UNIT READY, or Ask) until it answers good, sleeping
// PollMs (at least 1 ms) on the platform clock (or in Pause) between tries,
// for as long as it answers one of the KeepWaiting senses, Cancel stays clear
// and BoundMs has not passed.  In every outcome but Ready the buffer holds
// the last answer's sense.
ReadyResult WaitUntilReady(uint32_t slot, const ReadyWait& wait, std::span<uint8_t> buffer);

// Bytes 0-3 cleared, then block i filled with the big-endian value
// startLba + i in each of its 512 words.  False, and nothing written, when
// count blocks do not fit the buffer.
bool FillTestPattern(uint32_t startLba, uint8_t count, std::span<uint8_t> buffer);
// The read-back check of the pattern: yes when each of the 512 big-endian
// words of the 2048-byte block equals lba.  No for a block shorter than that.
bool BlockHoldsTestPattern(uint32_t lba, std::span<const uint8_t> block);

// For a reply that did not bring the fields its reader needs: the
// short-transfer code, as a short read leaves it.
void RecordShortReply(std::span<uint8_t> buffer);
// Writes a drive error code into bytes 2, 12 and 13, where GetSenseCode
// reads it (an answer that another routine recorded as a code).
void PutSenseCode(std::span<uint8_t> buffer, uint32_t code);

// (byte 2 << 16) | (byte 12 << 8) | byte 13, byte 2 taken whole.
uint32_t GetSenseCode(std::span<const uint8_t> buffer);
// (byte 2 << 8) | byte 12.
uint16_t GetSenseKeyAsc(std::span<const uint8_t> buffer);

}  // namespace drive
