// Colour lookups and the ditherers.  Every error-diffusion ditherer is
// checked against a plain two-dimensional error diffusion written here from
// the kernel tables.
#include <gtest/gtest.h>

#include <tuple>

#include "GifTestSupport.h"
#include "gif/GIFColor.h"

using namespace gif;
using namespace giftest;

namespace {


struct Shown {
    int index, r, g, b;
    bool operator==(const Shown&) const = default;
};

Shown Look(TColorLookup& lookup, int red, int green, int blue) {
    uint8_t r = 0, g = 0, b = 0;
    const int index = lookup.Lookup(static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue), r, g, b);
    return {index, r, g, b};
}

}  // namespace

TEST(ColorLookups, FixedLookups) {
    TNetscapeColorLookup web(0);
    TGrayScaleLookup grey(0);
    TMonochromeLookup mono(0);
    EXPECT_EQ(web.GetColorCount(), 216);
    EXPECT_EQ(grey.GetColorCount(), 256);
    EXPECT_EQ(mono.GetColorCount(), 2);
    EXPECT_EQ(Look(web, 47, 48, 255), (Shown{11, 0, 51, 255}));
    const std::pair<int, int> levels[] = {{0, 0},   {47, 0},  {48, 1},  {98, 1},  {99, 2},  {149, 2},
                                          {150, 3}, {200, 3}, {201, 4}, {251, 4}, {252, 5}, {255, 5}};
    for (auto [component, level] : levels) EXPECT_EQ(Look(web, component, 0, 0).index, level * 36) << component;
    EXPECT_EQ(Look(grey, 255, 255, 255), (Shown{255, 255, 255, 255}));
    EXPECT_EQ(Look(grey, 255, 0, 0), (Shown{76, 76, 76, 76}));
    EXPECT_EQ(Look(mono, 128, 127, 127), (Shown{1, 255, 255, 255}));
    EXPECT_EQ(Look(mono, 127, 127, 127), (Shown{0, 0, 0, 0}));
}

TEST(ColorLookups, FastLookupCachesTheFirstAnswerOfACell) {
    const HPALETTE bw = PaletteOf({{0, 0, 0, 0}, {255, 255, 255, 0}});
    TFastColorLookup fast(bw);
    EXPECT_EQ(fast.GetColorCount(), 2);
    EXPECT_EQ(Look(fast, 100, 100, 100), (Shown{0, 0, 0, 0}));  // 300 against 465
    EXPECT_EQ(Look(fast, 103, 103, 103), (Shown{0, 0, 0, 0}));  // same cell
    gdi::DeleteObject(bw);

    // Equal distances: the lower index.
    const HPALETTE tie = PaletteOf({{10, 0, 0, 0}, {0, 10, 0, 0}});
    TFastColorLookup tied(tie);
    EXPECT_EQ(Look(tied, 5, 5, 100).index, 0);
    gdi::DeleteObject(tie);
    // The first entry that falls into a cell owns it.
    const HPALETTE p = PaletteOf({{10, 0, 0, 0}, {0, 10, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 0}, {200, 200, 200, 0}});
    TFastColorLookup owned(p);
    EXPECT_EQ(Look(owned, 1, 1, 1), (Shown{2, 0, 0, 0}));  // cell 0 belongs to entry 2, not the exact 3
    EXPECT_EQ(Look(owned, 201, 201, 201), (Shown{4, 200, 200, 200}));

    // The slow lookup asks the palette itself: squared distance, exact entry.
    TSlowColorLookup slow(p);
    EXPECT_EQ(slow.GetColorCount(), 5);
    EXPECT_EQ(Look(slow, 1, 1, 1), (Shown{3, 1, 1, 1}));
    gdi::DeleteObject(p);
    const HPALETTE empty = PaletteOf({});
    EXPECT_EQ(TSlowColorLookup(empty).GetColorCount(), 0);
    EXPECT_EQ(TFastColorLookup(empty).GetColorCount(), 0);
    gdi::DeleteObject(empty);
}

namespace {

// A kernel as the tables give it: (line below, position in the direction of
// travel, weight).
struct Kernel {
    TDitherMode mode;
    int divisor;
    std::vector<std::tuple<int, int, int>> taps;
};

const std::vector<Kernel>& Kernels() {
    static const std::vector<Kernel> kernels{
        {dmFloydSteinberg, 16, {{0, 1, 7}, {1, -1, 3}, {1, 0, 5}, {1, 1, 1}}},
        {dmStucki, 42, {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2},
                        {2, -2, 1}, {2, -1, 2}, {2, 0, 4}, {2, 1, 2}, {2, 2, 1}}},
        {dmSierra, 32, {{0, 1, 5}, {0, 2, 3}, {1, -2, 2}, {1, -1, 4}, {1, 0, 5}, {1, 1, 4}, {1, 2, 2},
                        {2, -1, 2}, {2, 0, 3}, {2, 1, 2}}},
        {dmJaJuNI, 48, {{0, 1, 7}, {0, 2, 5}, {1, -2, 3}, {1, -1, 5}, {1, 0, 7}, {1, 1, 5}, {1, 2, 3},
                        {2, -2, 1}, {2, -1, 3}, {2, 0, 5}, {2, 1, 3}, {2, 2, 1}}},
        {dmSteveArche, 200, {{0, 2, 32}, {1, -3, 12}, {1, -1, 26}, {1, 1, 30}, {1, 3, 16}, {2, -2, 12},
                             {2, 0, 26}, {2, 2, 12}, {3, -3, 5}, {3, -1, 12}, {3, 1, 12}, {3, 3, 5}}},
        {dmBurkes, 32, {{0, 1, 8}, {0, 2, 4}, {1, -2, 2}, {1, -1, 4}, {1, 0, 8}, {1, 1, 4}, {1, 2, 2}}},
    };
    return kernels;
}

