// The WAVE header walk and marker builder, on files held in memory.
#include <algorithm>
#include <string>

#include "file_writers.hpp"
#include "brindle_recorder.hpp"

using namespace brindle_test;
using namespace writers;

namespace {

// What a walk leaves: the rate and the three blocks, as the object keeps
// them.
struct Walked {
    Blocks blocks;
    int32_t rate = -1;
    t_dynMemory cue{nullptr, 0}, list{nullptr, 0}, smpl{nullptr, 0};
    brindle_walk_end end{};
    std::size_t largest_read = 0;

    std::string held(const t_dynMemory &d) const { return d.size ? std::string(d.ptr, d.size) : "-"; }
    std::string cue_s() const { return held(cue); }
    std::string list_s() const { return held(list); }
    std::string smpl_s() const { return held(smpl); }

    Recorder build() {
        Recorder r;
        auto span = [](const t_dynMemory &d) {
            return brindle_bytes{reinterpret_cast<const uint8_t *>(d.ptr), static_cast<std::size_t>(d.size)};
        };
        brindle_wave_build(span(cue), span(list), span(smpl), rate, blocks.memory(), r.sink());
        return r;
    }
};

std::unique_ptr<Walked> walk(const Bytes &file) {
    auto w = std::make_unique<Walked>();
    MemFile f{file};
    w->end = brindle_wave_header_walk(f.stream(), w->blocks.memory(),
                                      brindle_wave_data{&w->rate, &w->cue, &w->list, &w->smpl});
    w->largest_read = f.file.largest_read;
    return w;
}

std::string str(const Bytes &b) { return std::string(b.begin(), b.end()); }

Recorder build(const Bytes &cue, const Bytes &list, const Bytes &smpl, int32_t rate = 44100,
               Blocks *blocks = nullptr) {
    Blocks own;
    Recorder r;
    auto result = brindle_wave_build(
        brindle_bytes{cue.data(), cue.size()}, brindle_bytes{list.data(), list.size()},
        brindle_bytes{smpl.data(), smpl.size()}, rate, (blocks ? blocks : &own)->memory(), r.sink());
    EXPECT_EQ(result, BRINDLE_WAVE_DONE);
    return r;
}

brindle_wave_result build_result(const Bytes &cue, const Bytes &list, const Bytes &smpl, Recorder &r) {
    Blocks blocks;
    return brindle_wave_build(brindle_bytes{cue.data(), cue.size()}, brindle_bytes{list.data(), list.size()},
                              brindle_bytes{smpl.data(), smpl.size()}, 44100, blocks.memory(), r.sink());
}

const Bytes none;

}  // namespace

// --- the header walk -----------------------------------------------------

TEST(BrindleWaveWalk, KeepsRateCueAndLabelsInAnyOrder) {
    const Bytes fmt = riff_chunk("fmt ", fmt_data(48000));
    const Bytes cue = riff_chunk("cue ", cue_data({{1, 100}}));
    const Bytes list = riff_chunk("LIST", adtl_data({{1, "one"}}));
    const Bytes data = riff_chunk("data", Bytes{}.zeros(1000));
    std::vector<Bytes> chunks{fmt, cue, list, data};
    std::vector<int> order{0, 1, 2, 3};
    do {
        std::vector<Bytes> file;
        for (int i : order) file.push_back(chunks[i]);
        auto w = walk(wave_file(file));
        EXPECT_EQ(w->end, BRINDLE_WALK_END_OF_FILE);
        EXPECT_EQ(w->rate, 48000);
        EXPECT_EQ(w->cue_s(), str(cue_data({{1, 100}})));
        EXPECT_EQ(w->list_s(), str(adtl_data({{1, "one"}})));
        EXPECT_EQ(w->smpl_s(), "-");
    } while (std::next_permutation(order.begin(), order.end()));
}

