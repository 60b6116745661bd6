// Counting the colours a picture's frames really use and merging every
// colour table of the picture into one global table ordered by use.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gif/GIFImage.h"

namespace gif {

// True when the byte value index occurs among the first size bytes of data.
bool ContainsIndex(const uint8_t* data, int index, uint64_t size);

// The nearest of colors[0, count) by squared RGB distance, the first of
// equals; 0 when count is 0.
int NearestColor(const TGIFColor* colors, int count, TGIFColor color);

// One colour of a table with its use.
struct THistogramEntry {
    int32_t Count = 0;
    int32_t OldIndex = 0;   // index in its own table
    int32_t NewIndex = 256;  // index in the merged table
    TGIFColor Key{};
    // Set on a duplicate: the entry it was merged into.
    THistogramEntry* Survivor = nullptr;

    // The colour as one number: red + green * 256 + blue * 65536.
    uint32_t KeyValue() const { return Key.Red | Key.Green << 8 | Key.Blue << 16; }
};

// The use of the colours of one table by the frames that show it.
class THistogram : public TObject {
public:
    explicit THistogram(TGIFColorMap& colorMap);

    // Counts a frame's pixels; returns whether some pixel is the frame's
    // transparent index.  A transparent frame that never shows its
    // transparent index stops being transparent; a pixel beyond the table
    // becomes 0 (one warning per frame).  Empty frames count nothing.
    bool CountFrame(TGIFSubImage& frame);
    // Orders the entries by use and drops the unused ones; returns how many
    // remain.
    int TrimToUsedColors();
    // Rewrites every counted frame's pixels to the merged table's indexes.
    void RemapFrames(bool useTransparency, uint8_t newTransparentIndex);

    int GetCount() const { return FCount; }
    std::vector<THistogramEntry*>& GetList() { return FList; }
    const std::vector<TGIFSubImage*>& GetFrames() const { return FFrames; }
    TGIFColorMap& GetColorMap() const { return *FColorMap; }
    std::string ClassName() const override { return "THistogram"; }

private:
    std::vector<THistogramEntry> FEntries;
    int FCount;
    TGIFColorMap* FColorMap;
    std::vector<THistogramEntry*> FList;
    std::vector<TGIFSubImage*> FFrames;
};

// Merges the global table and every local one into a global table of at
// most 256 colours (255 and a transparent black when some frame shows its
// transparent colour), most used first, and empties the local tables.
// Colours that do not fit take the nearest kept colour (squared RGB
// distance, the first of equals).  The screen's background colour keeps its
// colour where the table has room.
class TColorMapOptimizer : public TObject {
public:
    explicit TColorMapOptimizer(TGIFImage* image) : FImage(image) {}

    void Optimize();
    std::string ClassName() const override { return "TColorMapOptimizer"; }

private:
    void CollectHistograms();
    void MergeDuplicateColors();
    void BuildFinalColorMap();
    void ReplaceColorMaps();
    // The index in the final table of a colour that must stay shown
    // although no pixel is counted for it: the colour itself, appended while
    // the table has room below limit, else the nearest kept colour.
    int KeepColor(TGIFColor color, int limit);

    // A colour index outside the pixels: the screen's background (Text
    // null) or a plain text extension's foreground (1) or background (2).
    struct TKeptColor {
        TGIFColor Color;
        TGIFTextExtension* Text;
        int Which;
        int NewIndex;
    };

    TGIFImage* FImage;
    std::vector<std::unique_ptr<THistogram>> FHistograms;
    std::vector<THistogramEntry*> FMergedList;
    TColorMap FFinalColorMap{};
    int FFinalCount = 0;
    bool FUseTransparency = false;
    uint8_t FNewTransparentIndex = 0;
    std::vector<TKeptColor> FKeptColors;
};

}  // namespace gif
