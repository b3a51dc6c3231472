// brindle~ reading files from disk through the host's file services: files
// written by libsndfile and libaudiofile, fixtures for what they cannot
// write, real files made by other programs, and every message of the open.
#include <cmath>
#include <filesystem>

#include "brindle_host_fixture.hpp"
#include "brindle_writers.hpp"

using namespace brindle_test;

namespace {

std::filesystem::path samples_dir() { return MAXHOST_SAMPLES_DIR; }

}  // namespace

// --- AIFF and AIFC ---------------------------------------------------------

TEST_F(BrindleHost, AiffMarkersWrittenByLibsndfile) {
    // libsndfile counts the NUL of an even-length name in its length byte,
    // and writes an empty name as a lone NUL: the empty symbol, not the id.
    ASSERT_TRUE(sndfile_write(path("s.aif"), Container::Aiff, 44100,
                              {{1, 11025, "ab"}, {2, 22050, "abc"}, {3, 44100, ""}}));
    auto *b = make("b");
    open(b, "s.aif");
    EXPECT_EQ(take(), (Lines{cnt(3), ms("ab", 250), ms("abc", 500), ms("", 1000)}));
    EXPECT_EQ(errors(), Lines{});
}

TEST_F(BrindleHost, AiffAndAifcMarkersWrittenByLibaudiofile) {
    for (auto [file, container] : {std::pair{"a.aif", Container::Aiff}, {"a.aifc", Container::Aifc}}) {
        ASSERT_TRUE(audiofile_write(
            path(file), container, 44100,
            {{1, 11025, "one"}, {2, 22050, "twoo"}, {3, 44100, ""}, {4, 3000000000u, "far"}}));
        auto *b = make(file);
        open(b, file);
        EXPECT_EQ(rec(b).fileType, container == Container::Aiff ? BRINDLE_AIFF : BRINDLE_AIFC);
        // Above 2^31 the frame is positive in milliseconds, negative as an
        // integer.
        EXPECT_EQ(take(),
                  (Lines{cnt(4), ms("one", 250), ms("twoo", 500), ms("3", 1000), ms("far", 68027208.0f)}));
        msg(b, "mode", {headless::long_atom(1)});
        EXPECT_EQ(bang(b), (Lines{cnt(4), fr("one", 11025), fr("twoo", 22050), fr("3", 44100),
                                  fr("far", -1294967296)}));
    }
}

TEST_F(BrindleHost, PeakModeDropsOneTrailingBlankFromAiffNames) {
    ASSERT_TRUE(audiofile_write(path("p.aif"), Container::Aiff, 1000,
                                {{1, 1, "one "}, {2, 2, "two  "}, {3, 3, " "}, {4, 4, ""}}));
    auto *b = make("b", "p.aif");
    host.run_deferred();
    msg(b, "mode", {headless::long_atom(1)});
    EXPECT_EQ(bang(b), (Lines{cnt(4), fr("one ", 1), fr("two  ", 2), fr(" ", 3), fr("4", 4)}));
    msg(b, "peak", {headless::long_atom(1)});
    EXPECT_EQ(bang(b), (Lines{cnt(4), fr("one", 1), fr("two ", 2), fr("", 3), fr("4", 4)}));
}

TEST_F(BrindleHost, AiffWithoutMarkersAndAFailedInformationCall) {
    ASSERT_TRUE(audiofile_write(path("none.aif"), Container::Aiff, 44100, {}));
    put("broken.aif", Bytes{}.text("FORM").u32be(4).text("AIFF"));
    auto *b = make("b");
    open(b, "none.aif");
    EXPECT_EQ(take(), Lines{cnt(0)});
    // The reader still runs, on no marker chunk.
    open(b, "broken.aif");
    EXPECT_EQ(errors(), Lines{"sndfile_info error"});
    EXPECT_EQ(take(), Lines{cnt(0)});
}

