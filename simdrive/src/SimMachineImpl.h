// Inside of the simulated machine, shared by its source files (the services,
// the ASPI library and the state file).  Not part of the simdrive interface.
#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Host.h"
#include "simdrive/SimMachine.h"

namespace sim {

// The clock handed to the services and the drives: the virtual clock, or the
// host's real clock when the machine says so, decided at every call.
class MachineClock : public platform::IClock {
public:
    MachineClock(const SimMachine& machine, VirtualClock& virtualClock, platform::host::HostClock& steady)
        : machine_(machine), virtual_(virtualClock), steady_(steady) {}
    void Sleep(uint32_t milliseconds) override { Active().Sleep(milliseconds); }
    uint32_t TickCount() override { return Active().TickCount(); }
    platform::LocalTime Now() override { return Active().Now(); }
    bool IsVirtual() const override { return !machine_.RealClock; }
    void Advance(uint32_t milliseconds) override { Active().Advance(milliseconds); }
    platform::IClock& Active() const {
        return machine_.RealClock ? static_cast<platform::IClock&>(steady_) : virtual_;
    }

private:
    const SimMachine& machine_;
    VirtualClock& virtual_;
    platform::host::HostClock& steady_;
};

// The drives' firmware records kept in a state file between runs.
class FirmwareStateFile {
public:
    // Key of a drive's record: "d:" or "aspi 0 3".
    static std::string KeyOf(const SimMachine::AttachedDrive& drive);

    // Reads the file (a missing file holds no record) and loads the records of
    // the given drives; nothing is loaded when any part fails.
    bool Open(const std::string& path, const std::vector<SimMachine::AttachedDrive>& drives,
              std::string& error);
    // Rewrites the whole file from the drives' current firmware and the kept
    // records of drives not attached.  Safe to call from any thread.
    bool Write(std::string& error);
    const std::string& Path() const { return path_; }

private:
    std::mutex lock_;
    std::string path_;
    std::vector<SimMachine::AttachedDrive> drives_;
    std::map<std::string, std::string> foreign_;  // records of drives not attached
};

enum class HandleKind : uint8_t { Device, Process, Token, RegistryKey };

struct HandleEntry {
    HandleKind Kind = HandleKind::Device;
    char Letter = 0;         // Device
    uint32_t ProcessId = 0;  // Process
    std::string KeyPath;     // RegistryKey
};

struct SimMachine::Impl : platform::IVersion,
                          platform::IDriveType,
                          platform::IDeviceOpen,
                          platform::IDeviceControl,
                          platform::ILibraryLoader,
                          platform::ICommandLine,
                          platform::ILanguage,
                          platform::IProcesses,
                          platform::ISecurity,
                          platform::IRestart,
                          platform::IRegistry,
                          platform::IShell,
                          platform::IMessageBoxes {
    explicit Impl(SimMachine& machine);

    // ---- services --------------------------------------------------------
    bool GetVersionEx(platform::OsVersionInfo& info) override;
    unsigned GetDriveType(const char* root) override;
    platform::Handle CreateFile(const char* path, uint32_t access, uint32_t share,
                                uint32_t disposition, uint32_t flags) override;
    // One handle table, as on Windows: any handle closes through any of the
    // three CloseHandle entries.
    bool CloseHandle(platform::Handle handle) override;
    bool DeviceIoControl(platform::Handle device, uint32_t code, void* in, uint32_t inSize,
                         void* out, uint32_t outSize, uint32_t* bytesReturned) override;
    platform::ModuleHandle LoadLibrary(const char* name) override;
    void* GetProcAddress(platform::ModuleHandle module, const char* entry) override;
    std::string GetCommandLine() override;
    uint16_t GetSystemDefaultLangID() override;
    bool Snapshot(std::vector<platform::ProcessEntry>& processes) override;
    platform::Handle OpenProcess(uint32_t processId) override;
    bool GetExitCodeProcess(platform::Handle process, uint32_t& exitCode) override;
    bool TerminateProcess(platform::Handle process, uint32_t exitCode) override;
    bool OpenProcessToken(uint32_t desiredAccess, platform::Handle& token) override;
    bool GetTokenGroups(platform::Handle token, std::vector<platform::Sid>& groups) override;
    bool LookupPrivilegeValue(const char* name, uint64_t& luid) override;
    bool AdjustTokenPrivileges(platform::Handle token, uint64_t luid) override;
    uint32_t GetLastError() override;
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override;
    bool RegOpenKeyEx(platform::Handle root, const char* subKey, platform::Handle& key) override;
    bool RegQueryValueEx(platform::Handle key, const char* name, char* data,
                         uint32_t& size) override;
    void RegCloseKey(platform::Handle key) override;
    bool ShellExecute(const void* owner, const char* verb, const char* file,
                      const char* parameters, int showCommand) override;
    int MessageBox(const void* owner, const std::string& text, const std::string& caption,
                   uint32_t flags) override;

    // ---- helpers -----------------------------------------------------------
    platform::Handle NewHandle(HandleEntry entry);
    bool FindHandle(platform::Handle handle, HandleKind kind, HandleEntry& entry);
    SimDrive* DriveBehind(platform::Handle device);
    SimDrive* DriveAt(uint8_t adapter, uint8_t target);
    void HookStateFile(SimDrive& drive);

    SimMachine& Machine;
    platform::OsVersionInfo Version{};

    std::map<char, unsigned> LetterTypes;
    std::set<char> LettersThatFailToOpen;

    // The clocks come before the drives, which keep a pointer to Clock.
    VirtualClock Virtual;
    platform::host::HostClock Steady;  // real time, for RealClock
    MachineClock Clock;

    std::map<char, std::unique_ptr<SimDrive>> LetterDrives;
    std::map<std::pair<uint8_t, uint8_t>, std::unique_ptr<SimDrive>> AspiDrives;

    std::mutex HandleLock;
    std::map<platform::Handle, HandleEntry> Handles;
    platform::Handle NextHandle = 4;

    std::mutex RecordLock;  // restart requests, message boxes, shell calls
    std::vector<RestartRequest> Restarts;
    std::vector<ShownMessageBox> Boxes;
    std::deque<int> Answers;
    std::vector<ShellCall> Shell;
    std::function<void()> RestartCallback;

    std::unique_ptr<FirmwareStateFile> State;
};

// The machine the simulated ASPI library's entries reach (set by Install).
extern std::atomic<SimMachine::Impl*> g_aspiMachine;

uint32_t SimGetASPI32SupportInfo();
uint32_t SimSendASPI32Command(void* requestBlock);

}  // namespace sim
