// The octree quantizer, the palette builders and colour reduction.
#include <algorithm>

#include "gif/GIFColor.h"
#include "gif/GIFDrawing.h"

namespace gif {

namespace {

constexpr uint8_t kLevelMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};

HPALETTE FixedPalette(std::initializer_list<uint8_t> levels) {
    gdi::LOGPALETTE palette;
    for (uint8_t level : levels) palette.palPalEntry[palette.palNumEntries++] = {level, level, level, gdi::PC_NOCOLLAPSE};
    return gdi::CreatePalette(&palette);
}

}  // namespace

// ---------------------------------------------------------------------------
// Octree

TOctreeNode::TOctreeNode(int level, int colorBits, int& leafCount, std::array<TOctreeNode*, 8>& reducibleNodes) {
    if (level == colorBits) {
        IsLeaf = true;
        ++leafCount;
    } else {
        Next = reducibleNodes[static_cast<size_t>(level)];
        reducibleNodes[static_cast<size_t>(level)] = this;
    }
}

TOctreeNode::~TOctreeNode() {
    for (int i = 7; i >= 0; --i) delete Children[static_cast<size_t>(i)];
}

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : FMaxColors(std::max(maxColors, 1)), FColorBits(std::clamp(colorBits, 1, 8)) {}

TColorQuantizer::~TColorQuantizer() { FreeTree(FTree); }

void TColorQuantizer::FreeTree(TOctreeNode*& node) {
    delete node;  // a node frees its children, 7 down to 0
    node = nullptr;
}

bool TColorQuantizer::AddImage(TDIBReader& reader) {
    const int width = reader.GetWidth(), height = reader.GetHeight();
    for (int row = 0; row < height; ++row) {
        const uint8_t* pixel = reader.GetScanLine(row);
        for (int x = 0; x < width; ++x, pixel += 3) {
            InsertColor(FTree, pixel[2], pixel[1], pixel[0], 0);
            while (FLeafCount > FMaxColors) MergeDeepestNode();
        }
    }
    return true;
}

void TColorQuantizer::InsertColor(TOctreeNode*& node, uint8_t red, uint8_t green, uint8_t blue, int level) {
    TOctreeNode** current = &node;
    for (;; ++level) {
        if (*current == nullptr) *current = new TOctreeNode(level, FColorBits, FLeafCount, FReducibleNodes);
        TOctreeNode* n = *current;
        if (n->IsLeaf) {
            ++n->PixelCount;
            n->RedSum += red;
            n->GreenSum += green;
            n->BlueSum += blue;
            return;
        }
        const int shift = 7 - level;
        const uint8_t mask = kLevelMask[level];
        const int child = ((red & mask) >> shift) << 2 | ((green & mask) >> shift) << 1 | ((blue & mask) >> shift);
        current = &n->Children[static_cast<size_t>(child)];
    }
}

void TColorQuantizer::MergeDeepestNode() {
    int level = FColorBits - 1;
    while (level > 0 && FReducibleNodes[static_cast<size_t>(level)] == nullptr) --level;
    TOctreeNode* node = FReducibleNodes[static_cast<size_t>(level)];
    if (node == nullptr) return;
    FReducibleNodes[static_cast<size_t>(level)] = node->Next;
    int children = 0;
    for (TOctreeNode*& child : node->Children) {
        if (child == nullptr) continue;
        node->PixelCount += child->PixelCount;
        node->RedSum += child->RedSum;
        node->GreenSum += child->GreenSum;
        node->BlueSum += child->BlueSum;
        FreeTree(child);
        ++children;
    }
    node->IsLeaf = true;
    FLeafCount -= children - 1;
}

int TColorQuantizer::FillColorTable(gdi::RGBQUAD* quads, int capacity) const {
    int count = 0;
    const auto walk = [&](const auto& self, const TOctreeNode* node) -> void {
        if (node == nullptr) return;
        if (node->IsLeaf) {
            if (count >= capacity) return;
            gdi::RGBQUAD& q = quads[count++];
            q = {0, 0, 0, 0};
            if (node->PixelCount > 0) {
                q.rgbRed = static_cast<uint8_t>(node->RedSum / node->PixelCount);
                q.rgbGreen = static_cast<uint8_t>(node->GreenSum / node->PixelCount);
                q.rgbBlue = static_cast<uint8_t>(node->BlueSum / node->PixelCount);
            }
            return;
        }
        for (const TOctreeNode* child : node->Children) self(self, child);
    };
    walk(walk, FTree);
    return count;
}

// ---------------------------------------------------------------------------
// Palettes

namespace {

// Builds the quantized palette from quantizers fed by `feed`.
template <class Feed>
HPALETTE QuantizedPalette(int colors, int colorBits, bool windows, Feed feed) {
    gdi::LOGPALETTE palette;
    colors = std::clamp(colors, 1, 256);
    for (gdi::PALETTEENTRY& e : palette.palPalEntry) e = {0, 0, 0, gdi::PC_NOCOLLAPSE};
    palette.palNumEntries = static_cast<uint16_t>(colors);
    int start = 0;
    if (windows) {
        gdi::PALETTEENTRY system[20]{};
        gdi::GetPaletteEntries(gdi::GetStockObject(gdi::DEFAULT_PALETTE), 0, 20, system);
        std::copy_n(system, 10, palette.palPalEntry);
        std::copy_n(system + 10, 10, palette.palPalEntry + 246);
        colors = 236;
        palette.palNumEntries = 256;
        start = 10;
    }
    // Slots the octree leaves without a colour stay black.
    gdi::RGBQUAD quads[256]{};
    {
        TColorQuantizer quantizer(colors, colorBits);
        feed(quantizer);
        quantizer.FillColorTable(quads, 256);
    }
    for (int i = 0; i < colors; ++i)
        palette.palPalEntry[start + i] = {quads[i].rgbRed, quads[i].rgbGreen, quads[i].rgbBlue, quads[i].rgbReserved};
    return gdi::CreatePalette(&palette);
}

}  // namespace

