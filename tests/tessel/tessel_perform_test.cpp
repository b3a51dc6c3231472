// tessel~ rendering through the host's DSP chain: exact samples where the
// arithmetic fixes them, equivalences between patches that must sound the
// same, and independent models of frequency and phase.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "tessel_fixture.hpp"

using namespace tessel_test;
using Kind = headless::ConsoleLine::Kind;

namespace {

bool same_bits(const std::vector<float> &a, const std::vector<float> &b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// Rising zero crossings per second: the frequency, independently of how it
// was produced.
int rising_crossings(const std::vector<float> &s) {
    int n = 0;
    for (std::size_t i = 1; i < s.size(); ++i) n += s[i - 1] < 0.0f && s[i] >= 0.0f;
    return n;
}

// The modulator wrap as integer arithmetic, for values that fit an int.
float int_wrap(float p) {
    return p >= TESSEL_TABLE_SIZE ? static_cast<float>(static_cast<int>(p) % TESSEL_TABLE_SIZE) : p;
}

}  // namespace

struct RenderTest : TesselTest {
    void SetUp() override {
        TesselTest::SetUp();
        host.dsp_on(44100, 64);
    }
    // A box with Vol at 1 and the given partials sounding.
    headless::Box *voice(const std::string &name, std::vector<std::pair<int, float>> partials,
                         std::vector<t_atom> args = {}) {
        auto *b = make(name, args);
        host.set_signal_constant(b, 0, 1.0f);
        for (auto [k, f] : partials) send(b, {L(k), F(f), F(1.0f)});
        return b;
    }
};

TEST_F(RenderTest, A441HzPartialStepsFiftyPositionsPerSample) {
    auto *b = voice("t", {{1, 441.0f}}, {L(1)});
    host.tick(5);
    const float *table = rec(b).sin_table;
    const auto &o = out(b, 0);
    ASSERT_EQ(o.size(), 320u);
    for (std::size_t i = 0; i < o.size(); ++i)
        ASSERT_EQ(o[i], table[(50 * (i + 1)) % TESSEL_TABLE_SIZE]) << i;
    EXPECT_EQ(o[99], 0.0f);  // entry 0 once per 100 samples
    EXPECT_EQ(rec(b).partials[0].phase, 1000.0f);
}

TEST_F(RenderTest, TranspositionAndShiftByMessageOrFirstInletSample) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> junk(-50.0f, 50.0f);
    auto inlet_with_first = [&](float first) {
        std::vector<float> s(64 * 8);
        for (std::size_t i = 0; i < s.size(); ++i) s[i] = i % 64 ? junk(rng) : first;
        return s;
    };
    auto *octave = voice("octave", {{2, 440.0f}});
    set(octave, "set_transpo", 12);
    auto *octave_in = voice("octave_in", {{2, 440.0f}});
    host.set_signal_samples(octave_in, 1, inlet_with_first(12.0f));
    auto *at880 = voice("at880", {{2, 880.0f}});
    // Shifted below zero: the mirrored frequency, running forward.
    auto *mirror = voice("mirror", {{2, 100.0f}});
    set(mirror, "set_shift", -300);
    auto *mirror_in = voice("mirror_in", {{2, 100.0f}});
    host.set_signal_samples(mirror_in, 2, inlet_with_first(-300.0f));
    auto *at200 = voice("at200", {{2, 200.0f}});
    host.tick(8);
    EXPECT_TRUE(same_bits(out(octave, 0), out(at880, 0)));
    EXPECT_TRUE(same_bits(out(octave_in, 0), out(at880, 0)));
    EXPECT_TRUE(same_bits(out(mirror, 0), out(at200, 0)));
    EXPECT_TRUE(same_bits(out(mirror_in, 0), out(at200, 0)));
    EXPECT_FALSE(same_bits(out(at200, 0), out(at880, 0)));
}

TEST_F(RenderTest, SoundingFrequenciesMeasuredByZeroCrossings) {
    auto *plain = voice("plain", {{1, 440.0f}});
    auto *fifth = voice("fifth", {{1, 440.0f}});
    set(fifth, "set_transpo", 7);
    auto *shifted = voice("shifted", {{1, 440.0f}});
    set(shifted, "set_shift", 100);
    auto *both = voice("both", {{1, 300.0f}});
    set(both, "set_transpo", -12);
    set(both, "set_shift", 1000);
    host.tick(44100 / 64 + 1);  // just over a second
    auto first_second = [&](headless::Box *b) {
        return std::vector<float>(out(b, 0).begin(), out(b, 0).begin() + 44100);
    };
    EXPECT_NEAR(rising_crossings(first_second(plain)), 440, 1);
    EXPECT_NEAR(rising_crossings(first_second(fifth)), 440 * std::pow(2.0, 7 / 12.0), 1);
    EXPECT_NEAR(rising_crossings(first_second(shifted)), 540, 1);
    EXPECT_NEAR(rising_crossings(first_second(both)), 1150, 1);
}

