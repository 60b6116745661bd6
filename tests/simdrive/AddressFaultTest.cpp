// Faults at block addresses, the k-th match, and the bounded command log
// read while another thread sends commands.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DiscTestSupport.h"

using namespace simtest;
using sim::DataDirection;
using sim::DiscModel;
using sim::Fault;

namespace {

struct AddressCase {
    const char* Name;
    Fault Armed;
    std::vector<uint8_t> Cdb;
    const char* Expected;
    bool DataIntact;  // a read returns the pattern unchanged
};

Fault KthMatch(Fault fault, uint32_t k) {
    fault.NthMatch = k;
    return fault;
}

class AddressFaults : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressFaults, HitTheCommandsThatCoverTheBlock) {
    const AddressCase& c = GetParam();
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRam));
    ASSERT_EQ(Outcome(WritePattern(drive, 0, 64).Result), "good");
    drive.AddFault(c.Armed);
    const bool write = c.Cdb[0] == 0x2A || c.Cdb[0] == 0xAA;
    const uint32_t lba = Big32(c.Cdb, 2);
    const Reply reply = write ? Send(drive, c.Cdb, DataDirection::Out, Pattern(lba, 16))
                              : SendIn(drive, c.Cdb, 16 * 2048);
    EXPECT_EQ(Outcome(reply.Result), c.Expected);
    if (!write && reply.Result.Status == sim::kStatusGood) {
        EXPECT_EQ(reply.Data == Pattern(lba, 16), c.DataIntact);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, AddressFaults,
    ::testing::Values(
        AddressCase{"ReadErrorInside", Fault::ReadErrorAt(20), Read10(16, 16), "02 03/11/00", false},
        AddressCase{"ReadErrorLastBlock", Fault::ReadErrorAt(31), Read10(16, 16), "02 03/11/00", false},
        AddressCase{"ReadErrorOutside", Fault::ReadErrorAt(32), Read10(16, 16), "good", true},
        AddressCase{"ReadErrorIgnoresWrites", Fault::ReadErrorAt(20), Write10(16, 16), "good", true},
        AddressCase{"WriteErrorInside", Fault::WriteErrorAt(16), Write12(16, 16, true), "02 03/0C/00", true},
        AddressCase{"WriteErrorIgnoresReads", Fault::WriteErrorAt(16), Read10(16, 16), "good", true},
        AddressCase{"CorruptBlockReadsWrong", Fault::CorruptBlock(17), Read10(16, 16), "good", false},
        AddressCase{"CorruptBlockElsewhere", Fault::CorruptBlock(40), Read10(16, 16), "good", true},
        AddressCase{"SecondMatchOnly", KthMatch(Fault::ReadErrorAt(20), 2), Read10(16, 16), "good", true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(AddressFaults, CorruptionSpoilsOnlyTheLastWordOfItsBlock) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRom));
    drive.AddFault(Fault::CorruptBlock(5));
    Reply reply = SendIn(drive, Read10(4, 2), 2 * 2048);
    ASSERT_EQ(Outcome(reply.Result), "good");
    const std::vector<uint8_t> expected = Pattern(4, 2);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(reply.Data[i] != expected[i], i >= 2 * 2048 - 4) << "byte " << i;
    // Every read of the block is wrong; a buffer that stops before it is not touched.
    EXPECT_NE(SendIn(drive, Read10(5, 1), 2048).Data, Pattern(5, 1));
    reply = SendIn(drive, Read10(4, 2), 2048);
    EXPECT_EQ(reply.Data, Pattern(4, 1));
}

// A short transfer keeps the drive's status and moves only the start of the
// data: the rest of the host's buffer stays as it was, and the residual
// says how much did not move.
TEST(ShortTransfer, MovesOnlyTheStartOfTheDataAndReportsTheRest) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRam));
    ASSERT_EQ(Outcome(WritePattern(drive, 0, 16).Result), "good");
    drive.AddFault(Fault::ShortTransferOf(0x28, 3000));
    Reply reply = SendIn(drive, Read10(0, 2), 2 * 2048);
    EXPECT_EQ(Outcome(reply.Result), "good");
    EXPECT_EQ(reply.Result.Residual, 2u * 2048 - 3000);
    const std::vector<uint8_t> expected = Pattern(0, 2);
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(reply.Data[i], i < 3000 ? expected[i] : 0xEE) << "byte " << i;

    // A refusal is still the drive's: the fault cuts only what moves.
    reply = SendIn(drive, Read10(0xFFFFFF, 1), 2048);
    EXPECT_EQ(Outcome(reply.Result), "02 05/21/00");
    EXPECT_EQ(reply.Result.Residual, 2048u);

    drive.ClearFaults();
    drive.AddFault(Fault::ShortTransferOf(0x2A, 2048));
    reply = Send(drive, Write10(0, 2), DataDirection::Out, Pattern(0, 2));
    EXPECT_EQ(Outcome(reply.Result), "good");
    EXPECT_EQ(reply.Result.Residual, 2048u);
}

TEST(AddressFaults, KthMatchFiresOnceAmongTheMatches) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRom));
    Fault fault;
    fault.Opcode = 0x28;
    fault.NthMatch = 3;
    fault.SenseData = sim::kSenseReadError;
    drive.AddFault(fault);
    std::vector<std::string> outcomes;
    for (int i = 0; i < 5; ++i) {
        SendIn(drive, kTestUnitReady, 14);  // does not match, does not count
        outcomes.push_back(Outcome(SendIn(drive, Read10(0, 1), 2048).Result));
    }
    EXPECT_EQ(outcomes, (std::vector<std::string>{"good", "good", "02 03/11/00", "good", "good"}));
}

TEST(CommandLog, KeepsTheMostRecentEntriesAndHashesLargeData) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRam));
    drive.SetLogLimits(4, 2048);
    for (uint32_t i = 0; i < 6; ++i) ASSERT_EQ(Outcome(WritePattern(drive, i, i < 5 ? 1 : 2).Result), "good");
    const std::vector<sim::LoggedCommand> log = drive.LogSnapshot();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log.front().Cdb[5], 2) << "the oldest entries went first";
    EXPECT_EQ(log[2].DataOut, Pattern(4, 1)) << "within the limit: kept";
    EXPECT_TRUE(log[3].DataOut.empty()) << "beyond the limit: only the hash";
    EXPECT_EQ(log[3].DataLength, 2u * 2048);
    EXPECT_NE(log[3].DataOutHash, log[2].DataOutHash);
    EXPECT_EQ(drive.CommandCount(), 6u);
}

TEST(CommandLog, SnapshotsWhileAWorkerSends) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRam));
    drive.SetLogLimits(64, 1024);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (uint32_t i = 0; i < 3000; ++i) WritePattern(drive, i % 1000, 1);
        done = true;
    });
    size_t snapshots = 0;
    // At least one snapshot, also when the worker ends before this thread
    // first looks (a loaded machine).
    do {
        const std::vector<sim::LoggedCommand> log = drive.LogSnapshot();
        EXPECT_LE(log.size(), 64u);
        for (const sim::LoggedCommand& entry : log) EXPECT_EQ(entry.Cdb[0], 0x2A);
        ++snapshots;
    } while (!done);
    worker.join();
    EXPECT_GT(snapshots, 0u);
    EXPECT_EQ(drive.LogSnapshot().size(), 64u);
}

}  // namespace
