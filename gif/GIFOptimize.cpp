// Shrinking a picture before it is saved, and dropping its rendered caches.
//
// Every step keeps what the animation shows, frame by frame and in time: a
// step that could change a composed frame is left out for that frame.
#include <algorithm>

#include "gif/GIFColorMapOptimizer.h"
#include "gif/GIFImpl.h"
#include "gif/GIFPainter.h"

namespace gif {

namespace {

TDisposalMethod Disposal(const TGIFSubImage& frame) {
    const TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension();
    return gce != nullptr ? gce->GetDisposal() : dmNone;
}

// What a frame leaves on the screen stays there for the next one.
bool KeepsItsPixels(const TGIFSubImage& frame) {
    return Disposal(frame) == dmNone || Disposal(frame) == dmNoDisposal;
}

// How long a frame is shown, in delay units, as a painter counts it.
int ShownDelay(const TGIFSubImage& frame) {
    const TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension();
    if (gce == nullptr || gce->GetDelay() == 0) return GIFDefaultDelay;
    return std::max(gce->GetDelay(), GIFMinimumDelay);
}

TGIFGraphicControlExtension& NeedControlExtension(TGIFSubImage& frame) {
    if (TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension()) return *gce;
    return frame.GetExtensions().Adopt(std::make_unique<TGIFGraphicControlExtension>());
}

// Hands every extension of one frame but its graphic control extension over
// to another frame's list, in order.
void MoveExtensions(TGIFSubImage& from, TGIFSubImage& to) {
    TGIFExtensionList& extensions = from.GetExtensions();
    const TGIFExtension* control = from.GetGraphicControlExtension();
    for (int i = 0; i < extensions.GetCount();) {
        TGIFExtension& extension = *extensions.GetExtension(i);
        if (&extension == control) {
            ++i;
            continue;
        }
        to.GetExtensions().Adopt(extensions.Release(extension));
    }
}

// The frame carrying the loop extension a painter obeys, the first one met:
// where passes after the first begin.  -1 when no frame carries one.
int LoopPoint(const TGIFImageList& frames) {
    for (int i = 0; i < frames.GetCount(); ++i)
        if (frames.GetImage(i)->GetLoopExtension() != nullptr) return i;
    return -1;
}

const TGIFAppExtNSLoop* ObeyedLoop(const TGIFImageList& frames) {
    const int point = LoopPoint(frames);
    return point >= 0 ? frames.GetImage(point)->GetLoopExtension() : nullptr;
}

bool Intersect(const TGIFSubImage::TRect& a, const TGIFSubImage::TRect& b, TGIFSubImage::TRect& common) {
    common = {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
    return common.Left < common.Right && common.Top < common.Bottom;
}

}  // namespace

void TGIFImage::Optimize(TGIFOptimizeOptions options, TColorReduction colorReduction, TDitherMode, int) {
    if (GetEmpty()) return;
    auto has = [options](TGIFOptimizeOption option) { return (options & OptimizeOption(option)) != 0; };
    // Refused before anything changes.
    if (!has(ooCleanup) && has(ooReduceColors) && colorReduction == rmPalette) RaiseGIFError(_sInvalidReduction);
    PaintStop();
    // No painter starts while frames and tables change.
    TPainterListLock lock(*this);
    const int count = FImages->GetCount();
    const int total = count * 6;
    int done = 0;
    auto progress = [&] { Progress(this, psRunning, Percent(done, total), false, TRect{0, 0, 0, 0}, _sProgressOptimizing); };
    auto frame = [this](int i) -> TGIFSubImage& { return *FImages->GetImage(i); };
    Progress(this, psStarting, 0, false, TRect{0, 0, 0, 0}, _sProgressOptimizing);
    try {
        if (has(ooColorMap)) {
            if (GetGlobalColorMap().GetCount() > 0) GetGlobalColorMap().Optimize();
            for (int i = 0; i < count; ++i) {
                ++done;
                if (frame(i).GetColorMap().GetCount() > 0) frame(i).GetColorMap().Optimize();
                progress();
            }
        }

        if (has(ooCleanup)) {
            // Transparency that no pixel uses.
            for (int i = 0; i < count; ++i) {
                ++done;
                TGIFSubImage& f = frame(i);
                const int t = f.GetTransparentIndex();
                if (t >= 0 && !ContainsIndex(f.GetData(), t, f.GetDataSize())) f.GetGraphicControlExtension()->SetTransparent(false);
                progress();
            }
            // Clearing or restoring a frame's area is useless when the next
            // frame, opaque, covers all of it and leaves it covered.
            for (int i = 0; i + 1 < count; ++i) {
                ++done;
                TGIFSubImage& f = frame(i);
                TGIFSubImage& next = frame(i + 1);
                const TDisposalMethod disposal = Disposal(f);
                if ((disposal != dmBackground && disposal != dmPrevious) || next.GetTransparent()) continue;
                TGIFSubImage::TRect common{};
                if (!Intersect(f.GetBoundsRect(), next.GetBoundsRect(), common)) continue;
                progress();
                const bool covers = !next.GetEmpty() && common == f.GetBoundsRect();
                const bool staysCovered = Disposal(next) == dmNone || Disposal(next) == dmNoDisposal || Disposal(next) == dmBackground;
                if (covers && staysCovered) f.GetGraphicControlExtension()->SetDisposal(dmNone);
            }
        } else {
            done += 2 * count;
        }

        if (has(ooMerge)) {
            // Frame i is drawn over what frame j left in every pass only when
            // every pass that shows i shows j as well.  Passes after the first
            // begin at the loop point, over what the last frame left: from
            // there on, a frame is merged only with one at or after the loop
            // point.  A loop count of 1 counts as well: a painter told to loop
            // continuously begins its later passes there too.
            const int loopPoint = LoopPoint(*FImages);
            for (int i = count - 1; i >= 1; --i) {
                ++done;
                int j = i - 1;
                while (j > 0 && Disposal(frame(j)) == dmPrevious) --j;
                if (i < loopPoint || (i > loopPoint && j >= loopPoint)) frame(i).Merge(&frame(j));
                progress();
            }
        } else {
            done += count;
        }

        if (has(ooCrop)) {
            // Later passes begin at the frame carrying the loop extension:
            // its time cannot go to the frame before it, which they skip.
            const TGIFAppExtNSLoop* loop = ObeyedLoop(*FImages);
            const TGIFSubImage* loopPoint = loop != nullptr ? loop->GetSubImage() : nullptr;
            const int firstIndex = FImages->FirstWithPixels();
            const TGIFSubImage* first = firstIndex >= 0 ? &frame(firstIndex) : nullptr;
            for (int i = FImages->GetCount() - 1; i >= 0; --i) {
                ++done;
                TGIFSubImage& f = frame(i);
                // The first frame with pixels keeps its area: a looping
                // painter clears it before each pass.  A frame disposed to
                // the background keeps the area it clears.
                if (&f == first || f.GetEmpty() || !f.GetTransparent() || Disposal(f) == dmBackground || !f.IsDrawn()) {
                    progress();
                    continue;
                }
                TGIFSubImage::TRect bounds{};
                if (f.GetOpaqueBounds(bounds)) {
                    f.CropTo(bounds);
                } else if (&f != loopPoint && !frame(i - 1).GetEmpty() && KeepsItsPixels(frame(i - 1)) &&
                           !f.GetGraphicControlExtension()->GetUserInput() &&
                           ShownDelay(frame(i - 1)) + ShownDelay(f) <= 0xFFFF) {
                    // Shows just what the frame before it left: that frame
                    // is shown for both times instead (an empty one takes
                    // no time to add to; a sum beyond 16 bits would be cut).
                    TGIFSubImage& before = frame(i - 1);
                    NeedControlExtension(before).SetDelay(ShownDelay(before) + ShownDelay(f));
                    MoveExtensions(f, i + 1 < FImages->GetCount() ? frame(i + 1) : before);
                    FImages->Delete(i);
                } else {
                    // Kept as a single transparent pixel: an empty frame
                    // would take no time.
                    f.CropTo({0, 0, 1, 1});
                }
                progress();
            }
        } else {
            done += count;
        }

        done += count;

        if (has(ooCleanup)) {
            const bool single = FImages->GetCount() == 1;
            const TGIFAppExtNSLoop* loop = single ? nullptr : ObeyedLoop(*FImages);
            for (int i = FImages->GetCount() - 1; i >= 0; --i) {
                TGIFSubImage& f = frame(i);
                TGIFExtensionList& extensions = f.GetExtensions();
                // Only the first control extension counts; one after it
                // would count once the first is dropped below.
                const TGIFGraphicControlExtension* control = f.GetGraphicControlExtension();
                for (int e = extensions.GetCount() - 1; e >= 0; --e) {
                    TGIFExtension* extension = extensions.GetExtension(e);
                    const bool drop = (dynamic_cast<TGIFGraphicControlExtension*>(extension) != nullptr && extension != control) ||
                                      dynamic_cast<TGIFCommentExtension*>(extension) != nullptr ||
                                      dynamic_cast<TGIFTextExtension*>(extension) != nullptr ||
                                      dynamic_cast<TGIFUnknownAppExtension*>(extension) != nullptr ||
                                      (dynamic_cast<TGIFAppExtNSLoop*>(extension) != nullptr && extension != loop);
                    if (drop) extensions.Delete(e);
                }
                if (TGIFGraphicControlExtension* gce = f.GetGraphicControlExtension()) {
                    const TDisposalMethod disposal = gce->GetDisposal();
                    if ((gce->GetDelay() == 0 || single) && !gce->GetTransparent() && !gce->GetUserInput() &&
                        (disposal == dmNone || disposal == dmNoDisposal || (single && TGIFSubImage::IsDrawnDisposal(disposal))))
                        extensions.Release(*gce);
                }
                if (f.GetEmpty() && extensions.GetCount() == 0) FImages->Delete(i);
                progress();
            }
        }
    } catch (...) {
        Progress(this, psEnding, 0, false, TRect{0, 0, 0, 0}, _sProgressOptimizing);
        throw;
    }
    Progress(this, psEnding, 100, false, TRect{0, 0, 0, 0}, _sProgressOptimizing);
}

void TGIFImage::Pack() {
    FreeBitmap();
    SetPalette(0);
    for (int i = 0; i < FImages->GetCount(); ++i) {
        FImages->GetImage(i)->FreeBitmap();
        FImages->GetImage(i)->SetPalette(0);
    }
    if (GetGlobalColorMap().GetCount() == 0 && FImages->GetCount() == 1) {
        TGIFLocalColorMap& local = FImages->GetImage(0)->GetColorMap();
        GetGlobalColorMap().Assign(&local);
        local.Clear();
    }
}

void TGIFImage::OptimizeColorMap() {
    TColorMapOptimizer optimizer(this);
    optimizer.Optimize();
}

}  // namespace gif
