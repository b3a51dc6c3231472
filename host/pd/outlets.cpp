// Outlets, the console, memory and symbols.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "adapter.hpp"

namespace pdmax {

namespace {

void *make_outlet(void *x, PdSymbol *type) {
    Box *b = box_of(x);
    if (!b) {
        host_error("an outlet was asked for an object the adapter does not know");
        return nullptr;
    }
    try {
        b->state->outlets.push_back(std::make_unique<Outlet>(Outlet{type}));
    } catch (const std::exception &e) {
        host_error(e.what());
        return nullptr;
    }
    Outlet *o = b->state->outlets.back().get();
    // Made after creation: Pd can only add it on the right.
    if (b != adapter().creating) o->pd = pd_outlet_new(&b->pd, type);
    return o;
}

t_outlet *pd_outlet_of(void *o) { return o ? static_cast<Outlet *>(o)->pd : nullptr; }

// Max's atoms as Pd's: longs and floats become floats (exact below 2^24),
// symbols Pd's symbols.
void send(void *o, PdSymbol *selector, short ac, const t_atom *av) {
    t_outlet *out = pd_outlet_of(o);
    if (!out) return;
    const int n = ac > 0 && av ? ac : 0;
    PdAtom small[16];
    std::vector<PdAtom> large;
    PdAtom *atoms = small;
    if (n > 16) {
        try {
            large.resize(static_cast<std::size_t>(n));
        } catch (const std::exception &e) {
            host_error(e.what());
            return;
        }
        atoms = large.data();
    }
    for (int i = 0; i < n; ++i) {
        switch (av[i].a_type) {
        case A_LONG: pd_set_float(&atoms[i], static_cast<t_float>(av[i].a_w.w_long)); break;
        case A_FLOAT: pd_set_float(&atoms[i], av[i].a_w.w_float); break;
        case A_SYM:
            pd_set_symbol(&atoms[i], pd_gensym(av[i].a_w.w_sym ? av[i].a_w.w_sym->s_name : ""));
            break;
        default: pd_set_float(&atoms[i], 0); break;
        }
    }
    if (selector == &s_list) {
        pd_outlet_list(out, n, atoms);
    } else {
        pd_outlet_anything(out, selector, n, atoms);
    }
}

// The Pd object a console error points to, which the Pd window's link on
// the line and Find Last Error select: the box whose code runs, once it
// holds its instance.  A box without one is still being created, and a
// creation that reports an error is one that fails: Pd frees the box at
// once and puts its own broken box, with its own "couldn't create" lines,
// in its place.  The freed address would dangle, and when the next object
// made reuses it, Find Last Error would select that unrelated object.
const void *error_source() {
    const Box *b = adapter().active;
    return b && b->state && b->state->record ? &b->pd : nullptr;
}

const char *class_name_of_active() {
    Adapter &a = adapter();
    return a.active && a.active->state ? a.active->state->cls->name.c_str() : a.registering.c_str();
}

}  // namespace

}  // namespace pdmax

using namespace pdmax;

extern "C" {

void *outlet_new(void *x, const char *type) { return make_outlet(x, type ? pd_gensym(type) : nullptr); }
void *intout(void *x) { return make_outlet(x, &s_float); }
void *listout(void *x) { return make_outlet(x, &s_list); }
void *bangout(void *x) { return make_outlet(x, &s_bang); }
void *floatout(void *x) { return make_outlet(x, &s_float); }

void *outlet_int(void *o, int32_t n) {
    if (t_outlet *out = pd_outlet_of(o)) pd_outlet_float(out, static_cast<t_float>(n));
    return nullptr;
}

void *outlet_float(void *o, double f) {
    if (t_outlet *out = pd_outlet_of(o)) pd_outlet_float(out, static_cast<t_float>(f));
    return nullptr;
}

void *outlet_bang(void *o) {
    if (t_outlet *out = pd_outlet_of(o)) pd_outlet_bang(out);
    return nullptr;
}

void *outlet_list(void *o, t_symbol *s, short ac, t_atom *av) {
    const bool is_list = !s || std::strcmp(s->s_name, "list") == 0;
    send(o, is_list ? &s_list : pd_gensym(s->s_name), ac, av);
    return nullptr;
}

void *outlet_anything(void *o, t_symbol *s, short ac, t_atom *av) {
    send(o, pd_gensym(s ? s->s_name : ""), ac, av);
    return nullptr;
}

void post(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const std::string s = hostcommon::vformat(fmt, ap);
    va_end(ap);
    pd_post(s.c_str());
}

void error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const std::string s = hostcommon::vformat(fmt, ap);
    va_end(ap);
    pd_error(error_source(), "%s", s.c_str());
}

// Pd has no alert box for objects; its console is where a Pd user looks.
void ouchstring(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const std::string s = hostcommon::vformat(fmt, ap);
    va_end(ap);
    pd_error(error_source(), "%s: %s", class_name_of_active(), s.c_str());
}

char *getbytes(int32_t size) {
    if (size < 0 || size > 32767) return nullptr;
    return static_cast<char *>(std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1));
}

void freebytes(void *p, int32_t) { std::free(p); }

char *t_getbytes(int32_t size) {
    if (size < 0) return nullptr;
    return static_cast<char *>(std::malloc(size > 0 ? static_cast<std::size_t>(size) : 1));
}

void t_freebytes(void *p, int32_t) { std::free(p); }

// Symbols are the adapter's own, interned for the life of the process; a
// plug-in may keep them in static storage.
t_symbol *gensym(const char *s) {
    static t_symbol fallback{const_cast<char *>(""), nullptr};
    try {
        return hostcommon::intern(adapter().symbols, s);
    } catch (const std::exception &) {
        return &fallback;
    }
}

}  // extern "C"
