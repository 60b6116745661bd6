// The test pattern of the read/write steps: filling and checking a 32 KiB
// chunk (16 blocks), beside a plain memcpy and memcmp of the same size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "drive/Mmc.h"

namespace {

constexpr size_t kChunk = 16 * drive::kBlockSize;
constexpr uint32_t kLba = 0x00123450;

void BM_Memcpy32K(benchmark::State& state) {
    std::vector<uint8_t> from(kChunk, 0x5A), to(kChunk);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kChunk);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kChunk);
}

void BM_Memcmp32K(benchmark::State& state) {
    std::vector<uint8_t> a(kChunk, 0x5A), b(kChunk, 0x5A);
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.data());
        benchmark::DoNotOptimize(b.data());
        int result = std::memcmp(a.data(), b.data(), kChunk);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kChunk);
}

void BM_PatternCheck32K(benchmark::State& state) {
    std::vector<uint8_t> chunk(kChunk);
    drive::FillTestPattern(kLba, 16, chunk);
    for (auto _ : state) {
        benchmark::DoNotOptimize(chunk.data());
        bool all = true;
        for (uint32_t b = 0; b < 16; ++b)
            all &= drive::BlockHoldsTestPattern(
                kLba + b, std::span<const uint8_t>(chunk).subspan(b * drive::kBlockSize, drive::kBlockSize));
        benchmark::DoNotOptimize(all);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kChunk);
}

void BM_FillTestPattern32K(benchmark::State& state) {
    std::vector<uint8_t> chunk(kChunk);
    uint32_t lba = 0;
    for (auto _ : state) {
        drive::FillTestPattern(lba, 16, chunk);
        lba += 16;
        benchmark::DoNotOptimize(chunk.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kChunk);
}

BENCHMARK(BM_Memcpy32K);
BENCHMARK(BM_Memcmp32K);
BENCHMARK(BM_PatternCheck32K);
BENCHMARK(BM_FillTestPattern32K);

}  // namespace
