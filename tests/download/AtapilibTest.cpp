// The download program's drive commands against the simulated drive, on both
// carriers: the command blocks as sent, the reply layouts, and enumeration.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "download/Atapilib.h"
#include "download/Fwlib.h"
#include "drive/Transport.h"
#include "simdrive/SimMachine.h"
#include "support/Carriers.h"

namespace {

using testsupport::Carrier;

sim::DriveConfig Config(const std::string& vendor, uint8_t byte0 = 0x05) {
    sim::DriveConfig c;
    c.Vendor = vendor;
    c.PeripheralByte = byte0;
    return c;
}

void FailOpcode(sim::SimDrive& drive, uint8_t opcode) {
    sim::Fault fault;
    fault.Opcode = opcode;
    fault.SenseData = {0x02, 0x04, 0x01};
    drive.AddFault(fault);
}

// ---------------------------------------------------------------------------
// One drive at slot 0 on either carrier.

class VendorCommandTest : public ::testing::TestWithParam<Carrier> {
protected:
    void SetUp() override {
        drive::Settings = drive::TransportSettings{};
        sim::DriveConfig config;
        config.Vendor = "PLEXTRON";
        config.Product = "DVDR PX-9000A";
        config.Revision = "1.02";
        config.Code = "PXA";
        config.FcCode[0] = 0xAB;
        config.FcCode[1] = 0xCD;
        drv = &testsupport::AttachOnCarrier(machine, GetParam(), config, 'e', 2);
        ASSERT_EQ(AtapiLib.FindDrives(), 1);
        drv->ClearLog();
    }

    sim::LoggedCommand Last() const { return drv->LogSnapshot().back(); }

