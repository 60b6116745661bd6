// Recording on the simulated discs: writes at the next writable address,
// closing tracks and sessions, what the drive refuses, blanking and
// formatting on the drive's clock, write protection.
#include <gtest/gtest.h>

#include "DiscTestSupport.h"
#include "simdrive/SimMachine.h"

using namespace simtest;
using sim::DataDirection;
using sim::DiscModel;
using sim::DiscState;

namespace {

// Multi-session field of the write parameters page: 11b keeps the disc open
// for the next session, 00b finalizes it.  Write type: track at once (1) or
// incremental (0, the DVD-R family).
void SetMultiSession(sim::SimDrive& drive, bool nextSession, uint8_t writeType) {
    Reply page = SendIn(drive, kModeSense05, 254);
    ASSERT_EQ(Big16(page.Data, 0), 58);
    page.Data.resize(60);
    page.Data[10] = static_cast<uint8_t>((page.Data[10] & 0xF0) | writeType);
    page.Data[11] = static_cast<uint8_t>((page.Data[11] & 0x3F) | (nextSession ? 0xC0 : 0x00));
    ASSERT_EQ(Outcome(Send(drive, ModeSelect(60), DataDirection::Out, page.Data).Result), "good");
}

struct SequenceCase {
    const char* Name;
    DiscModel Model;
    bool NextSession;
    bool CloseSession;   // after closing the track
    DiscView After;      // the view after the sequence
};

class WriteThenClose : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(WriteThenClose, EndsInTheStatusTheDriveReports) {
    const SequenceCase& c = GetParam();
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(c.Model));
    const bool dvdMinus = c.Model == DiscModel::DvdR || c.Model == DiscModel::DvdRDl;
    SetMultiSession(drive, c.NextSession, dvdMinus ? 0 : 1);
    ASSERT_EQ(Outcome(WritePattern(drive, 0, 16).Result), "good");
    ASSERT_EQ(Outcome(WritePattern(drive, 16, 16).Result), "good");
    EXPECT_EQ(View(drive).Status, 1) << "written: incomplete";
    EXPECT_EQ(View(drive).NextWritable, 32u);
    ASSERT_EQ(Outcome(Send(drive, CloseTrack(1), DataDirection::Out).Result), "good");
    if (c.CloseSession) {
        ASSERT_EQ(Outcome(Send(drive, kCloseSession, DataDirection::Out).Result), "good");
    }
    const DiscView v = View(drive);
    EXPECT_EQ(v.Status, c.After.Status);
    EXPECT_EQ(v.LastTrack, c.After.LastTrack);
    EXPECT_EQ(v.Capacity, c.After.Capacity);
    EXPECT_EQ(v.NextWritable, c.After.NextWritable);
    EXPECT_EQ(v.Free, c.After.Free);
    // What was written reads back, the first track is closed at its end.
    const Reply back = SendIn(drive, Read10(0, 32), 32 * 2048);
    ASSERT_EQ(Outcome(back.Result), "good");
    EXPECT_EQ(back.Data, Pattern(0, 32));
    const Reply first = SendIn(drive, ReadTrackInformation(1), 254);
    EXPECT_EQ(Big32(first.Data, 24), 32u);
    // A finalized disc takes no more; an open one only at its next address.
    const uint32_t next = v.Status == 2 ? 32 : v.NextWritable;
    EXPECT_EQ(Outcome(WritePattern(drive, next, 1).Result), v.Status == 2 ? "02 05/21/02" : "good");
}

constexpr uint32_t kCd = 359849;
constexpr uint32_t kDvdR = 2298496;

