// The bank's partial loop for any processor: vectors of the compiler's
// generic kind, which the baseline instruction set of every target carries
// (SSE2 on x86-64, NEON on 64-bit ARM).
#include "tessel_path_generic.h"

void tessel_path_portable(tessel_path_batch &b, const float *table, float *const *acc, int32_t n) {
    tessel_path_generic<4>::run(b, table, acc, n);
}
