// tessel~ as a Max external: Max calls ext_main when it loads the file.
#include "sdk.hpp"

#include "external.hpp"

int maxad_main();  // tessel~'s main, renamed by names.h

extern "C" void ext_main(void *) { maxad::load_external({"tessel~", maxad_main, nullptr}); }
