// Sine and power of two in plain double-precision arithmetic, the same on
// every platform (built with -ffp-contract=off, as everything here).
//
// Sine: the argument is reduced to r = x - n·π/2, |r| <= π/4, with π/2 in
// three pieces of 33 bits each, so that the reduction is exact to about
// 2^-100 for the arguments used here (the method of Cody and Waite, as in
// Sun's fdlibm); r is kept as a head and a tail.  sin or cos of r comes
// from the minimax polynomials of fdlibm's kernels, quadrant by quadrant.
//
// Power of two: y = n/32 + r with |r| <= 1/64; 2^(n/32) is 2^m times one
// of 32 table values held as a head and a tail, 2^r - 1 a polynomial of
// degree 6 in r (the Taylor terms of exp(r·ln 2), truncated far below an
// ulp), and the result 2^m · (head + (tail + head·p)).
#include "tessel_math.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// π/2 in three pieces, each exact in its leading 33 bits, and what each
// leaves over.
constexpr double kInvPio2 = 6.36619772367581382433e-01;
constexpr double kPio2_1 = 1.57079632673412561417e+00;
constexpr double kPio2_2 = 6.07710050630396597660e-11;
constexpr double kPio2_2t = 2.02226624879595063154e-21;
constexpr double kPio2_3 = 2.02226624871116645580e-21;
constexpr double kPio2_3t = 8.47842766036889956997e-32;

// sin on [-π/4, π/4]: x + x³·(S1 + x²·(...)), the head x and tail y.
double kernel_sin(double x, double y) {
    constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                     S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                     S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
    const double z = x * x;
    const double w = z * z;
    const double r = S2 + z * (S3 + z * S4) + z * w * (S5 + z * S6);
    const double v = z * x;
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

// cos on [-π/4, π/4], with 1 - x²/2 formed so that no digit is lost.
double kernel_cos(double x, double y) {
    constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                     C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                     C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;
    const double z = x * x;
    double w = z * z;
    const double r = z * (C1 + z * (C2 + z * C3)) + w * w * (C4 + z * (C5 + z * C6));
    const double hz = 0.5 * z;
    w = 1.0 - hz;
    return w + (((1.0 - w) - hz) + (z * r - x * y));
}

// 2^(j/32) for j = 0..31: the nearest double, and the rest.
struct HeadTail {
    double head;
    double tail;
};
constexpr HeadTail kExp2Table[32] = {
    {0x1.0000000000000p+0, 0x0.0p+0},
    {0x1.059b0d3158574p+0, 0x1.d73e2a475b465p-55},
    {0x1.0b5586cf9890fp+0, 0x1.8a62e4adc610bp-54},
    {0x1.11301d0125b51p+0, -0x1.6c51039449b3ap-54},
    {0x1.172b83c7d517bp+0, -0x1.19041b9d78a76p-55},
    {0x1.1d4873168b9aap+0, 0x1.e016e00a2643cp-54},
    {0x1.2387a6e756238p+0, 0x1.9b07eb6c70573p-54},
    {0x1.29e9df51fdee1p+0, 0x1.612e8afad1255p-55},
    {0x1.306fe0a31b715p+0, 0x1.6f46ad23182e4p-55},
    {0x1.371a7373aa9cbp+0, -0x1.63aeabf42eae2p-54},
    {0x1.3dea64c123422p+0, 0x1.ada0911f09ebcp-55},
    {0x1.44e086061892dp+0, 0x1.89b7a04ef80d0p-59},
    {0x1.4bfdad5362a27p+0, 0x1.d4397afec42e2p-56},
    {0x1.5342b569d4f82p+0, -0x1.07abe1db13cadp-55},
    {0x1.5ab07dd485429p+0, 0x1.6324c054647adp-54},
    {0x1.6247eb03a5585p+0, -0x1.383c17e40b497p-54},
    {0x1.6a09e667f3bcdp+0, -0x1.bdd3413b26456p-54},
    {0x1.71f75e8ec5f74p+0, -0x1.16e4786887a99p-55},
    {0x1.7a11473eb0187p+0, -0x1.41577ee04992fp-55},
    {0x1.82589994cce13p+0, -0x1.d4c1dd41532d8p-54},
    {0x1.8ace5422aa0dbp+0, 0x1.6e9f156864b27p-54},
    {0x1.93737b0cdc5e5p+0, -0x1.75fc781b57ebcp-57},
    {0x1.9c49182a3f090p+0, 0x1.c7c46b071f2bep-56},
    {0x1.a5503b23e255dp+0, -0x1.d2f6edb8d41e1p-54},
    {0x1.ae89f995ad3adp+0, 0x1.7a1cd345dcc81p-54},
    {0x1.b7f76f2fb5e47p+0, -0x1.5584f7e54ac3bp-56},
    {0x1.c199bdd85529cp+0, 0x1.11065895048ddp-55},
    {0x1.cb720dcef9069p+0, 0x1.503cbd1e949dbp-56},
    {0x1.d5818dcfba487p+0, 0x1.2ed02d75b3707p-55},
    {0x1.dfc97337b9b5fp+0, -0x1.1a5cd4f184b5cp-54},
    {0x1.ea4afa2a490dap+0, -0x1.e9c23179c2893p-54},
    {0x1.f50765b6e4540p+0, 0x1.9d3e12dd8a18bp-54},
};

// ln(2)^k / k!, k = 1..6.
constexpr double kExp2Poly[6] = {0x1.62e42fefa39efp-1, 0x1.ebfbdff82c58fp-3,  0x1.c6b08d704a0c0p-5,
                                 0x1.3b2ab6fba4e77p-7, 0x1.5d87fe78a6731p-10, 0x1.430912f86c787p-13};

}  // namespace

double tessel_sin(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    if (std::fabs(x) < 0x1p-27) return x;
    if (std::fabs(x) <= 0.7853981633974483) return kernel_sin(x, 0.0);
    // n·π/2 taken off in three steps; head and tail of what remains.
    const double fn = std::floor(x * kInvPio2 + 0.5);
    const auto n = static_cast<int64_t>(fn);
    double r = x - fn * kPio2_1;
    double t = r;
    double w = fn * kPio2_2;
    r = t - w;
    w = fn * kPio2_2t - ((t - r) - w);
    t = r;
    w = fn * kPio2_3;
    r = t - w;
    w = fn * kPio2_3t - ((t - r) - w);
    const double head = r - w;
    const double tail = (r - head) - w;
    switch (n & 3) {
    case 0: return kernel_sin(head, tail);
    case 1: return kernel_cos(head, tail);
    case 2: return -kernel_sin(head, tail);
    default: return -kernel_cos(head, tail);
    }
}

double tessel_exp2(double y) {
    if (std::isnan(y)) return y;
    if (y >= 1024.0) return std::numeric_limits<double>::infinity();
    if (y < -1080.0) return 0.0;
    const double n = std::floor(y * 32.0 + 0.5);
    const double r = y - n / 32.0;  // exact: |r| <= 1/64
    const auto ni = static_cast<int32_t>(n);
    const int32_t j = ni & 31;
    const int32_t m = (ni - j) / 32;
    const double p =
        r * (kExp2Poly[0] +
             r * (kExp2Poly[1] +
                  r * (kExp2Poly[2] + r * (kExp2Poly[3] + r * (kExp2Poly[4] + r * kExp2Poly[5])))));
    const HeadTail &e = kExp2Table[j];
    return std::ldexp(e.head + (e.tail + e.head * p), m);
}
