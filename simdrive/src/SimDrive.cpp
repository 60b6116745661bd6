// The simulated drive's command loop: delivery checks, fault injection, the
// opcode table and the command log.
#include <algorithm>
#include <array>
#include <cstring>

#include "BlockStore.h"
#include "SimDriveImpl.h"
#include "platform/Services.h"

namespace sim {

namespace {

// Every opcode the drive knows, and its handler.  New commands are one line
// here and one function in the file of their family.
const std::array<CommandHandler, 256>& OpcodeTable() {
    static const std::array<CommandHandler, 256> table = [] {
        std::array<CommandHandler, 256> t{};
        t[0x00] = &HandleTestUnitReady;
        t[0x04] = &HandleFormatUnit;
        t[0x12] = &HandleInquiry;
        t[0x1B] = &HandleStartStopUnit;
        t[0x23] = &HandleReadFormatCapacities;
        t[0x25] = &HandleReadCapacity;
        t[0x28] = &HandleRead;
        t[0x2A] = &HandleWrite;
        t[0x35] = &HandleSynchronizeCache;
        t[0x43] = &HandleReadTocPmaAtip;
        t[0x46] = &HandleGetConfiguration;
        t[0x51] = &HandleReadDiscInformation;
        t[0x52] = &HandleReadTrackInformation;
        t[0x55] = &HandleModeSelect10;
        t[0x5A] = &HandleModeSense10;
        t[0x5B] = &HandleCloseTrackSession;
        t[0xA1] = &HandleBlank;
        t[0xA8] = &HandleRead;
        t[0xAA] = &HandleWrite;
        t[0xAD] = &HandleReadDvdStructure;
        t[0xBF] = &HandleSendDvdStructure;
        t[0xFF] = &HandleVendor;
        return t;
    }();
    return table;
}

void WriteSense(ScsiResult& result, const Sense& sense) {
    std::memset(result.SenseData, 0, sizeof result.SenseData);
    result.SenseData[0] = 0x70;  // current error, fixed format
    result.SenseData[2] = sense.Key;
    result.SenseData[7] = kSenseLength - 8;
    result.SenseData[12] = sense.Asc;
    result.SenseData[13] = sense.Ascq;
}

bool IsWrite(uint8_t opcode) { return opcode == 0x2A || opcode == 0xAA; }

bool Matches(const Fault& fault, uint32_t number, const uint8_t* cdb) {
    if (fault.NthCommand && *fault.NthCommand != number) return false;
    if (fault.Opcode && *fault.Opcode != cdb[0]) return false;
    if (fault.Block) {
        uint32_t lba = 0, count = 0;
        if (!BlockRange(cdb, lba, count)) return false;
        if (fault.Access == BlockAccess::Read && IsWrite(cdb[0])) return false;
        if (fault.Access == BlockAccess::Write && !IsWrite(cdb[0])) return false;
        if (*fault.Block < lba || *fault.Block - lba >= count) return false;
    }
    return true;
}

Fault BlockFault(uint32_t block, BlockAccess access, const Sense& sense) {
    Fault fault;
    fault.Block = block;
    fault.Access = access;
    fault.SenseData = sense;
    return fault;
}

// Spoils the last word of `block` in the data a read returned.
void Corrupt(const Command& command, uint32_t block) {
    uint32_t lba = 0, count = 0;
    BlockRange(command.Cdb, lba, count);
    const uint64_t end = uint64_t{block - lba + 1} * kBlockBytes;
    if (command.Result.Status != kStatusGood || end > command.Transferred) return;
    for (uint64_t i = end - 4; i < end; ++i) command.Request.Data[i] ^= 0xFF;
}

}  // namespace

std::string PadTo(const std::string& text, size_t size) {
    std::string padded = text.substr(0, size);
    padded.resize(size, ' ');
    return padded;
}

void PutText(uint8_t* at, const std::string& text, size_t size) {
    const std::string padded = PadTo(text, size);
    std::memcpy(at, padded.data(), size);
}

uint16_t Sum16(const uint8_t* bytes, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) sum += bytes[i];
    return static_cast<uint16_t>(sum);
}

