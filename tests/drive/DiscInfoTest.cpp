// The disc information record: codes and names, the media identifier parser,
// and the record's rules against scripted replies.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ScriptedDrive.h"
#include "drive/DiscInfo.h"
#include "drive/Mmc.h"

namespace {

using namespace drivetest;
using Buffer = std::vector<uint8_t>;

TEST(DiscCodes, ProfilesMapToCodesIndexesAndNames) {
    struct Case {
        uint16_t profile;
        drive::DiscTypeCode code;
        int16_t index;
        const char* codeName;
    } cases[] = {
        {0x08, 0x0801, 0, "CD-ROM"},     {0x09, 0x0802, 1, "CD-R"},
        {0x0A, 0x0804, 2, "CD-RW"},      {0x10, 0x1001, 3, "DVD-ROM"},
        {0x11, 0x1102, 4, "DVD-R "},     {0x12, 0x1010, 12, "DVD-RAM"},
        {0x13, 0x1104, 5, "DVD-RW"},     {0x14, 0x1104, 5, "DVD-RW"},
        {0x15, 0x110A, 6, "DVD-R DL"},   {0x16, 0x110A, 6, "DVD-R DL"},
        {0x1A, 0x1204, 9, "DVD+RW"},     {0x1B, 0x1202, 8, "DVD+R"},
        {0x2B, 0x120A, 10, "DVD+R DL"},  {0x2A, 0, -1, "DISC NOT READY"},
        {0x00, 0, -1, "DISC NOT READY"}, {0x02, 0, -1, "DISC NOT READY"},
        {0x40, 0, -1, "DISC NOT READY"}, {0x43, 0, -1, "DISC NOT READY"},
        {0x51, 0, -1, "DISC NOT READY"}, {0xFFFF, 0, -1, "DISC NOT READY"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(drive::ProfileToDiscCode(c.profile), c.code) << c.profile;
        EXPECT_EQ(drive::DiscCodeToIndex(c.code), c.index) << c.profile;
        EXPECT_EQ(drive::GetDiscCodeName(c.code), c.codeName) << c.profile;
    }
    EXPECT_EQ(drive::GetDiscCodeName(0xFFFF), "UNKNOWN DISC");
    EXPECT_EQ(drive::DiscCodeToIndex(0xFFFF), -1);
    for (drive::DiscTypeCode other : {0x110C, 0x120C, 0x2101, 0x2010, 0x4201, 0x4204, 0x0800}) {
        EXPECT_EQ(drive::GetDiscCodeName(other), "") << other;
        EXPECT_EQ(drive::DiscCodeToIndex(other), -1) << other;
    }
}

TEST(DiscCodes, TypeAndStatusNames) {
    const char* names[] = {"CD-ROM",     "CD-R",         "CD-RW",        "DVD-ROM",   "DVD-R",
                           "DVD-RW",     "DVD-R DL",     "DVD-RW DL",    "DVD+R",     "DVD+RW",
                           "DVD+R DL",   "DVD+RW DL",    "DVD-RAM",      "HD DVD-ROM", "HD DVD-R",
                           "HD DVD-RW",  "HD DVD-R DL",  "HD DVD-RW DL", "HD DVD-RAM", "BD-ROM",
                           "BD-R",       "BD-RE"};
    for (int i = 0; i < 22; ++i) EXPECT_EQ(drive::GetDiscTypeName(i), names[i]) << i;
    for (int outside : {-1, 22, 255, 1 << 20}) EXPECT_EQ(drive::GetDiscTypeName(outside), "") << outside;
    // The code name of a DVD-R keeps its trailing blank; the type name has none.
    EXPECT_EQ(drive::GetDiscCodeName(0x1102), "DVD-R ");
    EXPECT_EQ(drive::GetDiscTypeName(4), "DVD-R");

    EXPECT_EQ(drive::GetDiscStatusName(0), "BLANK");
    EXPECT_EQ(drive::GetDiscStatusName(1), "INCOMPLETE DISC");
    EXPECT_EQ(drive::GetDiscStatusName(2), "FINALIZED DISC");
    EXPECT_EQ(drive::GetDiscStatusName(3), "OTHERS");
    EXPECT_EQ(drive::GetDiscStatusName(200), "OTHERS");
}

drive::DiscRecord RecordOf(drive::DiscTypeCode code, uint8_t status) {
    drive::DiscRecord r{};
    r.DiscType = code;
    r.Status = status;
    return r;
}

TEST(DiscCodes, FinishedReadableDiscs) {
    struct Case {
        drive::DiscTypeCode code;
        uint8_t status;
        bool expected;
    } cases[] = {
        {0x0801, 0, true},  {0x1001, 3, true},  {0x0802, 2, true},  {0x0802, 1, false},
        {0x1102, 2, true},  {0x1102, 0, false}, {0x1202, 2, true},  {0x1202, 1, false},
        {0x0804, 2, false}, {0x1104, 2, false}, {0x110A, 2, false}, {0x1010, 2, false},
        {0x120A, 2, false}, {0, 2, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(drive::IsFinishedReadableDisc(RecordOf(c.code, c.status)), c.expected)
            << std::hex << c.code << " status " << int(c.status);
}

TEST(DiscCodes, TestKindsAcceptTheirDiscsAndNameTheNextKind) {
    struct Case {
        uint8_t kind;
        drive::DiscTypeCode code;
        uint8_t status, rounds;
        bool accepted;
        uint8_t next;  // 99: left alone
    } cases[] = {
        {0, 0x0801, 2, 1, true, 2},    {0, 0x0801, 0, 2, true, 3},   {0, 0x0802, 2, 1, true, 2},
        {0, 0x0802, 1, 1, false, 99},  {0, 0x1001, 2, 1, false, 99}, {1, 0x0802, 0, 1, true, 99},
        {1, 0x0804, 0, 1, false, 99},  {2, 0x0804, 1, 1, true, 3},   {2, 0x0802, 1, 1, false, 99},
        {3, 0x1001, 2, 1, true, 5},    {3, 0x1102, 2, 1, true, 5},   {3, 0x1102, 1, 1, false, 99},
        {3, 0x1202, 2, 1, false, 99},  {4, 0x1102, 0, 1, true, 99},  {5, 0x1104, 0, 1, true, 99},
        {5, 0x1102, 0, 1, false, 99},  {6, 0x110A, 1, 1, true, 99},  {7, 0x110A, 1, 1, false, 99},
        {8, 0x1202, 0, 1, true, 99},   {9, 0x1204, 0, 1, true, 99},  {10, 0x120A, 0, 1, false, 99},
        {11, 0x1204, 0, 1, false, 99}, {12, 0x1010, 0, 1, true, 99}, {13, 0x1010, 0, 1, false, 99},
        {21, 0x0801, 0, 1, false, 99},
    };
    for (const Case& c : cases) {
        uint8_t next = 99;
        EXPECT_EQ(drive::MatchesTestMedia(c.kind, next, c.rounds, RecordOf(c.code, c.status)),
                  c.accepted)
            << "kind " << int(c.kind) << " code " << std::hex << c.code;
        EXPECT_EQ(next, c.next) << "kind " << int(c.kind) << " code " << std::hex << c.code;
    }
}

// ---- media identifier ---------------------------------------------------------

// Structure data (after the 4-byte header) with text placed at offsets.
Buffer Structure(size_t size, std::initializer_list<std::pair<size_t, std::string>> texts) {
    Buffer d(size, 0);
    for (const auto& [offset, text] : texts) std::memcpy(&d[offset], text.data(), text.size());
    return d;
}

struct Parsed {
    std::string identity, hex;
};

Parsed Parse(drive::DiscTypeCode code, const Buffer& data) {
    drive::DiscRecord r{};
    r.DiscType = code;
    EXPECT_TRUE(drive::ParseDvdMediaId(r, data));
    return {r.IdentityText, r.SecondText};
}

TEST(MediaIdentifier, EachFamilyReadsItsOwnBytes) {
    using namespace std::string_literals;
    struct Case {
        const char* what;
        drive::DiscTypeCode code;
        Buffer data;
        const char* identity;
        const char* hex;
    } cases[] = {
        {"DVD+R of the table, revision appended", 0x1202,
         Structure(2048, {{19, "RITEK\0\0\0R05\x02"s}}), "RITEK R05(02)",
         "52 49 54 45 4B 00 00 00 52 30 35"},
        {"DVD+R not in the table", 0x1202, Structure(2048, {{19, "ACME\0\0\0\0X01\x07"s}}),
         "ACME X01", "41 43 4D 45 00 00 00 00 58 30 31"},
        {"DVD+R DL of the dual-layer part", 0x120A, Structure(2048, {{19, "RITEK\0\0\0D03\x01"s}}),
         "RITEK D03(01)", "52 49 54 45 4B 00 00 00 44 30 33"},
        {"single-layer name on a DL disc is not known", 0x120A,
         Structure(2048, {{19, "RITEK\0\0\0R05\x01"s}}), "RITEK R05",
         "52 49 54 45 4B 00 00 00 52 30 35"},
        {"comparison is case-sensitive", 0x1204, Structure(2048, {{19, "ritek\0\0\0R05\x01"s}}),
         "ritek R05", "72 69 74 65 6B 00 00 00 52 30 35"},
        {"DVD+R: reply ends before the revision", 0x1202, Structure(30, {{19, "RITEK\0\0\0R05"s}}),
         "RITEK R05", "52 49 54 45 4B 00 00 00 52 30 35"},
        {"DVD-R: two parts, d[23] and d[24] skipped", 0x1102,
         Structure(2048, {{17, "CMC MAXY\0G01\0\0"s}}), "CMC MA G01",
         "43 4D 43 20 4D 41 00 47 30 31 00 00"},
        {"DVD-RW: leading NULs leave one blank", 0x1104,
         Structure(2048, {{17, "\0\0TDK\0..\0\0\0\0\0\0"s}}), " TDK",
         "00 00 54 44 4B 00 00 00 00 00 00 00"},
        {"DVD-ROM: first word, then the text from d[597]", 0x1001,
         Structure(2048, {{549, "ABC\r"s}, {597, "DEF GH\0"s}}), "ABC DEF GH",
         "41 42 43 44 45 46 20 47 48"},
        {"DVD-RAM: no first word", 0x1010, Structure(2048, {{597, "XYZ\r"s}}), "XYZ", "58 59 5A"},
        {"first word only: its blank is removed", 0x1001, Structure(2048, {{549, "ABC "s}}), "ABC",
         "41 42 43"},
        {"RITEK keeps a second word", 0x1001, Structure(2048, {{549, "RITEK G05\0"s}}),
         "RITEK G05", "52 49 54 45 4B 20 47 30 35"},
        {"RITEK with the rest of the text", 0x1001,
         Structure(2048, {{549, "RITEK\rG05 x"s}, {597, "Z"s}}), "RITEK G05 Z",
         "52 49 54 45 4B 0D 47 30 35 5A"},
        {"nothing at all", 0x1001, Structure(2048, {}), "", ""},
        {"reply ends before the first word", 0x1001, Structure(100, {}), "", ""},
        {"reply ends inside the first word", 0x1010, Structure(552, {{549, "ABC"s}}), "ABC",
         "41 42 43"},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.code, c.data);
        EXPECT_EQ(p.identity, c.identity) << c.what;
        EXPECT_EQ(p.hex, c.hex) << c.what;
    }
}

TEST(MediaIdentifier, LongIdentifiersStopAtTheTextSizes) {
    Buffer d(2048, 0);
    std::memset(&d[549], 'A', 48);
    d[597] = ' ';
    std::memset(&d[598], 'B', 200);
    drive::DiscRecord r{};
    r.DiscType = 0x1001;
    drive::ParseDvdMediaId(r, d);
    EXPECT_EQ(std::string(r.IdentityText), std::string(47, 'A'));
    const std::string hex = r.SecondText;
    // 42 whole items of "41" with a blank between: the cut falls on an item.
    EXPECT_EQ(hex.size(), 42u * 3 - 1);
    EXPECT_EQ(hex.substr(hex.size() - 3), " 41");
}

TEST(MediaIdentifier, AnyReplyStaysWithinTheRecordsTexts) {
    // Replies of any length and content, biased to the bytes the walk stops at
    // and to the "RITEK " rule, on a record of its own on the heap so that a
    // write past it is caught; the fields around the texts must not change.
    std::mt19937 random(20061215);
    const uint8_t interesting[] = {0x00, 0x0D, ' ', 'R', 'I', 'T', 'E', 'K', 'A', 0xFF};
    const drive::DiscTypeCode codes[] = {0x1001, 0x1010, 0x1102, 0x1104, 0x110A, 0x1202,
                                         0x1204, 0x120A, 0x1301, 0x4202, 0x0802};
    for (int round = 0; round < 3000; ++round) {
        const size_t size = random() % 2100;
        Buffer d(size);
        for (uint8_t& b : d)
            b = random() % 3 == 0 ? static_cast<uint8_t>(random())
                                  : interesting[random() % std::size(interesting)];
        if (size > 560 && random() % 4 == 0) std::memcpy(&d[549], "RITEK ", 6);
        auto record = std::make_unique<drive::DiscRecord>();
        std::memset(record.get(), 0xA5, sizeof *record);
        record->DiscType = codes[random() % std::size(codes)];
        const drive::DiscRecord before = *record;
        drive::ParseDvdMediaId(*record, std::span<const uint8_t>(d.data(), d.size()));
        ASSERT_LT(strnlen(record->IdentityText, sizeof record->IdentityText),
                  sizeof record->IdentityText)
            << round;
        ASSERT_LT(strnlen(record->SecondText, sizeof record->SecondText), sizeof record->SecondText)
            << round;
        ASSERT_EQ(std::memcmp(record.get(), &before, offsetof(drive::DiscRecord, IdentityText)), 0)
            << round;
    }
}

// ---- the record against scripted replies ----------------------------------------

class DiscInfoTest : public ScriptedDriveTest {
protected:
    Buffer buffer = Buffer(65536, 0);

    // A GET CONFIGURATION header with the current profile.
    static Answer Profile(uint16_t profile) {
        return Good(Bytes(8, {{3, 4},
                              {6, static_cast<uint8_t>(profile >> 8)},
                              {7, static_cast<uint8_t>(profile)}}));
    }
    // READ DISC INFORMATION: status, last track in the last session.
    static Answer DiscInformation(uint8_t status, uint16_t lastTrack) {
        return Good(Bytes(34, {{1, 32},
                               {2, status},
                               {6, static_cast<uint8_t>(lastTrack)},
                               {11, static_cast<uint8_t>(lastTrack >> 8)}}));
    }
    static void Put32(Buffer& b, size_t at, uint32_t v) {
        b[at] = static_cast<uint8_t>(v >> 24);
        b[at + 1] = static_cast<uint8_t>(v >> 16);
        b[at + 2] = static_cast<uint8_t>(v >> 8);
        b[at + 3] = static_cast<uint8_t>(v);
    }
    static Answer Track(uint32_t start, uint32_t nwa, uint32_t free, uint32_t size) {
        Buffer b(36, 0);
        b[1] = 34;
        Put32(b, 8, start);
        Put32(b, 12, nwa);
        Put32(b, 16, free);
        Put32(b, 24, size);
        return Good(b);
    }
    static Answer FormatCapacities(std::vector<uint32_t> blocks) {
        Buffer b(4 + 8 * blocks.size(), 0);
        b[3] = static_cast<uint8_t>(8 * blocks.size());
        for (size_t i = 0; i < blocks.size(); ++i) Put32(b, 4 + 8 * i, blocks[i]);
        return Good(b);
    }
};

TEST_F(DiscInfoTest, AnIncompleteDiscReadsTheTrackBeforeTheLastFirst) {
    drive::DiscRecord r{};
    drv.Queue(0x51, DiscInformation(0x01, 3));
    drv.Queue(0x52, Track(0, 0, 0, 1000));
    drv.Queue(0x52, Track(1150, 1150, 358000, 358697));
    ASSERT_TRUE(drive::ReadCapacityInfo(0, buffer, r));
    const auto reads = drv.SentWith(0x52);
    ASSERT_EQ(reads.size(), 2u);
    EXPECT_EQ(reads[0].Cdb[5], 2);
    EXPECT_EQ(reads[1].Cdb[5], 3);
    EXPECT_EQ(r.LastTrack, 3);
    EXPECT_EQ(r.Capacity, 1150u + 358697u);
    EXPECT_EQ(r.NextWritableAddress, 1150u);
    EXPECT_EQ(r.FreeBlocks, 358000u);
}

TEST_F(DiscInfoTest, TrackReadFailures) {
    const Answer lastBlock = Good(Bytes(8, {{1, 0x05}, {2, 0x7D}, {3, 0x0F}, {6, 0x08}}));  // 57D0Fh
    struct Case {
        const char* what;
        uint8_t status;
        uint16_t last;
        std::vector<Answer> tracks;
        std::vector<Answer> capacityReads;  // READ CAPACITY, expected exactly so often
        bool result;
        uint32_t capacity;
    } cases[] = {
        {"the only read refused: the size from READ CAPACITY", 0x02, 1, {Check(5, 0x20, 0)}, {lastBlock},
         true, 0x57D10},
        {"the only read fails and READ CAPACITY too: size unknown", 0x02, 1, {Check(5, 0x24, 0)},
         {Check(5, 0x20, 0)}, true, 0},
        {"READ CAPACITY of a blank disc names no size", 0x00, 1, {Check(5, 0x24, 0)}, {Good(Bytes(8, {}))},
         true, 0},
        {"the first of two fails: the second's values", 0x01, 2,
         {Check(5, 0x24, 0), Track(100, 100, 50, 150)}, {}, true, 250},
        {"the second of two fails", 0x01, 2, {Track(0, 0, 0, 100), Check(5, 0x24, 0)}, {}, false, 100},
        {"an incomplete disc of one track reads it alone", 0x01, 1, {Track(0, 20, 80, 100)}, {}, true,
         100},
        // What did not come is not read as a size of 0.
        {"the only read came without the track size: the size from READ CAPACITY", 0x02, 1,
         {GoodButShort(24, Track(0, 0, 0, 1000).Data)}, {lastBlock}, true, 0x57D10},
        {"the second of two came without the track size", 0x01, 2,
         {Track(0, 0, 0, 100), GoodButShort(27, Track(100, 100, 50, 150).Data)}, {}, false, 100},
        {"READ CAPACITY came without its last block", 0x02, 1, {Check(5, 0x20, 0)},
         {GoodButShort(2, lastBlock.Data)}, true, 0},
    };
    for (const Case& c : cases) {
        drv.sent.clear();
        drive::DiscRecord r{};
        drv.Queue(0x51, DiscInformation(c.status, c.last));
        for (const Answer& a : c.tracks) drv.Queue(0x52, a);
        for (const Answer& a : c.capacityReads) drv.Queue(0x25, a);
        EXPECT_EQ(drive::ReadCapacityInfo(0, buffer, r), c.result) << c.what;
        EXPECT_EQ(r.Capacity, c.capacity) << c.what;
        EXPECT_EQ(drv.SentWith(0x52).size(), c.tracks.size()) << c.what;
        EXPECT_EQ(drv.SentWith(0x25).size(), c.capacityReads.size()) << c.what;
    }
}

TEST_F(DiscInfoTest, FormatCapacitiesAreReadOnlyWhereTheListReaches) {
    struct Case {
        const char* what;
        drive::DiscTypeCode code;
        uint8_t status;
        Answer list;
        uint32_t formattable, capacity;
    } cases[] = {
        {"blank DVD-R, one descriptor: capacity replaced", 0x1102, 0x00, FormatCapacities({2298496}),
         2298496, 2298496},
        {"blank DVD+RW, two descriptors: the first formattable one", 0x1204, 0x00,
         FormatCapacities({2295104, 2295000}), 2295000, 2295000},
        {"DVD-RAM in any status", 0x1010, 0x02, FormatCapacities({2236704, 2236704}), 2236704,
         2236704},
        {"finalized DVD-R keeps the track's capacity", 0x1102, 0x02, FormatCapacities({2298496}),
         2298496, 1000},
        // An empty list must not read the bytes an earlier reply left at
        // 12-15 (the track's next writable address) as a capacity.
        {"empty list on a blank disc: no formattable capacity", 0x1102, 0x00, FormatCapacities({}), 0,
         1000},
        {"list too short for a descriptor", 0x1010, 0x00, Good(Bytes(12, {{3, 7}, {7, 9}})), 0, 1000},
        {"DVD-ROM with one descriptor", 0x1001, 0x02, FormatCapacities({5}), 5, 1000},
        {"the list came without its descriptors", 0x1102, 0x00,
         GoodButShort(8, FormatCapacities({2298496, 5}).Data), 0, 1000},
    };
    for (const Case& c : cases) {
        drive::DiscRecord r{};
        r.DiscType = c.code;
        std::fill(buffer.begin(), buffer.end(), 0x33);
        drv.Queue(0x51, DiscInformation(c.status, 1));
        drv.Queue(0x52, Track(0, 0x00112233, 7, 1000));
        drv.Queue(0x23, c.list);
        ASSERT_TRUE(drive::ReadCapacityInfo(0, buffer, r)) << c.what;
        EXPECT_EQ(r.FormattableCapacity, c.formattable) << c.what;
        EXPECT_EQ(r.Capacity, c.capacity) << c.what;
    }
    drive::DiscRecord cd{};
    cd.DiscType = 0x0802;
    drv.sent.clear();
    drv.Queue(0x51, DiscInformation(0, 1));
    ASSERT_TRUE(drive::ReadCapacityInfo(0, buffer, cd));
    EXPECT_TRUE(drv.SentWith(0x23).empty()) << "CDs have no format capacities";

    // The list is optional for a drive that cannot format: its refusal fails
    // only a disc that may need formatting.
    struct Refused {
        const char* what;
        drive::DiscTypeCode code;
        uint8_t status;
        Answer answer;
        bool result;
    } refused[] = {
        {"DVD+RW", 0x1204, 0x02, Check(5, 0x20, 0), false},
        {"blank DVD-R", 0x1102, 0x00, Check(5, 0x20, 0), false},
        {"DVD-ROM", 0x1001, 0x02, Check(5, 0x20, 0), true},
        {"finalized DVD-R", 0x1102, 0x02, Check(5, 0x24, 0), true},
        {"DVD-ROM, but the drive is not ready", 0x1001, 0x02, Check(2, 0x3A, 0), false},
        {"DVD-ROM, the query not delivered", 0x1001, 0x02, ControlFails(), false},
    };
    for (const Refused& c : refused) {
        drive::DiscRecord dvd{};
        dvd.DiscType = c.code;
        dvd.FormattableCapacity = 77;
        drv.Queue(0x51, DiscInformation(c.status, 1));
        drv.Queue(0x52, Track(0, 0, 0, 1000));
        drv.Queue(0x23, c.answer);
        EXPECT_EQ(drive::ReadCapacityInfo(0, buffer, dvd), c.result) << c.what;
        if (c.result) {
            EXPECT_EQ(dvd.FormattableCapacity, 0u) << c.what;
            EXPECT_EQ(dvd.Capacity, 1000u) << c.what;
        }
    }
}

TEST_F(DiscInfoTest, GetDiscInfoRecordsWhyItFailed) {
    struct Case {
        const char* what;
        std::vector<std::pair<uint8_t, Answer>> answers;
        uint32_t error;
        uint16_t profile;
    } cases[] = {
        {"no medium twice", {{0x00, Check(2, 0x3A, 0)}, {0x00, Check(2, 0x3A, 1)}}, 0x023A01, 0},
        {"not ready once is tried again",
         {{0x00, Check(2, 4, 1)}, {0x46, Profile(0x10)}, {0x51, Check(3, 0x11, 0)}},
         0x031100, 0x10},
        {"readiness not delivered", {{0x00, ControlFails()}, {0x00, ControlFails()}}, 0xFF00FF, 0},
        {"DVD+RW DL is not handled: no error", {{0x46, Profile(0x2A)}}, 0, 0x2A},
        {"BD is not handled", {{0x46, Profile(0x41)}}, 0, 0x41},
        {"GET CONFIGURATION refused", {{0x46, Check(5, 0x20, 0)}}, 0, 0},
        {"not ready when the type is asked", {{0x46, Profile(0x10)}, {0x00, Good()},
                                              {0x00, Check(2, 4, 1)}}, 0, 0x10},
        {"disc information not delivered after a no-medium sense",
         {{0x00, Check(2, 0x3A, 0)}, {0x46, Profile(0x10)}, {0x51, ControlFails()}}, 0xFF00FF, 0x10},
        {"track read fails",
         {{0x46, Profile(0x09)}, {0x51, DiscInformation(1, 2)}, {0x51, DiscInformation(1, 2)},
          {0x52, Good()}, {0x52, Check(5, 0x24, 0)}},
         0x052400, 0x09},
        {"disc information came without the last track",
         {{0x46, Profile(0x10)}, {0x51, GoodButShort(8, DiscInformation(2, 1).Data)}}, 0xFF00FE, 0x10},
        {"disc information came without anything",
         {{0x46, Profile(0x10)}, {0x51, GoodButShort(0)}}, 0xFF00FE, 0x10},
    };
    for (const Case& c : cases) {
        ScriptedDrive scripted;
        platform::Services services;
        services.DeviceControl = &scripted;
        platform::Install(services);
        for (const auto& [opcode, answer] : c.answers) scripted.Queue(opcode, answer);
        drive::DiscRecord r;
        std::memset(&r, 0x77, sizeof r);
        EXPECT_FALSE(drive::GetDiscInfo(0, r)) << c.what;
        EXPECT_EQ(r.Valid, 0) << c.what;
        EXPECT_EQ(r.ErrorCode, c.error) << c.what;
        EXPECT_EQ(r.CurrentProfile, c.profile) << c.what;
        EXPECT_EQ(r.Capacity, 0u) << c.what << ": the record was cleared";
    }
}

TEST_F(DiscInfoTest, GetDiscInfoFillsEveryFieldOfAGoodDisc) {
    drv.Queue(0x46, Profile(0x1B));
    drv.Always(0x51, DiscInformation(0x01, 1));
    drv.Queue(0x52, Track(0, 48000, 2247104, 2295104));
    drv.Queue(0x23, FormatCapacities({2295104}));
    using namespace std::string_literals;
    Buffer structure(2052, 0);
    structure[0] = 0x08;
    structure[1] = 0x02;
    std::memcpy(&structure[4 + 19], "RITEK\0\0\0R05\x02", 12);
    drv.Queue(0xAD, Good(structure));
    drv.Queue(0xAD, Good(Bytes(8, {{1, 6}, {4, 0x02}})));
    drv.Queue(0xFF, Good(Bytes(4, {{1, 1}})));
    drive::DiscRecord r;
    ASSERT_TRUE(drive::GetDiscInfo(0, r));
    EXPECT_EQ(r.Valid, 1);
    EXPECT_EQ(r.DiscType, 0x1202);
    EXPECT_EQ(r.CurrentProfile, 0x1B);
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.FinishedReadable, 0);
    EXPECT_EQ(r.LastTrack, 1);
    EXPECT_EQ(r.Capacity, 2295104u);
    EXPECT_EQ(r.NextWritableAddress, 48000u);
    EXPECT_EQ(r.FreeBlocks, 2247104u);
    EXPECT_EQ(r.FormattableCapacity, 2295104u);
    EXPECT_STREQ(r.IdentityText, "RITEK R05(02)");
    EXPECT_STREQ(r.SecondText, "52 49 54 45 4B 00 00 00 52 30 35");
    EXPECT_EQ(r.WriteProtected, 1);
    EXPECT_EQ(r.VendorSupportFlag, 1);
    EXPECT_EQ(r.ErrorCode, 0u);
    const auto structures = drv.SentWith(0xAD);
    ASSERT_EQ(structures.size(), 2u);
    EXPECT_EQ(structures[0].Cdb[7], 0x00) << "physical format for the DVD+R family";
    EXPECT_EQ(structures[0].Length, 2052u);
}

TEST_F(DiscInfoTest, WriteProtectionAndAtipAreReadWithinTheirReplies) {
    struct Case {
        const char* what;
        Answer protection;
        uint8_t expected;
    } cases[] = {
        {"persistent protection", Good(Bytes(8, {{1, 6}, {4, 0x04}})), 1},
        {"only bit 0", Good(Bytes(8, {{1, 6}, {4, 0x01}})), 0},
        {"reply too short for byte 4", Good(Bytes(8, {{1, 2}, {4, 0x04}})), 0},
        {"refused", Check(5, 0x30, 2), 0},
    };
    for (const Case& c : cases) {
        drv.Queue(0x46, Profile(0x08));
        drv.Always(0x51, DiscInformation(0x02, 1));
        drv.Queue(0x43, Good(Bytes(16, {{1, 14}, {8, 97}, {9, 24}, {10, 1}, {12, 79}, {13, 59},
                                         {14, 74}})));
        drv.Queue(0xAD, c.protection);
        drive::DiscRecord r;
        ASSERT_TRUE(drive::GetDiscInfo(0, r)) << c.what;
        EXPECT_EQ(r.WriteProtected, c.expected) << c.what;
        EXPECT_STREQ(r.IdentityText, "97:24:01") << c.what;
        EXPECT_STREQ(r.SecondText, "79:59:74") << c.what;
        EXPECT_EQ(r.FinishedReadable, 1) << c.what;
    }
}

TEST_F(DiscInfoTest, AtipTimesAreShownOnlyWhenTheReplyIsAnAtipAndTheyCanBeTimes) {
    struct Case {
        const char* what;
        Buffer reply;
        const char* leadIn;
        const char* leadOut;
        uint32_t moved = 254;  // bytes of the reply that came
    } cases[] = {
        {"an ATIP", Bytes(28, {{1, 26}, {4, 0xD0}, {6, 0x80}, {8, 97}, {9, 24}, {10, 1}, {12, 79}, {13, 59},
                              {14, 74}}),
         "97:24:01", "79:59:74"},
        {"the lead-out time lies past the reply", Bytes(12, {{1, 10}, {8, 97}, {9, 24}, {10, 1}}), "97:24:01",
         ""},
        // An emulated drive answers format 4 with its table of contents: one
        // data track at 0 and the lead-out entry (track AAh).
        {"a table of contents instead", Bytes(20, {{1, 18}, {2, 1}, {3, 1}, {5, 0x14}, {6, 1}, {13, 0x16},
                                                   {14, 0xAA}, {18, 0x41}, {19, 0x20}}),
         "", ""},
        {"frame 75", Bytes(28, {{1, 26}, {8, 97}, {9, 24}, {10, 75}, {12, 79}, {13, 59}, {14, 74}}), "",
         "79:59:74"},
        {"second 60", Bytes(28, {{1, 26}, {8, 97}, {9, 24}, {10, 1}, {12, 79}, {13, 60}, {14, 0}}),
         "97:24:01", ""},
        {"minute 100", Bytes(28, {{1, 26}, {8, 100}, {9, 0}, {10, 0}, {12, 79}, {13, 59}, {14, 74}}), "",
         "79:59:74"},
        {"the lead-out time did not come", Bytes(28, {{1, 26}, {8, 97}, {9, 24}, {10, 1}, {12, 79}, {13, 59},
                                                      {14, 74}}),
         "97:24:01", "", 12},
    };
    for (const Case& c : cases) {
        drv.Queue(0x43, GoodButShort(c.moved, c.reply));
        drive::DiscRecord r{};
        std::memset(r.IdentityText, 'x', sizeof r.IdentityText - 1);
        std::memset(r.SecondText, 'x', sizeof r.SecondText - 1);
        EXPECT_EQ(drive::ReadAtipTimes(0, buffer, r), 1) << c.what;
        EXPECT_STREQ(r.IdentityText, c.leadIn) << c.what;
        EXPECT_STREQ(r.SecondText, c.leadOut) << c.what;
    }
}

}  // namespace
