// Classes and boxes: a Max class registered by the plug-in's main becomes a
// Pd class whose objects ("boxes") each hold one Max instance; Pd's
// messages reach the instance's methods typed as the class registered them.
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "adapter.hpp"

namespace pdmax {

namespace {

bool integral_int32(t_float f) {
    return std::isfinite(f) && std::trunc(f) == f && f >= -2147483648.0f && f < 2147483648.0f;
}

t_symbol *max_symbol(PdSymbol *s) { return gensym(s ? s->s_name : ""); }

// Pd's atoms as coerce reads them: Pd has floats and symbols, no integers.
struct PdAtoms {
    int argc;
    const PdAtom *argv;
    std::size_t size() const { return argc > 0 ? static_cast<std::size_t>(argc) : 0; }
    std::optional<int32_t> long_at(std::size_t) const { return std::nullopt; }
    std::optional<double> float_at(std::size_t i) const {
        if (argv[i].a_type != kPdFloat) return std::nullopt;
        return argv[i].a_w.w_float;
    }
    t_symbol *symbol_at(std::size_t i) const {
        return argv[i].a_type == kPdSymbol ? max_symbol(argv[i].a_w.w_symbol) : nullptr;
    }
};

// Pd's atoms as an A_GIMME method receives them.  False for atoms Max has no
// type for (pointers).
bool to_max_atoms(const Typing &typing, int argc, const PdAtom *argv, t_atom *out) {
    for (int i = 0; i < argc; ++i) {
        const PdAtom &a = argv[i];
        if (a.a_type == kPdFloat) {
            const NumberAs as = i == 0 ? typing.first : typing.rest;
            if (as == NumberAs::LongWhenIntegral && integral_int32(a.a_w.w_float)) {
                atom_setlong(&out[i], static_cast<int32_t>(a.a_w.w_float));
            } else {
                atom_setfloat(&out[i], a.a_w.w_float);
            }
        } else if (a.a_type == kPdSymbol) {
            atom_setsym(&out[i], max_symbol(a.a_w.w_symbol));
        } else {
            return false;
        }
    }
    return true;
}

Typing typing_for(const std::string &selector) {
    for (const Hint &h : adapter().hints) {
        if (selector == h.selector) return h.typing;
    }
    return Typing{};
}

messlist *class_named(std::string_view name) {
    for (auto &c : adapter().classes) {
        if (c->name == name) return c.get();
    }
    return nullptr;
}

// --- Pd's side of a box --------------------------------------------------------

void free_record(BoxState &st) {
    std::free(st.record);
    st.record = nullptr;
}

void *box_new(PdSymbol *s, int argc, PdAtom *argv) {
    Adapter &a = adapter();
    messlist *c = class_named(s ? s->s_name : "");
    if (!c && a.classes.size() == 1) c = a.classes.front().get();
    if (!c || !c->pd) return nullptr;

    auto *b = reinterpret_cast<Box *>(pd_new(c->pd));
    if (!b) return nullptr;
    b->state = nullptr;
    try {
        b->state = new BoxState;
        BoxState &st = *b->state;
        st.cls = c;
        st.canvas = canvas_getcurrent();

        void *result = nullptr;
        {
            Acting acting(b);
            Box *saved = a.creating;
            a.creating = b;
            const hostcommon::Delivery made = hostcommon::construct(
                c->new_fn, c->new_types, gensym(c->name.c_str()), PdAtoms{argc, argv},
                [&](t_atom *atoms) { return to_max_atoms(typing_for("new"), argc, argv, atoms); }, &result);
            a.creating = saved;
            if (made == hostcommon::Delivery::BadArguments)
                error("%s: bad arguments for message \"new\"", c->name.c_str());
            if (made == hostcommon::Delivery::TooManyAtoms)
                error("%s", hostcommon::too_many_atoms(c->name, "new", PdAtoms{argc, argv}.size()).c_str());
        }
        if (!result || result != st.record) {
            if (result) host_error("new returned a record the adapter did not make");
            // Pd says "couldn't create"; the record goes, the box with it.
            free_record(st);
            pd_free(&b->pd.ob_pd);
            return nullptr;
        }
        // Max puts each new outlet left of the earlier ones, Pd to the right
        // of them: the last one made goes first.
        for (auto it = st.outlets.rbegin(); it != st.outlets.rend(); ++it)
            (*it)->pd = pd_outlet_new(&b->pd, (*it)->type);
        return b;
    } catch (const std::exception &e) {
        pd_error(nullptr, "%s: %s", c->name.c_str(), e.what());
        if (b->state) free_record(*b->state);
        pd_free(&b->pd.ob_pd);
        return nullptr;
    }
}

void box_free(Box *b) {
    if (!b->state) return;
    BoxState &st = *b->state;
    close_panel(b);
    if (st.record && st.cls->free_fn) {
        Acting acting(b);
        reinterpret_cast<void (*)(void *)>(st.cls->free_fn)(st.record);
    }
    // After the free function, which may itself have queued a call.
    forget_deferred(b);
    free_record(st);
    delete b->state;
    b->state = nullptr;
}

void box_bang(Box *b) { dispatch(b, "bang", &s_bang, 0, nullptr); }

// One float: an int message when it is whole, else a float message; the
// lookup takes it on to the other number method, or the list method.
void box_float(Box *b, t_floatarg f) {
    PdAtom at;
    pd_set_float(&at, f);
    dispatch(b, integral_int32(f) ? "int" : "float", &s_float, 1, &at);
}

void box_list(Box *b, PdSymbol *, int argc, PdAtom *argv) { dispatch(b, "list", &s_list, argc, argv); }

// A selector bound by name has its own Pd method; the rest come here, and
// the lookup finds Max's catch-all.
void box_anything(Box *b, PdSymbol *s, int argc, PdAtom *argv) { dispatch(b, s->s_name, s, argc, argv); }

void box_message(Box *b, PdSymbol *s, int argc, PdAtom *argv) { dispatch(b, s->s_name, s, argc, argv); }

}  // namespace

Adapter::Adapter() : FileHost("adapter", heap_hooks()) {}

Adapter &adapter() {
    static Adapter &a = *new Adapter;
    return a;
}

Box *box_of(void *x) {
    if (!x) return nullptr;
    Adapter &a = adapter();
    if (a.creating && a.creating->state && a.creating->state->record == x) return a.creating;
    auto *b = static_cast<Box *>(static_cast<t_object *>(x)->o_box);
    if (b && b->state && b->state->record == x) return b;
    return nullptr;
}

void host_error(const std::string &text) {
    Adapter &a = adapter();
    const char *cls = a.active && a.active->state ? a.active->state->cls->name.c_str()
                                                  : (a.registering.empty() ? "pdmax" : a.registering.c_str());
    pd_error(a.active ? &a.active->pd : nullptr, "%s: Pd host: %s", cls, text.c_str());
}

void dispatch(Box *b, std::string_view selector, PdSymbol *actual, int argc, PdAtom *argv) {
    if (!b || !b->state || !b->state->record) return;
    BoxState &st = *b->state;
    const messlist *c = st.cls;
    const auto to =
        hostcommon::route(c->bindings, selector, hostcommon::NumberConversion::OtherNumberThenList);
    if (!to.binding) {
        pd_error(&b->pd, "%s: no method for '%s'", c->name.c_str(), actual ? actual->s_name : "?");
        return;
    }
    const auto &binding = *to.binding;
    Acting acting(b);
    try {
        // A method reached by conversion is called with its own selector;
        // the catch-all with the message's.
        t_symbol *called = to.anything ? max_symbol(actual) : gensym(std::string(to.method).c_str());
        const PdAtoms atoms{argc, argv};
        const auto done =
            hostcommon::deliver(binding.fn, binding.types, st.record, called, atoms,
                                [&](t_atom *out) { return to_max_atoms(binding.typing, argc, argv, out); });
        if (done == hostcommon::Delivery::TooManyAtoms)
            error("%s", hostcommon::too_many_atoms(c->name, selector, atoms.size()).c_str());
        if (done == hostcommon::Delivery::BadArguments)
            error("%s: bad arguments for message \"%s\"", c->name.c_str(), actual->s_name);
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void bind_pd_method(messlist *c, const std::string &selector, const std::vector<short> &types) {
    if (!c->pd) return;
    // The host alone calls A_CANT methods; dsp is bound with the signal class.
    if (types.size() == 1 && types[0] == A_CANT) return;
    if (selector == "bang") {
        class_addbang(c->pd, box_bang);
    } else if (selector == "int" || selector == "float") {
        class_addfloat(c->pd, box_float);
    } else if (selector == "list") {
        class_addlist(c->pd, box_list);
    } else if (selector == "anything") {
        class_addanything(c->pd, box_anything);
    } else {
        class_addmethod(c->pd, pd_method(box_message), pd_gensym(selector.c_str()), kPdGimme, kPdNull);
    }
}

void load_external(const External &e) {
    Adapter &a = adapter();
    try {
        a.registering = e.class_name;
        a.hints.assign(e.hints.begin(), e.hints.end());
        if (e.bundle_info) a.add_bundle_info(e.bundle_info);
        e.entry();
    } catch (const std::exception &ex) {
        host_error(ex.what());
    }
    a.registering.clear();
    a.setting_up = nullptr;
}

}  // namespace pdmax

using namespace pdmax;

extern "C" {

void setup(t_messlist **ident, method makefun, method freefun, int32_t size, method menufun, ...) {
    Adapter &a = adapter();
    va_list ap;
    va_start(ap, menufun);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    const std::string name = a.registering.empty() ? "unnamed" : a.registering;
    if (auto why = hostcommon::setup_refusal(size, types, "adapter")) {
        host_error(*why);
        return;
    }
    try {
        auto cls = std::make_unique<messlist>(name, makefun, freefun, size, types);
        cls->pd = class_new(pd_gensym(name.c_str()), pd_newmethod(box_new), pd_method(box_free), sizeof(Box),
                            CLASS_DEFAULT, kPdGimme, kPdNull);
        a.setting_up = cls.get();
        a.classes.push_back(std::move(cls));
        if (ident) *ident = a.setting_up;
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void addmess(method f, const char *selector, ...) {
    Adapter &a = adapter();
    if (!a.setting_up || !selector) return;
    va_list ap;
    va_start(ap, selector);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    if (auto why = hostcommon::binding_refusal(selector, types, "adapter")) {
        host_error(*why);
        return;
    }
    try {
        a.setting_up->bindings[selector] = Binding{f, types, typing_for(selector)};
        bind_pd_method(a.setting_up, selector, types);
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void addbang(method f) {
    Adapter &a = adapter();
    if (!a.setting_up) return;
    try {
        a.setting_up->bindings["bang"] = Binding{f, {}, Typing{}};
        bind_pd_method(a.setting_up, "bang", {});
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void *newobject(void *cls) {
    Adapter &a = adapter();
    auto *c = static_cast<messlist *>(cls);
    Box *b = a.creating;
    if (!c || !b || b->state->cls != c || b->state->record) {
        host_error("newobject outside its own creation");
        return nullptr;
    }
    void *mem = hostcommon::new_record(c, c->size, b);
    if (!mem) return nullptr;
    b->state->record = mem;
    return mem;
}

}  // extern "C"
