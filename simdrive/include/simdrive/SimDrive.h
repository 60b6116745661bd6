// A simulated MMC optical drive.
//
// The drive executes command blocks as a real drive does: every opcode it
// knows has one handler (see SimDrive.cpp, one function per opcode), any other
// opcode ends in CHECK CONDITION with ILLEGAL REQUEST / INVALID COMMAND
// OPERATION CODE (05/20/00).  It answers with a SCSI status byte and
// fixed-format sense data, keeps a log of every command for tests, and can be
// told to fail chosen commands.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class IClock;
}

namespace sim {

enum class DataDirection : uint8_t { None, In, Out };

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
};

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
    std::vector<uint8_t> DataOut;      // the bytes sent, for data-out commands
    uint8_t Status = 0;                // the status answered
    Sense Answered;                    // the sense answered (zero when good)
    bool TransportFailed = false;
};

// A fault the drive is told to inject.  It matches either the n-th command
// executed (1-based, counting every command) or every command with a given
// opcode; the first matching fault wins.  A matching command is not executed.
struct Fault {
    std::optional<uint32_t> NthCommand;
    std::optional<uint8_t> Opcode;
    bool Once = false;               // removed after it has matched once
    bool TransportFailure = false;   // the control request itself fails
    uint8_t AspiStatus = 0x82;       // what ASPI reports then (SS_NO_DEVICE)
    uint8_t Status = kStatusCheckCondition;
    Sense SenseData;
};

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

    // Command log.
    const std::vector<LoggedCommand>& Log() const;
    void ClearLog();
    uint32_t CommandCount() const;

    // State seen by tests.
    const DriveConfig& Config() const;
    DriveConfig& MutableConfig();
    bool TrayOpen() const;
    void InsertDisc(bool loaded);

    // Firmware state (see SimFirmware.h for what a download does).
    struct Firmware;
    const Firmware& FirmwareState() const;
    // Persistence of the firmware state (a small text record).
    void SaveFirmware(std::ostream& out) const;
    bool LoadFirmware(std::istream& in, std::string& error);
    // Called after every change of the firmware state (the simulated machine
    // writes its state file from here).
    void OnFirmwareChanged(std::function<void()> callback);

    struct Impl;

private:
    Impl* impl_;
};

}  // namespace sim
