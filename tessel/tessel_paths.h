// The code paths of the bank: one implementation of the partial loop per
// instruction set, what the bank hands to each (a batch), and the choice
// between them.
//
// The bank gathers the sounding partials of one vector, in rendering order
// (highest number first), into a batch; a path turns a batch into table
// positions and sums them into the accumulation buffers; the bank writes the
// phases back.  The paths are built for different instruction sets in
// translation units of their own, so this header holds only plain data and
// declarations: an inline function defined here would be emitted by every
// such unit, and the linker could keep a copy built for a wider instruction
// set than the machine has.
#pragma once

#include <cstdint>

#include "tessel_table.h"  // TESSEL_TABLE_SIZE, at which the paths wrap

// The paths, slowest first.  They give the same bytes; they differ in how
// many partials a step covers and in the instructions used.  The bank takes
// the last one the processor supports, chosen once, when the code is loaded,
// so one binary runs on every processor of its architecture.
enum tessel_path : int32_t {
    TESSEL_PATH_PORTABLE,  // the compiler's generic vectors: any processor
    TESSEL_PATH_AVX2,      // x86 with AVX2
    TESSEL_PATH_AVX512,    // x86 with AVX-512 F, DQ, BW and VL
    TESSEL_PATH_NEON,      // 64-bit ARM, whose every processor has NEON
    TESSEL_PATH_COUNT
};

const char *tessel_path_name(tessel_path path);
// Whether this build has the path and this processor can run it.
bool tessel_path_available(tessel_path path);
// The path tessel_bank_accumulate runs.
tessel_path tessel_path_chosen();

// What the choice of an x86 path rests on: the feature words of CPUID
// leaves 1 (ECX) and 7 (EBX), XCR0 (the register state the system saves),
// and, on macOS, whether the system turns the AVX-512 state on at a
// thread's first use of it (XCR0 lacks it until then).
struct tessel_x86_facts {
    uint32_t leaf1_ecx;
    uint32_t leaf7_ebx;
    uint64_t xcr0;
    bool avx512_on_demand;
};
#if defined(__x86_64__) || defined(__i386__)
tessel_x86_facts tessel_x86_facts_here();
// Whether a processor and system with those facts run the path.
bool tessel_x86_runs(tessel_path path, const tessel_x86_facts &f);
#endif
// macOS's word on AVX-512 (hw.optional.avx512f, dq, bw and vl all set)
// counts from macOS 12.2 on; os_version is kern.osproductversion, "12.2.1".
bool tessel_macos_avx512_on_demand(bool advertised, const char *os_version);

// Partials per batch.  A bank of more sounding partials runs as several
// batches, one after the other, which keeps each buffer's order of
// additions.
inline constexpr int32_t TESSEL_PATH_BATCH = 128;

struct tessel_path_batch {
    int32_t count;         // partials in this batch, 1..TESSEL_PATH_BATCH
    int32_t n_outputs;     // 1..8
    int32_t first_output;  // output of the batch's first partial; the rest follow round-robin
    float amp[TESSEL_PATH_BATCH];
    float inc[TESSEL_PATH_BATCH];    // table positions per sample, never negative
    float phase[TESSEL_PATH_BATCH];  // in: at the start of the vector; out: at its end
    // A path may use the entries from count on as scratch.
};

// A path's entry.  Each advances every phase of the batch n samples and adds
// amp * table[position] into acc[output][i], partial by partial in batch
// order for each sample, exactly as the plain loop does.
typedef void (*tessel_path_fn)(tessel_path_batch &b, const float *table, float *const *acc, int32_t n);

// The entry of a path; one that is not available here gives the portable
// one's.
tessel_path_fn tessel_path_entry(tessel_path path);

void tessel_path_portable(tessel_path_batch &b, const float *table, float *const *acc, int32_t n);
#if defined(__x86_64__) || defined(__i386__)
void tessel_path_avx2(tessel_path_batch &b, const float *table, float *const *acc, int32_t n);
void tessel_path_avx512(tessel_path_batch &b, const float *table, float *const *acc, int32_t n);
#endif
#if defined(__aarch64__)
void tessel_path_neon(tessel_path_batch &b, const float *table, float *const *acc, int32_t n);
#endif

// Advances one phase n samples with the full wrap and writes the table
// position of each sample to idx[0], idx[stride], ...  Built for the
// baseline instruction set only (tessel_path_general.cpp); the paths call it
// for the rare general partials.
void tessel_path_general_positions(float &phase, float inc, int32_t *idx, int32_t stride, int32_t n);
