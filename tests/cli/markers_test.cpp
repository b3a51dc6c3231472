// maxhost markers against the real brindle~: the shipped examples, files
// built here to reach the rate, count and naming cases, what the JSON holds
// byte for byte, and exit statuses.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "byte_cursor.h"
#include "cli_process.hpp"
#include "host.hpp"
#include "example_files.hpp"
#include "markers.hpp"
#include "script_lexer.hpp"
#include "scratch_dir.hpp"

namespace fs = std::filesystem;
using namespace writers;
using cli_test::shell;
using examples::example_files;

namespace {

// The command that starts maxhost on a shell line.
const std::string maxhost = cli_test::command_line(MAXHOST_EXE);
const fs::path examples_dir = fs::path(MAXHOST_SOURCE_DIR) / "examples";

// maxhost's JSON read by a strict parser: trailing text and invalid UTF-8
// fail it.  Members stay in the order written.
using Json = nlohmann::ordered_json;

std::optional<Json> parse_json(const std::string &text) {
    Json doc = Json::parse(text, nullptr, false);
    if (doc.is_discarded()) return std::nullopt;
    return doc;
}

std::vector<std::string> keys(const Json &object) {
    std::vector<std::string> out;
    for (const auto &member : object.items()) out.push_back(member.key());
    return out;
}

// A labelled WAVE file: one cue point and label per marker, ids from 1.
Bytes labelled_wave(std::vector<Bytes> head, const std::vector<std::pair<std::string, uint32_t>> &marks) {
    std::vector<CuePoint> cues;
    std::vector<Label> labels;
    for (uint32_t k = 0; k < marks.size(); ++k) {
        cues.push_back({k + 1, marks[k].second, marks[k].second});
        labels.push_back({k + 1, marks[k].first});
    }
    head.push_back(cue_chunk(cues));
    head.push_back(adtl_list(labels));
    head.push_back(wave_data_chunk(std::vector<int16_t>(16)));
    return wave_file(head);
}

// Reads files in-process, as the command does, with the current folder
// and no --path.
struct Reader {
    headless::Host host;
    fileservices::SearchPath search;
    maxhost::MarkerReport read(const fs::path &file, bool peak = false) {
        return maxhost::read_markers(host, search, file.string(), peak);
    }
};

std::vector<std::string> names(const maxhost::MarkerReport &r) {
    std::vector<std::string> out;
    for (const auto &m : r.markers) out.push_back(m.name);
    return out;
}
std::vector<int32_t> frames(const maxhost::MarkerReport &r) {
    std::vector<int32_t> out;
    for (const auto &m : r.markers) out.push_back(m.frames);
    return out;
}

// --- the shipped examples -----------------------------------------------------

TEST(MarkerExamples, CommittedFilesAreWhatTheGeneratorWrites) {
    const auto files = example_files();
    ASSERT_EQ(files.size(), 4u);
    for (const auto &[name, bytes] : files)
        EXPECT_TRUE(test_support::read_file(examples_dir / name) == std::string(bytes.begin(), bytes.end()))
            << name << " differs from make_examples' output";
}

TEST(MarkerExamples, TableOfEachFormat) {
    cli_test::Result r = shell("cd " + examples_dir.string() + " && " + maxhost +
                               " markers markers.wav markers.aif markers.sd2 2>&1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output,
              "markers.wav: WAVE, 44100 Hz, count 5\n"
              "  name            ms  frames\n"
              "  onset        0.000       0\n"
              "  peak        10.000     441\n"
              "  fade        30.000    1323\n"
              "  \"beg loop\"  10.000     441\n"
              "  \"end loop\"  40.000    1764\n"
              "\n"
              "markers.aif: AIFF, 22050 Hz, count 3\n"
              "  name         ms  frames\n"
              "  hit       0.000       0\n"
              "  \"loop \"  20.000     441\n"
              "  tail     80.000    1764\n"
              "\n"
              "markers.sd2: Sd2f, 48000 Hz, count 2\n"
              "  name          ms  frames\n"
              "  downbeat  10.000     480\n"
              "  upbeat    40.000    1920\n");
}

TEST(MarkerExamples, JsonWithPeakDropsOnlyTheAiffBlank) {
    cli_test::Result r = shell("cd " + examples_dir.string() + " && " + maxhost +
                               " markers --json --peak markers.aif markers.wav markers.sd2 2>&1");
    EXPECT_EQ(r.status, 0);
    auto doc = parse_json(r.output);
    ASSERT_TRUE(doc) << r.output;
    ASSERT_EQ(doc->size(), 3u);
    const Json &aif = (*doc)[0];
    EXPECT_EQ(keys(aif),
              (std::vector<std::string>{"file", "type", "sampleRate", "count", "markers", "errors"}));
    EXPECT_EQ(aif["file"], "markers.aif");
    EXPECT_EQ(aif["type"], "AIFF");
    EXPECT_EQ(aif["sampleRate"], 22050);
    EXPECT_EQ(aif["count"], 3);
    EXPECT_EQ(aif["markers"][1]["name"], "loop");
    EXPECT_EQ(aif["markers"][1]["ms"], 20);
    EXPECT_EQ(aif["markers"][1]["frames"], 441);
    EXPECT_EQ((*doc)[1]["markers"][3]["name"], "beg loop");
    EXPECT_EQ((*doc)[2]["type"], "Sd2f");
    EXPECT_EQ((*doc)[2]["markers"][1]["ms"], 40);
    for (const auto &o : *doc) EXPECT_TRUE(o["errors"].empty());
}

// --- files built here ---------------------------------------------------------

TEST(MarkersRead, WaveWithoutFormatChunkGivesNullRateAndNonFiniteTimes) {
    const test_support::ScratchDir dir("markers");
    dir.write("norate.wav", wave_file({cue_chunk({{1, 0, 0}, {2, 100, 100}}), adtl_list({{1, "a"}, {2, "b"}}),
                                       smpl_chunk({{200, 300}}, {}, {0, 0, 0})}));
    Reader reader;
    auto r = reader.read(dir / "norate.wav");
    EXPECT_FALSE(r.failed());
    EXPECT_FALSE(r.sample_rate);
    EXPECT_EQ(r.count, 4);
    ASSERT_EQ(r.markers.size(), 4u);
    EXPECT_TRUE(std::isnan(r.markers[0].ms));
    EXPECT_TRUE(std::isinf(r.markers[1].ms));
    EXPECT_EQ(frames(r), (std::vector<int32_t>{0, 100, 200, 300}));

    auto doc = parse_json(maxhost::format_marker_json({r}));
    ASSERT_TRUE(doc);
    const Json &o = (*doc)[0];
    EXPECT_TRUE(o["sampleRate"].is_null());
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_TRUE(o["markers"][k]["ms"].is_null()) << k;
        EXPECT_TRUE(o["markers"][k]["frames"].is_number()) << k;
    }
    const std::string header = r.file + ": WAVE, rate unknown, count 4\n";
    EXPECT_EQ(maxhost::format_marker_table(r).substr(0, header.size()), header);
}

