// The animation painter.  Its thread only decides what comes next and
// waits; everything that touches the picture, its frames' caches, the
// canvases and the event handlers runs on the UI thread (DoSynchronize), and
// checks there again that the painter was not stopped meanwhile, so that the
// UI thread can drop caches and bitmaps between two steps.  The UI thread
// never waits for a painter whose step it is running: a handler that stops
// the painter (directly, or by clearing, reloading or freeing the picture)
// only marks it, and the painter ends once the handler has returned.
#include "gif/GIFPainter.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <set>

#include "gif/GIFDrawing.h"

namespace gif {

namespace {

vcl::TRect ScaledFrameRect(const TGIFSubImage& frame, const TGIFImage& image, const vcl::TRect& into) {
    const int width = std::max(1, image.GetWidth());
    const int height = std::max(1, image.GetHeight());
    const int64_t w = into.Width(), h = into.Height();
    auto scale = [](int64_t value, int64_t extent, int64_t size) {
        return static_cast<int>((value * extent + size / 2) / size);
    };
    return {into.Left + scale(frame.GetLeft(), w, width), into.Top + scale(frame.GetTop(), h, height),
            into.Left + scale(frame.GetLeft() + frame.GetWidth(), w, width),
            into.Top + scale(frame.GetTop() + frame.GetHeight(), h, height)};
}

std::unique_ptr<vcl::TBitmap> NewBuffer(int width, int height, TColor brush) {
    auto buffer = std::make_unique<vcl::TBitmap>();
    buffer->SetSize(width, height);
    buffer->GetCanvas().CopyMode = vcl::cmSrcCopy;
    buffer->GetCanvas().Brush.Color = brush;
    buffer->GetCanvas().Brush.Style = vcl::bsSolid;
    return buffer;
}

struct Progress {
    std::mutex Mutex;
    std::condition_variable Moved;
    uint64_t Count = 0;
};

// Never freed: painters may still end while the program's statics go.
Progress& TheProgress() {
    static Progress* const progress = new Progress;
    return *progress;
}

}  // namespace

uint64_t TPainterProgress::Count() {
    Progress& progress = TheProgress();
    std::lock_guard<std::mutex> lock(progress.Mutex);
    return progress.Count;
}

void TPainterProgress::WaitPast(uint64_t seen) {
    Progress& progress = TheProgress();
    std::unique_lock<std::mutex> lock(progress.Mutex);
    progress.Moved.wait(lock, [&] { return progress.Count != seen; });
}

void TPainterProgress::Advance() {
    Progress& progress = TheProgress();
    {
        std::lock_guard<std::mutex> lock(progress.Mutex);
        ++progress.Count;
    }
    progress.Moved.notify_all();
}

TGIFPainter::TGIFPainter(TGIFImage* image, vcl::TCanvas* canvas, const vcl::TRect& rect, TGIFDrawOptions options)
    : TGIFPainter(nullptr, image, canvas, rect, options) {}

TGIFPainter::TGIFPainter(PGIFPainter slot, TGIFImage* image, vcl::TCanvas* canvas, const vcl::TRect& rect,
                         TGIFDrawOptions options)
    : FImage(image),
      FTargetCanvas(canvas),
      FTargetRect(rect),
      FDrawOptions(options),
      FAnimationSpeed(image->GetAnimationSpeed()) {
    FreeOnTerminate = true;
    OnTerminate = [this](vcl::TThread*) { DoOnTerminate(); };
    if (Has(goAsync) && Has(goAnimate) && image->GetImages().GetCount() > 1 && FAnimationSpeed >= 0)
        FWakeEvent = std::make_unique<vcl::TEvent>();

    if (image->GetDrawBackgroundColor() != clNone)
        FClearColor = vcl::ColorToRGB(image->GetDrawBackgroundColor());
    else if (image->GetGlobalColorMap().GetCount() > 0)
        FClearColor = image->GetBackgroundColor();
    else
        FClearColor = vcl::ColorToRGB(vcl::clWindow);

    std::set<int> disposals;
    if (Has(goClearOnLoop)) disposals.insert(dmBackground);
    for (int i = 0; i < image->GetImages().GetCount(); ++i)
        if (const TGIFGraphicControlExtension* gce = image->GetImages().GetImage(i)->GetGraphicControlExtension())
            disposals.insert(gce->GetDisposal());
    const int width = std::max(0, rect.Width());
    const int height = std::max(0, rect.Height());
    const vcl::TRect whole{0, 0, width, height};
    if (disposals.count(dmBackground) && Has(goTransparent)) {
        FBackgroundCopy = NewBuffer(width, height, FClearColor);
        FBackgroundCopy->GetCanvas().CopyRect(whole, *canvas, rect);
    }
    if (disposals.count(dmBackground) || disposals.count(dmPrevious)) {
        FRestoreBuffer = NewBuffer(width, height, FClearColor);
        FRestoreBuffer->GetCanvas().CopyRect(whole, *canvas, rect);
        FScratchBuffer = NewBuffer(width, height, FClearColor);
    }
    FOwnerSlot = slot;
    if (slot != nullptr) slot->store(this);
}

TGIFPainter::~TGIFPainter() {
    if (!IsAsync()) DoOnTerminate();
}

void TGIFPainter::Start() {
    if (IsAsync()) Resume();
}

void TGIFPainter::Stop() {
    Terminate();
    if (!IsAsync()) return;
    if (FWakeEvent) FWakeEvent->SetEvent();
    FReply->SetEvent();
    SetPriority(vcl::tpNormal);
    // A painter that never started or is paused runs on, sees the request
    // and ends.
    if (!Started() || Suspended()) Resume();
}

void TGIFPainter::Restart() {
    FRestartRequested = true;
    if (IsAsync() && Suspended()) Resume();
}

void TGIFPainter::SetAnimationSpeed(int value) {
    value = std::clamp(value, 0, 1000);
    if (value == FAnimationSpeed) return;
    FAnimationSpeed = value;
    if (FWakeEvent)
        FWakeEvent->SetEvent();
    else
        FRestartRequested = true;
}

void TGIFPainter::SetActiveImage(int value) {
    TGIFImage* image = FImage;
    if (image != nullptr && value >= 0 && value < image->GetImages().GetCount()) FCurrentFrame = value;
}

// One step handed to the UI thread.  Whoever moves it on first decides: the
// UI thread from queued to running, or the stopped painter from queued to
// withdrawn, after which the UI thread drops it without touching the
// painter.  A running step is waited for, so the painter outlives it.
struct TGIFPainter::UiStep {
    enum : int { Queued, Running, Done, Withdrawn };
    std::atomic<int> State{Queued};
    std::exception_ptr Error;
    std::shared_ptr<vcl::TEvent> Reply;
};

void TGIFPainter::DoSynchronize(const std::function<void()>& method) {
    if (Terminated()) return;
    if (!IsAsync()) {
        method();
        return;
    }
    auto step = std::make_shared<UiStep>();
    step->Reply = FReply;
    vcl::TThread::Queue([this, step, &method] {
        int queued = UiStep::Queued;
        if (!step->State.compare_exchange_strong(queued, UiStep::Running)) return;
        FInUiStep = true;
        try {
            // Stop and the picture's end come from the UI thread: looked at
            // here, they cannot change before the method runs.
            if (!Terminated() && FImage != nullptr) method();
        } catch (...) {
            step->Error = std::current_exception();
        }
        FInUiStep = false;
        step->State = UiStep::Done;
        step->Reply->SetEvent();
    });
    for (;;) {
        FReply->WaitFor(vcl::INFINITE);
        if (step->State == UiStep::Done) break;
        int queued = UiStep::Queued;
        if (Terminated() && step->State.compare_exchange_strong(queued, UiStep::Withdrawn)) return;
    }
    if (step->Error) std::rethrow_exception(step->Error);
}

void TGIFPainter::RaisePaintEvent(const TNotifyEvent& event) {
    if (!event) return;
    DoSynchronize([&] { event(this); });
}

void TGIFPainter::DoOnTerminate() {
    if (FTerminateHandled) return;
    FTerminateHandled = true;
    if (TGIFImage* image = FImage) {
        // A thread cannot hand its failure to anyone: the picture's user
        // learns it as an error warning.
        if (IsAsync() && !FSavedMessage.empty()) image->Warning(this, gsError, FSavedMessage);
        auto& painters = image->FPainters;
        painters.LockList();
        if (FOwnerSlot != nullptr && FOwnerSlot->load() == this) FOwnerSlot->store(nullptr);
        painters.UnlockList();
        painters.Remove(this);
        FImage = nullptr;
    }
    FRestoreBuffer.reset();
    FScratchBuffer.reset();
    FBackgroundCopy.reset();
    FWakeEvent.reset();
    TPainterProgress::Advance();
}

TGIFPainter::FrameStep TGIFPainter::ReadFrame() {
    FrameStep step;
    DoSynchronize([&] {
        TGIFImage* image = FImage;
        step.Count = image->GetImages().GetCount();
        const int index = FCurrentFrame;
        if (index < 0 || index >= step.Count) return;
        TGIFSubImage* frame = image->GetImages().GetImage(index);
        step.Empty = frame->GetEmpty();
        if (const TGIFAppExtNSLoop* loop = frame->GetLoopExtension()) {
            step.HasLoop = true;
            step.Loops = loop->GetLoops();
        }
        if (const TGIFGraphicControlExtension* gce = frame->GetGraphicControlExtension()) {
            step.HasControl = true;
            step.Disposal = gce->GetDisposal();
            step.Delay = gce->GetDelay();
        }
    });
    return step;
}

void TGIFPainter::Execute() {
    try {
        Run();
    } catch (const std::exception& error) {
        Terminate();
        FSavedException = std::current_exception();
        FSavedMessage = error.what();
    }
}

void TGIFPainter::RunSynchronous() {
    Execute();
    std::exception_ptr saved = FSavedException;
    delete this;
    if (saved) std::rethrow_exception(saved);
}

void TGIFPainter::Run() {
    if (Has(goValidateCanvas)) DoSynchronize([&] { FTargetDC = FTargetCanvas->GetHandle(); });
    FRestartRequested = true;
    while (FRestartRequested && !Terminated()) {
        FCurrentFrame = 0;
        RaisePaintEvent(OnPaintStart);
        FFirstFrameShown = false;
        FRestartRequested = false;

        int loopCount = 1;
        int loopPoint = 0;
        bool loopSeen = false;
        int delay = IsAsync() ? 0 : 1;
        FPreviousDisposal = dmNoDisposal;
        FLastTime = vcl::PlatformTickCount();
        FLastWait = 0;
        auto noteLoop = [&](const FrameStep& step) {
            if (!step.HasLoop || loopSeen) return;
            loopSeen = true;
            loopCount = step.Loops;
            if (IsAsync() && (loopCount == 0 || Has(goLoopContinously))) loopCount = -1;
            loopPoint = FCurrentFrame;
        };
        while ((loopCount != 0 || Has(goLoopContinously)) && !Terminated() && !FRestartRequested) {
            FCurrentFrame = loopPoint;
            if (FFirstFrameShown) RaisePaintEvent(OnLoopStart);
            bool painted = false;
            while (!Terminated() && !FRestartRequested) {
                FrameStep step = ReadFrame();
                if (FCurrentFrame >= step.Count) break;
                // A frame without pixels shows nothing and takes no time; a
                // loop extension it carries counts all the same.
                if (step.Empty) {
                    noteLoop(step);
                    ++FCurrentFrame;
                    continue;
                }
                if (delay > 0)
                    Wait(delay);
                else
                    vcl::PlatformSleep(0);
                CheckSuspended();
                if (Terminated()) break;
                RaisePaintEvent(OnFramePaint);
                if (Terminated()) break;
                // A handler may have chosen another frame.
                step = ReadFrame();
                if (FCurrentFrame >= step.Count) break;
                if (step.Empty) {
                    // Passed over where it is met; its wait is done.
                    delay = 0;
                    continue;
                }
                FFrameDisposal = static_cast<uint8_t>(step.HasControl ? step.Disposal : dmNoDisposal);
                noteLoop(step);
                if (FRestoreBuffer)
                    DoSynchronize([this] { DoPaintFrame(); });
                else
                    DoSynchronize([this] { DoPaint(); });
                painted = true;
                FPreviousDisposal = FFrameDisposal;
                if (Terminated()) break;

                delay = GIFDefaultDelay;
                if (step.HasControl && step.Delay > 0) {
                    delay = std::max(step.Delay, GIFMinimumDelay);
                    if (delay > GIFMaximumDelay && !IsAsync()) delay = GIFMaximumDelay;
                }
                const int shown = FCurrentFrame;
                RaisePaintEvent(OnFrameDone);
                if (Terminated()) break;
                if (FCurrentFrame == shown) ++FCurrentFrame;
                if (!Has(goAnimate)) break;
            }
            if (loopCount > 0) --loopCount;
            // A pass that shows nothing would only spin.
            if (!(Has(goAnimate) && Has(goLoop)) || !painted) break;
        }
        if (Terminated()) break;
    }
    FCurrentFrame = -1;
    RaisePaintEvent(OnPaintEnd);
}

void TGIFPainter::Wait(int delay) {
    const uint32_t now = vcl::PlatformTickCount();
    const int speed = FAnimationSpeed;
    int64_t milliseconds;
    if (speed > 0) {
        // Half of what painting and decoding took beyond the last wait is
        // taken off this one.
        const int64_t overrun = (static_cast<int64_t>(static_cast<int32_t>(now - FLastTime)) - FLastWait) / 2;
        const int64_t scaled = static_cast<int64_t>(delay) * GIFDelayExp - overrun;
        milliseconds = scaled * 100 / speed;
        const int64_t rest = scaled * 100 % speed;
        if (2 * (rest < 0 ? -rest : rest) >= speed) milliseconds += scaled < 0 ? -1 : 1;
        if (milliseconds > INT_MAX || milliseconds < INT_MIN) {
            milliseconds = static_cast<int64_t>(GIFMaximumDelay) * GIFDelayExp;
            FLastWait = 0;
        } else {
            FLastWait = milliseconds;
        }
    } else {
        milliseconds = IsAsync() ? -1 : static_cast<int64_t>(GIFMaximumDelay) * GIFDelayExp;
    }
    FLastTime = now;

    if (IsAsync()) {
        if (speed == 0 || milliseconds > 0) {
            const uint32_t timeout = speed == 0 ? vcl::INFINITE : static_cast<uint32_t>(milliseconds);
            if (FWakeEvent && FWakeEvent->WaitFor(timeout) == vcl::wrSignaled) {
                FLastWait = 0;
                FLastTime = vcl::PlatformTickCount();
            } else if (!FWakeEvent) {
                vcl::PlatformSleep(timeout == vcl::INFINITE ? 0 : timeout);
            }
        }
        return;
    }
    // A synchronous painter runs on the UI thread: it sleeps in short steps
    // and keeps the window answering in between.
    milliseconds = std::max<int64_t>(milliseconds, 1);
    uint32_t t = vcl::PlatformTickCount();
    while (milliseconds > 0 && !Terminated() && !FRestartRequested) {
        vcl::PlatformSleep(static_cast<uint32_t>(std::min<int64_t>(milliseconds, 100)));
        const uint32_t after = vcl::PlatformTickCount();
        milliseconds -= static_cast<int32_t>(after - t);
        t = after;
        if (!Terminated() && !FRestartRequested && vcl::ProcessMessages()) Terminate();
    }
}

void TGIFPainter::DoPaint() {
    TGIFImage* image = FImage;
    image->GetImages().GetImage(FCurrentFrame)->Draw(*FTargetCanvas, FTargetRect, Has(goTransparent), Has(goTile));
    FrameShown();
}

void TGIFPainter::DoPaintFrame() {
    if (Has(goValidateCanvas) && gdi::GetObjectType(FTargetDC) != gdi::OBJ_DC &&
        gdi::GetObjectType(FTargetDC) != gdi::OBJ_MEMDC) {
        Terminate();
        return;
    }
    if (!TGIFSubImage::IsDrawnDisposal(FFrameDisposal)) return;
    TGIFImage* image = FImage;
    TGIFSubImage* frame = image->GetImages().GetImage(FCurrentFrame);
    const bool clearFirst = Has(goClearOnLoop) && FCurrentFrame == image->GetImages().FirstWithPixels();
    const vcl::TRect whole{0, 0, FRestoreBuffer->GetWidth(), FRestoreBuffer->GetHeight()};

    vcl::TCanvas* target = nullptr;
    vcl::TRect targetRect = whole;
    bool copyToScreen = false;
    bool restoreAfter = false;
    bool fromRestore = false;
    switch (FFrameDisposal) {
        case dmNone:
        case dmNoDisposal:
            target = &FRestoreBuffer->GetCanvas();
            copyToScreen = true;
            break;
        case dmBackground:
            target = &FRestoreBuffer->GetCanvas();
            copyToScreen = true;
            restoreAfter = true;
            break;
        case dmPrevious:
            if (FPreviousDisposal == dmNone || FPreviousDisposal == dmNoDisposal) {
                // The restore buffer keeps the picture without this frame.
                target = FTargetCanvas;
                targetRect = FTargetRect;
            } else {
                target = &FScratchBuffer->GetCanvas();
                fromRestore = true;
                copyToScreen = true;
            }
            break;
        default:
            break;
    }
    if (target == nullptr) return;

    if (clearFirst) RestoreFrameArea();
    if (fromRestore) target->CopyRect(whole, FRestoreBuffer->GetCanvas(), whole);
    frame->Draw(*target, targetRect, Has(goTransparent), Has(goTile));
    if (copyToScreen) {
        const uint32_t mode = FTargetCanvas->CopyMode;
        FTargetCanvas->CopyMode = vcl::cmSrcCopy;
        FTargetCanvas->CopyRect(FTargetRect, *target, whole);
        FTargetCanvas->CopyMode = mode;
    }
    if (restoreAfter) RestoreFrameArea();
    FrameShown();
}

void TGIFPainter::FrameShown() {
    if (!FFirstFrameShown.exchange(true)) TPainterProgress::Advance();
}

void TGIFPainter::RestoreFrameArea() {
    TGIFImage* image = FImage;
    const TGIFSubImage* frame = image->GetImages().GetImage(FCurrentFrame);
    vcl::TCanvas& restore = FRestoreBuffer->GetCanvas();
    const vcl::TRect whole{0, 0, FRestoreBuffer->GetWidth(), FRestoreBuffer->GetHeight()};
    // The frame's tiles, as the frame draws them into the buffer.
    auto eachTile = [&](const auto& fn) {
        const vcl::TRect first{frame->GetLeft(), frame->GetTop(), frame->GetLeft() + frame->GetWidth(),
                               frame->GetTop() + frame->GetHeight()};
        ForEachTile(whole, first, image->GetWidth(), image->GetHeight(), fn);
    };
    if (Has(goTransparent) && FBackgroundCopy) {
        vcl::TCanvas& background = FBackgroundCopy->GetCanvas();
        if (Has(goTile))
            eachTile([&](const vcl::TRect& tile) { restore.CopyRect(tile, background, tile); });
        else {
            const vcl::TRect area = ScaledFrameRect(*frame, *image, whole);
            restore.CopyRect(area, background, area);
        }
        return;
    }
    if (!Has(goTransparent) && Has(goTile) && frame->GetWidth() != image->GetWidth() &&
        frame->GetHeight() != image->GetHeight()) {
        const vcl::TBrush brush = restore.Brush;
        const TColor color = image->GetDrawBackgroundColor();
        restore.Brush.Color = color == clNone ? FClearColor : color;
        eachTile([&](const vcl::TRect& tile) { restore.FillRect(tile); });
        restore.Brush = brush;
        return;
    }
    restore.FillRect(ScaledFrameRect(*frame, *image, whole));
}

}  // namespace gif
