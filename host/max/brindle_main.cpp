// brindle~ as a Max external.  Its banner reads the version from the
// bundle information a macOS bundle would carry in its Info.plist; a
// Windows external carries the same lines inside itself, stamped by the
// build.
#include "sdk.hpp"

#include "external.hpp"

int maxad_main();  // brindle~'s main, renamed by names.h

extern "C" void ext_main(void *) {
    maxad::load_external({"brindle~", maxad_main,
                          "CFBundleIdentifier " MAXAD_BUNDLE_ID "\n"
                          "CFBundleVersion " MAXAD_BUNDLE_VERSION "\n"});
}
