// The vendor download protocol: sequences of chunk writes and what firmware
// the drive holds after them.
#include <gtest/gtest.h>

#include <cctype>
#include <optional>

#include "DriveTestSupport.h"

using namespace simtest;
using sim::DataDirection;
using sim::DriveConfig;
using sim::FirmwareImageLayout;
using sim::SimDrive;

namespace {

enum class Op { Flash, Chunk, AllChunks, BootBlock };

struct Step {
    Op What = Op::AllChunks;
    int Index = 0;  // Chunk: which of the download thread's chunks; -1 the last
    std::optional<uint8_t> Byte5 = std::nullopt;
    std::optional<uint8_t> Byte9 = std::nullopt;
    int LengthDelta = 0;  // bytes added to or cut from the data
    DataDirection Direction = DataDirection::Out;
    const char* Expected = "good";
};

enum class After { OldFirmware, NewFirmware, BootCode, NewBootBlock };

struct DownloadCase {
    const char* Name;
    FirmwareImageLayout Image;
    DriveConfig Drive;
    std::vector<Step> Steps;
    After Result;
};

struct Identity {
    std::string Revision, Code;
    uint8_t Fc[2];
};

Identity Inquire(SimDrive& drive) {
    const Reply reply = SendIn(drive, kInquiry96, 96);
    return {Text(reply.Data, 32, 4), Text(reply.Data, 36, 3), {reply.Data[54], reply.Data[55]}};
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void PrintTo(const DownloadCase& c, std::ostream* out) { *out << c.Name; }

class DownloadSequence : public ::testing::TestWithParam<DownloadCase> {};

TEST_P(DownloadSequence, LeavesTheExpectedFirmware) {
    const DownloadCase& c = GetParam();
    SimDrive drive(c.Drive);
    const Identity before = Inquire(drive);
    const Checksums sumsBefore = ReadChecksums(drive);

    const std::vector<uint8_t> file = sim::BuildFirmwareImage(c.Image);
    ASSERT_FALSE(file.empty());
    const std::vector<Chunk> chunks =
        c.Image.BootImage ? std::vector<Chunk>{} : SplitLikeDownloadThread(file, c.Image.ChunkKiB, c.Image.ChunkCount);
    Chunk bootBlock{1, 0xF0, {}};
    bootBlock.Data.assign(file.begin() + sim::kBootBlockOffset,
                          file.begin() + sim::kBootBlockOffset + sim::kBootBlockBytes);

    for (size_t s = 0; s < c.Steps.size(); ++s) {
        const Step& step = c.Steps[s];
        SCOPED_TRACE("step " + std::to_string(s));
        if (step.What == Op::Flash) {
            EXPECT_EQ(Outcome(Send(drive, kFlashCommand, DataDirection::In).Result), step.Expected);
            continue;
        }
        if (step.What == Op::AllChunks) {
            for (size_t i = 0; i < chunks.size(); ++i)
                ASSERT_EQ(Outcome(WriteChunk(drive, chunks[i]).Result), "good") << "chunk " << i;
            continue;
        }
        Chunk chunk = step.What == Op::BootBlock ? bootBlock
                      : step.Index < 0           ? chunks[chunks.size() + step.Index]
                                                 : chunks[step.Index];
        chunk.Byte5 = step.Byte5.value_or(chunk.Byte5);
        chunk.Byte9 = step.Byte9.value_or(chunk.Byte9);
        chunk.Data.resize(chunk.Data.size() + step.LengthDelta, 0);
        const Reply reply = Send(drive, ChunkWriteCdb(chunk.Byte5, chunk.Byte9), step.Direction, chunk.Data);
        EXPECT_EQ(Outcome(reply.Result), step.Expected);
    }

    const Identity now = Inquire(drive);
    const Checksums sums = ReadChecksums(drive);
    const SimDrive::Firmware& fw = drive.FirmwareState();
    switch (c.Result) {
        case After::OldFirmware:
        case After::NewBootBlock:
            EXPECT_EQ(now.Revision, before.Revision);
            EXPECT_EQ(now.Code, before.Code);
            EXPECT_FALSE(fw.BootCode);
            EXPECT_EQ(sums.Program, sumsBefore.Program);
            EXPECT_EQ(sums.Parameter, sumsBefore.Parameter);
            EXPECT_EQ(sums.Boot, c.Result == After::OldFirmware ? sumsBefore.Boot
                                                                : Sum(bootBlock.Data.data(), bootBlock.Data.size()));
            break;
        case After::BootCode:
            EXPECT_EQ(now.Revision, "BOOT");
            EXPECT_EQ(now.Code, before.Code);
            EXPECT_TRUE(fw.BootCode);
            EXPECT_EQ(fw.Revision, before.Revision) << "the held firmware is still the old one";
            EXPECT_EQ(sums, sumsBefore);
            break;
        case After::NewFirmware: {
            const size_t trailer = c.Image.TrailerBeforeTail ? file.size() - 65584 : file.size() - 48;
            EXPECT_EQ(now.Revision, c.Image.Revision);
            EXPECT_EQ(now.Code, Upper(c.Image.Code));
            EXPECT_EQ(drive.Config().Revision, c.Image.Revision);
            EXPECT_FALSE(fw.BootCode);
            EXPECT_FALSE(fw.FlashMode);
            EXPECT_EQ(sums.Program, static_cast<uint16_t>(Sum(file.data(), file.size()) -
                                                          Sum(file.data() + trailer, 48)));
            EXPECT_EQ(sums.Parameter, Sum(file.data() + trailer, 48));
            EXPECT_EQ(sums.Boot, sumsBefore.Boot);
            break;
        }
    }
    const uint8_t* fc = c.Result == After::NewFirmware && c.Image.FcMarker ? c.Image.FcCode : before.Fc;
    EXPECT_EQ(now.Fc[0], fc[0]);
    EXPECT_EQ(now.Fc[1], fc[1]);
    if (c.Result != After::BootCode) {
        // No download is left open: a middle chunk is out of sequence.
        EXPECT_EQ(Outcome(WriteChunk(drive, {0xFF, 0, std::vector<uint8_t>(1024)}).Result), "02 05/2C/00");
    }
}

const FirmwareImageLayout kOtherModel{.Model = "OTHERVENDOR SD-1000"};
const DriveConfig kRefusesFlash{.RefusesFlashCommand = true};

INSTANTIATE_TEST_SUITE_P(
    Simdrive, DownloadSequence,
    ::testing::Values(
        DownloadCase{"MultiChunk", {}, {}, {{}}, After::NewFirmware},
        DownloadCase{"ShortLastChunk", {.ChunkKiB = 60, .ChunkCount = 17, .LastChunkKiB = 40}, {}, {{}},
                     After::NewFirmware},
        DownloadCase{"OneChunk", {.ChunkKiB = 32, .ChunkCount = 1}, {}, {{}}, After::NewFirmware},
        DownloadCase{"TrailerBeforeTail", {.TrailerBeforeTail = true}, {}, {{}}, After::NewFirmware},
        DownloadCase{"FcMarkerAfterFlashCommand",
                     {.Code = "sdb", .FcMarker = true, .FcCode = {'K', '7'}},
                     {},
                     {{.What = Op::Flash}, {}},
                     After::NewFirmware},
        DownloadCase{"MiddleWithoutFirst", {}, {}, {{.What = Op::Chunk, .Index = 1, .Expected = "02 05/2C/00"}},
                     After::OldFirmware},
        DownloadCase{"LastWithoutFirst", {}, {}, {{.What = Op::Chunk, .Index = -1, .Expected = "02 05/2C/00"}},
                     After::OldFirmware},
        DownloadCase{"LastRightAfterFirst",
                     {},
                     {},
                     {{.What = Op::Chunk, .Index = 0}, {.What = Op::Chunk, .Index = -1, .Expected = "02 05/26/00"}},
                     After::OldFirmware},
        DownloadCase{"MiddleTooShortEndsDownload",
                     {},
                     {},
                     {{.What = Op::Chunk, .Index = 0},
                      {.What = Op::Chunk, .Index = 1, .LengthDelta = -1024, .Expected = "02 05/1A/00"},
                      {.What = Op::Chunk, .Index = 2, .Expected = "02 05/2C/00"}},
                     After::OldFirmware},
        DownloadCase{"LastTooLong",
                     {},
                     {},
                     {{.What = Op::Chunk, .Index = 0},
                      {.What = Op::Chunk, .Index = 1},
                      {.What = Op::Chunk, .Index = 2},
                      {.What = Op::Chunk, .Index = 3, .LengthDelta = 1024, .Expected = "02 05/1A/00"}},
                     After::OldFirmware},
        DownloadCase{"FirstNotWholeKiB", {}, {}, {{.What = Op::Chunk, .LengthDelta = -1, .Expected = "02 05/1A/00"}},
                     After::OldFirmware},
        DownloadCase{"FirstOf64KiB", {.ChunkKiB = 64, .ChunkCount = 2}, {},
                     {{.What = Op::Chunk, .Expected = "02 05/1A/00"}}, After::OldFirmware},
        DownloadCase{"LastOf64KiB",
                     {.ChunkKiB = 32, .ChunkCount = 2, .LastChunkKiB = 64},
                     {},
                     {{.What = Op::Chunk, .Index = 0}, {.What = Op::Chunk, .Index = 1, .Expected = "02 05/24/00"}},
                     After::OldFirmware},
        DownloadCase{"WrongModel",
                     kOtherModel,
                     {},
                     {{.What = Op::Chunk, .Index = 0},
                      {.What = Op::Chunk, .Index = 1},
                      {.What = Op::Chunk, .Index = 2},
                      {.What = Op::Chunk, .Index = 3, .Expected = "02 05/26/00"}},
                     After::OldFirmware},
        DownloadCase{"WrongModelOneChunk",
                     {.Model = "OTHERVENDOR SD-1000", .ChunkKiB = 32, .ChunkCount = 1},
                     {},
                     {{.What = Op::Chunk, .Expected = "02 05/26/00"}},
                     After::OldFirmware},
        DownloadCase{"BrokenOffAfterFirst", {}, {}, {{.What = Op::Chunk}}, After::BootCode},
        DownloadCase{"BrokenOffThenFreshDownload",
                     {},
                     {},
                     {{.What = Op::Chunk, .Index = 0}, {.What = Op::Chunk, .Index = 1}, {}},
                     After::NewFirmware},
        DownloadCase{"UnknownChunkKind", {}, {}, {{.What = Op::Chunk, .Byte9 = 0x0F, .Expected = "02 05/24/00"}},
                     After::OldFirmware},
        DownloadCase{"ChunkSentAsDataIn",
                     {},
                     {},
                     {{.What = Op::Chunk, .Direction = DataDirection::In, .Expected = "02 05/24/00"}},
                     After::OldFirmware},
        DownloadCase{"BootImage", {.BootImage = true}, {}, {{.What = Op::BootBlock}}, After::NewBootBlock},
        DownloadCase{"BootImageWrongPlace", {.BootImage = true}, {},
                     {{.What = Op::BootBlock, .Byte5 = 2, .Expected = "02 05/24/00"}}, After::OldFirmware},
        DownloadCase{"BootImageWrongLength", {.BootImage = true}, {},
                     {{.What = Op::BootBlock, .LengthDelta = -512, .Expected = "02 05/1A/00"}}, After::OldFirmware},
        DownloadCase{"FlashRefused", {}, kRefusesFlash, {{.What = Op::Flash, .Expected = "02 05/24/00"}},
                     After::OldFirmware}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveDownload, ChunkCountStopsAt255) {
    SimDrive drive;
    const std::vector<uint8_t> kib(1024, 0x11);
    ASSERT_EQ(Outcome(WriteChunk(drive, {0x00, 0, kib}).Result), "good");
    for (int i = 2; i <= 254; ++i) ASSERT_EQ(Outcome(WriteChunk(drive, {0xFF, 0, kib}).Result), "good") << i;
    // A 255th middle chunk would leave no room for the last chunk.
    EXPECT_EQ(Outcome(WriteChunk(drive, {0xFF, 0, kib}).Result), "02 05/24/00");
    EXPECT_FALSE(drive.FirmwareState().BootCode);
}

TEST(SimdriveDownload, LargestImageIsTaken) {
    SimDrive drive;
    const FirmwareImageLayout layout{.ChunkKiB = 1, .ChunkCount = 255};
    const std::vector<uint8_t> file = sim::BuildFirmwareImage(layout);
    for (const Chunk& chunk : SplitLikeDownloadThread(file, 1, 255))
        ASSERT_EQ(Outcome(WriteChunk(drive, chunk).Result), "good");
    EXPECT_EQ(Inquire(drive).Revision, "1.01");
}

struct DriveCodeCase {
    const char* Name;
    bool Answers;
    const char* Expected;
    std::vector<uint8_t> Reply;
};

class DriveCodeQuery : public ::testing::TestWithParam<DriveCodeCase> {};

TEST_P(DriveCodeQuery, AnswersOrRefuses) {
    const DriveCodeCase& c = GetParam();
    SimDrive drive(DriveConfig{.Code = "QRS", .AnswersDriveCodeQuery = c.Answers});
    const Reply reply = SendIn(drive, VendorCdb(0xFF), 8);
    EXPECT_EQ(Outcome(reply.Result), c.Expected);
    EXPECT_EQ(reply.Data, c.Reply);
}

INSTANTIATE_TEST_SUITE_P(Simdrive, DriveCodeQuery,
                         ::testing::Values(DriveCodeCase{"Answers", true, "good", {0, 6, 0, 0, 'Q', 'R', 'S', 0}},
                                           DriveCodeCase{"Refuses", false, "02 05/24/00",
                                                         std::vector<uint8_t>(8, 0xEE)}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveVendor, UnknownSubcommandsAreInvalidFields) {
    SimDrive drive;
    for (const std::vector<uint8_t>& cdb : {VendorCdb(0x02), VendorCdb(0x06), VendorCdb(0xFE),
                                            std::vector<uint8_t>{0xFF, 0x01, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA},
                                            std::vector<uint8_t>{0xFF, 0x02, 0xFD, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA}})
        EXPECT_EQ(Outcome(SendIn(drive, cdb, 8).Result), "02 05/24/00") << int(cdb[1]) << " " << int(cdb[2]);
}

TEST(SimdriveVendor, DownloadModeKeptUntilADownloadCompletes) {
    SimDrive drive;
    auto mode = [&] { return SendIn(drive, VendorCdb(0x05), 8).Data; };
    EXPECT_EQ(mode(), std::vector<uint8_t>(8, 0));
    ASSERT_EQ(Outcome(SendIn(drive, VendorCdb(0x04, 1), 8).Result), "good");
    EXPECT_EQ(mode()[0], 1);
    EXPECT_EQ(mode()[1], 0);
    EXPECT_TRUE(drive.FirmwareState().BootRewrite);
    ASSERT_EQ(Outcome(SendIn(drive, VendorCdb(0x04, 0), 8).Result), "good");
    EXPECT_EQ(mode()[0], 0);

    SendIn(drive, VendorCdb(0x04, 1), 8);
    const FirmwareImageLayout layout;
    const std::vector<Chunk> chunks = SplitLikeDownloadThread(sim::BuildFirmwareImage(layout), 32, 4);
    for (size_t i = 0; i + 1 < chunks.size(); ++i) ASSERT_EQ(Outcome(WriteChunk(drive, chunks[i]).Result), "good");
    EXPECT_EQ(mode()[0], 1) << "cleared before the download completed";
    ASSERT_EQ(Outcome(WriteChunk(drive, chunks.back()).Result), "good");
    EXPECT_EQ(mode()[0], 0);
}

TEST(SimdriveVendor, ChecksumReplyFitsTheBuffer) {
    SimDrive drive;
    const Checksums full = ReadChecksums(drive);
    const Reply part = SendIn(drive, VendorCdb(0x03), 3);
    EXPECT_EQ(part.Data[0], full.Program >> 8);
    EXPECT_EQ(part.Data[1], full.Program & 0xFF);
    EXPECT_EQ(part.Data[2], full.Boot >> 8);
    EXPECT_EQ(part.Result.Residual, 0u);
}

TEST(SimdriveVendor, FactoryImageFollowsTheConfig) {
    SimDrive a, b;
    SimDrive other(DriveConfig{.Revision = "1.02"});
    EXPECT_EQ(ReadChecksums(a), ReadChecksums(b));
    EXPECT_NE(ReadChecksums(a).Parameter, ReadChecksums(other).Parameter);
    EXPECT_EQ(ReadChecksums(a).Boot, ReadChecksums(other).Boot);
}

}  // namespace
