// Outlets, the console, memory and symbols.  Every message that leaves an
// outlet and every console line is recorded in order; every block is
// accounted to the box whose code asked for it.
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host_impl.hpp"

#include "atoms.hpp"

namespace headless {

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

}  // namespace headless

using headless::Box;
using headless::box_for;
using headless::ConsoleLine;
using headless::Host;
using headless::impl;

namespace {

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

}  // extern "C"
