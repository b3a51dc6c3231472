// The AIFF and Sound Designer II walks and the time arithmetic, on memory
// buffers built field by field.
#include <cmath>
#include <cstring>
#include <string>

#include "file_writers.hpp"
#include "brindle_recorder.hpp"

using namespace brindle_test;
using namespace writers;

namespace {

Recorder walk_aiff(const Bytes &chunk, int32_t peak = 0, int32_t rate = 44100) {
    Recorder r;
    brindle_aiff_walk(brindle_bytes{chunk.data(), chunk.size()}, rate, &peak, r.sink());
    return r;
}

Recorder walk_sd2(const Bytes &list, int32_t rate = 44100) {
    Recorder r;
    brindle_sd2_walk(brindle_bytes{list.data(), list.size()}, rate, r.sink());
    return r;
}

}  // namespace

TEST(BrindleTime, EachFormatKeepsItsOwnRounding) {
    // 1995 frames at 44100 Hz: the single-precision quotient and the
    // double-precision product round to neighbouring floats.  Reference
    // values computed outside this code base.
    const float single = brindle_time_ms({1995, false, BRINDLE_SINGLE, 44100});
    const float dbl = brindle_time_ms({1995, false, BRINDLE_DOUBLE, 44100});
    EXPECT_EQ(single, 0x1.69e7ap+5f);
    EXPECT_EQ(dbl, 0x1.69e79ep+5f);
    EXPECT_EQ(brindle_time_ms({1, true, BRINDLE_SINGLE, 44100}), 0x1.7384eep-6f);
    EXPECT_EQ(brindle_time_ms({1, true, BRINDLE_DOUBLE, 44100}), 0x1.7384f0p-6f);

    EXPECT_EQ(brindle_time_ms({22050, false, BRINDLE_SINGLE, 44100}), 500.0f);
    EXPECT_EQ(brindle_time_ms({44100, false, BRINDLE_DOUBLE, 44100}), 1000.0f);
}

TEST(BrindleTime, SignedAndUnsignedPositions) {
    // 3000000000 is above 2^31: positive where the format says unsigned.
    EXPECT_EQ(brindle_time_ms({3000000000u, false, BRINDLE_SINGLE, 44100}), 68027208.0f);
    EXPECT_LT(brindle_time_ms({3000000000u, true, BRINDLE_SINGLE, 44100}), 0.0f);
    EXPECT_EQ(brindle_time_ms({0xFFFFFFFFu, true, BRINDLE_DOUBLE, 1000}), -1.0f);
    EXPECT_GT(brindle_time_ms({0xFFFFFFFFu, false, BRINDLE_DOUBLE, 1000}), 4.0e9f);
    // Frames go out as the stored bits: negative above 2^31.
    EXPECT_EQ(brindle_time_frames({3000000000u, false, BRINDLE_SINGLE, 44100}), -1294967296);
}

TEST(BrindleTime, RateZeroGivesNotANumberOrInfinity) {
    for (auto arith : {BRINDLE_SINGLE, BRINDLE_DOUBLE}) {
        EXPECT_TRUE(std::isnan(brindle_time_ms({0, true, arith, 0})));
        EXPECT_TRUE(std::isinf(brindle_time_ms({5, true, arith, 0})));
        EXPECT_EQ(brindle_time_ms({5, true, arith, 0}) > 0, true);
    }
}

TEST(BrindleNtostr, DecimalDigitsOfUnsignedNumbers) {
    char text[256];
    for (auto [n, s] : std::vector<std::pair<uint32_t, std::string>>{
             {0, "0"}, {7, "7"}, {10, "10"}, {65535, "65535"}, {4294967295u, "4294967295"}}) {
        std::memset(text, 'x', sizeof text);
        ntostr(text, n);
        EXPECT_EQ(std::string(text), s);
    }
}

