// What the bank hands to a code path, and what the code paths share.
//
// The bank gathers the sounding partials of one vector, in rendering order
// (highest number first), into a batch; a code path turns a batch into table
// positions and sums them into the accumulation buffers; the bank writes the
// phases back.  The paths are built for different instruction sets in
// translation units of their own, so this header holds only plain data and
// declarations: an inline function defined here would be emitted by every
// such unit, and the linker could keep a copy built for a wider instruction
// set than the machine has.
#pragma once

#include <cstdint>

// Partials per batch.  A bank of more sounding partials runs as several
// batches, one after the other, which keeps each buffer's order of
// additions.
inline constexpr int32_t TESSEL_BATCH = 128;

struct tessel_batch {
    int32_t count;         // partials in this batch, 1..TESSEL_BATCH
    int32_t n_outputs;     // 1..8
    int32_t first_output;  // output of the batch's first partial; the rest follow round-robin
    float amp[TESSEL_BATCH];
    float inc[TESSEL_BATCH];    // table positions per sample, never negative
    float phase[TESSEL_BATCH];  // in: at the start of the vector; out: at its end
    // A path may use the entries from count on as scratch.
};

// Advances one phase n samples with the full wrap and writes the table
// position of each sample to idx[0], idx[stride], ...  Built with the
// portable code only; the paths call it for the rare general partials.
void tessel_general_positions(float &phase, float inc, int32_t *idx, int32_t stride,
                              int32_t n);

struct tessel_controls;
struct t_partial;

typedef void (*tessel_partials_fn)(tessel_batch &b, const float *table, float *const *acc,
                                   int32_t n);

// The bank with the partial loop given: what tessel_bank_on does with a
// path's entry, open to the tests, which build the lane layout at every
// width for their own instruction set.
void tessel_bank_with(tessel_partials_fn run, tessel_controls &c, const float *table,
                      t_partial *partials, int32_t n_partials, float *const *acc,
                      int32_t n_outputs);

// One entry per code path.  Each advances every phase of the batch n
// samples and adds amp * table[position] into acc[output][i], partial by
// partial in batch order for each sample, exactly as the plain loop does.
void tessel_partials_portable(tessel_batch &b, const float *table, float *const *acc,
                              int32_t n);
#if defined(__x86_64__) || defined(__i386__)
void tessel_partials_avx2(tessel_batch &b, const float *table, float *const *acc, int32_t n);
void tessel_partials_avx512(tessel_batch &b, const float *table, float *const *acc,
                            int32_t n);
#endif
