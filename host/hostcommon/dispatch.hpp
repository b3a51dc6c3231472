// Typed dispatch as every host does it: a class's registered argument types
// read from setup's and addmess's lists, a message's atoms coerced to them,
// and the method called through the exact prototype they describe.
//
// Included after the host's view of the Max API (host_api.hpp), so that
// t_symbol, gensym and the type codes are the names that host compiles to.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace hostcommon {

// Typed arguments: each registered type code becomes one of these.
using Arg = std::variant<int32_t, double, t_symbol *>;
// A method is called through one prototype per combination of argument
// types, so their number is bounded; registration refuses longer lists.
constexpr std::size_t kMaxTypedArgs = 4;

// The typed arguments of one call, held in place: a message's delivery
// allocates nothing (a host may deliver on its audio thread).
class ArgList {
public:
    void clear() { n_ = 0; }
    // False when the list is full.
    template <class T>
    bool push(T v) {
        if (n_ == args_.size()) return false;
        args_[n_++] = Arg(v);
        return true;
    }
    const Arg *data() const { return args_.data(); }
    std::size_t size() const { return n_; }
    const Arg &operator[](std::size_t i) const { return args_[i]; }

private:
    std::array<Arg, kMaxTypedArgs> args_{};
    std::size_t n_ = 0;
};

// A method as a class registered it.
struct Binding {
    method fn;
    std::vector<short> types;
};

// What every host keeps of a class, as setup registers it; a host's
// messlist adds its own fields.
template <class BindingT>
struct ClassRecord {
    using Binding = BindingT;
    ClassRecord(std::string class_name, method make, method destroy, int32_t record_size,
                std::vector<short> types)
        : name(std::move(class_name)),
          new_fn(make),
          free_fn(destroy),
          size(record_size),
          new_types(std::move(types)) {}

    std::string name;
    method new_fn = nullptr;
    method free_fn = nullptr;
    int32_t size = 0;  // of the instance record
    std::vector<short> new_types;
    std::map<std::string, BindingT, std::less<>> bindings;  // by selector
};

// A call defer_low queued, run later on behalf of box.
template <class Box>
struct DeferredCall {
    Box *box;
    void *obj;
    method fn;
    t_symbol *s;
    std::vector<t_atom> atoms;
};

// The type list that ends a variadic registration call, A_NOTHING excluded.
inline std::vector<short> read_types(va_list ap) {
    std::vector<short> types;
    for (int t = va_arg(ap, int); t != A_NOTHING; t = va_arg(ap, int)) {
        types.push_back(static_cast<short>(t));
        if (types.size() > 16) break;  // an unterminated list
    }
    return types;
}

// True when a host can call a method registered with these types.
inline bool types_callable(const std::vector<short> &types) {
    if (types.size() == 1 && (types[0] == A_GIMME || types[0] == A_CANT)) return true;
    if (types.size() > kMaxTypedArgs) return false;
    for (short t : types) {
        if (t != A_LONG && t != A_DEFLONG && t != A_FLOAT && t != A_SYM && t != A_DEFSYM) return false;
    }
    return true;
}

// Why a host cannot take the class setup registers (a record smaller than
// the header every record begins with, creation argument types it cannot
// call), for its own line; nothing when it can.  noun names the host.
inline std::optional<std::string> setup_refusal(int32_t size, const std::vector<short> &types,
                                                std::string_view noun) {
    if (size < static_cast<int32_t>(sizeof(t_object)))
        return "record size " + std::to_string(size) + " is too small";
    if (!types_callable(types)) return "creation argument types the " + std::string(noun) + " cannot call";
    return std::nullopt;
}

// Why a host cannot take a binding addmess registers; nothing when it can.
inline std::optional<std::string> binding_refusal(const char *selector, const std::vector<short> &types,
                                                  std::string_view noun) {
    if (types_callable(types)) return std::nullopt;
    return std::string("argument types of \"") + selector + "\" the " + std::string(noun) + " cannot call";
}

// A float as a Max long: toward zero, saturating at the ends, NaN as 0.
inline int32_t saturate_to_int32(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);  // truncates toward zero, in range
}

