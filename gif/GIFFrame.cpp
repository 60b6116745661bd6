// One frame: image descriptor, local colour table, extensions and pixels.
#include <algorithm>
#include <cstring>

#include "gif/GIFImage.h"

namespace gif {

TGIFSubImage::TGIFSubImage()
    : FColorMap(std::make_unique<TGIFLocalColorMap>(this)), FExtensions(std::make_unique<TGIFExtensionList>(this)) {}

// The pixels, bitmap, colour map and extensions go with their owners; the
// picture is not told: a frame is destroyed only after its list released it.
TGIFSubImage::~TGIFSubImage() {
    FreeMask();
    if (FLocalPalette != 0) gdi::DeleteObject(FLocalPalette);
}

void TGIFImageList::Attach(TGIFItem& item) {
    auto& frame = static_cast<TGIFSubImage&>(item);
    if (FImage == nullptr) return;
    FImage->ReservePixels(frame.FDataSize);
    frame.FImage = FImage;
    frame.HoldInPicture(false);
}

void TGIFImageList::Detach(TGIFItem& item) noexcept {
    auto& frame = static_cast<TGIFSubImage&>(item);
    if (frame.FImage != nullptr) frame.FImage->ReleasePixels(frame.FDataSize);
    frame.FImage = nullptr;
}

namespace {

template <class T>
T* FirstExtension(const TGIFExtensionList& extensions) {
    for (int i = 0; i < extensions.GetCount(); ++i)
        if (auto* extension = dynamic_cast<T*>(extensions.GetExtension(i))) return extension;
    return nullptr;
}

}  // namespace

TGIFGraphicControlExtension* TGIFSubImage::GetGraphicControlExtension() const {
    return FirstExtension<TGIFGraphicControlExtension>(*FExtensions);
}

TGIFAppExtNSLoop* TGIFSubImage::GetLoopExtension() const { return FirstExtension<TGIFAppExtNSLoop>(*FExtensions); }

bool TGIFSubImage::GetTransparent() const {
    const TGIFGraphicControlExtension* gce = GetGraphicControlExtension();
    return gce != nullptr && gce->GetTransparent();
}

int TGIFSubImage::GetTransparentIndex() const {
    const TGIFGraphicControlExtension* gce = GetGraphicControlExtension();
    return gce != nullptr && gce->GetTransparent() ? gce->GetTransparentColorIndex() : -1;
}

bool TGIFSubImage::IsDrawn() const {
    const TGIFGraphicControlExtension* gce = GetGraphicControlExtension();
    return gce == nullptr || IsDrawnDisposal(gce->GetDisposal());
}

void TGIFSubImage::Clear() {
    FExtensions->Clear();
    FColorMap->Clear();
    FreeImage();
    DoSetBounds(GetLeft(), GetTop(), 0, 0);
    FreeBitmap();
    FreeMask();
    // The palette goes too: a colour table filled afterwards must not find
    // an old palette whose change would drop a bitmap being read.
    if (FLocalPalette != 0) gdi::DeleteObject(FLocalPalette);
    FLocalPalette = 0;
}

bool TGIFSubImage::GetEmpty() const { return !FData || FDataSize == 0 || GetHeight() == 0 || GetWidth() == 0; }

void TGIFSubImage::NewImage() {
    FreeImage();
    const uint64_t size = static_cast<uint64_t>(GetHeight()) * static_cast<uint64_t>(GetWidth());
    // Checked before anything is allocated: the descriptor's size comes from
    // the file.
    if (size > GIFImageMaxFramePixels) RaiseGIFError(_sBadDimension);
    if (size == 0) return;
    if (FImage != nullptr) FImage->ReservePixels(size);
    try {
        FData.reset(new uint8_t[size]());
    } catch (...) {
        if (FImage != nullptr) FImage->ReleasePixels(size);
        throw;
    }
    FDataSize = size;
}

void TGIFSubImage::FreeImage() {
    if (FImage != nullptr && FDataSize > 0) FImage->ReleasePixels(FDataSize);
    FData.reset();
    FDataSize = 0;
}

void TGIFSubImage::NeedImage() {
    if (!FData) NewImage();
    if (FDataSize == 0) RaiseGIFError(_sEmptyImage);
}

void TGIFSubImage::Assign(const TPersistent* source) {
    if (source == this) return;
    if (source == nullptr) {
        Clear();
        return;
    }
    const auto* frame = dynamic_cast<const TGIFSubImage*>(source);
    if (frame == nullptr) {
        AssignGraphic(*source);
        return;
    }
    Clear();
    // A frame without pixels is copied too: the extensions it keeps (a
    // comment or a loop extension after the last image) are saved and
    // obeyed like any other frame's.
    FImageDescriptor = frame->FImageDescriptor;
    if (!frame->GetEmpty()) {
        NewImage();
        std::memcpy(FData.get(), frame->FData.get(), FDataSize);
    }
    HoldInPicture(true);
    FColorMap->Assign(frame->FColorMap.get());
    KeepColors(frame->GetActiveColorMap());
    rtl::TMemoryStream extensions;
    frame->FExtensions->SaveToStream(extensions);
    extensions.SetPosition(0);
    FExtensions->LoadFromStream(extensions, this);
    if (frame->FBitmap != nullptr) {
        NewBitmap();
        FBitmap->Assign(frame->FBitmap.get());
    }
}

int TGIFSubImage::GetBounds(int index) const {
    if (index < 1 || index > 4) return 0;
    return FImageDescriptor[static_cast<size_t>(2 * index - 1)] | FImageDescriptor[static_cast<size_t>(2 * index)] << 8;
}

void TGIFSubImage::SetBounds(int index, int value) {
    int bounds[4] = {GetLeft(), GetTop(), GetWidth(), GetHeight()};
    if (index < 1 || index > 4) return;
    bounds[index - 1] = value;
    DoSetBounds(bounds[0], bounds[1], bounds[2], bounds[3]);
}

void TGIFSubImage::DoSetBounds(int left, int top, int width, int height) {
    // Each field holds 16 bits, and the frame must end within the largest
    // screen a header can describe: a value cut to 16 bits would move or
    // shrink the frame, and the screen grown to hold it would wrap.
    auto fits = [](int64_t start, int64_t extent) { return start >= 0 && extent >= 0 && start + extent <= 0xFFFF; };
    if (!fits(left, width) || !fits(top, height)) RaiseGIFError(_sBadDimension);
    const bool sizeChanged = width != GetWidth() || height != GetHeight();
    StoreBounds(left, top, width, height);
    if (sizeChanged) {
        FreeBitmap();
        FreeMask();
        NewImage();
    }
    HoldInPicture(true);
}

void TGIFSubImage::HoldInPicture(bool warn) {
    if (FImage == nullptr) return;
    // A frame read from a file may reach beyond what the header holds.
    const int right = std::min(GetLeft() + GetWidth(), 0xFFFF);
    const int bottom = std::min(GetTop() + GetHeight(), 0xFFFF);
    TGIFHeader& header = FImage->GetHeader();
    bool warned = false;
    if (header.GetWidth() < right) {
        if (warn && header.GetWidth() > 0) {
            Warning(gsWarning, _sBadWidth);
            warned = true;
        }
        header.SetWidth(right);
    }
    if (header.GetHeight() < bottom) {
        if (warn && header.GetHeight() > 0) {
            Warning(gsWarning, _sBadHeight);
            warned = true;
        }
        header.SetHeight(bottom);
    }
    if (warned) Warning(gsWarning, _sScreenSizeExceeded);
}

void TGIFSubImage::KeepColors(const TGIFColorMap& colors) {
    if (FColorMap->GetCount() > 0 || colors.GetCount() == 0 || &colors == FColorMap.get()) return;
    if (FImage != nullptr) {
        const TGIFColorMap& global = FImage->GetGlobalColorMap();
        if (global.GetCount() == colors.GetCount() &&
            std::equal(colors.GetData(), colors.GetData() + colors.GetCount(), global.GetData()))
            return;
    }
    FColorMap->Assign(&colors);
}

void TGIFSubImage::StoreBounds(int left, int top, int width, int height) {
    const int values[4] = {left, top, width, height};
    for (int i = 0; i < 4; ++i) {
        FImageDescriptor[static_cast<size_t>(2 * i + 1)] = static_cast<uint8_t>(values[i]);
        FImageDescriptor[static_cast<size_t>(2 * i + 2)] = static_cast<uint8_t>(values[i] >> 8);
    }
}

TGIFSubImage::TRect TGIFSubImage::GetBoundsRect() const {
    return {GetLeft(), GetTop(), GetLeft() + GetWidth(), GetTop() + GetHeight()};
}

void TGIFSubImage::SetBoundsRect(const TRect& rect) {
    DoSetBounds(rect.Left, rect.Top, rect.Right - rect.Left + 1, rect.Bottom - rect.Top + 1);
}

TGIFSubImage::TRect TGIFSubImage::GetClientRect() const { return {0, 0, GetWidth(), GetHeight()}; }

void TGIFSubImage::SetInterlaced(bool value) {
    FImageDescriptor[9] = static_cast<uint8_t>(value ? FImageDescriptor[9] | 0x40 : FImageDescriptor[9] & ~0x40);
}

TGIFColorMap& TGIFSubImage::GetActiveColorMap() const {
    if (FColorMap->GetCount() > 0) return *FColorMap;
    if (FImage != nullptr && FImage->GetGlobalColorMap().GetCount() > 0) return FImage->GetGlobalColorMap();
    return *FColorMap;
}

namespace {

// Any control extension, the frame's or one after it that the frame ignores:
// written before an image, it would become that image's.
bool IsControlExtension(const TGIFExtension& extension) {
    return dynamic_cast<const TGIFGraphicControlExtension*>(&extension) != nullptr;
}

}  // namespace

TGIFVersion TGIFSubImage::GetSavedVersion(bool withControl) const {
    if (!GetEmpty()) return GetVersion();
    TGIFVersion version = gvUnknown;
    for (int i = 0; i < FExtensions->GetCount(); ++i) {
        const TGIFExtension* extension = FExtensions->GetExtension(i);
        if (withControl || !IsControlExtension(*extension)) version = std::max(version, extension->GetVersion());
    }
    return version;
}

TGIFVersion TGIFSubImage::GetVersion() const {
    TGIFVersion version = FColorMap->GetOptimized() ? gv89a : TGIFItem::GetVersion();
    for (int i = 0; i < FExtensions->GetCount() && version != gv89a; ++i) {
        const TGIFVersion extension = FExtensions->GetExtension(i)->GetVersion();
        if (extension > version) version = extension;
    }
    return version;
}

uint8_t* TGIFSubImage::GetScanline(int row) {
    if (row < 0 || row >= GetHeight()) RaiseGIFError(_sBadPixelCoordinates);
    NeedImage();
    return FData.get() + static_cast<uint64_t>(row) * static_cast<uint64_t>(GetWidth());
}

int TGIFSubImage::GetPixel(int x, int y) {
    if (x < 0 || x >= GetWidth()) RaiseGIFError(_sBadPixelCoordinates);
    return GetScanline(y)[x];
}

void TGIFSubImage::SetPixel(int x, int y, int index) {
    if (x < 0 || x >= GetWidth() || y < 0 || y >= GetHeight()) RaiseGIFError(_sBadPixelCoordinates);
    if (index < 0 || index >= GetActiveColorMap().GetCount()) RaiseGIFError(_sBadColorIndex);
    GetScanline(y)[x] = static_cast<uint8_t>(index);
}

void TGIFSubImage::Prepare() {
    uint8_t& flags = FImageDescriptor[9];
    if (FColorMap->GetCount() == 0) {
        flags &= 0x58;
        return;
    }
    uint8_t prepared = 0x80;
    if (FColorMap->GetOptimized()) prepared |= 0x20;
    prepared |= flags & 0x40;
    prepared |= static_cast<uint8_t>(GetColorResolution() & 7);
    flags = prepared;
}

void TGIFSubImage::SaveToStream(TStream& stream, bool withControl) {
    for (int i = 0; i < FExtensions->GetCount(); ++i) {
        TGIFExtension* extension = FExtensions->GetExtension(i);
        if (withControl || !IsControlExtension(*extension)) extension->SaveToStream(stream);
    }
    if (GetEmpty()) return;
    Prepare();
    stream.WriteBuffer(FImageDescriptor.data(), 10);
    FColorMap->SaveToStream(stream);
    Compress(stream);
}

void TGIFSubImage::LoadFromStream(TStream& stream) {
    Clear();
    FExtensions->LoadFromStream(stream, this);
    uint8_t separator = 0;
    if (stream.Read(&separator, 1) != 1) return;
    stream.Seek(-1, rtl::soCurrent);
    // Only an image separator starts a descriptor; anything else ends the
    // frame here and is left for the block reader to judge.
    if (separator != 0x2C) return;
    ReadExact(stream, FImageDescriptor.data(), 10);
    if (GetHeight() == 0 || GetWidth() == 0) {
        // A frame on its own has no logical screen: its size stays 0.
        StoreBounds(GetLeft(), GetTop(), FImage != nullptr ? FImage->GetWidth() : 0,
                    FImage != nullptr ? FImage->GetHeight() : 0);
        Warning(gsWarning, _sScreenSizeExceeded);
    }
    if (FImageDescriptor[9] & 0x80) FColorMap->LoadFromStream(stream, 2 << (FImageDescriptor[9] & 7));
    Decompress(stream);
}

}  // namespace gif
