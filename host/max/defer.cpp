// Deferral: defer_low's calls wait in the box's own queue, which one qelem
// of Max's runs on the main thread after the current message.  The queue
// is the box's, so a box that goes takes its pending calls with it, and
// the qelem with them: Max never calls back into a freed box.
#include <exception>
#include <utility>

#include "adapter.hpp"

namespace maxad {

namespace {

// Calls queued while the queue runs run in the same pass, after the others.
// A call may end in the box's own deletion (a patch that deletes the box
// from what the box sent): the state then outlives the call and goes here.
void run_deferred(Box *b) {
    BoxState *st = b->state;
    if (!st || st->running_deferred) return;
    st->running_deferred = true;
    while (!st->freed && !st->deferred.empty()) {
        Deferred d = std::move(st->deferred.front());
        st->deferred.pop_front();
        Acting acting(d.box);
        hostcommon::call_gimme(d.fn, d.obj, d.s, d.atoms);
    }
    st->running_deferred = false;
    if (st->freed) delete st;
}

}  // namespace

void forget_deferred(BoxState &st) {
    st.deferred.clear();
    if (st.qelem) {
        maxsdk::qelem_free(st.qelem);
        st.qelem = nullptr;
    }
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
    BoxState &st = *b->state;
    try {
        Deferred d{b, x, fn, s, {}};
        if (ac > 0 && av) d.atoms.assign(av, av + ac);
        if (!st.qelem) {
            st.qelem = maxsdk::qelem_new(
                b, reinterpret_cast<maxsdk::Method>(reinterpret_cast<void (*)()>(run_deferred)));
        }
        if (!st.qelem) {
            host_error("no qelem for a deferred call");
            return;
        }
        st.deferred.push_back(std::move(d));
        maxsdk::qelem_set(st.qelem);
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

}  // extern "C"
