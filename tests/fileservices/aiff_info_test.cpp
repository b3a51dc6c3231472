// Sound-file information for AIFF and AIFC: files written by libsndfile and
// libaudiofile as peers, hand-made broken ones, and the 80-bit rate.
#include <audiofile.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "aiff_info.hpp"
#include "ext.h"
#include "ext_path.h"
#include "ext_sndfile.h"
#include "fixtures.hpp"
#include "host.hpp"

using namespace svc_test;

namespace {

const t_fourcc kAiffTypes[2] = {FOUR_CHAR_CODE('A', 'I', 'F', 'F'), FOUR_CHAR_CODE('A', 'I', 'F', 'C')};

// The markers a copy of a MARK chunk holds, walked independently of the
// host's check.
std::vector<AiffMarker> markers_of(const char *chunk, int32_t size) {
    std::vector<AiffMarker> out;
    const auto *p = reinterpret_cast<const uint8_t *>(chunk);
    const std::size_t n = static_cast<uint16_t>(size);
    EXPECT_GE(n, 10u);
    EXPECT_EQ(std::string(chunk, 4), "MARK");
    const uint32_t stated = (uint32_t{p[4]} << 24) | (p[5] << 16) | (p[6] << 8) | p[7];
    EXPECT_EQ(stated + 8, n) << "the copy holds exactly the chunk";
    const unsigned count = (p[8] << 8) | p[9];
    std::size_t at = 10;
    for (unsigned i = 0; i < count && at + 7 <= n; ++i) {
        AiffMarker m;
        m.id = static_cast<uint16_t>((p[at] << 8) | p[at + 1]);
        m.position = (uint32_t{p[at + 2]} << 24) | (p[at + 3] << 16) | (p[at + 4] << 8) | p[at + 5];
        const unsigned len = p[at + 6];
        EXPECT_LE(at + 7 + len, n);
        m.name.assign(reinterpret_cast<const char *>(p + at + 7), std::min<std::size_t>(len, n - at - 7));
        out.push_back(m);
        at += 7 + len + (len % 2 == 0 ? 1 : 0);
    }
    EXPECT_EQ(out.size(), count);
    return out;
}

class SndfileInfo : public ::testing::Test {
protected:
    headless::Host host;
    ScratchDir tmp{"svc"};
    t_sndfileinfo info{};

    void SetUp() override { info.sampleRate = -1; }

