#include "download/Fwlib.h"

#include <cstring>

#include "download/Atapilib.h"
#include "drive/Enumeration.h"
#include "drive/Mmc.h"
#include "platform/Win.h"

TFwLib FwLib;
TSysFun SysFun;

namespace {

constexpr int kDiscCheckTries = 5;
constexpr uint32_t kDiscCheckPauseMs = 100;
constexpr uint32_t kAfterKillWaitMs = 7000;

bool SameUpperCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && UpperCased(a) == UpperCased(b);
}

}  // namespace

// ---------------------------------------------------------------------------
// TFwLib

platform::Handle TFwLib::OpenCdDrive(const char* root) { return drive::OpenCdDrive(root); }

uint8_t TFwLib::ApplyBootRewriteOption(uint8_t slot, OptionFlags options) {
    uint8_t reply[kVendorReplyLength] = {};
    return AtapiLib.SetDownloadMode(slot, (options & OptBootRewrite) != 0 ? 1 : 0, reply);
}

DownloadState TFwLib::CheckDiscLoaded(uint8_t slot, DownloadState state) {
    for (int attempt = 0; attempt < kDiscCheckTries; ++attempt) {
        uint8_t scratch[512] = {};
        if (drive::TestUnitReadyWithoutData(slot, scratch) == drive::kStatusGood)
            return StateDiscPresent;
        win::Sleep(kDiscCheckPauseMs);
    }
    return state;
}

bool TFwLib::IsBootCode(const char* revision) {
    for (const char* boot : {"BOOT", "B1.0", "0.99"})
        if (std::memcmp(revision, boot, kRevisionLength) == 0) return true;
    return false;
}

DownloadState TFwLib::CheckFirmwareFile(OptionFlags options, FirmwareIdentity driveIdentity,
                                        FirmwareIdentity fileIdentity, uint8_t codeFromQuery,
                                        uint8_t bootCode) {
    if ((options & OptNoCheck) != 0) return StateOk;
    if ((options & (OptForceSuffix | OptForceNonSuffix)) == 0 && (options & OptFcMarker) != 0 &&
        std::memcmp(driveIdentity.FcCode, fileIdentity.FcCode, sizeof driveIdentity.FcCode) != 0)
        return StateFcCodeMismatch;
    if (std::memcmp(driveIdentity.Model, fileIdentity.Model, kModelLength) != 0)
        return StateModelMismatch;
    if ((options & OptCompareCode) != 0 && bootCode == 0 &&
        std::memcmp(driveIdentity.Code, fileIdentity.Code, kCodeLength) != 0)
        return StateCodeMismatch;
    if (bootCode == 0) {
        // The first revision character is never compared; with a code from
        // the identity query only the last two are.  memcmp compares as
        // unsigned bytes, the first difference deciding.
        const std::size_t from = codeFromQuery != 0 ? 2 : 1;
        if (std::memcmp(driveIdentity.Revision + from, fileIdentity.Revision + from,
                        kRevisionLength - from) > 0)
            return StateOldVersion;
    }
    return StateOk;
}

// ---------------------------------------------------------------------------
// TSysFun

bool TSysFun::IsKoreanLocale() {
    const uint16_t language = win::GetSystemDefaultLangID();
    return language == platform::kLangKorean || language == platform::kLangKoreanNorth;
}

bool TSysFun::IsWindowsNT() {
    platform::OsVersionInfo version{};
    version.OSVersionInfoSize = platform::kPlainVersionRecordSize;
    if (!win::GetVersionExA(&version)) return false;
    return version.PlatformId == platform::VER_PLATFORM_WIN32_NT;
}

int TSysFun::KillProcess(const std::string& name) {
    platform::IProcesses& processes = *platform::Current().Processes;
    std::vector<platform::ProcessEntry> list;
    if (!processes.Snapshot(list)) return 0;
    for (const platform::ProcessEntry& entry : list) {
        if (!SameUpperCase(entry.ExeFile, name)) continue;
        const platform::Handle process = processes.OpenProcess(entry.ProcessId);
        if (process == 0) return 0;
        uint32_t exitCode = 0;
        processes.GetExitCodeProcess(process, exitCode);
        processes.TerminateProcess(process, exitCode);
        processes.CloseHandle(process);
        win::Sleep(kAfterKillWaitMs);
        return 1;
    }
    return 0;
}

int TSysFun::RebootSystem() {
    if (IsWindowsNT()) {
        platform::ISecurity& security = *platform::Current().Security;
        platform::Handle token = 0;
        if (!security.OpenProcessToken(platform::TOKEN_ADJUST_PRIVILEGES | platform::TOKEN_QUERY,
                                       token))
            return 0;
        // A name that cannot be looked up leaves nothing to enable: refused,
        // as the adjustment of an unknown privilege would be.  Whether the
        // privilege was assigned is read from the last error, not from the
        // adjustment's own result.
        uint64_t luid = 0;
        bool enabled = false;
        if (security.LookupPrivilegeValue("SeShutdownPrivilege", luid)) {
            security.AdjustTokenPrivileges(token, luid);
            enabled = security.GetLastError() == 0;
        }
        security.CloseHandle(token);
        if (!enabled) return 0;
    }
    return platform::Current().Restart->ExitWindowsEx(platform::EWX_REBOOT, 0) ? 1 : 0;
}

bool HasDownloadAuthority() {
    if (!SysFun.IsWindowsNT()) return true;
    return platform::ProcessTokenHasAdministrators(*platform::Current().Security);
}
