// The header and logical screen descriptor of a picture: version, screen
// size, background colour index, aspect ratio, and the global colour table
// the header owns.
//
// The header belongs to its picture and is written with the version the
// picture's contents need; its packed byte is computed again from the
// picture at every save (Prepare), never kept from what was read.  Its size
// setters store the low 16 bits as given: the picture's SetWidth and
// SetHeight are the checked ones.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "gif/GIFColorMap.h"
#include "gif/GIFItems.h"
#include "gif/GIFTypes.h"

namespace gif {

class TGIFImage;

class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage* image);

    void Clear();
    void Assign(const TPersistent* source) override;
    void Prepare();
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    TGIFVersion GetVersion() const override;

    TColor GetBackgroundColor();
    void SetBackgroundColor(TColor color);
    int GetBackgroundColorIndex() const { return FLogicalScreenDescriptor[5]; }
    void SetBackgroundColorIndex(int index);
    int GetBitsPerPixel() const { return FColorMap->GetBitsPerPixel(); }
    int GetColorResolution() const { return GetBitsPerPixel() - 1; }

    int GetWidth() const { return FLogicalScreenDescriptor[0] | FLogicalScreenDescriptor[1] << 8; }
    int GetHeight() const { return FLogicalScreenDescriptor[2] | FLogicalScreenDescriptor[3] << 8; }
    void SetWidth(int value);
    void SetHeight(int value);
    uint8_t GetPackedFields() const { return FLogicalScreenDescriptor[4]; }
    uint8_t GetAspectRatio() const { return FLogicalScreenDescriptor[6]; }
    void SetAspectRatio(uint8_t value) { FLogicalScreenDescriptor[6] = value; }
    TGIFGlobalColorMap& GetColorMap() const { return *FColorMap; }
    std::string ClassName() const override { return "TGIFHeader"; }

private:
    std::array<uint8_t, 7> FLogicalScreenDescriptor{};
    std::unique_ptr<TGIFGlobalColorMap> FColorMap;
};

}  // namespace gif
