// The operating-system services both programs call, one interface per service.
//
// The programs were written against the Windows API; on Linux every call goes
// through one of these interfaces instead.  Two machines implement them: the
// Linux host (platform/src/Host*.cpp) and the simulated machine (simdrive/).
// Exactly one is installed at program start (see simdrive/Select.h); nothing
// falls back from one to the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// A kernel object handle.  Device, token, registry and process handles all use
// this type; kInvalidHandle is the value CreateFile returns on failure, 0 the
// value OpenProcess / OpenProcessToken failures leave behind.
using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

using ModuleHandle = void*;

// ---------------------------------------------------------------------------
// Version query.
//
// The record mirrors the Windows version records: the 148-byte plain record
// ends after CSDVersion, the 156-byte extended record carries the service-pack
// numbers, suite mask and product type as well.  The caller sets
// OSVersionInfoSize to 148 or 156 before the query, as on Windows.
struct OsVersionInfo {
    uint32_t OSVersionInfoSize;
    uint32_t MajorVersion;
    uint32_t MinorVersion;
    uint32_t BuildNumber;
    uint32_t PlatformId;
    char CSDVersion[128];
    uint16_t ServicePackMajor;
    uint16_t ServicePackMinor;
    uint16_t SuiteMask;
    uint8_t ProductType;
    uint8_t Reserved;
};
static_assert(offsetof(OsVersionInfo, ServicePackMajor) == 148);
static_assert(sizeof(OsVersionInfo) == 156);

inline constexpr uint32_t kPlainVersionRecordSize = 148;
inline constexpr uint32_t kExtendedVersionRecordSize = 156;
inline constexpr uint32_t VER_PLATFORM_WIN32s = 0;
inline constexpr uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr uint32_t VER_PLATFORM_WIN32_NT = 2;

class IVersion {
public:
    virtual ~IVersion() = default;
    // Fills the record according to its size field (148 or 156 bytes).
    // False when the query fails (unknown size, or the machine refuses the
    // extended query); the record is then left as it was.
    virtual bool GetVersionEx(OsVersionInfo& info) = 0;
    // The name a system that is not Windows gives itself ("Linux 6.1.0
    // x86_64"), for texts that name the running system; empty on Windows,
    // whose name is built from the version records.  The records still say
    // which family of Windows services the machine offers.
    virtual std::string NativeSystemName() { return {}; }
};

// ---------------------------------------------------------------------------
// Drive type of a root such as "d:".
inline constexpr unsigned DRIVE_UNKNOWN = 0;
inline constexpr unsigned DRIVE_NO_ROOT_DIR = 1;
inline constexpr unsigned DRIVE_CDROM = 5;

class IDriveType {
public:
    virtual ~IDriveType() = default;
    virtual unsigned GetDriveType(const char* root) = 0;
};

// ---------------------------------------------------------------------------
// Device open of "\\.\d:" and handle release.
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t FILE_SHARE_READ = 1;
inline constexpr uint32_t FILE_SHARE_WRITE = 2;
inline constexpr uint32_t OPEN_EXISTING = 3;

class IDeviceOpen {
public:
    virtual ~IDeviceOpen() = default;
    virtual Handle CreateFile(const char* path, uint32_t access, uint32_t share,
                              uint32_t disposition, uint32_t flags) = 0;
    virtual bool CloseHandle(Handle handle) = 0;
};

// ---------------------------------------------------------------------------
// Device control request.  The only code used is the SCSI pass-through-direct
// request, whose record layout is in platform/Scsi.h (read and answered by
// platform/PassThrough.h on every machine).
inline constexpr uint32_t IOCTL_SCSI_PASS_THROUGH_DIRECT = 0x4D014;

class IDeviceControl {
public:
    virtual ~IDeviceControl() = default;
    virtual bool DeviceIoControl(Handle device, uint32_t code, void* in, uint32_t inSize,
                                 void* out, uint32_t outSize, uint32_t* bytesReturned) = 0;
};

// ---------------------------------------------------------------------------
// Library loading.  A module's entry is a plain function address; callers cast
// it to the entry's own type (see platform/Scsi.h for the ASPI entries).
class ILibraryLoader {
public:
    virtual ~ILibraryLoader() = default;
    virtual ModuleHandle LoadLibrary(const char* name) = 0;  // nullptr: not found
    virtual void* GetProcAddress(ModuleHandle module, const char* entry) = 0;
};

// ---------------------------------------------------------------------------
// Sleep, the 32-bit millisecond clock and the local date and time.
struct LocalTime {
    int Year;
    int Month;   // 1..12
    int Day;     // 1..31
    int Hour;
    int Minute;
    int Second;
    int Milliseconds;
};

class IClock {
public:
    virtual ~IClock() = default;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // Milliseconds since some start, wrapping at 2^32 (timeGetTime).
    virtual uint32_t TickCount() = 0;
    virtual LocalTime Now() = 0;
    // True for a clock whose time moves only when it is told to (tests and the
    // simulated machine): timers then fire in its time, not in real time.
    virtual bool IsVirtual() const { return false; }
    // Moves a virtual clock on; a real clock ignores it.
    virtual void Advance(uint32_t /*milliseconds*/) {}
};

// ---------------------------------------------------------------------------
// The process's whole command line, program path included, as Windows hands
// it over (arguments that hold blanks in double quotes).
class ICommandLine {
public:
    virtual ~ICommandLine() = default;
    virtual std::string GetCommandLine() = 0;
};

// ---------------------------------------------------------------------------
// The system default language id (0x412 Korean, 0x409 US English, ...).
inline constexpr uint16_t kLangKorean = 0x412;
inline constexpr uint16_t kLangKoreanNorth = 0x812;
inline constexpr uint16_t kLangEnglishUs = 0x409;

