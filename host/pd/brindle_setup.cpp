// brindle~ as a Pd external.  Its banner reads the version from the bundle
// information its Max build stamps beside the plug-in; an external carries
// the same lines inside itself.
#include "external.hpp"

int pdmax_main();  // brindle~'s main, renamed by names.h

PDMAX_EXPORT void brindle_tilde_setup(void) {
    pdmax::load_external({"brindle~",
                          pdmax_main,
                          {},
                          "CFBundleIdentifier " PDMAX_BUNDLE_ID "\n"
                          "CFBundleVersion " PDMAX_BUNDLE_VERSION "\n"});
}
