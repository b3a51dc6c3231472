// The bank's partial loop for x86 processors with AVX2: eight partials per
// step.  Built with -mavx2 and reached only after the processor has been
// seen to support it.
#include "tessel_path_generic.h"

#if defined(__x86_64__) || defined(__i386__)
void tessel_path_avx2(tessel_path_batch &b, const float *table, float *const *acc, int32_t n) {
    tessel_path_generic<8>::run(b, table, acc, n);
}
#endif