TEST_F(BrindleHost, AnAiffCountPromisingMoreMarkersThanItsChunkHoldsSendsTheWholeOnes) {
    // Rate 1000 as an 80-bit float: 2^9 x 1.953125.
    const Bytes comm =
        Bytes{}.text("COMM").u32be(18).u16be(1).u32be(0).u16be(16).u16be(0x4008).u32be(0xFA000000).u32be(0);
    const Bytes mark = mark_chunk({{1, 1, "a"}, {2, 500, "bb"}}, 5);
    const auto form = [&](const Bytes &mark_chunk) {
        return Bytes{}
            .text("FORM")
            .u32be(static_cast<uint32_t>(4 + comm.size() + mark_chunk.size()))
            .text("AIFF")
            .append(comm)
            .append(mark_chunk);
    };
    put("lying.aif", form(mark));
    // A last name running past the chunk ends the walk before it.
    Bytes cut = mark_chunk({{1, 1, "a"}, {2, 500, "bb"}, {3, 700, "ccc"}});
    cut.resize(cut.size() - 2);
    cut[7] = static_cast<uint8_t>(cut.size() - 8);
    put("cut.aif", form(cut));

    auto *b = make("b");
    open(b, "lying.aif");
    EXPECT_EQ(errors(), Lines{});
    EXPECT_EQ(take(), (Lines{cnt(5), ms("a", 1), ms("bb", 500)}));
    open(b, "cut.aif");
    EXPECT_EQ(errors(), Lines{});
    EXPECT_EQ(take(), (Lines{cnt(3), ms("a", 1), ms("bb", 500)}));
}

// --- WAVE ------------------------------------------------------------------

TEST_F(BrindleHost, WaveWrittenByLibsndfile) {
    // libsndfile writes cue points but no labels, so only the loops count;
    // it stores a loop's end as the last frame inside it.
    ASSERT_TRUE(sndfile_write(path("s.wav"), Container::Wave, 44100, {{1, 100, "x"}, {2, 200, "y"}},
                              {{44100, 88201}, {22050, 66151}}));
    auto *b = make("b");
    open(b, "s.wav");
    EXPECT_EQ(take(), (Lines{cnt(4), ms("beg loop", 1000), ms("end loop", 2000), ms("beg loop", 500),
                             ms("end loop", 1500)}));
    msg(b, "mode", {headless::long_atom(1)});
    EXPECT_EQ(bang(b), (Lines{cnt(4), fr("beg loop", 44100), fr("end loop", 88200), fr("beg loop", 22050),
                              fr("end loop", 66150)}));
}

// What the walk keeps of a chunk too long for a block is the walk's
// (BrindleWaveWalk); what the object adds is the line naming the chunk.
TEST_F(BrindleHost, WaveChunksTooLongForABlock) {
    const Bytes fmt = riff_chunk("fmt ", fmt_data(1000));
    const Bytes cue = riff_chunk("cue ", cue_data({{1, 10}}));
    const Bytes adtl = riff_chunk("LIST", adtl_data({{1, "label"}}));
    const Bytes big = Bytes{}.zeros(40000);
    const std::pair<Bytes, const char *> cases[] = {
        {wave_file({fmt, adtl, riff_chunk("cue ", big)}), "(cue )"},
        {wave_file({fmt, cue, riff_chunk("LIST", Bytes{}.text("adtl").zeros(40000))}), "(LIST)"},
        {wave_file({fmt, cue, adtl, riff_chunk("smpl", big)}), "(smpl)"}};
    auto *b = make("b");
    for (const auto &[file, chunk] : cases) {
        put("long.wav", file);
        open(b, "long.wav");
        EXPECT_EQ(errors(), Lines{std::string("getbytes problem, maybe the header is too long ") + chunk});
    }
}

