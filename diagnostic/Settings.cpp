#include "diagnostic/Settings.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kLineBuffer = 260;
constexpr int kNameLineBuffer = 40;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void SkipSpace(std::FILE* file) {
    int c;
    while ((c = std::getc(file)) != EOF && std::isspace(c)) {
    }
    if (c != EOF) std::ungetc(c, file);
}

// One decimal integer as "%d" reads it (leading white space skipped); false
// when there is none or it does not fit 32 bits.
bool ScanInt(std::FILE* file, long& value) {
    SkipSpace(file);
    int c = std::getc(file);
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        c = std::getc(file);
    }
    if (c == EOF || !std::isdigit(c)) {
        if (c != EOF) std::ungetc(c, file);
        return false;
    }
    long long v = 0;
    bool overflow = false;
    while (c != EOF && std::isdigit(c)) {
        if (v <= INT_MAX) v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) overflow = true;
        c = std::getc(file);
    }
    if (c != EOF) std::ungetc(c, file);
    if (negative) v = -v;
    if (overflow || v > INT_MAX || v < INT_MIN) return false;
    value = static_cast<long>(v);
    return true;
}

// "%d\n" into a 32-bit value.
bool ScanLineValue(std::FILE* file, int32_t& out) {
    long v = 0;
    if (!ScanInt(file, v)) return false;
    SkipSpace(file);
    out = static_cast<int32_t>(v);
    return true;
}

bool ScanFlag(std::FILE* file, uint8_t& out) {
    long v = 0;
    if (!ScanInt(file, v) || v < 0 || v > 255) return false;
    out = static_cast<uint8_t>(v);
    return true;
}

// "%d, %d\n" into two byte flags; the first one is kept when the second fails.
bool ScanPair(std::FILE* file, ScreenItemRecord& record) {
    uint8_t first = 0, second = 0;
    if (!ScanFlag(file, first)) return false;
    record.Flag0 = first;
    if (std::getc(file) != ',') return false;
    if (!ScanFlag(file, second)) return false;
    record.Flag1 = second;
    SkipSpace(file);
    return true;
}

// Mode and 44 pairs of one drive; false at the first value it cannot take.
bool ReadBlock(std::FILE* file, TestDriveEntry& entry) {
    if (!ScanLineValue(file, entry.Mode)) return false;
    for (ScreenItemTable* table : {&entry.TableA, &entry.TableB})
        for (ScreenItemRecord& record : *table)
            if (!ScanPair(file, record)) return false;
    return true;
}

// Moves to a found line and reads past it; false when moving fails.
bool SkipFoundLine(std::FILE* file, long position) {
    if (std::fseek(file, position, SEEK_SET) != 0) return false;
    char line[kNameLineBuffer];
    if (std::fgets(line, sizeof line, file) == nullptr) return true;
    return true;
}

// Lines of one drive's block: its name, its mode and 44 pairs.
constexpr int kBlockLines = 2 + 2 * kScreenItemCount;

// Reads past n lines, long ones in pieces; false at the end of the file.
bool SkipLines(std::FILE* file, int n) {
    char line[kLineBuffer];
    while (n > 0) {
        if (std::fgets(line, sizeof line, file) == nullptr) return false;
        if (std::strchr(line, '\n') != nullptr) --n;
    }
    return true;
}

bool SameName(const TestDriveEntry& a, const TestDriveEntry& b) {
    return std::strncmp(a.Name, b.Name, sizeof a.Name) == 0;
}

// The drives of the file at path that the table does not hold (a drive
// absent in this session), each read as the reader reads a block, in the
// file's order.  The walk ends at the first block that does not read whole.
std::vector<TestDriveEntry> DrivesOnlyInFile(const std::string& path, const TestDriveTable& table) {
    std::vector<TestDriveEntry> found;
    File file(std::fopen(path.c_str(), "r"));
    long position = 0;
    if (!file || !FindLineInFile(kActiveDriveLine, file.get(), 0, position)) return found;
    if (std::fseek(file.get(), position, SEEK_SET) != 0 || !SkipLines(file.get(), 2)) return found;
    for (;;) {
        const long start = std::ftell(file.get());
        char name[kNameLineBuffer];
        if (start < 0 || std::fgets(name, sizeof name, file.get()) == nullptr) break;
        name[std::strcspn(name, "\r\n")] = '\0';
        TestDriveEntry entry;
        std::memcpy(entry.Name, name, sizeof entry.Name);
        entry.Name[sizeof entry.Name - 1] = '\0';
        if (!ReadBlock(file.get(), entry)) break;
        const auto same = [&](const TestDriveEntry& other) { return SameName(entry, other); };
        const auto begin = table.Entries.begin();
        if (std::none_of(begin, begin + std::clamp(table.Count, 0, kMaxTestDrives), same) &&
            std::none_of(found.begin(), found.end(), same))
            found.push_back(entry);
        if (std::fseek(file.get(), start, SEEK_SET) != 0 || !SkipLines(file.get(), kBlockLines)) break;
    }
    return found;
}

