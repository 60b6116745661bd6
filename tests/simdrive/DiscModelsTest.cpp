// Every disc model as the disc information routines see it: profile, status,
// tracks, capacity, next writable address, ATIP, DVD structures and format
// capacities.
#include <gtest/gtest.h>

#include "DiscTestSupport.h"

using namespace simtest;
using sim::DiscModel;
using sim::DiscState;

namespace {

struct ModelCase {
    const char* Name;
    sim::Disc Disc;
    DiscView Expected;
    bool Atip;             // READ TOC/PMA/ATIP format 4 answers
    const char* Structure; // READ DVD STRUCTURE 00h: "good" or the refusal
    uint8_t FormatList;    // READ FORMAT CAPACITIES list length
};

constexpr uint32_t kCd = 359849;
constexpr uint32_t kDvdR = 2298496;
constexpr uint32_t kDvdRw = 2297888;
constexpr uint32_t kDvdPlus = 2295104;

std::vector<ModelCase> Models() {
    return {
        {"CdRom", DiscOf(DiscModel::CdRom), {0x08, 2, false, 1, 333000, 0, 0}, false, "02 05/30/02", 8},
        {"CdRBlank", DiscOf(DiscModel::CdR), {0x09, 0, false, 1, kCd, 0, kCd}, true, "02 05/30/02", 8},
        // Tracks 1 and 2 in a closed first session, track 3 open after the gap.
        {"CdRIncomplete", DiscOf(DiscModel::CdR, DiscState::Incomplete, 3),
         {0x09, 1, false, 3, kCd, 51400, kCd - 51400}, true, "02 05/30/02", 8},
        {"CdRFinalized", DiscOf(DiscModel::CdR, DiscState::Finalized), {0x09, 2, false, 1, 20000, 0, 0}, true,
         "02 05/30/02", 8},
        {"CdRw", DiscOf(DiscModel::CdRw), {0x0A, 0, true, 1, kCd, 0, kCd}, true, "02 05/30/02", 8},
        {"DvdRom", DiscOf(DiscModel::DvdRom), {0x10, 2, false, 1, kDvdPlus, 0, 0}, false, "good", 8},
        {"DvdR", DiscOf(DiscModel::DvdR), {0x11, 0, false, 1, kDvdR, 0, kDvdR}, false, "good", 8},
        {"DvdRIncomplete", DiscOf(DiscModel::DvdR, DiscState::Incomplete, 2),
         {0x11, 1, false, 2, kDvdR, 20000 + 0x3000, kDvdR - 20000 - 0x3000}, false, "good", 8},
        {"DvdRwSequential", DiscOf(DiscModel::DvdRw), {0x14, 0, true, 1, kDvdRw, 0, kDvdRw}, false, "good", 24},
        {"DvdRwRestricted", DiscOf(DiscModel::DvdRwRestricted), {0x13, 2, true, 1, kDvdRw, 0, 0}, false, "good", 24},
        {"DvdRDl", DiscOf(DiscModel::DvdRDl), {0x15, 0, false, 1, 4171712, 0, 4171712}, false, "good", 8},
        {"DvdPlusR", DiscOf(DiscModel::DvdPlusR), {0x1B, 0, false, 1, kDvdPlus, 0, kDvdPlus}, false, "good", 8},
        {"DvdPlusRwBlank", DiscOf(DiscModel::DvdPlusRw), {0x1A, 0, true, 1, kDvdPlus, 0, kDvdPlus}, false, "good", 16},
        {"DvdPlusRwFormatted", DiscOf(DiscModel::DvdPlusRw, DiscState::Finalized), {0x1A, 2, true, 1, kDvdPlus, 0, 0},
         false, "good", 16},
        {"DvdPlusRDl", DiscOf(DiscModel::DvdPlusRDl), {0x2B, 0, false, 1, 4173824, 0, 4173824}, false, "good", 8},
        {"DvdRam", DiscOf(DiscModel::DvdRam), {0x12, 2, true, 1, 2236704, 0, 0}, false, "good", 16},
        {"DvdPlusRwDl", DiscOf(DiscModel::DvdPlusRwDl), {0x2A, 0, true, 1, 4173824, 0, 4173824}, false, "good", 16},
        {"BdRom", DiscOf(DiscModel::BdRom), {0x40, 2, false, 1, 12219392, 0, 0}, false, "02 05/30/02", 8},
        {"BdR", DiscOf(DiscModel::BdR), {0x41, 0, false, 1, 12219392, 0, 12219392}, false, "02 05/30/02", 8},
        {"BdRe", DiscOf(DiscModel::BdRe), {0x43, 2, true, 1, 11826176, 0, 0}, false, "02 05/30/02", 16},
        {"HdDvdRom", DiscOf(DiscModel::HdDvdRom), {0x50, 2, false, 1, 7398784, 0, 0}, false, "02 05/30/02", 8},
        {"HdDvdR", DiscOf(DiscModel::HdDvdR), {0x51, 0, false, 1, 7398784, 0, 7398784}, false, "02 05/30/02", 8},
        {"NoProfile", DiscOf(DiscModel::NoProfile), {0x00, 2, false, 1, 100000, 0, 0}, false, "02 05/30/02", 8},
    };
}

class DiscModels : public ::testing::TestWithParam<ModelCase> {};

TEST_P(DiscModels, AnswerTheDiscInformationQueries) {
    const ModelCase& c = GetParam();
    sim::SimDrive drive;
    drive.LoadDisc(c.Disc);
    const DiscView v = View(drive);
    EXPECT_EQ(v.Profile, c.Expected.Profile);
    EXPECT_EQ(v.Status, c.Expected.Status);
    EXPECT_EQ(v.Erasable, c.Expected.Erasable);
    EXPECT_EQ(v.LastTrack, c.Expected.LastTrack);
    EXPECT_EQ(v.Capacity, c.Expected.Capacity);
    EXPECT_EQ(v.NextWritable, c.Expected.NextWritable);
    EXPECT_EQ(v.Free, c.Expected.Free);

    const Reply atip = SendIn(drive, kReadAtip, 254);
    EXPECT_EQ(Outcome(atip.Result), c.Atip ? "good" : "02 05/24/00");
    EXPECT_EQ(Outcome(SendIn(drive, ReadDvdStructure(0x00, 2052), 2052).Result), c.Structure);

    const Reply formats = SendIn(drive, kReadFormatCapacities, 254);
    ASSERT_EQ(Outcome(formats.Result), "good");
    EXPECT_EQ(formats.Data[3], c.FormatList);
    EXPECT_EQ(formats.Result.Residual, 254u - 4 - c.FormatList) << "moves the header and the list only";
}

INSTANTIATE_TEST_SUITE_P(Simdrive, DiscModels, ::testing::ValuesIn(Models()),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(DiscModels, EveryModelHasAName) {
    for (DiscModel model : sim::AllDiscModels()) {
        const std::string name = sim::DiscModelName(model);
        EXPECT_EQ(sim::DiscModelFromName(name), model) << name;
    }
    EXPECT_FALSE(sim::DiscModelFromName("dvd-x"));
}

TEST(DiscAtip, CarriesLeadInAndLastLeadOutTimes) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::CdR));
    const Reply atip = SendIn(drive, kReadAtip, 254);
    EXPECT_EQ(std::vector<uint8_t>(atip.Data.begin() + 8, atip.Data.begin() + 15),
              (std::vector<uint8_t>{97, 24, 1, 0, 79, 59, 74}));
    EXPECT_EQ(atip.Data[6] & 0x40, 0) << "not rewritable";
    drive.LoadDisc(DiscOf(DiscModel::CdRw));
    EXPECT_EQ(SendIn(drive, kReadAtip, 254).Data[6] & 0x40, 0x40);
}

