// The colour-map optimiser: one global table for the whole picture.
#include "gif/GIFColorMapOptimizer.h"
#include "gif/GIFPainter.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace gif {

bool ContainsIndex(const uint8_t* data, int index, uint64_t size) {
    if (data == nullptr || index < 0 || index > 255) return false;
    return std::memchr(data, index, size) != nullptr;
}

int NearestColor(const TGIFColor* colors, int count, TGIFColor color) {
    return static_cast<int>(gdi::NearestColourIndex(static_cast<unsigned>(std::max(count, 0)), color.Red, color.Green,
                                                    color.Blue, [&](unsigned i) { return colors[i]; }));
}

namespace {

bool ByCount(const THistogramEntry* a, const THistogramEntry* b) { return a->Count > b->Count; }
bool ByColor(const THistogramEntry* a, const THistogramEntry* b) { return a->KeyValue() > b->KeyValue(); }

}  // namespace

// ---------------------------------------------------------------------------

THistogram::THistogram(TGIFColorMap& colorMap) : FCount(colorMap.GetCount()), FColorMap(&colorMap) {
    FEntries.resize(static_cast<size_t>(FCount));
    for (int i = 0; i < FCount; ++i) {
        THistogramEntry& entry = FEntries[static_cast<size_t>(i)];
        entry.OldIndex = i;
        entry.Key = colorMap.GetEntry(i);
        FList.push_back(&entry);
    }
}

bool THistogram::CountFrame(TGIFSubImage& frame) {
    if (frame.GetEmpty()) return false;
    FFrames.push_back(&frame);
    TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension();
    const int t = frame.GetTransparentIndex();
    const bool transparent = t >= 0;
    bool used = false;
    bool warned = false;
    uint8_t* data = frame.GetData();
    for (uint64_t i = 0; i < frame.GetDataSize(); ++i) {
        int p = data[i];
        if (transparent && p == t) {
            used = true;
            continue;
        }
        if (p >= FCount) {
            data[i] = 0;
            p = 0;
            // Once per frame: a damaged frame may hold millions of them.
            if (!warned) frame.Warning(gsWarning, _sInvalidColor);
            warned = true;
        }
        THistogramEntry& entry = FEntries[static_cast<size_t>(p)];
        if (entry.Count == INT32_MAX) break;
        ++entry.Count;
    }
    if (transparent && !used) {
        gce->SetTransparentColorIndex(0);
        gce->SetTransparent(false);
    }
    return used;
}

int THistogram::TrimToUsedColors() {
    std::stable_sort(FList.begin(), FList.end(), ByCount);
    const auto firstUnused = std::find_if(FList.begin(), FList.end(), [](const THistogramEntry* e) { return e->Count == 0; });
    FList.erase(firstUnused, FList.end());
    FCount = static_cast<int>(FList.size());
    return FCount;
}

void THistogram::RemapFrames(bool useTransparency, uint8_t newTransparentIndex) {
    std::array<uint8_t, 256> map{};
    for (const THistogramEntry* entry : FList) map[static_cast<size_t>(entry->OldIndex)] = static_cast<uint8_t>(entry->NewIndex);
    for (TGIFSubImage* frame : FFrames) {
        const int t = useTransparency ? frame->GetTransparentIndex() : -1;
        if (TGIFGraphicControlExtension* gce = frame->GetGraphicControlExtension())
            gce->StoreTransparentColorIndex(newTransparentIndex);
        uint8_t* data = frame->GetData();
        for (uint64_t i = 0; i < frame->GetDataSize(); ++i)
            data[i] = t >= 0 && data[i] == t ? newTransparentIndex : map[data[i]];
    }
}

// ---------------------------------------------------------------------------

void TColorMapOptimizer::CollectHistograms() {
    FUseTransparency = false;
    TGIFImageList& frames = FImage->GetImages();
    TGIFColorMap& global = FImage->GetGlobalColorMap();
    if (global.GetCount() > 0) {
        auto histogram = std::make_unique<THistogram>(global);
        for (int i = 0; i < frames.GetCount(); ++i) {
            TGIFSubImage* frame = frames.GetImage(i);
            if (frame->GetEmpty() || frame->GetColorMap().GetCount() > 0) continue;
            FUseTransparency = histogram->CountFrame(*frame) || FUseTransparency;
        }
        if (!histogram->GetFrames().empty()) FHistograms.push_back(std::move(histogram));
    }
    for (int i = 0; i < frames.GetCount(); ++i) {
        TGIFSubImage* frame = frames.GetImage(i);
        if (frame->GetEmpty() || frame->GetColorMap().GetCount() == 0) continue;
        auto histogram = std::make_unique<THistogram>(frame->GetColorMap());
        FUseTransparency = histogram->CountFrame(*frame) || FUseTransparency;
        FHistograms.push_back(std::move(histogram));
    }
    // Colours shown by indexes outside the pixels keep their colour.
    FKeptColors.clear();
    if (global.GetCount() > 0) {
        const int background = FImage->GetBackgroundColorIndex();
        FKeptColors.push_back({global.GetEntry(background < global.GetCount() ? background : 0), nullptr, 0, 0});
    }
    for (int i = 0; i < frames.GetCount(); ++i) {
        TGIFSubImage* frame = frames.GetImage(i);
        const TGIFColorMap& map = frame->GetActiveColorMap();
        TGIFExtensionList& extensions = frame->GetExtensions();
        for (int e = 0; e < extensions.GetCount(); ++e) {
            auto* text = dynamic_cast<TGIFTextExtension*>(extensions.GetExtension(e));
            if (text == nullptr) continue;
            for (int which = 1; which <= 2; ++which)
                if (text->GetColorIndex(which) < map.GetCount())
                    FKeptColors.push_back({map.GetEntry(text->GetColorIndex(which)), text, which, 0});
        }
    }
}

