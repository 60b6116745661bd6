// A frame's bitmap form: the palette it is shown with, the rendered bitmap
// (plain or dithered) with its transparency mask, and drawing onto a canvas
// (scaled, tiled, transparent).
#include <algorithm>
#include <cstring>
#include <vector>

#include "gif/GIFColor.h"
#include "gif/GIFDrawing.h"

namespace gif {

namespace {

// Copies the source where the mask is 0 and keeps the destination where it
// is 1; maskDC holds the mask, aligned with the source.
void TransparentStretchBlt(gdi::HDC dst, const vcl::TRect& dstRect, gdi::HDC src, const vcl::TRect& srcRect,
                           gdi::HDC maskDC, gdi::HPALETTE palette) {
    const int width = srcRect.Width(), height = srcRect.Height();
    if (width <= 0 || height <= 0 || dstRect.Width() <= 0 || dstRect.Height() <= 0) return;
    if (gdi::Win32Platform == gdi::VER_PLATFORM_WIN32_NT && dstRect.Width() == width && dstRect.Height() == height) {
        // The mask may not stay selected while the blit reads it.
        const TGDIGuard standIn = TGDIGuard::Object(CheckGDIHandle(gdi::CreateCompatibleBitmap(dst, 1, 1)));
        const TGDIGuard maskOut = TGDIGuard::Selection(maskDC, standIn.Handle());
        gdi::MaskBlt(dst, dstRect.Left, dstRect.Top, width, height, src, srcRect.Left, srcRect.Top, maskOut.Handle(),
                     srcRect.Left, srcRect.Top, gdi::MAKEROP4(0x00AA0029, gdi::SRCCOPY));
        return;
    }
    // The colours, black where the mask is set; the destination ANDed with
    // the mask, then the colours ORed in.
    const TGDIGuard colorDC = TGDIGuard::MemoryDC(dst);
    const TGDIGuard colorBitmap = TGDIGuard::Object(CheckGDIHandle(gdi::CreateCompatibleBitmap(dst, width, height)));
    const TGDIGuard colorSelection = TGDIGuard::Selection(colorDC.Handle(), colorBitmap.Handle());
    {
        const TGDIGuard monoDC = TGDIGuard::MemoryDC(0);
        const TGDIGuard monoBitmap = TGDIGuard::Object(CheckGDIHandle(gdi::CreateBitmap(width, height, 1, 1, nullptr)));
        const TGDIGuard monoSelection = TGDIGuard::Selection(monoDC.Handle(), monoBitmap.Handle());
        gdi::BitBlt(monoDC.Handle(), 0, 0, width, height, maskDC, srcRect.Left, srcRect.Top, gdi::NOTSRCCOPY);
        const TGDIGuard shown = TGDIGuard::PaletteSelection(
            colorDC.Handle(), palette != 0 ? palette : gdi::GetStockObject(gdi::DEFAULT_PALETTE));
        gdi::BitBlt(colorDC.Handle(), 0, 0, width, height, monoDC.Handle(), 0, 0, gdi::SRCCOPY);
        gdi::BitBlt(colorDC.Handle(), 0, 0, width, height, src, srcRect.Left, srcRect.Top, gdi::SRCAND);
    }
    const gdi::COLORREF text = gdi::SetTextColor(dst, 0x000000);
    const gdi::COLORREF back = gdi::SetBkColor(dst, 0xFFFFFF);
    gdi::StretchBlt(dst, dstRect.Left, dstRect.Top, dstRect.Width(), dstRect.Height(), maskDC, srcRect.Left,
                    srcRect.Top, width, height, gdi::SRCAND);
    gdi::StretchBlt(dst, dstRect.Left, dstRect.Top, dstRect.Width(), dstRect.Height(), colorDC.Handle(), 0, 0, width,
                    height, gdi::SRCPAINT);
    gdi::SetTextColor(dst, text);
    gdi::SetBkColor(dst, back);
}

// The mask's rows: 1 bit per pixel, most significant first, each row padded
// to 16 bits.
class MaskBits {
public:
    MaskBits(int width, int height)
        : rowBytes_(static_cast<size_t>((width + 15) / 16 * 2)), bits_(rowBytes_ * static_cast<size_t>(height)) {}
    void Set(int x, int y) {
        bits_[static_cast<size_t>(y) * rowBytes_ + static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x & 7));
        any_ = true;
    }
    bool Any() const { return any_; }
    const uint8_t* Data() const { return bits_.data(); }

private:
    size_t rowBytes_;
    std::vector<uint8_t> bits_;
    bool any_ = false;
};

}  // namespace

