// The picture's graphics side: its palette, and its exchange with the class
// library's graphics and the clipboard.
#include <cstring>
#include <utility>

#include "gif/GIFColor.h"
#include "gif/GIFDrawing.h"

namespace gif {

bool TGIFImage::GetDoDither() const {
    return (FDrawOptions & DrawOption(goDither)) != 0 && ((FDrawOptions & DrawOption(goAutoDither)) == 0 || DoAutoDither);
}

HPALETTE TGIFImage::GetPalette() {
    // A frame without colours asks its picture, which may ask frame 0.
    if (FPaletteGuard) RaiseGIFError(_sNoColorTable);
    FPaletteGuard = true;
    struct Release {
        bool& guard;
        ~Release() { guard = false; }
    } release{FPaletteGuard};
    if (FCachedBitmap != nullptr && FCachedBitmap->GetPalette() != 0) return FCachedBitmap->GetPalette();
    if (FPaletteHandle != 0) return FPaletteHandle;
    if (GetDoDither()) {
        FPaletteHandle = CheckGDIHandle(WebPalette());
        return FPaletteHandle;
    }
    if (GetGlobalColorMap().GetCount() > 0) {
        FPaletteHandle = CheckGDIHandle(GetGlobalColorMap().ExportPalette());
        return FPaletteHandle;
    }
    if (FImages->GetCount() > 0) return FImages->GetImage(0)->GetPalette();
    return 0;
}

void TGIFImage::SetPalette(HPALETTE value) {
    if (value == FPaletteHandle) return;
    if (FPaletteHandle != 0) gdi::DeleteObject(FPaletteHandle);
    if (FCachedBitmap != nullptr && FCachedBitmap->GetPalette() != value) {
        FreeBitmap();
        FPaletteModified = true;
        Changed(this);
    }
    FPaletteHandle = value;
}

void TGIFImage::AssignGraphic(const TPersistent* source) {
    // A source that Clear would free (one of this picture's frames, a
    // frame's bitmap, the rendered picture) is kept until it is copied.
    std::unique_ptr<TGIFSubImage> keptFrame;
    for (int i = 0; i < FImages->GetCount() && !keptFrame; ++i) {
        TGIFSubImage& frame = *FImages->GetImage(i);
        if (source == &frame || (frame.GetHasBitmap() && source == frame.GetBitmap()))
            keptFrame = FImages->Release(frame);
    }
    // A frame copied from keeps its colours when the global table is
    // cleared.  (A frame kept for its bitmap is left alone: a new table
    // could drop that bitmap.)
    if (keptFrame && source == keptFrame.get()) keptFrame->KeepColors(GetGlobalColorMap());
    std::unique_ptr<vcl::TBitmap> keptBitmap;
    if (FCachedBitmap != nullptr && source == FCachedBitmap) keptBitmap.reset(std::exchange(FCachedBitmap, nullptr));
    Clear();
    try {
        AddConverted(source);
    } catch (const rtl::EConvertError&) {
        // Not a graphic a frame can be made of: the framework says so.
        TPersistent::Assign(source);
    }
}

int TGIFImage::AddConverted(const TPersistent* graphic) {
    // The frame converts as a frame of this picture: with its colour
    // reduction, reporting progress to it.
    TGIFSubImage& frame = FImages->Adopt(std::make_unique<TGIFSubImage>());
    try {
        frame.Assign(graphic);
    } catch (...) {
        FImages->Delete(FImages->IndexOf(&frame));
        throw;
    }
    FreeBitmap();
    Changed(this);
    return FImages->IndexOf(&frame);
}

int TGIFImage::Add(const TPersistent* graphic) {
    if (auto* frame = dynamic_cast<TGIFSubImage*>(const_cast<TPersistent*>(graphic))) return Add(frame);
    if (!IsGraphic(graphic)) RaiseGIFError(_sUnsupportedClass);
    return AddConverted(graphic);
}

void TGIFImage::AssignTo(TPersistent* dest) const {
    if (auto* bitmap = dynamic_cast<vcl::TBitmap*>(dest)) {
        bitmap->Assign(const_cast<TGIFImage*>(this)->GetBitmap());
        return;
    }
    TPersistent::AssignTo(dest);
}

void TGIFImage::LoadFromClipboardFormat(uint16_t format, gdi::HANDLE data, HPALETTE palette) {
    if (data == 0) data = gdi::GetClipboardData(format);
    if (data != 0 && CF_GIF != 0 && format == CF_GIF) {
        // A handle that is no memory block reads as no bytes at all.
        const size_t size = gdi::GlobalSize(data);
        const void* bytes = gdi::GlobalLock(data);
        struct Unlock {
            gdi::HGLOBAL block;
            bool locked;
            ~Unlock() {
                if (locked) gdi::GlobalUnlock(block);
            }
        } unlock{data, bytes != nullptr};
        rtl::TMemoryStream stream;
        if (bytes != nullptr) stream.WriteBuffer(bytes, static_cast<int64_t>(size));
        stream.SetPosition(0);
        LoadFromStream(stream);
        return;
    }
    if (data != 0 && format == gdi::CF_BITMAP) {
        vcl::TBitmap bitmap;
        bitmap.LoadFromClipboardFormat(format, data, palette);
        AssignGraphic(&bitmap);
        return;
    }
    throw rtl::EInvalidGraphic("Unsupported clipboard format");
}

void TGIFImage::SaveToClipboardFormat(uint16_t& format, gdi::HANDLE& data, HPALETTE& palette) {
    if (GetEmpty()) return;
    vcl::TBitmap* bitmap = GetBitmap();
    if (bitmap == nullptr) return;
    uint16_t bitmapFormat = 0;
    gdi::HANDLE bitmapData = 0;
    HPALETTE bitmapPalette = 0;
    bitmap->SaveToClipboardFormat(bitmapFormat, bitmapData, bitmapPalette);
    // Until the caller has them, the bitmap form's copies are this call's.
    TGDIGuard heldData = TGDIGuard::Object(bitmapData);
    TGDIGuard heldPalette = TGDIGuard::Object(bitmapPalette);
    rtl::TMemoryStream stream;
    SaveToStream(stream);
    if (const gdi::HGLOBAL block = gdi::GlobalAlloc(gdi::GMEM_MOVEABLE, static_cast<size_t>(stream.GetSize()))) {
        void* bytes = gdi::GlobalLock(block);
        std::memcpy(bytes, stream.Memory(), static_cast<size_t>(stream.GetSize()));
        gdi::GlobalUnlock(block);
        if (gdi::SetClipboardData(CF_GIF, block) == 0) {
            gdi::GlobalFree(block);
            RaiseGIFError(_sFailedPaste);
        }
    }
    heldData.Release();
    heldPalette.Release();
    if (bitmapFormat == 0) return;
    format = bitmapFormat;
    data = bitmapData;
    palette = bitmapPalette;
}

}  // namespace gif
