// The octree quantizer, the palette builders and colour reduction.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "GifTestSupport.h"
#include "gif/GIFColor.h"

using namespace gif;
using namespace giftest;

namespace {

std::vector<TPaletteEntry> EntriesOf(HPALETTE palette) {
    std::vector<TPaletteEntry> entries(gdi::GetPaletteEntries(palette, 0, 0, nullptr));
    gdi::GetPaletteEntries(palette, 0, static_cast<unsigned>(entries.size()), entries.data());
    return entries;
}


// A 24-bit bitmap filled by colour(x, y).
std::unique_ptr<TBitmap> Picture(int width, int height, const std::function<TColor(int, int)>& colour) {
    auto b = std::make_unique<TBitmap>();
    b->SetPixelFormat(vcl::pf24bit);
    b->SetSize(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = b->GetScanLine(y);
        for (int x = 0; x < width; ++x) {
            const TColor c = colour(x, y);
            row[3 * x] = static_cast<uint8_t>(c >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(c);
        }
    }
    return b;
}

// A smooth, photo-like picture: gradients with a little texture.
std::unique_ptr<TBitmap> Photo(int width, int height) {
    return Picture(width, height, [&](int x, int y) {
        const int r = x * 255 / width, g = y * 255 / height, b = ((x ^ y) * 37 + x * y / 7) & 255;
        return gdi::RGB(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
    });
}

std::vector<TColor> Quantize(TBitmap& bitmap, int colors) {
    TDIBReader reader(bitmap, vcl::pf24bit);
    TColorQuantizer quantizer(colors, 8);
    quantizer.AddImage(reader);
    EXPECT_LE(quantizer.GetLeafCount(), colors);
    gdi::RGBQUAD quads[256];
    const int n = quantizer.FillColorTable(quads, 256);
    EXPECT_EQ(n, quantizer.GetLeafCount());
    std::vector<TColor> result;
    for (int i = 0; i < n; ++i) result.push_back(gdi::RGB(quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue));
    return result;
}

std::set<int> IndexesUsed(TBitmap& bitmap) {
    std::set<int> used;
    for (int y = 0; y < bitmap.GetHeight(); ++y)
        for (int x = 0; x < bitmap.GetWidth(); ++x) used.insert(bitmap.GetScanLine(y)[x]);
    return used;
}


}  // namespace

TEST(Octree, ColourCountsAndMerging) {
    // One colour: one leaf, exact.
    auto plain = Picture(9, 4, [](int, int) { return TColor{0x336699}; });
    EXPECT_EQ(Quantize(*plain, 16), (std::vector<TColor>{0x336699}));

    // 2^n colours are kept exactly when they fit, in depth-first order.
    auto eight = Picture(8, 3, [](int x, int) {
        return gdi::RGB(x & 1 ? 255 : 0, x & 2 ? 255 : 0, x & 4 ? 255 : 0);
    });
    const std::vector<TColor> corners = Quantize(*eight, 8);
    EXPECT_EQ(corners, (std::vector<TColor>{0x000000, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF,
                                            0xFFFFFF}));

    // One leaf left: the average of everything (three whites and one black).
    auto four = Picture(4, 1, [](int x, int) { return x == 0 ? TColor{0} : TColor{0xFFFFFF}; });
    EXPECT_EQ(Quantize(*four, 1), (std::vector<TColor>{gdi::RGB(191, 191, 191)}));

    // Many colours: never more than the maximum, and the same palette every time.
    auto photo = Photo(64, 48);
    for (int max : {2, 16, 255, 256}) {
        const std::vector<TColor> first = Quantize(*photo, max);
        EXPECT_LE(static_cast<int>(first.size()), max);
        EXPECT_GE(static_cast<int>(first.size()), std::max(1, max - 7));
        EXPECT_EQ(Quantize(*photo, max), first);
    }
}

TEST(Octree, SumsOfManyPixelsDoNotOverflow) {
    // 8.8 million white pixels in one leaf: 255 × 8.8 M is beyond 32 bits.
    auto white = Picture(4200, 2100, [](int, int) { return TColor{0xFFFFFF}; });
    EXPECT_EQ(Quantize(*white, 256), (std::vector<TColor>{0xFFFFFF}));
}

TEST(Palettes, FixedAndQuantizedPalettes) {
    struct Case {
        HPALETTE palette;
        size_t count;
        TPaletteEntry first, last;
    };
    const Case cases[] = {
        {CreateGrayScalePalette(), 256, {0, 0, 0, 4}, {255, 255, 255, 4}},
        {CreateMonochromePalette(), 2, {0, 0, 0, 4}, {255, 255, 255, 4}},
        {CreateWindowsGrayPalette(), 4, {0, 0, 0, 4}, {255, 255, 255, 4}},
        {CreateHalftoneScreenPalette(), 256, {0, 0, 0, 0}, {255, 255, 255, 0}},
    };
    for (const Case& c : cases) {
        const auto entries = EntriesOf(c.palette);
        ASSERT_EQ(entries.size(), c.count);
        EXPECT_EQ(entries.front(), c.first);
        EXPECT_EQ(entries.back(), c.last);
        gdi::DeleteObject(c.palette);
    }
    EXPECT_EQ(EntriesOf(CreateWindowsGrayPalette())[1], (TPaletteEntry{128, 128, 128, 4}));

    auto photo = Photo(40, 30);
    const HPALETTE windows = CreateQuantizedBitmapPalette(*photo, 256, 8, true);
    const auto w = EntriesOf(windows);
    const auto system = EntriesOf(gdi::GetStockObject(gdi::DEFAULT_PALETTE));
    ASSERT_EQ(w.size(), 256u);
    EXPECT_TRUE(std::equal(system.begin(), system.begin() + 10, w.begin()));
    EXPECT_TRUE(std::equal(system.begin() + 10, system.end(), w.begin() + 246));
    gdi::DeleteObject(windows);

    // Fewer leaves than slots: the rest is black.
    auto two = Picture(2, 1, [](int x, int) { return x ? TColor{0xFFFFFF} : TColor{0x0000FF}; });
    TDIBReader reader(*two, vcl::pf24bit);
    const HPALETTE small = CreateQuantizedPalette(reader, 8, 8, false);
    const auto s = EntriesOf(small);
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(s[0], (TPaletteEntry{255, 0, 0, 0}));
    EXPECT_EQ(s[1], (TPaletteEntry{255, 255, 255, 0}));
    for (size_t i = 2; i < 8; ++i) EXPECT_EQ(s[i], (TPaletteEntry{0, 0, 0, 0}));
    gdi::DeleteObject(small);

    ExpectGIFError([] { CreateOptimizedPaletteFromManyBitmaps(nullptr, 16, 8, false); }, "Invalid bitmap list");
    std::vector<TBitmap*> list;
    ExpectGIFError([&] { CreateOptimizedPaletteFromManyBitmaps(&list, 16, 8, false); }, "Invalid bitmap list");
    auto blue = Picture(3, 3, [](int, int) { return TColor{0xFF0000}; });
    list = {two.get(), blue.get()};
    const HPALETTE many = CreateOptimizedPaletteFromManyBitmaps(&list, 4, 8, false);
    const auto m = EntriesOf(many);
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(std::count(m.begin(), m.end(), TPaletteEntry{0, 0, 255, 0}), 1);
    EXPECT_EQ(std::count(m.begin(), m.end(), TPaletteEntry{255, 0, 0, 0}), 1);
    gdi::DeleteObject(many);
}

TEST(ReduceColors, EveryMethodMapsToItsPalette) {
    auto photo = Photo(37, 23);
    const HPALETTE custom = PaletteOf({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 255, 0}, {255, 255, 255, 0}});
    struct Case {
        TColorReduction method;
        size_t maxColours;
    };
    const Case cases[] = {{rmWindows20, 20},  {rmWindows256, 256}, {rmWindowsGray, 4},       {rmMonochrome, 2},
                          {rmGrayScale, 256}, {rmNetscape, 216},   {rmQuantize, 8},          {rmQuantizeWindows, 256},
                          {rmPalette, 4}};
    for (const Case& c : cases) {
        for (TDitherMode mode : {dmNearest, dmFloydSteinberg, dmSteveArche}) {
            auto result = ReduceColors(*photo, c.method, mode, 3, custom);
            ASSERT_EQ(result->GetPixelFormat(), vcl::pf8bit) << c.method;
            ASSERT_EQ(result->GetWidth(), 37);
            ASSERT_EQ(result->GetHeight(), 23);
            const std::set<int> used = IndexesUsed(*result);
            EXPECT_LT(static_cast<size_t>(*used.rbegin()), c.maxColours) << c.method << " " << mode;
            EXPECT_GT(used.size(), 1u);
            // Reducing again gives the same pixels.
            auto again = ReduceColors(*photo, c.method, mode, 3, custom);
            for (int y = 0; y < 23; ++y)
                ASSERT_EQ(std::memcmp(result->GetScanLine(y), again->GetScanLine(y), 37), 0) << c.method;
        }
    }
    EXPECT_EQ(EntriesOf(custom).size(), 4u);  // copied, not taken
    gdi::DeleteObject(custom);
    EXPECT_EQ(photo->GetPixelFormat(), vcl::pf24bit);
}

TEST(ReduceColors, RulesOfTheMethods) {
    // rmNone: a 24-bit copy whatever the dither mode; the source stays as it was.
    auto eight = Photo(5, 4);
    eight->SetPixelFormat(vcl::pf8bit);
    auto copy = ReduceColors(*eight, rmNone, dmStucki, 8, 0);
    EXPECT_EQ(copy->GetPixelFormat(), vcl::pf24bit);
    EXPECT_EQ(copy->GetCanvas().GetPixel(3, 2), eight->GetCanvas().GetPixel(3, 2));
    EXPECT_EQ(eight->GetPixelFormat(), vcl::pf8bit);
    auto reduced = ReduceColors(*eight, rmGrayScale, dmNearest, 8, 0);
    EXPECT_EQ(eight->GetPixelFormat(), vcl::pf8bit);

    // Monochrome: (127, 127, 127) is black, (128, 128, 128) white.
    for (auto [grey, index] : {std::pair{127, 0}, std::pair{128, 1}}) {
        auto flat = Picture(4, 3, [g = grey](int, int) { return gdi::RGB(g, g, g); });
        auto mono = ReduceColors(*flat, rmMonochrome, dmNearest, 8, 0);
        EXPECT_EQ(IndexesUsed(*mono), (std::set<int>{index}));
    }

    // Web colours map to themselves with every dither mode.
    auto web = Picture(24, 9, [](int x, int y) {
        const int i = (y * 24 + x) % 216;
        return gdi::RGB(static_cast<uint8_t>(i / 36 * 51), static_cast<uint8_t>(i / 6 % 6 * 51), static_cast<uint8_t>(i % 6 * 51));
    });
    for (TDitherMode mode : {dmNearest, dmFloydSteinberg, dmStucki, dmSierra, dmJaJuNI, dmSteveArche, dmBurkes}) {
        auto result = ReduceColors(*web, rmNetscape, mode, 8, 0);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 24; ++x) ASSERT_EQ(result->GetScanLine(y)[x], (y * 24 + x) % 216) << mode;
    }

