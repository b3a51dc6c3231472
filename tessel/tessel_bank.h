// The oscillator bank of tessel~, free of the host: the partials' state, the
// per-vector rendering over plain pointers and counts, and a plain scalar
// reference of the same arithmetic that faster paths are checked against.
// The sine table is tessel_table.h's, the phase wrap tessel_wrap.h's.
//
// Every result here is fixed to the bit: single precision throughout except
// the power of two of the transposition ratio, truncating table lookups, and
// a wrap that drops the phase's fraction.  Build with -ffp-contract=off so
// no multiply-add is fused.
#pragma once

#include <cstdint>

#include "tessel_paths.h"
#include "tessel_table.h"

inline constexpr int32_t TESSEL_MAX_VECTOR = 2048;  // samples per accumulation buffer
inline constexpr int32_t TESSEL_MAX_PARTIALS = 100;
inline constexpr int32_t TESSEL_MAX_OUTPUTS = 8;
inline constexpr int32_t TESSEL_TABLE_BYTES = TESSEL_TABLE_SIZE * int32_t{sizeof(float)};
inline constexpr int32_t TESSEL_BUFFER_BYTES = TESSEL_MAX_VECTOR * int32_t{sizeof(float)};

// One partial.  The message thread writes freq, amp and (on a restart) phase;
// the audio thread reads freq and amp and advances phase.
struct t_partial {
    float freq;   // Hz, 0 <= freq < max_freq when a list set it
    float amp;    // linear; exactly 0 means silent and skipped
    float phase;  // position in the sine table, 0 <= phase < TESSEL_TABLE_SIZE
};

static_assert(sizeof(t_partial) == 12, "a partial is three 32-bit words");

// Fields that one thread writes while the other reads them are single words
// exchanged without a lock.  Relaxed atomic access makes that exchange
// defined behaviour without changing the record's layout or adding fences.
// The compilers' generic atomic built-ins do it for any word, float
// included, whatever the C++ library (libc++ 16 has no std::atomic_ref).
static_assert(__atomic_always_lock_free(sizeof(float), 0) && __atomic_always_lock_free(sizeof(int32_t), 0));

template <class T>
inline T shared_load(T &field) {
    static_assert(sizeof(T) == 4 && alignof(T) == 4, "a shared field is one aligned 32-bit word");
    T value;
    __atomic_load(&field, &value, __ATOMIC_RELAXED);
    return value;
}
template <class T>
inline void shared_store(T &field, T value) {
    static_assert(sizeof(T) == 4 && alignof(T) == 4, "a shared field is one aligned 32-bit word");
    __atomic_store(&field, &value, __ATOMIC_RELAXED);
}

// The per-vector control values that the perform routine gathers from the
// record.  The LFO phases are updated in place.
struct tessel_bank_controls {
    int32_t vec_size;         // 0..2048 samples
    float sr;                 // Hz
    float transpo;            // semitones: stored value plus the inlet
    float shift;              // Hz: stored value plus the inlet
    float transpo_lfo_f;      // Hz
    float transpo_lfo_depth;  // semitones; 0 leaves the LFO frozen
    float transpo_lfo_phase;  // table position
    float shift_lfo_f;        // Hz
    float shift_lfo_depth;    // Hz; 0 leaves the LFO frozen
    float shift_lfo_phase;    // table position
};

// Advances both LFOs, forms the ratio and sums every sounding partial,
// highest number first, into the accumulation buffers acc[0..n_outputs),
// dealt round-robin.  acc must already hold zeros over c.vec_size samples.
// Runs on the code path chosen for this processor.
void tessel_bank_accumulate(tessel_bank_controls &c, const float *table, t_partial *partials,
                            int32_t n_partials, float *const *acc, int32_t n_outputs);

// tessel_bank_accumulate on a given path; a path that is not available here
// falls back to the portable one.
void tessel_bank_accumulate_on_path(tessel_path path, tessel_bank_controls &c, const float *table,
                                    t_partial *partials, int32_t n_partials, float *const *acc,
                                    int32_t n_outputs);

// tessel_bank_accumulate with the partial loop given: what the two above do
// with a path's entry, open to the tests, which build the generic path code
// at every width for their own instruction set.
void tessel_bank_accumulate_with_entry(tessel_path_fn run, tessel_bank_controls &c, const float *table,
                                       t_partial *partials, int32_t n_partials, float *const *acc,
                                       int32_t n_outputs);

// out[j][i] = vol[i] * acc[j][i] for j < n_outputs, i < n.  Vol sample i is
// read before any output sample i is written, so an output may share memory
// with vol.
void tessel_bank_scale(int32_t n_outputs, const float *vol, float *const *out, float *const *acc, int32_t n);

// One whole vector written as plainly as possible, sample by sample: clear
// the buffers, advance the LFOs, form the ratio, run every partial, scale.
// It is the yardstick for tessel_bank_accumulate and tessel_bank_scale.
void tessel_bank_reference(tessel_bank_controls &c, const float *table, t_partial *partials,
                           int32_t n_partials, float *const *acc, int32_t n_outputs, const float *vol,
                           float *const *out);
