// The picture's graphics side: its palette, and its exchange with the class
// library's bitmaps.
#include "gif/GIFColor.h"

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
    Clear();
    auto frame = std::make_unique<TGIFSubImage>(this);
    try {
        frame->Assign(source);
    } catch (const rtl::EConvertError&) {
        // Not a graphic a frame can be made of: the framework says so.
        frame.reset();
        TPersistent::Assign(source);
        return;
    }
    Add(frame.release());
}

int TGIFImage::Add(const TPersistent* graphic) {
    if (auto* frame = dynamic_cast<TGIFSubImage*>(const_cast<TPersistent*>(graphic))) return Add(frame);
    if (dynamic_cast<const vcl::TBitmap*>(graphic) == nullptr) RaiseGIFError(_sUnsupportedClass);
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(graphic);
    return Add(frame.release());
}

}  // namespace gif
