// Cropping a frame to its opaque pixels and merging it with the frame shown
// before it: the two steps of the optimiser that work on a frame's pixels.
#include <algorithm>
#include <vector>

#include "gif/GIFColorMapOptimizer.h"

namespace gif {

namespace {

// A pixel beyond the table would show the colour of an entry added to it,
// or of the black entries a table is padded with when saved.
bool HoldsIndexBeyond(const TGIFSubImage& frame, int count) {
    const uint8_t* data = frame.GetData();
    for (uint64_t i = 0; data != nullptr && i < frame.GetDataSize(); ++i)
        if (data[i] >= count) return true;
    return false;
}

}  // namespace

bool TGIFSubImage::GetOpaqueBounds(TRect& bounds) const {
    const int t = GetTransparentIndex();
    if (t < 0 || GetEmpty()) return false;
    const int width = GetWidth(), height = GetHeight();
    int left = width, right = -1, top = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = FData.get() + static_cast<uint64_t>(y) * static_cast<uint64_t>(width);
        int first = 0;
        while (first < width && row[first] == t) ++first;
        if (first == width) continue;
        int last = width - 1;
        while (row[last] == t) --last;
        left = std::min(left, first);
        right = std::max(right, last);
        if (top < 0) top = y;
        bottom = y;
    }
    if (top < 0) return false;
    bounds = {left, top, right + 1, bottom + 1};
    return true;
}

void TGIFSubImage::Crop() {
    if (GetTransparentIndex() < 0 || GetEmpty()) return;
    TRect bounds{};
    if (!GetOpaqueBounds(bounds)) {
        Clear();
        return;
    }
    CropTo(bounds);
}

void TGIFSubImage::CropTo(const TRect& rect) {
    const int width = rect.Right - rect.Left, height = rect.Bottom - rect.Top;
    if (rect.Left < 0 || rect.Top < 0 || width <= 0 || height <= 0 || rect.Right > GetWidth() ||
        rect.Bottom > GetHeight())
        RaiseGIFError(_sBadPixelCoordinates);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = GetScanline(rect.Top + y) + rect.Left;
        std::copy_n(row, width, pixels.begin() + static_cast<ptrdiff_t>(y) * width);
    }
    StoreBounds(GetLeft() + rect.Left, GetTop() + rect.Top, width, height);
    NewImage();
    std::copy(pixels.begin(), pixels.end(), FData.get());
    FreeBitmap();
    FreeMask();
}

void TGIFSubImage::Merge(TGIFSubImage* previous) {
    if (GetEmpty() || previous == nullptr || previous == this || previous->GetEmpty()) return;
    // What the previous frame leaves on the screen is what shows through
    // this frame's transparent pixels only when it is drawn and stays.
    if (const TGIFGraphicControlExtension* gce = previous->GetGraphicControlExtension())
        if (gce->GetDisposal() == dmBackground || gce->GetDisposal() == dmPrevious) return;
    if (!previous->IsDrawn() || !IsDrawn()) return;
    const TRect mine = GetBoundsRect(), theirs = previous->GetBoundsRect();
    const TRect common{std::max(mine.Left, theirs.Left), std::max(mine.Top, theirs.Top),
                       std::min(mine.Right, theirs.Right), std::min(mine.Bottom, theirs.Bottom)};
    if (common.Left >= common.Right || common.Top >= common.Bottom) return;

    TGIFColorMap& map = GetActiveColorMap();
    TGIFColorMap& previousMap = previous->GetActiveColorMap();
    int t = GetTransparentIndex();
    bool needIndex = t < 0;
    if (!needIndex) {
        // An index the table does not hold could not be written.
        if (t >= map.GetCount()) return;
    } else {
        if (FColorMap->GetCount() == 0 && FImage == nullptr) return;
        const TGIFColorMap& target = FColorMap->GetCount() > 0 ? *FColorMap : FImage->GetGlobalColorMap();
        if (target.GetCount() < 1 || target.GetCount() > 255) return;
    }
    const int previousT = previous->GetTransparentIndex();
    const bool sameMap = &map == &previousMap;
    bool indexTaken = false;

    // A transparent index for this frame that none of its own pixels holds:
    // another global frame's transparent index, else a new black entry.
    auto takeIndex = [&]() -> int {
        const uint64_t size = GetDataSize();
        if (FColorMap->GetCount() == 0) {
            TGIFColorMap& global = FImage->GetGlobalColorMap();
            TGIFImageList& frames = FImage->GetImages();
            for (int i = 0; i < frames.GetCount(); ++i) {
                const TGIFSubImage* other = frames.GetImage(i);
                const int index = other->GetTransparentIndex();
                if (other == this || index < 0 || other->GetColorMap().GetCount() > 0) continue;
                if (index < global.GetCount() && !ContainsIndex(FData.get(), index, size)) return index;
            }
            for (int i = 0; i < frames.GetCount(); ++i) {
                const TGIFSubImage* other = frames.GetImage(i);
                if (&other->GetActiveColorMap() == &global && HoldsIndexBeyond(*other, global.GetCount())) return -1;
            }
            // So would a background index beyond the table, which clears
            // with the first entry until then.
            if (FImage->GetBackgroundColorIndex() >= global.GetCount()) return -1;
            return global.Add(0);
        }
        if (HoldsIndexBeyond(*this, FColorMap->GetCount())) return -1;
        return FColorMap->Add(0);
    };

    const uint64_t width = static_cast<uint64_t>(GetWidth());
    const uint64_t previousWidth = static_cast<uint64_t>(previous->GetWidth());
    for (int y = common.Top; y < common.Bottom; ++y) {
        uint8_t* row = FData.get() + static_cast<uint64_t>(y - GetTop()) * width;
        const uint8_t* previousRow = previous->FData.get() + static_cast<uint64_t>(y - previous->GetTop()) * previousWidth;
        for (int x = common.Left; x < common.Right; ++x) {
            uint8_t& pixel = row[x - GetLeft()];
            const int p = pixel, q = previousRow[x - previous->GetLeft()];
            if (!needIndex && p == t) continue;
            if (q == previousT) continue;
            bool equal = sameMap && p == q;
            if (!equal && p < map.GetCount() && q < previousMap.GetCount()) equal = map.GetEntry(p) == previousMap.GetEntry(q);
            if (!equal) continue;
            if (needIndex) {
                t = takeIndex();
                if (t < 0) return;
                needIndex = false;
                indexTaken = true;
            }
            pixel = static_cast<uint8_t>(t);
        }
    }
    if (indexTaken) {
        TGIFGraphicControlExtension* gce = GetGraphicControlExtension();
        if (gce == nullptr) gce = &FExtensions->Adopt(std::make_unique<TGIFGraphicControlExtension>());
        gce->SetTransparentColorIndex(t);
        gce->SetTransparent(true);
    }
    FreeBitmap();
    FreeMask();
}

}  // namespace gif
