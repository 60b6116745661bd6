// The graphics device interface as the picture units use it: logical
// palettes, bitmaps (device-dependent and DIB sections), memory device
// contexts and the raster operations, over in-memory rasters.
//
// Every object is a handle, a key in one process-wide table that is never
// reused, so a deleted or foreign handle is recognised (GetObjectType gives 0,
// calls on it fail and set the thread's last error).
//
// Choices where the window system leaves the result to the display driver:
// - GetNearestPaletteIndex: the entry with the smallest squared Euclidean
//   distance in red, green and blue; of equal distances the lowest index.
//   Writing a colour into a palette-indexed bitmap uses the same rule.
// - StretchBlt scales by nearest neighbour (destination pixel d takes source
//   pixel src + d × srcExtent / dstExtent, rounded down).  Raster operations
//   act on 24-bit colours; a palette-indexed destination then stores the
//   nearest entry of its colour table (an indexed source and destination with
//   the same table copy indexes under SRCCOPY).
// - A monochrome device bitmap (CreateBitmap with one bit, or a compatible
//   bitmap of a context holding one) meets colour like a device does: drawn
//   onto colour, its 0 bits take the destination's text colour and its 1
//   bits the background colour; colour drawn onto it gives 1 where the pixel
//   equals the source context's background colour, else 0.  A 1-bit DIB
//   section has a colour table and is an indexed bitmap like any other.
// - The screen is a 32-bit true-colour device (BITSPIXEL 32, PLANES 1).
// - MulDiv gives −1 for a divisor of 0 and for a result outside 32 bits.
#pragma once

#include <cstdint>
#include <string>