    sim::SimMachine machine;
    sim::SimDrive* drv = nullptr;
};

struct BlockCase {
    const char* what;
    std::function<uint8_t()> send;
    std::vector<uint8_t> cdb;
    sim::DataDirection direction;
    uint32_t dataLength;
};

TEST_P(VendorCommandTest, CommandBlocksAreSentAsTabled) {
    static uint8_t buffer[65536];
    static uint8_t reply[8];
    const BlockCase cases[] = {
        {"INQUIRY", [] { return AtapiLib.Inquiry(0, buffer, 96); },
         {0x12, 0, 0, 0, 0x60, 0, 0, 0, 0, 0, 0, 0}, sim::DataDirection::In, 96},
        {"START STOP UNIT, eject", [] { return AtapiLib.StartStopUnit(0, 2); },
         {0x1B, 0, 0, 0, 0x02, 0}, sim::DataDirection::In, 0},
        {"FC-code command", [] { return AtapiLib.SendFlashCommand(0); },
         {0xFF, 0x02, 0xFC, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA}, sim::DataDirection::In, 0},
        {"chunk write, first", [] { return AtapiLib.WriteFirmwareBlock(0, buffer, 2048, 0x00, 0x00); },
         {0xFF, 0x00, 0x01, 0, 0, 0x00, 0, 0, 0, 0x00, 0, 0}, sim::DataDirection::Out, 2048},
        {"chunk write, boot", [] { return AtapiLib.WriteFirmwareBlock(0, buffer, 1024, 0x01, 0xF0); },
         {0xFF, 0x00, 0x01, 0, 0, 0x01, 0, 0, 0, 0xF0, 0, 0}, sim::DataDirection::Out, 1024},
        {"chunk write, longest", [] { return AtapiLib.WriteFirmwareBlock(0, buffer, 0xFC00, 0xFF, 0x00); },
         {0xFF, 0x00, 0x01, 0, 0, 0xFF, 0, 0, 0, 0x00, 0, 0}, sim::DataDirection::Out, 0xFC00},
        {"checksums", [] { return AtapiLib.ReadChecksums(0, reply); },
         {0xFF, 0x00, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA}, sim::DataDirection::In, 8},
        {"set download mode", [] { return AtapiLib.SetDownloadMode(0, 1, reply); },
         {0xFF, 0x00, 0x04, 0, 0, 0x01, 0, 0, 0, 0, 0, 0xAA}, sim::DataDirection::In, 8},
        {"boot-rewrite option off", [] { return FwLib.ApplyBootRewriteOption(0, OptNoCheck); },
         {0xFF, 0x00, 0x04, 0, 0, 0x00, 0, 0, 0, 0, 0, 0xAA}, sim::DataDirection::In, 8},
        {"boot-rewrite option on", [] { return FwLib.ApplyBootRewriteOption(0, OptBootRewrite); },
         {0xFF, 0x00, 0x04, 0, 0, 0x01, 0, 0, 0, 0, 0, 0xAA}, sim::DataDirection::In, 8},
        {"get download mode", [] { return AtapiLib.GetDownloadMode(0, reply); },
         {0xFF, 0x00, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA}, sim::DataDirection::In, 8},
        {"drive code", [] { return AtapiLib.ReadDriveCode(0, reply); },
         {0xFF, 0x00, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA}, sim::DataDirection::In, 8},
        {"TEST UNIT READY", [] { return FwLib.CheckDiscLoaded(0, StateOk) == StateOk ? 1 : 0; },
         {0x00, 0, 0, 0, 0, 0}, sim::DataDirection::In, 0},
    };
    for (const BlockCase& c : cases) {
        drv->ClearLog();
        c.send();
        ASSERT_FALSE(drv->LogSnapshot().empty()) << c.what;
        const sim::LoggedCommand sent = drv->LogSnapshot().front();
        EXPECT_EQ(sent.Cdb, c.cdb) << c.what;
        EXPECT_EQ(sent.CdbLength, c.cdb.size()) << c.what;
        EXPECT_EQ(sent.Direction, c.direction) << c.what;
        EXPECT_EQ(sent.DataLength, c.dataLength) << c.what;
    }
}

TEST_P(VendorCommandTest, InquiryCarriesIdentityCodeAndFcCode) {
    uint8_t reply[512] = {};
    ASSERT_EQ(AtapiLib.Inquiry(0, reply, 96), 1);
    EXPECT_EQ(reply[0], 0x05);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 8), 24), "PLEXTRONDVDR PX-9000A   ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 32), 4), "1.02");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 36), 3), "PXA");
    EXPECT_EQ(reply[54], 0xAB);
    EXPECT_EQ(reply[55], 0xCD);
}

TEST_P(VendorCommandTest, DriveCodeQueryAnsweredOrRefused) {
    uint8_t reply[8] = {};
    ASSERT_EQ(AtapiLib.ReadDriveCode(0, reply), 1);
    EXPECT_TRUE(DriveCodeQueryAnswered(reply));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 4), 3), "PXA");

    drv->MutableConfig().AnswersDriveCodeQuery = false;
    std::memset(reply, 0, sizeof reply);
    EXPECT_EQ(AtapiLib.ReadDriveCode(0, reply), 4);
    EXPECT_FALSE(DriveCodeQueryAnswered(reply));
    EXPECT_EQ(reply[2], 0x05);  // ILLEGAL REQUEST
}

// The vendor queries answer 8 bytes; a check condition's sense bytes 12 and
// 13 must not land past them.
TEST_P(VendorCommandTest, RefusedQueryWritesNothingPastItsEightBytes) {
    using Query = std::function<uint8_t(uint8_t*)>;
    const Query queries[] = {
        [](uint8_t* r) { return AtapiLib.ReadChecksums(0, r); },
        [](uint8_t* r) { return AtapiLib.SetDownloadMode(0, 1, r); },
        [](uint8_t* r) { return AtapiLib.GetDownloadMode(0, r); },
        [](uint8_t* r) { return AtapiLib.ReadDriveCode(0, r); },
    };
    FailOpcode(*drv, 0xFF);
    for (const Query& query : queries) {
        uint8_t area[16];
        std::memset(area, 0xEE, sizeof area);
        EXPECT_EQ(query(area), 4);
        EXPECT_EQ(area[2], 0x02);  // the sense key is within the reply
        for (int i = 8; i < 16; ++i) EXPECT_EQ(area[i], 0xEE) << "byte " << i;
    }
}

