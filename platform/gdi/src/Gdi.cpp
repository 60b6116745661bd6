// The graphics device interface over in-memory rasters (see gdi/Gdi.h for
// the rules chosen where the window system leaves them to the driver).
#include "gdi/Gdi.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <cstdlib>
#include <vector>

#include "RasterObjects.h"

namespace gdi {

int Win32Platform = VER_PLATFORM_WIN32_NT;

namespace {

// A colour as NearestColourIndex reads it.
struct Rgb {
    int Red, Green, Blue;
};

thread_local uint32_t t_lastError = ERROR_SUCCESS;

// Pixel budget of one bitmap: larger requests fail as out of memory instead
// of overflowing a size.
constexpr int64_t kMaxBitmapPixels = int64_t{1} << 28;

class ObjectTable {
public:
    static ObjectTable& Instance() {
        static ObjectTable table;
        return table;
    }

    uintptr_t Add(std::unique_ptr<detail::Object> object) {
        std::lock_guard lock(mutex_);
        const uintptr_t handle = next_;
        next_ += 4;
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    detail::Object* Find(uintptr_t handle) {
        std::lock_guard lock(mutex_);
        const auto found = objects_.find(handle);
        return found == objects_.end() ? nullptr : found->second.get();
    }

    void Remove(uintptr_t handle) {
        std::unique_ptr<detail::Object> doomed;
        std::lock_guard lock(mutex_);
        const auto found = objects_.find(handle);
        if (found == objects_.end()) return;
        doomed = std::move(found->second);
        objects_.erase(found);
    }

    ObjectCounts Counts() {
        std::lock_guard lock(mutex_);
        ObjectCounts counts{0, 0, 0, 0};
        for (const auto& [handle, object] : objects_) {
            if (object->Stock) continue;
            if (object->Type == OBJ_PAL) ++counts.Palettes;
            else if (object->Type == OBJ_BITMAP) ++counts.Bitmaps;
            else if (object->Type == detail::kIconObject) ++counts.Icons;
            else ++counts.Contexts;
        }
        return counts;
    }

private:
    std::mutex mutex_;
    std::unordered_map<uintptr_t, std::unique_ptr<detail::Object>> objects_;
    uintptr_t next_ = 0x10000;
};

template <class T>
T* Lookup(uintptr_t handle, unsigned type) {
    detail::Object* object = ObjectTable::Instance().Find(handle);
    if (object == nullptr || (object->Type != type && !(type == OBJ_DC && object->Type == OBJ_MEMDC))) {
        t_lastError = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return static_cast<T*>(object);
}

detail::PaletteObject* FindPalette(HPALETTE handle) { return Lookup<detail::PaletteObject>(handle, OBJ_PAL); }
detail::BitmapObject* FindBitmap(HBITMAP handle) { return Lookup<detail::BitmapObject>(handle, OBJ_BITMAP); }
detail::DcObject* FindDc(HDC handle) { return Lookup<detail::DcObject>(handle, OBJ_DC); }

constexpr PALETTEENTRY kStaticColors[20] = {
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},   {0, 0, 128, 0},
    {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0}, {192, 220, 192, 0}, {166, 202, 240, 0},
    {255, 251, 240, 0}, {160, 160, 164, 0}, {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},
    {255, 255, 0, 0},   {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
};

struct StockObjects {
    HPALETTE DefaultPalette;
    HPALETTE Palette16;
    HBITMAP Bitmap;
};

StockObjects& Stock() {
    static StockObjects stock = [] {
        StockObjects s{};
        auto palette = std::make_unique<detail::PaletteObject>();
        palette->Entries.assign(std::begin(kStaticColors), std::end(kStaticColors));
        palette->Stock = true;
        s.DefaultPalette = ObjectTable::Instance().Add(std::move(palette));
        auto palette16 = std::make_unique<detail::PaletteObject>();
        for (int i = 0; i < 20; ++i)
            if (i < 8 || i > 11) palette16->Entries.push_back(kStaticColors[i]);
        palette16->Stock = true;
        s.Palette16 = ObjectTable::Instance().Add(std::move(palette16));
        auto bitmap = std::make_unique<detail::BitmapObject>(1, 1, 1, false);
        bitmap->Stock = true;
        s.Bitmap = ObjectTable::Instance().Add(std::move(bitmap));
        return s;
    }();
    return stock;
}

HBITMAP AddBitmap(int width, int height, int bitsPerPixel, bool dib) {
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxBitmapPixels) {
        t_lastError = width <= 0 || height <= 0 ? ERROR_INVALID_PARAMETER : ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
    try {
        return ObjectTable::Instance().Add(std::make_unique<detail::BitmapObject>(width, height, bitsPerPixel, dib));
    } catch (const std::bad_alloc&) {
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
}

uint32_t Rop3(uint8_t rop, uint32_t s, uint32_t d) {
    switch (rop) {
        case 0xCC: return s;
        case 0x88: return s & d;
        case 0xEE: return s | d;
        case 0x66: return s ^ d;
        case 0x33: return ~s;
        case 0xAA: return d;
        default: break;
    }
    // The general case: the pattern (P, bit 2 of the index) is black.
    uint32_t result = 0;
    for (int i = 0; i < 8; ++i) {
        if (((rop >> i) & 1) == 0 || (i & 4) != 0) continue;
        result |= ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
    return result;
}

bool Blit(HDC dstDc, int x, int y, int width, int height, HDC srcDc, int srcX, int srcY, int srcWidth,
          int srcHeight, uint32_t ropFore, uint32_t ropBack, detail::BitmapObject* mask, int maskX, int maskY) {
    detail::DcObject* d = FindDc(dstDc);
    detail::DcObject* s = FindDc(srcDc);
    if (d == nullptr || s == nullptr) return false;
    detail::BitmapObject* dst = FindBitmap(d->Bitmap);
    detail::BitmapObject* src = FindBitmap(s->Bitmap);
    if (dst == nullptr || src == nullptr) return false;
    if (width <= 0 || height <= 0 || srcWidth <= 0 || srcHeight <= 0) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const uint8_t fore = static_cast<uint8_t>(ropFore >> 16);
    const uint8_t back = static_cast<uint8_t>(ropBack >> 16);
    const bool sameTable = src->Indexed() && dst->Indexed() && src->Colors == dst->Colors;
    for (int dy = 0; dy < height; ++dy) {
        const int ty = y + dy;
        const int sy = srcY + static_cast<int>(static_cast<int64_t>(dy) * srcHeight / height);
        if (ty < 0 || ty >= dst->Height || sy < 0 || sy >= src->Height) continue;
        for (int dx = 0; dx < width; ++dx) {
            const int tx = x + dx;
            const int sx = srcX + static_cast<int>(static_cast<int64_t>(dx) * srcWidth / width);
            if (tx < 0 || tx >= dst->Width || sx < 0 || sx >= src->Width) continue;
            uint8_t rop = back;
            if (mask != nullptr && mask->InBounds(maskX + dx, maskY + dy) && mask->Index(maskX + dx, maskY + dy) != 0)
                rop = fore;
            if (rop == 0xAA) continue;
            if (dst->Mono()) {
                const uint32_t sbit = src->Mono() ? src->Index(sx, sy) : (src->Rgb(sx, sy) == s->BkColor ? 1u : 0u);
                const uint32_t result = Rop3(rop, sbit ? ~0u : 0u, dst->Index(tx, ty) ? ~0u : 0u) & 1u;
                dst->SetIndex(tx, ty, result);
                continue;
            }
            if (rop == 0xCC && sameTable) {
                dst->SetIndex(tx, ty, src->Index(sx, sy));
                continue;
            }
            const COLORREF sc = src->Mono() ? (src->Index(sx, sy) ? d->BkColor : d->TextColor) : src->Rgb(sx, sy);
            const COLORREF dc = rop == 0xCC || rop == 0x33 ? 0 : dst->Rgb(tx, ty);
            dst->SetRgb(tx, ty, Rop3(rop, sc, dc) & 0xFFFFFFu);
        }
    }
    return true;
}

}  // namespace

// ---- detail ----------------------------------------------------------------

namespace detail {

BitmapObject::BitmapObject(int width, int height, int bitsPerPixel, bool dib)
    : Object(OBJ_BITMAP), Width(width), Height(height), BitsPerPixel(bitsPerPixel), Dib(dib) {
    Stride = static_cast<int>(((static_cast<int64_t>(width) * bitsPerPixel + 31) / 32) * 4);
    Bits.assign(static_cast<size_t>(Stride) * static_cast<size_t>(height), 0);
}

uint32_t BitmapObject::Index(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (BitsPerPixel) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1u;
        case 4: return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
        default: return row[x];
    }
}

void BitmapObject::SetIndex(int x, int y, uint32_t index) {
    uint8_t* row = Row(y);
    switch (BitsPerPixel) {
        case 1: {
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] = static_cast<uint8_t>(index & 1 ? row[x >> 3] | bit : row[x >> 3] & ~bit);
            break;
        }
        case 4:
            row[x >> 1] = static_cast<uint8_t>((x & 1) ? (row[x >> 1] & 0xF0) | (index & 0x0F)
                                                       : (row[x >> 1] & 0x0F) | (index & 0x0F) << 4);
            break;
        default: row[x] = static_cast<uint8_t>(index);
    }
}

COLORREF BitmapObject::Rgb(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (BitsPerPixel) {
        case 1:
        case 4:
        case 8: {
            const uint32_t index = Index(x, y);
            if (Mono()) return index ? 0xFFFFFFu : 0u;
            if (index >= Colors.size()) return 0;
            const RGBQUAD& q = Colors[index];
            return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
        }
        case 16: {
            const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
            const auto expand = [](unsigned c) { return static_cast<uint8_t>(c << 3 | c >> 2); };
            return RGB(expand((v >> 10) & 31), expand((v >> 5) & 31), expand(v & 31));
        }
        case 24: return RGB(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        default: return RGB(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
    }
}

void BitmapObject::SetRgb(int x, int y, COLORREF color) {
    uint8_t* row = Row(y);
    const uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (BitsPerPixel) {
        case 1:
        case 4:
        case 8:
            if (Mono()) SetIndex(x, y, r * 77 + g * 150 + b * 29 > 127 * 256 ? 1 : 0);
            else SetIndex(x, y, NearestQuad(Colors.data(), static_cast<int>(Colors.size()), color));
            break;
        case 16: {
            const unsigned v = (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
            row[2 * x] = static_cast<uint8_t>(v);
            row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            break;
        }
        case 24:
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
            break;
        default:
            row[4 * x] = b;
            row[4 * x + 1] = g;
            row[4 * x + 2] = r;
            row[4 * x + 3] = 0;
    }
}

unsigned NearestQuad(const RGBQUAD* colors, int count, COLORREF color) {
    return NearestColourIndex(static_cast<unsigned>(std::max(count, 0)), GetRValue(color), GetGValue(color),
                              GetBValue(color), [&](unsigned i) {
                                  return Rgb{colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue};
                              });
}

BitmapObject* FindBitmapObject(HBITMAP bitmap) { return FindBitmap(bitmap); }

}  // namespace detail

// ---- last error ------------------------------------------------------------

uint32_t GetLastError() { return t_lastError; }
void SetLastError(uint32_t code) { t_lastError = code; }

std::string FormatMessageText(uint32_t code) {
    switch (code) {
        case ERROR_SUCCESS: return "The operation completed successfully.";
        case ERROR_INVALID_HANDLE: return "The handle is invalid.";
        case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.";
        case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
        case ERROR_BUSY: return "The requested resource is in use.";
        default: return "";
    }
}

// ---- palettes --------------------------------------------------------------

HPALETTE CreatePalette(const LOGPALETTE* palette) {
    if (palette == nullptr || palette->palVersion != 0x300 || palette->palNumEntries > 256) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    auto object = std::make_unique<detail::PaletteObject>();
    object->Entries.assign(palette->palPalEntry, palette->palPalEntry + palette->palNumEntries);
    return ObjectTable::Instance().Add(std::move(object));
}

unsigned GetPaletteEntries(HPALETTE palette, unsigned start, unsigned count, PALETTEENTRY* entries) {
    detail::PaletteObject* p = FindPalette(palette);
    if (p == nullptr) return 0;
    const unsigned size = static_cast<unsigned>(p->Entries.size());
    if (entries == nullptr) return size;
    if (start >= size) return 0;
    const unsigned n = std::min(count, size - start);
    std::copy_n(p->Entries.begin() + start, n, entries);
    return n;
}

unsigned GetNearestPaletteIndex(HPALETTE palette, COLORREF color) {
    detail::PaletteObject* p = FindPalette(palette);
    if (p == nullptr || p->Entries.empty()) return CLR_INVALID;
    return NearestColourIndex(static_cast<unsigned>(p->Entries.size()), GetRValue(color), GetGValue(color),
                              GetBValue(color), [&](unsigned i) {
                                  const PALETTEENTRY& e = p->Entries[i];
                                  return Rgb{e.peRed, e.peGreen, e.peBlue};
                              });
}

HPALETTE CopyPalette(HPALETTE palette) {
    if (palette == 0) return 0;
    detail::PaletteObject* p = FindPalette(palette);
    if (p == nullptr) return 0;
    auto copy = std::make_unique<detail::PaletteObject>();
    copy->Entries = p->Entries;
    return ObjectTable::Instance().Add(std::move(copy));
}

HPALETTE CreateHalftonePalette(HDC) {
    LOGPALETTE palette;
    palette.palNumEntries = 256;
    int n = 0;
    for (int i = 0; i < 10; ++i) palette.palPalEntry[n++] = kStaticColors[i];
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                palette.palPalEntry[n++] = {static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                                            static_cast<uint8_t>(b * 51), 0};
    for (int k = 1; k <= 20; ++k) {
        const auto level = static_cast<uint8_t>(255 * k / 21);
        palette.palPalEntry[n++] = {level, level, level, 0};
    }
    for (int i = 10; i < 20; ++i) palette.palPalEntry[n++] = kStaticColors[i];
    return CreatePalette(&palette);
}

HGDIOBJ GetStockObject(int object) {
    if (object == DEFAULT_PALETTE) return Stock().DefaultPalette;
    if (object == DEFAULT_BITMAP) return Stock().Bitmap;
    t_lastError = ERROR_INVALID_PARAMETER;
    return 0;
}

HPALETTE SystemPalette16() { return Stock().Palette16; }

// ---- bitmaps ---------------------------------------------------------------

HBITMAP CreateBitmap(int width, int height, unsigned planes, unsigned bitsPerPixel, const void* bits) {
    if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 32)) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const HBITMAP handle = AddBitmap(width, height, static_cast<int>(bitsPerPixel), false);
    if (handle == 0 || bits == nullptr) return handle;
    detail::BitmapObject* b = FindBitmap(handle);
    const size_t inStride = ((static_cast<size_t>(width) * bitsPerPixel + 15) / 16) * 2;
    const size_t used = (static_cast<size_t>(width) * bitsPerPixel + 7) / 8;
    for (int row = 0; row < height; ++row)
        std::memcpy(b->Row(row), static_cast<const uint8_t*>(bits) + inStride * static_cast<size_t>(row), used);
    return handle;
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr) return 0;
    if (d->Screen) return AddBitmap(width, height, 32, false);
    detail::BitmapObject* selected = FindBitmap(d->Bitmap);
    if (selected == nullptr) return 0;
    const HBITMAP handle = AddBitmap(width, height, selected->BitsPerPixel, selected->Dib);
    if (handle != 0) FindBitmap(handle)->Colors = selected->Colors;
    return handle;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, unsigned usage, void** bits) {
    if (bits != nullptr) *bits = nullptr;
    if (info == nullptr || usage != DIB_RGB_COLORS) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int bpp = h.biBitCount;
    if (h.biSize < 40 || h.biCompression != BI_RGB || h.biPlanes != 1 ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) || h.biHeight == INT32_MIN) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const HBITMAP handle = AddBitmap(h.biWidth, h.biHeight < 0 ? -h.biHeight : h.biHeight, bpp, true);
    if (handle == 0) return 0;
    detail::BitmapObject* b = FindBitmap(handle);
    if (bpp <= 8) {
        const uint32_t maxColors = 1u << bpp;
        const uint32_t n = h.biClrUsed == 0 ? maxColors : std::min(h.biClrUsed, maxColors);
        b->Colors.assign(info->bmiColors, info->bmiColors + n);
    }
    if (bits != nullptr) *bits = b->Bits.data();
    return handle;
}

HBITMAP CopyImage(HBITMAP bitmap, unsigned type, int, int, unsigned) {
    detail::BitmapObject* b = FindBitmap(bitmap);
    if (b == nullptr || type != IMAGE_BITMAP) return 0;
    try {
        auto copy = std::make_unique<detail::BitmapObject>(*b);
        copy->Stock = false;
        copy->SelectedIn = 0;
        return ObjectTable::Instance().Add(std::move(copy));
    } catch (const std::bad_alloc&) {
        t_lastError = ERROR_NOT_ENOUGH_MEMORY;
        return 0;
    }
}

int GetObject(HPALETTE palette, uint16_t* entryCount) {
    detail::PaletteObject* p = FindPalette(palette);
    if (p == nullptr) return 0;
    if (entryCount != nullptr) *entryCount = static_cast<uint16_t>(p->Entries.size());
    return 2;
}

int GetObject(HBITMAP bitmap, BITMAP* description, DIBSECTION* dib) {
    detail::BitmapObject* b = FindBitmap(bitmap);
    if (b == nullptr) return 0;
    BITMAP bm{0, b->Width, b->Height, b->Stride, 1, static_cast<uint16_t>(b->BitsPerPixel),
              b->Dib ? b->Bits.data() : nullptr};
    if (description != nullptr) *description = bm;
    if (dib == nullptr || !b->Dib) return static_cast<int>(sizeof(BITMAP));
    std::memset(dib, 0, sizeof(*dib));
    dib->dsBm = bm;
    BITMAPINFOHEADER& h = dib->dsBmih;
    h.biSize = 40;
    h.biWidth = b->Width;
    h.biHeight = -b->Height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(b->BitsPerPixel);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<uint32_t>(b->Bits.size());
    h.biClrUsed = static_cast<uint32_t>(b->Colors.size());
    return static_cast<int>(sizeof(DIBSECTION));
}

unsigned GetObjectType(HGDIOBJ object) {
    detail::Object* o = ObjectTable::Instance().Find(object);
    return o == nullptr || o->Type == detail::kIconObject ? 0 : o->Type;
}

bool DeleteObject(HGDIOBJ object) {
    detail::Object* o = ObjectTable::Instance().Find(object);
    if (o == nullptr || o->Type == OBJ_DC || o->Type == OBJ_MEMDC || o->Type == detail::kIconObject) {
        t_lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (o->Stock) return true;
    if (o->Type == OBJ_BITMAP && static_cast<detail::BitmapObject*>(o)->SelectedIn != 0) {
        t_lastError = ERROR_BUSY;
        return false;
    }
    if (o->Type == OBJ_PAL && static_cast<detail::PaletteObject*>(o)->SelectedCount > 0) {
        t_lastError = ERROR_BUSY;
        return false;
    }
    ObjectTable::Instance().Remove(object);
    return true;
}

int GetDIBits(HDC dc, HBITMAP bitmap, unsigned start, unsigned lines, void* bits, BITMAPINFO* info, unsigned usage) {
    detail::DcObject* d = FindDc(dc);
    detail::BitmapObject* b = FindBitmap(bitmap);
    if (d == nullptr || b == nullptr || info == nullptr || usage != DIB_RGB_COLORS) return 0;
    BITMAPINFOHEADER& h = info->bmiHeader;
    if (bits == nullptr) {
        if (h.biBitCount == 0) h.biBitCount = static_cast<uint16_t>(b->BitsPerPixel);
        h.biWidth = b->Width;
        h.biHeight = b->Height;
        h.biPlanes = 1;
        h.biSizeImage = static_cast<uint32_t>(((b->Width * h.biBitCount + 31) / 32) * 4 * b->Height);
        return b->Height;
    }
    const int bpp = h.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const bool bottomUp = h.biHeight > 0;
    const int height = b->Height;
    // The target as a bitmap object of the requested depth, written line by line.
    detail::BitmapObject target(b->Width, 1, bpp, true);
    if (bpp <= 8) {
        const size_t n = size_t{1} << bpp;
        if (b->BitsPerPixel == bpp && !b->Mono()) {
            target.Colors = b->Colors;
        } else if (bpp == 1) {
            target.Colors = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        } else {
            detail::PaletteObject* p = FindPalette(d->Palette);
            for (size_t i = 0; p != nullptr && i < std::min(n, p->Entries.size()); ++i)
                target.Colors.push_back({p->Entries[i].peBlue, p->Entries[i].peGreen, p->Entries[i].peRed, 0});
        }
        target.Colors.resize(std::max(target.Colors.size(), size_t{1}));
        std::fill(std::begin(info->bmiColors), std::end(info->bmiColors), RGBQUAD{0, 0, 0, 0});
        std::copy(target.Colors.begin(), target.Colors.end(), info->bmiColors);
    }
    const bool copyIndexes = b->Indexed() && target.Colors == b->Colors && b->BitsPerPixel == bpp;
    int done = 0;
    for (unsigned line = 0; line < lines; ++line) {
        const int scan = static_cast<int>(start + line);
        if (scan >= height) break;
        const int row = bottomUp ? height - 1 - scan : scan;
        for (int x = 0; x < b->Width; ++x) {
            if (copyIndexes) target.SetIndex(x, 0, b->Index(x, row));
            else target.SetRgb(x, 0, b->Rgb(x, row));
        }
        std::memcpy(static_cast<uint8_t*>(bits) + static_cast<size_t>(line) * target.Stride, target.Row(0),
                    static_cast<size_t>(target.Stride));
        ++done;
    }
    return done;
}

unsigned GetDIBColorTable(HDC dc, unsigned start, unsigned count, RGBQUAD* colors) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr) return 0;
    detail::BitmapObject* b = FindBitmap(d->Bitmap);
    if (b == nullptr || !b->Dib || colors == nullptr) return 0;
    const unsigned size = static_cast<unsigned>(b->Colors.size());
    if (start >= size) return 0;
    const unsigned n = std::min(count, size - start);
    std::copy_n(b->Colors.begin() + start, n, colors);
    return n;
}

bool GdiFlush() { return true; }

// ---- device contexts -------------------------------------------------------

HDC GetDC(uintptr_t window) {
    if (window != 0) {
        t_lastError = ERROR_INVALID_HANDLE;
        return 0;
    }
    auto dc = std::make_unique<detail::DcObject>(OBJ_DC);
    dc->Screen = true;
    dc->Palette = Stock().DefaultPalette;
    return ObjectTable::Instance().Add(std::move(dc));
}

int ReleaseDC(uintptr_t, HDC dc) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr || !d->Screen) return 0;
    ObjectTable::Instance().Remove(dc);
    return 1;
}

