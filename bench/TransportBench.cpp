// Round trip of one command through SendDriveCommand to the simulated drive,
// on both carriers.  A real drive needs tens of microseconds for the fastest
// command; the transport's own share should stay a small fraction of one.
// READ(10) of 16 blocks (32 KiB) through the drive layer's routine is
// measured beside a memcpy of the same size (bench/PatternBench.cpp), with
// the drive's command log off and on (program runs keep it on).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "drive/Enumeration.h"
#include "drive/Mmc.h"
#include "drive/Transport.h"
#include "simdrive/SimMachine.h"

namespace {

std::unique_ptr<sim::SimMachine> MakeMachine(bool passThrough, bool logging = false) {
    drive::ResetAspiLoader();
    auto machine = std::make_unique<sim::SimMachine>();
    sim::DriveConfig config;
    config.DiscLoaded = true;
    sim::SimDrive* d;
    if (passThrough) {
        machine->SetNtFamily();
        d = &machine->AttachDriveAtLetter('d', config);
    } else {
        machine->Set9xFamily();
        machine->Aspi.Present = true;
        d = &machine->AttachDriveAtAspi(0, 0, config);
    }
    d->SetLogging(logging);
    machine->Install();
    drive::DriveNameSlot names[26];
    drive::FindDrives(names);
    return machine;
}

void RoundTrip(benchmark::State& state, bool passThrough, const uint8_t* cdb, uint32_t length) {
    auto machine = MakeMachine(passThrough);
    uint8_t buffer[254] = {};
    for (auto _ : state) {
        uint8_t status = drive::SendDriveCommand(0, cdb, 6, buffer, length, drive::Direction::In);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(buffer);
    }
}

const uint8_t kTestUnitReady[6] = {0x00, 0, 0, 0, 0, 0};
const uint8_t kInquiry36[6] = {0x12, 0, 0, 0, 0x24, 0};

void BM_TestUnitReady_PassThrough(benchmark::State& s) { RoundTrip(s, true, kTestUnitReady, 0); }
void BM_TestUnitReady_Aspi(benchmark::State& s) { RoundTrip(s, false, kTestUnitReady, 0); }
void BM_Inquiry36_PassThrough(benchmark::State& s) { RoundTrip(s, true, kInquiry36, 36); }
void BM_Inquiry36_Aspi(benchmark::State& s) { RoundTrip(s, false, kInquiry36, 36); }

// A pressed DVD-ROM: every block reads back as the test pattern, made by the
// drive for each read.
void Read10Chunk(benchmark::State& state, bool passThrough, bool logging) {
    auto machine = MakeMachine(passThrough, logging);
    std::vector<uint8_t> buffer(16 * drive::kBlockSize);
    uint32_t lba = 0;
    bool ok = true;
    for (auto _ : state) {
        ok &= drive::Read10(0, lba, 16, buffer) == drive::kStatusGood;
        lba = (lba + 16) % 2000000;
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    if (!ok) state.SkipWithError("a read failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}

void BM_Read10x16_PassThrough(benchmark::State& s) { Read10Chunk(s, true, false); }
void BM_Read10x16_Aspi(benchmark::State& s) { Read10Chunk(s, false, false); }
void BM_Read10x16_PassThrough_Logged(benchmark::State& s) { Read10Chunk(s, true, true); }
void BM_Read10x16_Aspi_Logged(benchmark::State& s) { Read10Chunk(s, false, true); }

BENCHMARK(BM_Read10x16_PassThrough);
BENCHMARK(BM_Read10x16_Aspi);
BENCHMARK(BM_Read10x16_PassThrough_Logged);
BENCHMARK(BM_Read10x16_Aspi_Logged);
BENCHMARK(BM_TestUnitReady_PassThrough);
BENCHMARK(BM_TestUnitReady_Aspi);
BENCHMARK(BM_Inquiry36_PassThrough);
BENCHMARK(BM_Inquiry36_Aspi);

}  // namespace

BENCHMARK_MAIN();
