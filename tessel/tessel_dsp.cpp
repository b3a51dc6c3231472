// tessel~: joining the DSP chain, and the perform routine that unpacks the
// host's argument block around the host-free bank.
//
// Argument block: w[1] the record, w[2] the Vol input, w[3] the
// transposition input, w[4] the frequency-shift input, w[5..4+n_outputs]
// the outputs, leftmost first.  Every address is that of the first sample.
#include <utility>

#include "tessel.h"

namespace {

// The host reads every argument back as a t_int, so each goes in as one.
template <class T>
t_int arg(T *p) {
    return reinterpret_cast<t_int>(p);
}

template <std::size_t... J>
void add_perform(t_tessel *x, t_signal **sp, std::index_sequence<J...>) {
    dsp_add(tessel_perform, static_cast<int>(4 + sizeof...(J)), arg(x), arg(sp[0]->s_vec), arg(sp[1]->s_vec),
            arg(sp[2]->s_vec), arg(sp[3 + J]->s_vec)...);
}

}  // namespace

void tessel_dsp(t_tessel *x, t_signal **sp, short *count) {
    const int32_t n = sp[0]->s_n;
    const float sr = sp[0]->s_sr;
    shared_store(x->vec_size, n);
    shared_store(x->sr, sr);
    shared_store(x->max_freq, sr * 0.5f - 1.0f);

    // The accumulation buffers were sized at creation; a longer vector
    // cannot be rendered, so the object stays silent rather than write past
    // its block.
    if (n > TESSEL_MAX_VECTOR) {
        error("tessel~: signal vector of %d samples is longer than the limit of %d", static_cast<int>(n),
              static_cast<int>(TESSEL_MAX_VECTOR));
        return;
    }
    // Without a gain signal every output would be silent: stay out of the chain.
    if (count[0] == 0) return;
    shared_store(x->transpo_connected, static_cast<int32_t>(count[1]));
    shared_store(x->shift_connected, static_cast<int32_t>(count[2]));

    switch (x->n_outputs) {
    case 1: add_perform(x, sp, std::make_index_sequence<1>{}); break;
    case 2: add_perform(x, sp, std::make_index_sequence<2>{}); break;
    case 3: add_perform(x, sp, std::make_index_sequence<3>{}); break;
    case 4: add_perform(x, sp, std::make_index_sequence<4>{}); break;
    case 5: add_perform(x, sp, std::make_index_sequence<5>{}); break;
    case 6: add_perform(x, sp, std::make_index_sequence<6>{}); break;
    case 7: add_perform(x, sp, std::make_index_sequence<7>{}); break;
    case 8: add_perform(x, sp, std::make_index_sequence<8>{}); break;
    default: break;
    }
}

t_int *tessel_perform(t_int *w) {
    auto *x = reinterpret_cast<t_tessel *>(w[1]);
    const int32_t n_outputs = x->n_outputs;
    t_int *const next = w + 5 + n_outputs;
    const auto *vol = reinterpret_cast<const float *>(w[2]);
    const auto *transpo_in = reinterpret_cast<const float *>(w[3]);
    const auto *shift_in = reinterpret_cast<const float *>(w[4]);

    // The control inlets act once per vector, through their first sample.
    // They are read before any output is written, so an output may share
    // their memory.
    tessel_bank_controls c;
    c.transpo = shared_load(x->transpo);
    if (shared_load(x->transpo_connected) != 0) c.transpo = c.transpo + transpo_in[0];
    c.shift = shared_load(x->shift);
    if (shared_load(x->shift_connected) != 0) c.shift = c.shift + shift_in[0];

    if (shared_load(x->x_obj.z_disabled) != 0) return next;

    // dsp refuses longer vectors, but a chain built before a refused
    // rebuild may still run; the clamp keeps every write inside the block.
    int32_t n = shared_load(x->vec_size);
    if (n < 0) n = 0;
    if (n > TESSEL_MAX_VECTOR) n = TESSEL_MAX_VECTOR;

    for (int32_t j = 0; j < n_outputs; ++j) set_zero(x->out_buf[j], n);

    c.vec_size = n;
    c.sr = shared_load(x->sr);
    c.transpo_lfo_f = shared_load(x->transpo_lfo_f);
    c.transpo_lfo_depth = shared_load(x->transpo_lfo_depth);
    c.transpo_lfo_phase = shared_load(x->transpo_lfo_phase);
    c.shift_lfo_f = shared_load(x->shift_lfo_f);
    c.shift_lfo_depth = shared_load(x->shift_lfo_depth);
    c.shift_lfo_phase = shared_load(x->shift_lfo_phase);

    tessel_bank_accumulate(c, x->sin_table, x->partials, x->n_partials, x->out_buf, n_outputs);

    shared_store(x->transpo_lfo_phase, c.transpo_lfo_phase);
    shared_store(x->shift_lfo_phase, c.shift_lfo_phase);

    float *out[TESSEL_MAX_OUTPUTS];
    for (int32_t j = 0; j < n_outputs; ++j) out[j] = reinterpret_cast<float *>(w[5 + j]);
    tessel_bank_scale(n_outputs, vol, out, x->out_buf, n);
    return next;
}
