// Inside the simulated drive: its state, the command a handler works on and
// the handlers of every opcode it knows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "simdrive/SimDrive.h"

namespace sim {

// Text field as INQUIRY and the trailer carry it: cut or blank-padded.
std::string PadTo(const std::string& text, size_t size);
void PutText(uint8_t* at, const std::string& text, size_t size);

uint16_t Sum16(const uint8_t* bytes, size_t size);
uint64_t Fnv1a64(const uint8_t* bytes, size_t size);

// One command as a handler sees it.  The command block is copied and
// zero-padded to 16 bytes, so a handler may read any byte of it.
struct Command {
    Command(const ScsiRequest& request, ScsiResult& result);

    uint8_t Cdb[16] = {};
    const ScsiRequest& Request;
    ScsiResult& Result;
    uint32_t Transferred = 0;  // bytes moved to or from the data buffer
    Sense Answered;

    void Fail(const Sense& sense);
    // Data in: copies min(size, DataLength) bytes of the reply into the
    // caller's buffer.  A data-out request is refused (the host would wait
    // for data the drive wants to send); without a data phase nothing moves.
    void Reply(const uint8_t* reply, uint32_t size);
};

struct SimDrive::Impl {
    Impl(DriveConfig config, platform::IClock* clock);

    DriveConfig Config;
    platform::IClock* const Clock;

    mutable std::mutex Mutex;
    std::vector<Fault> Faults;
    std::vector<LoggedCommand> Log;
    bool Logging = true;
    uint32_t Count = 0;

    bool TrayOpen = false;
    bool BecomingReady = false;
    uint32_t LoadedAt = 0;  // clock tick of the last load

    // The firmware; Revision, Code and FcCode live in Config and are copied
    // in by Snapshot().  Until the first vendor command or query the held
    // image is the factory image, built when first needed from the config.
    mutable Firmware Fw;
    mutable bool HeldImageKnown = false;

    // A download in progress (not persisted: a reset drive has none).
    struct Session {
        bool Open = false;
        bool BootCodeBefore = false;  // restored when the download is refused
        uint32_t ChunkBytes = 0;
        uint32_t Chunks = 0;
        std::vector<uint8_t> Image;
    } Download;

    std::function<void()> FirmwareChanged;
    bool FirmwareChangedPending = false;

    // TEST UNIT READY's view of a disc just loaded.
    void StartLoading();
    bool StillBecomingReady();

    std::string Model() const;  // vendor (8) + product (16)
    void EnsureHeldImage() const;
    const Firmware& Snapshot() const;
    // Takes a complete, checked image: identity, checksums, leaves boot code.
    void TakeImage(const uint8_t* image, size_t size, size_t trailerAt);
    // Ends a download; a refused one returns to the firmware it started from.
    void EndDownload(bool refused);
};

using CommandHandler = void (*)(SimDrive::Impl&, Command&);

// One handler per opcode (SimDriveMmc.cpp, SimDriveVendor.cpp).
void HandleTestUnitReady(SimDrive::Impl& drive, Command& command);
void HandleInquiry(SimDrive::Impl& drive, Command& command);
void HandleStartStopUnit(SimDrive::Impl& drive, Command& command);
void HandleVendor(SimDrive::Impl& drive, Command& command);

}  // namespace sim
