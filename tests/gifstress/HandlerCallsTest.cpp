// A painter's event handler that empties, reloads, copies over or frees the
// picture it paints ("when the animation ends, load the next one"): the call
// returns, the painter is only marked to stop and ends after the handler has
// returned, raises no further event and never reaches the picture again.
// Every such call from every painter event, for asynchronous and synchronous
// painters, started by Paint or by Draw (whose own call is still running
// while a synchronous painting's handlers, or the first frame's of an
// asynchronous one, run), on the real clock, under a watchdog (a hang ends
// the program).
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <tuple>

#include "gifanim/AnimTestSupport.h"
#include "support/Watchdog.h"

using namespace gif;

namespace {

enum class Event { PaintStart, FramePaint, FrameDone, LoopStart, PaintEnd };
enum class Call { Clear, LoadFromStream, Assign, Free };
enum class Start { Paint, Draw };

const char* Name(Event event) {
    switch (event) {
        case Event::PaintStart: return "OnPaintStart";
        case Event::FramePaint: return "OnFramePaint";
        case Event::FrameDone: return "OnFrameDone";
        case Event::LoopStart: return "OnLoopStart";
        case Event::PaintEnd: return "OnPaintEnd";
    }
    return "";
}

const char* Name(Call call) {
    switch (call) {
        case Call::Clear: return "Clear";
        case Call::LoadFromStream: return "LoadFromStream";
        case Call::Assign: return "Assign";
        case Call::Free: return "Free";
    }
    return "";
}

TNotifyEvent& Slot(TGIFImage& image, Event event) {
    switch (event) {
        case Event::PaintStart: return image.OnPaintStart;
        case Event::FramePaint: return image.OnFramePaint;
        case Event::FrameDone: return image.OnFrameDone;
        case Event::LoopStart: return image.OnLoopStart;
        case Event::PaintEnd: return image.OnPaintEnd;
    }
    return image.OnPaintEnd;
}

// Three short frames played twice (so that a second pass starts), at ten
// times the speed.
std::unique_ptr<TGIFImage> Playing() {
    auto image = animtest::MakePicture(4, 4, {{0, 0, 4, 4, 1, 1, dmNone, 2}, {0, 0, 4, 4, 2, 1}, {0, 0, 4, 4, 3, 1}});
    image->SetAnimationSpeed(1000);
    return image;
}

// What the handler puts in its place: two frames of another size.
std::unique_ptr<TGIFImage> Next() {
    auto image = animtest::MakePicture(6, 5, {{0, 0, 6, 5, 4, 1}, {1, 1, 5, 4, 5, 1}});
    image->SetAnimationSpeed(1000);
    return image;
}

using Case = std::tuple<Event, Call, bool, Start>;  // the event, the call, asynchronous, how it starts

class HandlerCallsTest : public ::testing::TestWithParam<Case> {};

TEST_P(HandlerCallsTest, TheCallReturnsAndThePainterEndsAfterTheHandler) {
    const Event event = std::get<0>(GetParam());
    const Call call = std::get<1>(GetParam());
    const bool async = std::get<2>(GetParam());
    const Start start = std::get<3>(GetParam());
    testsupport::Watchdog watchdog(std::chrono::seconds(30));
    watchdog.Beat(std::string(Name(event)) + " calls " + Name(call) + (async ? ", asynchronous" : ", synchronous") +
                  (start == Start::Draw ? ", drawn" : ", painted"));

    std::unique_ptr<TGIFImage> owned = Playing();
    TGIFImage* image = owned.get();
    const std::unique_ptr<TGIFImage> next = Next();
    rtl::TMemoryStream nextBytes;
    next->SaveToStream(nextBytes);
    const TGIFDrawOptions options =
        async ? animtest::Options({goAsync, goAnimate, goLoop}) : animtest::Options({goAnimate, goLoop});
    vcl::TBitmap target;
    target.SetSize(8, 8);

    TGIFPainter* acting = nullptr;
    bool returned = false;
    bool markedOnly = false;
    int laterEvents = 0;
    Slot(*image, event) = [&](TObject* sender) {
        auto* painter = dynamic_cast<TGIFPainter*>(sender);
        if (acting != nullptr) {
            if (painter == acting) ++laterEvents;
            return;
        }
        acting = painter;
        switch (call) {
            case Call::Clear: image->Clear(); break;
            case Call::LoadFromStream:
                nextBytes.SetPosition(0);
                image->LoadFromStream(nextBytes);
                image->Paint(target.GetCanvas(), {0, 0, 6, 5}, options);
                break;
            case Call::Assign: image->Assign(next.get()); break;
            case Call::Free:
                owned.reset();
                image = nullptr;
                break;
        }
        // The painter still exists here, marked to stop.
        markedOnly = painter->Terminated();
        returned = true;
    };
    if (start == Start::Draw) {
        image->SetDrawOptions(options);
        image->Draw(target.GetCanvas(), {0, 0, 4, 4});
    } else {
        image->Paint(target.GetCanvas(), {0, 0, 4, 4}, options);
    }
    ASSERT_TRUE(testsupport::RunEventLoopUntil(
        [&] { return returned && vcl::TThread::RunningCount() == 0 && (image == nullptr || animtest::PainterCount(*image) == 0); },
        20000));
    EXPECT_TRUE(markedOnly);
    EXPECT_EQ(laterEvents, 0);
    switch (call) {
        case Call::Clear: EXPECT_TRUE(image->GetEmpty()); break;
        case Call::LoadFromStream:
        case Call::Assign:
            EXPECT_EQ(image->GetImages().GetCount(), 2);
            EXPECT_EQ(image->GetWidth(), 6);
            break;
        case Call::Free: break;
    }
}

// The natural use: at the end, the next animation is loaded and drawn
// directly at the same place.  The stopped painter that still holds the
// place is not taken for one that keeps drawing: the next animation plays.
TEST(HandlerCalls, TheNextAnimationDrawnAtTheSamePlacePlays) {
    testsupport::Watchdog watchdog(std::chrono::seconds(30));
    watchdog.Beat("the next animation drawn from OnPaintEnd");
    auto image = Playing();
    image->SetDrawOptions(animtest::Options({goAsync, goAnimate, goDirectDraw}));
    rtl::TMemoryStream nextBytes;
    Next()->SaveToStream(nextBytes);
    vcl::TBitmap target;
    target.SetSize(6, 5);
    const vcl::TRect place{0, 0, 6, 5};
    int loads = 0, ends = 0;
    image->OnPaintEnd = [&](TObject*) {
        if (++ends > 1) return;
        nextBytes.SetPosition(0);
        image->LoadFromStream(nextBytes);
        ++loads;
        image->Draw(target.GetCanvas(), place);
    };
    image->Draw(target.GetCanvas(), place);
    ASSERT_TRUE(testsupport::RunEventLoopUntil(
        [&] { return ends == 2 && vcl::TThread::RunningCount() == 0 && animtest::PainterCount(*image) == 0; }, 20000));
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(target.GetCanvas().GetPixel(0, 0), animtest::Colour(4));
}

INSTANTIATE_TEST_SUITE_P(
    Painter, HandlerCallsTest,
    ::testing::Combine(::testing::Values(Event::PaintStart, Event::FramePaint, Event::FrameDone, Event::LoopStart,
                                         Event::PaintEnd),
                       ::testing::Values(Call::Clear, Call::LoadFromStream, Call::Assign, Call::Free),
                       ::testing::Bool(), ::testing::Values(Start::Paint, Start::Draw)),
    [](const ::testing::TestParamInfo<Case>& info) {
        return std::string(Name(std::get<0>(info.param))) + "_" + Name(std::get<1>(info.param)) +
               (std::get<2>(info.param) ? "_Async" : "_Sync") +
               (std::get<3>(info.param) == Start::Draw ? "_Draw" : "_Paint");
    });

}  // namespace