HPALETTE TGIFSubImage::GetPalette() {
    if (FBitmap != nullptr && FBitmap->GetPalette() != 0) return FBitmap->GetPalette();
    if (FLocalPalette != 0) return FLocalPalette;
    if (FImage != nullptr && FImage->GetDoDither()) {
        FLocalPalette = CheckGDIHandle(WebPalette());
        return FLocalPalette;
    }
    if (FColorMap->GetCount() == 0) return FImage != nullptr ? FImage->GetPalette() : 0;
    FLocalPalette = CheckGDIHandle(FColorMap->ExportPalette());
    return FLocalPalette;
}

void TGIFSubImage::SetPalette(HPALETTE value) {
    if (value == FLocalPalette) return;
    if (FLocalPalette != 0) gdi::DeleteObject(FLocalPalette);
    FLocalPalette = value;
    if (FBitmap != nullptr && FBitmap->GetPalette() != value) {
        FreeBitmap();
        if (FImage != nullptr) {
            FImage->SetPaletteModified(true);
            FImage->Changed(this);
        }
    }
}

void TGIFSubImage::SetHasBitmap(bool value) {
    if (value == GetHasBitmap()) return;
    if (value)
        GetBitmap();
    else
        FreeBitmap();
}

void TGIFSubImage::NewBitmap() {
    FreeBitmap();
    FBitmap = std::make_unique<vcl::TBitmap>();
}

void TGIFSubImage::FreeBitmap() { FBitmap.reset(); }

void TGIFSubImage::FreeMask() {
    if (FMask != 0) gdi::DeleteObject(FMask);
    FMask = 0;
    FNeedMask = true;
}

bool TGIFSubImage::HasMask() {
    if (FNeedMask && GetTransparent()) {
        FreeBitmap();
        GetBitmap();
    }
    return FMask != 0;
}

vcl::TBitmap* TGIFSubImage::GetBitmap() {
    if (FBitmap != nullptr || GetEmpty()) return FBitmap.get();
    auto report = [this](TProgressStage stage, int percent) {
        if (FImage != nullptr)
            FImage->Progress(this, stage, static_cast<uint8_t>(percent), stage == psEnding && FImage->GetPaletteModified(),
                             TRect{0, 0, 0, 0}, _sProgressRendering);
    };
    auto end = [&](int percent) {
        report(psEnding, percent);
        if (FImage != nullptr && FImage->GetPaletteModified()) FImage->Changed(this);
    };
    report(psStarting, 0);
    try {
        if (FImage != nullptr && FImage->GetDoDither())
            DoGetDitherBitmap();
        else
            DoGetBitmap();
    } catch (const rtl::EAbort&) {
        // Cancelled from a progress handler: the frame stays without a bitmap.
        end(0);
        return nullptr;
    } catch (...) {
        end(0);
        throw;
    }
    end(100);
    return FBitmap.get();
}

void TGIFSubImage::SetBitmap(const vcl::TBitmap* value) {
    FreeBitmap();
    if (value != nullptr) Assign(value);
}

// Both renderings write an 8-bit DIB of the frame's size through the frame's
// palette; the mask is built with it when it is wanted and some pixel is
// the transparent index.
void TGIFSubImage::RenderBitmap(bool dither) {
    const int width = GetWidth(), height = GetHeight();
    auto bitmap = std::make_unique<vcl::TBitmap>();
    // Large frames are not given a full-depth device bitmap first.
    if (static_cast<int64_t>(width) * height > 500000) bitmap->SetPixelFormat(vcl::pf1bit);
    const int t = GetTransparentIndex();
    const bool buildMask = FNeedMask && t >= 0 && FMask == 0;
    FNeedMask = false;
    MaskBits mask(buildMask ? width : 0, buildMask ? height : 0);
    const HPALETTE palette = GetPalette();
    TGIFColorMap& map = GetActiveColorMap();
    {
        TDIBWriter writer(*bitmap, vcl::pf8bit, width, height, palette);
        std::unique_ptr<TNetscapeColorLookup> lookup;
        std::unique_ptr<TFloydSteinbergDitherer> ditherer;
        uint8_t fill = 0;
        if (dither) {
            lookup = std::make_unique<TNetscapeColorLookup>(palette);
            ditherer = std::make_unique<TFloydSteinbergDitherer>(width, *lookup);
            // Transparent pixels of a dithered bitmap take the web colour
            // nearest their colour; the mask hides them when drawn.
            if (buildMask && t < map.GetCount()) {
                const TGIFColor c = map.GetEntry(t);
                uint8_t r, g, b;
                fill = lookup->Lookup(c.Red, c.Green, c.Blue, r, g, b);
            }
        }
        for (int row = 0; row < height; ++row) {
            if (row % 32 == 0 && FImage != nullptr)
                FImage->Progress(this, psRunning, static_cast<uint8_t>(gdi::MulDiv(row, 100, height)), false,
                                 TRect{0, 0, 0, 0}, _sProgressRendering);
            const uint8_t* source = FData.get() + static_cast<uint64_t>(row) * static_cast<uint64_t>(width);
            uint8_t* destination = writer.GetScanLine(row);
            if (!dither) {
                std::memcpy(destination, source, static_cast<size_t>(width));
                if (buildMask)
                    for (int x = 0; x < width; ++x)
                        if (source[x] == t) mask.Set(x, row);
                continue;
            }
            if (buildMask) std::memset(destination, fill, static_cast<size_t>(width));
            for (int x = ditherer->GetColumn(); x >= 0 && x < width; x = ditherer->GetColumn()) {
                if (buildMask && source[x] == t) {
                    mask.Set(x, row);
                    ditherer->AdvanceColumn();
                    continue;
                }
                // A pixel beyond the table shows the table's first colour.
                const TGIFColor c = map.GetCount() > 0 ? map.GetEntry(source[x] < map.GetCount() ? source[x] : 0)
                                                       : TGIFColor{0, 0, 0};
                uint8_t r, g, b;
                destination[x] = ditherer->Dither(c.Red, c.Green, c.Blue, r, g, b);
            }
            ditherer->NextLine();
        }
        writer.Finish();
    }
    if (mask.Any()) FMask = CheckGDIHandle(gdi::CreateBitmap(width, height, 1, 1, mask.Data()));
    FBitmap = std::move(bitmap);
}