// Where the identifier routines read the manufacturer: pre-pit bytes 17-22
// and 25-30 (DVD-R family), ADIP bytes 19-29 and the revision at 30 (DVD+),
// the words at 549 and 597 (DVD-ROM, DVD-RAM); offsets after the header.
struct MediaIdCase {
    const char* Name;
    DiscModel Model;
    const char* Id;
    uint8_t Format;
    size_t At;
    std::string Bytes;
};

class MediaIds : public ::testing::TestWithParam<MediaIdCase> {};

TEST_P(MediaIds, SitWhereTheyAreRead) {
    const MediaIdCase& c = GetParam();
    sim::DiscSetup setup;
    setup.Model = c.Model;
    setup.MediaId = c.Id;
    setup.MediaRevision = 0x02;
    sim::SimDrive drive;
    drive.LoadDisc(sim::MakeDisc(setup));
    const Reply reply = SendIn(drive, ReadDvdStructure(c.Format, 2052), 2052);
    ASSERT_EQ(Outcome(reply.Result), "good");
    EXPECT_EQ(Big16(reply.Data, 0), 2050);
    EXPECT_EQ(Text(reply.Data, 4 + c.At, c.Bytes.size()), c.Bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, MediaIds,
    ::testing::Values(
        MediaIdCase{"DvdPlusRKnown", DiscModel::DvdPlusR, "RITEK R05", 0x00, 19, std::string("RITEK\0\0\0R05\x02", 12)},
        MediaIdCase{"DvdPlusRUnknown", DiscModel::DvdPlusR, "CMC MAG M01", 0x00, 19, std::string("CMC MAG\0M01\x02", 12)},
        MediaIdCase{"DvdPlusRDl", DiscModel::DvdPlusRDl, "RICOHJPN D01", 0x00, 19, "RICOHJPND01"},
        MediaIdCase{"DvdR", DiscModel::DvdR, "MCC 03RG20", 0x0E, 17, std::string("MCC 03\0\0RG20\0\0", 14)},
        MediaIdCase{"DvdRam", DiscModel::DvdRam, "MATSHITA M01J3", 0x00, 549, std::string("MATSHITA\0", 9)},
        MediaIdCase{"DvdRamSecondWord", DiscModel::DvdRam, "MATSHITA M01J3", 0x00, 597, std::string("M01J3\0", 6)}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(DiscStructures, RefuseWhatTheDiscDoesNotHave) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdPlusR));
    EXPECT_EQ(Outcome(SendIn(drive, ReadDvdStructure(0x0E, 2052), 2052).Result), "02 05/24/00");
    EXPECT_EQ(Outcome(SendIn(drive, ReadDvdStructure(0x00, 2052, 1), 2052).Result), "02 05/24/00")
        << "a second layer on a single-layer disc";
    EXPECT_EQ(Outcome(SendIn(drive, ReadDvdStructure(0x42, 2052), 2052).Result), "02 05/24/00");
    drive.LoadDisc(DiscOf(DiscModel::DvdPlusRDl));
    EXPECT_EQ(Outcome(SendIn(drive, ReadDvdStructure(0x00, 2052, 1), 2052).Result), "good");
    const Reply protection = SendIn(drive, ReadDvdStructure(0xC0, 8), 65536);
    ASSERT_EQ(Outcome(protection.Result), "good");
    EXPECT_EQ(protection.Result.Residual, 65536u - 8);
    EXPECT_EQ(protection.Data[4], 0);
}

