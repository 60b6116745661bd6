// A frame made from a bitmap: colours reduced where there are too many, the
// pixels and colour table read row by row, and the bitmap's transparency
// turned into the frame's transparent index.
#include <algorithm>
#include <array>

#include <exception>
#include <functional>

#include "gif/GIFColor.h"
#include "gif/GIFColorMapOptimizer.h"
#include "vcl/Icon.h"
#include "vcl/Picture.h"

namespace gif {

namespace {

// The last 8 colours met, each with its index; searched from the newest.
class RecentColors {
public:
    int Find(uint8_t blue, uint8_t green, uint8_t red) const {
        for (int k = 0; k < 8; ++k) {
            const Entry& e = entries_[static_cast<size_t>((last_ + 8 - k) % 8)];
            if (e.index >= 0 && e.blue == blue && e.green == green && e.red == red) return e.index;
        }
        return -1;
    }
    void Add(uint8_t blue, uint8_t green, uint8_t red, int index) {
        last_ = next_;
        entries_[static_cast<size_t>(next_)] = {blue, green, red, index};
        next_ = (next_ + 1) % 8;
    }

private:
    struct Entry {
        uint8_t blue = 0, green = 0, red = 0;
        int index = -1;
    };
    std::array<Entry, 8> entries_{};
    int next_ = 0;
    int last_ = 0;
};

using DrawOnCanvas = std::function<void(vcl::TCanvas&, const vcl::TRect&)>;

// A 24-bit bitmap of the size, filled with background, with draw done on it.
std::unique_ptr<vcl::TBitmap> DrawnBitmap(int width, int height, vcl::TColor background, const DrawOnCanvas& draw) {
    auto bitmap = std::make_unique<vcl::TBitmap>();
    bitmap->SetPixelFormat(vcl::pf24bit);
    bitmap->SetSize(width, height);
    vcl::TCanvas& canvas = bitmap->GetCanvas();
    canvas.Brush.Color = background;
    canvas.FillRect({0, 0, width, height});
    draw(canvas, {0, 0, width, height});
    return bitmap;
}

// Drawn over white and over black and the two XORed: what the drawing covers
// comes out black, what it leaves uncovered white.
std::unique_ptr<vcl::TBitmap> UncoveredMask(int width, int height, const DrawOnCanvas& draw) {
    std::unique_ptr<vcl::TBitmap> white = DrawnBitmap(width, height, vcl::clWhite, draw);
    std::unique_ptr<vcl::TBitmap> black = DrawnBitmap(width, height, vcl::clBlack, draw);
    CheckGDIHandle(gdi::BitBlt(white->GetCanvas().GetHandle(), 0, 0, width, height, black->GetCanvas().GetHandle(), 0,
                               0, gdi::SRCINVERT));
    return white;
}

}  // namespace

bool IsGraphic(const TPersistent* source) {
    return dynamic_cast<const vcl::TBitmap*>(source) != nullptr || dynamic_cast<const vcl::TIcon*>(source) != nullptr ||
           dynamic_cast<const vcl::TMetafile*>(source) != nullptr || dynamic_cast<const TGIFImage*>(source) != nullptr ||
           dynamic_cast<const vcl::TGraphic*>(source) != nullptr;
}

void TGIFSubImage::AssignGraphic(const TPersistent& source) {
    if (const auto* bitmap = dynamic_cast<const vcl::TBitmap*>(&source)) {
        AssignBitmap(*bitmap);
        return;
    }
    if (const auto* picture = dynamic_cast<const vcl::TPicture*>(&source)) {
        Assign(picture->Graphic());
        return;
    }
    if (!IsGraphic(&source)) {
        TGIFItem::Assign(&source);
        return;
    }
    Clear();
    auto* icon = dynamic_cast<vcl::TIcon*>(const_cast<TPersistent*>(&source));
    auto* metafile = dynamic_cast<vcl::TMetafile*>(const_cast<TPersistent*>(&source));
    const auto* framework = dynamic_cast<const vcl::TGraphic*>(&source);
    const auto* picture = dynamic_cast<const TGIFImage*>(&source);
    const bool empty = icon != nullptr ? icon->GetEmpty()
                       : metafile != nullptr ? metafile->GetEmpty()
                       : framework != nullptr ? framework->Empty()
                                              : picture->GetEmpty();
    if (empty) return;
    std::unique_ptr<vcl::TBitmap> rendered;
    if (icon == nullptr && metafile == nullptr) {
        // These draw through their conversion to a bitmap only.
        rendered = std::make_unique<vcl::TBitmap>();
        rendered->Assign(&source);
        AssignBitmap(*rendered);
        return;
    }
    const int width = icon != nullptr ? icon->GetWidth() : metafile->GetWidth();
    const int height = icon != nullptr ? icon->GetHeight() : metafile->GetHeight();
    const DrawOnCanvas draw = [&](vcl::TCanvas& canvas, const vcl::TRect& rect) {
        if (icon != nullptr) icon->Draw(canvas, rect);
        else metafile->Draw(canvas, rect);
    };
    try {
        rendered = DrawnBitmap(width, height, vcl::clBlack, draw);
    } catch (const rtl::Exception&) {
        // Drawing failed: the bitmap's own conversion is the other way; when
        // that fails too, the drawing's error is the one that tells why.
        const std::exception_ptr failure = std::current_exception();
        try {
            rendered = std::make_unique<vcl::TBitmap>();
            rendered->Assign(&source);
        } catch (const rtl::Exception&) {
            std::rethrow_exception(failure);
        }
    }
    AssignBitmap(*rendered);
    if (icon != nullptr) {
        gdi::ICONINFO info;
        if (!gdi::GetIconInfo(icon->GetHandle(), &info)) throw rtl::EOutOfResources();
        gdi::DeleteObject(info.hbmColor);
        vcl::TBitmap mask;
        mask.SetHandle(info.hbmMask);
        ApplyMask(mask.GetHandle());
    } else {
        std::unique_ptr<vcl::TBitmap> mask = UncoveredMask(width, height, draw);
        ApplyMask(mask->GetHandle());
    }
}

void TGIFSubImage::AssignBitmap(const vcl::TBitmap& source) {
    // The frame's own bitmap would go with Clear: it is kept for the copy.
    const std::unique_ptr<vcl::TBitmap> kept = &source == FBitmap.get() ? std::move(FBitmap) : nullptr;
    Clear();
    auto& bitmap = const_cast<vcl::TBitmap&>(source);
    if (bitmap.GetEmpty()) return;
    DoSetBounds(GetLeft(), GetTop(), bitmap.GetWidth(), bitmap.GetHeight());
    const int bits = vcl::PixelFormatBits(BitmapPixelFormat(bitmap));
    if (bits == 1 || bits == 4 || bits == 8) {
        FBitmap = std::make_unique<vcl::TBitmap>();
        FBitmap->Assign(&bitmap);
    } else {
        const TColorReduction reduction = FImage != nullptr ? FImage->GetColorReduction() : GIFImageDefaultColorReduction;
        const TDitherMode dither = FImage != nullptr ? FImage->GetDitherMode() : GIFImageDefaultDitherMode;
        const int reductionBits = FImage != nullptr ? FImage->GetReductionBits() : GIFImageDefaultColorReductionBits;
        FBitmap = ReduceColors(bitmap, reduction, dither, reductionBits, 0);
    }
    NewImage();
    auto report = [this](TProgressStage stage, int percent) {
        if (FImage != nullptr)
            FImage->Progress(this, stage, static_cast<uint8_t>(percent), stage == psEnding && FImage->GetPaletteModified(),
                             TRect{0, 0, 0, 0}, _sProgressConverting);
    };
    report(psStarting, 0);
    try {
        ReadBitmap(*FBitmap);
        if (bitmap.GetTransparent()) ApplyMask(bitmap.GetMaskHandle());
    } catch (...) {
        report(psEnding, 0);
        throw;
    }
    report(psEnding, 100);
}

void TGIFSubImage::ReadBitmap(vcl::TBitmap& bitmap) {
    int bits = vcl::PixelFormatBits(BitmapPixelFormat(bitmap));
    if (bits != 1 && bits != 4 && bits != 8) bits = 24;
    const vcl::TPixelFormat format = bits == 1 ? vcl::pf1bit : bits == 4 ? vcl::pf4bit : bits == 8 ? vcl::pf8bit : vcl::pf24bit;
    // The reader works on its own copy: the caller's bitmap stays as it is.
    TDIBReader reader(bitmap, format);
    if (bits == 8 && bitmap.GetHandleType() == vcl::bmDIB)
        FColorMap->ImportDIBColors(bitmap.GetCanvas().GetHandle());
    else if (bits <= 8)
        FColorMap->ImportPalette(bitmap.GetPalette());
    // A monochrome device bitmap has no table of its own: black and white.
    if (bits == 1 && FColorMap->GetCount() == 0) {
        FColorMap->Add(0x000000);
        FColorMap->Add(0xFFFFFF);
    }
    const int width = GetWidth(), height = GetHeight();
    RecentColors recent;
    for (int row = 0; row < height; ++row) {
        if (row % 32 == 0 && FImage != nullptr)
            FImage->Progress(this, psRunning, static_cast<uint8_t>(gdi::MulDiv(row, 100, height)), false, TRect{0, 0, 0, 0},
                             _sProgressConverting);
        const uint8_t* source = reader.GetScanLine(row);
        uint8_t* destination = GetScanline(row);
        switch (bits) {
        case 1:
            for (int x = 0; x < width; ++x) destination[x] = (source[x / 8] >> (7 - x % 8)) & 1;
            break;
        case 4:
            for (int x = 0; x < width; ++x) destination[x] = x % 2 == 0 ? source[x / 2] >> 4 : source[x / 2] & 0x0F;
            break;
        case 8:
            std::copy_n(source, width, destination);
            break;
        default:
            for (int x = 0; x < width; ++x) {
                const uint8_t blue = source[3 * x], green = source[3 * x + 1], red = source[3 * x + 2];
                int index = recent.Find(blue, green, red);
                if (index < 0) {
                    index = FColorMap->AddUnique(TGIFColorMap::RGB2Color({red, green, blue}));
                    recent.Add(blue, green, red, index);
                }
                destination[x] = static_cast<uint8_t>(index);
            }
        }
    }
}

void TGIFSubImage::ApplyMask(HBITMAP mask) {
    if (mask == 0) return;
    FColorMap->Optimize();
    if (FColorMap->GetCount() == 256) {
        // No free index: the least used colour (the last, once optimised)
        // gives way to its nearest, so 255 colours and the transparent one
        // fit.
        const int nearest = NearestColor(FColorMap->GetData(), 255, FColorMap->GetEntry(255));
        for (uint64_t i = 0; i < FDataSize; ++i)
            if (FData[i] == 255) FData[i] = static_cast<uint8_t>(nearest);
        FColorMap->Delete(255);
    }
    if (FColorMap->GetCount() == 0) return;
    const int index = FColorMap->Add(0x000000);
    vcl::TBitmap maskBitmap;
    maskBitmap.SetHandle(CheckGDIHandle(gdi::CopyImage(mask, gdi::IMAGE_BITMAP, 0, 0, 0)));
    TDIBReader reader(maskBitmap, vcl::pf8bit);
    const int width = std::min(GetWidth(), maskBitmap.GetWidth());
    const int height = std::min(GetHeight(), maskBitmap.GetHeight());
    bool any = false;
    for (int row = 0; row < height; ++row) {
        const uint8_t* source = reader.GetScanLine(row);
        uint8_t* destination = GetScanline(row);
        for (int x = 0; x < width; ++x)
            if (source[x] != 0) {
                destination[x] = static_cast<uint8_t>(index);
                any = true;
            }
    }
    if (!any) {
        FColorMap->Delete(index);
        return;
    }
    auto& gce = FExtensions->Adopt(std::make_unique<TGIFGraphicControlExtension>());
    gce.SetTransparentColorIndex(index);
    gce.SetTransparent(true);
}

}  // namespace gif
