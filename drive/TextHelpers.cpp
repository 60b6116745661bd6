#include "drive/TextHelpers.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/Win.h"

namespace drive {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

bool EqualNoCase(const char* a, const char* b) { return ::strcasecmp(a, b) == 0; }

constexpr char kProductOptionsKey[] = "SYSTEM\\CurrentControlSet\\Control\\ProductOptions";
constexpr char kProductTypeValue[] = "ProductType";
constexpr char kServicePack6aKey[] =
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";
constexpr uint32_t kProductTypeRoom = 80;

constexpr uint8_t VER_NT_WORKSTATION = 1;
constexpr uint8_t VER_NT_SERVER = 3;
constexpr uint16_t VER_SUITE_ENTERPRISE = 0x0002;
constexpr uint16_t VER_SUITE_DATACENTER = 0x0080;
constexpr uint16_t VER_SUITE_PERSONAL = 0x0200;
constexpr uint16_t VER_SUITE_BLADE = 0x0400;

// The service-pack text of a record, whether or not the system terminated it.
std::string ServicePackText(const platform::OsVersionInfo& info) {
    return std::string(info.CSDVersion, strnlen(info.CSDVersion, sizeof info.CSDVersion));
}

// The product type from the registry: "" when the key does not open or the
// value cannot be read.
bool ReadProductType(std::string& productType) {
    platform::IRegistry& registry = *platform::Current().Registry;
    platform::Handle key = 0;
    if (!registry.RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, kProductOptionsKey, key)) return false;
    // The value need not end in a NUL: one more byte than the room asked for
    // terminates it.
    char value[kProductTypeRoom + 1] = {};
    uint32_t size = kProductTypeRoom;
    const bool read = registry.RegQueryValueEx(key, kProductTypeValue, value, size);
    registry.RegCloseKey(key);
    if (!read || size > kProductTypeRoom) return false;
    productType.assign(value, strnlen(value, size));
    return true;
}

bool KeyOpens(const char* path) {
    platform::IRegistry& registry = *platform::Current().Registry;
    platform::Handle key = 0;
    if (!registry.RegOpenKeyEx(platform::HKEY_LOCAL_MACHINE, path, key)) return false;
    registry.RegCloseKey(key);
    return true;
}

}  // namespace

std::string FormatNumber(uint32_t value, uint8_t padded, int mode) {
    // The numbers are 32-bit: "%ld" shows them signed, "%lX" unsigned, on any
    // width of long.
    const long asSigned = static_cast<int32_t>(value);
    const unsigned long asUnsigned = value;
    const bool pad = padded != 0;
    switch (mode) {
        case 0:
            return pad ? Format("%-8lX h", asUnsigned) : Format("%lX h", asUnsigned);
        case 1:
            return pad ? Format("%-8ld", asSigned) : Format("%ld", asSigned);
        case 2:
            return pad ? Format("%-8ld(%-8lX h)", asSigned, asUnsigned)
                       : Format("%ld(%lX h)", asSigned, asUnsigned);
        case 3:
            return pad ? Format("%-8lX h(%-8ld)", asUnsigned, asSigned)
                       : Format("%lX h(%ld)", asUnsigned, asSigned);
        default:
            return {};
    }
}

