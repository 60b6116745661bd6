// GET CONFIGURATION as the drive's feature set and the loaded disc make it,
// and the vendor query FF 09.
#include <gtest/gtest.h>

#include "DiscTestSupport.h"

using namespace simtest;
using sim::DiscModel;
using sim::DiscState;

namespace {

// Feature codes and current bits of a reply, in order.
std::vector<std::pair<uint16_t, bool>> Descriptors(const Reply& reply) {
    std::vector<std::pair<uint16_t, bool>> list;
    const size_t end = std::min<size_t>(Big32(reply.Data, 0) + 4, reply.Data.size());
    for (size_t at = 8; at + 4 <= end; at += 4 + reply.Data[at + 3])
        list.emplace_back(Big16(reply.Data, at), (reply.Data[at + 2] & 1) != 0);
    return list;
}

struct FeatureCase {
    const char* Name;
    sim::Disc Disc;
    uint16_t Feature;
    bool Current;
};

class CurrentFeatures : public ::testing::TestWithParam<FeatureCase> {};

TEST_P(CurrentFeatures, FollowTheLoadedDisc) {
    const FeatureCase& c = GetParam();
    sim::SimDrive drive;
    drive.LoadDisc(c.Disc);
    const Reply reply = SendIn(drive, GetConfiguration(c.Feature, 254, 2), 254);
    ASSERT_EQ(Outcome(reply.Result), "good");
    const auto list = Descriptors(reply);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].first, c.Feature);
    EXPECT_EQ(list[0].second, c.Current);
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, CurrentFeatures,
    ::testing::Values(FeatureCase{"DvdReadOnDvd", DiscOf(DiscModel::DvdRom), 0x1F, true},
                      FeatureCase{"DvdReadOnCd", DiscOf(DiscModel::CdRom), 0x1F, false},
                      FeatureCase{"CdTaoOnCdRw", DiscOf(DiscModel::CdRw), 0x2D, true},
                      FeatureCase{"DvdMinusWriteOnDvdR", DiscOf(DiscModel::DvdR), 0x2F, true},
                      FeatureCase{"DvdMinusWriteOnRestricted", DiscOf(DiscModel::DvdRwRestricted), 0x2F, false},
                      FeatureCase{"RestrictedOverwrite", DiscOf(DiscModel::DvdRwRestricted), 0x26, true},
                      FeatureCase{"RandomWritableOnRam", DiscOf(DiscModel::DvdRam), 0x20, true},
                      FeatureCase{"RandomWritableOnBlankPlusRw", DiscOf(DiscModel::DvdPlusRw), 0x20, false},
                      FeatureCase{"DvdPlusRwOnPlusRw", DiscOf(DiscModel::DvdPlusRw), 0x2A, true},
                      FeatureCase{"DvdPlusROnPlusRDl", DiscOf(DiscModel::DvdPlusRDl), 0x2B, true},
                      FeatureCase{"FormattableOnRam", DiscOf(DiscModel::DvdRam), 0x23, true},
                      FeatureCase{"FormattableOnDvdR", DiscOf(DiscModel::DvdR), 0x23, false}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Configuration, ListsFeaturesFromTheStartingOneInOrder) {
    sim::SimDrive drive;
    drive.LoadDisc(DiscOf(DiscModel::DvdPlusRw, DiscState::Finalized));
    const Reply all = SendIn(drive, GetConfiguration(0, 2048), 2048);
    ASSERT_EQ(Outcome(all.Result), "good");
    EXPECT_EQ(Big16(all.Data, 6), 0x1A);
    const auto list = Descriptors(all);
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().first, 0x0000);
    for (size_t i = 1; i < list.size(); ++i) EXPECT_LT(list[i - 1].first, list[i].first);
    // From 20h on, the first descriptor is the random-writable one; its
    // byte 4 (reply byte 12) is the top byte of the last block address.
    const Reply from20 = SendIn(drive, GetConfiguration(0x20, 254), 254);
    EXPECT_EQ(Big16(from20.Data, 8), 0x20);
    EXPECT_EQ(Big32(from20.Data, 12), 2295104u - 1);
    EXPECT_EQ(from20.Data[12], 0);
    // The profile list marks the current profile.
    bool marked = false;
    for (size_t at = 12; at < 12u + all.Data[11]; at += 4)
        if (Big16(all.Data, at) == 0x1A) marked = (all.Data[at + 2] & 1) != 0;
    EXPECT_TRUE(marked);
    // RT 1: current features only.
    for (const auto& [code, current] : Descriptors(SendIn(drive, GetConfiguration(0, 2048, 1), 2048)))
        EXPECT_TRUE(current) << code;
    EXPECT_EQ(Outcome(SendIn(drive, GetConfiguration(0, 254, 3), 254).Result), "02 05/24/00");
    const Reply cut = SendIn(drive, GetConfiguration(0, 32), 32);
    EXPECT_EQ(cut.Result.Residual, 0u);
    EXPECT_EQ(Big32(cut.Data, 0), Big32(all.Data, 0)) << "the length says what there is, not what fits";
}

