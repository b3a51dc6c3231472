// Running maxhost as a process from the tests.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace cli_test {

struct Result {
    int status = -1;  // the exit status, or -1 when the process did not exit
    std::string output;
};

// The emulator that runs the project's programs in a build for another
// processor, which the build names in MAXHOST_TEST_EMULATOR (the program
// and its options, separated by blanks); nothing in a native build.  No
// kernel handler is relied on to find it by itself.
inline std::vector<std::string> emulator() {
    std::vector<std::string> words;
    if (const char *e = std::getenv("MAXHOST_TEST_EMULATOR")) {
        std::istringstream in(e);
        for (std::string w; in >> w;) words.push_back(w);
    }
    return words;
}

// A shell command line's start that runs the program at path.
inline std::string command_line(const std::string &path) {
    std::string line;
    for (const std::string &w : emulator()) line += w + " ";
    return line + path;
}

// The argument vector that runs args[0], one of the project's programs,
// with args[1...].
inline std::vector<std::string> program_args(const std::vector<std::string> &args) {
    std::vector<std::string> all = emulator();
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

// Runs a shell command line; output is what it printed on the streams the
// line sends to the pipe.
inline Result shell(const std::string &line) {
    Result r;
    FILE *p = popen(line.c_str(), "r");
    if (!p) {
        ADD_FAILURE() << "cannot run " << line;
        return r;
    }
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    int w = pclose(p);
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    return r;
}

// Starts one of the project's programs in the background, standard output and error into one
// file, with the stop signals at their default actions whatever the test
// runner left them at.  -1 when it cannot be started.
inline pid_t spawn(const std::vector<std::string> &args, const std::filesystem::path &output) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, stops;
    sigemptyset(&none);
    sigemptyset(&stops);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) sigaddset(&stops, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &stops);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::vector<std::string> all = program_args(args);
    std::vector<char *> argv;
    for (const std::string &a : all) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, &attr, argv.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// Asks until done() says yes, for at most a minute; false if it never did.
inline bool poll_until(const std::function<bool()> &done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Waits for a spawned process; kills it when it has not ended within a
// minute (a failure).  Its wait status.
inline int wait_for(pid_t pid) {
    int status = 0;
    if (!poll_until([&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
        ADD_FAILURE() << "process " << pid << " did not end; killed";
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return status;
}

}  // namespace cli_test
