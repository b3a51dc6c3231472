// The maxhost executable: command line, exit status, and both output streams
// as a terminal or a pipe sees them, with the probe bundle from --plugins.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli_process.hpp"

namespace fs = std::filesystem;

namespace {

using cli_test::Result;
using cli_test::shell;

const std::string maxhost = MAXHOST_EXE;

fs::path scratch_dir() { return cli_test::scratch_dir("maxhost-exe"); }

TEST(MaxhostCommandLine, HelpDocumentsEveryCommandAndOption) {
    Result r = shell(maxhost + " --help 2>/dev/null");
    EXPECT_EQ(r.status, 0);
    for (const char *item : {"run [--bits 16|24|float] [--record-all DIR] SCRIPT",
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

TEST(MaxhostCommandLine, BadUsageExitsTwo) {
    fs::path dir = scratch_dir();
    std::ofstream(dir / "ok.txt") << "# nothing\n";
    const std::string ok = (dir / "ok.txt").string();
    for (const std::string &args :
         {std::string(""), std::string("frobnicate"), std::string("--frob run ") + ok, std::string("run"),
          "run " + ok + " " + ok, "run --peak " + ok, std::string("run ") + (dir / "missing.txt").string(),
          std::string("run --plugins")}) {
        Result r = shell(maxhost + " " + args + " 2>&1");
        EXPECT_EQ(r.status, 2) << args << ": " << r.output;
        EXPECT_EQ(r.output.rfind("maxhost: ", 0), 0u) << args << ": " << r.output;
    }
    EXPECT_EQ(shell(maxhost + " run " + ok + " 2>&1").status, 0);
    fs::remove_all(dir);
}

TEST(MaxhostRun, StreamsKeepTheirOrderThroughOnePipe) {
    fs::path dir = scratch_dir();
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
    fs::remove_all(dir);
}

TEST(MaxhostRun, RelativeNamesFollowTheCurrentDirectory) {
    fs::path dir = scratch_dir();
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
    fs::remove_all(dir);
}

TEST(MaxhostRun, ReadsAScriptFromStandardInput) {
    Result r = shell("printf 'dsp 44100 64\\nticks 2\\nbogus\\n' | " + maxhost + " run - 2>&1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "maxhost: <stdin>:3: unknown command \"bogus\"\n");
}

}  // namespace
