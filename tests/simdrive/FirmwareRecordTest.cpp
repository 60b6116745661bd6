// The firmware record that carries a drive's state from one program run to
// the next, and the change notification.
#include <gtest/gtest.h>

#include <sstream>

#include "DriveTestSupport.h"

using namespace simtest;
using sim::FirmwareImageLayout;
using sim::SimDrive;

namespace {

std::string Save(const SimDrive& drive) {
    std::ostringstream out;
    drive.SaveFirmware(out);
    return out.str();
}

bool Load(SimDrive& drive, const std::string& record, std::string& error) {
    std::istringstream in(record);
    return drive.LoadFirmware(in, error);
}

std::string InquiryRevision(SimDrive& drive) { return Text(SendIn(drive, kInquiry96, 96).Data, 32, 4); }

void Download(SimDrive& drive, const FirmwareImageLayout& layout, size_t chunks) {
    const std::vector<Chunk> all = SplitLikeDownloadThread(sim::BuildFirmwareImage(layout), layout.ChunkKiB,
                                                           layout.ChunkCount);
    for (size_t i = 0; i < chunks; ++i) ASSERT_EQ(Outcome(WriteChunk(drive, all[i]).Result), "good");
}

struct RoundTripCase {
    const char* Name;
    size_t ChunksSent;  // of a 4-chunk image
    bool WindowsLineEnds;
    const char* Revision;
};

class FirmwareRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(FirmwareRoundTrip, NextRunSeesTheDriveAsLeft) {
    const RoundTripCase& c = GetParam();
    const FirmwareImageLayout layout{.Revision = "2.07", .Code = "sdx", .FcMarker = true, .FcCode = {'Q', '1'}};
    SimDrive first;
    SendIn(first, VendorCdb(0x04, 1), 8);
    Download(first, layout, c.ChunksSent);
    std::string record = Save(first);
    if (c.WindowsLineEnds) {
        std::string crlf;
        for (char ch : record) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
        record = crlf;
    }

    SimDrive next;
    std::string error;
    ASSERT_TRUE(Load(next, record, error)) << error;
    EXPECT_EQ(next.FirmwareState(), first.FirmwareState());
    EXPECT_EQ(InquiryRevision(next), c.Revision);
    EXPECT_EQ(ReadChecksums(next), ReadChecksums(first));
    EXPECT_EQ(SendIn(next, VendorCdb(0x05), 8).Data[0], SendIn(first, VendorCdb(0x05), 8).Data[0]);
    const Reply inquiry = SendIn(next, kInquiry96, 96);
    EXPECT_EQ(Text(inquiry.Data, 36, 3), c.ChunksSent == 4 ? "SDX" : "SDA");

