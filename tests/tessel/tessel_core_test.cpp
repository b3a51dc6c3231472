// The host-free core: the sine table, the phase wrap, and the bank and
// scaling loops checked bit for bit against the plain reference.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tessel_render.h"

namespace {

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

TEST(TesselSine, OnePeriodInFiveThousandEntries) {
    std::vector<float> t(5001, 42.0f);
    init_sin(t.data(), 5000);
    EXPECT_EQ(t[0], 0.0f);
    EXPECT_EQ(t[1250], 1.0f);
    EXPECT_EQ(t[3750], -1.0f);
    EXPECT_EQ(t[2500], static_cast<float>(1.2246467991473532e-16));
    EXPECT_EQ(t[4999], -t[1]);
    EXPECT_NEAR(t[4999], -0.0012566367f, 1e-10f);
    EXPECT_EQ(t[5000], 42.0f);
    for (int i = 0; i < 5000; ++i) ASSERT_NEAR(t[i], std::sin(2 * M_PI * i / 5000), 6e-8) << i;
    init_sin(t.data() + 5000, 0);
    EXPECT_EQ(t[5000], 42.0f);
}

TEST(TesselWrap, DropsTheFractionAndKeepsEveryIndexInTheTable) {
    EXPECT_EQ(tessel_wrap_phase(4999.75f), 4999.75f);
    EXPECT_EQ(static_cast<int>(tessel_wrap_phase(4999.75f)), 4999);
    EXPECT_EQ(tessel_wrap_phase(5000.6f), 0.0f);
    EXPECT_EQ(tessel_wrap_phase(12345.9f), 2345.0f);
    EXPECT_EQ(tessel_wrap_phase(0.0f), 0.0f);
    // Where the integer formula is defined, the wrap is that formula.
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> big(5000.0f, 2.1e9f);
    for (int i = 0; i < 100000; ++i) {
        const float p = big(rng);
        ASSERT_EQ(tessel_wrap_phase(p), static_cast<float>(static_cast<int64_t>(p) % 5000)) << p;
    }
    // Past it, the remainder is still exact: 2^100 mod 5000.
    EXPECT_EQ(tessel_wrap_phase(std::ldexp(1.0f, 100)), 376.0f);
    for (float p : {inf, -inf, nan}) EXPECT_EQ(tessel_wrap_phase(p), 0.0f) << p;
    EXPECT_EQ(tessel_wrap_phase(-0.5f), 0.0f);
    EXPECT_FALSE(std::signbit(tessel_wrap_phase(-0.5f)));
    EXPECT_EQ(tessel_wrap_phase(-1.5f), 4999.0f);
    EXPECT_EQ(tessel_wrap_phase(-12345.9f), 2655.0f);
}

// Everything the bank reads and writes for one vector, twice: once for the
// path under test, once for the reference.
struct Scene {
    tessel_controls c{};
    std::vector<t_partial> partials;
    std::vector<float> vol;
    std::vector<std::vector<float>> acc, out;
    int n_outputs = 1;

