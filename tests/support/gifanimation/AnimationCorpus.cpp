#include "AnimationCorpus.h"

#include <algorithm>
#include <set>

namespace gifopt {

using giforacle::Control;
using giforacle::Frame;
using giforacle::Picture;
using giforacle::Rgb;

namespace {

class Rng {
public:
    explicit Rng(uint32_t seed) : state_(seed * 2654435761u + 1) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int Below(int n) { return n <= 1 ? 0 : static_cast<int>(Next() % static_cast<uint32_t>(n)); }
    bool Chance(int percent) { return Below(100) < percent; }
    template <typename T>
    T Pick(std::initializer_list<T> values) {
        return *(values.begin() + Below(static_cast<int>(values.size())));
    }

private:
    uint32_t state_;
};

uint32_t Key(const Rgb& c) { return uint32_t{c.R} << 16 | uint32_t{c.G} << 8 | c.B; }

// What the screen shows, as the format's disposal rules have it; -1 where
// the picture shows nothing.
class ModelScreen {
public:
    ModelScreen(int width, int height) : width_(width), pixels_(static_cast<size_t>(width) * height, -1) {}
    int64_t At(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    void Play(const Picture& picture, const Frame& f) {
        const std::vector<int64_t> before = pixels_;
        const std::vector<Rgb>& palette = picture.ActivePalette(f);
        for (int y = 0; y < f.Height; ++y)
            for (int x = 0; x < f.Width; ++x) {
                const int index = f.Indices[static_cast<size_t>(y) * f.Width + x];
                if (index != f.Transparent) pixels_[static_cast<size_t>(f.Top + y) * width_ + f.Left + x] = Key(palette[index]);
            }
        if (f.Disposal == 2)
            for (int y = 0; y < f.Height; ++y)
                for (int x = 0; x < f.Width; ++x) pixels_[static_cast<size_t>(f.Top + y) * width_ + f.Left + x] = -1;
        if (f.Disposal == 3) pixels_ = before;
    }

private:
    int width_;
    std::vector<int64_t> pixels_;
};

Frame Solid(int left, int top, int width, int height, uint8_t index) {
    Frame f;
    f.Left = left;
    f.Top = top;
    f.Width = width;
    f.Height = height;
    f.Indices.assign(static_cast<size_t>(width) * height, index);
    return f;
}

void Fill(Frame& f, int left, int top, int width, int height, uint8_t index) {
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) f.Indices[static_cast<size_t>(y) * f.Width + x] = index;
}

// A background of stripes in colours 1..colors-1.
Frame Stripes(int width, int height, int colors) {
    Frame f = Solid(0, 0, width, height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) f.Indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(1 + (x / 3 + y) % (colors - 1));
    return f;
}

Picture Screen(int width, int height, int colors, uint32_t seed) {
    Picture p;
    p.Width = width;
    p.Height = height;
    p.GlobalPalette = Palette(colors, seed);
    return p;
}

}  // namespace

std::vector<Rgb> Palette(int count, uint32_t seed) {
    Rng rng(seed);
    std::set<uint32_t> used;
    std::vector<Rgb> palette;
    while (static_cast<int>(palette.size()) < count) {
        const uint32_t c = rng.Next() & 0xFFFFFF;
        if (c == 0 || !used.insert(c).second) continue;  // black stays free: the optimiser adds it
        palette.push_back({uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
    }
    return palette;
}

Picture RandomAnimation(uint32_t seed, int width, int height, int frames) {
    Rng rng(seed);
    Picture p;
    p.Width = width;
    p.Height = height;
    const bool global = !rng.Chance(20);
    if (global) p.GlobalPalette = Palette(rng.Pick({2, 4, 16, 64, 200, 256}), seed);
    p.Background = global ? rng.Below(static_cast<int>(p.GlobalPalette.size())) : 0;
    p.LoopCount = rng.Pick({-1, 0, 3});
    ModelScreen screen(width, height);
    for (int k = 0; k < frames; ++k) {
        Frame f;
        if (rng.Chance(k == 0 ? 70 : 30)) {
            f.Width = width;
            f.Height = height;
        } else {
            f.Width = 1 + rng.Below(width);
            f.Height = 1 + rng.Below(height);
            f.Left = rng.Below(width - f.Width + 1);
            f.Top = rng.Below(height - f.Height + 1);
        }
        if (!global || rng.Chance(25)) {
            const int size = rng.Pick({2, 4, 16, 64, 256});
            f.LocalPalette = Palette(size, seed * 31 + static_cast<uint32_t>(k));
            // Often the same colours as the global table, in another order.
            if (global && rng.Chance(60))
                for (auto& c : f.LocalPalette)
                    if (rng.Chance(70)) c = p.GlobalPalette[static_cast<size_t>(rng.Below(static_cast<int>(p.GlobalPalette.size())))];
        }
        const std::vector<Rgb>& palette = p.ActivePalette(f);
        const int colors = static_cast<int>(palette.size());
        const bool transparent = colors > 1 && rng.Chance(50);
        f.HasControl = transparent || rng.Chance(70);
        if (f.HasControl) {
            const int roll = rng.Below(100);
            f.Disposal = roll < 30 ? 0 : roll < 60 ? 1 : roll < 80 ? 2 : 3;
            f.Delay = rng.Pick({0, 2, 5, 10, 25});
            f.Transparent = transparent ? rng.Below(colors) : -1;
        }
        f.Interlaced = rng.Chance(10);
        const bool allTransparent = transparent && rng.Chance(8);
        const int border = transparent && rng.Chance(40) ? 1 + rng.Below(3) : 0;
        f.Indices.resize(static_cast<size_t>(f.Width) * f.Height);
        for (int y = 0; y < f.Height; ++y)
            for (int x = 0; x < f.Width; ++x) {
                uint8_t& index = f.Indices[static_cast<size_t>(y) * f.Width + x];
                const bool edge = x < border || y < border || x >= f.Width - border || y >= f.Height - border;
                if (allTransparent || (transparent && (edge || rng.Chance(20)))) {
                    index = static_cast<uint8_t>(f.Transparent);
                    continue;
                }
                int chosen = -1;
                const int64_t under = screen.At(f.Left + x, f.Top + y);
                if (under >= 0 && rng.Chance(70))
                    for (int i = 0; i < colors && chosen < 0; ++i)
                        if (i != f.Transparent && Key(palette[static_cast<size_t>(i)]) == under) chosen = i;
                while (chosen < 0 || chosen == f.Transparent) chosen = rng.Below(colors);
                index = static_cast<uint8_t>(chosen);
            }
        screen.Play(p, f);
        p.Frames.push_back(std::move(f));
    }
    return p;
}

std::vector<AnimationCase> AnimationCorpus() {
    std::vector<AnimationCase> cases;

    {  // A sprite moving over a still background, every frame whole.
        Picture p = Screen(24, 16, 16, 1);
        p.LoopCount = 0;
        const Frame background = Stripes(24, 16, 16);
        p.Frames.push_back(background);
        for (int k = 0; k < 6; ++k) {
            Frame f = background;
            Fill(f, 2 + 3 * k, 4 + k % 3, 3, 3, 0);
            Control(f, 1, 8);
            p.Frames.push_back(f);
        }
        cases.push_back({"sprite_whole_frames", p});
    }
    {  // A sprite in small transparent frames cleared to the background
       // after each: cropping them would shrink what they clear.
        Picture p = Screen(24, 16, 16, 2);
        p.LoopCount = 0;
        p.Frames.push_back(Stripes(24, 16, 16));
        for (int k = 0; k < 5; ++k) {
            Frame f = Solid(3 * k, 2 + k, 8, 7, 5);
            Fill(f, 2, 2, 3, 3, 0);
            p.Frames.push_back(Control(f, 2, 6, 5));
        }
        cases.push_back({"sprite_cleared_to_background", p});
    }
    {  // A frame disposed to the background followed by a smaller opaque
       // frame inside it: what lies outside the small frame must still be
       // cleared.  Then a small cleared frame wholly covered by the next.
        Picture p = Screen(20, 20, 8, 3);
        p.Frames.push_back(Solid(0, 0, 20, 20, 1));
        Frame big = Solid(0, 0, 20, 20, 2);
        p.Frames.push_back(Control(big, 2, 10));
        Frame inside = Solid(5, 5, 6, 6, 3);
        p.Frames.push_back(Control(inside, 1, 10));
        Frame small = Solid(2, 2, 4, 4, 4);
        p.Frames.push_back(Control(small, 2, 10));
        Frame cover = Solid(0, 0, 20, 20, 5);
        Fill(cover, 8, 8, 4, 4, 6);
        p.Frames.push_back(Control(cover, 1, 10));
        cases.push_back({"disposal_and_containment", p});
    }
    {  // Frames restored to the previous screen, then one that repeats the
       // first frame in places.
        Picture p = Screen(16, 12, 16, 4);
        p.LoopCount = 2;
        const Frame background = Stripes(16, 12, 16);
        p.Frames.push_back(background);
        for (int k = 0; k < 3; ++k) {
            Frame f = Solid(2 + 3 * k, 3, 4, 4, static_cast<uint8_t>(10 + k));
            Fill(f, 1, 1, 2, 2, 15);
            p.Frames.push_back(Control(f, 3, 5, 15));
        }
        Frame last = background;
        Fill(last, 4, 4, 6, 3, 9);
        p.Frames.push_back(Control(last, 1, 5));
        cases.push_back({"restore_previous_chain", p});
    }
    {  // A frame without its own table holds the colour another frame uses
       // as its transparent index, where the screen shows something else.
        Picture p = Screen(12, 8, 8, 5);
        Frame first = Solid(0, 0, 12, 8, 1);
        Fill(first, 0, 0, 6, 8, 2);
        p.Frames.push_back(first);
        Frame glass = Solid(1, 1, 3, 3, 3);
        Fill(glass, 1, 1, 1, 1, 4);
        p.Frames.push_back(Control(glass, 3, 5, 3));
        Frame again = first;
        Fill(again, 8, 2, 3, 3, 3);
        Fill(again, 0, 6, 2, 2, 5);
        p.Frames.push_back(Control(again, 1, 5));
        cases.push_back({"transparent_index_in_use", p});
    }
    {  // The background colour is one no pixel shows; cleared areas show it.
        Picture p = Screen(10, 10, 8, 6);
        p.Background = 6;
        p.Frames.push_back(Solid(0, 0, 10, 10, 0));
        Frame f = Solid(2, 2, 5, 5, 1);
        p.Frames.push_back(Control(f, 2, 5));
        Frame g = Solid(6, 6, 3, 3, 2);
        p.Frames.push_back(Control(g, 1, 5));
        cases.push_back({"background_colour_unused", p});
    }
    {  // A full table leaves no index for transparency.
        Picture p = Screen(16, 16, 256, 7);
        Frame first = Solid(0, 0, 16, 16, 0);
        for (int i = 0; i < 256; ++i) first.Indices[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
        p.Frames.push_back(first);
        Frame second = first;
        Fill(second, 4, 4, 4, 4, 17);
        p.Frames.push_back(Control(second, 1, 5));
        cases.push_back({"full_table", p});
    }
    {  // Every frame with a table of its own, the same colours in other
       // orders: equal colours are told by their RGB.
        Picture p;
        p.Width = 12;
        p.Height = 10;
        const std::vector<Rgb> colors = Palette(8, 8);
        for (int k = 0; k < 4; ++k) {
            Frame f = Solid(0, 0, 12, 10, 0);
            f.LocalPalette = colors;
            std::rotate(f.LocalPalette.begin(), f.LocalPalette.begin() + k, f.LocalPalette.end());
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 12; ++x) {
                    const int color = (x / 4 + y / 5 + (x == k && y == k ? 1 : 0)) % 8;
                    f.Indices[static_cast<size_t>(y) * 12 + x] = static_cast<uint8_t>((color + 8 - k) % 8);
                }
            p.Frames.push_back(Control(f, 1, 4));
        }
        cases.push_back({"local_tables_same_colours", p});
    }
    {  // Frames that show nothing new, with short and missing delays; one
       // follows a frame that is cleared and must stay.
        Picture p = Screen(10, 8, 8, 9);
        p.LoopCount = 0;
        p.Frames.push_back(Solid(0, 0, 10, 8, 1));
        Frame nothing = Solid(0, 0, 10, 8, 7);
        p.Frames.push_back(Control(nothing, 1, 7, 7));
        Frame nothingQuick = Solid(2, 2, 3, 3, 7);
        p.Frames.push_back(Control(nothingQuick, 1, 0, 7));
        Frame cleared = Solid(1, 1, 4, 4, 2);
        p.Frames.push_back(Control(cleared, 2, 2));
        Frame afterClear = Solid(0, 0, 10, 8, 7);
        p.Frames.push_back(Control(afterClear, 1, 9, 7));
        Frame last = Solid(6, 4, 3, 3, 3);
        p.Frames.push_back(Control(last, 1, 1));
        cases.push_back({"frames_showing_nothing_new", p});
    }
    {  // A first frame with a transparent border in a looping animation
       // whose last frame leaves pixels outside it.
        Picture p = Screen(12, 12, 8, 10);
        p.LoopCount = 0;
        Frame first = Solid(0, 0, 12, 12, 7);
        Fill(first, 3, 3, 6, 6, 1);
        p.Frames.push_back(Control(first, 1, 5, 7));
        Frame corner = Solid(0, 0, 4, 4, 2);
        p.Frames.push_back(Control(corner, 1, 5));
        cases.push_back({"first_frame_transparent_border", p});
    }
    {  // A disposal value the format does not define: not drawn.
        Picture p = Screen(8, 8, 4, 11);
        p.Frames.push_back(Solid(0, 0, 8, 8, 1));
        Frame hidden = Solid(2, 2, 4, 4, 1);
        Fill(hidden, 0, 0, 2, 2, 2);
        p.Frames.push_back(Control(hidden, 5, 5));
        Frame visible = Solid(0, 0, 8, 8, 1);
        Fill(visible, 3, 3, 2, 2, 3);
        p.Frames.push_back(Control(visible, 1, 5));
        cases.push_back({"undefined_disposal", p, false});
    }
    {  // Interlaced frames.
        Picture p = Screen(9, 13, 16, 12);
        p.Frames.push_back(Stripes(9, 13, 16));
        p.Frames.back().Interlaced = true;
        Frame f = Stripes(9, 13, 16);
        Fill(f, 2, 5, 3, 4, 0);
        f.Interlaced = true;
        p.Frames.push_back(Control(f, 1, 5));
        cases.push_back({"interlaced", p});
    }
    {  // The loop extension on a frame that restores the previous screen:
       // passes after the first begin there, over what the last frame left,
       // so the frame after it is drawn over that, not over the first frame.
        Picture p = Screen(3, 1, 4, 13);
        p.LoopCount = 0;
        p.LoopFrame = 1;
        const std::vector<uint8_t> rows[] = {{1, 1, 1}, {2, 2, 2}, {1, 3, 1}, {3, 3, 3}};
        const int disposals[] = {1, 3, 1, 1};
        for (int k = 0; k < 4; ++k) {
            Frame f = Solid(0, 0, 3, 1, 0);
            f.Indices = rows[k];
            p.Frames.push_back(Control(f, disposals[k], 5));
        }
        cases.push_back({"loop_point_restores_previous", p});
    }
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        Rng rng(seed * 7919);
        const int width = 1 + rng.Below(40), height = 1 + rng.Below(30), frames = 2 + rng.Below(9);
        cases.push_back({"random_" + std::to_string(seed), RandomAnimation(seed, width, height, frames)});
    }
    // Looping animations whose later passes begin at a frame after the first.
    for (uint32_t seed = 61; seed <= 80; ++seed) {
        Rng rng(seed * 7919);
        const int width = 1 + rng.Below(12), height = 1 + rng.Below(8), frames = 3 + rng.Below(6);
        Picture p = RandomAnimation(seed, width, height, frames);
        p.LoopCount = rng.Pick({0, 2, 3});
        p.LoopFrame = 1 + rng.Below(frames - 1);
        cases.push_back({"random_loop_point_" + std::to_string(seed), p});
    }
    return cases;
}

}  // namespace gifopt
