// tessel~: the control messages.  Each only stores values; the rendering
// picks them up at the next vector.  A message that does not fit is ignored
// without a word, and setters clamp rather than refuse.
#include <cmath>

#include "tessel.h"

namespace {

// Clamps in double, then rounds to the field's single precision.  NaN has
// no place in the range, so the field keeps what it had.
void set_clamped(float &field, double value, double lo, double hi) {
    if (std::isnan(value)) return;
    if (value < lo) value = lo;
    if (value > hi) value = hi;
    shared_store(field, static_cast<float>(value));
}

}  // namespace

// list k freq [amp]: k an integer 1..n_partials, freq a float.  A partial
// number sent as a float or a frequency sent as an integer voids the
// message, so that a patch's type mistakes are not half-obeyed.
void tessel_list(t_tessel *x, t_symbol *, short argc, t_atom *argv) {
    if (argc < 2 || argv[0].a_type != A_LONG || argv[1].a_type != A_FLOAT) return;
    const int32_t k = argv[0].a_w.w_long;
    if (k < 1 || k > x->n_partials) return;
    t_partial &p = x->partials[k - 1];

    // Out of range (NaN included) silences the partial but keeps its
    // frequency and phase.
    const float f = argv[1].a_w.w_float;
    if (!(f >= 0.0f) || !(f < shared_load(x->max_freq))) {
        shared_store(p.amp, 0.0f);
        return;
    }
    shared_store(p.freq, f);

    // An integer amplitude is no amplitude: the old one stays.
    if (argc < 3 || argv[2].a_type != A_FLOAT) return;
    // A partial that starts to sound starts at the top of the table; one
    // already sounding runs on without a click.  The words are exchanged
    // without a lock, so a restart that lands while the audio thread renders
    // this very partial may lose its 0 to that vector's write-back: a phase
    // offset at worst, never a value outside the table.
    if (shared_load(p.amp) == 0.0f) shared_store(p.phase, 0.0f);
    shared_store(p.amp, argv[2].a_w.w_float);
}

// Silences every partial; frequencies and phases stay, so a later list with
// an amplitude restarts its partial at phase 0.
void tessel_reset(t_tessel *x) {
    for (int32_t k = 0; k < x->n_partials; ++k) shared_store(x->partials[k].amp, 0.0f);
}

void tessel_set_transpo(t_tessel *x, double value) { set_clamped(x->transpo, value, -120.0, 120.0); }

void tessel_set_transpo_lfo_f(t_tessel *x, double value) {
    set_clamped(x->transpo_lfo_f, value, 0.0, 10000.0);
}

void tessel_set_transpo_lfo_depth(t_tessel *x, double value) {
    set_clamped(x->transpo_lfo_depth, value, -120.0, 120.0);
}

void tessel_set_shift(t_tessel *x, double value) { set_clamped(x->shift, value, -10000.0, 10000.0); }

// The shift LFO tops out at 1000 Hz, a tenth of the transposition LFO's
// ceiling.
void tessel_set_shift_lfo_f(t_tessel *x, double value) { set_clamped(x->shift_lfo_f, value, 0.0, 1000.0); }

void tessel_set_shift_lfo_depth(t_tessel *x, double value) {
    set_clamped(x->shift_lfo_depth, value, -10000.0, 10000.0);
}

// Back to the creation values.  The LFO positions stay where they are, so a
// restarted LFO picks up where it stopped.
void tessel_reset_transpo_shift(t_tessel *x) {
    shared_store(x->transpo, 0.0f);
    shared_store(x->shift, 0.0f);
    shared_store(x->transpo_lfo_depth, 0.0f);
    shared_store(x->shift_lfo_depth, 0.0f);
    shared_store(x->transpo_lfo_f, 5.0f);
    shared_store(x->shift_lfo_f, 5.0f);
}
