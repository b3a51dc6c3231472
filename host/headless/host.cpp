// The Host class: the headless host as maxhost and the tests drive it.  Here
// are its life, the current host the C entry points route to, and what it
// only reads or sets; the calls that do the work are defined in the file of
// their concern, beside the C entry points of the same concern, as in the
// adapters: classes.cpp (plug-in loading, classes, boxes, dispatch),
// outlets.cpp (outlets, console, block accounting), dsp.cpp (signal feeds,
// the chain, the tick and its recording), defer.cpp (the deferred queue) and
// files.cpp (file services).
#include "host_impl.hpp"

#include <cstdlib>

namespace headless {

namespace {

Host *g_current = nullptr;

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

Host::Impl *impl() {
    Host *h = Host::current();
    return h ? &h->impl() : nullptr;
}

void Host::event(Box *b, const std::vector<std::vector<t_atom>> &messages) {
    for (const auto &m : messages) send(b, m);
    run_deferred();
}

void *Host::instance(Box *b) const { return b ? b->obj : nullptr; }
const std::string &Host::class_name(Box *b) const { return b->cls->name; }
int Host::signal_inlets(Box *b) const { return b->sig_inlets; }
int Host::signal_outlets(Box *b) const { return b->signal_outlets(); }
int Host::outlets(Box *b) const { return static_cast<int>(b->outlets.size()); }
bool Host::is_signal(Box *b) const { return b && b->cls->is_signal; }

void Host::set_disabled(Box *b, bool disabled) {
    if (!b || !b->cls->is_signal) return;
    static_cast<t_pxobject *>(b->obj)->z_disabled = disabled ? 1 : 0;
}

bool Host::dsp_running() const { return impl_->running; }
float Host::sample_rate() const { return impl_->sr; }
int32_t Host::vector_size() const { return impl_->vs; }

const std::vector<std::vector<float>> &Host::recorded(Box *b) const { return b->recorded; }

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