struct Image {
    int width, height;
    std::vector<std::array<uint8_t, 3>> pixels;
    const std::array<uint8_t, 3>& At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Image Noise(int width, int height, uint32_t seed) {
    Image image{width, height, {}};
    for (int i = 0; i < width * height; ++i) {
        std::array<uint8_t, 3> p{};
        for (auto& c : p) {
            seed = seed * 1103515245u + 12345u;
            c = static_cast<uint8_t>(seed >> 16);
        }
        image.pixels.push_back(p);
    }
    return image;
}

// Plain error diffusion: one error array per line; the top line left to
// right, then alternating; a passed-over pixel spreads nothing and the
// position of the error it reads and spreads stays behind by one.
std::vector<int> ReferenceDither(const Kernel& kernel, const Image& image, TColorLookup& lookup,
                                 const std::function<bool(int, int)>& skip) {
    std::vector<int> out(image.pixels.size(), -1);
    std::vector<std::array<std::vector<int>, 3>> error(static_cast<size_t>(image.height) + 4);
    for (auto& line : error)
        for (auto& channel : line) channel.assign(static_cast<size_t>(image.width), 0);
    for (int y = 0; y < image.height; ++y) {
        const int direction = y % 2 == 0 ? 1 : -1;
        int position = direction == 1 ? 0 : image.width - 1;
        for (int step = 0; step < image.width; ++step) {
            const int x = direction == 1 ? step : image.width - 1 - step;
            if (skip(x, y)) continue;
            int wanted[3];
            for (int c = 0; c < 3; ++c) {
                const int a = error[static_cast<size_t>(y)][static_cast<size_t>(c)][static_cast<size_t>(position)];
                wanted[c] = std::clamp(image.At(x, y)[static_cast<size_t>(c)] + (a + kernel.divisor / 2) / kernel.divisor, 0, 255);
            }
            uint8_t shown[3];
            out[static_cast<size_t>(y * image.width + x)] =
                lookup.Lookup(static_cast<uint8_t>(wanted[0]), static_cast<uint8_t>(wanted[1]),
                              static_cast<uint8_t>(wanted[2]), shown[0], shown[1], shown[2]);
            for (int c = 0; c < 3; ++c) {
                const int e = wanted[c] - shown[c];
                for (auto [dy, dx, weight] : kernel.taps) {
                    const int tx = position + dx * direction;
                    if (tx < 0 || tx >= image.width) continue;
                    error[static_cast<size_t>(y + dy)][static_cast<size_t>(c)][static_cast<size_t>(tx)] += e * weight;
                }
            }
            position += direction;
        }
    }
    return out;
}

// The ditherer under the calling protocol, passing over the pixels skip names.
std::vector<int> RunDitherer(TDitherEngine& ditherer, const Image& image, const std::function<bool(int, int)>& skip) {
    std::vector<int> out(image.pixels.size(), -1);
    for (int y = 0; y < image.height; ++y) {
        for (int x = ditherer.GetColumn(); x >= 0 && x < image.width; x = ditherer.GetColumn()) {
            if (skip(x, y)) {
                ditherer.AdvanceColumn();
                continue;
            }
            uint8_t r, g, b;
            const auto& p = image.At(x, y);
            out[static_cast<size_t>(y * image.width + x)] = ditherer.Dither(p[0], p[1], p[2], r, g, b);
        }
        ditherer.NextLine();
    }
    return out;
}

}  // namespace

