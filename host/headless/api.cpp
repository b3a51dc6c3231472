// The C entry points of the object interface, routed to the current host.
#include <cstdarg>
#include <cstring>
#include <string>

#include "host_impl.hpp"

#include "atoms.hpp"

using headless::Box;
using headless::ConsoleLine;
using headless::Host;

namespace {

Host::Impl *impl() {
    Host *h = Host::current();
    return h ? &h->impl() : nullptr;
}

Box *box_for(Host::Impl *I, void *x) {
    if (!I) return nullptr;
    if (I->creating && I->creating->obj == x) return I->creating;
    return I->box_of(x);
}

void *make_outlet(void *x, bool is_signal) {
    Host::Impl *I = impl();
    Box *b = box_for(I, x);
    if (!b) {
        if (I) I->host_line("an outlet was asked for an object the host does not know");
        return nullptr;
    }
    b->outlet_store.push_back(std::make_unique<headless::Outlet>(headless::Outlet{b, is_signal}));
    // Each new outlet stands left of those made before it.
    b->outlets.insert(b->outlets.begin(), b->outlet_store.back().get());
    return b->outlet_store.back().get();
}

void send_out(void *o, t_symbol *sel, short ac, const t_atom *av) {
    if (Host::Impl *I = impl()) I->message(static_cast<headless::Outlet *>(o), sel, ac, av);
}

}  // namespace

extern "C" {

void setup(t_messlist **ident, method makefun, method freefun, int32_t size, method menufun, ...) {
    (void)menufun;
    Host::Impl *I = impl();
    if (!I) return;
    va_list ap;
    va_start(ap, menufun);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    std::string name = I->registering.empty() ? "unnamed" : I->registering;
    auto cls = std::make_unique<messlist>(name, makefun, freefun, size, types);
    if (auto why = hostcommon::setup_refusal(size, types, "host")) {
        I->host_line(name + ": " + *why);
        return;
    }
    messlist *c = cls.get();
    I->classes[name] = std::move(cls);
    I->setting_up = c;
    if (ident) *ident = c;
}

void addmess(method f, const char *selector, ...) {
    Host::Impl *I = impl();
    if (!I || !I->setting_up || !selector) return;
    va_list ap;
    va_start(ap, selector);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    if (auto why = hostcommon::binding_refusal(selector, types, "host")) {
        I->host_line(I->setting_up->name + ": " + *why);
        return;
    }
    I->setting_up->bindings[selector] = messlist::Binding{f, types};
}

void addbang(method f) {
    Host::Impl *I = impl();
    if (!I || !I->setting_up) return;
    I->setting_up->bindings["bang"] = messlist::Binding{f, {}};
}

void z_add_signalmethod(void) {
    Host::Impl *I = impl();
    if (I && I->setting_up) I->setting_up->is_signal = true;
}

void *newobject(void *cls) {
    Host::Impl *I = impl();
    if (!I || !cls) return nullptr;
    auto *c = static_cast<messlist *>(cls);
    Box *b = I->creating;
    if (!b || b->cls != c || b->obj) {
        I->host_line(c->name + ": newobject outside its own creation");
        return nullptr;
    }
    void *mem = hostcommon::new_record(c, c->size, b);
    if (!mem) return nullptr;
    b->obj = mem;
    b->record_mem = mem;
    return mem;
}

void *outlet_new(void *x, const char *type) {
    return make_outlet(x, type && std::strcmp(type, "signal") == 0);
}
void *intout(void *x) { return make_outlet(x, false); }
void *listout(void *x) { return make_outlet(x, false); }
void *bangout(void *x) { return make_outlet(x, false); }
void *floatout(void *x) { return make_outlet(x, false); }

void *outlet_int(void *o, int32_t n) {
    t_atom a{};
    atom_setlong(&a, n);
    send_out(o, gensym("int"), 1, &a);
    return nullptr;
}

void *outlet_float(void *o, double f) {
    t_atom a{};
    atom_setfloat(&a, static_cast<float>(f));
    send_out(o, gensym("float"), 1, &a);
    return nullptr;
}

void *outlet_bang(void *o) {
    send_out(o, gensym("bang"), 0, nullptr);
    return nullptr;
}

void *outlet_list(void *o, t_symbol *s, short ac, t_atom *av) {
    send_out(o, s ? s : gensym("list"), ac, av);
    return nullptr;
}

void *outlet_anything(void *o, t_symbol *s, short ac, t_atom *av) {
    send_out(o, s ? s : gensym(""), ac, av);
    return nullptr;
}

void post(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = hostcommon::vformat(fmt, ap);
    va_end(ap);
    if (Host::Impl *I = impl()) I->console(ConsoleLine::Post, s);
}

void error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = hostcommon::vformat(fmt, ap);
    va_end(ap);
    if (Host::Impl *I = impl()) I->console(ConsoleLine::Error, s);
}

void ouchstring(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string s = hostcommon::vformat(fmt, ap);
    va_end(ap);
    if (Host::Impl *I = impl()) I->console(ConsoleLine::Alert, s);
}

char *getbytes(int32_t size) {
    Host::Impl *I = impl();
    if (!I || size < 0 || size > 32767) return nullptr;
    return static_cast<char *>(I->alloc(size, false));
}

void freebytes(void *p, int32_t size) {
    if (Host::Impl *I = impl()) I->release(p, size, false);
}

char *t_getbytes(int32_t size) {
    Host::Impl *I = impl();
    if (!I || size < 0) return nullptr;
    return static_cast<char *>(I->alloc(size, true));
}

void t_freebytes(void *p, int32_t size) {
    if (Host::Impl *I = impl()) I->release(p, size, true);
}

t_symbol *gensym(const char *s) {
    // Symbols are interned for the life of the process, across hosts, since
    // plug-ins may keep them in static storage; the table is never destroyed,
    // so no exit-time destructor pulls symbols from under a late caller.
    static auto &table = *new hostcommon::SymbolTable;
    return hostcommon::intern(table, s);
}

void defer_low(void *x, method fn, t_symbol *s, short ac, t_atom *av) {
    Host::Impl *I = impl();
    if (!I || !fn) return;
    headless::Deferred d{box_for(I, x), x, fn, s, {}};
    if (ac > 0 && av) d.atoms.assign(av, av + ac);
    I->deferred.push_back(std::move(d));
}

// --- signals -------------------------------------------------------------

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
