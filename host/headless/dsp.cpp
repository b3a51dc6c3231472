// Signal objects: what feeds their inlets, the chain built by calling each
// one's dsp method with buffers the host owns and the connection counts, and
// the tick that runs the chain's perform routines and records the outlets.
#include <algorithm>
#include <cstdarg>
#include <string>
#include <utility>

#include "host_impl.hpp"

namespace headless {

void Host::Impl::remove_from_chain(Box *b) {
    std::erase_if(chain, [b](const ChainEntry &e) { return e.box == b; });
}

void Host::Impl::build_chain() {
    chain.clear();
    const auto n = static_cast<std::size_t>(vs);
    for (auto &bp : boxes) {
        Box *b = bp.get();
        if (!b->cls->is_signal || !b->obj) continue;
        const int nin = b->sig_inlets;
        const int nout = b->signal_outlets();
        b->in_bufs.assign(nin, std::vector<float>(n, 0.0f));
        b->out_bufs.assign(nout, std::vector<float>(n, 0.0f));
        b->out_vecs.assign(nout, nullptr);
        for (int j = 0; j < nout; ++j) b->out_vecs[j] = b->out_bufs[j].data();
        for (int i = 0; i < nin; ++i) {
            int j = b->alias[i];
            if (j >= 0 && j < nout) b->out_vecs[j] = b->in_bufs[i].data();
        }
        b->sigs.assign(nin + nout, t_signal{});
        b->sig_ptrs.assign(nin + nout, nullptr);
        for (int k = 0; k < nin + nout; ++k) {
            t_signal &s = b->sigs[k];
            s.s_n = vs;
            s.s_sr = sr;
            s.s_vec = k < nin ? b->in_bufs[k].data() : b->out_vecs[k - nin];
            b->sig_ptrs[k] = &s;
        }
        b->counts.assign(std::max(nin, 1), 0);
        for (int i = 0; i < nin; ++i) b->counts[i] = b->feeds[i].kind != Feed::None ? 1 : 0;
        auto it = b->cls->bindings.find("dsp");
        if (it == b->cls->bindings.end()) continue;
        Scope scope(*this, b);
        dsp_box = b;
        reinterpret_cast<t_dspmethod>(it->second.fn)(b->obj, b->sig_ptrs.data(), b->counts.data());
        dsp_box = nullptr;
    }
}

void Host::set_signal_constant(Box *b, int inlet, float value) {
    if (!b || inlet < 0 || inlet >= b->sig_inlets) {
        impl_->host_line("no signal inlet " + std::to_string(inlet));
        return;
    }
    Feed &f = b->feeds[inlet];
    const bool was_connected = f.kind != Feed::None;
    f = Feed{Feed::Constant, value, {}, 0};
    if (impl_->running && !was_connected) impl_->build_chain();
}

void Host::set_signal_samples(Box *b, int inlet, std::vector<float> samples) {
    if (!b || inlet < 0 || inlet >= b->sig_inlets) {
        impl_->host_line("no signal inlet " + std::to_string(inlet));
        return;
    }
    Feed &f = b->feeds[inlet];
    const bool was_connected = f.kind != Feed::None;
    f = Feed{Feed::Samples, 0, std::move(samples), 0};
    if (impl_->running && !was_connected) impl_->build_chain();
}

void Host::set_signal_none(Box *b, int inlet) {
    if (!b || inlet < 0 || inlet >= b->sig_inlets) {
        impl_->host_line("no signal inlet " + std::to_string(inlet));
        return;
    }
    Feed &f = b->feeds[inlet];
    const bool was_connected = f.kind != Feed::None;
    f = Feed{};
    if (impl_->running && was_connected) impl_->build_chain();
}

void Host::set_alias(Box *b, int inlet, int outlet) {
    if (!b || inlet < 0 || inlet >= b->sig_inlets) return;
    b->alias[inlet] = outlet;
    if (impl_->running) impl_->build_chain();
}

void Host::dsp_on(float sr, int32_t vs) {
    if (vs < 1 || !(sr > 0)) {
        impl_->host_line("audio needs a positive sample rate and vector size");
        return;
    }
    impl_->sr = sr;
    impl_->vs = vs;
    impl_->running = true;
    impl_->build_chain();
}

void Host::dsp_off() {
    impl_->running = false;
    impl_->chain.clear();
}

void Host::tick(int64_t vectors) {
    Impl &I = *impl_;
    if (!I.running) return;
    const auto n = static_cast<std::size_t>(I.vs);
    for (int64_t v = 0; v < vectors; ++v) {
        for (auto &bp : I.boxes) {
            Box *b = bp.get();
            if (!b->cls->is_signal) continue;
            for (auto &buf : b->out_bufs) std::fill(buf.begin(), buf.end(), 0.0f);
            for (int i = 0; i < b->sig_inlets; ++i) {
                Feed &f = b->feeds[i];
                float *dst = b->in_bufs[i].data();
                switch (f.kind) {
                case Feed::None: std::fill(dst, dst + n, 0.0f); break;
                case Feed::Constant: std::fill(dst, dst + n, f.value); break;
                case Feed::Samples:
                    for (std::size_t k = 0; k < n; ++k, ++f.pos)
                        dst[k] = f.pos < f.samples.size() ? f.samples[f.pos] : 0.0f;
                    break;
                }
            }
        }
        for (auto &e : I.chain) {
            t_int *end = e.fn(e.w.data());
            if (end != e.w.data() + e.w.size()) {
                I.host_line(e.box->name + ": perform routine returned a wrong position");
            }
        }
        for (auto &bp : I.boxes) {
            Box *b = bp.get();
            if (b->keep) {
                for (std::size_t j = 0; j < b->out_vecs.size() && j < b->recorded.size(); ++j)
                    b->recorded[j].insert(b->recorded[j].end(), b->out_vecs[j], b->out_vecs[j] + n);
            }
            if (on_vector && b->cls->is_signal && !b->out_vecs.empty()) on_vector(b, b->out_vecs, n);
        }
    }
}

void Host::keep_recording(Box *b, bool keep) {
    if (!b) return;
    b->keep = keep;
    if (!keep) {
        for (auto &r : b->recorded) std::vector<float>().swap(r);
    }
}

}  // namespace headless