void TGIFSubImage::DoGetBitmap() { RenderBitmap(false); }
void TGIFSubImage::DoGetDitherBitmap() { RenderBitmap(true); }

vcl::TRect TGIFSubImage::ScaleRect(const vcl::TRect& rect) const {
    const int width = FImage != nullptr ? FImage->GetWidth() : GetWidth();
    const int height = FImage != nullptr ? FImage->GetHeight() : GetHeight();
    return {rect.Left + gdi::MulDiv(GetLeft(), rect.Width(), width),
            rect.Top + gdi::MulDiv(GetTop(), rect.Height(), height),
            rect.Left + gdi::MulDiv(GetLeft() + GetWidth(), rect.Width(), width),
            rect.Top + gdi::MulDiv(GetTop() + GetHeight(), rect.Height(), height)};
}

void TGIFSubImage::Draw(vcl::TCanvas& canvas, const vcl::TRect& rect, bool transparent, bool tile) {
    StretchDraw(canvas, tile ? rect : ScaleRect(rect), transparent, tile);
}

void TGIFSubImage::StretchDraw(vcl::TCanvas& canvas, const vcl::TRect& rect, bool transparent, bool tile) {
    const int pictureWidth = FImage != nullptr ? FImage->GetWidth() : 0;
    const int pictureHeight = FImage != nullptr ? FImage->GetHeight() : 0;
    const int width = GetWidth(), height = GetHeight();
    // Tiled: copies of the frame at its own size from its own place in rect;
    // otherwise the frame stretched over rect.
    auto onto = [&](const auto& draw) {
        if (!tile) {
            draw(rect);
            return;
        }
        const int left = rect.Left + GetLeft(), top = rect.Top + GetTop();
        ForEachTile(rect, {left, top, left + width, top + height}, pictureWidth, pictureHeight, draw);
    };
    if (transparent && GetTransparent() && HasMask()) {
        vcl::TBitmap* bitmap = GetBitmap();
        if (bitmap == nullptr) return;
        const TGDIGuard maskDC = TGDIGuard::MemoryDC(0);
        const TGDIGuard maskSelection = TGDIGuard::Selection(maskDC.Handle(), FMask);
        const gdi::HDC source = bitmap->GetCanvas().GetHandle();
        const gdi::HPALETTE palette = bitmap->GetPalette();
        onto([&](const vcl::TRect& to) {
            TransparentStretchBlt(canvas.GetHandle(), to, source, {0, 0, width, height}, maskDC.Handle(), palette);
        });
        canvas.Changed();
        return;
    }
    vcl::TBitmap* bitmap = GetBitmap();
    if (bitmap == nullptr) return;
    onto([&](const vcl::TRect& to) { canvas.StretchDraw(to, *bitmap); });
}

void TGIFSubImage::AssignTo(TPersistent* dest) const {
    if (auto* bitmap = dynamic_cast<vcl::TBitmap*>(dest)) {
        bitmap->Assign(const_cast<TGIFSubImage*>(this)->GetBitmap());
        return;
    }
    TGIFItem::AssignTo(dest);
}

}  // namespace gif
