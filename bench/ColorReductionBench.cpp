// Colour reduction to 256 colours on photo-like pictures: the GIF unit's
// octree reduction (ReduceColors with rmQuantize) beside libimagequant and
// ImageMagick's -colors, without dithering and with Floyd-Steinberg.  Each
// run reports the time (ms per megapixel in s_per_MP) and the quality
// (PSNR over red, green and blue against the source, in dB).
//
//   MAGICK_THREAD_LIMIT=1 taskset -c 2 build/bench/bench_colorreduce
//
// ImageMagick runs as its command-line tool on a PPM file; its time is the
// run's time less that of a plain conversion of the same file (start-up and
// file reading and writing).  libimagequant is used when the build found it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "gif/GIFColor.h"

#ifdef HAVE_LIBIMAGEQUANT
#include <libimagequant.h>
#endif

namespace {

constexpr int kColours = 256;

struct Picture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb;  // red, green, blue
    double Megapixels() const { return Width * static_cast<double>(Height) / 1e6; }
};

// A smooth picture with soft shapes and fine grain, like a photograph.
Picture Synthetic(int width, int height) {
    Picture p{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    uint32_t seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = x / static_cast<double>(width), v = y / static_cast<double>(height);
            seed = seed * 1103515245u + 12345u;
            const double grain = ((seed >> 16) & 15) - 7.5;
            const double sky = 0.5 + 0.5 * std::sin(3.1 * u + 1.7 * v);
            const double blob = std::exp(-((u - 0.6) * (u - 0.6) + (v - 0.4) * (v - 0.4)) * 12);
            const double leaf = 0.5 + 0.5 * std::sin(11 * u * v + 4 * std::cos(5 * v));
            const double r = 255 * (0.25 + 0.5 * sky * (1 - blob) + 0.7 * blob) + grain;
            const double g = 255 * (0.2 + 0.55 * leaf * (1 - v) + 0.2 * blob) + grain;
            const double b = 255 * (0.3 + 0.6 * sky * v + 0.1 * leaf) + grain;
            uint8_t* out = &p.Rgb[(static_cast<size_t>(y) * width + x) * 3];
            out[0] = static_cast<uint8_t>(std::clamp(r, 0.0, 255.0));
            out[1] = static_cast<uint8_t>(std::clamp(g, 0.0, 255.0));
            out[2] = static_cast<uint8_t>(std::clamp(b, 0.0, 255.0));
        }
    return p;
}

std::string ImageMagickTool() {
    for (const char* path : {"/usr/bin/convert-im6.q16", "/usr/bin/convert"})
        if (std::ifstream(path).good()) return path;
    return "";
}

bool WritePpm(const Picture& p, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << p.Width << " " << p.Height << "\n255\n";
    out.write(reinterpret_cast<const char*>(p.Rgb.data()), static_cast<std::streamsize>(p.Rgb.size()));
    return out.good();
}

bool ReadPpm(const std::string& path, Picture& p) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    in >> magic >> p.Width >> p.Height >> maxValue;
    in.get();
    if (!in || magic != "P6" || maxValue != 255 || p.Width <= 0 || p.Height <= 0) return false;
    p.Rgb.resize(static_cast<size_t>(p.Width) * p.Height * 3);
    in.read(reinterpret_cast<char*>(p.Rgb.data()), static_cast<std::streamsize>(p.Rgb.size()));
    return static_cast<size_t>(in.gcount()) == p.Rgb.size();
}

// ImageMagick's plasma fractal with a fixed seed, the usual photo-like test picture.
Picture Plasma(int width, int height) {
    Picture p;
    const std::string tool = ImageMagickTool();
    if (tool.empty()) return p;
    const std::string path = "/tmp/bench_colorreduce_plasma.ppm";
    const std::string command = tool + " -seed 7 -size " + std::to_string(width) + "x" + std::to_string(height) +
                                " plasma:fractal -blur 0x1 -depth 8 " + path + " 2>/dev/null";
    if (std::system(command.c_str()) != 0 || !ReadPpm(path, p)) return Picture{};
    return p;
}

const Picture& PictureNamed(int which) {
    static std::map<int, Picture> pictures;
    auto found = pictures.find(which);
    if (found == pictures.end())
        found = pictures.emplace(which, which == 0 ? Synthetic(1024, 1024) : Plasma(1024, 1024)).first;
    return found->second;
}

const char* const kPictureNames[] = {"synthetic", "plasma"};

double Psnr(const Picture& source, const std::vector<uint8_t>& rgb) {
    double sum = 0;
    for (size_t i = 0; i < rgb.size(); ++i) {
        const double d = static_cast<double>(source.Rgb[i]) - rgb[i];
        sum += d * d;
    }
    const double mse = sum / static_cast<double>(rgb.size());
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

size_t ColoursUsed(const std::vector<uint8_t>& rgb) {
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) colours.insert(rgb[i] << 16 | rgb[i + 1] << 8 | rgb[i + 2]);
    return colours.size();
}