TEST_F(BrindleHost, WaveBlocksTheHostCannotGive) {
    const Bytes fmt = riff_chunk("fmt ", fmt_data(1000));
    const Bytes cue = riff_chunk("cue ", cue_data({{1, 10}}));
    const Bytes adtl = riff_chunk("LIST", adtl_data({{1, "label"}}));
    const Bytes smpl = riff_chunk("smpl", smpl_data({{1, 2}}));
    put("cue-first.wav", wave_file({fmt, cue, adtl, smpl}));
    put("list-first.wav", wave_file({fmt, adtl, cue, smpl}));
    put("smpl-first.wav", wave_file({fmt, smpl, cue, adtl}));
    auto *b = make("b");
    // The first block asked for is refused: the walk ends there.
    const std::pair<const char *, const char *> cases[] = {
        {"cue-first.wav", "getbytes problem, maybe the header is too long (cue )"},
        {"list-first.wav", "getbytes problem, maybe the header is too long (LIST)"},
        {"smpl-first.wav", "getbytes problem, maybe the header is too long (smpl)"}};
    for (auto [file, line] : cases) {
        host.fail_allocations(1);
        open(b, file);
        EXPECT_EQ(errors(), Lines{line});
        EXPECT_EQ(take(), Lines{cnt(0)}) << file;
    }
    // The working table refused: the count, then nothing; later runs have
    // only the loops.
    open(b, "cue-first.wav");
    EXPECT_EQ(take(), (Lines{cnt(3), ms("label", 10), ms("beg loop", 1), ms("end loop", 2)}));
    host.fail_allocations(1);
    EXPECT_EQ(bang(b), Lines{cnt(3)});
    EXPECT_EQ(errors(), Lines{"getbytes problem, maybe the header is too long"});
    EXPECT_EQ(bang(b), (Lines{cnt(2), ms("beg loop", 1), ms("end loop", 2)}));
}

TEST_F(BrindleHost, ARefusedTableInANestedRunKeepsTheBlocksTheOuterRunReads) {
    put("two.wav",
        wave_file({riff_chunk("fmt ", fmt_data(1000)), riff_chunk("cue ", cue_data({{1, 10}, {2, 20}})),
                   riff_chunk("LIST", adtl_data({{1, "one"}, {2, "two"}}))}));
    auto *b = make("b");
    open(b, "two.wav");
    take();
    // The receiver of the first marker bangs again with no memory to spare.
    bool nested = false;
    host.on_message = [&](const headless::OutletMessage &m) {
        if (m.outlet != 0 || nested) return;
        nested = true;
        host.fail_allocations(1);
        host.send(b, std::vector<t_atom>{headless::sym_atom("bang")});
    };
    bang(b);
    host.on_message = nullptr;
    EXPECT_EQ(errors(), Lines{"getbytes problem, maybe the header is too long"});
    // The outer run went on over intact data; once it ended, the blocks went.
    EXPECT_EQ(bang(b), Lines{cnt(0)});
}

TEST_F(BrindleHost, WaveCountsTheBuilderCannotServe) {
    const Bytes fmt = riff_chunk("fmt ", fmt_data(1000));
    const Bytes loops = riff_chunk("smpl", smpl_data({{1, 2}}));
    // 5000 cue points promised: a table of 40000 bytes.
    put("many.wav", wave_file({fmt, riff_chunk("cue ", cue_data({{1, 10}}, 5000)),
                               riff_chunk("LIST", adtl_data({{1, "x"}})), loops}));
    auto *b = make("b");
    open(b, "many.wav");
    EXPECT_EQ(take(), Lines{cnt(5002)});
    EXPECT_EQ(errors(), Lines{"getbytes problem, maybe the header is too long"});
    // The cue and label data were given back: later runs send the loops.
    EXPECT_EQ(bang(b), (Lines{cnt(2), ms("beg loop", 1), ms("end loop", 2)}));
    EXPECT_EQ(errors(), Lines{});

    // A label for a cue point that is not there, then one that is.
    put("orphan.wav", wave_file({fmt, riff_chunk("cue ", cue_data({{1, 10}, {2, 20}})),
                                 riff_chunk("LIST", adtl_data({{7, "lost"}, {2, "found"}})), loops}));
    open(b, "orphan.wav");
    EXPECT_EQ(errors(), Lines{"Inconsistance in the WAVE header))"});
    EXPECT_EQ(take(), (Lines{cnt(4), ms("found", 20), ms("beg loop", 1), ms("end loop", 2)}));
}

