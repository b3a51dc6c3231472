// Classes and boxes: a class registered by the plug-in's main becomes a Max
// class whose objects ("boxes") each hold one plug-in instance.  Max calls
// every method of a box with its own prototypes; the box hands the message
// on to the plug-in typed as the class registered it.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>

#include "adapter.hpp"

namespace maxad {

namespace {

// A Max long as a plug-in long: the 32-bit ends where it does not fit.
int32_t saturate_long(maxsdk::AtomLong n) {
    if (n > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (n < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(n);
}

// Max's atoms as coerce reads them.  A float is taken at single precision,
// as the plug-ins' atoms and every other host hold it, before it becomes a
// long or a double argument; a long keeps all its bits on the way to a
// double argument.
struct MaxAtoms {
    std::span<const maxsdk::Atom> atoms;
    std::size_t size() const { return atoms.size(); }
    std::optional<int32_t> long_at(std::size_t i) const {
        if (atoms[i].a_type != maxsdk::kLong) return std::nullopt;
        return saturate_long(atoms[i].a_w.w_long);
    }
    std::optional<double> float_at(std::size_t i) const {
        if (atoms[i].a_type != maxsdk::kFloat) return std::nullopt;
        return static_cast<float>(atoms[i].a_w.w_float);
    }
    std::optional<double> number_at(std::size_t i) const {
        if (atoms[i].a_type == maxsdk::kLong) return static_cast<double>(atoms[i].a_w.w_long);
        return float_at(i);
    }
    t_symbol *symbol_at(std::size_t i) const {
        return atoms[i].a_type == maxsdk::kSym ? plugin_symbol(atoms[i].a_w.w_sym) : nullptr;
    }
};

// Max's atoms as an A_GIMME method receives them: longs saturated to 32
// bits, floats rounded to single precision.  False for atoms the plug-ins
// have no type for (objects, pointers).
bool to_plugin_atoms(std::span<const maxsdk::Atom> in, t_atom *out) {
    for (std::size_t i = 0; i < in.size(); ++i) {
        const maxsdk::Atom &a = in[i];
        if (a.a_type == maxsdk::kLong) {
            atom_setlong(&out[i], saturate_long(a.a_w.w_long));
        } else if (a.a_type == maxsdk::kFloat) {
            atom_setfloat(&out[i], static_cast<float>(a.a_w.w_float));
        } else if (a.a_type == maxsdk::kSym) {
            atom_setsym(&out[i], plugin_symbol(a.a_w.w_sym));
        } else {
            return false;
        }
    }
    return true;
}

std::span<const maxsdk::Atom> atoms_of(long argc, const maxsdk::Atom *argv) {
    if (argc <= 0 || !argv) return {};
    return {argv, static_cast<std::size_t>(argc)};
}

constexpr std::size_t kMaxAtoms = hostcommon::kMaxMessageAtoms;

messlist *class_named(std::string_view name) {
    for (auto &c : adapter().classes) {
        if (c->name == name) return c.get();
    }
    return nullptr;
}

using hostcommon::is_cant;

// --- Max's side of a box ---------------------------------------------------------

void box_free(Box *b);

void *box_new(maxsdk::Symbol *s, long argc, maxsdk::Atom *argv) {
    Adapter &a = adapter();
    Running &run = running();
    messlist *c = class_named(s && s->s_name ? s->s_name : "");
    if (!c && a.classes.size() == 1) c = a.classes.front().get();
    if (!c || !c->max) return nullptr;

    auto *b = static_cast<Box *>(maxsdk::alloc_object(c->max));
    if (!b) return nullptr;
    b->state = nullptr;
    void *result = nullptr;
    Box *const saved = run.creating;
    try {
        b->state = new BoxState;
        b->state->cls = c;
        Acting acting(b);
        run.creating = b;
        const auto atoms = atoms_of(argc, argv);
        bool bad_args = false;
        bad_args = atoms.size() > kMaxAtoms ||
                   !hostcommon::construct(
                       c->new_fn, c->new_types, gensym(c->name.c_str()), MaxAtoms{atoms},
                       [&](t_atom *args) { return to_plugin_atoms(atoms, args); }, &result);
        run.creating = saved;
        if (bad_args) error("%s: bad arguments for message \"new\"", c->name.c_str());
    } catch (const std::exception &e) {
        run.creating = saved;
        Acting acting(b);
        host_error(e.what());
        result = nullptr;
    }
    if (b->state && result && result == b->state->record) return b;
    if (result) {
        Acting acting(b);
        host_error("new returned a record the adapter did not make");
    }
    // The plug-in refused the box (or never made a record): the record goes
    // without the plug-in's free function, then the Max object.
    if (b->state) {
        std::free(b->state->record);
        b->state->record = nullptr;
    }
    maxsdk::free_object(b);
    return nullptr;
}

void box_free(Box *b) {
    BoxState *st = b->state;
    if (!st) return;
    // Out of the chain before anything the perform routines read can go,
    // whatever the plug-in's free function does first; its own z_dsp_free
    // then finds the box out already.
    if (st->dsp_set_up && !st->dsp_freed) {
        maxsdk::signal_free(&b->ob);
        st->dsp_freed = true;
    }
    if (st->record && st->cls->free_fn) {
        Acting acting(b);
        reinterpret_cast<void (*)(void *)>(st->cls->free_fn)(st->record);
    }
    // After the free function, which may itself have queued a call.
    forget_pending(b);
    release_bridges(*st);
    std::free(st->record);
    st->record = nullptr;
    b->state = nullptr;
    delete st;
}

void box_bang(Box *b) { dispatch(b, "bang", 0, nullptr); }

void box_int(Box *b, maxsdk::AtomLong n) {
    maxsdk::Atom at{};
    at.a_type = maxsdk::kLong;
    at.a_w.w_long = n;
    dispatch(b, "int", 1, &at);
}

void box_float(Box *b, double f) {
    maxsdk::Atom at{};
    at.a_type = maxsdk::kFloat;
    at.a_w.w_float = f;
    dispatch(b, "float", 1, &at);
}

void box_message(Box *b, maxsdk::Symbol *s, long argc, maxsdk::Atom *argv) {
    dispatch(b, s && s->s_name ? s->s_name : "", argc, argv);
}

// Max's help request: inlet or outlet, and its index.  The buffer is Max's
// and larger than any help text.
void box_assist(Box *b, void *box, long msg, long index, char *dst) {
    if (!b->state || !b->state->record || !dst) return;
    auto it = b->state->cls->bindings.find("assist");
    if (it == b->state->cls->bindings.end()) return;
    Acting acting(b);
    reinterpret_cast<void (*)(void *, void *, int32_t, int32_t, char *)>(it->second.fn)(
        b->state->record, box, static_cast<int32_t>(msg), static_cast<int32_t>(index), dst);
}

template <class R, class... A>
maxsdk::Method max_method(R (*f)(A...)) {
    return reinterpret_cast<maxsdk::Method>(reinterpret_cast<void (*)()>(f));
}

// Binds the Max method that stands for a plug-in binding; false when Max
// cannot call it.
bool bind_max_method(messlist *c, const std::string &selector, const std::vector<short> &types) {
    if (is_cant(types)) {
        // The plug-ins' 32-bit dsp is called by the bridge from Max's dsp64.
        if (selector == "dsp") return true;
        if (selector == "assist") {
            maxsdk::add_cant(c->max, max_method(box_assist), "assist");
            return true;
        }
        return false;
    }
    if (selector == "bang") {
        maxsdk::add_plain(c->max, max_method(box_bang), "bang");
    } else if (selector == "int") {
        maxsdk::add_long(c->max, max_method(box_int), "int");
    } else if (selector == "float") {
        maxsdk::add_float(c->max, max_method(box_float), "float");
    } else {
        maxsdk::add_gimme(c->max, max_method(box_message), selector.c_str());
    }
    return true;
}

}  // namespace

Adapter::Adapter() : FileHost("adapter", heap_hooks()) {}

Adapter &adapter() {
    static Adapter &a = *new Adapter;
    return a;
}

Running &running() {
    thread_local Running r;
    return r;
}

Box *box_of(void *x) {
    if (!x) return nullptr;
    const Running &r = running();
    if (r.creating && r.creating->state && r.creating->state->record == x) return r.creating;
    auto *b = static_cast<Box *>(static_cast<t_object *>(x)->o_box);
    if (b && b->state && b->state->record == x) return b;
    return nullptr;
}

void host_error(const std::string &text) {
    Adapter &a = adapter();
    Box *active = running().active;
    const char *cls = active && active->state ? active->state->cls->name.c_str()
                                              : (a.registering.empty() ? "maxad" : a.registering.c_str());
    const std::string line = std::string(cls) + ": Max host: " + text;
    maxsdk::error_text(active ? &active->ob.z_ob : nullptr, line.c_str());
}

t_symbol *plugin_symbol(const maxsdk::Symbol *s) { return gensym(s && s->s_name ? s->s_name : ""); }

maxsdk::Symbol *max_symbol(const t_symbol *s) { return maxsdk::sym(s && s->s_name ? s->s_name : ""); }

void dispatch(Box *b, std::string_view selector, long argc, const maxsdk::Atom *argv) {
    if (!b || !b->state || !b->state->record) return;
    BoxState &st = *b->state;
    const messlist *c = st.cls;
    const auto atoms = atoms_of(argc, argv);
    // A signal object's messages are made to run beside the audio thread,
    // on any thread Max sends them from (the audio thread itself, when
    // the scheduler runs in the audio interrupt): nothing here allocates
    // for them.  Any other object's run on the main thread.
    if (!c->signal && !maxsdk::on_main_thread()) {
        try {
            queue_pending(Pending{b, {}, std::string(selector), {atoms.begin(), atoms.end()}});
        } catch (const std::exception &e) {
            Acting acting(b);
            host_error(e.what());
        }
        return;
    }
    Acting acting(b);
    const int name_len = static_cast<int>(selector.size());
    auto it = c->bindings.find(selector);
    if (it == c->bindings.end() || is_cant(it->second.types)) {
        error("%s: no method for '%.*s'", c->name.c_str(), name_len, selector.data());
        return;
    }
    if (atoms.size() > kMaxAtoms) {
        error("%s", hostcommon::too_many_atoms(c->name, selector, atoms.size()).c_str());
        return;
    }
    const Binding &binding = it->second;
    try {
        if (!hostcommon::deliver(binding.fn, binding.types, st.record, binding.selector, MaxAtoms{atoms},
                                 [&](t_atom *args) { return to_plugin_atoms(atoms, args); }))
            error("%s: bad arguments for message \"%.*s\"", c->name.c_str(), name_len, selector.data());
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void load_external(const External &e) {
    Adapter &a = adapter();
    try {
        a.registering = e.class_name;
        if (e.bundle_info) a.add_bundle_info(e.bundle_info);
        if (!a.queue) a.queue = new_queue();
        e.entry();
        // Max sees the class once every method and the signal setup are in.
        if (a.setting_up && a.setting_up->max) maxsdk::register_box_class(a.setting_up->max);
    } catch (const std::exception &ex) {
        host_error(ex.what());
    }
    a.registering.clear();
    a.setting_up = nullptr;
}

}  // namespace maxad

using namespace maxad;

extern "C" {

void setup(t_messlist **ident, method makefun, method freefun, int32_t size, method menufun, ...) {
    Adapter &a = adapter();
    va_list ap;
    va_start(ap, menufun);
    std::vector<short> types = hostcommon::read_types(ap);
    va_end(ap);
    if (a.registering.empty()) {
        host_error("setup outside the external's entry point");
        return;
    }
    if (a.setting_up) {
        host_error("an external registers one class");
        return;
    }
    if (auto why = hostcommon::setup_refusal(size, types, "adapter")) {
        host_error(*why);
        return;
    }
    try {
        auto cls = std::make_unique<messlist>(a.registering, makefun, freefun, size, types);
        cls->max = maxsdk::class_new(a.registering.c_str(), max_method(box_new), max_method(box_free),
                                     static_cast<long>(sizeof(Box)));
        if (!cls->max) {
            host_error("Max refused the class");
            return;
        }
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
        if (!bind_max_method(a.setting_up, selector, types)) {
            host_error(std::string("\"") + selector + "\" is a method Max does not call");
            return;
        }
        a.setting_up->bindings[selector] = Binding{f, types, gensym(selector)};
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void addbang(method f) {
    Adapter &a = adapter();
    if (!a.setting_up) return;
    try {
        bind_max_method(a.setting_up, "bang", {});
        a.setting_up->bindings["bang"] = Binding{f, {}, gensym("bang")};
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

void *newobject(void *cls) {
    auto *c = static_cast<messlist *>(cls);
    Box *b = running().creating;
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
