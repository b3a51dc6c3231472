// Running maxhost as a process from the tests, and the scratch folders the
// tests write into.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace cli_test {

struct Result {
    int status = -1;  // the exit status, or -1 when the process did not exit
    std::string output;
};

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

// A fresh folder named after the running test.
inline std::filesystem::path scratch_dir(const std::string &prefix) {
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                (prefix + "-" + std::string(info->name()) + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace cli_test