    // sndfile_info as a plug-in calls it, on a file found by its path.
    short query(const fsys::path &file) {
        char name[MAX_FILENAME_CHARS];
        std::strcpy(name, file.c_str());
        short path = 0;
        t_fourcc type = 0;
        if (locatefile_extended(name, &path, &type, kAiffTypes, 2) != 0) {
            ADD_FAILURE() << file << " not found";
            return -1;
        }
        return sndfile_info(name, path, type, &info);
    }
    // Frees the copy as the plug-in does, and checks the host took it back
    // without a word.
    void free_copy() {
        if (!info.markerChunk) return;
        const std::size_t before = host.blocks_held();
        freebytes(info.markerChunk, static_cast<int16_t>(info.markerChunkSize & 0xFFFF));
        EXPECT_EQ(host.blocks_held(), before - 1);
        for (const auto &line : host.console) EXPECT_NE(line.kind, headless::ConsoleLine::Host) << line.text;
        info.markerChunk = nullptr;
    }
    void expect_failed() {
        EXPECT_EQ(info.markerChunk, nullptr);
        EXPECT_EQ(info.markerChunkSize, 0);
        EXPECT_EQ(info.sampleRate, -1) << "a failed call fills nothing";
        EXPECT_EQ(host.blocks_held(), 0u);
    }
};

// Names of every length from 0 to 13, some odd, some even.
std::vector<AiffMarker> sweep_markers(int n) {
    std::vector<AiffMarker> m;
    for (int i = 0; i < n; ++i)
        m.push_back({static_cast<uint16_t>(i + 1), static_cast<uint32_t>(100 * i + 7),
                     std::string(static_cast<std::size_t>(i % 14), static_cast<char>('a' + i % 26))});
    return m;
}

TEST_F(SndfileInfo, ReadsLibsndfileAiffMarkersForEveryCount) {
    for (int n : {1, 2, 3, 14, 100}) {
        SCOPED_TRACE(n);
        const auto markers = sweep_markers(n);
        const fsys::path p = tmp.path / ("s" + std::to_string(n) + ".aiff");
        SF_INFO sfi{};
        sfi.samplerate = 22050;
        sfi.channels = 2;
        sfi.format = SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
        SNDFILE *f = sf_open(p.c_str(), SFM_WRITE, &sfi);
        ASSERT_NE(f, nullptr);
        SF_CUES cues{};
        cues.cue_count = static_cast<uint32_t>(n);
        for (int i = 0; i < n; ++i) {
            cues.cue_points[i].indx = markers[i].id;
            cues.cue_points[i].position = markers[i].position;
            cues.cue_points[i].sample_offset = markers[i].position;
            std::snprintf(cues.cue_points[i].name, sizeof cues.cue_points[i].name, "%s",
                          markers[i].name.c_str());
        }
        ASSERT_EQ(sf_command(f, SFC_SET_CUE, &cues, sizeof cues), SF_TRUE);
        std::vector<short> frames(2 * 1000, 0);
        sf_writef_short(f, frames.data(), 1000);
        sf_close(f);

        ASSERT_EQ(query(p), 0);
        EXPECT_EQ(info.sampleRate, 22050);
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.frames, 1000);
        EXPECT_EQ(info.sampleBits, 16);
        EXPECT_EQ(info.format, FOUR_CHAR_CODE('A', 'I', 'F', 'F'));
        ASSERT_NE(info.markerChunk, nullptr);
        const auto got = markers_of(info.markerChunk, info.markerChunkSize);
        ASSERT_EQ(got.size(), markers.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].id, markers[i].id);
            EXPECT_EQ(got[i].position, markers[i].position);
            // libsndfile counts the NUL of an even-length name in its length.
            EXPECT_EQ(got[i].name.c_str(), markers[i].name);
        }
        free_copy();
    }
}

TEST_F(SndfileInfo, ReadsLibaudiofileAifcWithItsOddCommChunk) {
    const fsys::path p = tmp.path / "a.aifc";
    AFfilesetup setup = afNewFileSetup();
    afInitFileFormat(setup, AF_FILE_AIFFC);
    afInitChannels(setup, AF_DEFAULT_TRACK, 1);
    afInitRate(setup, AF_DEFAULT_TRACK, 48000);
    afInitSampleFormat(setup, AF_DEFAULT_TRACK, AF_SAMPFMT_TWOSCOMP, 24);
    int ids[3] = {4, 9, 300};
    afInitMarkIDs(setup, AF_DEFAULT_TRACK, ids, 3);
    afInitMarkName(setup, AF_DEFAULT_TRACK, 4, "one");
    afInitMarkName(setup, AF_DEFAULT_TRACK, 9, "four");
    afInitMarkName(setup, AF_DEFAULT_TRACK, 300, "");
    AFfilehandle h = afOpenFile(p.c_str(), "w", setup);
    ASSERT_NE(h, AF_NULL_FILEHANDLE);
    afSetMarkPosition(h, AF_DEFAULT_TRACK, 4, 10);
    afSetMarkPosition(h, AF_DEFAULT_TRACK, 9, 3000000000LL);
    afSetMarkPosition(h, AF_DEFAULT_TRACK, 300, 2000);
    std::vector<int32_t> frames(500, 0);
    afWriteFrames(h, AF_DEFAULT_TRACK, frames.data(), 500);
    afCloseFile(h);
    afFreeFileSetup(setup);

    ASSERT_EQ(query(p), 0);
    EXPECT_EQ(info.sampleRate, 48000);
    EXPECT_EQ(info.sampleBits, 24);
    EXPECT_EQ(info.frames, 500);
    EXPECT_EQ(info.format, FOUR_CHAR_CODE('A', 'I', 'F', 'C'));
    ASSERT_NE(info.markerChunk, nullptr);
    const auto got = markers_of(info.markerChunk, info.markerChunkSize);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].name, "one");
    EXPECT_EQ(got[1].name, "four");
    EXPECT_EQ(got[1].position, 3000000000u);
    EXPECT_EQ(got[2].id, 300);
    EXPECT_EQ(got[2].position, 2000u);
    EXPECT_EQ(got[2].name, "");
    free_copy();
}