uint64_t LogHash(const uint8_t* bytes, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, 8);
        hash = (hash ^ word) * 1099511628211ull;
    }
    for (; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

uint64_t Fnv1a64(const uint8_t* bytes, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

Fault Fault::ReadErrorAt(uint32_t block) { return BlockFault(block, BlockAccess::Read, kSenseReadError); }
Fault Fault::WriteErrorAt(uint32_t block) { return BlockFault(block, BlockAccess::Write, kSenseWriteError); }
Fault Fault::CorruptBlock(uint32_t block) {
    Fault fault = BlockFault(block, BlockAccess::Read, {});
    fault.CorruptRead = true;
    return fault;
}

Fault Fault::ShortTransferOf(uint8_t opcode, uint32_t bytes) {
    Fault fault;
    fault.Opcode = opcode;
    fault.ShortTransfer = bytes;
    return fault;
}

bool BlockRange(const uint8_t* cdb, uint32_t& lba, uint32_t& count) {
    switch (cdb[0]) {
        case 0x28:
        case 0x2A:
            lba = Big32(cdb + 2);
            count = Big16(cdb + 7);
            return true;
        case 0xA8:
        case 0xAA:
            lba = Big32(cdb + 2);
            count = Big32(cdb + 6);
            return true;
        default:
            return false;
    }
}

Command::Command(const ScsiRequest& request, ScsiResult& result) : Request(request), Result(result) {
    if (request.Cdb != nullptr)
        std::memcpy(Cdb, request.Cdb, std::min<size_t>(request.CdbLength, sizeof Cdb));
}

void Command::Fail(const Sense& sense) {
    Result.Status = kStatusCheckCondition;
    Answered = sense;
    WriteSense(Result, sense);
}

const uint8_t* Command::Received(uint64_t size) {
    if (Request.Direction != DataDirection::Out || Request.DataLength < size) {
        Fail(kSenseParameterListLength);
        return nullptr;
    }
    Transferred = static_cast<uint32_t>(size);
    return Request.Data;
}

void Command::Reply(const uint8_t* reply, uint32_t size) {
    if (Request.Direction == DataDirection::Out && Request.DataLength > 0) {
        Fail(kSenseInvalidFieldInCdb);
        return;
    }
    if (Request.Direction != DataDirection::In) return;
    Transferred = std::min(size, Request.DataLength);
    // A request without data may come without a buffer.
    if (Transferred > 0) std::memcpy(Request.Data, reply, Transferred);
}

SimDrive::Impl::Impl(DriveConfig config, platform::IClock* clock)
    : Config(std::move(config)), Clock(clock) {
    // Track at once, multi-session 11b, mode 1 blocks, audio pause 150.
    static const uint8_t page[16] = {0x05, 0x32, 0x01, 0xC4, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x96};
    std::memcpy(WritePage, page, sizeof page);
}

Disc& SimDrive::Impl::HeldDisc() const {
    if (!Medium) Medium = MakeDisc(DiscModel::DvdRom);
    return *Medium;
}

Disc* SimDrive::Impl::LoadedDisc() {
    return TrayOpen || !Config.DiscLoaded ? nullptr : &HeldDisc();
}

Disc* SimDrive::Impl::ReadyDisc(Command& command) {
    if (TrayOpen)
        command.Fail(kSenseTrayOpen);
    else if (!Config.DiscLoaded)
        command.Fail(kSenseNoMedium);
    else if (StillBecomingReady())
        command.Fail(kSenseBecomingReady);
    else if (StillBusy())
        command.Fail(BusySense);
    else
        return LoadedDisc();
    return nullptr;
}

void SimDrive::Impl::StartBusy(uint32_t ms, const Sense& sense) {
    Busy = Clock != nullptr && ms > 0;
    if (!Busy) return;
    BusyFrom = Clock->TickCount();
    BusyMs = ms;
    BusySense = sense;
}

bool SimDrive::Impl::StillBusy() {
    if (!Busy) return false;
    if (Clock->TickCount() - BusyFrom < BusyMs) return true;
    Busy = false;
    return false;
}

bool SimDrive::Impl::Implements(uint8_t opcode) const {
    const std::vector<uint8_t>& missing = Config.MissingCommands;
    return std::find(missing.begin(), missing.end(), opcode) == missing.end();
}

bool SimDrive::Impl::HasFeature(uint16_t feature) const {
    return std::find(Config.Features.begin(), Config.Features.end(), feature) != Config.Features.end();
}

void SimDrive::Impl::RemoveDisc() {
    Config.DiscLoaded = false;
    Medium.reset();
    BecomingReady = false;
    Busy = false;
}

void SimDrive::Impl::StartLoading() {
    BecomingReady = Clock != nullptr && Config.BecomingReadyMs > 0;
    if (BecomingReady) LoadedAt = Clock->TickCount();
}

bool SimDrive::Impl::StillBecomingReady() {
    if (!BecomingReady) return false;
    // Unsigned difference: the 32-bit tick count may wrap during the load.
    if (Clock->TickCount() - LoadedAt < Config.BecomingReadyMs) return true;
    BecomingReady = false;
    return false;
}

std::string SimDrive::Impl::Model() const {
    return PadTo(Config.Vendor, 8) + PadTo(Config.Product, 16);
}

const SimDrive::Firmware& SimDrive::Impl::Snapshot() const {
    EnsureHeldImage();
    Fw.Revision = PadTo(Config.Revision, 4);
    Fw.Code = PadTo(Config.Code, 3);
    Fw.FcCode[0] = Config.FcCode[0];
    Fw.FcCode[1] = Config.FcCode[1];
    return Fw;
}

SimDrive::SimDrive(DriveConfig config, platform::IClock* clock)
    : impl_(new Impl(std::move(config), clock)) {}

SimDrive::~SimDrive() { delete impl_; }

ScsiResult SimDrive::Execute(const ScsiRequest& request) {
    ScsiResult result;
    std::function<void()> changed;
    {
        std::lock_guard<std::mutex> lock(impl_->Mutex);
        Impl& d = *impl_;
        const uint32_t number = ++d.Count;
        const bool deliverable = request.Cdb != nullptr && request.CdbLength >= 1 &&
                                 request.CdbLength <= 16 &&
                                 (request.DataLength == 0 || request.Data != nullptr);
        Command command(request, result);
        if (!deliverable) {
            result.TransportFailed = true;
            result.AspiStatus = kAspiInvalidRequest;
        } else {
            auto fired = d.Faults.end();
            for (auto armed = d.Faults.begin(); armed != d.Faults.end(); ++armed) {
                if (!Matches(armed->What, number, command.Cdb)) continue;
                ++armed->Matches;
                if (armed->What.NthMatch && *armed->What.NthMatch != armed->Matches) continue;
                fired = armed;
                break;
            }
            std::optional<Fault> corrupt;
            std::optional<uint32_t> moves;
            if (fired != d.Faults.end() && fired->What.CorruptRead) corrupt = fired->What;
            if (fired != d.Faults.end() && fired->What.ShortTransfer) moves = fired->What.ShortTransfer;
            if (fired != d.Faults.end() && !corrupt && !moves) {
                const Fault& fault = fired->What;
                result.TransportFailed = fault.TransportFailure;
                result.AspiStatus = fault.AspiStatus;
                result.Status = fault.Status;
                command.Answered = fault.SenseData;
                if (!fault.TransportFailure &&
                    (fault.Status == kStatusCheckCondition || !(fault.SenseData == Sense{})))
                    WriteSense(result, fault.SenseData);
            } else if (CommandHandler handler =
                           d.Implements(command.Cdb[0]) ? OpcodeTable()[command.Cdb[0]] : nullptr) {
                if (moves && request.Direction == DataDirection::In) {
                    // The drive sends its reply; the bus delivers its start.
                    ScsiRequest cut = request;
                    cut.DataLength = std::min(request.DataLength, *moves);
                    Command shortened(cut, result);
                    handler(d, shortened);
                    command.Transferred = shortened.Transferred;
                    command.Answered = shortened.Answered;
                } else {
                    handler(d, command);
                    if (moves) command.Transferred = std::min(command.Transferred, *moves);
                }
                if (corrupt) Corrupt(command, *corrupt->Block);
            } else {
                command.Fail(kSenseInvalidOpcode);
            }
            if (fired != d.Faults.end() && fired->What.Once) d.Faults.erase(fired);
        }
        result.Residual = request.DataLength - command.Transferred;
        if (d.Logging) {
            LoggedCommand entry;
            entry.Cdb.assign(command.Cdb, command.Cdb + std::min<size_t>(request.CdbLength, 16));
            entry.CdbLength = request.CdbLength;
            entry.Direction = request.Direction;
            entry.DataLength = request.DataLength;
            entry.TimeoutSeconds = request.TimeoutSeconds;
            if (deliverable && request.Direction == DataDirection::Out) {
                entry.DataOutHash = LogHash(request.Data, request.DataLength);
                if (request.DataLength <= d.LogDataLimit)
                    entry.DataOut.assign(request.Data, request.Data + request.DataLength);
            }
            entry.Status = result.Status;
            entry.Answered = command.Answered;
            entry.TransportFailed = result.TransportFailed;
            if (d.LogCapacity > 0) {
                while (d.Log.size() >= d.LogCapacity) d.Log.pop_front();
                d.Log.push_back(std::move(entry));
            }
        }
        if (d.FirmwareChangedPending) {
            d.FirmwareChangedPending = false;
            changed = d.FirmwareChanged;
        }
    }
    if (changed) changed();
    return result;
}

void SimDrive::AddFault(const Fault& fault) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Faults.push_back({fault, 0});
}

void SimDrive::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Faults.clear();
}

