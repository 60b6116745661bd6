// The class library's icon and metafile pictures, as small as the picture
// units need them: each has a size and draws itself onto a canvas.
#pragma once

#include <vector>

#include "gdi/Gdi.h"
#include "rtl/Classes.h"
#include "vcl/Bitmap.h"

namespace vcl {

// An icon: a colour bitmap and a monochrome mask whose 1 bits let what lies
// under the icon show through.
class TIcon : public rtl::TPersistent {
public:
    TIcon() = default;
    ~TIcon() override;
    TIcon(const TIcon&) = delete;
    TIcon& operator=(const TIcon&) = delete;

    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    bool GetEmpty() const { return handle_ == 0; }
    // 0 while empty.  SetHandle takes over an icon handle (0 empties); a
    // handle that is no icon raises EInvalidGraphic "Icon image is not valid".
    gdi::HICON GetHandle() const { return handle_; }
    void SetHandle(gdi::HICON icon);
    // Stretched over rect.
    void Draw(TCanvas& canvas, const TRect& rect);
    std::string ClassName() const override { return "TIcon"; }

private:
    gdi::HICON handle_ = 0;
    int width_ = 0;
    int height_ = 0;
};

// A metafile: drawing records replayed onto a canvas, scaled from the
// metafile's own size to the rectangle it is drawn into.  The records are
// rectangles filled with one colour, in the order they were added; what no
// record covers is left as the canvas had it.
class TMetafile : public rtl::TPersistent {
public:
    int GetWidth() const { return width_; }
    int GetHeight() const { return height_; }
    void SetSize(int width, int height);
    bool GetEmpty() const { return width_ <= 0 || height_ <= 0; }
    // Records a rectangle (in the metafile's own coordinates) filled with color.
    void FillRect(const TRect& rect, TColor color);
    void Clear();
    void Draw(TCanvas& canvas, const TRect& rect);
    std::string ClassName() const override { return "TMetafile"; }

private:
    struct Record {
        TRect Rect;
        TColor Color;
    };
    int width_ = 0;
    int height_ = 0;
    std::vector<Record> records_;
};

}  // namespace vcl
