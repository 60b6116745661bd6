// The class library's icon and metafile pictures.
#include "vcl/Icon.h"

#include <algorithm>

#include "rtl/SysUtils.h"

namespace vcl {

TIcon::~TIcon() {
    if (handle_ != 0) gdi::DestroyIcon(handle_);
}

void TIcon::SetHandle(gdi::HICON icon) {
    if (icon == handle_) return;
    int width = 0, height = 0;
    if (icon != 0) {
        gdi::ICONINFO info;
        if (!gdi::GetIconInfo(icon, &info)) throw rtl::EInvalidGraphic("Icon image is not valid");
        gdi::BITMAP description{};
        gdi::GetObject(info.hbmColor, &description);
        width = description.bmWidth;
        height = description.bmHeight;
        gdi::DeleteObject(info.hbmMask);
        gdi::DeleteObject(info.hbmColor);
    }
    if (handle_ != 0) gdi::DestroyIcon(handle_);
    handle_ = icon;
    width_ = width;
    height_ = height;
}

void TIcon::Draw(TCanvas& canvas, const TRect& rect) {
    if (handle_ == 0 || rect.Width() <= 0 || rect.Height() <= 0) return;
    gdi::DrawIconEx(canvas.GetHandle(), rect.Left, rect.Top, handle_, rect.Width(), rect.Height(), 0, 0,
                    gdi::DI_NORMAL);
    canvas.Changed();
}

void TMetafile::SetSize(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

void TMetafile::FillRect(const TRect& rect, TColor color) { records_.push_back({rect, color}); }

void TMetafile::Clear() {
    records_.clear();
    width_ = height_ = 0;
}

void TMetafile::Draw(TCanvas& canvas, const TRect& rect) {
    if (GetEmpty() || rect.Width() <= 0 || rect.Height() <= 0) return;
    const gdi::HDC dc = canvas.GetHandle();
    auto x = [&](int v) { return rect.Left + gdi::MulDiv(v, rect.Width(), width_); };
    auto y = [&](int v) { return rect.Top + gdi::MulDiv(v, rect.Height(), height_); };
    for (const Record& r : records_)
        gdi::FillSolidRect(dc, {x(r.Rect.Left), y(r.Rect.Top), x(r.Rect.Right), y(r.Rect.Bottom)},
                           ColorToRGB(r.Color));
    canvas.Changed();
}

}  // namespace vcl
