// A simulated MMC optical drive.
//
// The drive executes command blocks as a real drive does: every opcode it
// knows has one handler (registered in the table in src/SimDrive.cpp), any other
// opcode ends in CHECK CONDITION with ILLEGAL REQUEST / INVALID COMMAND
// OPERATION CODE (05/20/00).  It answers with a SCSI status byte and
// fixed-format sense data, keeps a log of every command for tests, and can be
// told to fail chosen commands.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "platform/PassThrough.h"
#include "simdrive/Disc.h"

namespace platform {
class IClock;
}

namespace sim {

// Which way a request's data moves, as the carrier named it; None is a
// request that names no direction (allowed only without data).
using DataDirection = platform::TransferDirection;

// SCSI status values.
inline constexpr uint8_t kStatusGood = 0x00;
inline constexpr uint8_t kStatusCheckCondition = 0x02;
inline constexpr uint8_t kStatusBusy = 0x08;
inline constexpr uint8_t kStatusReservationConflict = 0x18;

// Fixed-format sense data (response code 70h): byte 2 sense key (with its
// flag bits), byte 7 additional length, bytes 12/13 ASC/ASCQ.
inline constexpr int kSenseLength = 18;

struct Sense {
    uint8_t Key = 0;   // whole byte 2, flag bits included
    uint8_t Asc = 0;
    uint8_t Ascq = 0;
    bool operator==(const Sense&) const = default;
};

// The sense the drive itself answers.
inline constexpr Sense kSenseNoMedium{0x02, 0x3A, 0x00};           // tray closed, no disc
inline constexpr Sense kSenseTrayOpen{0x02, 0x3A, 0x02};           // medium not present, tray open
inline constexpr Sense kSenseBecomingReady{0x02, 0x04, 0x01};
inline constexpr Sense kSenseParameterListLength{0x05, 0x1A, 0x00};
inline constexpr Sense kSenseInvalidOpcode{0x05, 0x20, 0x00};
inline constexpr Sense kSenseInvalidFieldInCdb{0x05, 0x24, 0x00};
inline constexpr Sense kSenseInvalidFieldInParameters{0x05, 0x26, 0x00};
inline constexpr Sense kSenseSequenceError{0x05, 0x2C, 0x00};
inline constexpr Sense kSenseFormatInProgress{0x02, 0x04, 0x04};
inline constexpr Sense kSenseOperationInProgress{0x02, 0x04, 0x07};  // blanking, closing
inline constexpr Sense kSenseLbaOutOfRange{0x05, 0x21, 0x00};        // beyond the disc, or unwritten
inline constexpr Sense kSenseInvalidWriteAddress{0x05, 0x21, 0x02};  // off the next writable address
inline constexpr Sense kSenseCannotReadMedium{0x05, 0x30, 0x02};     // incompatible format
inline constexpr Sense kSenseCannotWriteMedium{0x05, 0x30, 0x05};    // incompatible format
inline constexpr Sense kSenseCannotFormatMedium{0x05, 0x30, 0x06};   // incompatible medium
inline constexpr Sense kSenseWriteProtected{0x07, 0x27, 0x00};
inline constexpr Sense kSenseReadError{0x03, 0x11, 0x00};            // unrecovered read error
inline constexpr Sense kSenseWriteError{0x03, 0x0C, 0x00};

// ASPI status reported for a request the carrier cannot deliver at all (no
// command block, a block longer than 16 bytes, data length without a buffer).
inline constexpr uint8_t kAspiInvalidRequest = 0xE0;

struct ScsiRequest {
    const uint8_t* Cdb = nullptr;
    uint8_t CdbLength = 0;
    DataDirection Direction = DataDirection::None;
    uint8_t* Data = nullptr;     // In: the drive writes here; Out: the drive reads here
    uint32_t DataLength = 0;
    uint32_t TimeoutSeconds = 0; // as the carrier passed it on (recorded only)
};

struct ScsiResult {
    // The carrier could not deliver the request at all (device gone, request
    // refused): pass-through reports a failed control request, ASPI reports
    // AspiStatus.  Status and sense are then meaningless.
    bool TransportFailed = false;
    uint8_t AspiStatus = 0;      // ASPI request status to report when TransportFailed
    uint8_t Status = kStatusGood;
    uint8_t SenseData[kSenseLength] = {};
    uint32_t Residual = 0;       // bytes of DataLength not transferred
};

// One entry of the command log.
struct LoggedCommand {
    std::vector<uint8_t> Cdb;          // CdbLength bytes
    uint8_t CdbLength = 0;
    DataDirection Direction = DataDirection::None;
    uint32_t DataLength = 0;
    uint32_t TimeoutSeconds = 0;
    // The bytes sent, for data-out commands of at most the log's data limit;
    // every data-out command keeps a hash of its DataLength bytes (FNV-1a
    // over 64-bit words).
    std::vector<uint8_t> DataOut;
    uint64_t DataOutHash = 0;
    uint8_t Status = 0;                // the status answered
    Sense Answered;                    // the sense answered (zero when good)
    bool TransportFailed = false;
};

// Which block commands a fault given a block address matches.
enum class BlockAccess : uint8_t { Any, Read, Write };

// A fault the drive is told to inject.  It matches the n-th command executed
// (1-based, counting every command), every command with a given opcode,
// and/or every read or write whose blocks include a given address; what is
// given must all match.  With NthMatch only the k-th command that matches
// fires.  The first fault that fires wins; the command is not executed,
// except for CorruptRead, which lets a read run and then spoils the block's
// last word in the data returned, and for ShortTransfer, which lets the
// command run and its status stand while no more than that many bytes of its
// data cross the bus (data in: the host's buffer past them stays as it was;
// data out: the drive's answer counts only them as taken).
struct Fault {
    std::optional<uint32_t> NthCommand;
    std::optional<uint8_t> Opcode;
    std::optional<uint32_t> Block;
    BlockAccess Access = BlockAccess::Any;
    std::optional<uint32_t> NthMatch;
    bool CorruptRead = false;
    std::optional<uint32_t> ShortTransfer;
    bool Once = false;               // removed after it has fired once
    bool TransportFailure = false;   // the control request itself fails
    uint8_t AspiStatus = 0x82;       // what ASPI reports then (SS_NO_DEVICE)
    uint8_t Status = kStatusCheckCondition;
    Sense SenseData;

