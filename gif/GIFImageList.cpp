// The block stream after the header: frames up to the trailer.
#include <algorithm>

#include "gif/GIFImage.h"
#include "gif/GIFImpl.h"

namespace gif {

namespace {

// The next byte, skipping zero bytes between blocks; false at the end.
bool ReadBlockIntroducer(TStream& stream, uint8_t& b) {
    do {
        if (stream.Read(&b, 1) != 1) return false;
    } while (b == 0);
    return true;
}

}  // namespace

void TGIFImageList::LoadFromStream(TStream& stream, TObject* parent) {
    auto* image = static_cast<TGIFImage*>(parent);
    uint8_t b = 0;
    if (!ReadBlockIntroducer(stream, b)) return;
    while (b != 0x3B) {
        stream.Seek(-1, rtl::soCurrent);
        if (b != 0x21 && b != 0x2C) {
            Warning(gsWarning, _sBadBlock);
            return;
        }
        // Adopted before it loads: a frame reads the logical screen and
        // counts its pixels against the picture's while it loads.
        TGIFSubImage& frame = Adopt(std::make_unique<TGIFSubImage>());
        try {
            frame.LoadFromStream(stream);
            image->Progress(this, psRunning, Percent(stream.GetPosition(), stream.GetSize()), GIFImageRenderOnLoad,
                            TRect{0, 0, 0, 0}, _sProgressLoading);
        } catch (...) {
            Delete(IndexOf(&frame));
            throw;
        }
        if (!ReadBlockIntroducer(stream, b)) return;
    }
    stream.Seek(-1, rtl::soCurrent);
}

int TGIFImageList::FirstWithPixels() const {
    for (int i = 0; i < GetCount(); ++i)
        if (!GetImage(i)->GetEmpty()) return i;
    return -1;
}

int TGIFImageList::LastWithPixels() const {
    for (int i = GetCount() - 1; i >= 0; --i)
        if (!GetImage(i)->GetEmpty()) return i;
    return -1;
}

bool TGIFImageList::SavesControlExtension(int index, int lastWithPixels) const {
    return index > lastWithPixels || !GetImage(index)->GetEmpty();
}

TGIFVersion TGIFImageList::GetSavedVersion() const {
    const int last = LastWithPixels();
    TGIFVersion version = gvUnknown;
    for (int i = 0; i < GetCount() && version != gv89a; ++i)
        version = std::max(version, GetImage(i)->GetSavedVersion(SavesControlExtension(i, last)));
    return version;
}

void TGIFImageList::SaveToStream(TStream& stream) {
    const int last = LastWithPixels();
    for (int i = 0; i < GetCount(); ++i) {
        GetImage(i)->SaveToStream(stream, SavesControlExtension(i, last));
        FImage->Progress(this, psRunning, Percent(i + 1, GetCount()), false, TRect{0, 0, 0, 0}, _sProgressSaving);
    }
}

void TGIFTrailer::SaveToStream(TStream& stream) { WriteByteToStream(stream, 0x3B); }

void TGIFTrailer::LoadFromStream(TStream& stream) {
    uint8_t b = 0;
    if (stream.Read(&b, 1) != 1) return;
    if (b != 0x3B) Warning(gsWarning, _sBadTrailer);
}

}  // namespace gif
