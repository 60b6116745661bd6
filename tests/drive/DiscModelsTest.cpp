// The disc information record and the write and close routines against every
// disc model of the simulated drive, on both carriers: what the program shows
// for a disc comes from the drive's real answers, not from scripted replies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Carriers.h"
#include "drive/DiscInfo.h"
#include "drive/Mmc.h"
#include "platform/Win.h"
#include "simdrive/Disc.h"
#include "simdrive/SimMachine.h"

namespace {

using sim::DiscModel;
using sim::DiscState;
using Buffer = std::vector<uint8_t>;

using drivetest::Carrier;
using drivetest::CarrierName;

// One drive on the carrier.  The pass-through drive answers the vendor query
// with a non-zero word, the ASPI drive refuses it, so the vendor flag differs.
class OnCarrier {
public:
    explicit OnCarrier(Carrier carrier) {
        sim::DriveConfig config;
        if (carrier == Carrier::PassThrough) config.VendorQueryWord = 0x0001;
        int found = 0;
        drive_ = &drivetest::AttachOnCarrier(machine_, carrier, config, found);
        EXPECT_EQ(found, 1);
    }
    sim::SimDrive& Drive() { return *drive_; }

private:
    sim::SimMachine machine_;
    sim::SimDrive* drive_ = nullptr;
};

// Test names: the carrier, then the case.
struct CaseName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        return std::string(CarrierName(std::get<0>(info.param))) + "_" + std::get<1>(info.param).Name;
    }
};

sim::DiscSetup Setup(DiscModel model, std::optional<DiscState> status = std::nullopt, unsigned tracks = 0) {
    sim::DiscSetup s;
    s.Model = model;
    s.Status = status;
    s.Tracks = tracks;
    return s;
}

sim::DiscSetup WithId(sim::DiscSetup s, const char* id, uint8_t revision) {
    s.MediaId = id;
    s.MediaRevision = revision;
    return s;
}

sim::DiscSetup Protected(sim::DiscSetup s, uint8_t bits) {
    s.WriteProtection = bits;
    return s;
}

// ---- GetDiscInfo over every model ----------------------------------------------

struct RecordCase {
    const char* Name;
    std::optional<sim::DiscSetup> Disc;  // none: an empty drive
    bool Valid;
    uint16_t Type;
    uint8_t Status;
    uint16_t LastTrack;
    uint32_t Capacity, NextWritable, Free, Formattable;
    const char* Identity;
    const char* Second;
    uint8_t WriteProtected;
    uint8_t FinishedReadable;
    uint32_t ErrorCode;
};

constexpr uint32_t kCd = 359849;
constexpr uint32_t kDvdR = 2298496;
constexpr uint32_t kDvdRw = 2297888;
constexpr uint32_t kDvdPlus = 2295104;
constexpr uint32_t kDvdRDl = 4171712;
constexpr uint32_t kDvdPlusDl = 4173824;
constexpr uint32_t kDvdRam = 2236704;

const char* const kMccR = "4D 43 43 20 30 33 52 47 32 30 00 00";
const char* const kMccRw = "4D 43 43 20 30 31 52 57 31 31 6E 31";
const char* const kMkm = "4D 4B 4D 20 30 33 52 44 33 30 00 00";
const char* const kRitek = "52 49 54 45 4B 00 00 00 52 30 35";
const char* const kRicohDl = "52 49 43 4F 48 4A 50 4E 44 30 31";
const char* const kRicohRw = "52 49 43 4F 48 4A 50 4E 57 31 31";
const char* const kMatshita = "4D 41 54 53 48 49 54 41 4D 30 31 4A 33";

// ---- drives that lack optional commands ----------------------------------------

