// The two programs' enumeration rules side by side: the shipped machine
// descriptions, and machines where the rules part (a letter that is no
// optical drive, more ASPI drives than the download program's tables hold,
// no ASPI library).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "download/Atapilib.h"
#include "drive/Enumeration.h"
#include "drive/Mmc.h"
#include "drive/Transport.h"
#include "simdrive/SimMachineFile.h"

namespace {

enum class Program { Diagnostic, Download };

const char* ProgramName(Program p) { return p == Program::Diagnostic ? "Corvan_CE" : "Pelmora"; }

// Machines where the rules part, written as the shipped ones are.
const struct {
    const char* name;
    const char* text;
} kPartingMachines[] = {
    {"nt-mixed", R"(platform nt
drive d: vendor "OPTICAL1" product "first"
drive e: vendor "DISKDRIV" product "no optical" byte0 0x00
letter f: open-fails
drive g: vendor "OPTICAL2" product "second"
letter h: type 3
)"},
    {"9x-ten-drives", R"(platform 9x
aspi present adapters 2
drive aspi 0 0 vendor "A0T0" product "x"
drive aspi 0 2 vendor "A0T2" product "x"
drive aspi 0 3 vendor "QUALIF1" product "x" byte0 0x25
drive aspi 0 4 vendor "A0T4" product "x"
drive aspi 0 5 vendor "A0T5" product "x"
drive aspi 0 7 vendor "A0T7" product "x"
drive aspi 1 0 vendor "A1T0" product "x"
drive aspi 1 1 vendor "A1T1" product "x"
drive aspi 1 2 vendor "A1T2" product "x"
drive aspi 1 5 vendor "A1T5" product "x"
drive aspi 1 6 vendor "A1T6" product "x"
)"},
    {"9x-without-aspi", R"(platform 9x
drive aspi 0 0 vendor "A0T0" product "x"
)"},
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::unique_ptr<sim::SimMachine> LoadMachine(const std::string& name) {
    std::string text;
    for (const auto& m : kPartingMachines)
        if (name == m.name) text = m.text;
    if (text.empty()) text = ReadFile(std::string(ODT_SOURCE_DIR) + "/simdrive/machines/" + name);
    // A state file named by the description is looked for beside it; none
    // is wanted here, and nothing is written to the source tree.
    std::string error;
    std::unique_ptr<sim::SimMachine> machine =
        sim::ParseSimMachine(text, name, ::testing::TempDir(), error);
    EXPECT_NE(machine, nullptr) << error;
    return machine;
}

// Vendor and product of the drive a slot reaches.
std::string Reached(uint8_t slot) {
    uint8_t reply[64] = {};
    if (drive::Inquiry(slot, reply) != drive::kStatusGood) return "(none)";
    return std::string(reinterpret_cast<const char*>(reply + 8), 24);
}

std::string Padded(const std::string& vendor, const std::string& product) {
    std::string text = vendor;
    text.resize(8, ' ');
    text += product;
    text.resize(24, ' ');
    return text;
}

struct Row {
    const char* machine;
    Program program;
    int found;
    int transportMode;
    std::vector<std::string> reached;  // per slot
    std::vector<std::string> names;    // the diagnostic program's name cells
};

TEST(EnumerationRules, BothProgramsFindTheDrivesTheyAlwaysFound) {
    const std::string sd1000 = Padded("SIMDRIVE", "DVD-RW SD-1000");
    const std::string sd2000 = Padded("SIMDRIVE", "DVD-RAM SD-2000");
    const std::string sc5200 = Padded("SIMDRIVE", "CD-ROM SC-5200");
    std::vector<std::string> ten;
    for (const char* v : {"A0T0", "A0T2", "A0T4", "A0T5", "A0T7", "A1T0", "A1T1", "A1T2", "A1T5", "A1T6"})
        ten.push_back(Padded(v, "x"));
    const std::vector<std::string> eight(ten.begin(), ten.begin() + 8);

    const Row rows[] = {
        {"corvan.machine", Program::Diagnostic, 2, 1, {sd2000, sc5200},
         {"SIMDRIVEDVD-RAM SD-2000 1.00   ", "SIMDRIVECD-ROM SC-5200  2.10   "}},
        {"corvan.machine", Program::Download, 2, 1, {sd2000, sc5200}, {}},
        {"corvan-batch.machine", Program::Diagnostic, 1, 1, {sd1000}, {"SIMDRIVEDVD-RW SD-1000  1.00   "}},
        {"corvan-batch.machine", Program::Download, 1, 1, {sd1000}, {}},
        {"pelmora-live.machine", Program::Diagnostic, 1, 1, {sd1000}, {"SIMDRIVEDVD-RW SD-1000  1.00   "}},
        {"pelmora-live.machine", Program::Download, 1, 1, {sd1000}, {}},
        // Every CD-ROM letter that opens is the diagnostic program's; the
        // download program keeps those that answer as optical drives.
        {"nt-mixed", Program::Diagnostic, 3, 1,
         {Padded("OPTICAL1", "first"), Padded("DISKDRIV", "no optical"), Padded("OPTICAL2", "second")},
         {"OPTICAL1first           1.00   ", "DISKDRIVno optical      1.00   ",
          "OPTICAL2second          1.00   "}},
        {"nt-mixed", Program::Download, 2, 1, {Padded("OPTICAL1", "first"), Padded("OPTICAL2", "second")}, {}},
        // 26 ASPI slots against 8.
        {"9x-ten-drives", Program::Diagnostic, 10, 0, ten,
         {"A0T0    x               1.00   ", "A0T2    x               1.00   ",
          "A0T4    x               1.00   ", "A0T5    x               1.00   ",
          "A0T7    x               1.00   ", "A1T0    x               1.00   ",
          "A1T1    x               1.00   ", "A1T2    x               1.00   ",
          "A1T5    x               1.00   ", "A1T6    x               1.00   "}},
        {"9x-ten-drives", Program::Download, 8, 0, eight, {}},
        // ASPI unavailable: -1 for the diagnostic program, no drive for the
        // download program.
        {"9x-without-aspi", Program::Diagnostic, drive::kAspiUnavailable, 0, {}, {}},
        {"9x-without-aspi", Program::Download, 0, 0, {}, {}},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.machine) + ", " + ProgramName(row.program));
        drive::ResetAspiLoader();
        drive::Settings = drive::TransportSettings{};
        std::unique_ptr<sim::SimMachine> machine = LoadMachine(row.machine);
        ASSERT_NE(machine, nullptr);
        machine->Install();

        drive::DriveNameSlot names[drive::kSlotCount];
        std::memset(names, 0x7E, sizeof names);
        const int found = row.program == Program::Diagnostic ? drive::FindDrives(names)
                                                             : AtapiLib.FindDrives();
        ASSERT_EQ(found, row.found);
        EXPECT_EQ(drive::SlotTable.TransportMode, row.transportMode);
        for (size_t slot = 0; slot < row.reached.size(); ++slot)
            EXPECT_EQ(Reached(static_cast<uint8_t>(slot)), row.reached[slot]) << "slot " << slot;
        for (size_t slot = 0; slot < row.names.size(); ++slot)
            EXPECT_STREQ(names[slot].Text, row.names[slot].c_str()) << "name " << slot;
    }
}

}  // namespace
