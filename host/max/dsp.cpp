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
// an old chain while it compiles a new one, and a compile may be followed
// by another before anything of it runs, so a bridge is kept until the
// audio thread has run a newer one of the same box: from then on Max ticks
// no older chain.  Bridges are numbered as they are made; the audio thread
// records the newest number it has run, and the main thread frees the
// bridges below it at the next dsp64, and all of them with the box.
//
// The plug-in keeps one vector size, the one its dsp was given last, and
// its perform routines render that many samples into whatever vectors they
// were added with.  A bridge made before the plug-in was last given a new
// size (an old chain ticked after a compile at another size, even when a
// later compile went back to its size) runs nothing of the plug-in and
// plays silence.
// So does a tick whose frame count is not the size the chain was compiled
// for; that is a broken contract, which the main thread reports once per
// box and compile.
#include <algorithm>
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
    Bridges *owner = nullptr;
    maxsdk::Qelem *queue = nullptr;  // the main thread's, for a report
    uint64_t number = 0;             // 1 for a box's first bridge
    t_pxobject *header = nullptr;    // the plug-in's, for z_disabled
    long compiled = 0;               // samples per vector Max compiled the chain for
    long n = 0;                      // samples per vector the plug-in renders
    int inlets = 0;
    int outlets = 0;
    std::vector<float> samples;  // the inlets' vectors, then the outlets'
    std::vector<t_signal> signals;
    std::vector<t_signal *> signal_ptrs;
    std::vector<short> counts;  // one per signal inlet
    std::vector<Routine> routines;

    // A tick of another frame count than compiled: the first one's count,
    // set once by the audio thread; reported, by the main thread.
    std::atomic<long> wrong_frames{0};
    std::atomic<bool> refused{false};
    bool reported = false;

    float *vector(int k) {
        return samples.data() + static_cast<std::size_t>(k) * static_cast<std::size_t>(n);
    }
};

// A box's bridges, oldest first, and what its perform routine and its dsp
// tell each other across the threads.
struct Bridges {
    Box *box = nullptr;
    std::vector<std::unique_ptr<Bridge>> kept;
    uint64_t made = 0;
    std::atomic<uint64_t> newest_run{0};  // 0 until the audio thread runs one
    std::atomic<long> dsp_vector{-1};     // the size the plug-in's dsp was given last
    std::atomic<uint64_t> size_from{0};   // the first bridge made since that size was new
    std::atomic<int> performing{0};       // perform routines of the box now running
};

