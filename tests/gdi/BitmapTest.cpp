// The class library's bitmap and canvas: pixel formats and their
// conversions, scan lines, palettes, the BMP stream form and drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "rtl/SysUtils.h"
#include "vcl/Bitmap.h"

using namespace vcl;

namespace {

gdi::HPALETTE MakePalette(std::initializer_list<gdi::PALETTEENTRY> entries) {
    gdi::LOGPALETTE log;
    for (const gdi::PALETTEENTRY& e : entries) log.palPalEntry[log.palNumEntries++] = e;
    return gdi::CreatePalette(&log);
}

std::vector<TColor> Pixels(TBitmap& bitmap) {
    std::vector<TColor> result;
    for (int y = 0; y < bitmap.GetHeight(); ++y)
        for (int x = 0; x < bitmap.GetWidth(); ++x) result.push_back(bitmap.GetCanvas().GetPixel(x, y));
    return result;
}

}  // namespace

TEST(Bitmap, PixelFormatConversionsKeepColoursOrTakeTheNearestEntry) {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetPalette(MakePalette({{0, 0, 0, 0}, {200, 0, 0, 0}, {0, 0, 200, 0}}));
    b.SetSize(3, 1);
    uint8_t* row = b.GetScanLine(0);
    row[0] = 2;
    row[1] = 1;
    row[2] = 0;
    b.SetPixelFormat(pf24bit);
    EXPECT_EQ(b.GetPixelFormat(), pf24bit);
    EXPECT_EQ(Pixels(b), (std::vector<TColor>{0xC80000, 0x0000C8, 0}));
    row = b.GetScanLine(0);
    EXPECT_EQ(row[0], 200);  // blue, green, red
    EXPECT_EQ(row[5], 200);

    b.GetCanvas().SetPixel(2, 0, 0x0000F0);  // nearer the red entry
    b.SetPixelFormat(pf8bit);                 // the palette it was given rules
    row = b.GetScanLine(0);
    EXPECT_EQ(row[0], 2);
    EXPECT_EQ(row[1], 1);
    EXPECT_EQ(row[2], 1);

    TBitmap mono;
    mono.SetPixelFormat(pf24bit);
    mono.SetSize(2, 1);
    mono.GetCanvas().SetPixel(1, 0, 0xFFFFFF);
    mono.SetPixelFormat(pf1bit);
    EXPECT_TRUE(mono.GetMonochrome());
    EXPECT_EQ(mono.GetScanLine(0)[0], 0x40);
    mono.SetPixelFormat(pf32bit);
    EXPECT_EQ(Pixels(mono), (std::vector<TColor>{0, 0xFFFFFF}));
}

TEST(Bitmap, ScanLinesResizingAndEmptyBitmaps) {
    TBitmap b;
    EXPECT_TRUE(b.GetEmpty());
    EXPECT_EQ(b.GetHandle(), 0u);
    b.SetPixelFormat(pf1bit);  // allowed while empty
    EXPECT_EQ(b.GetPixelFormat(), pf1bit);
    b.SetPixelFormat(pf24bit);
    b.SetSize(5, 3);
    EXPECT_EQ(b.GetScanLine(1) - b.GetScanLine(0), 16);
    EXPECT_THROW(b.GetScanLine(3), rtl::EInvalidGraphicOperation);
    EXPECT_THROW(b.GetScanLine(-1), rtl::EInvalidGraphicOperation);
    b.GetCanvas().SetPixel(1, 1, 0x123456);
    b.SetSize(2, 2);
    EXPECT_EQ(b.GetCanvas().GetPixel(1, 1), 0x123456u);
    EXPECT_EQ(b.GetHandleType(), bmDIB);
    TBitmap device;
    device.SetSize(2, 2);
    EXPECT_EQ(device.GetPixelFormat(), pfDevice);
    EXPECT_EQ(device.GetHandleType(), bmDDB);
    EXPECT_EQ(device.GetPalette(), 0u);
}