// Emulated drives answer only what a read-only drive must: no track
// information, no format capacities, no vendor query.
TEST(DriveWithoutOptionalCommands, ReadOnlyDiscsStillGiveTheirSize) {
    struct Case {
        const char* what;
        std::vector<uint8_t> missing;
        DiscModel disc;
        bool valid;
        uint32_t capacity;
        uint32_t formattable;
        uint32_t error;
    } cases[] = {
        {"DVD-ROM drive without track information or format capacities", {0x52, 0x23}, DiscModel::DvdRom,
         true, kDvdPlus, 0, 0},
        {"CD-ROM in a drive without track information", {0x52}, DiscModel::CdRom, true, 333000, 0, 0},
        {"DVD-ROM in a drive without format capacities", {0x23}, DiscModel::DvdRom, true, kDvdPlus, 0, 0},
        {"nothing tells the size", {0x52, 0x25}, DiscModel::CdRom, true, 0, 0, 0},
        {"a writable disc needs the format capacities", {0x23}, DiscModel::DvdPlusRw, false, kDvdPlus, 0,
         0x052000},
    };
    for (const Case& c : cases) {
        sim::SimMachine machine;
        sim::DriveConfig config;
        config.Product = "DVD-ROM EMULATED";
        config.Features = {sim::kFeatureDvdRead};
        config.MissingCommands = c.missing;
        int found = 0;
        sim::SimDrive& d = drivetest::AttachOnCarrier(machine, Carrier::PassThrough, config, found);
        ASSERT_EQ(found, 1) << c.what;
        d.LoadDisc(sim::MakeDisc(c.disc));

        drive::DiscRecord r;
        std::memset(&r, 0x5A, sizeof r);
        EXPECT_EQ(drive::GetDiscInfo(0, r), c.valid) << c.what;
        EXPECT_EQ(r.Capacity, c.capacity) << c.what;
        EXPECT_EQ(r.FormattableCapacity, c.formattable) << c.what;
        EXPECT_EQ(r.ErrorCode, c.error) << c.what;
    }
}

