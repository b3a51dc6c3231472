// The names the Max API declarations give functions and globals, as a Pd
// external renames them: pdmax_post, pdmax_gensym, ...  Forced into every
// plug-in source (and read by the adapter through max.hpp), so that a
// plug-in's call reaches the adapter, never the function of the same name
// that the pd binary exports.
#pragma once

#define MAXAPI_RENAMED(name) pdmax_##name
#include "../hostcommon/api_names.h"
