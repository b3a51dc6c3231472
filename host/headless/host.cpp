// The headless host: class registry, boxes, typed dispatch, the DSP chain and
// the deferred queue.
#include "host_impl.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace headless {

namespace {

Host *g_current = nullptr;

// Bundles stay loaded for the life of the process: a plug-in's class slot
// may be written again by a later host, but its code never goes away under
// a pointer some host still holds.
std::map<std::string, void *> &loaded_bundles() {
    static std::map<std::string, void *> bundles;
    return bundles;
}

}  // namespace

t_atom long_atom(int32_t v) {
    t_atom a{};
    atom_setlong(&a, v);
    return a;
}

t_atom float_atom(float v) {
    t_atom a{};
    atom_setfloat(&a, v);
    return a;
}

t_atom sym_atom(const char *s) {
    t_atom a{};
    atom_setsym(&a, gensym(s));
    return a;
}

int32_t saturate_to_int32(double v) { return hostcommon::saturate_to_int32(v); }

// --- Impl ----------------------------------------------------------------

void Host::Impl::console(ConsoleLine::Kind kind, std::string text) {
    const bool banner = kind == ConsoleLine::Post && (!registering.empty() || creating);
    host->console.push_back({kind, std::move(text), banner});
    if (host->on_console) host->on_console(host->console.back());
}

void Host::Impl::message(Outlet *o, t_symbol *sel, short ac, const t_atom *av) {
    if (!o || !o->box) return;
    Box *b = o->box;
    auto it = std::find(b->outlets.begin(), b->outlets.end(), o);
    int index = static_cast<int>(it - b->outlets.begin());
    OutletMessage m{b->name, index, sel, {}};
    if (ac > 0 && av) m.atoms.assign(av, av + ac);
    host->messages.push_back(m);
    if (host->on_message) host->on_message(host->messages.back());
}

Box *Host::Impl::box_of(void *x) const {
    if (!x) return nullptr;
    auto *ob = static_cast<t_object *>(x);
    for (auto &b : boxes) {
        if (b.get() == ob->o_box && b->obj == x) return b.get();
    }
    return nullptr;
}

void *Host::Impl::alloc(int32_t size, bool large) {
    if (failing_allocations > 0) {
        --failing_allocations;
        return nullptr;
    }
    // A zero-byte block is a valid, distinct block.
    void *p = std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1);
    if (!p) return nullptr;
    freed_blocks.erase(p);
    blocks[p] = Block{size, large, active};
    return p;
}

void Host::Impl::release(void *p, int32_t size, bool large) {
    const char *fn = large ? "t_freebytes" : "freebytes";
    if (!p) {
        host_line(std::string(fn) + " of a null pointer");
        return;
    }
    auto it = blocks.find(p);
    if (it == blocks.end()) {
        auto f = freed_blocks.find(p);
        if (f != freed_blocks.end()) {
            host_line("double " + std::string(fn) + " of a block of " + std::to_string(f->second) + " bytes");
        } else {
            host_line(std::string(fn) + " of a block the host never gave");
        }
        return;
    }
    if (it->second.size != size) {
        host_line(std::string(fn) + " with size " + std::to_string(size) + " of a block of " +
                  std::to_string(it->second.size) + " bytes");
    }
    if (it->second.large != large) {
        host_line(std::string(fn) + " of a block from " + (it->second.large ? "t_getbytes" : "getbytes"));
    }
    freed_blocks[p] = it->second.size;
    blocks.erase(it);
    std::free(p);
}

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

// --- Host ----------------------------------------------------------------

Host::Host() : impl_(std::make_unique<Impl>()) {
    impl_->host = this;
    if (std::string dir = host_library_dir(); !dir.empty()) impl_->plugin_dirs.push_back(dir);
    g_current = this;
}

Host::~Host() {
    dsp_off();
    while (!impl_->boxes.empty()) free_box(impl_->boxes.back().get());
    for (auto &[p, blk] : impl_->blocks) std::free(p);
    if (g_current == this) g_current = nullptr;
}

Host *Host::current() { return g_current; }

void Host::add_plugin_dir(const std::string &dir) {
    impl_->plugin_dirs.insert(impl_->plugin_dirs.begin(), dir);
}

bool Host::register_class(const std::string &cls, int (*entry)()) {
    impl_->registering = cls;
    entry();
    impl_->registering.clear();
    impl_->setting_up = nullptr;
    if (!impl_->classes.count(cls)) {
        impl_->host_line("the entry point of " + cls + " registered no class");
        return false;
    }
    return true;
}