// What the walk keeps of each chunk, and where it ends.  Every block it
// holds at the end is one of the three it keeps: any other was given back.
TEST(BrindleWaveWalk, WhatEachFileKeeps) {
    const Bytes cue_d = cue_data({{1, 5}}), adtl_d = adtl_data({{1, "x"}}), smpl_d = smpl_data({{10, 20}});
    const Bytes cue = riff_chunk("cue ", cue_d), adtl = riff_chunk("LIST", adtl_d),
                smpl = riff_chunk("smpl", smpl_d);
    const auto fmt = [](uint32_t rate) { return riff_chunk("fmt ", fmt_data(rate)); };
    const Bytes info =
        riff_chunk("LIST", Bytes{}.text("INFO").append(riff_chunk("INAM", Bytes{}.text("song"))));
    const Bytes big_info = riff_chunk("LIST", Bytes{}.text("INFO").zeros(40000));
    const Bytes adtl2_d = adtl_data({{1, "second"}});
    const Bytes other_smpl = riff_chunk("smpl", smpl_data({{3, 4}, {5, 6}}));
    // An odd-sized chunk and its pad byte: a walk that ignored the pad
    // would read "\0cue" as an id and lose the rest.
    const Bytes odd = riff_chunk("junk", Bytes{}.text("abc"));
    const Bytes odd_info =
        riff_chunk("LIST", Bytes{}.text("INFO").append(riff_chunk("INAM", Bytes{}.text("x"))));
    Bytes odd_adtl_d = adtl_data({{1, "odd"}});
    odd_adtl_d.u8('!');
    const Bytes big = Bytes{}.zeros(40000), largest = Bytes{}.zeros(32767);
    const Bytes none;
    const brindle_walk_end eof = BRINDLE_WALK_END_OF_FILE;

    struct Case {
        const char *what;
        std::vector<Bytes> chunks;
        brindle_walk_end end;
        int32_t rate;
        Bytes cue, list, smpl;
        std::size_t most_read = SIZE_MAX;
    };
    std::vector<Case> cases = {
        {"cue points without labels", {cue, smpl}, eof, 0, none, none, smpl_d},
        {"labels without cue points", {adtl}, eof, 0, none, none, none},
        {"INFO before adtl", {cue, info, adtl, fmt(8000)}, eof, 8000, cue_d, adtl_d, none},
        {"INFO after adtl", {cue, adtl, info, fmt(8000)}, eof, 8000, cue_d, adtl_d, none},
        {"a large INFO list unread", {cue, adtl, big_info, fmt(8000)}, eof, 8000, cue_d, adtl_d, none, 39999},
        {"the second of two adtl lists",
         {cue, adtl, riff_chunk("LIST", adtl2_d)},
         eof,
         0,
         cue_d,
         adtl2_d,
         none},
        {"the first of two smpl chunks", {smpl, other_smpl, fmt(22050)}, eof, 22050, none, none, smpl_d},
        {"odd chunks padded", {odd, cue, odd_info, adtl, fmt(11025)}, eof, 11025, cue_d, adtl_d, none},
        {"an odd chunk kept at its size",
         {cue, riff_chunk("LIST", odd_adtl_d), fmt(32000)},
         eof,
         32000,
         cue_d,
         odd_adtl_d,
         none},
        {"no chunk", {}, eof, 0, none, none, none},
        {"no format chunk", {cue, adtl}, eof, 0, cue_d, adtl_d, none},
        // A chunk too large for a block ends the walk: the format chunk
        // after it is never read.
        {"cue too long",
         {smpl, adtl, riff_chunk("cue ", big), fmt(44100)},
         BRINDLE_WALK_CUE_TOO_LONG,
         0,
         none,
         none,
         smpl_d},
        {"adtl too long",
         {cue, riff_chunk("LIST", Bytes{}.text("adtl").zeros(40000)), fmt(44100)},
         BRINDLE_WALK_LIST_TOO_LONG,
         0,
         none,
         none,
         none},
        {"smpl too long",
         {cue, adtl, riff_chunk("smpl", big), fmt(44100)},
         BRINDLE_WALK_SMPL_TOO_LONG,
         0,
         cue_d,
         adtl_d,
         none},
        {"the largest block there is", {riff_chunk("smpl", largest)}, eof, 0, none, none, largest},
    };
    // Format chunks too short to hold a rate never move the walk backwards.
    for (uint32_t size : {0u, 1u, 4u, 7u})
        cases.push_back({"a short format chunk",
                         {riff_chunk("fmt ", Bytes{}.zeros(size)), fmt(96000)},
                         eof,
                         96000,
                         none,
                         none,
                         none});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto w = walk(wave_file(c.chunks));
        EXPECT_EQ(w->end, c.end);
        EXPECT_EQ(w->rate, c.rate);
        const auto kept = [](const Bytes &b) { return b.empty() ? std::string("-") : str(b); };
        EXPECT_EQ(w->cue_s(), kept(c.cue));
        EXPECT_EQ(w->list_s(), kept(c.list));
        EXPECT_EQ(w->smpl_s(), kept(c.smpl));
        EXPECT_EQ(w->blocks.held.size(), !c.cue.empty() + !c.list.empty() + !c.smpl.empty());
        EXPECT_LE(w->largest_read, c.most_read);
    }
}