HPALETTE CreateQuantizedPalette(TDIBReader& reader, int colors, int colorBits, bool windows) {
    return QuantizedPalette(colors, colorBits, windows, [&](TColorQuantizer& q) { q.AddImage(reader); });
}

HPALETTE CreateQuantizedBitmapPalette(TBitmap& bitmap, int colors, int colorBits, bool windows) {
    TDIBReader reader(bitmap, vcl::pf24bit);
    return CreateQuantizedPalette(reader, colors, colorBits, windows);
}

HPALETTE CreateOptimizedPaletteFromManyBitmaps(const std::vector<TBitmap*>* bitmaps, int colors, int colorBits,
                                               bool windows) {
    if (bitmaps == nullptr || bitmaps->empty()) RaiseGIFError(_sInvalidBitmapList);
    return QuantizedPalette(colors, colorBits, windows, [&](TColorQuantizer& q) {
        for (TBitmap* bitmap : *bitmaps) {
            TDIBReader reader(*bitmap, vcl::pf24bit);
            q.AddImage(reader);
        }
    });
}

HPALETTE CreateGrayScalePalette() {
    gdi::LOGPALETTE palette;
    palette.palNumEntries = 256;
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<uint8_t>(i);
        palette.palPalEntry[i] = {level, level, level, gdi::PC_NOCOLLAPSE};
    }
    return gdi::CreatePalette(&palette);
}

HPALETTE CreateMonochromePalette() { return FixedPalette({0, 255}); }

HPALETTE CreateWindowsGrayPalette() { return FixedPalette({0, 128, 192, 255}); }

HPALETTE CreateHalftoneScreenPalette() {
    const TGDIGuard screen = TGDIGuard::ScreenDC();
    return gdi::CreateHalftonePalette(screen.Handle());
}

// ---------------------------------------------------------------------------
// Colour reduction

std::unique_ptr<TBitmap> ReduceColors(TBitmap& bitmap, TColorReduction colorReduction, TDitherMode ditherMode,
                                      int reductionBits, HPALETTE customPalette) {
    auto result = std::make_unique<TBitmap>();
    if (colorReduction == rmNone) {
        result->Assign(&bitmap);
        SetBitmapPixelFormat(*result, vcl::pf24bit);
        return result;
    }
    const int width = bitmap.GetWidth(), height = bitmap.GetHeight();
    if (static_cast<int64_t>(width) * height > 500000) SetBitmapPixelFormat(*result, vcl::pf1bit);

    TDIBReader reader(bitmap, vcl::pf24bit);
    TGDIGuard palette;
    std::unique_ptr<TColorLookup> lookup;
    switch (colorReduction) {
        case rmWindows20:
            palette = TGDIGuard::Object(gdi::GetStockObject(gdi::DEFAULT_PALETTE));
            lookup = std::make_unique<TSlowColorLookup>(palette.Handle());
            break;
        case rmWindows256:
            palette = TGDIGuard::Object(CreateHalftoneScreenPalette());
            lookup = std::make_unique<TSlowColorLookup>(palette.Handle());
            break;
        case rmWindowsGray:
            palette = TGDIGuard::Object(CreateWindowsGrayPalette());
            lookup = std::make_unique<TSlowColorLookup>(palette.Handle());
            break;
        case rmMonochrome:
            palette = TGDIGuard::Object(CreateMonochromePalette());
            lookup = std::make_unique<TMonochromeLookup>(palette.Handle());
            break;
        case rmGrayScale:
            palette = TGDIGuard::Object(CreateGrayScalePalette());
            lookup = std::make_unique<TGrayScaleLookup>(palette.Handle());
            break;
        case rmNetscape:
            palette = TGDIGuard::Object(WebPalette());
            lookup = std::make_unique<TNetscapeColorLookup>(palette.Handle());
            break;
        case rmQuantize:
            palette = TGDIGuard::Object(CreateQuantizedPalette(reader, 1 << std::clamp(reductionBits, 1, 8), 8, false));
            lookup = std::make_unique<TFastColorLookup>(palette.Handle());
            break;
        case rmQuantizeWindows:
            palette = TGDIGuard::Object(CreateQuantizedBitmapPalette(bitmap, 256, 8, true));
            lookup = std::make_unique<TSlowColorLookup>(palette.Handle());
            break;
        case rmPalette:
            palette = TGDIGuard::Object(gdi::CopyPalette(customPalette));
            lookup = std::make_unique<TSlowColorLookup>(palette.Handle());
            break;
        default: RaiseGIFError(_sInvalidReduction);
    }
    // A palette without colours maps nothing: an error, not an empty picture.
    if (lookup->GetColorCount() == 0) RaiseGIFError(_sInvalidReduction);

    std::unique_ptr<TDitherEngine> ditherer = CreateDitherer(ditherMode, width, *lookup);
    TDIBWriter writer(*result, vcl::pf8bit, width, height, palette.Handle());
    for (int row = 0; row < height; ++row) {
        const uint8_t* source = reader.GetScanLine(row);
        uint8_t* target = writer.GetScanLine(row);
        uint8_t r, g, b;
        for (int x = ditherer->GetColumn(); x >= 0 && x < width; x = ditherer->GetColumn()) {
            const uint8_t* pixel = source + 3 * x;
            target[x] = ditherer->Dither(pixel[2], pixel[1], pixel[0], r, g, b);
        }
        ditherer->NextLine();
    }
    writer.Finish();
    return result;
}

}  // namespace gif
