// Row access: the DIB writer's rows, colour table and stored bitmap, the
// reader's conversions, and the exported DIB routines.
#include <gtest/gtest.h>

#include "GifTestSupport.h"
#include "gif/GIFColor.h"

using namespace gif;
using namespace giftest;

namespace {


// A bitmap of a format with one colour per pixel, given row by row.
std::unique_ptr<TBitmap> BitmapOf(vcl::TPixelFormat format, const std::vector<std::vector<TColor>>& rows) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(format);
    if (format == vcl::pf4bit || format == vcl::pf8bit) {
        std::vector<TPaletteEntry> entries;
        for (const auto& row : rows)
            for (TColor c : row) {
                const TPaletteEntry e{static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16), 0};
                if (std::find(entries.begin(), entries.end(), e) == entries.end()) entries.push_back(e);
            }
        b->SetPalette(PaletteOf(entries));
    }
    b->SetSize(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            b->GetCanvas().SetPixel(static_cast<int>(x), static_cast<int>(y), rows[y][x]);
    return b;
}

TColor PixelOf24(TDIBReader& reader, int x, int y) {
    const uint8_t* p = reader.GetScanLine(y) + 3 * x;
    return gdi::RGB(p[2], p[1], p[0]);
}


}  // namespace

TEST(DIBWriter, RowsAreStoredBottomUpAndPaddedToFourBytes) {
    struct Case {
        vcl::TPixelFormat format;
        int width, rowSize;
    };
    for (const Case c : {Case{vcl::pf8bit, 5, 8}, Case{vcl::pf24bit, 5, 16}, Case{vcl::pf8bit, 8, 8}}) {
        TBitmap bitmap;
        TDIBWriter writer(bitmap, c.format, c.width, 3, 0);
        uint8_t* row0 = writer.GetScanLine(0);
        uint8_t* row2 = writer.GetScanLine(2);
        EXPECT_EQ(row2, writer.GetBits());
        EXPECT_EQ(row0, writer.GetBits() + 2 * c.rowSize);
        EXPECT_EQ(writer.GetScanLine(1) - row2, c.rowSize);
        EXPECT_EQ(writer.GetBitsSize(), static_cast<size_t>(3 * c.rowSize));
        EXPECT_EQ(writer.GetInfoSize(), c.format == vcl::pf8bit ? 1064u : 40u);
    }
}

TEST(DIBWriter, ColourTableFromThePalette) {
    TBitmap bitmap;
    const HPALETTE web = WebPalette();
    {
        TDIBWriter writer(bitmap, vcl::pf8bit, 2, 2, web);
        writer.GetScanLine(0);
        const gdi::BITMAPINFO& info = *writer.GetInfo();
        EXPECT_EQ(info.bmiHeader.biClrUsed, 256u);
        EXPECT_EQ(info.bmiHeader.biClrImportant, 216u);
        EXPECT_EQ(info.bmiHeader.biHeight, 2);
        EXPECT_EQ(info.bmiColors[1], (gdi::RGBQUAD{51, 0, 0, 0}));     // blue first
        EXPECT_EQ(info.bmiColors[36], (gdi::RGBQUAD{0, 0, 51, 0}));    // red last
        EXPECT_EQ(info.bmiColors[215], (gdi::RGBQUAD{255, 255, 255, 0}));
        for (int i = 216; i < 256; ++i) EXPECT_EQ(info.bmiColors[i], (gdi::RGBQUAD{0, 0, 0, 0})) << i;
    }
    gdi::DeleteObject(web);
    TDIBWriter plain(bitmap, vcl::pf8bit, 2, 2, 0);
    plain.GetScanLine(0);
    EXPECT_EQ(plain.GetInfo()->bmiHeader.biClrImportant, 0u);
    for (const gdi::RGBQUAD& q : plain.GetInfo()->bmiColors) EXPECT_EQ(q, (gdi::RGBQUAD{0, 0, 0, 0}));
}

TEST(DIBWriter, StoresTheFinishedDIBIntoTheBitmap) {
    TBitmap bitmap;
    const HPALETTE palette = PaletteOf({{10, 20, 30, 0}, {200, 100, 50, 0}});
    {
        TDIBWriter writer(bitmap, vcl::pf8bit, 3, 2, palette);
        writer.GetScanLine(0)[0] = 1;  // top left
        writer.GetScanLine(1)[2] = 1;  // bottom right
    }
    ASSERT_EQ(bitmap.GetPixelFormat(), vcl::pf8bit);
    EXPECT_EQ(bitmap.GetWidth(), 3);
    EXPECT_EQ(bitmap.GetHeight(), 2);
    EXPECT_EQ(bitmap.GetScanLine(0)[0], 1);
    EXPECT_EQ(bitmap.GetScanLine(1)[2], 1);
    EXPECT_EQ(bitmap.GetCanvas().GetPixel(0, 0), gdi::RGB(200, 100, 50));
    EXPECT_EQ(bitmap.GetCanvas().GetPixel(1, 0), gdi::RGB(10, 20, 30));
    TPaletteEntry entries[2]{};
    EXPECT_EQ(gdi::GetPaletteEntries(bitmap.GetPalette(), 0, 2, entries), 2u);
    EXPECT_EQ(entries[1], (TPaletteEntry{200, 100, 50, 0}));
    gdi::DeleteObject(palette);

    TBitmap truecolour;
    {
        TDIBWriter writer(truecolour, vcl::pf24bit, 1, 2, 0);
        writer.GetScanLine(1)[2] = 255;  // red in the bottom row
    }
    EXPECT_EQ(truecolour.GetPixelFormat(), vcl::pf24bit);
    EXPECT_EQ(truecolour.GetCanvas().GetPixel(0, 1), gdi::RGB(255, 0, 0));
    EXPECT_EQ(truecolour.GetCanvas().GetPixel(0, 0), 0u);

    // A writer that never handed out a row leaves its bitmap alone.
    { TDIBWriter unused(truecolour, vcl::pf8bit, 9, 9, 0); }
    EXPECT_EQ(truecolour.GetWidth(), 1);
    EXPECT_EQ(truecolour.GetPixelFormat(), vcl::pf24bit);
}

