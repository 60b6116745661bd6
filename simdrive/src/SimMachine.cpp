// The simulated machine's services: version, drive letters and devices, the
// pass-through request, library loading, processes, security, restart,
// registry, shell and message boxes.  The ASPI library is in
// SimMachineAspi.cpp, the state file in SimMachineState.cpp.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "SimMachineImpl.h"
#include "platform/PassThrough.h"
#include "platform/Scsi.h"

namespace sim {

namespace {

using platform::ERROR_INVALID_HANDLE;
using platform::ERROR_NO_SUCH_PRIVILEGE;
using platform::ERROR_NOT_ALL_ASSIGNED;
using platform::ERROR_SUCCESS;
using platform::kShutdownPrivilegeLuid;
using platform::STILL_ACTIVE;

constexpr unsigned kDriveFixed = 3;

// The last error belongs to the calling thread, as on Windows.
thread_local uint32_t t_lastError = 0;

// The address that stands for the loaded ASPI library.
char g_aspiModule;

char LowerLetter(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool IsLetter(char c) { return c >= 'a' && c <= 'z'; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void FillVersion(platform::OsVersionInfo& v, uint32_t platformId, uint32_t major, uint32_t minor,
                 uint32_t build, const std::string& servicePack) {
    v = platform::OsVersionInfo{};
    v.OSVersionInfoSize = platform::kExtendedVersionRecordSize;
    v.MajorVersion = major;
    v.MinorVersion = minor;
    v.BuildNumber = build;
    v.PlatformId = platformId;
    std::strncpy(v.CSDVersion, servicePack.c_str(), sizeof v.CSDVersion - 1);
}

// "Service Pack 2" -> 2; texts without a trailing number give 0.
uint16_t ServicePackNumber(const std::string& text) {
    size_t end = text.size();
    size_t start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(text[start - 1]))) --start;
    if (start == end || end - start > 4) return 0;
    return static_cast<uint16_t>(std::stoul(text.substr(start, end - start)));
}

// One line on stderr: the text's line breaks are shown as \n.
void EchoMessageBox(const std::string& caption, const std::string& text) {
    std::string line = "[MessageBox] " + caption + ": ";
    for (char c : text) {
        if (c == '\n')
            line += "\\n";
        else
            line += c;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

}  // namespace

// ===========================================================================
// SimMachine

SimMachine::SimMachine() : impl_(std::make_unique<Impl>(*this)) { SetNtFamily(); }

SimMachine::~SimMachine() {
    // Only the machine installed last uninstalls: one installed after this
    // one stays in place.
    Impl* self = impl_.get();
    if (g_aspiMachine.compare_exchange_strong(self, nullptr)) platform::Uninstall();
}

void SimMachine::SetNtFamily(uint32_t major, uint32_t minor, uint32_t build,
                             const std::string& servicePack) {
    platform::OsVersionInfo& v = impl_->Version;
    FillVersion(v, platform::VER_PLATFORM_WIN32_NT, major, minor, build, servicePack);
    v.ServicePackMajor = ServicePackNumber(servicePack);
    v.ProductType = 1;  // workstation
}

void SimMachine::Set9xFamily(uint32_t major, uint32_t minor, uint32_t build,
                             const std::string& servicePack) {
    // The 95 family keeps the version in the build number's high word.
    FillVersion(impl_->Version, platform::VER_PLATFORM_WIN32_WINDOWS, major, minor,
                ((major & 0xFF) << 24) | ((minor & 0xFF) << 16) | (build & 0xFFFF), servicePack);
}

platform::OsVersionInfo& SimMachine::VersionRecord() { return impl_->Version; }

void SimMachine::SetLetterType(char letter, unsigned driveType) {
    impl_->LetterTypes[LowerLetter(letter)] = driveType;
}

void SimMachine::SetLetterOpenFails(char letter, bool fails) {
    if (fails)
        impl_->LettersThatFailToOpen.insert(LowerLetter(letter));
    else
        impl_->LettersThatFailToOpen.erase(LowerLetter(letter));
}

SimDrive& SimMachine::AttachDriveAtLetter(char letter, const DriveConfig& config) {
    auto& slot = impl_->LetterDrives[LowerLetter(letter)];
    slot = std::make_unique<SimDrive>(config, &impl_->Clock);
    return *slot;
}

SimDrive& SimMachine::AttachDriveAtAspi(uint8_t adapter, uint8_t target, const DriveConfig& config) {
    auto& slot = impl_->AspiDrives[{adapter, target}];
    slot = std::make_unique<SimDrive>(config, &impl_->Clock);
    return *slot;
}

SimDrive* SimMachine::DriveAtLetter(char letter) {
    auto it = impl_->LetterDrives.find(LowerLetter(letter));
    return it == impl_->LetterDrives.end() ? nullptr : it->second.get();
}

SimDrive* SimMachine::DriveAtAspi(uint8_t adapter, uint8_t target) {
    return impl_->DriveAt(adapter, target);
}

std::vector<SimMachine::AttachedDrive> SimMachine::Drives() {
    std::vector<AttachedDrive> drives;
    for (auto& [letter, drive] : impl_->LetterDrives)
        drives.push_back(AttachedDrive{letter, 0, 0, drive.get()});
    for (auto& [place, drive] : impl_->AspiDrives)
        drives.push_back(AttachedDrive{std::nullopt, place.first, place.second, drive.get()});
    return drives;
}

void SimMachine::OnRestartAccepted(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(impl_->RecordLock);
    impl_->RestartCallback = std::move(callback);
}

VirtualClock& SimMachine::Clock() { return impl_->Virtual; }

platform::IClock& SimMachine::ActiveClock() { return impl_->Clock.Active(); }

const std::vector<RestartRequest>& SimMachine::RestartRequests() const { return impl_->Restarts; }

const std::vector<ShownMessageBox>& SimMachine::MessageBoxes() const { return impl_->Boxes; }

void SimMachine::QueueMessageBoxAnswer(int answer) {
    std::lock_guard<std::mutex> lock(impl_->RecordLock);
    impl_->Answers.push_back(answer);
}

const std::vector<SimMachine::ShellCall>& SimMachine::ShellCalls() const { return impl_->Shell; }

bool SimMachine::UseStateFile(const std::string& path, std::string& error) {
    auto state = std::make_unique<FirmwareStateFile>();
    const std::vector<AttachedDrive> drives = Drives();
    if (!state->Open(path, drives, error)) return false;
    impl_->State = std::move(state);
    for (const AttachedDrive& drive : drives) impl_->HookStateFile(*drive.Drive);
    return true;
}

const std::string& SimMachine::StateFile() const {
    static const std::string none;
    return impl_->State ? impl_->State->Path() : none;
}

platform::Services SimMachine::Services() {
    Impl& m = *impl_;
    platform::Services s;
    s.Version = &m;
    s.DriveType = &m;
    s.DeviceOpen = &m;
    s.DeviceControl = &m;
    s.Libraries = &m;
    s.Clock = &m.Clock;
    s.CommandLine = &m;
    s.Language = &m;
    s.Processes = &m;
    s.Security = &m;
    s.Restart = &m;
    s.Registry = &m;
    s.Shell = &m;
    s.MessageBoxes = &m;
    return s;
}

void SimMachine::Install() {
    platform::Install(Services());
    g_aspiMachine.store(impl_.get());
}

// ===========================================================================
// Impl

SimMachine::Impl::Impl(SimMachine& machine) : Machine(machine), Clock(machine, Virtual, Steady) {
    LetterTypes['c'] = kDriveFixed;
}

void SimMachine::Impl::HookStateFile(SimDrive& drive) {
    drive.OnFirmwareChanged([this] {
        std::string error;
        if (State && !State->Write(error))
            std::fprintf(stderr, "simulated machine: %s\n", error.c_str());
    });
}

// ---- version -----------------------------------------------------------------

bool SimMachine::Impl::GetVersionEx(platform::OsVersionInfo& info) {
    const uint32_t size = info.OSVersionInfoSize;
    if (size == platform::kPlainVersionRecordSize) {
        if (Machine.PlainQueryFails) return false;
    } else if (size == platform::kExtendedVersionRecordSize) {
        if (Machine.ExtendedQueryFails) return false;
    } else {
        return false;
    }
    // The plain record ends after the service-pack text: a caller that asked
    // for it may have no room for the rest.
    std::memcpy(&info, &Version, size);
    info.OSVersionInfoSize = size;
    return true;
}

// ---- drive letters and devices -----------------------------------------------

unsigned SimMachine::Impl::GetDriveType(const char* root) {
    if (root == nullptr) return platform::DRIVE_NO_ROOT_DIR;
    const size_t length = std::strlen(root);
    const bool form = (length == 2 || (length == 3 && root[2] == '\\')) && root[1] == ':';
    const char letter = LowerLetter(root[0]);
    if (!form || !IsLetter(letter)) return platform::DRIVE_NO_ROOT_DIR;
    if (LetterDrives.count(letter) != 0) return platform::DRIVE_CDROM;
    auto it = LetterTypes.find(letter);
    return it == LetterTypes.end() ? platform::DRIVE_NO_ROOT_DIR : it->second;
}

platform::Handle SimMachine::Impl::CreateFile(const char* path, uint32_t, uint32_t, uint32_t,
                                              uint32_t) {
    if (path == nullptr || std::strlen(path) != 6 || std::strncmp(path, "\\\\.\\", 4) != 0 ||
        path[5] != ':')
        return platform::kInvalidHandle;
    const char letter = LowerLetter(path[4]);
    if (!IsLetter(letter) || LetterDrives.count(letter) == 0 ||
        LettersThatFailToOpen.count(letter) != 0)
        return platform::kInvalidHandle;
    HandleEntry entry;
    entry.Kind = HandleKind::Device;
    entry.Letter = letter;
    return NewHandle(entry);
}

platform::Handle SimMachine::Impl::NewHandle(HandleEntry entry) {
    std::lock_guard<std::mutex> lock(HandleLock);
    const platform::Handle handle = NextHandle;
    NextHandle += 4;
    Handles.emplace(handle, std::move(entry));
    return handle;
}

bool SimMachine::Impl::FindHandle(platform::Handle handle, HandleKind kind, HandleEntry& entry) {
    std::lock_guard<std::mutex> lock(HandleLock);
    auto it = Handles.find(handle);
    if (it == Handles.end() || it->second.Kind != kind) return false;
    entry = it->second;
    return true;
}

bool SimMachine::Impl::CloseHandle(platform::Handle handle) {
    std::lock_guard<std::mutex> lock(HandleLock);
    auto it = Handles.find(handle);
    if (it == Handles.end() || it->second.Kind == HandleKind::RegistryKey) return false;
    Handles.erase(it);
    return true;
}

SimDrive* SimMachine::Impl::DriveBehind(platform::Handle device) {
    HandleEntry entry;
    if (!FindHandle(device, HandleKind::Device, entry)) return nullptr;
    auto it = LetterDrives.find(entry.Letter);
    return it == LetterDrives.end() ? nullptr : it->second.get();
}

SimDrive* SimMachine::Impl::DriveAt(uint8_t adapter, uint8_t target) {
    auto it = AspiDrives.find({adapter, target});
    return it == AspiDrives.end() ? nullptr : it->second.get();
}

// ---- pass-through --------------------------------------------------------------

bool SimMachine::Impl::DeviceIoControl(platform::Handle device, uint32_t code, void* in,
                                       uint32_t inSize, void* out, uint32_t outSize,
                                       uint32_t* bytesReturned) {
    if (code != platform::IOCTL_SCSI_PASS_THROUGH_DIRECT) return false;
    SimDrive* drive = DriveBehind(device);
    if (drive == nullptr) return false;
    // The record is read, checked and answered as on every machine; the drive
    // only runs the command.
    return platform::CarryPassThroughDirect(
        in, inSize, out, outSize, bytesReturned, [drive](platform::PassThroughRequest& request) {
            ScsiRequest scsi;
            scsi.Cdb = request.Cdb;
            scsi.CdbLength = request.CdbLength;
            scsi.TimeoutSeconds = request.TimeoutSeconds;
            scsi.Direction = request.Direction;
            scsi.Data = static_cast<uint8_t*>(request.Data);
            scsi.DataLength = request.DataLength;
            const ScsiResult result = drive->Execute(scsi);
            if (result.TransportFailed) {
                request.OsError = EIO;
                return;
            }
            request.Status = result.Status;
            request.Residual = result.Residual;
            // A drive that ended the command without sense has no response
            // code; only a bad status carries sense.
            if (result.Status != kStatusGood && result.SenseData[0] != 0) {
                static_assert(kSenseLength <= platform::kMaxSenseBytes);
                std::memcpy(request.Sense, result.SenseData, kSenseLength);
                request.SenseLength = kSenseLength;
            }
        });
}

// ---- libraries -------------------------------------------------------------------

platform::ModuleHandle SimMachine::Impl::LoadLibrary(const char* name) {
    if (name == nullptr || !Machine.Aspi.Present || !EqualNoCase(name, platform::kAspiLibraryName))
        return nullptr;
    return &g_aspiModule;
}

void* SimMachine::Impl::GetProcAddress(platform::ModuleHandle module, const char* entry) {
    if (module != &g_aspiModule || entry == nullptr || !Machine.Aspi.Present) return nullptr;
    if (Machine.Aspi.HasSendEntry && std::strcmp(entry, platform::kAspiSendEntry) == 0)
        return reinterpret_cast<void*>(&SimSendASPI32Command);
    if (Machine.Aspi.HasSupportEntry && std::strcmp(entry, platform::kAspiSupportEntry) == 0)
        return reinterpret_cast<void*>(&SimGetASPI32SupportInfo);
    return nullptr;
}

// ---- command line, language ----------------------------------------------------

std::string SimMachine::Impl::GetCommandLine() { return Machine.CommandLine; }

uint16_t SimMachine::Impl::GetSystemDefaultLangID() { return Machine.LanguageId; }

// ---- processes -------------------------------------------------------------------

bool SimMachine::Impl::Snapshot(std::vector<platform::ProcessEntry>& processes) {
    if (Machine.SnapshotFails) return false;
    processes.clear();
    for (const SimProcess& p : Machine.Processes)
        if (p.Running) processes.push_back(platform::ProcessEntry{p.ProcessId, p.ExeFile});
    return true;
}

platform::Handle SimMachine::Impl::OpenProcess(uint32_t processId) {
    for (const SimProcess& p : Machine.Processes) {
        if (p.ProcessId != processId) continue;
        if (!p.Running || !p.CanOpen) return 0;
        HandleEntry entry;
        entry.Kind = HandleKind::Process;
        entry.ProcessId = processId;
        return NewHandle(entry);
    }
    return 0;
}

bool SimMachine::Impl::GetExitCodeProcess(platform::Handle process, uint32_t& exitCode) {
    HandleEntry entry;
    if (!FindHandle(process, HandleKind::Process, entry)) return false;
    for (const SimProcess& p : Machine.Processes) {
        if (p.ProcessId != entry.ProcessId) continue;
        exitCode = p.Running ? STILL_ACTIVE : p.TerminatedWith;
        return true;
    }
    return false;
}

bool SimMachine::Impl::TerminateProcess(platform::Handle process, uint32_t exitCode) {
    HandleEntry entry;
    if (!FindHandle(process, HandleKind::Process, entry)) return false;
    for (SimProcess& p : Machine.Processes) {
        if (p.ProcessId != entry.ProcessId || !p.Running) continue;
        p.Running = false;
        p.TerminatedWith = exitCode;
        return true;
    }
    return false;
}

// ---- security --------------------------------------------------------------------

bool SimMachine::Impl::OpenProcessToken(uint32_t, platform::Handle& token) {
    token = 0;
    if (!Machine.TokenOpens) return false;
    HandleEntry entry;
    entry.Kind = HandleKind::Token;
    token = NewHandle(entry);
    return true;
}

bool SimMachine::Impl::GetTokenGroups(platform::Handle token, std::vector<platform::Sid>& groups) {
    HandleEntry entry;
    if (!FindHandle(token, HandleKind::Token, entry) || !Machine.TokenGroupsReadable) return false;
    groups.clear();
    groups.push_back(platform::Sid{{0, 0, 0, 0, 0, 1}, {0}});  // Everyone
    if (Machine.Administrator) groups.push_back(platform::AdministratorsSid());
    groups.push_back(platform::UsersSid());
    return true;
}

bool SimMachine::Impl::LookupPrivilegeValue(const char* name, uint64_t& luid) {
    if (name == nullptr || !EqualNoCase(name, "SeShutdownPrivilege")) {
        t_lastError = ERROR_NO_SUCH_PRIVILEGE;
        return false;
    }
    luid = kShutdownPrivilegeLuid;
    t_lastError = ERROR_SUCCESS;
    return true;
}

bool SimMachine::Impl::AdjustTokenPrivileges(platform::Handle token, uint64_t luid) {
    HandleEntry entry;
    if (!FindHandle(token, HandleKind::Token, entry)) {
        t_lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (luid != kShutdownPrivilegeLuid) {
        t_lastError = ERROR_NO_SUCH_PRIVILEGE;
        return false;
    }
    // As on Windows, the call succeeds even when the privilege is not
    // assigned; only the last error tells.
    t_lastError = Machine.PrivilegeAdjustFails ? ERROR_NOT_ALL_ASSIGNED : ERROR_SUCCESS;
    return true;
}

uint32_t SimMachine::Impl::GetLastError() { return t_lastError; }

// ---- restart ---------------------------------------------------------------------

bool SimMachine::Impl::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    const bool accepted = Machine.RestartAccepted;
    std::function<void()> callback;
    {
        std::lock_guard<std::mutex> lock(RecordLock);
        Restarts.push_back(RestartRequest{flags, reason, accepted});
        if (accepted) callback = RestartCallback;
    }
    if (callback) callback();
    return accepted;
}

// ---- registry --------------------------------------------------------------------

bool SimMachine::Impl::RegOpenKeyEx(platform::Handle root, const char* subKey,
                                    platform::Handle& key) {
    if (root != platform::HKEY_LOCAL_MACHINE || subKey == nullptr) return false;
    // Key names compare without regard to case, as in the real registry.
    for (const auto& [path, values] : Machine.Registry) {
        if (!EqualNoCase(path, subKey)) continue;
        HandleEntry entry;
        entry.Kind = HandleKind::RegistryKey;
        entry.KeyPath = path;
        key = NewHandle(entry);
        return true;
    }
    return false;
}

bool SimMachine::Impl::RegQueryValueEx(platform::Handle key, const char* name, char* data,
                                       uint32_t& size) {
    HandleEntry entry;
    if (name == nullptr || !FindHandle(key, HandleKind::RegistryKey, entry)) return false;
    auto keyIt = Machine.Registry.find(entry.KeyPath);
    if (keyIt == Machine.Registry.end()) return false;
    for (const auto& [valueName, value] : keyIt->second) {
        if (!EqualNoCase(valueName, name)) continue;
        const uint32_t room = size;
        size = static_cast<uint32_t>(value.size());
        // No buffer: the caller asks for the size only.
        if (data == nullptr) return true;
        if (value.size() > room) return false;
        std::memcpy(data, value.data(), value.size());
        return true;
    }
    return false;
}

void SimMachine::Impl::RegCloseKey(platform::Handle key) {
    std::lock_guard<std::mutex> lock(HandleLock);
    auto it = Handles.find(key);
    if (it != Handles.end() && it->second.Kind == HandleKind::RegistryKey) Handles.erase(it);
}

// ---- shell and message boxes -----------------------------------------------------

bool SimMachine::Impl::ShellExecute(const void*, const char* verb, const char* file,
                                    const char* parameters, int showCommand) {
    std::lock_guard<std::mutex> lock(RecordLock);
    Shell.push_back(ShellCall{verb ? verb : "", file ? file : "", parameters ? parameters : "",
                              showCommand});
    return true;
}

int SimMachine::Impl::MessageBox(const void* owner, const std::string& text,
                                 const std::string& caption, uint32_t flags) {
    int answer = platform::IDOK;
    {
        std::lock_guard<std::mutex> lock(RecordLock);
        Boxes.push_back(ShownMessageBox{owner, text, caption, flags});
        if (!Answers.empty()) {
            answer = Answers.front();
            Answers.pop_front();
        }
        EchoMessageBox(caption, text);
    }
    return answer;
}

}  // namespace sim
