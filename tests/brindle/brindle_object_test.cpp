// brindle~ as a patch sees it: the banner, help texts, the two settings,
// bang with and without data, and the order in which deferred opens, bangs
// and frees meet.
#include <filesystem>

#include "brindle_host_fixture.hpp"

using namespace brindle_test;
using Kind = headless::ConsoleLine::Kind;

namespace {

const std::string CREDIT = "sound-file markers (AIFF, AIFC, WAVE, Sound Designer II)";

// A WAVE file with two labelled cue points and one loop, at 1000 Hz so
// that milliseconds and frames are easy to tell apart.
Bytes small_wave(const std::string &first = "first", uint32_t rate = 1000) {
    return wave_file({riff_chunk("fmt ", fmt_data(rate)), riff_chunk("cue ", cue_data({{1, 500}, {2, 1500}})),
                      riff_chunk("LIST", adtl_data({{1, first}, {2, "second"}})),
                      riff_chunk("smpl", smpl_data({{250, 750}}))});
}

const Lines SMALL_WAVE = {cnt(4), ms("first", 500), ms("second", 1500), ms("beg loop", 250),
                          ms("end loop", 750)};

}  // namespace

TEST(BrindleBanner, VersionFromTheBundleOrTheFallback) {
    {
        headless::Host host;
        ASSERT_TRUE(host.load_class("brindle~"));
        ASSERT_EQ(host.console.size(), 1u);
        EXPECT_EQ(host.console[0].kind, Kind::Post);
        EXPECT_EQ(host.console[0].text, "brindle~ " BRINDLE_VERSION " - " + CREDIT);
    }
    // The same bundle without its version information.
    const test_support::ScratchDir plain("brindle-plain");
    std::filesystem::copy_file(std::string(MAXHOST_PLUGIN_DIR) + "/brindle~.so", plain / "brindle~.so",
                               std::filesystem::copy_options::overwrite_existing);
    {
        headless::Host host;
        host.add_plugin_dir(plain.string());
        ASSERT_TRUE(host.load_class("brindle~"));
        ASSERT_EQ(host.console.size(), 1u);
        EXPECT_EQ(host.console[0].text, "brindle~ (unknown version!) - " + CREDIT);
    }
}

TEST_F(BrindleHost, HelpTexts) {
    auto *b = make("b");
    EXPECT_EQ(host.outlets(b), 2);
    EXPECT_EQ(host.assist(b, 1, 0), "open Opens File");
    EXPECT_EQ(host.assist(b, 2, 0), "name, time pair");
    EXPECT_EQ(host.assist(b, 2, 1), "Number of Cues");
    for (auto [kind, index] : {std::pair{1, 1}, {2, 2}, {2, -1}, {0, 0}, {3, 1}})
        EXPECT_EQ(host.assist(b, kind, index), "<untouched>") << kind << " " << index;
}

TEST_F(BrindleHost, SettingsTakeOnlyZeroOrOne) {
    auto *b = make("b");
    msg(b, "peak", {headless::long_atom(1)});
    msg(b, "peak", {headless::long_atom(2)});
    msg(b, "peak", {headless::long_atom(-1)});
    EXPECT_EQ(rec(b).peakMode, 1);
    msg(b, "mode", {headless::long_atom(1)});
    msg(b, "mode", {headless::long_atom(5)});
    EXPECT_EQ(rec(b).outputMode, 1);
    msg(b, "mode", {headless::long_atom(0)});
    EXPECT_EQ(rec(b).outputMode, 0);
    EXPECT_EQ(errors(), (Lines{"brindle: peak accepts only 0 or 1", "brindle: peak accepts only 0 or 1",
                               "brindle: outputMode accepts only 0 or 1"}));
    EXPECT_EQ(take(), Lines{});
}

TEST_F(BrindleHost, BangDispatchesOnTheFileType) {
    auto *b = make("b");
    // No file yet: nothing at all, not even a count.
    EXPECT_EQ(rec(b).fileType, FOUR_CHAR_CODE('0', '0', '0', '0'));
    EXPECT_EQ(bang(b), Lines{});
    EXPECT_EQ(errors(), Lines{});
    // A type code none of the readers knows.
    rec(b).fileType = FOUR_CHAR_CODE('J', 'U', 'N', 'K');
    EXPECT_EQ(bang(b), Lines{});
    EXPECT_EQ(errors(), Lines{"Bad file type"});
    EXPECT_EQ(rec(b).fileType, FOUR_CHAR_CODE('J', 'U', 'N', 'K'));
    // A format whose data is not held gives the count 0 and nothing else.
    for (auto type : {BRINDLE_AIFF, BRINDLE_AIFC, BRINDLE_WAVE, BRINDLE_SD2}) {
        rec(b).fileType = type;
        EXPECT_EQ(bang(b), Lines{cnt(0)});
    }
    EXPECT_EQ(errors(), Lines{});
}

