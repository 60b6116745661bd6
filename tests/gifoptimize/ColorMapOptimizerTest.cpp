// The colour-map optimiser: one global table for the whole picture.
#include <gtest/gtest.h>

#include "OptimizeTestSupport.h"

namespace {

using giforacle::Frame;
using giforacle::Picture;
using giforacle::Rgb;
using namespace gifopttest;

Frame WithTable(Frame f, std::vector<Rgb> table) {
    f.LocalPalette = std::move(table);
    return f;
}

TEST(ColorMapOptimizer, RedInTwoLocalTablesBecomesOneGlobalEntry) {
    const Rgb red{255, 0, 0}, blue{0, 0, 255}, green{0, 255, 0};
    Picture p;
    p.Width = 3;
    p.Height = 1;
    p.Frames.push_back(WithTable(Pixels(0, 0, 3, 1, {0, 1, 0}), {red, blue}));
    p.Frames.push_back(WithTable(Pixels(0, 0, 3, 1, {1, 1, 0}, 1, 5), {green, red}));
    auto image = gifbridge::Build(p);
    image->OptimizeColorMap();
    EXPECT_EQ(image->GetGlobalColorMap().GetCount(), 3);
    EXPECT_TRUE(image->GetGlobalColorMap().GetOptimized());
    // Red is shown four times: the most used colour comes first.
    EXPECT_EQ(image->GetGlobalColorMap().GetEntry(0), ColorOf(red));
    for (int i = 0; i < 2; ++i) EXPECT_EQ(image->GetImages().GetImage(i)->GetColorMap().GetCount(), 0);
    EXPECT_EQ(Indices(*image->GetImages().GetImage(0))[0], 0);
    EXPECT_EQ(Indices(*image->GetImages().GetImage(1))[0], 0);
    EXPECT_EQ(ShownColor(*image->GetImages().GetImage(1), 2), ColorOf(green));
}

TEST(ColorMapOptimizer, ColoursBeyondTheTableTakeTheNearestKeptColour) {
    // 256 colours in the global table, each shown twice or more, and one
    // more shown once in a local table: it is the one left out.  Green
    // (0, 250, 0) lies nearest to (0, 200, 0); a summed signed difference
    // would have called red (255, 0, 0) nearer.
    Picture p;
    p.Width = 16;
    p.Height = 32;
    for (int i = 0; i < 256; ++i) p.GlobalPalette.push_back({static_cast<uint8_t>(i), 0, 17});
    p.GlobalPalette[0] = {255, 0, 0};
    p.GlobalPalette[1] = {0, 200, 0};
    std::vector<uint8_t> twice(512);
    for (size_t i = 0; i < twice.size(); ++i) twice[i] = static_cast<uint8_t>(i / 2);
    p.Frames.push_back(Pixels(0, 0, 16, 32, twice));
    p.Frames.push_back(WithTable(Pixels(0, 0, 1, 1, {0}, 1, 5), {{0, 250, 0}}));
    auto image = gifbridge::Build(p);
    image->OptimizeColorMap();
    EXPECT_EQ(image->GetGlobalColorMap().GetCount(), 256);
    EXPECT_EQ(ShownColor(*image->GetImages().GetImage(1), 0), (gif::TGIFColor{0, 200, 0}));
    for (int i = 0; i < 512; ++i) ASSERT_EQ(ShownColor(*image->GetImages().GetImage(0), i), ColorOf(p.GlobalPalette[i / 2]));
}

TEST(ColorMapOptimizer, AShownTransparentIndexLeaves255ColoursAndBecomesTheLastBlackEntry) {
    Picture p;
    p.Width = 16;
    p.Height = 16;
    p.GlobalPalette = gifopt::Palette(256, 4);
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    p.Frames.push_back(Pixels(0, 0, 16, 16, all, 1, 5, 7));
    p.Frames.push_back(Pixels(0, 0, 2, 1, {9, 9}, 1, 5, 8));  // never shows 8
    auto image = gifbridge::Build(p);
    image->OptimizeColorMap();
    const gif::TGIFColorMap& table = image->GetGlobalColorMap();
    ASSERT_EQ(table.GetCount(), 256);
    EXPECT_EQ(table.GetEntry(255), (gif::TGIFColor{0, 0, 0}));
    gif::TGIFSubImage& first = *image->GetImages().GetImage(0);
    EXPECT_TRUE(first.GetTransparent());
    EXPECT_EQ(first.GetGraphicControlExtension()->GetTransparentColorIndex(), 255);
    EXPECT_EQ(Indices(first)[7], 255);
    EXPECT_FALSE(image->GetImages().GetImage(1)->GetTransparent());
}

TEST(ColorMapOptimizer, APixelBeyondItsTableBecomesColourZeroWithOneWarningPerFrame) {
    Picture p;
    p.Width = 4;
    p.Height = 1;
    const std::vector<Rgb> table = gifopt::Palette(4, 6);
    p.Frames.push_back(WithTable(Pixels(0, 0, 4, 1, {9, 1, 9, 9}), table));
    p.Frames.push_back(WithTable(Pixels(0, 0, 4, 1, {2, 2, 2, 12}, 1, 5), table));
    auto image = gifbridge::Build(p);
    std::vector<std::string> warnings;
    image->SetOnGIFWarning([&](rtl::TObject*, gif::TGIFSeverity, const std::string& m) { warnings.push_back(m); });
    image->OptimizeColorMap();
    EXPECT_EQ(warnings, (std::vector<std::string>{"Color not in color table", "Color not in color table"}));
    EXPECT_EQ(ShownColor(*image->GetImages().GetImage(0), 0), ColorOf(table[0]));
    EXPECT_EQ(ShownColor(*image->GetImages().GetImage(1), 3), ColorOf(table[0]));
}

TEST(ColorMapOptimizer, AColourOfTheGlobalAndALocalTableBecomesOneEntryWithBothCounts) {
    Picture p = Screen(4, 1, 4);
    p.Background = 1;
    const Rgb shared = p.GlobalPalette[2];
    p.Frames.push_back(Pixels(0, 0, 4, 1, {2, 1, 1, 3}));
    p.Frames.push_back(WithTable(Pixels(0, 0, 4, 1, {0, 0, 1, 1}, 1, 5), {shared, p.GlobalPalette[3]}));
    auto image = gifbridge::Build(p);
    image->OptimizeColorMap();
    // Shared: 1 + 2, colour 1: 2, colour 3: 1 + 2.
    EXPECT_EQ(image->GetGlobalColorMap().GetCount(), 3);
    EXPECT_EQ(Indices(*image->GetImages().GetImage(0))[0], Indices(*image->GetImages().GetImage(1))[0]);
    EXPECT_LT(Indices(*image->GetImages().GetImage(1))[0], 2);
}

TEST(ColorMapOptimizer, APictureWithNothingShownStaysAsItIs) {
    Picture p = Screen(2, 1, 4);
    p.Frames.push_back(Pixels(0, 0, 2, 1, {3, 3}, 1, 5, 3));
    auto image = gifbridge::Build(p);
    gif::TGIFImage empty;
    EXPECT_NO_THROW(empty.OptimizeColorMap());
    image->OptimizeColorMap();
    EXPECT_EQ(image->GetGlobalColorMap().GetCount(), 4);
    EXPECT_FALSE(image->GetGlobalColorMap().GetOptimized());
    EXPECT_EQ(Indices(*image->GetImages().GetImage(0)), (std::vector<uint8_t>{3, 3}));
}

TEST(ColorMapOptimizer, TheBackgroundAndTextColoursKeepTheirColours) {
    Picture p = Screen(2, 1, 8);
    p.Background = 5;
    p.Frames.push_back(Pixels(0, 0, 2, 1, {1, 2}));
    auto image = gifbridge::Build(p);
    auto* text = &image->GetImages().GetImage(0)->GetExtensions().Adopt(std::make_unique<gif::TGIFTextExtension>());
    text->SetColorIndex(1, 6);
    text->SetColorIndex(2, 2);
    image->OptimizeColorMap();
    const gif::TGIFColorMap& table = image->GetGlobalColorMap();
    EXPECT_EQ(table.GetCount(), 4);
    EXPECT_EQ(table.GetEntry(image->GetBackgroundColorIndex()), ColorOf(p.GlobalPalette[5]));
    EXPECT_EQ(table.GetEntry(text->GetColorIndex(1)), ColorOf(p.GlobalPalette[6]));
    EXPECT_EQ(table.GetEntry(text->GetColorIndex(2)), ColorOf(p.GlobalPalette[2]));
}

}  // namespace