TEST_P(VendorCommandTest, DownloadModeKeepsTheBootRewriteFlag) {
    uint8_t reply[8] = {};
    ASSERT_EQ(FwLib.ApplyBootRewriteOption(0, OptBootRewrite | OptNoCheck), 1);
    ASSERT_EQ(AtapiLib.GetDownloadMode(0, reply), 1);
    EXPECT_TRUE(BootRewriteIsOn(reply));
    ASSERT_EQ(AtapiLib.SetDownloadMode(0, 0, reply), 1);
    ASSERT_EQ(AtapiLib.GetDownloadMode(0, reply), 1);
    EXPECT_FALSE(BootRewriteIsOn(reply));
}

TEST_P(VendorCommandTest, ChecksumsAreBigEndian) {
    uint8_t reply[8] = {};
    ASSERT_EQ(AtapiLib.ReadChecksums(0, reply), 1);
    const auto& fw = drv->FirmwareState();
    EXPECT_EQ((reply[0] << 8) | reply[1], fw.ProgramChecksum);
    EXPECT_EQ((reply[2] << 8) | reply[3], fw.BootChecksum);
    EXPECT_EQ((reply[4] << 8) | reply[5], fw.ParameterChecksum);
}

TEST_P(VendorCommandTest, FlashCommandTakenOrRefused) {
    EXPECT_EQ(AtapiLib.SendFlashCommand(0), 1);
    EXPECT_TRUE(drv->FirmwareState().FlashMode);
    drv->MutableConfig().RefusesFlashCommand = true;
    EXPECT_EQ(AtapiLib.SendFlashCommand(0), 4);
}

TEST_P(VendorCommandTest, EjectOpensTheTray) {
    EXPECT_EQ(AtapiLib.StartStopUnit(0, 2), 1);
    EXPECT_TRUE(drv->TrayOpen());
}

TEST_P(VendorCommandTest, DownloadProgramTimeOutReachesTheDrive) {
    EXPECT_EQ(drive::Settings.PassThroughTimeoutSeconds, 60u);
    EXPECT_EQ(drive::Settings.AspiWaitBoundMs, 60000u);
    uint8_t reply[8] = {};
    AtapiLib.GetDownloadMode(0, reply);
    if (GetParam() == Carrier::PassThrough) {
        EXPECT_EQ(Last().TimeoutSeconds, 60u);
    }
}

TEST_P(VendorCommandTest, StatusIsPassedOnUnchanged) {
    sim::Fault fault;
    fault.Opcode = 0xFF;
    fault.TransportFailure = true;
    drv->AddFault(fault);
    uint8_t reply[8] = {};
    const uint8_t expected = GetParam() == Carrier::PassThrough ? 0xFF : fault.AspiStatus;
    EXPECT_EQ(AtapiLib.GetDownloadMode(0, reply), expected);
    EXPECT_EQ(AtapiLib.SendFlashCommand(0), expected);
}

INSTANTIATE_TEST_SUITE_P(BothCarriers, VendorCommandTest,
                         ::testing::Values(Carrier::PassThrough, Carrier::Aspi),
                         [](const auto& info) { return std::string(testsupport::CarrierName(info.param)); });

// ---------------------------------------------------------------------------
// Enumeration.

// Counts the device handles opened and closed on the installed machine.
class CountingDeviceOpen : public platform::IDeviceOpen {
public:
    explicit CountingDeviceOpen(platform::IDeviceOpen& inner) : inner_(inner) {}
    platform::Handle CreateFile(const char* path, uint32_t access, uint32_t share,
                                uint32_t disposition, uint32_t flags) override {
        const platform::Handle h = inner_.CreateFile(path, access, share, disposition, flags);
        if (h != platform::kInvalidHandle) opened[path] = h;
        return h;
    }
    bool CloseHandle(platform::Handle handle) override {
        closed.insert(handle);
        return inner_.CloseHandle(handle);
    }
    std::map<std::string, platform::Handle> opened;
    std::set<platform::Handle> closed;

private:
    platform::IDeviceOpen& inner_;
};

