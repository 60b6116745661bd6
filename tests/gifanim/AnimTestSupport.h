// Shared by the animation tests: a platform clock that records every sleep,
// pictures of solid frames built in code, and the colours they use.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "gif/GIFPainter.h"
#include "platform/Services.h"
#include "support/RunUntil.h"

namespace animtest {

// Time moves only when slept on or advanced; every sleep is recorded.
// While held, a thread other than the UI thread that reads the clock stays
// there until the clock is let go: a painter held between two steps.
class RecordingClock : public platform::IClock {
public:
    void Sleep(uint32_t milliseconds) override {
        std::lock_guard<std::mutex> lock(mutex_);
        sleeps_.push_back(milliseconds);
        tick_ += milliseconds;
    }
    uint32_t TickCount() override {
        if (holding_ && !vcl::IsUiThread()) {
            std::unique_lock<std::mutex> lock(mutex_);
            ++held_;
            changed_.wait(lock, [this] { return !holding_; });
            --held_;
        }
        return tick_;
    }
    void Hold() { holding_ = true; }
    void LetGo() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            holding_ = false;
        }
        changed_.notify_all();
    }
    // Threads that the clock holds now.
    int Held() {
        std::lock_guard<std::mutex> lock(mutex_);
        return held_;
    }
    platform::LocalTime Now() override { return {}; }
    bool IsVirtual() const override { return true; }
    void Advance(uint32_t milliseconds) override { tick_ += milliseconds; }
    std::vector<uint32_t> Sleeps() {
        std::lock_guard<std::mutex> lock(mutex_);
        return sleeps_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint32_t> sleeps_;
    std::atomic<uint32_t> tick_{1000};
    std::atomic<bool> holding_{false};
    int held_ = 0;
};

// Colour i of the pictures' global table.
inline gif::TColor Colour(int index) {
    static const gif::TColor colours[] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00, 0x808080};
    return colours[index];
}

struct FrameSetup {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int ColourIndex = 1;
    int Delay = -1;  // no graphic control extension
    int Disposal = gif::dmNone;
    int Loops = -1;  // no loop extension
};

inline std::unique_ptr<gif::TGIFImage> MakePicture(int width, int height, const std::vector<FrameSetup>& frames) {
    auto image = std::make_unique<gif::TGIFImage>();
    for (int i = 0; i < 8; ++i) image->GetGlobalColorMap().Add(Colour(i));
    image->SetWidth(width);
    image->SetHeight(height);
    for (const FrameSetup& setup : frames) {
        auto* frame = &image->GetImages().Adopt(std::make_unique<gif::TGIFSubImage>());
        frame->DoSetBounds(setup.Left, setup.Top, setup.Width, setup.Height);
        if (frame->GetDataSize() > 0) std::memset(frame->GetData(), setup.ColourIndex, frame->GetDataSize());
        if (setup.Loops >= 0) {
            auto* loop = &frame->GetExtensions().Adopt(std::make_unique<gif::TGIFAppExtNSLoop>());
            loop->SetLoops(setup.Loops);
        }
        if (setup.Delay >= 0) {
            auto* gce = &frame->GetExtensions().Adopt(std::make_unique<gif::TGIFGraphicControlExtension>());
            gce->SetDelay(setup.Delay);
            gce->SetDisposal(static_cast<gif::TDisposalMethod>(setup.Disposal));
        }
    }
    return image;
}

// n frames covering the whole screen, each of its own colour and delay;
// frame 0 carries a loop extension when loops is not -1.
inline std::unique_ptr<gif::TGIFImage> Strip(int n, int delay = 10, int loops = -1) {
    std::vector<FrameSetup> frames;
    for (int i = 0; i < n; ++i) frames.push_back({0, 0, 4, 4, 1 + i % 7, delay, gif::dmNone, i == 0 ? loops : -1});
    return MakePicture(4, 4, frames);
}

constexpr gif::TGIFDrawOptions Options(std::initializer_list<gif::TGIFDrawOption> options) {
    gif::TGIFDrawOptions set = 0;
    for (auto option : options) set = static_cast<gif::TGIFDrawOptions>(set | gif::DrawOption(option));
    return set;
}

inline int PainterCount(gif::TGIFImage& image) { return image.GetPainterList().Count(); }

// A test with the recording clock installed.
class AnimTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Services services;
        services.Clock = &clock;
        platform::Install(services);
    }
    void TearDown() override {
        while (vcl::TThread::CheckSynchronize()) {
        }
        QCoreApplication::processEvents();
        platform::Uninstall();
    }
    static bool RunUntil(const std::function<bool()>& done, int boundMs = 10000) {
        return testsupport::RunEventLoopUntil(done, boundMs);
    }

    RecordingClock clock;
};

}  // namespace animtest