// Hand-made files the call reads: the rate found, and the MARK chunk copied
// as the file has it (none without one), whatever its count promises, for
// the copy's reader stops after the last whole marker and refusing the
// chunk would lose the markers that are there.
TEST_F(SndfileInfo, WhatEachFileGives) {
    const auto comm = [](uint32_t rate) {
        return iff_chunk("COMM", comm_data(1, 8, 8, extended_rate(rate)));
    };
    const Bytes marks = mark_data({{1, 5, "x"}, {2, 6, "yz"}});
    // An odd-sized chunk first, MARK before COMM, sound data cut short with
    // a FORM size that still counts all of it.
    Bytes unordered = form_file("AIFF", {iff_chunk("ANNO", Bytes{'o', 'd', 'd'}), iff_chunk("MARK", marks),
                                         comm(44100), iff_chunk("SSND", Bytes(100, 0))});
    unordered.resize(unordered.size() - 60);
    // Two markers, the last with an even-length name whose pad byte the
    // writer left out; the chunk's size says so.
    Bytes no_pad;
    no_pad.u16be(2).u16be(1).u32be(10).pstring_even("one").u16be(2).u32be(20).u8(2).text("ab");
    Bytes lying_count;
    lying_count.u16be(5).u16be(1).u32be(0).pstring_even("m");
    Bytes long_name;
    long_name.u16be(1).u16be(1).u32be(0).u8(40).text("short");
    // The largest chunk a getbytes block holds: one marker whose name fills
    // what the chunk has over, then blanks.
    Bytes largest;
    largest.u16be(1).u16be(1).u32be(0).pstring_even(std::string(200, 'n'));
    largest.zeros(32767 - 8 - largest.size());
    struct Case {
        const char *what;
        Bytes file;
        int32_t rate;
        Bytes marks;  // none copied when empty
    };
    const Case cases[] = {
        {"no markers", form_file("AIFF", {comm(8000), iff_chunk("SSND", Bytes(16, 0))}), 8000, {}},
        {"chunks in any order, padding honoured", unordered, 44100, marks},
        {"a last marker without its pad byte", form_file("AIFF", {comm(8000), iff_chunk("MARK", no_pad)}),
         8000, no_pad},
        {"a count promising more markers", form_file("AIFF", {comm(8000), iff_chunk("MARK", lying_count)}),
         8000, lying_count},
        {"a name longer than the chunk", form_file("AIFF", {comm(8000), iff_chunk("MARK", long_name)}), 8000,
         long_name},
        {"the largest chunk a block holds", form_file("AIFF", {comm(44100), iff_chunk("MARK", largest)}),
         44100, largest},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        info = t_sndfileinfo{};
        info.sampleRate = -1;
        ASSERT_EQ(query(tmp.write("f" + std::to_string(n++) + ".aif", c.file)), 0);
        EXPECT_EQ(info.sampleRate, c.rate);
        if (c.marks.empty()) {
            EXPECT_EQ(info.markerChunk, nullptr);
            EXPECT_EQ(info.markerChunkSize, 0);
            EXPECT_EQ(host.blocks_held(), 0u);
            continue;
        }
        ASSERT_NE(info.markerChunk, nullptr);
        ASSERT_EQ(info.markerChunkSize, static_cast<int32_t>(8 + c.marks.size()));
        const auto *copy = reinterpret_cast<const uint8_t *>(info.markerChunk);
        EXPECT_TRUE(std::equal(c.marks.begin(), c.marks.end(), copy + 8));
        free_copy();
    }
    // One byte more than a block holds is refused.
    Bytes too_large = largest;
    too_large.u8(0);
    info = t_sndfileinfo{};
    info.sampleRate = -1;
    EXPECT_NE(query(tmp.write("big.aif", form_file("AIFF", {comm(44100), iff_chunk("MARK", too_large)}))), 0);
    expect_failed();
}

