// Colour lookups and the dithering engine with its error-diffusion ditherers.
#include <algorithm>

#include "gif/GIFColor.h"

namespace gif {

// ---------------------------------------------------------------------------
// Colour lookups

TNetscapeColorLookup::TNetscapeColorLookup(HPALETTE palette) : TColorLookup(palette) { FColorCount = 216; }

uint8_t TNetscapeColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
    const int kr = (red + 3) / 51, kg = (green + 3) / 51, kb = (blue + 3) / 51;
    r = static_cast<uint8_t>(kr * 51);
    g = static_cast<uint8_t>(kg * 51);
    b = static_cast<uint8_t>(kb * 51);
    return static_cast<uint8_t>(kr * 36 + kg * 6 + kb);
}

TGrayScaleLookup::TGrayScaleLookup(HPALETTE palette) : TColorLookup(palette) { FColorCount = 256; }

uint8_t TGrayScaleLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
    const auto grey = static_cast<uint8_t>((red * 77 + green * 150 + blue * 29) >> 8);
    r = g = b = grey;
    return grey;
}

TMonochromeLookup::TMonochromeLookup(HPALETTE palette) : TColorLookup(palette) { FColorCount = 2; }

uint8_t TMonochromeLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
    if (red * 77 + green * 150 + blue * 29 <= 32512) {
        r = g = b = 0;
        return 0;
    }
    r = g = b = 255;
    return 1;
}

TSlowColorLookup::TSlowColorLookup(HPALETTE palette) : TColorLookup(palette), FPalette(palette) {
    const unsigned count = gdi::GetPaletteEntries(palette, 0, 0, nullptr);
    if (count > 0) {
        FPaletteEntries.resize(count);
        FPaletteEntries.resize(gdi::GetPaletteEntries(palette, 0, count, FPaletteEntries.data()));
    }
    FColorCount = static_cast<int>(FPaletteEntries.size());
}

uint8_t TSlowColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
    const auto index = static_cast<uint8_t>(gdi::GetNearestPaletteIndex(FPalette, gdi::RGB(red, green, blue)));
    if (index < FPaletteEntries.size()) {
        const TPaletteEntry& e = FPaletteEntries[index];
        r = e.peRed;
        g = e.peGreen;
        b = e.peBlue;
    }
    return index;
}

namespace {

constexpr int CacheCell(uint8_t red, uint8_t green, uint8_t blue) {
    return (blue >> 3) * 1024 + (green >> 3) * 32 + (red >> 3);
}

}  // namespace

TFastColorLookup::TFastColorLookup(HPALETTE palette) : TColorLookup(palette), FCache(new int16_t[32768]) {
    FColorCount = static_cast<int>(gdi::GetPaletteEntries(palette, 0, 256, FPaletteEntries.data()));
    std::fill_n(FCache.get(), 32768, int16_t{-1});
    for (int i = 0; i < FColorCount; ++i) {
        const TPaletteEntry& e = FPaletteEntries[static_cast<size_t>(i)];
        int16_t& cell = FCache[static_cast<size_t>(CacheCell(e.peRed, e.peGreen, e.peBlue))];
        if (cell == -1) cell = static_cast<int16_t>(i);
    }
}

uint8_t TFastColorLookup::Lookup(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
    int16_t& cell = FCache[static_cast<size_t>(CacheCell(red, green, blue))];
    if (cell == -1) {
        int best = 0, bestDistance = 196608;
        for (int i = 0; i < FColorCount; ++i) {
            const TPaletteEntry& e = FPaletteEntries[static_cast<size_t>(i)];
            const int distance = std::abs(e.peRed - red) + std::abs(e.peGreen - green) + std::abs(e.peBlue - blue);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        cell = static_cast<int16_t>(best);
    }
    const TPaletteEntry& e = FPaletteEntries[static_cast<size_t>(cell)];
    r = e.peRed;
    g = e.peGreen;
    b = e.peBlue;
    return static_cast<uint8_t>(cell);
}

// ---------------------------------------------------------------------------
// The dithering engine

TDitherEngine::TDitherEngine(int width, TColorLookup& lookup) : FLookup(&lookup), FWidth(width) {}

uint8_t TDitherEngine::Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
    const uint8_t index = FLookup->Lookup(red, green, blue, r, g, b);
    AdvanceColumn();
    return index;
}

void TDitherEngine::NextLine() {
    FDirection = -FDirection;
    FColumn = FDirection == 1 ? 0 : FWidth - 1;
}

namespace {

// The wanted component: the source plus the accumulated error, rounded and clamped.
inline uint8_t Wanted(uint8_t source, int32_t accumulated, int divisor) {
    return static_cast<uint8_t>(std::clamp(source + (accumulated + divisor / 2) / divisor, 0, 255));
}

}  // namespace

TErrorRows::TErrorRows(int lines, int width, int spare)
    : FLines(static_cast<size_t>(lines), std::vector<int32_t>(static_cast<size_t>(width + 2 * spare), 0)) {}

void TErrorRows::Rotate() {
    std::fill(FLines.front().begin(), FLines.front().end(), 0);
    std::rotate(FLines.begin(), FLines.begin() + 1, FLines.end());
}

TFloydSteinbergDitherer::TFloydSteinbergDitherer(int width, TColorLookup& lookup)
    : TDitherEngine(width, lookup), FPosition(1) {
    for (Channel& c : FChannels) c.Row.assign(static_cast<size_t>(width + 2), 0);
}

