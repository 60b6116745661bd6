// The download program's helpers: device open, boot-rewrite option, the disc
// check before a download, the compatibility verdict (TFwLib), and its
// dealings with the operating system apart from the drives (TSysFun).
#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadTypes.h"
#include "platform/Services.h"

// The functions keep no state and do not use the object; FwLib is the one
// instance the program calls them through.
class TFwLib {
public:
    // The device handle of a two-character root ("d:") that is a CD-ROM
    // drive, opened for reading and writing; otherwise the invalid handle.
    platform::Handle OpenCdDrive(const char* root);

    // Download-mode command with byte 5 = 1 when OptBootRewrite is set, else
    // 0; the command's status.
    uint8_t ApplyBootRewriteOption(uint8_t slot, OptionFlags options);

    // Up to five TEST UNIT READY, 100 ms apart: StateDiscPresent as soon as
    // one succeeds, otherwise the given state unchanged.
    DownloadState CheckDiscLoaded(uint8_t slot, DownloadState state);

    // True for the boot-code revisions "BOOT", "B1.0" and "0.99" (the first
    // four characters of revision, compared exactly).
    bool IsBootCode(const char* revision);

    // Whether the file may go to the drive: StateOk, StateCodeMismatch,
    // StateModelMismatch, StateOldVersion or StateFcCodeMismatch.  The first
    // matching rule wins: no-check, FC code, model, code, revision.
    DownloadState CheckFirmwareFile(OptionFlags options, FirmwareIdentity driveIdentity,
                                    FirmwareIdentity fileIdentity, uint8_t codeFromQuery,
                                    uint8_t bootCode);
};

class TSysFun {
public:
    // System default language Korean (0x412 or 0x812).
    bool IsKoreanLocale();
    bool IsWindowsNT();
    // Ends the first running process whose executable name equals name
    // (case-insensitively), then waits 7 seconds: 1.  Nothing ended: 0.
    int KillProcess(const std::string& name);
    // Asks Windows to restart (on NT after enabling the shutdown privilege);
    // non-zero when the request was accepted.
    int RebootSystem();
};

extern TFwLib FwLib;
extern TSysFun SysFun;

// Whether the user may download: always on 95/98/ME; on the NT family only
// when the process token lists the Administrators group.  A token or group
// list that cannot be read counts as not an administrator.
bool HasDownloadAuthority();

// Programs known to interfere with a firmware download, ended in this order
// before each download.
inline constexpr const char* kInterferingPrograms[] = {"directcd.exe", "HPAdvisor.exe"};