// Every truncation past the RIFF header is the walk's
// (BrindleWaveWalk.EveryTruncationSendsWholeLoopsOrZeros); a file shorter
// than that header is refused by the open.
TEST_F(BrindleHost, AWaveFileShorterThanItsRiffHeader) {
    put("short.wav", Bytes{}.text("RIFF").u32le(0));
    auto *b = make("b");
    open(b, "short.wav");
    EXPECT_EQ(errors(), Lines{"WAVE Header looks strange"});
    EXPECT_EQ(take(), Lines{cnt(0)});
}

// libaudiofile writes cue before fmt, a note after each label, and the
// marker's ordinal in the cue position field that is read.
TEST_F(BrindleHost, MarkerCountSweepsThroughLibaudiofile) {
    auto *b = make("b");
    msg(b, "mode", {headless::long_atom(1)});
    for (int n : {1, 2, 3, 16, 99}) {
        std::vector<Told> told;
        for (int i = 0; i < n; ++i) {
            // Names of every length parity, some empty.
            told.push_back({i + 1, static_cast<uint32_t>(1000 * i + 1),
                            i % 5 == 4 ? "" : std::string(i % 7 + 1, 'a' + i % 26)});
        }
        for (auto [file, c] : {std::pair{"n.aif", Container::Aiff}, {"n.wav", Container::Wave}}) {
            ASSERT_TRUE(audiofile_write(path(file), c, 8000, told));
            open(b, file);
            Lines want{cnt(n)};
            for (int i = 0; i < n; ++i) {
                const auto &t = told[i];
                // WAVE cue positions hold libaudiofile's ordinals.
                const int32_t at = c == Container::Wave ? i : static_cast<int32_t>(t.frame);
                want.push_back(fr(t.name.empty() ? std::to_string(t.id) : t.name, at));
            }
            EXPECT_EQ(take(), want) << file << " with " << n;
            if (c == Container::Wave) {
                EXPECT_EQ(rec(b).sampleRate, 8000);
            }
        }
    }
    EXPECT_EQ(errors(), Lines{});
}

// --- Sound Designer II -------------------------------------------------------

TEST_F(BrindleHost, SoundDesignerTwoMarkers) {
    put("s.sd2", Bytes{}.zeros(64));
    put("s.sd2.rsrc",
        resource_fork({{"STR ", 1001, pascal_string("44100.000")},
                       {"sdML", 1000, sdml_data({{22050, 1, "half "}, {44100, 12, ""}, {-1, -1, ""}})}}));
    auto *b = make("b");
    open(b, "s.sd2");
    EXPECT_EQ(rec(b).fileType, BRINDLE_SD2);
    EXPECT_EQ(rec(b).sampleRate, 44100);
    auto out = take();
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(Lines(out.begin(), out.begin() + 3), (Lines{cnt(3), ms("half ", 500), ms("12", 1000)}));
    msg(b, "mode", {headless::long_atom(1)});
    msg(b, "peak", {headless::long_atom(1)});
    // peak leaves Sound Designer II names as they are.
    EXPECT_EQ(bang(b), (Lines{cnt(3), fr("half ", 22050), fr("12", 44100), fr("4294967295", -1)}));
    EXPECT_EQ(bang(b), (Lines{cnt(3), fr("half ", 22050), fr("12", 44100), fr("4294967295", -1)}));
}