void TColorMapOptimizer::MergeDuplicateColors() {
    std::stable_sort(FMergedList.begin(), FMergedList.end(), ByColor);
    THistogramEntry* survivor = FMergedList.front();
    for (size_t i = 1; i < FMergedList.size(); ++i) {
        THistogramEntry* entry = FMergedList[i];
        if (entry->KeyValue() != survivor->KeyValue()) {
            survivor = entry;
            continue;
        }
        survivor->Count = static_cast<int32_t>(std::min<int64_t>(int64_t{survivor->Count} + entry->Count, INT32_MAX));
        entry->Count = 0;
        entry->Survivor = survivor;
    }
}

int TColorMapOptimizer::KeepColor(TGIFColor color, int limit) {
    for (int i = 0; i < FFinalCount; ++i)
        if (FFinalColorMap[static_cast<size_t>(i)] == color) return i;
    if (FFinalCount < limit) {
        FFinalColorMap[static_cast<size_t>(FFinalCount)] = color;
        return FFinalCount++;
    }
    return NearestColor(FFinalColorMap.data(), FFinalCount, color);
}

void TColorMapOptimizer::BuildFinalColorMap() {
    std::stable_sort(FMergedList.begin(), FMergedList.end(), ByCount);
    const int limit = FUseTransparency ? 255 : 256;
    const int size = static_cast<int>(FMergedList.size());
    FFinalCount = size;
    for (int i = 0; i < size; ++i)
        if (i >= limit || FMergedList[static_cast<size_t>(i)]->Count == 0) {
            FFinalCount = i;
            break;
        }
    for (int i = 0; i < FFinalCount; ++i) {
        FMergedList[static_cast<size_t>(i)]->NewIndex = i;
        FFinalColorMap[static_cast<size_t>(i)] = FMergedList[static_cast<size_t>(i)]->Key;
    }
    for (int i = FFinalCount; i < size; ++i) {
        THistogramEntry* entry = FMergedList[static_cast<size_t>(i)];
        // Survivors are used colours and sort before their duplicates.
        entry->NewIndex = entry->Count == 0 ? entry->Survivor->NewIndex
                                            : NearestColor(FFinalColorMap.data(), FFinalCount, entry->Key);
    }
    for (TKeptColor& kept : FKeptColors) kept.NewIndex = KeepColor(kept.Color, limit);
    if (FUseTransparency) {
        FNewTransparentIndex = static_cast<uint8_t>(FFinalCount);
        FFinalColorMap[static_cast<size_t>(FFinalCount)] = TGIFColor{0, 0, 0};
        ++FFinalCount;
    }
}

void TColorMapOptimizer::ReplaceColorMaps() {
    TGIFImageList& frames = FImage->GetImages();
    for (int i = 0; i < frames.GetCount(); ++i) frames.GetImage(i)->GetColorMap().Clear();
    TGIFColorMap& global = FImage->GetGlobalColorMap();
    global.ImportColorMap(FFinalColorMap, FFinalCount);
    global.SetOptimized(true);
    for (const TKeptColor& kept : FKeptColors) {
        if (kept.Text == nullptr)
            FImage->SetBackgroundColorIndex(kept.NewIndex);
        else
            kept.Text->SetColorIndex(kept.Which, kept.NewIndex);
    }
}

void TColorMapOptimizer::Optimize() {
    FImage->PaintStop();
    // No painter starts while pixels and tables change.
    TPainterListLock lock(*FImage);
    CollectHistograms();
    int total = 0;
    for (const auto& histogram : FHistograms) total += histogram->TrimToUsedColors();
    FMergedList.clear();
    FMergedList.reserve(static_cast<size_t>(total));
    for (const auto& histogram : FHistograms)
        FMergedList.insert(FMergedList.end(), histogram->GetList().begin(), histogram->GetList().end());
    // No frame shows a colour (no frames, only empty or wholly transparent
    // ones): there is nothing to merge and the tables stay as they are.
    if (FMergedList.empty()) return;
    MergeDuplicateColors();
    BuildFinalColorMap();
    ReplaceColorMaps();
    for (const auto& histogram : FHistograms) histogram->RemapFrames(FUseTransparency, FNewTransparentIndex);
    TGIFImageList& frames = FImage->GetImages();
    for (int i = 0; i < frames.GetCount(); ++i) {
        frames.GetImage(i)->FreeBitmap();
        frames.GetImage(i)->SetPalette(0);
    }
}

}  // namespace gif