struct EmptyCase {
    const char* Name;
    bool TrayOpen;
    const char* Expected;
};

class EmptyDrive : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(EmptyDrive, RefusesEveryDiscCommand) {
    sim::SimDrive drive;
    if (GetParam().TrayOpen) SendIn(drive, StartStopUnit(0x02), 0);
    for (const auto& cdb : {kReadDiscInformation, ReadTrackInformation(1), kReadAtip, ReadDvdStructure(0xC0, 8),
                            kReadFormatCapacities, kReadCapacity, Read10(0, 1), kSynchronizeCache, kCloseSession,
                            kBlankMinimal})
        EXPECT_EQ(Outcome(SendIn(drive, cdb, 254).Result), GetParam().Expected) << int{cdb[0]};
    const Reply config = SendIn(drive, GetConfiguration(0, 32), 32);
    EXPECT_EQ(Outcome(config.Result), "good");
    EXPECT_EQ(Big16(config.Data, 6), 0) << "no current profile";
}

INSTANTIATE_TEST_SUITE_P(Simdrive, EmptyDrive,
                         ::testing::Values(EmptyCase{"TrayClosed", false, "02 02/3A/00"},
                                           EmptyCase{"TrayOpen", true, "02 02/3A/02"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(DiscTracks, AnswerByNumberAddressAndSession) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::CdR, DiscState::Incomplete, 3));
    const auto trackOf = [&](uint8_t type, uint32_t address) {
        std::vector<uint8_t> cdb = ReadTrackInformation(0);
        cdb[1] = type;
        cdb[2] = static_cast<uint8_t>(address >> 24);
        cdb[3] = static_cast<uint8_t>(address >> 16);
        cdb[4] = static_cast<uint8_t>(address >> 8);
        cdb[5] = static_cast<uint8_t>(address);
        const Reply r = SendIn(drive, cdb, 254);
        return r.Result.Status == sim::kStatusGood ? int{r.Data[2]} : -1;
    };
    EXPECT_EQ(trackOf(0, 25000), 2);
    EXPECT_EQ(trackOf(0, 45000), -1) << "in the gap between sessions";
    EXPECT_EQ(trackOf(1, 0xFF), 3) << "the open track";
    EXPECT_EQ(trackOf(1, 0), -1);
    EXPECT_EQ(trackOf(1, 4), -1);
    EXPECT_EQ(trackOf(2, 2), 3);
    const Reply closed = SendIn(drive, ReadTrackInformation(1), 254);
    EXPECT_EQ(closed.Data[7] & 0x03, 0x02) << "last recorded address valid, no next writable address";
    EXPECT_EQ(Big32(closed.Data, 28), 19999u);
    const Reply open = SendIn(drive, ReadTrackInformation(3), 254);
    EXPECT_EQ(open.Data[6] & 0x40, 0x40) << "blank";
    EXPECT_EQ(open.Data[7] & 0x01, 0x01);
}

}  // namespace
