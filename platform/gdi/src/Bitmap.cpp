// The class library's bitmap and canvas over the graphics stand-in.
#include "vcl/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "RasterObjects.h"
#include "rtl/SysUtils.h"

namespace vcl {

using gdi::detail::BitmapObject;

namespace {

const char* const kInvalidBitmap = "Bitmap image is not valid";

BitmapObject& Object(gdi::HBITMAP handle) { return *gdi::detail::FindBitmapObject(handle); }

std::vector<gdi::RGBQUAD> PaletteQuads(gdi::HPALETTE palette, int maxCount) {
    gdi::PALETTEENTRY entries[256];
    const unsigned n = gdi::GetPaletteEntries(palette, 0, static_cast<unsigned>(std::min(maxCount, 256)), entries);
    std::vector<gdi::RGBQUAD> quads;
    for (unsigned i = 0; i < n; ++i) quads.push_back({entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0});
    return quads;
}

std::vector<gdi::RGBQUAD> DefaultQuads(int bits) {
    if (bits == 1) return {{0, 0, 0, 0}, {255, 255, 255, 0}};
    if (bits == 4) return PaletteQuads(gdi::SystemPalette16(), 16);
    const gdi::HPALETTE halftone = gdi::CreateHalftonePalette(0);
    std::vector<gdi::RGBQUAD> quads = PaletteQuads(halftone, 256);
    gdi::DeleteObject(halftone);
    return quads;
}

TPixelFormat FormatOfBits(int bits) {
    switch (bits) {
        case 1: return pf1bit;
        case 4: return pf4bit;
        case 8: return pf8bit;
        case 16: return pf15bit;
        case 24: return pf24bit;
        default: return pf32bit;
    }
}

}  // namespace

int PixelFormatBits(TPixelFormat format) {
    switch (format) {
        case pf1bit: return 1;
        case pf4bit: return 4;
        case pf8bit: return 8;
        case pf15bit:
        case pf16bit: return 16;
        case pf24bit: return 24;
        case pfDevice:
        case pf32bit: return 32;
        default: return 0;
    }
}

TColor ColorToRGB(TColor color) {
    if ((color & 0xFF000000u) != 0x80000000u && (color & 0xFF000000u) != 0xFF000000u) return color;
    switch (color & 0xFF) {
        case 5: return 0xFFFFFF;   // window
        case 8: return 0x000000;   // window text
        case 15: return 0xF0F0F0;  // button face
        default: return 0xC0C0C0;
    }
}

// ---- TCanvas ----------------------------------------------------------------

TCanvas::~TCanvas() {
    if (ownsHandle_) gdi::DeleteDC(handle_);
}

gdi::HDC TCanvas::GetHandle() {
    if (handle_ == 0 && owner_ != nullptr) {
        handle_ = gdi::CreateCompatibleDC(0);
        ownsHandle_ = handle_ != 0;
        if (owner_->handle_ != 0) gdi::SelectObject(handle_, owner_->handle_);
    }
    return handle_;
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
    if (dest.Width() <= 0 || dest.Height() <= 0 || sourceRect.Width() <= 0 || sourceRect.Height() <= 0) return;
    gdi::StretchBlt(GetHandle(), dest.Left, dest.Top, dest.Width(), dest.Height(), source.GetHandle(),
                    sourceRect.Left, sourceRect.Top, sourceRect.Width(), sourceRect.Height(), CopyMode);
    Changed();
}

void TCanvas::FillRect(const TRect& rect) {
    if (Brush.Style == bsClear) return;
    gdi::FillSolidRect(GetHandle(), {rect.Left, rect.Top, rect.Right, rect.Bottom}, ColorToRGB(Brush.Color));
    Changed();
}

void TCanvas::Draw(int x, int y, TBitmap& bitmap) {
    StretchDraw({x, y, x + bitmap.GetWidth(), y + bitmap.GetHeight()}, bitmap);
}

void TCanvas::StretchDraw(const TRect& rect, TBitmap& bitmap) {
    if (bitmap.GetEmpty() || rect.Width() <= 0 || rect.Height() <= 0) return;
    const gdi::HDC dc = GetHandle();
    const gdi::HDC source = bitmap.GetCanvas().GetHandle();
    const int w = bitmap.GetWidth(), h = bitmap.GetHeight();
    if (!bitmap.GetTransparent()) {
        gdi::StretchBlt(dc, rect.Left, rect.Top, rect.Width(), rect.Height(), source, 0, 0, w, h, CopyMode);
    } else if (rect.Width() == w && rect.Height() == h) {
        gdi::MaskBlt(dc, rect.Left, rect.Top, w, h, source, 0, 0, bitmap.GetMaskHandle(), 0, 0,
                     gdi::MAKEROP4(0x00AA0029, gdi::SRCCOPY));
    } else {
        // Stretch the mask and the picture into one bitmap of the target size.
        TBitmap scaled;
        scaled.SetPixelFormat(pf32bit);
        scaled.SetSize(rect.Width(), rect.Height());
        gdi::StretchBlt(scaled.GetCanvas().GetHandle(), 0, 0, rect.Width(), rect.Height(), source, 0, 0, w, h,
                        gdi::SRCCOPY);
        const gdi::HBITMAP mask = gdi::CreateBitmap(rect.Width(), rect.Height(), 1, 1, nullptr);
        const gdi::HDC maskDc = gdi::CreateCompatibleDC(0);
        const gdi::HDC sourceMaskDc = gdi::CreateCompatibleDC(0);
        const gdi::HGDIOBJ oldMask = gdi::SelectObject(maskDc, mask);
        const gdi::HBITMAP sourceMask = gdi::CopyImage(bitmap.GetMaskHandle(), gdi::IMAGE_BITMAP, 0, 0, 0);
        const gdi::HGDIOBJ oldSourceMask = gdi::SelectObject(sourceMaskDc, sourceMask);
        gdi::StretchBlt(maskDc, 0, 0, rect.Width(), rect.Height(), sourceMaskDc, 0, 0, w, h, gdi::SRCCOPY);
        gdi::SelectObject(sourceMaskDc, oldSourceMask);
        gdi::SelectObject(maskDc, oldMask);
        gdi::DeleteDC(sourceMaskDc);
        gdi::DeleteDC(maskDc);
        gdi::DeleteObject(sourceMask);
        gdi::MaskBlt(dc, rect.Left, rect.Top, rect.Width(), rect.Height(), scaled.GetCanvas().GetHandle(), 0, 0,
                     mask, 0, 0, gdi::MAKEROP4(0x00AA0029, gdi::SRCCOPY));
        gdi::DeleteObject(mask);
    }
    Changed();
}

TRect TCanvas::GetClipRect() {
    if (owner_ != nullptr) return {0, 0, owner_->GetWidth(), owner_->GetHeight()};
    gdi::HDC dc = GetHandle();
    (void)dc;
    return {};
}

TColor TCanvas::GetPixel(int x, int y) { return gdi::GetPixel(GetHandle(), x, y); }

void TCanvas::SetPixel(int x, int y, TColor color) {
    gdi::SetPixel(GetHandle(), x, y, ColorToRGB(color));
    Changed();
}

void TCanvas::Changed() {
    if (OnChange) OnChange(*this);
    if (owner_ != nullptr) owner_->Changed();
}

// ---- TBitmap ------------------------------------------------------------------

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
    canvas_.reset();
    FreeMask();
    if (handle_ != 0) gdi::DeleteObject(handle_);
    if (palette_ != 0) gdi::DeleteObject(palette_);
}