TEST(BrindleWaveWalk, LargeAudioDataIsSteppedOverUnread) {
    auto w =
        walk(wave_file({riff_chunk("data", Bytes{}.zeros(5 << 20)), riff_chunk("fmt ", fmt_data(44100))}));
    EXPECT_EQ(w->rate, 44100);
    EXPECT_LE(w->largest_read, 8u);
}

TEST(BrindleWaveWalk, AShortReadKeepsZerosNeverOldMemory) {
    // The file ends inside the cue chunk's data.
    Bytes file = wave_file({riff_chunk("LIST", adtl_data({{1, "x"}})),
                            riff_chunk("cue ", cue_data({{1, 0x01020304}, {2, 0x05060708}}))});
    file.resize(file.size() - 30);
    auto w = walk(file);
    ASSERT_EQ(w->cue.size, 52);
    const std::string full = str(cue_data({{1, 0x01020304}, {2, 0x05060708}}));
    EXPECT_EQ(w->cue_s().substr(0, 22), full.substr(0, 22));
    EXPECT_EQ(w->cue_s().substr(22), std::string(30, '\0'));
}

TEST(BrindleWaveWalk, AChunkRunningPastTheEndEndsTheWalk) {
    Bytes file =
        wave_file({riff_chunk("cue ", cue_data({{1, 5}})), riff_chunk("LIST", adtl_data({{1, "x"}}))});
    file.text("junk").u32le(0xFFFFFFF0u).text("fmt ");
    auto w = walk(file);
    EXPECT_EQ(w->end, BRINDLE_WALK_END_OF_FILE);
    EXPECT_NE(w->cue_s(), "-");
    EXPECT_EQ(w->rate, 0);
}

TEST(BrindleWaveWalk, EveryTruncationEndsAndSendsWholeLoopsOrZeros) {
    // Cue points count only with their labels; a chunk cut short is kept
    // with zeros for what is missing, so a label cut off is lost but the
    // loops (the smpl chunk comes first) always follow.
    const Bytes full =
        wave_file({riff_chunk("fmt ", fmt_data(1000)), riff_chunk("smpl", smpl_data({{1, 2}, {3, 4}})),
                   riff_chunk("cue ", cue_data({{1, 10}, {2, 20}})),
                   riff_chunk("LIST", adtl_data({{1, "one"}, {2, "two"}}))});
    for (std::size_t cut = 12; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        Bytes part;
        part.assign(full.begin(), full.begin() + static_cast<long>(cut));
        auto w = walk(part);
        EXPECT_EQ(w->end, BRINDLE_WALK_END_OF_FILE);
        EXPECT_EQ(w->cue.size != 0, w->list.size != 0);
        const Recorder r = w->build();
        ASSERT_EQ(r.counts.size(), 1u);
        const int32_t count = r.counts[0];
        if (count == 0) {
            EXPECT_TRUE(r.markers.empty());
            continue;
        }
        ASSERT_TRUE(count == 4 || count == 6) << count;
        ASSERT_GE(r.markers.size(), 4u);
        EXPECT_LE(r.markers.size(), static_cast<std::size_t>(count));
        const auto at = r.positions();
        for (std::size_t k = 0; k < 4; ++k) {
            const uint32_t got = at[at.size() - 4 + k];
            EXPECT_TRUE(got == k + 1 || got == 0) << got;
        }
    }
    auto w = walk(full);
    EXPECT_EQ(w->build().names(),
              (std::vector<std::string>{"one", "two", "beg loop", "end loop", "beg loop", "end loop"}));
}

