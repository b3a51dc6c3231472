// The script runner against a host holding the test classes: what reaches
// standard output and standard error, which lines fail, how many vectors a
// run takes, and the sound files it reads and writes.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "script_session.hpp"
#include "scratch_dir.hpp"

using maxhost::ScriptRunner;
using maxhost::vectors_for_seconds;
namespace fs = std::filesystem;

namespace {

using cli_test::read_sound;
using cli_test::Session;
using cli_test::Sound;

// 16-bit PCM written as integers, so that reading it back as floats (a
// division by 32768) is exact.
void write_pcm16(const fs::path &path, int channels, const std::vector<int16_t> &frames) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_count_t n = static_cast<sf_count_t>(frames.size()) / channels;
    EXPECT_EQ(sf_writef_short(f, frames.data(), n), n);
    sf_close(f);
}

TEST(RunLength, SmallestWholeNumberOfVectors) {
    EXPECT_EQ(vectors_for_seconds("1", 44100, 64), 690);  // 689.06 vectors
    EXPECT_EQ(vectors_for_seconds("0.5", 48000, 64), 375);
    EXPECT_EQ(vectors_for_seconds("2.", 44100, 1), 88200);
    EXPECT_EQ(vectors_for_seconds("0", 44100, 64), 0);
    EXPECT_EQ(vectors_for_seconds("1e-9", 44100, 64), 1);
    // The float nearest 0.1 is a little above it: 75.0000011 vectors, which
    // must still be 75.
    EXPECT_EQ(vectors_for_seconds("0.1", 48000, 64), 75);
    EXPECT_EQ(vectors_for_seconds("0.3", 44100, 147), 90);
    // Within a millionth of a sample of a boundary counts as on it; more
    // than that needs one more vector.
    EXPECT_EQ(vectors_for_seconds("0.0013333333333333333", 48000, 64), 1);
    EXPECT_EQ(vectors_for_seconds("0.00133334", 48000, 64), 2);
    EXPECT_EQ(vectors_for_seconds("-1", 44100, 64), -1);
    EXPECT_EQ(vectors_for_seconds("1e400", 44100, 64), -1);
    EXPECT_EQ(vectors_for_seconds("soon", 44100, 64), -1);
}

TEST(ScriptOutput, EachOutletMessageIsOneLine) {
    Session s;
    EXPECT_EQ(s.run("new p probe\n"
                    "send p 5\n"
                    "send p bang\n"
                    "send p 1000.\n"
                    "send p 1 -0. foo \"a b\" \"7\" \"\"\n"
                    "send p echo caf\xc3\xa9 \"#x\" 1e+20 \"x\\ny\"\n"),
              0);
    EXPECT_EQ(s.out.str(),
              "p 1: int 5\n"
              "p 1: bang\n"
              "p 0: float 1000.\n"
              "p 0: list 1 -0. foo \"a b\" \"7\" \"\"\n"
              "p 0: echo caf\xc3\xa9 \"#x\" 1e+20 \"x\\ny\"\n");
    EXPECT_EQ(s.err.str(), "");
}

TEST(ScriptOutput, CommasMakeOneEventAndDeferredWorkFollowsIt) {
    Session s;
    EXPECT_EQ(s.run("new p probe\n"
                    "send p later x, 1, , 2,\n"
                    "send p 3\n"),
              0);
    // The deferred call runs after both ints of its line, before the next.
    EXPECT_EQ(s.out.str(),
              "p 1: int 1\n"
              "p 1: int 2\n"
              "p 0: later x\n"
              "p 1: int 3\n");
}

TEST(ScriptOutput, WorkDeferredByACreationRunsAtTheEndOfItsLine) {
    Session s;
    ScriptRunner runner(s.host, s.out, s.out);
    // brindle~ opens a file named in its box later; the failure shows at
    // once, before the next line does anything.
    std::istringstream in(
        "new b brindle~ surely-not-here.wav\n"
        "new p probe\n"
        "send p 7\n");
    EXPECT_EQ(runner.run(in, "s.txt"), 0);
    const std::string text = s.out.str();
    const auto found = text.find("error: File not found?\n");
    ASSERT_NE(found, std::string::npos) << text;
    EXPECT_LT(found, text.find("p 1: int 7"));
}