gdi::HBITMAP TBitmap::NewBitmap(int width, int height, TPixelFormat format, const gdi::RGBQUAD* colors,
                                int count) {
    if (width <= 0 || height <= 0) return 0;
    gdi::HBITMAP handle = 0;
    if (format == pfDevice) {
        handle = gdi::CreateBitmap(width, height, 1, 32, nullptr);
    } else {
        gdi::BITMAPINFO info;
        info.bmiHeader = {40, width, -height, 1, static_cast<uint16_t>(PixelFormatBits(format)), gdi::BI_RGB,
                          0, 0, 0, 0, 0};
        if (PixelFormatBits(format) <= 8) {
            const int n = std::min(count, 1 << PixelFormatBits(format));
            std::copy_n(colors, n, info.bmiColors);
            info.bmiHeader.biClrUsed = static_cast<uint32_t>(std::max(n, 1));
        }
        void* bits = nullptr;
        handle = gdi::CreateDIBSection(0, &info, gdi::DIB_RGB_COLORS, &bits);
    }
    if (handle == 0) throw rtl::EOutOfResources();
    return handle;
}

void TBitmap::Replace(gdi::HBITMAP handle, int width, int height, TPixelFormat format) {
    FreeMask();
    if (handle_ != handle) {
        // The canvas's context keeps its handle and takes the new bitmap.
        if (canvas_ != nullptr && canvas_->handle_ != 0)
            gdi::SelectObject(canvas_->handle_, handle != 0 ? handle : gdi::GetStockObject(gdi::DEFAULT_BITMAP));
        if (handle_ != 0) gdi::DeleteObject(handle_);
    }
    handle_ = handle;
    width_ = handle == 0 ? width : Object(handle).Width;
    height_ = handle == 0 ? height : Object(handle).Height;
    pixelFormat_ = format;
}