    // rmQuantize with 3 bits: at most 8 colours, and the result shows the palette's colours.
    auto photo = Photo(50, 40);
    auto quantized = ReduceColors(*photo, rmQuantize, dmFloydSteinberg, 3, 0);
    EXPECT_LE(IndexesUsed(*quantized).size(), 8u);
    EXPECT_LT(*IndexesUsed(*quantized).rbegin(), 8);

    // No colours to map to: an error, not an empty picture.
    const HPALETTE empty = PaletteOf({});
    for (HPALETTE palette : {empty, HPALETTE{0}})
        ExpectGIFError([&] { ReduceColors(*photo, rmPalette, dmNearest, 8, palette); }, "Invalid reduction method");
    gdi::DeleteObject(empty);
    ExpectGIFError([&] { ReduceColors(*photo, static_cast<TColorReduction>(42), dmNearest, 8, 0); },
                   "Invalid reduction method");
    // An empty source cannot be reduced.
    TBitmap nothing;
    ExpectGIFError([&] { ReduceColors(nothing, rmNetscape, dmNearest, 8, 0); }, "Invalid image dimensions");
}

TEST(ReduceColors, LeavesNoHandlesBehind) {
    auto photo = Photo(20, 10);
    const gdi::ObjectCounts before = gdi::LiveObjects();
    for (TColorReduction method : {rmWindows20, rmWindows256, rmWindowsGray, rmMonochrome, rmGrayScale, rmNetscape,
                                   rmQuantize, rmQuantizeWindows}) {
        auto result = ReduceColors(*photo, method, dmBurkes, 6, 0);
    }
    try {
        ReduceColors(*photo, rmPalette, dmNearest, 8, 0);
    } catch (const GIFException&) {
    }
    const gdi::ObjectCounts after = gdi::LiveObjects();
    EXPECT_EQ(after.Palettes, before.Palettes);
    EXPECT_EQ(after.Bitmaps, before.Bitmaps);
    EXPECT_EQ(after.Contexts, before.Contexts);
}