std::vector<RecordCase> RecordCases() {
    // Tracks of an incomplete disc: two closed in the first session, the
    // third open after the session gap (11,400 blocks on a CD, 12,288 on a
    // DVD); the record holds the open track's values.
    return {
        {"EmptyDrive", std::nullopt, false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0x023A00},
        {"CdRom", Setup(DiscModel::CdRom), true, 0x0801, 2, 1, 333000, 0, 0, 0, "", "", 0, 1, 0},
        {"CdRBlank", Setup(DiscModel::CdR), true, 0x0802, 0, 1, kCd, 0, kCd, 0, "97:24:01", "79:59:74", 0, 0, 0},
        {"CdRIncomplete", Setup(DiscModel::CdR, DiscState::Incomplete, 3), true, 0x0802, 1, 3, kCd, 51400,
         kCd - 51400, 0, "97:24:01", "79:59:74", 0, 0, 0},
        {"CdRFinalized", Setup(DiscModel::CdR, DiscState::Finalized), true, 0x0802, 2, 1, 20000, 0, 0, 0,
         "97:24:01", "79:59:74", 0, 1, 0},
        {"CdRwBlank", Setup(DiscModel::CdRw), true, 0x0804, 0, 1, kCd, 0, kCd, 0, "97:10:64", "79:59:74", 0, 0, 0},
        {"CdRwFinalized", Setup(DiscModel::CdRw, DiscState::Finalized), true, 0x0804, 2, 1, 20000, 0, 0, 0,
         "97:10:64", "79:59:74", 0, 0, 0},
        {"DvdRom", Setup(DiscModel::DvdRom), true, 0x1001, 2, 1, kDvdPlus, 0, 0, kDvdPlus, "", "", 0, 1, 0},
        {"DvdRBlank", Setup(DiscModel::DvdR), true, 0x1102, 0, 1, kDvdR, 0, kDvdR, kDvdR, "MCC 03RG20", kMccR, 0,
         0, 0},
        {"DvdRIncomplete", Setup(DiscModel::DvdR, DiscState::Incomplete, 3), true, 0x1102, 1, 3, kDvdR, 52288,
         kDvdR - 52288, kDvdR, "MCC 03RG20", kMccR, 0, 0, 0},
        // A finalized disc keeps its recorded size as the capacity; only a
        // blank disc takes the formattable capacity.
        {"DvdRFinalized", Setup(DiscModel::DvdR, DiscState::Finalized), true, 0x1102, 2, 1, 20000, 0, 0, kDvdR,
         "MCC 03RG20", kMccR, 0, 1, 0},
        {"DvdRwSequential", Setup(DiscModel::DvdRw), true, 0x1104, 0, 1, kDvdRw, 0, kDvdRw, kDvdRw,
         "MCC 01RW11n1", kMccRw, 0, 0, 0},
        {"DvdRwRestricted", Setup(DiscModel::DvdRwRestricted), true, 0x1104, 2, 1, kDvdRw, 0, 0, kDvdRw,
         "MCC 01RW11n1", kMccRw, 0, 0, 0},
        {"DvdRDl", Setup(DiscModel::DvdRDl), true, 0x110A, 0, 1, kDvdRDl, 0, kDvdRDl, kDvdRDl, "MKM 03RD30", kMkm,
         0, 0, 0},
        {"DvdPlusRKnown", Setup(DiscModel::DvdPlusR), true, 0x1202, 0, 1, kDvdPlus, 0, kDvdPlus, kDvdPlus,
         "RITEK R05(01)", kRitek, 0, 0, 0},
        {"DvdPlusRKnownRevision2", WithId(Setup(DiscModel::DvdPlusR), "RITEK R05", 0x02), true, 0x1202, 0, 1,
         kDvdPlus, 0, kDvdPlus, kDvdPlus, "RITEK R05(02)", kRitek, 0, 0, 0},
        // Not in the table of known media: no revision suffix.
        {"DvdPlusRUnknown", WithId(Setup(DiscModel::DvdPlusR), "CMC MAG M01", 0x02), true, 0x1202, 0, 1, kDvdPlus,
         0, kDvdPlus, kDvdPlus, "CMC MAG M01", "43 4D 43 20 4D 41 47 00 4D 30 31", 0, 0, 0},
        {"DvdPlusRFinalized", Setup(DiscModel::DvdPlusR, DiscState::Finalized), true, 0x1202, 2, 1, 20000, 0, 0,
         kDvdPlus, "RITEK R05(01)", kRitek, 0, 1, 0},
        {"DvdPlusRwBlank", Setup(DiscModel::DvdPlusRw), true, 0x1204, 0, 1, kDvdPlus, 0, kDvdPlus, kDvdPlus,
         "RICOHJPNW11", kRicohRw, 0, 0, 0},
        {"DvdPlusRwFormatted", Setup(DiscModel::DvdPlusRw, DiscState::Finalized), true, 0x1204, 2, 1, kDvdPlus, 0,
         0, kDvdPlus, "RICOHJPNW11", kRicohRw, 0, 0, 0},
        {"DvdPlusRDl", Setup(DiscModel::DvdPlusRDl), true, 0x120A, 0, 1, kDvdPlusDl, 0, kDvdPlusDl, kDvdPlusDl,
         "RICOHJPND01(01)", kRicohDl, 0, 0, 0},
        // Write protection is byte 4 of the status above 1: the software bit
        // alone does not count, the persistent and the cartridge bits do.
        {"DvdRam", Setup(DiscModel::DvdRam), true, 0x1010, 2, 1, kDvdRam, 0, 0, kDvdRam, "MATSHITA M01J3",
         kMatshita, 0, 0, 0},
        {"DvdRamSoftwareProtect", Protected(Setup(DiscModel::DvdRam), sim::kProtectSoftware), true, 0x1010, 2, 1,
         kDvdRam, 0, 0, kDvdRam, "MATSHITA M01J3", kMatshita, 0, 0, 0},
        {"DvdRamPersistentProtect", Protected(Setup(DiscModel::DvdRam), sim::kProtectPersistent), true, 0x1010, 2,
         1, kDvdRam, 0, 0, kDvdRam, "MATSHITA M01J3", kMatshita, 1, 0, 0},
        {"DvdRamCartridgeProtect", Protected(Setup(DiscModel::DvdRam), sim::kProtectCartridge), true, 0x1010, 2, 1,
         kDvdRam, 0, 0, kDvdRam, "MATSHITA M01J3", kMatshita, 1, 0, 0},
        // Profiles no disc type is made of: not valid, and no error code.
        {"DvdPlusRwDl", Setup(DiscModel::DvdPlusRwDl), false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0},
        {"BdRom", Setup(DiscModel::BdRom), false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0},
        {"BdR", Setup(DiscModel::BdR), false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0},
        {"BdRe", Setup(DiscModel::BdRe), false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0},
        {"HdDvdRom", Setup(DiscModel::HdDvdRom), false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0},
        {"HdDvdR", Setup(DiscModel::HdDvdR), false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0},
        {"NoProfile", Setup(DiscModel::NoProfile), false, 0, 0, 0, 0, 0, 0, 0, "", "", 0, 0, 0},
    };
}

class DiscRecordOfEveryModel : public ::testing::TestWithParam<std::tuple<Carrier, RecordCase>> {};

