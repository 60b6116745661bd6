// A frame drawn pixel by pixel from its colour map: rect is where the whole
// picture goes, the frame takes its scaled part of it (nearest pixel).
#include <algorithm>

#include "gif/GIFImage.h"
#include "vcl/Bitmap.h"

namespace gif {

void TGIFSubImage::Draw(vcl::TCanvas& canvas, const vcl::TRect& rect, bool transparent, bool tile) {
    if (GetEmpty() || FImage == nullptr) return;
    const int pictureWidth = std::max(1, FImage->GetWidth());
    const int pictureHeight = std::max(1, FImage->GetHeight());
    const TGIFColorMap& map = GetActiveColorMap();
    const int skip = transparent && FTransparent && FGCE != nullptr ? FGCE->GetTransparentColorIndex() : -1;
    const gdi::HDC dc = canvas.GetHandle();
    const int width = GetWidth(), height = GetHeight();
    auto drawInto = [&](const vcl::TRect& into) {
        const int64_t w = into.Width(), h = into.Height();
        if (w <= 0 || h <= 0) return;
        const int left = into.Left + static_cast<int>(GetLeft() * w / pictureWidth);
        const int top = into.Top + static_cast<int>(GetTop() * h / pictureHeight);
        const int right = into.Left + static_cast<int>((GetLeft() + width) * w / pictureWidth);
        const int bottom = into.Top + static_cast<int>((GetTop() + height) * h / pictureHeight);
        for (int y = top; y < bottom; ++y) {
            const int sy = static_cast<int>(int64_t(y - top) * height / std::max(1, bottom - top));
            for (int x = left; x < right; ++x) {
                const int sx = static_cast<int>(int64_t(x - left) * width / std::max(1, right - left));
                const int index = FData[static_cast<uint64_t>(sy) * static_cast<uint64_t>(width) + sx];
                if (index == skip) continue;
                const TGIFColor c = map.GetCount() > 0 ? map.GetEntry(index < map.GetCount() ? index : 0) : TGIFColor{};
                gdi::SetPixel(dc, x, y, gdi::RGB(c.Red, c.Green, c.Blue));
            }
        }
    };
    if (!tile) {
        drawInto(rect);
    } else {
        for (int y = rect.Top; y < rect.Bottom; y += pictureHeight)
            for (int x = rect.Left; x < rect.Right; x += pictureWidth)
                drawInto({x, y, x + pictureWidth, y + pictureHeight});
    }
    canvas.Changed();
}

}  // namespace gif
