#include "diagnostic/ScreenItems.h"

const std::array<uint16_t, kScreenItemCount> kScreenItemCodes = {
    0x0801, 0x0802, 0x0804, 0x1001, 0x1102, 0x1104, 0x110A, 0x110C, 0x1202, 0x1204, 0x120A,
    0x120C, 0x1010, 0x2101, 0x2102, 0x2104, 0x210A, 0x210C, 0x2010, 0x4201, 0x4202, 0x4204};

namespace {

// Default flag pairs (table A, table B) by record.
struct DefaultPair {
    uint8_t A0, A1, B0, B1;
};

DefaultPair DefaultOf(int record) {
    switch (record) {
        case 0: case 1: case 3: case 4: case 5: case 8: case 9:  // CD-ROM, CD-R, DVD-ROM, DVD-R, DVD-RW, DVD+R, DVD+RW
            return {1, 1, 1, 1};
        case 2: case 6: case 10: case 12:  // CD-RW, DVD-R DL, DVD+R DL, DVD-RAM
            return {1, 1, 1, 0};
        default:  // the double-layer rewritables, HD DVD and BD
            return {0, 0, 0, 0};
    }
}

}  // namespace

void SetDefaultScreenItems(TestDriveEntry& entry) {
    entry.Mode = kModeScreen;
    for (int i = 0; i < kScreenItemCount; ++i) {
        const DefaultPair pair = DefaultOf(i);
        entry.TableA[i] = {pair.A0, pair.A1, kScreenItemCodes[i]};
        entry.TableB[i] = {pair.B0, pair.B1, kScreenItemCodes[i]};
    }
}
