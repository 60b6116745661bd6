// The signature, the logical screen descriptor and the global colour table.
#include <cctype>

#include "gif/GIFImage.h"

namespace gif {

TGIFHeader::TGIFHeader(TGIFImage* image) : TGIFItem(image), FColorMap(std::make_unique<TGIFGlobalColorMap>(this)) {
    Clear();
}

void TGIFHeader::Clear() {
    FColorMap->Clear();
    FLogicalScreenDescriptor.fill(0);
}

void TGIFHeader::Assign(const TPersistent* source) {
    if (const auto* header = dynamic_cast<const TGIFHeader*>(source)) {
        if (header == this) return;
        FLogicalScreenDescriptor = header->FLogicalScreenDescriptor;
        FColorMap->Assign(header->FColorMap.get());
    } else if (const auto* map = dynamic_cast<const TGIFColorMap*>(source)) {
        Clear();
        FColorMap->Assign(map);
    } else {
        TGIFItem::Assign(source);
    }
}

void TGIFHeader::SetWidth(int value) {
    FLogicalScreenDescriptor[0] = static_cast<uint8_t>(value);
    FLogicalScreenDescriptor[1] = static_cast<uint8_t>(value >> 8);
}

void TGIFHeader::SetHeight(int value) {
    FLogicalScreenDescriptor[2] = static_cast<uint8_t>(value);
    FLogicalScreenDescriptor[3] = static_cast<uint8_t>(value >> 8);
}

TGIFVersion TGIFHeader::GetVersion() const {
    return FColorMap->GetOptimized() || GetAspectRatio() != 0 ? gv89a : gv87a;
}

TColor TGIFHeader::GetBackgroundColor() { return FColorMap->GetColor(GetBackgroundColorIndex()); }

void TGIFHeader::SetBackgroundColor(TColor color) { SetBackgroundColorIndex(FColorMap->AddUnique(color)); }

void TGIFHeader::SetBackgroundColorIndex(int index) {
    if (FColorMap->GetCount() > 0 && (index < 0 || index >= FColorMap->GetCount())) {
        Warning(gsWarning, _sBadColorIndex);
        index = 0;
    }
    FLogicalScreenDescriptor[5] = static_cast<uint8_t>(index);
}

void TGIFHeader::Prepare() {
    uint8_t flags = 0;
    const bool hasTable = FColorMap->GetCount() > 0;
    if (hasTable) {
        flags |= 0x80;
        if (FColorMap->GetOptimized()) flags |= 0x08;
    }
    flags |= static_cast<uint8_t>((FImage->GetColorResolution() * 16) & 0x70);
    const int size = hasTable ? FColorMap->GetBitsPerPixel() - 1 : FImage->GetBitsPerPixel() - 1;
    flags |= static_cast<uint8_t>(size & 0x07);
    FLogicalScreenDescriptor[4] = flags;
}

void TGIFHeader::SaveToStream(TStream& stream) {
    const TGIFVersion version = FImage->GetVersion();
    // An item of the caller's own class may report any version; only the
    // two the format knows have a signature.
    if (version != gv87a && version != gv89a) RaiseGIFError(_sBadVersion);
    uint8_t signature[6] = {'G', 'I', 'F'};
    for (int i = 0; i < 3; ++i) signature[3 + i] = static_cast<uint8_t>(GIFVersions[version][static_cast<size_t>(i)]);
    Prepare();
    stream.WriteBuffer(signature, 6);
    stream.WriteBuffer(FLogicalScreenDescriptor.data(), 7);
    if (FLogicalScreenDescriptor[4] & 0x80) FColorMap->SaveToStream(stream);
}

namespace {

bool IsSignature(const uint8_t* bytes) {
    return std::toupper(bytes[0]) == 'G' && std::toupper(bytes[1]) == 'I' && std::toupper(bytes[2]) == 'F';
}

}  // namespace

void TGIFHeader::LoadFromStream(TStream& stream) {
    const int64_t position = stream.GetPosition();
    uint8_t signature[6];
    ReadExact(stream, signature, 6);
    if (!IsSignature(signature)) {
        // Some files carry a 4-byte prefix before the signature.
        stream.SetPosition(position + 4);
        ReadExact(stream, signature, 6);
        if (!IsSignature(signature)) RaiseGIFError(_sBadSignature);
    }
    ReadExact(stream, FLogicalScreenDescriptor.data(), 7);
    if (FLogicalScreenDescriptor[4] & 0x80)
        FColorMap->LoadFromStream(stream, 2 << (FLogicalScreenDescriptor[4] & 7));
    else
        FColorMap->Clear();
}

}  // namespace gif
