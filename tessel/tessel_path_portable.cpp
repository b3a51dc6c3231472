// The bank's partial loop for any processor: vectors of the compiler's
// generic kind, which the baseline instruction set of every target carries
// (SSE2 on x86-64, NEON on 64-bit ARM).
#include "tessel_lanes.h"

void tessel_partials_portable(tessel_batch &b, const float *table, float *const *acc,
                              int32_t n) {
    tessel_lanes<4>::run(b, table, acc, n);
}
