// The bank's own arithmetic: the sine table, the power of two and the phase
// wrap.  The bank's code paths are checked against the plain reference in
// tessel_paths_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tessel_math.h"
#include "tessel_bank.h"
#include "tessel_table.h"
#include "tessel_wrap.h"

namespace {

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

TEST(TesselSine, OnePeriodInFiveThousandEntries) {
    // Every phase of a patch counts in these positions.
    static_assert(TESSEL_TABLE_SIZE == 5000);
    const int n = TESSEL_TABLE_SIZE;
    std::vector<float> t(n + 1, 42.0f);
    init_sin(t.data(), n);
    EXPECT_EQ(t[0], 0.0f);
    EXPECT_EQ(t[n / 4], 1.0f);
    EXPECT_EQ(t[3 * n / 4], -1.0f);
    EXPECT_EQ(t[n / 2], static_cast<float>(1.2246467991473532e-16));
    EXPECT_EQ(t[n - 1], -t[1]);
    EXPECT_NEAR(t[n - 1], -0.0012566367f, 1e-10f);
    EXPECT_EQ(t[n], 42.0f);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(t[i], std::sin(2 * M_PI * i / n), 6e-8) << i;
    init_sin(t.data() + n, 0);
    EXPECT_EQ(t[n], 42.0f);
}

// The table and the ratio use the project's own sine and power of two, the
// same on every platform; rounded to single precision, as tessel~ uses
// them, they must give what the C library gives (here, GNU's).
TEST(TesselMath, SineRoundsToTheCLibrarysForEveryTableEntry) {
    for (int n : {TESSEL_TABLE_SIZE, 4999, 8192, 44100}) {
        const double step = 6.283185307179586 / static_cast<double>(n);
        for (int i = 0; i < n; ++i) {
            const double x = step * i;
            ASSERT_EQ(static_cast<float>(tessel_sin(x)), static_cast<float>(std::sin(x))) << n << " " << i;
        }
    }
    EXPECT_EQ(tessel_sin(3.141592653589793), 1.2246467991473532e-16);
    EXPECT_EQ(tessel_sin(-1.0), -tessel_sin(1.0));
    EXPECT_TRUE(std::isnan(tessel_sin(std::numeric_limits<double>::infinity())));
}

TEST(TesselMath, PowerOfTwoRoundsToTheCLibrarysForEveryTransposition) {
    auto same = [](float semitones) {
        const double y = static_cast<double>(semitones) / 12.0;
        return static_cast<float>(tessel_exp2(y)) == static_cast<float>(std::pow(2.0, y));
    };
    // Every 1/256 semitone over a hundred octaves up and down.
    for (int k = -307200; k <= 307200; ++k) ASSERT_TRUE(same(static_cast<float>(k) / 256.0f)) << k;
    // Floats of every exponent the ratio can meet, down to those that give 0.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
    std::uniform_int_distribution<int> exponent(-40, 14);
    for (int k = 0; k < 1000000; ++k) {
        const float t = std::ldexp(mantissa(rng), exponent(rng)) * (k % 2 ? 1.0f : -1.0f);
        ASSERT_TRUE(same(t)) << t;
    }
    EXPECT_EQ(tessel_exp2(0.0), 1.0);
    EXPECT_EQ(tessel_exp2(-1074.0), std::pow(2.0, -1074.0));
    EXPECT_EQ(tessel_exp2(1023.5), std::pow(2.0, 1023.5));
    EXPECT_EQ(tessel_exp2(1024.0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(tessel_exp2(-inf), 0.0);
    EXPECT_EQ(tessel_exp2(inf), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(tessel_exp2(nan)));
}

TEST(TesselWrap, DropsTheFractionAndKeepsEveryIndexInTheTable) {
    EXPECT_EQ(tessel_wrap_phase(4999.75f), 4999.75f);
    EXPECT_EQ(static_cast<int>(tessel_wrap_phase(4999.75f)), 4999);
    EXPECT_EQ(tessel_wrap_phase(5000.6f), 0.0f);
    EXPECT_EQ(tessel_wrap_phase(12345.9f), 2345.0f);
    EXPECT_EQ(tessel_wrap_phase(0.0f), 0.0f);
    // Where the integer formula is defined, the wrap is that formula.
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> big(TESSEL_TABLE_SIZE, 2.1e9f);
    for (int i = 0; i < 100000; ++i) {
        const float p = big(rng);
        ASSERT_EQ(tessel_wrap_phase(p), static_cast<float>(static_cast<int64_t>(p) % TESSEL_TABLE_SIZE)) << p;
    }
    // Either side of 2^31, where the integer formula hands over to fmodf.
    for (float p : {std::nextafter(2147483648.0f, 0.0f), 2147483648.0f, std::nextafter(2147483648.0f, inf)})
        EXPECT_EQ(tessel_wrap_phase(p), static_cast<float>(static_cast<int64_t>(p) % TESSEL_TABLE_SIZE)) << p;
    // Past it, the remainder is still exact: 2^100 mod 5000.
    EXPECT_EQ(tessel_wrap_phase(std::ldexp(1.0f, 100)), 376.0f);
    for (float p : {inf, -inf, nan}) EXPECT_EQ(tessel_wrap_phase(p), 0.0f) << p;
    EXPECT_EQ(tessel_wrap_phase(-0.5f), 0.0f);
    EXPECT_FALSE(std::signbit(tessel_wrap_phase(-0.5f)));
    EXPECT_EQ(tessel_wrap_phase(-1.5f), 4999.0f);
    EXPECT_EQ(tessel_wrap_phase(-12345.9f), 2655.0f);
}

}  // namespace