TEST_F(SndfileInfo, MalformedFilesFailWithoutAHalfFilledRecord) {
    const Bytes good_comm = iff_chunk("COMM", comm_data(1, 8, 16, extended_rate(44100)));
    const Bytes one_mark = mark_data({{1, 0, "m"}});
    auto rate = [](uint16_t se, uint64_t mant) {
        Bytes r;
        r.u16be(se).u32be(static_cast<uint32_t>(mant >> 32)).u32be(static_cast<uint32_t>(mant));
        return iff_chunk("COMM", comm_data(1, 8, 16, r));
    };
    Bytes truncated_comm_file = form_file("AIFF", {good_comm});
    truncated_comm_file.resize(truncated_comm_file.size() - 4);

    const std::pair<const char *, Bytes> cases[] = {
        {"comm_10_bytes", form_file("AIFF", {iff_chunk("COMM", Bytes(10, 0))})},
        {"comm_cut_by_eof", truncated_comm_file},
        {"no_comm", form_file("AIFF", {iff_chunk("MARK", one_mark)})},
        {"aifc_comm_without_compression", form_file("AIFC", {good_comm})},
        {"mark_size_past_eof", form_file("AIFF", {good_comm, iff_chunk("MARK", one_mark, 4000)})},
        {"mark_without_count", form_file("AIFF", {good_comm, iff_chunk("MARK", Bytes{0})})},
        {"rate_nan", form_file("AIFF", {rate(0x7FFF, 0xC000000000000000ull)})},
        {"rate_infinite", form_file("AIFF", {rate(0x7FFF, 0x8000000000000000ull)})},
        {"rate_2_pow_40", form_file("AIFF", {rate(16383 + 40, 0x8000000000000000ull)})},
        {"rate_2_pow_31", form_file("AIFF", {rate(16383 + 31, 0x8000000000000000ull)})},
        {"rate_huge_exponent", form_file("AIFF", {rate(0x7FFE, 0x8000000000000000ull)})},
        {"form_8svx", form_file("8SVX", {good_comm})},
        {"riff", wave_file({good_comm})},
        {"header_only", Bytes{}.fourcc("FORM")},
    };
    // The folder's path id, from a good file found there.
    ASSERT_EQ(query(tmp.write("anchor.aif", form_file("AIFF", {good_comm}))), 0);
    char anchor[MAX_FILENAME_CHARS];
    std::strcpy(anchor, (tmp.path / "anchor.aif").c_str());
    short path = 0;
    t_fourcc type = 0;
    ASSERT_EQ(locatefile_extended(anchor, &path, &type, kAiffTypes, 2), 0);

    for (const auto &[name, bytes] : cases) {
        SCOPED_TRACE(name);
        const std::string file = std::string(name) + ".aif";
        tmp.write(file, bytes);
        info = t_sndfileinfo{};
        info.sampleRate = -1;
        info.markerChunk = reinterpret_cast<char *>(&info);  // a stale pointer
        info.markerChunkSize = 77;
        EXPECT_NE(sndfile_info(file.c_str(), path, kAiffTypes[0], &info), 0);
        expect_failed();
    }
    info = t_sndfileinfo{};
    info.sampleRate = -1;
    EXPECT_NE(sndfile_info("missing.aif", path, kAiffTypes[0], &info), 0);
    expect_failed();
    EXPECT_NE(sndfile_info("anchor.aif", static_cast<short>(path + 1), kAiffTypes[0], &info), 0);
    expect_failed();
}