TEST_P(DiscRecordOfEveryModel, HoldsWhatTheDriveReports) {
    const auto& [carrier, c] = GetParam();
    OnCarrier on(carrier);
    if (c.Disc)
        on.Drive().LoadDisc(sim::MakeDisc(*c.Disc));
    else
        on.Drive().TakeDisc();

    drive::DiscRecord r;
    std::memset(&r, 0x5A, sizeof r);  // what a previous disc could have left
    EXPECT_EQ(drive::GetDiscInfo(0, r), c.Valid);
    EXPECT_EQ(r.Valid, c.Valid ? 1 : 0);
    EXPECT_EQ(r.DiscType, c.Type);
    EXPECT_EQ(r.Status, c.Status);
    EXPECT_EQ(r.LastTrack, c.LastTrack);
    EXPECT_EQ(r.Capacity, c.Capacity);
    EXPECT_EQ(r.NextWritableAddress, c.NextWritable);
    EXPECT_EQ(r.FreeBlocks, c.Free);
    EXPECT_EQ(r.FormattableCapacity, c.Formattable);
    EXPECT_STREQ(r.IdentityText, c.Identity);
    EXPECT_STREQ(r.SecondText, c.Second);
    EXPECT_EQ(r.WriteProtected, c.WriteProtected);
    EXPECT_EQ(r.FinishedReadable, c.FinishedReadable);
    EXPECT_EQ(r.ErrorCode, c.ErrorCode);
    // Only a valid record went as far as the vendor query.
    EXPECT_EQ(r.VendorSupportFlag, c.Valid && carrier == Carrier::PassThrough ? 1 : 0);
    if (c.Disc) {
        const sim::Disc disc = sim::MakeDisc(*c.Disc);
        EXPECT_EQ(r.CurrentProfile, disc.Profile) << "set even when no disc type is made of it";
    }
}

INSTANTIATE_TEST_SUITE_P(BothCarriers, DiscRecordOfEveryModel,
                         ::testing::Combine(::testing::Values(Carrier::PassThrough, Carrier::Aspi),
                                            ::testing::ValuesIn(RecordCases())),
                         CaseName());

TEST(DiscModelTable, NamesEveryModelOfTheSimulatedDrive) {
    std::vector<DiscModel> covered;
    for (const RecordCase& c : RecordCases())
        if (c.Disc) covered.push_back(c.Disc->Model);
    for (DiscModel model : sim::AllDiscModels())
        EXPECT_NE(std::find(covered.begin(), covered.end(), model), covered.end()) << sim::DiscModelName(model);
}

// ---- writing, then closing --------------------------------------------------------

// Waits on the platform clock while the drive reports that it is busy.
uint8_t WaitWhileBusy(Buffer& buffer) {
    for (int tries = 0; tries < 100000; ++tries) {
        const uint8_t status = drive::TestUnitReady(0, buffer);
        if (status == drive::kStatusGood || drive::GetSenseKeyAsc(buffer) != 0x0204) return status;
        win::Sleep(500);
    }
    return 0;
}

struct WriteCase {
    const char* Name;
    sim::DiscSetup Disc;
    uint8_t MediaIndex;
    // Expected: the sense of the first write (0 when it takes), then what the
    // drive reports once the sequence ended.
    uint32_t WriteError;
    uint8_t Status;
    uint16_t LastTrack;
    uint32_t NextWritable;
};

constexpr uint8_t kBlocks = 32;  // two WRITE commands of 16 blocks