// Coerces a message's atoms to the registered types as Max does; false when
// a symbol stands where a number is required, or the reverse.  Missing atoms
// take the type's default.  Atoms is the host's view of its own atoms:
//   size()         how many there are
//   long_at(i)     an integer atom's value, else nothing
//   float_at(i)    a float atom's value, else nothing
//   symbol_at(i)   a symbol atom's Max symbol, else null
//   number_at(i)   optional: a number atom's value for a float parameter,
//                  for hosts whose integers are wider than long_at's
//   empty_symbol() optional: the symbol a missing A_DEFSYM atom takes, for
//                  a host that must not make it there (else gensym(""))
template <class Atoms>
bool coerce(const std::vector<short> &types, const Atoms &atoms, ArgList &out) {
    out.clear();
    if (types.size() > kMaxTypedArgs) return false;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const bool given = i < atoms.size();
        switch (types[i]) {
        case A_LONG:
        case A_DEFLONG:
            if (!given) {
                out.push(int32_t{0});
            } else if (const std::optional<int32_t> n = atoms.long_at(i)) {
                out.push(*n);
            } else if (const std::optional<double> f = atoms.float_at(i)) {
                out.push(saturate_to_int32(*f));
            } else {
                return false;
            }
            break;
        case A_FLOAT:
            if (!given) {
                out.push(0.0);
            } else if constexpr (requires { atoms.number_at(i); }) {
                const std::optional<double> v = atoms.number_at(i);
                if (!v) return false;
                out.push(*v);
            } else if (const std::optional<int32_t> n = atoms.long_at(i)) {
                out.push(static_cast<double>(*n));
            } else if (const std::optional<double> f = atoms.float_at(i)) {
                out.push(*f);
            } else {
                return false;
            }
            break;
        case A_SYM:
        case A_DEFSYM:
            if (!given) {
                if constexpr (requires { atoms.empty_symbol(); }) {
                    out.push(atoms.empty_symbol());
                } else {
                    out.push(gensym(""));
                }
            } else if (t_symbol *s = atoms.symbol_at(i)) {
                out.push(s);
            } else {
                return false;
            }
            break;
        default: return false;
        }
    }
    return true;
}

// Max's own atoms as coerce reads them, for a host whose messages carry
// them already.
struct MaxAtoms {
    std::span<const t_atom> atoms;
    std::size_t size() const { return atoms.size(); }
    std::optional<int32_t> long_at(std::size_t i) const {
        if (atoms[i].a_type != A_LONG) return std::nullopt;
        return atoms[i].a_w.w_long;
    }
    std::optional<double> float_at(std::size_t i) const {
        if (atoms[i].a_type != A_FLOAT) return std::nullopt;
        return atoms[i].a_w.w_float;
    }
    t_symbol *symbol_at(std::size_t i) const {
        return atoms[i].a_type == A_SYM ? atoms[i].a_w.w_sym : nullptr;
    }
};

// Calls fn through the prototype R(P..., the types of args...).
template <typename R, std::size_t Depth = 0, typename... P>
R call_typed(method fn, const Arg *args, std::size_t n, P... prefix) {
    if (n == 0) return reinterpret_cast<R (*)(P...)>(fn)(prefix...);
    if constexpr (Depth < kMaxTypedArgs) {
        return std::visit(
            [&](auto v) -> R { return call_typed<R, Depth + 1>(fn, args + 1, n - 1, prefix..., v); },
            args[0]);
    } else {
        std::abort();  // registration refuses longer type lists
    }
}

// An A_GIMME method, or a deferred call: the selector and the atoms as
// they are.  The method may write to the atoms, so they are the caller's.
inline void call_gimme(method fn, void *obj, t_symbol *s, std::span<t_atom> atoms) {
    reinterpret_cast<void (*)(void *, t_symbol *, short, t_atom *)>(fn)(
        obj, s, static_cast<short>(atoms.size()), atoms.empty() ? nullptr : atoms.data());
}
inline void call_gimme(method fn, void *obj, t_symbol *s, std::vector<t_atom> &atoms) {
    call_gimme(fn, obj, s, std::span<t_atom>(atoms));
}

// An A_GIMME creation function.  The count fits a short: construct refuses
// more atoms.
inline void *new_gimme(method fn, t_symbol *s, std::span<t_atom> atoms) {
    return reinterpret_cast<void *(*)(t_symbol *, short, t_atom *)>(fn)(
        s, static_cast<short>(atoms.size()), atoms.empty() ? nullptr : atoms.data());
}

// Room for a message's atoms in their A_GIMME form: the room the caller
// made in advance when it is enough, else in place for the usual short
// message, else on the heap.
class AtomBuffer {
public:
    explicit AtomBuffer(std::span<t_atom> room = {}) : room_(room) {}
    // Null when there is no memory for n atoms.
    t_atom *take(std::size_t n) {
        n_ = n;
        if (in_room()) return room_.data();
        if (n <= small_.size()) return small_.data();
        try {
            large_.assign(n, t_atom{});
        } catch (const std::exception &) {
            return nullptr;
        }
        return large_.data();
    }
    std::span<t_atom> atoms() {
        if (in_room()) return room_.first(n_);
        return {n_ <= small_.size() ? small_.data() : large_.data(), n_};
    }

private:
    bool in_room() const { return !room_.empty() && n_ <= room_.size(); }

    std::span<t_atom> room_;
    std::array<t_atom, 16> small_{};
    std::vector<t_atom> large_;
    std::size_t n_ = 0;
};

// A plug-in method takes its atom count as a short: a longer message
// cannot reach it whole, and is refused rather than cut or wrapped.
constexpr std::size_t kMaxMessageAtoms = 32767;