    // Unrecovered read error (03/11/00) at block n; a write error (03/0C/00)
    // at block n; block n reads back wrong.
    static Fault ReadErrorAt(uint32_t block);
    static Fault WriteErrorAt(uint32_t block);
    static Fault CorruptBlock(uint32_t block);
    // Every command with the opcode ends as the drive answers it, having
    // moved at most `bytes` of its data.
    static Fault ShortTransferOf(uint8_t opcode, uint32_t bytes);
};

// The optional features a drive may have (GET CONFIGURATION).
inline constexpr uint16_t kFeatureDvdRead = 0x1F;
inline constexpr uint16_t kFeatureRandomWritable = 0x20;
inline constexpr uint16_t kFeatureDvdPlusRw = 0x2A;
inline constexpr uint16_t kFeatureDvdPlusR = 0x2B;
inline constexpr uint16_t kFeatureCdTrackAtOnce = 0x2D;
inline constexpr uint16_t kFeatureDvdMinusWrite = 0x2F;

// What the drive is.  Text fields are blank-padded / cut to their INQUIRY size.
struct DriveConfig {
    uint8_t PeripheralByte = 0x05;        // INQUIRY byte 0
    std::string Vendor = "SIMDRIVE";      // 8
    std::string Product = "DVD-RW SD-1000";  // 16
    std::string Revision = "1.00";        // 4
    std::string Code = "SDA";             // 3 (INQUIRY bytes 36-38)
    uint8_t FcCode[2] = {0, 0};           // INQUIRY bytes 54-55
    bool AnswersDriveCodeQuery = true;    // vendor identity query FF 00 FF
    bool RefusesFlashCommand = false;     // FC-code command ends in CHECK CONDITION
    bool DiscLoaded = false;
    // After a tray close with a disc, or after loading, the drive reports
    // "becoming ready" (02/04/01) for this long, in milliseconds of the clock.
    uint32_t BecomingReadyMs = 0;
    // Optional features the drive has (those above); the others it always has.
    std::vector<uint16_t> Features = {kFeatureDvdRead,  kFeatureRandomWritable, kFeatureDvdPlusRw,
                                      kFeatureDvdPlusR, kFeatureCdTrackAtOnce,  kFeatureDvdMinusWrite};
    // Vendor query FF 09: bytes 0-1 of its reply; without a value the drive
    // refuses it (05/24/00).
    std::optional<uint16_t> VendorQueryWord{};
    // Operation codes the drive does not implement, answered as any unknown
    // one (05/20/00).  An emulated DVD-ROM drive, for one, lacks READ TRACK
    // INFORMATION (52h) and READ FORMAT CAPACITIES (23h).
    std::vector<uint8_t> MissingCommands{};
};

class SimDrive {
public:
    explicit SimDrive(DriveConfig config = {}, platform::IClock* clock = nullptr);
    ~SimDrive();
    SimDrive(const SimDrive&) = delete;
    SimDrive& operator=(const SimDrive&) = delete;

