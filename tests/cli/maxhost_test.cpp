// The maxhost executable: command line, exit status, and both output streams
// as a terminal or a pipe sees them, with the probe bundle from --plugins.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli_process.hpp"
#include "scratch_dir.hpp"
#include "script_session.hpp"

extern char **environ;

namespace fs = std::filesystem;

namespace {

using cli_test::Result;
using cli_test::shell;

// The command that starts maxhost on a shell line.
const std::string maxhost = cli_test::command_line(MAXHOST_EXE);

// maxhost at the other end of two pipes, as a program driving it sees it:
// one to its standard input, one from its standard output and error.
// Reads wait for what they read; the test's time limit ends a wait that
// never ends.
class Driven {
public:
    explicit Driven(const std::vector<std::string> &program) {
        std::vector<std::string> args = cli_test::program_args(program);
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipe";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        std::vector<char *> argv;
        for (auto &a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot run " << args[0];
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
        // A write to a maxhost that has gone fails the test, not the process.
        signal(SIGPIPE, SIG_IGN);
    }
    ~Driven() {
        close_input();
        if (from_ >= 0) close(from_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    Driven(const Driven &) = delete;
    Driven &operator=(const Driven &) = delete;

    void write_line(std::string_view text) {
        std::string line(text);
        line += '\n';
        for (std::size_t done = 0; done < line.size();) {
            const ssize_t n = write(to_, line.data() + done, line.size() - done);
            if (n < 0 && errno == EINTR) continue;
            ASSERT_GT(n, 0) << "maxhost no longer reads its input";
            done += static_cast<std::size_t>(n);
        }
    }
    // The next line it prints, without its line break; nothing once it has
    // closed both streams.
    std::optional<std::string> read_line() {
        for (;;) {
            if (const auto end = pending_.find('\n'); end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            char buf[4096];
            const ssize_t n = read(from_, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            pending_.append(buf, static_cast<std::size_t>(n));
        }
    }
    void close_input() {
        if (to_ >= 0) close(to_);
        to_ = -1;
    }
    void send_signal(int sig) {
        if (pid_ > 0) kill(pid_, sig);
    }
    // Waits until it is blocked reading a pipe (its standard input); false
    // when that is not seen within some seconds.
    bool wait_reading() {
        const std::string wchan = "/proc/" + std::to_string(pid_) + "/wchan";
        for (int i = 0; i < 10000; ++i) {
            std::ifstream f(wchan);
            std::string where;
            if (std::getline(f, where) && where.find("pipe_read") != std::string::npos) return true;
            usleep(1000);
        }
        return false;
    }
    // Its exit status, once it has ended; minus the signal that ended it.
    int wait() {
        int w = 0;
        if (pid_ <= 0 || waitpid(pid_, &w, 0) != pid_) return -1000;
        pid_ = -1;
        return WIFEXITED(w) ? WEXITSTATUS(w) : WIFSIGNALED(w) ? -WTERMSIG(w) : -1000;
    }

private:
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    std::string pending_;
};

TEST(MaxhostCommandLine, HelpDocumentsEveryCommandAndOption) {
    Result r = shell(maxhost + " --help 2>/dev/null");
    EXPECT_EQ(r.status, 0);
    for (const char *item : {"run [--bits 16|24|float] [--record-all DIR] [--max-errors N] SCRIPT",
                             "--max-errors N",
                             "--plugins DIR",
                             "--path DIR",
                             "--quiet",
                             "--version",
                             "help [TOPIC]",
                             "record NAME FILE",
                             "stop NAME",
                             "0xFFFFFFFF",
                             "SIGINT",
                             ".flac",
                             "TESSEL~",
                             "BRINDLE~",
                             "new NAME CLASS",
                             "send NAME",
                             "signal NAME INLET VALUE|FILE|none",
                             "dsp SR VS",
                             "dsp off",
                             "run SECONDS",
                             "ticks N",
                             "write NAME FILE",
                             "disable NAME 0|1",
                             "free NAME",
                             "path DIR",
                             "dialog FILE",
                             "dialog cancel",
                             "Exit status",
                             "\\xHH",
                             "NAME OUTLET: SELECTOR ATOMS",
                             "error: ",
                             "alert: ",
                             "current directory",
                             "markers [--peak] [--json] [--verbose] FILE...",
                             "\"sampleRate\"",
                             "\\u00XX",
                             "Exit status of markers"})
        EXPECT_NE(r.output.find(item), std::string::npos) << item;
}

// The objects' help is made from their reference files at build time; what
// it prints stays what it printed when it was written by hand (copies in
// tests/cli/help/), alone and at the end of --help.
TEST(MaxhostCommandLine, ObjectHelpIsTheSavedText) {
    const Result all = shell(maxhost + " --help 2>/dev/null");
    std::string objects;
    for (const std::string object : {"tessel~", "brindle~"}) {
        const std::string saved = test_support::read_file(fs::path(MAXHOST_HELP_COPIES) / (object + ".txt"));
        ASSERT_FALSE(saved.empty()) << object;
        const Result r = shell(maxhost + " help " + object + " 2>&1");
        EXPECT_EQ(r.status, 0) << object;
        EXPECT_EQ(r.output, saved) << object;
        objects += "\n" + saved;
    }
    EXPECT_TRUE(all.output.ends_with(objects));
}

TEST(MaxhostCommandLine, BadUsageExitsTwo) {
    const test_support::ScratchDir dir("maxhost-exe");
    std::ofstream(dir / "ok.txt") << "# nothing\n";
    const std::string ok = (dir / "ok.txt").string();
    for (const std::string &args :
         {std::string(""), std::string("frobnicate"), std::string("--frob run ") + ok, std::string("run"),
          "run " + ok + " " + ok, "run --peak " + ok, std::string("run ") + (dir / "missing.txt").string(),
          std::string("run --plugins"), "run --max-errors " + ok, "run --max-errors -1 " + ok,
          "run --max-errors 2x " + ok, "run --max-errors 99999999999 " + ok}) {
        Result r = shell(maxhost + " " + args + " 2>&1");
        EXPECT_EQ(r.status, 2) << args << ": " << r.output;
        EXPECT_EQ(r.output.rfind("maxhost: ", 0), 0u) << args << ": " << r.output;
    }
    EXPECT_EQ(shell(maxhost + " run " + ok + " 2>&1").status, 0);
    EXPECT_EQ(shell(maxhost + " run --max-errors 0 " + ok + " 2>&1").status, 0);
}

TEST(MaxhostRun, StreamsKeepTheirOrderThroughOnePipe) {
    const test_support::ScratchDir dir("maxhost-exe");
    std::ofstream(dir / "s.txt") << "new p probe\n"
                                    "send p say hi, 1\n"
                                    "send q 1\n"
                                    "send p complain x, 2\n";
    // Relative to the current directory, as any file named on a command line.
    Result r = shell("cd " + dir.string() + " && " + maxhost + " --plugins " + CLI_TEST_PLUGIN_DIR +
                     " run s.txt 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output,
              "probe says hi\n"
              "p 1: int 1\n"
              "maxhost: s.txt:3: unknown box \"q\"\n"
              "error: probe: x\n"
              "p 1: int 2\n");

    // The bundle is found only through --plugins; standard output alone
    // holds only the outlet messages.
    Result without = shell("cd " + dir.string() + " && " + maxhost + " run s.txt 2>/dev/null");
    EXPECT_EQ(without.status, 1);
    EXPECT_EQ(without.output, "");
    Result out_only = shell("cd " + dir.string() + " && " + maxhost + " run --plugins " +
                            CLI_TEST_PLUGIN_DIR + " s.txt 2>/dev/null");
    EXPECT_EQ(out_only.output, "p 1: int 1\np 1: int 2\n");
}

TEST(MaxhostRun, RelativeNamesFollowTheCurrentDirectory) {
    const test_support::ScratchDir dir("maxhost-exe");
    auto write = [&](const fs::path &rel, const std::string &text) {
        fs::create_directories((dir / rel).parent_path());
        std::ofstream(dir / rel) << text;
    };
    write("scripts/s.txt",
          "new p probe\n"
          "send p find near.wav\n"
          "send p find opt.wav\n"
          "path data\n"
          "send p find far.wav\n"
          "dialog data/far.wav\n"
          "send p choose\n");
    write("scripts/near.wav", "near");
    write("options/opt.wav", "opt");
    write("data/far.wav", "far");
    // Where "path data" would lead if it were taken from the script's folder.
    write("scripts/data/far.wav", "wrong");
    Result r = shell("cd " + dir.string() + " && " + maxhost + " --plugins " + CLI_TEST_PLUGIN_DIR +
                     " --path options run scripts/s.txt 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              "p 0: found near.wav near\n"
              "p 0: found opt.wav opt\n"
              "p 0: found far.wav far\n"
              "p 0: chose far.wav far\n");
}

TEST(MaxhostRun, ReadsAScriptFromStandardInput) {
    Result r = shell("printf 'dsp 44100 64\\nticks 2\\nbogus\\n' | " + maxhost + " run - 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "maxhost: <stdin>:3: unknown command \"bogus\"\n");
}

// A program driving maxhost through a pipe writes a line and waits for its
// replies before it writes the next: each line must run as it arrives,
// its output flushed, without waiting for the end of the input.
TEST(MaxhostRun, StandardInputRunsEachLineAsItArrives) {
    const test_support::ScratchDir dir("maxhost-exe");
    const std::string wav = (dir / "t.wav").string();
    Driven m({MAXHOST_EXE, "--quiet", "--plugins", CLI_TEST_PLUGIN_DIR, "run", "-"});
    m.write_line("new p probe");
    m.write_line("send p 1");
    EXPECT_EQ(m.read_line(), "p 1: int 1");
    m.write_line("bogus");
    EXPECT_EQ(m.read_line(), "maxhost: <stdin>:3: unknown command \"bogus\"");
    // No write was known when the box was made, yet it keeps its outlets;
    // the reply to the line after the write says the write has run.
    for (const char *line : {"new t tessel~ 1 1", "signal t 0 1", "dsp 44100 64", "ticks 3"})
        m.write_line(line);
    m.write_line("write t " + wav);
    m.write_line("send p 2");
    EXPECT_EQ(m.read_line(), "p 1: int 2");
    EXPECT_EQ(cli_test::read_sound(wav).info.frames, 3 * 64);

    // A NUL byte ends the run at once, with the input still open.
    m.write_line(std::string_view("send p 3\0", 9));
    EXPECT_EQ(m.read_line(), "maxhost: <stdin>:10: not a script: it holds a NUL byte");
    EXPECT_EQ(m.read_line(), std::nullopt);
    EXPECT_EQ(m.wait(), 2);
}

// Ctrl-C while maxhost waits for its next line ends the wait, and the run
// is stopped as one stopped between vectors is.
TEST(MaxhostRun, ASignalEndsAWaitForStandardInput) {
    Driven m({MAXHOST_EXE, "--quiet", "run", "-"});
    ASSERT_TRUE(m.wait_reading());
    m.send_signal(SIGINT);
    EXPECT_EQ(m.read_line(), "maxhost: <stdin>: stopped by SIGINT");
    EXPECT_EQ(m.wait(), -SIGINT);
}

}  // namespace