struct FeatureSetCase {
    const char* Name;
    std::vector<uint16_t> Features;
    uint16_t Asked;
    uint16_t FirstAnswered;  // 0: none
};

class DriveFeatureSet : public ::testing::TestWithParam<FeatureSetCase> {};

TEST_P(DriveFeatureSet, LeavesOutWhatTheDriveLacks) {
    const FeatureSetCase& c = GetParam();
    sim::DriveConfig config;
    config.Features = c.Features;
    sim::SimDrive drive(config);
    drive.LoadDisc(DiscOf(DiscModel::CdRom));
    const Reply reply = SendIn(drive, GetConfiguration(c.Asked, 254), 254);
    if (c.FirstAnswered == 0) {
        EXPECT_EQ(Big32(reply.Data, 0), 4u) << "no descriptor at all";
    } else {
        EXPECT_EQ(Big16(reply.Data, 8), c.FirstAnswered);
    }
}

INSTANTIATE_TEST_SUITE_P(Simdrive, DriveFeatureSet,
                         ::testing::Values(FeatureSetCase{"AllHasCdTao", {0x1F, 0x20, 0x2A, 0x2B, 0x2D, 0x2F}, 0x2D, 0x2D},
                                           FeatureSetCase{"NoCdTao", {0x1F, 0x2F}, 0x2D, 0x2F},
                                           FeatureSetCase{"NoDvdRead", {0x2D}, 0x1F, 0x20 + 1},
                                           FeatureSetCase{"ReadOnlyDrive", {}, 0x2F, 0x0000}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(Configuration, DrivesWithoutWritingFeaturesRefuseToWrite) {
    sim::DriveConfig config;
    config.Features = {0x1F};
    sim::SimDrive drive(config);
    drive.LoadDisc(DiscOf(DiscModel::DvdR));
    EXPECT_EQ(Outcome(WritePattern(drive, 0, 1).Result), "02 05/30/05");
    drive.LoadDisc(DiscOf(DiscModel::CdRw));
    EXPECT_EQ(Outcome(WritePattern(drive, 0, 1).Result), "02 05/30/05");
}

TEST(VendorQuery, AnswersTheDrivesWord) {
    for (const uint16_t word : {0x0000, 0x0001, 0xABCD}) {
        sim::DriveConfig config;
        config.VendorQueryWord = word;
        sim::SimDrive drive(config);
        const Reply reply = SendIn(drive, kQueryVendorFF09, 254);
        ASSERT_EQ(Outcome(reply.Result), "good");
        EXPECT_EQ(Big16(reply.Data, 0), word);
        EXPECT_EQ(reply.Result.Residual, 254u - 8);
    }
}

}  // namespace