TEST(ExtendedRate, WholeRatesAndRoundingOfFractions) {
    auto rate_of = [](uint16_t se, uint64_t mant) {
        Bytes r;
        r.u16be(se).u32be(static_cast<uint32_t>(mant >> 32)).u32be(static_cast<uint32_t>(mant));
        return fileservices::extended_to_rate(std::span<const uint8_t, 10>(r.data(), 10));
    };
    for (uint32_t whole : {1u, 8000u, 11025u, 44100u, 48000u, 96000u, 192000u, 2147483647u}) {
        Bytes e = extended_rate(whole);
        EXPECT_EQ(fileservices::extended_to_rate(std::span<const uint8_t, 10>(e.data(), 10)),
                  static_cast<int32_t>(whole));
    }
    EXPECT_EQ(rate_of(0, 0), 0);
    EXPECT_EQ(rate_of(16383 + 15, 0xAC44800000000000ull), 44101) << "44100.5 rounds up";
    EXPECT_EQ(rate_of(16383 + 15, 0xAC447FFFFFFFFFFFull), 44100);
    EXPECT_EQ(rate_of(0x8000 | (16383 + 15), 0xAC44800000000000ull), -44101);
    EXPECT_EQ(rate_of(16383 - 2, 0xFFFFFFFFFFFFFFFFull), 0) << "just under one half";
    EXPECT_EQ(rate_of(16383 - 1, 0x8000000000000000ull), 1) << "one half";
    EXPECT_EQ(rate_of(16383 + 31, 0xFFFFFFFFFFFFFFFFull), std::nullopt) << "rounds to 2^32";
    EXPECT_EQ(rate_of(0x8000 | (16383 + 31), 0x8000000000000000ull), INT32_MIN);
    EXPECT_EQ(rate_of(0x7FFF, 0), std::nullopt);
}

#if defined(__x86_64__) && LDBL_MANT_DIG == 64
// The machine's own long double is the 80-bit format: a second, independent
// encoder for a sweep of random rates.
TEST(ExtendedRate, MatchesTheMachinesExtendedFloatRoundedToNearest) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> exp_dist(-4.0, 31.5);
    for (int i = 0; i < 20000; ++i) {
        const long double v =
            std::pow(2.0L, static_cast<long double>(exp_dist(rng))) * ((rng() & 1) ? -1.0L : 1.0L);
        uint8_t le[16] = {};
        std::memcpy(le, &v, 10);
        uint8_t be[10];
        for (int k = 0; k < 10; ++k) be[k] = le[9 - k];
        const long double rounded = std::round(v);  // halves away from zero
        const auto got = fileservices::extended_to_rate(std::span<const uint8_t, 10>(be, 10));
        if (rounded > 2147483647.0L || rounded < -2147483648.0L) {
            EXPECT_EQ(got, std::nullopt) << static_cast<double>(v);
        } else {
            ASSERT_TRUE(got.has_value()) << static_cast<double>(v);
            EXPECT_EQ(*got, static_cast<int32_t>(rounded)) << static_cast<double>(v);
        }
    }
}
#endif

TEST_F(SndfileInfo, ReadsAiffFilesWrittenByOtherPrograms) {
    REQUIRE_SAMPLE(ring, "goaudio__ring.aif");
    REQUIRE_SAMPLE(sowt, "goaudio__sowt.aif");
    // Read in place: the samples folder is read-only and outside the search
    // path, so it is found by its full path.
    ASSERT_EQ(query(ring), 0);
    ASSERT_NE(info.markerChunk, nullptr);
    auto m = markers_of(info.markerChunk, info.markerChunkSize);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].name, "Tempo: 98.0");
    EXPECT_EQ(m[1].name, "Timestamp: 158848064");
    EXPECT_GT(info.sampleRate, 0);
    free_copy();

    ASSERT_EQ(query(sowt), 0);
    EXPECT_EQ(info.format, FOUR_CHAR_CODE('A', 'I', 'F', 'C'));
    ASSERT_NE(info.markerChunk, nullptr);
    m = markers_of(info.markerChunk, info.markerChunkSize);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].id, 1);
    EXPECT_EQ(m[0].position, 0u);
    EXPECT_EQ(m[1].position, 1u);
    EXPECT_EQ(m[1].name, "");
    free_copy();
}

}  // namespace
