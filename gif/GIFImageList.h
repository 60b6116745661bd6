// The block stream after the header: the picture's frame list
// (TGIFImageList), which reads and writes every frame with the extensions
// before it, and the trailer that ends the stream.
//
// Reading ends at the trailer or at the end of the data; a block that is
// neither an extension nor an image ends it with the warning "Unknown GIF
// block type", and a trailer of another value warns "Invalid Image trailer".
// Saving writes what loading gives back: an empty frame's control extensions
// are written only where no later image would take them as its own.
#pragma once

#include <memory>
#include <string>

#include "gif/GIFFrame.h"
#include "gif/GIFItems.h"
#include "gif/GIFTypes.h"

namespace gif {

class TGIFImage;

// A picture's frames, in display order.  A frame it adopts belongs to the
// picture from then on: its pixels count against GIFImageMaxPicturePixels
// (a frame beyond that is refused with "Invalid image dimensions") and the
// logical screen grows to hold it; a frame it releases gives its pixels
// back and belongs to no picture.
class TGIFImageList : public TGIFItemList<TGIFSubImage> {
public:
    explicit TGIFImageList(TGIFImage* image) : TGIFItemList(image) {}
    using TGIFItemList::GetImage;
    TGIFSubImage* GetImage(int index) const { return GetItem(index); }
    std::unique_ptr<TGIFSubImage> SetImage(int index, std::unique_ptr<TGIFSubImage>&& image) {
        return SetItem(index, std::move(image));
    }
    void LoadFromStream(TStream& stream, TObject* parent) override;
    // An empty frame's control extensions would become the next image's:
    // they are written only when no frame with pixels follows.
    void SaveToStream(TStream& stream) override;
    // The version of what SaveToStream writes; gvUnknown when nothing.
    TGIFVersion GetSavedVersion() const;
    // The first frame that shows something, the one a looping painter
    // clears first: frames before it are empty (-1 when all are).
    int FirstWithPixels() const;
    std::string ClassName() const override { return "TGIFImageList"; }

protected:
    void Attach(TGIFItem& item) override;
    void Detach(TGIFItem& item) noexcept override;

private:
    // Whether frame index is saved with its control extension, given the
    // index of the last frame with pixels.
    bool SavesControlExtension(int index, int lastWithPixels) const;
    int LastWithPixels() const;
};

class TGIFTrailer : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    std::string ClassName() const override { return "TGIFTrailer"; }
};

}  // namespace gif