TEST_F(BrindleHost, SoundDesignerTwoWithoutItsResources) {
    put("nofork.sd2", Bytes{}.zeros(8));
    put("norate.sd2", Bytes{}.zeros(8));
    put("norate.sd2.rsrc", resource_fork({{"sdML", 1000, sdml_data({{1, 1, "a"}})}}));
    put("nolist.sd2", Bytes{}.zeros(8));
    put("nolist.sd2.rsrc", resource_fork({{"STR ", 1001, pascal_string("48000")}}));
    auto *b = make("b");
    open(b, "nofork.sd2");
    EXPECT_EQ(errors(), Lines{"error - sdII - carbon load res fork: -193"});
    open(b, "norate.sd2");
    EXPECT_EQ(errors(), Lines{"error - sdII - carbon load res fork: -192"});
    open(b, "nolist.sd2");
    EXPECT_EQ(errors(), Lines{"error - sdII - carbon load res fork: -192"});
    EXPECT_EQ(take(), Lines{});
    // The rate resource stays held until the next open; a bang without
    // both resources sends the count 0.
    EXPECT_NE(rec(b).rateResource, nullptr);
    EXPECT_EQ(bang(b), Lines{cnt(0)});
}

// --- finding the file ----------------------------------------------------------

TEST_F(BrindleHost, NamesThatFindNothing) {
    put("m.wav", wave_file({riff_chunk("smpl", smpl_data({{1, 2}}))}));
    auto *b = make("b");
    open(b, "m.wav");
    take();
    open(b, "absent.wav");
    EXPECT_EQ(errors(), Lines{"File not found?"});
    EXPECT_EQ(take(), Lines{});
    // The type still says WAVE, but its data went with the failed open.
    EXPECT_EQ(bang(b), Lines{cnt(0)});

    // A name longer than 255 characters is refused, never cut: cut, it
    // would name this file.
    const std::string stem(255 - 4, 'n');
    put(stem + ".wav", wave_file({riff_chunk("smpl", smpl_data({{1, 2}}))}));
    open(b, stem + ".wav");
    EXPECT_EQ(take().size(), 3u);
    open(b, stem + ".wavx");
    EXPECT_EQ(errors(), Lines{"File not found?"});
    EXPECT_EQ(take(), Lines{});
    auto *named = make("named", stem + ".wavx");
    ASSERT_NE(named, nullptr);
    host.run_deferred();
    EXPECT_EQ(errors(), Lines{"File not found?"});
    EXPECT_EQ(rec(named).fileType, FOUR_CHAR_CODE('0', '0', '0', '0'));
}

TEST_F(BrindleHost, TheFileDialog) {
    put("m.wav", wave_file({riff_chunk("fmt ", fmt_data(1000)), riff_chunk("smpl", smpl_data({{1, 2}}))}));
    auto *b = make("b");
    host.set_dialog_answer(path("m.wav"));
    msg(b, "open");
    host.run_deferred();
    EXPECT_EQ(take(), (Lines{cnt(2), ms("beg loop", 1), ms("end loop", 2)}));
    EXPECT_EQ(std::string(rec(b).fileName), "m.wav");
    // Cancelled: nothing printed, but the markers are gone.
    msg(b, "open");
    host.run_deferred();
    EXPECT_EQ(errors(), Lines{});
    EXPECT_EQ(take(), Lines{});
    EXPECT_EQ(bang(b), Lines{cnt(0)});
}

// --- files made by other programs ----------------------------------------------

