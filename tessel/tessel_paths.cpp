// The choice between the bank's code paths, made once when the code is
// loaded.  Built for the baseline instruction set, so the checks run on any
// processor.
#include "tessel_paths.h"

#include <cstdio>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#if defined(__APPLE__)
#include <sys/sysctl.h>
#endif
#endif

bool tessel_macos_avx512_on_demand(bool advertised, const char *os_version) {
    if (!advertised || !os_version) return false;
    int major = 0, minor = 0;
    if (std::sscanf(os_version, "%d.%d", &major, &minor) < 1) return false;
    return major > 12 || (major == 12 && minor >= 2);
}

#if defined(__x86_64__) || defined(__i386__)

bool tessel_x86_runs(tessel_path path, const tessel_x86_facts &f) {
    constexpr uint32_t kOsxsave = 1u << 27, kAvx = 1u << 28;                         // leaf 1, ECX
    constexpr uint32_t kAvx2 = 1u << 5;                                              // leaf 7, EBX
    constexpr uint32_t kAvx512 = (1u << 16) | (1u << 17) | (1u << 30) | (1u << 31);  // F, DQ, BW, VL
    constexpr uint64_t kYmmState = 0x6;                                              // SSE, AVX
    constexpr uint64_t kZmmState = 0xe0;  // opmask, ZMM 0-15, 16-31
    if ((f.leaf1_ecx & (kOsxsave | kAvx)) != (kOsxsave | kAvx) || (f.xcr0 & kYmmState) != kYmmState)
        return false;
    switch (path) {
    case TESSEL_PATH_AVX2: return (f.leaf7_ebx & kAvx2) != 0;
    case TESSEL_PATH_AVX512:
        return (f.leaf7_ebx & kAvx512) == kAvx512 &&
               ((f.xcr0 & kZmmState) == kZmmState || f.avx512_on_demand);
    default: return false;
    }
}

tessel_x86_facts tessel_x86_facts_here() {
    tessel_x86_facts f{};
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
    f.leaf1_ecx = c;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) f.leaf7_ebx = b;
    // XGETBV is defined only where the system has turned XSAVE on.
    if (f.leaf1_ecx & (1u << 27)) {
        uint32_t lo = 0, hi = 0;
        __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        f.xcr0 = (uint64_t{hi} << 32) | lo;
    }
#if defined(__APPLE__)
    // macOS turns a thread's AVX-512 state on at its first AVX-512
    // instruction, so XCR0 lacks it until then; the system says whether
    // it would.  Kernels before macOS 12.2 could lose the mask registers.
    static const char *const kNames[] = {"hw.optional.avx512f", "hw.optional.avx512dq",
                                         "hw.optional.avx512bw", "hw.optional.avx512vl"};
    int avx512 = 1;
    for (const char *name : kNames) {
        int value = 0;
        size_t size = sizeof value;
        if (sysctlbyname(name, &value, &size, nullptr, 0) != 0 || value == 0) avx512 = 0;
    }
    char version[32] = {};
    size_t size = sizeof version - 1;
    if (sysctlbyname("kern.osproductversion", version, &size, nullptr, 0) != 0) version[0] = '\0';
    f.avx512_on_demand = tessel_macos_avx512_on_demand(avx512 != 0, version);
#endif
    return f;
}

#endif

namespace {

bool runs_here(tessel_path path) {
    switch (path) {
    case TESSEL_PATH_PORTABLE: return true;
#if defined(__x86_64__) || defined(__i386__)
    // Read once: the answers do not change while the program runs.
    case TESSEL_PATH_AVX2:
    case TESSEL_PATH_AVX512: {
        static const tessel_x86_facts facts = tessel_x86_facts_here();
        return tessel_x86_runs(path, facts);
    }
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