// The rate shown must be the one brindle~ divided by: checked against its
// own milliseconds for each format's way of stating it.
TEST(MarkersRead, StatedRateIsTheOneTheTimesUse) {
    const test_support::ScratchDir dir("markers");
    // An odd-sized chunk (and its pad byte) before the first format chunk, a
    // format chunk too short to hold a rate, and a second one that wins.
    dir.write("two-fmt.wav", labelled_wave({riff_chunk("junk", Bytes(3, 7)), fmt_chunk(8000),
                                            riff_chunk("fmt ", Bytes(4, 1)), fmt_chunk(32000)},
                                           {{"half", 16000}}));
    dir.write("c.aifc",
              form_file("AIFC", {iff_chunk("FVER", {0xA2, 0x80, 0x51, 0x40}),
                                 comm_chunk(11025, 10, 1, 16, "NONE"), mark_chunk({{4, 11025, "one"}})}));
    dir.write("frac.sd2", sd2_data(std::vector<int16_t>(8)));
    dir.write("frac.sd2.rsrc", resource_fork({{"STR ", 1001, pascal_string("22050.9")},
                                              {"sdML", 1000, sdml_data({{22050, 12, "", {}, 0}})}},
                                             true));
    struct Case {
        const char *file;
        uint32_t type;
        int32_t rate;
        float ms;
        const char *name;
    } cases[] = {{"two-fmt.wav", bytes::fourcc("WAVE"), 32000, 500.0f, "half"},
                 {"c.aifc", bytes::fourcc("AIFC"), 11025, 1000.0f, "one"},
                 {"frac.sd2", bytes::fourcc("Sd2f"), 22050, 1000.0f, "12"}};
    Reader reader;
    for (const Case &c : cases) {
        auto r = reader.read(dir / c.file);
        EXPECT_FALSE(r.failed()) << c.file << ": " << maxhost::format_marker_errors(r);
        EXPECT_EQ(r.type, c.type) << c.file;
        EXPECT_EQ(r.sample_rate, c.rate) << c.file;
        ASSERT_EQ(r.markers.size(), 1u) << c.file;
        EXPECT_EQ(r.markers[0].name, c.name);
        EXPECT_EQ(r.markers[0].ms, c.ms) << c.file;
    }
}

