// A frame's bitmap, mask and palette, and drawing it onto a canvas: plain,
// scaled, tiled and transparent.
#include <gtest/gtest.h>

#include "AnimationCorpus.h"
#include "Corpus.h"
#include "GifUnitBridge.h"
#include "GiflibOracle.h"
#include "gif/GIFColor.h"
#include "gif/GIFDrawing.h"

namespace {

using giforacle::Frame;
using giforacle::Picture;

gdi::COLORREF Ref(const giforacle::Rgb& c) { return gdi::RGB(c.R, c.G, c.B); }

std::unique_ptr<gif::TGIFImage> Load(const std::vector<uint8_t>& bytes) {
    auto image = std::make_unique<gif::TGIFImage>();
    rtl::TMemoryStream stream(bytes);
    image->LoadFromStream(stream);
    return image;
}

// Every frame's bitmap shows, pixel by pixel, giflib's index through the
// frame's table; the mask marks exactly the transparent index.
void ExpectRenderedAsGiflibDecodes(const Picture& picture) {
    const std::vector<uint8_t> file = giforacle::GiflibEncode(picture);
    const giforacle::GiflibResult decoded = giforacle::GiflibDecode(file);
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    const auto image = Load(file);
    ASSERT_EQ(image->GetImages().GetCount(), static_cast<int>(decoded.Image.Frames.size()));
    for (int k = 0; k < image->GetImages().GetCount(); ++k) {
        SCOPED_TRACE("frame " + std::to_string(k));
        gif::TGIFSubImage& frame = *image->GetImages().GetImage(k);
        const Frame& expected = decoded.Image.Frames[static_cast<size_t>(k)];
        const auto& palette = decoded.Image.ActivePalette(expected);
        vcl::TBitmap* bitmap = frame.GetBitmap();
        ASSERT_NE(bitmap, nullptr);
        ASSERT_EQ(bitmap->GetWidth(), expected.Width);
        ASSERT_EQ(bitmap->GetHeight(), expected.Height);
        EXPECT_EQ(bitmap->GetPixelFormat(), vcl::pf8bit);
        const bool transparentShown = expected.Transparent >= 0 &&
                                      std::find(expected.Indices.begin(), expected.Indices.end(), expected.Transparent) !=
                                          expected.Indices.end();
        EXPECT_EQ(frame.HasMask(), transparentShown);
        bitmap = frame.GetBitmap();
        const gdi::HDC dc = bitmap->GetCanvas().GetHandle();
        gdi::HDC maskDC = 0;
        if (frame.GetMask() != 0) {
            maskDC = gdi::CreateCompatibleDC(0);
            gdi::SelectObject(maskDC, frame.GetMask());
        }
        for (int y = 0; y < expected.Height; ++y)
            for (int x = 0; x < expected.Width; ++x) {
                const int index = expected.Indices[static_cast<size_t>(y) * expected.Width + x];
                ASSERT_EQ(gdi::GetPixel(dc, x, y), Ref(palette[static_cast<size_t>(index)])) << x << ", " << y;
                if (maskDC != 0) {
                    ASSERT_EQ(gdi::GetPixel(maskDC, x, y), index == expected.Transparent ? 0xFFFFFFu : 0u) << x << ", " << y;
                }
            }
        if (maskDC != 0) gdi::DeleteDC(maskDC);
    }
}

TEST(FrameBitmap, ShowsTheColourTableAppliedToTheDecodedIndicesOverTheGeneratedCorpus) {
    for (const auto& c : giforacle::GeneratedCorpus()) {
        SCOPED_TRACE(c.Name);
        ExpectRenderedAsGiflibDecodes(c.Image);
    }
}

TEST(FrameBitmap, ShowsTheColourTableAppliedToTheDecodedIndicesOverTheAnimations) {
    for (const auto& c : gifopt::AnimationCorpus()) {
        SCOPED_TRACE(c.Name);
        ExpectRenderedAsGiflibDecodes(c.Picture);
    }
}

Picture TwoByTwo(int transparent) {
    Picture p;
    p.Width = p.Height = 2;
    p.GlobalPalette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
    Frame f;
    f.Width = f.Height = 2;
    f.Indices = {0, 1, 2, 1};
    f.HasControl = true;
    f.Transparent = transparent;
    p.Frames.push_back(f);
    return p;
}

TEST(FrameBitmap, IsKeptUntilThePaletteChangesAndATransparentIndexNoPixelShowsGivesNoMask) {
    auto image = gifbridge::Build(TwoByTwo(3));
    gif::TGIFSubImage& frame = *image->GetImages().GetImage(0);
    EXPECT_FALSE(frame.HasMask());
    vcl::TBitmap* bitmap = frame.GetBitmap();
    EXPECT_EQ(frame.GetBitmap(), bitmap);
    EXPECT_TRUE(frame.GetHasBitmap());
    frame.SetPalette(gif::WebPalette());
    EXPECT_FALSE(frame.GetHasBitmap());
    EXPECT_TRUE(image->GetPaletteModified());
    frame.SetHasBitmap(true);
    EXPECT_TRUE(frame.GetHasBitmap());
}

// A destination of one colour, a frame drawn over it.
struct Target {
    vcl::TBitmap bitmap;
    Target(int width, int height, gdi::COLORREF fill = gdi::RGB(1, 2, 3)) {
        bitmap.SetPixelFormat(vcl::pf24bit);
        bitmap.SetSize(width, height);
        bitmap.GetCanvas().Brush.Color = fill;
        bitmap.GetCanvas().FillRect({0, 0, width, height});
    }
    gdi::COLORREF At(int x, int y) { return gdi::GetPixel(bitmap.GetCanvas().GetHandle(), x, y); }
};

TEST(FrameBitmap, DitheredThroughTheWebPaletteWithTransparentPixelsMasked) {
    auto image = gifbridge::Build(TwoByTwo(1));
    image->SetDrawOptions(gif::DrawOption(gif::goDither));
    ASSERT_TRUE(image->GetDoDither());
    gif::TGIFSubImage& frame = *image->GetImages().GetImage(0);
    vcl::TBitmap* bitmap = frame.GetBitmap();
    ASSERT_NE(bitmap, nullptr);
    ASSERT_TRUE(frame.HasMask());
    bitmap = frame.GetBitmap();
    uint16_t entries = 0;
    gdi::GetObject(frame.GetLocalPalette(), &entries);
    EXPECT_EQ(entries, 216);
    // Pure red and blue are web colours; the transparent pixels hold the web
    // colour nearest their own (pure green).
    const gdi::HDC dc = bitmap->GetCanvas().GetHandle();
    EXPECT_EQ(gdi::GetPixel(dc, 0, 0), gdi::RGB(255, 0, 0));
    EXPECT_EQ(gdi::GetPixel(dc, 1, 0), gdi::RGB(0, 255, 0));
    EXPECT_EQ(gdi::GetPixel(dc, 0, 1), gdi::RGB(0, 0, 255));
    // The mask covers the transparent pixels of both rows, the second of
    // which is dithered right to left: drawn transparently, they keep what
    // lies under them.
    Target target(2, 2);
    frame.Draw(target.bitmap.GetCanvas(), {0, 0, 2, 2}, true, false);
    EXPECT_EQ(target.At(0, 0), gdi::RGB(255, 0, 0));
    EXPECT_EQ(target.At(1, 0), gdi::RGB(1, 2, 3));
    EXPECT_EQ(target.At(0, 1), gdi::RGB(0, 0, 255));
    EXPECT_EQ(target.At(1, 1), gdi::RGB(1, 2, 3));
}

TEST(FrameDraw, TransparentAtOneToOneAndScaledKeepsTheDestinationUnderTransparentPixels) {
    const Picture p = TwoByTwo(1);
    const gdi::COLORREF back = gdi::RGB(1, 2, 3);
    for (int platform : {gdi::VER_PLATFORM_WIN32_NT, gdi::VER_PLATFORM_WIN32_WINDOWS}) {
        SCOPED_TRACE(platform == gdi::VER_PLATFORM_WIN32_NT ? "mask blit" : "two passes");
        const int saved = gdi::Win32Platform;
        gdi::Win32Platform = platform;
        for (int scale : {1, 3}) {
            SCOPED_TRACE("scale " + std::to_string(scale));
            auto image = gifbridge::Build(p);
            Target target(2 * scale + 2, 2 * scale + 2, back);
            const gdi::HDC dc = target.bitmap.GetCanvas().GetHandle();
            gdi::SetTextColor(dc, gdi::RGB(7, 7, 7));
            gdi::SetBkColor(dc, gdi::RGB(8, 8, 8));
            gif::TGIFSubImage& frame = *image->GetImages().GetImage(0);
            const vcl::TRect place{1, 1, 1 + 2 * scale, 1 + 2 * scale};
            // The first drawing makes the frame's bitmap, mask and palette;
            // the drawing itself keeps nothing.
            frame.Draw(target.bitmap.GetCanvas(), place, true, false);
            const gdi::ObjectCounts before = gdi::LiveObjects();
            frame.Draw(target.bitmap.GetCanvas(), place, true, false);
            const gdi::ObjectCounts after = gdi::LiveObjects();
            EXPECT_EQ(after.Bitmaps, before.Bitmaps);
            EXPECT_EQ(after.Contexts, before.Contexts);
            EXPECT_EQ(after.Palettes, before.Palettes);
            EXPECT_EQ(gdi::GetTextColor(dc), gdi::RGB(7, 7, 7));
            EXPECT_EQ(gdi::GetBkColor(dc), gdi::RGB(8, 8, 8));
            const gdi::COLORREF expected[2][2] = {{gdi::RGB(255, 0, 0), back}, {gdi::RGB(0, 0, 255), back}};
            for (int y = 0; y < 2 * scale + 2; ++y)
                for (int x = 0; x < 2 * scale + 2; ++x) {
                    const bool inside = x >= 1 && y >= 1 && x < 1 + 2 * scale && y < 1 + 2 * scale;
                    const gdi::COLORREF want = inside ? expected[(y - 1) / scale][(x - 1) / scale] : back;
                    ASSERT_EQ(target.At(x, y), want) << x << ", " << y;
                }
        }
        gdi::Win32Platform = saved;
    }
}

// A selection is undone and what the scope made is deleted at its end, also
// when a later step fails; Release hands an object over.  (A selected object
// refuses deletion, so a selection left behind shows.)
TEST(GDIGuard, GivesBackWhatTheScopeHoldsOnEveryPath) {
    using gif::TGDIGuard;
    const gdi::ObjectCounts before = gdi::LiveObjects();
    const gdi::HPALETTE palette = gif::WebPalette();
    const TGDIGuard holder = TGDIGuard::MemoryDC(0);
    const TGDIGuard held = TGDIGuard::Object(gdi::CreateBitmap(2, 2, 1, 1, nullptr));
    {
        const TGDIGuard selected = TGDIGuard::Selection(holder.Handle(), held.Handle());
        const TGDIGuard shown = TGDIGuard::PaletteSelection(holder.Handle(), palette);
        EXPECT_FALSE(gdi::DeleteObject(palette));
        // The bitmap is selected into holder: a second selection fails, and
        // the context and bitmap made before it are given back.
        EXPECT_THROW(
            {
                const TGDIGuard other = TGDIGuard::MemoryDC(0);
                const TGDIGuard made = TGDIGuard::Object(gdi::CreateBitmap(2, 2, 1, 1, nullptr));
                const TGDIGuard again = TGDIGuard::Selection(other.Handle(), held.Handle());
            },
            rtl::EOutOfResources);
    }
    gdi::HGDIOBJ handed = 0;
    {
        TGDIGuard made = TGDIGuard::Object(gdi::CreateBitmap(2, 2, 1, 1, nullptr));
        TGDIGuard moved = std::move(made);
        handed = moved.Release();
    }
    EXPECT_TRUE(gdi::DeleteObject(handed));
    EXPECT_TRUE(gdi::DeleteObject(palette));
    const gdi::ObjectCounts after = gdi::LiveObjects();
    EXPECT_EQ(after.Palettes, before.Palettes);
    EXPECT_EQ(after.Bitmaps, before.Bitmaps + 1);  // held, until the end of the test
    EXPECT_EQ(after.Contexts, before.Contexts + 1);
}

TEST(FrameDraw, OpaqueDrawingCoversEverythingAndTheFrameTakesItsScaledPlace) {
    Picture p;
    p.Width = p.Height = 100;
    p.GlobalPalette = {{10, 20, 30}, {40, 50, 60}};
    Frame f;
    f.Left = 10;
    f.Top = 20;
    f.Width = 5;
    f.Height = 5;
    f.Indices.assign(25, 1);
    f.HasControl = true;
    f.Transparent = 1;
    p.Frames.push_back(f);
    auto image = gifbridge::Build(p);
    gif::TGIFSubImage& frame = *image->GetImages().GetImage(0);
    EXPECT_EQ(frame.ScaleRect({0, 0, 200, 200}), (vcl::TRect{20, 40, 30, 50}));
    Target target(200, 200);
    frame.Draw(target.bitmap.GetCanvas(), {0, 0, 200, 200}, false, false);
    EXPECT_EQ(target.At(19, 39), gdi::RGB(1, 2, 3));
    EXPECT_EQ(target.At(20, 40), gdi::RGB(40, 50, 60));
    EXPECT_EQ(target.At(29, 49), gdi::RGB(40, 50, 60));
    EXPECT_EQ(target.At(30, 50), gdi::RGB(1, 2, 3));
}

TEST(FrameDraw, TilesStepByThePictureSizeAndAPictureWithoutSizeStepsByOnePixel) {
    Picture p = TwoByTwo(-1);
    p.Width = p.Height = 4;
    p.Frames[0].Left = 1;
    auto image = gifbridge::Build(p);
    gif::TGIFSubImage& frame = *image->GetImages().GetImage(0);
    Target target(10, 6);
    frame.Draw(target.bitmap.GetCanvas(), {0, 0, 10, 6}, false, true);
    for (int x : {1, 5, 9}) EXPECT_EQ(target.At(x, 0), gdi::RGB(255, 0, 0)) << x;
    EXPECT_EQ(target.At(1, 4), gdi::RGB(255, 0, 0));
    EXPECT_EQ(target.At(0, 0), gdi::RGB(1, 2, 3));
    EXPECT_EQ(target.At(3, 0), gdi::RGB(1, 2, 3));

    // A logical screen of 0 (as a file may say) must not loop for ever: the
    // copies stand one pixel apart, each one's top left pixel showing.
    image->GetHeader().SetWidth(0);
    image->GetHeader().SetHeight(0);
    for (bool transparent : {false, true}) {
        Target single(10, 6);  // frame pixels (0, 0) red, (1, 0) green
        frame.Draw(single.bitmap.GetCanvas(), {0, 0, 10, 6}, transparent, true);
        EXPECT_EQ(single.At(1, 0), gdi::RGB(255, 0, 0));
        EXPECT_EQ(single.At(0, 0), gdi::RGB(1, 2, 3));
        EXPECT_EQ(single.At(9, 5), gdi::RGB(255, 0, 0));
    }
}

TEST(FramePalette, ComesFromTheLocalTableElseThePicture) {
    Picture p = TwoByTwo(-1);
    Frame local = p.Frames[0];
    local.LocalPalette = {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
    p.Frames.push_back(local);
    auto image = gifbridge::Build(p);
    uint16_t count = 0;
    gdi::GetObject(image->GetImages().GetImage(1)->GetPalette(), &count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(image->GetImages().GetImage(0)->GetPalette(), image->GetPalette());
    gdi::GetObject(image->GetPalette(), &count);
    EXPECT_EQ(count, 4);
    // Without any table the picture has no palette to give, and says so
    // rather than asking its first frame again.
    gif::TGIFImage bare;
    auto* frame = &bare.GetImages().Adopt(std::make_unique<gif::TGIFSubImage>());
    try {
        frame->GetPalette();
        FAIL() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "No global or local color table defined");
    }
}

}  // namespace
