// Token, restart and registry of the Linux host.
#include <unistd.h>

#include <cstring>

#include "platform/Host.h"

namespace platform::host {

namespace {

// The one token there is: the process's own.
constexpr Handle kProcessToken = 0x70CE;

constexpr const char* kShutdownPrivilege = "SeShutdownPrivilege";

// Windows keeps the last error per thread.
thread_local uint32_t t_lastError = ERROR_SUCCESS;

}  // namespace

Sid UsersSid() { return Sid{{0, 0, 0, 0, 0, 5}, {32, 545}}; }

HostSecurity::HostSecurity(uid_t (*effectiveUser)()) : effectiveUser_(effectiveUser) {}

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
    groups = {EffectiveUser() == 0 ? AdministratorsSid() : UsersSid()};
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
