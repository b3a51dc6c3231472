// Deferral: what waits for the main thread (defer_low's calls, and messages
// that reached a control object on another thread) waits in the box's own
// queue, which one qelem of Max's runs on the main thread after the current
// message.  The queue is the box's, so a box that goes takes what it still
// has queued with it, and the qelem with them: Max never calls back into a
// freed box.
#include <exception>
#include <utility>

#include "adapter.hpp"

namespace maxad {

namespace {

bool take_front(BoxState &st, Pending &out) {
    SpinGuard locked(st.pending_lock);
    if (st.pending.empty()) return false;
    out = std::move(st.pending.front());
    st.pending.pop_front();
    return true;
}

// What is queued while the queue runs runs in the same pass, after the
// rest.  A call may end in the box's own deletion (a patch that deletes the
// box from what the box sent): the state then outlives the call and goes
// here.
void run_pending(Box *b) {
    BoxState *st = b->state;
    if (!st || st->running_deferred) return;
    st->running_deferred = true;
    Pending p;
    while (!st->freed && take_front(*st, p)) {
        if (p.call.fn) {
            Acting acting(p.call.box);
            hostcommon::call_gimme(p.call.fn, p.call.obj, p.call.s, p.call.atoms);
        } else {
            dispatch(b, p.selector, static_cast<long>(p.atoms.size()), p.atoms.data());
        }
    }
    st->running_deferred = false;
    if (st->freed) delete st;
}

}  // namespace

void queue_pending(Box *b, Pending p) {
    BoxState &st = *b->state;
    {
        SpinGuard locked(st.pending_lock);
        st.pending.push_back(std::move(p));
    }
    maxsdk::qelem_set(st.qelem);
}

void forget_deferred(BoxState &st) {
    {
        SpinGuard locked(st.pending_lock);
        st.pending.clear();
    }
    if (st.qelem) {
        maxsdk::qelem_free(st.qelem);
        st.qelem = nullptr;
    }
}

maxsdk::Qelem *new_queue(Box *b) {
    return maxsdk::qelem_new(b, reinterpret_cast<maxsdk::Method>(reinterpret_cast<void (*)()>(run_pending)));
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
        Pending p;
        p.call = Deferred{b, x, fn, s, {}};
        if (ac > 0 && av) p.call.atoms.assign(av, av + ac);
        queue_pending(b, std::move(p));
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

}  // extern "C"
