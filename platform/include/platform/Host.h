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
// PassThroughDirect below for the rules).  Why a node could not be opened or
// a command did not reach the drive is said in plain words on stderr.
//
// No ASPI library exists on Linux: the host offers the pass-through path
// only (its version record reports the NT family) and loads no library.
//
// The language id comes from the locale variables, the command line from
// /proc/self/cmdline, the process list from /proc.  The process token holds
// the Administrators group when the process has CAP_SYS_RAWIO, which a
// firmware download needs.  A restart asks the system for a reboot with
// `systemctl reboot` (root only).  There is no registry.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/PassThrough.h"
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

// Where the host says why a drive could not be opened or a command did not
// reach it (one line, without the line break).
using FailureReport = std::function<void(const std::string& line)>;
// Writes the line to the standard error stream.
void ReportOnStderr(const std::string& line);

// ---- the SG_IO translation of a pass-through request ----
//
// The header for a request: data in, data out, or no data for a length of 0
// (whatever direction the record named); sense into request.Sense, at most
// kMaxSenseBytes of the caller's sense room; the time-out in milliseconds,
// held at the largest the driver takes rather than wrapped round.
void BuildSgIoHeader(PassThroughRequest& request, sg_io_hdr& header);

// Takes the reply of the SG_IO call (its result and errno) into the request.
// The command reached the device when the call succeeded and neither the
// host adapter nor the driver reports otherwise (a driver status of "ok" or
// "sense available"; retry suggestions in its upper bits do not count): the
// request then gets the SCSI status, the sense the driver wrote (no more
// than it was given room for) and the residual count, held to 0 ... the
// data length.  Otherwise only request.OsError is set: the call's errno, or
// for an adapter or driver verdict the errno that says it (ENODEV no
// connection or bad target, EBUSY bus busy, ETIMEDOUT time-out, EIO the rest).
void TakeSgIoReply(const sg_io_hdr& header, int callResult, int callErrno,
                   PassThroughRequest& request);
// Both around one SG_IO call on a device descriptor.
void SendSgIo(int fd, PassThroughRequest& request, const SgIoCall& sgIo);

// ---- why a user may not open a node, and what would help ----

enum class NodeAccess { Read, Write };
// A device node as stat(2) shows it.
struct NodeOwnership {
    uint32_t Mode = 0;  // permission bits
    uint32_t Owner = 0;
    uint32_t Group = 0;
    std::string GroupName;  // "" when unknown
};
// The user this process runs as.
struct UserIdentity {
    uint32_t Uid = 0;
    std::vector<uint32_t> Groups;  // the process's groups, primary one included
    // The group database counts the user in the node's group (as a member or
    // by its primary group), whether or not this login has it yet.
    bool ListedInNodeGroup = false;
};
// What would let the user open the node for the access: "add the user to
// group cdrom" only when the node's group may do it and the user is not in
// that group; "log in again" for a user added after this login began; the
// node's mode when no group may do it; and, when the mode already lets the
// user in, that something else (an ACL, a security module) refuses.
std::string AccessAdvice(const NodeOwnership& node, const UserIdentity& user, NodeAccess access);
// The same for a real node and the user of this process; "" when the node
// cannot be looked at.
std::string SystemAccessAdvice(const std::string& path, NodeAccess access);
using AccessAdviceCall = std::function<std::string(const std::string& path, NodeAccess access)>;

// ---- decisions of the drive service, in plain words ----

// "cannot open /dev/sr1: permission denied (add the user to group cdrom)":
// why a device node could not be opened, with the advice (AccessAdvice) in
// parentheses when there is one.
std::string OpenFailureText(const std::string& path, int osError, const std::string& advice);
// Said once when a node is opened read-only because the user may only read it.
std::string ReadOnlyOpenText(const std::string& path, const std::string& advice);
// Why a command did not reach the drive: "/dev/sr0: the kernel refused the
// vendor command (needs root or CAP_SYS_RAWIO)" for a refused vendor
// command (opcode C0h-FFh), the read-only open for another refused command
// on a node opened read-only, for EINVAL on a command with data the likely
// cause (a transfer of `length` bytes larger than the device queue takes),
// the errno in plain words otherwise.
std::string CommandFailureText(const std::string& path, int osError, uint8_t opcode, bool readOnly,
                               uint32_t length = 0);
// Said once for an optional query (platform::OptionalQuery) the kernel does
// not let the user send: the information is not shown, and nothing failed.
std::string OptionalQueryText(const std::string& path, uint8_t opcode);
// A transfer larger than the device takes at once, refused before it is sent.
std::string TransferLimitText(const std::string& path, uint8_t opcode, uint32_t length, uint32_t limit);

// The largest transfer in bytes from a block queue limit file in KiB
// ("128\n"); 0 when the text holds no such number.
uint32_t ParseQueueLimitKiB(const std::string& text);
// A count from a block queue file ("254\n"), held at UINT32_MAX; 0 when
// the text holds no such number.
uint32_t ParseQueueCount(const std::string& text);
// The largest transfer a request with a user buffer can make: no more than
// the queue's sector limit (bytes), and no more pages than its segment limit
// allows, one page kept for a buffer that does not start on a page.  A
// limit of 0 is unknown; 0 when both are.
uint32_t LargestTransfer(uint32_t sectorLimitBytes, uint32_t maxSegments, uint32_t pageBytes);