void TBitmap::SetSize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    std::vector<gdi::RGBQUAD> colors;
    if (handle_ != 0) colors = Object(handle_).Colors;
    else if (PixelFormatBits(pixelFormat_) <= 8 && pixelFormat_ != pfCustom)
        colors = palette_ != 0 ? PaletteQuads(palette_, 256) : DefaultQuads(PixelFormatBits(pixelFormat_));
    const gdi::HBITMAP fresh = NewBitmap(width, height, pixelFormat_, colors.data(), static_cast<int>(colors.size()));
    if (fresh != 0 && handle_ != 0) {
        BitmapObject& from = Object(handle_);
        BitmapObject& to = Object(fresh);
        const int rows = std::min(from.Height, to.Height);
        const size_t bytes = static_cast<size_t>(std::min(from.Stride, to.Stride));
        for (int y = 0; y < rows; ++y) std::memcpy(to.Row(y), from.Row(y), bytes);
    }
    Replace(fresh, width, height, pixelFormat_);
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat value) {
    if (value == pfCustom) value = pfDevice;
    if (value == pixelFormat_) return;
    if (handle_ == 0) {
        pixelFormat_ = value;
        return;
    }
    BitmapObject& from = Object(handle_);
    const int bits = PixelFormatBits(value);
    std::vector<gdi::RGBQUAD> colors;
    if (bits <= 8) {
        if (palette_ != 0) colors = PaletteQuads(palette_, 1 << bits);
        else if (from.Indexed() && static_cast<int>(from.Colors.size()) <= (1 << bits)) colors = from.Colors;
        else colors = DefaultQuads(bits);
    }
    const gdi::HBITMAP fresh = NewBitmap(width_, height_, value, colors.data(), static_cast<int>(colors.size()));
    BitmapObject& to = Object(fresh);
    const bool copyIndexes = from.Indexed() && to.Indexed() && from.Colors == to.Colors;
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            if (copyIndexes) to.SetIndex(x, y, from.Index(x, y));
            else to.SetRgb(x, y, from.Rgb(x, y));
        }
    Replace(fresh, width_, height_, value);
    Changed();
}

bool TBitmap::GetMonochrome() const { return handle_ != 0 ? Object(handle_).BitsPerPixel == 1 : pixelFormat_ == pf1bit; }

uint8_t* TBitmap::GetScanLine(int row) {
    if (handle_ == 0 || row < 0 || row >= height_) throw rtl::EInvalidGraphicOperation("Scan line index out of range");
    FreeMask();
    return Object(handle_).Row(row);
}

gdi::HPALETTE TBitmap::GetPalette() {
    if (palette_ == 0 && handle_ != 0 && Object(handle_).Indexed()) {
        const std::vector<gdi::RGBQUAD>& colors = Object(handle_).Colors;
        gdi::LOGPALETTE log;
        log.palNumEntries = static_cast<uint16_t>(colors.size());
        for (size_t i = 0; i < colors.size(); ++i)
            log.palPalEntry[i] = {colors[i].rgbRed, colors[i].rgbGreen, colors[i].rgbBlue, 0};
        palette_ = gdi::CreatePalette(&log);
    }
    return palette_;
}

void TBitmap::SetPalette(gdi::HPALETTE palette) {
    if (palette == palette_) return;
    if (palette_ != 0) gdi::DeleteObject(palette_);
    palette_ = palette;
    if (palette != 0 && handle_ != 0 && Object(handle_).Indexed()) {
        BitmapObject& b = Object(handle_);
        std::vector<gdi::RGBQUAD> quads = PaletteQuads(palette, 1 << b.BitsPerPixel);
        if (!quads.empty()) b.Colors = std::move(quads);
    }
    Changed();
}

