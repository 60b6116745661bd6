// The picture (TGIFImage): header, frames and trailer; loading and saving
// through streams, files, resources, form streams and the clipboard;
// conversion from and to other graphics; the optimiser; drawing and
// animation through painters (gif/GIFPainter.h).
//
// A load starts from an empty picture; when it fails, the stream is back
// where it was, the picture keeps the frames read before the error, and the
// error reaches the caller.  Warnings go to OnGIFWarning, progress to
// OnProgress.  The picture owns its frames, its palette handle and its
// rendered bitmap.  Drawing, and every painter's drawing and events, run on
// the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "gdi/Clipboard.h"
#include "gif/GIFColorMap.h"
#include "gif/GIFFrame.h"
#include "gif/GIFHeader.h"
#include "gif/GIFImageList.h"
#include "gif/GIFTypes.h"
#include "rtl/Classes.h"
#include "rtl/Resources.h"
#include "vcl/Bitmap.h"
#include "vcl/Thread.h"

namespace gif {

class TGIFPainter;

enum TProgressStage : uint8_t { psStarting, psRunning, psEnding };
using TRect = vcl::TRect;
using TProgressEvent = std::function<void(TObject* sender, TProgressStage stage, uint8_t percentDone,
                                          bool redrawNow, const TRect& rect, const std::string& message)>;
using TNotifyEvent = std::function<void(TObject* sender)>;

class TGIFImage : public rtl::TInterfacedPersistent {
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
    // The framework's transparency flag of a graphic: kept as set, and a
    // change is reported through Changed.  Drawing follows the frames' own
    // transparency (GetIsTransparent), not this flag.
    bool GetTransparent() const { return FTransparent; }
    void SetTransparent(bool value);
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
    // event may clear, reload, copy over or free the picture, also while
    // the Draw or Paint that started the painting has not returned.
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

    bool FTransparent = false;
    uint64_t FPixelCount = 0;
    bool FDrawing = false;
    // Draw watches it: a handler of the painting Draw waits for may free
    // the picture.
    const std::shared_ptr<const bool> FAlive = std::make_shared<const bool>(true);
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