int GetDeviceCaps(HDC dc, int index) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr) return 0;
    int bitsPixel = 32;
    if (!d->Screen) {
        detail::BitmapObject* b = FindBitmap(d->Bitmap);
        bitsPixel = b == nullptr ? 32 : b->BitsPerPixel;
    }
    switch (index) {
        case BITSPIXEL: return bitsPixel;
        case PLANES: return 1;
        case SIZEPALETTE: return 0;
        case RASTERCAPS: return 0;
        default: return 0;
    }
}

HDC CreateCompatibleDC(HDC) {
    const StockObjects& stock = Stock();
    auto dc = std::make_unique<detail::DcObject>(OBJ_MEMDC);
    dc->Bitmap = stock.Bitmap;
    dc->Palette = stock.DefaultPalette;
    return ObjectTable::Instance().Add(std::move(dc));
}

bool DeleteDC(HDC dc) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr || d->Screen) return false;
    if (detail::BitmapObject* b = FindBitmap(d->Bitmap); b != nullptr && !b->Stock) b->SelectedIn = 0;
    if (detail::PaletteObject* p = FindPalette(d->Palette); p != nullptr && p->SelectedCount > 0) --p->SelectedCount;
    ObjectTable::Instance().Remove(dc);
    return true;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr || d->Screen) return 0;
    if (GetObjectType(object) == OBJ_PAL) return SelectPalette(dc, object, false);
    detail::BitmapObject* b = FindBitmap(object);
    if (b == nullptr) return 0;
    if (b->SelectedIn != 0 && b->SelectedIn != dc && !b->Stock) {
        t_lastError = ERROR_BUSY;
        return 0;
    }
    const HBITMAP old = d->Bitmap;
    if (detail::BitmapObject* previous = FindBitmap(old); previous != nullptr && !previous->Stock)
        previous->SelectedIn = 0;
    if (!b->Stock) b->SelectedIn = dc;
    d->Bitmap = object;
    return old;
}

