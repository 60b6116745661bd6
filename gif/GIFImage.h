// The GIF picture unit: reads and writes GIF87a/GIF89a pictures.
//
// Entry points a test or a caller uses:
//   gif::TGIFImage image;                 // empty picture
//   image.LoadFromStream(stream);         // any rtl::TStream (rtl::TMemoryStream, rtl::TFileStream)
//   image.LoadFromFile(path); image.SaveToFile(path); image.SaveToStream(stream);
//   image.GetImages().GetCount(), image.GetImages().GetImage(i)   // frames, in file order
//   frame->GetScanline(row), frame->GetData(), frame->GetDataSize() // one colour index per pixel
//   frame->GetActiveColorMap(), image.GetGlobalColorMap()           // TGIFColorMap
//   frame->GetLeft(), GetTop(), GetWidth(), GetHeight(), GetInterlaced()
//   frame->GetGraphicControlExtension() (delay, disposal, transparency), frame->GetExtensions()
//   image.SetOnGIFWarning(handler), image.SetOnProgress(handler), image.SetCompression(gcRLE)
//   image.Assign(&bitmapIconMetafileOrPicture), image.Add(&graphic)  // frames made from other graphics
//   image.Add(std::make_unique<gif::TGIFSubImage>()), frame->GetExtensions().Adopt(std::move(extension))
//                                         // the lists own what they hold (see "Items and lists")
//   bitmap.Assign(&image)                                           // the rendered picture
//   image.SaveToClipboardFormat(format, data, palette), image.LoadFromClipboardFormat(CF_GIF, 0, 0)
// Fatal conditions raise gif::GIFException with one of the texts of the
// message table below; non-fatal ones reach the picture's OnGIFWarning.
// GIFImageMaxFramePixels bounds the pixel store of one frame,
// GIFImageMaxPicturePixels the pixel stores of all frames of one picture.
//
// Drawing and animation (image.Draw(canvas, rect), image.Paint(...)) run
// painters (gif/GIFPainter.h): threads whose drawing runs on the UI thread.
// Rendering, colour reduction and the optimiser belong to other units of the
// picture support; their entry points are declared here where this unit's
// classes carry them and are defined by those units.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "gdi/Clipboard.h"
#include "gdi/Gdi.h"
#include "rtl/Classes.h"
#include "rtl/Resources.h"
#include "rtl/SysUtils.h"
#include "vcl/Bitmap.h"
#include "vcl/Thread.h"

