// Drawing the picture and managing its painters.  Every function here runs
// on the UI thread; the painter list's lock is recursive because waiting for
// a painter services its synchronised calls, whose end handler takes the
// lock again on the same thread.
#include <algorithm>
#include <memory>

#include "gif/GIFDrawing.h"
#include "gif/GIFPainter.h"

namespace gif {

namespace {

// One round of a wait for asynchronous painters, after a look at them that
// began when the painters' progress count was `seen`.  On the UI thread
// their synchronised calls (and their ends) run: those that wait, or else
// the next message, which a painter posts with its next call.  Elsewhere
// the caller sleeps until a painter has shown its first frame or ended.
void ServicePainters(uint64_t seen) {
    if (vcl::IsUiThread()) {
        if (!vcl::TThread::CheckSynchronize()) vcl::HandleMessage();
    } else {
        TPainterProgress::WaitPast(seen);
    }
}

// Runs fn for each of the picture's painters while the list is locked.
template <class Fn>
void ForEachPainter(TGIFImage& image, Fn fn) {
    TPainterListLock lock(image);
    vcl::TThreadList<TGIFPainter>& list = image.GetPainterList();
    std::vector<TGIFPainter*>& painters = list.LockList();
    list.UnlockList();  // the lock above still holds it
    for (TGIFPainter* painter : painters) fn(painter);
}

}  // namespace

void TGIFImage::Draw(vcl::TCanvas& canvas, const vcl::TRect& rect) {
    if (FDrawing || GetEmpty()) return;
    // The painting started below runs event handlers before this returns
    // (all of a synchronous painting's, the first frame's of another), and
    // one may free the picture: from then on nothing of it is touched.
    const std::weak_ptr<const bool> alive = FAlive;
    FDrawing = true;
    struct Reset {
        const std::weak_ptr<const bool>& alive;
        bool& flag;
        ~Reset() {
            if (!alive.expired()) flag = false;
        }
    } reset{alive, FDrawing};

    const int count = FImages->GetCount();
    if (count == 1 || !Has(goAnimate)) {
        const int index = FForcedFrame >= 0 && FForcedFrame < count ? FForcedFrame : 0;
        FImages->GetImage(index)->Draw(canvas, rect, Has(goTransparent), Has(goTile));
        return;
    }
    if (FCachedBitmap != nullptr && !Has(goDirectDraw)) {
        DrawCachedBitmap(canvas, rect, GetBitmap());
        return;
    }
    {
        // Not held while the painting runs: the list goes with the picture.
        TPainterListLock lock(*this);
        // The running painter keeps drawing; one that was stopped (from its
        // own event handler, it still holds the place until the handler
        // returns) makes way for a new one.
        if (TGIFPainter* painter = FDrawingPainter; painter != nullptr && !painter->Terminated() &&
                                                     painter->GetTargetCanvas() == &canvas &&
                                                     painter->GetTargetRect() == rect)
            return;
        StopDraw();
    }
    vcl::TCanvas* target = &canvas;
    vcl::TRect targetRect = rect;
    if (!Has(goDirectDraw)) {
        vcl::TBitmap* bitmap = NewBitmap();
        target = &bitmap->GetCanvas();
        targetRect = target->GetClipRect();
        // Transparent frames fall on what the destination showed.
        target->CopyRect(targetRect, canvas, rect);
    }
    InternalPaint(&FDrawingPainter, *target, targetRect, FDrawOptions);
    if (alive.expired()) return;
    TGIFPainter* painter = FDrawingPainter;
    if (painter == nullptr) {
        // A synchronous painting ran to its end into the cached bitmap: the
        // destination shows where it ended.
        if (!Has(goDirectDraw))
            if (vcl::TBitmap* bitmap = GetBitmap()) DrawCachedBitmap(canvas, rect, bitmap);
        return;
    }
    painter->Start();
    if (Has(goDirectDraw)) return;
    for (;;) {
        const uint64_t seen = TPainterProgress::Count();
        painter = FDrawingPainter;
        if (painter == nullptr || painter->Terminated() || painter->GetFirstFrameShown()) break;
        ServicePainters(seen);
        if (alive.expired()) return;
    }
    if (vcl::TBitmap* bitmap = GetBitmap()) DrawCachedBitmap(canvas, rect, bitmap);
}

void TGIFImage::DrawCachedBitmap(vcl::TCanvas& canvas, const vcl::TRect& rect, vcl::TBitmap* bitmap) {
    if (bitmap == nullptr) return;
    if (!Has(goTile)) {
        canvas.StretchDraw(rect, *bitmap);
        return;
    }
    // Tiles of the picture's size (a pixel for a picture without size).
    const vcl::TRect first{rect.Left, rect.Top, rect.Left + std::max(1, GetWidth()), rect.Top + std::max(1, GetHeight())};
    ForEachTile(rect, first, GetWidth(), GetHeight(), [&](const vcl::TRect& tile) { canvas.StretchDraw(tile, *bitmap); });
}

TGIFPainter* TGIFImage::InternalPaint(std::atomic<TGIFPainter*>* slot, vcl::TCanvas& canvas, const vcl::TRect& rect,
                                      TGIFDrawOptions options) {
    if (GetEmpty() || rect.Left >= rect.Right || rect.Top >= rect.Bottom) {
        if (slot != nullptr) slot->store(nullptr);
        return nullptr;
    }
    if (FImages->GetCount() == 1) options &= static_cast<TGIFDrawOptions>(~(DrawOption(goAsync) | DrawOption(goAnimate)));
    // Without an application no UI thread would run an asynchronous
    // painter's drawing: it would draw on its own thread while the caller
    // reads the same bitmaps.  The painting runs here instead, and plays the
    // sequence once whatever the loop options and count say: the caller
    // asked to get control back, and an endless loop would never give it.
    if (!vcl::HasUiThread() && (options & DrawOption(goAsync)))
        options &= static_cast<TGIFDrawOptions>(
            ~(DrawOption(goAsync) | DrawOption(goLoop) | DrawOption(goLoopContinously)));
    auto* painter = new TGIFPainter(slot, this, &canvas, rect, options);
    FPainters.Add(painter);
    painter->OnPaintStart = OnPaintStart;
    painter->OnFramePaint = OnFramePaint;
    painter->OnFrameDone = OnFrameDone;
    painter->OnLoopStart = OnLoopStart;
    painter->OnPaintEnd = OnPaintEnd;
    if (options & DrawOption(goAsync)) {
        painter->SetPriority(static_cast<vcl::TThreadPriority>(FThreadPriority));
        return painter;
    }
    // Its end clears slot, unless a handler freed the picture that holds it.
    painter->RunSynchronous();
    return nullptr;
}

TGIFPainter* TGIFImage::Paint(vcl::TCanvas& canvas, const vcl::TRect& rect, TGIFDrawOptions options) {
    TGIFPainter* painter = InternalPaint(nullptr, canvas, rect, options);
    if (painter != nullptr) painter->Start();
    return painter;
}

void TGIFImage::PaintStart() {
    ForEachPainter(*this, [](TGIFPainter* painter) { painter->Start(); });
}

void TGIFImage::PaintPause() {
    ForEachPainter(*this, [](TGIFPainter* painter) { painter->Suspend(); });
}

void TGIFImage::PaintResume() { PaintStart(); }

void TGIFImage::PaintRestart() {
    ForEachPainter(*this, [](TGIFPainter* painter) { painter->Restart(); });
}

// Painters whose event handler is running below this call (the handler
// cleared, reloaded or freed the picture) are only stopped, not waited for:
// they end once their handler has returned.
void TGIFImage::PaintStop() {
    for (;;) {
        const uint64_t seen = TPainterProgress::Count();
        int waited = 0;
        {
            TPainterListLock lock(*this);
            std::vector<TGIFPainter*> painters = FPainters.LockList();
            FPainters.UnlockList();
            if (painters.empty()) break;
            for (auto it = painters.rbegin(); it != painters.rend(); ++it) {
                (*it)->Stop();
                if ((*it)->Awaited()) ++waited;
            }
        }
        if (waited == 0) break;
        ServicePainters(seen);
    }
    FreeBitmap();
}

void TGIFImage::StopDraw() {
    for (;;) {
        const uint64_t seen = TPainterProgress::Count();
        {
            TPainterListLock lock(*this);
            TGIFPainter* painter = FDrawingPainter;
            if (painter == nullptr) break;
            painter->Stop();
            if (!painter->Awaited()) break;
        }
        ServicePainters(seen);
    }
    FreeBitmap();
}

void TGIFImage::SetDrawOptions(TGIFDrawOptions value) {
    if (value == FDrawOptions) return;
    if (TGIFPainter* painter = FDrawingPainter) painter->Stop();
    FDrawOptions = value;
    Pack();
    Changed(this);
}

void TGIFImage::SetAnimate(bool value) {
    SetDrawOptions(value ? FDrawOptions | DrawOption(goAnimate)
                         : static_cast<TGIFDrawOptions>(FDrawOptions & ~DrawOption(goAnimate)));
}

void TGIFImage::SetAnimationSpeed(int value) {
    value = std::clamp(value, 0, 1000);
    if (value == FAnimationSpeed) return;
    FAnimationSpeed = value;
    TPainterListLock lock(*this);
    if (TGIFPainter* painter = FDrawingPainter) painter->SetAnimationSpeed(value);
}

void TGIFImage::SetForceFrame(int value) {
    FForcedFrame = value;
    Changed(this);
}

vcl::TBitmap* TGIFImage::NewBitmap() {
    if (FCachedBitmap != nullptr) return FCachedBitmap;
    auto bitmap = std::make_unique<vcl::TBitmap>();
    HPALETTE palette = 0;
    try {
        palette = GetPalette();
    } catch (const GIFException&) {
        // No colour table anywhere: a picture without a palette.
    }
    if (palette != 0) bitmap->SetPalette(CheckGDIHandle(gdi::CopyPalette(palette)));
    bitmap->SetSize(GetWidth(), GetHeight());
    bitmap->OnChange = [this](rtl::TObject*) { Changed(this); };
    FCachedBitmap = bitmap.release();
    return FCachedBitmap;
}

vcl::TBitmap* TGIFImage::GetBitmap() {
    if (GetEmpty()) return nullptr;
    if (FCachedBitmap != nullptr) return FCachedBitmap;
    TGIFSubImage& first = *FImages->GetImage(0);
    if (first.GetWidth() == GetWidth() && first.GetHeight() == GetHeight()) {
        // Frame 0 covers the screen: its own bitmap is the picture.
        auto bitmap = std::make_unique<vcl::TBitmap>();
        bitmap->Assign(first.GetBitmap());
        bitmap->OnChange = [this](rtl::TObject*) { Changed(this); };
        FCachedBitmap = bitmap.release();
        return FCachedBitmap;
    }
    vcl::TBitmap* bitmap = NewBitmap();
    vcl::TCanvas& canvas = bitmap->GetCanvas();
    first.Draw(canvas, canvas.GetClipRect(), false, false);
    return bitmap;
}

void TGIFImage::FreeBitmap() {
    if (TGIFPainter* painter = FDrawingPainter) painter->Stop();
    delete FCachedBitmap;
    FCachedBitmap = nullptr;
}

// The painters that outlive the picture's end no longer reach it.
void TGIFImage::DetachPainters() {
    ForEachPainter(*this, [](TGIFPainter* painter) { painter->FImage = nullptr; });
}

}  // namespace gif
