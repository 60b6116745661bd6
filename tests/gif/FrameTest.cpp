// Frames: bounds and their pixel store, pixel access, and the frame's own
// reading and writing.
#include <gtest/gtest.h>

#include <functional>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

using Fixture = OneFramePicture;

}  // namespace

TEST(Frame, BoundsReallocateThePixelStoreAndGrowThePicture) {
    Fixture f;
    f.frame->SetWidth(4);
    EXPECT_EQ(f.frame->GetDataSize(), 0u);
    f.frame->SetHeight(3);
    EXPECT_EQ(f.frame->GetDataSize(), 12u);
    // Growing a picture of size 0 gives no warning.
    EXPECT_TRUE(f.log.entries.empty());
    EXPECT_EQ(f.image.GetWidth(), 4);
    EXPECT_EQ(f.image.GetHeight(), 3);
    f.frame->GetData()[5] = 9;
    // Beyond a picture that has a size: warnings, and the picture grows.
    f.frame->SetWidth(5);
    EXPECT_EQ(FramePixels(*f.frame), Bytes(15, 0));
    EXPECT_EQ(f.log.Messages(), (std::vector<std::string>{"Image width too small for contained frames",
                                                         "Image exceeds Logical Screen size"}));
    f.log.entries.clear();
    f.frame->SetTop(1);
    EXPECT_EQ(f.log.Messages(), (std::vector<std::string>{"Image height too small for contained frames",
                                                         "Image exceeds Logical Screen size"}));
    EXPECT_EQ(f.image.GetWidth(), 5);
    EXPECT_EQ(f.image.GetHeight(), 4);
    // Moving does not reallocate.
    EXPECT_EQ(f.frame->GetDataSize(), 15u);
    const TGIFSubImage::TRect rect = f.frame->GetBoundsRect();
    f.frame->SetBoundsRect(rect);
    EXPECT_EQ(f.frame->GetWidth(), 6);
    EXPECT_EQ(f.frame->GetHeight(), 4);
}