TEST(ScriptOutput, ConsoleLinesArePrefixedAndInterleavedInOrder) {
    Session s;
    ScriptRunner runner(s.host, s.out, s.out);
    std::istringstream in(
        "new p probe\n"
        "send p say hello, 4, complain oops, alarm fire\n"
        "new q nosuchclass\n");
    EXPECT_EQ(runner.run(in, "s.txt"), 1);
    EXPECT_EQ(s.out.str(),
              "probe says hello\n"
              "p 1: int 4\n"
              "error: probe: oops\n"
              "alert: probe alarm fire\n"
              "host: no bundle for class nosuchclass\n"
              "maxhost: s.txt:3: box \"q\" not created: no class \"nosuchclass\"\n");
}

TEST(ScriptErrors, NameTheLineAndTheRunGoesOn) {
    Session s;
    EXPECT_EQ(s.run("# a comment\n"
                    "new p probe\n"
                    "send nobody 1\n"
                    "frob p\n"
                    "new q probe -1\n"
                    "send p \"unterminated\n"
                    "send p 9\n"),
              1);
    EXPECT_EQ(s.err.str(),
              "maxhost: s.txt:3: unknown box \"nobody\"\n"
              "maxhost: s.txt:4: unknown command \"frob\"\n"
              "error: probe: cannot make -1\n"
              "maxhost: s.txt:5: box \"q\" not created: probe refused it\n"
              "maxhost: s.txt:6: column 8: unterminated quote\n");
    EXPECT_EQ(s.out.str(), "p 1: int 9\n");
}

TEST(ScriptErrors, AnObjectsOwnErrorDoesNotFailTheLine) {
    Session s;
    EXPECT_EQ(s.run("new p probe\r\nsend p complain loudly\r\nsend p nosuchmessage\r\n"), 0);
    EXPECT_EQ(s.err.str(),
              "error: probe: loudly\n"
              "error: probe: doesn't understand \"nosuchmessage\"\n");
}

TEST(ScriptErrors, EveryMalformedCommandFailsItsLine) {
    const std::vector<std::string> bad = {
        "new",
        "new p probe",  // the name is taken
        "new 1 probe",
        "new x",
        "new x probe , 1",
        "send p",
        "send p ,",
        "7 p",
        "signal r 1 0.5",
        "signal r 0",
        "signal r 0 no-such-file.wav",
        "signal p 0 1.",
        "dsp 0 64",
        "dsp 44100 0",
        "dsp 44100 64.",
        "dsp on",
        "run -1",
        "run soon",
        "ticks -1",
        "ticks 1.5",
        "write p out.wav",  // no signal outlets
        "write r",
        "disable r 2",
        "free",
        "free p p",
        "path",
        "dialog",
    };
    std::string script = "new p probe\nnew r ramp~\n";
    for (const std::string &line : bad) script += line + "\n";
    Session s;
    ScriptRunner runner(s.host, s.out, s.err);
    runner.set_max_errors(0);
    std::istringstream in(script);
    EXPECT_EQ(runner.run(in, "s.txt"), 1);
    std::istringstream err(s.err.str());
    std::string line;
    std::size_t k = 0;
    while (std::getline(err, line)) {
        ASSERT_LT(k, bad.size()) << line;
        std::string prefix = "maxhost: s.txt:" + std::to_string(k + 3) + ": ";
        EXPECT_EQ(line.rfind(prefix, 0), 0u) << bad[k] << " -> " << line;
        ++k;
    }
    EXPECT_EQ(k, bad.size());
    EXPECT_EQ(s.out.str(), "");
}

// A run stops at the max_errors-th failed line (0: never), naming the
// script's length when it was read whole.
TEST(ScriptErrors, TheRunStopsAtTheFailedLineItIsToldTo) {
    using Reading = ScriptRunner::Reading;
    std::string script = "new p probe\n";
    for (int k = 0; k < 6; ++k) script += "nonsense\nsend p " + std::to_string(k) + "\n";
    struct Case {
        int max_errors;
        Reading reading;
        int failed;  // lines that failed before the run ended
        std::string stop;
    } cases[] = {
        {0, Reading::Whole, 6, ""},
        {1, Reading::Whole, 1, "stopped after 1 failed lines, at line 2 of 13"},
        {3, Reading::Whole, 3, "stopped after 3 failed lines, at line 6 of 13"},
        {6, Reading::Whole, 6, "stopped after 6 failed lines, at line 12 of 13"},
        {7, Reading::Whole, 6, ""},
        {0, Reading::ByLine, 6, ""},
        {3, Reading::ByLine, 3, "stopped after 3 failed lines, at line 6"},
    };
    for (const Case &c : cases) {
        Session s;
        ScriptRunner runner(s.host, s.out, s.err);
        runner.set_max_errors(c.max_errors);
        std::istringstream in(script);
        EXPECT_EQ(runner.run(in, "s.txt", c.reading), 1);
        std::string out, err;
        for (int k = 0; k < c.failed; ++k) {
            err += "maxhost: s.txt:" + std::to_string(2 * k + 2) + ": unknown command \"nonsense\"\n";
            // The line after the last failure runs only when the run goes on.
            if (k + 1 < c.failed || c.stop.empty()) out += "p 1: int " + std::to_string(k) + "\n";
        }
        if (!c.stop.empty()) err += "maxhost: s.txt: " + c.stop + "\n";
        EXPECT_EQ(s.err.str(), err) << c.max_errors;
        EXPECT_EQ(s.out.str(), out) << c.max_errors;
    }
}