bool Host::load_class(const std::string &cls) {
    if (impl_->classes.count(cls)) return true;
    for (const auto &dir : impl_->plugin_dirs) {
        std::string path = dir + "/" + cls + ".so";
        if (!std::filesystem::exists(path)) continue;
        void *h = nullptr;
        auto &bundles = loaded_bundles();
        if (auto it = bundles.find(path); it != bundles.end()) {
            h = it->second;
        } else {
            h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!h) {
                const char *why = dlerror();
                impl_->host_line("cannot load " + path + ": " + (why ? why : "?"));
                continue;
            }
            bundles[path] = h;
        }
        auto entry = reinterpret_cast<int (*)()>(dlsym(h, "main"));
        if (!entry) {
            impl_->host_line(path + " exports no main");
            continue;
        }
        impl_->register_bundle_info(dir + "/" + cls + ".info");
        return register_class(cls, entry);
    }
    impl_->host_line("no bundle for class " + cls);
    return false;
}

Box *Host::new_box(const std::string &name, const std::string &cls, std::span<const t_atom> args) {
    Impl &I = *impl_;
    if (find(name)) {
        I.host_line("a box named " + name + " exists already");
        return nullptr;
    }
    if (!load_class(cls)) return nullptr;
    messlist *c = I.classes[cls].get();
    auto box = std::make_unique<Box>();
    box->name = name;
    box->cls = c;
    Box *b = box.get();
    I.boxes.push_back(std::move(box));

    void *result = nullptr;
    hostcommon::Delivery made = hostcommon::Delivery::Done;
    {
        Impl::Scope scope(I, b);
        Box *saved = I.creating;
        I.creating = b;
        made = hostcommon::construct(
            c->new_fn, c->new_types, gensym(cls.c_str()), hostcommon::MaxAtoms{args},
            [&](t_atom *out) { return hostcommon::copy_atoms(args, out); }, &result);
        I.creating = saved;
    }
    if (made == hostcommon::Delivery::BadArguments)
        I.console(ConsoleLine::Error, cls + ": bad arguments for message \"new\"");
    if (made == hostcommon::Delivery::TooManyAtoms)
        I.console(ConsoleLine::Error, hostcommon::too_many_atoms(cls, "new", args.size()));
    if (!result || result != b->obj) {
        if (result && result != b->obj) I.host_line(cls + ": new returned a record the host did not make");
        // Whatever the refused creation still holds is reported, then freed.
        int held = 0;
        for (auto it = I.blocks.begin(); it != I.blocks.end();) {
            if (it->second.owner == b) {
                ++held;
                std::free(it->first);
                it = I.blocks.erase(it);
            } else {
                ++it;
            }
        }
        if (held)
            I.host_line(cls + " " + name + ": " + std::to_string(held) + " block(s) held by a refused box");
        // Work a refused creation queued must not run on its discarded record.
        std::erase_if(I.deferred, [b](const Deferred &d) { return d.box == b; });
        std::free(b->record_mem);
        std::erase_if(I.boxes, [b](const auto &p) { return p.get() == b; });
        return nullptr;
    }
    b->feeds.resize(b->sig_inlets);
    b->alias.assign(b->sig_inlets, -1);
    b->recorded.resize(b->signal_outlets());
    if (I.running) I.build_chain();
    return b;
}

Box *Host::find(const std::string &name) const {
    for (auto &b : impl_->boxes)
        if (b->name == name) return b.get();
    return nullptr;
}

void Host::send(Box *b, std::span<const t_atom> atoms) {
    if (!b || atoms.empty()) return;
    const t_atom &first = atoms[0];
    if (first.a_type == A_SYM) {
        send_message(b, first.a_w.w_sym, atoms.subspan(1));
    } else if (atoms.size() == 1) {
        send_message(b, gensym(first.a_type == A_LONG ? "int" : "float"), atoms);
    } else {
        send_message(b, gensym("list"), atoms);
    }
}

void Host::send_message(Box *b, t_symbol *selector, std::span<const t_atom> args) {
    Impl &I = *impl_;
    if (!b) return;
    const std::string &cls = b->cls->name;
    const auto to = hostcommon::route(b->cls->bindings, selector->s_name, hostcommon::NumberConversion::None);
    if (!to.binding) {
        I.console(ConsoleLine::Error, cls + ": doesn't understand \"" + selector->s_name + "\"");
        return;
    }
    Impl::Scope scope(I, b);
    // Without number conversions the method is the selector's own, or the
    // catch-all, which takes the selector too.
    const auto done =
        hostcommon::deliver(to.binding->fn, to.binding->types, b->obj, selector, hostcommon::MaxAtoms{args},
                            [&](t_atom *out) { return hostcommon::copy_atoms(args, out); });
    if (done == hostcommon::Delivery::TooManyAtoms)
        I.console(ConsoleLine::Error, hostcommon::too_many_atoms(cls, selector->s_name, args.size()));
    if (done == hostcommon::Delivery::BadArguments)
        I.console(ConsoleLine::Error, cls + ": bad arguments for message \"" + selector->s_name + "\"");
}

