// The class library's bitmap and canvas over the graphics stand-in
// (gdi/Gdi.h): a bitmap of a chosen pixel format with scan-line access, its
// palette, transparency mask and BMP stream form, and a canvas that copies,
// stretches and fills with the device's raster operations.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "gdi/Clipboard.h"
#include "gdi/Gdi.h"
#include "rtl/Classes.h"

namespace vcl {

using TColor = uint32_t;  // 0x00BBGGRR; high byte 0x80 or 0xFF: a system colour
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clBtnFace = 0x8000000F;
// A system colour's RGB value (window white, window text black, button face
// light grey); any other colour unchanged.
TColor ColorToRGB(TColor color);

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};
inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }

// Fixed underlying types: a caller's value that names no member is still a
// value, never undefined behaviour.
enum TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType : uint8_t { bmDIB, bmDDB };
enum TTransparentMode : uint8_t { tmAuto, tmFixed };
enum TBrushStyle : uint8_t { bsSolid, bsClear };

// Copy modes are raster operations.
inline constexpr uint32_t cmSrcCopy = gdi::SRCCOPY;
inline constexpr uint32_t cmSrcAnd = gdi::SRCAND;
inline constexpr uint32_t cmSrcPaint = gdi::SRCPAINT;
inline constexpr uint32_t cmSrcInvert = gdi::SRCINVERT;
inline constexpr uint32_t cmNotSrcCopy = gdi::NOTSRCCOPY;

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
};

class TBitmap;

class TCanvas : public rtl::TObject {
public:
    // A canvas on a device context the caller owns.
    explicit TCanvas(gdi::HDC handle = 0) : handle_(handle) {}
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    gdi::HDC GetHandle();
    void SetHandle(gdi::HDC handle) { handle_ = handle; }
    // Copies source's rectangle of that canvas onto dest, stretched, with CopyMode.
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);
    // Fills with the brush colour (nothing with bsClear).
    void FillRect(const TRect& rect);
    // The bitmap at its own size; a transparent bitmap leaves the pixels of
    // its transparent colour.
    void Draw(int x, int y, TBitmap& bitmap);
    void StretchDraw(const TRect& rect, TBitmap& bitmap);
    // The drawing surface: the bitmap's rectangle, or empty.
    TRect GetClipRect();
    TColor GetPixel(int x, int y);
    void SetPixel(int x, int y, TColor color);
    void Changed();
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }

    TBrush Brush;
    uint32_t CopyMode = cmSrcCopy;
    std::function<void(TCanvas&)> OnChange;
    std::string ClassName() const override { return "TCanvas"; }

private:
    friend class TBitmap;
    explicit TCanvas(TBitmap* owner) : owner_(owner) {}

    TBitmap* owner_ = nullptr;
    gdi::HDC handle_ = 0;
    bool ownsHandle_ = false;
    std::recursive_mutex mutex_;
};

class TBitmap : public rtl::TPersistent {
public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    // Resizing keeps the format, the colour table and the pixels that still fit.
    void SetWidth(int value) { SetSize(value, height_); }
    void SetHeight(int value) { SetSize(width_, value); }
    void SetSize(int width, int height);
    bool GetEmpty() const { return width_ == 0 || height_ == 0; }

    // A new bitmap is pfDevice (a 32-bit device bitmap).  Setting another
    // format converts the pixels: to 15, 16, 24 or 32 bits through their
    // colours; to 1, 4 or 8 bits to the nearest entry of the new colour table,
    // which is the bitmap's palette when it has one, else its old table when
    // that fits, else black and white, the 16 device colours or the halftone
    // palette.  An empty bitmap only records the format.
    TPixelFormat GetPixelFormat() const { return pixelFormat_; }
    void SetPixelFormat(TPixelFormat value);
    bool GetMonochrome() const;

    // Row 0 is the top row; rows are padded to 32 bits; 24-bit pixels are
    // blue, green, red.  Outside the bitmap: EInvalidGraphicOperation
    // "Scan line index out of range".
    uint8_t* GetScanLine(int row);

    // The palette: one the bitmap was given, else (1, 4 and 8 bits) one made
    // from its colour table, owned by the bitmap; 0 for a true-colour bitmap
    // that was given none.  SetPalette takes over the handle (callers hand a
    // copy) and rewrites the colour table of an indexed bitmap from it.
    gdi::HPALETTE GetPalette();
    void SetPalette(gdi::HPALETTE palette);

    // 0 while the bitmap is empty.  SetHandle takes over a bitmap handle.
    gdi::HBITMAP GetHandle() const { return handle_; }
    void SetHandle(gdi::HBITMAP bitmap);
    TBitmapHandleType GetHandleType() const;

    TCanvas& GetCanvas();

    // Transparency: with tmAuto the transparent colour is the bottom-left
    // pixel's.  The mask (owned by the bitmap, rebuilt after a change) is a
    // monochrome bitmap whose 1 bits mark pixels of the transparent colour.
    bool GetTransparent() const { return transparent_; }
    void SetTransparent(bool value);
    TColor GetTransparentColor();
    void SetTransparentColor(TColor color);
    TTransparentMode GetTransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode mode);
    gdi::HBITMAP GetMaskHandle();

    // A deep copy of another bitmap; none empties this one.
    void Assign(const rtl::TPersistent* source) override;
    // The BMP file form: a 14-byte file header, a 40-byte (or larger) info
    // header, the colour table, uncompressed rows of 1, 4, 8, 16, 24 or 32
    // bits, bottom-up or top-down.  A stream that is not such a bitmap raises
    // EInvalidGraphic "Bitmap image is not valid" and leaves the bitmap as it
    // was.  Saving writes rows bottom-up.
    void LoadFromStream(rtl::TStream& stream);
    void SaveToStream(rtl::TStream& stream);
    // The clipboard form: CF_BITMAP, a bitmap handle and a palette (or 0).
    // Loading takes copies of both; another format or no data raises
    // EInvalidGraphic "Unsupported clipboard format", a handle that is no
    // bitmap "Bitmap image is not valid", and the bitmap stays as it was.
    // Saving hands out copies the caller owns; an empty bitmap sets nothing.
    void LoadFromClipboardFormat(uint16_t format, gdi::HANDLE data, gdi::HPALETTE palette);
    void SaveToClipboardFormat(uint16_t& format, gdi::HANDLE& data, gdi::HPALETTE& palette);

    void Changed();
    std::function<void(rtl::TObject*)> OnChange;
    std::string ClassName() const override { return "TBitmap"; }

private:
    friend class TCanvas;
    void Replace(gdi::HBITMAP handle, int width, int height, TPixelFormat format);
    gdi::HBITMAP NewBitmap(int width, int height, TPixelFormat format, const gdi::RGBQUAD* colors, int count);
    void FreeMask();

    gdi::HBITMAP handle_ = 0;
    int width_ = 0;
    int height_ = 0;
    TPixelFormat pixelFormat_ = pfDevice;
    gdi::HPALETTE palette_ = 0;
    bool transparent_ = false;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
    gdi::HBITMAP mask_ = 0;
    std::unique_ptr<TCanvas> canvas_;
};

// Bits per pixel of a format (pfDevice 32, pfCustom 0).
int PixelFormatBits(TPixelFormat format);

}  // namespace vcl
