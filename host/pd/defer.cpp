// Deferral: defer_low's calls wait in a queue that a zero-delay clock runs
// after the current message.  One clock for the queue, not one per call: a
// clock set again before it fired fires once, and the calls queued before
// would be lost.
#include <algorithm>
#include <exception>
#include <utility>

#include "adapter.hpp"

namespace pdmax {

namespace {

// Calls queued while the queue runs run in the same pass, after the others.
void run_deferred(void *) {
    Adapter &a = adapter();
    while (!a.deferred.empty()) {
        Deferred d = std::move(a.deferred.front());
        a.deferred.pop_front();
        Acting acting(d.box);
        hostcommon::call_gimme(d.fn, d.obj, d.s, d.atoms);
    }
}

}  // namespace

void forget_deferred(Box *b) {
    std::erase_if(adapter().deferred, [b](const Deferred &d) { return d.box == b; });
}

}  // namespace pdmax

using namespace pdmax;

extern "C" {

void defer_low(void *x, method fn, t_symbol *s, short ac, t_atom *av) {
    Adapter &a = adapter();
    if (!fn) return;
    try {
        Deferred d{box_of(x), x, fn, s, {}};
        if (ac > 0 && av) d.atoms.assign(av, av + ac);
        if (!a.deferred_clock) a.deferred_clock = clock_new(&a, pd_method(run_deferred));
        a.deferred.push_back(std::move(d));
        clock_delay(a.deferred_clock, 0);
    } catch (const std::exception &e) {
        host_error(e.what());
    }
}

}  // extern "C"