HPALETTE SelectPalette(HDC dc, HPALETTE palette, bool) {
    detail::DcObject* d = FindDc(dc);
    detail::PaletteObject* p = FindPalette(palette);
    if (d == nullptr || p == nullptr) return 0;
    const HPALETTE old = d->Palette;
    if (detail::PaletteObject* previous = FindPalette(old); previous != nullptr && previous->SelectedCount > 0)
        --previous->SelectedCount;
    if (!p->Stock) ++p->SelectedCount;
    d->Palette = palette;
    return old;
}

unsigned RealizePalette(HDC dc) { return FindDc(dc) == nullptr ? CLR_INVALID : 0; }

COLORREF SetTextColor(HDC dc, COLORREF color) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr) return CLR_INVALID;
    return std::exchange(d->TextColor, color & 0xFFFFFFu);
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    detail::DcObject* d = FindDc(dc);
    if (d == nullptr) return CLR_INVALID;
    return std::exchange(d->BkColor, color & 0xFFFFFFu);
}

COLORREF GetTextColor(HDC dc) {
    detail::DcObject* d = FindDc(dc);
    return d == nullptr ? CLR_INVALID : d->TextColor;
}

COLORREF GetBkColor(HDC dc) {
    detail::DcObject* d = FindDc(dc);
    return d == nullptr ? CLR_INVALID : d->BkColor;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    detail::DcObject* d = FindDc(dc);
    detail::BitmapObject* b = d == nullptr ? nullptr : FindBitmap(d->Bitmap);
    if (b == nullptr || !b->InBounds(x, y)) return CLR_INVALID;
    return b->Rgb(x, y);
}