TEST_F(BrindleHost, RealFilesFromOtherPrograms) {
    ASSERT_TRUE(std::filesystem::exists(samples_dir() / "SOURCES.md")) << "no samples folder";
    host.add_search_dir(samples_dir().string());
    auto *b = make("b");
    msg(b, "mode", {headless::long_atom(1)});
    auto read = [&](const std::string &file) {
        open(b, file);
        EXPECT_EQ(errors(), Lines{}) << file;
        return take();
    };
    // Labels that RIFF pads, an INFO list after the adtl list, ltxt
    // sub-chunks between the labels.
    const char *hits[] = {
        "Hat + Kick", "Hat", "Hat", "Hat", "Snare + Clap + Hat", "Hat", "Hat",        "Hat",
        "Kick + Hat", "Hat", "Hat", "Hat", "Clap + Snare + Hat", "Hat", "Kick + Hat", "Hat"};
    Lines flloop{cnt(18)};
    for (int i = 0; i < 16; ++i) flloop.push_back(fr(hits[i], 6750 * i));
    flloop.push_back(fr("beg loop", 0));
    flloop.push_back(fr("end loop", 107999));
    EXPECT_EQ(read("goaudio__flloop.wav"), flloop);

    EXPECT_EQ(read("wavefile__test-cue-reaper.wav"), (Lines{cnt(1), fr("test cue reaper", 8000)}));
    EXPECT_EQ(read("wavefile__16bit-8kHz-1c-reaper-utf8cue.wav"), (Lines{cnt(1), fr("\xce\xa9", 4000)}));
    EXPECT_EQ(read("wavefile__16bit-9khz-1c-1region-reaper.wav"),
              (Lines{cnt(3), fr("1", 4000), fr("beg loop", 4000), fr("end loop", 8000)}));
    EXPECT_EQ(read("wavinfo__izotoperx_cues_test.wav"),
              (Lines{cnt(3), fr("Marker 1", 1000), fr("Marker 2", 5000), fr("Marker 3", 10000)}));
    EXPECT_EQ(read("wavinfo__alarm_citizen_loop1_udata.wav"),
              (Lines{cnt(2), fr("beg loop", 0), fr("end loop", 99509)}));
    EXPECT_EQ(read("goaudio__ring.aif"),
              (Lines{cnt(2), fr("Tempo: 98.0", 0), fr("Timestamp: 158848064", 0)}));
    EXPECT_EQ(read("goaudio__sowt.aif"), (Lines{cnt(2), fr("1", 0), fr("2", 1)}));

    // In milliseconds, as each format computes them.
    msg(b, "mode", {headless::long_atom(0)});
    EXPECT_EQ(read("wavefile__16bit-9khz-1c-1region-reaper.wav"),
              (Lines{cnt(3), ms("1", 500), ms("beg loop", 500), ms("end loop", 1000)}));
}

TEST_F(BrindleHost, RealResourceForksWithoutTheMarkerResources) {
    ASSERT_TRUE(std::filesystem::exists(samples_dir() / "SOURCES.md")) << "no samples folder";
    auto *b = make("b");
    for (auto fork : {"rsrcfork__testfile.rsrc", "rsrcfork__empty.rsrc"}) {
        put("f.sd2", Bytes{}.zeros(8));
        std::filesystem::copy_file(samples_dir() / fork, dir / "f.sd2.rsrc",
                                   std::filesystem::copy_options::overwrite_existing);
        open(b, "f.sd2");
        const auto e = errors();
        ASSERT_EQ(e.size(), 1u) << fork;
        EXPECT_EQ(e[0].rfind("error - sdII - carbon load res fork: -19", 0), 0u) << e[0];
        EXPECT_EQ(take(), Lines{});
    }
}

// --- runs of brindle~ inside runs of brindle~ -------------------------------------

namespace {

// Two labelled cue points and one loop, at 1000 Hz.
Bytes two_labels_and_a_loop() {
    return wave_file({riff_chunk("fmt ", fmt_data(1000)), riff_chunk("cue ", cue_data({{1, 10}, {2, 20}})),
                      riff_chunk("LIST", adtl_data({{1, "one"}, {2, "two"}})),
                      riff_chunk("smpl", smpl_data({{1, 2}}))});
}

const Lines LOOPS_ONLY = {cnt(2), ms("beg loop", 1), ms("end loop", 2)};

}  // namespace