// The count is what brindle~ announced, the rows what it sent, each row's
// milliseconds and frames from the same marker of the two reads.
TEST(MarkersRead, RowsPairTheTwoReadsAndErrorsShowOnce) {
    const test_support::ScratchDir dir("markers");
    // Labels in another order than their cue points, one without text, and
    // one naming a cue point that does not exist.
    dir.write("odd.wav", wave_file({fmt_chunk(1000), cue_chunk({{1, 10, 10}, {2, 20, 20}, {3, 30, 30}}),
                                    adtl_list({{3, "three"}, {9, "orphan"}, {1, ""}})}));
    Reader reader;
    auto r = reader.read(dir / "odd.wav");
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(names(r), (std::vector<std::string>{"three", "1"}));
    EXPECT_EQ(frames(r), (std::vector<int32_t>{30, 10}));
    EXPECT_EQ(r.markers[0].ms, 30.0f);
    EXPECT_EQ(r.markers[1].ms, 10.0f);
    EXPECT_EQ(r.errors, (std::vector<std::string>{"error: Inconsistance in the WAVE header))"}));
    EXPECT_TRUE(r.failed());
}

TEST(MarkersRead, FilesBrindleCannotRead) {
    const test_support::ScratchDir dir("markers");
    dir.write("notes.txt", "not a sound\n");
    dir.write("voice.iff", form_file("8SVX", {iff_chunk("VHDR", Bytes(20, 0))}));
    dir.write("nofork.sd2", sd2_data(std::vector<int16_t>(8)));
    Reader reader;

    auto missing = reader.read(dir / "missing.wav");
    EXPECT_FALSE(missing.type);
    EXPECT_FALSE(missing.count);
    EXPECT_EQ(missing.errors, (std::vector<std::string>{"error: File not found?", "maxhost: no such file"}));

    auto text = reader.read(dir / "notes.txt");
    EXPECT_FALSE(text.type);
    EXPECT_EQ(text.errors.back(), "maxhost: not an AIFF, AIFC, WAVE or Sound Designer II file");
    auto voice = reader.read(dir / "voice.iff");
    EXPECT_EQ(voice.type, bytes::fourcc("8SVX"));
    EXPECT_EQ(maxhost::format_marker_table(voice), "");

    auto nofork = reader.read(dir / "nofork.sd2");
    EXPECT_TRUE(nofork.sound_file);
    EXPECT_FALSE(nofork.sample_rate);
    EXPECT_FALSE(nofork.count);
    EXPECT_EQ(nofork.errors, (std::vector<std::string>{"error: error - sdII - carbon load res fork: -193"}));

    auto long_name = reader.read(dir / std::string(300, 'x'));
    EXPECT_EQ(long_name.errors.back(), "maxhost: not found (a name holds at most 255 bytes)");
    // The host looks for no empty name, in whatever folder.
    EXPECT_EQ(reader.read("").errors, (std::vector<std::string>{"maxhost: no such file"}));
    for (const auto *r : {&missing, &text, &voice, &nofork, &long_name}) EXPECT_TRUE(r->failed()) << r->file;
}