COLORREF SetPixel(HDC dc, int x, int y, COLORREF color) {
    detail::DcObject* d = FindDc(dc);
    detail::BitmapObject* b = d == nullptr ? nullptr : FindBitmap(d->Bitmap);
    if (b == nullptr || !b->InBounds(x, y)) return CLR_INVALID;
    b->SetRgb(x, y, color & 0xFFFFFFu);
    return b->Rgb(x, y);
}

bool FillSolidRect(HDC dc, const RECT& rect, COLORREF color) {
    detail::DcObject* d = FindDc(dc);
    detail::BitmapObject* b = d == nullptr ? nullptr : FindBitmap(d->Bitmap);
    if (b == nullptr) return false;
    const int left = std::max(rect.left, 0), right = std::min(rect.right, b->Width);
    const int top = std::max(rect.top, 0), bottom = std::min(rect.bottom, b->Height);
    if (left >= right || top >= bottom) return true;
    b->SetRgb(left, top, color & 0xFFFFFFu);
    const uint32_t index = b->BitsPerPixel <= 8 ? b->Index(left, top) : 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            if (b->BitsPerPixel <= 8) b->SetIndex(x, y, index);
            else b->SetRgb(x, y, color & 0xFFFFFFu);
        }
    return true;
}

// ---- raster operations -----------------------------------------------------