class ILanguage {
public:
    virtual ~ILanguage() = default;
    virtual uint16_t GetSystemDefaultLangID() = 0;
};

// ---------------------------------------------------------------------------
// Process list and termination.
struct ProcessEntry {
    uint32_t ProcessId;
    std::string ExeFile;  // executable file name without directory
};

// The exit code of a process that still runs.
inline constexpr uint32_t STILL_ACTIVE = 259;

class IProcesses {
public:
    virtual ~IProcesses() = default;
    // False when no snapshot can be taken.
    virtual bool Snapshot(std::vector<ProcessEntry>& processes) = 0;
    // 0 when the process cannot be opened.
    virtual Handle OpenProcess(uint32_t processId) = 0;
    virtual bool GetExitCodeProcess(Handle process, uint32_t& exitCode) = 0;
    virtual bool TerminateProcess(Handle process, uint32_t exitCode) = 0;
    virtual bool CloseHandle(Handle process) = 0;
};

// ---------------------------------------------------------------------------
// Process token: group list for the administrators check, and the shutdown
// privilege for the restart.
struct Sid {
    uint8_t IdentifierAuthority[6];
    std::vector<uint32_t> SubAuthorities;
    bool operator==(const Sid&) const = default;
};

// S-1-5-32-544, the built-in Administrators group.
Sid AdministratorsSid();
// S-1-5-32-545, the built-in Users group.
Sid UsersSid();

// Last-error values the security services leave behind.
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr uint32_t ERROR_NO_SUCH_PRIVILEGE = 1313;
// The locally unique id both machines give "SeShutdownPrivilege".
inline constexpr uint64_t kShutdownPrivilegeLuid = 19;

inline constexpr uint32_t TOKEN_QUERY = 0x0008;
inline constexpr uint32_t TOKEN_ADJUST_PRIVILEGES = 0x0020;

class ISecurity {
public:
    virtual ~ISecurity() = default;
    // False (and token 0) when the process token cannot be opened.
    virtual bool OpenProcessToken(uint32_t desiredAccess, Handle& token) = 0;
    // False when the group list cannot be read; groups is then untouched.
    virtual bool GetTokenGroups(Handle token, std::vector<Sid>& groups) = 0;
    virtual bool LookupPrivilegeValue(const char* name, uint64_t& luid) = 0;
    // Enables one privilege; the outcome is read from GetLastError afterwards,
    // as on Windows (the call itself may succeed without assigning it).
    virtual bool AdjustTokenPrivileges(Handle token, uint64_t luid) = 0;
    virtual uint32_t GetLastError() = 0;
    virtual bool CloseHandle(Handle token) = 0;
};

// True when the process token is readable and lists the Administrators group
// (whatever the group's attributes).  A token or group list that cannot be
// read counts as "not an administrator": nothing unread is walked.
bool ProcessTokenHasAdministrators(ISecurity& security);

// ---------------------------------------------------------------------------
// Restart request.
inline constexpr uint32_t EWX_REBOOT = 2;

class IRestart {
public:
    virtual ~IRestart() = default;
    virtual bool ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;
};

// ---------------------------------------------------------------------------
// Registry reads (HKEY_LOCAL_MACHINE only is used).
inline constexpr Handle HKEY_LOCAL_MACHINE = static_cast<Handle>(0x80000002);

class IRegistry {
public:
    virtual ~IRegistry() = default;
    virtual bool RegOpenKeyEx(Handle root, const char* subKey, Handle& key) = 0;
    // size in: room in data; out: bytes of the value.  False when the value is
    // missing or does not fit.
    virtual bool RegQueryValueEx(Handle key, const char* name, char* data, uint32_t& size) = 0;
    virtual void RegCloseKey(Handle key) = 0;
};

// ---------------------------------------------------------------------------
// Shell open of a program with one parameter.
class IShell {
public:
    virtual ~IShell() = default;
    virtual bool ShellExecute(const void* owner, const char* verb, const char* file,
                              const char* parameters, int showCommand) = 0;
};

// ---------------------------------------------------------------------------
// Message boxes.  Owner is the window object (or nullptr); the answer is the
// button pressed (IDOK, IDCANCEL, IDYES, IDNO).
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_OKCANCEL = 0x1;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONERROR = 0x10;
inline constexpr uint32_t MB_SYSTEMMODAL = 0x1000;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    virtual int MessageBox(const void* owner, const std::string& text, const std::string& caption,
                           uint32_t flags) = 0;
};

// ---------------------------------------------------------------------------
// The installed machine.  Every pointer is set once a machine is installed.
struct Services {
    IVersion* Version = nullptr;
    IDriveType* DriveType = nullptr;
    IDeviceOpen* DeviceOpen = nullptr;
    IDeviceControl* DeviceControl = nullptr;
    ILibraryLoader* Libraries = nullptr;
    IClock* Clock = nullptr;
    ICommandLine* CommandLine = nullptr;
    ILanguage* Language = nullptr;
    IProcesses* Processes = nullptr;
    ISecurity* Security = nullptr;
    IRestart* Restart = nullptr;
    IRegistry* Registry = nullptr;
    IShell* Shell = nullptr;
    IMessageBoxes* MessageBoxes = nullptr;
};

// The installed services.  Aborts with a clear message when none is installed.
Services& Current();
bool IsInstalled();
// Installs a machine; the objects must outlive every use.  Passing a services
// record with null members leaves the current ones for those members.
void Install(const Services& services);
// Removes the installed machine (tests).
void Uninstall();

}  // namespace platform
