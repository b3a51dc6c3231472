// The bank's partial loop for 64-bit ARM with NEON's own instructions: four
// partials per step, as the portable path, with the wrap truncated by
// FRINTZ and two vectors of samples summed side by side.  Every 64-bit ARM
// processor has NEON, so on ARM this is the path the bank runs; llvm-mca's
// model of Apple's M1 predicts it faster than the portable loop
// (bench/results/2026-12-09-tessel-bank-arm64.md).
#include "tessel_path_generic.h"

#if defined(__aarch64__)
void tessel_path_neon(tessel_path_batch &b, const float *table, float *const *acc, int32_t n) {
    tessel_path_generic<4, true>::run(b, table, acc, n);
}
#endif
