// Inside the simulated drive: its state, the command a handler works on and
// the handlers of every opcode it knows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "BigEndian.h"
#include "simdrive/SimDrive.h"

namespace sim {

// Text field as INQUIRY and the trailer carry it: cut or blank-padded.
std::string PadTo(const std::string& text, size_t size);
void PutText(uint8_t* at, const std::string& text, size_t size);

uint16_t Sum16(const uint8_t* bytes, size_t size);
uint64_t Fnv1a64(const uint8_t* bytes, size_t size);
// FNV-1a over 64-bit words (then the bytes left): the command log's hash of
// data out, fast enough for every write of a long run.
uint64_t LogHash(const uint8_t* bytes, size_t size);

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
    // Data out: the bytes the host sent, or nullptr (and the command failed
    // with 05/1A/00) when it sent fewer than `size`.  The size is taken in 64
    // bits, so a block count times the block size cannot wrap past the check.
    const uint8_t* Received(uint64_t size);
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
    struct ArmedFault {
        Fault What;
        uint32_t Matches = 0;  // commands matched so far (for NthMatch)
    };
    std::vector<ArmedFault> Faults;
    std::deque<LoggedCommand> Log;
    size_t LogCapacity = SimDrive::kDefaultLogCapacity;
    uint32_t LogDataLimit = SimDrive::kDefaultLogDataLimit;
    bool Logging = true;
    uint32_t Count = 0;

    // The disc in the drive (when Config.DiscLoaded; made a DVD-ROM when
    // none was given) and the discs that drop in when the tray opens.
    mutable std::optional<Disc> Medium;
    std::deque<Disc> Queue;
    // Write parameters mode page (05h), kept per drive: page code, page
    // length 32h and 50 bytes of parameters.
    static constexpr size_t kWritePageBytes = 52;
    uint8_t WritePage[kWritePageBytes] = {};
    // An immediate command still working on the disc (format, blank, close).
    bool Busy = false;
    uint32_t BusyFrom = 0;
    uint32_t BusyMs = 0;
    Sense BusySense;

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
    // The disc in the drive, tray open or closed (Config.DiscLoaded).
    Disc& HeldDisc() const;
    // The disc in the closed drive, or nullptr.
    Disc* LoadedDisc();
    // The disc a medium command works on; without one, or while it is not
    // ready, the command fails with the drive's sense and this is nullptr.
    Disc* ReadyDisc(Command& command);
    // An immediate command keeps the drive busy for `ms` of the clock.
    void StartBusy(uint32_t ms, const Sense& sense);
    bool StillBusy();
    bool HasFeature(uint16_t feature) const;
    bool Implements(uint8_t opcode) const;
    // Takes the disc out (the tray opened on a queued disc, an eject).
    void RemoveDisc();

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
// Disc queries (SimDriveDisc.cpp).
void HandleGetConfiguration(SimDrive::Impl& drive, Command& command);
void HandleReadDiscInformation(SimDrive::Impl& drive, Command& command);
void HandleReadTrackInformation(SimDrive::Impl& drive, Command& command);
void HandleReadTocPmaAtip(SimDrive::Impl& drive, Command& command);
void HandleReadDvdStructure(SimDrive::Impl& drive, Command& command);
void HandleSendDvdStructure(SimDrive::Impl& drive, Command& command);
void HandleReadFormatCapacities(SimDrive::Impl& drive, Command& command);
void HandleReadCapacity(SimDrive::Impl& drive, Command& command);
// Recording (SimDriveMedia.cpp).
void HandleRead(SimDrive::Impl& drive, Command& command);
void HandleWrite(SimDrive::Impl& drive, Command& command);
void HandleSynchronizeCache(SimDrive::Impl& drive, Command& command);
void HandleModeSense10(SimDrive::Impl& drive, Command& command);
void HandleModeSelect10(SimDrive::Impl& drive, Command& command);
void HandleCloseTrackSession(SimDrive::Impl& drive, Command& command);
void HandleBlank(SimDrive::Impl& drive, Command& command);
void HandleFormatUnit(SimDrive::Impl& drive, Command& command);

// Block address and count of READ/WRITE(10) and (12); false for other opcodes.
bool BlockRange(const uint8_t* cdb, uint32_t& lba, uint32_t& count);

}  // namespace sim
