// The Linux host machine: every service of platform/Services.h on the real
// operating system the programs run on.
//
// Drive letters.  Optical devices get fixed letters: d: is /dev/sr0, e: is
// /dev/sr1, and so on up to z: for /dev/sr22.  A letter names a drive only
// while its device node exists; a missing /dev/sr0 leaves d: unmapped and does
// not move the other letters up.  Letters a: to c: never name an optical
// drive.  Roots and device paths accept the letter in either case.
//
// Device handles are file descriptors.  A pass-through-direct request on such
// a handle is carried out with the SG_IO ioctl of the SCSI generic layer (see
// PassThroughDirect below for the rules).
//
// Libraries are loaded with dlopen.  Windows names such as "WNASPI32.DLL" are
// tried as given and then lower-cased with ".so" in place of ".dll"
// ("wnaspi32.so"); no ASPI library exists on Linux, so the host offers the
// pass-through path only (its version record reports the NT family).
//
// The language id comes from the locale variables, the command line from
// /proc/self/cmdline, the process list from /proc.  The process token is the
// effective user: root is an administrator.  A restart asks the system for a
// reboot with `systemctl reboot`.  There is no registry.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Services.h"

struct sg_io_hdr;  // <scsi/sg.h>

namespace platform {

// Installs the Linux host as the current machine.  The message boxes are a
// plain stand-in that prints to the standard error stream; the user-interface
// layer installs its own over them.
void InstallLinuxHost();

namespace host {

// ---------------------------------------------------------------------------
// Drive letters and devices.

// Device node name ("sr0") for a drive letter, either case; empty for a letter
// that never names an optical drive.
std::string OpticalDeviceName(char letter);

// The SG_IO call; returns what ioctl returns (-1 with errno on failure).
using SgIoCall = std::function<int(int fd, sg_io_hdr& header)>;
int SystemSgIo(int fd, sg_io_hdr& header);

// Sense bytes the translation can take back from one command; longer requests
// are capped to this and the rest of the caller's sense area is zero-filled.
inline constexpr uint32_t kMaxSenseBytes = 96;

// Carries out one pass-through-direct request on a device descriptor.
//
// `in` holds a ScsiPassThroughDirect record; `out` receives the record back
// with ScsiStatus set, and the sense area at SenseInfoOffset in `out` receives
// SenseInfoLength bytes (the sense that came back, zero-filled past it).  The
// two may be the same buffer.  The data moves directly between the device and
// the caller's DataBuffer.
//
// Refused (false, `out` untouched, no call made): a record that does not fit
// either buffer or whose Length is not the record's size, a sense area that
// overlaps the record or ends past outSize, a command block length of 0 or
// more than 16, a DataIn value that is none of data in / data out /
// unspecified, a non-zero transfer length with "unspecified" (the SG layer
// must know which way the data goes) or without a buffer.  A transfer length
// of 0 is sent as "no data" with any of the three DataIn values.
//
// Failed (false, `out` untouched): the ioctl fails, or the host adapter or the
// driver reports that the command did not complete at the device (host_status
// non-zero, or a driver status other than "ok" and "sense available", which
// includes time-outs).  A command that reached the device and ended with any
// SCSI status - good, check condition, busy, ... - is a successful request
// carrying that status.
//
// bytesReturned (when given) is set to the end of the sense area, or to the
// record's size when no sense area was asked for.
bool PassThroughDirect(int fd, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* bytesReturned, const SgIoCall& sgIo);

// Drive types, device open and device control over the /dev optical nodes.
class HostDrives : public IDriveType, public IDeviceOpen, public IDeviceControl {
public:
    explicit HostDrives(std::string deviceDirectory = "/dev", SgIoCall sgIo = SystemSgIo);

