// The names the Max API declarations give functions and globals, as a Max
// external renames them: maxad_post, maxad_gensym, ...  Forced into every
// plug-in source (and read by the adapter through max.hpp), so that a
// plug-in's call reaches the adapter, never the function of the same name
// that Max itself exports, whose prototype differs (64-bit integers,
// double floats, other atoms).
#pragma once

#define MAXAPI_RENAMED(name) maxad_##name
#include "../hostcommon/api_names.h"