void TBitmap::SetHandle(gdi::HBITMAP bitmap) {
    if (bitmap == handle_) return;
    TPixelFormat format = pfDevice;
    if (bitmap != 0) {
        gdi::BITMAP description{};
        if (gdi::GetObject(bitmap, &description) == 0) throw rtl::EInvalidGraphic(kInvalidBitmap);
        const BitmapObject& b = Object(bitmap);
        format = b.Dib || b.BitsPerPixel == 1 ? FormatOfBits(b.BitsPerPixel) : pfDevice;
    }
    if (palette_ != 0) gdi::DeleteObject(std::exchange(palette_, 0));
    Replace(bitmap, 0, 0, format);
    Changed();
}

TBitmapHandleType TBitmap::GetHandleType() const {
    return handle_ != 0 && Object(handle_).Dib ? bmDIB : (handle_ == 0 && pixelFormat_ != pfDevice ? bmDIB : bmDDB);
}

TCanvas& TBitmap::GetCanvas() {
    if (canvas_ == nullptr) canvas_.reset(new TCanvas(this));
    return *canvas_;
}

void TBitmap::SetTransparent(bool value) {
    if (value == transparent_) return;
    transparent_ = value;
    Changed();
}

TColor TBitmap::GetTransparentColor() {
    if (transparentMode_ == tmFixed && transparentColor_ != clDefault) return transparentColor_;
    if (handle_ == 0) return clDefault;
    return Object(handle_).Rgb(0, height_ - 1);
}

void TBitmap::SetTransparentColor(TColor color) {
    transparentColor_ = color;
    transparentMode_ = color == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode) {
    transparentMode_ = mode;
    if (mode == tmAuto) transparentColor_ = clDefault;
    Changed();
}

gdi::HBITMAP TBitmap::GetMaskHandle() {
    if (mask_ != 0 || handle_ == 0) return mask_;
    const TColor transparent = ColorToRGB(GetTransparentColor()) & 0xFFFFFF;
    mask_ = gdi::CreateBitmap(width_, height_, 1, 1, nullptr);
    if (mask_ == 0) throw rtl::EOutOfResources();
    const BitmapObject& b = Object(handle_);
    BitmapObject& m = Object(mask_);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            if (b.Rgb(x, y) == transparent) m.SetIndex(x, y, 1);
    return mask_;
}

void TBitmap::FreeMask() {
    if (mask_ != 0) gdi::DeleteObject(std::exchange(mask_, 0));
}

void TBitmap::Changed() {
    FreeMask();
    if (OnChange) OnChange(this);
}

void TBitmap::Assign(const rtl::TPersistent* source) {
    if (source == this) return;
    if (source == nullptr) {
        if (palette_ != 0) gdi::DeleteObject(std::exchange(palette_, 0));
        Replace(0, 0, 0, pixelFormat_);
        Changed();
        return;
    }
    const auto* other = dynamic_cast<const TBitmap*>(source);
    if (other == nullptr) {
        rtl::TPersistent::Assign(source);
        return;
    }
    gdi::HBITMAP copy = 0;
    if (other->handle_ != 0) {
        copy = gdi::CopyImage(other->handle_, gdi::IMAGE_BITMAP, 0, 0, 0);
        if (copy == 0) throw rtl::EOutOfResources();
    }
    if (palette_ != 0) gdi::DeleteObject(std::exchange(palette_, 0));
    palette_ = gdi::CopyPalette(other->palette_);
    transparent_ = other->transparent_;
    transparentColor_ = other->transparentColor_;
    transparentMode_ = other->transparentMode_;
    Replace(copy, other->width_, other->height_, other->pixelFormat_);
    Changed();
}

// ---- BMP stream form --------------------------------------------------------