TEST(DIBWriter, Errors) {
    TBitmap bitmap;
    ExpectGIFError([&] { TDIBWriter w(bitmap, vcl::pf32bit, 1, 1, 0); }, "Unsupported PixelFormat");
    ExpectGIFError([&] { TDIBWriter w(bitmap, vcl::pf4bit, 1, 1, 0); }, "Unsupported PixelFormat");
    ExpectGIFError([&] { TDIBWriter w(bitmap, vcl::pf8bit, 0, 1, 0); }, "Invalid image dimensions");
    ExpectGIFError([&] { TDIBWriter w(bitmap, vcl::pf24bit, 1, 0, 0); }, "Invalid image dimensions");
    TDIBWriter writer(bitmap, vcl::pf8bit, 2, 2, 0);
    for (int row : {-1, 2}) {
        try {
            writer.GetScanLine(row);
            ADD_FAILURE() << row;
        } catch (const rtl::EInvalidGraphicOperation& e) {
            EXPECT_STREQ(e.what(), "Scan line index out of range");
        }
    }
    // Too large a DIB is refused before anything is written.
    TDIBWriter huge(bitmap, vcl::pf24bit, 65535, 65535, 0);
    try {
        huge.GetScanLine(0);
        ADD_FAILURE() << "allocated";
    } catch (const rtl::EOutOfMemory& e) {
        EXPECT_STREQ(e.what(), "Failed to allocate memory for GIF DIB");
    }
}

TEST(DIBReader, ReadsEveryDepthAsTwentyFourBitsWithoutChangingTheBitmap) {
    const std::vector<std::vector<TColor>> colours{{0x0000FF, 0x00FF00, 0xFFFFFF}, {0x000000, 0xFF0000, 0x0000FF}};
    const std::vector<std::vector<TColor>> mono{{0xFFFFFF, 0x000000, 0xFFFFFF}, {0x000000, 0x000000, 0xFFFFFF}};
    for (vcl::TPixelFormat format : {vcl::pf1bit, vcl::pf4bit, vcl::pf8bit, vcl::pf24bit, vcl::pf32bit, vcl::pfDevice}) {
        const auto& rows = format == vcl::pf1bit ? mono : colours;
        auto bitmap = BitmapOf(format, rows);
        const std::vector<uint8_t> before(bitmap->GetScanLine(1), bitmap->GetScanLine(1) + 4);
        {
            TDIBReader reader(*bitmap, vcl::pf24bit);
            EXPECT_EQ(reader.GetWidth(), 3);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(PixelOf24(reader, x, y), rows[static_cast<size_t>(y)][static_cast<size_t>(x)])
                        << "format " << format << " at " << x << "," << y;
        }
        EXPECT_EQ(bitmap->GetPixelFormat(), format);
        EXPECT_EQ(std::vector<uint8_t>(bitmap->GetScanLine(1), bitmap->GetScanLine(1) + 4), before);
    }
    // A reader at the bitmap's own format reads the bitmap's own rows.
    auto eight = BitmapOf(vcl::pf8bit, colours);
    TDIBReader same(*eight, vcl::pf8bit);
    EXPECT_EQ(same.GetScanLine(1), eight->GetScanLine(1));
}

TEST(DIBExports, SizesAndBitsOfABitmap) {
    auto bitmap = BitmapOf(vcl::pf24bit, {{0x0000FF, 0x00FF00, 0xFF0000}, {0xFFFFFF, 0x000000, 0x0000F0}});
    struct Case {
        vcl::TPixelFormat format;
        int info, image;
    };
    for (const Case c : {Case{vcl::pf1bit, 48, 8}, Case{vcl::pf4bit, 104, 8}, Case{vcl::pf8bit, 1064, 8},
                         Case{vcl::pf24bit, 40, 24}}) {
        int info = 0, image = 0;
        InternalGetDIBSizes(bitmap->GetHandle(), info, image, c.format);
        EXPECT_EQ(info, c.info) << c.format;
        EXPECT_EQ(image, c.image) << c.format;
    }
    int info = 0, image = 0;
    ExpectGIFError([&] { InternalGetDIBSizes(bitmap->GetHandle(), info, image, vcl::pf32bit); }, "Unsupported PixelFormat");
    ExpectGIFError([&] { InternalGetDIBSizes(0x7, info, image, vcl::pf8bit); }, "Bitmap image is not valid");

    const HPALETTE palette = PaletteOf({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}});
    gdi::BITMAPINFO dib;
    uint8_t bits[8]{};
    ASSERT_TRUE(InternalGetDIB(bitmap->GetHandle(), palette, dib, bits, vcl::pf8bit));
    gdi::DeleteObject(palette);
    EXPECT_EQ(dib.bmiHeader.biBitCount, 8);
    EXPECT_EQ(dib.bmiColors[1], (gdi::RGBQUAD{0, 0, 255, 0}));
    EXPECT_EQ(std::vector<uint8_t>(bits, bits + 3), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(std::vector<uint8_t>(bits + 4, bits + 7), (std::vector<uint8_t>{4, 0, 1}));
}
