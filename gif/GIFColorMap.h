// Colour tables: an entry's colour (TGIFColor), the colour value TColor
// (0x00BBGGRR; clNone for none), and TGIFColorMap with its two kinds, the
// header's global table and a frame's local one, which pass their warnings
// and changes on to their owner.
//
// A table holds up to 256 entries: Add beyond them raises "Color table
// overflow", SetColor or Delete of an index outside the table "Invalid color
// index".  A table is written padded with black to a power of two.  A
// palette it exports belongs to the caller.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "gdi/Gdi.h"
#include "gif/GIFTypes.h"

namespace gif {

class TGIFHeader;
class TGIFSubImage;

struct TGIFColor {
    uint8_t Red, Green, Blue;
    bool operator==(const TGIFColor&) const = default;
};
using TColor = uint32_t;  // 0x00BBGGRR
inline constexpr TColor clNone = 0x1FFFFFFF;

struct TUsageCount {
    int32_t Count;
    int32_t Index;
};
using TColormapHistogram = std::array<TUsageCount, 256>;
using TColormapReverse = std::array<uint8_t, 256>;
using TColorMap = std::array<TGIFColor, 256>;

class TGIFColorMap : public TPersistent {
public:
    TGIFColorMap() = default;
    TGIFColorMap(const TGIFColorMap&) = delete;
    TGIFColorMap& operator=(const TGIFColorMap&) = delete;

    static TGIFColor Color2RGB(TColor color);
    static TColor RGB2Color(TGIFColor color);

    void Clear();
    void Assign(const TPersistent* source) override;
    void SaveToStream(TStream& stream) const;
    void LoadFromStream(TStream& stream, int count);
    void ImportColorMap(const TColorMap& map, int count);
    // Quads of blue, green, red and a spare byte.
    void ImportColorTable(const uint8_t* table, int count);
    // Up to 256 entries of a palette (their flags dropped).
    void ImportPalette(HPALETTE palette);
    // The colour table of the DIB section selected into the context.
    void ImportDIBColors(gdi::HDC dc);
    // A new palette of the map's colours (flags PC_NOCOLLAPSE) that the
    // caller owns; 0 for an empty map.
    HPALETTE ExportPalette() const;
    int Add(TColor color);
    int AddUnique(TColor color);
    void Delete(int index);
    int IndexOf(TColor color) const;
    TColor GetColor(int index);
    void SetColor(int index, TColor color);
    int GetCount() const { return FCount; }
    int GetCapacity() const { return FCapacity; }
    int GetBitsPerPixel() const { return ColorCountToBits(FCount); }
    bool GetOptimized() const { return FOptimized; }
    void SetOptimized(bool value) { FOptimized = value; }
    const TGIFColor* GetData() const { return FColors.data(); }
    // The entry at index, unchecked against the count; index must be < 256.
    TGIFColor GetEntry(int index) const { return FColors[static_cast<size_t>(index)]; }
    bool DoOptimize();

    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void BuildHistogram(TColormapHistogram& histogram);
    virtual void MapImages(const TColormapReverse& map);
    virtual bool Optimize();
    virtual void Changed();
    std::string ClassName() const override { return "TGIFColorMap"; }

protected:
    void SetCapacity(int size);

    std::vector<TGIFColor> FColors;  // FCapacity entries
    int FCount = 0;
    int FCapacity = 0;
    bool FOptimized = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader* header) : FHeader(header) {}
    void Warning(TGIFSeverity severity, const std::string& message) override;
    void BuildHistogram(TColormapHistogram& histogram) override;
    void MapImages(const TColormapReverse& map) override;
    bool Optimize() override;
    void Changed() override;
    std::string ClassName() const override { return "TGIFGlobalColorMap"; }

private:
    TGIFHeader* FHeader;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage* subImage) : FSubImage(subImage) {}
    void Warning(TGIFSeverity severity, const std::string& message) override;
    void BuildHistogram(TColormapHistogram& histogram) override;
    void MapImages(const TColormapReverse& map) override;
    bool Optimize() override;
    void Changed() override;
    std::string ClassName() const override { return "TGIFLocalColorMap"; }

private:
    TGIFSubImage* FSubImage;
};

}  // namespace gif