namespace gif {

using rtl::TObject;
using rtl::TPersistent;
using rtl::TStream;

class TGIFImage;
class TGIFSubImage;
class TGIFPainter;
class TGIFHeader;
class TGIFColorMap;

// ---------------------------------------------------------------------------
// Foundations

// The unit's exception: every fatal condition of the unit.
class GIFException : public rtl::EInvalidGraphic {
public:
    using rtl::EInvalidGraphic::EInvalidGraphic;
};

enum TGIFSeverity { gsInfo, gsWarning, gsError };
enum TGIFVersion { gvUnknown, gv87a, gv89a };
using TGIFVersionRec = std::array<char, 3>;
// Version texts of gv87a and gv89a (gvUnknown has none: three zero bytes).
extern const TGIFVersionRec GIFVersions[3];

using TGIFWarning = std::function<void(TObject* sender, TGIFSeverity severity, const std::string& message)>;

enum TGIFDrawOption {
    goAsync, goTransparent, goAnimate, goLoop, goLoopContinously, goValidateCanvas,
    goDirectDraw, goClearOnLoop, goTile, goDither, goAutoDither
};
using TGIFDrawOptions = uint16_t;  // bit n = option n
constexpr TGIFDrawOptions DrawOption(TGIFDrawOption option) { return static_cast<TGIFDrawOptions>(1u << option); }

enum TColorReduction {
    rmNone, rmWindows20, rmWindows256, rmWindowsGray, rmMonochrome, rmGrayScale, rmNetscape,
    rmQuantize, rmQuantizeWindows, rmPalette
};
enum TDitherMode { dmNearest, dmFloydSteinberg, dmStucki, dmSierra, dmJaJuNI, dmSteveArche, dmBurkes };
enum TGIFCompression { gcLZW, gcRLE };
enum TGIFOptimizeOption { ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors };
using TGIFOptimizeOptions = uint8_t;  // bit n = option n
enum TDisposalMethod : uint8_t { dmNone, dmNoDisposal, dmBackground, dmPrevious };
enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Milliseconds per delay unit at speed 100 (the format's unit is 10 ms; the
// painters' timing has always been 12): GIFDelayExp's value.
inline constexpr int GIFDelayUnitMilliseconds = 12;
// Disposal values 4 to 7 are undefined by the format; a painter draws a
// frame carrying one not at all.
inline constexpr int GIFFirstUndrawnDisposal = 4;
inline constexpr int GIFLastUndrawnDisposal = 7;

// Exported default settings.
extern int GIFDelayExp;
extern int GIFDefaultDelay;
extern int GIFMinimumDelay;
extern int GIFMaximumDelay;
extern TGIFDrawOptions GIFImageDefaultDrawOptions;
extern TColorReduction GIFImageDefaultColorReduction;
extern int GIFImageDefaultColorReductionBits;
extern TDitherMode GIFImageDefaultDitherMode;
extern TGIFCompression GIFImageDefaultCompression;
extern TThreadPriority GIFImageDefaultThreadPriority;
extern int GIFImageDefaultAnimationSpeed;
extern bool GIFImageRenderOnLoad;
extern bool GIFImageOptimizeOnStream;
extern bool PaletteDevice;
extern bool DoAutoDither;
extern uint16_t CF_GIF;
// The largest pixel store one frame may have (width × height); a frame
// beyond it raises "Invalid image dimensions" before anything is allocated.
extern uint64_t GIFImageMaxFramePixels;
// The largest sum of the pixel stores of one picture's frames; a frame that
// would pass it raises "Invalid image dimensions" before anything is
// allocated, so that many frames within the frame bound cannot add up to
// more memory than one picture may take.
extern uint64_t GIFImageMaxPicturePixels;

constexpr TGIFOptimizeOptions OptimizeOption(TGIFOptimizeOption option) {
    return static_cast<TGIFOptimizeOptions>(1u << option);
}
inline constexpr TGIFOptimizeOptions GIFAllOptimizeOptions = 0x1F;

// Design-time registration: removes goLoop from the default draw options.
void Register();

// The unit's message table: fixed texts with their string-table ids.
struct TGIFResString {
    uint16_t Id;
    const char* Text;
    operator std::string() const { return Text; }
};
inline constexpr TGIFResString _sEmptyColorMap{65488, "Color table is empty"};
inline constexpr TGIFResString _sEmptyImage{65489, "Image is empty"};
inline constexpr TGIFResString _sInvalidBitmapList{65490, "Invalid bitmap list"};
inline constexpr TGIFResString _sInvalidReduction{65491, "Invalid reduction method"};
inline constexpr TGIFResString _sGIFImageFile{65492, "GIF Image"};
inline constexpr TGIFResString _sProgressLoading{65493, "Loading..."};
inline constexpr TGIFResString _sProgressSaving{65494, "Saving..."};
inline constexpr TGIFResString _sProgressConverting{65495, "Converting..."};
inline constexpr TGIFResString _sProgressRendering{65496, "Rendering..."};
inline constexpr TGIFResString _sProgressCopying{65497, "Copying..."};
inline constexpr TGIFResString _sProgressOptimizing{65498, "Optimizing..."};
inline constexpr TGIFResString _sBadBlock{65504, "Unknown GIF block type"};
inline constexpr TGIFResString _sUnsupportedClass{65505, "Object type not supported for operation"};
inline constexpr TGIFResString _sInvalidData{65506, "Invalid GIF data"};
inline constexpr TGIFResString _sBadHeight{65507, "Image height too small for contained frames"};
inline constexpr TGIFResString _sBadWidth{65508, "Image width too small for contained frames"};
inline constexpr TGIFResString _sFailedPaste{65509, "Failed to store GIF on clipboard"};
inline constexpr TGIFResString _sScreenSizeExceeded{65510, "Image exceeds Logical Screen size"};
inline constexpr TGIFResString _sNoColorTable{65511, "No global or local color table defined"};
inline constexpr TGIFResString _sBadPixelCoordinates{65512, "Invalid pixel coordinates"};
inline constexpr TGIFResString _sUnsupportedBitmap{65513, "Unsupported bitmap format"};
inline constexpr TGIFResString _sInvalidPixelFormat{65514, "Unsupported PixelFormat"};
inline constexpr TGIFResString _sBadDimension{65515, "Invalid image dimensions"};
inline constexpr TGIFResString _sNoDIB{65516, "Image has no DIB"};
inline constexpr TGIFResString _sInvalidStream{65517, "Invalid stream operation"};
inline constexpr TGIFResString _sInvalidColor{65518, "Color not in color table"};
inline constexpr TGIFResString _sInvalidBitSize{65519, "Invalid Bits Per Pixel value"};
inline constexpr TGIFResString _sOutOfData{65520, "Premature end of data"};
inline constexpr TGIFResString _sTooManyColors{65521, "Color table overflow"};
inline constexpr TGIFResString _sBadColorIndex{65522, "Invalid color index"};
inline constexpr TGIFResString _sBadVersion{65523, "Unsupported GIF version"};
inline constexpr TGIFResString _sBadSignature{65524, "Invalid GIF signature"};
inline constexpr TGIFResString _sScreenBadColorSize{65525, "Invalid number of colors specified in Screen Descriptor"};
inline constexpr TGIFResString _sImageBadColorSize{65526, "Invalid number of colors specified in Image Descriptor"};
inline constexpr TGIFResString _sUnknownExtension{65527, "Unknown extension type"};
inline constexpr TGIFResString _sBadExtensionLabel{65528, "Invalid extension introducer"};
inline constexpr TGIFResString _sOutOfMemDIB{65529, "Failed to allocate memory for GIF DIB"};
inline constexpr TGIFResString _sDIBCreate{65530, "Failed to create DIB from Bitmap"};
inline constexpr TGIFResString _sDecodeTooFewBits{65531, "Decoder bit buffer under-run"};
inline constexpr TGIFResString _sDecodeCircular{65532, "Circular decoder table entry"};
inline constexpr TGIFResString _sBadTrailer{65533, "Invalid Image trailer"};
inline constexpr TGIFResString _sBadExtensionInstance{65534, "Internal error: Extension Instance does not match Extension Label"};
inline constexpr TGIFResString _sBadBlockSize{65535, "Unsupported Application Extension block size"};

[[noreturn]] void RaiseGIFError(const std::string& message);

// Bytes of one scanline padded to AlignmentBits (a power of two).
int ScanlineBytes(int width, int bitsPerPixel, int alignmentBits);
// Bits needed for a colour count: 0 → 0, 1..2 → 1, 3..4 → 2, ..., 129..256 → 8.
int ColorCountToBits(int count);

// GIF byte and sub-block I/O at the stream's position.
void WriteByteToStream(TStream& stream, uint8_t value);
// One byte; at the end of the stream it yields 0, which reads as a block
// terminator wherever sub-blocks are walked.
uint8_t ReadByteFromStream(TStream& stream);
// Exactly count bytes, else "Premature end of data".
void ReadExact(TStream& stream, void* buffer, int64_t count);
void WriteTextAsSubBlocks(TStream& stream, const std::vector<std::string>& lines);
void ReadSubBlocksAsText(TStream& stream, std::vector<std::string>& lines);
// Writes each piece as data sub-blocks of its own (a piece of 300 bytes
// gives blocks of 255 and 45, an empty one none), then the terminator.
void WriteSubBlocks(TStream& stream, const std::vector<std::span<const uint8_t>>& pieces);
// Appends the run of data sub-blocks at the stream's position to run, as the
// stream holds it: up to and including the terminator, or up to the end of
// the stream when that comes first.  Never reads past the terminator; the
// framing is walked by gif::codec::SubBlockReader.
void ReadSubBlockRun(TStream& stream, std::vector<uint8_t>& run);

// One entry of a logical palette.
using TPaletteEntry = gdi::PALETTEENTRY;
using gdi::HPALETTE;
using gdi::HBITMAP;
// The 216 entries of the web palette: index r*36 + g*6 + b, levels 0, 51, ... 255.
std::vector<TPaletteEntry> WebPaletteEntries();
// The web palette as a logical palette; the caller owns and deletes it.
HPALETTE WebPalette();

// The result of a graphics call that yields a handle or a non-zero success
// value: returned as it is when not 0.  0 raises rtl::EOutOfResources with
// the system's text for the thread's last error, or "Out of system
// resources" when there is no error or no text for it.
uintptr_t CheckGDIHandle(uintptr_t value);

// The class library bitmap's pixel format.
vcl::TPixelFormat BitmapPixelFormat(vcl::TBitmap& bitmap);
void SetBitmapPixelFormat(vcl::TBitmap& bitmap, vcl::TPixelFormat pixelFormat);

// ---------------------------------------------------------------------------
// Items and lists
//
// Every frame and every extension has exactly one owner: the list that holds
// it, or whoever holds it in a std::unique_ptr.  A list takes an item in
// with Adopt (Add, Insert and SetItem adopt too), which makes the list's
// owner the item's owner: a frame's picture, an extension's frame.  Release
// takes an item out, clears that back pointer and hands the item to the
// caller; Remove does the same and says where it was; Delete and Clear are
// releases whose result is dropped.  Destructors free what their object
// owns and touch nothing else, so a picture, its frames and their
// extensions can be destroyed in any order.

// Base of every part of a picture: header, frames, extensions, trailer.
class TGIFItem : public TPersistent {
public:
    // image: the picture of an item that the picture itself holds (header,
    // trailer); a frame or an extension gets its owner from the list that
    // adopts it.
    explicit TGIFItem(TGIFImage* image = nullptr) : FImage(image) {}
    TGIFItem(const TGIFItem&) = delete;
    TGIFItem& operator=(const TGIFItem&) = delete;

    virtual TGIFVersion GetVersion() const { return gv87a; }
    // Reaches the picture's OnGIFWarning; an item on its own has nobody to
    // tell and drops it.
    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToFile(const std::string& fileName);
    virtual void LoadFromFile(const std::string& fileName);

    // The picture the item belongs to; nullptr for an item on its own.
    virtual TGIFImage* GetImage() const { return FImage; }
    std::string ClassName() const override { return "TGIFItem"; }

protected:
    TGIFImage* FImage;
};

// A list that owns its items (see above); the typed lists below add the
// calls that put items in and take them out.  Indexes out of range raise
// rtl::EListError.
class TGIFList : public TPersistent {
public:
    explicit TGIFList(TGIFImage* image) : FImage(image) {}
    // Frees the items still in the list, without detaching them: nothing
    // they point back to is touched while the list goes.
    ~TGIFList() override;
    TGIFList(const TGIFList&) = delete;
    TGIFList& operator=(const TGIFList&) = delete;

    TGIFItem* GetItem(int index) const;
    int GetCount() const { return static_cast<int>(FItems.size()); }
    // Releases the item at index and frees it.
    void Delete(int index);
    // Deletes the item at index 0 until the list is empty.
    void Clear();
    int IndexOf(const TGIFItem* item) const;
    void Exchange(int index1, int index2);
    void Move(int curIndex, int newIndex);

    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream, TObject* parent);

    // The picture the list belongs to; nullptr when it belongs to none.
    virtual TGIFImage* GetImage() const { return FImage; }
    std::string ClassName() const override { return "TGIFList"; }

protected:
    // An item comes in: it gets the list's owner as its own.  May refuse by
    // raising, and then leaves the item as it was.
    virtual void Attach(TGIFItem&) {}
    // An item goes out: its back pointer is cleared.
    virtual void Detach(TGIFItem&) noexcept {}

    void CheckIndex(int index) const;
    // Adopts item at index; the caller gives up item only when this returns.
    void InsertItem(int index, TGIFItem& item);
    std::unique_ptr<TGIFItem> ReleaseItem(int index);
    // Adopts item in place of the one at index and hands that one back.
    std::unique_ptr<TGIFItem> ReplaceItem(int index, TGIFItem& item);

    std::vector<std::unique_ptr<TGIFItem>> FItems;
    TGIFImage* FImage;
};

// What Remove took out: the item, now the caller's, and the index it had
// (-1 and no item when it was not in the list).
template <class T>
struct [[nodiscard]] TGIFRemoved {
    int Index = -1;
    std::unique_ptr<T> Item;
};

// A list of T (or its descendants).  Calls that take a std::unique_ptr&&
// move from it only when they succeed: an item the list refuses stays with
// the caller.
template <class T>
class TGIFItemList : public TGIFList {
public:
    using TGIFList::TGIFList;

