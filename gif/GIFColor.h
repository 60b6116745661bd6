// Pixels and colour of the GIF unit: row access to bitmaps (TDIBReader,
// TDIBWriter), colour lookups, the dithering engine with its error-diffusion
// ditherers, the octree quantizer, the palette builders and ReduceColors,
// which turns any bitmap into an 8-bit palettised one.
//
//   auto reduced = gif::ReduceColors(bitmap, gif::rmQuantize, gif::dmFloydSteinberg, 8, 0);
//
// Handles: every palette a builder returns belongs to the caller; lookups and
// ditherers never delete the palette or lookup they are given.
#pragma once

#include <array>
#include <initializer_list>
#include <cstdint>
#include <memory>
#include <vector>

#include "gif/GIFImage.h"

namespace gif {

using vcl::TBitmap;
using vcl::TPixelFormat;

// Whether a frame can be made of the source: a bitmap, an icon, a metafile,
// a GIF picture or a graphic of the picture framework.
bool IsGraphic(const TPersistent* source);

// ---------------------------------------------------------------------------
// DIB access

class TDIB : public TObject {
public:
    TDIB(TBitmap& bitmap, TPixelFormat pixelFormat) : FBitmap(&bitmap), FPixelFormat(pixelFormat) {}
    // The first byte of a row; row 0 is the top row.
    virtual uint8_t* GetScanLine(int row) = 0;
    TBitmap& GetBitmap() const { return *FBitmap; }
    TPixelFormat GetPixelFormat() const { return FPixelFormat; }

protected:
    TBitmap* FBitmap;
    TPixelFormat FPixelFormat;
};

// The rows of a bitmap in the chosen pixel format.  A bitmap of another
// format is read through a converted copy: the caller's bitmap is left as
// it was (a conversion in place would cost a 32-bit bitmap its alpha and
// change the format of every bitmap handed to a frame or a reduction).
class TDIBReader : public TDIB {
public:
    TDIBReader(TBitmap& bitmap, TPixelFormat pixelFormat);
    uint8_t* GetScanLine(int row) override;
    int GetWidth() const { return FBitmap->GetWidth(); }
    int GetHeight() const { return FBitmap->GetHeight(); }

private:
    std::unique_ptr<TBitmap> FCopy;
};

// Builds an 8-bit (colour table from a palette) or 24-bit DIB in memory and
// hands out its rows; Finish (or the destruction) loads the finished DIB into
// the bitmap.  A writer that never handed out a row leaves its bitmap alone.
class TDIBWriter : public TDIB {
public:
    TDIBWriter(TBitmap& bitmap, TPixelFormat pixelFormat, int width, int height, HPALETTE palette);
    ~TDIBWriter() override;
    TDIBWriter(const TDIBWriter&) = delete;
    TDIBWriter& operator=(const TDIBWriter&) = delete;

    uint8_t* GetScanLine(int row) override;
    // Stores the DIB into the bitmap and frees it; errors reach the caller.
    void Finish();

    // The DIB as it stands (tests and the DIB's users): header and colour table.
    const gdi::BITMAPINFO* GetInfo() const { return FInfo.get(); }
    size_t GetInfoSize() const { return FInfoSize; }
    size_t GetBitsSize() const { return FBitsSize; }
    const uint8_t* GetBits() const { return FBits.get(); }

private:
    void AllocateDIB();
    void ReleaseDIB();
    void EnsureDIB();
    void StoreIntoBitmap();

    std::unique_ptr<gdi::BITMAPINFO> FInfo;
    std::unique_ptr<uint8_t[]> FBits;
    size_t FInfoSize = 0;
    size_t FBitsSize = 0;
    HPALETTE FPalette;
    int FHeight;
    int FWidth;
};

// Sizes of the DIB of a bitmap in a pixel format (1, 4, 8 or 24 bits; any
// other raises "Unsupported PixelFormat"): the info header with its colour
// table, and the pixel bytes.
void InternalGetDIBSizes(HBITMAP bitmap, int& infoHeaderSize, int& imageSize, TPixelFormat pixelFormat);
// Reads the bitmap as such a DIB into info (header and colour table, the
// table from the palette when one is given) and bits.  False when the read
// failed.
bool InternalGetDIB(HBITMAP bitmap, HPALETTE palette, gdi::BITMAPINFO& info, void* bits, TPixelFormat pixelFormat);

// ---------------------------------------------------------------------------
// Colour lookups

// Which palette index stands for a colour, and which colour it shows.
class TColorLookup : public TObject {
public:
    explicit TColorLookup(HPALETTE) {}
    virtual uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) = 0;
    // The colours the lookup can give; 0: it cannot be used.
    int GetColorCount() const { return FColorCount; }

protected:
    int FColorCount = 0;
};

