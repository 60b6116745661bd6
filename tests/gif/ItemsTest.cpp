// Items and their owning lists: who owns what, what is freed, what is handed
// back.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

// Counts its own destruction.
class CountedItem : public TGIFItem {
public:
    explicit CountedItem(int& destroyed) : destroyed_(destroyed) {}
    ~CountedItem() override { ++destroyed_; }
    void SaveToStream(TStream& stream) override { WriteByteToStream(stream, 'i'); }

private:
    int& destroyed_;
};

using PlainList = TGIFItemList<CountedItem>;

std::unique_ptr<TGIFGraphicControlExtension> Control(bool transparent, int index, int disposal = dmNone) {
    auto gce = std::make_unique<TGIFGraphicControlExtension>();
    gce->SetTransparent(transparent);
    gce->SetTransparentColorIndex(index);
    gce->SetDisposal(static_cast<TDisposalMethod>(disposal));
    return gce;
}

}  // namespace

TEST(Items, ListFreesWhatItDeletesAndHandsBackWhatItReleases) {
    int destroyed = 0;
    std::unique_ptr<CountedItem> kept;
    {
        PlainList list(nullptr);
        list.Clear();
        auto* a = &list.Adopt(std::make_unique<CountedItem>(destroyed));
        EXPECT_EQ(list.Add(std::make_unique<CountedItem>(destroyed)), 1);
        CountedItem* b = list.GetItem(1);
        auto* c = &list.Adopt(std::make_unique<CountedItem>(destroyed));
        rtl::TMemoryStream stream;
        list.SaveToStream(stream);
        EXPECT_EQ(stream.Bytes(), Text("iii"));

        // Taken out, not freed: the caller owns it now.
        CountedItem stranger(destroyed);
        TGIFRemoved<CountedItem> none = list.Remove(stranger);
        EXPECT_EQ(none.Index, -1);
        EXPECT_EQ(none.Item, nullptr);
        EXPECT_EQ(list.Release(stranger), nullptr);
        TGIFRemoved<CountedItem> removed = list.Remove(*b);
        EXPECT_EQ(removed.Index, 1);
        EXPECT_EQ(removed.Item.get(), b);
        EXPECT_EQ(destroyed, 0);
        removed.Item.reset();
        EXPECT_EQ(destroyed, 1);

        list.Exchange(0, 1);
        EXPECT_EQ(list.First(), c);
        list.Move(0, 1);
        EXPECT_EQ(list.Last(), c);
        EXPECT_THROW(list.GetItem(2), rtl::EListError);
        EXPECT_THROW(list.Delete(-1), rtl::EListError);
        EXPECT_THROW(list.Insert(3, std::make_unique<CountedItem>(destroyed)), rtl::EListError);
        EXPECT_EQ(destroyed, 2);  // the refused item was the caller's to free

        // Replacing hands the old item back instead of dropping it.
        std::unique_ptr<CountedItem> replaced = list.SetItem(0, std::make_unique<CountedItem>(destroyed));
        EXPECT_EQ(replaced.get(), a);
        EXPECT_EQ(list.GetCount(), 2);
        replaced.reset();
        EXPECT_EQ(destroyed, 3);

        list.Delete(0);
        EXPECT_EQ(destroyed, 4);
        kept = list.Release(*c);
        EXPECT_EQ(list.GetCount(), 0);
        list.Adopt(std::make_unique<CountedItem>(destroyed));
    }
    // The list's end freed what it still held and the stranger went out of
    // scope; what was released lives on.
    EXPECT_EQ(destroyed, 6);
    kept.reset();
    EXPECT_EQ(destroyed, 7);
}

TEST(Items, AdoptSetsTheOwnerAndReleaseClearsIt) {
    TGIFImage image;
    std::unique_ptr<TGIFSubImage> frame = std::make_unique<TGIFSubImage>();
    EXPECT_EQ(frame->GetImage(), nullptr);
    TGIFSubImage& adopted = image.GetImages().Adopt(std::move(frame));
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(adopted.GetImage(), &image);

    auto& comment = adopted.GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>());
    EXPECT_EQ(comment.GetSubImage(), &adopted);
    EXPECT_EQ(comment.GetImage(), &image);
    EXPECT_EQ(adopted.GetExtensions().GetImage(), &image);

    std::unique_ptr<TGIFExtension> extension = adopted.GetExtensions().Release(comment);
    EXPECT_EQ(extension->GetSubImage(), nullptr);
    EXPECT_EQ(extension->GetImage(), nullptr);
    frame = image.GetImages().Release(adopted);
    EXPECT_EQ(frame->GetImage(), nullptr);
    EXPECT_EQ(frame->GetExtensions().GetImage(), nullptr);
    EXPECT_EQ(image.GetImages().GetCount(), 0);

    // On its own an extension has no colour table: an index is kept as it
    // is, a colour cannot be looked up.
    auto text = std::make_unique<TGIFTextExtension>();
    ExpectGIFError([&] { text->GetForegroundColor(); }, "No global or local color table defined");
    ExpectGIFError([&] { text->SetBackgroundColor(0xFFFFFF); }, "No global or local color table defined");
    auto gce = Control(true, 200);
    EXPECT_EQ(gce->GetTransparentColorIndex(), 200);
    ExpectGIFError([&] { gce->GetTransparentColor(); }, "No global or local color table defined");
}

