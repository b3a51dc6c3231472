// Signal objects: inlets, Pd's dsp method in front of the plug-in's, and
// the perform routines it adds to Pd's chain.
//
// Pd's dsp method gets no connection counts, so they are counted from the
// patch's cords.  Pd may hand an inlet's vector to an outlet; a plug-in
// that writes an outlet before it has read every inlet would then read its
// own output, so such inlets are copied first.  A plug-in that adds no
// perform routine leaves its outlets to the adapter, which zeroes them, as
// Max does for an object out of the chain.
#include <climits>
#include <cstddef>
#include <cstdarg>
#include <exception>

#include "adapter.hpp"

namespace pdmax {

namespace {

// Signal cords into each signal inlet of the box.
void count_connections(Box *b, int nin, std::vector<short> &counts) {
    counts.assign(static_cast<std::size_t>(nin > 0 ? nin : 1), 0);
    if (!b->state->canvas) return;
    t_linetraverser t;
    linetraverser_start(&t, b->state->canvas);
    while (linetraverser_next(&t)) {
        if (t.tr_ob2 != &b->pd) continue;
        if (!obj_issignaloutlet(t.tr_ob, t.tr_outno) || !obj_issignalinlet(&b->pd, t.tr_inno)) continue;
        const int k = obj_siginletindex(&b->pd, t.tr_inno);
        if (k >= 0 && k < nin && counts[static_cast<std::size_t>(k)] < SHRT_MAX)
            ++counts[static_cast<std::size_t>(k)];
    }
}

}  // namespace

void box_dsp(Box *b, PdSignal **sp) {
    if (!b->state || !b->state->record) return;
    BoxState &st = *b->state;
    Adapter &a = adapter();
    const int nin = obj_nsiginlets(&b->pd);
    const int nout = obj_nsigoutlets(&b->pd);
    if (nin + nout == 0) return;
    const int n = sp[0]->s_n;
    try {
        count_connections(b, nin, st.counts);
        st.signals.assign(static_cast<std::size_t>(nin + nout), t_signal{});
        st.signal_ptrs.assign(static_cast<std::size_t>(nin + nout), nullptr);
        st.inlet_copies.resize(static_cast<std::size_t>(nin));
        for (int k = 0; k < nin + nout; ++k) {
            t_signal &s = st.signals[static_cast<std::size_t>(k)];
            s.s_n = sp[k]->s_n;
            s.s_sr = sp[k]->s_sr;
            s.s_vec = sp[k]->s_vec;
            st.signal_ptrs[static_cast<std::size_t>(k)] = &s;
        }
        for (int i = 0; i < nin; ++i) {
            bool shared = false;
            for (int j = nin; j < nin + nout; ++j) shared = shared || sp[j]->s_vec == sp[i]->s_vec;
            auto &copy = st.inlet_copies[static_cast<std::size_t>(i)];
            if (!shared) {
                copy.clear();
                continue;
            }
            copy.assign(static_cast<std::size_t>(sp[i]->s_n), 0.0f);
            dsp_add_copy(sp[i]->s_vec, copy.data(), sp[i]->s_n);
            st.signals[static_cast<std::size_t>(i)].s_vec = copy.data();
        }
    } catch (const std::exception &e) {
        Acting acting(b);
        host_error(e.what());
        for (int j = nin; j < nin + nout; ++j) dsp_add_zero(sp[j]->s_vec, sp[j]->s_n);
        return;
    }

    a.dsp_added = false;
    auto it = st.cls->bindings.find("dsp");
    if (it != st.cls->bindings.end()) {
        Acting acting(b);
        a.dsp_box = b;
        reinterpret_cast<t_dspmethod>(it->second.fn)(st.record, st.signal_ptrs.data(), st.counts.data());
        a.dsp_box = nullptr;
    }
    if (!a.dsp_added) {
        for (int j = nin; j < nin + nout; ++j) dsp_add_zero(sp[j]->s_vec, n);
    }
}

}  // namespace pdmax

using namespace pdmax;

extern "C" {

void z_add_signalmethod(void) {
    Adapter &a = adapter();
    if (!a.setting_up || !a.setting_up->pd) return;
    class_domainsignalin(a.setting_up->pd, static_cast<int>(offsetof(Box, main_signal)));
    class_addmethod(a.setting_up->pd, pd_method(box_dsp), pd_gensym("dsp"), kPdCant, kPdNull);
}

// The left inlet is the box's own (Pd's main signal inlet); the others are
// added here, left to right.
void z_dsp_setup(t_pxobject *x, short nsignals) {
    if (!x) return;
    x->z_in = nsignals;
    x->z_disabled = 0;
    Box *b = box_of(x);
    if (!b) return;
    for (int i = 1; i < nsignals; ++i) inlet_new(&b->pd, &b->pd.ob_pd, &s_signal, &s_signal);
}

// Pd takes a deleted object's perform routines out of the chain by
// rebuilding it, and runs no vector between the deletion and the rebuild.
void z_dsp_free(t_pxobject *) {}

void dsp_add(t_perfroutine f, int n, ...) {
    Adapter &a = adapter();
    if (!a.dsp_box) {
        host_error("dsp_add outside a dsp method");
        return;
    }
    if (n < 0) return;
    std::vector<t_int> args;
    try {
        args.resize(static_cast<std::size_t>(n));
    } catch (const std::exception &e) {
        host_error(e.what());
        return;
    }
    va_list ap;
    va_start(ap, n);
    for (int i = 0; i < n; ++i) args[static_cast<std::size_t>(i)] = va_arg(ap, t_int);
    va_end(ap);
    // Max's perform routines have Pd's prototype: t_int *(t_int *w), with
    // w[1..n] the arguments.
    static_assert(sizeof(t_int) == sizeof(PdInt), "Max's and Pd's t_int must be alike");
    dsp_addv(reinterpret_cast<PdPerfRoutine>(f), n, reinterpret_cast<PdInt *>(args.data()));
    a.dsp_added = true;
}

void set_zero(float *f, int32_t n) {
    for (int32_t i = 0; i < n; ++i) f[i] = 0.0f;
}

float sys_getsr(void) { return pd_sys_getsr(); }

}  // extern "C"