std::string FormatNow(int mode) {
    const platform::LocalTime t = platform::Current().Clock->Now();
    switch (mode) {
        case 0:
            return Format("%4d/%02d/%02d %02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                          t.Second);
        case 1:
            return Format("%4d/%02d/%02d", t.Year, t.Month, t.Day);
        case 2:
            return Format("%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
        default:
            return {};
    }
}

std::string FormatSeconds(uint32_t seconds) {
    return Format("%02u:%02u:%02u", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

std::string FormatDiscSize(uint32_t blocks) {
    // The integer part of log10 of the count, counted in digits so that no
    // rounding of a logarithm moves a power of ten into the unit below.
    int magnitude = 0;
    for (uint32_t n = blocks; n >= 10; n /= 10) ++magnitude;
    if (magnitude >= 6) return Format("%.1f GB", blocks / 524288.0);
    if (magnitude >= 3) return Format("%.1f MB", blocks / 512.0);
    return Format("%1u KB", 2 * blocks);
}

uint32_t ReadBigEndian32(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
}

uint16_t ReadBigEndian16(const uint8_t* bytes) {
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::string GetWindowsVersionText() {
    const std::string ownName = platform::Current().Version->NativeSystemName();
    if (!ownName.empty()) return ownName;

    platform::OsVersionInfo info{};
    info.OSVersionInfoSize = platform::kExtendedVersionRecordSize;
    const bool extended = win::GetVersionExA(&info);
    if (!extended) {
        info = platform::OsVersionInfo{};
        info.OSVersionInfoSize = platform::kPlainVersionRecordSize;
        if (!win::GetVersionExA(&info)) return {};
    }

    std::string text;
    const uint32_t major = info.MajorVersion;
    const uint32_t minor = info.MinorVersion;
    switch (info.PlatformId) {
        case platform::VER_PLATFORM_WIN32s:
            text = "Microsoft Win32s";
            break;
        case platform::VER_PLATFORM_WIN32_WINDOWS: {
            const char release = info.CSDVersion[1];
            if (major == 4 && minor == 0) {
                text = "Windows 95 ";
                if (release == 'C' || release == 'B') text += "OSR2 ";
            } else if (major == 4 && minor == 10) {
                text = "Windows 98 ";
                if (release == 'A') text += "SE ";
            } else if (major == 4 && minor == 90) {
                text = "Windows ME ";
            }
            break;
        }
        case platform::VER_PLATFORM_WIN32_NT:
            if (major == 5 && minor == 2)
                text = "Windows .NET Server 2003 family ";
            else if (major == 5 && minor == 1)
                text = "Windows XP ";
            else if (major == 5 && minor == 0)
                text = "Windows 2000 ";
            else if (major <= 4)
                text = "Windows NT ";
            text += GetWindowsEditionText(extended ? 1 : 0, info);
            break;
        default:
            break;
    }
    return text;
}

std::string GetWindowsEditionText(uint8_t extended, platform::OsVersionInfo info) {
    const uint32_t major = info.MajorVersion;
    const uint32_t minor = info.MinorVersion;
    const uint16_t suite = info.SuiteMask;
    std::string text;
    if (extended != 0) {
        if (info.ProductType == VER_NT_WORKSTATION) {
            if (major == 4)
                text = "Workstation 4.0 ";
            else if (suite & VER_SUITE_PERSONAL)
                text = "Home Edition ";
            else
                text = "Professional ";
        } else if (info.ProductType == VER_NT_SERVER) {
            if (major == 5 && minor == 2) {
                if (suite & VER_SUITE_DATACENTER)
                    text = "Datacenter Edition ";
                else if (suite & VER_SUITE_ENTERPRISE)
                    text = "Enterprise Edition ";
                else if (suite == VER_SUITE_BLADE)
                    text = "Web Edition ";
                else
                    text = "Standard Edition ";
            } else if (major == 5 && minor == 0) {
                if (suite & VER_SUITE_DATACENTER)
                    text = "Datacenter Server ";
                else if (suite & VER_SUITE_ENTERPRISE)
                    text = "Advanced Server ";
                else
                    text = "Server ";
            } else {
                text = (suite & VER_SUITE_ENTERPRISE) ? "Server 4.0, Enterprise Edition "
                                                      : "Server 4.0 ";
            }
        }
    } else {
        std::string productType;
        if (!ReadProductType(productType)) return {};
        if (EqualNoCase(productType.c_str(), "WINNT"))
            text = "Workstation ";
        else if (EqualNoCase(productType.c_str(), "LANMANNT"))
            text = "Server ";
        else if (EqualNoCase(productType.c_str(), "SERVERNT"))
            text = "Advanced Server ";
    }

    const std::string servicePack = ServicePackText(info);
    const int build = static_cast<int>(info.BuildNumber & 0xFFFF);
    if (major == 4 && EqualNoCase(servicePack.c_str(), "Service Pack 6") &&
        KeyOpens(kServicePack6aKey))
        text += Format("Service Pack 6a (Build %d)", build);
    else
        text += Format("%s (Build %d)", servicePack.c_str(), build);
    return text;
}

}  // namespace drive
