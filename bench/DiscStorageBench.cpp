// A whole single-layer DVD+R written with the test pattern and read back
// through the simulated drive, 16 blocks per command: wall time and peak
// resident memory (the sparse storage keeps pattern blocks as bits, so the
// process should stay far below 64 MiB).  The command log stays on, bounded.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>
#include <vector>

#include "simdrive/SimDrive.h"

namespace {

constexpr uint32_t kChunk = 16;

sim::ScsiResult Block(sim::SimDrive& drive, uint8_t opcode, uint32_t lba, uint32_t count, uint8_t* data) {
    const uint8_t cdb[10] = {opcode, 0, static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
                             static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba), 0, 0,
                             static_cast<uint8_t>(count), 0};
    sim::ScsiRequest request;
    request.Cdb = cdb;
    request.CdbLength = sizeof cdb;
    request.Direction = opcode == 0x28 ? sim::DataDirection::In : sim::DataDirection::Out;
    request.Data = data;
    request.DataLength = count * sim::kBlockBytes;
    return drive.Execute(request);
}

void BM_FullDvdWriteAndCompare(benchmark::State& state) {
    const uint32_t capacity = sim::MakeDisc(sim::DiscModel::DvdPlusR).Capacity;
    std::vector<uint8_t> buffer(kChunk * sim::kBlockBytes);
    bool ok = true;
    for (auto _ : state) {
        sim::SimDrive drive;
        drive.LoadDisc(sim::MakeDisc(sim::DiscModel::DvdPlusR));
        for (uint32_t lba = 0; lba < capacity && ok; lba += kChunk) {
            const uint32_t n = std::min(kChunk, capacity - lba);
            for (uint32_t i = 0; i < n; ++i) sim::FillPatternBlock(lba + i, buffer.data() + i * sim::kBlockBytes);
            ok = Block(drive, 0x2A, lba, n, buffer.data()).Status == sim::kStatusGood;
        }
        for (uint32_t lba = 0; lba < capacity && ok; lba += kChunk) {
            const uint32_t n = std::min(kChunk, capacity - lba);
            ok = Block(drive, 0x28, lba, n, buffer.data()).Status == sim::kStatusGood;
            for (uint32_t i = 0; i < n * sim::kBlockBytes && ok; i += 4) {
                uint32_t word;
                std::memcpy(&word, buffer.data() + i, 4);
                ok = __builtin_bswap32(word) == lba + i / sim::kBlockBytes;
            }
        }
        state.counters["storage_KiB"] = static_cast<double>(drive.StorageBytes()) / 1024;
        state.counters["data_blocks"] = static_cast<double>(drive.StoredDataBlocks());
    }
    if (!ok) state.SkipWithError("a write, read or compare failed");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
    state.counters["blocks"] = capacity;
}

BENCHMARK(BM_FullDvdWriteAndCompare)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