    T* GetItem(int index) const { return static_cast<T*>(TGIFList::GetItem(index)); }
    T* First() const { return GetItem(0); }
    T* Last() const { return GetItem(GetCount() - 1); }

    // Appends item and becomes its owner; returns the item.
    template <std::derived_from<T> U>
    U& Adopt(std::unique_ptr<U>&& item) {
        InsertItem(GetCount(), Checked(item));
        return *item.release();
    }
    // Appends item; returns its index.
    template <std::derived_from<T> U>
    int Add(std::unique_ptr<U>&& item) {
        Adopt(std::move(item));
        return GetCount() - 1;
    }
    template <std::derived_from<T> U>
    void Insert(int index, std::unique_ptr<U>&& item) {
        InsertItem(index, Checked(item));
        item.release();
    }
    // Takes item out and hands it to the caller; nothing when item is not
    // in this list.
    std::unique_ptr<T> Release(T& item) {
        const int index = IndexOf(&item);
        return index < 0 ? nullptr : Typed(ReleaseItem(index));
    }
    TGIFRemoved<T> Remove(T& item) {
        const int index = IndexOf(&item);
        return {index, index < 0 ? nullptr : Typed(ReleaseItem(index))};
    }
    // Puts item in place of the one at index; returns that one, released.
    template <std::derived_from<T> U>
    std::unique_ptr<T> SetItem(int index, std::unique_ptr<U>&& item) {
        std::unique_ptr<T> replaced = Typed(ReplaceItem(index, Checked(item)));
        item.release();
        return replaced;
    }

private:
    template <class U>
    static U& Checked(const std::unique_ptr<U>& item) {
        if (!item) RaiseGIFError(_sUnsupportedClass);
        return *item;
    }
    static std::unique_ptr<T> Typed(std::unique_ptr<TGIFItem> item) {
        return std::unique_ptr<T>(static_cast<T*>(item.release()));
    }
};

// ---------------------------------------------------------------------------
// Colour map

struct TGIFColor {
    uint8_t Red, Green, Blue;
    bool operator==(const TGIFColor&) const = default;
};
using TColor = uint32_t;  // 0x00BBGGRR
inline constexpr TColor clNone = 0x1FFFFFFF;

struct TUsageCount {
    int32_t Count;
    int32_t Index;
};
using TColormapHistogram = std::array<TUsageCount, 256>;
using TColormapReverse = std::array<uint8_t, 256>;
using TColorMap = std::array<TGIFColor, 256>;

class TGIFColorMap : public TPersistent {
public:
    TGIFColorMap() = default;
    TGIFColorMap(const TGIFColorMap&) = delete;
    TGIFColorMap& operator=(const TGIFColorMap&) = delete;