using headless::Box;
using headless::box_for;
using headless::Host;
using headless::impl;

extern "C" {

void z_add_signalmethod(void) {
    Host::Impl *I = impl();
    if (I && I->setting_up) I->setting_up->is_signal = true;
}

void z_dsp_setup(t_pxobject *x, short nsignals) {
    if (!x) return;
    x->z_in = nsignals;
    x->z_disabled = 0;
    Host::Impl *I = impl();
    if (Box *b = box_for(I, x)) b->sig_inlets = nsignals < 0 ? 0 : nsignals;
}

void z_dsp_free(t_pxobject *x) {
    Host::Impl *I = impl();
    if (Box *b = box_for(I, x)) I->remove_from_chain(b);
}

void dsp_add(t_perfroutine f, int n, ...) {
    Host::Impl *I = impl();
    if (!I) return;
    if (!I->dsp_box) {
        I->host_line("dsp_add outside a dsp method");
        return;
    }
    headless::ChainEntry e{I->dsp_box, f, std::vector<t_int>(static_cast<std::size_t>(n < 0 ? 0 : n) + 1, 0)};
    va_list ap;
    va_start(ap, n);
    for (int i = 1; i <= n; ++i) e.w[i] = va_arg(ap, t_int);
    va_end(ap);
    I->chain.push_back(std::move(e));
}

void set_zero(float *f, int32_t n) {
    for (int32_t i = 0; i < n; ++i) f[i] = 0.0f;
}

float sys_getsr(void) {
    Host::Impl *I = impl();
    return I ? I->sr : 44100.0f;
}

}  // extern "C"
