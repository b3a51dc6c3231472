// Classes and boxes: a class registered by the plug-in's main becomes a Max
// class whose objects ("boxes") each hold one plug-in instance.  Max calls
// every method of a box with its own prototypes; the box hands the message
// on to the plug-in typed as the class registered it.
#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>

#include "adapter.hpp"
#include "handoff.hpp"

namespace maxad {

namespace {

// A Max long as a plug-in long: the 32-bit ends where it does not fit.
int32_t saturate_long(maxsdk::AtomLong n) {
    if (n > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (n < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(n);
}

// The plug-ins' symbol of a Max symbol: made when needed on the main
// thread; elsewhere only looked up, null when it has not been made.
t_symbol *symbol_of(const maxsdk::Symbol *s, bool make) {
    if (make) return plugin_symbol(s);
    return adapter().symbols.find(s && s->s_name ? s->s_name : "");
}

// Max's atoms as coerce reads them.  A float is taken at single precision,
// as the plug-ins' atoms and every other host hold it, before it becomes a
// long or a double argument; a long keeps all its bits on the way to a
// double argument.  Off the main thread every symbol has been made
// already (see deliver_off_main).
struct MaxAtoms {
    std::span<const maxsdk::Atom> atoms;
    bool main;
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
        return atoms[i].a_type == maxsdk::kSym ? symbol_of(atoms[i].a_w.w_sym, main) : nullptr;
    }
    t_symbol *empty_symbol() const { return symbol_of(nullptr, main); }
};

// Max's atoms as an A_GIMME method receives them: longs saturated to 32
// bits, floats rounded to single precision.  False for atoms the plug-ins
// have no type for (objects, pointers).
bool to_plugin_atoms(std::span<const maxsdk::Atom> in, t_atom *out, bool main) {
    for (std::size_t i = 0; i < in.size(); ++i) {
        const maxsdk::Atom &a = in[i];
        if (a.a_type == maxsdk::kLong) {
            atom_setlong(&out[i], saturate_long(a.a_w.w_long));
        } else if (a.a_type == maxsdk::kFloat) {
            atom_setfloat(&out[i], static_cast<float>(a.a_w.w_float));
        } else if (a.a_type == maxsdk::kSym) {
            atom_setsym(&out[i], symbol_of(a.a_w.w_sym, main));
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

messlist *class_named(std::string_view name) {
    for (auto &c : adapter().classes) {
        if (c->name == name) return c.get();
    }
    return nullptr;
}

using hostcommon::is_cant;

}  // namespace

// --- a signal box's messages from other threads ----------------------------------
//
// Max sends a signal box messages from its scheduler thread (or its audio
// thread, when the scheduler runs in the audio interrupt) while the main
// thread runs others.  Such a message is delivered there and then when that
// allocates nothing and waits on no lock the main thread may hold: its
// symbols are made already (looked up in the symbol table without its
// lock), and the plug-in atoms of a long one fit a room made in advance.
// Otherwise it is handed to the main thread, and so is every console line
// it causes, through a queue of slots made in advance: a message with a
// symbol never seen before (gensym makes it there), every later message of
// the same box until that one is delivered (a box's messages keep their
// order), and a long message when both rooms are in use.  A full queue
// refuses what does not fit: it is lost, and once the queue runs the main
// thread says how many were.

// What waits in the queue.
struct Handed {
    enum Kind : uint8_t { Message, NoMethod, BadArguments, TooManyAtoms };
    Kind kind = Message;
    Box *box = nullptr;  // null once the box is gone
    const messlist *cls = nullptr;
    std::string_view selector;  // the text of a Max symbol, or a literal: never freed
    std::size_t count = 0;      // the message's atoms
};

// Rooms for the plug-in atoms of a long message, one per thread that may
// deliver at once besides the main one (which allocates its own).
constexpr std::size_t kRooms = 2;
// 512 slots of 16 atoms: a message of up to 8192 atoms can wait.
constexpr std::size_t kHandedSlots = 512;
constexpr std::size_t kHandedSlotAtoms = 16;

struct OffMain {
    hostcommon::Handoff<Handed, maxsdk::Atom> queue{kHandedSlots, kHandedSlotAtoms};
    SpinLock putting;  // putters only: the main thread never takes it
    std::array<std::unique_ptr<t_atom[]>, kRooms> rooms;
    std::array<std::atomic_flag, kRooms> room_taken{};
    std::atomic<std::size_t> lost{0};
    maxsdk::Qelem *qelem = nullptr;

    OffMain() {
        for (auto &r : rooms) r = std::make_unique<t_atom[]>(hostcommon::kMaxMessageAtoms);
    }
};

namespace {

// A room for n plug-in atoms, given back when the claim goes; none when n
// fits the deliverer's own small buffer.
class RoomClaim {
public:
    RoomClaim(OffMain &o, std::size_t n) : o_(o) {
        if (n <= kHandedSlotAtoms) return;
        wanted_ = true;
        for (std::size_t k = 0; k < kRooms; ++k) {
            if (!o.room_taken[k].test_and_set(std::memory_order_acquire)) {
                index_ = static_cast<int>(k);
                room_ = {o.rooms[k].get(), n};
                return;
            }
        }
    }
    ~RoomClaim() {
        if (index_ >= 0) o_.room_taken[static_cast<std::size_t>(index_)].clear(std::memory_order_release);
    }
    RoomClaim(const RoomClaim &) = delete;
    RoomClaim &operator=(const RoomClaim &) = delete;
    bool missing() const { return wanted_ && index_ < 0; }
    std::span<t_atom> room() const { return room_; }

private:
    OffMain &o_;
    bool wanted_ = false;
    int index_ = -1;
    std::span<t_atom> room_;
};

void hand_over(OffMain &o, const Handed &h, std::span<const maxsdk::Atom> atoms) {
    std::atomic<int> &waiting = h.box->state->waiting_off_main;
    if (h.kind == Handed::Message) waiting.fetch_add(1, std::memory_order_acq_rel);
    bool put = false;
    {
        SpinGuard guard(o.putting);
        put = o.queue.put(h, atoms);
    }
    if (!put) {
        if (h.kind == Handed::Message) waiting.fetch_sub(1, std::memory_order_acq_rel);
        o.lost.fetch_add(1, std::memory_order_relaxed);
    }
    maxsdk::qelem_set(o.qelem);
}

bool symbols_made(std::span<const maxsdk::Atom> atoms) {
    return std::all_of(atoms.begin(), atoms.end(), [](const maxsdk::Atom &a) {
        return a.a_type != maxsdk::kSym || symbol_of(a.a_w.w_sym, false);
    });
}

void deliver_off_main(OffMain &o, Box *b, std::string_view selector, std::span<const maxsdk::Atom> atoms) {
    BoxState &st = *b->state;
    const messlist *c = st.cls;
    auto hand = [&](Handed::Kind kind) {
        hand_over(o, Handed{kind, b, c, selector, atoms.size()},
                  kind == Handed::Message ? atoms : std::span<const maxsdk::Atom>{});
    };
    // A refused message changes nothing, so its line need not wait its turn.
    const auto to = hostcommon::route(c->bindings, selector, hostcommon::NumberConversion::None);
    if (!to.binding) return hand(Handed::NoMethod);
    if (atoms.size() > hostcommon::kMaxMessageAtoms) return hand(Handed::TooManyAtoms);
    if (st.waiting_off_main.load(std::memory_order_acquire) > 0) return hand(Handed::Message);
    t_symbol *called = to.binding->selector;
    if (to.anything) {
        called = adapter().symbols.find(selector);
        if (!called) return hand(Handed::Message);
    }
    if (!symbols_made(atoms)) return hand(Handed::Message);
    const Binding &binding = *to.binding;
    RoomClaim claim(o, hostcommon::is_gimme(binding.types) ? atoms.size() : 0);
    if (claim.missing()) return hand(Handed::Message);
    Acting acting(b);
    const auto done = hostcommon::deliver(
        binding.fn, binding.types, st.record, called, MaxAtoms{atoms, false},
        [&](t_atom *args) { return to_plugin_atoms(atoms, args, false); }, claim.room());
    if (done == hostcommon::Delivery::BadArguments) hand(Handed::BadArguments);
}

// The box whose handed message the main thread delivers; null once it is
// gone, should the delivery end in its deletion.
Box *delivering_handed = nullptr;

// The main thread's side of the queue, run by its qelem.
void run_handed(Adapter *a) {
    OffMain &o = *a->off_main;
    o.queue.take_all([](const Handed &h, std::span<const maxsdk::Atom> atoms) {
        const int name_len = static_cast<int>(h.selector.size());
        const char *cls = h.cls->name.c_str();
        switch (h.kind) {
        case Handed::Message:
            if (!h.box) return;
            delivering_handed = h.box;
            dispatch(h.box, h.selector, static_cast<long>(atoms.size()), atoms.data());
            // Only now may the box's later messages be delivered at once.
            if (delivering_handed)
                delivering_handed->state->waiting_off_main.fetch_sub(1, std::memory_order_acq_rel);
            delivering_handed = nullptr;
            return;
        // A line says what it would have said at once, and names its box
        // if the box is still there.
        case Handed::NoMethod: {
            Acting acting(h.box);
            error("%s: no method for '%.*s'", cls, name_len, h.selector.data());
            return;
        }
        case Handed::BadArguments: {
            Acting acting(h.box);
            error("%s: bad arguments for message \"%.*s\"", cls, name_len, h.selector.data());
            return;
        }
        case Handed::TooManyAtoms: {
            Acting acting(h.box);
            error("%s", hostcommon::too_many_atoms(h.cls->name, h.selector, h.count).c_str());
            return;
        }
        }
    });
    if (const std::size_t lost = o.lost.exchange(0, std::memory_order_relaxed)) {
        const std::string line =
            (a->classes.empty() ? std::string("maxad") : a->classes.front()->name) +
            ": Max host: the queue for the main thread was full: " + std::to_string(lost) +
            " message(s) or line(s) from another thread were lost";
        maxsdk::error_text(nullptr, line.c_str());
    }
}

// Made when a signal class has registered, on the main thread.
void make_off_main(Adapter &a) {
    if (a.off_main) return;
    // The empty symbol, which a missing A_DEFSYM argument takes.
    gensym("");
    auto o = std::make_unique<OffMain>();
    o->qelem =
        maxsdk::qelem_new(&a, reinterpret_cast<maxsdk::Method>(reinterpret_cast<void (*)()>(run_handed)));
    if (!o->qelem) {
        host_error("no queue for the main thread");
        return;
    }
    a.off_main = o.release();
}

// A box that goes takes its messages out of the queue; its lines stay.
void forget_handed(Box *b) {
    if (delivering_handed == b) delivering_handed = nullptr;
    if (OffMain *o = adapter().off_main) {
        o->queue.change_waiting([b](Handed &h) {
            if (h.box == b) h.box = nullptr;
        });
    }
}

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
        const hostcommon::Delivery made = hostcommon::construct(
            c->new_fn, c->new_types, gensym(c->name.c_str()), MaxAtoms{atoms, true},
            [&](t_atom *args) { return to_plugin_atoms(atoms, args, true); }, &result);
        run.creating = saved;
        if (made == hostcommon::Delivery::BadArguments)
            error("%s: bad arguments for message \"new\"", c->name.c_str());
        if (made == hostcommon::Delivery::TooManyAtoms)
            error("%s", hostcommon::too_many_atoms(c->name, "new", atoms.size()).c_str());
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
    forget_handed(b);
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
    } else if (selector == "anything") {
        // Max's catch-all: called with the message's own selector.
        maxsdk::add_gimme(c->max, max_method(box_message), "anything");
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
    // on any thread Max sends them from.  Any other object's run on the
    // main thread.
    if (!maxsdk::on_main_thread()) {
        if (c->signal && adapter().off_main) {
            deliver_off_main(*adapter().off_main, b, selector, atoms);
            return;
        }
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
    const auto to = hostcommon::route(c->bindings, selector, hostcommon::NumberConversion::None);
    if (!to.binding) {
        error("%s: no method for '%.*s'", c->name.c_str(), name_len, selector.data());
        return;
    }
    const Binding &binding = *to.binding;
    try {
        // The catch-all takes the message's own selector.
        t_symbol *called = to.anything ? gensym(std::string(selector).c_str()) : binding.selector;
        const auto done =
            hostcommon::deliver(binding.fn, binding.types, st.record, called, MaxAtoms{atoms, true},
                                [&](t_atom *args) { return to_plugin_atoms(atoms, args, true); });
        if (done == hostcommon::Delivery::TooManyAtoms)
            error("%s", hostcommon::too_many_atoms(c->name, selector, atoms.size()).c_str());
        if (done == hostcommon::Delivery::BadArguments)
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
        if (a.setting_up && a.setting_up->signal) make_off_main(a);
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