    static TGIFColor Color2RGB(TColor color);
    static TColor RGB2Color(TGIFColor color);

    void Clear();
    void Assign(const TPersistent* source) override;
    void SaveToStream(TStream& stream) const;
    void LoadFromStream(TStream& stream, int count);
    void ImportColorMap(const TColorMap& map, int count);
    // Quads of blue, green, red and a spare byte.
    void ImportColorTable(const uint8_t* table, int count);
    // Up to 256 entries of a palette (their flags dropped).
    void ImportPalette(HPALETTE palette);
    // The colour table of the DIB section selected into the context.
    void ImportDIBColors(gdi::HDC dc);
    // A new palette of the map's colours (flags PC_NOCOLLAPSE) that the
    // caller owns; 0 for an empty map.
    HPALETTE ExportPalette() const;
    int Add(TColor color);
    int AddUnique(TColor color);
    void Delete(int index);
    int IndexOf(TColor color) const;
    TColor GetColor(int index);
    void SetColor(int index, TColor color);
    int GetCount() const { return FCount; }
    int GetCapacity() const { return FCapacity; }
    int GetBitsPerPixel() const { return ColorCountToBits(FCount); }
    bool GetOptimized() const { return FOptimized; }
    void SetOptimized(bool value) { FOptimized = value; }
    const TGIFColor* GetData() const { return FColors.data(); }
    // The entry at index, unchecked against the count; index must be < 256.
    TGIFColor GetEntry(int index) const { return FColors[static_cast<size_t>(index)]; }
    bool DoOptimize();

