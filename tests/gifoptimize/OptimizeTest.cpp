// The optimiser's steps one by one: cropping, merging, removing frames and
// extensions, the refused reduction, packing and progress.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "AnimationCorpus.h"
#include "Compositor.h"
#include "GiflibOracle.h"
#include "OptimizeTestSupport.h"
#include "gif/GIFPainter.h"

namespace {

using giforacle::Frame;
using giforacle::Picture;
using namespace gifopttest;

TEST(Crop, CutsATransparentFrameToItsOpaquePixelsAndMovesIt) {
    Picture p = Screen(10, 10, 4);
    p.Frames.push_back(Pixels(2, 3, 5, 4, {3, 3, 3, 3, 3,  //
                                           3, 3, 1, 3, 3,  //
                                           3, 2, 3, 3, 3,  //
                                           3, 3, 3, 3, 3},
                              1, 0, 3));
    auto image = gifbridge::Build(p);
    gif::TGIFSubImage& f = *image->GetImages().GetImage(0);
    f.Crop();
    EXPECT_EQ(f.GetBoundsRect(), (gif::TGIFSubImage::TRect{3, 4, 5, 6}));
    EXPECT_EQ(Indices(f), (std::vector<uint8_t>{3, 1, 2, 3}));
}

TEST(Crop, EmptiesAFrameThatIsTransparentEverywhere) {
    Picture p = Screen(4, 4, 4);
    p.Frames.push_back(Pixels(0, 0, 2, 2, {3, 3, 3, 3}, 1, 0, 3));
    auto image = gifbridge::Build(p);
    image->GetImages().GetImage(0)->Crop();
    EXPECT_TRUE(image->GetImages().GetImage(0)->GetEmpty());
}

// Pairs of frames where merging the second with the first must change
// nothing.
TEST(Merge, LeavesTheFrameAloneWhereTheScreenUnderItIsNotThePreviousFrame) {
    struct Case {
        const char* name;
        int previousDisposal;
        int colors;
        Frame second;
    };
    const std::vector<Case> cases = {
        {"previous cleared to the background", 2, 4, Pixels(0, 0, 2, 2, {1, 2, 1, 2})},
        {"previous restores what was before it", 3, 4, Pixels(0, 0, 2, 2, {1, 2, 1, 2})},
        {"previous is not drawn", 5, 4, Pixels(0, 0, 2, 2, {1, 2, 1, 2})},
        {"no free index in a full table", 1, 256, Pixels(0, 0, 2, 2, {1, 2, 1, 2})},
        {"no common pixel", 1, 4, Pixels(2, 2, 2, 2, {1, 2, 1, 2})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = Screen(4, 4, c.colors);
        p.Frames.push_back(Pixels(0, 0, 2, 2, {1, 2, 1, 2}, c.previousDisposal, 5));
        p.Frames.push_back(c.second);
        auto image = gifbridge::Build(p);
        image->GetImages().GetImage(1)->Merge(image->GetImages().GetImage(0));
        EXPECT_EQ(Indices(*image->GetImages().GetImage(1)), c.second.Indices);
        EXPECT_FALSE(image->GetImages().GetImage(1)->GetTransparent());
        EXPECT_EQ(image->GetGlobalColorMap().GetCount(), c.colors);
    }
}

TEST(Merge, RepeatedPixelsBecomeAnIndexTheFrameDoesNotShow) {
    // Frame 1 is transparent with index 2; frame 3 shows colour 2 itself,
    // so it must not take index 2 for its own transparency.
    Picture p = Screen(3, 1, 4);
    p.Frames.push_back(Pixels(0, 0, 3, 1, {1, 1, 1}));
    p.Frames.push_back(Pixels(0, 0, 1, 1, {2}, 3, 5, 2));
    p.Frames.push_back(Pixels(0, 0, 3, 1, {1, 2, 1}, 1, 5));
    auto image = gifbridge::Build(p);
    gif::TGIFSubImage& third = *image->GetImages().GetImage(2);
    third.Merge(image->GetImages().GetImage(0));
    ASSERT_TRUE(third.GetTransparent());
    const int t = third.GetGraphicControlExtension()->GetTransparentColorIndex();
    EXPECT_EQ(t, 4);
    EXPECT_EQ(image->GetGlobalColorMap().GetEntry(4), (gif::TGIFColor{0, 0, 0}));
    EXPECT_EQ(Indices(third), (std::vector<uint8_t>{4, 2, 4}));

    // Without that conflict the other frame's index is taken.
    Picture q = p;
    q.Frames[2].Indices = {1, 3, 1};
    auto other = gifbridge::Build(q);
    gif::TGIFSubImage& merged = *other->GetImages().GetImage(2);
    merged.Merge(other->GetImages().GetImage(0));
    EXPECT_EQ(merged.GetGraphicControlExtension()->GetTransparentColorIndex(), 2);
    EXPECT_EQ(Indices(merged), (std::vector<uint8_t>{2, 3, 2}));
    EXPECT_EQ(other->GetGlobalColorMap().GetCount(), 4);

    // A new entry would give its colour, or once saved the padding's black,
    // to a pixel beyond the table in another frame of the table: no merge
    // then.
    Picture r = Screen(3, 1, 4);
    r.Frames.push_back(Pixels(0, 0, 3, 1, {1, 1, 1}));
    r.Frames.push_back(Pixels(0, 0, 3, 1, {1, 2, 1}, 1, 5));
    r.Frames.push_back(Pixels(0, 0, 1, 1, {6}, 1, 5));
    auto damaged = gifbridge::Build(r);
    gif::TGIFSubImage& second = *damaged->GetImages().GetImage(1);
    second.Merge(damaged->GetImages().GetImage(0));
    EXPECT_EQ(Indices(second), (std::vector<uint8_t>{1, 2, 1}));
    EXPECT_EQ(damaged->GetGlobalColorMap().GetCount(), 4);

    // The same for a background index beyond the table.
    r.Frames.pop_back();
    r.Background = 6;
    gif::TGIFImage beyond;
    rtl::TMemoryStream stream(giforacle::GiflibEncode(r));
    beyond.LoadFromStream(stream);
    ASSERT_EQ(beyond.GetBackgroundColorIndex(), 6);
    gif::TGIFSubImage& next = *beyond.GetImages().GetImage(1);
    next.Merge(beyond.GetImages().GetImage(0));
    EXPECT_EQ(Indices(next), (std::vector<uint8_t>{1, 2, 1}));
    EXPECT_EQ(beyond.GetGlobalColorMap().GetCount(), 4);
}

// Later passes begin at the loop point, over what the last frame left; the
// pixels the loop point repeats from the frame before it must stay then.
TEST(Optimize, MergeLeavesTheLoopPointAloneWhenLaterPassesBeginThere) {
    for (int loops : {2, 0, 1}) {
        SCOPED_TRACE(::testing::Message() << "loop count " << loops);
        Picture p = Screen(3, 1, 4);
        p.Frames.push_back(Pixels(0, 0, 3, 1, {1, 1, 1}, 1, 5));
        p.Frames.push_back(Pixels(0, 0, 3, 1, {1, 2, 1}, 1, 5));
        p.Frames.push_back(Pixels(0, 0, 3, 1, {3, 3, 3}, 1, 5));
        auto image = gifbridge::Build(p);
        AddLoop(*image->GetImages().GetImage(1), loops);
        const gifopt::Timeline before = gifopt::Compose(*image);
        image->Optimize(gif::OptimizeOption(gif::ooMerge), gif::rmNone, gif::dmNearest, 8);
        EXPECT_EQ(gifopt::DiffShown(before, gifopt::Compose(*image)), "");
        // A count of 1 as well: a painter told to loop continuously begins
        // its later passes there all the same.
        EXPECT_FALSE(image->GetImages().GetImage(1)->GetTransparent());
    }
}

// A frame is merged with the frame before it (past those that restore the
// previous screen) only when every pass that draws it draws that one first:
// a frame after the loop point only with one at or after it.
TEST(Optimize, MergeUsesOnlyAFrameEveryPassDrawsBeforeIt) {
    // Rows of 3 x 1; black, the index a merge adds, is 4.
    auto row = [](std::vector<uint8_t> indices, int disposal) { return Pixels(0, 0, 3, 1, std::move(indices), disposal, 5); };
    // Frames 0 and 2 alike but for the middle pixel, frame 1 restoring the
    // previous screen, frame 3 leaving another colour under frame 2 for the
    // passes after the first.
    const std::vector<Frame> restoring = {row({1, 1, 1}, 1), row({2, 2, 2}, 3), row({1, 3, 1}, 1), row({3, 3, 3}, 1)};
    struct Case {
        const char* name;
        std::vector<Frame> frames;
        int loopFrame, loops;            // loopFrame -1: no loop extension
        int checked;                     // the frame whose merge is looked at
        std::vector<uint8_t> expected;   // its indices after the merge
    };
    const std::vector<uint8_t> unmerged = {1, 3, 1}, merged = {4, 3, 4};
    const std::vector<Case> cases = {
        {"loop point restores the previous screen, endless", restoring, 1, 0, 2, unmerged},
        {"loop point restores the previous screen, two passes", restoring, 1, 2, 2, unmerged},
        {"loop point restores the previous screen, three passes", restoring, 1, 3, 2, unmerged},
        // A painter told to loop continuously makes more passes of it.
        {"loop point restores the previous screen, one pass", restoring, 1, 1, 2, unmerged},
        {"loop point at the frame merged with", restoring, 0, 0, 2, merged},
        {"loop point after the merged frame", restoring, 3, 0, 2, merged},
        {"no loop extension", restoring, -1, 0, 2, merged},
        {"merged frame is the loop point", restoring, 2, 0, 2, unmerged},
        {"merged with the loop point", {row({1, 1, 1}, 1), row({1, 2, 1}, 1), row({1, 3, 1}, 1), row({3, 3, 3}, 1)}, 1, 0,
         2, merged},
        {"two frames restoring, loop point on the second",
         {row({1, 1, 1}, 1), row({2, 2, 2}, 3), row({3, 3, 3}, 3), row({1, 3, 1}, 1), row({2, 2, 2}, 1)}, 2, 2, 3,
         unmerged},
        {"two frames restoring, loop point after them",
         {row({1, 1, 1}, 1), row({2, 2, 2}, 3), row({3, 3, 3}, 3), row({1, 3, 1}, 1), row({2, 2, 2}, 1)}, 4, 2, 3,
         merged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = Screen(3, 1, 4);
        p.Frames = c.frames;
        auto build = [&] {
            auto image = gifbridge::Build(p);
            if (c.loopFrame >= 0) AddLoop(*image->GetImages().GetImage(c.loopFrame), c.loops);
            return image;
        };
        const gifopt::Timeline before = gifopt::Compose(*build());
        for (gif::TGIFOptimizeOptions options : {gif::OptimizeOption(gif::ooMerge), gif::GIFAllOptimizeOptions}) {
            SCOPED_TRACE(::testing::Message() << "options " << int(options));
            auto image = build();
            image->Optimize(options, gif::rmNone, gif::dmNearest, 8);
            EXPECT_EQ(gifopt::DiffShown(before, gifopt::Compose(*image)), "");
            if (options == gif::OptimizeOption(gif::ooMerge)) {
                EXPECT_EQ(Indices(*image->GetImages().GetImage(c.checked)), c.expected);
            }
        }
    }
}

TEST(Optimize, AFrameThatShowsNothingNewGoesAndTheFrameBeforeItIsShownForBoth) {
    Picture p = Screen(6, 4, 4);
    p.Frames.push_back(Pixels(0, 0, 6, 4, std::vector<uint8_t>(24, 1), 1, 20));
    p.Frames.push_back(Pixels(1, 1, 2, 2, {2, 2, 2, 2}, 1, 30));
    p.Frames.push_back(Pixels(0, 0, 3, 1, {3, 3, 3}, 1, 0, 3));  // shows nothing
    p.Frames.push_back(Pixels(4, 0, 1, 1, {2}, 1, 40));
    auto image = gifbridge::Build(p);
    AddComment(*image->GetImages().GetImage(2), "moved along");
    image->Optimize(gif::OptimizeOption(gif::ooCrop), gif::rmNone, gif::dmNearest, 8);
    ASSERT_EQ(image->GetImages().GetCount(), 3);
    // 30 and the default delay 10 of a frame without one.
    EXPECT_EQ(image->GetImages().GetImage(1)->GetGraphicControlExtension()->GetDelay(), 40);
    EXPECT_EQ(Comments(*image->GetImages().GetImage(2)), (std::vector<std::string>{"moved along"}));
}

TEST(Optimize, AFrameThatShowsNothingNewStaysAsOnePixelWhereItsTimeCannotGoElsewhere) {
    struct Case {
        const char* name;
        int index;          // of the transparent frame
        int disposalBefore;  // of the frame before it
        bool loopPoint = false;  // it carries the loop extension
        int delayBefore = 20;
    };
    for (const Case& c : {Case{"the first frame", 0, 1}, Case{"after a frame cleared to the background", 1, 2},
                          Case{"after a frame restoring the previous screen", 1, 3},
                          Case{"where later passes begin", 1, 1, true},
                          Case{"when both times do not fit 16 bits", 1, 1, false, 65530}}) {
        SCOPED_TRACE(c.name);
        Picture p = Screen(6, 4, 4);
        if (c.index == 1)
            p.Frames.push_back(Pixels(0, 0, 6, 4, std::vector<uint8_t>(24, 1), c.disposalBefore, c.delayBefore));
        p.Frames.push_back(Pixels(0, 0, 3, 2, {3, 3, 3, 3, 3, 3}, 1, 7, 3));
        p.Frames.push_back(Pixels(4, 0, 1, 1, {2}, 1, 40));
        auto image = gifbridge::Build(p);
        if (c.loopPoint) AddLoop(*image->GetImages().GetImage(c.index), 2);
        const int frames = image->GetImages().GetCount();
        image->Optimize(gif::OptimizeOption(gif::ooCrop), gif::rmNone, gif::dmNearest, 8);
        ASSERT_EQ(image->GetImages().GetCount(), frames);
        gif::TGIFSubImage& kept = *image->GetImages().GetImage(c.index);
        EXPECT_FALSE(kept.GetEmpty());
        EXPECT_EQ(kept.GetGraphicControlExtension()->GetDelay(), 7);
        if (c.index > 0) {
            EXPECT_EQ(kept.GetWidth() * kept.GetHeight(), 1);
        }
    }
}

TEST(Optimize, ADisposalThatClearsOrRestoresIsDroppedOnlyWhenTheNextFrameCoversItsArea) {
    struct Case {
        const char* name;
        Frame next;
        int expected;
    };
    const std::vector<Case> cases = {
        {"next frame covers it", Pixels(0, 0, 4, 4, std::vector<uint8_t>(16, 2), 1, 5), 0},
        {"next frame lies inside it", Pixels(1, 1, 1, 1, {2}, 1, 5), 2},
        {"next frame is transparent", Pixels(0, 0, 4, 4, std::vector<uint8_t>(16, 3), 1, 5, 3), 2},
        {"next frame restores the screen", Pixels(0, 0, 4, 4, std::vector<uint8_t>(16, 2), 3, 5), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture p = Screen(4, 4, 4);
        p.Frames.push_back(Pixels(0, 0, 4, 4, std::vector<uint8_t>(16, 2)));
        p.Frames.push_back(Pixels(1, 1, 2, 2, {1, 1, 1, 1}, 2, 5));
        p.Frames.push_back(c.next);
        auto image = gifbridge::Build(p);
        image->Optimize(gif::OptimizeOption(gif::ooCleanup), gif::rmNone, gif::dmNearest, 8);
        EXPECT_EQ(image->GetImages().GetImage(1)->GetGraphicControlExtension()->GetDisposal(), c.expected);
    }
}

TEST(Optimize, CleanupOfOneFrameDropsItsLoopAndAControlExtensionWithoutEffect) {
    struct Case {
        const char* name;
        int disposal, delay, transparent;
        bool keepsControl;
    };
    for (const Case& c : {Case{"long delay, cleared", 2, 500, -1, false}, Case{"restores", 3, 0, -1, false},
                          Case{"transparent", 1, 5, 3, true}, Case{"not drawn", 5, 5, -1, true}}) {
        SCOPED_TRACE(c.name);
        Picture p = Screen(2, 2, 4);
        p.LoopCount = 0;
        p.Frames.push_back(Pixels(0, 0, 2, 2, {1, 3, 1, 2}, c.disposal, c.delay, c.transparent));
        auto image = gifbridge::Build(p);
        image->Optimize(gif::OptimizeOption(gif::ooCleanup), gif::rmNone, gif::dmNearest, 8);
        gif::TGIFSubImage& f = *image->GetImages().GetImage(0);
        EXPECT_EQ(f.GetGraphicControlExtension() != nullptr, c.keepsControl);
        EXPECT_EQ(f.GetExtensions().GetCount(), c.keepsControl ? 1 : 0);
    }
}

// A frame takes its first control extension; cleanup drops the others, so
// that dropping a first one without effect does not bring the next to bear.
TEST(Optimize, CleanupDropsControlExtensionsAFrameIgnores) {
    Picture p = Screen(2, 2, 4);
    p.Frames.push_back(Pixels(0, 0, 2, 2, {1, 3, 1, 2}, 1, 20));
    p.Frames.push_back(Pixels(0, 0, 2, 2, {2, 2, 1, 1}, 1, 0));
    p.Frames.push_back(Pixels(0, 0, 1, 1, {3}, 1, 30));
    auto image = gifbridge::Build(p);
    auto& ignored = image->GetImages().GetImage(1)->GetExtensions().Adopt(std::make_unique<gif::TGIFGraphicControlExtension>());
    ignored.SetDelay(500);
    ignored.SetDisposal(gif::dmBackground);
    const gifopt::Timeline before = gifopt::Compose(*image);
    image->Optimize(gif::OptimizeOption(gif::ooCleanup), gif::rmNone, gif::dmNearest, 8);
    EXPECT_EQ(gifopt::DiffShown(before, gifopt::Compose(*image)), "");
    EXPECT_EQ(image->GetImages().GetImage(1)->GetExtensions().GetCount(), 0);
}

TEST(Optimize, CleanupKeepsTheLoopExtensionAPainterObeysAndDropsTheOthers) {
    Picture p = Screen(2, 2, 4);
    for (int k = 0; k < 3; ++k) p.Frames.push_back(Pixels(0, 0, 2, 2, {1, 1, 2, static_cast<uint8_t>(k)}, 1, 5));
    {
        auto image = gifbridge::Build(p);
        AddLoop(*image->GetImages().GetImage(0), 4);
        AddLoop(*image->GetImages().GetImage(2), 7);
        AddComment(*image->GetImages().GetImage(1), "gone");
        image->Optimize(gif::OptimizeOption(gif::ooCleanup), gif::rmNone, gif::dmNearest, 8);
        EXPECT_EQ(Loops(*image->GetImages().GetImage(0)), (std::vector<int>{4}));
        EXPECT_TRUE(Loops(*image->GetImages().GetImage(2)).empty());
        EXPECT_TRUE(Comments(*image->GetImages().GetImage(1)).empty());
    }
    {  // The only loop extension sits on a later frame, where passes after
       // the first begin.
        auto image = gifbridge::Build(p);
        AddLoop(*image->GetImages().GetImage(1), 3);
        image->Optimize(gif::OptimizeOption(gif::ooCleanup), gif::rmNone, gif::dmNearest, 8);
        EXPECT_EQ(Loops(*image->GetImages().GetImage(1)), (std::vector<int>{3}));
    }
}

TEST(Optimize, ReductionToACustomPaletteIsRefusedWithoutCleanupBeforeAnythingChanges) {
    Picture p = Screen(2, 1, 4);
    p.Frames.push_back(Pixels(0, 0, 2, 1, {1, 1}));
    p.Frames.push_back(Pixels(0, 0, 2, 1, {1, 1}, 1, 5));
    const gif::TGIFOptimizeOptions merge = gif::OptimizeOption(gif::ooMerge) | gif::OptimizeOption(gif::ooReduceColors);
    auto image = gifbridge::Build(p);
    try {
        image->Optimize(merge, gif::rmPalette, gif::dmNearest, 8);
        FAIL() << "no exception";
    } catch (const gif::GIFException& e) {
        EXPECT_STREQ(e.what(), "Invalid reduction method");
    }
    EXPECT_FALSE(image->GetImages().GetImage(1)->GetTransparent());
    EXPECT_NO_THROW(image->Optimize(merge | gif::OptimizeOption(gif::ooCleanup), gif::rmPalette, gif::dmNearest, 8));
    EXPECT_NO_THROW(image->Optimize(merge, gif::rmQuantize, gif::dmNearest, 8));
}

TEST(Optimize, ReportsProgressFromStartToEndAndNothingForAnEmptyPicture) {
    std::vector<std::pair<gif::TProgressStage, int>> reports;
    auto record = [&](rtl::TObject*, gif::TProgressStage stage, uint8_t percent, bool, const gif::TRect&,
                      const std::string& message) {
        EXPECT_EQ(message, "Optimizing...");
        reports.push_back({stage, percent});
    };
    gif::TGIFImage empty;
    empty.SetOnProgress(record);
    empty.Optimize(gif::GIFAllOptimizeOptions, gif::rmNone, gif::dmNearest, 8);
    EXPECT_TRUE(reports.empty());

    Picture p = Screen(2, 2, 4);
    for (int k = 0; k < 3; ++k) p.Frames.push_back(Pixels(0, 0, 2, 2, {1, 1, 2, static_cast<uint8_t>(k)}, 1, 5));
    auto image = gifbridge::Build(p);
    image->SetOnProgress(record);
    image->Optimize(gif::GIFAllOptimizeOptions, gif::rmNone, gif::dmNearest, 8);
    ASSERT_GE(reports.size(), 3u);
    EXPECT_EQ(reports.front(), std::make_pair(gif::psStarting, 0));
    EXPECT_EQ(reports.back(), std::make_pair(gif::psEnding, 100));
    for (size_t i = 1; i + 1 < reports.size(); ++i) {
        EXPECT_EQ(reports[i].first, gif::psRunning);
        EXPECT_GE(reports[i].second, reports[i - 1].second);
    }
}

TEST(Pack, ASingleFramesLocalTableBecomesTheGlobalOne) {
    Picture p;
    p.Width = p.Height = 2;
    Frame f = Pixels(0, 0, 2, 2, {0, 1, 1, 0});
    f.LocalPalette = gifopt::Palette(2, 5);
    p.Frames.push_back(f);
    auto image = gifbridge::Build(p);
    image->Pack();
    EXPECT_EQ(image->GetGlobalColorMap().GetCount(), 2);
    EXPECT_EQ(image->GetImages().GetImage(0)->GetColorMap().GetCount(), 0);
    EXPECT_EQ(image->GetGlobalColorMap().GetEntry(1), ColorOf(f.LocalPalette[1]));
}

TEST(OptimizeColorTables, TheBackgroundIndexFollowsItsColourAndKeepsItWhenNoPixelShowsIt) {
    Picture p = Screen(4, 1, 8);
    p.Background = 6;
    p.Frames.push_back(Pixels(0, 0, 4, 1, {3, 3, 3, 1}));
    auto image = gifbridge::Build(p);
    image->Optimize(gif::OptimizeOption(gif::ooColorMap), gif::rmNone, gif::dmNearest, 8);
    EXPECT_EQ(image->GetGlobalColorMap().GetCount(), 3);
    EXPECT_EQ(image->GetGlobalColorMap().GetEntry(image->GetBackgroundColorIndex()), ColorOf(p.GlobalPalette[6]));
    const gif::TGIFSubImage& f = *image->GetImages().GetImage(0);
    EXPECT_EQ(ShownColor(f, 0), ColorOf(p.GlobalPalette[3]));
    EXPECT_EQ(ShownColor(f, 3), ColorOf(p.GlobalPalette[1]));

    // An index beyond the table clears with the table's first colour, which
    // the sorted table must still give.
    p.Background = 12;
    gif::TGIFImage beyond;
    rtl::TMemoryStream stream(giforacle::GiflibEncode(p));
    beyond.LoadFromStream(stream);
    ASSERT_EQ(beyond.GetBackgroundColorIndex(), 12);
    beyond.Optimize(gif::OptimizeOption(gif::ooColorMap), gif::rmNone, gif::dmNearest, 8);
    EXPECT_EQ(beyond.GetGlobalColorMap().GetEntry(beyond.GetBackgroundColorIndex()), ColorOf(p.GlobalPalette[0]));
}

// A table that no pixel shows a colour of keeps one entry: a frame whose
// local table became empty would take the global one instead, and show its
// colours.
TEST(OptimizeColorTables, ATableNoPixelShowsAColourOfKeepsAnEntry) {
    Picture p = Screen(4, 4, 8);
    Frame f = Pixels(0, 0, 2, 2, {5, 5, 5, 5});  // beyond its table
    f.LocalPalette = gifopt::Palette(2, 3);
    p.Frames.push_back(f);
    p.Frames.push_back(Pixels(0, 2, 4, 2, {0, 1, 2, 3, 4, 5, 6, 7}, 1, 5));  // every global colour
    auto image = gifbridge::Build(p);
    const gifopt::Timeline before = gifopt::Compose(*image);
    image->Optimize(gif::OptimizeOption(gif::ooColorMap), gif::rmNone, gif::dmNearest, 8);
    EXPECT_EQ(gifopt::DiffShown(before, gifopt::Compose(*image)), "");
    EXPECT_EQ(image->GetImages().GetImage(0)->GetColorMap().GetCount(), 1);
}

// A transparent index beyond the frame's table is legal in a file; no pixel
// of the table's colours becomes transparent by it, before or after the
// tables are sorted by use.
TEST(OptimizeColorTables, ATransparentIndexBeyondTheTableMakesNoColourTransparent) {
    struct Case {
        const char* name;
        bool local;
        bool wholePicture;  // OptimizeColorMap instead of Optimize(ooColorMap)
    };
    for (const Case& c : {Case{"local table", true, false}, Case{"global table", false, false},
                          Case{"one table for the picture", false, true}}) {
        SCOPED_TRACE(c.name);
        Picture p = Screen(4, 2, c.local ? 0 : 4);
        // Colour 2 is the most used: sorted, it becomes index 0.
        Frame f = Pixels(0, 0, 4, 2, {2, 2, 2, 1, 3, 2, 0, 2}, 1, 5, 7);
        if (c.local) f.LocalPalette = gifopt::Palette(4, 3);
        p.Frames.push_back(f);
        p.Frames.push_back(Pixels(0, 0, 2, 1, {1, 3}, 1, 5));
        if (c.local) p.Frames.back().LocalPalette = gifopt::Palette(4, 4);
        const std::vector<uint8_t> file = giforacle::GiflibEncode(p);
        gif::TGIFImage image;
        rtl::TMemoryStream stream(file);
        image.LoadFromStream(stream);
        const gifopt::Timeline before = gifopt::Compose(image);
        if (c.wholePicture)
            image.OptimizeColorMap();
        else
            image.Optimize(gif::OptimizeOption(gif::ooColorMap), gif::rmNone, gif::dmNearest, 8);
        EXPECT_EQ(gifopt::DiffShown(before, gifopt::Compose(image)), "");
        const gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
        if (!c.wholePicture) {
            EXPECT_EQ(frame.GetGraphicControlExtension()->GetTransparentColorIndex(), 7);
        }
    }
}

}  // namespace

namespace {

// Whether another thread gets the picture's painter list within a moment;
// when it does not, it takes it once it is free and `later` tells when.
class PainterListProbe {
public:
    explicit PainterListProbe(gif::TGIFImage& image) : list_(image.GetPainterList()) {
        thread_ = std::thread([this] {
            list_.LockList();
            taken_ = true;
            list_.UnlockList();
        });
    }
    ~PainterListProbe() { thread_.join(); }
    bool TakenWithinAMoment() {
        for (int i = 0; i < 50 && !taken_; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return taken_;
    }
    bool TakenLater() {
        thread_.join();
        thread_ = std::thread([] {});
        return taken_;
    }

private:
    vcl::TThreadList<gif::TGIFPainter>& list_;
    std::atomic<bool> taken_{false};
    std::thread thread_;
};

}  // namespace

TEST(Optimize, BothOptimisersHoldThePainterListWhileTheyChangeThePictureAndGiveItBackAfterAFailure) {
    // A pixel beyond its table makes the colour-map optimiser warn midway.
    Picture p = Screen(2, 2, 4);
    for (int k = 0; k < 3; ++k) p.Frames.push_back(Pixels(0, 0, 2, 2, {1, 1, 2, static_cast<uint8_t>(9 + k)}, 1, 5));
    struct Case {
        const char* name;
        bool colorMap;
        bool fail;
    };
    for (const Case& c : {Case{"Optimize", false, false}, Case{"OptimizeColorMap", true, false},
                          Case{"Optimize failing", false, true}, Case{"OptimizeColorMap failing", true, true}}) {
        SCOPED_TRACE(c.name);
        auto image = gifbridge::Build(p);
        std::unique_ptr<PainterListProbe> probe;
        bool takenMidway = true;
        auto midway = [&] {
            if (probe != nullptr) return;
            probe = std::make_unique<PainterListProbe>(*image);
            takenMidway = probe->TakenWithinAMoment();
            if (c.fail) throw rtl::EAbort();
        };
        image->SetOnProgress([&](rtl::TObject*, gif::TProgressStage stage, uint8_t, bool, const gif::TRect&,
                                 const std::string&) {
            if (stage == gif::psRunning) midway();
        });
        image->SetOnGIFWarning([&](rtl::TObject*, gif::TGIFSeverity, const std::string&) { midway(); });
        try {
            if (c.colorMap) image->OptimizeColorMap();
            else image->Optimize(gif::GIFAllOptimizeOptions, gif::rmNone, gif::dmNearest, 8);
            EXPECT_FALSE(c.fail);
        } catch (const rtl::EAbort&) {
            EXPECT_TRUE(c.fail);
        }
        ASSERT_NE(probe, nullptr);
        EXPECT_FALSE(takenMidway);
        EXPECT_TRUE(probe->TakenLater());
    }
}