// --- the marker builder --------------------------------------------------

TEST(BrindleWaveBuild, LabelsInTheirOrderThenLoops) {
    const Bytes cue = cue_data({{1, 100}, {2, 200}, {3, 300}});
    const Bytes ltxt = riff_chunk("ltxt", Bytes{}.u32le(2).u32le(50).text("rgn ").zeros(8));
    const Bytes note = riff_chunk("note", Bytes{}.u32le(1).text("a note").u8(0));
    Bytes list = Bytes{}
                     .text("adtl")
                     .append(labl_chunk({3, "three"}))
                     .append(ltxt)
                     .append(labl_chunk({1, "one"}))
                     .append(note)
                     .append(labl_chunk({2, ""}));
    auto r = build(cue, list, smpl_data({{44100, 88200}}));
    EXPECT_EQ(r.counts, std::vector<int32_t>{5});
    EXPECT_EQ(r.names(), (std::vector<std::string>{"three", "one", "2", "beg loop", "end loop"}));
    EXPECT_EQ(r.positions(), (std::vector<uint32_t>{300, 100, 200, 44100, 88200}));
    EXPECT_TRUE(r.markers[0].time.is_signed);
    EXPECT_FALSE(r.markers[3].time.is_signed);
    for (const auto &m : r.markers) {
        EXPECT_EQ(m.time.arith, BRINDLE_DOUBLE);
        EXPECT_EQ(m.time.rate, 44100);
    }
    EXPECT_TRUE(r.orphans.empty());
}