    virtual void Warning(TGIFSeverity severity, const std::string& message);
    virtual void BuildHistogram(TColormapHistogram& histogram);
    virtual void MapImages(const TColormapReverse& map);
    virtual bool Optimize();
    virtual void Changed();
    std::string ClassName() const override { return "TGIFColorMap"; }

protected:
    void SetCapacity(int size);

    std::vector<TGIFColor> FColors;  // FCapacity entries
    int FCount = 0;
    int FCapacity = 0;
    bool FOptimized = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader* header) : FHeader(header) {}
    void Warning(TGIFSeverity severity, const std::string& message) override;
    void BuildHistogram(TColormapHistogram& histogram) override;
    void MapImages(const TColormapReverse& map) override;
    bool Optimize() override;
    void Changed() override;
    std::string ClassName() const override { return "TGIFGlobalColorMap"; }

private:
    TGIFHeader* FHeader;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage* subImage) : FSubImage(subImage) {}
    void Warning(TGIFSeverity severity, const std::string& message) override;
    void BuildHistogram(TColormapHistogram& histogram) override;
    void MapImages(const TColormapReverse& map) override;
    bool Optimize() override;
    void Changed() override;
    std::string ClassName() const override { return "TGIFLocalColorMap"; }

private:
    TGIFSubImage* FSubImage;
};

