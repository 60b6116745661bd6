// Any bytes as the settings file: the reader, and the writer that carries
// the blocks of drives it does not know over, take them without a crash or
// an overrun; what the writer then writes reads back whole, as the table it
// wrote, with its selection.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "diagnostic/Settings.h"

namespace {

[[noreturn]] void Fail(const char* why) {
    std::fprintf(stderr, "fuzz check failed: %s\n", why);
    std::abort();
}

// In memory where the machine has it: every input is written and renamed
// over twice, which a disk makes wait for its writes.
const std::string& SettingsPath() {
    static const std::string path = [] {
        char inMemory[] = "/dev/shm/fuzz-settings-XXXXXX";
        char onDisk[] = "/tmp/fuzz-settings-XXXXXX";
        const char* directory = ::mkdtemp(inMemory);
        if (directory == nullptr) directory = ::mkdtemp(onDisk);
        if (directory == nullptr) Fail("no scratch directory");
        static const std::string made = directory;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return made + "/" + kSettingsFileName;
    }();
    return path;
}

// Two drives with the names enumeration gives them.
TestDriveTable Drives() {
    TestDriveTable table;
    std::snprintf(table.Entries[0].Name, sizeof table.Entries[0].Name, "%s", "SIMDRIVEDVD-RW SD-1000  1.00   ");
    std::snprintf(table.Entries[1].Name, sizeof table.Entries[1].Name, "%s", "OTHER   CD-ROM X        2.00   ");
    table.Entries[1].Slot = 1;
    table.Count = 2;
    return table;
}

bool SameItems(const TestDriveEntry& a, const TestDriveEntry& b) {
    if (a.Mode != b.Mode) return false;
    for (int i = 0; i < kScreenItemCount; ++i)
        if (a.TableA[i].Flag0 != b.TableA[i].Flag0 || a.TableA[i].Flag1 != b.TableA[i].Flag1 ||
            a.TableB[i].Flag0 != b.TableB[i].Flag0 || a.TableB[i].Flag1 != b.TableB[i].Flag1)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = SettingsPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) Fail("cannot write the input");
    if (size != 0 && std::fwrite(data, 1, size, file) != size) Fail("cannot write the input");
    std::fclose(file);

    TestDriveTable table = Drives();
    const SettingsReadResult read = ReadSettingsFile(path, table, true);
    if (read.Status != SettingsRead::Read) Fail("a file that is there was not read");
    if (read.HasActive && read.Active < 0) Fail("a negative selection was taken");
    if (read.HasActive && read.Active < table.Count) table.Selected = read.Active;

    if (!WriteSettingsFile(path, table)) Fail("the file was not written");
    TestDriveTable back = Drives();
    const SettingsReadResult again = ReadSettingsFile(path, back, false);
    if (again.Status != SettingsRead::Read || again.Malformed) Fail("a written file does not read whole");
    if (!again.HasActive || again.Active != table.Selected) Fail("the selection did not come back");
    for (int i = 0; i < table.Count; ++i)
        if (!SameItems(table.Entries[i], back.Entries[i])) Fail("a drive's items did not come back");
    return 0;
}
