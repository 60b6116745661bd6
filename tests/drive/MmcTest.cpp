// The MMC command set: the blocks as they reach the drive, the buffer and
// error-code rules, the mode page handling of the write and close routines,
// and the test pattern.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "ScriptedDrive.h"
#include "drive/Mmc.h"
#include "drive/TextHelpers.h"

namespace {

using namespace drivetest;
using Buffer = std::vector<uint8_t>;

class MmcTest : public ScriptedDriveTest {
protected:
    Buffer buffer = Buffer(65536, 0);
};

TEST_F(MmcTest, EveryRoutineSendsItsBlockLengthDirectionAndDataLength) {
    struct Case {
        const char* what;
        std::function<void(std::span<uint8_t>)> call;
        std::vector<uint8_t> block;
        bool dataIn;
        uint32_t length;
    } cases[] = {
        {"Inquiry", [](auto b) { drive::Inquiry(0, b); }, {0x12, 0, 0, 0, 0x24, 0}, true, 36},
        {"TestUnitReady", [](auto b) { drive::TestUnitReady(0, b); }, {0, 0, 0, 0, 0, 0}, true, 254},
        {"IsUnitReady", [](auto b) { drive::IsUnitReady(0, b); }, {0, 0, 0, 0, 0, 0}, true, 254},
        {"INQUIRY of the drive codes", [](auto b) { drive::InquiryDriveCodes(0, 96, b); },
         {0x12, 0, 0, 0, 0x60, 0, 0, 0, 0, 0, 0, 0}, true, 96},
        {"TEST UNIT READY without data", [](auto b) { drive::TestUnitReadyWithoutData(0, b); },
         {0, 0, 0, 0, 0, 0}, true, 0},
        {"readiness of the disc information", [](auto b) { drive::TestUnitReady12(0, b); },
         std::vector<uint8_t>(12, 0), true, 14},
        {"Read10 LBA 1, 16 blocks", [](auto b) { drive::Read10(0, 1, 16, b); },
         {0x28, 0, 0, 0, 0, 1, 0, 0, 0x10, 0}, true, 32768},
        {"Write10", [](auto b) { drive::Write10(0, 0x01020304, 3, b); },
         {0x2A, 0, 1, 2, 3, 4, 0, 0, 3, 0}, false, 6144},
        {"Write12 streaming", [](auto b) { drive::Write12(0, 0x00A0B0C0, 16, 1, b); },
         {0xAA, 0, 0, 0xA0, 0xB0, 0xC0, 0, 0, 0, 16, 0x80, 0}, false, 32768},
        {"Write12 without streaming", [](auto b) { drive::Write12(0, 5, 1, 0, b); },
         {0xAA, 0, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0}, false, 2048},
        {"SynchronizeCache", [](auto b) { drive::SynchronizeCache(0, b); },
         {0x35, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}, true, 0},
        {"LoadEjectTray open", [](auto b) { drive::LoadEjectTray(0, 7, b); }, {0x1B, 0, 0, 0, 2, 0},
         true, 1000},
        {"LoadEjectTray load", [](auto b) { drive::LoadEjectTray(0, 0, b); }, {0x1B, 0, 0, 0, 3, 0},
         true, 1000},
        {"GetConfiguration 0/32", [](auto b) { drive::GetConfiguration(0, 0, 32, b); },
         {0x46, 0, 0, 0, 0, 0, 0, 0, 0x20, 0}, true, 32},
        {"GetConfiguration 2Fh/1234h", [](auto b) { drive::GetConfiguration(0, 0x2F, 0x1234, b); },
         {0x46, 0, 0, 0x2F, 0, 0, 0, 0x12, 0x34, 0}, true, 0x1234},
        {"HasFeature", [](auto b) { drive::HasFeature(0, 0x012D, 0, b); },
         {0x46, 0, 0x01, 0x2D, 0, 0, 0, 0, 0xFE, 0}, true, 254},
        {"ReadFormatCapacities", [](auto b) { drive::ReadFormatCapacities(0, b); },
         {0x23, 0, 0, 0, 0, 0, 0, 0, 0xFE, 0}, true, 254},
        {"ReadDvdStructure", [](auto b) { drive::ReadDvdStructure(0, 0x01020304, 1, 0x0E, 2052, b); },
         {0xAD, 0, 1, 2, 3, 4, 1, 0x0E, 0x08, 0x04, 0, 0}, true, 2052},
        {"write protection status", [](auto b) { drive::ReadWriteProtection(0, b); },
         {0xAD, 0, 0, 0, 0, 0, 0, 0xC0, 0, 8, 0, 0}, true, 65536},
        {"QueryVendorFF09", [](auto b) { drive::QueryVendorFF09(0, b); },
         {0xFF, 0x09, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA}, true, 254},
        {"READ DISC INFORMATION", [](auto b) { drive::ReadDiscInformationCommand(0, b); },
         {0x51, 0, 0, 0, 0, 0, 0, 0, 0x34, 0}, true, 52},
        {"READ TRACK INFORMATION", [](auto b) { drive::ReadTrackInformation(0, 0x0102, b); },
         {0x52, 1, 0, 0, 1, 2, 0, 0, 0xFE, 0}, true, 254},
        {"ATIP", [](auto b) { drive::ReadAtip(0, b); }, {0x43, 0, 4, 0, 0, 0, 0, 0, 0xFE, 0}, true,
         254},
        {"READ CAPACITY", [](auto b) { drive::ReadCapacity(0, b); }, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0},
         true, 8},
        {"read protection status", [](auto b) { drive::ReadProtectionStatus(0, b); },
         {0xAD, 0, 0, 0, 0, 0, 0, 0xC0, 0, 8, 0, 0}, true, 8},
        {"send protection status", [](auto b) { drive::SendProtectionStatus(0, b); },
         {0xBF, 0, 0, 0, 0, 0, 0, 0xC0, 0, 8, 0, 0}, false, 8},
        {"MODE SENSE of page 05h", [](auto b) { drive::ModeSense(0, b); },
         {0x5A, 0, 0x05, 0, 0, 0, 0, 0, 0xFE, 0}, true, 254},
        {"MODE SELECT of 36 bytes", [](auto b) { drive::ModeSelect(0, 36, b); },
         {0x55, 0x10, 0, 0, 0, 0, 0, 0, 36, 0}, false, 36},
        {"BLANK", [](auto b) { drive::Blank(0, b); }, {0xA1, 0x11, 0, 0, 0, 0, 0, 0, 0, 0}, true, 254},
        {"FORMAT UNIT with a list", [](auto b) { drive::FormatUnit(0, &drive::kDvdRwQuickFormatList, b); },
         {0x04, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 12},
        {"FORMAT UNIT without a list", [](auto b) { drive::FormatUnit(0, nullptr, b); },
         {0x04, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false, 0},
    };
    for (const Case& c : cases) {
        drv.sent.clear();
        c.call(buffer);
        ASSERT_EQ(drv.sent.size(), 1u) << c.what;
        EXPECT_EQ(drv.sent[0].Cdb, c.block) << c.what;
        EXPECT_EQ(drv.sent[0].DataIn, c.dataIn) << c.what;
        EXPECT_EQ(drv.sent[0].Length, c.length) << c.what;
        // Only the vendor query can be done without: a host may say so once.
        EXPECT_EQ(drv.sent[0].Optional, c.block[0] == 0xFF) << c.what;
    }
    EXPECT_FALSE(platform::OptionalQuery::Active()) << "the mark ends with the query";
}

TEST_F(MmcTest, YesNoRoutinesFollowTheStatusAndTheReply) {
    drv.Queue(0x00, Check(0x02, 0x3A, 0x00));
    EXPECT_FALSE(drive::IsUnitReady(0, buffer));
    EXPECT_TRUE(drive::IsUnitReady(0, buffer));

    struct Case {
        const char* what;
        Answer answer;
        bool expected;
    } vendor[] = {
        {"refused", Check(0x05, 0x20, 0x00), false},
        {"reply 00 00", Good(Bytes(8, {})), false},
        {"reply 00 01", Good(Bytes(8, {{1, 0x01}})), true},
        {"reply 80 00", Good(Bytes(8, {{0, 0x80}})), true},
    };
    for (const Case& c : vendor) {
        drv.Queue(0xFF, c.answer);
        EXPECT_EQ(drive::QueryVendorFF09(0, buffer), c.expected) << c.what;
    }
}

// A GET CONFIGURATION reply: header with the current profile, then one
// feature descriptor.
Buffer Configuration(uint16_t profile, uint16_t feature, uint8_t byte4) {
    Buffer reply = Bytes(16, {{3, 12},
                              {6, static_cast<uint8_t>(profile >> 8)},
                              {7, static_cast<uint8_t>(profile)},
                              {8, static_cast<uint8_t>(feature >> 8)},
                              {9, static_cast<uint8_t>(feature)},
                              {11, 4},
                              {12, byte4}});
    return reply;
}

TEST_F(MmcTest, HasFeatureComparesTheFirstDescriptorAndTheDvdPlusWriteBit) {
    struct Case {
        const char* what;
        uint16_t feature, profile;
        Answer answer;
        bool expected;
    } cases[] = {
        {"feature reported", 0x2D, 0x09, Good(Configuration(0x09, 0x2D, 0x00)), true},
        {"another feature first", 0x2D, 0x09, Good(Configuration(0x09, 0x2F, 0x00)), false},
        {"feature 0 never compares the code", 0, 0x09, Good(Configuration(0x09, 0x2F, 0x00)), true},
        {"DVD+R without the write bit", 0x2B, 0x1B, Good(Configuration(0x1B, 0x2B, 0x00)), false},
        {"DVD+R with the write bit", 0x2B, 0x1B, Good(Configuration(0x1B, 0x2B, 0x01)), true},
        {"DVD+RW feature 0 still needs the bit", 0, 0x1A, Good(Configuration(0x1A, 0, 0x00)), false},
        {"DVD+R DL with the write bit", 0x2B, 0x2B, Good(Configuration(0x2B, 0x2B, 0x01)), true},
        {"command refused", 0x2D, 0x09, Check(0x05, 0x24, 0x00), false},
        {"reply ends before any descriptor", 0x2D, 0x09, Good(Bytes(8, {{3, 4}})), false},
    };
    for (const Case& c : cases) {
        // What an earlier reply left in the buffer must not answer for this one.
        const Buffer stale = Configuration(c.profile, c.feature, 0x01);
        std::copy(stale.begin(), stale.end(), buffer.begin());
        drv.Queue(0x46, c.answer);
        EXPECT_EQ(drive::HasFeature(0, c.feature, c.profile, buffer), c.expected) << c.what;
    }
}

// Also a reply counts only the bytes that moved: a block read or write, or
// data sent, that the drive answers good while less moved has not happened;
// commands that declare a length but move nothing are not short, and leave
// the buffer as it was.
TEST_F(MmcTest, AFailureWithoutSenseRecordsACodeNoDriveSends) {
    struct Case {
        const char* what;
        std::function<uint8_t(std::span<uint8_t>)> call;
        uint8_t opcode;
        Answer answer;
        uint8_t status;
        uint32_t code;
    } cases[] = {
        {"check condition keeps the drive's sense", [](auto b) { return drive::TestUnitReady(0, b); },
         0x00, Check(0x02, 0x04, 0x07), 4, 0x020407},
        {"flag bits of byte 2 are kept", [](auto b) { return drive::TestUnitReady(0, b); }, 0x00,
         Check(0x22, 0x3A, 0x00), 4, 0x223A00},
        {"failed control request after an earlier no-medium",
         [](auto b) { return drive::TestUnitReady(0, b); }, 0x00, ControlFails(), 0xFF, 0xFF00FF},
        {"failed data-in command", [](auto b) { return drive::Read10(0, 0, 1, b); }, 0x28,
         ControlFails(), 0xFF, 0xFF00FF},
        {"failed data-out command", [](auto b) { return drive::Write10(0, 0, 1, b); }, 0x2A,
         ControlFails(), 0xFF, 0xFF00FF},
        {"failed FORMAT UNIT", [](auto b) { return drive::FormatUnit(0, &drive::kDvdPlusRwFormatList, b); },
         0x04, ControlFails(), 0xFF, 0xFF00FF},
        {"failed BLANK", [](auto b) { return drive::Blank(0, b); }, 0xA1, ControlFails(), 0xFF, 0xFF00FF},
        {"failed protection status read", [](auto b) { return drive::ReadProtectionStatus(0, b); }, 0xAD,
         ControlFails(), 0xFF, 0xFF00FF},
        {"failed protection status send", [](auto b) { return drive::SendProtectionStatus(0, b); }, 0xBF,
         ControlFails(), 0xFF, 0xFF00FF},
        {"refused FORMAT UNIT keeps the drive's sense",
         [](auto b) { return drive::FormatUnit(0, &drive::kDvdRwQuickFormatList, b); }, 0x04,
         Check(0x05, 0x26, 0x00), 4, 0x052600},
        {"READ(10) that moved nothing", [](auto b) { return drive::Read10(0, 0, 16, b); }, 0x28,
         GoodButShort(0), 0xFE, 0xFF00FE},
        {"READ(10) one block short", [](auto b) { return drive::Read10(0, 0, 16, b); }, 0x28,
         GoodButShort(15 * 2048), 0xFE, 0xFF00FE},
        {"READ(10) whole", [](auto b) { return drive::Read10(0, 0, 16, b); }, 0x28, GoodButShort(16 * 2048), 1,
         0x023A00},
        {"WRITE(10) short", [](auto b) { return drive::Write10(0, 0, 3, b); }, 0x2A, GoodButShort(2048), 0xFE,
         0xFF00FE},
        {"WRITE(12) short", [](auto b) { return drive::Write12(0, 0, 16, 1, b); }, 0xAA, GoodButShort(1), 0xFE,
         0xFF00FE},
        {"MODE SELECT short", [](auto b) { return drive::ModeSelect(0, 60, b); }, 0x55, GoodButShort(24), 0xFE,
         0xFF00FE},
        {"FORMAT UNIT list short",
         [](auto b) { return drive::FormatUnit(0, &drive::kDvdRwQuickFormatList, b); }, 0x04, GoodButShort(4),
         0xFE, 0xFF00FE},
        {"protection status to send short", [](auto b) { return drive::SendProtectionStatus(0, b); }, 0xBF,
         GoodButShort(4), 0xFE, 0xFF00FE},
        {"protection status to change and send back short",
         [](auto b) { return drive::ReadProtectionStatus(0, b); }, 0xAD, GoodButShort(4, Bytes(8, {{1, 6}, {4, 2}})),
         0xFE, 0xFF00FE},
        {"TEST UNIT READY moves none of its 254", [](auto b) { return drive::TestUnitReady(0, b); }, 0x00,
         GoodButShort(0), 1, 0x023A00},
        {"tray command moves none of its 1000", [](auto b) { return drive::LoadEjectTray(0, 1, b); }, 0x1B,
         GoodButShort(0), 1, 0x023A00},
        {"BLANK moves none of its 254", [](auto b) { return drive::Blank(0, b); }, 0xA1, GoodButShort(0), 1,
         0x023A00},
    };
    for (const Case& c : cases) {
        buffer[2] = 0x02;
        buffer[12] = 0x3A;
        buffer[13] = 0x00;
        drv.Queue(c.opcode, c.answer);
        EXPECT_EQ(c.call(buffer), c.status) << c.what;
        EXPECT_EQ(drive::GetSenseCode(buffer), c.code) << c.what;
        EXPECT_EQ(drive::GetSenseKeyAsc(buffer), c.code >> 8) << c.what;
    }
}

TEST_F(MmcTest, BlockCountsAndDataLengthsAreCheckedAgainstTheCallersBuffer) {
    Buffer chunk(32768, 0x5A);
    struct Case {
        const char* what;
        std::function<uint8_t()> call;
    } refused[] = {
        {"Read10 of 17 blocks into 16", [&] { return drive::Read10(0, 0, 17, chunk); }},
        {"Read10 of 255 blocks into 16", [&] { return drive::Read10(0, 0, 255, chunk); }},
        {"Write10 of 17 blocks from 16", [&] { return drive::Write10(0, 0, 17, chunk); }},
        {"Write12 of 17 blocks from 16", [&] { return drive::Write12(0, 0, 17, 1, chunk); }},
        {"tray command into 254 bytes",
         [&] { return drive::LoadEjectTray(0, 1, std::span(chunk).first(254)); }},
        {"write protection status into 32 KiB", [&] { return drive::ReadWriteProtection(0, chunk); }},
    };
    for (const Case& c : refused) {
        std::fill(chunk.begin(), chunk.end(), 0x5A);
        EXPECT_EQ(c.call(), drive::kStatusNotSent) << c.what;
        EXPECT_EQ(drive::GetSenseCode(chunk), drive::kNotSentCode) << c.what;
    }
    EXPECT_TRUE(drv.sent.empty());

    uint8_t small[13] = {};
    EXPECT_EQ(drive::SynchronizeCache(0, small), drive::kStatusNotSent) << "no room for sense";
    EXPECT_TRUE(drv.sent.empty());

    EXPECT_EQ(drive::Read10(0, 0, 16, chunk), 1);
    EXPECT_EQ(drive::Write12(0, 0, 16, 0, chunk), 1);
    EXPECT_EQ(drv.sent.size(), 2u);

    std::fill(chunk.begin(), chunk.end(), 0x5A);
    EXPECT_FALSE(drive::FillTestPattern(0, 17, chunk));
    EXPECT_EQ(chunk[0], 0x5A) << "nothing written";
}

TEST_F(MmcTest, QueriesClearWhatTheyAskForSoAShortReplyLeavesNoStaleBytes) {
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    drv.Queue(0x23, Good(Bytes(4, {{3, 0}})));
    ASSERT_TRUE(drive::ReadFormatCapacities(0, buffer));
    for (size_t i = 4; i < 254; ++i) ASSERT_EQ(buffer[i], 0) << i;
    EXPECT_EQ(buffer[254], 0xEE) << "past the data length the buffer is the caller's";
}

TEST_F(MmcTest, FormatUnitSendsItsListWithTheImmediateBit) {
    struct Case {
        const char* what;
        const drive::FormatParameterList* list;
        std::vector<uint8_t> out;
    } cases[] = {
        {"DVD-RW quick format", &drive::kDvdRwQuickFormatList,
         {0x00, 0x82, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x54, 0x00, 0x00, 0x10}},
        {"DVD+RW format", &drive::kDvdPlusRwFormatList,
         {0x00, 0x82, 0x00, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0x98, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        drv.sent.clear();
        std::fill(buffer.begin(), buffer.end(), 0xEE);
        EXPECT_EQ(drive::FormatUnit(0, c.list, buffer), 1) << c.what;
        ASSERT_EQ(drv.sent.size(), 1u) << c.what;
        EXPECT_EQ(drv.sent[0].Out, c.out) << c.what;
    }
}

TEST_F(MmcTest, ProtectionStatusAndFormatCapacityReadOnlyWhatTheReplyHolds) {
    struct Protection {
        const char* what;
        std::vector<uint8_t> status;
        bool protectedNow;
    } protection[] = {
        {"persistent bit", Bytes(8, {{1, 6}, {4, 0x02}}), true},
        {"cartridge bit", Bytes(8, {{1, 6}, {4, 0x04}}), true},
        {"software bit alone", Bytes(8, {{1, 6}, {4, 0x01}}), false},
        {"nothing set", Bytes(8, {{1, 6}}), false},
        {"byte 4 beyond what the reply says it sent", Bytes(8, {{1, 2}, {4, 0x02}}), false},
        {"too short to hold a length", {0x00}, false},
    };
    for (const Protection& c : protection)
        EXPECT_EQ(drive::IsWriteProtected(c.status), c.protectedNow) << c.what;

    struct Capacity {
        const char* what;
        std::vector<uint8_t> reply;
        uint32_t blocks;
    } capacity[] = {
        {"one descriptor: current capacity", Bytes(20, {{3, 8}, {7, 0x10}, {15, 0x20}}), 0x10},
        {"two descriptors: first formattable", Bytes(20, {{3, 16}, {7, 0x10}, {15, 0x20}}), 0x20},
        {"no descriptor", Bytes(20, {{3, 4}, {7, 0x10}, {15, 0x20}}), 0},
        {"list longer than the reply", Bytes(8, {{3, 16}, {7, 0x10}}), 0},
        {"nothing", {}, 0},
    };
    for (const Capacity& c : capacity)
        EXPECT_EQ(drive::FormatCapacityBlocks(c.reply), c.blocks) << c.what;
}

// ---- mode page 05h ----------------------------------------------------------

// A sensed write parameters page: mode data length, then bytes 2.. as given.
Buffer SensedPage(uint16_t modeDataLength) {
    Buffer page(254, 0);
    page[0] = static_cast<uint8_t>(modeDataLength >> 8);
    page[1] = static_cast<uint8_t>(modeDataLength);
    for (size_t i = 2; i < page.size(); ++i) page[i] = static_cast<uint8_t>(0x80 + i);
    page[8] = 0x05;
    page[9] = 0x32;
    page[11] = 0x15;
    return page;
}

TEST_F(MmcTest, SetWriteParametersSelectsTheTemplateOfTheMedia) {
    struct Case {
        const char* what;
        uint32_t media;
        uint16_t modeDataLength;
        uint8_t blockLength;
        uint32_t listLength;
        const drive::WriteParametersTemplate* image;  // nullptr: the sensed bytes unchanged
    } cases[] = {
        {"CD-R", 1, 58, 10, 60, &drive::kCdTrackAtOnceTemplate},
        {"CD-RW, a longer sensed page still selects 60", 2, 100, 10, 60, &drive::kCdTrackAtOnceTemplate},
        {"DVD-R with mode data length 58", 4, 58, 12, 60, &drive::kDvdRIncrementalTemplate},
        {"DVD-RW", 5, 58, 12, 60, &drive::kDvdRIncrementalTemplate},
        {"DVD-R DL, longer page", 6, 70, 12, 72, &drive::kDvdRIncrementalTemplate},
        {"DVD+R", 8, 34, 10, 36, nullptr},
        {"DVD+RW", 9, 58, 10, 60, nullptr},
        {"DVD+R DL", 10, 58, 10, 60, nullptr},
        {"DVD-RAM", 12, 22, 10, 24, nullptr},
    };
    for (const Case& c : cases) {
        drv.sent.clear();
        const Buffer sensed = SensedPage(c.modeDataLength);
        drv.Queue(0x5A, Good(sensed));
        EXPECT_EQ(drive::SetWriteParameters(0, c.media, buffer), 1) << c.what;
        ASSERT_EQ(drv.sent.size(), 2u) << c.what;
        const Sent& sense = drv.sent[0];
        const Sent& select = drv.sent[1];
        std::vector<uint8_t> senseBlock = {0x5A, 0, 0x05, 0, 0, 0, 0, 0, 0xFE, 0};
        std::vector<uint8_t> selectBlock = {0x55, 0x10, 0, 0, 0, 0, 0, 0,
                                            static_cast<uint8_t>(c.listLength), 0};
        senseBlock.resize(c.blockLength, 0);
        selectBlock.resize(c.blockLength, 0);
        EXPECT_EQ(sense.Cdb, senseBlock) << c.what;
        EXPECT_EQ(select.Cdb, selectBlock) << c.what;
        EXPECT_FALSE(select.DataIn) << c.what;
        ASSERT_EQ(select.Length, c.listLength) << c.what;
        Buffer expected(sensed.begin(), sensed.begin() + c.listLength);
        if (c.image != nullptr) std::copy(c.image->Bytes, c.image->Bytes + 24, expected.begin());
        EXPECT_EQ(select.Out, expected) << c.what;
    }
}

TEST_F(MmcTest, SetWriteParametersSendsNothingForMediaItDoesNotWrite) {
    for (uint32_t media : {0u, 3u, 7u, 11u, 13u, 21u, 255u}) {
        EXPECT_EQ(drive::SetWriteParameters(0, media, buffer), 0) << media;
    }
    EXPECT_TRUE(drv.sent.empty());
}

TEST_F(MmcTest, AnUnusableSensedPageIsNeverSelectedBack) {
    struct Case {
        const char* what;
        Answer sense;
        uint8_t status;
        uint32_t code;
    } cases[] = {
        {"MODE SENSE refused", Check(0x05, 0x24, 0x00), 4, 0x052400},
        {"MODE SENSE not delivered", ControlFails(), 0xFF, 0xFF00FF},
        {"page longer than what was received", Good(SensedPage(0x0100)), 0xFF, drive::kNotSentCode},
        {"mode data length FEh wraps to 0 in one byte", Good(SensedPage(0x00FE)), 0xFF,
         drive::kNotSentCode},
        {"mode data length FFh wraps in one byte", Good(SensedPage(0x00FF)), 0xFF, drive::kNotSentCode},
        {"page shorter than the template", Good(SensedPage(10)), 0xFF, drive::kNotSentCode},
        {"nothing sensed at all", Good({}), 0xFF, drive::kNotSentCode},
    };
    struct Caller {
        const char* what;
        std::function<uint8_t(std::span<uint8_t>)> call;
    } callers[] = {
        {"CD-R write parameters", [](auto b) { return drive::SetWriteParameters(0, 1, b); }},
        {"DVD-R write parameters", [](auto b) { return drive::SetWriteParameters(0, 4, b); }},
        {"DVD+R write parameters", [](auto b) { return drive::SetWriteParameters(0, 8, b); }},
        {"DVD+RW format parameters",
         [](auto b) { return drive::SelectWriteParameters(0, drive::kDvdPlusRwFormatTemplate, b); }},
    };
    for (const Caller& caller : callers) {
        for (const Case& c : cases) {
            drv.sent.clear();
            drv.Queue(0x5A, c.sense);
            EXPECT_EQ(caller.call(buffer), c.status) << c.what << ", " << caller.what;
            EXPECT_EQ(drive::GetSenseCode(buffer), c.code) << c.what << ", " << caller.what;
            EXPECT_TRUE(drv.SentWith(0x55).empty()) << c.what << ", " << caller.what;
        }
    }
}

// A page of which fewer bytes came than its length says is not selected
// back: the rest would be bytes the drive never sent.
TEST_F(MmcTest, APageThatCameShortIsNeverSelectedBack) {
    drv.Queue(0x5A, GoodButShort(30, SensedPage(58)));
    EXPECT_EQ(drive::SetWriteParameters(0, 4, buffer), drive::kStatusNotSent);
    drv.Queue(0x5A, GoodButShort(30, SensedPage(58)));
    drive::CloseTrackSession(0, 5, 0, 0, buffer);
    EXPECT_TRUE(drv.SentWith(0x55).empty());
    ASSERT_EQ(drv.SentWith(0x5B).size(), 1u) << "the close still goes out";

    drv.Queue(0x5A, GoodButShort(60, SensedPage(58)));
    EXPECT_EQ(drive::SetWriteParameters(0, 4, buffer), 1) << "the whole page came";
}

TEST_F(MmcTest, SelectWriteParametersReplacesTheHeaderAndPageStartAndKeepsTheRest) {
    const Buffer sensed = SensedPage(58);
    drv.Queue(0x5A, Good(sensed));
    drv.Queue(0x55, Check(0x05, 0x26, 0x00));
    EXPECT_EQ(drive::SelectWriteParameters(0, drive::kDvdPlusRwFormatTemplate, buffer), 4);
    EXPECT_EQ(drive::GetSenseCode(buffer), 0x052600u) << "the select's own sense";
    ASSERT_EQ(drv.sent.size(), 2u);
    EXPECT_EQ(drv.sent[0].Cdb, (std::vector<uint8_t>{0x5A, 0, 0x05, 0, 0, 0, 0, 0, 0xFE, 0}));
    EXPECT_EQ(drv.sent[1].Cdb, (std::vector<uint8_t>{0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}));
    Buffer expected(sensed.begin(), sensed.begin() + 60);
    const std::vector<uint8_t> image = {0, 0, 0, 0, 0, 0, 0, 0, 0x05, 0x32, 0x01, 0xC4,
                                        0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x96};
    std::copy(image.begin(), image.end(), expected.begin());
    EXPECT_EQ(drv.sent[1].Out, expected);
}

TEST_F(MmcTest, SetWriteParametersReturnsTheSelectsStatus) {
    drv.Queue(0x5A, Good(SensedPage(58)));
    drv.Queue(0x55, Check(0x05, 0x26, 0x00));
    EXPECT_EQ(drive::SetWriteParameters(0, 4, buffer), 4);
    EXPECT_EQ(drive::GetSenseCode(buffer), 0x052600u);
}

TEST_F(MmcTest, CloseTrackSessionSetsMultiSessionAndClosesTrackOrSession) {
    struct Case {
        const char* what;
        uint8_t media, closeTrack, track;
        std::vector<uint8_t> closeBlock;
        uint8_t page3;  // buffer byte 11 selected
        bool closeTemplate;
    } cases[] = {
        {"DVD-R session", 4, 0, 0, {0x5B, 1, 2, 0, 0, 0, 0, 0, 0, 0}, 0xC5, true},
        {"DVD-R DL track 3", 6, 1, 3, {0x5B, 1, 1, 0, 0, 3, 0, 0, 0, 0}, 0xD5, false},
        {"CD-R session, the track number is not sent", 1, 0, 9, {0x5B, 1, 2, 0, 0, 0, 0, 0, 0, 0},
         0xD5, false},
    };
    for (const Case& c : cases) {
        drv.sent.clear();
        const Buffer sensed = SensedPage(58);
        drv.Queue(0x5A, Good(sensed));
        EXPECT_EQ(drive::CloseTrackSession(0, c.media, c.closeTrack, c.track, buffer), 1) << c.what;
        ASSERT_EQ(drv.sent.size(), 3u) << c.what << ": no TEST UNIT READY after a good select";
        EXPECT_EQ(drv.sent[0].Cdb, (std::vector<uint8_t>{0x5A, 0, 5, 0, 0, 0, 0, 0, 0xFE, 0}));
        EXPECT_EQ(drv.sent[1].Cdb, (std::vector<uint8_t>{0x55, 0x10, 0, 0, 0, 0, 0, 0, 60, 0}));
        Buffer expected(sensed.begin(), sensed.begin() + 60);
        if (c.closeTemplate)
            std::copy(drive::kDvdRCloseTemplate.Bytes, drive::kDvdRCloseTemplate.Bytes + 24,
                      expected.begin());
        expected[11] = c.page3;
        EXPECT_EQ(drv.sent[1].Out, expected) << c.what;
        EXPECT_EQ(drv.sent[2].Cdb, c.closeBlock) << c.what;
        EXPECT_FALSE(drv.sent[2].DataIn) << c.what;
        EXPECT_EQ(drv.sent[2].Length, 0u) << c.what;
    }
}

TEST_F(MmcTest, CloseTrackSessionWaitsForTheDriveWithinABound) {
    struct Case {
        const char* what;
        Answer sense;
        std::vector<Answer> readiness;  // then good
        bool busyForever;
        size_t unitReadyCount;
        uint64_t sleptMs;
    } cases[] = {
        {"becoming ready twice, then ready", Good(SensedPage(58)),
         {Check(2, 4, 7), Check(2, 4, 1)}, false, 3, 600},
        {"power on reset, then ready", Good(SensedPage(58)), {Check(6, 0x29, 0)}, false, 2, 300},
        {"another error ends the wait", Good(SensedPage(58)), {Check(2, 0x3A, 0)}, false, 1, 0},
        {"a refused sense is not selected; the wait still runs", Check(5, 0x24, 0),
         {Check(2, 4, 7)}, false, 2, 300},
        {"busy for ever: the wait ends at its bound", Good(SensedPage(58)), {}, true,
         drive::kCloseWaitBoundMs / drive::kBeforeClosePollMs + 1, drive::kCloseWaitBoundMs},
    };
    for (const Case& c : cases) {
        FreshScriptedDrive fresh;
        ScriptedDrive& scripted = fresh.drive;
        scripted.Queue(0x5A, c.sense);
        scripted.Queue(0x55, Check(2, 4, 8));
        for (const Answer& a : c.readiness) scripted.Queue(0x00, a);
        if (c.busyForever) scripted.Always(0x00, Check(2, 4, 7));
        scripted.Queue(0x5B, Check(5, 0x2C, 0));
        EXPECT_EQ(drive::CloseTrackSession(0, 5, 0, 0, buffer), 4) << c.what;
        EXPECT_EQ(drive::GetSenseCode(buffer), 0x052C00u) << c.what << ": the close's own status";
        EXPECT_EQ(scripted.SentWith(0x00).size(), c.unitReadyCount) << c.what;
        EXPECT_EQ(fresh.machine.Clock().TotalSleptMs(), c.sleptMs) << c.what;
        ASSERT_FALSE(scripted.SentWith(0x5B).empty()) << c.what;
        if (c.sense.ScsiStatus != 0) {
            EXPECT_TRUE(scripted.SentWith(0x55).empty()) << c.what;
        }
    }
}

TEST_F(MmcTest, WaitUntilReadyKeepsAskingOnlyOnTheSensesItIsGiven) {
    constexpr uint16_t kBusy[] = {drive::kSenseBecomingReady};
    constexpr uint16_t kBusyOrEmpty[] = {drive::kSenseBecomingReady, drive::kSenseNoMedium};
    struct Case {
        const char* what;
        std::span<const uint16_t> keepWaiting;
        std::vector<Answer> answers;  // then the standing answer
        Answer standing;
        bool cancelAfterFirst;
        drive::ReadyResult result;
        size_t asked;
        uint64_t sleptMs;
        uint32_t code;  // the sense left in the buffer
    } cases[] = {
        {"ready at once", kBusy, {}, Good(), false, drive::ReadyResult::Ready, 1, 0, 0},
        {"becoming ready twice", kBusy, {Check(2, 4, 1), Check(2, 4, 7)}, Good(), false,
         drive::ReadyResult::Ready, 3, 2000, 0},
        {"no medium is not waited for unless asked", kBusy, {Check(2, 0x3A, 0)}, Good(), false,
         drive::ReadyResult::OtherSense, 1, 0, 0x023A00},
        {"no medium waited for when asked", kBusyOrEmpty, {Check(2, 0x3A, 0), Check(2, 4, 1)}, Good(),
         false, drive::ReadyResult::Ready, 3, 2000, 0},
        {"another answer ends at once", kBusyOrEmpty, {Check(5, 0x20, 0)}, Good(), false,
         drive::ReadyResult::OtherSense, 1, 0, 0x052000},
        {"a refused command reports its no-sense code", kBusy, {ControlFails()}, Good(), false,
         drive::ReadyResult::OtherSense, 1, 0, 0xFF00FF},
        {"STOP while becoming ready", kBusy, {}, Check(2, 4, 7), true, drive::ReadyResult::Cancelled, 2,
         1000, 0x020407},
        {"busy for ever: the bound ends it with the last sense", kBusy, {}, Check(2, 4, 8), false,
         drive::ReadyResult::BoundReached, 11, 10000, 0x020408},
    };
    for (const Case& c : cases) {
        FreshScriptedDrive fresh;
        ScriptedDrive& scripted = fresh.drive;
        for (const Answer& a : c.answers) scripted.Queue(0x00, a);
        scripted.Always(0x00, c.standing);

        std::atomic<uint8_t> stop{0};
        size_t polls = 0;
        drive::ReadyWait wait;
        wait.PollMs = 1000;
        wait.BoundMs = 10000;
        wait.KeepWaiting = c.keepWaiting;
        wait.Cancel = &stop;
        wait.EachPoll = [&] {
            if (++polls == 2 && c.cancelAfterFirst) stop = 1;
        };
        std::fill(buffer.begin(), buffer.end(), 0);
        EXPECT_EQ(drive::WaitUntilReady(0, wait, buffer), c.result) << c.what;
        EXPECT_EQ(scripted.SentWith(0x00).size(), c.asked) << c.what;
        EXPECT_EQ(polls, c.asked) << c.what;
        EXPECT_EQ(fresh.machine.Clock().TotalSleptMs(), c.sleptMs) << c.what;
        if (c.result != drive::ReadyResult::Ready) {
            EXPECT_EQ(drive::GetSenseCode(buffer), c.code) << c.what;
        }
    }

    // Without a poll period the wait still sleeps, or a simulated clock would
    // never reach the bound.
    FreshScriptedDrive fresh;
    fresh.drive.Always(0x00, Check(2, 4, 7));
    drive::ReadyWait wait;
    wait.BoundMs = 50;
    wait.KeepWaiting = kBusy;
    EXPECT_EQ(drive::WaitUntilReady(0, wait, buffer), drive::ReadyResult::BoundReached);
    EXPECT_EQ(fresh.machine.Clock().TotalSleptMs(), 50u);
}

// The caller's own pause takes the sleep's place, and a pause that says so
// ends the wait before the drive is asked again.
TEST_F(MmcTest, WaitUntilReadyPausesInTheCallersPause) {
    constexpr uint16_t kBusy[] = {drive::kSenseBecomingReady};
    FreshScriptedDrive fresh;
    fresh.drive.Always(0x00, Check(2, 4, 1));
    std::vector<uint32_t> pauses;
    drive::ReadyWait wait;
    wait.PollMs = 500;
    wait.BoundMs = 60000;
    wait.KeepWaiting = kBusy;
    wait.Pause = [&](uint32_t milliseconds) {
        pauses.push_back(milliseconds);
        return pauses.size() < 3;
    };
    EXPECT_EQ(drive::WaitUntilReady(0, wait, buffer), drive::ReadyResult::Cancelled);
    EXPECT_EQ(pauses, (std::vector<uint32_t>{500, 500, 500}));
    EXPECT_EQ(fresh.drive.SentWith(0x00).size(), 3u);
    EXPECT_EQ(fresh.machine.Clock().TotalSleptMs(), 0u);
    EXPECT_EQ(drive::GetSenseCode(buffer), 0x020401u);
}

// ---- test pattern -----------------------------------------------------------

TEST(TestPattern, EachBlockHoldsItsAddressInEveryBigEndianWord) {
    Buffer chunk(3 * 2048, 0xEE);
    ASSERT_TRUE(drive::FillTestPattern(16, 2, chunk));
    for (size_t w = 0; w < 512; ++w) {
        ASSERT_EQ(drive::ReadBigEndian32(&chunk[w * 4]), 0x10u) << w;
        ASSERT_EQ(drive::ReadBigEndian32(&chunk[2048 + w * 4]), 0x11u) << w;
    }
    EXPECT_EQ(chunk[4096], 0xEE) << "the third block is not touched";
    EXPECT_TRUE(drive::BlockHoldsTestPattern(16, std::span(chunk).first(2048)));
    EXPECT_TRUE(drive::BlockHoldsTestPattern(17, std::span(chunk).subspan(2048, 2048)));
    EXPECT_FALSE(drive::BlockHoldsTestPattern(17, std::span(chunk).first(2048)));

    ASSERT_TRUE(drive::FillTestPattern(0xFFFFFFFF, 2, chunk));
    EXPECT_EQ(drive::ReadBigEndian32(&chunk[0]), 0xFFFFFFFFu);
    EXPECT_EQ(drive::ReadBigEndian32(&chunk[2048]), 0u) << "the address wraps as a 32-bit value";

    std::fill(chunk.begin(), chunk.end(), 0xEE);
    ASSERT_TRUE(drive::FillTestPattern(5, 0, chunk));
    EXPECT_EQ(drive::ReadBigEndian32(&chunk[0]), 0u);
    EXPECT_EQ(chunk[4], 0xEE) << "a count of 0 clears bytes 0-3 only";
}

TEST(TestPattern, TheCheckFindsOneWrongByteAnywhere) {
    Buffer block(2048);
    ASSERT_TRUE(drive::FillTestPattern(0x12345678, 1, block));
    for (size_t at : {0u, 3u, 1024u, 2044u, 2047u}) {
        Buffer damaged = block;
        damaged[at] ^= 0x01;
        EXPECT_FALSE(drive::BlockHoldsTestPattern(0x12345678, damaged)) << at;
    }
    EXPECT_FALSE(drive::BlockHoldsTestPattern(0x12345678, std::span(block).first(2047)));
}

}  // namespace
