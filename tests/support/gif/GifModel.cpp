#include "GifModel.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace giforacle {

namespace {

struct Rng {
    uint64_t State;
    explicit Rng(uint32_t seed) : State(0x9E3779B97F4A7C15ull ^ seed) {}
    uint32_t Next() {
        State ^= State << 13;
        State ^= State >> 7;
        State ^= State << 17;
        return static_cast<uint32_t>(State >> 16);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

}  // namespace

int TableBits(size_t count) {
    int bits = 1;
    while ((size_t{1} << bits) < count && bits < 8) ++bits;
    return bits;
}

std::vector<Rgb> DistinctPalette(size_t count, uint32_t seed) {
    Rng rng(seed);
    std::set<uint32_t> used;
    std::vector<Rgb> palette;
    while (palette.size() < count) {
        uint32_t c = rng.Next() & 0xFFFFFF;
        if (!used.insert(c).second) continue;
        palette.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
    return palette;
}

std::vector<uint8_t> PhotoLike(int width, int height, int colors, uint32_t seed) {
    // Smooth light with a little sensor noise, as a photograph quantised to a
    // palette looks: long runs broken by frequent small steps.
    Rng rng(seed);
    double fx = 0.004 + rng.Below(100) * 0.0001, fy = 0.006 + rng.Below(100) * 0.0001;
    double phase = rng.Below(628) * 0.01;
    std::vector<uint8_t> px(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double v = 0.5 + 0.22 * std::sin(x * fx + phase) * std::cos(y * fy) +
                       0.18 * std::sin((x + y) * fx * 0.7) + 0.08 * std::cos(y * fy * 3.1 + x * 0.001);
            int level = static_cast<int>(v * colors) + rng.Below(3) - 1;
            px[size_t(y) * width + x] = static_cast<uint8_t>(std::clamp(level, 0, colors - 1));
        }
    return px;
}

std::vector<uint8_t> LineArt(int width, int height, int colors, uint32_t seed) {
    // A diagram: flat background, filled boxes, straight and slanted lines.
    Rng rng(seed);
    std::vector<uint8_t> px(size_t(width) * height, 0);
    auto put = [&](int x, int y, int c) {
        if (x >= 0 && y >= 0 && x < width && y < height) px[size_t(y) * width + x] = uint8_t(c);
    };
    int shapes = std::max(4, width * height / 20000);
    for (int s = 0; s < shapes; ++s) {
        int c = 1 + rng.Below(std::max(1, colors - 1));
        int x0 = rng.Below(width), y0 = rng.Below(height);
        int w = 1 + rng.Below(std::max(1, width / 4)), h = 1 + rng.Below(std::max(1, height / 4));
        switch (rng.Below(3)) {
        case 0:
            for (int y = y0; y < y0 + h; ++y)
                for (int x = x0; x < x0 + w; ++x) put(x, y, c);
            break;
        case 1:
            for (int x = x0; x < x0 + w; ++x) put(x, y0, c), put(x, y0 + h, c);
            for (int y = y0; y < y0 + h; ++y) put(x0, y, c), put(x0 + w, y, c);
            break;
        default:
            for (int i = 0; i < w; ++i) put(x0 + i, y0 + i * h / w, c);
            break;
        }
    }
    return px;
}

std::vector<uint8_t> Noise(int width, int height, int colors, uint32_t seed) {
    Rng rng(seed);
    std::vector<uint8_t> px(size_t(width) * height);
    for (auto& p : px) p = static_cast<uint8_t>(rng.Below(colors));
    return px;
}

std::vector<int> InterlacedRowOrder(int height) {
    std::vector<int> rows;
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
    return rows;
}

}  // namespace giforacle
