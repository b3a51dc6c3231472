// The code every path runs: the bank's partial loop laid out for vector
// units W floats (lanes) wide, with the same arithmetic as the plain loop to
// the bit.  Each path instantiates it at its width for its instruction set.
//
// Each partial's phase is serial in time, so the lanes of a vector hold
// different partials at the same sample, and each lane performs exactly the
// scalar sequence.  For an increment below 5000 and a phase in [0, 5000) the
// sum s stays below 10000 (the exact sum is below 10000, and 10000 - 2^-10
// is a float, so rounding cannot reach 10000).  For s in [5000, 10000),
// s - 5000 is exact, so trunc(s - 5000) is trunc(s) - 5000, which is what
// the full wrap, trunc(s) modulo 5000, gives.  Such partials take that wrap
// without a branch; the others are stepped by the portable full wrap, and
// their positions go into the same array as everyone else's.
//
// Table reads stay scalar (a gather is slower than plain loads on AMD Zen 3,
// the machine this was written and benchmarked on, with g++ 12.2.0), and
// the sums are vectorised across samples: one lane per sample, each adding
// the partials of its output in batch order, so every output sample sees
// the same additions in the same order as the plain loop.
//
// Each including translation unit compiles its own copy for its own
// instruction set: everything here has internal linkage, nothing is passed
// by value across a call in a vector register, and nothing defined in
// another header is called.
#pragma once

#include <cstdint>

#include "tessel_paths.h"

#if defined(__AVX2__) || defined(__AVX512F__)
#include <immintrin.h>
#endif
#if defined(__ARM_NEON)
#include <arm_neon.h>
#endif

namespace {

// GCC (12.2.0 here) does not take a vector size that depends on a template
// argument, so each width is spelled out.
template <int W>
struct vector_types;
template <>
struct vector_types<4> {
    typedef float vf __attribute__((vector_size(16)));
    typedef int32_t vi __attribute__((vector_size(16)));
};
template <>
struct vector_types<8> {
    typedef float vf __attribute__((vector_size(32)));
    typedef int32_t vi __attribute__((vector_size(32)));
};
template <>
struct vector_types<16> {
    typedef float vf __attribute__((vector_size(64)));
    typedef int32_t vi __attribute__((vector_size(64)));
};

// NEON: the layout for 64-bit ARM's own instructions (W == 4), which every
// such processor has, so that on ARM the portable path (NEON false) and the
// NEON path are built for the same instruction set and differ only here.
template <int W, bool NEON = false>
struct tessel_path_generic {
    static_assert(!NEON || W == 4, "NEON vectors hold four floats");
#if !defined(__ARM_NEON) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
    static_assert(!NEON, "the NEON layout is for little-endian ARM with NEON");
#endif
    typedef typename vector_types<W>::vf vf;
    typedef typename vector_types<W>::vi vi;

    // Samples stepped before their positions are summed: whole vectors of
    // samples, and few enough that the positions stay in the first-level
    // cache beside the table.
    static constexpr int32_t CHUNK = 16;
    // The table's size, where a phase wraps.
    static constexpr float TOP = TESSEL_TABLE_SIZE;
    static constexpr int32_t GROUPS = (TESSEL_PATH_BATCH + W - 1) / W;
    static constexpr int32_t ROW = GROUPS * W;  // positions of one sample
    static_assert(ROW == TESSEL_PATH_BATCH, "whole groups fill a batch's entries exactly");
    // Groups stepped together: independent dependency chains that hide the
    // latency of each step.
    static constexpr int32_t UNROLL = 8;
    // The loops over lanes and groups below are unrolled by pragma, so the
    // code is as fast at -O2 (the project's default) as at -O3: without it,
    // g++ 12.2.0 (Debian 12) at -O2 keeps the vector being filled in memory.
    // Measured with that compiler on AMD Zen 3: three times slower when
    // written; checked again with it on a busy machine, 1.5 to 2.9 times
    // (and -O3 without the pragmas as fast as -O2 with them).

