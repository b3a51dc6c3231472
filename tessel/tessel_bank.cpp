// The oscillator bank: modulators, ratio, the partials in batches handed
// to a code path, scaling.
#include "tessel_bank.h"

#include "tessel_math.h"
#include "tessel_wrap.h"

#include <algorithm>
#include <cmath>

namespace {

// Table positions a 1 Hz modulator moves per vector.  The product is formed
// as an integer first; vec_size is at most 2048, so it cannot overflow.
float modulator_step(const tessel_bank_controls &c) {
    return static_cast<float>(c.vec_size * TESSEL_TABLE_SIZE) / c.sr;
}

// The LFOs are sampled once per vector, at the newly advanced position.
float lfo_advance(float &phase, float step, float rate, const float *table) {
    const float p = tessel_wrap_phase(step * rate + phase);
    phase = p;
    return table[static_cast<int32_t>(p)];
}

// The one double-precision operation of the bank, with the project's own
// power of two so that every platform gives the same ratio.
float transposition_ratio(float semitones) {
    return static_cast<float>(tessel_exp2(static_cast<double>(semitones) / 12.0));
}

template <int N>
void scale_outputs(const float *vol, float *const *out, float *const *acc, int32_t n) {
    float *o[N];
    const float *a[N];
    for (int j = 0; j < N; ++j) {
        o[j] = out[j];
        a[j] = acc[j];
    }
    for (int32_t i = 0; i < n; ++i) {
        const float v = vol[i];
        for (int j = 0; j < N; ++j) o[j][i] = v * a[j][i];
    }
}

// A full batch goes to the path; the phases it advanced go back to the
// partials they came from.
void render_batch(tessel_path_fn run, tessel_path_batch &b, const int32_t *number, const float *table,
                  t_partial *partials, float *const *acc, int32_t n) {
    run(b, table, acc, n);
    const int32_t count = b.count;
    for (int32_t j = 0; j < count; ++j) shared_store(partials[number[j]].phase, b.phase[j]);
}

}  // namespace

void tessel_bank_accumulate_with_entry(tessel_path_fn run, tessel_bank_controls &c, const float *table,
                                       t_partial *partials, int32_t n_partials, float *const *acc,
                                       int32_t n_outputs) {
    const int32_t n = c.vec_size;
    const float step = modulator_step(c);

    float transpo = c.transpo;
    if (c.transpo_lfo_depth != 0.0f)
        transpo =
            transpo + c.transpo_lfo_depth * lfo_advance(c.transpo_lfo_phase, step, c.transpo_lfo_f, table);
    const float ratio = transposition_ratio(transpo);

    float shift = c.shift;
    if (c.shift_lfo_depth != 0.0f)
        shift = shift + c.shift_lfo_depth * lfo_advance(c.shift_lfo_phase, step, c.shift_lfo_f, table);

    const float scale = static_cast<float>(TESSEL_TABLE_SIZE) / c.sr;
    tessel_path_batch b;
    int32_t number[TESSEL_PATH_BATCH];  // the partial each batch entry came from
    b.n_outputs = n_outputs;
    b.first_output = 0;
    int32_t count = 0;
    // Which output a partial reaches depends on how many higher-numbered
    // partials sound in this vector, so the cursor restarts every call.
    int32_t q = 0;
    for (int32_t k = n_partials - 1; k >= 0; --k) {
        t_partial &p = partials[k];
        const float amp = shared_load(p.amp);
        if (amp == 0.0f) continue;
        const float freq = shared_load(p.freq);
        const float inc = std::fabs(scale * (ratio * freq + shift));
        const float phase = shared_load(p.phase);
        b.amp[count] = amp;
        b.inc[count] = inc;
        b.phase[count] = phase;
        number[count] = k;
        if (++q == n_outputs) q = 0;
        if (++count == TESSEL_PATH_BATCH) {
            b.count = count;
            render_batch(run, b, number, table, partials, acc, n);
            count = 0;
            b.first_output = q;
        }
    }
    if (count > 0) {
        b.count = count;
        render_batch(run, b, number, table, partials, acc, n);
    }
}

void tessel_bank_accumulate(tessel_bank_controls &c, const float *table, t_partial *partials,
                            int32_t n_partials, float *const *acc, int32_t n_outputs) {
    tessel_bank_accumulate_with_entry(tessel_path_entry(tessel_path_chosen()), c, table, partials, n_partials,
                                      acc, n_outputs);
}

void tessel_bank_accumulate_on_path(tessel_path path, tessel_bank_controls &c, const float *table,
                                    t_partial *partials, int32_t n_partials, float *const *acc,
                                    int32_t n_outputs) {
    tessel_bank_accumulate_with_entry(tessel_path_entry(path), c, table, partials, n_partials, acc,
                                      n_outputs);
}

void tessel_bank_scale(int32_t n_outputs, const float *vol, float *const *out, float *const *acc, int32_t n) {
    switch (n_outputs) {
    case 1: scale_outputs<1>(vol, out, acc, n); break;
    case 2: scale_outputs<2>(vol, out, acc, n); break;
    case 3: scale_outputs<3>(vol, out, acc, n); break;
    case 4: scale_outputs<4>(vol, out, acc, n); break;
    case 5: scale_outputs<5>(vol, out, acc, n); break;
    case 6: scale_outputs<6>(vol, out, acc, n); break;
    case 7: scale_outputs<7>(vol, out, acc, n); break;
    case 8: scale_outputs<8>(vol, out, acc, n); break;
    default: break;
    }
}

void tessel_bank_reference(tessel_bank_controls &c, const float *table, t_partial *partials,
                           int32_t n_partials, float *const *acc, int32_t n_outputs, const float *vol,
                           float *const *out) {
    const int32_t n = c.vec_size;
    for (int32_t j = 0; j < n_outputs; ++j) std::fill(acc[j], acc[j] + n, 0.0f);

    const float K = static_cast<float>(n * TESSEL_TABLE_SIZE) / c.sr;
    float T = c.transpo;
    if (c.transpo_lfo_depth != 0.0f) {
        const float p = tessel_wrap_phase(K * c.transpo_lfo_f + c.transpo_lfo_phase);
        c.transpo_lfo_phase = p;
        T = T + c.transpo_lfo_depth * table[static_cast<int32_t>(p)];
    }
    // The C library's pow: the reference checks the bank's own power of two.
    const float R = static_cast<float>(std::pow(2.0, static_cast<double>(T) / 12.0));
    float S = c.shift;
    if (c.shift_lfo_depth != 0.0f) {
        const float p = tessel_wrap_phase(K * c.shift_lfo_f + c.shift_lfo_phase);
        c.shift_lfo_phase = p;
        S = S + c.shift_lfo_depth * table[static_cast<int32_t>(p)];
    }
    const float G = static_cast<float>(TESSEL_TABLE_SIZE) / c.sr;

    int32_t q = 0;
    for (int32_t k = n_partials - 1; k >= 0; --k) {
        if (partials[k].amp == 0.0f) continue;
        const float inc = std::fabs(G * (R * partials[k].freq + S));
        float phase = partials[k].phase;
        for (int32_t i = 0; i < n; ++i) {
            phase = tessel_wrap_phase(phase + inc);
            acc[q][i] = acc[q][i] + partials[k].amp * table[static_cast<int32_t>(phase)];
        }
        partials[k].phase = phase;
        q = (q + 1) % n_outputs;
    }

    for (int32_t i = 0; i < n; ++i) {
        const float v = vol[i];
        for (int32_t j = 0; j < n_outputs; ++j) out[j][i] = v * acc[j][i];
    }
}
