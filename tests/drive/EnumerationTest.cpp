// Drive enumeration on both carriers against the simulated machine.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "drive/Enumeration.h"
#include "drive/Transport.h"
#include "simdrive/SimMachine.h"

namespace {

sim::DriveConfig Drive(const std::string& vendor, const std::string& product,
                       const std::string& revision, uint8_t byte0 = 0x05) {
    sim::DriveConfig c;
    c.Vendor = vendor;
    c.Product = product;
    c.Revision = revision;
    c.PeripheralByte = byte0;
    return c;
}

class EnumerationTest : public ::testing::Test {
protected:
    void SetUp() override {
        drive::ResetAspiLoader();
        std::memset(names, 0x7E, sizeof names);
    }
    int Find() {
        machine.Install();
        return drive::FindDrives(names);
    }
    std::string Name(int slot) const {
        return std::string(names[slot].Text, strnlen(names[slot].Text, sizeof names[slot].Text));
    }

    sim::SimMachine machine;
    drive::DriveNameSlot names[26];
};

TEST_F(EnumerationTest, NtLettersInAlphabeticalOrder) {
    machine.SetNtFamily();
    machine.AttachDriveAtLetter('g', Drive("VENDOR-G", "PRODUCT G", "2.00"));
    machine.AttachDriveAtLetter('e', Drive("VENDOR-E", "PRODUCT E", "1.00"));
    machine.SetLetterType('c', 3);
    ASSERT_EQ(Find(), 2);
    EXPECT_EQ(drive::SlotTable.TransportMode, 1);
    EXPECT_EQ(Name(0), "VENDOR-EPRODUCT E       1.00   ");
    EXPECT_EQ(Name(1), "VENDOR-GPRODUCT G       2.00   ");
    // Slot 0 reaches E:, slot 1 reaches G:.
    uint8_t reply[36] = {};
    const uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
    ASSERT_EQ(drive::SendDriveCommand(1, inquiry, 6, reply, 36, drive::Direction::In), 1);
    EXPECT_EQ(std::memcmp(reply + 8, "VENDOR-G", 8), 0);
}

TEST_F(EnumerationTest, NtLetterThatDoesNotOpenUsesNoSlot) {
    machine.SetNtFamily();
    machine.AttachDriveAtLetter('d', Drive("AAAAAAAA", "first", "1.00"));
    machine.AttachDriveAtLetter('e', Drive("BBBBBBBB", "second", "1.00"));
    machine.AttachDriveAtLetter('f', Drive("CCCCCCCC", "third", "1.00"));
    machine.SetLetterOpenFails('e', true);
    ASSERT_EQ(Find(), 2);
    EXPECT_EQ(Name(0).substr(0, 8), "AAAAAAAA");
    EXPECT_EQ(Name(1).substr(0, 8), "CCCCCCCC");
}

TEST_F(EnumerationTest, NtDriveWhoseInquiryFailsIsListedWithoutInheritingAName) {
    machine.SetNtFamily();
    machine.AttachDriveAtLetter('d', Drive("AAAAAAAA", "first", "1.00"));
    sim::SimDrive& second = machine.AttachDriveAtLetter('e', Drive("BBBBBBBB", "second", "1.00"));
    sim::Fault fault;
    fault.Opcode = 0x12;
    fault.SenseData = {0x02, 0x04, 0x01};
    second.AddFault(fault);
    ASSERT_EQ(Find(), 2);
    EXPECT_EQ(Name(0).substr(0, 8), "AAAAAAAA");
    EXPECT_EQ(Name(1), "");
}

TEST_F(EnumerationTest, NtWithoutOpticalDrivesFindsNone) {
    machine.SetNtFamily();
    machine.SetLetterType('c', 3);
    EXPECT_EQ(Find(), 0);
}

TEST_F(EnumerationTest, VersionQueryFailingTakesTheAspiPath) {
    machine.SetNtFamily();
    machine.PlainQueryFails = true;
    machine.AttachDriveAtLetter('d');
    EXPECT_EQ(Find(), drive::kAspiUnavailable);
    EXPECT_EQ(drive::SlotTable.TransportMode, 0);
}

TEST_F(EnumerationTest, AspiAdapterByAdapterThenTargetByTarget) {
    machine.Set9xFamily();
    machine.Aspi.Present = true;
    machine.Aspi.HostAdapters = 2;
    machine.AttachDriveAtAspi(1, 0, Drive("ADAPTER1", "target 0", "1.00"));
    machine.AttachDriveAtAspi(0, 3, Drive("ADAPTER0", "target 3", "1.00"));
    ASSERT_EQ(Find(), 2);
    EXPECT_EQ(drive::SlotTable.TransportMode, 0);
    EXPECT_EQ(drive::SlotTable.HostAdapterIds[0], 0);
    EXPECT_EQ(drive::SlotTable.TargetIds[0], 3);
    EXPECT_EQ(drive::SlotTable.HostAdapterIds[1], 1);
    EXPECT_EQ(drive::SlotTable.TargetIds[1], 0);
    EXPECT_EQ(Name(0).substr(0, 8), "ADAPTER0");
    EXPECT_EQ(Name(1).substr(0, 8), "ADAPTER1");
}

TEST_F(EnumerationTest, AspiKeepsOnlyPeripheralByteFiveExactly) {
    machine.Set9xFamily();
    machine.Aspi.Present = true;
    machine.AttachDriveAtAspi(0, 0, Drive("QUALIF-1", "x", "1.00", 0x25));
    machine.AttachDriveAtAspi(0, 1, Drive("DISKDRIV", "x", "1.00", 0x00));
    machine.AttachDriveAtAspi(0, 2, Drive("OPTICAL ", "x", "1.00", 0x05));
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(drive::SlotTable.TargetIds[0], 2);
    EXPECT_EQ(Name(0).substr(0, 8), "OPTICAL ");
}

TEST_F(EnumerationTest, AspiStopsAtTheTableSize) {
    machine.Set9xFamily();
    machine.Aspi.Present = true;
    machine.Aspi.HostAdapters = 4;
    for (uint8_t a = 0; a < 4; ++a)
        for (uint8_t t = 0; t < 8; ++t) machine.AttachDriveAtAspi(a, t);
    EXPECT_EQ(Find(), drive::kSlotCount);
    EXPECT_EQ(drive::SlotTable.HostAdapterIds[25], 3);
    EXPECT_EQ(drive::SlotTable.TargetIds[25], 1);
}

TEST_F(EnumerationTest, WithoutTheAspiLibraryEnumerationReportsUnavailable) {
    machine.Set9xFamily();
    machine.AttachDriveAtAspi(0, 0);
    EXPECT_EQ(Find(), drive::kAspiUnavailable);
}

TEST_F(EnumerationTest, NameEndsAtAnEmbeddedNul) {
    machine.SetNtFamily();
    sim::SimDrive& d = machine.AttachDriveAtLetter('d', Drive("ABC", "PRODUCT", "1.00"));
    d.MutableConfig().Vendor = std::string("ABC\0DEFG", 8);
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(Name(0), "ABC");
}

}  // namespace
