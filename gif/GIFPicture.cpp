// The picture: header and frames held in memory, loaded and saved as a
// stream, copied from another picture.
#include <algorithm>

#include "gif/GIFImage.h"
#include "gif/GIFImpl.h"

namespace gif {

TGIFImage::TGIFImage()
    : FImages(std::make_unique<TGIFImageList>(this)),
      FHeader(std::make_unique<TGIFHeader>(this)),
      FDrawOptions(GIFImageDefaultDrawOptions),
      FColorReduction(GIFImageDefaultColorReduction),
      FReductionBits(GIFImageDefaultColorReductionBits),
      FDitherMode(GIFImageDefaultDitherMode),
      FCompression(GIFImageDefaultCompression),
      FThreadPriority(GIFImageDefaultThreadPriority),
      FAnimationSpeed(GIFImageDefaultAnimationSpeed) {
    NewImage();
}

TGIFImage::~TGIFImage() {
    PaintStop();
    DetachPainters();
    Clear();
}

void TGIFImage::Clear() {
    PaintStop();
    FreeBitmap();
    FImages->Clear();
    FHeader->GetColorMap().Clear();
    FHeader->SetWidth(0);
    FHeader->SetHeight(0);
    FHeader->Prepare();
    SetPalette(0);
}

void TGIFImage::NewImage() { Clear(); }

namespace {

// Every frame must fit into the new size; an unchanged size changes nothing.
template <typename Extent, typename Get, typename Set>
bool SetScreenExtent(TGIFImageList& images, int value, const TGIFResString& error, Extent extent, Get get, Set set) {
    // The header holds 16 bits.
    if (value < 0 || value > 0xFFFF) RaiseGIFError(_sBadDimension);
    for (int i = 0; i < images.GetCount(); ++i)
        if (extent(*images.GetImage(i)) > value) RaiseGIFError(error);
    if (value == get()) return false;
    set(value);
    return true;
}

}  // namespace

void TGIFImage::SetWidth(int value) {
    if (SetScreenExtent(
            *FImages, value, _sBadWidth, [](const TGIFSubImage& f) { return f.GetLeft() + f.GetWidth(); },
            [this] { return FHeader->GetWidth(); }, [this](int v) { FHeader->SetWidth(v); })) {
        FreeBitmap();
        Changed(this);
    }
}

void TGIFImage::SetHeight(int value) {
    if (SetScreenExtent(
            *FImages, value, _sBadHeight, [](const TGIFSubImage& f) { return f.GetTop() + f.GetHeight(); },
            [this] { return FHeader->GetHeight(); }, [this](int v) { FHeader->SetHeight(v); })) {
        FreeBitmap();
        Changed(this);
    }
}

void TGIFImage::FixHeaderWidthHeight() {
    int width = FHeader->GetWidth();
    int height = FHeader->GetHeight();
    for (int i = 0; i < FImages->GetCount(); ++i) {
        const TGIFSubImage* frame = FImages->GetImage(i);
        width = std::max(width, frame->GetLeft() + frame->GetWidth());
        height = std::max(height, frame->GetTop() + frame->GetHeight());
    }
    // The logical screen holds 16 bits; frames reaching beyond it are kept
    // as they are.
    FHeader->SetWidth(std::min(width, 0xFFFF));
    FHeader->SetHeight(std::min(height, 0xFFFF));
}

bool TGIFImage::GetIsTransparent() const {
    for (int i = 0; i < FImages->GetCount(); ++i)
        if (FImages->GetImage(i)->GetTransparent()) return true;
    return false;
}

// The version of what saving writes.  A picture whose frames write nothing
// (no pixels, no extensions) would be written as a file without frames,
// which loads as an empty picture that cannot be saved again, so it cannot
// be saved in the first place either.
TGIFVersion TGIFImage::GetVersion() const { return FImages->GetSavedVersion(); }

int TGIFImage::GetColorResolution() const {
    int result = FHeader->GetColorResolution();
    for (int i = 0; i < FImages->GetCount(); ++i)
        if (!FImages->GetImage(i)->GetEmpty()) result = std::max(result, FImages->GetImage(i)->GetColorResolution());
    return result;
}

int TGIFImage::GetBitsPerPixel() const {
    int result = FHeader->GetBitsPerPixel();
    for (int i = 0; i < FImages->GetCount(); ++i)
        if (!FImages->GetImage(i)->GetEmpty()) result = std::max(result, FImages->GetImage(i)->GetBitsPerPixel());
    return result;
}

void TGIFImage::ReservePixels(uint64_t count) {
    if (count > GIFImageMaxPicturePixels - std::min(FPixelCount, GIFImageMaxPicturePixels))
        RaiseGIFError(_sBadDimension);
    FPixelCount += count;
}

void TGIFImage::SetReductionBits(int value) {
    if (value < 3 || value > 8) RaiseGIFError(_sInvalidBitSize);
    FReductionBits = value;
}

void TGIFImage::Warning(TObject* sender, TGIFSeverity severity, const std::string& message) {
    if (FOnWarning) FOnWarning(sender, severity, message);
}

uint8_t Percent(int64_t done, int64_t total) {
    if (total <= 0) return 0;
    done = std::clamp<int64_t>(done, 0, total);
    return static_cast<uint8_t>((done * 100 + total / 2) / total);
}

void TGIFImage::Progress(TObject* sender, TProgressStage stage, uint8_t percentDone, bool redrawNow,
                         const TRect& rect, const std::string& message) {
    if (FOnProgress) FOnProgress(sender, stage, percentDone, redrawNow, rect, message);
}

void TGIFImage::Changed(TObject* sender) {
    if (FOnChange) FOnChange(sender);
}

void TGIFImage::SetTransparent(bool value) {
    if (value == FTransparent) return;
    FTransparent = value;
    Changed(this);
}

void TGIFImage::LoadFromStream(TStream& stream) {
    Progress(this, psStarting, 0, false, TRect{0, 0, 0, 0}, _sProgressLoading);
    bool failed = true;
    try {
        Clear();
        const int64_t position = stream.GetPosition();
        try {
            FHeader->LoadFromStream(stream);
            FImages->LoadFromStream(stream, this);
            FixHeaderWidthHeight();
            TGIFTrailer trailer(this);
            trailer.LoadFromStream(stream);
        } catch (...) {
            stream.SetPosition(position);
            throw;
        }
        failed = false;
    } catch (...) {
        Progress(this, psEnding, 0, true, TRect{0, 0, 0, 0}, _sProgressLoading);
        throw;
    }
    Progress(this, psEnding, failed ? 0 : 100, true, TRect{0, 0, 0, 0}, _sProgressLoading);
}

void TGIFImage::SaveToStream(TStream& stream) {
    Progress(this, psStarting, 0, false, TRect{0, 0, 0, 0}, _sProgressSaving);
    try {
        FHeader->SaveToStream(stream);
        FImages->SaveToStream(stream);
        TGIFTrailer trailer(this);
        trailer.SaveToStream(stream);
    } catch (...) {
        Progress(this, psEnding, 0, true, TRect{0, 0, 0, 0}, _sProgressSaving);
        throw;
    }
    Progress(this, psEnding, 100, true, TRect{0, 0, 0, 0}, _sProgressSaving);
}

void TGIFImage::LoadFromFile(const std::string& fileName) {
    rtl::TFileStream stream(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGIFImage::SaveToFile(const std::string& fileName) {
    rtl::TFileStream stream(fileName, rtl::fmCreate);
    SaveToStream(stream);
}

void TGIFImage::LoadFromResourceName(rtl::HINSTANCE instance, const std::string& name) {
    rtl::TResourceStream stream(instance, name, rtl::RT_RCDATA);
    LoadFromStream(stream);
}

void TGIFImage::DefineProperties(rtl::TFiler& filer) {
    filer.DefineBinaryProperty(
        "Data", [this](TStream& stream) { ReadData(stream); }, [this](TStream& stream) { WriteData(stream); },
        !GetEmpty());
}

void TGIFImage::WriteData(TStream& stream) {
    if (GIFImageOptimizeOnStream) Optimize(GIFAllOptimizeOptions, rmNone, dmNearest, 8);
    rtl::TMemoryStream picture;
    SaveToStream(picture);
    rtl::WriteSizedBytes(stream, picture);
}

void TGIFImage::ReadData(TStream& stream) {
    const int64_t position = stream.GetPosition();
    try {
        std::vector<uint8_t> bytes;
        try {
            bytes = rtl::ReadSizedBytes(stream);
        } catch (const rtl::EReadError&) {
            RaiseGIFError(_sOutOfData);
        }
        rtl::TMemoryStream picture(std::move(bytes));
        LoadFromStream(picture);
    } catch (...) {
        stream.SetPosition(position);
        throw;
    }
}

void TGIFImage::Assign(const TPersistent* source) {
    if (source == this) return;
    if (source == nullptr) {
        Clear();
        return;
    }
    const auto* picture = dynamic_cast<const TGIFImage*>(source);
    if (picture == nullptr) {
        AssignGraphic(source);
        return;
    }
    Clear();
    FOnProgress = picture->FOnProgress;
    FOnWarning = picture->FOnWarning;
    struct DropHandlers {
        TGIFImage* self;
        ~DropHandlers() {
            self->FOnProgress = nullptr;
            self->FOnWarning = nullptr;
        }
    } dropHandlers{this};
    Progress(this, psStarting, 0, false, TRect{0, 0, 0, 0}, _sProgressCopying);
    try {
        FHeader->Assign(picture->FHeader.get());
        FThreadPriority = picture->FThreadPriority;
        FDrawBackgroundColor = picture->FDrawBackgroundColor;
        FDrawOptions = picture->FDrawOptions;
        FColorReduction = picture->FColorReduction;
        FDitherMode = picture->FDitherMode;
        FForcedFrame = picture->FForcedFrame;
        OnPaintStart = picture->OnPaintStart;
        OnFramePaint = picture->OnFramePaint;
        OnFrameDone = picture->OnFrameDone;
        OnLoopStart = picture->OnLoopStart;
        OnPaintEnd = picture->OnPaintEnd;
        // Each copy is made as a frame of this picture, whose global table
        // it then shares with its source.
        const int count = picture->FImages->GetCount();
        for (int i = 0; i < count; ++i) {
            AddConverted(picture->FImages->GetImage(i));
            Progress(this, psRunning, Percent(i + 1, count), false, TRect{0, 0, 0, 0}, _sProgressCopying);
        }
        FixHeaderWidthHeight();
    } catch (...) {
        Progress(this, psEnding, 0, false, TRect{0, 0, 0, 0}, _sProgressCopying);
        throw;
    }
    Progress(this, psEnding, 100, false, TRect{0, 0, 0, 0}, _sProgressCopying);
}

int TGIFImage::Add(TGIFSubImage* source) {
    TGIFImage* owner = source != nullptr ? source->GetImage() : nullptr;
    if (owner == nullptr) RaiseGIFError(_sUnsupportedClass);
    TGIFImageList& from = owner->GetImages();
    const int index = from.IndexOf(source);
    // Its own table, or the global one of the picture it leaves.
    const TGIFColorMap& colors = source->GetActiveColorMap();
    std::unique_ptr<TGIFSubImage> frame = from.Release(*source);
    int added = -1;
    try {
        added = FImages->Add(std::move(frame));
    } catch (...) {
        // Refused here: it goes back where it was, which it fitted.
        if (frame) from.Insert(index, std::move(frame));
        throw;
    }
    source->KeepColors(colors);
    FreeBitmap();
    Changed(this);
    if (owner != this) {
        owner->FreeBitmap();
        owner->Changed(owner);
    }
    return added;
}

int TGIFImage::Add(std::unique_ptr<TGIFSubImage>&& frame) {
    const int index = FImages->Add(std::move(frame));
    FreeBitmap();
    Changed(this);
    return index;
}


}  // namespace gif
