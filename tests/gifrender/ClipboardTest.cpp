// The picture on the clipboard, and pictures to and from the class
// library's other graphics: bitmaps, icons, metafiles, picture containers.
#include <gtest/gtest.h>

#include <QPainter>

#include <algorithm>

#include "GifUnitBridge.h"
#include "gdi/Clipboard.h"
#include "gif/GIFColor.h"
#include "vcl/Icon.h"
#include "vcl/Picture.h"

namespace {

using giforacle::Rgb;

gdi::COLORREF Shown(vcl::TBitmap& bitmap, int x, int y) { return gdi::GetPixel(bitmap.GetCanvas().GetHandle(), x, y); }

// Two frames of 4 × 3: the second one transparent where its index is 0.
giforacle::Picture TwoFrames() {
    giforacle::Picture p;
    p.Width = 4;
    p.Height = 3;
    p.GlobalPalette = {Rgb{0, 0, 0}, Rgb{255, 0, 0}, Rgb{0, 255, 0}, Rgb{0, 0, 255}};
    p.LoopCount = 0;
    giforacle::Frame first;
    first.Width = 4;
    first.Height = 3;
    first.Indices = {1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3};
    first.HasControl = true;
    first.Delay = 5;
    giforacle::Frame second = first;
    second.Left = 1;
    second.Width = 2;
    second.Height = 2;
    second.Indices = {0, 3, 3, 0};
    second.Transparent = 0;
    p.Frames = {first, second};
    return p;
}

// Sets the unit's clipboard format as start-up does, and opens the
// clipboard empty; leaves it empty and closed.
class ClipboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        gif::CF_GIF = vcl::RegisterClipboardFormat("GIF Image");
        ASSERT_TRUE(gdi::OpenClipboard(0));
        gdi::EmptyClipboard();
        blocks_ = gdi::LiveGlobalBlocks();
        objects_ = gdi::LiveObjects();
    }
    void TearDown() override {
        gdi::EmptyClipboard();
        gdi::CloseClipboard();
        EXPECT_EQ(gdi::LiveGlobalBlocks(), blocks_);
    }
    // Graphics objects made since SetUp (beside what the pictures cache).
    int NewBitmaps() const { return gdi::LiveObjects().Bitmaps - objects_.Bitmaps; }
    int NewPalettes() const { return gdi::LiveObjects().Palettes - objects_.Palettes; }

    int blocks_ = 0;
    gdi::ObjectCounts objects_{};
};

TEST_F(ClipboardTest, APictureComesBackFromTheClipboardAsItWentAndAsTheBitmapItShows) {
    const auto source = gifbridge::Build(TwoFrames());
    uint16_t format = 0;
    gdi::HANDLE data = 0;
    gdi::HPALETTE palette = 0;
    source->SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, gdi::CF_BITMAP);
    ASSERT_NE(data, 0u);
    ASSERT_TRUE(gdi::IsClipboardFormatAvailable(gif::CF_GIF));
    // The GIF form: the same file, frames, delays, transparency and loop.
    gif::TGIFImage copy;
    copy.LoadFromClipboardFormat(gif::CF_GIF, 0, 0);
    EXPECT_EQ(gifbridge::Save(copy), gifbridge::Save(*source));
    // The bitmap form: what the picture shows, frame 0 at the screen's size.
    vcl::TBitmap shown;
    shown.LoadFromClipboardFormat(format, data, palette);
    ASSERT_EQ(shown.GetWidth(), 4);
    ASSERT_EQ(shown.GetHeight(), 3);
    const gdi::COLORREF colors[] = {0x0000FF, 0x00FF00, 0xFF0000};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(Shown(shown, x, y), colors[(x + y * 4) % 3]) << x << ", " << y;
    // CF_BITMAP makes a picture of one frame showing it.
    gif::TGIFImage fromBitmap;
    fromBitmap.SetColorReduction(gif::rmNone);
    fromBitmap.LoadFromClipboardFormat(format, data, palette);
    ASSERT_EQ(fromBitmap.GetImages().GetCount(), 1);
    vcl::TBitmap back;
    back.Assign(&fromBitmap);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(Shown(back, x, y), Shown(shown, x, y)) << x << ", " << y;
    gdi::DeleteObject(data);
    gdi::DeleteObject(palette);
}

