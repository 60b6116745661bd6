// Version, libraries (none), clock, command line, language and message boxes of the
// Linux host, and its installation.
#include <sched.h>
#include <sys/utsname.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>

#include "platform/Host.h"

namespace platform::host {

// ---------------------------------------------------------------------------

bool HostVersion::GetVersionEx(OsVersionInfo& info) {
    const uint32_t size = info.OSVersionInfoSize;
    if (size != kPlainVersionRecordSize && size != kExtendedVersionRecordSize) return false;

    OsVersionInfo answer{};
    answer.OSVersionInfoSize = size;
    answer.MajorVersion = 5;
    answer.MinorVersion = 1;
    answer.BuildNumber = 2600;
    answer.PlatformId = VER_PLATFORM_WIN32_NT;
    std::strncpy(answer.CSDVersion, "Service Pack 2", sizeof answer.CSDVersion - 1);
    answer.ServicePackMajor = 2;
    answer.ServicePackMinor = 0;
    answer.SuiteMask = 0x0100;  // single-user terminal services, as a desktop system reports
    answer.ProductType = 1;     // workstation
    // The plain record ends before the service-pack numbers: what lies past it
    // belongs to the caller.
    std::memcpy(&info, &answer, size);
    return true;
}

std::string HostVersion::NativeSystemName() {
    utsname names{};
    if (::uname(&names) != 0) return "Linux";
    return std::string(names.sysname) + ' ' + names.release + ' ' + names.machine;
}

// ---------------------------------------------------------------------------

ModuleHandle HostLibraries::LoadLibrary(const char* /*name*/) { return nullptr; }

void* HostLibraries::GetProcAddress(ModuleHandle /*module*/, const char* /*entry*/) { return nullptr; }

// ---------------------------------------------------------------------------

void HostClock::Sleep(uint32_t milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec remaining{static_cast<time_t>(milliseconds / 1000),
                       static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

uint32_t HostClock::TickCount() {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

LocalTime HostClock::Now() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min,         local.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

// ---------------------------------------------------------------------------

std::vector<std::string> SplitCommandLineFile(const std::string& contents) {
    std::vector<std::string> arguments;
    size_t start = 0;
    while (start < contents.size()) {
        size_t end = contents.find('\0', start);
        if (end == std::string::npos) end = contents.size();
        arguments.push_back(contents.substr(start, end - start));
        start = end + 1;
    }
    return arguments;
}

std::string JoinCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (i != 0) line += ' ';
        if (argument.empty() || argument.find_first_of(" \t") != std::string::npos)
            line += '"' + argument + '"';
        else
            line += argument;
    }
    return line;
}

HostCommandLine::HostCommandLine(std::string cmdlinePath) : cmdlinePath_(std::move(cmdlinePath)) {}

std::string HostCommandLine::GetCommandLine() {
    std::ifstream file(cmdlinePath_, std::ios::binary);
    const std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return JoinCommandLine(SplitCommandLineFile(contents));
}

// ---------------------------------------------------------------------------

uint16_t LanguageIdFromLocale(const char* lcAll, const char* lcMessages, const char* lang) {
    const char* locale = nullptr;
    for (const char* candidate : {lcAll, lcMessages, lang}) {
        if (candidate != nullptr && candidate[0] != '\0') {
            locale = candidate;
            break;
        }
    }
    if (locale == nullptr) return kLangEnglishUs;
    // The language is the part before territory, code set and modifier: "ko"
    // itself, not merely a name beginning with it ("kok" is Konkani).
    const size_t languageLength = std::strcspn(locale, "_.@");
    if (languageLength != 2 || std::strncmp(locale, "ko", 2) != 0) return kLangEnglishUs;
    return std::strncmp(locale, "ko_KP", 5) == 0 ? kLangKoreanNorth : kLangKorean;
}

uint16_t HostLanguage::GetSystemDefaultLangID() {
    return LanguageIdFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                std::getenv("LANG"));
}

// ---------------------------------------------------------------------------

int StderrMessageBoxes::MessageBox(const void* /*owner*/, const std::string& text,
                                   const std::string& caption, uint32_t /*flags*/) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

}  // namespace platform::host

namespace platform {

void InstallLinuxHost() {
    static host::HostVersion version;
    static host::HostDrives drives;
    static host::HostLibraries libraries;
    static host::HostClock clock;
    static host::HostCommandLine commandLine;
    static host::HostLanguage language;
    static host::HostProcesses processes;
    static host::HostSecurity security;
    static host::HostRestart restart;
    static host::HostRegistry registry;
    static host::HostShell shell;
    static host::StderrMessageBoxes messageBoxes;

    Services services;
    services.Version = &version;
    services.DriveType = &drives;
    services.DeviceOpen = &drives;
    services.DeviceControl = &drives;
    services.Libraries = &libraries;
    services.Clock = &clock;
    services.CommandLine = &commandLine;
    services.Language = &language;
    services.Processes = &processes;
    services.Security = &security;
    services.Restart = &restart;
    services.Registry = &registry;
    services.Shell = &shell;
    services.MessageBoxes = &messageBoxes;
    Install(services);
}

}  // namespace platform
