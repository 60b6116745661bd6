// The machine description file and the drives' state file.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "MachineTestSupport.h"
#include "platform/Host.h"
#include "platform/Win.h"
#include "simdrive/FirmwareImage.h"
#include "simdrive/SimMachineFile.h"

namespace {

using namespace simtest;

class MachineFile : public testing::Test {
protected:
    std::unique_ptr<sim::SimMachine> Load(const std::string& text) {
        const std::string path = dir_.Write("machine.txt", text);
        error_.clear();
        return sim::LoadSimMachine(path, error_);
    }

    TempDir dir_;
    std::string error_;
};

TEST_F(MachineFile, FullDescription) {
    auto m = Load(R"(# a Windows 98 machine with two drives behind ASPI
platform 9x            # the 95 family
version 4 10 2222 " A " product 0 suite 0x0002
language 0x412
admin no
restart refuse
process 1234 directcd.exe
process 99 "HP Advisor.exe" locked
aspi present no-info support 0x0103 adapters 2
letter c: type 3
letter e: type 5 open-fails
drive d: vendor "SIMDRIVE" product "DVD-RW SD-1000" revision "1.00" code "SDA" fc 0x12 0x34 byte0 0x05 disc
drive aspi 1 3 vendor "OTHER" product "CD-ROM X" revision "2.00" nodrivecode refuseflash byte0 0x25 becoming-ready 1500
registry "SYSTEM\CurrentControlSet\Control\ProductOptions" "ProductType" "WINNT"
commandline "C:\PELMORA\Pelmora.exe \"C:\FW\NEW FW.BIN\""
ui interactive
clock real
)");
    ASSERT_TRUE(m) << error_;
    const platform::OsVersionInfo& v = m->VersionRecord();
    EXPECT_EQ(v.PlatformId, platform::VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(v.MajorVersion, 4u);
    EXPECT_EQ(v.MinorVersion, 10u);
    EXPECT_EQ(v.BuildNumber & 0xFFFF, 2222u);
    EXPECT_STREQ(v.CSDVersion, " A ");
    EXPECT_EQ(v.SuiteMask, 2);
    EXPECT_EQ(m->LanguageId, 0x412);
    EXPECT_FALSE(m->Administrator);
    EXPECT_FALSE(m->RestartAccepted);
    ASSERT_EQ(m->Processes.size(), 2u);
    EXPECT_EQ(m->Processes[0].ProcessId, 1234u);
    EXPECT_EQ(m->Processes[0].ExeFile, "directcd.exe");
    EXPECT_TRUE(m->Processes[0].CanOpen);
    EXPECT_EQ(m->Processes[1].ExeFile, "HP Advisor.exe");
    EXPECT_FALSE(m->Processes[1].CanOpen);
    EXPECT_TRUE(m->Aspi.Present);
    EXPECT_TRUE(m->Aspi.HasSendEntry);
    EXPECT_FALSE(m->Aspi.HasSupportEntry);
    EXPECT_EQ(m->Aspi.SupportWord, 0x0103u);
    EXPECT_EQ(m->Aspi.HostAdapters, 2);
    EXPECT_EQ(m->Registry["SYSTEM\\CurrentControlSet\\Control\\ProductOptions"]["ProductType"],
              std::string("WINNT\0", 6));
    EXPECT_EQ(m->CommandLine, "C:\\PELMORA\\Pelmora.exe \"C:\\FW\\NEW FW.BIN\"");
    EXPECT_FALSE(m->UiAuto);
    EXPECT_TRUE(m->RealClock);

    sim::SimDrive* d = m->DriveAtLetter('d');
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Config().Vendor, "SIMDRIVE");
    EXPECT_EQ(d->Config().Product, "DVD-RW SD-1000");
    EXPECT_EQ(d->Config().Revision, "1.00");
    EXPECT_EQ(d->Config().Code, "SDA");
    EXPECT_EQ(d->Config().FcCode[0], 0x12);
    EXPECT_EQ(d->Config().FcCode[1], 0x34);
    EXPECT_TRUE(d->Config().DiscLoaded);
    EXPECT_TRUE(d->Config().AnswersDriveCodeQuery);
    sim::SimDrive* a = m->DriveAtAspi(1, 3);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Config().Vendor, "OTHER");
    EXPECT_EQ(a->Config().PeripheralByte, 0x25);
    EXPECT_FALSE(a->Config().AnswersDriveCodeQuery);
    EXPECT_TRUE(a->Config().RefusesFlashCommand);
    EXPECT_EQ(a->Config().BecomingReadyMs, 1500u);
    EXPECT_EQ(m->Drives().size(), 2u);