// Bounds are 16-bit fields and a frame ends within the largest screen: what
// would be cut to 16 bits or wrap the screen's size is refused and changes
// nothing.
TEST(Frame, BoundsThatWouldWrapAreRefused) {
    struct Case {
        const char* name;
        std::function<void(TGIFSubImage&)> change;
    };
    const std::vector<Case> cases = {
        {"moved right past 65535", [](TGIFSubImage& f) { f.SetLeft(65500); }},
        {"moved down past 65535", [](TGIFSubImage& f) { f.SetTop(65534); }},
        {"wider than 65535", [](TGIFSubImage& f) { f.SetWidth(65536); }},
        {"left of 0", [](TGIFSubImage& f) { f.SetLeft(-1); }},
        {"negative height", [](TGIFSubImage& f) { f.SetHeight(-2); }},
        {"right before left", [](TGIFSubImage& f) { f.SetBoundsRect({5, 0, 2, 1}); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.frame->DoSetBounds(0, 0, 100, 2);
        f.frame->GetData()[7] = 3;
        ExpectGIFError([&] { c.change(*f.frame); }, "Invalid image dimensions");
        EXPECT_EQ(f.frame->GetBoundsRect(), (TGIFSubImage::TRect{0, 0, 100, 2}));
        EXPECT_EQ(f.frame->GetData()[7], 3);
        EXPECT_EQ(f.image.GetWidth(), 100);
        EXPECT_EQ(f.image.GetHeight(), 2);
    }
    Fixture edge;
    edge.frame->DoSetBounds(65435, 0, 100, 1);
    EXPECT_EQ(edge.image.GetWidth(), 65535);
    ExpectGIFError([&] { edge.image.SetWidth(65536); }, "Invalid image dimensions");
    TGIFImage empty;
    ExpectGIFError([&] { empty.SetHeight(-1); }, "Invalid image dimensions");
    EXPECT_EQ(empty.GetHeight(), 0);
}

TEST(Frame, PixelAccessIsChecked) {
    Fixture f;
    f.frame->DoSetBounds(0, 0, 3, 2);
    f.frame->GetColorMap().Add(0);
    f.frame->GetColorMap().Add(0xFFFFFF);
    f.frame->SetPixel(2, 1, 1);
    EXPECT_EQ(f.frame->GetPixel(2, 1), 1);
    struct Case {
        int x, y, index;
        const char* error;
    };
    const Case cases[] = {{3, 0, 0, "Invalid pixel coordinates"}, {0, 2, 0, "Invalid pixel coordinates"},
                          {-1, 0, 0, "Invalid pixel coordinates"}, {0, 0, 2, "Invalid color index"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.x << "," << c.y);
        ExpectGIFError([&] { f.frame->SetPixel(c.x, c.y, c.index); }, c.error);
    }
    Fixture empty;
    empty.frame->SetWidth(3);
    EXPECT_THROW(empty.frame->GetScanline(0), GIFException);
}

TEST(Frame, OversizedDescriptorIsRefusedBeforeAllocating) {
    // 65535 × 65535 pixels from a 30-byte file: refused, not allocated.
    const Bytes gif = Concat({Header(10, 10, 2), Descriptor(0, 0, 0xFFFF, 0xFFFF), {0x02, 0x01, 0x44, 0x00, 0x3B}});
    TGIFImage image;
    rtl::TMemoryStream stream = StreamOf(gif);
    ExpectGIFError([&] { image.LoadFromStream(stream); }, "Invalid image dimensions");
    const uint64_t saved = GIFImageMaxFramePixels;
    GIFImageMaxFramePixels = 99;
    Fixture f;
    EXPECT_THROW(f.frame->DoSetBounds(0, 0, 10, 10), GIFException);
    f.frame->DoSetBounds(0, 0, 9, 11);
    EXPECT_EQ(f.frame->GetDataSize(), 99u);
    GIFImageMaxFramePixels = saved;
}

TEST(Frame, ZeroSizedDescriptorTakesThePictureSize) {
    const Bytes pixels = NoisePixels(12, 4, 3);
    const Bytes gif = Concat({Header(4, 3, 4), Descriptor(0, 0, 0, 3), ImageData(ReferenceLZW(pixels, 2)), {0x3B}});
    TGIFImage image;
    WarningLog log;
    log.Attach(image);
    rtl::TMemoryStream stream = StreamOf(gif);
    image.LoadFromStream(stream);
    ASSERT_EQ(image.GetImages().GetCount(), 1);
    EXPECT_EQ(image.GetImages().GetImage(0)->GetWidth(), 4);
    EXPECT_EQ(FramePixels(*image.GetImages().GetImage(0)), pixels);
    EXPECT_EQ(log.Messages(), std::vector<std::string>{"Image exceeds Logical Screen size"});
}

// A frame that belongs to no picture saves, loads and warns (to nobody)
// without a picture to ask.
TEST(Frame, AFrameOnItsOwnSavesAndLoads) {
    for (int colors : {0, 4}) {
        SCOPED_TRACE(colors);
        // Without a table the codes are 8 bits wide and keep any index.
        const Bytes pixels = NoisePixels(15, colors > 0 ? colors : 256, 5);
        TGIFSubImage frame;
        for (int i = 0; i < colors; ++i) frame.GetColorMap().Add(static_cast<TColor>(i * 0x40));
        frame.DoSetBounds(2, 1, 5, 3);
        std::copy(pixels.begin(), pixels.end(), frame.GetData());
        frame.GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>()).GetText().push_back("alone");
        rtl::TMemoryStream stream;
        frame.SaveToStream(stream);
        stream.SetPosition(0);
        TGIFSubImage again;
        again.LoadFromStream(stream);
        EXPECT_EQ(stream.GetPosition(), stream.GetSize());
        EXPECT_EQ(again.GetBoundsRect(), frame.GetBoundsRect());
        EXPECT_EQ(FramePixels(again), pixels);
        EXPECT_EQ(again.GetColorMap().GetCount(), colors);
        EXPECT_EQ(again.GetExtensions().GetCount(), 1);
    }
    // A descriptor of size 0 has no logical screen to take the size from.
    const Bytes block = Concat({Descriptor(0, 0, 0, 0, 0x81), ColorTable(4), ImageData(ReferenceLZW({1, 2}, 2))});
    rtl::TMemoryStream stream = StreamOf(block);
    TGIFSubImage empty;
    empty.LoadFromStream(stream);
    EXPECT_EQ(stream.GetPosition(), stream.GetSize());
    EXPECT_EQ(empty.GetWidth(), 0);
    EXPECT_EQ(empty.GetHeight(), 0);
    EXPECT_TRUE(empty.GetEmpty());
    // Its table's warnings have nobody to reach.
    EXPECT_EQ(empty.GetColorMap().GetColor(7), empty.GetColorMap().GetColor(0));
}

TEST(Frame, InterlacedFrameWithLocalTableSavesItsFlags) {
    Fixture f;
    for (int i = 0; i < 5; ++i) f.frame->GetColorMap().Add(static_cast<TColor>(i));
    f.frame->DoSetBounds(0, 0, 3, 5);
    f.frame->SetInterlaced(true);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) f.frame->SetPixel(x, y, y);
    rtl::TMemoryStream stream;
    f.frame->SaveToStream(stream);
    EXPECT_EQ(stream.Bytes()[9], 0x80 | 0x40 | 2);
    TGIFImage again;
    rtl::TMemoryStream saved = StreamOf(SaveBytes(f.image));
    again.LoadFromStream(saved);
    EXPECT_EQ(FramePixels(*again.GetImages().GetImage(0)), FramePixels(*f.frame));
    EXPECT_TRUE(again.GetImages().GetImage(0)->GetInterlaced());
}

