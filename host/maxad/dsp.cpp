// The signal bridge.  Max 6.1 and later build their chain with 64-bit
// samples and call only dsp64; the plug-ins have a 32-bit dsp method and
// perform routines over float vectors.  At each dsp64 the bridge gives the
// plug-in's dsp float vectors of Max's vector size and the connection
// counts Max passed, captures the perform routines it adds, and registers
// one 64-bit perform routine that converts the inputs to float, runs the
// captured routines and converts the outputs back.
//
// Everything is allocated in dsp64, on the main thread; the perform routine
// only reads and writes what its bridge already holds.  Max may still tick
// the old chain while it compiles the new one, so the bridge the old chain
// uses is kept until the next compile, by which time the chain of the one
// before has replaced it (each dsp64 call is taken to belong to a compile
// that Max completes).
#include <atomic>
#include <cstdarg>
#include <exception>
#include <utility>

#include "adapter.hpp"

namespace maxad {

// A perform routine and its argument block, w[1..n] as dsp_add gave them.
struct Routine {
    t_perfroutine fn;
    std::vector<t_int> w;
};

struct Bridge {
    Box *box = nullptr;
    t_pxobject *header = nullptr;  // the plug-in's, for z_disabled
    long n = 0;                    // samples per vector the plug-in renders
    int inlets = 0;
    int outlets = 0;
    std::vector<float> samples;  // the inlets' vectors, then the outlets'
    std::vector<t_signal> signals;
    std::vector<t_signal *> signal_ptrs;
    std::vector<short> counts;  // one per signal inlet
    std::vector<Routine> routines;

    float *vector(int k) {
        return samples.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
    }
};

namespace {

std::unique_ptr<Bridge> make_bridge(Box *b, const short *count, double samplerate, long n) {
    BoxState &st = *b->state;
    auto br = std::make_unique<Bridge>();
    br->box = b;
    br->header = static_cast<t_pxobject *>(st.record);
    br->n = n;
    br->inlets = st.signal_inlets;
    br->outlets = st.signal_outlets;
    const int total = br->inlets + br->outlets;
    br->samples.assign(static_cast<std::size_t>(total) * static_cast<std::size_t>(n), 0.0f);
    br->signals.assign(static_cast<std::size_t>(total), t_signal{});
    br->signal_ptrs.assign(static_cast<std::size_t>(total), nullptr);
    for (int k = 0; k < total; ++k) {
        t_signal &s = br->signals[static_cast<std::size_t>(k)];
        s.s_n = static_cast<int32_t>(n);
        s.s_vec = br->vector(k);
        s.s_sr = static_cast<float>(samplerate);
        br->signal_ptrs[static_cast<std::size_t>(k)] = &s;
    }
    // Max's counts cover the inlets, then the outlets; the plug-ins read one
    // per signal inlet.
    br->counts.assign(static_cast<std::size_t>(br->inlets > 0 ? br->inlets : 1), 0);
    for (int i = 0; i < br->inlets && count; ++i) br->counts[static_cast<std::size_t>(i)] = count[i];
    return br;
}

// One vector of the chain.  Inputs past the samples Max gives are zero, and
// outputs past the samples the plug-in renders are silent.
void bridge_perform64(maxsdk::Object *, maxsdk::Object *, double **ins, long numins, double **outs,
                      long numouts, long frames, long, void *userparam) {
    auto *br = static_cast<Bridge *>(userparam);
    const long n = br->n;
    const long m = frames < 0 ? 0 : frames < n ? frames : n;
    // Muting in Max (mute~, pcontrol) reaches the plug-in as its own flag.
    __atomic_store_n(&br->header->z_disabled, br->box->ob.z_disabled != 0 ? 1 : 0, __ATOMIC_RELAXED);
    for (int i = 0; i < br->inlets; ++i) {
        float *dst = br->vector(i);
        const double *src = i < numins ? ins[i] : nullptr;
        long k = 0;
        if (src) {
            for (; k < m; ++k) dst[k] = static_cast<float>(src[k]);
        }
        for (; k < n; ++k) dst[k] = 0.0f;
    }
    // As in every host, an outlet the plug-in leaves unwritten (a muted
    // box, a box out of the chain) is silent, not the last vector again.
    for (int j = 0; j < br->outlets; ++j) {
        float *out = br->vector(br->inlets + j);
        for (long k = 0; k < n; ++k) out[k] = 0.0f;
    }
    for (Routine &r : br->routines) r.fn(r.w.data());
    for (long j = 0; j < numouts; ++j) {
        double *dst = outs[j];
        if (!dst) continue;
        long k = 0;
        if (j < br->outlets) {
            const float *src = br->vector(br->inlets + static_cast<int>(j));
            for (; k < m; ++k) dst[k] = src[k];
        }
        for (; k < frames; ++k) dst[k] = 0.0;
    }
}

}  // namespace

void box_dsp64(Box *b, maxsdk::Object *dsp64, short *count, double samplerate, long maxvectorsize, long) {
    if (!b->state || !b->state->record) return;
    BoxState &st = *b->state;
    Acting acting(b);
    std::unique_ptr<Bridge> br;
    try {
        const long n = maxvectorsize < 0 ? 0 : maxvectorsize;
        if (n > kMaxBridgeVector) {
            host_error("a vector of " + std::to_string(n) + " samples is more than the adapter takes");
            br = make_bridge(b, count, samplerate, 0);
        } else {
            br = make_bridge(b, count, samplerate, n);
        }
    } catch (const std::exception &e) {
        host_error(e.what());
        return;
    }
    // The plug-in's dsp decides, as in every host, whether it joins the
    // chain; a bridge without routines plays silence.
    auto it = st.cls->bindings.find("dsp");
    if (it != st.cls->bindings.end() && br->n > 0) {
        running().building = br.get();
        try {
            reinterpret_cast<t_dspmethod>(it->second.fn)(st.record, br->signal_ptrs.data(),
                                                         br->counts.data());
        } catch (const std::exception &e) {
            host_error(e.what());
            br->routines.clear();
        }
        running().building = nullptr;
    }
    maxsdk::add_perform64(dsp64, &b->ob.z_ob, bridge_perform64, br.get());
    st.retired = std::move(st.bridge);
    st.bridge = std::move(br);
}

BoxState::BoxState() = default;
BoxState::~BoxState() = default;

void release_bridges(BoxState &st) {
    st.bridge.reset();
    st.retired.reset();
}

}  // namespace maxad