// A double-precision model of one partial's table position, dropping the
// fraction at each wrap; the rendered sample must come from that position
// or a neighbour.  Without the dropped fraction the two part by about half a
// position per cycle.
TEST_F(RenderTest, TablePositionsFollowADoubleModel) {
    host.dsp_on(48000, 64);
    auto *b = voice("t", {{1, 1234.567f}}, {L(1)});
    host.tick(80);
    const float *table = rec(b).sin_table;
    const double inc = TESSEL_TABLE_SIZE * static_cast<double>(1234.567f) / 48000.0;
    double phase = 0;
    int wraps = 0;
    const auto &o = out(b, 0);
    for (std::size_t i = 0; i < o.size(); ++i) {
        phase += inc;
        if (phase >= TESSEL_TABLE_SIZE) phase = std::floor(phase) - TESSEL_TABLE_SIZE, ++wraps;
        const int m = static_cast<int>(phase);
        const bool near = o[i] == table[m] || o[i] == table[(m + 1) % TESSEL_TABLE_SIZE] ||
                          o[i] == table[(m + TESSEL_TABLE_SIZE - 1) % TESSEL_TABLE_SIZE];
        ASSERT_TRUE(near) << "sample " << i << " model position " << phase;
    }
    EXPECT_GT(wraps, 100);
}

TEST_F(RenderTest, PartialsDealtRoundRobinFromTheHighest) {
    auto *dealt = voice("dealt", {{10, 300.0f}, {7, 700.0f}, {5, 1100.0f}, {2, 1900.0f}}, {L(10), L(3)});
    auto *wide = voice("wide", {{1, 300.0f}, {2, 700.0f}, {3, 1100.0f}}, {L(10), L(8)});
    headless::Box *alone[11] = {};
    for (auto [k, f] : {std::pair{10, 300.0f}, {7, 700.0f}, {5, 1100.0f}, {2, 1900.0f}})
        alone[k] = voice(numbered("alone", k), {{k, f}}, {L(10)});
    host.tick(4);
    // 7 falls silent: every lower partial moves one output on.
    send(dealt, {L(7), F(700.0f), F(0.0f)});
    send(alone[7], {L(7), F(700.0f), F(0.0f)});
    host.tick(4);
    const std::size_t half = 256;
    auto part = [&](headless::Box *b, int outlet, bool second) {
        const auto &s = out(b, outlet);
        return std::vector<float>(s.begin() + (second ? half : 0), s.begin() + (second ? 2 * half : half));
    };
    auto sum = [](std::vector<float> a, const std::vector<float> &b) {
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = a[i] + b[i];
        return a;
    };
    EXPECT_TRUE(same_bits(part(dealt, 0, false), sum(part(alone[10], 0, false), part(alone[2], 0, false))));
    EXPECT_TRUE(same_bits(part(dealt, 1, false), part(alone[7], 0, false)));
    EXPECT_TRUE(same_bits(part(dealt, 2, false), part(alone[5], 0, false)));
    EXPECT_TRUE(same_bits(part(dealt, 0, true), part(alone[10], 0, true)));
    EXPECT_TRUE(same_bits(part(dealt, 1, true), part(alone[5], 0, true)));
    EXPECT_TRUE(same_bits(part(dealt, 2, true), part(alone[2], 0, true)));
    for (int j = 0; j < 8; ++j) {
        const auto &s = out(wide, j);
        const bool silent = std::all_of(s.begin(), s.end(), [](float v) { return v == 0.0f; });
        EXPECT_EQ(silent, j >= 3) << j;
    }
}