bool WriteBlock(std::FILE* file, const TestDriveEntry& entry) {
    bool ok = std::fprintf(file, "%.*s\n%d\n", kTestDriveNameSize, entry.Name, entry.Mode) > 0;
    for (const ScreenItemTable* t : {&entry.TableA, &entry.TableB})
        for (const ScreenItemRecord& r : *t)
            ok = ok && std::fprintf(file, "%u, %u\n", unsigned{r.Flag0}, unsigned{r.Flag1}) > 0;
    return ok;
}

std::atomic<bool> g_noticeShown{false};

}  // namespace

bool ContainsText(std::string_view pattern, std::string_view text) {
    if (pattern.empty() || pattern.size() > text.size()) return false;
    size_t matched = 0;
    for (const char c : text) {
        if (c == pattern[matched]) {
            if (++matched == pattern.size()) return true;
        } else {
            matched = c == pattern[0] ? 1 : 0;
            if (matched == pattern.size()) return true;
        }
    }
    return false;
}

bool FindLineInFile(const char* pattern, std::FILE* file, long start, long& out) {
    if (std::fseek(file, start, SEEK_SET) != 0) return false;
    char line[kLineBuffer];
    for (;;) {
        out = 0;
        const long p = std::ftell(file);
        if (p < 0) return false;
        if (std::fgets(line, sizeof line, file) == nullptr) break;
        if (ContainsText(pattern, line)) {
            out = p;
            return true;
        }
    }
    out = std::feof(file) ? 0 : -1;
    return false;
}

bool WriteSettingsFile(const std::string& path, const TestDriveTable& table) {
    if (path.empty()) return false;
    // A drive that is not there this time keeps what the user saved for it.
    const std::vector<TestDriveEntry> absent = DrivesOnlyInFile(path, table);
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) return false;
    bool ok = std::fprintf(file, "%s\n%d\n", kActiveDriveLine, table.Selected) > 0;
    for (int i = 0; i < table.Count && i < kMaxTestDrives && ok; ++i) ok = WriteBlock(file, table.Entries[i]);
    for (size_t i = 0; i < absent.size() && ok; ++i) ok = WriteBlock(file, absent[i]);
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    std::error_code error;
    if (ok) fs::rename(temporary, path, error);
    if (!ok || error) {
        fs::remove(temporary, error);
        return false;
    }
    return true;
}

SettingsReadResult ReadSettingsFile(const std::string& path, TestDriveTable& table,
                                    bool defaultsForMissing) {
    SettingsReadResult result;
    std::error_code error;
    if (path.empty() || !fs::is_regular_file(path, error)) return result;
    result.Status = SettingsRead::Unreadable;
    File file(std::fopen(path.c_str(), "r"));
    if (!file) return result;

    long position = 0;
    if (FindLineInFile(kActiveDriveLine, file.get(), 0, position)) {
        if (!SkipFoundLine(file.get(), position)) return result;
        int32_t active = 0;
        if (!ScanLineValue(file.get(), active) || active < 0) {
            result.Malformed = true;
        } else {
            result.HasActive = true;
            result.Active = active;
        }
    } else {
        // Not a file this program wrote (or not all of it): kept aside.
        result.Malformed = true;
    }
    for (int i = 0; i < table.Count && i < kMaxTestDrives; ++i) {
        TestDriveEntry& entry = table.Entries[i];
        const std::string name(entry.Name, strnlen(entry.Name, sizeof entry.Name));
        if (FindLineInFile(name.c_str(), file.get(), 0, position)) {
            if (!SkipFoundLine(file.get(), position)) return result;
            if (!ReadBlock(file.get(), entry)) result.Malformed = true;
        } else if (defaultsForMissing) {
            SetDefaultScreenItems(entry);
        }
    }
    result.Status = SettingsRead::Read;
    return result;
}

std::string KeepSettingsAside(const std::string& path) {
    std::error_code error;
    for (int n = 0; n < 100; ++n) {
        const std::string aside = path + ".bad" + (n == 0 ? std::string() : "." + std::to_string(n));
        if (fs::exists(aside, error)) continue;
        fs::rename(path, aside, error);
        return error ? std::string() : aside;
    }
    return std::string();
}

void ResetMalformedSettingsNotice() { g_noticeShown = false; }

std::string MalformedSettingsNotice(const std::string& keptAs) {
    if (g_noticeShown.exchange(true)) return std::string();
    if (keptAs.empty())
        return "The settings file \"" + std::string(kSettingsFileName) +
               "\" could not be read in full and could not be renamed.";
    return "The settings file \"" + std::string(kSettingsFileName) +
           "\" could not be read in full.\nIt was kept as \"" +
           fs::path(keptAs).filename().string() + "\"; the settings start afresh.";
}
