// The walks' log: where and why each stopped early or passed something over,
// and that a walk with its log on sends exactly what it sends without.
#include <algorithm>
#include <string>
#include <vector>

#include "brindle_recorder.hpp"
#include "file_writers.hpp"

using namespace brindle_test;
using namespace writers;

namespace {

using Lines = std::vector<std::string>;

struct Log {
    Lines lines;
    brindle_log log{this, [](void *c, const char *t) { static_cast<Log *>(c)->lines.push_back(t); }};
};

Lines header_log(const Bytes &file) {
    MemFile s{file};
    Blocks blocks;
    Log log;
    int32_t rate = 0;
    t_dynMemory cue{nullptr, 0}, list{nullptr, 0}, smpl{nullptr, 0};
    brindle_wave_header_walk(s.stream(), blocks.memory(), brindle_wave_data{&rate, &cue, &list, &smpl},
                             &log.log);
    for (auto *d : {&cue, &list, &smpl}) brindle_release_block(blocks.memory(), *d);
    return log.lines;
}

Bytes cut(Bytes b, std::size_t n) {
    b.resize(b.size() - n);
    return b;
}

std::string at(std::size_t offset) { return std::to_string(offset); }

}  // namespace

TEST(BrindleLog, AiffMarkChunkCutShort) {
    Log log;
    Recorder r;
    const int32_t peak = 0;
    // Three markers promised, two held: the third would start at byte 28.
    const Bytes two = mark_chunk({{1, 10, "a"}, {2, 20, "bb"}}, 3);
    brindle_aiff_walk(brindle_bytes{two.data(), two.size()}, 1000, &peak, r.sink(), &log.log);
    EXPECT_EQ(r.names(), (std::vector<std::string>{"a", "bb"}));
    // A name whose last bytes the chunk does not hold.
    const Bytes name = cut(mark_chunk({{1, 10, "abcd"}}), 3);
    brindle_aiff_walk(brindle_bytes{name.data(), name.size()}, 1000, &peak, r.sink(), &log.log);
    const Bytes tiny = Bytes{}.text("MARK").u32be(0);
    brindle_aiff_walk(brindle_bytes{tiny.data(), tiny.size()}, 1000, &peak, r.sink(), &log.log);
    EXPECT_EQ(log.lines,
              (Lines{"MARK: marker 3 of 3 at byte 28: cut short by the end of the chunk; the walk ends",
                     "MARK: marker 1 of 1 at byte 10: its name of 4 bytes runs past the end of the chunk; "
                     "the walk ends",
                     "MARK: 8 bytes, too few for the marker count at byte 8; count 0"}));
}

TEST(BrindleLog, Sd2ResourcesCutShortAndARateTextWithoutANumber) {
    Log log;
    Recorder r;
    // Markers of 21 and 22 bytes after the 8-byte header.
    const Bytes two = sdml_data({{100, 1, "x"}, {200, 2, "yy"}}, 3);
    brindle_sd2_walk(brindle_bytes{two.data(), two.size()}, 1000, r.sink(), &log.log);
    const Bytes negative = sdml_data({{100, 1, "x", -1}});
    brindle_sd2_walk(brindle_bytes{negative.data(), negative.size()}, 1000, r.sink(), &log.log);
    const Bytes past = cut(sdml_data({{100, 1, "xyz"}}), 1);
    brindle_sd2_walk(brindle_bytes{past.data(), past.size()}, 1000, r.sink(), &log.log);
    const Bytes words = pascal_string("fast");
    EXPECT_EQ(brindle_sd2_stated_rate(brindle_bytes{words.data(), words.size()}, &log.log), std::nullopt);
    const Bytes fits = pascal_string("44100.5");
    EXPECT_EQ(brindle_sd2_stated_rate(brindle_bytes{fits.data(), fits.size()}, &log.log), 44100);
    EXPECT_EQ(
        log.lines,
        (Lines{"sdML 1000: marker 3 of 3 at byte 51: cut short by the end of the resource; the walk ends",
               "sdML 1000: marker 1 of 1 at byte 8: a name length of -1; the walk ends",
               "sdML 1000: marker 1 of 1 at byte 8: its name of 3 bytes runs past the end of the resource; "
               "the walk ends",
               "STR  1001: \"fast\" holds no number, no rate"}));
}

