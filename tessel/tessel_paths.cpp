// The choice between the bank's code paths, made once when the code is
// loaded, and the one piece of path code every path shares.  Built for the
// baseline instruction set, so the checks run on any processor.
#include "tessel_paths.h"

#include "tessel_bank.h"

namespace {

bool runs_here(tessel_path path) {
    switch (path) {
    case TESSEL_PATH_PORTABLE: return true;
#if defined(__x86_64__) || defined(__i386__)
    // The checks also ask whether the system saves the wider registers.
    case TESSEL_PATH_AVX2: __builtin_cpu_init(); return __builtin_cpu_supports("avx2");
    case TESSEL_PATH_AVX512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
#endif
#if defined(__aarch64__)
    case TESSEL_PATH_NEON: return true;
#endif
    default: return false;
    }
}

tessel_path_fn entry_of(tessel_path path) {
    switch (path) {
#if defined(__x86_64__) || defined(__i386__)
    case TESSEL_PATH_AVX2: return tessel_path_avx2;
    case TESSEL_PATH_AVX512: return tessel_path_avx512;
#endif
#if defined(__aarch64__)
    case TESSEL_PATH_NEON: return tessel_path_neon;
#endif
    default: return tessel_path_portable;
    }
}

tessel_path choose_path() {
    for (int32_t p = TESSEL_PATH_COUNT - 1; p > TESSEL_PATH_PORTABLE; --p)
        if (runs_here(static_cast<tessel_path>(p))) return static_cast<tessel_path>(p);
    return TESSEL_PATH_PORTABLE;
}

// Chosen when the code is loaded.  Anything that renders before that sees
// the zero-initialised value, the portable path, which runs everywhere.
const tessel_path chosen = choose_path();

}  // namespace

void tessel_path_general_positions(float &phase, float inc, int32_t *idx, int32_t stride, int32_t n) {
    float p = phase;
    for (int32_t i = 0; i < n; ++i) {
        p = tessel_wrap_phase(p + inc);
        idx[i * stride] = static_cast<int32_t>(p);
    }
    phase = p;
}

const char *tessel_path_name(tessel_path path) {
    switch (path) {
    case TESSEL_PATH_PORTABLE: return "portable";
    case TESSEL_PATH_AVX2: return "avx2";
    case TESSEL_PATH_AVX512: return "avx512";
    case TESSEL_PATH_NEON: return "neon";
    default: return "none";
    }
}

bool tessel_path_available(tessel_path path) { return runs_here(path); }

tessel_path tessel_path_chosen() { return chosen; }

tessel_path_fn tessel_path_entry(tessel_path path) {
    return entry_of(runs_here(path) ? path : TESSEL_PATH_PORTABLE);
}
