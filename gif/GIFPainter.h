// The animation painter: paints the frames of one picture onto one canvas
// rectangle, one after another, with the frames' delays, disposals and the
// loop count.  With goAsync it is a thread of its own whose every drawing
// step and event runs on the UI thread through synchronisation; without it,
// it runs inside the call that made it (the picture's InternalPaint).
#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <string>

#include "gif/GIFImage.h"
#include "vcl/Bitmap.h"
#include "vcl/Thread.h"

namespace gif {

// Holds a picture's painter list locked for its lifetime.  The lock is
// recursive and taken on the UI thread only.
class TPainterListLock {
public:
    explicit TPainterListLock(TGIFImage& image) : FList(image.GetPainterList()) { FList.LockList(); }
    ~TPainterListLock() { FList.UnlockList(); }
    TPainterListLock(const TPainterListLock&) = delete;
    TPainterListLock& operator=(const TPainterListLock&) = delete;

private:
    vcl::TThreadList<TGIFPainter>& FList;
};

// How a thread other than the UI thread waits for painters, whose steps and
// ends run on the UI thread: each painter that shows its first frame or ends
// moves this count on and wakes the waiters.
class TPainterProgress {
public:
    // The count now: read before looking at the painters, then waited past.
    static uint64_t Count();
    // Blocks until the count has moved on from seen.
    static void WaitPast(uint64_t seen);
    static void Advance();
};

class TGIFPainter : public vcl::TThread, public TObject {
public:
    using PGIFPainter = std::atomic<TGIFPainter*>*;

    TGIFPainter(TGIFImage* image, vcl::TCanvas* canvas, const vcl::TRect& rect, TGIFDrawOptions options);
    TGIFPainter(PGIFPainter slot, TGIFImage* image, vcl::TCanvas* canvas, const vcl::TRect& rect,
                TGIFDrawOptions options);
    ~TGIFPainter() override;

    // With goAsync resumes the thread; otherwise nothing.
    void Start();
    // Ends the painter at its next check (a waiting asynchronous painter
    // wakes; a paused or not yet started one runs on so that it can end).
    // Called from the painter's own event handler, it only marks the
    // painter: the painter ends after the handler has returned.
    void Stop();
    // Begins again at frame 0 at the next check.
    void Restart();
    void SetAnimationSpeed(int value);
    int GetAnimationSpeed() const { return FAnimationSpeed; }
    // Chooses the frame shown next (from an event handler); values outside
    // the frames are ignored.
    void SetActiveImage(int value);
    int GetActiveImage() const { return FCurrentFrame; }

    TGIFImage* GetImage() const { return FImage; }
    vcl::TCanvas* GetTargetCanvas() const { return FTargetCanvas; }
    const vcl::TRect& GetTargetRect() const { return FTargetRect; }
    TGIFDrawOptions GetDrawOptions() const { return FDrawOptions; }
    bool GetFirstFrameShown() const { return FFirstFrameShown; }
    bool GetRestartRequested() const { return FRestartRequested; }
    uint8_t GetFrameDisposal() const { return FFrameDisposal; }
    vcl::TBitmap* GetRestoreBuffer() const { return FRestoreBuffer.get(); }

    TNotifyEvent OnPaintStart, OnFramePaint, OnFrameDone, OnLoopStart, OnPaintEnd;

    // A synchronous painter: runs the whole sequence on the calling thread,
    // frees the painter and raises again what the run raised.
    void RunSynchronous();

    std::string ClassName() const override { return "TGIFPainter"; }

protected:
    void Execute() override;

private:
    friend class TGIFImage;
    bool Has(TGIFDrawOption option) const { return (FDrawOptions & DrawOption(option)) != 0; }
    bool IsAsync() const { return Has(goAsync); }
    // Whether a caller that stopped this painter has to wait for its end:
    // an asynchronous painter, unless the caller runs inside one of the
    // painter's own steps on the UI thread (an event handler), which the
    // painter's end has to wait for instead.
    bool Awaited() const { return IsAsync() && !(vcl::IsUiThread() && FInUiStep); }
    // Runs method on the UI thread (asynchronous) or at once; nothing once
    // the painter is stopped.  The painter waits for the UI thread on its own
    // reply event, which Stop signals too: a step the UI thread has not begun
    // is withdrawn, so a stop never waits for the UI thread.
    void DoSynchronize(const std::function<void()>& method);
    void RaisePaintEvent(const TNotifyEvent& event);
    void DoOnTerminate();
    void DoPaint();
    void DoPaintFrame();
    // FirstFrameShown := True; the first time, threads that wait for it wake.
    void FrameShown();
    void RestoreFrameArea();
    // The delay before a frame, in delay units, waited on the platform clock.
    void Wait(int delay);
    void Run();

    // Read on the UI thread for the frame at CurrentFrame.
    struct FrameStep {
        int Count = 0;
        bool Empty = true;
        bool HasLoop = false;
        int Loops = 0;
        bool HasControl = false;
        int Disposal = dmNoDisposal;
        int Delay = 0;
    };
    FrameStep ReadFrame();

    std::atomic<TGIFImage*> FImage;
    vcl::TCanvas* FTargetCanvas;
    vcl::TRect FTargetRect;
    TGIFDrawOptions FDrawOptions;
    std::atomic<int> FAnimationSpeed;
    std::atomic<int> FCurrentFrame{-1};
    uint8_t FFrameDisposal = dmNoDisposal;
    uint8_t FPreviousDisposal = dmNoDisposal;
    std::unique_ptr<vcl::TBitmap> FRestoreBuffer;
    std::unique_ptr<vcl::TBitmap> FScratchBuffer;
    std::unique_ptr<vcl::TBitmap> FBackgroundCopy;
    uintptr_t FTargetDC = 0;
    std::atomic<bool> FRestartRequested{false};
    std::atomic<bool> FFirstFrameShown{false};
    PGIFPainter FOwnerSlot = nullptr;
    std::unique_ptr<vcl::TEvent> FWakeEvent;
    struct UiStep;
    const std::shared_ptr<vcl::TEvent> FReply = std::make_shared<vcl::TEvent>();
    std::atomic<bool> FInUiStep{false};  // a step of this painter runs on the UI thread
    std::exception_ptr FSavedException;
    std::string FSavedMessage;
    TColor FClearColor = 0;
    uint32_t FLastTime = 0;  // worker only
    int64_t FLastWait = 0;   // worker only
    bool FTerminateHandled = false;
};

}  // namespace gif