bool BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, uint32_t rop) {
    return Blit(dst, x, y, width, height, src, srcX, srcY, width, height, rop, rop, nullptr, 0, 0);
}

bool StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, int srcWidth,
                int srcHeight, uint32_t rop) {
    return Blit(dst, x, y, width, height, src, srcX, srcY, srcWidth, srcHeight, rop, rop, nullptr, 0, 0);
}

bool MaskBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, HBITMAP mask, int maskX,
             int maskY, uint32_t rop4) {
    detail::BitmapObject* m = nullptr;
    if (mask != 0) {
        m = FindBitmap(mask);
        if (m == nullptr || m->BitsPerPixel != 1) {
            t_lastError = ERROR_INVALID_PARAMETER;
            return false;
        }
    }
    const uint32_t fore = rop4 & 0x00FFFFFFu;
    const uint32_t back = (rop4 >> 8) & 0x00FF0000u;
    return Blit(dst, x, y, width, height, src, srcX, srcY, width, height, fore, m == nullptr ? fore : back, m,
                maskX, maskY);
}

// ---- icons -----------------------------------------------------------------

namespace {

detail::IconObject* FindIcon(HICON icon) { return Lookup<detail::IconObject>(icon, detail::kIconObject); }

// Copies of an icon's two bitmaps; false (and nothing made) when either fails.
bool CopyIconBitmaps(HBITMAP mask, HBITMAP color, HBITMAP& maskCopy, HBITMAP& colorCopy) {
    maskCopy = CopyImage(mask, IMAGE_BITMAP, 0, 0, 0);
    colorCopy = CopyImage(color, IMAGE_BITMAP, 0, 0, 0);
    if (maskCopy != 0 && colorCopy != 0) return true;
    if (maskCopy != 0) DeleteObject(maskCopy);
    if (colorCopy != 0) DeleteObject(colorCopy);
    return false;
}

}  // namespace