    m->Install();
    EXPECT_EQ(win::GetDriveTypeA("c:"), 3u);
    EXPECT_EQ(win::GetDriveTypeA("d:"), platform::DRIVE_CDROM);
    EXPECT_EQ(win::GetDriveTypeA("e:"), platform::DRIVE_CDROM);
    EXPECT_EQ(win::CreateFileA("\\\\.\\e:", 0, 0, 0, 0), platform::kInvalidHandle);
}

// The clock follows the ui setting unless the description names one.
TEST_F(MachineFile, ClockDefaultsToRealForAPersonAtTheWindows) {
    const struct {
        const char* text;
        bool realClock;
    } cases[] = {
        {"ui auto\n", false},
        {"ui interactive\n", true},
        {"ui interactive\nclock virtual\n", false},
        {"ui auto\nclock real\n", true},
    };
    for (const auto& c : cases) {
        auto m = Load(c.text);
        ASSERT_TRUE(m) << error_;
        EXPECT_EQ(m->RealClock, c.realClock) << c.text;
    }
}

// A script is followed headless: answered at once, on the virtual clock.  A
// relative path is found beside the description.
TEST_F(MachineFile, UiScriptIsFollowedHeadlessFromBesideTheDescription) {
    const struct {
        const char* text;
        std::string script;
        bool realClock;
    } cases[] = {
        {"ui script \"run.script\"\n", dir_.File("run.script"), false},
        {"ui script \"sub/run.script\"\n", dir_.File("sub/run.script"), false},
        {"ui script /srv/batch.script\nclock real\n", "/srv/batch.script", true},
        {"ui auto\n", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        auto m = Load(c.text);
        ASSERT_TRUE(m) << error_;
        EXPECT_TRUE(m->UiAuto);
        EXPECT_EQ(m->UiScript, c.script);
        EXPECT_EQ(m->RealClock, c.realClock);
    }
}

TEST_F(MachineFile, DefaultsOfAnEmptyDescription) {
    auto m = Load("# nothing but a comment\n\n");
    ASSERT_TRUE(m) << error_;
    EXPECT_EQ(m->VersionRecord().PlatformId, platform::VER_PLATFORM_WIN32_NT);
    EXPECT_EQ(m->VersionRecord().BuildNumber, 2600u);
    EXPECT_STREQ(m->VersionRecord().CSDVersion, "Service Pack 2");
    EXPECT_EQ(m->LanguageId, 0x409);
    EXPECT_TRUE(m->Administrator);
    EXPECT_TRUE(m->RestartAccepted);
    EXPECT_FALSE(m->Aspi.Present);
    EXPECT_TRUE(m->UiAuto);
    EXPECT_FALSE(m->RealClock);
    EXPECT_TRUE(m->Drives().empty());
    // Without a commandline line the process's own command line is taken.
    EXPECT_EQ(m->CommandLine, platform::host::HostCommandLine().GetCommandLine());
    EXPECT_FALSE(m->CommandLine.empty());
}

TEST_F(MachineFile, NinetyFiveFamilyWithoutVersionTakesItsDefaults) {
    auto m = Load("platform 9x\n");
    ASSERT_TRUE(m) << error_;
    EXPECT_EQ(m->VersionRecord().PlatformId, platform::VER_PLATFORM_WIN32_WINDOWS);
    EXPECT_EQ(m->VersionRecord().MinorVersion, 10u);
    EXPECT_STREQ(m->VersionRecord().CSDVersion, " A ");
}

TEST_F(MachineFile, MalformedLinesAreRefusedNamingTheLine) {
    struct Case {
        const char* Line;
        const char* Says;
    };
    const Case cases[] = {
        {"colour blue", "unknown setting \"colour\""},
        {"platform os2", "platform must be nt|9x"},
        {"platform", "missing platform"},
        {"platform nt nt", "unexpected \"nt\""},
        {"language 0x10000", "is not a number from 0 to 65535"},
        {"language 12a", "is not a number"},
        {"language 0x", "is not a number"},
        {"version 5 1", "missing build number"},
        {"version 5 1 2600 \"Service Pack 2", "not closed"},
        {"version 5 1 2600 \"SP\" product", "missing product type"},
        {"admin maybe", "admin must be yes|no"},
        {"restart later", "restart must be accept|refuse"},
        {"process x.exe", "process id \"x.exe\" is not a number"},
        {"process 5 a.exe frozen", "process option must be locked"},
        {"aspi present adapters 256", "host adapter count \"256\""},
        {"aspi somewhere", "ASPI library must be present|missing"},
        {"aspi present loud", "ASPI option must be"},
        {"letter dd: type 3", "\"dd:\" is not a drive letter"},
        {"letter e:", "nothing set for the letter"},
        {"letter e: type", "missing drive type"},
        {"drive 1: vendor \"X\"", "\"1:\" is not a drive letter"},
        {"drive aspi 0", "missing target"},
        {"drive d: colour red", "drive setting must be"},
        {"drive d: vendor", "missing vendor text"},
        {"drive d: fc 0x12", "missing FC code byte"},
        {"drive d: byte0 0x100", "INQUIRY byte 0 \"0x100\""},
        {"\"quoted\" start", "must start with a setting name"},
        {"state", "missing state file path"},
        {"ui headless", "ui must be auto|interactive"},
        {"ui script", "missing script path"},
        {"ui script \"run.script\" now", "unexpected \"now\""},
        {"clock fast", "clock must be virtual|real"},
        {"registry \"KEY\" \"Name\"", "missing value text"},
        {"drive d: features \"1F 2G\"", "feature \"2G\" is not a hexadecimal"},
        {"drive d: ff09 0x10000", "FF 09 reply word \"0x10000\""},
        {"disc d: dvd-x", "disc model must be cd-rom|"},
        {"disc d:", "missing disc model"},
        {"disc d: dvd+r mid", "missing media identifier text"},
        {"disc d: cd-r tracks 256", "track count \"256\""},
        {"disc d: cd-r scratched", "disc setting must be blank|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        EXPECT_FALSE(Load(std::string("# the third line is wrong\n\n") + c.Line + "\n"));
        EXPECT_NE(error_.find(dir_.File("machine.txt") + ":3: "), std::string::npos) << error_;
        EXPECT_NE(error_.find(c.Says), std::string::npos) << error_;
    }
}

TEST_F(MachineFile, DrivesHoldDiscsAndQueues) {
    auto m = Load(R"(drive d: features "1F 2D" ff09 0x0001
disc d: cd-r incomplete tracks 3
disc d: queued dvd+r mid "RITEK R05" revision 2
disc d: queued dvd-ram pwp cwp capacity 1000
drive aspi 0 1
disc aspi 0 1 dvd+rw finalized
)");
    ASSERT_TRUE(m) << error_;
    sim::SimDrive& d = *m->DriveAtLetter('d');
    EXPECT_EQ(d.Config().Features, (std::vector<uint16_t>{0x1F, 0x2D}));
    EXPECT_EQ(d.Config().VendorQueryWord, 0x0001);
    std::optional<sim::Disc> disc = d.LoadedDisc();
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->Model, sim::DiscModel::CdR);
    EXPECT_EQ(disc->Status, sim::DiscState::Incomplete);
    EXPECT_EQ(disc->Tracks.size(), 3u);
    EXPECT_EQ(d.QueuedDiscs(), 2u);
    d.TakeDisc();
    const uint8_t open[6] = {0x1B, 0, 0, 0, 0x02, 0};
    sim::ScsiRequest eject;
    eject.Cdb = open;
    eject.CdbLength = 6;
    d.Execute(eject);
    disc = d.LoadedDisc();
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->Model, sim::DiscModel::DvdPlusR);
    EXPECT_EQ(std::string(disc->PhysicalFormat.begin() + 19, disc->PhysicalFormat.begin() + 31),
              std::string("RITEK\0\0\0R05\x02", 12));
    d.Execute(eject);
    disc = d.LoadedDisc();
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->WriteProtection, sim::kProtectPersistent | sim::kProtectCartridge);
    EXPECT_EQ(disc->Capacity, 1000u);
    disc = m->DriveAtAspi(0, 1)->LoadedDisc();
    ASSERT_TRUE(disc);
    EXPECT_TRUE(disc->Formatted);
}

