// The firmware image builder and the trailer position.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "DriveTestSupport.h"

using namespace simtest;
using sim::FirmwareImageLayout;

namespace {

struct ImageCase {
    const char* Name;
    FirmwareImageLayout Layout;
    size_t Size;
    size_t TrailerAt;
};

class ImageLayout : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageLayout, SizeAndTrailer) {
    const ImageCase& c = GetParam();
    const std::vector<uint8_t> image = sim::BuildFirmwareImage(c.Layout);
    ASSERT_EQ(image.size(), c.Size);
    EXPECT_EQ(sim::FindTrailer(image.data(), image.size()), c.TrailerAt);
    if (c.Layout.TrailerBeforeTail) {
        EXPECT_EQ(image[image.size() - 48], 0xFF);
    }

    const std::vector<uint8_t> t(image.begin() + static_cast<long>(c.TrailerAt),
                                 image.begin() + static_cast<long>(c.TrailerAt + 48));
    std::string model = c.Layout.Model.substr(0, 24);
    model.resize(24, ' ');
    EXPECT_EQ(Text(t, 0, 24), model);
    EXPECT_EQ(Text(t, 24, 4), c.Layout.Revision);
    EXPECT_EQ(t[28], c.Layout.ChunkKiB);
    EXPECT_EQ(t[29], c.Layout.ChunkCount);
    EXPECT_EQ(t[30], c.Layout.Type);
    EXPECT_EQ(Text(t, 32, 3), c.Layout.Code);
    EXPECT_EQ(Text(t, 42, 2) == "FC", c.Layout.FcMarker);
    EXPECT_EQ(t[44], c.Layout.FcCode[0]);
    EXPECT_EQ(t[45], c.Layout.FcCode[1]);
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, ImageLayout,
    ::testing::Values(
        ImageCase{"Default", {}, 4 * 32 * 1024, 4 * 32 * 1024 - 48},
        ImageCase{"SixteenOf60And40", {.ChunkKiB = 60, .ChunkCount = 17, .LastChunkKiB = 40}, 1024000, 1024000 - 48},
        ImageCase{"OneChunk", {.ChunkKiB = 20, .ChunkCount = 1}, 20 * 1024, 20 * 1024 - 48},
        ImageCase{"FcMarker", {.Model = "M", .Code = "abc", .Type = 0, .FcMarker = true, .FcCode = {'F', '9'}},
                  131072, 131072 - 48},
        ImageCase{"TrailerBeforeTail", {.ChunkKiB = 48, .ChunkCount = 3, .TrailerBeforeTail = true}, 144 * 1024,
                  144 * 1024 - 65584},
        ImageCase{"TrailerBeforeTailSmallest", {.ChunkKiB = 1, .ChunkCount = 1, .LastChunkKiB = 65,
                                                .TrailerBeforeTail = true},
                  65 * 1024, 65 * 1024 - 65584},
        ImageCase{"BootImage", {.ChunkKiB = 60, .ChunkCount = 9, .BootImage = true}, 65536, 65536 - 48}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveImage, ContentFollowsTheSeed) {
    const auto a = sim::BuildFirmwareImage({.Seed = 7});
    const auto b = sim::BuildFirmwareImage({.Seed = 7});
    const auto c = sim::BuildFirmwareImage({.Seed = 8});
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(std::vector<uint8_t>(a.end() - 48, a.end()), std::vector<uint8_t>(c.end() - 48, c.end()));
}

TEST(SimdriveImage, NoImageWhereTheSpecGivesNone) {
    EXPECT_TRUE(sim::BuildFirmwareImage({.ChunkCount = 0}).empty());                       // 0 bytes
    EXPECT_TRUE(sim::BuildFirmwareImage({.ChunkKiB = 40, .ChunkCount = 0, .LastChunkKiB = 20}).empty());
    EXPECT_TRUE(sim::BuildFirmwareImage({.ChunkKiB = 32, .ChunkCount = 2, .TrailerBeforeTail = true}).empty());
    // A count of 0 can still give a file: (L - C) KiB.
    EXPECT_EQ(sim::BuildFirmwareImage({.ChunkKiB = 20, .ChunkCount = 0, .LastChunkKiB = 40}).size(), 20u * 1024);
}

struct TrailerCase {
    const char* Name;
    size_t Size;
    size_t FFAt;  // where a 0xFF byte is put (SIZE_MAX: nowhere)
    std::optional<size_t> Expected;
};

class TrailerPosition : public ::testing::TestWithParam<TrailerCase> {};

TEST_P(TrailerPosition, AsTheProgramReadsIt) {
    const TrailerCase& c = GetParam();
    std::vector<uint8_t> bytes(c.Size, 0x20);
    if (c.FFAt < c.Size) bytes[c.FFAt] = 0xFF;
    EXPECT_EQ(sim::FindTrailer(bytes.data(), bytes.size()), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, TrailerPosition,
    ::testing::Values(TrailerCase{"Shorter48", 47, SIZE_MAX, std::nullopt},
                      TrailerCase{"Exactly48", 48, SIZE_MAX, 0},
                      TrailerCase{"LastBytes", 4096, 4095, 4048},
                      TrailerCase{"FFButTooShortForTail", 65583, 65583 - 48, std::nullopt},
                      TrailerCase{"FFWithTail", 65584, 65584 - 48, 0},
                      TrailerCase{"SecondPosition", 70000, 70000 - 48, 70000 - 65584}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveImage, WriteFirmwareImageWritesTheBytes) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "simdrive-image-test";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "IMAGE.BIN").string();
    const FirmwareImageLayout layout{.Revision = "4.20", .ChunkKiB = 16, .ChunkCount = 3};
    std::string error;
    ASSERT_TRUE(sim::WriteFirmwareImage(path, layout, error)) << error;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> written{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(written, sim::BuildFirmwareImage(layout));
    std::filesystem::remove_all(dir);
}

TEST(SimdriveImage, WriteFirmwareImageReportsFailures) {
    std::string error;
    EXPECT_FALSE(sim::WriteFirmwareImage("/nonexistent-dir/IMAGE.BIN", {}, error));
    EXPECT_NE(error.find("/nonexistent-dir/IMAGE.BIN"), std::string::npos) << error;
    error.clear();
    const std::string path = (std::filesystem::temp_directory_path() / "simdrive-never-written.BIN").string();
    EXPECT_FALSE(sim::WriteFirmwareImage(path, {.ChunkCount = 0}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
