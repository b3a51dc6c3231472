// Deferral: what waits for the main thread (defer_low's calls, and messages
// that reached a control object on another thread) waits in one queue for
// the whole external, in the order it came, as in Max's own defer_low.  One
// qelem, made when the external loads and never freed, runs the queue on
// the main thread after the current message; the signal bridges set it
// too, for the lines the audio thread may not post itself (dsp.cpp).  A box
// that goes takes what it still has queued out of the queue, so nothing of
// it runs later.
#include <algorithm>
#include <exception>
#include <utility>

#ifndef _WIN32
#include <sched.h>
#endif

#include "adapter.hpp"

namespace maxad {

void yield_thread() {
#ifdef _WIN32
    SwitchToThread();
#else
    sched_yield();
#endif
}

namespace {

bool take_front(Adapter &a, Pending &out) {
    SpinGuard guard(a.pending_lock);
    if (a.pending.empty()) return false;
    out = std::move(a.pending.front());
    a.pending.pop_front();
    return true;
}

// What is queued while the queue runs runs in the same pass, after the
// rest.  A call that ends in a box's deletion takes that box's remaining
// entries out before the next is taken.
bool running = false;

void run_pending(Adapter *a) {
    if (running) return;
    running = true;
    // What the audio thread left to be said comes first: it happened first.
    post_bridge_reports();
    Pending p;
    while (take_front(*a, p)) {
        if (p.call.fn) {
            Acting acting(p.box);
            hostcommon::call_gimme(p.call.fn, p.call.obj, p.call.s, p.call.atoms);
        } else {
            dispatch(p.box, p.selector, static_cast<long>(p.atoms.size()), p.atoms.data());
        }
    }
    running = false;
}

}  // namespace

maxsdk::Qelem *new_queue() {
    return maxsdk::qelem_new(&adapter(),
                             reinterpret_cast<maxsdk::Method>(reinterpret_cast<void (*)()>(run_pending)));
}

void queue_pending(Pending p) {
    Adapter &a = adapter();
    if (!a.queue) {
        host_error("no queue for the main thread");
        return;
    }
    {
        SpinGuard guard(a.pending_lock);
        a.pending.push_back(std::move(p));
    }
    maxsdk::qelem_set(a.queue);
}

void forget_pending(Box *b) {
    Adapter &a = adapter();
    SpinGuard guard(a.pending_lock);
    std::erase_if(a.pending, [b](const Pending &p) { return p.box == b; });
}

}  // namespace maxad

using namespace maxad;

extern "C" {

void defer_low(void *x, method fn, t_symbol *s, short ac, t_atom *av) {
    if (!fn) return;
    Box *b = box_of(x);
    if (!b) {
        host_error("defer_low for an object the adapter does not know");
        return;
    }
    try {
        Pending p{b, Deferred{b, x, fn, s, {}}, {}, {}};
        if (ac > 0 && av) p.call.atoms.assign(av, av + ac);
        queue_pending(std::move(p));
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

}  // extern "C"