namespace gdi {

using HGDIOBJ = uintptr_t;
using HBITMAP = uintptr_t;
using HPALETTE = uintptr_t;
using HDC = uintptr_t;
using COLORREF = uint32_t;  // 0x00BBGGRR

constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<COLORREF>(r) | static_cast<COLORREF>(g) << 8 | static_cast<COLORREF>(b) << 16;
}
constexpr uint8_t GetRValue(COLORREF c) { return static_cast<uint8_t>(c); }
constexpr uint8_t GetGValue(COLORREF c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t GetBValue(COLORREF c) { return static_cast<uint8_t>(c >> 16); }
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// The index of the colour nearest to red, green, blue among count colours,
// colourAt(i) giving colour i (members Red, Green, Blue): the smallest squared
// Euclidean distance, the lowest index of equals (the rule above); 0 when
// count is 0.  GetNearestPaletteIndex and every other nearest match use it.
template <typename ColourAt>
unsigned NearestColourIndex(unsigned count, int red, int green, int blue, ColourAt colourAt) {
    unsigned best = 0;
    int bestDistance = 0x7FFFFFFF;
    for (unsigned i = 0; i < count && bestDistance > 0; ++i) {
        const auto c = colourAt(i);
        const int dr = c.Red - red, dg = c.Green - green, db = c.Blue - blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

// ---- last error ------------------------------------------------------------
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_BUSY = 170;  // an object selected into a context

// The calling thread's last error, set by a failing call.
uint32_t GetLastError();
void SetLastError(uint32_t code);
// The system's text for an error code; empty when it has none.
std::string FormatMessageText(uint32_t code);

// ---- palettes --------------------------------------------------------------
inline constexpr uint8_t PC_NOCOLLAPSE = 4;

struct PALETTEENTRY {
    uint8_t peRed, peGreen, peBlue, peFlags;
    bool operator==(const PALETTEENTRY&) const = default;
};

// A logical palette with room for 256 entries; palNumEntries of them count.
struct LOGPALETTE {
    uint16_t palVersion = 0x300;
    uint16_t palNumEntries = 0;
    PALETTEENTRY palPalEntry[256]{};
};

// 0 when the version is not 0x300 or the count above 256.
HPALETTE CreatePalette(const LOGPALETTE* palette);
// Copies up to count entries from start; with entries null, returns the
// palette's entry count.  0 for a handle that is not a palette.
unsigned GetPaletteEntries(HPALETTE palette, unsigned start, unsigned count, PALETTEENTRY* entries);
// The index of the nearest entry (see above); CLR_INVALID for a bad handle
// or an empty palette.
unsigned GetNearestPaletteIndex(HPALETTE palette, COLORREF color);
// A new palette with the same entries; 0 for 0.
HPALETTE CopyPalette(HPALETTE palette);
// 256 entries: slots 0-9 the first ten static colours, 10-225 the 6 × 6 × 6
// cube (levels 0, 51, ... 255; red slowest), 226-245 twenty greys
// (255 × k / 21 for k = 1 ... 20), 246-255 the last ten static colours.
HPALETTE CreateHalftonePalette(HDC dc);

// ---- stock objects ---------------------------------------------------------
inline constexpr int DEFAULT_PALETTE = 15;
// The 1 × 1 monochrome bitmap a new memory context holds.
inline constexpr int DEFAULT_BITMAP = 21;
// The 20 static colours of the system palette: black, dark red, dark green,
// dark yellow, dark blue, dark magenta, dark cyan, light grey, money green,
// sky blue, cream, medium grey, dark grey, red, green, yellow, blue, magenta,
// cyan, white.  Stock objects are never deleted.
HGDIOBJ GetStockObject(int object);
// The 16 colours of a 4-bit device: the static colours without money green,
// sky blue, cream and medium grey.
HPALETTE SystemPalette16();

// ---- bitmaps ---------------------------------------------------------------
inline constexpr uint32_t BI_RGB = 0;
inline constexpr unsigned DIB_RGB_COLORS = 0;

struct RGBQUAD {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
    bool operator==(const RGBQUAD&) const = default;
};

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    uint16_t bfType;
    uint32_t bfSize;
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // negative: rows stored top-down
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// A header with room for a full colour table (40 + 1024 = 1064 bytes).
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader{};
    RGBQUAD bmiColors[256]{};
};
static_assert(sizeof(BITMAPINFO) == 1064);

// A bitmap's description.  bmBits is the first stored row of a DIB section,
// null for a device bitmap.
struct BITMAP {
    int32_t bmType;
    int32_t bmWidth;
    int32_t bmHeight;
    int32_t bmWidthBytes;
    uint16_t bmPlanes;
    uint16_t bmBitsPixel;
    void* bmBits;
};

// A DIB section's description.  DIB sections here store rows top-down, so
// dsBmih.biHeight is the negative height.
struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    uint32_t dsBitfields[3];
    HGDIOBJ dshSection;
    uint32_t dsOffset;
};

// A monochrome (bitsPerPixel 1, planes 1) or 32-bit device bitmap.  bits,
// when given, holds the rows top-down, each padded to 16 bits (monochrome:
// most significant bit first; 32-bit: blue, green, red, spare).
HBITMAP CreateBitmap(int width, int height, unsigned planes, unsigned bitsPerPixel, const void* bits);
// A bitmap of the context's format: the screen gives 32 bits; a memory
// context gives the format of the bitmap selected into it (monochrome for a
// new context's stock bitmap).
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A DIB section of 1, 4, 8, 16, 24 or 32 bits (BI_RGB; a negative height is
// top-down, the stored rows are top-down either way), zero-filled, with the
// info's colour table (biClrUsed entries, or 2^bits when 0) for 8 bits or
// fewer.  *bits receives the first row.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, unsigned usage, void** bits);
// IMAGE_BITMAP with 0, 0, 0: a deep copy of the same kind.
inline constexpr unsigned IMAGE_BITMAP = 0;
HBITMAP CopyImage(HBITMAP bitmap, unsigned type, int width, int height, unsigned flags);

// GetObject on a palette: its entry count.  On a bitmap: sizeof(BITMAP),
// or sizeof(DIBSECTION) when the bitmap is a DIB section and dib is given.
// 0 for a handle of another kind.
int GetObject(HPALETTE palette, uint16_t* entryCount);
int GetObject(HBITMAP bitmap, BITMAP* description, DIBSECTION* dib = nullptr);

inline constexpr unsigned OBJ_DC = 3;
inline constexpr unsigned OBJ_PAL = 5;
inline constexpr unsigned OBJ_BITMAP = 7;
inline constexpr unsigned OBJ_MEMDC = 10;
unsigned GetObjectType(HGDIOBJ object);
// False for a dead handle and for an object selected into a context; true
// (and nothing happens) for a stock object.
bool DeleteObject(HGDIOBJ object);

// Reads lines of a bitmap as a DIB in the format info describes (1, 4, 8,
// 24 or 32 bits; a positive height bottom-up).  At 8 bits or fewer the
// colour table comes from the bitmap's own when it has that depth, else from
// the palette selected into the context.  Returns the lines read, 0 on error.
int GetDIBits(HDC dc, HBITMAP bitmap, unsigned start, unsigned lines, void* bits, BITMAPINFO* info,
              unsigned usage);
// The colour table of the DIB section selected into the context.
unsigned GetDIBColorTable(HDC dc, unsigned start, unsigned count, RGBQUAD* colors);
bool GdiFlush();

// ---- device contexts -------------------------------------------------------
inline constexpr int BITSPIXEL = 12;
inline constexpr int PLANES = 14;
inline constexpr int SIZEPALETTE = 104;
inline constexpr int RASTERCAPS = 38;
inline constexpr int RC_PALETTE = 0x100;

// The screen's context (window 0 only); ReleaseDC gives it back.
HDC GetDC(uintptr_t window);
int ReleaseDC(uintptr_t window, HDC dc);
int GetDeviceCaps(HDC dc, int index);
// A memory context holding the stock 1 × 1 monochrome bitmap and the
// default palette, text colour black and background colour white.
HDC CreateCompatibleDC(HDC dc);
bool DeleteDC(HDC dc);
// Selects a bitmap and returns the one it replaces (0 on failure: not a
// bitmap, or a bitmap selected into another context).
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool forceBackground);
// True-colour surfaces map nothing: 0.
unsigned RealizePalette(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF GetBkColor(HDC dc);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);
struct RECT {
    int left, top, right, bottom;
};
// Fills with one colour (the class library's canvas brush).
bool FillSolidRect(HDC dc, const RECT& rect, COLORREF color);

// ---- raster operations -----------------------------------------------------
inline constexpr uint32_t SRCCOPY = 0x00CC0020;
inline constexpr uint32_t SRCPAINT = 0x00EE0086;
inline constexpr uint32_t SRCAND = 0x008800C6;
inline constexpr uint32_t SRCINVERT = 0x00660046;
inline constexpr uint32_t SRCERASE = 0x00440328;
inline constexpr uint32_t NOTSRCCOPY = 0x00330008;
inline constexpr uint32_t NOTSRCERASE = 0x001100A6;
inline constexpr uint32_t DSTINVERT = 0x00550009;
inline constexpr uint32_t BLACKNESS = 0x00000042;
inline constexpr uint32_t WHITENESS = 0x00FF0062;
constexpr uint32_t MAKEROP4(uint32_t fore, uint32_t back) { return ((back << 8) & 0xFF000000u) | fore; }

// Any raster operation of source and destination (the third-operand code
// in bits 16-23; the pattern is black).  False when a context holds no
// bitmap or an extent is not positive.  Pixels outside either bitmap are
// left alone.
bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, uint32_t rop);
bool StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth,
                int srcHeight, uint32_t rop);
