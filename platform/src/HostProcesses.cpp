// The process list of the Linux host, read from /proc, and termination by
// signal.
#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fstream>
#include <memory>

#include "platform/Host.h"

namespace platform::host {

namespace {

// A process id from a /proc entry name: decimal digits only, no leading zero,
// at most INT_MAX.
bool ParseProcessId(const char* name, uint32_t& processId) {
    if (name[0] < '1' || name[0] > '9') return false;
    uint64_t value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + static_cast<uint64_t>(*p - '0');
        if (value > INT_MAX) return false;
    }
    processId = static_cast<uint32_t>(value);
    return true;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file name of the process's executable, from its "exe" link.
bool ExecutableName(const std::string& processDirectory, std::string& name) {
    char target[PATH_MAX];
    const std::string link = processDirectory + "/exe";
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return false;
    std::string path(target, static_cast<size_t>(length));
    // The kernel marks an executable file that was removed while running.
    static const std::string kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() &&
        path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        path.resize(path.size() - kDeleted.size());
    name = BaseName(path);
    return !name.empty();
}

// The process's command name from its "comm" file (one line).
bool CommandName(const std::string& processDirectory, std::string& name) {
    std::ifstream comm(processDirectory + "/comm");
    if (!comm || !std::getline(comm, name)) return false;
    return !name.empty();
}

bool IsProcessHandle(Handle process) { return process > 0 && process <= INT_MAX; }

}  // namespace

bool ReadProcessList(const std::string& procRoot, std::vector<ProcessEntry>& processes) {
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::opendir(procRoot.c_str()), ::closedir);
    if (!directory) return false;
    std::vector<ProcessEntry> found;
    while (const dirent* entry = ::readdir(directory.get())) {
        ProcessEntry process{};
        if (!ParseProcessId(entry->d_name, process.ProcessId)) continue;
        const std::string processDirectory = procRoot + "/" + entry->d_name;
        if (ExecutableName(processDirectory, process.ExeFile) ||
            CommandName(processDirectory, process.ExeFile))
            found.push_back(std::move(process));
    }
    processes = std::move(found);
    return true;
}

HostProcesses::HostProcesses(std::string procRoot) : procRoot_(std::move(procRoot)) {}

bool HostProcesses::Snapshot(std::vector<ProcessEntry>& processes) {
    return ReadProcessList(procRoot_, processes);
}

Handle HostProcesses::OpenProcess(uint32_t processId) {
    // Ids 0 and past INT_MAX would make kill() signal whole process groups.
    if (!IsProcessHandle(processId)) return 0;
    const pid_t pid = static_cast<pid_t>(processId);
    return ::kill(pid, 0) == 0 ? static_cast<Handle>(pid) : 0;
}

bool HostProcesses::GetExitCodeProcess(Handle process, uint32_t& exitCode) {
    if (!IsProcessHandle(process)) return false;
    exitCode = STILL_ACTIVE;
    return true;
}

bool HostProcesses::TerminateProcess(Handle process, uint32_t /*exitCode*/) {
    return IsProcessHandle(process) && ::kill(static_cast<pid_t>(process), SIGTERM) == 0;
}

bool HostProcesses::CloseHandle(Handle process) { return IsProcessHandle(process); }

}  // namespace platform::host
