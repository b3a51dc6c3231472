// The sine table every oscillator of an instance reads.
#include "tessel_table.h"

#include "tessel_math.h"

void init_sin(float *table, int32_t n) {
    // 2π/n and each angle in double precision, so that every entry is the
    // single-precision rounding of an accurate sine (entry n/2 is the tiny
    // float nearest sin(π), not 0), the same on every platform.
    const double step = 6.283185307179586 / static_cast<double>(n);
    for (int32_t i = 0; i < n; ++i) table[i] = static_cast<float>(tessel_sin(step * i));
}
