// Painters against everything the UI thread does to their picture meanwhile:
// load, draw, let the event loop run for a random short time, change the
// draw options, pack, optimise, draw elsewhere, pause, clear and destroy,
// many times over (GIF_STRESS_ROUNDS, default 1000), on the real clock.  Built with
// ThreadSanitizer by scripts/tsan.sh; a watchdog ends a run that stops
// moving (a deadlock).
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "gif/GIFPainter.h"
#include "support/Watchdog.h"

using namespace gif;

namespace {

// An animation with every disposal, a transparent frame and an endless loop,
// as a stream.
std::vector<uint8_t> AnimationBytes() {
    TGIFImage image;
    for (TColor colour : {0x000000u, 0x0000FFu, 0x00FF00u, 0xFF0000u}) image.GetGlobalColorMap().Add(colour);
    image.SetWidth(12);
    image.SetHeight(10);
    const int disposals[] = {dmNone, dmBackground, dmPrevious, dmNoDisposal, 5};
    for (int i = 0; i < 5; ++i) {
        auto* frame = &image.GetImages().Adopt(std::make_unique<TGIFSubImage>());
        frame->DoSetBounds(i, i, 12 - i, 10 - i);
        for (uint64_t p = 0; p < frame->GetDataSize(); ++p) frame->GetData()[p] = static_cast<uint8_t>((p + i) % 4);
        if (i == 0) {
            auto* loop = &frame->GetExtensions().Adopt(std::make_unique<TGIFAppExtNSLoop>());
            loop->SetLoops(0);
        }
        auto* gce = &frame->GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
        gce->SetDelay(1 + i % 2);
        gce->SetDisposal(static_cast<TDisposalMethod>(disposals[i]));
        if (i == 1) {
            gce->SetTransparent(true);
            gce->SetTransparentColorIndex(2);
        }
    }
    rtl::TMemoryStream stream;
    image.SaveToStream(stream);
    return stream.Bytes();
}

void ServiceFor(int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        QCoreApplication::processEvents();
        if (!vcl::TThread::CheckSynchronize()) std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < end);
}

TEST(PainterStress, PaintersSurviveEverythingTheUiThreadDoes) {
    const char* env = std::getenv("GIF_STRESS_ROUNDS");
    const int rounds = env != nullptr ? std::atoi(env) : 1000;
    const std::vector<uint8_t> bytes = AnimationBytes();
    std::mt19937 random(20261210);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const TGIFDrawOptions optional[] = {DrawOption(goDirectDraw), DrawOption(goTransparent),
                                        DrawOption(goClearOnLoop), DrawOption(goTile),
                                        DrawOption(goLoopContinously), DrawOption(goValidateCanvas)};
    auto randomOptions = [&] {
        TGIFDrawOptions options = DrawOption(goAsync) | DrawOption(goAnimate) | DrawOption(goLoop);
        for (TGIFDrawOptions option : optional)
            if (pick(2)) options |= option;
        return options;
    };

    testsupport::Watchdog watchdog(std::chrono::seconds(30));
    for (int round = 0; round < rounds; ++round) {
        watchdog.Beat("round " + std::to_string(round));
        auto image = std::make_unique<TGIFImage>();
        rtl::TMemoryStream stream(bytes);
        image->LoadFromStream(stream);
        image->SetDrawOptions(randomOptions());
        // Mostly fast, so that frames pass while the UI thread is busy.
        image->SetAnimationSpeed(pick(4) ? 1000 : 100 + pick(900));
        int frames = 0;
        image->OnFrameDone = [&](TObject*) { ++frames; };
        vcl::TBitmap target;
        target.SetSize(24, 20);
        image->Draw(target.GetCanvas(), {0, 0, 24, 20});
        for (int step = 0; step < 4; ++step) {
            ServiceFor(pick(8));
            switch (pick(11)) {
                case 0: image->SetDrawOptions(randomOptions()); break;
                case 1: image->Pack(); break;
                case 2: image->Draw(target.GetCanvas(), {pick(4), pick(4), 24, 20}); break;
                case 3: image->SetAnimationSpeed(pick(300)); break;
                case 4: image->PaintPause(); break;
                case 5: image->PaintResume(); break;
                case 6: image->Paint(target.GetCanvas(), {0, 0, 12, 10}, randomOptions()); break;
                case 7: image->PaintRestart(); break;
                case 8: image->Optimize(GIFAllOptimizeOptions, rmNone, dmNearest, 8); break;
                case 9: image->OptimizeColorMap(); break;
                default: image->Draw(target.GetCanvas(), {0, 0, 24, 20}); break;
            }
        }
        if (pick(2)) image->Clear();
        image.reset();
    }
    ServiceFor(0);
    EXPECT_EQ(vcl::TThread::RunningCount(), 0);
}

}  // namespace
