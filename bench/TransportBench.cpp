// Round trip of one command through SendDriveCommand to the simulated drive,
// on both carriers.  A real drive needs tens of microseconds for the fastest
// command; the transport's own share should stay a small fraction of one.
#include <benchmark/benchmark.h>

#include <memory>

#include "drive/Enumeration.h"
#include "drive/Transport.h"
#include "simdrive/SimMachine.h"

namespace {

std::unique_ptr<sim::SimMachine> MakeMachine(bool passThrough) {
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
    d->SetLogging(false);
    machine->Install();
    drive::DriveNameSlot names[26];
    drive::FindDrives(names);
    return machine;
}

void RoundTrip(benchmark::State& state, bool passThrough, const uint8_t* cdb, uint32_t length) {
    auto machine = MakeMachine(passThrough);
    uint8_t buffer[254] = {};
    for (auto _ : state) {
        uint8_t status = drive::SendDriveCommand(0, cdb, 6, buffer, length, 0);
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

BENCHMARK(BM_TestUnitReady_PassThrough);
BENCHMARK(BM_TestUnitReady_Aspi);
BENCHMARK(BM_Inquiry36_PassThrough);
BENCHMARK(BM_Inquiry36_Aspi);

}  // namespace

BENCHMARK_MAIN();
