// The Max API declarations as the Max adapter's sources read them: after
// the SDK's own, with every function under the name an external gives it
// (names.h).  The sources every host compiles (host/hostcommon) include this by
// name, so that inside an external they define and call the renamed
// functions, never Max's.
#pragma once

#include "sdk.hpp"
#include "max.hpp"
