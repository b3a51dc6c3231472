// Deferral: defer_low's calls wait in the host's queue until the host runs
// it, after each event or when the caller asks; calls queued while it runs
// run in the same pass.  A box that goes takes its calls out of the queue
// (classes.cpp), so nothing of it runs later.
#include <utility>

#include "host_impl.hpp"

namespace headless {

void Host::run_deferred() {
    Impl &I = *impl_;
    while (!I.deferred.empty()) {
        Deferred d = std::move(I.deferred.front());
        I.deferred.pop_front();
        Impl::Scope scope(I, d.box);
        hostcommon::call_gimme(d.fn, d.obj, d.s, d.atoms);
    }
}

}  // namespace headless

using headless::box_for;
using headless::Host;
using headless::impl;

extern "C" {

void defer_low(void *x, method fn, t_symbol *s, short ac, t_atom *av) {
    Host::Impl *I = impl();
    if (!I || !fn) return;
    headless::Deferred d{box_for(I, x), x, fn, s, {}};
    if (ac > 0 && av) d.atoms.assign(av, av + ac);
    I->deferred.push_back(std::move(d));
}

}  // extern "C"