// ---------------------------------------------------------------------------
// Header and logical screen

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

// ---------------------------------------------------------------------------
// Extensions

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

// ---------------------------------------------------------------------------
// Frame

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
    // Copies another frame, or converts a graphic: a bitmap of any depth,
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
};

// ---------------------------------------------------------------------------
// Block stream

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

// ---------------------------------------------------------------------------
// Picture

enum TProgressStage { psStarting, psRunning, psEnding };
using TRect = vcl::TRect;
using TProgressEvent = std::function<void(TObject* sender, TProgressStage stage, uint8_t percentDone,
                                          bool redrawNow, const TRect& rect, const std::string& message)>;
using TNotifyEvent = std::function<void(TObject* sender)>;
// A progress report's percentage: done of total, rounded to the nearest,
// within 0..100; 0 when there is nothing to do.
uint8_t Percent(int64_t done, int64_t total);

class TGIFImage : public TPersistent {
public:
    TGIFImage();
    ~TGIFImage() override;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;

    void Clear();
    void NewImage();
    bool GetEmpty() const { return FImages->GetCount() == 0; }
    int GetWidth() const { return FHeader->GetWidth(); }
    int GetHeight() const { return FHeader->GetHeight(); }
    // Every frame must fit; a value outside 0..65535 raises "Invalid image
    // dimensions".
    void SetWidth(int value);
    void SetHeight(int value);
    void FixHeaderWidthHeight();
    bool Equals(const TGIFImage* other) const { return other == this; }
    bool GetIsTransparent() const;
    TGIFVersion GetVersion() const;
    // The largest of the header's and those of the frames with pixels: an
    // empty frame's table is never written.
    int GetColorResolution() const;
    int GetBitsPerPixel() const;

