// One frame of a picture (TGIFSubImage): image descriptor, local colour
// table, extensions and pixels (one colour index per pixel, rows top to
// bottom), the compression of its image data, the optimiser's edits of a
// frame, and its rendering to a bitmap and a mask.
//
// The frame owns its table, its extension list and its pixels; its bitmap,
// mask and palette are caches of them.  Its bounds stay within 0..65535 and
// its pixel store within GIFImageMaxFramePixels (and, in a picture, the
// picture's within GIFImageMaxPicturePixels): beyond them "Invalid image
// dimensions" is raised.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "gif/GIFColorMap.h"
#include "gif/GIFExtensions.h"
#include "gif/GIFItems.h"
#include "gif/GIFTypes.h"
#include "vcl/Bitmap.h"

namespace gif {

class TGIFImage;
class TGIFImageList;

// A frame belongs to the picture whose frame list adopted it.  A frame on
// its own loads and saves as well: a descriptor of size 0 then gives a frame
// of size 0 (there is no logical screen to take the size from), and a frame
// without a colour table is written with 8-bit codes.
class TGIFSubImage : public TGIFItem {
public:
    TGIFSubImage();
    ~TGIFSubImage() override;

    void Clear();
    // A frame without pixels shows nothing and takes no time: a painter
    // passes over it, and a file can hold it only as extensions that the
    // next image carries.
    bool GetEmpty() const;
    void NewImage();
    void FreeImage();
    void NeedImage();
    // Copies another frame (also one without pixels: its bounds, table and
    // extensions; the picture's screen grows to hold the copy as it does for
    // DoSetBounds), or converts a graphic: a bitmap of any depth,
    // an icon or a metafile (their uncovered pixels become transparent),
    // another graphic through a bitmap of it, or the graphic a picture
    // container holds.  Anything else raises EConvertError.
    void Assign(const TPersistent* source) override;

    int GetBounds(int index) const;
    void SetBounds(int index, int value);
    // A value outside 0..65535, or a frame reaching beyond 65535, raises
    // "Invalid image dimensions" and changes nothing.
    void DoSetBounds(int left, int top, int width, int height);
    int GetLeft() const { return GetBounds(1); }
    int GetTop() const { return GetBounds(2); }
    int GetWidth() const { return GetBounds(3); }
    int GetHeight() const { return GetBounds(4); }
    void SetLeft(int value) { SetBounds(1, value); }
    void SetTop(int value) { SetBounds(2, value); }
    void SetWidth(int value) { SetBounds(3, value); }
    void SetHeight(int value) { SetBounds(4, value); }
    using TRect = vcl::TRect;
    TRect GetBoundsRect() const;
    void SetBoundsRect(const TRect& rect);
    TRect GetClientRect() const;
    bool GetInterlaced() const { return (FImageDescriptor[9] & 0x40) != 0; }
    void SetInterlaced(bool value);
    uint8_t GetPackedFields() const { return FImageDescriptor[9]; }
    int GetColorResolution() const { return FColorMap->GetBitsPerPixel() - 1; }
    int GetBitsPerPixel() const { return FColorMap->GetBitsPerPixel(); }
    TGIFColorMap& GetActiveColorMap() const;
    TGIFLocalColorMap& GetColorMap() const { return *FColorMap; }
    TGIFVersion GetVersion() const override;

    uint8_t* GetScanline(int row);
    int GetPixel(int x, int y);
    void SetPixel(int x, int y, int index);
    uint8_t* GetData() const { return FData.get(); }
    uint64_t GetDataSize() const { return FDataSize; }

    void SaveToStream(TStream& stream) override { SaveToStream(stream, true); }
    // Writes the extensions (control extensions only when withControl)
    // and, unless the frame is empty, the image.
    void SaveToStream(TStream& stream, bool withControl);
    // The version of what SaveToStream(stream, withControl) writes;
    // gvUnknown when it writes nothing.
    TGIFVersion GetSavedVersion(bool withControl) const;
    void LoadFromStream(TStream& stream) override;
    void Prepare();
    void Decompress(TStream& stream);
    void Compress(TStream& stream);

    // The smallest rectangle (frame coordinates, right and bottom exclusive)
    // holding every pixel that is not the transparent index; false when the
    // frame is not transparent, empty or holds no such pixel.
    bool GetOpaqueBounds(TRect& bounds) const;
    // Cuts a transparent frame down to its opaque pixels; a frame with none
    // is cleared.
    void Crop();
    // Keeps only rect (frame coordinates) of the pixels and moves the frame
    // by its top left corner.
    void CropTo(const TRect& rect);
    // Makes the pixels that repeat what the previous frame left on the
    // screen transparent.
    void Merge(TGIFSubImage* previous);