    // DRIVE_CDROM for a mapped letter whose device exists ("d:" or "D:"),
    // DRIVE_NO_ROOT_DIR otherwise.
    unsigned GetDriveType(const char* root) override;
    // Opens "\\.\d:" (exactly that form, either case) read-write and
    // non-blocking; access, share, disposition and flags are not looked at.
    Handle CreateFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                      uint32_t flags) override;
    // Only handles this object opened are closed or sent requests: a handle
    // value such as 0, which the drive tables hold for an empty slot, is a
    // valid descriptor on Linux (standard input) but names no drive here.
    bool CloseHandle(Handle handle) override;
    // IOCTL_SCSI_PASS_THROUGH_DIRECT only; every other code fails.
    bool DeviceIoControl(Handle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override;

private:
    std::string DevicePath(char letter) const;
    bool IsOpen(Handle handle);

    std::string deviceDirectory_;
    SgIoCall sgIo_;
    std::mutex mutex_;
    std::set<Handle> open_;
};

// ---------------------------------------------------------------------------
// Version: Windows XP Professional, Service Pack 2, build 2600.
class HostVersion : public IVersion {
public:
    bool GetVersionEx(OsVersionInfo& info) override;
    // The kernel's own name, release and machine ("Linux 6.1.0-18-amd64 x86_64").
    std::string NativeSystemName() override;
};

// ---------------------------------------------------------------------------
// Libraries.

// The Linux name tried after the given one: the file name lower-cased, with
// ".so" in place of a trailing ".dll" (any case); empty when the file name has
// no ".dll" ending or nothing before it.
std::string LinuxLibraryName(const std::string& windowsName);

class HostLibraries : public ILibraryLoader {
public:
    ModuleHandle LoadLibrary(const char* name) override;
    void* GetProcAddress(ModuleHandle module, const char* entry) override;
};

// ---------------------------------------------------------------------------
// Real time: Sleep blocks the thread (0 yields), TickCount is the steady
// clock in milliseconds, Now the local time.
class HostClock : public IClock {
public:
    void Sleep(uint32_t milliseconds) override;
    uint32_t TickCount() override;
    LocalTime Now() override;
};

// ---------------------------------------------------------------------------
// Command line.

// The arguments of /proc/self/cmdline (each one ended by a NUL; a last one
// without its NUL counts as well).
std::vector<std::string> SplitCommandLineFile(const std::string& contents);
// Joins arguments with single blanks; an argument that is empty or holds a
// blank or tab is wrapped in double quotes.
std::string JoinCommandLine(const std::vector<std::string>& arguments);

class HostCommandLine : public ICommandLine {
public:
    explicit HostCommandLine(std::string cmdlinePath = "/proc/self/cmdline");
    std::string GetCommandLine() override;

private:
    std::string cmdlinePath_;
};

// ---------------------------------------------------------------------------
// Language.

inline constexpr uint16_t kLangKorean = 0x412;
inline constexpr uint16_t kLangKoreanNorth = 0x812;
inline constexpr uint16_t kLangEnglishUs = 0x409;

// The first set and non-empty of LC_ALL, LC_MESSAGES and LANG (null for
// unset) decides: "ko_KP..." is 0x812, any other Korean locale ("ko",
// "ko_KR...", "ko.UTF-8", ...) 0x412, everything else 0x409.
uint16_t LanguageIdFromLocale(const char* lcAll, const char* lcMessages, const char* lang);

class HostLanguage : public ILanguage {
public:
    uint16_t GetSystemDefaultLangID() override;
};

// ---------------------------------------------------------------------------
// Processes.

// Lists the processes under a /proc tree: the numeric entries, named by the
// file name of their "exe" link (without a " (deleted)" mark) or, when that
// link cannot be read, by their "comm" file.  Entries with neither are left
// out (the process is gone or hidden).  False when the tree cannot be read.
bool ReadProcessList(const std::string& procRoot, std::vector<ProcessEntry>& processes);

// Process handles are process ids; 0 is the failed open.
class HostProcesses : public IProcesses {
public:
    explicit HostProcesses(std::string procRoot = "/proc");
    bool Snapshot(std::vector<ProcessEntry>& processes) override;
    // A handle when the process exists and may be signalled.
    Handle OpenProcess(uint32_t processId) override;
    // Always "still active" (259): a process that can be opened is running.
    bool GetExitCodeProcess(Handle process, uint32_t& exitCode) override;
    // Sends SIGTERM; the exit code cannot be handed on.
    bool TerminateProcess(Handle process, uint32_t exitCode) override;
    bool CloseHandle(Handle process) override;

private:
    std::string procRoot_;
};

inline constexpr uint32_t STILL_ACTIVE = 259;

// ---------------------------------------------------------------------------
// Security: the token is the effective user; root holds the Administrators
// group, everyone else the Users group (S-1-5-32-545).  The last error is
// kept per thread, as on Windows.
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ALL_ASSIGNED = 1300;
inline constexpr uint32_t ERROR_NO_SUCH_PRIVILEGE = 1313;
inline constexpr uint64_t kShutdownPrivilegeLuid = 19;

Sid UsersSid();

class HostSecurity : public ISecurity {
public:
    explicit HostSecurity(uid_t (*effectiveUser)() = nullptr);
    bool OpenProcessToken(uint32_t desiredAccess, Handle& token) override;
    bool GetTokenGroups(Handle token, std::vector<Sid>& groups) override;
    // "SeShutdownPrivilege" only.
    bool LookupPrivilegeValue(const char* name, uint64_t& luid) override;
    // Succeeds for the shutdown privilege on the token; the last error is then
    // 0 for root and ERROR_NOT_ALL_ASSIGNED for everyone else.
    bool AdjustTokenPrivileges(Handle token, uint64_t luid) override;
    uint32_t GetLastError() override;
    bool CloseHandle(Handle token) override;

private:
    uid_t EffectiveUser() const;
    uid_t (*effectiveUser_)();
};

// ---------------------------------------------------------------------------
// Starting programs.  The argument vector is the program (looked up on PATH)
// and its arguments.
using ProgramRunner = std::function<bool(const std::vector<std::string>& argv)>;

// Runs a program and waits for it; true when it exited with status 0.
bool RunAndWait(const std::vector<std::string>& argv);
// Starts a program and leaves it running on its own (nothing to reap later);
// true when the program was found and started.
bool StartDetached(const std::vector<std::string>& argv);

// Restart: EWX_REBOOT runs `systemctl reboot`; every other flag set fails.
class HostRestart : public IRestart {
public:
    explicit HostRestart(ProgramRunner run = RunAndWait);
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override;

private:
    ProgramRunner run_;
};

// Shell open ("open" or no verb): "Notepad.exe" (any case) opens the
// parameter with xdg-open, any other file is started with the parameter as
// its one argument.  Nothing is waited for.
class HostShell : public IShell {
public:
    explicit HostShell(ProgramRunner start = StartDetached);
    bool ShellExecute(const void* owner, const char* verb, const char* file, const char* parameters,
                      int showCommand) override;

private:
    ProgramRunner start_;
};

// ---------------------------------------------------------------------------
// The empty registry: no key opens.
class HostRegistry : public IRegistry {
public:
    bool RegOpenKeyEx(Handle root, const char* subKey, Handle& key) override;
    bool RegQueryValueEx(Handle key, const char* name, char* data, uint32_t& size) override;
    void RegCloseKey(Handle key) override;
};

// Message boxes until the user-interface layer installs its own: caption and
// text go to the standard error stream, the answer is IDOK.
class StderrMessageBoxes : public IMessageBoxes {
public:
    int MessageBox(const void* owner, const std::string& text, const std::string& caption,
                   uint32_t flags) override;
};

}  // namespace host
}  // namespace platform