    TGIFImageList& GetImages() const { return *FImages; }
    TGIFHeader& GetHeader() const { return *FHeader; }
    TGIFColorMap& GetColorMap() const { return FHeader->GetColorMap(); }
    TGIFColorMap& GetGlobalColorMap() const { return FHeader->GetColorMap(); }
    int GetBackgroundColorIndex() const { return FHeader->GetBackgroundColorIndex(); }
    void SetBackgroundColorIndex(int index) { FHeader->SetBackgroundColorIndex(index); }
    TColor GetBackgroundColor() { return FHeader->GetBackgroundColor(); }
    void SetBackgroundColor(TColor color) { FHeader->SetBackgroundColor(color); }
    uint8_t GetAspectRatio() const { return FHeader->GetAspectRatio(); }
    void SetAspectRatio(uint8_t value) { FHeader->SetAspectRatio(value); }

    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);
    // The resource name of type RCDATA in the module instance.
    void LoadFromResourceName(rtl::HINSTANCE instance, const std::string& name);
    // The picture in a form stream: the binary property "Data", written
    // when the picture has frames, holding what WriteData writes.
    void DefineProperties(rtl::TFiler& filer) override;
    // The picture's size in bytes (32 bits, little-endian), then the
    // picture; optimised first with every option when
    // GIFImageOptimizeOnStream is set.
    void WriteData(TStream& stream);
    // What WriteData wrote.  On failure the stream is back where it was and
    // the picture keeps what was read, as LoadFromStream does.
    void ReadData(TStream& stream);
    void Assign(const TPersistent* source) override;
    // Appends a frame and takes it over; returns its index.  A frame that a
    // picture holds (another one, or this one: the frame moves to the end)
    // leaves that picture's list first.  A frame on its own comes as a
    // std::unique_ptr; by pointer it is refused with "Object type not
    // supported for operation" and stays with the caller.
    int Add(TGIFSubImage* source);
    int Add(std::unique_ptr<TGIFSubImage>&& frame);

    // Shrinks the picture without changing what it shows: options are a set
    // of TGIFOptimizeOption bits.  Colour reduction is not done here;
    // ooReduceColors with rmPalette and without ooCleanup is refused.
    void Optimize(TGIFOptimizeOptions options, TColorReduction colorReduction, TDitherMode ditherMode,
                  int reductionBits);
    // Drops the rendered caches; a single frame's local table becomes the
    // global one.
    void Pack();
    // Merges every colour table into one global table ordered by use.
    void OptimizeColorMap();

    // Reports to OnGIFWarning when one is set.
    virtual void Warning(TObject* sender, TGIFSeverity severity, const std::string& message);
    void Progress(TObject* sender, TProgressStage stage, uint8_t percentDone, bool redrawNow,
                  const TRect& rect, const std::string& message);
    void Changed(TObject* sender);

    void SetOnGIFWarning(TGIFWarning handler) { FOnWarning = std::move(handler); }
    const TGIFWarning& GetOnGIFWarning() const { return FOnWarning; }
    void SetOnProgress(TProgressEvent handler) { FOnProgress = std::move(handler); }
    const TProgressEvent& GetOnProgress() const { return FOnProgress; }
    void SetOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

    TGIFDrawOptions GetDrawOptions() const { return FDrawOptions; }
    // Stops the drawing painter, drops the rendered caches (Pack) and tells
    // the change; equal options change nothing.
    void SetDrawOptions(TGIFDrawOptions value);
    bool GetAnimate() const { return Has(goAnimate); }
    void SetAnimate(bool value);
    TColorReduction GetColorReduction() const { return FColorReduction; }
    void SetColorReduction(TColorReduction value) { FColorReduction = value; }
    int GetReductionBits() const { return FReductionBits; }
    void SetReductionBits(int value);
    TDitherMode GetDitherMode() const { return FDitherMode; }
    void SetDitherMode(TDitherMode value) { FDitherMode = value; }
    TGIFCompression GetCompression() const { return FCompression; }
    void SetCompression(TGIFCompression value) { FCompression = value; }
    TThreadPriority GetThreadPriority() const { return FThreadPriority; }
    void SetThreadPriority(TThreadPriority value) { FThreadPriority = value; }
    int GetAnimationSpeed() const { return FAnimationSpeed; }
    // Percent, clamped to 0..1000; the drawing painter follows.
    void SetAnimationSpeed(int value);
    int GetForceFrame() const { return FForcedFrame; }
    // The frame a still Draw shows (-1: frame 0); not checked.
    void SetForceFrame(int value);
    TColor GetDrawBackgroundColor() const { return FDrawBackgroundColor; }
    void SetDrawBackgroundColor(TColor value) { FDrawBackgroundColor = value; }
    TNotifyEvent OnPaintStart, OnFramePaint, OnFrameDone, OnLoopStart, OnPaintEnd;

    // The picture's palette: the cached bitmap's, else the picture's own
    // handle, made on demand from the web palette (when dithering) or the
    // global colour table, else frame 0's.  The picture owns it.
    HPALETTE GetPalette();
    HPALETTE GetPaletteHandle() const { return FPaletteHandle; }
    // Takes over the handle; a cached bitmap of another palette is dropped.
    void SetPalette(HPALETTE value);
    bool GetPaletteModified() const { return FPaletteModified; }
    void SetPaletteModified(bool value) { FPaletteModified = value; }
    // goDither, and goAutoDither only on a palette device.
    bool GetDoDither() const;
    // Appends a frame made from a graphic (a bitmap, an icon, a metafile,
    // a GIF picture or a picture-framework graphic); returns its index.
    // Anything else raises "Object type not supported for operation".
    int Add(const TPersistent* graphic);
    // The clipboard form.  Loading takes the "GIF Image" format (CF_GIF), a
    // global memory block holding a GIF stream, or CF_BITMAP with a bitmap
    // handle and its palette; data 0 is fetched from the open clipboard.
    // Anything else raises "Unsupported clipboard format".  Saving hands out
    // the rendered picture as CF_BITMAP (copies the caller owns) and places
    // the GIF stream on the open clipboard under CF_GIF; when the clipboard
    // takes no block, nothing is handed out and "Failed to store GIF on
    // clipboard" is raised; when no block can be had, only the bitmap is
    // handed out.  An empty picture sets nothing.
    void LoadFromClipboardFormat(uint16_t format, gdi::HANDLE data, HPALETTE palette);
    void SaveToClipboardFormat(uint16_t& format, gdi::HANDLE& data, HPALETTE& palette);
    // Drawing.  A still picture (one frame, or goAnimate clear) is drawn at
    // once; an animation by the drawing painter, into the cached bitmap
    // (the first Draw returns once the first frame is shown, or a
    // synchronous painting has ended, and shows it) or, with goDirectDraw,
    // straight onto canvas.  UI thread.
    void Draw(vcl::TCanvas& canvas, const vcl::TRect& rect);
    // A painter of its own for canvas and rect; an asynchronous one is
    // returned started (it frees itself when it ends), a synchronous one has
    // painted everything when this returns (nullptr).  Without an
    // application every painting is synchronous.  A handler of a painter's
    // event may clear, reload, copy over or free the picture, except a
    // handler that runs inside this picture's own Draw or synchronous Paint,
    // which must not free it.
    TGIFPainter* Paint(vcl::TCanvas& canvas, const vcl::TRect& rect, TGIFDrawOptions options);
    TGIFPainter* InternalPaint(std::atomic<TGIFPainter*>* slot, vcl::TCanvas& canvas, const vcl::TRect& rect,
                               TGIFDrawOptions options);
    void PaintStart();
    void PaintPause();
    void PaintResume();
    void PaintRestart();
    // Stops every painter and waits for the asynchronous ones, except those
    // whose event handler this call comes from: they end once it returns.
    void PaintStop();
    // Stops the drawing painter and waits for it (as PaintStop does).
    void StopDraw();
    TGIFPainter* GetDrawingPainter() const { return FDrawingPainter; }
    vcl::TThreadList<TGIFPainter>& GetPainterList() { return FPainters; }

    // The rendered picture, owned by the picture (nullptr when empty).
    vcl::TBitmap* GetBitmap();
    vcl::TBitmap* NewBitmap();
    void FreeBitmap();

    std::string ClassName() const override { return "TGIFImage"; }

    // Pixels held by the frames made for this picture.
    uint64_t GetPixelCount() const { return FPixelCount; }