TEST_F(BrindleHost, ANamedBoxLoadsSilentlyUntilTheFirstBang) {
    put("m.wav", small_wave());
    auto *b = make("b", "m.wav");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(rec(b).outputOnOpen, 0);
    host.run_deferred();
    EXPECT_EQ(take(), Lines{});
    EXPECT_EQ(rec(b).fileType, BRINDLE_WAVE);
    EXPECT_EQ(bang(b), SMALL_WAVE);
    EXPECT_EQ(rec(b).outputOnOpen, 1);
    // From now on an open sends at once.
    open(b, "m.wav");
    EXPECT_EQ(take(), SMALL_WAVE);
    EXPECT_EQ(errors(), Lines{});
}

TEST_F(BrindleHost, ABangBeforeTheDeferredOpenSendsNothingThenTheOpenSends) {
    put("m.wav", small_wave());
    auto *b = make("b", "m.wav");
    msg(b, "bang");
    EXPECT_EQ(take(), Lines{});
    host.run_deferred();
    EXPECT_EQ(take(), SMALL_WAVE);
}

TEST_F(BrindleHost, AnUnnamedBoxSendsOnEveryOpen) {
    put("m.wav", small_wave());
    auto *b = make("b");
    EXPECT_EQ(rec(b).outputOnOpen, 1);
    // open queues the work: nothing happens until the deferred queue runs.
    msg(b, "open", {headless::sym_atom("m.wav")});
    EXPECT_EQ(take(), Lines{});
    EXPECT_EQ(rec(b).fileType, FOUR_CHAR_CODE('0', '0', '0', '0'));
    host.run_deferred();
    EXPECT_EQ(take(), SMALL_WAVE);
    // The same file again: sent again, the first load given back first.
    const auto held = host.blocks_held();
    open(b, "m.wav");
    EXPECT_EQ(take(), SMALL_WAVE);
    EXPECT_EQ(host.blocks_held(), held);
}

TEST_F(BrindleHost, ABangWhileAnOpenIsPendingReadsThePreviousFile) {
    put("a.wav", small_wave("from a"));
    put("b.wav", small_wave("from b"));
    auto *b = make("b");
    open(b, "a.wav");
    take();
    msg(b, "open", {headless::sym_atom("b.wav")});
    msg(b, "bang");
    EXPECT_EQ(take()[1], ms("from a", 500));
    host.run_deferred();
    EXPECT_EQ(take()[1], ms("from b", 500));
}

TEST_F(BrindleHost, TwoQueuedOpensRunInTurn) {
    put("a.wav", small_wave("from a"));
    put("b.wav", wave_file({riff_chunk("fmt ", fmt_data(1000)), riff_chunk("smpl", smpl_data({{1, 2}}))}));
    auto *b = make("b");
    host.event(b, {{headless::sym_atom("open"), headless::sym_atom("a.wav")},
                   {headless::sym_atom("open"), headless::sym_atom("b.wav")}});
    auto out = take();
    ASSERT_EQ(out.size(), 8u);
    EXPECT_EQ(Lines(out.begin(), out.begin() + 5), (Lines{cnt(4), ms("from a", 500), ms("second", 1500),
                                                          ms("beg loop", 250), ms("end loop", 750)}));
    // The second open gave back everything the first loaded.
    EXPECT_EQ(host.blocks_held(), 1u);
    EXPECT_EQ(bang(b), (Lines{cnt(2), ms("beg loop", 1), ms("end loop", 2)}));
}

TEST_F(BrindleHost, FreeingABoxWithAnOpenQueued) {
    put("m.wav", small_wave());
    auto *named = make("named", "m.wav");
    auto *b = make("b");
    open(b, "m.wav");
    take();
    msg(b, "open", {headless::sym_atom("m.wav")});
    host.free_box(named);
    host.free_box(b);
    host.run_deferred();
    EXPECT_EQ(take(), Lines{});
    EXPECT_EQ(host.blocks_held(), 0u);
}

TEST_F(BrindleHost, RepeatedBangsAndTheOutputMode) {
    put("m.wav", small_wave());
    auto *b = make("b", "m.wav");
    host.run_deferred();
    EXPECT_EQ(bang(b), SMALL_WAVE);
    EXPECT_EQ(bang(b), SMALL_WAVE);
    msg(b, "mode", {headless::long_atom(1)});
    EXPECT_EQ(bang(b), (Lines{cnt(4), fr("first", 500), fr("second", 1500), fr("beg loop", 250),
                              fr("end loop", 750)}));
    // peak changes nothing for WAVE names.
    put("blank.wav", small_wave("trailing "));
    msg(b, "peak", {headless::long_atom(1)});
    open(b, "blank.wav");
    EXPECT_EQ(take()[1], fr("trailing ", 500));
}

TEST_F(BrindleHost, AReceiverThatChangesTheModeIsHeardFromTheNextMarker) {
    put("m.wav", small_wave());
    auto *b = make("b", "m.wav");
    host.run_deferred();
    host.on_message = [&](const headless::OutletMessage &m) {
        if (m.outlet == 0) rec(b).outputMode = 1;
    };
    EXPECT_EQ(bang(b), (Lines{cnt(4), ms("first", 500), fr("second", 1500), fr("beg loop", 250),
                              fr("end loop", 750)}));
    host.on_message = nullptr;
}