INSTANTIATE_TEST_SUITE_P(
    Simdrive, WriteThenClose,
    ::testing::Values(
        // Closing the track opens the next one right behind it.
        SequenceCase{"CdRTrack", DiscModel::CdR, true, false, {0, 1, false, 2, kCd, 32, kCd - 32}},
        SequenceCase{"CdRSessionNext", DiscModel::CdR, true, true,
                     {0, 1, false, 2, kCd, 32 + 11400, kCd - 32 - 11400}},
        SequenceCase{"CdRSessionFinal", DiscModel::CdR, false, true, {0, 2, false, 1, 32, 0, 0}},
        SequenceCase{"CdRwSessionFinal", DiscModel::CdRw, false, true, {0, 2, true, 1, 32, 0, 0}},
        SequenceCase{"DvdRSessionNext", DiscModel::DvdR, true, true,
                     {0, 1, false, 2, kDvdR, 32 + 0x3000, kDvdR - 32 - 0x3000}},
        SequenceCase{"DvdRDlTrackOnly", DiscModel::DvdRDl, true, false, {0, 1, false, 2, 4171712, 32, 4171712 - 32}},
        SequenceCase{"DvdPlusRSessionFinal", DiscModel::DvdPlusR, false, true, {0, 2, false, 1, 32, 0, 0}}),
    [](const auto& info) { return std::string(info.param.Name); });

struct RefusalCase {
    const char* Name;
    sim::Disc Disc;
    std::vector<uint8_t> Cdb;
    uint32_t Blocks;  // data out (write) or in (read)
    const char* Expected;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, AnswerTheSenseOfARealDrive) {
    const RefusalCase& c = GetParam();
    sim::SimDrive drive;
    drive.LoadDisc(c.Disc);
    const bool write = c.Cdb[0] == 0x2A || c.Cdb[0] == 0xAA;
    const Reply reply = write ? Send(drive, c.Cdb, DataDirection::Out, Pattern(0, c.Blocks))
                              : SendIn(drive, c.Cdb, c.Blocks * 2048);
    EXPECT_EQ(Outcome(reply.Result), c.Expected);
}

sim::Disc RamWith(uint8_t protection) {
    sim::DiscSetup setup;
    setup.Model = DiscModel::DvdRam;
    setup.WriteProtection = protection;
    return sim::MakeDisc(setup);
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, Refusals,
    ::testing::Values(
        RefusalCase{"WriteOffNextAddress", DiscOf(DiscModel::DvdR), Write10(16, 1), 1, "02 05/21/02"},
        RefusalCase{"WriteIncompleteOffAddress", DiscOf(DiscModel::CdR, DiscState::Incomplete), Write10(0, 1), 1,
                    "02 05/21/02"},
        RefusalCase{"WriteFinalized", DiscOf(DiscModel::CdR, DiscState::Finalized), Write10(20000, 1), 1,
                    "02 05/21/02"},
        RefusalCase{"WritePressed", DiscOf(DiscModel::DvdRom), Write10(0, 1), 1, "02 05/30/05"},
        RefusalCase{"WriteBeyondCapacity", DiscOf(DiscModel::DvdRam), Write10(2236704 - 1, 2), 2, "02 05/21/00"},
        RefusalCase{"WritePersistentProtection", RamWith(sim::kProtectPersistent), Write12(0, 1, true), 1,
                    "02 07/27/00"},
        RefusalCase{"WriteCartridgeProtection", RamWith(sim::kProtectCartridge), Write10(0, 1), 1, "02 07/27/00"},
        RefusalCase{"WriteShortData", DiscOf(DiscModel::DvdRam), Write10(0, 2), 1, "02 05/1A/00"},
        // 200000h blocks of 2048 bytes are 2^32 bytes: the length must not wrap to 0.
        RefusalCase{"Write12CountTimesBlockWraps", DiscOf(DiscModel::DvdRam),
                    {0xAA, 0, 0, 0, 0, 0, 0x00, 0x20, 0x00, 0x00, 0, 0}, 1, "02 05/1A/00"},
        RefusalCase{"ReadUnwritten", DiscOf(DiscModel::DvdR), Read10(0, 1), 1, "02 05/21/00"},
        RefusalCase{"ReadPastRecorded", DiscOf(DiscModel::CdR, DiscState::Finalized), Read10(19999, 2), 2,
                    "02 05/21/00"},
        RefusalCase{"ReadBeyondCapacity", DiscOf(DiscModel::DvdRom), Read10(2295104 - 15, 16), 16, "02 05/21/00"},
        RefusalCase{"ReadUnformatted", DiscOf(DiscModel::DvdPlusRw), Read10(0, 1), 1, "02 05/21/00"},
        RefusalCase{"CloseMissingTrack", DiscOf(DiscModel::CdR), CloseTrack(2), 0, "02 05/24/00"},
        RefusalCase{"ClosePressed", DiscOf(DiscModel::CdRom), kCloseSession, 0, "02 05/30/05"},
        RefusalCase{"BlankWriteOnce", DiscOf(DiscModel::CdR), kBlankMinimal, 0, "02 05/30/06"},
        RefusalCase{"VendorQueryNotAnswered", DiscOf(DiscModel::CdR), kQueryVendorFF09, 0, "02 05/24/00"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Recording, PressedDiscsReadTheirPattern) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRom));
    const Reply last = SendIn(drive, Read10(2295104 - 16, 16), 16 * 2048);
    ASSERT_EQ(Outcome(last.Result), "good");
    EXPECT_EQ(last.Data, Pattern(2295104 - 16, 16));
    const Reply capacity = SendIn(drive, kReadCapacity, 8);
    EXPECT_EQ(Big32(capacity.Data, 0), 2295104u - 1);
    EXPECT_EQ(Big32(capacity.Data, 4), 2048u);
}