void TBitmap::LoadFromStream(rtl::TStream& stream) {
    const auto fail = [] { throw rtl::EInvalidGraphic(kInvalidBitmap); };
    const int64_t start = stream.GetPosition();
    gdi::BITMAPFILEHEADER file{};
    if (stream.Read(&file, sizeof(file)) != static_cast<int64_t>(sizeof(file)) || file.bfType != 0x4D42) fail();
    gdi::BITMAPINFOHEADER header{};
    if (stream.Read(&header, sizeof(header)) != static_cast<int64_t>(sizeof(header))) fail();
    const int bits = header.biBitCount;
    if (header.biSize < 40 || header.biSize > 0x10000 || header.biCompression != gdi::BI_RGB ||
        header.biPlanes != 1 || header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        fail();
    const int width = header.biWidth;
    const int height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    if (static_cast<int64_t>(width) * height > (int64_t{1} << 28)) fail();
    stream.SetPosition(start + static_cast<int64_t>(sizeof(file)) + header.biSize);
    std::vector<gdi::RGBQUAD> colors;
    if (bits <= 8) {
        const uint32_t maxColors = 1u << bits;
        const uint32_t n = header.biClrUsed == 0 ? maxColors : header.biClrUsed;
        if (n > maxColors) fail();
        colors.resize(n);
        if (stream.Read(colors.data(), n * 4) != static_cast<int64_t>(n * 4)) fail();
    }
    if (file.bfOffBits != 0) stream.SetPosition(start + file.bfOffBits);
    const TPixelFormat format = FormatOfBits(bits);
    const gdi::HBITMAP fresh = NewBitmap(width, height, format, colors.data(), static_cast<int>(colors.size()));
    BitmapObject& b = Object(fresh);
    for (int i = 0; i < height; ++i) {
        const int row = header.biHeight > 0 ? height - 1 - i : i;
        if (stream.Read(b.Row(row), b.Stride) != b.Stride) {
            gdi::DeleteObject(fresh);
            fail();
        }
    }
    if (palette_ != 0) gdi::DeleteObject(std::exchange(palette_, 0));
    Replace(fresh, width, height, format);
    Changed();
}

void TBitmap::SaveToStream(rtl::TStream& stream) {
    if (handle_ == 0) return;
    const BitmapObject& b = Object(handle_);
    std::vector<gdi::RGBQUAD> colors = b.Mono() ? std::vector<gdi::RGBQUAD>{{0, 0, 0, 0}, {255, 255, 255, 0}}
                                                : b.Colors;
    const uint32_t tableBytes = static_cast<uint32_t>(colors.size() * 4);
    const uint32_t imageBytes = static_cast<uint32_t>(b.Bits.size());
    gdi::BITMAPFILEHEADER file{0x4D42, 14 + 40 + tableBytes + imageBytes, 0, 0, 14 + 40 + tableBytes};
    gdi::BITMAPINFOHEADER header{40, width_, height_, 1, static_cast<uint16_t>(b.BitsPerPixel), gdi::BI_RGB,
                                 imageBytes, 0, 0, static_cast<uint32_t>(colors.size()), 0};
    stream.WriteBuffer(&file, sizeof(file));
    stream.WriteBuffer(&header, sizeof(header));
    if (tableBytes != 0) stream.WriteBuffer(colors.data(), tableBytes);
    for (int row = height_ - 1; row >= 0; --row) stream.WriteBuffer(b.Row(row), b.Stride);
}

// ---- clipboard form ---------------------------------------------------------

void TBitmap::LoadFromClipboardFormat(uint16_t format, gdi::HANDLE data, gdi::HPALETTE palette) {
    if (format != gdi::CF_BITMAP || data == 0) throw rtl::EInvalidGraphic("Unsupported clipboard format");
    if (gdi::GetObjectType(data) != gdi::OBJ_BITMAP) throw rtl::EInvalidGraphic(kInvalidBitmap);
    const gdi::HBITMAP copy = gdi::CopyImage(data, gdi::IMAGE_BITMAP, 0, 0, 0);
    if (copy == 0) throw rtl::EOutOfResources();
    const gdi::HPALETTE paletteCopy = gdi::CopyPalette(palette);
    SetHandle(copy);
    if (paletteCopy != 0) SetPalette(paletteCopy);
}

void TBitmap::SaveToClipboardFormat(uint16_t& format, gdi::HANDLE& data, gdi::HPALETTE& palette) {
    if (handle_ == 0) return;
    const gdi::HBITMAP copy = gdi::CopyImage(handle_, gdi::IMAGE_BITMAP, 0, 0, 0);
    if (copy == 0) throw rtl::EOutOfResources();
    format = gdi::CF_BITMAP;
    data = copy;
    palette = gdi::CopyPalette(GetPalette());
}

}  // namespace vcl
