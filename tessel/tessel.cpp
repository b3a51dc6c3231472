// tessel~: registration, creation, freeing and help texts.
#include "tessel.h"

#include <cstring>

t_messlist *tessel_class = nullptr;

namespace {

// Registration takes every method as one generic pointer; the host casts it
// back to the prototype the argument types describe.  Going through
// void(*)() keeps the compiler's function-cast check quiet about that.
template <class R, class... A>
method as_method(R (*f)(A...)) {
    return reinterpret_cast<method>(reinterpret_cast<void (*)()>(f));
}

const char *const inlet_help[3] = {
    "(signal) Vol Input, (Messages) Control",
    "(signal) Transposition Input",
    "(signal) Frequency Shift Input",
};

const char *const outlet_help[8] = {
    "(signal) Signal Output 1", "(signal) Signal Output 2", "(signal) Signal Output 3",
    "(signal) Signal Output 4", "(signal) Signal Output 5", "(signal) Signal Output 6",
    "(signal) Signal Output 7", "(signal) Signal Output 8",
};

}  // namespace

__attribute__((visibility("default"))) int main() {
    setup(&tessel_class, as_method(tessel_new), as_method(tessel_free),
          static_cast<int32_t>(sizeof(t_tessel)), nullptr, A_DEFLONG, A_DEFLONG, 0);
    addmess(as_method(tessel_dsp), "dsp", A_CANT, 0);
    addmess(as_method(tessel_list), "list", A_GIMME, 0);
    addmess(as_method(tessel_reset), "reset", 0);
    addmess(as_method(tessel_set_transpo), "set_transpo", A_FLOAT, 0);
    addmess(as_method(tessel_set_transpo_lfo_f), "set_transpo_lfo_f", A_FLOAT, 0);
    addmess(as_method(tessel_set_transpo_lfo_depth), "set_transpo_lfo_depth", A_FLOAT, 0);
    addmess(as_method(tessel_set_shift), "set_shift", A_FLOAT, 0);
    addmess(as_method(tessel_set_shift_lfo_f), "set_shift_lfo_f", A_FLOAT, 0);
    addmess(as_method(tessel_set_shift_lfo_depth), "set_shift_lfo_depth", A_FLOAT, 0);
    addmess(as_method(tessel_reset_transpo_shift), "reset_transpo_shift", 0);
    addmess(as_method(tessel_assist), "assist", A_CANT, 0);
    z_add_signalmethod();
    return 0;
}

void *tessel_new(int32_t n_partials, int32_t n_outputs) {
    // An absent argument arrives as 0 and means the default.  The partial
    // count is checked first, and the first bad count decides.
    if (n_partials == 0) {
        n_partials = 50;
    } else if (n_partials < 1 || n_partials > TESSEL_MAX_PARTIALS) {
        error("tessel~: number of partials must be between %d and %d", 1, TESSEL_MAX_PARTIALS);
        return nullptr;
    }
    if (n_outputs == 0) {
        n_outputs = 1;
    } else if (n_outputs < 1 || n_outputs > TESSEL_MAX_OUTPUTS) {
        error("tessel~: number of outputs must be between %d and %d", 1, TESSEL_MAX_OUTPUTS);
        return nullptr;
    }

    // Everything the rendering touches besides the record is in this one
    // block, so nothing is allocated while audio runs.
    auto *mem = reinterpret_cast<float *>(t_getbytes(tessel_block_bytes(n_outputs)));
    if (mem == nullptr) {
        ouchstring("Could not allocate memory for tessel~");
        return nullptr;
    }

    auto *x = static_cast<t_tessel *>(newobject(tessel_class));
    if (x == nullptr) {
        t_freebytes(mem, tessel_block_bytes(n_outputs));
        return nullptr;
    }
    x->n_partials = n_partials;
    x->n_outputs = n_outputs;

    z_dsp_setup(&x->x_obj, 3);
    // The outlet handles are not kept: the rendering writes the signal
    // vectors the host hands to dsp.
    for (int32_t i = 0; i < n_outputs; ++i) outlet_new(x, "signal");

    x->mem = mem;
    x->sin_table = mem;
    for (int32_t i = 0; i < n_outputs; ++i)
        x->out_buf[i] = mem + (TESSEL_TABLE_BYTES + TESSEL_BUFFER_BYTES * i) / sizeof(float);

    post("tessel~ Object v1.00. Additive synthesis: up to 100 sine partials over 1 to 8 outlets.");
    post("tessel~: partials by list; transposition and frequency shift by signal, message or LFO.");

    for (int i = 0; i < 3; ++i) x->inlet_assist[i] = inlet_help[i];
    for (int i = 0; i < 8; ++i) x->outlet_assist[i] = outlet_help[i];

    init_sin(x->sin_table, TESSEL_TABLE_SIZE);

    x->transpo = 0.0f;
    x->shift = 0.0f;
    x->transpo_lfo_depth = 0.0f;
    x->transpo_lfo_phase = 0.0f;
    x->shift_lfo_depth = 0.0f;
    x->shift_lfo_phase = 0.0f;
    x->transpo_lfo_f = 5.0f;
    x->shift_lfo_f = 5.0f;
    for (int32_t k = 0; k < n_partials; ++k) x->partials[k] = t_partial{0.0f, 0.0f, 0.0f};

    // A list may arrive before audio was ever switched on; the host's
    // current rate gives it a sensible bound until dsp sets the real one.
    x->max_freq = sys_getsr() * 0.5f - 1.0f;
    return x;
}

void tessel_free(t_tessel *x) {
    // Out of the chain first: the rendering reads the block freed below.
    z_dsp_free(&x->x_obj);
    t_freebytes(x->mem, tessel_block_bytes(x->n_outputs));
}

void tessel_assist(t_tessel *x, void *, int32_t msg, int32_t index, char *dst) {
    if (msg == ASSIST_INLET) {
        if (index < 0 || index > 2) return;
        std::strcpy(dst, x->inlet_assist[index]);
    } else {
        if (index < 0 || index > 7) return;
        std::strcpy(dst, x->outlet_assist[index]);
    }
}