    TGIFExtensionList& GetExtensions() const { return *FExtensions; }
    // The frame's control extension: the first graphic control extension
    // in its list, or nullptr.  Delay, disposal and transparency all come
    // from it.
    TGIFGraphicControlExtension* GetGraphicControlExtension() const;
    // The first loop extension in its list, or nullptr: the one painters
    // obey when they meet the frame first.
    TGIFAppExtNSLoop* GetLoopExtension() const;
    // The control extension's transparency flag.
    bool GetTransparent() const;
    // The index of the transparent colour; -1 when the frame is not
    // transparent.
    int GetTransparentIndex() const;
    // Disposal values 4 to 7 are undefined by the format: a frame carrying
    // one is not drawn at all.
    static bool IsDrawnDisposal(int disposal) {
        return disposal < GIFFirstUndrawnDisposal || disposal > GIFLastUndrawnDisposal;
    }
    // Whether painters draw the frame: a frame without a control extension
    // is drawn.
    bool IsDrawn() const;

    // Rendering.  The bitmap (8 bits, the frame's palette) is built on
    // demand and kept until pixels, bounds or palette change; the mask is a
    // monochrome bitmap of the frame's size whose 1 bits mark the pixels of
    // the transparent index.
    HPALETTE GetPalette();
    HPALETTE GetLocalPalette() const { return FLocalPalette; }
    // Takes over the handle; a bitmap of another palette is dropped.
    void SetPalette(HPALETTE value);
    bool GetHasBitmap() const { return FBitmap != nullptr; }
    void SetHasBitmap(bool value);
    // nullptr for an empty frame, or when a progress handler aborted.
    vcl::TBitmap* GetBitmap();
    void SetBitmap(const vcl::TBitmap* value);
    void NewBitmap();
    void FreeBitmap();
    void FreeMask();
    bool HasMask();
    HBITMAP GetMask() const { return FMask; }
    // rect spans the picture's logical screen: the frame's part of it.
    vcl::TRect ScaleRect(const vcl::TRect& rect) const;
    // Draws the frame on canvas: rect is where the whole picture goes, the
    // frame takes its own part of it; transparent leaves the pixels of the
    // transparent colour alone; tile repeats the frame at its own size,
    // stepping by the picture's size over rect.
    void Draw(vcl::TCanvas& canvas, const vcl::TRect& rect, bool transparent, bool tile);
    // As Draw, with rect the frame's own place.
    void StretchDraw(vcl::TCanvas& canvas, const vcl::TRect& rect, bool transparent, bool tile);

    std::string ClassName() const override { return "TGIFSubImage"; }

protected:
    // A bitmap destination receives the frame's bitmap.
    void AssignTo(TPersistent* dest) const override;

private:
    void RenderBitmap(bool dither);
    void DoGetBitmap();
    void DoGetDitherBitmap();
    // A bitmap of any depth becomes the frame's pixels and colour table.
    void AssignBitmap(const vcl::TBitmap& source);
    // Any other graphic, through a 24-bit bitmap of it.
    void AssignGraphic(const TPersistent& source);
    void ReadBitmap(vcl::TBitmap& bitmap);
    // Pixels under the mask's non-zero values take a new transparent index.
    void ApplyMask(HBITMAP mask);
    // Writes the four 16-bit bounds fields of the descriptor, nothing else.
    void StoreBounds(int left, int top, int width, int height);
    // Grows the picture's logical screen to hold the frame (within 16 bits);
    // with warn, a screen that had a size and was too small is reported.
    void HoldInPicture(bool warn);
    // A frame without a table of its own whose pixels index colors (the
    // global table of the picture it comes from) takes a copy of them,
    // unless its picture's global table holds the same colours.
    void KeepColors(const TGIFColorMap& colors);

    std::unique_ptr<uint8_t[]> FData;
    uint64_t FDataSize = 0;
    bool FNeedMask = true;
    HPALETTE FLocalPalette = 0;
    std::unique_ptr<vcl::TBitmap> FBitmap;
    HBITMAP FMask = 0;
    std::unique_ptr<TGIFLocalColorMap> FColorMap;
    std::array<uint8_t, 10> FImageDescriptor{0x2C};
    std::unique_ptr<TGIFExtensionList> FExtensions;

    friend class TGIFImageList;
    friend class TGIFImage;
};

}  // namespace gif
