// A whole single-layer DVD+R written with the test pattern and read back
// through the simulated drive, 16 blocks per command: wall time and peak
// resident memory (the sparse storage keeps pattern blocks as bits, so the
// process should stay far below 64 MiB).  The command log stays on, bounded.
// Once straight into the drive, once as the diagnostic program does it: the
// drive layer's pattern, WRITE(10) and READ(10) routines and its read-back
// check, through the pass-through carrier of the simulated machine.  Peak
// memory is the process's: run one of them alone (--benchmark_filter).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <vector>

#include "drive/DiscInfo.h"
#include "drive/Enumeration.h"
#include "drive/Mmc.h"
#include "simdrive/SimDrive.h"
#include "simdrive/SimMachine.h"

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

void PeakMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
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
    PeakMemory(state);
    state.counters["blocks"] = capacity;
}

void BM_FullDvdThroughTheRoutines(benchmark::State& state) {
    std::vector<uint8_t> buffer(drive::kDiscInfoBufferSize);
    uint32_t capacity = 0;
    bool ok = true;
    for (auto _ : state) {
        drive::ResetAspiLoader();
        auto machine = std::make_unique<sim::SimMachine>();
        machine->SetNtFamily();
        sim::SimDrive& simDrive = machine->AttachDriveAtLetter('e', sim::DriveConfig{});
        simDrive.LoadDisc(sim::MakeDisc(sim::DiscModel::DvdPlusR));
        machine->Install();
        drive::DriveNameSlot names[26];
        drive::FindDrives(names);
        capacity = simDrive.LoadedDisc()->Capacity;
        for (uint32_t lba = 0; lba < capacity && ok; lba += kChunk) {
            const auto n = static_cast<uint8_t>(std::min(kChunk, capacity - lba));
            ok = drive::FillTestPattern(lba, n, buffer) && drive::Write10(0, lba, n, buffer) == drive::kStatusGood;
        }
        for (uint32_t lba = 0; lba < capacity && ok; lba += kChunk) {
            const auto n = static_cast<uint8_t>(std::min(kChunk, capacity - lba));
            ok = drive::Read10(0, lba, n, buffer) == drive::kStatusGood;
            for (uint32_t i = 0; i < n && ok; ++i)
                ok = drive::BlockHoldsTestPattern(
                    lba + i, std::span<const uint8_t>(buffer).subspan(i * drive::kBlockSize, drive::kBlockSize));
        }
        state.counters["storage_KiB"] = static_cast<double>(simDrive.StorageBytes()) / 1024;
    }
    if (!ok) state.SkipWithError("a write, read or compare failed");
    PeakMemory(state);
    state.counters["blocks"] = capacity;
}

BENCHMARK(BM_FullDvdWriteAndCompare)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_FullDvdThroughTheRoutines)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
