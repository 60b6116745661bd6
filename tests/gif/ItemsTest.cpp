// Items and their owning lists: what is freed, what is only unlinked.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

// Counts its own destruction.
class CountedItem : public TGIFItem {
public:
    CountedItem(TGIFImage* image, int& destroyed) : TGIFItem(image), destroyed_(destroyed) {}
    ~CountedItem() override { ++destroyed_; }
    void SaveToStream(TStream& stream) override { WriteByteToStream(stream, 'i'); }

private:
    int& destroyed_;
};

class PlainList : public TGIFList {
public:
    using TGIFList::TGIFList;
};

}  // namespace

TEST(Items, ListOwnsWhatItDeletesAndUnlinksWhatItRemoves) {
    TGIFImage image;
    int destroyed = 0;
    {
        PlainList list(&image);
        list.Clear();
        auto* a = new CountedItem(&image, destroyed);
        auto* b = new CountedItem(&image, destroyed);
        auto* c = new CountedItem(&image, destroyed);
        list.Add(a);
        list.Add(b);
        list.Add(c);
        rtl::TMemoryStream stream;
        list.SaveToStream(stream);
        EXPECT_EQ(stream.Bytes(), Text("iii"));

        CountedItem stranger(&image, destroyed);
        EXPECT_EQ(list.Remove(&stranger), -1);
        EXPECT_EQ(list.Remove(b), 1);
        EXPECT_EQ(destroyed, 0);
        delete b;
        EXPECT_EQ(destroyed, 1);

        list.Exchange(0, 1);
        EXPECT_EQ(list.First(), c);
        list.Move(0, 1);
        EXPECT_EQ(list.Last(), c);
        EXPECT_THROW(list.GetItem(2), rtl::EListError);
        EXPECT_THROW(list.Delete(-1), rtl::EListError);
        list.Delete(0);
        EXPECT_EQ(destroyed, 2);
        EXPECT_EQ(list.GetCount(), 1);
    }
    // The list's destruction freed c; the stranger went out of scope.
    EXPECT_EQ(destroyed, 4);
}

TEST(Items, FramesAndExtensionsUnlinkThemselves) {
    TGIFImage image;
    auto* frame = new TGIFSubImage(&image);
    image.Add(frame);
    auto* comment = new TGIFCommentExtension(frame);
    frame->GetExtensions().Add(comment);
    auto* gce = new TGIFGraphicControlExtension(frame);
    frame->GetExtensions().Add(gce);
    EXPECT_EQ(frame->GetGraphicControlExtension(), gce);
    gce->SetTransparent(true);
    EXPECT_TRUE(frame->GetTransparent());

    delete gce;
    EXPECT_EQ(frame->GetExtensions().GetCount(), 1);
    EXPECT_EQ(frame->GetGraphicControlExtension(), nullptr);
    EXPECT_FALSE(frame->GetTransparent());

    frame->GetExtensions().Delete(0);  // unlinks before freeing
    EXPECT_EQ(frame->GetExtensions().GetCount(), 0);
    delete frame;
    EXPECT_EQ(image.GetImages().GetCount(), 0);
}