    std::vector<float *> ptrs(std::vector<std::vector<float>> &v) {
        std::vector<float *> p;
        for (auto &b : v) p.push_back(b.data());
        return p;
    }
};

bool same_bits(const void *a, const void *b, std::size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

float pick(std::mt19937 &rng, std::initializer_list<float> specials, float lo, float hi, double p_special) {
    if (std::bernoulli_distribution(p_special)(rng)) {
        std::uniform_int_distribution<std::size_t> i(0, specials.size() - 1);
        return specials.begin()[i(rng)];
    }
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

Scene random_scene(std::mt19937 &rng, bool extreme) {
    const double ps = extreme ? 0.2 : 0.0;
    Scene s;
    std::uniform_int_distribution<int> outs(1, 8), count(1, 100), vs(0, 2048);
    s.n_outputs = outs(rng);
    s.c.vec_size = std::bernoulli_distribution(0.3)(rng) ? 64 : vs(rng);
    s.c.sr = pick(rng, {0.0f, -44100.0f, inf, nan, 1.0f}, 8000.0f, 192000.0f, ps);
    s.c.transpo = pick(rng, {inf, -inf, nan, 3e4f, -3e4f}, -130.0f, 130.0f, ps);
    s.c.shift = pick(rng, {inf, -inf, nan, 1e30f, -3e38f}, -12000.0f, 12000.0f, ps);
    s.c.transpo_lfo_f = pick(rng, {0.0f, 10000.0f}, 0.0f, 50.0f, 0.2);
    s.c.shift_lfo_f = pick(rng, {0.0f, 1000.0f}, 0.0f, 50.0f, 0.2);
    s.c.transpo_lfo_depth = pick(rng, {0.0f}, -120.0f, 120.0f, 0.4);
    s.c.shift_lfo_depth = pick(rng, {0.0f}, -10000.0f, 10000.0f, 0.4);
    s.c.transpo_lfo_phase = pick(rng, {4999.99f, nan, 7000.0f}, 0.0f, 4999.0f, ps);
    s.c.shift_lfo_phase = pick(rng, {4999.99f, nan, -3.0f}, 0.0f, 4999.0f, ps);
    s.partials.resize(count(rng));
    for (auto &p : s.partials) {
        p.freq = pick(rng, {0.0f, 22049.0f, 1e20f, nan}, 0.0f, 22000.0f, ps);
        p.amp = pick(rng, {0.0f, -1.0f}, -1.0f, 1.0f, 0.4);
        p.phase = pick(rng, {4999.999f, -0.0f, 6000.0f, nan}, 0.0f, 5000.0f, ps);
    }
    s.vol.resize(2048);
    for (auto &v : s.vol) v = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
    s.acc.assign(s.n_outputs, std::vector<float>(2048, 9.0f));
    s.out.assign(s.n_outputs, std::vector<float>(2048, 7.0f));
    return s;
}

void expect_bank_matches_reference(std::mt19937 &rng, bool extreme, int trials) {
    for (int t = 0; t < trials; ++t) {
        Scene a = random_scene(rng, extreme);
        Scene b = a;
        std::vector<float> table(5000);
        init_sin(table.data(), 5000);

        for (auto &buf : a.acc) std::fill(buf.begin(), buf.begin() + a.c.vec_size, 0.0f);
        auto acc_a = a.ptrs(a.acc), out_a = a.ptrs(a.out);
        tessel_bank(a.c, table.data(), a.partials.data(), static_cast<int32_t>(a.partials.size()),
                    acc_a.data(), a.n_outputs);
        tessel_scale(a.n_outputs, a.vol.data(), out_a.data(), acc_a.data(), a.c.vec_size);

        auto acc_b = b.ptrs(b.acc), out_b = b.ptrs(b.out);
        tessel_render_reference(b.c, table.data(), b.partials.data(),
                                static_cast<int32_t>(b.partials.size()), acc_b.data(),
                                b.n_outputs, b.vol.data(), out_b.data());

        SCOPED_TRACE(::testing::Message() << "trial " << t << " vec " << a.c.vec_size
                                          << " outputs " << a.n_outputs);
        for (int j = 0; j < a.n_outputs; ++j) {
            ASSERT_TRUE(same_bits(a.out[j].data(), b.out[j].data(), 2048 * sizeof(float))) << j;
            ASSERT_TRUE(same_bits(a.acc[j].data(), b.acc[j].data(), 2048 * sizeof(float))) << j;
        }
        ASSERT_TRUE(same_bits(a.partials.data(), b.partials.data(), a.partials.size() * sizeof(t_partial)));
        ASSERT_TRUE(same_bits(&a.c, &b.c, sizeof a.c));
        for (const auto &p : a.partials) {
            if (p.amp == 0.0f) continue;
            ASSERT_TRUE(p.phase >= 0.0f && p.phase < 5000.0f) << p.phase;
        }
    }
}

TEST(TesselBank, MatchesTheReferenceBitForBit) {
    std::mt19937 rng(2024);
    expect_bank_matches_reference(rng, false, 300);
}

TEST(TesselBank, MatchesTheReferenceOnNonFiniteAndHugeValues) {
    std::mt19937 rng(99);
    expect_bank_matches_reference(rng, true, 300);
}

// Increments and phases at the edges of the fast path: the largest values
// below 5000, exactly 5000, and 0.
TEST(TesselBank, EdgeIncrementsMatchTheReference) {
    std::vector<float> table(5000);
    init_sin(table.data(), 5000);
    const float below = std::nextafter(5000.0f, 0.0f);
    for (float freq : {below, 5000.0f, 0.0f, 2500.0f, 4999.5f}) {
        for (float phase : {below, 0.0f, 4999.5f}) {
            tessel_controls c{};
            c.vec_size = 16;
            c.sr = 5000.0f;  // one table position per hertz
            tessel_controls d = c;
            t_partial p{freq, 1.0f, phase}, q = p;
            std::vector<float> acc(16, 0.0f), racc(16), rout(16), vol(16, 1.0f);
            float *a = acc.data(), *ra = racc.data(), *ro = rout.data();
            tessel_bank(c, table.data(), &p, 1, &a, 1);
            tessel_render_reference(d, table.data(), &q, 1, &ra, 1, vol.data(), &ro);
            EXPECT_EQ(p.phase, q.phase) << freq << " " << phase;
            EXPECT_TRUE(same_bits(acc.data(), racc.data(), 16 * sizeof(float))) << freq << " " << phase;
            EXPECT_TRUE(p.phase >= 0.0f && p.phase < 5000.0f);
        }
    }
}

}  // namespace
