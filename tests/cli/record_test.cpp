// Long runs and what a user types: streaming a box's outlets to a file as
// the run goes (record), the file formats, what is kept in memory,
// recordings that end badly (a signal, a size limit, a failed write, two
// recordings to one file), scripts that are not text, and maxhost's own
// help, version and banners.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_process.hpp"
#include "script_session.hpp"
#include "scratch_dir.hpp"

using cli_test::read_sound;
using cli_test::Session;
using cli_test::Sound;
using maxhost::ScriptRunner;
namespace fs = std::filesystem;

namespace {

// The command that starts maxhost on a shell line.
const std::string maxhost = cli_test::command_line(MAXHOST_EXE);

// ramp~ N sends input x (j + 1) out of outlet j; the gain changes between
// stretches, so that every stretch of the file is told from the others.
std::string ramp_script(const fs::path &dir, const std::string &first_lines) {
    return "new r ramp~ 3\n" + first_lines +
           "signal r 0 0.25\n"
           "dsp 22050 16\n"
           "ticks 5\n"
           "signal r 0 -0.5\n"
           "ticks 3\n"
           "write r " +
           (dir / "whole.wav").string() + "\n";
}

TEST(Record, StreamsWhatWriteWritesSampleForSample) {
    const test_support::ScratchDir dir("record-same");
    Session s;
    ASSERT_EQ(s.run(ramp_script(dir, "record r " + (dir / "streamed.wav").string() + "\n")), 0)
        << s.err.str();
    const Sound whole = read_sound(dir / "whole.wav");
    const Sound streamed = read_sound(dir / "streamed.wav");
    ASSERT_EQ(streamed.info.frames, 8 * 16);
    EXPECT_EQ(streamed.info.channels, 3);
    EXPECT_EQ(streamed.info.samplerate, 22050);
    EXPECT_EQ(streamed.info.format, SF_FORMAT_WAVEX | SF_FORMAT_FLOAT);
    EXPECT_EQ(streamed.frames, whole.frames);
    EXPECT_EQ(streamed.frames[3 * 80 + 2], -1.5f);
}

TEST(Record, StopFreeAndTheEndFinishTheFileWhereTheyCome) {
    const test_support::ScratchDir dir("record-stop");
    Session s;
    const std::string a = (dir / "a.wav").string();
    const std::string b = (dir / "b.aif").string();
    ASSERT_EQ(s.run("new r ramp~ 1\nnew q ramp~ 2\nsignal r 0 1\nsignal q 0 1\n"
                    "record r " +
                    a + "\nrecord q " + b +
                    "\n"
                    "dsp 44100 8\nticks 2\nstop r\nticks 3\nfree q\nticks 1\n"),
              0)
        << s.err.str();
    EXPECT_EQ(read_sound(a).info.frames, 16);
    const Sound q = read_sound(b);
    EXPECT_EQ(q.info.frames, 40);
    EXPECT_EQ(q.info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_AIFF);
}

TEST(Record, FormatsFollowTheExtensionAndTheBits) {
    const test_support::ScratchDir dir("record-formats");
    struct Case {
        const char *file;
        maxhost::SampleFormat bits;
        int format;
    } cases[] = {
        {"a.flac", maxhost::SampleFormat::Int24, SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"a.w64", maxhost::SampleFormat::Int16, SF_FORMAT_W64 | SF_FORMAT_PCM_16},
        {"a.aiff", maxhost::SampleFormat::Float32, SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"a.WAV", maxhost::SampleFormat::Int16, SF_FORMAT_WAVEX | SF_FORMAT_PCM_16},
    };
    for (const Case &c : cases) {
        Session s;
        const std::string path = (dir / c.file).string();
        ASSERT_EQ(
            s.run("new r ramp~ 2\nsignal r 0 0.5\nrecord r " + path + "\ndsp 48000 32\nticks 4\n", c.bits), 0)
            << c.file << ": " << s.err.str();
        const Sound got = read_sound(path);
        EXPECT_EQ(got.info.format, c.format) << c.file;
        EXPECT_EQ(got.info.samplerate, 48000) << c.file;
        ASSERT_EQ(got.info.frames, 128) << c.file;
        EXPECT_EQ(got.frames[0], 0.5f) << c.file;                     // exact in every format
        EXPECT_NEAR(got.frames[1], 1.0f, 1.0f / 32768.0f) << c.file;  // full scale, clipped a step below
    }
}

TEST(Record, MistakesFailTheirLineAndTheRunGoesOn) {
    const test_support::ScratchDir dir("record-mistakes");
    Session s;
    const std::string ok = (dir / "ok.wav").string();
    EXPECT_EQ(s.run("new p probe\nnew r ramp~ 1\n"
                    "record r " +
                        (dir / "x.mp3").string() +
                        "\n"  // 3: no such container
                        "record p " +
                        ok +
                        "\n"        // 4: no signal outlets
                        "stop r\n"  // 5: not recording
                        "record r " +
                        ok +
                        "\n"
                        "record r " +
                        (dir / "again.wav").string() +
                        "\n"  // 7: recording already
                        "record r " +
                        (dir / "f.flac").string() +
                        "\n"  // 8: again, and FLAC floats
                        "new q ramp~ 1\n"
                        "record q " +
                        (dir / "none" / "q.wav").string() +
                        "\n"  // 10: no such folder, said there and not at the end
                        "new z probe\n",
                    maxhost::SampleFormat::Float32),
              1);
    std::vector<std::string> lines;
    std::istringstream err(s.err.str());
    for (std::string line; std::getline(err, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u) << s.err.str();
    EXPECT_NE(lines[0].find("s.txt:3: cannot record to"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(".wav, .aif, .aiff, .flac or .w64"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("s.txt:4: box \"p\" has no signal outlets"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("s.txt:5: box \"r\" is not being recorded"), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find("s.txt:7:"), std::string::npos) << lines[3];
    EXPECT_NE(lines[4].find("s.txt:8:"), std::string::npos) << lines[4];
    EXPECT_EQ(lines[5], "maxhost: s.txt:10: cannot record to \"" + (dir / "none" / "q.wav").string() +
                            "\": No such file or directory");
    // The one recording that started is a file, empty but whole.
    EXPECT_EQ(read_sound(ok).info.frames, 0);
}

// A box no write names is not kept in memory, so a long recorded run does
// not grow (the benchmark measures it); the host keeps a box's outlets only
// while told to, and a script run line by line from outside keeps them all.
TEST(Record, MemoryIsKeptOnlyWhereAWriteCanAskForIt) {
    const test_support::ScratchDir dir("record-memory");
    Session s;
    ASSERT_EQ(s.run("new kept ramp~ 1\nnew streamed ramp~ 1\nsignal kept 0 1\nsignal streamed 0 1\n"
                    "record streamed " +
                    (dir / "s.wav").string() +
                    "\ndsp 44100 64\nticks 10\n"
                    "write kept " +
                    (dir / "k.wav").string() + "\n"),
              0)
        << s.err.str();
    EXPECT_EQ(read_sound(dir / "k.wav").info.frames, 640);
    EXPECT_EQ(read_sound(dir / "s.wav").info.frames, 640);

    headless::Host host;
    host.register_class("ramp~", ramp_setup);
    headless::Box *b = host.new_box("b", "ramp~");
    ASSERT_NE(b, nullptr);
    host.set_signal_constant(b, 0, 1.0f);
    host.dsp_on(44100.0f, 64);
    host.tick(2);
    host.keep_recording(b, false);
    EXPECT_TRUE(host.recorded(b)[0].empty()) << "what was kept goes when keeping stops";
    host.tick(3);
    EXPECT_TRUE(host.recorded(b)[0].empty());
    host.keep_recording(b, true);
    host.tick(1);
    EXPECT_EQ(host.recorded(b)[0].size(), 64u);

    std::ostringstream out, err;
    ScriptRunner runner(host, out, err);
    ASSERT_TRUE(runner.run_line("new c ramp~ 1", "s.txt", 1));
    host.tick(3);
    EXPECT_EQ(host.recorded(host.find("c"))[0].size(), 192u) << "lines run one by one keep every box";
}

// --- recordings that end badly ----------------------------------------------------------------

// The frames a sound file's header states, 0 while it cannot be read.
sf_count_t frames_in_header(const fs::path &p) {
    SF_INFO info{};
    SNDFILE *f = sf_open(p.c_str(), SFM_READ, &info);
    if (!f) return 0;
    sf_close(f);
    return info.frames;
}

// tessel~ over two outlets at 8 kHz for longer than any test waits.
std::string endless_script(const fs::path &file) {
    return "new s tessel~ 4 2\nsignal s 0 0.5\nsend s 1 440. 0.3 , 2 1000. 0.2\nrecord s " + file.string() +
           "\ndsp 8000 64\nrun 3600\n";
}

// A caught signal finishes the file whole and then ends maxhost by that
// signal; a killed maxhost leaves a file that reads up to the last header
// update, which comes about once a second of sound (FLAC's cannot, so only
// a caught signal promises a whole .flac).
TEST(RecordEnds, ASignalFinishesTheFileAndEndsMaxhostByIt) {
    const test_support::ScratchDir dir("record-signal");
    struct Case {
        int sig;
        const char *file;
        const char *bits;
        int sample_bytes;
    } cases[] = {
        {SIGTERM, "term.wav", "float", 4}, {SIGINT, "int.aif", "16", 2},   {SIGHUP, "hup.flac", "24", 3},
        {SIGKILL, "kill.wav", "float", 4}, {SIGKILL, "kill.aif", "16", 2},
    };
    for (const Case &c : cases) {
        const fs::path file = dir / c.file;
        dir.write("s.txt", endless_script(file));
        const pid_t pid = cli_test::spawn(
            {MAXHOST_EXE, "--quiet", "run", "--bits", c.bits, (dir / "s.txt").string()}, dir / "out.txt");
        ASSERT_GT(pid, 0);
        const bool flac = fs::path(c.file).extension() == ".flac";
        // Until the header states some sound (FLAC's: until frames are out).
        sf_count_t updated = 0;
        const bool seen = cli_test::poll_until([&] {
            std::error_code ec;
            if (flac) return fs::file_size(file, ec) > 20000 && !ec;
            return (updated = frames_in_header(file)) > 0;
        });
        kill(pid, c.sig);
        const int status = cli_test::wait_for(pid);
        ASSERT_TRUE(seen) << c.file << ": the header never stated any sound";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << c.file << ": wait status " << status;
        const Sound got = read_sound(file);  // every frame the header states
        EXPECT_GE(got.info.frames, std::max<sf_count_t>(updated, 1)) << c.file;
        if (c.sig == SIGKILL) continue;
        if (!flac) {
            const auto sound = static_cast<std::uintmax_t>(got.info.frames) * 2 * c.sample_bytes;
            EXPECT_LT(fs::file_size(file) - sound, 200u) << c.file << ": frames written after the header's";
        }
        // The sound goes on to the end (a sine is 0 at times, a vector of it is not).
        EXPECT_TRUE(std::any_of(got.frames.end() - std::min<std::ptrdiff_t>(128, got.frames.size()),
                                got.frames.end(), [](float x) { return x != 0.0f; }))
            << c.file;
        const std::string out = test_support::read_file(dir / "out.txt");
        EXPECT_NE(out.find(":6: stopped by SIG"), std::string::npos) << c.file << ": " << out;
    }
}

// AIFF's sizes are 32 bits: a file stops at the last whole frame within a
// FORM size of 0xFFFFFFFF, finished there, and the line fails.  The FORM
// size counts every byte after its first 8: a header of 54 bytes (104 for
// AIFC floats, with FVER and PEAK) and the sound, padded to an even length.
TEST(RecordEnds, AnAiffFileStopsWholeAtItsSizeLimit) {
    const test_support::ScratchDir dir("record-limit");
    struct Case {
        maxhost::SampleFormat bits;
        std::uint64_t limit;
        sf_count_t frames;
    } cases[] = {
        // 101 frames are an odd number of bytes, and the pad byte passes.
        {maxhost::SampleFormat::Int24, 46 + 9 * 101 + 0, 100},
        {maxhost::SampleFormat::Int24, 46 + 9 * 101 + 1, 101},
        {maxhost::SampleFormat::Float32, 96 + 12 * 100 + 11, 100},
        {maxhost::SampleFormat::Int16, 46 + 6 * 90 + 5, 90},
    };
    for (const Case &c : cases) {
        const fs::path rec = dir / "rec.aif";
        const fs::path whole = dir / "whole.aiff";
        Session s;
        ScriptRunner runner(s.host, s.out, s.err);
        runner.set_sample_format(c.bits);
        runner.set_size_field_max(c.limit);
        std::istringstream script("new r ramp~ 3\nsignal r 0 0.25\nrecord r " + rec.string() +
                                  "\ndsp 22050 16\nticks 5\nsignal r 0 -0.25\nticks 3\nwrite r " +
                                  whole.string() + "\n");
        EXPECT_EQ(runner.run(script, "s.txt"), 1);
        std::vector<std::string> lines;
        std::istringstream err(s.err.str());
        for (std::string line; std::getline(err, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), 2u) << s.err.str();
        const std::string said = "holds at most " + std::to_string(c.frames) + " frames";
        EXPECT_EQ(
            lines[0].rfind("maxhost: s.txt:7: recording of \"r\" to \"" + rec.string() + "\" stopped: ", 0),
            0u)
            << lines[0];
        EXPECT_EQ(lines[1].rfind("maxhost: s.txt:8: cannot write \"" + whole.string() + "\": ", 0), 0u)
            << lines[1];
        for (const std::string &line : lines) {
            EXPECT_NE(line.find(said), std::string::npos) << line;
            EXPECT_NE(line.find(".wav (which becomes RF64) and .w64 hold more, and .flac with --bits 16|24"),
                      std::string::npos)
                << line;
        }
        for (const fs::path &file : {rec, whole}) {
            const Sound got = read_sound(file);
            ASSERT_EQ(got.info.frames, c.frames) << file;
            for (sf_count_t k = 0; k < c.frames; ++k)
                for (int j = 0; j < 3; ++j)
                    ASSERT_NEAR(got.frames[static_cast<std::size_t>(k * 3 + j)],
                                (k < 80 ? 0.25f : -0.25f) * static_cast<float>(j + 1), 1.0f / 32768)
                        << file << " frame " << k;
            const std::string bytes = test_support::read_file(file);
            ASSERT_GE(bytes.size(), 8u);
            std::uint64_t form = 0;
            for (int k = 4; k < 8; ++k) form = form << 8 | static_cast<unsigned char>(bytes[k]);
            EXPECT_EQ(form, bytes.size() - 8) << file;
            EXPECT_LE(form, c.limit) << file;
        }
    }
}

// maxhost ignores SIGXFSZ, so a file-size limit is a write that fails and
// is reported: during a run it fails the run line; FLAC's last frame and
// header, written only when the file is finished (here at the end of the
// script), fail there, where libsndfile itself says nothing.
TEST(RecordEnds, AFileSizeLimitIsAFailedWriteThatIsReported) {
    const test_support::ScratchDir dir("record-ulimit");
    auto run = [&](const fs::path &file, const char *bits, const std::string &blocks) {
        dir.write("s.txt",
                  "new s tessel~ 8 2\nsignal s 0 0.5\n"
                  "send s 1 440. 0.3 , 2 661. 0.2 , 3 1234. 0.1 , 4 3001. 0.1\n"
                  "record s " +
                      file.string() + "\ndsp 44100 64\nrun 1\n");
        // bash counts the limit in blocks of 1024 bytes.
        return cli_test::shell("bash -c 'ulimit -f " + blocks + " && exec " + maxhost +
                               " --quiet run --bits " + bits + " " + (dir / "s.txt").string() + "' 2>&1");
    };

    const fs::path wav = dir / "a.wav";
    cli_test::Result r = run(wav, "float", "64");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.output, "maxhost: " + (dir / "s.txt").string() + ":6: recording of \"s\" to \"" +
                            wav.string() + "\" stopped: File too large\n");
    const Sound got = read_sound(wav);
    EXPECT_GT(got.info.frames, 4000);
    EXPECT_LE(got.info.frames * 2 * 4, 65536);

    const fs::path flac = dir / "a.flac";
    r = run(flac, "24", "unlimited");
    ASSERT_EQ(r.status, 0) << r.output;
    // The limit falls in the last frame, which is written when the file is
    // finished (a second of sound is 10 frames of 4096 and a short one).
    const auto size = fs::file_size(flac);
    r = run(flac, "24", std::to_string((size - 1) / 1024));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_EQ(r.output, "maxhost: " + (dir / "s.txt").string() + ": cannot finish \"" + flac.string() +
                            "\": File too large\n");
}

// A file this run records or records to, or writes, is no other
// recording's or write's: the second is refused, whatever path names the
// file; --record-all moves a name made again to NAME-2.wav, NAME-3.wav...
TEST(RecordEnds, OneFileTakesOneRecording) {
    const test_support::ScratchDir dir("record-twice");
    fs::create_directories(dir / "sub");
    const std::string f = (dir / "f.wav").string();
    const std::string w = (dir / "w.wav").string();
    fs::create_symlink(dir / "f.wav", dir / "link.wav");
    Session s;
    EXPECT_EQ(s.run("new a ramp~ 1\nnew b ramp~ 1\nsignal a 0 0.5\nsignal b 0 -0.5\n"
                    "record a " +
                    f + "\nrecord b " + f + "\nrecord b " + (dir / "sub" / ".." / "f.wav").string() +
                    "\nrecord b " + (dir / "link.wav").string() +
                    "\n"
                    "dsp 8000 16\nticks 2\nstop a\n"
                    "record b " +
                    f + "\nwrite b " + f + "\nwrite b " + w + "\nwrite b " + w + "\nwrite a " + w + "\n"),
              1);
    const std::string being = "box \"a\" is being recorded to it";
    const std::string recorded = "box \"a\" was recorded to it earlier in this run";
    EXPECT_EQ(s.err.str(), "maxhost: s.txt:6: cannot record to \"" + f + "\": " + being +
                               "\n"
                               "maxhost: s.txt:7: cannot record to \"" +
                               (dir / "sub" / ".." / "f.wav").string() + "\": " + being +
                               "\n"
                               "maxhost: s.txt:8: cannot record to \"" +
                               (dir / "link.wav").string() + "\": " + being +
                               "\n"
                               "maxhost: s.txt:12: cannot record to \"" +
                               f + "\": " + recorded +
                               "\n"
                               "maxhost: s.txt:13: cannot write \"" +
                               f + "\": " + recorded +
                               "\n"
                               "maxhost: s.txt:16: cannot write \"" +
                               w + "\": box \"b\" was written to it earlier in this run\n");
    const Sound a = read_sound(f);
    ASSERT_EQ(a.info.frames, 32);
    EXPECT_EQ(a.frames.back(), 0.5f);
    EXPECT_EQ(read_sound(w).frames.back(), -0.5f);

    Session all;
    ScriptRunner runner(all.host, all.out, all.err);
    runner.set_record_all(dir.string());
    std::istringstream script(
        "dsp 8000 16\nnew s ramp~ 1\nticks 1\nfree s\nnew t ramp~ 1\nstop t\nrecord t " +
        (dir / "s-2.wav").string() + "\nnew s ramp~ 1\nticks 3\n");
    EXPECT_EQ(runner.run(script, "s.txt"), 0) << all.err.str();
    EXPECT_EQ(all.err.str(), "maxhost: s.txt:8: --record-all: \"" + (dir / "s.wav").string() +
                                 "\" is used already in this run; box \"s\" records to \"" +
                                 (dir / "s-3.wav").string() + "\"\n");
    EXPECT_EQ(read_sound(dir / "s.wav").info.frames, 16);
    EXPECT_EQ(read_sound(dir / "s-2.wav").info.frames, 48);
    EXPECT_EQ(read_sound(dir / "s-3.wav").info.frames, 48);
}

// --- scripts that are not scripts, and long lists of mistakes -------------------------------

TEST(ScriptText, BinaryFilesAreRefusedBeforeAnythingRuns) {
    static const char with_nul[] = "new p probe\nsend p 1\0\n";
    for (const std::string &bytes :
         {std::string(with_nul, sizeof with_nul - 1), std::string(200, '\x01') + "new p probe\n"}) {
        Session s;
        EXPECT_EQ(s.run(bytes), 2);
        EXPECT_EQ(s.out.str(), "");
        EXPECT_EQ(s.err.str().rfind("maxhost: s.txt: not a script: ", 0), 0u) << s.err.str();
        EXPECT_EQ(s.err.str().find('\n'), s.err.str().size() - 1) << "one line";
    }
    // UTF-8 text, tabs and a stray control character are text.
    Session s;
    EXPECT_EQ(s.run("# caf\xC3\xA9\tok\x07\nnew p probe\nsend p 7\n"), 0) << s.err.str();
    EXPECT_EQ(s.out.str(), "p 1: int 7\n");
}

TEST(ScriptText, AByteOrderMarkIsSkipped) {
    Session s;
    EXPECT_EQ(s.run("\xEF\xBB\xBFnew p probe\nsend p 3\n"), 0) << s.err.str();
    EXPECT_EQ(s.out.str(), "p 1: int 3\n");
}

TEST(ScriptText, TheRunStopsAfterTwentyFailedLines) {
    std::string script = "new p probe\n";
    for (int k = 0; k < 30; ++k) script += "nonsense\nsend p " + std::to_string(k) + "\n";
    Session s;
    EXPECT_EQ(s.run(script), 1);
    const std::string err = s.err.str();
    EXPECT_NE(err.find("s.txt:40: unknown command"), std::string::npos);
    EXPECT_EQ(err.find("s.txt:42:"), std::string::npos) << "a line after the twentieth mistake ran";
    EXPECT_NE(err.find("maxhost: s.txt: stopped after 20 failed lines, at line 40 of 61"), std::string::npos)
        << err;
    EXPECT_EQ(s.out.str().find("int 19"), std::string::npos);
    EXPECT_NE(s.out.str().find("int 18"), std::string::npos);
}

// --- maxhost's own words ------------------------------------------------------------------

TEST(MaxhostWords, VersionHelpTopicsAndQuiet) {
    cli_test::Result v = cli_test::shell(maxhost + " --version");
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.output.rfind("maxhost ", 0), 0u);
    for (const char *topic : {"run", "markers", "tessel~", "brindle~"}) {
        cli_test::Result h = cli_test::shell(maxhost + " help " + topic);
        EXPECT_EQ(h.status, 0) << topic;
        EXPECT_GT(h.output.size(), 200u) << topic;
    }
    cli_test::Result t = cli_test::shell(maxhost + " help 'tessel~'");
    for (const char *item :
         {"set_transpo_lfo_depth", "reset_transpo_shift", "-120 to 120", "0 to 1000", "OUTLETS"})
        EXPECT_NE(t.output.find(item), std::string::npos) << item;
    EXPECT_EQ(cli_test::shell(maxhost + " help nothing 2>/dev/null").status, 2);

    const test_support::ScratchDir dir("record-quiet");
    std::ofstream(dir / "q.txt") << "new t tessel~\nnew b brindle~\nsend b peak 3\n";
    cli_test::Result loud = cli_test::shell(maxhost + " run " + (dir / "q.txt").string() + " 2>&1");
    cli_test::Result quiet = cli_test::shell(maxhost + " --quiet run " + (dir / "q.txt").string() + " 2>&1");
    EXPECT_NE(loud.output.find("tessel~ Object v1.00."), std::string::npos);
    EXPECT_NE(loud.output.find("brindle~ "), std::string::npos);
    EXPECT_EQ(quiet.output, "error: brindle: peak accepts only 0 or 1\n");
}

TEST(MaxhostWords, DoubleDashEndsTheOptionsOfEveryCommand) {
    const test_support::ScratchDir dir("record-dashes");
    fs::copy_file(fs::path(MAXHOST_SOURCE_DIR) / "examples" / "markers.aif", dir / "-odd.aif");
    std::ofstream(dir / "-script.txt") << "new p probe\n";
    const std::string cd = "cd " + dir.string() + " && " + maxhost;
    cli_test::Result m = cli_test::shell(cd + " markers -- -odd.aif 2>&1");
    EXPECT_EQ(m.status, 0) << m.output;
    EXPECT_EQ(m.output.rfind("-odd.aif: AIFF, 22050 Hz, count 3\n", 0), 0u) << m.output;
    EXPECT_EQ(cli_test::shell(cd + " markers -odd.aif 2>/dev/null").status, 2);
    cli_test::Result r = cli_test::shell(cd + " --plugins " CLI_TEST_PLUGIN_DIR " run -- -script.txt 2>&1");
    EXPECT_EQ(r.status, 0) << r.output;
}

TEST(MaxhostWords, MarkersSayWhyAFileFailed) {
    const test_support::ScratchDir dir("record-why");
    fs::create_directories(dir / "folder.wav");
    std::ofstream(dir / "notes.txt") << "not a sound\n";
    {
        // A WAVE file without a cue chunk: no markers.
        SF_INFO info{};
        info.samplerate = 8000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE *f = sf_open((dir / "plain.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        short zero[8] = {};
        sf_writef_short(f, zero, 8);
        sf_close(f);
    }
    cli_test::Result r = cli_test::shell("cd " + dir.string() + " && " + maxhost +
                                         " markers folder.wav notes.txt gone.wav plain.wav 2>&1 >/dev/null");
    EXPECT_EQ(r.status, 1);
    for (const char *line : {"maxhost: folder.wav: a folder, not a sound file\n",
                             "maxhost: notes.txt: not an AIFF, AIFC, WAVE or Sound Designer II file\n",
                             "maxhost: gone.wav: no such file\n", "maxhost: plain.wav: no markers\n"})
        EXPECT_NE(r.output.find(line), std::string::npos) << line << "\n" << r.output;
}

}  // namespace
