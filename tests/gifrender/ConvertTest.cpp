// Frames and pictures made from bitmaps of every depth, and back.
#include <gtest/gtest.h>

#include <set>

#include "gif/GIFColor.h"

namespace {

using vcl::TBitmap;

// A bitmap of the format whose pixel (x, y) shows color(x, y).
template <typename Color>
std::unique_ptr<TBitmap> MakeBitmap(vcl::TPixelFormat format, int width, int height, Color color) {
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(format);
    bitmap->SetSize(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bitmap->GetCanvas().SetPixel(x, y, color(x, y));
    return bitmap;
}

gdi::COLORREF Shown(TBitmap& bitmap, int x, int y) { return gdi::GetPixel(bitmap.GetCanvas().GetHandle(), x, y); }

// What the frame shows at a pixel, through its bitmap.
gdi::COLORREF FrameShows(gif::TGIFSubImage& frame, int x, int y) { return Shown(*frame.GetBitmap(), x, y); }

TEST(FrameFromBitmap, EveryDepthComesBackWithTheSameColours) {
    // Colours each format's default table holds exactly.
    const std::vector<gdi::COLORREF> mono = {0x000000, 0xFFFFFF};
    const std::vector<gdi::COLORREF> sixteen = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x808080};
    std::vector<gdi::COLORREF> many;
    for (int i = 0; i < 200; ++i) many.push_back(gdi::RGB(static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 77));
    struct Case {
        const char* name;
        vcl::TPixelFormat format;
        const std::vector<gdi::COLORREF>* colors;
    };
    for (const Case& c : {Case{"1 bit", vcl::pf1bit, &mono}, Case{"4 bits", vcl::pf4bit, &sixteen},
                          Case{"8 bits", vcl::pf8bit, &sixteen}, Case{"24 bits", vcl::pf24bit, &many},
                          Case{"32 bits", vcl::pf32bit, &many}}) {
        SCOPED_TRACE(c.name);
        const auto& colors = *c.colors;
        auto color = [&](int x, int y) { return colors[static_cast<size_t>(x * 7 + y * 3) % colors.size()]; };
        auto bitmap = MakeBitmap(c.format, 23, 17, color);
        gif::TGIFImage image;
        // Colours are kept as they are where the bitmap has few enough.
        image.SetColorReduction(gif::rmNone);
        image.Assign(bitmap.get());
        ASSERT_EQ(image.GetImages().GetCount(), 1);
        gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
        EXPECT_EQ(frame.GetWidth(), 23);
        EXPECT_EQ(frame.GetHeight(), 17);
        EXPECT_FALSE(frame.GetTransparent());
        frame.FreeBitmap();  // render from the pixels and the colour table
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 23; ++x) ASSERT_EQ(FrameShows(frame, x, y), color(x, y)) << x << ", " << y;
        // The source is left as it was.
        EXPECT_EQ(bitmap->GetPixelFormat(), c.format);
        EXPECT_EQ(Shown(*bitmap, 3, 4), color(3, 4));
    }
}

TEST(FrameFromBitmap, TrueColourGoesThroughTheColourReduction) {
    // 4096 colours: the default reduction maps them to the web palette.
    auto bitmap = MakeBitmap(vcl::pf24bit, 64, 64, [](int x, int y) {
        return gdi::RGB(static_cast<uint8_t>(x * 4), static_cast<uint8_t>(y * 4), static_cast<uint8_t>((x + y) * 2));
    });
    gif::TGIFImage image;
    image.Assign(bitmap.get());
    gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
    std::set<int> used;
    for (uint64_t i = 0; i < frame.GetDataSize(); ++i) {
        used.insert(frame.GetData()[i]);
        const gif::TGIFColor c = frame.GetColorMap().GetEntry(frame.GetData()[i]);
        ASSERT_EQ(c.Red % 51 + c.Green % 51 + c.Blue % 51, 0);
    }
    EXPECT_LE(used.size(), 216u);
    // Without reduction they do not fit a colour table.
    gif::TGIFImage kept;
    kept.SetColorReduction(gif::rmNone);
    EXPECT_THROW(kept.Assign(bitmap.get()), gif::GIFException);
}

TEST(FrameFromBitmap, ATransparentBitmapGivesATransparentIndex) {
    auto bitmap = MakeBitmap(vcl::pf24bit, 6, 4, [](int x, int y) { return x < 2 ? gdi::RGB(9, 9, 9) : gdi::RGB(x * 40, y * 60, 5); });
    bitmap->SetTransparent(true);
    bitmap->SetTransparentColor(gdi::RGB(9, 9, 9));
    gif::TGIFImage image;
    image.SetColorReduction(gif::rmNone);
    image.Assign(bitmap.get());
    gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
    ASSERT_TRUE(frame.GetTransparent());
    const int t = frame.GetGraphicControlExtension()->GetTransparentColorIndex();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            EXPECT_EQ(frame.GetPixel(x, y) == t, x < 2) << x << ", " << y;
            if (x >= 2) {
                const gif::TGIFColor c = frame.GetColorMap().GetEntry(frame.GetPixel(x, y));
                EXPECT_EQ(gdi::RGB(c.Red, c.Green, c.Blue), gdi::RGB(x * 40, y * 60, 5));
            }
        }
}