// Lines that arrive one by one run as the same lines read whole do.
TEST(ScriptText, ByLineReadsLinesAsAWholeScriptDoes) {
    for (const std::string &script :
         {std::string("\xEF\xBB\xBFnew p probe\r\nsend p 3\r\n\r\nsend p 4"),
          std::string("new p probe\n\nsend p echo \"a\\nb\"\nsend nobody 1\n\n")}) {
        // One host at a time: the test classes are registered globally.
        auto run = [&](ScriptRunner::Reading reading) {
            Session s;
            ScriptRunner runner(s.host, s.out, s.err);
            std::istringstream in(script);
            const int status = runner.run(in, "s.txt", reading);
            return std::tuple{status, s.out.str(), s.err.str()};
        };
        const auto whole = run(ScriptRunner::Reading::Whole);
        EXPECT_FALSE(std::get<1>(whole).empty());
        EXPECT_EQ(run(ScriptRunner::Reading::ByLine), whole) << script;
    }
}

TEST(ScriptErrors, RunNeedsAudioOn) {
    Session s;
    EXPECT_EQ(s.run("new r ramp~\nticks 1\nrun 1\ndsp 44100 64\ndsp off\nticks 1\n"), 1);
    const std::string err = s.err.str();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
}

TEST(ScriptAudio, RunAndTicksAdvanceWholeVectors) {
    Session s;
    ScriptRunner runner(s.host, s.out, s.err);
    int n = 0;
    auto line = [&](const std::string &text) { return runner.run_line(text, "s.txt", ++n); };
    auto recorded = [&] { return s.host.recorded(s.host.find("r")).at(0).size(); };

    ASSERT_TRUE(line("new r ramp~"));
    ASSERT_TRUE(line("signal r 0 1"));
    ASSERT_TRUE(line("dsp 44100 64"));
    ASSERT_TRUE(line("run 1"));
    EXPECT_EQ(recorded(), 690u * 64);
    ASSERT_TRUE(line("ticks 3"));
    EXPECT_EQ(recorded(), 693u * 64);
    ASSERT_TRUE(line("ticks 0"));
    ASSERT_TRUE(line("run 0"));
    EXPECT_EQ(recorded(), 693u * 64);
    ASSERT_TRUE(line("dsp 48000 32"));
    ASSERT_TRUE(line("run 0.1"));
    EXPECT_EQ(recorded(), 693u * 64 + 150 * 32);
    EXPECT_EQ(s.err.str(), "");
}

TEST(ScriptFiles, WriteGivesOneFloatChannelPerSignalOutlet) {
    const test_support::ScratchDir dir("maxhost-cli");
    fs::path wav = dir / "out.wav";
    Session s;
    EXPECT_EQ(s.run("new r ramp~ 3\n"
                    "signal r 0 0.25\n"
                    "dsp 22050 16\n"
                    "ticks 5\n"
                    "disable r 1\n"
                    "ticks 2\n"
                    "write r " +
                    wav.string() + "\n"),
              0)
        << s.err.str();
    Sound got = read_sound(wav);
    // libsndfile reads the extensible header as WAVEX.
    EXPECT_EQ(got.info.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);
    EXPECT_EQ(got.info.samplerate, 22050);
    ASSERT_EQ(got.info.channels, 3);
    ASSERT_EQ(got.info.frames, 7 * 16);
    for (sf_count_t k = 0; k < got.info.frames; ++k) {
        for (int j = 0; j < 3; ++j) {
            // Disabled for the last two vectors: the outlets stay silent.
            float want = k < 5 * 16 ? 0.25f * static_cast<float>(j + 1) : 0.0f;
            ASSERT_EQ(got.frames[static_cast<std::size_t>(k * 3 + j)], want)
                << "frame " << k << " channel " << j;
        }
    }
}

