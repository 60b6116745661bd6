// Command blocks with their data, in both directions, through the simulated
// drive's decoder.  Every data buffer is exactly as long as the request
// says, so a handler that reads or writes past it is caught by the
// sanitizers.  The drive answers each command with good status or a check
// condition carrying fixed-format sense, and never reports more moved than
// was asked.
//
// Input: byte 0 the disc (one of the models, or none), byte 1 the drive's
// optional features and whether it answers the vendor query, then commands:
// a header byte (bits 0-3 the block length minus 1, bits 4-5 the direction:
// none, in, out, or in with the bus moving at most half the length; bits 6-7
// how far the clock moves before it), the block, two bytes of data
// length (big-endian) and, for data out, the bytes sent (zeros where the
// input ends).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

#include "simdrive/Disc.h"
#include "simdrive/SimDrive.h"
#include "simdrive/SimMachine.h"

namespace {

[[noreturn]] void Fail(const char* why) {
    std::fprintf(stderr, "fuzz check failed: %s\n", why);
    std::abort();
}

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return at_ >= size_; }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

constexpr uint16_t kOptionalFeatures[] = {sim::kFeatureDvdRead,  sim::kFeatureRandomWritable, sim::kFeatureDvdPlusRw,
                                          sim::kFeatureDvdPlusR, sim::kFeatureCdTrackAtOnce,  sim::kFeatureDvdMinusWrite};
constexpr uint32_t kClockSteps[] = {0, 300, 5000, 600000};
constexpr size_t kMostCommands = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    Input in(bytes, size);
    const std::vector<sim::DiscModel>& models = sim::AllDiscModels();
    const size_t disc = in.Byte() % (models.size() + 1);
    const uint8_t options = in.Byte();

    sim::DriveConfig config;
    config.Features.clear();
    for (size_t i = 0; i < std::size(kOptionalFeatures); ++i)
        if ((options >> i) & 1) config.Features.push_back(kOptionalFeatures[i]);
    if (options & 0x40) config.VendorQueryWord = 0x0001;
    config.BecomingReadyMs = options & 0x80 ? 2000 : 0;
    sim::VirtualClock clock;
    sim::SimDrive drive(config, &clock);
    drive.SetLogLimits(8, 256);
    if (disc < models.size()) drive.LoadDisc(sim::MakeDisc(models[disc]));

    for (size_t n = 0; n < kMostCommands && !in.AtEnd(); ++n) {
        const uint8_t header = in.Byte();
        clock.Advance(kClockSteps[header >> 6]);
        std::vector<uint8_t> cdb(1u + (header & 0x0F));
        for (uint8_t& b : cdb) b = in.Byte();
        const uint32_t length = static_cast<uint32_t>(in.Byte()) << 8 | in.Byte();
        sim::ScsiRequest request;
        const bool cut = ((header >> 4) & 0x03) == 3;
        if (cut) {
            sim::Fault fault;
            fault.NthCommand = drive.CommandCount() + 1;
            fault.ShortTransfer = length / 2;
            fault.Once = true;
            drive.AddFault(fault);
        }
        switch ((header >> 4) & 0x03) {
            case 0: request.Direction = sim::DataDirection::None; break;
            case 2: request.Direction = sim::DataDirection::Out; break;
            default: request.Direction = sim::DataDirection::In; break;
        }
        std::vector<uint8_t> data(length, 0xEE);
        if (request.Direction == sim::DataDirection::Out)
            for (uint8_t& b : data) b = in.Byte();
        request.Cdb = cdb.data();
        request.CdbLength = static_cast<uint8_t>(cdb.size());
        request.Data = data.empty() ? nullptr : data.data();
        request.DataLength = length;

        const sim::ScsiResult result = drive.Execute(request);
        if (result.TransportFailed) Fail("a deliverable request failed in transport");
        if (result.Residual > length) Fail("more reported moved than was asked");
        if (cut && length - result.Residual > length / 2) Fail("a cut transfer moved more than the bus let through");
        if (cut)
            for (uint32_t i = length - result.Residual; i < length; ++i)
                if (data[i] != 0xEE) Fail("a cut transfer wrote past what moved");
        if (result.Status != sim::kStatusGood) {
            if (result.Status != sim::kStatusCheckCondition) Fail("a status other than good or check condition");
            if (result.SenseData[0] != 0x70) Fail("a check condition without fixed-format sense");
        }
    }
    return 0;
}
