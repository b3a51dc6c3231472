// The full wrap for the paths' general partials, built for the baseline
// instruction set: the wider paths call it, and it is the one piece of path
// code that includes the inline wrap.
#include "tessel_paths.h"
#include "tessel_wrap.h"

void tessel_path_general_positions(float &phase, float inc, int32_t *idx, int32_t stride, int32_t n) {
    float p = phase;
    for (int32_t i = 0; i < n; ++i) {
        p = tessel_wrap_phase(p + inc);
        idx[i * stride] = static_cast<int32_t>(p);
    }
    phase = p;
}
