// Token, restart and registry of the Linux host.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/Host.h"

namespace platform::host {

namespace {

// The one token there is: the process's own.
constexpr Handle kProcessToken = 0x70CE;

constexpr const char* kShutdownPrivilege = "SeShutdownPrivilege";

// Windows keeps the last error per thread.
thread_local uint32_t t_lastError = ERROR_SUCCESS;

}  // namespace

bool ParseEffectiveCapabilities(const std::string& status, uint64_t& capabilities) {
    static const std::string kKey = "CapEff:";
    size_t line = 0;
    while (line < status.size()) {
        const size_t end = std::min(status.find('\n', line), status.size());
        if (status.compare(line, kKey.size(), kKey) == 0) {
            size_t i = line + kKey.size();
            while (i < end && (status[i] == ' ' || status[i] == '\t')) ++i;
            uint64_t value = 0;
            size_t digits = 0;
            for (; i < end; ++i, ++digits) {
                const char c = status[i];
                int nibble;
                if (c >= '0' && c <= '9')
                    nibble = c - '0';
                else if (c >= 'a' && c <= 'f')
                    nibble = c - 'a' + 10;
                else if (c >= 'A' && c <= 'F')
                    nibble = c - 'A' + 10;
                else
                    break;
                if (digits == 16) return false;  // wider than the 64-bit set
                value = value << 4 | static_cast<uint64_t>(nibble);
            }
            while (i < end && (status[i] == ' ' || status[i] == '\t')) ++i;
            if (digits == 0 || i != end) return false;
            capabilities = value;
            return true;
        }
        line = end + 1;
    }
    return false;
}

HostSecurity::HostSecurity(uid_t (*effectiveUser)(), std::string statusPath)
    : effectiveUser_(effectiveUser), statusPath_(std::move(statusPath)) {}

uid_t HostSecurity::EffectiveUser() const {
    return effectiveUser_ != nullptr ? effectiveUser_() : ::geteuid();
}

bool HostSecurity::OpenProcessToken(uint32_t /*desiredAccess*/, Handle& token) {
    token = kProcessToken;
    return true;
}

bool HostSecurity::GetTokenGroups(Handle token, std::vector<Sid>& groups) {
    if (token != kProcessToken) {
        t_lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    std::ifstream file(statusPath_);
    const std::string status{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    uint64_t capabilities = 0;
    if (!file.is_open() || !ParseEffectiveCapabilities(status, capabilities)) {
        t_lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    const bool rawIo = (capabilities >> kCapSysRawio & 1) != 0;
    groups = {rawIo ? AdministratorsSid() : UsersSid()};
    return true;
}

bool HostSecurity::LookupPrivilegeValue(const char* name, uint64_t& luid) {
    if (name == nullptr || std::strcmp(name, kShutdownPrivilege) != 0) {
        t_lastError = ERROR_NO_SUCH_PRIVILEGE;
        return false;
    }
    luid = kShutdownPrivilegeLuid;
    return true;
}

bool HostSecurity::AdjustTokenPrivileges(Handle token, uint64_t luid) {
    if (token != kProcessToken) {
        t_lastError = ERROR_INVALID_HANDLE;
        return false;
    }
    if (luid != kShutdownPrivilegeLuid) {
        t_lastError = ERROR_NO_SUCH_PRIVILEGE;
        return false;
    }
    // Only root may have the system rebooted.
    t_lastError = EffectiveUser() == 0 ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
    return true;
}

uint32_t HostSecurity::GetLastError() { return t_lastError; }

bool HostSecurity::CloseHandle(Handle token) { return token == kProcessToken; }

HostRestart::HostRestart(ProgramRunner run) : run_(std::move(run)) {}

bool HostRestart::ExitWindowsEx(uint32_t flags, uint32_t /*reason*/) {
    if (flags != EWX_REBOOT) return false;
    return run_({"systemctl", "reboot"});
}

bool HostRegistry::RegOpenKeyEx(Handle /*root*/, const char* /*subKey*/, Handle& key) {
    key = 0;
    return false;
}

bool HostRegistry::RegQueryValueEx(Handle /*key*/, const char* /*name*/, char* /*data*/,
                                   uint32_t& /*size*/) {
    return false;
}

void HostRegistry::RegCloseKey(Handle /*key*/) {}

}  // namespace platform::host