TEST(Bitmap, StreamRoundTripInEveryDepth) {
    for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf24bit, pf32bit}) {
        TBitmap b;
        b.SetPixelFormat(format);
        b.SetSize(7, 3);
        const TColor colours[] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FF00};
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 7; ++x) b.GetCanvas().SetPixel(x, y, colours[(x + y) % (format == pf1bit ? 2 : 4)]);
        rtl::TMemoryStream stream;
        b.SaveToStream(stream);
        stream.SetPosition(0);
        TBitmap copy;
        copy.LoadFromStream(stream);
        EXPECT_EQ(copy.GetPixelFormat(), format == pf15bit ? pf15bit : format);
        EXPECT_EQ(Pixels(copy), Pixels(b)) << format;
        EXPECT_EQ(stream.GetPosition(), stream.GetSize());
    }
}

TEST(Bitmap, LoadsTopDownAndBottomUpAndRefusesBadStreams) {
    // A 1 × 2 24-bit bitmap: the stored rows are red then blue.
    const auto make = [](int32_t height) {
        std::vector<uint8_t> bytes(14 + 40 + 8, 0);
        gdi::BITMAPFILEHEADER file{0x4D42, static_cast<uint32_t>(bytes.size()), 0, 0, 54};
        gdi::BITMAPINFOHEADER info{40, 1, height, 1, 24, 0, 8, 0, 0, 0, 0};
        std::memcpy(bytes.data(), &file, 14);
        std::memcpy(bytes.data() + 14, &info, 40);
        bytes[54 + 2] = 255;  // first stored row: red
        bytes[58] = 255;      // second: blue
        return bytes;
    };
    TBitmap up, down;
    rtl::TMemoryStream upStream(make(2)), downStream(make(-2));
    up.LoadFromStream(upStream);
    down.LoadFromStream(downStream);
    EXPECT_EQ(Pixels(up), (std::vector<TColor>{0xFF0000, 0x0000FF}));
    EXPECT_EQ(Pixels(down), (std::vector<TColor>{0x0000FF, 0xFF0000}));

    std::vector<std::vector<uint8_t>> bad{make(2), make(2), make(2), make(2), make(0)};
    bad[0].resize(60);             // rows cut short
    bad[1][0] = 'X';               // not "BM"
    bad[2][14 + 14] = 12;          // 12 bits per pixel
    bad[3][14 + 16] = 1;           // run-length compressed
    for (const auto& bytes : bad) {
        rtl::TMemoryStream stream(bytes);
        try {
            down.LoadFromStream(stream);
            ADD_FAILURE() << "accepted";
        } catch (const rtl::EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), "Bitmap image is not valid");
        }
        EXPECT_EQ(Pixels(down), (std::vector<TColor>{0x0000FF, 0xFF0000}));
    }
}

TEST(Bitmap, PalettesAndAssignment) {
    TBitmap b;
    b.SetPixelFormat(pf8bit);
    b.SetSize(2, 2);
    // Without a palette of its own an 8-bit bitmap has the halftone table.
    EXPECT_EQ(gdi::GetPaletteEntries(b.GetPalette(), 0, 0, nullptr), 256u);
    b.SetPalette(MakePalette({{1, 2, 3, 0}, {4, 5, 6, 0}}));
    b.GetScanLine(0)[1] = 1;
    b.SetTransparent(true);
    TBitmap copy;
    copy.Assign(&b);
    EXPECT_EQ(copy.GetPixelFormat(), pf8bit);
    EXPECT_TRUE(copy.GetTransparent());
    EXPECT_NE(copy.GetPalette(), b.GetPalette());
    EXPECT_EQ(gdi::GetPaletteEntries(copy.GetPalette(), 0, 0, nullptr), 2u);
    EXPECT_EQ(Pixels(copy), Pixels(b));
    copy.GetScanLine(0)[0] = 1;
    EXPECT_EQ(b.GetScanLine(0)[0], 0);  // a deep copy
    copy.Assign(nullptr);
    EXPECT_TRUE(copy.GetEmpty());
    rtl::TPersistent notABitmap;
    EXPECT_THROW(copy.Assign(&notABitmap), rtl::EConvertError);
}

