// The bank's partial loop for x86 processors with AVX-512 (F, DQ, BW, VL):
// sixteen partials per step.  Built with those extensions and reached only
// after the processor has been seen to support them.
#include "tessel_path_generic.h"

#if defined(__x86_64__) || defined(__i386__)
void tessel_path_avx512(tessel_path_batch &b, const float *table, float *const *acc, int32_t n) {
    tessel_path_generic<16>::run(b, table, acc, n);
}
#endif