TEST_F(MachineFile, DiscsNeedTheirDrive) {
    EXPECT_FALSE(Load("drive d:\ndisc e: cd-rom\n"));
    EXPECT_NE(error_.find("machine.txt:2: no drive is described"), std::string::npos) << error_;
    EXPECT_FALSE(Load("disc d: cd-rom\ndrive d:\ndisc d: dvd-rom\n"));
    EXPECT_NE(error_.find("machine.txt:3: a second disc loaded"), std::string::npos) << error_;
    EXPECT_TRUE(Load("disc d: cd-rom\ndrive d:\ndisc d: queued dvd-rom\n")) << error_;
}

TEST_F(MachineFile, SettingsGivenTwiceAreRefused) {
    const char* cases[][2] = {
        {"platform nt\nplatform 9x\n", "\"platform\" is given twice"},
        {"language 1\nlanguage 2\n", "\"language\" is given twice"},
        {"drive d:\ndrive D: vendor \"X\"\n", "a drive at d: is given twice"},
        {"drive aspi 0 1\ndrive aspi 0 1\n", "a drive at aspi 0 1 is given twice"},
        {"letter e: type 5\nletter e: open-fails\n", "letter e: is given twice"},
        {"process 7 a.exe\nprocess 7 b.exe\n", "process id 7 is given twice"},
        {"ui auto\nui script \"run.script\"\n", "\"ui\" is given twice"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        EXPECT_FALSE(Load(c[0]));
        EXPECT_NE(error_.find(":2: "), std::string::npos) << error_;
        EXPECT_NE(error_.find(c[1]), std::string::npos) << error_;
    }
}

TEST_F(MachineFile, DrivesAtDifferentPlacesAreNotTwice) {
    auto m = Load("drive d:\ndrive e:\ndrive aspi 0 1\ndrive aspi 1 0\ndrive aspi 0 2\n");
    ASSERT_TRUE(m) << error_;
    EXPECT_EQ(m->Drives().size(), 5u);
}

TEST_F(MachineFile, MissingDescriptionIsAClearError) {
    std::string error;
    EXPECT_FALSE(sim::LoadSimMachine(dir_.File("nothing.txt"), error));
    EXPECT_NE(error.find("nothing.txt"), std::string::npos) << error;
    EXPECT_FALSE(sim::LoadSimMachine(dir_.Path().string(), error));
}

// ---- the state file --------------------------------------------------------------

// Sends a whole firmware image to the drive at d: through the machine's
// pass-through request, chunk by chunk, as the download thread does.
void Download(const sim::FirmwareImageLayout& layout) {
    std::vector<uint8_t> image = sim::BuildFirmwareImage(layout);
    const platform::Handle device = win::CreateFileA("\\\\.\\d:", 0, 0, platform::OPEN_EXISTING, 0);
    ASSERT_NE(device, platform::kInvalidHandle);
    const uint32_t chunk = layout.ChunkKiB * 1024u;
    for (uint32_t i = 0; i < layout.ChunkCount; ++i) {
        const bool last = i + 1 == layout.ChunkCount;
        const uint8_t place = i == 0 ? 0x00 : last ? layout.ChunkKiB : 0xFF;
        const uint8_t write[12] = {0xFF, 0x00, 0x01, 0, 0, place, 0, 0, 0, 0x00, 0, 0};
        PassThroughRecord record =
            MakeRecord(write, 12, image.data() + i * chunk, chunk, platform::SCSI_IOCTL_DATA_OUT);
        uint32_t returned = 0;
        ASSERT_TRUE(win::DeviceIoControl(device, platform::IOCTL_SCSI_PASS_THROUGH_DIRECT, &record,
                                         sizeof record, &record, sizeof record, &returned));
        ASSERT_EQ(record.Request.ScsiStatus, 0) << "chunk " << i << " sense key " << int(record.Sense[2])
                                                << " asc " << int(record.Sense[12]);
    }
}

TEST_F(MachineFile, FirmwareSurvivesBetweenRunsInTheStateFile) {
    const std::string description =
        "drive d: revision \"1.00\"\n"
        "drive aspi 0 1 revision \"3.00\"\n"
        "state firmware-state.txt\n";
    const std::string statePath = dir_.File("firmware-state.txt");
    {
        auto m = Load(description);
        ASSERT_TRUE(m) << error_;
        EXPECT_EQ(m->StateFile(), statePath);
        EXPECT_FALSE(std::filesystem::exists(statePath));  // nothing changed yet
        m->Install();
        sim::FirmwareImageLayout layout;
        layout.Revision = "1.05";
        Download(layout);
        EXPECT_EQ(m->DriveAtLetter('d')->FirmwareState().Revision, "1.05");
        ASSERT_TRUE(std::filesystem::exists(statePath));
        EXPECT_FALSE(std::filesystem::exists(statePath + ".tmp"));
    }
    auto again = Load(description);
    ASSERT_TRUE(again) << error_;
    EXPECT_EQ(again->DriveAtLetter('d')->FirmwareState().Revision, "1.05");
    EXPECT_EQ(again->DriveAtLetter('d')->Config().Revision, "1.05");
    EXPECT_EQ(again->DriveAtAspi(0, 1)->FirmwareState().Revision, "3.00");
}

TEST_F(MachineFile, RecordsOfDrivesNoLongerDescribedAreKept) {
    {
        auto m = Load("drive d:\ndrive e:\nstate s.txt\n");
        ASSERT_TRUE(m) << error_;
        m->Install();
        Download(sim::FirmwareImageLayout{});
    }
    const std::string first = ReadFile(dir_.File("s.txt"));
    ASSERT_NE(first.find("drive e: "), std::string::npos) << first;
    {
        auto m = Load("drive d:\nstate s.txt\n");
        ASSERT_TRUE(m) << error_;
        m->Install();
        sim::FirmwareImageLayout layout;
        layout.Revision = "1.07";
        Download(layout);
    }
    const std::string second = ReadFile(dir_.File("s.txt"));
    EXPECT_NE(second.find("drive e: "), std::string::npos) << second;
    auto m = Load("drive d:\ndrive e:\nstate s.txt\n");
    ASSERT_TRUE(m) << error_;
    EXPECT_EQ(m->DriveAtLetter('d')->FirmwareState().Revision, "1.07");
}

TEST_F(MachineFile, MalformedStateFileIsAClearError) {
    std::ostringstream good;
    sim::SimDrive().SaveFirmware(good);
    const std::string record = good.str();
    const std::string header = "drive d: " + std::to_string(record.size()) + "\n";
    struct Case {
        std::string State;
        std::string Says;
    };
    const Case cases[] = {
        {"garbage\n", "firmware-state.txt:1: expected"},
        {"# comment\ndrive d:\n", ":2: expected"},
        {"drive dd: 5\nhello\n", ":1: expected"},
        {"drive d: 999999999\n", "too long"},
        {"drive d: 500\nshort\n", "cut short"},
        {header + record + "extra\n", "longer than its"},
        // The second header's line comes after the first record's lines.
        {header + record + "\n" + header + record + "\n",
         ":" + std::to_string(3 + std::count(record.begin(), record.end(), '\n')) +
             ": drive d: has a second record"},
        {"drive d: 6\nnope!\n\n", "firmware record of drive d:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.State);
        dir_.Write("firmware-state.txt", c.State);
        EXPECT_FALSE(Load("drive d:\nstate firmware-state.txt\n"));
        EXPECT_NE(error_.find(c.Says), std::string::npos) << error_;
        EXPECT_NE(error_.find("state file"), std::string::npos) << error_;
    }
}

// The firmware record of a new drive with the given revision.
std::string FirmwareRecord(const std::string& revision) {
    sim::DriveConfig config;
    config.Revision = revision;
    std::ostringstream saved;
    sim::SimDrive(config).SaveFirmware(saved);
    return saved.str();
}

// A record a drive refuses loads no record at all: the drives that took
// theirs before it go back to what they held.
TEST_F(MachineFile, StateFileLoadsEveryRecordOrNone) {
    const std::string record = FirmwareRecord("2.22");
    const std::string path = dir_.Write("st.txt", "drive d: " + std::to_string(record.size()) + "\n" + record +
                                                      "\ndrive e: 6\nnope!\n");
    sim::SimMachine machine;
    sim::SimDrive& d = machine.AttachDriveAtLetter('d');
    machine.AttachDriveAtLetter('e');
    std::string error;
    EXPECT_FALSE(machine.UseStateFile(path, error));
    EXPECT_NE(error.find("drive e:"), std::string::npos) << error;
    EXPECT_EQ(d.FirmwareState().Revision, "1.00");
    EXPECT_EQ(d.Config().Revision, "1.00");
    EXPECT_EQ(machine.StateFile(), "");
}

TEST_F(MachineFile, StateRecordsOfSeveralDrivesLoadTogether) {
    const std::string record = FirmwareRecord("2.22");
    dir_.Write("st.txt", "# kept\ndrive aspi 0 3 " + std::to_string(record.size()) + "\n" + record +
                             "\ndrive d: " + std::to_string(record.size()) + "\n" + record + "\n");
    auto m = Load("drive d:\ndrive aspi 0 3\nstate st.txt\n");
    ASSERT_TRUE(m) << error_;
    EXPECT_EQ(m->DriveAtLetter('d')->FirmwareState().Revision, "2.22");
    EXPECT_EQ(m->DriveAtAspi(0, 3)->FirmwareState().Revision, "2.22");
}

}  // namespace