protected:
    // A bitmap destination takes the rendered picture (GetBitmap); any other
    // raises the framework's "Cannot assign" error.
    void AssignTo(TPersistent* dest) const override;

private:
    friend class TGIFSubImage;
    friend class TGIFImageList;
    // A frame of this picture takes or gives back pixels; taking raises
    // "Invalid image dimensions" beyond GIFImageMaxPicturePixels.
    void ReservePixels(uint64_t count);
    void ReleasePixels(uint64_t count) { FPixelCount -= count; }

    friend class TGIFPainter;
    bool Has(TGIFDrawOption option) const { return (FDrawOptions & DrawOption(option)) != 0; }
    void DrawCachedBitmap(vcl::TCanvas& canvas, const vcl::TRect& rect, vcl::TBitmap* bitmap);
    void DetachPainters();

    uint64_t FPixelCount = 0;
    bool FDrawing = false;
    vcl::TThreadList<TGIFPainter> FPainters;
    std::atomic<TGIFPainter*> FDrawingPainter{nullptr};
    vcl::TBitmap* FCachedBitmap = nullptr;

    // The picture becomes one frame converted from another graphic.
    void AssignGraphic(const TPersistent* source);
    // Appends a frame converted from graphic; returns its index.
    int AddConverted(const TPersistent* graphic);

    std::unique_ptr<TGIFImageList> FImages;
    std::unique_ptr<TGIFHeader> FHeader;
    HPALETTE FPaletteHandle = 0;
    bool FPaletteModified = false;
    bool FPaletteGuard = false;
    TGIFDrawOptions FDrawOptions;
    TColorReduction FColorReduction;
    int FReductionBits;
    TDitherMode FDitherMode;
    TGIFCompression FCompression;
    TGIFWarning FOnWarning;
    TProgressEvent FOnProgress;
    TNotifyEvent FOnChange;
    TThreadPriority FThreadPriority;
    int FAnimationSpeed;
    int FForcedFrame = -1;
    TColor FDrawBackgroundColor = clNone;
};

}  // namespace gif
