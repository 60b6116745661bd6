// Constants and types of the GIF unit: its exception and message table, the
// enums and option sets, the exported default settings, and the routines the
// unit's parts share: byte and text sub-block I/O at a stream's position, the
// web palette, the check of a graphics call's result, the bitmap's pixel
// format.
//
// RaiseGIFError raises GIFException (an rtl::EInvalidGraphic) with the text
// it is given; the unit gives it the message table's texts, which are kept
// byte for byte.  The default settings are plain globals: a picture takes the
// draw, colour, compression, priority and speed defaults when it is made.
// ReadExact raises "Premature end of data" on a short stream;
// ReadByteFromStream never raises.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gdi/Gdi.h"
#include "rtl/Classes.h"
#include "rtl/SysUtils.h"
#include "vcl/Bitmap.h"

namespace gif {

using rtl::TObject;
using rtl::TPersistent;
using rtl::TStream;

// The unit's exception: every fatal condition of the unit.
class GIFException : public rtl::EInvalidGraphic {
public:
    using rtl::EInvalidGraphic::EInvalidGraphic;
};

// The enumerations have a fixed underlying type, so that a caller may hand
// the unit any byte in one: a value that names no member meets the unit's
// fallback or error instead of being undefined behaviour.
enum TGIFSeverity : uint8_t { gsInfo, gsWarning, gsError };
enum TGIFVersion : uint8_t { gvUnknown, gv87a, gv89a };
using TGIFVersionRec = std::array<char, 3>;
// Version texts of gv87a and gv89a (gvUnknown has none: three zero bytes).
extern const TGIFVersionRec GIFVersions[3];

using TGIFWarning = std::function<void(TObject* sender, TGIFSeverity severity, const std::string& message)>;

enum TGIFDrawOption : uint8_t {
    goAsync, goTransparent, goAnimate, goLoop, goLoopContinously, goValidateCanvas,
    goDirectDraw, goClearOnLoop, goTile, goDither, goAutoDither
};
using TGIFDrawOptions = uint16_t;  // bit n = option n
// The option's bit; none for a value past the set's 16 bits.
constexpr TGIFDrawOptions DrawOption(TGIFDrawOption option) {
    return option < 16 ? static_cast<TGIFDrawOptions>(1u << option) : 0;
}

enum TColorReduction : uint8_t {
    rmNone, rmWindows20, rmWindows256, rmWindowsGray, rmMonochrome, rmGrayScale, rmNetscape,
    rmQuantize, rmQuantizeWindows, rmPalette
};
enum TDitherMode : uint8_t { dmNearest, dmFloydSteinberg, dmStucki, dmSierra, dmJaJuNI, dmSteveArche, dmBurkes };
enum TGIFCompression : uint8_t { gcLZW, gcRLE };
enum TGIFOptimizeOption : uint8_t { ooCrop, ooMerge, ooCleanup, ooColorMap, ooReduceColors };
using TGIFOptimizeOptions = uint8_t;  // bit n = option n
enum TDisposalMethod : uint8_t { dmNone, dmNoDisposal, dmBackground, dmPrevious };
enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

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

// The option's bit; none for a value past the set's 8 bits.
constexpr TGIFOptimizeOptions OptimizeOption(TGIFOptimizeOption option) {
    return option < 8 ? static_cast<TGIFOptimizeOptions>(1u << option) : 0;
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

}  // namespace gif