TEST(FrameFromBitmap, AFullTableWithTransparencyGivesUpItsLeastUsedColour) {
    // All 256 colours of an 8-bit table shown, one of them transparent: the
    // transparent index needs a place of its own.
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetPixelFormat(vcl::pf8bit);
    bitmap->SetSize(32, 16);
    gdi::LOGPALETTE distinct;
    distinct.palNumEntries = 256;
    for (int i = 0; i < 256; ++i)
        distinct.palPalEntry[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7), 0};
    bitmap->SetPalette(gdi::CreatePalette(&distinct));
    for (int y = 0; y < 16; ++y) {
        uint8_t* row = bitmap->GetScanLine(y);
        for (int x = 0; x < 32; ++x) row[x] = static_cast<uint8_t>(y < 8 ? (y * 32 + x) : (y * 32 + x) % 255);
    }
    const gdi::COLORREF transparentColor = Shown(*bitmap, 0, 0);
    bitmap->SetTransparent(true);
    bitmap->SetTransparentColor(transparentColor);
    gif::TGIFImage image;
    image.Assign(bitmap.get());
    gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
    ASSERT_TRUE(frame.GetTransparent());
    EXPECT_EQ(frame.GetColorMap().GetCount(), 256);
    const int t = frame.GetGraphicControlExtension()->GetTransparentColorIndex();
    int changed = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const gdi::COLORREF want = Shown(*bitmap, x, y);
            const int index = frame.GetPixel(x, y);
            ASSERT_EQ(index == t, want == transparentColor) << x << ", " << y;
            if (index == t) continue;
            const gif::TGIFColor c = frame.GetColorMap().GetEntry(index);
            if (gdi::RGB(c.Red, c.Green, c.Blue) != want) ++changed;
        }
    // Only the one colour shown once, pixel (31, 7), moved to a neighbour.
    EXPECT_EQ(changed, 1);
}

TEST(FrameFromBitmap, AFrameThatWasDrawnBeforeTakesANewBitmap) {
    auto first = MakeBitmap(vcl::pf8bit, 4, 4, [](int x, int) { return x % 2 ? 0xFFFFFFu : 0x000000u; });
    auto second = MakeBitmap(vcl::pf8bit, 3, 2, [](int, int y) { return y ? 0x0000FFu : 0x00FF00u; });
    gif::TGIFImage image;
    image.Assign(first.get());
    gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
    ASSERT_NE(frame.GetBitmap(), nullptr);
    frame.FreeBitmap();
    ASSERT_NE(frame.GetPalette(), 0u);  // a palette of the old colours
    frame.Assign(second.get());
    EXPECT_EQ(FrameShows(frame, 2, 1), 0x0000FFu);
    EXPECT_EQ(FrameShows(frame, 0, 0), 0x00FF00u);
}

// A frame holds at most 65535 pixels each way: a larger bitmap is refused
// rather than cut to its low 16 bits.
TEST(FrameFromBitmap, ABitmapLargerThanAFrameCanBeIsRefused) {
    struct Case {
        int width, height;
        bool fits;
    };
    for (const Case& c : {Case{65536, 1, false}, Case{2, 65537, false}, Case{65535, 1, true}}) {
        SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
        TBitmap bitmap;
        bitmap.SetPixelFormat(vcl::pf8bit);
        bitmap.SetSize(c.width, c.height);
        gif::TGIFImage image;
        try {
            image.Assign(&bitmap);
            EXPECT_TRUE(c.fits);
            EXPECT_EQ(image.GetWidth(), c.width);
        } catch (const gif::GIFException& e) {
            EXPECT_FALSE(c.fits);
            EXPECT_STREQ(e.what(), "Invalid image dimensions");
            EXPECT_TRUE(image.GetEmpty());
        }
    }
}

TEST(FrameToBitmap, ABitmapTakesTheFramesPixelsAndAFrameCopyKeepsItsBitmap) {
    auto source = MakeBitmap(vcl::pf8bit, 5, 3, [](int x, int y) { return (x + y) % 2 ? 0xFF0000u : 0x00FFFFu; });
    gif::TGIFImage image;
    image.Assign(source.get());
    gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
    TBitmap out;
    out.Assign(&frame);
    ASSERT_EQ(out.GetWidth(), 5);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Shown(out, x, 1), Shown(*source, x, 1));
    gif::TGIFSubImage copy;
    copy.Assign(&frame);
    EXPECT_TRUE(copy.GetHasBitmap());
    EXPECT_EQ(FrameShows(copy, 1, 0), 0xFF0000u);
}

TEST(FrameFromBitmap, WhatIsNoGraphicIsRefused) {
    gif::TGIFImage image;
    gif::TGIFColorMap notAGraphic;
    EXPECT_THROW(image.Assign(&notAGraphic), rtl::EConvertError);
    EXPECT_TRUE(image.GetEmpty());
    try {
        image.Add(&notAGraphic);
        FAIL() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Object type not supported for operation");
    }
    TBitmap empty;
    image.Assign(&empty);
    EXPECT_EQ(image.GetImages().GetCount(), 1);
    EXPECT_TRUE(image.GetImages().GetImage(0)->GetEmpty());
}

}  // namespace
