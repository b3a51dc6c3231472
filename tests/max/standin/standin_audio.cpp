// The stand-in's MaxAudio part: signal classes and objects, and a chain of
// one object at a time that the test compiles and ticks.
#include <algorithm>

#include "standin_state.hpp"

namespace standin {

void compile(void *obj, double samplerate, long vector_size, const std::vector<short> &counts) {
    ObjectRec *rec = record_of(obj);
    if (!rec || !rec->cls->dsp) return;
    auto it = rec->cls->methods.find("dsp64");
    if (it == rec->cls->methods.end()) return;
    rec->chain.clear();
    rec->vector_size = vector_size;
    state().samplerate = samplerate;
    std::vector<short> count = counts;
    count.resize(static_cast<std::size_t>(rec->signal_inlets) + rec->outlets.size(), 0);
    // Max hands its chain object; the stand-in's is the object being compiled.
    state().compiling = obj;
    using Dsp64 = void (*)(void *, t_object *, short *, double, long, long);
    reinterpret_cast<Dsp64>(it->second.fn)(obj, static_cast<t_object *>(obj), count.data(), samplerate,
                                           vector_size, 0);
    state().compiling = nullptr;
}

int chain_entries(void *obj) {
    ObjectRec *rec = record_of(obj);
    return rec ? static_cast<int>(rec->chain.size()) : 0;
}

namespace {

void run_entries(void *obj, const std::vector<ChainEntry> &entries, long n,
                 std::vector<std::vector<double>> &ins, std::vector<std::vector<double>> &outs) {
    std::vector<double *> in(ins.size());
    std::vector<double *> out(outs.size());
    for (std::size_t i = 0; i < ins.size(); ++i) {
        ins[i].resize(static_cast<std::size_t>(n), 0.0);
        in[i] = ins[i].data();
    }
    for (std::size_t j = 0; j < outs.size(); ++j) {
        // Not silence: what a perform routine leaves unwritten shows.
        outs[j].assign(static_cast<std::size_t>(n), 1.0);
        out[j] = outs[j].data();
    }
    for (const ChainEntry &e : entries) {
        e.fn(static_cast<t_object *>(obj), static_cast<t_object *>(obj), in.data(),
             static_cast<long>(in.size()), out.data(), static_cast<long>(out.size()), n, 0, e.userparam);
    }
}

}  // namespace

void tick(void *obj, std::vector<std::vector<double>> &ins, std::vector<std::vector<double>> &outs,
          long frames) {
    ObjectRec *rec = record_of(obj);
    if (!rec) return;
    run_entries(obj, rec->chain, frames < 0 ? rec->vector_size : frames, ins, outs);
}

int keep_chain(void *obj) {
    ObjectRec *rec = record_of(obj);
    if (!rec) return -1;
    state().kept_chains.push_back(KeptChain{obj, rec->vector_size, rec->chain});
    return static_cast<int>(state().kept_chains.size()) - 1;
}

void tick_kept(int chain, std::vector<std::vector<double>> &ins, std::vector<std::vector<double>> &outs,
               long frames) {
    if (chain < 0 || static_cast<std::size_t>(chain) >= state().kept_chains.size()) return;
    const KeptChain &k = state().kept_chains[static_cast<std::size_t>(chain)];
    run_entries(k.object, k.entries, frames < 0 ? k.vector_size : frames, ins, outs);
}

void set_disabled(void *obj, bool muted) {
    if (record_of(obj)) static_cast<t_pxobject *>(obj)->z_disabled = muted ? 1 : 0;
}

void set_samplerate(double sr) { state().samplerate = sr; }

}  // namespace standin

using namespace standin;

extern "C" {

void class_dspinit(t_class *c) {
    auto it = state().by_max.find(c);
    if (it != state().by_max.end()) it->second->dsp = true;
}

void z_dsp_setup(t_pxobject *x, long nsignals) {
    ObjectRec *rec = record_of(x);
    if (!rec) return;
    rec->signal_inlets = static_cast<int>(nsignals);
    rec->dsp_set_up = true;
    x->z_in = nsignals;
    x->z_disabled = 0;
}

void z_dsp_free(t_pxobject *x) {
    ObjectRec *rec = record_of(x);
    if (!rec) return;
    rec->dsp_freed = true;
    rec->chain.clear();
}

void dsp_add64(t_object *chain, t_object *x, t_perfroutine64 f, long, void *userparam) {
    ObjectRec *rec = record_of(x);
    if (!rec || chain != state().compiling || x != state().compiling) {
        state().console.push_back(Line{Line::Error, x, "stand-in: dsp_add64 outside dsp64"});
        return;
    }
    rec->chain.push_back(ChainEntry{f, userparam});
}

float sys_getsr(void) { return static_cast<float>(state().samplerate); }

}  // extern "C"