// The count and names each MARK chunk gives.  Lengths 1, 2 and 0 step by
// 8, 10 and 8 bytes; a 200-character name is read whole and the marker
// after it found.
TEST(BrindleAiffWalk, WhatEachChunkGives) {
    using Names = std::vector<std::string>;
    const std::string long_name(200, 'q');
    Bytes short_header;
    short_header.text("MARK").u32be(2).u8(0);  // the count's second byte missing
    Bytes long_name_chunk;
    long_name_chunk.text("MARK").u32be(0).u16be(2);
    long_name_chunk.u16be(1).u32be(5).u8(3).text("abc");
    long_name_chunk.u16be(2).u32be(6).u8(200).text("short");
    struct Case {
        const char *what;
        Bytes chunk;
        int32_t count;
        Names names;
    };
    const Bytes unnamed = mark_chunk({{7, 0, ""}, {0, 0, ""}, {65535, 0, ""}});
    const Bytes every_length =
        mark_chunk({{1, 100, "a"}, {2, 200, "bc"}, {3, 300, ""}, {4, 400, long_name}, {5, 500, "end"}});
    const Case cases[] = {
        {"a header cut in the count", short_header, 0, {}},
        {"names of every length", every_length, 5, {"a", "bc", "3", long_name, "end"}},
        {"unnamed markers named by their id", unnamed, 3, {"7", "0", "65535"}},
        // A name of non-zero length whose first character is a NUL is the
        // empty symbol, not the id.
        {"a name starting with a NUL", mark_chunk({{9, 0, std::string("\0x", 2)}}), 1, {""}},
        {"a name longer than the chunk ends the walk", long_name_chunk, 2, {"abc"}},
        {"a count promising more markers",
         mark_chunk({{1, 10, "a"}, {2, 20, "b"}}, 40000),
         40000,
         {"a", "b"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto r = walk_aiff(c.chunk);
        EXPECT_EQ(r.counts, std::vector<int32_t>{c.count});
        EXPECT_EQ(r.names(), c.names);
    }
    // No chunk at all.
    Recorder r;
    int32_t peak = 0;
    brindle_aiff_walk(brindle_bytes{nullptr, 0}, 44100, &peak, r.sink());
    EXPECT_EQ(r.counts, std::vector<int32_t>{0});
    EXPECT_TRUE(r.markers.empty());
}

TEST(BrindleAiffWalk, PositionsAndTimesAsStored) {
    const std::string long_name(200, 'q');
    auto r = walk_aiff(
        mark_chunk({{1, 100, "a"}, {2, 200, "bc"}, {3, 300, ""}, {4, 400, long_name}, {5, 500, ""}}));
    EXPECT_EQ(r.positions(), (std::vector<uint32_t>{100, 200, 300, 400, 500}));
    for (const auto &m : r.markers) {
        EXPECT_FALSE(m.time.is_signed);
        EXPECT_EQ(m.time.arith, BRINDLE_SINGLE);
        EXPECT_EQ(m.time.rate, 44100);
    }
}

TEST(BrindleAiffWalk, PeakModeDropsOneTrailingBlank) {
    auto chunk = mark_chunk({{1, 0, "one "}, {2, 0, "two  "}, {3, 0, " "}, {4, 0, "none"}, {5, 0, ""}});
    EXPECT_EQ(walk_aiff(chunk, 1).names(), (std::vector<std::string>{"one", "two ", "", "none", "5"}));
    EXPECT_EQ(walk_aiff(chunk, 0).names(), (std::vector<std::string>{"one ", "two  ", " ", "none", "5"}));
}

TEST(BrindleAiffWalk, PeakModeIsReadForEveryMarker) {
    auto chunk = mark_chunk({{1, 0, "a "}, {2, 0, "b "}});
    Recorder r;
    int32_t peak = 0;
    r.on_marker = [&](const Marker &) { peak = 1; };
    brindle_aiff_walk(brindle_bytes{chunk.data(), chunk.size()}, 44100, &peak, r.sink());
    EXPECT_EQ(r.names(), (std::vector<std::string>{"a ", "b"}));
}

TEST(BrindleAiffWalk, EveryCutStopsAfterTheLastWholeMarker) {
    // Every cut of the chunk: markers that fit go out whole, no others.
    const auto full = mark_chunk({{1, 10, "first"}, {2, 20, "second"}, {3, 30, "third"}});
    for (std::size_t cut = 10; cut < full.size(); ++cut) {
        Bytes part;
        part.assign(full.begin(), full.begin() + static_cast<long>(cut));
        auto r = walk_aiff(part);
        EXPECT_EQ(r.counts, std::vector<int32_t>{3});
        // Header 10, then 7 + 5, 7 + 6 (+ pad), 7 + 5 bytes: a marker goes
        // out once its name is in, its pad byte not needed.
        const std::size_t whole = cut >= 10 + 12 + 13 ? 2 : cut >= 10 + 12 ? 1 : 0;
        EXPECT_EQ(r.markers.size(), whole) << "cut at " << cut;
    }
}

TEST(BrindleSd2Rate, TextToWholeSamplesPerSecond) {
    const std::vector<std::pair<std::string, int32_t>> cases = {{"44100.000", 44100},
                                                                {"22050.9", 22050},
                                                                {"48000", 48000},
                                                                {" 8000", 8000},
                                                                {"-7.9", -7},
                                                                {"2147483520", 2147483520},
                                                                {"-2147483648", INT32_MIN},
                                                                // No number, or one that 32 bits cannot hold.
                                                                {"", 0},
                                                                {"rate", 0},
                                                                {"1e10", 0},
                                                                {"2147483648", 0},
                                                                {"-3e9", 0},
                                                                {"inf", 0},
                                                                {"nan", 0},
                                                                {"1e999", 0}};
    for (const auto &[text, rate] : cases) {
        auto b = pascal_string(text);
        EXPECT_EQ(brindle_sd2_rate(brindle_bytes{b.data(), b.size()}), rate) << text;
    }
    // A length byte past the resource's end reads what is there.
    Bytes cut;
    cut.u8(200).text("32000");
    EXPECT_EQ(brindle_sd2_rate(brindle_bytes{cut.data(), cut.size()}), 32000);
    EXPECT_EQ(brindle_sd2_rate(brindle_bytes{nullptr, 0}), 0);
}

TEST(BrindleSd2Walk, MarkersNamesAndTimes) {
    const std::string n255(255, 'n'), n300(300, 'x');
    auto list = sdml_data({{22050, 1, "half"},
                           {-5, 12, ""},
                           {7, -1, ""},
                           {8, 3, n255},
                           {9, 4, n300},
                           {10, 5, "after"},
                           {11, 6, std::string("ab\0cd", 5)}});
    auto r = walk_sd2(list, 44100);
    EXPECT_EQ(r.counts, std::vector<int32_t>{7});
    EXPECT_EQ(r.names(), (std::vector<std::string>{"half", "12", "4294967295", n255, n300.substr(0, 255),
                                                   "after", "ab"}));
    EXPECT_EQ(r.markers[0].time.position, 22050u);
    EXPECT_TRUE(r.markers[1].time.is_signed);
    EXPECT_EQ(static_cast<int32_t>(r.markers[1].time.position), -5);
    EXPECT_EQ(r.markers[1].time.arith, BRINDLE_SINGLE);
    EXPECT_EQ(r.markers[6].time.position, 11u);
}

// The count, sent unchanged, and the names each sdml resource gives when
// it runs out of data or holds none.
TEST(BrindleSd2Walk, WhatEachResourceGives) {
    using Names = std::vector<std::string>;
    Sd2Marker negative{3, 3, "c"}, past{3, 3, "c"};
    negative.length = -20;
    past.length = 100000;
    auto cut = sdml_data({{1, 1, "a"}, {2, 2, "b"}});
    cut.resize(cut.size() - 3);
    struct Case {
        const char *what;
        Bytes list;
        int32_t count;
        Names names;
    };
    const Case cases[] = {
        {"a negative count", sdml_data({{1, 1, "a"}}, -3), -3, {}},
        {"no markers", sdml_data({}, 0), 0, {}},
        {"a header too short for the count", Bytes{}.zeros(7), 0, {}},
        {"a count larger than the resource holds",
         sdml_data({{1, 1, "a"}, {2, 2, "b"}}, 300),
         300,
         {"a", "b"}},
        {"a negative length", sdml_data({{1, 1, "a"}, negative, {4, 4, "d"}}), 3, {"a"}},
        {"a length past the end", sdml_data({{1, 1, "a"}, past}), 2, {"a"}},
        {"a marker header cut short", cut, 2, {"a"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        auto r = walk_sd2(c.list);
        EXPECT_EQ(r.counts, std::vector<int32_t>{c.count});
        EXPECT_EQ(r.names(), c.names);
    }
}
