// The Max API declarations as the headless host's sources read them: under
// their own names, as the plug-ins see them.  The sources every host
// compiles (host/hostcommon) include this by name, and so read the API as the
// host they are compiled into does.
#pragma once

#include "CFBundle.h"
#include "Resources.h"
#include "ext.h"
#include "ext_path.h"
#include "ext_sndfile.h"
#include "ext_sysfile.h"
#include "ext_types.h"
#include "z_dsp.h"
