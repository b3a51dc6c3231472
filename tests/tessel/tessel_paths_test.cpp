// Every code path of the bank against the plain reference loop, byte for
// byte: the paths this processor runs, and the generic path code at every
// vector width built for this test's own instruction set, so that the
// sixteen-float layout of the AVX-512 path is exercised on machines without
// AVX-512.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tessel_bank.h"
#include "tessel_path_generic.h"
#include "tessel_paths.h"

namespace {

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();
const float top = TESSEL_TABLE_SIZE;
const float below_top = std::nextafter(top, 0.0f);

// A quiet NaN with a payload, as an amplitude may be.
float nan_with(uint32_t payload) {
    const uint32_t bits = 0x7fc00000u | payload;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Everything the bank reads and writes for one vector.
struct Scene {
    tessel_bank_controls c{};
    std::vector<t_partial> partials;
    std::vector<float> vol;
    std::vector<std::vector<float>> acc, out;
    int n_outputs = 1;

    bool nan_amplitudes() const {
        for (const auto &p : partials)
            if (std::isnan(p.amp)) return true;
        return false;
    }
    std::vector<float *> ptrs(std::vector<std::vector<float>> &v) {
        std::vector<float *> p;
        for (auto &b : v) p.push_back(b.data());
        return p;
    }
    // Buffers full of junk, so that writes past the vector show.
    void buffers(std::mt19937 &rng) {
        vol.resize(TESSEL_MAX_VECTOR);
        for (auto &v : vol) v = std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
        acc.assign(n_outputs, std::vector<float>(TESSEL_MAX_VECTOR, 9.0f));
        out.assign(n_outputs, std::vector<float>(TESSEL_MAX_VECTOR, 7.0f));
    }
};

bool same_bits(const void *a, const void *b, std::size_t bytes) { return std::memcmp(a, b, bytes) == 0; }

// Equal bytes, or the first sample that differs, with both bit patterns.
//
// With any_nan, two NaNs count as equal whatever their bits.  A NaN
// amplitude brings its own payload, and when two NaNs meet in a sum the
// result carries the payload of whichever operand the instruction takes
// first; compilers commute additions freely, so even the reference loop
// gives different NaN bytes under different compilers or optimisation
// levels.  Without NaN amplitudes every NaN is the processor's default one
// and the comparison is strict.
::testing::AssertionResult same_samples(const std::vector<float> &got, const std::vector<float> &want,
                                        bool any_nan) {
    for (std::size_t i = 0; i < got.size(); ++i) {
        uint32_t g, w;
        std::memcpy(&g, &got[i], 4);
        std::memcpy(&w, &want[i], 4);
        if (g == w || (any_nan && std::isnan(got[i]) && std::isnan(want[i]))) continue;
        char text[96];
        std::snprintf(text, sizeof text, "sample %zu: %g (0x%08x) against %g (0x%08x)", i, got[i], g, want[i],
                      w);
        return ::testing::AssertionFailure() << text;
    }
    return ::testing::AssertionSuccess();
}

float pick(std::mt19937 &rng, std::initializer_list<float> specials, float lo, float hi, double p_special) {
    if (std::bernoulli_distribution(p_special)(rng)) {
        std::uniform_int_distribution<std::size_t> i(0, specials.size() - 1);
        return specials.begin()[i(rng)];
    }
    return std::uniform_real_distribution<float>(lo, hi)(rng);
}

int pick_vec_size(std::mt19937 &rng) {
    const int kind = std::uniform_int_distribution<int>(0, 99)(rng);
    if (kind < 25) return 64;
    if (kind < 50) return std::uniform_int_distribution<int>(1, 40)(rng);  // every tail length
    if (kind < 52) return 0;
    return std::uniform_int_distribution<int>(1, TESSEL_MAX_VECTOR)(rng);
}

// Ordinary scenes keep the controls in the ranges the messages allow; they
// still reach increments of 5000 and more through transposition and shift.
// Extreme scenes add huge, negative and non-finite values everywhere.
Scene random_scene(std::mt19937 &rng, bool extreme) {
    const double ps = extreme ? 0.25 : 0.0;
    Scene s;
    s.n_outputs = std::uniform_int_distribution<int>(1, 8)(rng);
    s.c.vec_size = pick_vec_size(rng);
    s.c.sr = pick(rng, {0.0f, -44100.0f, inf, nan, 1.0f}, 8000.0f, 192000.0f, ps);
    s.c.transpo = pick(rng, {inf, -inf, nan, 3e4f, -3e4f}, -120.0f, 120.0f, ps);
    s.c.shift = pick(rng, {inf, -inf, nan, 1e30f, -3e38f}, -10000.0f, 10000.0f, ps);
    s.c.transpo_lfo_f = pick(rng, {0.0f, 10000.0f}, 0.0f, 50.0f, 0.2);
    s.c.shift_lfo_f = pick(rng, {0.0f, 1000.0f}, 0.0f, 50.0f, 0.2);
    s.c.transpo_lfo_depth = pick(rng, {0.0f}, -120.0f, 120.0f, 0.4);  // off two times in five
    s.c.shift_lfo_depth = pick(rng, {0.0f}, -10000.0f, 10000.0f, 0.4);
    s.c.transpo_lfo_phase = pick(rng, {below_top, nan, 7000.0f}, 0.0f, top, 0.1 + ps);
    s.c.shift_lfo_phase = pick(rng, {below_top, nan, -3.0f}, 0.0f, top, 0.1 + ps);

    // One or two partials (which may take a scalar loop), up to a hundred,
    // or more than one batch.
    const int kind = std::uniform_int_distribution<int>(0, 99)(rng);
    const int lo = kind < 8 ? 1 : kind < 15 ? 2 : kind < 85 ? 3 : 101;
    const int hi = kind < 8 ? 1 : kind < 15 ? 2 : kind < 85 ? 100 : 300;
    s.partials.resize(std::uniform_int_distribution<int>(lo, hi)(rng));
    const float sr = std::isfinite(s.c.sr) && s.c.sr > 0.0f ? s.c.sr : 48000.0f;
    for (auto &p : s.partials) {
        p.freq = extreme ? pick(rng, {-sr, sr, 40.0f * sr, 1e20f, nan, inf}, -3.0f * sr, 3.0f * sr, 0.2)
                         : pick(rng, {0.0f, 22049.0f}, 0.0f, 22000.0f, 0.05);
        p.amp = pick(rng, {0.0f, -1.0f}, -1.0f, 1.0f, 0.4);
        if (extreme && std::bernoulli_distribution(0.05)(rng))
            p.amp = pick(rng, {nan_with(1), nan_with(2), inf, -inf, 1e-40f, 3e38f}, 0.0f, 1.0f, 1.0);
        // Phases next to the top of the table in every scene; out of range
        // ones only in extreme scenes.
        p.phase = extreme ? pick(rng, {below_top, 4999.999f, top, -0.0f, 6000.0f, -3.0f, 1e10f, nan}, 0.0f,
                                 top, 0.3)
                          : pick(rng, {below_top, 4999.999f, 4999.5f, 0.0f}, 0.0f, top, 0.2);
    }
    s.buffers(rng);
    return s;
}

// A code path under test: one of the library's, or the generic path code at
// a width instantiated here.
struct Case {
    const char *name;
    tessel_path path;
    tessel_path_fn generic;  // null: the library's path
};

// Test listings name the case, not its bytes.
void PrintTo(const Case &k, std::ostream *os) { *os << k.name; }

void run_case(const Case &k, Scene &s, const float *table) {
    auto acc = s.ptrs(s.acc), out = s.ptrs(s.out);
    const int32_t n = s.c.vec_size;
    for (auto *a : acc) std::fill(a, a + n, 0.0f);
    const auto count = static_cast<int32_t>(s.partials.size());
    if (k.generic)
        tessel_bank_accumulate_with_entry(k.generic, s.c, table, s.partials.data(), count, acc.data(),
                                          s.n_outputs);
    else
        tessel_bank_accumulate_on_path(k.path, s.c, table, s.partials.data(), count, acc.data(), s.n_outputs);
    tessel_bank_scale(s.n_outputs, s.vol.data(), out.data(), acc.data(), n);
}

void run_reference(Scene &s, const float *table) {
    auto acc = s.ptrs(s.acc), out = s.ptrs(s.out);
    tessel_bank_reference(s.c, table, s.partials.data(), static_cast<int32_t>(s.partials.size()), acc.data(),
                          s.n_outputs, s.vol.data(), out.data());
}

// Runs the scene through the case and through the reference and compares
// every byte either may have touched.  A few vectors in a row, so that the
// phases each leaves behind are carried on.
void expect_same_as_reference(const Case &k, Scene a, const float *table, int vectors = 3) {
    Scene b = a;
    const bool any_nan = a.nan_amplitudes();
    for (int v = 0; v < vectors; ++v) {
        run_case(k, a, table);
        run_reference(b, table);
        SCOPED_TRACE(::testing::Message() << "vector " << v << ", " << a.partials.size() << " partials, vec "
                                          << a.c.vec_size << ", outputs " << a.n_outputs);
        for (int j = 0; j < a.n_outputs; ++j) {
            ASSERT_TRUE(same_samples(a.acc[j], b.acc[j], any_nan)) << "buffer " << j;
            ASSERT_TRUE(same_samples(a.out[j], b.out[j], any_nan)) << "output " << j;
        }
        ASSERT_TRUE(same_bits(a.partials.data(), b.partials.data(), a.partials.size() * sizeof(t_partial)));
        ASSERT_TRUE(same_bits(&a.c, &b.c, sizeof a.c));
    }
}

std::vector<float> sine_table() {
    std::vector<float> t(TESSEL_TABLE_SIZE);
    init_sin(t.data(), TESSEL_TABLE_SIZE);
    return t;
}

struct TesselPaths : ::testing::TestWithParam<Case> {
    std::vector<float> table = sine_table();

    void SetUp() override {
        const Case &k = GetParam();
        if (!k.generic && !tessel_path_available(k.path))
            GTEST_SKIP() << "path " << k.name << " not run: this processor or build lacks it";
    }
    void random_scenes(uint32_t seed, bool extreme, int trials) {
        std::mt19937 rng(seed);
        for (int t = 0; t < trials; ++t) {
            SCOPED_TRACE(::testing::Message() << "trial " << t);
            expect_same_as_reference(GetParam(), random_scene(rng, extreme), table.data());
            if (HasFatalFailure()) return;
        }
    }
};

TEST_P(TesselPaths, MatchTheReferenceBitForBit) { random_scenes(2024, false, 150); }

TEST_P(TesselPaths, MatchTheReferenceOnHugeNegativeAndNonFiniteValues) { random_scenes(99, true, 150); }

// One table position per hertz, so the increments are the frequencies:
// every pairing of increments and phases at the edges of the branch-free
// wrap (2500 from 0, and 2499.75 from 0.5, land exactly on 5000), side by
// side in one bank, where
// general and in-range partials alternate within the vector lanes.
TEST_P(TesselPaths, IncrementsAndPhasesAtTheEdgesOfTheWrap) {
    Scene s;
    s.c.sr = top;
    for (float inc : {0.0f, 1.0f, 2499.75f, 2500.0f, 4999.5f, below_top, top, 5000.5f, 12345.9f, 1e9f})
        for (float phase : {0.0f, -0.0f, 0.5f, 4999.5f, below_top, top, 5000.25f})
            s.partials.push_back({inc, 1.0f, phase});
    std::mt19937 rng(5);
    for (int outputs : {1, 3, 8}) {
        for (int vec : {1, 15, 16, 17, 37, 2048}) {
            s.n_outputs = outputs;
            s.c.vec_size = vec;
            s.buffers(rng);
            expect_same_as_reference(GetParam(), s, table.data());
        }
    }
    // Each alone and beside its neighbour, as banks that small may take
    // another loop.
    for (std::size_t k = 0; k < s.partials.size(); ++k) {
        for (std::size_t count : {1, 2}) {
            Scene few = s;
            few.partials.assign(s.partials.begin() + k,
                                s.partials.begin() + std::min(k + count, s.partials.size()));
            few.n_outputs = 2;
            few.c.vec_size = 37;
            few.buffers(rng);
            expect_same_as_reference(GetParam(), few, table.data());
        }
    }
}

const Case kCases[] = {
    {"portable", TESSEL_PATH_PORTABLE, nullptr},
    {"avx2", TESSEL_PATH_AVX2, nullptr},
    {"avx512", TESSEL_PATH_AVX512, nullptr},
    {"neon", TESSEL_PATH_NEON, nullptr},
    {"generic4_here", TESSEL_PATH_PORTABLE, &tessel_path_generic<4>::run},
    {"generic8_here", TESSEL_PATH_PORTABLE, &tessel_path_generic<8>::run},
    {"generic16_here", TESSEL_PATH_PORTABLE, &tessel_path_generic<16>::run},
};

INSTANTIATE_TEST_SUITE_P(Each, TesselPaths, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &i) { return std::string(i.param.name); });

TEST(TesselDispatch, TheBankRunsTheWidestPathThisProcessorHas) {
    EXPECT_TRUE(tessel_path_available(TESSEL_PATH_PORTABLE));
    int widest = TESSEL_PATH_PORTABLE;
    for (int p = 0; p < TESSEL_PATH_COUNT; ++p)
        if (tessel_path_available(static_cast<tessel_path>(p))) widest = p;
    EXPECT_EQ(tessel_path_chosen(), widest) << tessel_path_name(tessel_path_chosen());
}

// Asking for a path this processor lacks must not execute its instructions.
TEST(TesselDispatch, AMissingPathFallsBackToThePortableOne) {
    const auto table = sine_table();
    std::mt19937 rng(8);
    int missing = 0;
    for (int p = 0; p < TESSEL_PATH_COUNT; ++p) {
        const auto path = static_cast<tessel_path>(p);
        if (tessel_path_available(path)) continue;
        ++missing;
        expect_same_as_reference({tessel_path_name(path), path, nullptr}, random_scene(rng, false),
                                 table.data());
    }
    if (missing == 0) GTEST_SKIP() << "this processor has every path";
}

#if defined(__x86_64__) || defined(__i386__)
// The bank reads CPUID and XGETBV itself (not every compiler's runtime has
// GCC's processor model); GCC's own answer must be the same.
#if defined(__GNUC__) && !defined(__clang__)
TEST(TesselDispatch, ThisProcessorsPathsAsGccSeesThem) {
    __builtin_cpu_init();
    EXPECT_EQ(tessel_path_available(TESSEL_PATH_AVX2), __builtin_cpu_supports("avx2") != 0);
    EXPECT_EQ(tessel_path_available(TESSEL_PATH_AVX512),
              __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
                  __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"));
}
#endif

// A wider path needs its instructions and the system's saving of its
// registers; macOS saves the AVX-512 ones only from a thread's first use.
TEST(TesselDispatch, WiderPathsNeedTheirRegistersSaved) {
    constexpr uint32_t osxsave_avx = (1u << 27) | (1u << 28), avx2 = 1u << 5;
    constexpr uint32_t f = 1u << 16, dq = 1u << 17, bw = 1u << 30, vl = 1u << 31;
    struct Row {
        const char *what;
        tessel_x86_facts facts;
        bool avx2, avx512;
    } rows[] = {
        {"everything, every state saved", {osxsave_avx, avx2 | f | dq | bw | vl, 0xe7, false}, true, true},
        {"no AVX state saved", {osxsave_avx, avx2 | f | dq | bw | vl, 0x03, false}, false, false},
        {"XSAVE off", {1u << 28, avx2 | f | dq | bw | vl, 0xe7, false}, false, false},
        {"no AVX-512 state saved", {osxsave_avx, avx2 | f | dq | bw | vl, 0x07, false}, true, false},
        {"AVX-512 state on first use", {osxsave_avx, avx2 | f | dq | bw | vl, 0x07, true}, true, true},
        {"AVX-512 without VL", {osxsave_avx, avx2 | f | dq | bw, 0xe7, true}, true, false},
        {"AVX without AVX2", {osxsave_avx, 0, 0xe7, false}, false, false},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(tessel_x86_runs(TESSEL_PATH_AVX2, r.facts), r.avx2) << r.what;
        EXPECT_EQ(tessel_x86_runs(TESSEL_PATH_AVX512, r.facts), r.avx512) << r.what;
    }
}
#endif

TEST(TesselDispatch, MacOSOffersAvx512FromVersion12_2) {
    const struct {
        const char *version;
        bool on;
    } rows[] = {{"12.2", true},    {"12.2.1", true}, {"12.10", true}, {"13.0", true}, {"15", true},
                {"12.1.4", false}, {"12", false},    {"11.7", false}, {"", false},    {"x", false}};
    for (const auto &r : rows) EXPECT_EQ(tessel_macos_avx512_on_demand(true, r.version), r.on) << r.version;
    EXPECT_FALSE(tessel_macos_avx512_on_demand(false, "14.0"));
}

}  // namespace