TEST_F(RenderTest, DisabledTouchesNothing) {
    auto *b = voice("t", {{1, 500.0f}}, {L(1), L(2)});
    set(b, "set_transpo_lfo_depth", 3);
    host.set_signal_constant(b, 0, 0.5f);
    host.set_alias(b, 0, 0);  // outlet 0 shares the Vol memory
    host.tick(1);
    const t_partial before = rec(b).partials[0];
    const float lfo = rec(b).transpo_lfo_phase;
    host.set_disabled(b, true);
    host.tick(3);
    EXPECT_EQ(rec(b).partials[0].phase, before.phase);
    EXPECT_EQ(rec(b).transpo_lfo_phase, lfo);
    for (std::size_t i = 64; i < 256; ++i) {
        ASSERT_EQ(out(b, 0)[i], 0.5f) << i;
        ASSERT_EQ(out(b, 1)[i], 0.0f) << i;
    }
    host.set_disabled(b, false);
    host.tick(1);
    EXPECT_NE(rec(b).partials[0].phase, before.phase);
    EXPECT_NE(out(b, 0)[256 + 10], 0.5f);
    EXPECT_TRUE(lines(Kind::Host).empty());  // the routine's return position was right
}

TEST_F(RenderTest, InputsMayShareMemoryWithOutputs) {
    std::vector<float> vol(64 * 6);
    for (std::size_t i = 0; i < vol.size(); ++i) vol[i] = 0.25f + 0.001f * static_cast<float>(i);
    std::vector<t_atom> args{L(3), L(3)};
    headless::Box *boxes[2];
    for (int k = 0; k < 2; ++k) {
        auto *b = boxes[k] = voice(k ? "shared" : "apart", {{1, 300.0f}, {2, 800.0f}, {3, 2100.0f}}, args);
        host.set_signal_samples(b, 0, vol);
        host.set_signal_constant(b, 1, 5.0f);
        host.set_signal_constant(b, 2, 40.0f);
    }
    host.set_alias(boxes[1], 0, 0);
    host.set_alias(boxes[1], 1, 1);
    host.set_alias(boxes[1], 2, 2);
    host.tick(6);
    for (int j = 0; j < 3; ++j) EXPECT_TRUE(same_bits(out(boxes[0], j), out(boxes[1], j))) << j;
}

TEST_F(RenderTest, SilenceFromVolOrAmplitude) {
    auto *muted = voice("muted", {{1, 500.0f}, {2, 900.0f}});
    host.set_signal_constant(muted, 0, 0.0f);
    auto *quiet = voice("quiet", {});
    send(quiet, {L(4), F(500.0f)});
    set(quiet, "set_shift_lfo_depth", 10);
    host.tick(3);
    for (auto *b : {muted, quiet})
        for (float v : out(b, 0)) ASSERT_EQ(v, 0.0f);
    EXPECT_GT(rec(muted).partials[0].phase, 0.0f);  // phases run on under zero gain
    EXPECT_GT(rec(muted).partials[1].phase, 0.0f);
    EXPECT_EQ(rec(quiet).partials[3].phase, 0.0f);  // silent partials stay frozen
    EXPECT_GT(rec(quiet).shift_lfo_phase, 0.0f);    // a modulator with depth moves anyway
}

// Both LFOs sampled once per vector at the newly advanced position: the same
// as setting transposition and shift to those values before each vector.
TEST_F(RenderTest, ModulatorsActOncePerVector) {
    auto *lfo = voice("lfo", {{1, 440.0f}, {2, 1320.0f}});
    set(lfo, "set_transpo_lfo_f", 5);
    set(lfo, "set_transpo_lfo_depth", 12);
    set(lfo, "set_shift_lfo_f", 3);
    set(lfo, "set_shift_lfo_depth", 100);
    auto *stepped = voice("stepped", {{1, 440.0f}, {2, 1320.0f}});
    const float *table = rec(lfo).sin_table;
    const float K = static_cast<float>(64 * TESSEL_TABLE_SIZE) / 44100.0f;
    float tp = 0, sp = 0;
    for (int v = 0; v < 800; ++v) {  // several LFO cycles
        tp = int_wrap(K * 5.0f + tp);
        sp = int_wrap(K * 3.0f + sp);
        set(stepped, "set_transpo", 12.0f * table[static_cast<int>(tp)]);
        set(stepped, "set_shift", 100.0f * table[static_cast<int>(sp)]);
        host.tick(1);
        if (v == 0) {
            EXPECT_NEAR(rec(lfo).transpo_lfo_phase, 36.28f, 0.01f);
        }
    }
    EXPECT_EQ(rec(lfo).transpo_lfo_phase, tp);
    EXPECT_EQ(rec(lfo).shift_lfo_phase, sp);
    EXPECT_TRUE(same_bits(out(lfo, 0), out(stepped, 0)));

    // Depth 0 freezes a modulator; a new depth resumes from there, and
    // reset_transpo_shift leaves the positions alone.
    set(lfo, "set_transpo_lfo_depth", 0);
    send(lfo, {headless::sym_atom("reset_transpo_shift")});
    host.tick(5);
    EXPECT_EQ(rec(lfo).transpo_lfo_phase, tp);
    EXPECT_EQ(rec(lfo).shift_lfo_phase, sp);
    set(lfo, "set_transpo_lfo_depth", 1);
    host.tick(1);
    EXPECT_EQ(rec(lfo).transpo_lfo_phase, int_wrap(K * 5.0f + tp));
}