TEST_F(BrindleHost, ARefusedTableInABoxBangedByAnotherBoxReleasesItsOwnBlocks) {
    put("a.wav", two_labels_and_a_loop());
    // 5000 cue points promised: a table no block can hold, on every run.
    put("many.wav",
        wave_file({riff_chunk("fmt ", fmt_data(1000)), riff_chunk("cue ", cue_data({{1, 10}}, 5000)),
                   riff_chunk("LIST", adtl_data({{1, "x"}})), riff_chunk("smpl", smpl_data({{1, 2}}))}));
    auto *a = make("a", "a.wav");
    // Named in the box, B loads silently: its first run is inside A's.
    auto *b = make("b", "many.wav");
    host.run_deferred();
    EXPECT_EQ(take(), Lines{});
    // A's left outlet goes to B's bang, as in a chain of readers.
    host.on_message = [&](const headless::OutletMessage &m) {
        if (m.box == "a" && m.outlet == 0) host.send(b, std::vector<t_atom>{headless::sym_atom("bang")});
    };
    // Each of A's lists, then B's run: the first refused after its count.
    const Lines loops = LOOPS_ONLY;
    Lines expected = {cnt(4), ms("one", 10), cnt(5002), ms("two", 20)};
    expected.insert(expected.end(), loops.begin(), loops.end());
    for (auto end : {"beg loop", "end loop"}) {
        expected.push_back(ms(end, std::string(end) == "beg loop" ? 1 : 2));
        expected.insert(expected.end(), loops.begin(), loops.end());
    }
    EXPECT_EQ(bang(a), expected);
    host.on_message = nullptr;
    // Refused once: B gave its cue and label data back though A's run was
    // under way, so its later runs in A's run and after it send the loops
    // alone, and A still has its labels.
    EXPECT_EQ(errors(), Lines{"getbytes problem, maybe the header is too long"});
    EXPECT_EQ(bang(b), LOOPS_ONLY);
    EXPECT_EQ(errors(), Lines{});
    EXPECT_EQ(bang(a), (Lines{cnt(4), ms("one", 10), ms("two", 20), ms("beg loop", 1), ms("end loop", 2)}));
}

TEST_F(BrindleHost, ARefusedTableInANestedRunOfTheSameBoxIsReleasedWhenTheOutermostRunEnds) {
    put("w.wav", two_labels_and_a_loop());
    const Lines full = {cnt(4), ms("one", 10), ms("two", 20), ms("beg loop", 1), ms("end loop", 2)};
    // The receiver of the count bangs the box again, and one of the two
    // tables is refused: the inner one (asked for first) or the outer one.
    for (bool refuse_inner : {true, false}) {
        SCOPED_TRACE(refuse_inner ? "inner refused" : "outer refused");
        auto *b = make(refuse_inner ? "inner" : "outer");
        open(b, "w.wav");
        take();
        bool nested = false;
        host.on_message = [&](const headless::OutletMessage &m) {
            if (m.outlet != 1 || nested) return;
            nested = true;
            if (refuse_inner) host.fail_allocations(1);
            host.send(b, std::vector<t_atom>{headless::sym_atom("bang")});
            if (!refuse_inner) host.fail_allocations(1);
        };
        const Lines run = bang(b);
        host.on_message = nullptr;
        EXPECT_EQ(errors(), Lines{"getbytes problem, maybe the header is too long"});
        // Two counts, then the markers of the run that was not refused: after
        // an inner refusal the outer run still reads the blocks whole.
        Lines expected = {cnt(4)};
        expected.insert(expected.end(), full.begin(), full.end());
        EXPECT_EQ(run, expected);
        // Either way the blocks are gone once the outermost run ended.
        EXPECT_EQ(bang(b), LOOPS_ONLY);
        EXPECT_EQ(errors(), Lines{});
    }
}
