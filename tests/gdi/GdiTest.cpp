// The graphics stand-in: raster operations, colour conversions between
// monochrome and colour, masks, stretching, palettes and handle rules.
#include <gtest/gtest.h>

#include <vector>

#include "gdi/Gdi.h"

using namespace gdi;

namespace {

// A memory context holding a new DIB section of the given depth.
struct Surface {
    Surface(int width, int height, int bits, std::vector<RGBQUAD> colors = {}) {
        BITMAPINFO info;
        info.bmiHeader = {40, width, -height, 1, static_cast<uint16_t>(bits), BI_RGB, 0, 0, 0, 0, 0};
        for (size_t i = 0; i < colors.size(); ++i) info.bmiColors[i] = colors[i];
        info.bmiHeader.biClrUsed = static_cast<uint32_t>(colors.size());
        bitmap = CreateDIBSection(0, &info, DIB_RGB_COLORS, &bits_);
        dc = CreateCompatibleDC(0);
        old = SelectObject(dc, bitmap);
    }
    // A monochrome device bitmap with the rows given as 0/1 values.
    explicit Surface(const std::vector<std::vector<int>>& rows) {
        const int h = static_cast<int>(rows.size()), w = static_cast<int>(rows[0].size());
        std::vector<uint8_t> bits(static_cast<size_t>((w + 15) / 16 * 2 * h), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (rows[static_cast<size_t>(y)][static_cast<size_t>(x)])
                    bits[static_cast<size_t>(y * ((w + 15) / 16 * 2) + x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
        bitmap = CreateBitmap(w, h, 1, 1, bits.data());
        dc = CreateCompatibleDC(0);
        old = SelectObject(dc, bitmap);
    }
    ~Surface() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    void Fill(std::initializer_list<COLORREF> colors) {
        int i = 0;
        BITMAP bm{};
        GetObject(bitmap, &bm);
        for (COLORREF c : colors) {
            SetPixel(dc, i % bm.bmWidth, i / bm.bmWidth, c);
            ++i;
        }
    }
    std::vector<COLORREF> Pixels() {
        BITMAP bm{};
        GetObject(bitmap, &bm);
        std::vector<COLORREF> result;
        for (int y = 0; y < bm.bmHeight; ++y)
            for (int x = 0; x < bm.bmWidth; ++x) result.push_back(GetPixel(dc, x, y));
        return result;
    }
    HBITMAP bitmap = 0;
    HDC dc = 0;
    HGDIOBJ old = 0;
    void* bits_ = nullptr;
};

constexpr COLORREF A = 0x00F0A50F, B = 0x003C5AC3, C = 0x00FFFFFF, D = 0x00000000;

}  // namespace

TEST(GdiRasterOps, TruthTablesOnColourPixels) {
    struct Case {
        uint32_t rop;
        std::vector<COLORREF> expected;
    };
    const std::vector<COLORREF> src{A, B, C, D}, dst{B, A, D, C};
    const std::vector<Case> cases{
        {SRCCOPY, {A, B, C, D}},
        {SRCAND, {A & B, B & A, 0, 0}},
        {SRCPAINT, {A | B, B | A, C, C}},
        {SRCINVERT, {A ^ B, B ^ A, C, C}},
        {NOTSRCCOPY, {~A & 0xFFFFFF, ~B & 0xFFFFFF, 0, C}},
        {0x00AA0029, {B, A, D, C}},
        {BLACKNESS, {0, 0, 0, 0}},
        {WHITENESS, {C, C, C, C}},
        {DSTINVERT, {~B & 0xFFFFFF, ~A & 0xFFFFFF, C, 0}},
    };
    for (const Case& c : cases) {
        Surface s(2, 2, 24), d(2, 2, 24);
        s.Fill({src[0], src[1], src[2], src[3]});
        d.Fill({dst[0], dst[1], dst[2], dst[3]});
        ASSERT_TRUE(BitBlt(d.dc, 0, 0, 2, 2, s.dc, 0, 0, c.rop));
        EXPECT_EQ(d.Pixels(), c.expected) << std::hex << c.rop;
    }
}

TEST(GdiRasterOps, MonochromeMeetsColourThroughTextAndBackgroundColours) {
    Surface mono({{0, 1}, {1, 0}});
    Surface colour(2, 2, 24);
    SetTextColor(colour.dc, 0x112233);
    SetBkColor(colour.dc, 0x445566);
    ASSERT_TRUE(BitBlt(colour.dc, 0, 0, 2, 2, mono.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(colour.Pixels(), (std::vector<COLORREF>{0x112233, 0x445566, 0x445566, 0x112233}));

    // Colour onto monochrome: 1 where the source equals the source's background colour.
    Surface picture(2, 2, 32);
    picture.Fill({0x0000FF, 0x00FF00, 0x00FF00, 0xFFFFFF});
    SetBkColor(picture.dc, 0x00FF00);
    Surface target({{1, 1}, {1, 1}});
    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 2, 2, picture.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(target.Pixels(), (std::vector<COLORREF>{0, C, C, 0}));
    // An inverting copy gives the inverted mask.
    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 2, 2, picture.dc, 0, 0, NOTSRCCOPY));
    EXPECT_EQ(target.Pixels(), (std::vector<COLORREF>{C, 0, 0, C}));
}

TEST(GdiRasterOps, MaskBltKeepsTheDestinationWhereTheMaskIsSet) {
    Surface s(2, 2, 24), d(2, 2, 24);
    s.Fill({A, A, A, A});
    d.Fill({B, B, B, B});
    Surface mask({{1, 0}, {0, 1}});
    const HBITMAP maskBitmap = mask.bitmap;
    SelectObject(mask.dc, mask.old);  // a mask is used outside any context
    ASSERT_TRUE(MaskBlt(d.dc, 0, 0, 2, 2, s.dc, 0, 0, maskBitmap, 0, 0, MAKEROP4(0x00AA0029, SRCCOPY)));
    EXPECT_EQ(d.Pixels(), (std::vector<COLORREF>{B, A, A, B}));
    mask.old = SelectObject(mask.dc, maskBitmap);
}

TEST(GdiRasterOps, StretchBltTakesTheNearestSourcePixelAndClipsAtTheEdges) {
    Surface s(2, 1, 24), d(4, 2, 24);
    s.Fill({A, B});
    ASSERT_TRUE(StretchBlt(d.dc, 0, 0, 4, 2, s.dc, 0, 0, 2, 1, SRCCOPY));
    EXPECT_EQ(d.Pixels(), (std::vector<COLORREF>{A, A, B, B, A, A, B, B}));
    // Shrinking; a target partly outside the destination.
    Surface small(3, 1, 24);
    small.Fill({D, D, D});
    ASSERT_TRUE(StretchBlt(small.dc, 1, 0, 4, 1, d.dc, 0, 0, 4, 2, SRCCOPY));
    EXPECT_EQ(small.Pixels(), (std::vector<COLORREF>{D, A, A}));
    EXPECT_FALSE(StretchBlt(small.dc, 0, 0, 0, 1, d.dc, 0, 0, 4, 2, SRCCOPY));
}

TEST(GdiRasterOps, IndexedDestinationStoresTheNearestEntry) {
    const std::vector<RGBQUAD> table{{0, 0, 0, 0}, {0, 0, 250, 0}, {250, 250, 250, 0}};
    Surface d(3, 1, 8, table);
    Surface s(3, 1, 24);
    s.Fill({RGB(200, 10, 10), RGB(90, 90, 90), RGB(255, 255, 255)});
    ASSERT_TRUE(BitBlt(d.dc, 0, 0, 3, 1, s.dc, 0, 0, SRCCOPY));
    const auto* row = static_cast<const uint8_t*>(d.bits_);
    EXPECT_EQ(row[0], 1);
    EXPECT_EQ(row[1], 0);
    EXPECT_EQ(row[2], 2);
    // Same table: indexes are copied as they are, even between equal colours.
    const std::vector<RGBQUAD> twins{{1, 2, 3, 0}, {1, 2, 3, 0}};
    Surface a(1, 1, 8, twins), b(1, 1, 8, twins);
    static_cast<uint8_t*>(a.bits_)[0] = 1;
    ASSERT_TRUE(BitBlt(b.dc, 0, 0, 1, 1, a.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(static_cast<uint8_t*>(b.bits_)[0], 1);
}

TEST(GdiPalettes, EntriesNearestIndexAndCopies) {
    LOGPALETTE log;
    log.palNumEntries = 4;
    log.palPalEntry[0] = {0, 0, 0, 0};
    log.palPalEntry[1] = {255, 0, 0, PC_NOCOLLAPSE};
    log.palPalEntry[2] = {0, 255, 0, 0};
    log.palPalEntry[3] = {255, 0, 0, 0};
    const HPALETTE palette = CreatePalette(&log);
    ASSERT_NE(palette, 0u);
    EXPECT_EQ(GetPaletteEntries(palette, 0, 0, nullptr), 4u);
    PALETTEENTRY entries[4]{};
    EXPECT_EQ(GetPaletteEntries(palette, 2, 10, entries), 2u);
    EXPECT_EQ(entries[0], (PALETTEENTRY{0, 255, 0, 0}));
    uint16_t count = 0;
    EXPECT_EQ(GetObject(palette, &count), 2);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(GetObjectType(palette), OBJ_PAL);

    // Nearest by squared distance; of the two equal reds the first.
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(128, 100, 0)), 1u);
    EXPECT_EQ(GetNearestPaletteIndex(palette, RGB(90, 200, 0)), 2u);
    {
        // Squared distance, not the sum of differences: grey (90, 90, 90) is 270 away
        // from black by sums and blue (0, 0, 170) 170, but 24300 against 28900 squared.
        LOGPALETTE two;
        two.palNumEntries = 2;
        two.palPalEntry[0] = {0, 0, 170, 0};
        two.palPalEntry[1] = {90, 90, 90, 0};
        const HPALETTE p = CreatePalette(&two);
        EXPECT_EQ(GetNearestPaletteIndex(p, RGB(0, 0, 0)), 1u);
        DeleteObject(p);
    }

    const HPALETTE copy = CopyPalette(palette);
    ASSERT_NE(copy, palette);
    EXPECT_EQ(GetPaletteEntries(copy, 0, 0, nullptr), 4u);
    EXPECT_EQ(CopyPalette(0), 0u);
    EXPECT_TRUE(DeleteObject(copy));
    EXPECT_TRUE(DeleteObject(palette));
    EXPECT_EQ(GetObjectType(palette), 0u);
    EXPECT_FALSE(DeleteObject(palette));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetNearestPaletteIndex(palette, 0), CLR_INVALID);

    log.palVersion = 0x200;
    EXPECT_EQ(CreatePalette(&log), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(GdiPalettes, StockAndHalftonePalettes) {
    const HPALETTE stock = GetStockObject(DEFAULT_PALETTE);
    PALETTEENTRY e[256]{};
    ASSERT_EQ(GetPaletteEntries(stock, 0, 256, e), 20u);
    EXPECT_EQ(e[0], (PALETTEENTRY{0, 0, 0, 0}));
    EXPECT_EQ(e[7], (PALETTEENTRY{192, 192, 192, 0}));
    EXPECT_EQ(e[8], (PALETTEENTRY{192, 220, 192, 0}));
    EXPECT_EQ(e[19], (PALETTEENTRY{255, 255, 255, 0}));
    EXPECT_TRUE(DeleteObject(stock));
    EXPECT_EQ(GetObjectType(stock), OBJ_PAL);  // stock objects stay

    const HDC screen = GetDC(0);
    EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES), 32);
    const HPALETTE halftone = CreateHalftonePalette(screen);
    ReleaseDC(0, screen);
    PALETTEENTRY h[256]{};
    ASSERT_EQ(GetPaletteEntries(halftone, 0, 256, h), 256u);
    EXPECT_EQ(h[9], e[9]);
    EXPECT_EQ(h[10], (PALETTEENTRY{0, 0, 0, 0}));
    EXPECT_EQ(h[11], (PALETTEENTRY{0, 0, 51, 0}));
    EXPECT_EQ(h[225], (PALETTEENTRY{255, 255, 255, 0}));
    EXPECT_EQ(h[226], (PALETTEENTRY{12, 12, 12, 0}));
    EXPECT_EQ(h[246], e[10]);
    EXPECT_EQ(h[255], e[19]);
    DeleteObject(halftone);
    EXPECT_EQ(GetPaletteEntries(SystemPalette16(), 0, 0, nullptr), 16u);
}

TEST(GdiHandles, SelectedObjectsAreNotDeletedAndEverythingIsFreed) {
    const ObjectCounts before = LiveObjects();
    {
        Surface s(3, 3, 8, {{1, 2, 3, 0}});
        EXPECT_FALSE(DeleteObject(s.bitmap));
        EXPECT_EQ(GetLastError(), ERROR_BUSY);
        // A bitmap lives in one context at a time.
        const HDC other = CreateCompatibleDC(0);
        EXPECT_EQ(SelectObject(other, s.bitmap), 0u);
        DeleteDC(other);
        EXPECT_EQ(GetObjectType(s.dc), OBJ_MEMDC);
        RGBQUAD quads[4]{};
        EXPECT_EQ(GetDIBColorTable(s.dc, 0, 256, quads), 1u);
        EXPECT_EQ(quads[0], (RGBQUAD{1, 2, 3, 0}));
        DIBSECTION dib{};
        EXPECT_EQ(GetObject(s.bitmap, nullptr, &dib), static_cast<int>(sizeof(DIBSECTION)));
        EXPECT_EQ(dib.dsBmih.biSize, 40u);
        EXPECT_EQ(dib.dsBmih.biBitCount, 8);
        EXPECT_EQ(dib.dsBm.bmWidthBytes, 4);
    }
    Surface mono(std::vector<std::vector<int>>{{1}});
    BITMAP bm{};
    EXPECT_EQ(GetObject(mono.bitmap, &bm, nullptr), static_cast<int>(sizeof(BITMAP)));
    // A compatible bitmap of a context holding a monochrome bitmap is monochrome.
    const HBITMAP compatible = CreateCompatibleBitmap(mono.dc, 5, 5);
    GetObject(compatible, &bm);
    EXPECT_EQ(bm.bmBitsPixel, 1);
    DeleteObject(compatible);
    EXPECT_EQ(CreateCompatibleBitmap(mono.dc, 1 << 20, 1 << 20), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(FormatMessageText(ERROR_NOT_ENOUGH_MEMORY).empty(), false);
    EXPECT_EQ(FormatMessageText(123456), "");
    const ObjectCounts after = LiveObjects();
    EXPECT_EQ(after.Palettes, before.Palettes);
    EXPECT_EQ(after.Bitmaps, before.Bitmaps + 1);
    EXPECT_EQ(after.Contexts, before.Contexts + 1);
}

TEST(GdiDIBits, ReadsRowsBottomUpWithTheColourTable) {
    Surface s(3, 2, 8, {{0, 0, 0, 0}, {10, 20, 30, 0}});
    auto* bits = static_cast<uint8_t*>(s.bits_);
    bits[0] = 1;  // top-left
    BITMAPINFO info;
    info.bmiHeader = {40, 3, 2, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    uint8_t out[8]{};
    SelectObject(s.dc, s.old);
    ASSERT_EQ(GetDIBits(s.dc, s.bitmap, 0, 2, out, &info, DIB_RGB_COLORS), 2);
    s.old = SelectObject(s.dc, s.bitmap);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[4], 1);  // the second stored line is the top row
    EXPECT_EQ(info.bmiColors[1], (RGBQUAD{10, 20, 30, 0}));
}

TEST(GdiMulDiv, RoundsHalfAwayFromZeroAndGuardsTheDivisor) {
    struct Case {
        int a, b, c, expected;
    };
    const Case cases[] = {
        {10, 200, 100, 20}, {1, 1, 2, 1},   {-1, 1, 2, -1},         {1, -3, 2, -2},     {5, 1, -2, -3},
        {7, 3, 4, 5},       {0, 5, 0, -1},  {1, 1, 0, -1},          {0x40000000, 4, 1, -1},
        {100000, 100000, 100000, 100000},   {2147483647, 2, 2, 2147483647},
    };
    for (const Case& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}