// What the builder sends for each set of blocks: the count, the names in
// order, the positions where they matter, and the labels without a cue
// point (reported, and still counted as one of the m labels).
TEST(BrindleWaveBuild, WhatEachSetOfBlocksGives) {
    using Names = std::vector<std::string>;
    const Bytes cue = cue_data({{1, 1}, {2, 2}}), list = adtl_data({{1, "a"}, {2, "b"}}),
                three_loops = smpl_data({{1, 2}, {3, 4}, {5, 6}}), loop = smpl_data({{1, 2}});
    const Names loop_names{"beg loop", "end loop"},
        two_loop_names{"beg loop", "end loop", "beg loop", "end loop"},
        three_loop_names{"beg loop", "end loop", "beg loop", "end loop", "beg loop", "end loop"};
    const std::string long_text(400, 'L');
    struct Case {
        const char *what;
        Bytes cue, list, smpl;
        int32_t count;
        Names names;
        std::vector<uint32_t> positions = {};  // not checked when empty
        std::vector<uint32_t> orphans = {};
    };
    const Bytes c12 = cue_data({{1, 10}, {2, 20}}), c44 = cue_data({{4, 40}, {4, 44}});
    const Bytes c123 = cue_data({{1, 1}, {2, 2}, {3, 3}}), c12_of_1000 = cue_data({{1, 1}, {2, 2}}, 1000);
    const Bytes one_cue = cue_data({{1, 1}}), no_cue = cue_data({{1, 1}}, -1);
    const Bytes orphan = adtl_data({{9, "n"}, {2, "two"}, {1, "one"}}), only = adtl_data({{1, "only"}});
    const Bytes long_list = adtl_data({{1, long_text}, {2, "b"}}), bc = adtl_data({{2, "b"}, {3, "c"}});
    const Bytes unended = Bytes{}.text("adtl").text("labl").u32le(99).u32le(1).text("unended");
    const Bytes short_labl = Bytes{}.text("adtl").text("labl").u32le(0).u8(1);
    const Bytes info = Bytes{}.text("INFO").append(labl_chunk({1, "x"}));
    const Case cases[] = {
        {"nothing", none, none, none, 0, {}},
        {"cue points and loops", cue, none, three_loops, 6, three_loop_names},
        {"labels and loops", none, list, three_loops, 6, three_loop_names},
        {"cue points and labels", cue, list, none, 2, {"a", "b"}},
        {"negative counts", no_cue, list, smpl_data({{1, 2}}, -5), -1, {}},
        {"a negative cue count skips the labels", no_cue, list, loop, 1, loop_names},
        // m + 2n overflows 32 bits; the block holds far fewer entries.
        {"m + 2n wraps", cue_data({{1, 10}}, 0), adtl_data({}), smpl_data({{7, 8}}, 0x7FFFFFFF), -2,
         loop_names},
        {"2n wraps", none, none, smpl_data({{7, 8}}, 0x40000000), INT32_MIN, loop_names},
        {"a label without a cue point", c12, orphan, none, 2, {"two"}, {20}, {9}},
        // The first of two cue points with one id gives the position.
        {"one id twice", c44, adtl_data({{4, "four"}, {4, "again"}}), none, 2, {"four", "again"}, {40, 40}},
        {"long labels are cut", cue, long_list, none, 2, {long_text.substr(0, 255), "b"}},
        {"a text without its NUL", cue_data({{1, 5}}), unended, none, 1, {"unended"}},
        // Passes that run out of data stop, and the loops still run.
        {"fewer labels than cue points", c123, only, loop, 5, {"only", "beg loop", "end loop"}},
        {"no adtl list", one_cue, info, loop, 3, loop_names},
        // Labels of the cue points that are there still match.
        {"m past the block", c12_of_1000, bc, loop, 1002, {"b", "beg loop", "end loop"}, {}, {3}},
        {"n past the block", none, none, smpl_data({{1, 2}, {3, 4}}, 50), 100, two_loop_names, {1, 2, 3, 4}},
        {"a labl too near the block's end to hold its id", one_cue, short_labl, loop, 3, loop_names},
        {"a smpl chunk too short to give a count", none, none, Bytes{}.zeros(30), 0, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto r = build(c.cue, c.list, c.smpl);
        EXPECT_EQ(r.counts, std::vector<int32_t>{c.count});
        EXPECT_EQ(r.names(), c.names);
        if (!c.positions.empty()) {
            EXPECT_EQ(r.positions(), c.positions);
        }
        EXPECT_EQ(r.orphans, c.orphans);
    }
}

TEST(BrindleWaveBuild, ATableTooLargeSendsOnlyTheCount) {
    Recorder r;
    // 5000 cue points need 40000 bytes of table.
    EXPECT_EQ(build_result(cue_data({{1, 1}}, 5000), adtl_data({{1, "x"}}), smpl_data({{1, 2}}), r),
              BRINDLE_WAVE_TABLE_REFUSED);
    EXPECT_EQ(r.counts, std::vector<int32_t>{5002});
    EXPECT_TRUE(r.markers.empty());
    // 4095 pairs fit in 32760 bytes.
    Recorder fits;
    EXPECT_EQ(build_result(cue_data({{1, 1}}, 4095), adtl_data({{1, "x"}}), none, fits), BRINDLE_WAVE_DONE);
    EXPECT_EQ(fits.names(), std::vector<std::string>{"x"});
    // A count whose table size overflows 32 bits.
    Recorder huge;
    EXPECT_EQ(build_result(cue_data({{1, 1}}, 0x20000001), adtl_data({{1, "x"}}), none, huge),
              BRINDLE_WAVE_TABLE_REFUSED);
    // The table is given back at the end of every run.
    Blocks blocks;
    build(cue_data({{1, 1}}), adtl_data({{1, "x"}}), none, 44100, &blocks);
    EXPECT_EQ(blocks.gets, 1);
    EXPECT_TRUE(blocks.held.empty());
}

TEST(BrindleWaveBuild, WhatTheWalkKeptIsWhatTheBuilderReads) {
    auto w = walk(wave_file({riff_chunk("cue ", cue_data({{5, 1000}, {6, 2000}})),
                             riff_chunk("LIST", adtl_data({{6, "six"}, {5, "five"}})),
                             riff_chunk("smpl", smpl_data({{10, 20}})), riff_chunk("fmt ", fmt_data(1000))}));
    auto r = w->build();
    EXPECT_EQ(r.counts, std::vector<int32_t>{4});
    EXPECT_EQ(r.names(), (std::vector<std::string>{"six", "five", "beg loop", "end loop"}));
    EXPECT_EQ(r.positions(), (std::vector<uint32_t>{2000, 1000, 10, 20}));
    EXPECT_EQ(brindle_time_ms(r.markers[0].time), 2000.0f);
}
