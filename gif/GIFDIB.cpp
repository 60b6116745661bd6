// Row access to bitmaps: reading any bitmap in a chosen pixel format and
// writing a device-independent bitmap that is loaded into a bitmap at the end.
#include <cstring>
#include <new>

#include "gif/GIFColor.h"
#include "gif/GIFDrawing.h"

namespace gif {

namespace {

// The largest pixel block a writer allocates.
constexpr uint64_t kMaxDIBBytes = uint64_t{1} << 31;

}  // namespace

// ---------------------------------------------------------------------------
// TDIBReader

TDIBReader::TDIBReader(TBitmap& bitmap, TPixelFormat pixelFormat) : TDIB(bitmap, pixelFormat) {
    if (BitmapPixelFormat(bitmap) == pixelFormat) return;
    FCopy = std::make_unique<TBitmap>();
    FCopy->Assign(&bitmap);
    SetBitmapPixelFormat(*FCopy, pixelFormat);
    FBitmap = FCopy.get();
}

uint8_t* TDIBReader::GetScanLine(int row) { return FBitmap->GetScanLine(row); }

// ---------------------------------------------------------------------------
// TDIBWriter

TDIBWriter::TDIBWriter(TBitmap& bitmap, TPixelFormat pixelFormat, int width, int height, HPALETTE palette)
    : TDIB(bitmap, pixelFormat), FPalette(palette), FHeight(height), FWidth(width) {
    if (pixelFormat != vcl::pf8bit && pixelFormat != vcl::pf24bit) RaiseGIFError(_sInvalidPixelFormat);
    if (width <= 0 || height <= 0) RaiseGIFError(_sBadDimension);
}

TDIBWriter::~TDIBWriter() {
    try {
        StoreIntoBitmap();
    } catch (...) {
        // Only a failed allocation can end up here; the bitmap keeps what it had.
    }
    ReleaseDIB();
}

void TDIBWriter::Finish() {
    StoreIntoBitmap();
    ReleaseDIB();
}

uint8_t* TDIBWriter::GetScanLine(int row) {
    EnsureDIB();
    if (FBits == nullptr) RaiseGIFError(_sNoDIB);
    if (row < 0 || row >= FHeight) throw rtl::EInvalidGraphicOperation("Scan line index out of range");
    gdi::GdiFlush();
    if (FInfo->bmiHeader.biHeight > 0) row = FHeight - row - 1;
    const size_t rowSize = static_cast<size_t>(ScanlineBytes(FWidth, FInfo->bmiHeader.biBitCount, 32));
    return FBits.get() + rowSize * static_cast<size_t>(row);
}

void TDIBWriter::AllocateDIB() {
    ReleaseDIB();
    try {
        const bool indexed = FPixelFormat == vcl::pf8bit;
        FInfoSize = indexed ? 40 + 256 * 4 : 40;
        FInfo = std::make_unique<gdi::BITMAPINFO>();
        gdi::BITMAPINFOHEADER& header = FInfo->bmiHeader;
        header.biSize = 40;
        header.biWidth = FWidth;
        header.biHeight = FHeight;
        header.biPlanes = 1;
        header.biCompression = gdi::BI_RGB;
        header.biSizeImage = 0;
        if (indexed) {
            header.biBitCount = 8;
            uint16_t count = 0;
            if (FPalette != 0 && gdi::GetObject(FPalette, &count) == 0) count = 0;
            if (count > 256) count = 256;
            if (count > 0) {
                // The palette entries (red, green, blue, flags) become quads
                // (blue, green, red, 0) in place.
                auto* entries = reinterpret_cast<TPaletteEntry*>(FInfo->bmiColors);
                const unsigned n = gdi::GetPaletteEntries(FPalette, 0, count, entries);
                for (unsigned i = 0; i < n; ++i) {
                    const TPaletteEntry e = entries[i];
                    FInfo->bmiColors[i] = {e.peBlue, e.peGreen, e.peRed, 0};
                }
            }
            header.biClrUsed = 256;
            header.biClrImportant = count;
        } else {
            header.biBitCount = 24;
            header.biClrUsed = 0;
            header.biClrImportant = 0;
        }
        const uint64_t size =
            static_cast<uint64_t>(ScanlineBytes(FWidth, header.biBitCount, 32)) * static_cast<uint64_t>(FHeight);
        if (size > kMaxDIBBytes) throw std::bad_alloc();
        FBits.reset(new uint8_t[size]());
        FBitsSize = static_cast<size_t>(size);
    } catch (const std::bad_alloc&) {
        ReleaseDIB();
        throw rtl::EOutOfMemory(_sOutOfMemDIB);
    } catch (...) {
        ReleaseDIB();
        throw;
    }
}

void TDIBWriter::ReleaseDIB() {
    FInfo.reset();
    FBits.reset();
    FInfoSize = 0;
    FBitsSize = 0;
}

void TDIBWriter::EnsureDIB() {
    if (FBits == nullptr) AllocateDIB();
}

void TDIBWriter::StoreIntoBitmap() {
    if (FBits == nullptr) return;
    rtl::TMemoryStream stream;
    const size_t total = 14 + FInfoSize + FBitsSize;
    gdi::BITMAPFILEHEADER file{0x4D42, static_cast<uint32_t>(total), 0, 0, static_cast<uint32_t>(14 + FInfoSize)};
    stream.SetSize(static_cast<int64_t>(total));
    stream.WriteBuffer(&file, sizeof(file));
    stream.WriteBuffer(FInfo.get(), static_cast<int64_t>(FInfoSize));
    stream.WriteBuffer(FBits.get(), static_cast<int64_t>(FBitsSize));
    stream.SetPosition(0);
    FBitmap->LoadFromStream(stream);
}

// ---------------------------------------------------------------------------
// The exported DIB routines

namespace {

gdi::BITMAPINFOHEADER DIBHeader(HBITMAP bitmap, TPixelFormat pixelFormat) {
    gdi::BITMAP description{};
    gdi::DIBSECTION dib{};
    const int bytes = gdi::GetObject(bitmap, &description, &dib);
    if (bytes == 0) throw GIFException("Bitmap image is not valid");
    gdi::BITMAPINFOHEADER header{};
    if (bytes >= 64 && dib.dsBmih.biSize >= 40) {
        header = dib.dsBmih;
    } else {
        header.biWidth = description.bmWidth;
        header.biHeight = description.bmHeight;
    }
    header.biSize = 40;
    switch (pixelFormat) {
        case vcl::pf1bit: header.biBitCount = 1; break;
        case vcl::pf4bit: header.biBitCount = 4; break;
        case vcl::pf8bit: header.biBitCount = 8; break;
        case vcl::pf24bit: header.biBitCount = 24; break;
        default: RaiseGIFError(_sInvalidPixelFormat);
    }
    header.biPlanes = 1;
    header.biCompression = gdi::BI_RGB;
    const int64_t height = header.biHeight < 0 ? -static_cast<int64_t>(header.biHeight) : header.biHeight;
    header.biSizeImage = static_cast<uint32_t>(ScanlineBytes(header.biWidth, header.biBitCount, 32) * height);
    return header;
}

}  // namespace

void InternalGetDIBSizes(HBITMAP bitmap, int& infoHeaderSize, int& imageSize, TPixelFormat pixelFormat) {
    const gdi::BITMAPINFOHEADER header = DIBHeader(bitmap, pixelFormat);
    infoHeaderSize = header.biBitCount <= 8 ? 40 + 4 * (1 << header.biBitCount) : 40;
    imageSize = static_cast<int>(header.biSizeImage);
}

bool InternalGetDIB(HBITMAP bitmap, HPALETTE palette, gdi::BITMAPINFO& info, void* bits, TPixelFormat pixelFormat) {
    info.bmiHeader = DIBHeader(bitmap, pixelFormat);
    const TGDIGuard dc = TGDIGuard::DC(gdi::CreateCompatibleDC(0));
    if (dc.Handle() == 0) return false;
    const TGDIGuard selected = palette != 0 ? TGDIGuard::PaletteSelection(dc.Handle(), palette) : TGDIGuard();
    const int height = info.bmiHeader.biHeight < 0 ? -info.bmiHeader.biHeight : info.bmiHeader.biHeight;
    return gdi::GetDIBits(dc.Handle(), bitmap, 0, static_cast<unsigned>(height), bits, &info, gdi::DIB_RGB_COLORS) !=
           0;
}

}  // namespace gif