// The 6 × 6 × 6 cube of the web palette: component level (c + 3) div 51.
class TNetscapeColorLookup : public TColorLookup {
public:
    explicit TNetscapeColorLookup(HPALETTE palette);
    uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
};

// 256 greys: (77 red + 150 green + 29 blue) shr 8.
class TGrayScaleLookup : public TColorLookup {
public:
    explicit TGrayScaleLookup(HPALETTE palette);
    uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
};

// Black (index 0) up to a weighted sum of 127 × 256, white (index 1) above.
class TMonochromeLookup : public TColorLookup {
public:
    explicit TMonochromeLookup(HPALETTE palette);
    uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
};

// The system's nearest-colour search (GetNearestPaletteIndex) on the palette.
class TSlowColorLookup : public TColorLookup {
public:
    explicit TSlowColorLookup(HPALETTE palette);
    uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;

private:
    std::vector<TPaletteEntry> FPaletteEntries;
    HPALETTE FPalette;
};

// A nearest-colour search by the sum of absolute differences whose answer
// is cached per cell of 5 bits per component: the first colour looked up in
// a cell decides the index of every later colour of that cell.
class TFastColorLookup : public TColorLookup {
public:
    explicit TFastColorLookup(HPALETTE palette);
    uint8_t Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;

private:
    std::array<TPaletteEntry, 256> FPaletteEntries{};
    std::unique_ptr<int16_t[]> FCache;  // 32768 cells, -1 = not yet known
};

// ---------------------------------------------------------------------------
// Dithering

// Maps pixels to their nearest colour, row by row, alternating direction:
// the top row left to right, the next right to left, and so on.  A caller
// gives each row's pixels from GetColumn on, moving by GetDirection, until
// the column leaves 0 .. width − 1; then NextLine.
class TDitherEngine : public TObject {
public:
    TDitherEngine(int width, TColorLookup& lookup);
    virtual uint8_t Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b);
    virtual void NextLine();
    // Passes over a pixel: nothing is looked up and no error is spread.
    void AdvanceColumn() { FColumn += FDirection; }
    int GetDirection() const { return FDirection; }
    int GetColumn() const { return FColumn; }
    int GetWidth() const { return FWidth; }

protected:
    int FDirection = 1;
    int FColumn = 0;
    TColorLookup* FLookup;
    int FWidth;
};

// Error rows of one channel: `lines` arrays of width + 2 × spare entries,
// rotated line by line; entry of column c is c + spare.
class TErrorRows {
public:
    TErrorRows(int lines, int width, int spare);
    int32_t* Line(int line) { return FLines[static_cast<size_t>(line)].data(); }
    // The current line is cleared and becomes the farthest.
    void Rotate();

private:
    std::vector<std::vector<int32_t>> FLines;
};

class TFloydSteinbergDitherer : public TDitherEngine {
public:
    TFloydSteinbergDitherer(int width, TColorLookup& lookup);
    uint8_t Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
    void NextLine() override;

private:
    struct Channel {
        std::vector<int32_t> Row;  // width + 2 entries
        int32_t Carried = 0, BelowPrevious = 0, Below = 0;
    };
    std::array<Channel, 3> FChannels;
    int FPosition;  // entry the next pixel reads
};

// Error diffusion over `lines` rows per channel with `spare` columns on each
// side; the subclasses give the weights.
class TRowDitherer : public TDitherEngine {
public:
    TRowDitherer(int width, TColorLookup& lookup, int lines, int spare, int divisor);
    uint8_t Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) override;
    void NextLine() override;

protected:
    // Adds error × weight around the current position of each line (the
    // kernel's positions counted in the direction of travel).
    virtual void SpreadError(std::array<int32_t*, 4>& lines, int error) = 0;
    // One weight of a kernel: line below (0 = this line), position, weight.
    struct TKernelTap {
        int8_t Line, Position, Weight;
    };
    void Spread(std::array<int32_t*, 4>& lines, int error, std::initializer_list<TKernelTap> kernel) const;
    int FDivisor;

private:
    int FSpare;
    int FLineCount;
    std::array<TErrorRows, 3> FRows;
    int FPosition;
};

class T5by3Ditherer : public TRowDitherer {
public:
    T5by3Ditherer(int width, TColorLookup& lookup, int divisor) : TRowDitherer(width, lookup, 3, 2, divisor) {}
};

class TStuckiDitherer : public T5by3Ditherer {
public:
    TStuckiDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, 42) {}