TEST(Ditherers, EveryKernelMatchesAPlainErrorDiffusion) {
    const HPALETTE four = PaletteOf({{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 200, 60, 0}, {250, 250, 250, 0}});
    const auto none = [](int, int) { return false; };
    const auto holes = [](int x, int y) { return (x * 7 + y * 3) % 5 == 0; };
    const auto leading = [](int x, int y) { return y % 2 == 0 ? x < 2 : x > 4; };
    for (const Kernel& kernel : Kernels()) {
        for (int lookupKind = 0; lookupKind < 4; ++lookupKind) {
            for (const auto& [image, skipName] : {std::pair{Noise(7, 5, 3), 0}, std::pair{Noise(1, 6, 9), 0},
                                                 std::pair{Noise(7, 5, 11), 1}, std::pair{Noise(7, 4, 5), 2}}) {
                const std::function<bool(int, int)> skip = skipName == 0 ? std::function<bool(int, int)>(none)
                                                          : skipName == 1 ? holes : leading;
                // The single-row Floyd-Steinberg keeps, past a passed-over pixel, what the line
                // above sent to the columns its positions no longer reach; compare its first line only.
                const bool firstLineOnly = kernel.mode == dmFloydSteinberg && skipName != 0;
                auto lookupOf = [&]() -> std::unique_ptr<TColorLookup> {
                    switch (lookupKind) {
                        case 0: return std::make_unique<TMonochromeLookup>(0);
                        case 1: return std::make_unique<TNetscapeColorLookup>(0);
                        case 2: return std::make_unique<TSlowColorLookup>(four);
                        default: return std::make_unique<TGrayScaleLookup>(0);
                    }
                };
                auto lookupA = lookupOf(), lookupB = lookupOf();
                std::vector<int> expected = ReferenceDither(kernel, image, *lookupA, skip);
                auto ditherer = CreateDitherer(kernel.mode, image.width, *lookupB);
                std::vector<int> actual = RunDitherer(*ditherer, image, skip);
                if (firstLineOnly) {
                    expected.resize(static_cast<size_t>(image.width));
                    actual.resize(static_cast<size_t>(image.width));
                }
                EXPECT_EQ(actual, expected) << "mode " << kernel.mode << " lookup " << lookupKind << " image "
                                            << image.width << "x" << image.height << " skips " << skipName;
            }
        }
    }
    gdi::DeleteObject(four);
}

TEST(Ditherers, WorkedValuesAndEdges) {
    // Floyd-Steinberg, width 3, grey 8 on black and white: the second pixel wants 12.
    struct Recorder : TColorLookup {
        Recorder() : TColorLookup(0) { FColorCount = 2; }
        uint8_t Lookup(uint8_t red, uint8_t, uint8_t, uint8_t& r, uint8_t& g, uint8_t& b) override {
            asked.push_back(red);
            r = g = b = red > 127 ? 255 : 0;
            return red > 127;
        }
        std::vector<int> asked;
    } recorder;
    TFloydSteinbergDitherer fs(3, recorder);
    uint8_t r, g, b;
    fs.Dither(8, 8, 8, r, g, b);
    fs.Dither(8, 8, 8, r, g, b);
    EXPECT_EQ(recorder.asked, (std::vector<int>{8, 12}));

    // A wanted value beyond 255 is clamped and its error measured from 255: the
    // third pixel gets nothing from the second (measured from 299 it would get 19).
    recorder.asked.clear();
    TFloydSteinbergDitherer clamp(3, recorder);
    for (int v : {100, 255, 128}) clamp.Dither(static_cast<uint8_t>(v), 0, 0, r, g, b);
    EXPECT_EQ(recorder.asked, (std::vector<int>{100, 255, 128}));

    // With a lookup that shows every colour exactly, all ditherers agree with dmNearest.
    TGrayScaleLookup grey(0);
    Image greys = Noise(6, 4, 17);
    for (auto& p : greys.pixels) p[1] = p[2] = p[0];
    std::vector<int> nearest;
    {
        TDitherEngine engine(6, grey);
        nearest = RunDitherer(engine, greys, [](int, int) { return false; });
    }
    for (TDitherMode mode : {dmFloydSteinberg, dmStucki, dmSierra, dmJaJuNI, dmSteveArche, dmBurkes}) {
        auto d = CreateDitherer(mode, 6, grey);
        EXPECT_EQ(RunDitherer(*d, greys, [](int, int) { return false; }), nearest) << mode;
    }

    // A mode that names no ditherer maps each pixel to its nearest colour.
    const Image noise = Noise(7, 5, 23);
    TNetscapeColorLookup web(0);
    TDitherEngine plain(noise.width, web);
    const std::vector<int> nearestOfNoise = RunDitherer(plain, noise, [](int, int) { return false; });
    auto unknown = CreateDitherer(static_cast<TDitherMode>(42), noise.width, web);
    EXPECT_EQ(RunDitherer(*unknown, noise, [](int, int) { return false; }), nearestOfNoise);

    // The serpentine order: columns 0..2, then 2..0; one pixel wide keeps alternating.
    TDitherEngine engine(3, grey);
    EXPECT_EQ(engine.GetColumn(), 0);
    EXPECT_EQ(engine.GetDirection(), 1);
    engine.AdvanceColumn();
    engine.NextLine();
    EXPECT_EQ(engine.GetColumn(), 2);
    EXPECT_EQ(engine.GetDirection(), -1);
    TDitherEngine narrow(1, grey);
    narrow.NextLine();
    EXPECT_EQ(narrow.GetColumn(), 0);
    EXPECT_EQ(narrow.GetDirection(), -1);
}