TEST(Recording, OtherDataIsKeptAndRandomDiscsReadZerosWhereUnwritten) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRam));
    std::vector<uint8_t> data(2 * 2048);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_EQ(Outcome(Send(drive, Write10(100, 2), DataDirection::Out, data).Result), "good");
    ASSERT_EQ(Outcome(WritePattern(drive, 102, 1).Result), "good");
    const Reply back = SendIn(drive, Read10(99, 5), 5 * 2048);
    ASSERT_EQ(Outcome(back.Result), "good");
    EXPECT_EQ(std::vector<uint8_t>(back.Data.begin(), back.Data.begin() + 2048), std::vector<uint8_t>(2048, 0));
    EXPECT_EQ(std::vector<uint8_t>(back.Data.begin() + 2048, back.Data.begin() + 3 * 2048), data);
    EXPECT_EQ(std::vector<uint8_t>(back.Data.begin() + 3 * 2048, back.Data.begin() + 4 * 2048), Pattern(102, 1));
    EXPECT_EQ(drive.StoredDataBlocks(), 2u) << "the pattern block is kept as a bit";
    // Overwriting with the pattern frees the data.
    ASSERT_EQ(Outcome(Send(drive, Write10(100, 2), DataDirection::Out, Pattern(100, 2)).Result), "good");
    EXPECT_EQ(drive.StoredDataBlocks(), 0u);
}

TEST(Recording, PatternBlocksCostBitsAndOtherBlocksTheirBytes) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdPlusR));
    for (uint32_t lba = 0; lba < 64000; lba += 16)
        ASSERT_EQ(Outcome(WritePattern(drive, lba, 16).Result), "good") << lba;
    const size_t bitmaps = 2 * ((2295104 + 63) / 64) * 8;
    EXPECT_EQ(drive.StoredDataBlocks(), 0u);
    EXPECT_LE(drive.StorageBytes(), bitmaps);
    std::vector<uint8_t> other(2048, 0x5A);
    ASSERT_EQ(Outcome(Send(drive, Write10(64000, 1), DataDirection::Out, other).Result), "good");
    EXPECT_EQ(drive.StoredDataBlocks(), 1u);
    EXPECT_GT(drive.StorageBytes(), bitmaps);
    EXPECT_LE(drive.StorageBytes(), bitmaps + 4096);
}

