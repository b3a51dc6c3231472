// The bank's partial loop for x86 processors with AVX2: eight partials per
// step.  Built with -mavx2 and reached only after the processor has been
// seen to support it.
#include "tessel_lanes.h"

#if defined(__x86_64__) || defined(__i386__)
void tessel_partials_avx2(tessel_batch &b, const float *table, float *const *acc, int32_t n) {
    tessel_lanes<8>::run(b, table, acc, n);
}
#endif