TEST_F(ClipboardTest, DataThatIsNoPictureGivesTheUnitsErrorAndNoCrash) {
    const std::vector<uint8_t> file = gifbridge::Save(TwoFrames());
    auto block = [](const std::vector<uint8_t>& bytes) {
        const gdi::HGLOBAL h = gdi::GlobalAlloc(gdi::GMEM_MOVEABLE, bytes.size());
        if (!bytes.empty()) std::memcpy(gdi::GlobalLock(h), bytes.data(), bytes.size());
        gdi::GlobalUnlock(h);
        return h;
    };
    const gdi::HGLOBAL cut = block(std::vector<uint8_t>(file.begin(), file.begin() + 30));
    const gdi::HGLOBAL garbage = block({'J', 'F', 'I', 'F', 0, 1, 2, 3, 4, 5, 6, 7, 8});
    const gdi::HGLOBAL nothing = block({});
    const gdi::HGLOBAL freed = block(file);
    gdi::GlobalFree(freed);
    struct Case {
        const char* name;
        uint16_t format;
        gdi::HANDLE data;
        const char* error;
    };
    for (const Case& c : {Case{"cut off", gif::CF_GIF, cut, "Premature end of data"},
                          Case{"not a GIF", gif::CF_GIF, garbage, "Invalid GIF signature"},
                          Case{"an empty block", gif::CF_GIF, nothing, "Premature end of data"},
                          Case{"a freed block", gif::CF_GIF, freed, "Premature end of data"},
                          Case{"nothing on the clipboard", gif::CF_GIF, 0, "Unsupported clipboard format"},
                          Case{"no bitmap on the clipboard", gdi::CF_BITMAP, 0, "Unsupported clipboard format"},
                          Case{"a block as a bitmap", gdi::CF_BITMAP, garbage, "Bitmap image is not valid"},
                          Case{"a format of no picture", gdi::CF_DIB, garbage, "Unsupported clipboard format"}}) {
        SCOPED_TRACE(c.name);
        gif::TGIFImage image;
        try {
            image.LoadFromClipboardFormat(c.format, c.data, 0);
            ADD_FAILURE() << "no exception";
        } catch (const rtl::EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        EXPECT_TRUE(image.GetEmpty());
    }
    // The blocks are unlocked again (the last unlock reports "unlocked").
    for (const gdi::HGLOBAL h : {cut, garbage, nothing}) {
        EXPECT_NE(gdi::GlobalLock(h), nullptr);
        EXPECT_FALSE(gdi::GlobalUnlock(h));
        gdi::GlobalFree(h);
    }
}

TEST_F(ClipboardTest, AClipboardThatTakesNoBlockFailsAndHandsOutNothing) {
    const auto source = gifbridge::Build(TwoFrames());
    source->GetBitmap()->GetPalette();  // the picture's own cache is not counted
    const int bitmaps = NewBitmaps(), palettes = NewPalettes();
    gdi::CloseClipboard();
    uint16_t format = 7;
    gdi::HANDLE data = 8;
    gdi::HPALETTE palette = 9;
    try {
        source->SaveToClipboardFormat(format, data, palette);
        ADD_FAILURE() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Failed to store GIF on clipboard");
    }
    ASSERT_TRUE(gdi::OpenClipboard(0));
    EXPECT_FALSE(gdi::IsClipboardFormatAvailable(gif::CF_GIF));
    EXPECT_EQ(format, 7);
    EXPECT_EQ(data, 8u);
    EXPECT_EQ(palette, 9u);
    // Neither the block nor the bitmap form's copies are left behind.
    EXPECT_EQ(NewBitmaps(), bitmaps);
    EXPECT_EQ(NewPalettes(), palettes);
}

TEST_F(ClipboardTest, WithoutMemoryForTheBlockOnlyTheBitmapIsHandedOut) {
    const auto source = gifbridge::Build(TwoFrames());
    const size_t limit = gdi::GlobalMemoryLimit();
    gdi::SetGlobalMemoryLimit(0);
    uint16_t format = 0;
    gdi::HANDLE data = 0;
    gdi::HPALETTE palette = 0;
    source->SaveToClipboardFormat(format, data, palette);
    gdi::SetGlobalMemoryLimit(limit);
    EXPECT_EQ(format, gdi::CF_BITMAP);
    EXPECT_EQ(gdi::GetObjectType(data), gdi::OBJ_BITMAP);
    EXPECT_FALSE(gdi::IsClipboardFormatAvailable(gif::CF_GIF));
    gdi::DeleteObject(data);
    gdi::DeleteObject(palette);
}

TEST_F(ClipboardTest, AnEmptyPictureSetsNothing) {
    gif::TGIFImage empty;
    uint16_t format = 7;
    gdi::HANDLE data = 8;
    gdi::HPALETTE palette = 9;
    empty.SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, 7);
    EXPECT_EQ(data, 8u);
    EXPECT_EQ(palette, 9u);
    EXPECT_FALSE(gdi::IsClipboardFormatAvailable(gif::CF_GIF));
}

