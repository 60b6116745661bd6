#include "platform/Services.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {
Services g_services;
bool g_installed = false;

template <typename T>
void Take(T*& mine, T* theirs) {
    if (theirs != nullptr) mine = theirs;
}
}  // namespace

Services& Current() {
    if (!g_installed) {
        std::fprintf(stderr, "no machine installed: the platform services were used before start-up\n");
        std::abort();
    }
    return g_services;
}

bool IsInstalled() { return g_installed; }

void Install(const Services& s) {
    Take(g_services.Version, s.Version);
    Take(g_services.DriveType, s.DriveType);
    Take(g_services.DeviceOpen, s.DeviceOpen);
    Take(g_services.DeviceControl, s.DeviceControl);
    Take(g_services.Libraries, s.Libraries);
    Take(g_services.Clock, s.Clock);
    Take(g_services.CommandLine, s.CommandLine);
    Take(g_services.Language, s.Language);
    Take(g_services.Processes, s.Processes);
    Take(g_services.Security, s.Security);
    Take(g_services.Restart, s.Restart);
    Take(g_services.Registry, s.Registry);
    Take(g_services.Shell, s.Shell);
    Take(g_services.MessageBoxes, s.MessageBoxes);
    g_installed = true;
}

void Uninstall() {
    g_services = Services{};
    g_installed = false;
}

Sid AdministratorsSid() { return Sid{{0, 0, 0, 0, 0, 5}, {32, 544}}; }

Sid UsersSid() { return Sid{{0, 0, 0, 0, 0, 5}, {32, 545}}; }

bool ProcessTokenHasAdministrators(ISecurity& security) {
    Handle token = 0;
    if (!security.OpenProcessToken(TOKEN_QUERY, token)) return false;
    std::vector<Sid> groups;
    const bool readable = security.GetTokenGroups(token, groups);
    bool member = false;
    if (readable) {
        const Sid administrators = AdministratorsSid();
        for (const Sid& group : groups)
            if (group == administrators) member = true;
    }
    security.CloseHandle(token);
    return member;
}

}  // namespace platform