TEST(ScriptFiles, SignalFromAFileUsesItsFirstChannelThenZeros) {
    const test_support::ScratchDir dir("maxhost-cli");
    fs::path in = dir / "in.wav";
    fs::path out = dir / "out.wav";
    // 40 stereo frames of 16-bit PCM: the left channel a ramp, the right a
    // constant that must not leak in.
    std::vector<int16_t> frames;
    for (int k = 0; k < 40; ++k) {
        frames.push_back(static_cast<int16_t>(k * 512));  // k / 64
        frames.push_back(-16384);
    }
    write_pcm16(in, 2, frames);

    Session s;
    EXPECT_EQ(s.run("new r ramp~ 2\n"
                    "dsp 44100 16\n"
                    "signal r 0 " +
                    in.string() +
                    "\n"
                    "ticks 4\n"
                    "signal r 0 none\n"
                    "ticks 1\n"
                    "signal r 0 3\n"
                    "ticks 1\n"
                    "write r " +
                    out.string() + "\n"),
              0)
        << s.err.str();
    Sound got = read_sound(out);
    ASSERT_EQ(got.info.channels, 2);
    ASSERT_EQ(got.info.frames, 6 * 16);
    for (int k = 0; k < 6 * 16; ++k) {
        float fed = k < 40 ? static_cast<float>(k) / 64.0f : k < 5 * 16 ? 0.0f : 3.0f;
        ASSERT_EQ(got.frames[static_cast<std::size_t>(2 * k)], fed) << "frame " << k;
        ASSERT_EQ(got.frames[static_cast<std::size_t>(2 * k + 1)], 2 * fed) << "frame " << k;
    }
}

void write_text(const fs::path &path, const std::string &text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

TEST(ScriptFiles, PathDialogAndTheScriptFolderReachTheHostsSearch) {
    const test_support::ScratchDir dir("maxhost-cli");
    // Every name ends in .wav, the one type the probe asks for.
    write_text(dir / "script" / "a.wav", "beside the script");
    write_text(dir / "extra" / "a.wav", "on the path");
    write_text(dir / "extra" / "b.wav", "chosen");
    Session s;
    s.host.set_script_dir((dir / "script").string());
    const std::string chosen = (dir / "extra" / "b.wav").string();
    EXPECT_EQ(s.run("new p probe\n"
                    "send p find a.wav\n"
                    "send p find b.wav\n"
                    "path " +
                    (dir / "extra").string() +
                    "\n"
                    "send p find a.wav\n"
                    "send p find b.wav\n"
                    "dialog " +
                    chosen +
                    "\n"
                    "send p choose\n"
                    "send p choose\n"
                    "dialog " +
                    chosen +
                    "\n"
                    "dialog cancel\n"
                    "send p choose\n"),
              0)
        << s.err.str();
    // A search folder comes before the script's; a dialog answer is used
    // once, and cancel replaces an answer not yet used.
    EXPECT_EQ(s.out.str(),
              "p 0: found a.wav \"beside the script\"\n"
              "p 0: missing\n"
              "p 0: found a.wav \"on the path\"\n"
              "p 0: found b.wav chosen\n"
              "p 0: chose b.wav chosen\n"
              "p 0: cancelled\n"
              "p 0: cancelled\n");
}

TEST(ScriptBoxes, FreeAndTheEndOfTheScriptReleaseBoxes) {
    const int probes = probe_live;
    const int ramps = ramp_live;
    Session s;
    ScriptRunner runner(s.host, s.out, s.err);
    std::istringstream script(
        "new p probe\n"
        "new r ramp~\n"
        "dsp 44100 64\n"
        "free p\n"
        "send p 1\n"
        "new p probe\n"
        "send p 2\n");
    EXPECT_EQ(runner.run(script, "s.txt"), 1);
    EXPECT_EQ(s.err.str(), "maxhost: s.txt:5: unknown box \"p\"\n");
    EXPECT_EQ(s.out.str(), "p 1: int 2\n");
    // Closing the script freed what was left, and switched audio off.
    EXPECT_EQ(probe_live, probes);
    EXPECT_EQ(ramp_live, ramps);
    EXPECT_EQ(s.host.find("p"), nullptr);
    EXPECT_FALSE(s.host.dsp_running());
}

}  // namespace
