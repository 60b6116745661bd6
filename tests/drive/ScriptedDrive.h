// A drive on the pass-through carrier whose answers a test scripts per
// opcode, on the simulated machine's other services (its virtual clock
// above all).  Every command that reaches it is recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "drive/Transport.h"
#include "platform/PassThrough.h"
#include "platform/Services.h"
#include "simdrive/SimMachine.h"

namespace drivetest {

struct Answer {
    bool TransportFails = false;
    uint8_t ScsiStatus = 0;  // non-zero: sense below
    uint8_t Key = 0, Asc = 0, Ascq = 0;
    std::vector<uint8_t> Data;  // moved to the caller on data-in commands
    // The bytes the request reports as moved; without it, all it asked for
    // (Data then gives their start, the rest reads as sent zeros).
    std::optional<uint32_t> Moved;
};

inline Answer Good(std::vector<uint8_t> data = {}) {
    Answer a;
    a.Data = std::move(data);
    return a;
}
inline Answer Check(uint8_t key, uint8_t asc, uint8_t ascq) {
    Answer a;
    a.ScsiStatus = 0x02;
    a.Key = key;
    a.Asc = asc;
    a.Ascq = ascq;
    return a;
}
// Good status with only `moved` bytes of the transfer done.
inline Answer GoodButShort(uint32_t moved, std::vector<uint8_t> data = {}) {
    Answer a = Good(std::move(data));
    a.Moved = moved;
    return a;
}
inline Answer ControlFails() {
    Answer a;
    a.TransportFails = true;
    return a;
}

struct Sent {
    std::vector<uint8_t> Cdb;  // the block's first CdbLength bytes
    bool DataIn = true;
    uint32_t Length = 0;
    std::vector<uint8_t> Out;  // data-out bytes
    bool Optional = false;     // sent as an optional query (platform::OptionalQuery)
};

class ScriptedDrive : public platform::IDeviceControl {
public:
    // Answers taken in order for an opcode; when none is left, the standing
    // answer of the opcode, else good without data.
    void Queue(uint8_t opcode, Answer answer) { queued_[opcode].push_back(std::move(answer)); }
    void Always(uint8_t opcode, Answer answer) { standing_[opcode] = std::move(answer); }
    std::vector<Sent> sent;

    std::vector<Sent> SentWith(uint8_t opcode) const {
        std::vector<Sent> found;
        for (const Sent& s : sent)
            if (!s.Cdb.empty() && s.Cdb[0] == opcode) found.push_back(s);
        return found;
    }

    bool DeviceIoControl(platform::Handle, uint32_t, void* in, uint32_t, void*, uint32_t,
                         uint32_t*) override {
        auto& record = *static_cast<drive::PassThroughRecord*>(in);
        auto& request = record.Request;
        Sent s;
        s.Cdb.assign(request.Cdb, request.Cdb + request.CdbLength);
        s.DataIn = request.DataIn == platform::SCSI_IOCTL_DATA_IN;
        s.Length = request.DataTransferLength;
        const auto* data = static_cast<uint8_t*>(request.DataBuffer);
        if (!s.DataIn) s.Out.assign(data, data + s.Length);
        s.Optional = platform::OptionalQuery::Active();
        sent.push_back(s);

        const Answer answer = Next(s.Cdb.empty() ? 0 : s.Cdb[0]);
        if (answer.TransportFails) return false;
        const uint32_t transferred = std::min(answer.Moved.value_or(s.Length), s.Length);
        const size_t moved = std::min<size_t>(answer.Data.size(), transferred);
        if (s.DataIn && moved != 0) std::memcpy(request.DataBuffer, answer.Data.data(), moved);
        request.DataTransferLength = transferred;
        request.ScsiStatus = answer.ScsiStatus;
        if (answer.ScsiStatus != 0) {
            std::memset(record.SenseArea, 0, sizeof record.SenseArea);
            record.SenseArea[2] = answer.Key;
            record.SenseArea[12] = answer.Asc;
            record.SenseArea[13] = answer.Ascq;
        }
        return true;
    }

private:
    Answer Next(uint8_t opcode) {
        auto q = queued_.find(opcode);
        if (q != queued_.end() && !q->second.empty()) {
            Answer a = q->second.front();
            q->second.pop_front();
            return a;
        }
        auto s = standing_.find(opcode);
        return s != standing_.end() ? s->second : Answer{};
    }
    std::map<uint8_t, std::deque<Answer>> queued_;
    std::map<uint8_t, Answer> standing_;
};

// Slot 0 is the scripted drive, over the simulated machine's services.
class ScriptedDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine.Install();
        platform::Services services;
        services.DeviceControl = &drv;
        platform::Install(services);
        drive::SlotTable = drive::DriveSlotTable{};
        drive::SlotTable.TransportMode = 1;
        drive::SlotTable.DeviceHandles[0] = 7;
    }

    sim::SimMachine machine;
    ScriptedDrive drv;
};

// A scripted drive on a machine of its own: a fresh clock and script for
// each case of a table.
struct FreshScriptedDrive {
    FreshScriptedDrive() {
        machine.Install();
        platform::Services services;
        services.DeviceControl = &drive;
        platform::Install(services);
    }
    sim::SimMachine machine;
    ScriptedDrive drive;
};

// A reply of n bytes, zero but for the bytes given at their offsets.
inline std::vector<uint8_t> Bytes(size_t n, std::initializer_list<std::pair<size_t, uint8_t>> at) {
    std::vector<uint8_t> v(n, 0);
    for (const auto& [offset, value] : at) v[offset] = value;
    return v;
}

}  // namespace drivetest