class FindDrivesTest : public ::testing::Test {
protected:
    void SetUp() override { drive::ResetAspiLoader(); }
    uint8_t Find() {
        machine.Install();
        return AtapiLib.FindDrives();
    }
    // The vendor field of the drive that a slot reaches.
    std::string VendorAt(uint8_t slot) {
        uint8_t reply[512] = {};
        if (AtapiLib.Inquiry(slot, reply, 96) != 1) return "(failed)";
        return std::string(reinterpret_cast<char*>(reply + 8), 8);
    }

    sim::SimMachine machine;
};

TEST_F(FindDrivesTest, NtKeepsOnlyLettersAnsweringAsOpticalDrives) {
    machine.SetNtFamily();
    machine.AttachDriveAtLetter('d', Config("FIRST   "));
    FailOpcode(machine.AttachDriveAtLetter('e', Config("SECOND  ")), 0x12);
    machine.AttachDriveAtLetter('f', Config("THIRD   "));
    machine.AttachDriveAtLetter('g', Config("DISK    ", 0x00));
    machine.AttachDriveAtLetter('h', Config("QUALIF1 ", 0x25));
    machine.AttachDriveAtLetter('k', Config("FOURTH  "));
    machine.SetLetterType('c', 3);
    ASSERT_EQ(Find(), 3);
    EXPECT_EQ(drive::SlotTable.TransportMode, 1);
    EXPECT_EQ(VendorAt(0), "FIRST   ");
    EXPECT_EQ(VendorAt(1), "THIRD   ");
    EXPECT_EQ(VendorAt(2), "FOURTH  ");
}

TEST_F(FindDrivesTest, NtClosesTheHandlesOfLettersNotKept) {
    machine.SetNtFamily();
    machine.AttachDriveAtLetter('d', Config("FIRST   "));
    FailOpcode(machine.AttachDriveAtLetter('e', Config("SECOND  ")), 0x12);
    machine.AttachDriveAtLetter('f', Config("DISK    ", 0x00));
    machine.AttachDriveAtLetter('g', Config("THIRD   "));
    machine.Install();
    CountingDeviceOpen counting(*machine.Services().DeviceOpen);
    platform::Services overlay;
    overlay.DeviceOpen = &counting;
    platform::Install(overlay);

    ASSERT_EQ(AtapiLib.FindDrives(), 2);
    ASSERT_EQ(counting.opened.size(), 4u);
    EXPECT_EQ(counting.closed, (std::set<platform::Handle>{counting.opened["\\\\.\\e:"],
                                                           counting.opened["\\\\.\\f:"]}));
    EXPECT_EQ(drive::SlotTable.DeviceHandles[0], counting.opened["\\\\.\\d:"]);
    EXPECT_EQ(drive::SlotTable.DeviceHandles[1], counting.opened["\\\\.\\g:"]);
    EXPECT_EQ(drive::SlotTable.DeviceHandles[2], 0);  // no closed handle left behind
}

TEST_F(FindDrivesTest, NtLetterThatDoesNotOpenIsSkipped) {
    machine.SetNtFamily();
    machine.AttachDriveAtLetter('d', Config("FIRST   "));
    machine.AttachDriveAtLetter('e', Config("SECOND  "));
    machine.SetLetterOpenFails('d', true);
    ASSERT_EQ(Find(), 1);
    EXPECT_EQ(VendorAt(0), "SECOND  ");
}

