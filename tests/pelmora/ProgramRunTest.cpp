// The Pelmora program itself, run as a script runs it: its exit status, and
// what a headless run ("ui auto") says on stderr when it is left waiting for
// a user nobody is, and when the simulated system restarts.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "simdrive/FirmwareImage.h"
#include "support/ScratchDirectory.h"

extern char** environ;

namespace {

struct Outcome {
    int Status = -1;     // exit status, or 128 + signal
    std::string Stderr;
    bool Killed = false; // ended by the test once `waitFor` appeared
};

// Runs Pelmora in `dir` on the machine described by `machine`.  With
// `waitFor`, the program is ended (SIGTERM) once that text appears on its
// stderr; otherwise it must end by itself.  Either within 60 s.
Outcome RunPelmora(const std::string& dir, const std::string& machine, const std::string& waitFor = "") {
    const std::string machinePath = dir + "/test.machine";
    std::ofstream(machinePath) << machine;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<std::string> env = {"SIMULATED_MACHINE=" + machinePath, "QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, "SIMULATED_MACHINE=", 18) != 0 && std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0)
            env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = PELMORA_EXE;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    Outcome outcome;
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return outcome;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd fd{pipeFds[0], POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        outcome.Stderr.append(buffer, static_cast<size_t>(got));
        if (!waitFor.empty() && outcome.Stderr.find(waitFor) != std::string::npos) {
            outcome.Killed = true;
            break;
        }
    }
    ::kill(pid, SIGTERM);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

const char kDrive[] = "drive d: vendor \"SIMDRIVE\" product \"DVD-RW SD-1000\" revision \"1.00\" code \"SDA\"\n";
const char kWaiting[] = "ui: Pelmora waits for a user";

struct RunCase {
    const char* Name;
    const char* CommandLine;
    bool Drive;
    bool AutoRunFile;
    const char* Restart;  // "accept" or "refuse"
    int Status;           // exit status; -1: the run waits for a user
    const char* Says;     // a line it must print on stderr
};

const RunCase kRuns[] = {
    {"LiveCompletes", "Pelmora.exe -LIVE", true, true, "refuse", 0, nullptr},
    {"LiveWithoutDrive", "Pelmora.exe -LIVE", false, true, "refuse", 6, nullptr},
    {"PathToAMissingFile", "Pelmora.exe fw/NONE.BIN", true, false, "refuse", 9, nullptr},
    {"AutoRunRestartAccepted", "Pelmora.exe", true, true, "accept", 0,
     "ui: restart accepted: the simulated system restarts and ends Pelmora\n"},
    {"AutoRunRestartRefused", "Pelmora.exe", true, true, "refuse", -1, nullptr},
    {"PlainStart", "Pelmora.exe", true, false, "refuse", -1, nullptr},
};

class ProgramRunTest : public ::testing::TestWithParam<RunCase> {
protected:
    testsupport::ScratchDirectory scratch{"pelmora-run"};
    std::string dir = scratch.Path().string();
};

TEST_P(ProgramRunTest, EndsWithItsStatusOrSaysItWaits) {
    const RunCase& c = GetParam();
    if (c.AutoRunFile) {
        std::string error;
        ASSERT_TRUE(sim::WriteFirmwareImage(dir + "/AUTORUN.BIN", {}, error)) << error;
    }
    std::string machine = "platform nt\nadmin yes\nui auto\nclock virtual\nrestart " + std::string(c.Restart) +
                          "\ncommandline \"" + c.CommandLine + "\"\n";
    if (c.Drive) machine += kDrive;
    const Outcome run = RunPelmora(dir, machine, c.Status < 0 ? kWaiting : "");
    if (c.Status < 0) {
        EXPECT_TRUE(run.Killed) << run.Stderr;
        const std::string how = "; nobody answers with \"ui auto\": end it with Ctrl+C or kill ";
        EXPECT_NE(run.Stderr.find(kWaiting + how), std::string::npos) << run.Stderr;
    } else {
        EXPECT_FALSE(run.Killed);
        EXPECT_EQ(run.Status, c.Status) << run.Stderr;
        EXPECT_EQ(run.Stderr.find(kWaiting), std::string::npos) << run.Stderr;
    }
    if (c.Says != nullptr) {
        EXPECT_NE(run.Stderr.find(c.Says), std::string::npos) << run.Stderr;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgramRunTest, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.Name); });

}  // namespace