HICON CreateIconIndirect(const ICONINFO* info) {
    const detail::BitmapObject* mask = info == nullptr ? nullptr : FindBitmap(info->hbmMask);
    const detail::BitmapObject* color = info == nullptr ? nullptr : FindBitmap(info->hbmColor);
    if (mask == nullptr || color == nullptr || mask->BitsPerPixel != 1 || mask->Width != color->Width ||
        mask->Height != color->Height) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    auto icon = std::make_unique<detail::IconObject>();
    if (!CopyIconBitmaps(info->hbmMask, info->hbmColor, icon->Mask, icon->Color)) return 0;
    return ObjectTable::Instance().Add(std::move(icon));
}

bool GetIconInfo(HICON icon, ICONINFO* info) {
    const detail::IconObject* i = FindIcon(icon);
    if (i == nullptr || info == nullptr) return false;
    ICONINFO result;
    if (!CopyIconBitmaps(i->Mask, i->Color, result.hbmMask, result.hbmColor)) return false;
    *info = result;
    return true;
}

bool DestroyIcon(HICON icon) {
    const detail::IconObject* i = FindIcon(icon);
    if (i == nullptr) return false;
    DeleteObject(i->Mask);
    DeleteObject(i->Color);
    ObjectTable::Instance().Remove(icon);
    return true;
}

