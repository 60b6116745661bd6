// Whole downloads into the simulated drive through TAtapiLib, with the file
// split exactly as the download thread splits it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "download/Atapilib.h"
#include "download/FirmwareFile.h"
#include "download/Fwlib.h"
#include "drive/Transport.h"
#include "simdrive/FirmwareImage.h"
#include "simdrive/SimMachine.h"

namespace {

constexpr uint8_t kSlot = 0;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// One chunk write as the thread issues it.
struct Write {
    uint16_t Length;
    uint8_t Byte5;
    uint8_t Byte9;
    uint8_t Status;
};

class FlashTest : public ::testing::Test {
protected:
    void SetUp() override {
        drive::ResetAspiLoader();
        dir_ = std::filesystem::temp_directory_path() / ("flash-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        machine.SetNtFamily();
        sim::DriveConfig config;
        config.Vendor = "SIMDRIVE";
        config.Product = "DVD-RW SD-1000";
        config.Revision = "1.00";
        config.Code = "SDA";
        drv = &machine.AttachDriveAtLetter('d', config);
        machine.Install();
        ASSERT_EQ(AtapiLib.FindDrives(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Image(const sim::FirmwareImageLayout& layout) {
        const std::string path = (dir_ / "fw.bin").string();
        std::string error;
        EXPECT_TRUE(sim::WriteFirmwareImage(path, layout, error)) << error;
        return path;
    }

    // The normal form: first chunk C KiB with byte 5 = 0, middle chunks C KiB
    // with 0xFF, the last L KiB with byte 5 = L; a one-chunk file goes in the
    // first chunk's form.  Stops at the first failed write.
    std::vector<Write> SendChunks(const std::string& path, const FirmwareFileInfo& info,
                                  int stopAfter = -1) {
        std::vector<Write> writes;
        File file(std::fopen(path.c_str(), "rb"));
        if (!file) return writes;
        const int n = info.ChunkCount;
        const int c = info.ChunkKiB;
        for (int i = 0; i < n && i != stopAfter; ++i) {
            int size = c;
            uint8_t byte5 = kChunkMiddle;
            if (i == 0) {
                byte5 = kChunkFirst;
            } else if (i == n - 1) {
                size = info.LastChunkKiB;
                byte5 = info.LastChunkKiB;
            }
            const uint16_t length = static_cast<uint16_t>(size * 1024);
            (void)std::fread(buffer_, 1, length, file.get());
            const uint8_t status = AtapiLib.WriteFirmwareBlock(kSlot, buffer_, length, byte5, kKindNormal);
            writes.push_back({length, byte5, kKindNormal, status});
            if (status != 1) break;
        }
        return writes;
    }

    // The boot form: file bytes 4,096 to 5,119 in one write.
    Write SendBootImage(const std::string& path) {
        File file(std::fopen(path.c_str(), "rb"));
        EXPECT_TRUE(file);
        EXPECT_EQ(std::fread(buffer_, 1, 4096, file.get()), 4096u);
        EXPECT_EQ(std::fread(buffer_, 1, 61440, file.get()), 61440u);
        return {1024, kChunkBootImage, kKindBoot,
                AtapiLib.WriteFirmwareBlock(kSlot, buffer_, 1024, kChunkBootImage, kKindBoot)};
    }

    std::string DriveRevision() {
        uint8_t reply[512] = {};
        EXPECT_EQ(AtapiLib.Inquiry(kSlot, reply, 96), 1);
        return std::string(reinterpret_cast<char*>(reply + 32), 4);
    }

    sim::SimMachine machine;
    sim::SimDrive* drv = nullptr;
    std::filesystem::path dir_;
    uint8_t buffer_[65536] = {};
};

TEST_F(FlashTest, MultiChunkImagesTakeTheNewRevision) {
    const struct {
        const char* what;
        uint8_t chunkKiB, chunkCount, lastKiB;
        bool fcMarker;
    } cases[] = {
        {"four chunks, short last", 32, 4, 20, false},
        {"seventeen chunks of 60 KiB, last 40", 60, 17, 40, true},
        {"two chunks", 48, 2, 63, false},
        {"one chunk", 48, 1, 48, false},
    };
    int revision = 1;
    for (const auto& c : cases) {
        sim::FirmwareImageLayout layout;
        layout.Revision = "1.0" + std::to_string(revision++);
        layout.ChunkKiB = c.chunkKiB;
        layout.ChunkCount = c.chunkCount;
        layout.LastChunkKiB = c.lastKiB;
        layout.FcMarker = c.fcMarker;
        layout.Seed = revision;
        const std::string path = Image(layout);
        const FirmwareFileInfo info = ReadFirmwareFile(path);
        ASSERT_TRUE(info.Usable) << c.what << ": " << info.Reason;

        ASSERT_EQ(AtapiLib.SendFlashCommand(kSlot), 1) << c.what;
        drv->SetLogLimits(sim::SimDrive::kDefaultLogCapacity, 65536);  // keep whole chunks
        drv->ClearLog();
        const std::vector<Write> writes = SendChunks(path, info);
        ASSERT_EQ(writes.size(), c.chunkCount) << c.what;
        for (size_t i = 0; i < writes.size(); ++i) EXPECT_EQ(writes[i].Status, 1) << c.what << " chunk " << i;
        // What went to the drive is the file, byte for byte.
        std::vector<uint8_t> sent;
        for (const sim::LoggedCommand& command : drv->LogSnapshot())
            sent.insert(sent.end(), command.DataOut.begin(), command.DataOut.end());
        EXPECT_EQ(sent, sim::BuildFirmwareImage(layout)) << c.what;
        EXPECT_EQ(DriveRevision(), layout.Revision) << c.what;
    }
}

TEST_F(FlashTest, BrokenDownloadLeavesBootCodeFromWhichANewOneSucceeds) {
    sim::FirmwareImageLayout layout;
    layout.Revision = "1.07";
    const std::string path = Image(layout);
    const FirmwareFileInfo info = ReadFirmwareFile(path);
    ASSERT_TRUE(info.Usable) << info.Reason;

    ASSERT_EQ(SendChunks(path, info, /*stopAfter=*/1).size(), 1u);
    const std::string boot = DriveRevision();
    EXPECT_EQ(boot, "BOOT");
    EXPECT_TRUE(FwLib.IsBootCode(boot.c_str()));

    ASSERT_EQ(AtapiLib.SendFlashCommand(kSlot), 1);
    const std::vector<Write> writes = SendChunks(path, info);
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes.back().Status, 1);
    EXPECT_EQ(DriveRevision(), "1.07");
}

TEST_F(FlashTest, BootImageRewritesTheBootArea) {
    sim::FirmwareImageLayout layout;
    layout.BootImage = true;
    layout.Seed = 99;
    const std::string path = Image(layout);
    const FirmwareFileInfo info = ReadFirmwareFile(path);
    ASSERT_TRUE(info.Usable) << info.Reason;
    ASSERT_EQ(info.Flags & OptBootImage, OptBootImage);

    const std::vector<uint8_t> bytes = sim::BuildFirmwareImage(layout);
    uint16_t expected = 0;
    for (size_t i = 4096; i < 5120; ++i) expected = static_cast<uint16_t>(expected + bytes[i]);
    uint8_t before[8] = {};
    ASSERT_EQ(AtapiLib.ReadChecksums(kSlot, before), 1);
    ASSERT_NE((before[2] << 8) | before[3], expected);

    ASSERT_EQ(FwLib.ApplyBootRewriteOption(kSlot, OptBootRewrite), 1);
    drv->ClearLog();
    EXPECT_EQ(SendBootImage(path).Status, 1);
    ASSERT_EQ(drv->LogSnapshot().size(), 1u);
    EXPECT_EQ(drv->LogSnapshot()[0].DataOut, std::vector<uint8_t>(bytes.begin() + 4096, bytes.begin() + 5120));

    uint8_t after[8] = {};
    ASSERT_EQ(AtapiLib.ReadChecksums(kSlot, after), 1);
    EXPECT_EQ((after[2] << 8) | after[3], expected);
    EXPECT_EQ(DriveRevision(), "1.00");  // the program area is untouched
}

}  // namespace