uint8_t TFloydSteinbergDitherer::Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g,
                                        uint8_t& b) {
    const uint8_t source[3] = {red, green, blue};
    uint8_t wanted[3];
    for (int i = 0; i < 3; ++i) {
        const Channel& c = FChannels[static_cast<size_t>(i)];
        wanted[i] = Wanted(source[i], c.Row[static_cast<size_t>(FPosition)] + c.Carried, 16);
    }
    const int direction = FDirection;
    const uint8_t index = TDitherEngine::Dither(wanted[0], wanted[1], wanted[2], r, g, b);
    const uint8_t shown[3] = {r, g, b};
    for (int i = 0; i < 3; ++i) {
        Channel& c = FChannels[static_cast<size_t>(i)];
        const int32_t error = wanted[i] - shown[i];
        c.Row[static_cast<size_t>(FPosition - direction)] = c.BelowPrevious + 3 * error;
        c.BelowPrevious = c.Below + 5 * error;
        c.Below = error;
        c.Carried = 7 * error;
    }
    FPosition += direction;
    return index;
}

void TFloydSteinbergDitherer::NextLine() {
    for (Channel& c : FChannels) {
        c.Row[static_cast<size_t>(FPosition - FDirection)] = c.BelowPrevious;
        c.Carried = c.BelowPrevious = c.Below = 0;
    }
    TDitherEngine::NextLine();
    FPosition = FColumn + 1;
}

TRowDitherer::TRowDitherer(int width, TColorLookup& lookup, int lines, int spare, int divisor)
    : TDitherEngine(width, lookup),
      FDivisor(divisor),
      FSpare(spare),
      FLineCount(lines),
      FRows{TErrorRows(lines, width, spare), TErrorRows(lines, width, spare), TErrorRows(lines, width, spare)},
      FPosition(spare) {}

uint8_t TRowDitherer::Dither(uint8_t red, uint8_t green, uint8_t blue, uint8_t& r, uint8_t& g, uint8_t& b) {
    const uint8_t source[3] = {red, green, blue};
    uint8_t wanted[3];
    for (int i = 0; i < 3; ++i)
        wanted[i] = Wanted(source[i], FRows[static_cast<size_t>(i)].Line(0)[FPosition], FDivisor);
    const int direction = FDirection;
    const uint8_t index = TDitherEngine::Dither(wanted[0], wanted[1], wanted[2], r, g, b);
    const uint8_t shown[3] = {r, g, b};
    for (int i = 0; i < 3; ++i) {
        const int error = wanted[i] - shown[i];
        if (error == 0) continue;
        std::array<int32_t*, 4> lines{};
        for (int line = 0; line < FLineCount; ++line)
            lines[static_cast<size_t>(line)] = FRows[static_cast<size_t>(i)].Line(line) + FPosition;
        SpreadError(lines, error);
    }
    FPosition += direction;
    return index;
}

void TRowDitherer::NextLine() {
    for (TErrorRows& rows : FRows) rows.Rotate();
    TDitherEngine::NextLine();
    FPosition = FColumn + FSpare;
}

void TRowDitherer::Spread(std::array<int32_t*, 4>& lines, int error, std::initializer_list<TKernelTap> kernel) const {
    for (const TKernelTap& tap : kernel) {
        const int offset = tap.Position * FDirection;
        lines[static_cast<size_t>(tap.Line)][offset] += tap.Weight * error;
    }
}

void TStuckiDitherer::SpreadError(std::array<int32_t*, 4>& lines, int error) {
    Spread(lines, error, {{0, 1, 8}, {0, 2, 4},                                          //
                          {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},       //
                          {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}});
}

void TSierraDitherer::SpreadError(std::array<int32_t*, 4>& lines, int error) {
    Spread(lines, error, {{0, 1, 5}, {0, 2, 3},                                          //
                          {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},       //
                          {2, -1, 2}, {2, 0, 3}, {2, 1, 2}});
}

void TJaJuNiDitherer::SpreadError(std::array<int32_t*, 4>& lines, int error) {
    Spread(lines, error, {{0, 1, 7}, {0, 2, 5},                                          //
                          {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},       //
                          {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}});
}

void TSteveArcheDitherer::SpreadError(std::array<int32_t*, 4>& lines, int error) {
    Spread(lines, error, {{0, 2, 32},                                                    //
                          {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16},              //
                          {2, -2, 12}, {2, 0, 26}, {2, 2, 12},                           //
                          {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}});
}

void TBurkesDitherer::SpreadError(std::array<int32_t*, 4>& lines, int error) {
    Spread(lines, error, {{0, 1, 8}, {0, 2, 4},                                          //
                          {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}});
}

std::unique_ptr<TDitherEngine> CreateDitherer(TDitherMode mode, int width, TColorLookup& lookup) {
    switch (mode) {
        case dmFloydSteinberg: return std::make_unique<TFloydSteinbergDitherer>(width, lookup);
        case dmStucki: return std::make_unique<TStuckiDitherer>(width, lookup);
        case dmSierra: return std::make_unique<TSierraDitherer>(width, lookup);
        case dmJaJuNI: return std::make_unique<TJaJuNiDitherer>(width, lookup);
        case dmSteveArche: return std::make_unique<TSteveArcheDitherer>(width, lookup);
        case dmBurkes: return std::make_unique<TBurkesDitherer>(width, lookup);
        default: return std::make_unique<TDitherEngine>(width, lookup);
    }
}

}  // namespace gif