std::vector<LoggedCommand> SimDrive::LogSnapshot() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return {impl_->Log.begin(), impl_->Log.end()};
}

void SimDrive::SetLogLimits(size_t capacity, uint32_t dataLimit) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->LogCapacity = capacity;
    impl_->LogDataLimit = dataLimit;
    while (impl_->Log.size() > capacity) impl_->Log.pop_front();
}

void SimDrive::ClearLog() {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Log.clear();
}

uint32_t SimDrive::CommandCount() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return impl_->Count;
}

void SimDrive::SetLogging(bool on) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Logging = on;
}

const DriveConfig& SimDrive::Config() const { return impl_->Config; }

DriveConfig& SimDrive::MutableConfig() { return impl_->Config; }

bool SimDrive::TrayOpen() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return impl_->TrayOpen;
}

void SimDrive::InsertDisc(bool loaded) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Config.DiscLoaded = loaded;
    impl_->Busy = false;
    if (loaded && !impl_->TrayOpen)
        impl_->StartLoading();
    else if (!loaded)
        impl_->BecomingReady = false;
}

void SimDrive::LoadDisc(Disc disc) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Medium = std::move(disc);
    impl_->Config.DiscLoaded = true;
    impl_->Busy = false;
    if (!impl_->TrayOpen) impl_->StartLoading();
}