// --- JSON strings ---------------------------------------------------------------

TEST(MarkersJson, StringsEscapeWhatJsonForbidsAndKeepEveryByte) {
    using maxhost::json_string;
    EXPECT_EQ(json_string("a\"b\\c\n\t\r\x01\x1f\x7f"), R"("a\"b\\c\n\t\r\u0001\u001f\u007f")");
    // Well-formed UTF-8 of two, three and four bytes passes through.
    for (std::string s : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"})
        EXPECT_EQ(json_string(s), "\"" + s + "\"");
    // Overlong, surrogate, past U+10FFFF, cut short, a stray continuation.
    EXPECT_EQ(json_string("\xC0\x80"), R"("\u00c0\u0080")");
    EXPECT_EQ(json_string("\xED\xA0\x80"), R"("\u00ed\u00a0\u0080")");
    EXPECT_EQ(json_string("\xF4\x90\x80\x80"), R"("\u00f4\u0090\u0080\u0080")");
    EXPECT_EQ(json_string("x\xE2\x82"), R"("x\u00e2\u0082")");
    EXPECT_EQ(json_string("\x80\xE9z"), R"("\u0080\u00e9z")");
    // U+0080 to U+009F are controls to some terminals (U+009B starts an
    // escape sequence); U+00A0 is not.
    EXPECT_EQ(json_string("\xC2\x80\xC2\x9B\xC2\x9F\xC2\xA0"), "\"\\u0080\\u009b\\u009f\xC2\xA0\"");

    EXPECT_EQ(maxhost::json_number(0.1f), "0.1");
    EXPECT_EQ(maxhost::json_number(1e20f), "1e+20");
    EXPECT_EQ(maxhost::json_number(-0.0f), "-0");
    EXPECT_EQ(maxhost::json_number(NAN), "null");
    EXPECT_EQ(maxhost::json_number(-INFINITY), "null");
}

TEST(MarkersJson, LabelBytesFromAFileSurviveTheDocument) {
    const test_support::ScratchDir dir("markers");
    const std::string raw = "tab\there \"q\" \\ caf\xC3\xA9 caf\xE9";
    dir.write("bytes.wav", labelled_wave({fmt_chunk(44100)}, {{raw, 0}}));
    Reader reader;
    auto r = reader.read(dir / "bytes.wav");
    ASSERT_EQ(names(r), std::vector<std::string>{raw});
    const std::string text = maxhost::format_marker_json({r});
    auto doc = parse_json(text);
    ASSERT_TRUE(doc) << text;
    // The lone byte comes back as U+00E9, the UTF-8 one as it was.
    EXPECT_EQ((*doc)[0]["markers"][0]["name"], "tab\there \"q\" \\ caf\xC3\xA9 caf\xC3\xA9");
    EXPECT_EQ((*doc)[0]["file"], (dir / "bytes.wav").string());
}

// --- bytes from a file on a terminal ----------------------------------------------

// Names, log lines and error lines carry bytes from the file; none may reach
// a terminal as a control.  Names stay quoted as a script reads them back.
TEST(MarkersText, BytesThatATerminalObeysAreEscaped) {
    struct Case {
        std::string raw, name, line;
    } cases[] = {
        {"plain", "plain", "plain"},
        {"a b", "\"a b\"", "a b"},
        {"caf\xC3\xA9 \xC2\xA0", "\"caf\xC3\xA9 \xC2\xA0\"", "caf\xC3\xA9 \xC2\xA0"},
        {"\x1B[2J", R"("\x1B[2J")", R"(\x1B[2J)"},
        {"a\tb\x7F", R"("a\x09b\x7F")", R"(a\x09b\x7F)"},
        {"line\nbreak", R"("line\nbreak")", R"(line\x0Abreak)"},
        {"q\"\\\x01", R"("q\"\\\x01")", R"(q"\\x01)"},
        {"csi\xC2\x9B", R"("csi\xC2\x9B")", R"(csi\xC2\x9B)"},
        {"lone\x9B", R"("lone\x9B")", R"(lone\x9B)"},
        {"cut\xE2\x82", R"("cut\xE2\x82")", R"(cut\xE2\x82)"},
        {"over\xC0\xAF", R"("over\xC0\xAF")", R"(over\xC0\xAF)"},
    };
    for (const Case &c : cases) {
        maxhost::MarkerReport r;
        r.file = "f.sd2";
        r.sound_file = true;
        r.type = bytes::fourcc("Sd2f");
        r.markers = {{c.raw, 0.0f, 0}};
        r.log = {c.raw};
        r.errors = {"error: " + c.raw, "maxhost: " + c.raw};
        std::istringstream table(maxhost::format_marker_table(r));
        std::string row;
        for (int k = 0; k < 3; ++k) std::getline(table, row);
        const std::string cell = row.substr(2, row.find("  ", 2) - 2);
        EXPECT_EQ(cell, c.name) << c.raw;
        std::vector<maxhost::Token> back;
        ASSERT_TRUE(maxhost::lex_line(cell, back, nullptr)) << cell;
        ASSERT_EQ(back.size(), 1u) << cell;
        EXPECT_EQ(back[0].text, c.raw) << cell;
        EXPECT_EQ(maxhost::format_marker_log(r), "f.sd2: log: " + c.line + "\n");
        EXPECT_EQ(maxhost::format_marker_errors(r),
                  "f.sd2: error: " + c.line + "\nmaxhost: f.sd2: " + c.line + "\n");
    }
    maxhost::MarkerReport named;
    named.file = "\x1B]0;title\x07.wav";
    named.sound_file = true;
    named.type = bytes::fourcc("Sd2f");
    named.errors = {"maxhost: no markers"};
    EXPECT_EQ(maxhost::format_marker_table(named).rfind(R"(\x1B]0;title\x07.wav: Sd2f)", 0), 0u);
    EXPECT_EQ(maxhost::format_marker_errors(named), "maxhost: \\x1B]0;title\\x07.wav: no markers\n");
}

// A Sound Designer II rate text that clears the screen, read with the log on.
TEST(MarkersText, ARateTextFromTheFileIsEscapedInTheLogAndTheJson) {
    const test_support::ScratchDir dir("markers");
    dir.write("esc.sd2", sd2_data(std::vector<int16_t>(8)));
    dir.write("esc.sd2.rsrc", resource_fork({{"STR ", 1001, pascal_string("\x1B[2J\xC2\x9B")},
                                             {"sdML", 1000, sdml_data({{100, 1, "m", {}, 0}})}}));
    Reader reader;
    const auto r = maxhost::read_markers(reader.host, reader.search, (dir / "esc.sd2").string(), false, true);
    ASSERT_EQ(r.log.size(), 1u);
    EXPECT_EQ(maxhost::format_marker_log(r),
              (dir / "esc.sd2").string() + R"(: log: STR  1001: "\x1B[2J\xC2\x9B" holds no number, no rate)"
                                           "\n");
    const std::string text = maxhost::format_marker_json({r});
    EXPECT_EQ(text.find('\x1B'), std::string::npos);
    EXPECT_EQ(text.find("\xC2\x9B"), std::string::npos);
    auto doc = parse_json(text);
    ASSERT_TRUE(doc) << text;
    EXPECT_EQ((*doc)[0]["log"][0], "STR  1001: \"\x1B[2J\xC2\x9B\" holds no number, no rate");
}

// --- the command ------------------------------------------------------------------

TEST(MaxhostMarkers, ExitStatusAndLookup) {
    const test_support::ScratchDir dir("markers");
    dir.write("a.wav", labelled_wave({fmt_chunk(1000)}, {{"x", 5}}));
    dir.write("sub/b.wav", labelled_wave({fmt_chunk(1000)}, {{"y", 7}}));
    const std::string cd = "cd " + dir.string() + " && " + maxhost;

    EXPECT_EQ(shell(cd + " markers a.wav 2>&1").status, 0);
    // A bare name follows --path, a name with a slash the current folder.
    EXPECT_EQ(shell(cd + " markers b.wav 2>/dev/null").status, 1);
    cli_test::Result found = shell(cd + " --path sub markers b.wav sub/b.wav 2>&1");
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.output.rfind("b.wav: WAVE, 1000 Hz, count 1\n", 0), 0u) << found.output;
    EXPECT_NE(found.output.find("\nsub/b.wav: WAVE, 1000 Hz, count 1\n"), std::string::npos);

    // One missing file fails the run; the others are still reported, and
    // standard output holds only the tables.
    cli_test::Result partial = shell(cd + " markers a.wav gone.wav 2>/dev/null");
    EXPECT_EQ(partial.status, 1);
    EXPECT_EQ(partial.output,
              "a.wav: WAVE, 1000 Hz, count 1\n  name     ms  frames\n  x     5.000       5\n");
    cli_test::Result errors = shell(cd + " markers a.wav gone.wav 2>&1 >/dev/null");
    EXPECT_EQ(errors.output, "gone.wav: error: File not found?\nmaxhost: gone.wav: no such file\n");

    // With --json everything is in the document, and nothing on stderr.
    cli_test::Result json_out = shell(cd + " markers --json gone.wav a.wav 2>&1");
    EXPECT_EQ(json_out.status, 1);
    auto doc = parse_json(json_out.output);
    ASSERT_TRUE(doc) << json_out.output;
    EXPECT_EQ((*doc)[0]["errors"].size(), 2u);
    EXPECT_EQ((*doc)[1]["markers"][0]["name"], "x");

    for (const char *bad : {" markers", " markers --bogus a.wav"})
        EXPECT_EQ(shell(cd + bad + " 2>&1").status, 2) << bad;
}

// Whatever the files in the repository's sample folder hold, every one is read
// to the end, and each time shown agrees with the rate shown.  Under the
// sanitizer build a report ends the process with status 86.
TEST(MaxhostMarkers, ReadsEverySampleFile) {
    const fs::path samples = MAXHOST_SAMPLES_DIR;
    ASSERT_TRUE(fs::is_directory(samples)) << "no sample folder at " << samples;
    std::vector<std::string> files;
    for (const auto &e : fs::directory_iterator(samples))
        if (e.is_regular_file()) files.push_back(e.path().string());
    ASSERT_FALSE(files.empty());
    std::sort(files.begin(), files.end());
    std::string args;
    for (const auto &f : files) args += " '" + f + "'";
    const std::string env = "ASAN_OPTIONS=exitcode=86 UBSAN_OPTIONS=exitcode=86:halt_on_error=1 ";

    cli_test::Result text = shell(env + maxhost + " markers" + args + " 2>&1");
    EXPECT_TRUE(text.status == 0 || text.status == 1) << text.output;
    cli_test::Result r = shell(env + maxhost + " markers --json --peak" + args + " 2>&1");
    ASSERT_TRUE(r.status == 0 || r.status == 1) << r.output;
    auto doc = parse_json(r.output);
    ASSERT_TRUE(doc) << r.output;
    ASSERT_EQ(doc->size(), files.size());
    int checked = 0;
    for (const auto &o : *doc) {
        const double rate = o["sampleRate"].is_null() ? 0 : o["sampleRate"].get<double>();
        for (const auto &m : o["markers"]) {
            if (rate <= 0 || m["ms"].is_null() || m["frames"].get<double>() < 0) continue;
            const double expected = m["frames"].get<double>() * 1000.0 / rate;
            EXPECT_NEAR(m["ms"].get<double>(), expected, 1e-6 * expected) << o["file"] << " " << m["name"];
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
}

}  // namespace

// The rate shown comes from brindle~'s own readers: where they stop, a rate
// further on is not the one the times use, and a text without a number
// states none.
TEST(MarkersRead, RateWhereBrindleStopsAndRateTextWithoutANumber) {
    const test_support::ScratchDir dir("markers");
    dir.write("long-cue.wav",
              wave_file({fmt_chunk(8000), riff_chunk("cue ", Bytes(40000, 0)), fmt_chunk(32000)}));
    dir.write("words.sd2", sd2_data(std::vector<int16_t>(8)));
    dir.write("words.sd2.rsrc", resource_fork({{"STR ", 1001, pascal_string("fast")},
                                               {"sdML", 1000, sdml_data({{100, 1, "m", {}, 0}})}}));
    Reader reader;
    auto wave = reader.read(dir / "long-cue.wav");
    EXPECT_EQ(wave.sample_rate, 8000);
    EXPECT_EQ(wave.errors,
              (std::vector<std::string>{"error: getbytes problem, maybe the header is too long (cue )"}));
    auto sd2 = reader.read(dir / "words.sd2");
    EXPECT_FALSE(sd2.sample_rate);
    ASSERT_EQ(sd2.markers.size(), 1u);
    EXPECT_TRUE(std::isinf(sd2.markers[0].ms));
}

// --verbose: each format's walk says why a file gives fewer markers than it
// seems to hold; the rest of the output is what it is without the option.
TEST(MaxhostMarkers, VerboseLogsWhereEachFormatsWalkStopped) {
    const test_support::ScratchDir dir("markers");
    // AIFF: a marker count of 2 over one marker.
    Bytes aif = form_file("AIFF", {comm_chunk(1000, 10), mark_chunk({{1, 10, "a"}})});
    const auto mark = std::search(aif.begin(), aif.end(), std::begin("MARK"), std::end("MARK") - 1);
    ASSERT_NE(mark, aif.end());
    mark[9] = 2;
    dir.write("count.aif", aif);
    // WAVE: the label list cut three bytes short.
    Bytes wav = wave_file({fmt_chunk(1000), cue_chunk({{1, 10}}), adtl_list({{1, "one"}})});
    const std::size_t list_at = wav.size() - adtl_list({{1, "one"}}).size();
    wav.resize(wav.size() - 3);
    dir.write("cut.wav", wav);
    // Sound Designer II: two markers promised, one held.
    Bytes sdml = sdml_data({{100, 1, "m", {}, 0}});
    sdml[7] = 2;
    dir.write("two.sd2", sd2_data(std::vector<int16_t>(8)));
    dir.write("two.sd2.rsrc", resource_fork({{"STR ", 1001, pascal_string("1000")}, {"sdML", 1000, sdml}}));

    const std::string files = " count.aif cut.wav two.sd2 2>&1";
    const std::string cd = "cd " + dir.string() + " && " + cli_test::command_line(MAXHOST_EXE) + " markers ";
    cli_test::Result plain = shell(cd + files);
    cli_test::Result verbose = shell(cd + "--verbose" + files);
    EXPECT_EQ(verbose.status, plain.status);
    std::istringstream lines(verbose.output);
    std::string line, rest;
    std::vector<std::string> log;
    while (std::getline(lines, line)) {
        if (line.find(": log: ") != std::string::npos)
            log.push_back(line);
        else
            rest += line + "\n";
    }
    EXPECT_EQ(rest, plain.output);
    EXPECT_EQ(plain.output.find(": log: "), std::string::npos);
    EXPECT_EQ(log,
              (std::vector<std::string>{
                  "count.aif: log: MARK: marker 2 of 2 at byte 18: cut short by the end of the chunk; "
                  "the walk ends",
                  "cut.wav: log: WAVE: 'LIST' chunk at byte " + std::to_string(list_at) +
                      ": the file ends after 17 of its 20 bytes; the rest reads as zeros",
                  "two.sd2: log: sdML 1000: marker 2 of 2 at byte 29: cut short by the end of the resource; "
                  "the walk ends"}));

    // In JSON the log is one more member, only when asked for.
    auto doc = parse_json(shell(cd + "--json --verbose two.sd2").output);
    ASSERT_TRUE(doc);
    EXPECT_EQ((*doc)[0]["log"].size(), 1u);
    auto quiet = parse_json(shell(cd + "--json two.sd2").output);
    ASSERT_TRUE(quiet);
    EXPECT_EQ(keys((*quiet)[0]),
              (std::vector<std::string>{"file", "type", "sampleRate", "count", "markers", "errors"}));
}
