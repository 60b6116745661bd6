// A simulated Windows machine: every platform service of platform/Services.h,
// with simulated drives on drive letters (reached by pass-through) or on ASPI
// host adapters and targets (reached through a simulated WNASPI32.DLL).
//
// Tests build one in code; programs load one from a text description whose
// path the environment variable SIMULATED_MACHINE names (see
// SimMachineFile.h and the README).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"
#include "simdrive/SimDrive.h"

namespace sim {

// A clock whose time moves only when slept on or advanced: a 7-second wait
// costs no real time.  Thread-safe.
class VirtualClock : public platform::IClock {
public:
    explicit VirtualClock(uint32_t startTick = 1000);
    void Sleep(uint32_t milliseconds) override;
    uint32_t TickCount() override;
    platform::LocalTime Now() override;
    bool IsVirtual() const override { return true; }
    void Advance(uint32_t milliseconds) override;
    // Every TickCount() read moves the clock on by this much (0: off); lets a
    // loop that polls the clock without sleeping reach its bound.
    void SetAdvancePerRead(uint32_t milliseconds);
    void SetLocalTime(const platform::LocalTime& t);  // date/time at tick 0 offset
    uint64_t TotalSleptMs() const;                    // sum of all Sleep() calls

private:
    struct State;
    std::shared_ptr<State> state_;
};

struct SimProcess {
    uint32_t ProcessId = 0;
    std::string ExeFile;
    bool CanOpen = true;          // OpenProcess succeeds
    bool Running = true;          // false once terminated
    uint32_t TerminatedWith = 0;  // exit code passed to TerminateProcess
};

struct AspiLibraryConfig {
    bool Present = false;         // "WNASPI32.DLL" can be loaded
    bool HasSendEntry = true;
    bool HasSupportEntry = true;
    // GetASPI32SupportInfo's answer; when unset: status SS_COMP (1) in bits
    // 8-15 and the number of host adapters in bits 0-7.
    std::optional<uint32_t> SupportWord;
    uint8_t HostAdapters = 1;     // adapters answered when SupportWord is unset
    // Requests never complete (SRB_Status stays 0): for the sender's bound.
    bool NeverCompletes = false;
};

struct RestartRequest {
    uint32_t Flags = 0;
    uint32_t Reason = 0;
    bool Accepted = false;
};

struct ShownMessageBox {
    const void* Owner = nullptr;
    std::string Text;
    std::string Caption;
    uint32_t Flags = 0;
};

class SimMachine {
public:
    SimMachine();
    ~SimMachine();
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    // ---- configuration -------------------------------------------------
    // Windows NT family (pass-through) or 95/98/ME (ASPI).
    void SetNtFamily(uint32_t major = 5, uint32_t minor = 1, uint32_t build = 2600,
                     const std::string& servicePack = "Service Pack 2");
    void Set9xFamily(uint32_t major = 4, uint32_t minor = 10, uint32_t build = 2222,
                     const std::string& servicePack = " A ");
    platform::OsVersionInfo& VersionRecord();   // the full record answered
    bool PlainQueryFails = false;
    bool ExtendedQueryFails = false;

    uint16_t LanguageId = 0x409;
    std::string CommandLine = "Pelmora.exe";
    bool Administrator = true;
    bool TokenOpens = true;          // OpenProcessToken succeeds
    bool TokenGroupsReadable = true; // GetTokenGroups succeeds
    bool PrivilegeAdjustFails = false;  // GetLastError non-zero after the adjustment
    bool RestartAccepted = true;
    std::vector<SimProcess> Processes;
    bool SnapshotFails = false;
    AspiLibraryConfig Aspi;
    // HKLM registry: key path -> value name -> value bytes.
    std::map<std::string, std::map<std::string, std::string>> Registry;

    // Drive letters whose type is reported but that hold no device ("c:" as a
    // fixed disk, or a CD letter whose open fails).
    void SetLetterType(char letter, unsigned driveType);
    void SetLetterOpenFails(char letter, bool fails);

    // A drive attached where one already is replaces it.
    SimDrive& AttachDriveAtLetter(char letter, const DriveConfig& config = {});
    SimDrive& AttachDriveAtAspi(uint8_t adapter, uint8_t target, const DriveConfig& config = {});
    SimDrive* DriveAtLetter(char letter);
    SimDrive* DriveAtAspi(uint8_t adapter, uint8_t target);

    // How the programs' own windows behave on this machine: answered at once
    // and echoed to stderr (true, headless runs) or shown for a person to
    // answer.  The message-box service of this machine always records and
    // answers at once; a user-interface layer that shows real windows
    // replaces it when UiAuto is false.
    bool UiAuto = true;
    // A script the program follows at its windows in a headless run (the
    // program's own format), or empty.
    std::string UiScript;
    // The services and the drives run on the real clock instead of the
    // virtual one (Clock() still answers the virtual clock, which then stays
    // unused).
    bool RealClock = false;

    // Called when a restart is accepted (the simulated system ends the
    // running program from here; see platform_ui).
    void OnRestartAccepted(std::function<void()> callback);

    // ---- what happened --------------------------------------------------
    VirtualClock& Clock();
    const std::vector<RestartRequest>& RestartRequests() const;
    const std::vector<ShownMessageBox>& MessageBoxes() const;
    // Answers of the next message boxes, in order; IDOK when none is queued.
    void QueueMessageBoxAnswer(int answer);
    struct ShellCall { std::string Verb, File, Parameters; int Show; };
    const std::vector<ShellCall>& ShellCalls() const;

    // The drives attached, drive letters first (a to z), then ASPI adapters
    // and targets in order.
    struct AttachedDrive {
        std::optional<char> Letter;  // set for a drive at a letter (lower case)
        uint8_t Adapter = 0;         // ASPI host adapter and target otherwise
        uint8_t Target = 0;
        SimDrive* Drive = nullptr;
    };
    std::vector<AttachedDrive> Drives();

    // Keeps the drives' firmware in a state file between runs: loads every
    // attached drive's firmware from its record in the file (when the file
    // exists), then rewrites the whole file after every firmware change, by
    // way of a temporary file and a rename.  Records of drives this machine
    // does not have are kept as they are.  Call it after attaching the
    // drives.  False, with the reason, when the file cannot be read or is
    // malformed; nothing is loaded then.
    bool UseStateFile(const std::string& path, std::string& error);
    const std::string& StateFile() const;

    // The clock the services and the drives use: the virtual clock, or the
    // real one when RealClock is set.
    platform::IClock& ActiveClock();

    // The services of this machine.
    platform::Services Services();
    // Installs this machine as the current platform (and as the target of the
    // simulated ASPI library's entries).  Uninstalls on destruction.
    void Install();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