std::optional<Disc> SimDrive::TakeDisc() {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    std::optional<Disc> disc;
    if (impl_->Config.DiscLoaded) disc = std::move(impl_->HeldDisc());
    impl_->RemoveDisc();
    return disc;
}

void SimDrive::QueueDisc(Disc disc) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Queue.push_back(std::move(disc));
}

size_t SimDrive::QueuedDiscs() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return impl_->Queue.size();
}

std::optional<Disc> SimDrive::LoadedDisc() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    if (!impl_->Config.DiscLoaded) return std::nullopt;
    return impl_->HeldDisc();
}

void SimDrive::ChangeDisc(const std::function<void(Disc&)>& change) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    if (impl_->Config.DiscLoaded) change(impl_->HeldDisc());
}

size_t SimDrive::StoredDataBlocks() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return impl_->Medium && impl_->Medium->Blocks ? impl_->Medium->Blocks->DataBlocks() : 0;
}

size_t SimDrive::StorageBytes() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return impl_->Medium && impl_->Medium->Blocks ? impl_->Medium->Blocks->BytesUsed() : 0;
}

const SimDrive::Firmware& SimDrive::FirmwareState() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return impl_->Snapshot();
}

void SimDrive::OnFirmwareChanged(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->FirmwareChanged = std::move(callback);
}

}  // namespace sim