std::vector<WriteCase> WriteCases() {
    // Both write templates ask for the next session (multi-session 11b), so a
    // closed session leaves a sequential disc appendable: incomplete, with
    // the next track after the session gap.  A DVD-R DL has only its track
    // closed; random-writing discs have nothing to close and stay complete.
    return {
        {"CdR", Setup(DiscModel::CdR), 1, 0, 1, 2, kBlocks + 11400},
        {"CdRAppended", Setup(DiscModel::CdR, DiscState::Incomplete, 3), 1, 0, 1, 4, 51400 + kBlocks + 11400},
        {"CdRw", Setup(DiscModel::CdRw), 2, 0, 1, 2, kBlocks + 11400},
        {"DvdR", Setup(DiscModel::DvdR), 4, 0, 1, 2, kBlocks + 0x3000},
        {"DvdRwSequential", Setup(DiscModel::DvdRw), 5, 0, 1, 2, kBlocks + 0x3000},
        {"DvdRwRestricted", Setup(DiscModel::DvdRwRestricted), 5, 0, 2, 1, 0},
        {"DvdRDl", Setup(DiscModel::DvdRDl), 6, 0, 1, 2, kBlocks},
        {"DvdPlusR", Setup(DiscModel::DvdPlusR), 8, 0, 1, 2, kBlocks + 0x3000},
        {"DvdPlusRw", Setup(DiscModel::DvdPlusRw), 9, 0, 2, 1, 0},
        {"DvdPlusRDl", Setup(DiscModel::DvdPlusRDl), 10, 0, 1, 2, kBlocks + 0x3000},
        {"DvdRam", Setup(DiscModel::DvdRam), 12, 0, 2, 1, 0},
        // Refused: nothing changes on the disc.
        {"CdRFinalized", Setup(DiscModel::CdR, DiscState::Finalized), 1, 0x052102, 2, 1, 0},
        {"DvdRamProtected", Protected(Setup(DiscModel::DvdRam), sim::kProtectPersistent), 12, 0x072700, 2, 1, 0},
    };
}

class WriteThenClose : public ::testing::TestWithParam<std::tuple<Carrier, WriteCase>> {};

TEST_P(WriteThenClose, EndsInTheStatusTheDriveThenReports) {
    const auto& [carrier, c] = GetParam();
    OnCarrier on(carrier);
    on.Drive().LoadDisc(sim::MakeDisc(c.Disc));
    Buffer buffer(drive::kDiscInfoBufferSize);

    drive::DiscRecord before;
    ASSERT_TRUE(drive::GetDiscInfo(0, before));
    ASSERT_EQ(drive::SetWriteParameters(0, c.MediaIndex, buffer), drive::kStatusGood);

    const uint32_t first = before.NextWritableAddress;
    uint32_t writeError = 0;
    for (uint32_t lba = first; lba < first + kBlocks && writeError == 0; lba += 16) {
        ASSERT_TRUE(drive::FillTestPattern(lba, 16, buffer));
        const uint8_t status = c.MediaIndex == drive::kMediaDvdRam ? drive::Write12(0, lba, 16, 0x80, buffer)
                                                                   : drive::Write10(0, lba, 16, buffer);
        if (status != drive::kStatusGood) writeError = drive::GetSenseCode(buffer);
    }
    EXPECT_EQ(writeError, c.WriteError);
    EXPECT_EQ(drive::SynchronizeCache(0, buffer), drive::kStatusGood);

    if (writeError == 0) {
        if (c.MediaIndex != drive::kMediaDvdPlusRw) {
            EXPECT_EQ(drive::CloseTrackSession(0, c.MediaIndex, 1, static_cast<uint8_t>(before.LastTrack), buffer),
                      drive::kStatusGood);
            EXPECT_EQ(WaitWhileBusy(buffer), drive::kStatusGood);
        }
        if (c.MediaIndex != drive::kMediaDvdPlusRw && c.MediaIndex != drive::kMediaDvdRDl) {
            EXPECT_EQ(drive::CloseTrackSession(0, c.MediaIndex, 0, 0, buffer), drive::kStatusGood);
            EXPECT_EQ(WaitWhileBusy(buffer), drive::kStatusGood);
        }
        // What was written reads back as the pattern.
        for (uint32_t lba = first; lba < first + kBlocks; lba += 16) {
            ASSERT_EQ(drive::Read10(0, lba, 16, buffer), drive::kStatusGood) << lba;
            for (uint32_t i = 0; i < 16; ++i)
                EXPECT_TRUE(drive::BlockHoldsTestPattern(
                    lba + i, std::span<const uint8_t>(buffer).subspan(i * drive::kBlockSize, drive::kBlockSize)))
                    << lba + i;
        }
    }

    drive::DiscRecord after;
    ASSERT_TRUE(drive::GetDiscInfo(0, after));
    EXPECT_EQ(after.DiscType, before.DiscType);
    EXPECT_EQ(after.Status, c.Status);
    EXPECT_EQ(after.LastTrack, c.LastTrack);
    EXPECT_EQ(after.NextWritableAddress, c.NextWritable);
}

INSTANTIATE_TEST_SUITE_P(BothCarriers, WriteThenClose,
                         ::testing::Combine(::testing::Values(Carrier::PassThrough, Carrier::Aspi),
                                            ::testing::ValuesIn(WriteCases())),
                         CaseName());

}  // namespace