TEST_F(RenderTest, ModulatorAtRateZeroAddsItsFrozenValue) {
    auto *still = voice("still", {{1, 700.0f}});
    set(still, "set_transpo_lfo_f", 0);
    set(still, "set_transpo_lfo_depth", 50);
    set(still, "set_shift_lfo_f", 0);
    set(still, "set_shift_lfo_depth", 500);
    auto *plain = voice("plain", {{1, 700.0f}});
    host.tick(4);
    EXPECT_TRUE(same_bits(out(still, 0), out(plain, 0)));
}

TEST_F(RenderTest, FreeingDuringARun) {
    auto *a = voice("a", {{1, 440.0f}}, {L(4), L(8)});
    auto *gone = voice("gone", {{1, 440.0f}}, {L(4), L(8)});
    auto *c = voice("c", {{1, 440.0f}}, {L(4), L(8)});
    host.tick(3);
    host.free_box(gone);
    EXPECT_EQ(host.blocks_held(), 2u);
    host.tick(3);
    EXPECT_TRUE(same_bits(out(a, 0), out(c, 0)));
    EXPECT_EQ(out(a, 0).size(), 6u * 64);
    host.free_box(a);
    host.free_box(c);
    EXPECT_EQ(host.blocks_held(), 0u);
    EXPECT_TRUE(lines(Kind::Host).empty());
}

TEST_F(RenderTest, VectorsLongerThanTheBuffersAreRefused) {
    auto *b = voice("t", {{1, 440.0f}});
    host.console.clear();
    host.dsp_on(32000, 4096);
    ASSERT_EQ(host.console.size(), 1u);
    EXPECT_EQ(host.console[0].kind, Kind::Error);
    EXPECT_EQ(host.console[0].text,
              "tessel~: signal vector of 4096 samples is longer than the limit of 2048");
    EXPECT_EQ(rec(b).vec_size, 4096);
    EXPECT_EQ(rec(b).sr, 32000.0f);
    EXPECT_EQ(rec(b).max_freq, 15999.0f);
    const std::size_t before = out(b, 0).size();
    host.tick(2);
    EXPECT_EQ(rec(b).partials[0].phase, 0.0f);
    for (std::size_t i = before; i < out(b, 0).size(); ++i) ASSERT_EQ(out(b, 0)[i], 0.0f);

    host.dsp_on(32000, 2048);
    host.tick(1);
    EXPECT_GT(rec(b).partials[0].phase, 0.0f);
    EXPECT_EQ(host.console.size(), 1u);
}

// Inlet values far outside any musical range must not push a lookup out of
// the table.  Infinite or NaN increments restart the phase at 0 each sample.
TEST_F(RenderTest, NonFiniteAndHugeControlsStayInTheTable) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        int inlet;
        float value;
        bool restarts;
    };
    const Case cases[] = {{1, inf, true},    {1, -inf, false},   {1, nan, true}, {1, 3e4f, true},
                          {2, 1e30f, false}, {2, -3e38f, false}, {2, inf, true}, {2, nan, true}};
    int n = 0;
    for (const auto &c : cases) {
        auto *b = voice(numbered("t", n++), {{1, 440.0f}, {2, 3.0f}}, {L(2), L(2)});
        host.set_signal_constant(b, c.inlet, c.value);
        host.tick(4);
        for (int j = 0; j < 2; ++j)
            for (float v : out(b, j)) ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << c.value;
        for (int k = 0; k < 2; ++k) {
            const float p = rec(b).partials[k].phase;
            EXPECT_TRUE(p >= 0.0f && p < TESSEL_TABLE_SIZE) << c.value << " " << p;
            if (c.restarts) {
                EXPECT_EQ(p, 0.0f) << c.value;
            }
        }
    }
}