TEST_F(FindDrivesTest, NtEnumerationInquiryGoesWithTheSixtySecondTimeOut) {
    machine.SetNtFamily();
    drive::Settings = drive::TransportSettings{};
    sim::SimDrive& d = machine.AttachDriveAtLetter('d');
    ASSERT_EQ(Find(), 1);
    ASSERT_EQ(d.LogSnapshot().size(), 1u);
    const sim::LoggedCommand inquiry = d.LogSnapshot()[0];
    EXPECT_EQ(inquiry.Cdb, (std::vector<uint8_t>{0x12, 0, 0, 0, 0x24, 0}));
    EXPECT_EQ(inquiry.DataLength, 36u);
    EXPECT_EQ(inquiry.TimeoutSeconds, 60u);
}

TEST_F(FindDrivesTest, NoDriveGivesZero) {
    const struct {
        const char* what;
        std::function<void(sim::SimMachine&)> build;
    } cases[] = {
        {"NT without CD letters", [](sim::SimMachine& m) { m.SetNtFamily(); m.SetLetterType('c', 3); }},
        {"9x without the ASPI library", [](sim::SimMachine& m) { m.Set9xFamily(); m.AttachDriveAtAspi(0, 0); }},
        {"9x, ASPI without adapters", [](sim::SimMachine& m) {
             m.Set9xFamily();
             m.Aspi.Present = true;
             m.Aspi.SupportWord = 0x0100;
             m.AttachDriveAtAspi(0, 0);
         }},
    };
    for (const auto& c : cases) {
        drive::ResetAspiLoader();
        sim::SimMachine m;
        c.build(m);
        m.Install();
        EXPECT_EQ(AtapiLib.FindDrives(), 0) << c.what;
    }
}

TEST_F(FindDrivesTest, AspiKeepsOpticalDrivesAdapterByAdapter) {
    machine.Set9xFamily();
    machine.Aspi.Present = true;
    machine.Aspi.HostAdapters = 2;
    machine.AttachDriveAtAspi(1, 0, Config("ADAPTER1"));
    machine.AttachDriveAtAspi(0, 3, Config("ADAPTER0"));
    machine.AttachDriveAtAspi(0, 5, Config("QUALIF1 ", 0x25));
    ASSERT_EQ(Find(), 2);
    EXPECT_EQ(drive::SlotTable.TransportMode, 0);
    EXPECT_EQ(drive::SlotTable.HostAdapterIds[0], 0);
    EXPECT_EQ(drive::SlotTable.TargetIds[0], 3);
    EXPECT_EQ(drive::SlotTable.HostAdapterIds[1], 1);
    EXPECT_EQ(drive::SlotTable.TargetIds[1], 0);
    EXPECT_EQ(VendorAt(1), "ADAPTER1");
}

TEST_F(FindDrivesTest, AspiStopsAtEightSlots) {
    machine.Set9xFamily();
    machine.Aspi.Present = true;
    machine.Aspi.HostAdapters = 2;
    for (uint8_t a = 0; a < 2; ++a)
        for (uint8_t t = 0; t < 8; ++t) machine.AttachDriveAtAspi(a, t, Config("A" + std::to_string(a) + "T" + std::to_string(t) + "    "));
    // Two drives on adapter 0 do not answer as optical drives, so the eighth
    // slot is filled on adapter 1.
    machine.DriveAtAspi(0, 1)->MutableConfig().PeripheralByte = 0x00;
    FailOpcode(*machine.DriveAtAspi(0, 6), 0x12);
    ASSERT_EQ(Find(), 8);
    EXPECT_EQ(drive::SlotTable.HostAdapterIds[7], 1);
    EXPECT_EQ(drive::SlotTable.TargetIds[7], 1);
    EXPECT_EQ(drive::SlotTable.HostAdapterIds[8], 0);
    EXPECT_EQ(drive::SlotTable.TargetIds[8], 0);
    // Nothing is asked once the tables are full.
    EXPECT_TRUE(machine.DriveAtAspi(1, 2)->LogSnapshot().empty());
    EXPECT_EQ(VendorAt(7), "A1T1    ");
}

}  // namespace