void Host::run_deferred() {
    Impl &I = *impl_;
    while (!I.deferred.empty()) {
        Deferred d = std::move(I.deferred.front());
        I.deferred.pop_front();
        Impl::Scope scope(I, d.box);
        hostcommon::call_gimme(d.fn, d.obj, d.s, d.atoms);
    }
}

void Host::event(Box *b, const std::vector<std::vector<t_atom>> &messages) {
    for (const auto &m : messages) send(b, m);
    run_deferred();
}

void Host::free_box(Box *b) {
    Impl &I = *impl_;
    if (!b) return;
    I.remove_from_chain(b);
    std::erase_if(I.deferred, [b](const Deferred &d) { return d.box == b; });
    if (b->cls->free_fn) {
        Impl::Scope scope(I, b);
        reinterpret_cast<void (*)(void *)>(b->cls->free_fn)(b->obj);
    }
    // Again: the free function itself may have queued work.
    std::erase_if(I.deferred, [b](const Deferred &d) { return d.box == b; });
    int held = 0;
    int64_t bytes = 0;
    for (auto it = I.blocks.begin(); it != I.blocks.end();) {
        if (it->second.owner == b) {
            ++held;
            bytes += it->second.size;
            std::free(it->first);
            it = I.blocks.erase(it);
        } else {
            ++it;
        }
    }
    if (held) {
        I.host_line(b->cls->name + " " + b->name + ": " + std::to_string(held) + " block(s) of " +
                    std::to_string(bytes) + " bytes still held after free");
    }
    std::free(b->record_mem);
    std::erase_if(I.boxes, [b](const auto &p) { return p.get() == b; });
    if (I.running) I.build_chain();
}

std::string Host::assist(Box *b, int32_t msg, int32_t index) {
    char buf[512] = "<untouched>";
    auto it = b->cls->bindings.find("assist");
    if (it != b->cls->bindings.end()) {
        Impl::Scope scope(*impl_, b);
        reinterpret_cast<void (*)(void *, void *, int32_t, int32_t, char *)>(it->second.fn)(b->obj, b, msg,
                                                                                            index, buf);
    }
    buf[sizeof buf - 1] = '\0';
    return buf;
}

void *Host::instance(Box *b) const { return b ? b->obj : nullptr; }
const std::string &Host::class_name(Box *b) const { return b->cls->name; }
int Host::signal_inlets(Box *b) const { return b->sig_inlets; }
int Host::signal_outlets(Box *b) const { return b->signal_outlets(); }
int Host::outlets(Box *b) const { return static_cast<int>(b->outlets.size()); }
bool Host::is_signal(Box *b) const { return b && b->cls->is_signal; }

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

void Host::set_disabled(Box *b, bool disabled) {
    if (!b || !b->cls->is_signal) return;
    static_cast<t_pxobject *>(b->obj)->z_disabled = disabled ? 1 : 0;
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

bool Host::dsp_running() const { return impl_->running; }
float Host::sample_rate() const { return impl_->sr; }
int32_t Host::vector_size() const { return impl_->vs; }

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

const std::vector<std::vector<float>> &Host::recorded(Box *b) const { return b->recorded; }

void Host::keep_recording(Box *b, bool keep) {
    if (!b) return;
    b->keep = keep;
    if (!keep) {
        for (auto &r : b->recorded) std::vector<float>().swap(r);
    }
}

std::size_t Host::blocks_held() const { return impl_->blocks.size(); }
int64_t Host::bytes_held() const {
    int64_t n = 0;
    for (const auto &[p, blk] : impl_->blocks) n += blk.size;
    return n;
}
void Host::fail_allocations(int n) { impl_->failing_allocations = n; }

void Host::add_search_dir(const std::string &dir) { impl_->search_dirs.push_back(dir); }
void Host::set_script_dir(const std::string &dir) { impl_->script_dir = dir; }
void Host::set_dialog_answer(std::optional<std::string> file) { impl_->dialog_answer = std::move(file); }

}  // namespace headless
