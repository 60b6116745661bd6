// The test window's drive table and every drive's screen items: per drive a
// mode and two tables of one flag pair per disc type, which say which media a
// screening test of that drive covers.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int kScreenItemCount = 22;
inline constexpr int kMaxTestDrives = 26;
inline constexpr int kTestDriveNameSize = 40;

// Screen-item modes.
inline constexpr int32_t kModeNormal = 1;
inline constexpr int32_t kModeScreen = 2;

struct ScreenItemRecord {
    uint8_t Flag0 = 0;
    uint8_t Flag1 = 0;
    uint16_t Code = 0;  // the disc type code of the medium
};

using ScreenItemTable = std::array<ScreenItemRecord, kScreenItemCount>;

// The disc type codes of the table, in the order of the disc type names
// (CD-ROM first, BD-RE last).
extern const std::array<uint16_t, kScreenItemCount> kScreenItemCodes;

struct TestDriveEntry {
    char Name[kTestDriveNameSize] = {};  // the drive's name cell, NUL-terminated
    uint8_t Slot = 0;                    // the drive slot every command takes
    int32_t Mode = 0;                    // 0 until the screen items are set
    ScreenItemTable TableA{};            // normal
    ScreenItemTable TableB{};            // screen
};

struct TestDriveTable {
    std::array<TestDriveEntry, kMaxTestDrives> Entries{};
    int Count = 0;
    int Selected = 0;  // the drive list's item index
};

// Mode "screen", every code, and the default flag pairs of both tables.
void SetDefaultScreenItems(TestDriveEntry& entry);

// The screen-item dialog's eleven check boxes, in dialog order, and the
// record of table B each one stands for.
inline constexpr std::array<int, 11> kScreenCheckRecords = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10, 12};