// Where the mask's bit is 1 the foreground operation (low three bytes of
// rop4) applies, where 0 the background one (high byte).  The mask is a
// 1-bit bitmap not selected into a context; no scaling.
bool MaskBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, HBITMAP mask,
             int maskX, int maskY, uint32_t rop4);

// ---- icons -----------------------------------------------------------------
// An icon is no graphics object: GetObjectType gives 0 for it and
// DeleteObject refuses it; DestroyIcon frees it.
using HICON = uintptr_t;

struct ICONINFO {
    bool fIcon = true;
    uint32_t xHotspot = 0, yHotspot = 0;
    HBITMAP hbmMask = 0;   // monochrome; 1 bits let the destination show through
    HBITMAP hbmColor = 0;  // the icon's colours, black where the mask is 1
};

// An icon holding copies of the info's two bitmaps; 0 when either is no
// bitmap, the mask is not monochrome or the two differ in size.
HICON CreateIconIndirect(const ICONINFO* info);
// Fills info with new copies of the icon's bitmaps, which the caller deletes.
bool GetIconInfo(HICON icon, ICONINFO* info);
bool DestroyIcon(HICON icon);
inline constexpr unsigned DI_NORMAL = 3;
// Draws the icon with its top left corner at (x, y), stretched to width ×
// height (0 for the icon's own): the destination is ANDed with the mask,
// then XORed with the colours.  The context's text and background colours
// do not matter and are left as they were.
bool DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, unsigned step, uintptr_t brush,
                unsigned flags);

// ---- kernel helpers the picture units use -----------------------------------
// number × numerator / denominator in 64 bits, rounded half away from zero.
int MulDiv(int number, int numerator, int denominator);

inline constexpr int VER_PLATFORM_WIN32s = 0;
inline constexpr int VER_PLATFORM_WIN32_WINDOWS = 1;
inline constexpr int VER_PLATFORM_WIN32_NT = 2;
// The platform the picture units see: the NT family (tests may change it).
extern int Win32Platform;

// Live objects of each kind (palettes, bitmaps, contexts), for tests that
// check nothing leaks.
struct ObjectCounts {
    int Palettes, Bitmaps, Contexts;
    int Icons = 0;
};
ObjectCounts LiveObjects();

}  // namespace gdi
