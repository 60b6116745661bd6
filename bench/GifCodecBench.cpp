// LZW decode and encode of the GIF unit's codec core beside giflib in the
// same run, with the same indices, palette and code size: photo-like,
// line-art and noise images of 1 and 4 megapixels.  The core is linked
// alone (no picture classes): it decodes the image data giflib wrote into a
// zeroed pixel store, and encodes into a byte vector.  Throughput is in
// items (pixels) per second; the encoders also report the image-data bytes
// they wrote.
//
// Fair comparison: build RelWithDebInfo/Release, pin one core
// (taskset -c 2 build/bench/bench_gifcodec --benchmark_repetitions=10
//  --benchmark_report_aggregates_only=true).
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <tuple>

#include "CraftedStream.h"
#include "GifModel.h"
#include "GiflibOracle.h"
#include "gif/codec/Decoder.h"
#include "gif/codec/Encoder.h"

namespace {

using namespace giforacle;

enum Content { kPhoto, kLineArt, kNoise };

struct Input {
    int Side = 0;
    int Bits = 8;
    std::vector<uint8_t> Indices;
    std::vector<uint8_t> File;       // giflib's file of these indices: giflib's input
    std::vector<uint8_t> ImageData;  // its image data section: the core's input
};

const Input& GetInput(int content, int megapixels) {
    static std::map<std::pair<int, int>, Input> cache;
    auto key = std::make_pair(content, megapixels);
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    Input in;
    in.Side = megapixels == 4 ? 2048 : 1024;
    in.Bits = content == kLineArt ? 4 : 8;
    int colors = 1 << in.Bits;
    switch (content) {
    case kPhoto: in.Indices = PhotoLike(in.Side, in.Side, colors, 1); break;
    case kLineArt: in.Indices = LineArt(in.Side, in.Side, colors, 2); break;
    default: in.Indices = Noise(in.Side, in.Side, colors, 3); break;
    }
    Picture p;
    p.Width = p.Height = in.Side;
    p.GlobalPalette = DistinctPalette(size_t(colors), 4);
    Frame f;
    f.Width = f.Height = in.Side;
    f.Indices = in.Indices;
    p.Frames.push_back(std::move(f));
    in.File = GiflibEncode(p);
    in.ImageData = GiflibEncodeImageData(in.Indices, in.Side, in.Side, in.Bits);
    return cache.emplace(key, std::move(in)).first->second;
}

void SetLabel(benchmark::State& state) {
    static const char* names[] = {"photo", "line-art", "noise"};
    state.SetLabel(std::string(names[state.range(0)]) + " " + std::to_string(state.range(1)) + " MP");
}

void Pixels(benchmark::State& state, const Input& in) {
    state.SetItemsProcessed(int64_t(state.iterations()) * in.Side * in.Side);
    state.counters["Mpx/s"] =
        benchmark::Counter(double(in.Side) * in.Side / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    SetLabel(state);
}

void BM_DecodeGiflib(benchmark::State& state) {
    const Input& in = GetInput(int(state.range(0)), int(state.range(1)));
    std::vector<uint8_t> out;
    for (auto _ : state) {
        if (!GiflibDecodeFirstFrame(in.File, out)) state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(out.data());
    }
    if (out != in.Indices) state.SkipWithError("giflib decoded other indices");
    Pixels(state, in);
}

void BM_DecodeOurs(benchmark::State& state) {
    const Input& in = GetInput(int(state.range(0)), int(state.range(1)));
    std::vector<uint8_t> out;
    auto decoder = std::make_unique<gif::codec::ImageDataDecoder>();
    for (auto _ : state) {
        out.assign(in.Indices.size(), 0);
        const gif::codec::DecodeResult result = decoder->Decode(in.ImageData, {out, in.Side, in.Side, false, 0});
        if (result.Status != gif::codec::DecodeStatus::Done) state.SkipWithError("decoder failed");
        benchmark::DoNotOptimize(out.data());
    }
    if (out != in.Indices) state.SkipWithError("decoded other indices");
    Pixels(state, in);
}

void BM_EncodeGiflib(benchmark::State& state) {
    const Input& in = GetInput(int(state.range(0)), int(state.range(1)));
    std::vector<uint8_t> data;
    for (auto _ : state) {
        data = GiflibEncodeImageData(in.Indices, in.Side, in.Side, in.Bits);
        benchmark::DoNotOptimize(data.data());
    }
    state.counters["data_bytes"] = double(data.size());
    Pixels(state, in);
}

void EncodeOurs(benchmark::State& state, bool rle) {
    const Input& in = GetInput(int(state.range(0)), int(state.range(1)));
    std::vector<uint8_t> data;
    const gif::codec::EncodeSource source{in.Indices, in.Side, in.Side, false, in.Bits, 1 << in.Bits};
    for (auto _ : state) {
        data.clear();
        gif::codec::EncodeImageData(source, rle ? gif::codec::Compression::Rle : gif::codec::Compression::Lzw, data);
        benchmark::DoNotOptimize(data.data());
    }
    // What the unit wrote must decode (in giflib) to the same indices.
    std::vector<uint8_t> check;
    if (!GiflibDecodeFirstFrame(WrapImageData(data, in.Side, in.Side, in.Bits), check) || check != in.Indices)
        state.SkipWithError("giflib decodes the output to other indices");
    state.counters["data_bytes"] = double(data.size());
    Pixels(state, in);
}

void BM_EncodeOursLZW(benchmark::State& state) { EncodeOurs(state, false); }
void BM_EncodeOursRLE(benchmark::State& state) { EncodeOurs(state, true); }

void Sizes(benchmark::internal::Benchmark* b) {
    for (int content : {kPhoto, kLineArt, kNoise})
        for (int mp : {1, 4}) b->Args({content, mp});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_DecodeGiflib)->Apply(Sizes);
BENCHMARK(BM_DecodeOurs)->Apply(Sizes);
BENCHMARK(BM_EncodeGiflib)->Apply(Sizes);
BENCHMARK(BM_EncodeOursLZW)->Apply(Sizes);
BENCHMARK(BM_EncodeOursRLE)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
