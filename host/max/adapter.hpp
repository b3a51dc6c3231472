// Inner working of the Max adapter: a plug-in's class behind a Max class,
// a plug-in's instance behind a Max object (a "box"), and the state one
// external keeps.  Each external links its own copy of the adapter, so
// this state is per external: two externals loaded into one Max share
// nothing of it.
//
// Max speaks to the box with its own prototypes (64-bit integers, double
// floats, its own atoms, a 64-bit signal chain); the box speaks to the
// plug-in through the prototypes the plug-in registered, with the
// coercions every host of this project makes.
//
// Sources include the standard headers they need first, then this header.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host_api.hpp"

#include "atoms.hpp"
#include "dispatch.hpp"
#include "external.hpp"
#include "file_host.hpp"

struct Box;

namespace maxad {

// A plug-in method as the adapter binds it.
struct Binding {
    method fn;
    std::vector<short> types;
    t_symbol *selector;  // what an A_GIMME method is called with
};

}  // namespace maxad

// The plug-ins' class record, opaque to them (ext_types.h).
struct messlist : hostcommon::ClassRecord<maxad::Binding> {
    using ClassRecord::ClassRecord;
    maxsdk::Class *max = nullptr;  // the Max class the boxes are made of
    bool signal = false;           // z_add_signalmethod was called
};

namespace maxad {

// The largest vector a box hands to a plug-in; Max's own limit is far
// below, so anything above is a host that lost its way.
inline constexpr long kMaxBridgeVector = 1 << 16;

struct Bridge;
struct Bridges;
struct OffMain;
using Deferred = hostcommon::DeferredCall<Box>;

// Max sends messages from its scheduler thread too (Overdrive) while the
// main thread runs others, so what boxes share is guarded.  A spin lock:
// what it guards takes a moment, and it needs nothing of the C++ runtime's
// threads, which the externals' runtime does not have.  A thread that
// finds it taken gives up its time slice, so that a holder of lower
// priority can finish.
void yield_thread();

class SpinLock {
public:
    void lock() {
        while (flag_.test_and_set(std::memory_order_acquire)) yield_thread();
    }
    void unlock() { flag_.clear(std::memory_order_release); }

private:
    std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
};

class SpinGuard {
public:
    explicit SpinGuard(SpinLock &l) : l_(l) { l_.lock(); }
    ~SpinGuard() { l_.unlock(); }
    SpinGuard(const SpinGuard &) = delete;
    SpinGuard &operator=(const SpinGuard &) = delete;

private:
    SpinLock &l_;
};

// What waits for the main thread: a call a plug-in deferred, or a message
// that reached a control object on another thread (its methods, which
// open files and keep what they read, run on the main thread only).
struct Pending {
    Box *box;
    Deferred call;  // call.fn set: the plug-in's own deferred call
    std::string selector;
    std::vector<maxsdk::Atom> atoms;
};

// What a box holds besides its Max header.
struct BoxState {
    BoxState();
    ~BoxState();
    BoxState(const BoxState &) = delete;
    BoxState &operator=(const BoxState &) = delete;

    messlist *cls = nullptr;
    void *record = nullptr;  // the plug-in's instance, once newobject made it
    int signal_inlets = 0;   // as z_dsp_setup gave them
    int signal_outlets = 0;  // "signal" outlets made
    bool dsp_set_up = false;
    bool dsp_freed = false;
    // Messages of this box handed to the main thread from another and not
    // yet delivered: while there are any, later ones follow them there.
    std::atomic<int> waiting_off_main{0};

    // The signal bridges of the chains Max compiled that it may still
    // tick, made at the first dsp64 (dsp.cpp).
    std::unique_ptr<Bridges> bridges;
};

}  // namespace maxad

// The Max object.  Max allocates it (object_alloc) and frees it; everything
// with a constructor lives in state.  Every class gets the signal header,
// which a control class simply leaves unused.
struct Box {
    maxsdk::PxObject ob;
    maxad::BoxState *state;
};

namespace maxad {

// The file services' state is the shared FileHost's (files.cpp).
struct Adapter final : hostcommon::HeapHandles, hostcommon::FileHost {
    // Registration.
    std::string registering;  // class name while the plug-in's main runs
    messlist *setting_up = nullptr;
    std::vector<std::unique_ptr<messlist>> classes;

    // gensym makes symbols under the lock; any thread looks them up
    // without it.
    SpinLock symbols_lock;
    hostcommon::SymbolTable symbols;

    // A signal class's messages from other threads (classes.cpp): made
    // when the external loads, never freed.
    OffMain *off_main = nullptr;

    // What waits for the main thread, every box's in the order it came,
    // run by one qelem (defer.cpp).
    SpinLock pending_lock;
    std::deque<Pending> pending;
    maxsdk::Qelem *queue = nullptr;

    Adapter();

    // What the file services ask of the adapter (files.cpp).
    void file_error(const std::string &text) override;
    std::optional<fileservices::Located> find_file(const char *name,
                                                   std::span<const t_fourcc> types) override;
    Given given(void *p) const override;
    std::optional<std::string> folder_of(short path) const override;
};

// The external's adapter; never destroyed, since Max may call into an
// external until the process ends.
Adapter &adapter();

// Whose code runs on this thread: the box being created, the box whose
// method, deferred call or dsp method runs (lines point to it), the bridge
// a dsp method adds its perform routines to.
struct Running {
    Box *creating = nullptr;
    Box *active = nullptr;
    Bridge *building = nullptr;
};
Running &running();

// Runs code of a box: lines name it.
struct Acting {
    Running &r;
    Box *saved;
    explicit Acting(Box *b) : r(running()), saved(r.active) { r.active = b; }
    ~Acting() { r.active = saved; }
    Acting(const Acting &) = delete;
    Acting &operator=(const Acting &) = delete;
};

// The box of a plug-in instance: the one being created, or the one whose
// header names it.  Null for anything else.
Box *box_of(void *x);

// An error line of the adapter itself, pointing to the active box.
void host_error(const std::string &text);

// The plug-ins' symbol for a Max symbol, and the reverse.
t_symbol *plugin_symbol(const maxsdk::Symbol *s);
maxsdk::Symbol *max_symbol(const t_symbol *s);

// Delivers a message to a box's plug-in method, typed as registered.
void dispatch(Box *b, std::string_view selector, long argc, const maxsdk::Atom *argv);

// The Max side of a signal box (dsp.cpp): Max's dsp64 method, the
// release of the bridges once the box has left the chain, and the lines
// the audio thread left for the main thread to post.
void box_dsp64(Box *b, maxsdk::Object *dsp64, short *count, double samplerate, long maxvectorsize,
               long flags);
void release_bridges(BoxState &st);
void post_bridge_reports();

// The main thread's queue (made at load), a call or a message queued for
// it, and the drop of what a box still has queued (defer.cpp).
maxsdk::Qelem *new_queue();
void queue_pending(Pending p);
void forget_pending(Box *b);

}  // namespace maxad