    // Executes one command block.
    ScsiResult Execute(const ScsiRequest& request);

    // Fault injection.
    void AddFault(const Fault& fault);
    void ClearFaults();

    // Command log: the most recent commands, LogCapacity of them (oldest
    // dropped first).  Logging is on by construction; switched off, Execute
    // records nothing (CommandCount still counts).  LogSnapshot copies the
    // entries under the drive's lock, so it may be called while another
    // thread sends commands.
    static constexpr size_t kDefaultLogCapacity = 8192;
    static constexpr uint32_t kDefaultLogDataLimit = 1024;
    std::vector<LoggedCommand> LogSnapshot() const;
    void ClearLog();
    void SetLogLimits(size_t capacity, uint32_t dataLimit);
    uint32_t CommandCount() const;
    void SetLogging(bool on);

    // State seen by tests.
    const DriveConfig& Config() const;
    DriveConfig& MutableConfig();
    bool TrayOpen() const;
    // Puts a disc into the drive (true: the disc it held last, or a DVD-ROM),
    // or takes it out (false).  Into the closed drive the disc loads at once.
    void InsertDisc(bool loaded);

    // Discs.  LoadDisc puts this disc into the drive (loading starts when the
    // tray is closed); TakeDisc takes the disc out and gives it back with
    // what was recorded on it.  A queued disc drops into the tray the next
    // time the tray opens, replacing the disc that was in it.  LoadedDisc
    // copies the disc under the drive's lock; ChangeDisc changes it there.
    void LoadDisc(Disc disc);
    std::optional<Disc> TakeDisc();
    void QueueDisc(Disc disc);
    size_t QueuedDiscs() const;
    std::optional<Disc> LoadedDisc() const;
    void ChangeDisc(const std::function<void(Disc&)>& change);
    // Blocks of the loaded disc kept as data (not as the test pattern or
    // zeros), and the bytes its storage uses.
    size_t StoredDataBlocks() const;
    size_t StorageBytes() const;

    // Firmware state (simdrive/README.md describes what a download does).
    struct Firmware;
    const Firmware& FirmwareState() const;
    // Persistence of the firmware state (a small text record).  LoadFirmware
    // refuses a malformed record with an error text and then changes nothing;
    // a loaded record also ends any download in progress.
    void SaveFirmware(std::ostream& out) const;
    bool LoadFirmware(std::istream& in, std::string& error);
    // Called after every change of the firmware state made by a command (the
    // simulated machine writes its state file from here).  Runs on the thread
    // that executed the command, after the drive has released its lock, so the
    // callback may call SaveFirmware.  LoadFirmware does not call it.
    void OnFirmwareChanged(std::function<void()> callback);

    struct Impl;

private:
    Impl* impl_;
};

// The firmware the drive holds.  Revision, Code and FcCode mirror the
// drive's config (INQUIRY answers from there).  The checksums describe the
// image last taken (a factory image built from the config until the first
// download, see README.md); the image itself is not kept, only its size and
// hash.
struct SimDrive::Firmware {
    std::string Revision;          // 4
    std::string Code;              // 3
    uint8_t FcCode[2] = {0, 0};
    bool BootCode = false;         // runs its boot code: INQUIRY revision "BOOT"
    bool FlashMode = false;        // the FC-code command was taken
    bool BootRewrite = false;      // download mode: rewrite the boot area
    uint16_t ProgramChecksum = 0;
    uint16_t BootChecksum = 0;
    uint16_t ParameterChecksum = 0;
    uint32_t ImageSize = 0;
    uint64_t ImageHash = 0;        // FNV-1a of the image bytes
    bool operator==(const Firmware&) const = default;
};

}  // namespace sim
