// Pd's headers, and the adapter's own names for what Pd and the Max API both
// name.  Every adapter source includes this first and max.hpp second: from
// max.hpp on, t_atom, t_symbol, t_object, t_class, t_signal, A_FLOAT, post,
// gensym and the rest mean Max's, as the plug-ins see them, and Pd's are
// reached through the names below, which are bound before max.hpp takes the
// plain ones over.
#pragma once

#include <m_pd.h>
#include <g_canvas.h>
// m_imp.h (0.53) declares C functions without a guard of its own.
extern "C" {
#include <m_imp.h>
}

#include <cstddef>

static_assert(sizeof(t_sample) == sizeof(float), "the adapter needs Pd built with 32-bit samples");

namespace pdmax {

using PdAtom = t_atom;
using PdSymbol = t_symbol;
using PdObject = t_object;
using PdClass = t_class;
using PdSignal = t_signal;
using PdPerfRoutine = t_perfroutine;
using PdInt = t_int;

inline constexpr t_atomtype kPdNull = A_NULL;
inline constexpr t_atomtype kPdFloat = A_FLOAT;
inline constexpr t_atomtype kPdSymbol = A_SYMBOL;
inline constexpr t_atomtype kPdGimme = A_GIMME;
inline constexpr t_atomtype kPdCant = A_CANT;

// Pd's functions that share a name with a Max one.
inline PdSymbol *pd_gensym(const char *s) { return gensym(s); }
inline void pd_post(const char *text) { post("%s", text); }
inline t_outlet *pd_outlet_new(PdObject *owner, PdSymbol *type) { return outlet_new(owner, type); }
inline void pd_outlet_bang(t_outlet *o) { outlet_bang(o); }
inline void pd_outlet_float(t_outlet *o, t_float f) { outlet_float(o, f); }
inline void pd_outlet_list(t_outlet *o, int argc, PdAtom *argv) { outlet_list(o, &s_list, argc, argv); }
inline void pd_outlet_anything(t_outlet *o, PdSymbol *s, int argc, PdAtom *argv) {
    outlet_anything(o, s, argc, argv);
}
inline t_float pd_sys_getsr() { return sys_getsr(); }

// Pd takes methods as one generic pointer type and calls them back with the
// prototype their argument types describe.  Going through void(*)() keeps
// the compiler's function-cast check quiet about that.
template <class R, class... A>
t_method pd_method(R (*f)(A...)) {
    return reinterpret_cast<t_method>(reinterpret_cast<void (*)()>(f));
}
template <class R, class... A>
t_newmethod pd_newmethod(R (*f)(A...)) {
    return reinterpret_cast<t_newmethod>(reinterpret_cast<void (*)()>(f));
}

// Pd's atom macros name A_FLOAT and A_SYMBOL when they expand, which would
// be Max's after max.hpp; these are bound to Pd's now.
inline void pd_set_float(PdAtom *a, t_float f) { SETFLOAT(a, f); }
inline void pd_set_symbol(PdAtom *a, PdSymbol *s) { SETSYMBOL(a, s); }

}  // namespace pdmax
