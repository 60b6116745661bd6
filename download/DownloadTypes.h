// Records shared by the download program's units: the option word, the
// identity compared between a drive and a firmware file, the state codes and
// the 48-byte trailer at the end of a firmware file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------
// Option word.
using OptionFlags = uint16_t;

inline constexpr OptionFlags OptNoCheck = 0x01;         // every verdict is "fits"
inline constexpr OptionFlags OptLive = 0x02;            // unattended test mode, log in the work dir
inline constexpr OptionFlags OptTest = 0x04;            // unattended test mode, log in C:\FLASHTEST
inline constexpr OptionFlags OptFcMarker = 0x08;        // the file carries "FC" and an FC code
inline constexpr OptionFlags OptBootRewrite = 0x10;     // rewrite the boot area with the download
inline constexpr OptionFlags OptBootImage = 0x20;       // the file is a 65,536-byte boot image
inline constexpr OptionFlags OptCompareCode = 0x40;     // the three-character code must match
inline constexpr OptionFlags OptForceSuffix = 0x80;     // suffix firmware onto a non-suffix drive
inline constexpr OptionFlags OptForceNonSuffix = 0x100; // non-suffix firmware onto a suffix drive

// The unattended test modes.
inline constexpr OptionFlags OptTestModes = OptLive | OptTest;
// The bits a firmware file open recomputes; the others belong to the user.
inline constexpr OptionFlags OptFileBits = OptFcMarker | OptBootImage | OptCompareCode;

// ---------------------------------------------------------------------------
// Identity of a drive or of a firmware file.  Zero-initialised, so that every
// byte no routine writes serves as a text terminator.
struct FirmwareIdentity {
    char Model[25] = {};     // vendor (8) and product (16)
    char Revision[5] = {};   // 4 characters
    char Code[4] = {};       // 3 characters, upper-cased
    uint8_t FcCode[2] = {};
};

inline constexpr std::size_t kModelLength = 24;
inline constexpr std::size_t kRevisionLength = 4;
inline constexpr std::size_t kCodeLength = 3;

// Upper-cases the letters a-z of a text field in place; other bytes (blanks,
// digits, Korean code-page bytes) are left alone, whatever the locale.
inline void UpperCaseAscii(char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
}

inline std::string UpperCased(std::string text) {
    UpperCaseAscii(text.data(), text.size());
    return text;
}

// ---------------------------------------------------------------------------
// State codes: the verdict on a file, and every other outcome of a download.
// 2, 3 and 11 are not used.
enum DownloadState : int {
    StateOk = 1,                 // the file fits the drive; after a download: success
    StateDiscPresent = 4,        // a disc answered TEST UNIT READY
    StateNoCompatibleDrive = 5,  // unattended open done, no drive judged yet
    StateNoDrive = 6,            // no drive, or the user is not an administrator
    StateCodeMismatch = 7,
    StateModelMismatch = 8,
    StateFileNotOpened = 9,      // the file could not be opened or is unusable
    StateOldVersion = 10,        // the drive's revision is newer than the file's
    StateFcCodeMismatch = 12,
    StateNoFile = 13,            // download asked for with no usable file, or the thread could not open it
    StateFlashCmdFail = 14,
    StateDownloadFail = 15,
};

// ---------------------------------------------------------------------------
// The 48-byte trailer of a firmware file.  Text fields carry no terminator.
struct FirmwareTrailer {
    char Model[24];          // INQUIRY vendor and product, blank-padded
    char Revision[4];
    uint8_t ChunkKiB;        // chunk size in KiB
    uint8_t ChunkCount;
    uint8_t Type;            // 4: the three-character code must match
    uint8_t Unused31;
    char Code[3];
    uint8_t Unused35[7];
    char Marker[2];          // "FC" when the image carries an FC code
    uint8_t FcCode[2];
    uint8_t Unused46[2];

    bool HasFcMarker() const { return Marker[0] == 'F' && Marker[1] == 'C'; }
    bool ComparesCode() const { return Type == 4; }
};

inline constexpr std::size_t kTrailerSize = 48;
static_assert(sizeof(FirmwareTrailer) == kTrailerSize);
static_assert(offsetof(FirmwareTrailer, Revision) == 24);
static_assert(offsetof(FirmwareTrailer, ChunkKiB) == 28);
static_assert(offsetof(FirmwareTrailer, ChunkCount) == 29);
static_assert(offsetof(FirmwareTrailer, Type) == 30);
static_assert(offsetof(FirmwareTrailer, Code) == 32);
static_assert(offsetof(FirmwareTrailer, Marker) == 42);
static_assert(offsetof(FirmwareTrailer, FcCode) == 44);