bool DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, unsigned, uintptr_t, unsigned) {
    const detail::IconObject* i = FindIcon(icon);
    if (i == nullptr || FindDc(dc) == nullptr) return false;
    const detail::BitmapObject* color = FindBitmap(i->Color);
    if (width == 0) width = color->Width;
    if (height == 0) height = color->Height;
    const HDC source = CreateCompatibleDC(0);
    const COLORREF text = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF background = SetBkColor(dc, RGB(255, 255, 255));
    const HGDIOBJ old = SelectObject(source, i->Mask);
    bool done = StretchBlt(dc, x, y, width, height, source, 0, 0, color->Width, color->Height, SRCAND);
    SelectObject(source, i->Color);
    done = done && StretchBlt(dc, x, y, width, height, source, 0, 0, color->Width, color->Height, SRCINVERT);
    SelectObject(source, old);
    DeleteDC(source);
    SetTextColor(dc, text);
    SetBkColor(dc, background);
    return done;
}

// ---- kernel helpers --------------------------------------------------------

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    const int64_t product = static_cast<int64_t>(number) * numerator;
    const int64_t magnitude = (std::abs(product) + std::abs(static_cast<int64_t>(denominator)) / 2) /
                              std::abs(static_cast<int64_t>(denominator));
    const int64_t result = ((product < 0) != (denominator < 0)) ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) return -1;
    return static_cast<int>(result);
}

ObjectCounts LiveObjects() {
    Stock();
    return ObjectTable::Instance().Counts();
}

}  // namespace gdi