TEST(Recording, ADiscTakenOutKeepsWhatWasWritten) {
    sim::SimDrive a, b;
    a.LoadDisc(DiscOf(DiscModel::DvdPlusR));
    ASSERT_EQ(Outcome(WritePattern(a, 0, 4).Result), "good");
    std::optional<sim::Disc> disc = a.TakeDisc();
    ASSERT_TRUE(disc);
    EXPECT_EQ(Outcome(SendIn(a, kTestUnitReady, 14).Result), "02 02/3A/00");
    b.LoadDisc(*disc);
    EXPECT_EQ(SendIn(b, Read10(0, 4), 4 * 2048).Data, Pattern(0, 4));
    EXPECT_EQ(View(b).NextWritable, 4u);
}

TEST(Recording, QueuedDiscsDropInWhenTheTrayOpens) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::CdRom));
    drive.QueueDisc(DiscOf(DiscModel::DvdRw));
    drive.QueueDisc(DiscOf(DiscModel::CdRw));
    EXPECT_EQ(View(drive).Profile, 0x08);
    SendIn(drive, StartStopUnit(0x02), 0);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/3A/02");
    SendIn(drive, StartStopUnit(0x03), 0);
    EXPECT_EQ(View(drive).Profile, 0x14);
    SendIn(drive, StartStopUnit(0x02), 0);
    SendIn(drive, StartStopUnit(0x03), 0);
    EXPECT_EQ(View(drive).Profile, 0x0A);
    EXPECT_EQ(drive.QueuedDiscs(), 0u);
    SendIn(drive, StartStopUnit(0x02), 0);
    SendIn(drive, StartStopUnit(0x03), 0);
    EXPECT_EQ(View(drive).Profile, 0x0A) << "with the queue empty the disc stays";
}

TEST(Recording, DvdRamProtectionIsSetAndClearedByTheHost) {
    sim::SimDrive drive;
    drive.LoadDisc(RamWith(sim::kProtectCartridge));
    const auto protection = [&] { return SendIn(drive, ReadDvdStructure(0xC0, 8), 8).Data[4]; };
    EXPECT_EQ(protection(), sim::kProtectCartridge);
    std::vector<uint8_t> status = {0, 6, 0, 0, sim::kProtectPersistent, 0, 0, 0};
    ASSERT_EQ(Outcome(Send(drive, kSendWriteProtection, DataDirection::Out, status).Result), "good");
    EXPECT_EQ(protection(), sim::kProtectCartridge | sim::kProtectPersistent);
    status[4] = 0;  // clearing everything leaves the cartridge's own bit
    ASSERT_EQ(Outcome(Send(drive, kSendWriteProtection, DataDirection::Out, status).Result), "good");
    EXPECT_EQ(protection(), sim::kProtectCartridge);
    EXPECT_EQ(Outcome(WritePattern(drive, 0, 1).Result), "02 07/27/00");

    drive.LoadDisc(DiscOf(DiscModel::DvdRam));
    status[4] = sim::kProtectPersistent;
    ASSERT_EQ(Outcome(Send(drive, kSendWriteProtection, DataDirection::Out, status).Result), "good");
    EXPECT_EQ(Outcome(WritePattern(drive, 0, 1).Result), "02 07/27/00");
    std::optional<sim::Disc> disc = drive.TakeDisc();
    drive.LoadDisc(*disc);
    EXPECT_EQ(protection(), sim::kProtectPersistent) << "persistent: kept on the disc";
    status[4] = 0;
    ASSERT_EQ(Outcome(Send(drive, kSendWriteProtection, DataDirection::Out, status).Result), "good");
    EXPECT_EQ(Outcome(Send(drive, Write12(0, 1, true), DataDirection::Out, Pattern(0, 1)).Result), "good");

    drive.LoadDisc(DiscOf(DiscModel::DvdPlusRw));
    EXPECT_EQ(Outcome(Send(drive, kSendWriteProtection, DataDirection::Out, status).Result), "02 05/30/05");
    EXPECT_EQ(Outcome(Send(drive, kSendWriteProtection, DataDirection::Out, {0, 6}).Result), "02 05/30/05");
}