    // One sample of one group: p advanced by d and wrapped, its table
    // positions stored at pos.
    __attribute__((always_inline)) static inline void advance(vf &p, const vf &d, int32_t *pos) {
#if defined(__AVX512F__)
        if constexpr (W == 16) {
            const __m512 top = _mm512_set1_ps(TOP);
            const __m512 s = _mm512_add_ps((__m512)p, (__m512)d);
            const __mmask16 wrap = _mm512_cmp_ps_mask(s, top, _CMP_GE_OQ);
            const __m512 q = _mm512_mask_roundscale_ps(s, wrap, _mm512_sub_ps(s, top),
                                                       _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
            p = (vf)q;
            const vi t = __builtin_convertvector(p, vi);
            __builtin_memcpy(pos, &t, sizeof t);
            return;
        }
#endif
#if defined(__AVX2__)
        if constexpr (W == 8) {
            const __m256 top = _mm256_set1_ps(TOP);
            const __m256 s = _mm256_add_ps((__m256)p, (__m256)d);
            const __m256 wrap = _mm256_cmp_ps(s, top, _CMP_GE_OQ);
            const __m256 r = _mm256_round_ps(_mm256_sub_ps(s, top), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
            const __m256 q = _mm256_blendv_ps(s, r, wrap);
            p = (vf)q;
            const vi t = __builtin_convertvector(p, vi);
            __builtin_memcpy(pos, &t, sizeof t);
            return;
        }
#endif
#if defined(__ARM_NEON)
        // FRINTZ truncates in place, as AVX2's rounding does: one operation
        // fewer than the conversions below.
        if constexpr (NEON) {
            const float32x4_t top = vdupq_n_f32(TOP);
            const float32x4_t s = vaddq_f32((float32x4_t)p, (float32x4_t)d);
            const uint32x4_t wrap = vcgeq_f32(s, top);
            const float32x4_t q = vbslq_f32(wrap, vrndq_f32(vsubq_f32(s, top)), s);
            p = (vf)q;
            // Byte offsets into the table (see at).
            vst1q_s32(pos, vshlq_n_s32(vcvtq_s32_f32(q), 2));
            return;
        }
#endif
        // Without a rounding instruction: truncate by converting to integer,
        // which also gives the positions.  The integer part is below 10000.
        const vf top = vf{} + TOP;
        const vf s = p + d;
        const vi wrap = s >= top;
        const vi t = __builtin_convertvector(s, vi) - (wrap & TESSEL_TABLE_SIZE);
        const vf r = __builtin_convertvector(t, vf);
        p = (vf)(((vi)r & wrap) | ((vi)s & ~wrap));
        __builtin_memcpy(pos, &t, sizeof t);
    }

    // U groups from g0 on, m samples.
    template <int U>
    static void step(vf *phase, const vf *inc, int32_t *pos, int32_t g0, int32_t m) {
        vf p[U];
        for (int u = 0; u < U; ++u) p[u] = phase[g0 + u];
        for (int32_t i = 0; i < m; ++i)
#pragma GCC unroll 8
            for (int u = 0; u < U; ++u) advance(p[u], inc[g0 + u], pos + i * ROW + (g0 + u) * W);
        for (int u = 0; u < U; ++u) phase[g0 + u] = p[u];
    }

    // Two neighbouring slots' positions, read at once.  The empty asm keeps
    // the compiler from splitting the read in two again (written against
    // g++ 12.2.0, which splits it without).
    __attribute__((always_inline)) static inline void read_pair(const int32_t *p, uint32_t &first,
                                                                uint32_t &second) {
        uint64_t two;
        __builtin_memcpy(&two, p, sizeof two);
        asm("" : "+r"(two));
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        first = static_cast<uint32_t>(two);
        second = static_cast<uint32_t>(two >> 32);
#else
        first = static_cast<uint32_t>(two >> 32);
        second = static_cast<uint32_t>(two);
#endif
    }

#if defined(__AVX512F__)
    // Four rows of values2, into 128-bit registers.
    __attribute__((always_inline)) static inline void quarters(__m128 &x, __m128 &y, const float *table,
                                                               const int32_t *pos) {
        uint32_t f0, s0, f1, s1, f2, s2, f3, s3;
        read_pair(pos, f0, s0);
        read_pair(pos + ROW, f1, s1);
        read_pair(pos + 2 * ROW, f2, s2);
        read_pair(pos + 3 * ROW, f3, s3);
        x = _mm_setr_ps(table[f0], table[f1], table[f2], table[f3]);
        y = _mm_setr_ps(table[s0], table[s1], table[s2], table[s3]);
    }
#endif

    // v0[e] = table[pos[e][0]] and v1[e] = table[pos[e][1]] for e < W,
    // rows ROW apart: scalar loads, inserted into the vectors.  An AVX-512
    // register is assembled from quarters of four, at about one 128-bit
    // shuffle per value; filled a value at a time, it would take a masked
    // full-width operation per value.  That is the code g++ 12.2.0 emits; no
    // processor with AVX-512 was at hand to time it.
    __attribute__((always_inline)) static inline void values2(vf &v0, vf &v1, const float *table,
                                                              const int32_t *pos) {
#if defined(__AVX512F__)
        if constexpr (W == 16) {
            __m128 a0, b0, a1, b1, a2, b2, a3, b3;
            quarters(a0, b0, table, pos);
            quarters(a1, b1, table, pos + 4 * ROW);
            // Half the positions at a time: all sixteen pairs at once do
            // not fit the general registers, and g++ 12.2.0 would spill them.
            asm volatile("" ::: "memory");
            quarters(a2, b2, table, pos + 8 * ROW);
            quarters(a3, b3, table, pos + 12 * ROW);
            v0 = (vf)_mm512_insertf32x8(_mm512_castps256_ps512(_mm256_set_m128(a1, a0)),
                                        _mm256_set_m128(a3, a2), 1);
            v1 = (vf)_mm512_insertf32x8(_mm512_castps256_ps512(_mm256_set_m128(b1, b0)),
                                        _mm256_set_m128(b3, b2), 1);
            return;
        }
#endif
#if defined(__ARM_NEON) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        // The positions are byte offsets here (see at).  The low one is cut
        // out of the pair with an AND the empty asm keeps: left to itself,
        // g++ 12.2.0 folds the cut into an add with a zero-extended operand,
        // which llvm-mca's model of Apple's M1 runs on two units only where
        // plain adds have four, and the sum waits on those two.
        if constexpr (NEON) {
            const char *base = reinterpret_cast<const char *>(table);
#pragma GCC unroll 4
            for (int e = 0; e < W; ++e) {
                uint64_t two;
                __builtin_memcpy(&two, pos + e * ROW, sizeof two);
                uint64_t low = two & 0xffffffffu;
                asm("" : "+r"(low));
                v0[e] = *reinterpret_cast<const float *>(base + low);
                v1[e] = *reinterpret_cast<const float *>(base + (two >> 32));
            }
            return;
        }
#endif
#pragma GCC unroll 16
        for (int e = 0; e < W; ++e) {
            uint32_t f, s;
            read_pair(pos + e * ROW, f, s);
            v0[e] = table[f];
            v1[e] = table[s];
        }
    }

    // The table value at a position as the positions array holds it: an
    // index into the table, or, on the NEON path, its byte offset, which
    // the loads add to the table's address as it stands.
    __attribute__((always_inline)) static inline float at(const float *table, int32_t position) {
        if constexpr (NEON)
            return *reinterpret_cast<const float *>(reinterpret_cast<const char *>(table) + position);
        else
            return table[position];
    }

    // acc[i] = acc[i] + amp[j] * table[pos[i][j]] for the slots j of
    // [first, last), in that order, for i < m.
    static void sum(float *acc, const float *table, const float *amp, const int32_t *pos, int32_t first,
                    int32_t last, int32_t m) {
        int32_t i = 0;
        for (; i + W <= m; i += W) {
            vf a;
            __builtin_memcpy(&a, acc + i, sizeof a);
            const int32_t *row = pos + i * ROW;
            int32_t j = first;
            for (; j + 2 <= last; j += 2) {
                vf v0, v1;
                values2(v0, v1, table, row + j);
                a = a + amp[j] * v0;
                a = a + amp[j + 1] * v1;
            }
            if (j < last) {
                vf v;
#pragma GCC unroll 16
                for (int e = 0; e < W; ++e) v[e] = at(table, row[e * ROW + j]);
                a = a + amp[j] * v;
            }
            __builtin_memcpy(acc + i, &a, sizeof a);
        }
        for (; i < m; ++i) {
            float a = acc[i];
            const int32_t *row = pos + i * ROW;
            for (int32_t j = first; j < last; ++j) a = a + amp[j] * at(table, row[j]);
            acc[i] = a;
        }
    }

    // A partial or two have too little to share a vector with: there they
    // would only wait out the latency of every step, where a branch on the
    // wrap, taken about once a cycle of the oscillator, costs less (so it did
    // with g++ 12.2.0 on AMD Zen 3, in the 1- and 10-partial shapes of
    // bench/tessel_bench.cpp).  Each
    // runs through the whole vector in turn, which keeps the order of the
    // additions.  Only for partials that need no general wrap.
    static constexpr int32_t ALONE = W == 4 ? 2 : 1;

    static bool alone(tessel_path_batch &b, const float *table, float *const *acc, int32_t n) {
        for (int32_t j = 0; j < b.count; ++j)
            if (!(b.inc[j] < TOP && b.phase[j] >= 0.0f && b.phase[j] < TOP)) return false;
        int32_t q = b.first_output;
        for (int32_t j = 0; j < b.count; ++j) {
            float *out = acc[q];
            const float amp = b.amp[j], inc = b.inc[j];
            float p = b.phase[j];
            for (int32_t i = 0; i < n; ++i) {
                p = p + inc;
                if (p >= TOP) p = static_cast<float>(static_cast<int32_t>(p) - TESSEL_TABLE_SIZE);
                out[i] = out[i] + amp * table[static_cast<int32_t>(p)];
            }
            b.phase[j] = p;
            if (++q == b.n_outputs) q = 0;
        }
        return true;
    }

    static void run(tessel_path_batch &b, const float *table, float *const *acc, int32_t n) {
        const int32_t count = b.count;
        if (count <= ALONE && alone(b, table, acc, n)) return;
        const int32_t outputs = b.n_outputs < count ? b.n_outputs : count;
        const int32_t groups = (count + W - 1) / W;

        // Slots grouped by output, each output's partials in batch order, so
        // that the partials one buffer sums sit side by side.  With one
        // output the slots are the batch itself.
        float *amp = b.amp, *ph = b.phase, *in = b.inc;
        int32_t start[TESSEL_PATH_BATCH + 1];  // first slot of each output, then the end
        int32_t entry[TESSEL_PATH_BATCH];      // the batch entry in each slot
        float amp_s[TESSEL_PATH_BATCH], ph_s[TESSEL_PATH_BATCH], in_s[TESSEL_PATH_BATCH];
        if (outputs > 1) {
            int32_t slot = 0;
            for (int32_t k = 0; k < outputs; ++k) {
                start[k] = slot;
                for (int32_t j = k; j < count; j += b.n_outputs, ++slot) {
                    entry[slot] = j;
                    amp_s[slot] = b.amp[j];
                    ph_s[slot] = b.phase[j];
                    in_s[slot] = b.inc[j];
                }
            }
            amp = amp_s;
            ph = ph_s;
            in = in_s;
        } else {
            start[0] = 0;
        }
        start[outputs] = count;
        // The lanes past the last partial step from 0 by 0.
        for (int32_t s = count; s < groups * W; ++s) ph[s] = in[s] = 0.0f;

        // Partials that need the general wrap also step from 0 by 0 in the
        // vectors, which is harmless; their positions are written over
        // those of their lanes, and their phases kept in ph.
        const vf top = vf{} + TOP;
        vf phase[GROUPS], inc[GROUPS];
        int32_t general[TESSEL_PATH_BATCH];  // all ones in a general partial's slot
        vi any_general = vi{};
        for (int32_t g = 0; g < groups; ++g) {
            vf p, d;
            __builtin_memcpy(&p, ph + g * W, sizeof p);
            __builtin_memcpy(&d, in + g * W, sizeof d);
            const vi fast = (d < top) & (p >= vf{}) & (p < top);
            phase[g] = (vf)((vi)p & fast);
            inc[g] = (vf)((vi)d & fast);
            const vi slow = ~fast;
            __builtin_memcpy(general + g * W, &slow, sizeof slow);
            any_general |= slow;
        }
        bool some_general = false;
        for (int e = 0; e < W; ++e) some_general = some_general || any_general[e] != 0;

        alignas(64) int32_t pos[CHUNK * ROW];
        for (int32_t i0 = 0; i0 < n; i0 += CHUNK) {
            const int32_t m = n - i0 < CHUNK ? n - i0 : CHUNK;
            int32_t g = 0;
            for (; g + UNROLL <= groups; g += UNROLL) step<UNROLL>(phase, inc, pos, g, m);
            for (; g + 4 <= groups; g += 4) step<4>(phase, inc, pos, g, m);
            for (; g + 2 <= groups; g += 2) step<2>(phase, inc, pos, g, m);
            for (; g < groups; ++g) step<1>(phase, inc, pos, g, m);
            if (some_general) {
                for (int32_t s = 0; s < count; ++s) {
                    if (!general[s]) continue;
                    tessel_path_general_positions(ph[s], in[s], pos + s, ROW, m);
                    if constexpr (NEON)
                        for (int32_t i = 0; i < m; ++i)
                            pos[s + i * ROW] *= static_cast<int32_t>(sizeof(float));
                }
            }
            for (int32_t k = 0; k < outputs; ++k) {
                int32_t q = b.first_output + k;
                if (q >= b.n_outputs) q -= b.n_outputs;
                sum(acc[q] + i0, table, amp, pos, start[k], start[k + 1], m);
            }
        }

        for (int32_t g = 0; g < groups; ++g) {
            vf p;
            vi slow;
            __builtin_memcpy(&p, ph + g * W, sizeof p);
            __builtin_memcpy(&slow, general + g * W, sizeof slow);
            p = (vf)(((vi)p & slow) | ((vi)phase[g] & ~slow));
            __builtin_memcpy(ph + g * W, &p, sizeof p);
        }
        if (outputs > 1)
            for (int32_t s = 0; s < count; ++s) b.phase[entry[s]] = ph[s];
    }
};

}  // namespace