// The one line a host prints when it refuses a message that long.
inline std::string too_many_atoms(const std::string &class_name, std::string_view selector,
                                  std::size_t count) {
    return class_name + ": message \"" + std::string(selector) + "\" of " + std::to_string(count) +
           " atoms refused: at most " + std::to_string(kMaxMessageAtoms) + " are taken";
}

inline bool is_gimme(const std::vector<short> &types) { return types.size() == 1 && types[0] == A_GIMME; }
inline bool is_cant(const std::vector<short> &types) { return types.size() == 1 && types[0] == A_CANT; }

// How a host's number messages reach a class without a method of their
// own.  Max converts them itself before its adapter sees them, and the
// headless host keeps to the exact method, as the stand-in for Max does;
// Pd's numbers are neither int nor float, so its adapter names them by
// their value and lets them reach the other number method, then the list
// method.
enum class NumberConversion { None, OtherNumberThenList };

// Where a message goes in a class.
template <class BindingT>
struct Route {
    const BindingT *binding = nullptr;  // null: nowhere, and the host says so in its own words
    std::string_view method;            // the selector the method was bound to
    bool anything = false;              // the class's catch-all, which takes the message's own selector
};

// The one lookup of every host: the method bound to the selector, then the
// host's number conversions, then the class's anything method.  A method
// only the host calls (A_CANT) is none of them.
template <class BindingT>
Route<BindingT> route(const std::map<std::string, BindingT, std::less<>> &bindings, std::string_view selector,
                      NumberConversion numbers) {
    auto callable = [&](std::string_view name) -> Route<BindingT> {
        auto it = bindings.find(name);
        if (it == bindings.end() || is_cant(it->second.types)) return {};
        return {&it->second, it->first, false};
    };
    if (auto r = callable(selector); r.binding) return r;
    if (numbers == NumberConversion::OtherNumberThenList && (selector == "int" || selector == "float")) {
        if (auto r = callable(selector == "int" ? "float" : "int"); r.binding) return r;
        if (auto r = callable("list"); r.binding) return r;
    }
    if (auto r = callable("anything"); r.binding) {
        r.anything = true;
        return r;
    }
    return {};
}

// What became of a message, or of a creation: taken, refused for its
// atoms' types, or refused for their number (too_many_atoms says so).
enum class Delivery { Done, BadArguments, TooManyAtoms };

// Calls a method bound with these types: an A_GIMME one with the atoms as
// the host makes them (to_atoms(t_atom *out) fills atoms.size() of them and
// says whether it could), in room when the caller made enough in advance,
// any other with the message's atoms coerced to its types.  Nothing is
// called when the atoms do not fit.
template <class Atoms, class ToAtoms>
Delivery deliver(method fn, const std::vector<short> &types, void *record, t_symbol *selector,
                 const Atoms &atoms, ToAtoms &&to_atoms, std::span<t_atom> room = {}) {
    if (atoms.size() > kMaxMessageAtoms) return Delivery::TooManyAtoms;
    if (is_gimme(types)) {
        AtomBuffer buffer(room);
        t_atom *out = buffer.take(atoms.size());
        if (!out || !to_atoms(out)) return Delivery::BadArguments;
        call_gimme(fn, record, selector, buffer.atoms());
        return Delivery::Done;
    }
    ArgList typed;
    if (!coerce(types, atoms, typed)) return Delivery::BadArguments;
    call_typed<void>(fn, typed.data(), typed.size(), record);
    return Delivery::Done;
}

// Calls a class's creation function the same way; *made is its result.
template <class Atoms, class ToAtoms>
Delivery construct(method fn, const std::vector<short> &types, t_symbol *class_name, const Atoms &atoms,
                   ToAtoms &&to_atoms, void **made) {
    *made = nullptr;
    if (atoms.size() > kMaxMessageAtoms) return Delivery::TooManyAtoms;
    if (is_gimme(types)) {
        AtomBuffer buffer;
        t_atom *out = buffer.take(atoms.size());
        if (!out || !to_atoms(out)) return Delivery::BadArguments;
        *made = new_gimme(fn, class_name, buffer.atoms());
        return Delivery::Done;
    }
    ArgList typed;
    if (!coerce(types, atoms, typed)) return Delivery::BadArguments;
    *made = call_typed<void *>(fn, typed.data(), typed.size());
    return Delivery::Done;
}

// A host's own atoms, delivered as they are.
inline bool copy_atoms(std::span<const t_atom> in, t_atom *out) {
    std::copy(in.begin(), in.end(), out);
    return true;
}

// The instance record newobject hands out: zeroed, its header naming the
// class and the host's box.  Null when there is no memory for it.
inline void *new_record(t_messlist *cls, int32_t size, void *box) {
    void *mem = std::calloc(1, static_cast<std::size_t>(size));
    if (!mem) return nullptr;
    auto *ob = static_cast<t_object *>(mem);
    ob->o_messlist = cls;
    ob->o_box = box;
    return mem;
}

}  // namespace hostcommon