std::vector<uint8_t> FormatList(uint32_t blocks, uint8_t typeByte, uint32_t parameter) {
    return {0x00, 0x82, 0x00, 0x08, static_cast<uint8_t>(blocks >> 24), static_cast<uint8_t>(blocks >> 16),
            static_cast<uint8_t>(blocks >> 8), static_cast<uint8_t>(blocks), typeByte,
            static_cast<uint8_t>(parameter >> 16), static_cast<uint8_t>(parameter >> 8), static_cast<uint8_t>(parameter)};
}

struct ChangeCase {
    const char* Name;
    sim::Disc Disc;
    std::vector<uint8_t> Cdb;
    std::vector<uint8_t> List;
    uint32_t BusyMs;
    const char* Busy;     // TEST UNIT READY meanwhile
    uint16_t Profile;     // after
    uint8_t Status;
};

class FormatAndBlank : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(FormatAndBlank, BecomeReadyAfterTheModelledTime) {
    const ChangeCase& c = GetParam();
    sim::VirtualClock clock;
    sim::SimDrive drive({}, &clock);
    drive.LoadDisc(c.Disc);
    if (c.Profile == 0x14) {
        ASSERT_EQ(Outcome(WritePattern(drive, 0, 16).Result), "good");  // something to blank
    }
    const Reply reply = c.List.empty() ? SendIn(drive, c.Cdb, 254) : Send(drive, c.Cdb, DataDirection::Out, c.List);
    ASSERT_EQ(Outcome(reply.Result), "good");
    clock.Sleep(c.BusyMs - 1);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), c.Busy);
    EXPECT_EQ(Outcome(SendIn(drive, Read10(0, 1), 2048).Result), c.Busy) << "the disc is busy";
    clock.Sleep(1);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "good");
    const DiscView v = View(drive);
    EXPECT_EQ(v.Profile, c.Profile);
    EXPECT_EQ(v.Status, c.Status);
    EXPECT_EQ(Outcome(WritePattern(drive, 0, 16).Result), "good") << "writable from the start again";
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, FormatAndBlank,
    ::testing::Values(
        ChangeCase{"CdRwBlank", DiscOf(DiscModel::CdRw), kBlankMinimal, {}, 60000, "02 02/04/07", 0x0A, 0},
        ChangeCase{"DvdRwBlank", DiscOf(DiscModel::DvdRw), kBlankMinimal, {}, 60000, "02 02/04/07", 0x14, 0},
        ChangeCase{"DvdRwQuickFormat", DiscOf(DiscModel::DvdRw), kFormatUnit, FormatList(0, 0x54, 0x10), 90000,
                   "02 02/04/04", 0x13, 2},
        ChangeCase{"DvdPlusRwFormat", DiscOf(DiscModel::DvdPlusRw), kFormatUnit, FormatList(0xFFFFFFFF, 0x98, 0), 3000,
                   "02 02/04/04", 0x1A, 2}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(FormatUnit, RefusesWrongListsAndTypes) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdRw));
    EXPECT_EQ(Outcome(Send(drive, kFormatUnit, DataDirection::Out, FormatList(0, 0x98, 0)).Result), "02 05/26/00");
    std::vector<uint8_t> list = FormatList(0, 0x54, 0x10);
    list[3] = 16;
    EXPECT_EQ(Outcome(Send(drive, kFormatUnit, DataDirection::Out, list).Result), "02 05/1A/00");
    EXPECT_EQ(Outcome(Send(drive, kFormatUnit, DataDirection::Out, {0, 0x82, 0, 8}).Result), "02 05/1A/00");
    EXPECT_EQ(View(drive).Profile, 0x14) << "nothing changed";
    drive.LoadDisc(DiscOf(DiscModel::DvdR));
    EXPECT_EQ(Outcome(Send(drive, kFormatUnit, DataDirection::Out, FormatList(0, 0x54, 0x10)).Result), "02 05/26/00");
}