    // A drive left in boot code still takes a whole new download.
    Download(next, layout, 4);
    EXPECT_EQ(InquiryRevision(next), "2.07");
    EXPECT_EQ(next.Config().Revision, "2.07");
}

INSTANTIATE_TEST_SUITE_P(Simdrive, FirmwareRoundTrip,
                         ::testing::Values(RoundTripCase{"Factory", 0, false, "1.00"},
                                           RoundTripCase{"Downloaded", 4, false, "2.07"},
                                           RoundTripCase{"BrokenOffAfterFirstChunk", 1, false, "BOOT"},
                                           RoundTripCase{"WindowsLineEnds", 1, true, "BOOT"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveFirmwareRecord, IsSmallText) {
    SimDrive drive;
    Download(drive, FirmwareImageLayout{.ChunkKiB = 60, .ChunkCount = 17, .LastChunkKiB = 40}, 17);
    const std::string record = Save(drive);
    EXPECT_LT(record.size(), 400u);
    EXPECT_EQ(record.rfind("simdrive-firmware 1\n", 0), 0u) << record;
}

// Replaces the line that starts with `key` (or appends when it is absent).
std::string WithLine(std::string record, const std::string& key, const std::string& line) {
    const size_t at = record.find("\n" + key + " ");
    if (at == std::string::npos) return record + line + "\n";
    const size_t end = record.find('\n', at + 1);
    return record.replace(at + 1, end - at - 1, line);
}

struct MalformedCase {
    const char* Name;
    std::string (*Make)(const std::string& good);
};

class MalformedRecord : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedRecord, RefusedWithErrorAndNothingChanges) {
    SimDrive source;
    Download(source, FirmwareImageLayout{.Revision = "3.00"}, 4);
    const std::string bad = GetParam().Make(Save(source));

    SimDrive drive;
    const SimDrive::Firmware before = drive.FirmwareState();
    const std::string recordBefore = Save(drive);
    std::string error;
    EXPECT_FALSE(Load(drive, bad, error)) << bad;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(drive.FirmwareState(), before);
    EXPECT_EQ(Save(drive), recordBefore);
    EXPECT_EQ(InquiryRevision(drive), "1.00");
}

INSTANTIATE_TEST_SUITE_P(
    Simdrive, MalformedRecord,
    ::testing::Values(
        MalformedCase{"Empty", [](const std::string&) { return std::string(); }},
        MalformedCase{"WrongHeader", [](const std::string& r) { return "simdrive-firmware 2" + r.substr(19); }},
        MalformedCase{"MissingEntry", [](const std::string& r) { return WithLine(r, "boot-code", ""); }},
        MalformedCase{"EntryTwice", [](const std::string& r) { return r + "code 535344\n"; }},
        MalformedCase{"UnknownEntry", [](const std::string& r) { return r + "colour 00\n"; }},
        MalformedCase{"RevisionTooShort", [](const std::string& r) { return WithLine(r, "revision", "revision 3130"); }},
        MalformedCase{"RevisionNotHex", [](const std::string& r) { return WithLine(r, "revision", "revision 3.003.00"); }},
        MalformedCase{"FlagNotBinary", [](const std::string& r) { return WithLine(r, "boot-code", "boot-code 2"); }},
        MalformedCase{"TwoChecksums", [](const std::string& r) { return WithLine(r, "checksums", "checksums 0001 0002"); }},
        MalformedCase{"FourChecksums",
                      [](const std::string& r) { return WithLine(r, "checksums", "checksums 0001 0002 0003 0004"); }},
        MalformedCase{"SizeTooLarge",
                      [](const std::string& r) { return WithLine(r, "image", "image 4294967296 0123456789ABCDEF"); }},
        MalformedCase{"SizeNotNumber",
                      [](const std::string& r) { return WithLine(r, "image", "image -5 0123456789ABCDEF"); }},
        MalformedCase{"HashTooShort", [](const std::string& r) { return WithLine(r, "image", "image 1024 ABCDEF"); }},
        MalformedCase{"TooManyLines", [](const std::string& r) { return r + std::string(40, '\n'); }}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SimdriveFirmwareChanged, CalledAfterEachChangeAndMaySaveFromThere) {
    SimDrive drive;
    std::vector<std::string> saved;
    drive.OnFirmwareChanged([&] { saved.push_back(Save(drive)); });

    ReadChecksums(drive);
    SendIn(drive, VendorCdb(0x05), 8);
    SendIn(drive, kInquiry96, 96);
    EXPECT_TRUE(saved.empty()) << "queries change nothing";

    SendIn(drive, VendorCdb(0x04, 1), 8);
    ASSERT_EQ(saved.size(), 1u);
    SendIn(drive, VendorCdb(0x04, 1), 8);
    EXPECT_EQ(saved.size(), 1u) << "setting the same mode again changes nothing";

    const FirmwareImageLayout layout;
    const std::vector<Chunk> chunks = SplitLikeDownloadThread(sim::BuildFirmwareImage(layout), 32, 4);
    WriteChunk(drive, chunks[0]);  // enters boot code
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_NE(saved[1].find("boot-code 1"), std::string::npos);
    WriteChunk(drive, chunks[1]);
    WriteChunk(drive, chunks[2]);
    EXPECT_EQ(saved.size(), 2u);
    WriteChunk(drive, chunks[3]);  // takes the image
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved.back(), Save(drive));
}

}  // namespace
