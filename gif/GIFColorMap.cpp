// Colour tables: the global one of the header and the local one of a frame.
#include <algorithm>
#include <vector>

#include "gif/GIFImage.h"

namespace gif {

TGIFColor TGIFColorMap::Color2RGB(TColor color) {
    return {static_cast<uint8_t>(color), static_cast<uint8_t>(color >> 8), static_cast<uint8_t>(color >> 16)};
}

TColor TGIFColorMap::RGB2Color(TGIFColor color) {
    return static_cast<TColor>(color.Red) | static_cast<TColor>(color.Green) << 8 |
           static_cast<TColor>(color.Blue) << 16;
}

void TGIFColorMap::Clear() {
    FColors.clear();
    FColors.shrink_to_fit();
    FCount = 0;
    FCapacity = 0;
    FOptimized = false;
}

void TGIFColorMap::Assign(const TPersistent* source) {
    const auto* map = dynamic_cast<const TGIFColorMap*>(source);
    if (map == nullptr) {
        TPersistent::Assign(source);
        return;
    }
    if (map == this) return;
    Clear();
    FCapacity = map->FCapacity;
    FCount = map->FCount;
    FOptimized = map->FOptimized;
    FColors.assign(static_cast<size_t>(FCapacity), TGIFColor{0, 0, 0});
    std::copy_n(map->FColors.begin(), FCount, FColors.begin());
    Changed();
}

void TGIFColorMap::SetCapacity(int size) {
    if (size < FCapacity) return;
    int capacity = size <= 16 ? 16 : (size + 31) / 32 * 32;
    capacity = std::min(capacity, 256);
    FColors.resize(static_cast<size_t>(capacity), TGIFColor{0, 0, 0});
    FCapacity = capacity;
}

void TGIFColorMap::SaveToStream(TStream& stream) const {
    if (FCount == 0) return;
    stream.WriteBuffer(FColors.data(), FCount * 3);
    static const uint8_t black[3] = {0, 0, 0};
    for (int i = FCount; i < (1 << GetBitsPerPixel()); ++i) stream.WriteBuffer(black, 3);
}

void TGIFColorMap::LoadFromStream(TStream& stream, int count) {
    Clear();
    count = std::clamp(count, 0, 256);
    SetCapacity(count);
    ReadExact(stream, FColors.data(), count * 3);
    FCount = count;
}

void TGIFColorMap::ImportColorMap(const TColorMap& map, int count) {
    Clear();
    count = std::clamp(count, 0, 256);
    if (count == 0) return;
    SetCapacity(count);
    FCount = count;
    std::copy_n(map.begin(), count, FColors.begin());
    Changed();
}

void TGIFColorMap::ImportColorTable(const uint8_t* table, int count) {
    Clear();
    count = std::clamp(count, 0, 256);
    if (count == 0) return;
    SetCapacity(count);
    for (int i = 0; i < count; ++i) FColors[static_cast<size_t>(i)] = {table[i * 4 + 2], table[i * 4 + 1], table[i * 4]};
    FCount = count;
    Changed();
}

void TGIFColorMap::ImportPalette(HPALETTE palette) {
    Clear();
    TPaletteEntry entries[256];
    const int count = static_cast<int>(gdi::GetPaletteEntries(palette, 0, 256, entries));
    if (count == 0) return;
    SetCapacity(count);
    for (int i = 0; i < count; ++i) FColors[static_cast<size_t>(i)] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
    FCount = count;
    Changed();
}

void TGIFColorMap::ImportDIBColors(gdi::HDC dc) {
    std::vector<gdi::RGBQUAD> table(256);
    const unsigned count = gdi::GetDIBColorTable(dc, 0, 256, table.data());
    ImportColorTable(reinterpret_cast<const uint8_t*>(table.data()), static_cast<int>(count));
    Changed();
}

HPALETTE TGIFColorMap::ExportPalette() const {
    if (FCount == 0) return 0;
    gdi::LOGPALETTE palette;
    palette.palNumEntries = static_cast<uint16_t>(FCount);
    for (int i = 0; i < FCount; ++i) {
        const TGIFColor& c = FColors[static_cast<size_t>(i)];
        palette.palPalEntry[i] = {c.Red, c.Green, c.Blue, gdi::PC_NOCOLLAPSE};
    }
    return gdi::CreatePalette(&palette);
}

int TGIFColorMap::Add(TColor color) {
    if (FCount >= 256) RaiseGIFError(_sTooManyColors);
    if (FCount == FCapacity) SetCapacity(FCount + 1);
    FColors[static_cast<size_t>(FCount)] = Color2RGB(color);
    const int index = FCount++;
    FOptimized = false;
    Changed();
    return index;
}

int TGIFColorMap::AddUnique(TColor color) {
    const int index = IndexOf(color);
    return index >= 0 ? index : Add(color);
}

void TGIFColorMap::Delete(int index) {
    if (index < 0 || index >= FCount) RaiseGIFError(_sBadColorIndex);
    std::copy(FColors.begin() + index + 1, FColors.begin() + FCount, FColors.begin() + index);
    --FCount;
    FOptimized = false;
    Changed();
}

int TGIFColorMap::IndexOf(TColor color) const {
    const TGIFColor rgb = Color2RGB(color);
    if (FOptimized) {
        for (int i = 0; i < FCount; ++i)
            if (FColors[static_cast<size_t>(i)] == rgb) return i;
    } else {
        for (int i = FCount - 1; i >= 0; --i)
            if (FColors[static_cast<size_t>(i)] == rgb) return i;
    }
    return -1;
}

TColor TGIFColorMap::GetColor(int index) {
    if (index < 0 || index >= FCount) {
        Warning(gsWarning, _sBadColorIndex);
        if (FCount == 0) RaiseGIFError(_sEmptyColorMap);
        index = 0;
    }
    return RGB2Color(FColors[static_cast<size_t>(index)]);
}

void TGIFColorMap::SetColor(int index, TColor color) {
    if (index < 0 || index >= FCount) RaiseGIFError(_sBadColorIndex);
    FColors[static_cast<size_t>(index)] = Color2RGB(color);
    Changed();
}

namespace {

// Orders by Count, largest first; equal counts end where this exact
// partitioning puts them, which decides the colour order of a sorted map.
void SortUsageCounts(TUsageCount* counts, int l, int r) {
    int i;
    do {
        i = l;
        int j = r;
        const int32_t p = counts[(l + r) >> 1].Count;
        do {
            while (counts[i].Count > p) ++i;
            while (counts[j].Count < p) --j;
            if (i <= j) {
                std::swap(counts[i], counts[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (l < j) SortUsageCounts(counts, l, j);
        l = i;
    } while (i < r);
}

}  // namespace

bool TGIFColorMap::DoOptimize() {
    if (FCount <= 1) return false;
    FOptimized = true;
    TColormapHistogram histogram{};
    BuildHistogram(histogram);
    SortUsageCounts(histogram.data(), 0, FCount - 1);
    bool inOrder = true;
    for (int i = 0; i < FCount; ++i)
        if (histogram[static_cast<size_t>(i)].Index != i) inOrder = false;
    if (inOrder) return true;
    // Indexes beyond the table (bad pixels) keep their value.
    TColormapReverse map;
    for (int i = 0; i < 256; ++i) map[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    for (int i = 0; i < FCount; ++i) map[static_cast<size_t>(histogram[static_cast<size_t>(i)].Index)] = static_cast<uint8_t>(i);
    MapImages(map);
    const std::vector<TGIFColor> old(FColors.begin(), FColors.begin() + FCount);
    for (int i = 0; i < FCount; ++i) FColors[map[static_cast<size_t>(i)]] = old[static_cast<size_t>(i)];
    // Unused colours go, but not the last one: a frame whose local table
    // became empty would show the global table's colours instead.
    for (int i = 0; i < FCount; ++i)
        if (histogram[static_cast<size_t>(i)].Count == 0) {
            FCount = std::max(i, 1);
            break;
        }
    Changed();
    return true;
}

void TGIFColorMap::Warning(TGIFSeverity, const std::string&) { throw rtl::EAbstractError(); }
void TGIFColorMap::BuildHistogram(TColormapHistogram&) { throw rtl::EAbstractError(); }
void TGIFColorMap::MapImages(const TColormapReverse&) { throw rtl::EAbstractError(); }
bool TGIFColorMap::Optimize() { throw rtl::EAbstractError(); }
void TGIFColorMap::Changed() { throw rtl::EAbstractError(); }

// ---------------------------------------------------------------------------

namespace {

// Plain text extensions draw with two indexes of the frame's table.
template <typename Visit>
void ForEachTextColor(const TGIFSubImage& frame, Visit visit) {
    TGIFExtensionList& extensions = frame.GetExtensions();
    for (int e = 0; e < extensions.GetCount(); ++e)
        if (auto* text = dynamic_cast<TGIFTextExtension*>(extensions.GetExtension(e)))
            for (int which = 1; which <= 2; ++which) visit(*text, which);
}

void CountPixels(const TGIFSubImage& frame, TColormapHistogram& histogram) {
    const uint8_t* data = frame.GetData();
    for (uint64_t i = 0; data != nullptr && i < frame.GetDataSize(); ++i) ++histogram[data[i]].Count;
    ForEachTextColor(frame, [&](TGIFTextExtension& text, int which) { ++histogram[static_cast<size_t>(text.GetColorIndex(which))].Count; });
}

void MapPixels(TGIFSubImage& frame, const TColormapReverse& map) {
    uint8_t* data = frame.GetData();
    for (uint64_t i = 0; data != nullptr && i < frame.GetDataSize(); ++i) data[i] = map[data[i]];
    if (const int t = frame.GetTransparentIndex(); t >= 0)
        frame.GetGraphicControlExtension()->StoreTransparentColorIndex(map[static_cast<size_t>(t)]);
    ForEachTextColor(frame, [&](TGIFTextExtension& text, int which) {
        text.SetColorIndex(which, map[static_cast<size_t>(text.GetColorIndex(which))]);
    });
}

// The entry painters clear with: an index beyond the table gives the
// table's first colour.
int ShownBackground(const TGIFHeader& header, int count) {
    const int background = header.GetBackgroundColorIndex();
    return background < count ? background : 0;
}

void ResetHistogram(TColormapHistogram& histogram, int count) {
    for (int i = 0; i < count; ++i) histogram[static_cast<size_t>(i)] = {0, i};
}

}  // namespace

void TGIFGlobalColorMap::Warning(TGIFSeverity severity, const std::string& message) {
    FHeader->GetImage()->Warning(this, severity, message);
}

void TGIFGlobalColorMap::BuildHistogram(TColormapHistogram& histogram) {
    ResetHistogram(histogram, FCount);
    TGIFImageList& images = FHeader->GetImage()->GetImages();
    for (int i = 0; i < images.GetCount(); ++i)
        if (&images.GetImage(i)->GetActiveColorMap() == this) CountPixels(*images.GetImage(i), histogram);
    // The screen's background colour stays in the table although no pixel
    // shows it: painters clear with it.
    const int background = ShownBackground(*FHeader, FCount);
    if (FCount > 0 && histogram[static_cast<size_t>(background)].Count == 0)
        histogram[static_cast<size_t>(background)].Count = 1;
}

void TGIFGlobalColorMap::MapImages(const TColormapReverse& map) {
    TGIFImageList& images = FHeader->GetImage()->GetImages();
    for (int i = 0; i < images.GetCount(); ++i)
        if (&images.GetImage(i)->GetActiveColorMap() == this) MapPixels(*images.GetImage(i), map);
    if (FCount > 0) FHeader->SetBackgroundColorIndex(map[static_cast<size_t>(ShownBackground(*FHeader, FCount))]);
}

bool TGIFGlobalColorMap::Optimize() {
    if (FHeader->GetImage()->GetImages().GetCount() == 0) return false;
    return DoOptimize();
}

void TGIFGlobalColorMap::Changed() { FHeader->GetImage()->SetPalette(0); }

void TGIFLocalColorMap::Warning(TGIFSeverity severity, const std::string& message) {
    // A frame on its own has nobody to tell.
    if (TGIFImage* image = FSubImage->GetImage()) image->Warning(this, severity, message);
}

void TGIFLocalColorMap::BuildHistogram(TColormapHistogram& histogram) {
    ResetHistogram(histogram, FCount);
    CountPixels(*FSubImage, histogram);
}

void TGIFLocalColorMap::MapImages(const TColormapReverse& map) { MapPixels(*FSubImage, map); }

bool TGIFLocalColorMap::Optimize() { return DoOptimize(); }

void TGIFLocalColorMap::Changed() { FSubImage->SetPalette(0); }

}  // namespace gif