TEST(PictureAssignTo, ABitmapTakesWhatThePictureShowsAndOtherClassesAreRefused) {
    const auto source = gifbridge::Build(TwoFrames());
    vcl::TBitmap bitmap;
    bitmap.Assign(source.get());
    ASSERT_EQ(bitmap.GetWidth(), 4);
    EXPECT_EQ(Shown(bitmap, 1, 0), 0x00FF00u);
    gif::TGIFColorMap map;
    try {
        map.Assign(source.get());
        FAIL() << "no exception";
    } catch (const rtl::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TGIFImage to a TGIFColorMap");
    }
    // An empty picture empties the bitmap.
    gif::TGIFImage empty;
    bitmap.Assign(&empty);
    EXPECT_TRUE(bitmap.GetEmpty());
}

// The palette's colours, in order.
std::vector<gdi::COLORREF> PaletteColours(gdi::HPALETTE palette) {
    gdi::PALETTEENTRY entries[256];
    const unsigned n = gdi::GetPaletteEntries(palette, 0, 256, entries);
    std::vector<gdi::COLORREF> out;
    for (unsigned i = 0; i < n; ++i) out.push_back(gdi::RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue));
    return out;
}

TEST(PictureBitmap, IsFrameZerosBitmapWhenItCoversTheScreenElseFrameZeroDrawnOnTheScreenWithThePicturesPalette) {
    const std::vector<gdi::COLORREF> global = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    // Frame 0 covering the screen, and frame 0 of 2 × 2 at (1, 1) on 4 × 3.
    giforacle::Picture small = TwoFrames();
    small.Frames[0].Left = small.Frames[0].Top = 1;
    small.Frames[0].Width = small.Frames[0].Height = 2;
    small.Frames[0].Indices = {1, 2, 3, 1};
    for (const bool covers : {true, false}) {
        SCOPED_TRACE(covers ? "covers the screen" : "smaller than the screen");
        const auto image = gifbridge::Build(covers ? TwoFrames() : small);
        image->SetDrawOptions(image->GetDrawOptions() & ~gif::DrawOption(gif::goDither));
        vcl::TBitmap* bitmap = image->GetBitmap();
        ASSERT_NE(bitmap, nullptr);
        ASSERT_EQ(bitmap->GetWidth(), 4);
        ASSERT_EQ(bitmap->GetHeight(), 3);
        EXPECT_EQ(bitmap->GetPixelFormat() == vcl::pf8bit, covers);
        if (!covers) {
            EXPECT_EQ(Shown(*bitmap, 1, 1), 0x0000FFu);
            EXPECT_EQ(Shown(*bitmap, 2, 2), 0x0000FFu);
            EXPECT_EQ(Shown(*bitmap, 2, 1), 0x00FF00u);
            EXPECT_EQ(Shown(*bitmap, 0, 0), 0x000000u);  // outside frame 0
        }
        // The clipboard's bitmap form hands out the picture's palette.
        uint16_t format = 0;
        gdi::HANDLE data = 0;
        gdi::HPALETTE palette = 0;
        ASSERT_TRUE(gdi::OpenClipboard(0));
        image->SaveToClipboardFormat(format, data, palette);
        gdi::EmptyClipboard();
        gdi::CloseClipboard();
        std::vector<gdi::COLORREF> colours = PaletteColours(palette);
        colours.resize(std::min<size_t>(colours.size(), global.size()));
        EXPECT_EQ(colours, global);
        gdi::DeleteObject(data);
        gdi::DeleteObject(palette);
    }
}

// A 3 × 2 icon: red, green, let through / blue, let through, white.
gdi::HICON MakeIcon() {
    vcl::TBitmap color;
    color.SetPixelFormat(vcl::pf24bit);
    color.SetSize(3, 2);
    const gdi::COLORREF colors[6] = {0x0000FF, 0x00FF00, 0, 0xFF0000, 0, 0xFFFFFF};
    for (int i = 0; i < 6; ++i) color.GetCanvas().SetPixel(i % 3, i / 3, colors[i]);
    const uint8_t maskBits[4] = {0x20, 0x00, 0x40, 0x00};
    const gdi::HBITMAP mask = gdi::CreateBitmap(3, 2, 1, 1, maskBits);
    gdi::ICONINFO info;
    info.hbmMask = mask;
    info.hbmColor = color.GetHandle();
    const gdi::HICON icon = gdi::CreateIconIndirect(&info);
    gdi::DeleteObject(mask);
    return icon;
}

