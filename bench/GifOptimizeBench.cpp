// Whole-animation size after Optimize with every option, beside
// gifsicle -O2 on the same file, for generated 100-frame animations.  The
// gate: every screen the animation shows, and for how long, must stay the
// same (the tests' own compositor, after a save and a reload); a result
// that changes what is shown is reported as not equal and does not count.
// Each run's counters: the original file's bytes, ours after Optimize, and
// gifsicle's (-1 when gifsicle is not installed); the timed part is
// Optimize alone.
//
//   taskset -c 2 build/bench/bench_gifoptimize --benchmark_repetitions=10
//     --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "AnimationCorpus.h"
#include "Compositor.h"
#include "GifModel.h"
#include "GifUnitBridge.h"

namespace {

using giforacle::Frame;
using giforacle::Picture;

enum Kind { kWholeFrames, kLocalTables, kDirtyRectangles, kRandom };
const char* const kKindNames[] = {"sprites, whole frames", "sprites, whole frames, local tables",
                                  "sprites, rectangles of what changed", "random frames, mixed disposals"};

struct Sprite {
    int x, y, dx, dy, size;
    uint8_t color;
};

// A photo-like still background with four sprites moving over it.
Picture Scene(Kind kind, int frames) {
    const int width = 160, height = 120, colors = 64;
    Picture p;
    p.Width = width;
    p.Height = height;
    p.GlobalPalette = gifopt::Palette(colors, 42);
    p.LoopCount = 0;
    const std::vector<uint8_t> background = giforacle::PhotoLike(width, height, colors - 4, 7);
    std::vector<Sprite> sprites = {{10, 10, 3, 1, 12, 60}, {100, 30, -2, 2, 16, 61}, {50, 90, 1, -3, 10, 62},
                                   {130, 70, -3, -1, 8, 63}};
    std::vector<uint8_t> screen = background;
    Frame first;
    first.Width = width;
    first.Height = height;
    first.Indices = background;
    p.Frames.push_back(first);
    for (int k = 1; k < frames; ++k) {
        for (Sprite& s : sprites) {
            s.x += s.dx;
            s.y += s.dy;
            if (s.x < 0 || s.x + s.size > width) s.dx = -s.dx, s.x += 2 * s.dx;
            if (s.y < 0 || s.y + s.size > height) s.dy = -s.dy, s.y += 2 * s.dy;
        }
        Frame f;
        f.HasControl = true;
        f.Delay = 4;
        f.Width = width;
        f.Height = height;
        f.Indices = background;
        for (const Sprite& s : sprites)
            for (int y = 0; y < s.size; ++y)
                for (int x = 0; x < s.size; ++x) f.Indices[static_cast<size_t>(s.y + y) * width + s.x + x] = s.color;
        if (kind == kDirtyRectangles) {
            // Only the rectangle around what changed since the last screen.
            int left = width, top = height, right = -1, bottom = -1;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    if (f.Indices[static_cast<size_t>(y) * width + x] != screen[static_cast<size_t>(y) * width + x]) {
                        left = std::min(left, x), right = std::max(right, x);
                        top = std::min(top, y), bottom = std::max(bottom, y);
                    }
            screen = f.Indices;
            if (right < 0) left = top = right = bottom = 0;
            Frame g = f;
            g.Left = left;
            g.Top = top;
            g.Width = right - left + 1;
            g.Height = bottom - top + 1;
            g.Indices.clear();
            for (int y = top; y <= bottom; ++y)
                g.Indices.insert(g.Indices.end(), screen.begin() + y * width + left, screen.begin() + y * width + right + 1);
            p.Frames.push_back(std::move(g));
            continue;
        }
        if (kind == kLocalTables) {
            // The same colours, rotated by the frame number.
            f.LocalPalette = p.GlobalPalette;
            const int shift = k % colors;
            std::rotate(f.LocalPalette.begin(), f.LocalPalette.begin() + shift, f.LocalPalette.end());
            for (uint8_t& index : f.Indices) index = static_cast<uint8_t>((index + colors - shift) % colors);
        }
        p.Frames.push_back(std::move(f));
    }
    return p;
}

Picture Animation(Kind kind) {
    return kind == kRandom ? gifopt::RandomAnimation(2026, 96, 64, 100) : Scene(kind, 100);
}

std::unique_ptr<gif::TGIFImage> Load(const std::vector<uint8_t>& bytes) {
    auto image = std::make_unique<gif::TGIFImage>();
    rtl::TMemoryStream stream(bytes);
    image->LoadFromStream(stream);
    return image;
}

bool SameScreens(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
    const auto a = Load(before), b = Load(after);
    return gifopt::DiffShown(gifopt::Compose(*a), gifopt::Compose(*b)).empty() &&
           gifopt::DiffShown(gifopt::Compose(*a, {.BackgroundColor = true}), gifopt::Compose(*b, {.BackgroundColor = true}))
               .empty();
}

// gifsicle -O2's file of the same bytes; empty when gifsicle is missing.
std::vector<uint8_t> Gifsicle(const std::vector<uint8_t>& bytes) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("gifoptbench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path in = dir / "in.gif", out = dir / "out.gif";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::vector<uint8_t> result;
    const std::string command = "gifsicle -O2 '" + in.string() + "' -o '" + out.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) == 0) {
        std::ifstream file(out, std::ios::binary);
        result.assign(std::istreambuf_iterator<char>(file), {});
    }
    fs::remove_all(dir);
    return result;
}

void BM_OptimizeAnimation(benchmark::State& state) {
    const Kind kind = static_cast<Kind>(state.range(0));
    const std::vector<uint8_t> original = gifbridge::Save(*gifbridge::Build(Animation(kind)));
    std::vector<uint8_t> ours;
    for (auto _ : state) {
        state.PauseTiming();
        const auto image = Load(original);
        state.ResumeTiming();
        image->Optimize(gif::GIFAllOptimizeOptions, gif::rmNone, gif::dmNearest, 8);
        state.PauseTiming();
        ours = gifbridge::Save(*image);
        state.ResumeTiming();
    }
    const std::vector<uint8_t> theirs = Gifsicle(original);
    state.SetLabel(kKindNames[kind]);
    state.counters["original_bytes"] = static_cast<double>(original.size());
    state.counters["ours_bytes"] = static_cast<double>(ours.size());
    state.counters["ours_equal"] = SameScreens(original, ours) ? 1 : 0;
    state.counters["gifsicle_O2_bytes"] = theirs.empty() ? -1 : static_cast<double>(theirs.size());
    state.counters["gifsicle_equal"] = !theirs.empty() && SameScreens(original, theirs) ? 1 : 0;
    state.counters["frames"] = static_cast<double>(Load(original)->GetImages().GetCount());
}

BENCHMARK(BM_OptimizeAnimation)->DenseRange(kWholeFrames, kRandom)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
