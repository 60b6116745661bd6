// What the unit's drawing code shares (the frame's drawing, the picture's
// cached bitmap, the painter's restore buffer): the walk over a tiled
// picture's copies, and the guard that gives a GDI object back when its
// scope ends, on every path.
#pragma once

#include <algorithm>
#include <utility>

#include "gif/GIFImage.h"

namespace gif {

// Calls draw(tile) for the copies of `first` that step by the picture's size
// to the right and down while a copy's left edge is left of area.Right and
// its top edge above area.Bottom; copies at the right and bottom edges reach
// past the area.  A picture without size steps by one pixel, so the walk
// ends.
template <typename Draw>
void ForEachTile(const vcl::TRect& area, const vcl::TRect& first, int pictureWidth, int pictureHeight, Draw draw) {
    const int stepX = std::max(1, pictureWidth), stepY = std::max(1, pictureHeight);
    for (int y = first.Top; y < area.Bottom; y += stepY)
        for (int x = first.Left; x < area.Right; x += stepX)
            draw(vcl::TRect{x, y, x + first.Width(), y + first.Height()});
}

// One GDI handle that belongs to a scope, given back at its end in the way
// it was obtained: a created object deleted, a memory context deleted, the
// screen's context released, a selection undone (the object it replaced
// selected back).  Release hands a created object to someone else.  A guard
// of handle 0 gives nothing back.
class TGDIGuard {
public:
    TGDIGuard() = default;
    // A bitmap or palette this scope created.
    static TGDIGuard Object(gdi::HGDIOBJ object) { return {kObject, 0, object}; }
    // A memory context this scope created.
    static TGDIGuard DC(gdi::HDC dc) { return {kDC, 0, dc}; }
    // A new memory context compatible with dc; EOutOfResources when none
    // can be made.
    static TGDIGuard MemoryDC(gdi::HDC compatible) { return DC(CheckGDIHandle(gdi::CreateCompatibleDC(compatible))); }
    // The screen's context; EOutOfResources when it cannot be had.
    static TGDIGuard ScreenDC() { return {kScreenDC, 0, CheckGDIHandle(gdi::GetDC(0))}; }
    // object selected into dc; EOutOfResources when the selection fails.
    // Handle() is the object it replaced.
    static TGDIGuard Selection(gdi::HDC dc, gdi::HGDIOBJ object) {
        return {kSelection, dc, CheckGDIHandle(gdi::SelectObject(dc, object))};
    }
    // palette selected into dc (in the foreground) and realised.
    static TGDIGuard PaletteSelection(gdi::HDC dc, gdi::HPALETTE palette) {
        TGDIGuard guard{kPaletteSelection, dc, gdi::SelectPalette(dc, palette, false)};
        gdi::RealizePalette(dc);
        return guard;
    }

    TGDIGuard(TGDIGuard&& other) noexcept : kind_(other.kind_), dc_(other.dc_), handle_(other.Release()) {}
    TGDIGuard& operator=(TGDIGuard&& other) noexcept {
        if (this != &other) {
            GiveBack();
            kind_ = other.kind_;
            dc_ = other.dc_;
            handle_ = other.Release();
        }
        return *this;
    }
    TGDIGuard(const TGDIGuard&) = delete;
    TGDIGuard& operator=(const TGDIGuard&) = delete;
    ~TGDIGuard() { GiveBack(); }

    gdi::HGDIOBJ Handle() const { return handle_; }
    // The caller owns the handle from now on; the guard gives nothing back.
    gdi::HGDIOBJ Release() { return std::exchange(handle_, 0); }

private:
    enum Kind { kObject, kDC, kScreenDC, kSelection, kPaletteSelection };
    TGDIGuard(Kind kind, gdi::HDC dc, gdi::HGDIOBJ handle) : kind_(kind), dc_(dc), handle_(handle) {}

    void GiveBack() noexcept {
        const gdi::HGDIOBJ handle = Release();
        if (handle == 0) return;
        switch (kind_) {
            case kObject: gdi::DeleteObject(handle); break;
            case kDC: gdi::DeleteDC(handle); break;
            case kScreenDC: gdi::ReleaseDC(0, handle); break;
            case kSelection: gdi::SelectObject(dc_, handle); break;
            case kPaletteSelection: gdi::SelectPalette(dc_, handle, false); break;
        }
    }

    Kind kind_ = kObject;
    gdi::HDC dc_ = 0;
    gdi::HGDIOBJ handle_ = 0;
};

}  // namespace gif