TEST(BrindleLog, WaveHeaderWalkSaysWhereTheFileFailsIt) {
    const Bytes fmt = riff_chunk("fmt ", fmt_data(1000));
    const Bytes info = riff_chunk("LIST", Bytes{}.text("INFO").zeros(4));
    const Bytes cue = riff_chunk("cue ", cue_data({{1, 10}}));
    const Bytes adtl = riff_chunk("LIST", adtl_data({{1, "one"}}));
    const std::size_t list_at = 12 + fmt.size() + info.size() + cue.size();
    // The last label list cut three bytes short.
    EXPECT_EQ(
        header_log(cut(wave_file({fmt, info, cue, adtl}), 3)),
        (Lines{"WAVE: 'LIST' chunk at byte 36: of type 'INFO', not adtl; passed over",
               "WAVE: 'LIST' chunk at byte " + at(list_at) + ": the file ends after " + at(adtl.size() - 11) +
                   " of its " + at(adtl.size() - 8) + " bytes; the rest reads as zeros"}));
    // A chunk header cut short, and a step past the end.
    Bytes tail = wave_file({fmt});
    tail.text("smp");
    EXPECT_EQ(header_log(tail),
              Lines{"WAVE: chunk header at byte 36 cut short, 3 of 8 bytes; the walk ends"});
    EXPECT_EQ(
        header_log(cut(wave_file({fmt, riff_chunk("data", Bytes{}.zeros(100))}), 1)),
        Lines{"WAVE: 'data' chunk at byte 36: its 100 bytes run past the end of the file; the walk ends"});
    // More than a block holds; cue points without labels.
    EXPECT_EQ(
        header_log(wave_file({riff_chunk("cue ", Bytes{}.zeros(40000))})),
        Lines{"WAVE: 'cue ' chunk at byte 12: 40000 bytes, more than a block holds (32767); the walk ends"});
    EXPECT_EQ(header_log(wave_file({fmt, cue})),
              Lines{"WAVE: a cue chunk but no adtl list: no labels, the cue points are dropped"});
    EXPECT_EQ(header_log(wave_file({fmt, cue, adtl})), Lines{});
}

TEST(BrindleLog, WaveBuilderSaysWhatItCouldNotServe) {
    const Bytes cue = cue_data({{1, 10}, {2, 20}, {3, 30}});
    const Bytes list = adtl_data({{1, "a"}, {2, "b"}});
    const Bytes smpl = cut(smpl_data({{1, 2}, {3, 4}}), 24);
    auto run = [&](const brindle_log *log) {
        Blocks blocks;
        Recorder r;
        brindle_wave_build(brindle_bytes{cue.data(), cue.size()}, brindle_bytes{list.data(), list.size()},
                           brindle_bytes{smpl.data(), smpl.size()}, 1000, blocks.memory(), r.sink(), log);
        return r;
    };
    Log log;
    const Recorder logged = run(&log.log);
    const Recorder silent = run(nullptr);
    EXPECT_EQ(logged.counts, silent.counts);
    EXPECT_EQ(logged.names(), silent.names());
    EXPECT_EQ(logged.names(), (std::vector<std::string>{"a", "b", "beg loop", "end loop"}));
    // The third label's search starts at the text of the second, byte 30.
    EXPECT_EQ(log.lines, (Lines{"LIST: label 3 of 3: no whole labl from byte 30 on; the label pass ends",
                                "smpl: 2 loops announced, 1 held whole; the rest are not sent"}));
}
