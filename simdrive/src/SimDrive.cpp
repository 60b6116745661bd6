// The simulated drive's command loop: delivery checks, fault injection, the
// opcode table and the command log.
#include <algorithm>
#include <array>
#include <cstring>

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
        t[0x12] = &HandleInquiry;
        t[0x1B] = &HandleStartStopUnit;
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

bool Matches(const Fault& fault, uint32_t number, uint8_t opcode) {
    if (fault.NthCommand && *fault.NthCommand != number) return false;
    if (fault.Opcode && *fault.Opcode != opcode) return false;
    return true;
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

uint64_t Fnv1a64(const uint8_t* bytes, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
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
    : Config(std::move(config)), Clock(clock) {}

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
            auto fault = std::find_if(d.Faults.begin(), d.Faults.end(), [&](const Fault& f) {
                return Matches(f, number, command.Cdb[0]);
            });
            if (fault != d.Faults.end()) {
                result.TransportFailed = fault->TransportFailure;
                result.AspiStatus = fault->AspiStatus;
                result.Status = fault->Status;
                command.Answered = fault->SenseData;
                if (!fault->TransportFailure &&
                    (fault->Status == kStatusCheckCondition || !(fault->SenseData == Sense{})))
                    WriteSense(result, fault->SenseData);
                if (fault->Once) d.Faults.erase(fault);
            } else if (CommandHandler handler = OpcodeTable()[command.Cdb[0]]) {
                handler(d, command);
            } else {
                command.Fail(kSenseInvalidOpcode);
            }
        }
        result.Residual = request.DataLength - command.Transferred;
        if (d.Logging) {
            LoggedCommand entry;
            entry.Cdb.assign(command.Cdb, command.Cdb + std::min<size_t>(request.CdbLength, 16));
            entry.CdbLength = request.CdbLength;
            entry.Direction = request.Direction;
            entry.DataLength = request.DataLength;
            entry.TimeoutSeconds = request.TimeoutSeconds;
            if (deliverable && request.Direction == DataDirection::Out)
                entry.DataOut.assign(request.Data, request.Data + request.DataLength);
            entry.Status = result.Status;
            entry.Answered = command.Answered;
            entry.TransportFailed = result.TransportFailed;
            d.Log.push_back(std::move(entry));
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
    impl_->Faults.push_back(fault);
}

void SimDrive::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    impl_->Faults.clear();
}

const std::vector<LoggedCommand>& SimDrive::Log() const {
    std::lock_guard<std::mutex> lock(impl_->Mutex);
    return impl_->Log;
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
    if (loaded && !impl_->TrayOpen)
        impl_->StartLoading();
    else if (!loaded)
        impl_->BecomingReady = false;
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
