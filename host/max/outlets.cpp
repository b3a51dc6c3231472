// Outlets, the console, memory and symbols, each over Max's own.
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "adapter.hpp"

namespace maxad {

namespace {

void *make_outlet(void *x, const char *type) {
    Box *b = box_of(x);
    if (!b) {
        host_error("an outlet was asked for an object the adapter does not know");
        return nullptr;
    }
    void *o = maxsdk::new_outlet(b, type);
    if (o && type && std::strcmp(type, "signal") == 0) ++b->state->signal_outlets;
    return o;
}

// The plug-ins' atoms as Max's: longs and floats widened, symbols Max's.
template <class Send>
void send_atoms(short ac, const t_atom *av, Send &&send) {
    const std::size_t n = ac > 0 && av ? static_cast<std::size_t>(ac) : 0;
    maxsdk::Atom small[16];
    std::vector<maxsdk::Atom> large;
    maxsdk::Atom *atoms = small;
    if (n > std::size(small)) {
        try {
            large.resize(n);
        } catch (const std::exception &e) {
            host_error(e.what());
            return;
        }
        atoms = large.data();
    }
    for (std::size_t i = 0; i < n; ++i) {
        maxsdk::Atom &m = atoms[i];
        m = maxsdk::Atom{};
        switch (av[i].a_type) {
        case A_LONG:
            m.a_type = maxsdk::kLong;
            m.a_w.w_long = av[i].a_w.w_long;
            break;
        case A_FLOAT:
            m.a_type = maxsdk::kFloat;
            m.a_w.w_float = av[i].a_w.w_float;
            break;
        case A_SYM:
            m.a_type = maxsdk::kSym;
            m.a_w.w_sym = max_symbol(av[i].a_w.w_sym);
            break;
        default:
            m.a_type = maxsdk::kLong;
            m.a_w.w_long = 0;
            break;
        }
    }
    send(static_cast<short>(n), atoms);
}

// Max's message keywords.  A list that starts with one goes out as a list,
// with the keyword first, so that it cannot call that method of the
// receiver.  So does one that starts with the empty symbol (a marker whose
// name begins with a NUL), which no receiver could route.
bool is_keyword(const t_symbol *s) {
    static constexpr const char *keywords[] = {"bang", "int", "float", "list", "symbol", "set", ""};
    const char *name = s && s->s_name ? s->s_name : "";
    return std::any_of(std::begin(keywords), std::end(keywords),
                       [name](const char *k) { return std::strcmp(k, name) == 0; });
}

bool is_list(const t_symbol *s) { return s->s_name && std::strcmp(s->s_name, "list") == 0; }

// A list as Max carries one.  Max's lists start with a number: one that
// starts with a symbol is, in Max, the message of that symbol with the rest
// as its arguments (brindle~'s NAME TIME), and goes out as that message.
void send_list(void *o, short ac, const t_atom *av) {
    if (ac > 0 && av && av[0].a_type == A_SYM && !is_keyword(av[0].a_w.w_sym)) {
        maxsdk::Symbol *selector = max_symbol(av[0].a_w.w_sym);
        send_atoms(static_cast<short>(ac - 1), av + 1,
                   [&](short n, maxsdk::Atom *atoms) { maxsdk::send_anything(o, selector, n, atoms); });
        return;
    }
    send_atoms(ac, av, [&](short n, maxsdk::Atom *atoms) { maxsdk::send_list(o, n, atoms); });
}

void send_message(void *o, const t_symbol *s, bool list, short ac, const t_atom *av) {
    if (list) {
        send_list(o, ac, av);
        return;
    }
    send_atoms(ac, av,
               [&](short n, maxsdk::Atom *atoms) { maxsdk::send_anything(o, max_symbol(s), n, atoms); });
}

maxsdk::Object *active_object() {
    Box *active = running().active;
    return active ? &active->ob.z_ob : nullptr;
}

}  // namespace

}  // namespace maxad

using namespace maxad;

extern "C" {

void *outlet_new(void *x, const char *type) { return make_outlet(x, type); }
void *intout(void *x) { return make_outlet(x, "int"); }
void *listout(void *x) { return make_outlet(x, "list"); }
void *bangout(void *x) { return make_outlet(x, "bang"); }
void *floatout(void *x) { return make_outlet(x, "float"); }

void *outlet_int(void *o, int32_t n) {
    if (o) maxsdk::send_int(o, n);
    return nullptr;
}

void *outlet_float(void *o, double f) {
    if (o) maxsdk::send_float(o, f);
    return nullptr;
}

void *outlet_bang(void *o) {
    if (o) maxsdk::send_bang(o);
    return nullptr;
}

// Either call with the selector "list" (outlet_list's default) sends a list
// as Max carries one; the SDK forbids that selector to outlet_anything.
void *outlet_list(void *o, t_symbol *s, short ac, t_atom *av) {
    if (o) send_message(o, s, !s || is_list(s), ac, av);
    return nullptr;
}

void *outlet_anything(void *o, t_symbol *s, short ac, t_atom *av) {
    if (o) send_message(o, s, s && is_list(s), ac, av);
    return nullptr;
}

// No exception may leave for the plug-in or Max: a line that cannot be
// made for want of memory is lost.
void post(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    try {
        maxsdk::post_text(active_object(), hostcommon::vformat(fmt, ap).c_str());
    } catch (const std::exception &) {
    }
    va_end(ap);
}

void error(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    try {
        maxsdk::error_text(active_object(), hostcommon::vformat(fmt, ap).c_str());
    } catch (const std::exception &) {
    }
    va_end(ap);
}

void ouchstring(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    try {
        maxsdk::alert_text(hostcommon::vformat(fmt, ap).c_str());
    } catch (const std::exception &) {
    }
    va_end(ap);
}

// Blocks come from Max's allocator, as its own getbytes does; the small
// ones keep the 16-bit limit the plug-ins rely on.
char *getbytes(int32_t size) {
    if (size < 0 || size > 32767) return nullptr;
    return maxsdk::newptr(size > 0 ? size : 1);
}

void freebytes(void *p, int32_t) {
    if (p) maxsdk::freeptr(p);
}

char *t_getbytes(int32_t size) {
    if (size < 0) return nullptr;
    return maxsdk::newptr(size > 0 ? size : 1);
}

void t_freebytes(void *p, int32_t) {
    if (p) maxsdk::freeptr(p);
}

// Symbols are the adapter's own, interned for the life of the process; a
// plug-in may keep them in static storage.  Max's symbols are of Max's own
// type, so the two are matched by name where they meet.
t_symbol *gensym(const char *s) {
    static t_symbol fallback{const_cast<char *>(""), nullptr};
    try {
        Adapter &a = adapter();
        SpinGuard locked(a.symbols_lock);
        return hostcommon::intern(a.symbols, s);
    } catch (const std::exception &) {
        return &fallback;
    }
}

}  // extern "C"
