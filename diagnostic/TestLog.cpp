#include "diagnostic/TestLog.h"

#include <cstdio>

#include "diagnostic/Version.h"
#include "drive/TextHelpers.h"
#include "platform/Win.h"

namespace {

constexpr const char* kStars = "****************************************************************\n";
constexpr const char* kRule = "    =======================================================\n";

// Opens the log for one writer; the file is closed when the writer returns.
class LogFile {
public:
    LogFile(const std::string& path, const char* mode)
        : file_(path.empty() ? nullptr : std::fopen(path.c_str(), mode)) {}
    ~LogFile() {
        if (file_ != nullptr) std::fclose(file_);
    }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    explicit operator bool() const { return file_ != nullptr; }
    std::FILE* get() const { return file_; }

private:
    std::FILE* file_;
};

// A step that failed with a drive's code shows where and which code,
// whatever its own failure text; a pass, a break, a completed format and a
// failure no drive answered (a compare error, a step that sent nothing) show
// their status only.
bool ShowsFailure(const std::string& status, uint32_t errorCode) {
    return errorCode != 0 && status != "PASS!!" && status != "BREAK" && status != "COMPLETE";
}

// A status text that already ends in its code ("CLOSE SESSION ERROR( 52C00)")
// is not given it twice.
bool CarriesItsCode(const std::string& status) { return !status.empty() && status.back() == ')'; }

void WriteStatus(std::FILE* f, const std::string& status, uint32_t errorCode) {
    if (ShowsFailure(status, errorCode) && !CarriesItsCode(status))
        std::fprintf(f, "    [ STATUS         ] : %s(%06X)\n\n", status.c_str(), errorCode);
    else
        std::fprintf(f, "    [ STATUS         ] : %s\n\n", status.c_str());
}

std::string Text(const char* field, size_t size) {
    size_t length = 0;
    while (length < size && field[length] != '\0') ++length;
    return std::string(field, length);
}

}  // namespace

std::string TestLogPathFor(const std::string& testDirectory, const std::string& logName) {
    if (testDirectory.empty()) return {};
    if (logName.find('/') != std::string::npos || logName.find('\\') != std::string::npos) return {};
    return testDirectory + "/" + logName + ".LOG";
}

void WriteLogHeader(const std::string& path, const std::string& startTime, const std::string& fullIdentity,
                    const std::string& vendor, const std::string& product, const std::string& firmware) {
    LogFile log(path, "w");
    if (!log) return;
    std::FILE* f = log.get();
    std::fputs(kStars, f);
    std::fprintf(f, "    < PROGRAM INFO.    > : Corvan CE(%s)\n", kProgramVersion);
    std::fprintf(f, "    < OS VERSION       > : %s\n", drive::GetWindowsVersionText().c_str());
    std::fprintf(f, "    < TEST DRIVE       > : %s\n", fullIdentity.c_str());
    std::fprintf(f, "    < VENDOR  ID       > : %s\n", vendor.c_str());
    std::fprintf(f, "    < PRODUCT ID       > : %s\n", product.c_str());
    std::fprintf(f, "    < FIRMWARE VERSION > : %s\n", firmware.c_str());
    std::fprintf(f, "    < TEST START TIME  > : %s\n", startTime.c_str());
    std::fputs(kStars, f);
    std::fputs("\n", f);
}

void WriteLogTestIndex(const std::string& path, int index, int second) {
    LogFile log(path, "a+");
    if (!log) return;
    std::fprintf(log.get(), "     TEST INDEX(C/T)  >> : %d/%d\n\n", index, second);
}

void WriteLogDiscInfo(const std::string& path, drive::DiscRecord record) {
    LogFile log(path, "a+");
    if (!log) return;
    std::FILE* f = log.get();
    const uint8_t family = static_cast<uint8_t>(record.DiscType >> 8);
    std::fputs(kRule, f);
    std::fprintf(f, "    [ DISC TYPE        ] : %s\n", drive::GetDiscCodeName(record.DiscType).c_str());
    std::fprintf(f, "    [ DISC SIZE        ] : %s\n", drive::FormatDiscSize(record.Capacity).c_str());
    const std::string identity = Text(record.IdentityText, sizeof record.IdentityText);
    if ((family & 0x10) == 0)
        std::fprintf(f, "    [ DISC ATIP INFO.  ] : %s %s \n", identity.c_str(),
                     Text(record.SecondText, sizeof record.SecondText).c_str());
    else if (record.DiscType != drive::kDiscDvdRom)
        std::fprintf(f, "    [ DISC MID         ] : %s\n", identity.c_str());
    std::fputs(kRule, f);
    std::fputs("\n", f);
}

void WriteLogTrayTest(const std::string& path, uint32_t seconds, int attempt, const std::string& status) {
    LogFile log(path, "a+");
    if (!log) return;
    std::FILE* f = log.get();
    std::fputs("    <<  TRAY OPEN/CLOSE  TEST >>\n", f);
    if (attempt != 0) std::fprintf(f, "    [ RETRY INDEX  ] : %d\n", attempt);
    std::fprintf(f, "    [ TEST TIME    ] : %s\n", drive::FormatSeconds(seconds).c_str());
    std::fprintf(f, "    [ STATUS       ] : %s\n\n", status.c_str());
}

void WriteLogReadWriteTest(const std::string& path, uint8_t sequential, uint32_t first, uint32_t end,
                           uint32_t failAddress, const std::string& status, uint32_t errorCode, uint8_t compare,
                           const TestOptions& options) {
    LogFile log(path, "a+");
    if (!log) return;
    std::FILE* f = log.get();
    if (compare != 0)
        std::fputs("    << READ & COMPARE TEST >>\n", f);
    else if (sequential != 0)
        std::fputs("    << SEQUENTIAL READ TEST >>\n", f);
    else if (options.PartialWrite || options.BatchMode)
        std::fputs("    << PARTIAL WRITE TEST >>\n", f);
    else
        std::fputs("    << FULL WRITE TEST >>\n", f);
    std::fprintf(f, "    [ TEST AREA      ] : %ld ~ %ld \n", static_cast<long>(static_cast<int32_t>(first)),
                 static_cast<long>(static_cast<int32_t>(end)));
    if (sequential != 0 && compare == 0)
        std::fprintf(f, "    [ TEST COUNT     ] : %d Time(s)\n", static_cast<int>(options.SequentialReadCount));
    if (ShowsFailure(status, errorCode))
        std::fprintf(f, "    [ FAIL ADDR.     ] : %ld(%Xh)\n", static_cast<long>(static_cast<int32_t>(failAddress)),
                     failAddress);
    WriteStatus(f, status, errorCode);
}

void WriteLogRandomReadTest(const std::string& path, uint32_t count, uint32_t failAddress,
                            const std::string& status, uint32_t errorCode) {
    LogFile log(path, "a+");
    if (!log) return;
    std::FILE* f = log.get();
    std::fputs("    << RANDOM READ TEST >>\n", f);
    std::fprintf(f, "    [ TEST COUNT     ] : %d TIME(S)\n", static_cast<int>(count));
    if (ShowsFailure(status, errorCode))
        std::fprintf(f, "    [ READ FAIL ADDR.] : %ld(%Xh)\n", static_cast<long>(static_cast<int32_t>(failAddress)),
                     failAddress);
    WriteStatus(f, status, errorCode);
}

void WriteLogFormatTest(const std::string& path, const std::string& status, uint32_t errorCode) {
    LogFile log(path, "a+");
    if (!log) return;
    std::FILE* f = log.get();
    std::fputs("    << FORMAT TEST >>\n", f);
    WriteStatus(f, status, errorCode);
}