TEST(Items, DestructionOrderDoesNotMatter) {
    // Each piece freed before, or after, what it belonged to; the sanitizer
    // build sees any touch of freed memory.
    std::unique_ptr<TGIFSubImage> frame;
    std::unique_ptr<TGIFExtension> extension;
    {
        auto image = std::make_unique<TGIFImage>();
        auto& first = image->GetImages().Adopt(std::make_unique<TGIFSubImage>());
        first.DoSetBounds(0, 0, 4, 4);
        first.GetExtensions().Adopt(Control(true, 0));
        first.GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>());
        auto& second = image->GetImages().Adopt(std::make_unique<TGIFSubImage>());
        second.DoSetBounds(1, 1, 2, 2);
        second.GetExtensions().Adopt(std::make_unique<TGIFAppExtNSLoop>());
        extension = first.GetExtensions().Release(*first.GetExtensions().GetExtension(1));
        frame = image->GetImages().Release(second);
        EXPECT_EQ(image->GetPixelCount(), 16u);
        image.reset();  // the first frame and its control extension go with it
    }
    EXPECT_EQ(frame->GetDataSize(), 4u);
    frame->SetWidth(3);  // no picture to grow or to count the pixels against
    EXPECT_EQ(frame->GetDataSize(), 6u);
    frame.reset();
    EXPECT_EQ(extension->GetSubImage(), nullptr);
    extension.reset();
}

TEST(Items, TheControlExtensionIsTheFrameFirst) {
    OneFramePicture f;
    f.frame->GetColorMap().Add(0);
    f.frame->GetColorMap().Add(0xFFFFFF);
    f.frame->GetExtensions().Adopt(std::make_unique<TGIFCommentExtension>());
    EXPECT_EQ(f.frame->GetGraphicControlExtension(), nullptr);
    EXPECT_FALSE(f.frame->GetTransparent());

    auto& opaque = f.frame->GetExtensions().Adopt(Control(false, 0));
    auto& transparent = f.frame->GetExtensions().Adopt(Control(true, 1));
    EXPECT_EQ(f.frame->GetGraphicControlExtension(), &opaque);
    EXPECT_FALSE(f.frame->GetTransparent());
    EXPECT_EQ(f.frame->GetTransparentIndex(), -1);

    // The one behind it takes over when it goes; no frame cache to keep in
    // step.
    f.frame->GetExtensions().Release(opaque);
    EXPECT_EQ(f.frame->GetGraphicControlExtension(), &transparent);
    EXPECT_TRUE(f.frame->GetTransparent());
    EXPECT_EQ(f.frame->GetTransparentIndex(), 1);
    EXPECT_TRUE(f.image.GetIsTransparent());
    transparent.SetTransparent(false);
    EXPECT_FALSE(f.frame->GetTransparent());
    f.frame->GetExtensions().Clear();
    EXPECT_EQ(f.frame->GetGraphicControlExtension(), nullptr);
}

TEST(Items, WhetherAFrameIsDrawn) {
    struct Case {
        const char* name;
        bool control;
        int disposal;
        bool drawn;
    };
    const Case cases[] = {
        {"no control extension", false, 0, true}, {"none", true, dmNone, true},
        {"background", true, dmBackground, true}, {"previous", true, dmPrevious, true},
        {"4", true, 4, false},                    {"7", true, 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OneFramePicture f;
        if (c.control) f.frame->GetExtensions().Adopt(Control(false, 0, c.disposal));
        EXPECT_EQ(f.frame->IsDrawn(), c.drawn);
        EXPECT_EQ(TGIFSubImage::IsDrawnDisposal(c.disposal), c.drawn || !c.control);
    }
}