TEST(Canvas, CopiesFillsAndDrawsTransparentBitmapsAtAnyScale) {
    const gdi::ObjectCounts before = gdi::LiveObjects();
    {
        TBitmap target;
        target.SetPixelFormat(pf24bit);
        target.SetSize(4, 4);
        target.GetCanvas().Brush.Color = 0x00AA00;
        target.GetCanvas().FillRect(Rect(0, 0, 4, 4));
        EXPECT_EQ(target.GetCanvas().GetPixel(3, 3), 0x00AA00u);

        TBitmap sprite;  // 2 × 2, bottom-left pixel is the transparent colour
        sprite.SetPixelFormat(pf24bit);
        sprite.SetSize(2, 2);
        sprite.GetCanvas().SetPixel(0, 0, 0x0000FF);
        sprite.GetCanvas().SetPixel(1, 0, 0xFF00FF);
        sprite.GetCanvas().SetPixel(0, 1, 0xFF00FF);
        sprite.GetCanvas().SetPixel(1, 1, 0x0000FF);
        sprite.SetTransparent(true);
        EXPECT_EQ(sprite.GetTransparentColor(), 0xFF00FFu);

        target.GetCanvas().Draw(1, 1, sprite);
        EXPECT_EQ(Pixels(target), (std::vector<TColor>{0x00AA00, 0x00AA00, 0x00AA00, 0x00AA00,  //
                                                       0x00AA00, 0x0000FF, 0x00AA00, 0x00AA00,  //
                                                       0x00AA00, 0x00AA00, 0x0000FF, 0x00AA00,  //
                                                       0x00AA00, 0x00AA00, 0x00AA00, 0x00AA00}));
        target.GetCanvas().FillRect(Rect(0, 0, 4, 4));
        target.GetCanvas().StretchDraw(Rect(0, 0, 4, 4), sprite);
        EXPECT_EQ(Pixels(target), (std::vector<TColor>{0x0000FF, 0x0000FF, 0x00AA00, 0x00AA00,  //
                                                       0x0000FF, 0x0000FF, 0x00AA00, 0x00AA00,  //
                                                       0x00AA00, 0x00AA00, 0x0000FF, 0x0000FF,  //
                                                       0x00AA00, 0x00AA00, 0x0000FF, 0x0000FF}));
        sprite.SetTransparent(false);
        TBitmap copy;
        copy.SetPixelFormat(pf32bit);
        copy.SetSize(2, 2);
        copy.GetCanvas().CopyRect(Rect(0, 0, 2, 2), target.GetCanvas(), Rect(1, 1, 3, 3));
        EXPECT_EQ(Pixels(copy), (std::vector<TColor>{0x0000FF, 0x00AA00, 0x00AA00, 0x0000FF}));
        int changes = 0;
        copy.OnChange = [&](rtl::TObject*) { ++changes; };
        copy.GetCanvas().FillRect(Rect(0, 0, 1, 1));
        EXPECT_EQ(changes, 1);
    }
    const gdi::ObjectCounts after = gdi::LiveObjects();
    EXPECT_EQ(after.Bitmaps, before.Bitmaps);
    EXPECT_EQ(after.Palettes, before.Palettes);
    EXPECT_EQ(after.Contexts, before.Contexts);
}

TEST(Bitmap, TakesOverAMaskHandleAndReadsItAtEightBits) {
    TBitmap sprite;
    sprite.SetPixelFormat(pf24bit);
    sprite.SetSize(3, 1);
    sprite.GetCanvas().SetPixel(1, 0, 0x00FF00);
    sprite.SetTransparent(true);  // the bottom-left pixel's colour, black, is transparent
    TBitmap mask;
    mask.SetHandle(gdi::CopyImage(sprite.GetMaskHandle(), gdi::IMAGE_BITMAP, 0, 0, 0));
    EXPECT_EQ(mask.GetWidth(), 3);
    EXPECT_EQ(mask.GetPixelFormat(), pf1bit);
    EXPECT_EQ(mask.GetHandleType(), bmDDB);
    mask.SetPixelFormat(pf8bit);
    const uint8_t* row = mask.GetScanLine(0);
    EXPECT_NE(row[0], 0);
    EXPECT_EQ(row[1], 0);
    EXPECT_NE(row[2], 0);
    EXPECT_THROW(mask.SetHandle(0x5), rtl::EInvalidGraphic);
}
