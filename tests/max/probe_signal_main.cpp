// The signal probe as a Max external.
#include "sdk.hpp"

#include "external.hpp"

int maxad_main();  // the probe's main, renamed by names.h

extern "C" void ext_main(void *) { maxad::load_external({"maxad_probe~", maxad_main, nullptr}); }
