// Colour tables: capacity, editing, lookups, saving and reordering by use.
#include <gtest/gtest.h>

#include "GifTestSupport.h"

using namespace giftest;
using namespace gif;

namespace {

struct Fixture : OneFramePicture {
    TGIFColorMap& map() { return frame->GetColorMap(); }
};

}  // namespace

TEST(ColorMap, CapacityGrowsInSteps) {
    Fixture f;
    std::vector<int> capacities;
    for (int i = 0; i < 256; ++i) {
        f.map().Add(static_cast<TColor>(i));
        if (capacities.empty() || capacities.back() != f.map().GetCapacity()) capacities.push_back(f.map().GetCapacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{16, 32, 64, 96, 128, 160, 192, 224, 256}));
    ExpectGIFError([&] { f.map().Add(0x123456); }, "Color table overflow");
    EXPECT_EQ(f.map().AddUnique(7), 7);
}

TEST(ColorMap, IndexOfDependsOnTheSortedFlag) {
    Fixture f;
    for (TColor c : {1u, 2u, 9u, 4u, 5u, 9u}) f.map().Add(c);
    EXPECT_EQ(f.map().IndexOf(9), 5);
    f.map().SetOptimized(true);
    EXPECT_EQ(f.map().IndexOf(9), 2);
    EXPECT_EQ(f.map().IndexOf(77), -1);
}

TEST(ColorMap, SaveWritesPowerOfTwoEntries) {
    const std::pair<int, size_t> cases[] = {{0, 0}, {2, 6}, {3, 12}, {5, 24}, {129, 768}};
    for (auto [count, bytes] : cases) {
        Fixture f;
        for (int i = 0; i < count; ++i) f.map().Add(0xFFFFFF);
        rtl::TMemoryStream stream;
        f.map().SaveToStream(stream);
        ASSERT_EQ(stream.Bytes().size(), bytes) << count;
        if (count == 5) {
            EXPECT_EQ(Bytes(stream.Bytes().begin() + 15, stream.Bytes().end()), Bytes(9, 0));
        }
    }
}

TEST(ColorMap, BadIndexes) {
    Fixture f;
    ExpectGIFError([&] { f.map().GetColor(-1); }, "Color table is empty");
    EXPECT_EQ(f.log.Messages(), std::vector<std::string>{"Invalid color index"});
    f.map().Add(0x112233);
    f.map().Add(0x445566);
    EXPECT_EQ(f.map().GetColor(7), 0x112233u);
    EXPECT_THROW(f.map().SetColor(2, 0), GIFException);
    EXPECT_THROW(f.map().Delete(2), GIFException);
    f.map().Delete(0);
    EXPECT_EQ(f.map().GetColor(0), 0x445566u);
}

TEST(ColorMap, OptimizeOrdersByUseAndDropsUnused) {
    Fixture f;
    for (TColor c : {0x10u, 0x20u, 0x30u, 0x40u}) f.map().Add(c);
    f.frame->DoSetBounds(0, 0, 6, 1);
    const Bytes pixels{2, 2, 2, 0, 2, 0};
    std::copy(pixels.begin(), pixels.end(), f.frame->GetData());
    auto* gce = &f.frame->GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
    gce->SetTransparent(true);
    gce->SetTransparentColorIndex(0);
    EXPECT_TRUE(f.map().Optimize());
    EXPECT_EQ(f.map().GetCount(), 2);
    EXPECT_EQ(f.map().GetColor(0), 0x30u);
    EXPECT_EQ(f.map().GetColor(1), 0x10u);
    EXPECT_EQ(FramePixels(*f.frame), (Bytes{0, 0, 0, 1, 0, 1}));
    EXPECT_EQ(gce->GetTransparentColorIndex(), 1);
    EXPECT_TRUE(f.map().GetOptimized());

    // Already in order of use: true, and unused colours stay.
    Fixture g;
    for (TColor c : {0x10u, 0x20u, 0x30u}) g.map().Add(c);
    g.frame->DoSetBounds(0, 0, 3, 1);
    const Bytes ordered{0, 0, 1};
    std::copy(ordered.begin(), ordered.end(), g.frame->GetData());
    EXPECT_TRUE(g.map().Optimize());
    EXPECT_EQ(g.map().GetCount(), 3);
}

TEST(ColorMap, ImportAndAssign) {
    Fixture f;
    TColorMap colors{};
    f.map().ImportColorMap(colors, 0);
    EXPECT_EQ(f.map().GetCount(), 0);
    colors[0] = {1, 2, 3};
    colors[1] = {4, 5, 6};
    f.map().ImportColorMap(colors, 2);
    EXPECT_EQ(f.map().GetColor(1), 0x060504u);
    const uint8_t quads[] = {3, 2, 1, 0, 30, 20, 10, 0};
    f.map().ImportColorTable(quads, 2);
    EXPECT_EQ(f.map().GetEntry(1), (TGIFColor{10, 20, 30}));
    for (int i = 0; i < 20; ++i) f.map().Add(static_cast<TColor>(i));
    f.map().SetOptimized(true);
    TGIFColorMap& other = f.image.GetGlobalColorMap();
    other.Assign(&f.map());
    EXPECT_EQ(other.GetCount(), 22);
    EXPECT_EQ(other.GetCapacity(), 32);
    EXPECT_TRUE(other.GetOptimized());
}
