// The unit's routines on graphics handles: the web palette, the handle
// check, and colour maps to and from palettes and DIB colour tables.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace gif;
using namespace giftest;

namespace {

// A colour map that counts its change notifications.
class CountingMap : public TGIFColorMap {
public:
    void Changed() override { ++changes; }
    int changes = 0;
};


}  // namespace

TEST(PaletteHandles, WebPaletteHandle) {
    const HPALETTE palette = WebPalette();
    ASSERT_NE(palette, 0u);
    TPaletteEntry entries[256]{};
    ASSERT_EQ(gdi::GetPaletteEntries(palette, 0, 256, entries), 216u);
    EXPECT_EQ(entries[215], (TPaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(entries[1], (TPaletteEntry{0, 0, 51, 0}));
    EXPECT_EQ(entries[36 * 2 + 6 * 3 + 4], (TPaletteEntry{102, 153, 204, 0}));
    EXPECT_TRUE(gdi::DeleteObject(palette));
}

TEST(PaletteHandles, CheckGDIHandleRaisesWithTheSystemsText) {
    EXPECT_EQ(CheckGDIHandle(0x1234), 0x1234u);
    struct Case {
        uint32_t lastError;
        std::string text;
    };
    const Case cases[] = {
        {gdi::ERROR_NOT_ENOUGH_MEMORY, gdi::FormatMessageText(gdi::ERROR_NOT_ENOUGH_MEMORY)},
        {0, "Out of system resources"},
        {99999, "Out of system resources"},  // a code without a text
    };
    for (const Case& c : cases) {
        gdi::SetLastError(c.lastError);
        try {
            CheckGDIHandle(0);
            ADD_FAILURE() << "no exception";
        } catch (const rtl::EOutOfResources& e) {
            EXPECT_EQ(e.Message(), c.text);
        }
    }
    // A real failure: a bitmap of impossible size.
    try {
        CheckGDIHandle(gdi::CreateBitmap(1 << 30, 1 << 30, 1, 1, nullptr));
        ADD_FAILURE() << "no exception";
    } catch (const rtl::EOutOfResources& e) {
        EXPECT_EQ(e.Message(), gdi::FormatMessageText(gdi::ERROR_NOT_ENOUGH_MEMORY));
    }
}

TEST(PaletteHandles, ImportAndExportPalettes) {
    CountingMap map;
    const HPALETTE palette = PaletteOf({{1, 2, 3, 0}, {250, 251, 252, gdi::PC_NOCOLLAPSE}, {7, 8, 9, 1}});
    map.ImportPalette(palette);
    gdi::DeleteObject(palette);
    ASSERT_EQ(map.GetCount(), 3);
    EXPECT_EQ(map.GetEntry(1), (TGIFColor{250, 251, 252}));
    EXPECT_EQ(map.GetCapacity(), 16);
    EXPECT_EQ(map.changes, 1);

    const HPALETTE exported = map.ExportPalette();
    TPaletteEntry entries[4]{};
    ASSERT_EQ(gdi::GetPaletteEntries(exported, 0, 4, entries), 3u);
    EXPECT_EQ(entries[0], (TPaletteEntry{1, 2, 3, gdi::PC_NOCOLLAPSE}));
    EXPECT_EQ(entries[2], (TPaletteEntry{7, 8, 9, gdi::PC_NOCOLLAPSE}));
    gdi::DeleteObject(exported);

    // An empty palette, or no palette at all, leaves an empty map and signals nothing.
    const HPALETTE empty = PaletteOf({});
    for (HPALETTE p : {empty, HPALETTE{0}}) {
        CountingMap other;
        other.ImportPalette(p);
        EXPECT_EQ(other.GetCount(), 0);
        EXPECT_EQ(other.changes, 0);
        EXPECT_EQ(other.ExportPalette(), 0u);
    }
    gdi::DeleteObject(empty);
}

TEST(PaletteHandles, ImportDIBColorsReadsTheSelectedSectionsTable) {
    gdi::BITMAPINFO info;
    info.bmiHeader = {40, 2, 2, 1, 8, gdi::BI_RGB, 0, 0, 0, 3, 0};
    info.bmiColors[0] = {10, 20, 30, 0};  // blue, green, red
    info.bmiColors[2] = {1, 2, 3, 0};
    void* bits = nullptr;
    const HBITMAP section = gdi::CreateDIBSection(0, &info, gdi::DIB_RGB_COLORS, &bits);
    const gdi::HDC dc = gdi::CreateCompatibleDC(0);
    const gdi::HGDIOBJ old = gdi::SelectObject(dc, section);
    CountingMap map;
    map.ImportDIBColors(dc);
    ASSERT_EQ(map.GetCount(), 3);
    EXPECT_EQ(map.GetEntry(0), (TGIFColor{30, 20, 10}));
    EXPECT_EQ(map.GetEntry(2), (TGIFColor{3, 2, 1}));
    EXPECT_EQ(map.changes, 2);  // the import's own, then once more
    gdi::SelectObject(dc, old);
    // A context without a DIB section gives no colours.
    CountingMap none;
    none.ImportDIBColors(dc);
    EXPECT_EQ(none.GetCount(), 0);
    gdi::DeleteDC(dc);
    gdi::DeleteObject(section);
}
