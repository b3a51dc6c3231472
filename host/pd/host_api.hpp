// The Max API declarations as the adapter's sources read them: after Pd's
// own, with every Max function under the name an external gives it
// (names.h).  The sources every host compiles (host/hostcommon) include this by
// name, so that inside an external they define and call the renamed
// functions, never the pd binary's.
#pragma once

#include "pd.hpp"
#include "max.hpp"
