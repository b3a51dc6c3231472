// Inner working of the Pure Data adapter: a Max class behind a Pd class, a
// Max instance behind a Pd object (a "box"), and the state one external
// keeps.  Each external links its own copy of the adapter with hidden
// symbols, so this state is per external: two externals loaded into one Pd
// share nothing of it.
//
// Sources include the standard headers they need first, then this header.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host_api.hpp"

#include "atoms.hpp"
#include "dispatch.hpp"
#include "external.hpp"
#include "file_host.hpp"

struct Box;

namespace pdmax {

// A Max method as the adapter binds it.
struct Binding {
    method fn;
    std::vector<short> types;
    Typing typing;  // for A_GIMME: how Pd's numbers become atoms
};

}  // namespace pdmax

// Max's class record, opaque to the plug-ins (ext_types.h).
struct messlist : hostcommon::ClassRecord<pdmax::Binding> {
    using ClassRecord::ClassRecord;
    pdmax::PdClass *pd = nullptr;  // the Pd class the boxes are made of
};

namespace pdmax {

// A Max outlet: made during the instance's creation, given its Pd outlet
// once creation succeeded (Pd only adds outlets on the right, Max on the
// left, so they are added in reverse afterwards).
struct Outlet {
    PdSymbol *type;  // Pd's outlet type: &s_signal, &s_float, … or null
    t_outlet *pd = nullptr;
};

struct Panel;

// What a box holds besides its Pd header.
struct BoxState {
    messlist *cls = nullptr;
    t_canvas *canvas = nullptr;                    // the patch the box sits in
    void *record = nullptr;                        // the Max instance, once newobject made it
    std::vector<std::unique_ptr<Outlet>> outlets;  // in the order made
    // Kept from one dsp call to the next: the signal descriptions handed to
    // the plug-in, its connection counts, and private copies of inlets that
    // Pd made share memory with an outlet.
    std::vector<t_signal> signals;
    std::vector<t_signal *> signal_ptrs;
    std::vector<short> counts;
    std::vector<std::vector<float>> inlet_copies;
    Panel *panel = nullptr;  // receiver of the file panel's answer
};

}  // namespace pdmax

// The Pd object.  Pd allocates it (zeroed) and frees it; everything with a
// constructor lives in state.
struct Box {
    pdmax::PdObject pd;
    t_float main_signal;  // Pd's scalar for the left signal inlet
    pdmax::BoxState *state;
};

namespace pdmax {

using Deferred = hostcommon::DeferredCall<Box>;

// The file services' state is the shared FileHost's (files.cpp).
struct Adapter final : hostcommon::HeapHandles, hostcommon::FileHost {
    // Registration.
    std::string registering;  // class name while the plug-in's main runs
    std::vector<Hint> hints;
    messlist *setting_up = nullptr;
    std::vector<std::unique_ptr<messlist>> classes;
    PdClass *panel_class = nullptr;
    int panels_made = 0;

    // Whose code runs: the box being created, the box whose method, deferred
    // call or dsp method runs (errors point to it, files are searched from
    // its patch), the box whose dsp method runs.
    Box *creating = nullptr;
    Box *active = nullptr;
    Box *dsp_box = nullptr;
    bool dsp_added = false;

    hostcommon::SymbolTable symbols;

    std::deque<Deferred> deferred;
    t_clock *deferred_clock = nullptr;

    Adapter();

    // What the file services ask of the adapter (files.cpp).
    void file_error(const std::string &text) override;
    std::optional<fileservices::Located> find_file(const char *name,
                                                   std::span<const t_fourcc> types) override;
    Given given(void *p) const override;
};

// The external's adapter; never destroyed, since Pd may call into an
// external until the process ends.
Adapter &adapter();

// Runs code of a box: errors name it, files are searched from its patch.
struct Acting {
    Adapter &a;
    Box *saved;
    explicit Acting(Box *b) : a(adapter()), saved(a.active) { a.active = b; }
    ~Acting() { a.active = saved; }
    Acting(const Acting &) = delete;
    Acting &operator=(const Acting &) = delete;
};

// The box of a Max instance: the one being created, or the one whose header
// names it.  Null for anything else.
Box *box_of(void *x);

// An error line of the adapter itself, pointing to the active box.
void host_error(const std::string &text);

// Delivers a Pd message to a box's Max method, typed as registered.
void dispatch(Box *b, std::string_view selector, PdSymbol *actual, int argc, PdAtom *argv);

// Cancels what a box still has queued (deferral, file panel).
void forget_deferred(Box *b);
void close_panel(Box *b);

// Registers the Pd methods that stand for a Max binding.
void bind_pd_method(messlist *c, const std::string &selector, const std::vector<short> &types);
// The Pd dsp method of every signal class.
void box_dsp(Box *b, PdSignal **sp);

}  // namespace pdmax