// Carries out one pass-through-direct request on a device descriptor: the
// record is read and checked by DecodePassThroughDirect (platform/PassThrough.h),
// sent with SG_IO, and the outcome written back by EncodePassThroughDirect.
// Data moves directly between the device and the caller's buffer.  False,
// with `out` untouched, for a refused record (nothing sent) and for a
// request that did not reach the device; `osError`, when given, says why.
bool PassThroughDirect(int fd, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                       uint32_t* bytesReturned, const SgIoCall& sgIo, int* osError = nullptr);

// The open call; returns what open(2) returns (-1 with errno on failure).
using OpenCall = std::function<int(const std::string& path, int flags)>;
int SystemOpen(const std::string& path, int flags);
uint32_t SystemPageBytes();

// What the drive service works on: the real system, or fakes in tests.
struct HostDriveSystem {
    std::string DeviceDirectory = "/dev";
    // Where the block queue limits are read:
    // <BlockDirectory>/srN/queue/max_hw_sectors_kb (else max_sectors_kb)
    // and max_segments.
    std::string BlockDirectory = "/sys/class/block";
    // The size of a page of a user buffer (a segment of the queue).
    uint32_t PageBytes = SystemPageBytes();
    OpenCall Open = SystemOpen;
    SgIoCall SgIo = SystemSgIo;
    FailureReport Report = ReportOnStderr;
    AccessAdviceCall Advice = SystemAccessAdvice;
};

// Drive types, device open and device control over the /dev optical nodes.
class HostDrives : public IDriveType, public IDeviceOpen, public IDeviceControl {
public:
    explicit HostDrives(HostDriveSystem system = {});

    // DRIVE_CDROM for a mapped letter whose device exists ("d:" or "D:"),
    // DRIVE_NO_ROOT_DIR otherwise.
    unsigned GetDriveType(const char* root) override;
    // Opens "\\.\d:" (exactly that form, either case) read-write and
    // non-blocking; a node the user may only read is opened read-only, so
    // the drive can still be listed and read (a command that needs write
    // access then fails with its cause).  Access, share, disposition and
    // flags are not looked at.  A node that cannot be opened is reported
    // with its cause.
    Handle CreateFile(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                      uint32_t flags) override;
    // Only handles this object opened are closed or sent requests: a handle
    // value such as 0, which the drive tables hold for an empty slot, is a
    // valid descriptor on Linux (standard input) but names no drive here.
    bool CloseHandle(Handle handle) override;
    // IOCTL_SCSI_PASS_THROUGH_DIRECT only; every other code fails.  A
    // transfer larger than the device's block queue takes at once is refused
    // before it reaches the kernel.  A request that does not reach the drive
    // is reported with its cause; the same line is not repeated while the
    // same failure repeats (retries, polls).  An optional query the kernel
    // does not let the user send is said once, as information not shown.
    bool DeviceIoControl(Handle device, uint32_t code, void* in, uint32_t inSize, void* out,
                         uint32_t outSize, uint32_t* bytesReturned) override;

private:
    struct OpenNode {
        std::string Path;
        bool ReadOnly = false;
        uint32_t MaxTransfer = 0;  // bytes; 0 when the limit is unknown
    };

    std::string DevicePath(char letter) const;
    bool FindOpen(Handle handle, OpenNode& node);
    uint32_t ReadTransferLimit(const std::string& deviceName) const;
    void Report(const std::string& line);
    // Reports a line only the first time it comes.
    void ReportOnce(const std::string& line);

    HostDriveSystem system_;
    std::mutex mutex_;
    std::map<Handle, OpenNode> open_;
    std::string lastReport_;
    std::set<std::string> saidOnce_;
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
// Libraries: the only library the programs load is the ASPI library, which
// does not exist on Linux; the host reports the NT family, so nothing asks
// for it.  Every load finds nothing.
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


// ---------------------------------------------------------------------------
// Security.  The token is the process: it holds the Administrators group
// when the process may do what the download needs - send vendor commands
// and WRITE BUFFER, which the kernel allows only with CAP_SYS_RAWIO in the
// effective set (root normally has it, a container's root may not) - and the
// Users group (S-1-5-32-545) otherwise.  The last error is kept per thread,
// as on Windows.

// The capability that lets SG_IO send any command.
inline constexpr unsigned kCapSysRawio = 17;

// The effective capability set from the text of /proc/<pid>/status (its
// "CapEff:" line, hexadecimal).  False when there is no readable such line.
bool ParseEffectiveCapabilities(const std::string& status, uint64_t& capabilities);

class HostSecurity : public ISecurity {
public:
    explicit HostSecurity(uid_t (*effectiveUser)() = nullptr,
                          std::string statusPath = "/proc/self/status");
    bool OpenProcessToken(uint32_t desiredAccess, Handle& token) override;
    // False (the list untouched) when the process status cannot be read.
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
    std::string statusPath_;
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
