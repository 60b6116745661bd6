// The two request images that cross to the platform, field by field, for the
// pointer size of this build.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "drive/Transport.h"

namespace {

constexpr bool k32 = sizeof(void*) == 4;

template <typename T>
T ReadAt(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(base) + offset, sizeof value);
    return value;
}

const uint8_t kCdb[12] = {0xFF, 0x00, 0x01, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00, 0xF0, 0x00, 0x00};

TEST(AspiRequestImage, EveryFieldAtItsOffset) {
    uint8_t data[64];
    drive::AspiRequestBlock block;
    std::memset(&block, 0xCC, sizeof block);  // the area must be cleared first
    drive::BuildAspiRequest(block, 3, 5, kCdb, 12, data, 4096, drive::Direction::Out);
    const uint8_t* a = block.Area;

    EXPECT_EQ(a[0], 0x02);        // SRB_Cmd
    EXPECT_EQ(a[1], 0x00);        // SRB_Status
    EXPECT_EQ(a[2], 3);           // SRB_HaId
    EXPECT_EQ(a[3], 0x10);        // SRB_Flags: data out
    EXPECT_EQ(ReadAt<uint32_t>(a, 4), 0u);  // SRB_Hdr_Rsvd
    EXPECT_EQ(a[8], 5);           // SRB_Target
    EXPECT_EQ(a[9], 0);           // SRB_Lun
    EXPECT_EQ(ReadAt<uint16_t>(a, 10), 0u);
    EXPECT_EQ(ReadAt<uint32_t>(a, 12), 4096u);  // SRB_BufLen
    EXPECT_EQ(ReadAt<uint8_t*>(a, 16), data);   // SRB_BufPointer

    const size_t senseLen = k32 ? 20 : 24;
    EXPECT_EQ(offsetof(platform::AspiExecScsiCmd, SRB_SenseLen), senseLen);
    EXPECT_EQ(a[senseLen], 14);        // SRB_SenseLen
    EXPECT_EQ(a[senseLen + 1], 12);    // SRB_CDBLen
    EXPECT_EQ(a[senseLen + 2], 0);     // SRB_HaStat
    EXPECT_EQ(a[senseLen + 3], 0);     // SRB_TargStat

    const size_t postProc = k32 ? 24 : 32;
    EXPECT_EQ(offsetof(platform::AspiExecScsiCmd, SRB_PostProc), postProc);
    EXPECT_EQ(ReadAt<void*>(a, postProc), nullptr);

    const size_t cdb = k32 ? 48 : 60;
    const size_t sense = k32 ? 64 : 76;
    EXPECT_EQ(offsetof(platform::AspiExecScsiCmd, CDBByte), cdb);
    EXPECT_EQ(offsetof(platform::AspiExecScsiCmd, SenseArea), sense);
    EXPECT_EQ(std::memcmp(a + cdb, kCdb, 12), 0);
    for (size_t i = postProc + sizeof(void*); i < cdb; ++i) EXPECT_EQ(a[i], 0) << "reserved " << i;
    for (size_t i = cdb + 12; i < 256; ++i) EXPECT_EQ(a[i], 0) << "byte " << i;
}

TEST(AspiRequestImage, DirectionZeroIsDataInEvenWithoutData) {
    uint8_t data[14];
    drive::AspiRequestBlock block;
    drive::BuildAspiRequest(block, 0, 0, kCdb, 6, data, 0, drive::Direction::In);
    EXPECT_EQ(block.Area[3], 0x08);
    drive::BuildAspiRequest(block, 0, 0, kCdb, 6, data, 0, static_cast<drive::Direction>(7));
    EXPECT_EQ(block.Area[3], 0x10);
}

TEST(PassThroughImage, EveryFieldAtItsOffset) {
    uint8_t data[64];
    drive::PassThroughRecord record;
    std::memset(&record, 0xAA, sizeof record);
    drive::BuildPassThroughRecord(record, kCdb, 10, data, 2048, drive::Direction::In, 60);
    const uint8_t* r = reinterpret_cast<const uint8_t*>(&record);

    const size_t requestSize = k32 ? 44 : 56;
    EXPECT_EQ(sizeof(platform::ScsiPassThroughDirect), requestSize);
    EXPECT_EQ(ReadAt<uint16_t>(r, 0), requestSize);  // Length
    EXPECT_EQ(r[2], 0xAA);                           // ScsiStatus: not set on the way in
    EXPECT_EQ(r[3], 0);                              // PathId
    EXPECT_EQ(r[4], 1);                              // TargetId
    EXPECT_EQ(r[5], 0);                              // Lun
    EXPECT_EQ(r[6], 10);                             // CdbLength
    EXPECT_EQ(r[7], 24);                             // SenseInfoLength
    EXPECT_EQ(r[8], 1);                              // DataIn
    EXPECT_EQ(ReadAt<uint32_t>(r, 12), 2048u);       // DataTransferLength
    EXPECT_EQ(ReadAt<uint32_t>(r, 16), 60u);         // TimeOutValue

    const size_t buffer = k32 ? 20 : 24;
    const size_t senseOffsetField = k32 ? 24 : 32;
    const size_t cdb = k32 ? 28 : 36;
    const size_t sense = k32 ? 48 : 60;
    EXPECT_EQ(ReadAt<uint8_t*>(r, buffer), data);
    EXPECT_EQ(ReadAt<uint32_t>(r, senseOffsetField), sense);
    EXPECT_EQ(offsetof(drive::PassThroughRecord, SenseArea), sense);
    EXPECT_EQ(std::memcmp(r + cdb, kCdb, 10), 0);
    // The command bytes past the block, the filler and the sense area carry
    // what was there before.
    EXPECT_EQ(r[cdb + 10], 0xAA);
    EXPECT_EQ(r[cdb + 15], 0xAA);
    EXPECT_EQ(ReadAt<uint32_t>(r, offsetof(drive::PassThroughRecord, Filler)), 0xAAAAAAAAu);
    EXPECT_EQ(r[sense], 0xAA);
    EXPECT_EQ(r[sense + 31], 0xAA);
}

TEST(PassThroughImage, DataDirection) {
    struct Case {
        drive::Direction direction;
        uint32_t length;
        uint8_t dataIn;
    } cases[] = {{drive::Direction::In, 0, 1},
                 {drive::Direction::In, 36, 1},
                 {drive::Direction::Out, 0, 0},
                 {drive::Direction::Out, 1024, 0},
                 {static_cast<drive::Direction>(0xFF), 8, 0}};
    uint8_t data[14];
    for (const Case& c : cases) {
        drive::PassThroughRecord record;
        drive::BuildPassThroughRecord(record, kCdb, 6, data, c.length, c.direction, 200);
        EXPECT_EQ(record.Request.DataIn, c.dataIn) << int(c.direction) << "/" << c.length;
    }
}

}  // namespace
