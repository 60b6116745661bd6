// The objects behind the graphics handles: palettes, bitmaps (rows stored
// top-down, each padded to 32 bits) and device contexts.
#pragma once

#include <cstdint>
#include <vector>

#include "gdi/Gdi.h"

namespace gdi::detail {

struct Object {
    explicit Object(unsigned type) : Type(type) {}
    virtual ~Object() = default;
    unsigned Type;
    bool Stock = false;
};

struct PaletteObject : Object {
    PaletteObject() : Object(OBJ_PAL) {}
    std::vector<PALETTEENTRY> Entries;
    int SelectedCount = 0;
};

struct BitmapObject : Object {
    BitmapObject(int width, int height, int bitsPerPixel, bool dib);

    // A device bitmap of one bit: no colour table, 0 black and 1 white.
    bool Mono() const { return BitsPerPixel == 1 && !Dib; }
    bool Indexed() const { return BitsPerPixel <= 8 && !Mono(); }
    bool InBounds(int x, int y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
    uint8_t* Row(int y) { return Bits.data() + static_cast<size_t>(y) * static_cast<size_t>(Stride); }
    const uint8_t* Row(int y) const { return Bits.data() + static_cast<size_t>(y) * static_cast<size_t>(Stride); }
    uint32_t Index(int x, int y) const;
    void SetIndex(int x, int y, uint32_t index);
    COLORREF Rgb(int x, int y) const;
    void SetRgb(int x, int y, COLORREF color);

    int Width, Height, BitsPerPixel;
    bool Dib;
    int Stride = 0;
    std::vector<uint8_t> Bits;
    std::vector<RGBQUAD> Colors;
    HDC SelectedIn = 0;
};

struct DcObject : Object {
    explicit DcObject(unsigned type) : Object(type) {}
    bool Screen = false;
    HBITMAP Bitmap = 0;
    HPALETTE Palette = 0;
    COLORREF TextColor = 0x000000;
    COLORREF BkColor = 0xFFFFFF;
};

// Icons share the handle table under a kind no graphics object has.
inline constexpr unsigned kIconObject = 0x7F00;

struct IconObject : Object {
    IconObject() : Object(kIconObject) {}
    HBITMAP Mask = 0;
    HBITMAP Color = 0;
};

// The nearest colour-table entry: smallest squared distance, first wins.
unsigned NearestQuad(const RGBQUAD* colors, int count, COLORREF color);
BitmapObject* FindBitmapObject(HBITMAP bitmap);

}  // namespace gdi::detail
