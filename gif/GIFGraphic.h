// The GIF unit's place in the picture framework: start-up registers the
// "GIF" file format and the "GIF Image" clipboard format with the picture
// registry, exit removes them again.
#pragma once

#include "gif/GIFImage.h"
#include "vcl/Picture.h"

namespace gif {

// What the picture registry creates for a ".gif" file: a TGIFImage seen as
// one of the framework's graphics.
class TGIFGraphic : public vcl::TGraphic {
public:
    static constexpr const char* kClassName = "TGIFImage";

    vcl::TGraphicClass ClassType() const override { return vcl::ClassOf<TGIFGraphic>(); }
    bool Empty() const override { return FImage.GetEmpty(); }
    int Width() const override { return FImage.GetWidth(); }
    int Height() const override { return FImage.GetHeight(); }
    // Paints the first frame, through its colour table, stretched over rect.
    void Draw(QPainter& canvas, const QRect& rect) const override;
    // GIF errors reach the caller as the framework's EInvalidGraphic.
    void LoadFromStream(std::istream& stream) override;
    void SaveToStream(std::ostream& stream) const override;

    TGIFImage& Image() { return FImage; }

protected:
    // The destination assigns the GIF picture itself (a bitmap takes its
    // rendered picture).
    void AssignTo(rtl::TPersistent* dest) const override { dest->Assign(&FImage); }

private:
    mutable TGIFImage FImage;
};

// Unit start-up: registers the picture class and the clipboard format
// (CF_GIF) and sets PaletteDevice and DoAutoDither.
void GIFUnitInitialize();
// Unit exit: frees the extension registries and unregisters the class.
void GIFUnitFinalize();

}  // namespace gif