TEST(Recording, CloseAndBlankTakeTheirTimeOnTheClock) {
    sim::VirtualClock clock;
    sim::SimDrive drive({}, &clock);
    drive.LoadDisc(DiscOf(DiscModel::DvdR));
    ASSERT_EQ(Outcome(WritePattern(drive, 0, 1).Result), "good");
    ASSERT_EQ(Outcome(Send(drive, CloseTrack(1), DataDirection::Out).Result), "good");
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/04/07");
    clock.Sleep(2000);
    ASSERT_EQ(Outcome(Send(drive, kCloseSession, DataDirection::Out).Result), "good");
    clock.Sleep(59999);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "02 02/04/07");
    clock.Sleep(1);
    EXPECT_EQ(Outcome(SendIn(drive, kTestUnitReady, 14).Result), "good");
}

struct SelectCase {
    const char* Name;
    DiscModel Model;
    uint8_t WriteType;
    uint8_t BlockType;
    const char* Expected;
};

class WriteParameters : public ::testing::TestWithParam<SelectCase> {};

TEST_P(WriteParameters, AreKeptOrRefusedForTheDisc) {
    const SelectCase& c = GetParam();
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(c.Model));
    Reply page = SendIn(drive, kModeSense05, 254);
    ASSERT_EQ(page.Result.Residual, 254u - 60);
    page.Data.resize(60);
    page.Data[0] = 0x00;  // the header bytes a host sends back are not looked at
    page.Data[2] = 0x41;
    page.Data[10] = c.WriteType;
    page.Data[12] = c.BlockType;
    EXPECT_EQ(Outcome(Send(drive, ModeSelect(60), DataDirection::Out, page.Data).Result), c.Expected);
    const Reply after = SendIn(drive, kModeSense05, 254);
    const bool taken = std::string(c.Expected) == "good";
    EXPECT_EQ(after.Data[10], taken ? c.WriteType : 0x01);
    EXPECT_EQ(after.Data[12], taken ? c.BlockType : 0x08);
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, WriteParameters,
    ::testing::Values(SelectCase{"CdTrackAtOnce", DiscModel::CdR, 0x41, 0x08, "good"},
                      SelectCase{"DvdRIncremental", DiscModel::DvdR, 0x60, 0x0A, "good"},
                      SelectCase{"DvdRTrackAtOnce", DiscModel::DvdR, 0x41, 0x08, "02 05/26/00"},
                      SelectCase{"DvdRRawBlocks", DiscModel::DvdRw, 0x60, 0x01, "02 05/26/00"},
                      SelectCase{"CdLayerJump", DiscModel::CdRw, 0x04, 0x08, "02 05/26/00"},
                      SelectCase{"DvdPlusRwTakesAny", DiscModel::DvdPlusRw, 0x01, 0x08, "good"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(WriteParameters, RefuseAListThatIsNotPage05) {
    sim::SimDrive drive;
    std::vector<uint8_t> list(60, 0);
    list[8] = 0x2A;
    list[9] = 0x32;
    EXPECT_EQ(Outcome(Send(drive, ModeSelect(60), DataDirection::Out, list).Result), "02 05/26/00");
    list[8] = 0x05;
    EXPECT_EQ(Outcome(Send(drive, ModeSelect(40), DataDirection::Out, list).Result), "02 05/1A/00");
    EXPECT_EQ(Outcome(Send(drive, ModeSelect(60), DataDirection::Out, std::vector<uint8_t>(30)).Result), "02 05/1A/00");
    EXPECT_EQ(Outcome(Send(drive, ModeSelect(4), DataDirection::Out, std::vector<uint8_t>(4)).Result), "02 05/1A/00")
        << "a list shorter than its own header";
    EXPECT_EQ(Outcome(SendIn(drive, {0x5A, 0, 0x2A, 0, 0, 0, 0, 0, 0xFE, 0}, 254).Result), "02 05/24/00");
}

}  // namespace
