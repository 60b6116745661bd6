// The firmware file reader: trailer positions, identity, option bits, the size
// rule and the trailers the download could not send.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "download/FirmwareFile.h"

namespace {

constexpr int64_t KiB = 1024;

FirmwareTrailer Trailer(uint8_t chunkKiB, uint8_t chunkCount) {
    FirmwareTrailer t{};
    std::memcpy(t.Model, "SIMDRIVEDVD-RW SD-1000  ", 24);
    std::memcpy(t.Revision, "1.05", 4);
    t.ChunkKiB = chunkKiB;
    t.ChunkCount = chunkCount;
    t.Type = 4;
    std::memcpy(t.Code, "sDa", 3);
    std::memcpy(t.Marker, "FC", 2);
    t.FcCode[0] = 0x12;
    t.FcCode[1] = 0x34;
    return t;
}

// ---------------------------------------------------------------------------
// The judgement on a size and a trailer.

struct SizeCase {
    const char* what;
    int64_t size;
    uint8_t chunkKiB;
    uint8_t chunkCount;
    bool sizeRuleHolds;
    FirmwareFileProblem problem;  // None: usable
    uint8_t lastChunkKiB;
};

const SizeCase kSizeCases[] = {
    {"16 x 60 + 40 KiB, N 17", 1024000, 60, 17, true, FirmwareFileProblem::None, 40},
    // L = 1000 - 900 = 100 passes the rule, but 100 KiB cannot go in one transfer.
    {"same file, N 16", 1024000, 60, 16, true, FirmwareFileProblem::LastChunkTooLarge, 100},
    {"same file, N 18", 1024000, 60, 18, false, FirmwareFileProblem::SizeRuleFails, 236},
    {"one byte more", 1024001, 60, 17, false, FirmwareFileProblem::SizeRuleFails, 40},
    {"one byte less", 1023999, 60, 17, false, FirmwareFileProblem::SizeRuleFails, 39},
    {"boot image, zero chunk fields", 65536, 0, 0, true, FirmwareFileProblem::None, 64},
    {"boot image, nonsense chunk fields", 65536, 200, 7, true, FirmwareFileProblem::None, static_cast<uint8_t>(64 - 6 * 200)},
    {"largest chunks that fit", 126 * KiB, 63, 2, true, FirmwareFileProblem::None, 63},
    {"one chunk, the file's size", 32 * KiB, 32, 1, true, FirmwareFileProblem::None, 32},
    // Chunk count 0 passes the rule with S = (L - C) KiB.
    {"chunk count 0", 20 * KiB, 10, 0, true, FirmwareFileProblem::NoChunks, 30},
    {"chunk size 0", 40 * KiB, 0, 3, true, FirmwareFileProblem::ChunkSizeZero, 40},
    {"chunk size 64 KiB", 74 * KiB, 64, 2, true, FirmwareFileProblem::ChunkTooLarge, 10},
    {"last chunk 64 KiB", 96 * KiB, 32, 2, true, FirmwareFileProblem::LastChunkTooLarge, 64},
    {"last chunk 0 KiB", 32 * KiB, 32, 2, true, FirmwareFileProblem::LastChunkEmpty, 0},
    {"one chunk smaller than the file says", 16 * KiB, 32, 1, true, FirmwareFileProblem::SingleChunkMismatch, 16},
    {"one chunk larger than the file says", 48 * KiB, 32, 1, true, FirmwareFileProblem::SingleChunkMismatch, 48},
    {"largest size the rule takes", 0x7FFFFC00, 60, 17, false, FirmwareFileProblem::SizeRuleFails, static_cast<uint8_t>(0x1FFFFF - 960)},
    {"larger than 2^31 - 1", 0x80000000LL, 60, 17, false, FirmwareFileProblem::TooLarge, static_cast<uint8_t>(0x200000 - 960)},
};

TEST(FirmwareJudgementTest, SizeRuleAndTransferLimits) {
    for (const SizeCase& c : kSizeCases) {
        const FirmwareTrailer trailer = Trailer(c.chunkKiB, c.chunkCount);
        const FirmwareFileInfo info = JudgeFirmwareFile(c.size, &trailer);
        EXPECT_EQ(info.SizeRuleHolds, c.sizeRuleHolds) << c.what;
        EXPECT_EQ(info.Problem, c.problem) << c.what;
        EXPECT_EQ(info.Usable, c.problem == FirmwareFileProblem::None) << c.what;
        EXPECT_EQ(info.Reason.empty(), c.problem == FirmwareFileProblem::None) << c.what;
        EXPECT_EQ(info.LastChunkKiB, c.lastChunkKiB) << c.what;
        EXPECT_EQ((info.Flags & OptBootImage) != 0, c.size == 65536) << c.what;
    }
}

TEST(FirmwareJudgementTest, FailedSizeRuleGivesTheMessageNumbers) {
    const FirmwareTrailer trailer = Trailer(60, 18);
    const FirmwareFileInfo info = JudgeFirmwareFile(1024000, &trailer);
    EXPECT_EQ(info.ChunkBytes(), 61440u);
    EXPECT_EQ(info.LastChunkKiB, 236);
    EXPECT_EQ(info.ChunkCount, 18);
}

TEST(FirmwareJudgementTest, WithoutATrailerTheFileIsUnusable) {
    const struct {
        int64_t size;
        FirmwareFileProblem problem;
    } cases[] = {
        {0, FirmwareFileProblem::TooShortForTrailer},
        {47, FirmwareFileProblem::TooShortForTrailer},
        {48, FirmwareFileProblem::NoSecondTrailer},
        {65536, FirmwareFileProblem::NoSecondTrailer},
        {65583, FirmwareFileProblem::NoSecondTrailer},
    };
    for (const auto& c : cases) {
        const FirmwareFileInfo info = JudgeFirmwareFile(c.size, nullptr);
        EXPECT_FALSE(info.Usable) << c.size;
        EXPECT_FALSE(info.TrailerRead) << c.size;
        EXPECT_EQ(info.Problem, c.problem) << c.size;
        EXPECT_EQ(info.Identity.Model[0], '\0') << c.size;
    }
}

// ---------------------------------------------------------------------------
// Reading real files.

class FirmwareFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("firmware-file-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A file of size bytes filled with a pattern; the trailer (if any) ends
    // trailerGap bytes before the end of the file; leadingFf puts 0xFF at
    // the first of the last 48 bytes.
    std::string Write(const std::string& name, int64_t size, const FirmwareTrailer* trailer,
                      int64_t trailerGap = 0, bool leadingFf = false) {
        std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        if (trailer != nullptr)
            std::memcpy(bytes.data() + size - trailerGap - kTrailerSize, trailer, kTrailerSize);
        if (leadingFf) bytes[static_cast<std::size_t>(size - kTrailerSize)] = 0xFF;
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
        return path;
    }

    std::filesystem::path dir_;
};

TEST_F(FirmwareFileTest, TrailerGivesIdentityChunksAndOptionBits) {
    FirmwareTrailer trailer = Trailer(60, 17);
    trailer.Code[2] = static_cast<char>(0xE1);  // a code-page byte is not a letter
    const FirmwareFileInfo info = ReadFirmwareFile(Write("fw.bin", 1024000, &trailer));
    ASSERT_TRUE(info.Opened);
    EXPECT_TRUE(info.Usable) << info.Reason;
    EXPECT_EQ(info.FileSize, 1024000);
    EXPECT_EQ(std::string(info.Identity.Model), "SIMDRIVEDVD-RW SD-1000  ");
    EXPECT_EQ(std::string(info.Identity.Revision), "1.05");
    EXPECT_EQ(std::string(info.Identity.Code), "SD\xE1");
    EXPECT_EQ(info.Identity.FcCode[0], 0x12);
    EXPECT_EQ(info.Identity.FcCode[1], 0x34);
    EXPECT_EQ(info.ChunkKiB, 60);
    EXPECT_EQ(info.ChunkCount, 17);
    EXPECT_EQ(info.LastChunkKiB, 40);
    EXPECT_EQ(info.Flags, OptFcMarker | OptCompareCode);

    trailer.Type = 3;
    trailer.Marker[1] = 'c';
    const FirmwareFileInfo plain = ReadFirmwareFile(Write("plain.bin", 1024000, &trailer));
    EXPECT_EQ(plain.Flags, 0);
}

TEST_F(FirmwareFileTest, BootImageIsTakenWhateverItsChunkFields) {
    const FirmwareTrailer trailer = Trailer(250, 250);
    const FirmwareFileInfo info = ReadFirmwareFile(Write("boot.bin", 65536, &trailer));
    EXPECT_TRUE(info.Usable) << info.Reason;
    EXPECT_EQ(info.Flags & OptBootImage, OptBootImage);
    EXPECT_EQ(std::string(info.Identity.Revision), "1.05");
}

TEST_F(FirmwareFileTest, LeadingFfTakesTheTrailerBeforeTheTail) {
    FirmwareTrailer second = Trailer(32, 5);
    std::memcpy(second.Revision, "2.22", 4);
    // 4 x 32 KiB + 32 KiB; the trailer ends 64 KiB before the end.
    const FirmwareFileInfo info =
        ReadFirmwareFile(Write("tail.bin", 160 * KiB, &second, 65536, true));
    EXPECT_TRUE(info.Usable) << info.Reason;
    EXPECT_EQ(std::string(info.Identity.Revision), "2.22");
    EXPECT_EQ(info.ChunkCount, 5);

    // The second place is tried once, whatever its own first byte.
    second.Model[0] = static_cast<char>(0xFF);
    const FirmwareFileInfo again =
        ReadFirmwareFile(Write("tail2.bin", 160 * KiB, &second, 65536, true));
    EXPECT_TRUE(again.TrailerRead);
    EXPECT_EQ(static_cast<uint8_t>(again.Identity.Model[0]), 0xFF);
    EXPECT_EQ(std::string(again.Identity.Revision), "2.22");

    // The smallest file with a second place: it starts at byte 0.
    const FirmwareTrailer first = Trailer(32, 5);
    const FirmwareFileInfo smallest =
        ReadFirmwareFile(Write("smallest.bin", kSecondTrailerOffset, &first, 65536, true));
    EXPECT_TRUE(smallest.TrailerRead);
    EXPECT_EQ(std::string(smallest.Identity.Revision), "1.05");
}

TEST_F(FirmwareFileTest, FilesWithoutAReadableTrailerAreUnusable) {
    const struct {
        const char* what;
        int64_t size;
        bool leadingFf;
        FirmwareFileProblem problem;
    } cases[] = {
        {"empty", 0, false, FirmwareFileProblem::TooShortForTrailer},
        {"47 bytes", 47, false, FirmwareFileProblem::TooShortForTrailer},
        {"0xFF, one byte short of the second place", kSecondTrailerOffset - 1, true,
         FirmwareFileProblem::NoSecondTrailer},
        {"0xFF in a boot-sized file", 65536, true, FirmwareFileProblem::NoSecondTrailer},
    };
    for (const auto& c : cases) {
        const std::string path = Write("short.bin", c.size, nullptr, 0, c.leadingFf);
        const FirmwareFileInfo info = ReadFirmwareFile(path);
        EXPECT_TRUE(info.Opened) << c.what;
        EXPECT_EQ(info.FileSize, c.size) << c.what;
        EXPECT_FALSE(info.Usable) << c.what;
        EXPECT_EQ(info.Problem, c.problem) << c.what;
    }
}

TEST_F(FirmwareFileTest, MissingFileOrDirectoryIsNotOpened) {
    for (const std::string& path : {(dir_ / "missing.bin").string(), dir_.string()}) {
        const FirmwareFileInfo info = ReadFirmwareFile(path);
        EXPECT_FALSE(info.Opened) << path;
        EXPECT_FALSE(info.Usable) << path;
        EXPECT_EQ(info.FileSize, 0) << path;
        EXPECT_EQ(info.Problem, FirmwareFileProblem::NotOpened) << path;
    }
}

int OpenDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

TEST_F(FirmwareFileTest, FileIsClosedOnEveryPath) {
    const FirmwareTrailer good = Trailer(60, 17);
    const FirmwareTrailer bad = Trailer(60, 18);
    const std::vector<std::string> paths = {
        Write("good.bin", 1024000, &good), Write("bad.bin", 1024000, &bad),
        Write("short.bin", 10, nullptr), Write("ff.bin", 1000, nullptr, 0, true),
        Write("boot.bin", 65536, &good), dir_.string(),
    };
    const int before = OpenDescriptors();
    for (int round = 0; round < 3; ++round)
        for (const std::string& path : paths) ReadFirmwareFile(path);
    EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