TEST(Frame, VersionFromOptimizedMapOrExtensions) {
    Fixture f;
    EXPECT_EQ(f.frame->GetVersion(), gv87a);
    f.frame->GetColorMap().SetOptimized(true);
    EXPECT_EQ(f.frame->GetVersion(), gv89a);
    Fixture g;
    g.frame->GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>());
    EXPECT_EQ(g.frame->GetVersion(), gv89a);
}

// The frame's palette and transparency mask are graphics handles of its own:
// clearing the frame and destroying it give them back.
TEST(Frame, ClearAndTheEndReleaseThePaletteAndTheMask) {
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "cleared");
        const gdi::ObjectCounts before = gdi::LiveObjects();
        {
            Fixture f;
            f.frame->DoSetBounds(0, 0, 2, 2);
            f.frame->GetColorMap().Add(0xFF0000);
            f.frame->GetColorMap().Add(0x00FF00);
            f.frame->GetData()[1] = 1;
            auto* gce = &f.frame->GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
            gce->SetTransparent(true);
            gce->SetTransparentColorIndex(1);
            ASSERT_NE(f.frame->GetPalette(), 0u);
            ASSERT_TRUE(f.frame->HasMask());
            ASSERT_NE(f.frame->GetMask(), 0u);
            const gdi::ObjectCounts held = gdi::LiveObjects();
            EXPECT_GT(held.Palettes, before.Palettes);
            EXPECT_GT(held.Bitmaps, before.Bitmaps);
            if (destroy) {
                f.image.GetImages().Delete(0);
            } else {
                f.frame->Clear();
                EXPECT_EQ(f.frame->GetMask(), 0u);
            }
            const gdi::ObjectCounts after = gdi::LiveObjects();
            EXPECT_EQ(after.Palettes, before.Palettes);
            EXPECT_EQ(after.Bitmaps, before.Bitmaps);
        }
    }
}

// A frame assigned one that reaches beyond its picture's screen grows the
// screen, as moving or sizing it there does: the saved file's screen holds
// the frame, a reload gives the same screen and saves the same bytes, and
// the frame is drawn within the picture's rectangle.
TEST(Frame, AssignedALargerFrameGrowsItsPicture) {
    Fixture f;
    for (TColor colour : {0x000000u, 0x0000FFu, 0x00FF00u, 0xFF0000u}) f.image.GetGlobalColorMap().Add(colour);
    f.frame->DoSetBounds(0, 0, 4, 4);
    f.log.entries.clear();
    TGIFSubImage source;
    for (TColor colour : {0x112233u, 0x445566u}) source.GetColorMap().Add(colour);
    source.DoSetBounds(2, 3, 8, 7);
    const Bytes pixels = NoisePixels(56, 2, 9);
    std::copy(pixels.begin(), pixels.end(), source.GetData());

    f.frame->Assign(&source);
    EXPECT_EQ(f.frame->GetBoundsRect(), (TGIFSubImage::TRect{2, 3, 10, 10}));
    EXPECT_EQ(FramePixels(*f.frame), pixels);
    EXPECT_EQ(f.image.GetWidth(), 10);
    EXPECT_EQ(f.image.GetHeight(), 10);
    EXPECT_EQ(f.log.Messages(), (std::vector<std::string>{"Image width too small for contained frames",
                                                         "Image height too small for contained frames",
                                                         "Image exceeds Logical Screen size"}));
    const TGIFSubImage::TRect drawn = f.frame->ScaleRect({0, 0, 10, 10});
    EXPECT_EQ(drawn, (TGIFSubImage::TRect{2, 3, 10, 10}));

    const Bytes saved = SaveBytes(f.image);
    EXPECT_EQ(Bytes(saved.begin() + 6, saved.begin() + 10), (Bytes{10, 0, 10, 0}));
    TGIFImage again;
    rtl::TMemoryStream stream = StreamOf(saved);
    again.LoadFromStream(stream);
    EXPECT_EQ(again.GetWidth(), 10);
    EXPECT_EQ(again.GetHeight(), 10);
    EXPECT_EQ(SaveBytes(again), saved);
}