protected:
    void SpreadError(std::array<int32_t*, 4>& lines, int error) override;
};

class TSierraDitherer : public T5by3Ditherer {
public:
    TSierraDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, 32) {}

protected:
    void SpreadError(std::array<int32_t*, 4>& lines, int error) override;
};

class TJaJuNiDitherer : public T5by3Ditherer {
public:
    TJaJuNiDitherer(int width, TColorLookup& lookup) : T5by3Ditherer(width, lookup, 48) {}

protected:
    void SpreadError(std::array<int32_t*, 4>& lines, int error) override;
};

class TSteveArcheDitherer : public TRowDitherer {
public:
    TSteveArcheDitherer(int width, TColorLookup& lookup) : TRowDitherer(width, lookup, 4, 3, 200) {}

protected:
    void SpreadError(std::array<int32_t*, 4>& lines, int error) override;
};

class TBurkesDitherer : public TRowDitherer {
public:
    TBurkesDitherer(int width, TColorLookup& lookup) : TRowDitherer(width, lookup, 2, 2, 32) {}

protected:
    void SpreadError(std::array<int32_t*, 4>& lines, int error) override;
};

// The ditherer of a dither mode (dmNearest: the plain engine).
std::unique_ptr<TDitherEngine> CreateDitherer(TDitherMode mode, int width, TColorLookup& lookup);

// ---------------------------------------------------------------------------
// Octree quantizer and palettes

class TOctreeNode : public TObject {
public:
    TOctreeNode(int level, int colorBits, int& leafCount, std::array<TOctreeNode*, 8>& reducibleNodes);
    ~TOctreeNode() override;
    TOctreeNode(const TOctreeNode&) = delete;
    TOctreeNode& operator=(const TOctreeNode&) = delete;

    bool IsLeaf = false;
    int32_t PixelCount = 0;
    // Sums of 64 bits: a 32-bit sum of one colour component overflows after
    // some 8 million pixels.
    int64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    TOctreeNode* Next = nullptr;
    std::array<TOctreeNode*, 8> Children{};
};

class TColorQuantizer : public TObject {
public:
    TColorQuantizer(int maxColors, int colorBits);
    ~TColorQuantizer() override;
    TColorQuantizer(const TColorQuantizer&) = delete;
    TColorQuantizer& operator=(const TColorQuantizer&) = delete;

    // Every pixel of a 24-bit reader, top row first; the tree never holds
    // more leaves than the maximum after a pixel.
    bool AddImage(TDIBReader& reader);
    void InsertColor(TOctreeNode*& node, uint8_t red, uint8_t green, uint8_t blue, int level);
    void MergeDeepestNode();
    // One quad per leaf, depth first, children 0 to 7; returns the count.
    int FillColorTable(gdi::RGBQUAD* quads, int capacity) const;
    int GetLeafCount() const { return FLeafCount; }

private:
    static void FreeTree(TOctreeNode*& node);

    TOctreeNode* FTree = nullptr;
    int FLeafCount = 0;
    std::array<TOctreeNode*, 8> FReducibleNodes{};
    int FMaxColors;
    int FColorBits;
};

// A palette of Colors entries fitted to the image by the octree; with
// Windows, the 20 static colours in slots 0-9 and 246-255 around 236 fitted
// ones.  Slots the octree does not fill are black.
HPALETTE CreateQuantizedPalette(TDIBReader& reader, int colors, int colorBits, bool windows);
HPALETTE CreateQuantizedBitmapPalette(TBitmap& bitmap, int colors, int colorBits, bool windows);
// One octree fed every bitmap in order; no list or an empty one raises
// "Invalid bitmap list".
HPALETTE CreateOptimizedPaletteFromManyBitmaps(const std::vector<TBitmap*>* bitmaps, int colors, int colorBits,
                                               bool windows);
HPALETTE CreateGrayScalePalette();
HPALETTE CreateMonochromePalette();
HPALETTE CreateWindowsGrayPalette();
HPALETTE CreateHalftoneScreenPalette();

// An 8-bit palettised copy of the bitmap (rmNone: a 24-bit copy), the
// palette chosen by the reduction method, the pixels mapped by the dither
// mode.  ReductionBits counts for rmQuantize, CustomPalette (copied, never
// deleted) for rmPalette.  A method that yields no colours (rmPalette
// without a palette or with an empty one) raises "Invalid reduction
// method".  The source bitmap is left as it was.
std::unique_ptr<TBitmap> ReduceColors(TBitmap& bitmap, TColorReduction colorReduction, TDitherMode ditherMode,
                                      int reductionBits, HPALETTE customPalette);

}  // namespace gif