void Report(benchmark::State& state, const Picture& source, const std::vector<uint8_t>& rgb) {
    state.counters["PSNR"] = Psnr(source, rgb);
    state.counters["colours"] = static_cast<double>(ColoursUsed(rgb));
    state.counters["s_per_MP"] =
        benchmark::Counter(source.Megapixels(), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.SetLabel(kPictureNames[state.range(0)]);
}

// ---- the GIF unit ------------------------------------------------------------

void BM_OctreeReduceColors(benchmark::State& state) {
    const Picture& source = PictureNamed(static_cast<int>(state.range(0)));
    if (source.Rgb.empty()) return state.SkipWithError("no picture (ImageMagick missing)");
    const auto dither = state.range(1) != 0 ? gif::dmFloydSteinberg : gif::dmNearest;
    vcl::TBitmap bitmap;
    bitmap.SetPixelFormat(vcl::pf24bit);
    bitmap.SetSize(source.Width, source.Height);
    for (int y = 0; y < source.Height; ++y) {
        uint8_t* row = bitmap.GetScanLine(y);
        const uint8_t* in = &source.Rgb[static_cast<size_t>(y) * source.Width * 3];
        for (int x = 0; x < source.Width; ++x) {
            row[3 * x] = in[3 * x + 2];
            row[3 * x + 1] = in[3 * x + 1];
            row[3 * x + 2] = in[3 * x];
        }
    }
    std::unique_ptr<vcl::TBitmap> result;
    for (auto _ : state) {
        result = gif::ReduceColors(bitmap, gif::rmQuantize, dither, 8, 0);
        benchmark::DoNotOptimize(result.get());
    }
    std::vector<uint8_t> rgb(source.Rgb.size());
    for (int y = 0; y < source.Height; ++y)
        for (int x = 0; x < source.Width; ++x) {
            const gdi::COLORREF c = result->GetCanvas().GetPixel(x, y);
            uint8_t* out = &rgb[(static_cast<size_t>(y) * source.Width + x) * 3];
            out[0] = gdi::GetRValue(c);
            out[1] = gdi::GetGValue(c);
            out[2] = gdi::GetBValue(c);
        }
    Report(state, source, rgb);
}
BENCHMARK(BM_OctreeReduceColors)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// ---- libimagequant -------------------------------------------------------------

#ifdef HAVE_LIBIMAGEQUANT
void BM_LibImageQuant(benchmark::State& state) {
    const Picture& source = PictureNamed(static_cast<int>(state.range(0)));
    if (source.Rgb.empty()) return state.SkipWithError("no picture (ImageMagick missing)");
    std::vector<uint8_t> rgba(static_cast<size_t>(source.Width) * source.Height * 4);
    for (size_t i = 0, j = 0; i < source.Rgb.size(); i += 3, j += 4) {
        rgba[j] = source.Rgb[i];
        rgba[j + 1] = source.Rgb[i + 1];
        rgba[j + 2] = source.Rgb[i + 2];
        rgba[j + 3] = 255;
    }
    std::vector<uint8_t> indexes(static_cast<size_t>(source.Width) * source.Height);
    std::vector<uint8_t> rgb(source.Rgb.size());
    for (auto _ : state) {
        liq_attr* attr = liq_attr_create();
        liq_set_max_colors(attr, kColours);
        liq_image* image = liq_image_create_rgba(attr, rgba.data(), source.Width, source.Height, 0);
        liq_result* result = nullptr;
        if (liq_image_quantize(image, attr, &result) != LIQ_OK) {
            liq_image_destroy(image);
            liq_attr_destroy(attr);
            state.SkipWithError("quantization failed");
            break;
        }
        liq_set_dithering_level(result, state.range(1) != 0 ? 1.0f : 0.0f);
        liq_write_remapped_image(result, image, indexes.data(), indexes.size());
        const liq_palette* palette = liq_get_palette(result);
        for (size_t i = 0; i < indexes.size(); ++i) {
            const liq_color& c = palette->entries[indexes[i]];
            rgb[3 * i] = c.r;
            rgb[3 * i + 1] = c.g;
            rgb[3 * i + 2] = c.b;
        }
        liq_result_destroy(result);
        liq_image_destroy(image);
        liq_attr_destroy(attr);
    }
    Report(state, source, rgb);
}
BENCHMARK(BM_LibImageQuant)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
#endif

// ---- ImageMagick -------------------------------------------------------------

double RunSeconds(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    const auto end = std::chrono::steady_clock::now();
    return status == 0 ? std::chrono::duration<double>(end - start).count() : -1;
}

void BM_ImageMagickColors(benchmark::State& state) {
    const Picture& source = PictureNamed(static_cast<int>(state.range(0)));
    const std::string tool = ImageMagickTool();
    if (source.Rgb.empty() || tool.empty()) return state.SkipWithError("ImageMagick missing");
    const std::string in = "/tmp/bench_colorreduce_in.ppm", out = "/tmp/bench_colorreduce_out.ppm";
    WritePpm(source, in);
    const std::string prefix = "MAGICK_THREAD_LIMIT=1 " + tool + " " + in + " ";
    // The plain conversion's time, the smallest of five runs, is taken off.
    double baseline = 1e9;
    for (int i = 0; i < 5; ++i) {
        const double seconds = RunSeconds(prefix + "-depth 8 " + out);
        // A failed run has no time to take off.
        if (seconds < 0) return state.SkipWithError("plain conversion failed");
        baseline = std::min(baseline, seconds);
    }
    const std::string command =
        prefix + "-dither " + (state.range(1) != 0 ? "FloydSteinberg" : "None") + " -colors " + std::to_string(kColours) + " -depth 8 " + out;
    for (auto _ : state) {
        const double seconds = RunSeconds(command);
        if (seconds < 0) {
            state.SkipWithError("convert failed");
            break;
        }
        state.SetIterationTime(std::max(seconds - baseline, 1e-6));
    }
    Picture result;
    if (!ReadPpm(out, result) || result.Rgb.size() != source.Rgb.size()) return state.SkipWithError("no output");
    Report(state, source, result.Rgb);
}
BENCHMARK(BM_ImageMagickColors)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