using namespace maxad;

extern "C" {

void z_add_signalmethod(void) {
    Adapter &a = adapter();
    if (!a.setting_up || !a.setting_up->max) return;
    maxsdk::dsp_init(a.setting_up->max);
    maxsdk::add_cant(a.setting_up->max,
                     reinterpret_cast<maxsdk::Method>(reinterpret_cast<void (*)()>(box_dsp64)), "dsp64");
    a.setting_up->signal = true;
}

void z_dsp_setup(t_pxobject *x, short nsignals) {
    if (!x) return;
    Box *b = box_of(x);
    if (!b || !b->state->cls->signal || b->state->dsp_set_up) {
        host_error("z_dsp_setup outside the creation of a signal object, or twice");
        return;
    }
    const int n = nsignals < 0 ? 0 : nsignals;
    x->z_in = n;
    x->z_disabled = 0;
    maxsdk::signal_setup(&b->ob, n);
    b->state->signal_inlets = n;
    b->state->dsp_set_up = true;
}

// Max takes the box out of the chain; the bridge's memory stays until the
// box goes (classes.cpp), after this.
void z_dsp_free(t_pxobject *x) {
    Box *b = box_of(x);
    if (!b || !b->state->dsp_set_up || b->state->dsp_freed) return;
    maxsdk::signal_free(&b->ob);
    b->state->dsp_freed = true;
}

void dsp_add(t_perfroutine f, int n, ...) {
    Bridge *building = running().building;
    if (!building) {
        host_error("dsp_add outside a dsp method");
        return;
    }
    if (!f || n < 0) return;
    Routine r{f, {}};
    try {
        r.w.assign(static_cast<std::size_t>(n) + 1, 0);
    } catch (const std::exception &e) {
        host_error(e.what());
        return;
    }
    va_list ap;
    va_start(ap, n);
    for (int i = 1; i <= n; ++i) r.w[static_cast<std::size_t>(i)] = va_arg(ap, t_int);
    va_end(ap);
    try {
        building->routines.push_back(std::move(r));
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void set_zero(float *f, int32_t n) {
    for (int32_t i = 0; i < n; ++i) f[i] = 0.0f;
}

float sys_getsr(void) { return maxsdk::samplerate(); }

}  // extern "C"