namespace {

// The boxes with bridges, for the main thread to find the reports the
// audio thread leaves; it alone reads and changes the list.
std::vector<Bridges *> &all_bridges() {
    static std::vector<Bridges *> &list = *new std::vector<Bridges *>;
    return list;
}

std::atomic<bool> reports_waiting{false};

std::unique_ptr<Bridge> make_bridge(Box *b, const short *count, double samplerate, long compiled, long n) {
    BoxState &st = *b->state;
    auto br = std::make_unique<Bridge>();
    br->box = b;
    br->owner = st.bridges.get();
    br->queue = adapter().queue;
    br->header = static_cast<t_pxobject *>(st.record);
    br->compiled = compiled;
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

void silence(double **outs, long numouts, long frames) {
    for (long j = 0; j < numouts; ++j) {
        if (!outs[j]) continue;
        for (long k = 0; k < frames; ++k) outs[j][k] = 0.0;
    }
}

// Runs the plug-in's routines over one vector of Max's.
void run_plugin(Bridge *br, double **ins, long numins, double **outs, long numouts) {
    const long n = br->n;
    // Muting in Max (mute~, pcontrol) reaches the plug-in as its own flag.
    __atomic_store_n(&br->header->z_disabled, br->box->ob.z_disabled != 0 ? 1 : 0, __ATOMIC_RELAXED);
    for (int i = 0; i < br->inlets; ++i) {
        float *dst = br->vector(i);
        const double *src = i < numins ? ins[i] : nullptr;
        if (src) {
            for (long k = 0; k < n; ++k) dst[k] = static_cast<float>(src[k]);
        } else {
            for (long k = 0; k < n; ++k) dst[k] = 0.0f;
        }
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
        if (j < br->outlets) {
            const float *src = br->vector(br->inlets + static_cast<int>(j));
            for (long k = 0; k < n; ++k) dst[k] = src[k];
        } else {
            for (long k = 0; k < n; ++k) dst[k] = 0.0;
        }
    }
}

// One vector of the chain, on the audio thread: nothing here allocates,
// waits or posts.
void bridge_perform64(maxsdk::Object *, maxsdk::Object *, double **ins, long numins, double **outs,
                      long numouts, long frames, long, void *userparam) {
    auto *br = static_cast<Bridge *>(userparam);
    Bridges &all = *br->owner;
    uint64_t newest = all.newest_run.load(std::memory_order_relaxed);
    while (newest < br->number &&
           !all.newest_run.compare_exchange_weak(newest, br->number, std::memory_order_release,
                                                 std::memory_order_relaxed)) {
    }
    if (frames != br->compiled) {
        silence(outs, numouts, frames);
        if (!br->refused.load(std::memory_order_relaxed)) {
            br->wrong_frames.store(frames, std::memory_order_relaxed);
            br->refused.store(true, std::memory_order_release);
            reports_waiting.store(true, std::memory_order_release);
            if (br->queue) maxsdk::qelem_set(br->queue);
        }
        return;
    }
    // Announced before the size is read: the main thread gives the plug-in
    // a new size only once no routine that read the old one runs.
    all.performing.fetch_add(1, std::memory_order_seq_cst);
    if (br->n > 0 && br->number >= all.size_from.load(std::memory_order_seq_cst) &&
        all.dsp_vector.load(std::memory_order_seq_cst) == br->n) {
        run_plugin(br, ins, numins, outs, numouts);
    } else {
        silence(outs, numouts, frames);
    }
    all.performing.fetch_sub(1, std::memory_order_release);
}

// The size the plug-in's dsp is about to be given, for the bridge of that
// number.  A perform routine that read the old size may still be rendering
// it into its bridge; the dsp that changes the size waits for it to finish
// (one vector at most), and every later tick of an older bridge plays
// silence.
void give_vector_size(Bridges &all, long n, uint64_t number) {
    if (all.dsp_vector.load(std::memory_order_relaxed) == n) return;
    all.size_from.store(number, std::memory_order_seq_cst);
    all.dsp_vector.store(n, std::memory_order_seq_cst);
    while (all.performing.load(std::memory_order_seq_cst) != 0) yield_thread();
}

void report(Bridge &br) {
    if (br.reported || !br.refused.load(std::memory_order_acquire)) return;
    br.reported = true;
    Acting acting(br.box);
    host_error("Max ticked a chain compiled for vectors of " + std::to_string(br.compiled) +
               " samples with one of " + std::to_string(br.wrong_frames.load(std::memory_order_relaxed)) +
               ": the box outputs silence in such vectors");
}

// What Max can no longer tick: every bridge older than the newest that has
// run.  A report still waiting is posted before its bridge goes.
void free_unreachable(Bridges &all) {
    const uint64_t newest = all.newest_run.load(std::memory_order_acquire);
    for (auto &br : all.kept) {
        if (br->number < newest) report(*br);
    }
    std::erase_if(all.kept, [newest](const std::unique_ptr<Bridge> &br) { return br->number < newest; });
}

}  // namespace

void box_dsp64(Box *b, maxsdk::Object *dsp64, short *count, double samplerate, long maxvectorsize, long) {
    if (!b->state || !b->state->record) return;
    BoxState &st = *b->state;
    Acting acting(b);
    std::unique_ptr<Bridge> br;
    try {
        if (!st.bridges) {
            auto made = std::make_unique<Bridges>();
            made->box = b;
            all_bridges().push_back(made.get());
            st.bridges = std::move(made);
        }
        // Room for the new bridge now, so that keeping it cannot fail once
        // Max has its perform routine.
        st.bridges->kept.reserve(st.bridges->kept.size() + 1);
        const long n = maxvectorsize < 0 ? 0 : maxvectorsize;
        if (n > kMaxBridgeVector) {
            host_error("a vector of " + std::to_string(n) + " samples is more than the adapter takes");
            br = make_bridge(b, count, samplerate, n, 0);
        } else {
            br = make_bridge(b, count, samplerate, n, n);
        }
    } catch (const std::exception &e) {
        host_error(e.what());
        return;
    }
    Bridges &all = *st.bridges;
    // The plug-in's dsp decides, as in every host, whether it joins the
    // chain; a bridge without routines plays silence.
    auto it = st.cls->bindings.find("dsp");
    if (it != st.cls->bindings.end() && br->n > 0) {
        give_vector_size(all, br->n, all.made + 1);
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
    br->number = ++all.made;
    maxsdk::add_perform64(dsp64, &b->ob.z_ob, bridge_perform64, br.get());
    all.kept.push_back(std::move(br));
    free_unreachable(all);
}

BoxState::BoxState() = default;
BoxState::~BoxState() = default;

// The box has left the chain for good: Max ticks none of its bridges again.
void release_bridges(BoxState &st) {
    if (!st.bridges) return;
    std::erase(all_bridges(), st.bridges.get());
    st.bridges.reset();
}

void post_bridge_reports() {
    if (!reports_waiting.exchange(false, std::memory_order_acquire)) return;
    for (Bridges *all : all_bridges()) {
        for (auto &br : all->kept) report(*br);
    }
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
