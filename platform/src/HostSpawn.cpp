// Starting other programs on the Linux host: the reboot request and the
// shell's "open".
#include <fcntl.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/Host.h"

namespace platform::host {

namespace {

// The argument vector as C strings, built before fork: the child must not
// allocate, since another thread may have held the allocator's lock.
std::vector<char*> CArguments(const std::vector<std::string>& argv) {
    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    return arguments;
}

// In a child: the program runs with no signal blocked, whatever the forking
// thread had blocked.  On failure errno goes to reportFd (when given).
[[noreturn]] void Exec(char* const* arguments, int reportFd) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execvp(arguments[0], arguments);
    if (reportFd >= 0) {
        const int error = errno;
        [[maybe_unused]] const ssize_t written = write(reportFd, &error, sizeof error);
    }
    _exit(127);
}

bool WaitForExit(pid_t pid, int& status) {
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return true;
}

bool ExitedWithZero(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

}  // namespace

bool RunAndWait(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty()) return false;
    const std::vector<char*> arguments = CArguments(argv);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) Exec(arguments.data(), -1);
    int status = 0;
    return WaitForExit(pid, status) && ExitedWithZero(status);
}

bool StartDetached(const std::vector<std::string>& argv) {
    if (argv.empty() || argv[0].empty()) return false;
    const std::vector<char*> arguments = CArguments(argv);
    // The program reports a failed exec through this pipe; a successful exec
    // closes it unwritten.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    const pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        // The program runs in a grandchild in a session of its own; this child
        // leaves at once, so the program is adopted by init and nobody here
        // has to reap it.
        close(report[0]);
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            setsid();
            Exec(arguments.data(), report[1]);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(report[1]);
    int status = 0;
    const bool forked = WaitForExit(child, status) && ExitedWithZero(status);
    int error = 0;
    ssize_t got;
    do {
        got = read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    return forked && got == 0;
}

HostShell::HostShell(ProgramRunner start) : start_(std::move(start)) {}

bool HostShell::ShellExecute(const void* /*owner*/, const char* verb, const char* file,
                             const char* parameters, int /*showCommand*/) {
    if (verb != nullptr && strcasecmp(verb, "open") != 0) return false;
    if (file == nullptr || file[0] == '\0') return false;
    const std::string parameter = parameters != nullptr ? parameters : "";
    // Notepad is the log viewer: the desktop's viewer for the file stands in.
    if (strcasecmp(file, "Notepad.exe") == 0) {
        if (parameter.empty()) return false;
        return start_({"xdg-open", parameter});
    }
    std::vector<std::string> argv{file};
    if (!parameter.empty()) argv.push_back(parameter);
    return start_(argv);
}

}  // namespace platform::host
