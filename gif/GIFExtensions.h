// The extensions a frame carries: graphic control (delay, disposal,
// transparency), plain text, comment and application extensions (the loop
// extension, and unknown ones kept byte for byte), the registries that map a
// label or an application identifier to the class that reads it, and a
// frame's list of extensions.
//
// Reading finds the class for the label at the stream; a label no class is
// registered for raises "Unknown extension type".  An extension belongs to
// the frame whose list adopted it (gif/GIFItems.h); on its own it has no
// frame, and what needs the frame's colour table raises "No global or local
// color table defined".  The registries may be used from any thread.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gif/GIFColorMap.h"
#include "gif/GIFItems.h"
#include "gif/GIFTypes.h"

namespace gif {

class TGIFImage;
class TGIFSubImage;

class TGIFExtension;
class TGIFApplicationExtension;

// A class reference: what the registries map labels and identifiers to.
struct TGIFExtensionClassInfo {
    const char* Name;
    // A new extension of the class, on its own.
    std::unique_ptr<TGIFExtension> (*Create)();
    // Which class should read the extension at the stream (class-level).
    const TGIFExtensionClassInfo* (*FindSubExtension)(const TGIFExtensionClassInfo* self, TStream& stream);
};
using TGIFExtensionClass = const TGIFExtensionClassInfo*;
using TGIFAppExtensionClass = const TGIFExtensionClassInfo*;

// An extension belongs to the frame whose extension list adopted it; on its
// own it has no frame, and what needs the frame's colour table raises "No
// global or local color table defined".
class TGIFExtension : public TGIFItem {
public:
    TGIFExtension() = default;

    virtual uint8_t GetExtensionType() const;
    TGIFVersion GetVersion() const override { return gv89a; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    uint8_t DoReadFromStream(TStream& stream);

    static void RegisterExtension(uint8_t label, TGIFExtensionClass extensionClass);
    static TGIFExtensionClass FindExtension(TStream& stream);
    static const TGIFExtensionClassInfo Class;

    TGIFSubImage* GetSubImage() const { return FSubImage; }
    // The frame's picture.
    TGIFImage* GetImage() const override;
    std::string ClassName() const override { return "TGIFExtension"; }

protected:
    // The active colour map of the frame.
    TGIFColorMap& GetActiveColorMap() const;

    TGIFSubImage* FSubImage = nullptr;

private:
    friend class TGIFExtensionList;
};

// Frees both extension registries (unit exit); they are made again on use.
void FreeExtensionRegistries();

class TGIFGraphicControlExtension : public TGIFExtension {
public:

    uint8_t GetExtensionType() const override { return 0xF9; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    bool GetTransparent() const { return (FGCExtension[1] & 0x01) != 0; }
    void SetTransparent(bool value);
    int GetTransparentColorIndex() const { return FGCExtension[4]; }
    // An index beyond the active table is replaced by 0, with a warning.
    void SetTransparentColorIndex(int index);
    // The index byte as it is, in the table or not: remapping moves an index
    // the file holds and must not change what it means.
    void StoreTransparentColorIndex(uint8_t index) { FGCExtension[4] = index; }
    TColor GetTransparentColor() const;
    void SetTransparentColor(TColor color);
    int GetDelay() const { return FGCExtension[2] | FGCExtension[3] << 8; }
    void SetDelay(int value);
    bool GetUserInput() const { return (FGCExtension[1] & 0x02) != 0; }
    void SetUserInput(bool value);
    TDisposalMethod GetDisposal() const { return static_cast<TDisposalMethod>((FGCExtension[1] >> 2) & 7); }
    void SetDisposal(TDisposalMethod method);
    uint8_t GetPackedFields() const { return FGCExtension[1]; }

    static const TGIFExtensionClassInfo Class;
    std::string ClassName() const override { return "TGIFGraphicControlExtension"; }

private:
    std::array<uint8_t, 6> FGCExtension{4, 0, 0, 0, 0, 0};
};

class TGIFTextExtension : public TGIFExtension {
public:

    uint8_t GetExtensionType() const override { return 0x01; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    int GetBounds(int index) const;
    void SetBounds(int index, int value);
    int GetCharWidthHeight(int index) const;
    void SetCharWidthHeight(int index, int value);
    int GetColorIndex(int index) const;
    void SetColorIndex(int index, int value);
    TColor GetForegroundColor() const;
    void SetForegroundColor(TColor color);
    TColor GetBackgroundColor() const;
    void SetBackgroundColor(TColor color);
    std::vector<std::string>& GetText() { return FText; }

    static const TGIFExtensionClassInfo Class;
    std::string ClassName() const override { return "TGIFTextExtension"; }

private:
    std::array<uint8_t, 13> FPlainTextExtension{12};
    std::vector<std::string> FText;
};

class TGIFCommentExtension : public TGIFExtension {
public:

    uint8_t GetExtensionType() const override { return 0xFE; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    std::vector<std::string>& GetText() { return FComment; }

    static const TGIFExtensionClassInfo Class;
    std::string ClassName() const override { return "TGIFCommentExtension"; }

private:
    std::vector<std::string> FComment;
};

using TGIFIdentifierCode = std::array<char, 8>;
using TGIFAuthenticationCode = std::array<char, 3>;
struct TGIFApplicationRec {
    TGIFIdentifierCode Identifier;
    TGIFAuthenticationCode Authentication;
    bool operator==(const TGIFApplicationRec&) const = default;
};
static_assert(sizeof(TGIFApplicationRec) == 11);

class TGIFApplicationExtension : public TGIFExtension {
public:

    uint8_t GetExtensionType() const override { return 0xFF; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    virtual void SaveData(TStream& stream);
    virtual void LoadData(TStream& stream);

    std::string GetIdentifier() const;
    void SetIdentifier(const std::string& text);
    std::string GetAuthentication() const;
    void SetAuthentication(const std::string& text);
    const TGIFApplicationRec& GetApplicationRec() const { return FIdent; }

    static void RegisterExtension(const TGIFApplicationRec& ident, TGIFAppExtensionClass extensionClass);
    static const TGIFExtensionClassInfo Class;
    std::string ClassName() const override { return "TGIFApplicationExtension"; }

protected:
    TGIFApplicationRec FIdent{};
    // The application block as it was read: its size (10 leaves out the
    // third authentication byte) and the bytes beyond the first 11.
    uint8_t FBlockSize = 11;
    std::vector<uint8_t> FBlockRest;
};

// One data sub-block: 1 to 255 bytes.
class TGIFBlock : public TObject {
public:
    explicit TGIFBlock(int size) : FData(static_cast<size_t>(size), 0) {}
    void SaveToStream(TStream& stream) const;
    void LoadFromStream(TStream& stream);
    int GetSize() const { return static_cast<int>(FData.size()); }
    std::vector<uint8_t>& GetData() { return FData; }

private:
    std::vector<uint8_t> FData;
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    void SaveData(TStream& stream) override;
    void LoadData(TStream& stream) override;
    std::vector<std::unique_ptr<TGIFBlock>>& GetBlocks() { return FBlocks; }

    static const TGIFExtensionClassInfo Class;
    std::string ClassName() const override { return "TGIFUnknownAppExtension"; }

private:
    std::vector<std::unique_ptr<TGIFBlock>> FBlocks;
};

// The loop extension ("NETSCAPE2.0", also read for "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    TGIFAppExtNSLoop();
    void SaveData(TStream& stream) override;
    void LoadData(TStream& stream) override;
    int GetLoops() const { return FLoops; }
    void SetLoops(int value) { FLoops = static_cast<uint16_t>(value); }
    uint32_t GetBufferSize() const { return FBufferSize; }
    void SetBufferSize(uint32_t value) { FBufferSize = value; }

    static const TGIFExtensionClassInfo Class;
    std::string ClassName() const override { return "TGIFAppExtNSLoop"; }

private:
    uint16_t FLoops = 0;
    uint32_t FBufferSize = 0;
};

// A frame's extensions, in file order; the frame owns the list, and the
// list makes the frame the owner of what it adopts.
class TGIFExtensionList : public TGIFItemList<TGIFExtension> {
public:
    explicit TGIFExtensionList(TGIFSubImage* subImage) : TGIFItemList(nullptr), FSubImage(subImage) {}
    TGIFExtension* GetExtension(int index) const { return GetItem(index); }
    template <std::derived_from<TGIFExtension> U>
    std::unique_ptr<TGIFExtension> SetExtension(int index, std::unique_ptr<U>&& extension) {
        return SetItem(index, std::move(extension));
    }
    // Reads the extensions that precede an image for the frame that owns
    // the list (parent).
    void LoadFromStream(TStream& stream, TObject* parent) override;
    TGIFSubImage* GetSubImage() const { return FSubImage; }
    TGIFImage* GetImage() const override;
    std::string ClassName() const override { return "TGIFExtensionList"; }

protected:
    void Attach(TGIFItem& item) override;
    void Detach(TGIFItem& item) noexcept override;

private:
    TGIFSubImage* FSubImage;
};

}  // namespace gif