// What the frame shows at each pixel: its colour, or -1 where transparent.
std::vector<int64_t> FrameColours(gif::TGIFSubImage& frame) {
    std::vector<int64_t> out;
    const gif::TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension();
    const int t = frame.GetTransparent() && gce != nullptr ? gce->GetTransparentColorIndex() : -1;
    for (int y = 0; y < frame.GetHeight(); ++y)
        for (int x = 0; x < frame.GetWidth(); ++x) {
            const int index = frame.GetPixel(x, y);
            const gif::TGIFColor c = frame.GetActiveColorMap().GetEntry(index);
            out.push_back(index == t ? -1 : int64_t{gdi::RGB(c.Red, c.Green, c.Blue)});
        }
    return out;
}

// A picture-framework graphic (as a JPEG would be) that paints its left
// half yellow and its right half cyan.
class HalvesGraphic : public vcl::TGraphic {
public:
    static constexpr const char* kClassName = "THalvesGraphic";
    vcl::TGraphicClass ClassType() const override { return vcl::ClassOf<HalvesGraphic>(); }
    bool Empty() const override { return false; }
    int Width() const override { return 4; }
    int Height() const override { return 2; }
    void Draw(QPainter& canvas, const QRect& rect) const override {
        canvas.fillRect(QRect(rect.left(), rect.top(), rect.width() / 2, rect.height()), QColor(255, 255, 0));
        canvas.fillRect(QRect(rect.left() + rect.width() / 2, rect.top(), rect.width() / 2, rect.height()),
                        QColor(0, 255, 255));
    }
    void LoadFromStream(std::istream&) override {}
    void SaveToStream(std::ostream&) const override {}
};

TEST(FrameFromGraphic, IconsMetafilesPicturesAndPictureContainersShowWhatTheyDraw) {
    vcl::TIcon icon;
    icon.SetHandle(MakeIcon());
    vcl::TMetafile metafile;
    metafile.SetSize(4, 2);
    metafile.FillRect({0, 0, 2, 1}, 0x00FFFF);
    metafile.FillRect({3, 1, 4, 2}, 0x000000);  // black that is drawn stays black
    vcl::TPicture container;
    container.SetGraphic(std::make_unique<HalvesGraphic>());
    const auto gif = gifbridge::Build(TwoFrames());
    constexpr int64_t T = -1;
    struct Case {
        const char* name;
        const rtl::TPersistent* source;
        std::vector<int64_t> shows;
    };
    for (const Case& c : {Case{"icon", &icon, {0x0000FF, 0x00FF00, T, 0xFF0000, T, 0xFFFFFF}},
                          Case{"metafile", &metafile, {0x00FFFF, 0x00FFFF, T, T, T, T, T, 0x000000}},
                          Case{"picture container", &container,
                               {0x00FFFF, 0x00FFFF, 0xFFFF00, 0xFFFF00, 0x00FFFF, 0x00FFFF, 0xFFFF00, 0xFFFF00}},
                          Case{"GIF picture", gif.get(),
                               {0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF, 0x00FF00,
                                0xFF0000, 0x0000FF, 0x00FF00, 0xFF0000}}}) {
        SCOPED_TRACE(c.name);
        gif::TGIFImage image;
        image.SetColorReduction(gif::rmNone);
        // Assigning makes a picture of one frame (a GIF picture is copied
        // whole instead); adding appends a frame (a container is no graphic
        // to add, see below).
        if (c.source != gif.get()) {
            image.Assign(c.source);
            ASSERT_EQ(image.GetImages().GetCount(), 1);
            EXPECT_EQ(FrameColours(*image.GetImages().GetImage(0)), c.shows);
        }
        if (c.source == &container) continue;
        const int index = image.Add(c.source);
        EXPECT_EQ(FrameColours(*image.GetImages().GetImage(index)), c.shows);
    }
    // The source icon keeps its handle and the metafile its records.
    EXPECT_FALSE(icon.GetEmpty());
}

TEST(FrameFromGraphic, EmptyGraphicsGiveAnEmptyFrameAndAContainerIsNoGraphicToAdd) {
    vcl::TIcon icon;
    vcl::TMetafile metafile;
    vcl::TPicture container;
    for (const rtl::TPersistent* source : std::initializer_list<const rtl::TPersistent*>{&icon, &metafile, &container}) {
        gif::TGIFImage image;
        image.Assign(source);
        ASSERT_EQ(image.GetImages().GetCount(), 1);
        EXPECT_TRUE(image.GetImages().GetImage(0)->GetEmpty());
    }
    gif::TGIFImage image;
    try {
        image.Add(&container);
        FAIL() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Object type not supported for operation");
    }
}

}  // namespace
