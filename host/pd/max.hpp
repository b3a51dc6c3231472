// The Max API declarations as the adapter implements them, included after
// pd.hpp.  Functions carry the names of names.h (pdmax_post, …), the names
// the plug-in objects were compiled to call.  Types and constants that Pd
// already declares are given other names while the declarations are read,
// so both sets can live in one source; the plain names then stand for
// Max's for the rest of the source, as in the plug-ins themselves.
#pragma once

#ifndef __m_pd_h_
#error "include pd.hpp before max.hpp"
#endif

// Pd maps these to its own allocator; here they are Max's large blocks.
#undef t_getbytes
#undef t_freebytes
// A macro of Pd's (struct _class); Max's class record from here on.
#undef t_class

#include "names.h"

#define t_symbol max_t_symbol
#define t_atom max_t_atom
#define word max_word
#define t_object max_t_object
#define t_class max_t_class
#define t_int max_t_int
#define t_signal max_t_signal
#define t_perfroutine max_t_perfroutine
#define A_NOTHING MAX_A_NOTHING
#define A_LONG MAX_A_LONG
#define A_FLOAT MAX_A_FLOAT
#define A_SYM MAX_A_SYM
#define A_DEFLONG MAX_A_DEFLONG
#define A_DEFSYM MAX_A_DEFSYM
#define A_GIMME MAX_A_GIMME
#define A_CANT MAX_A_CANT

#include "CFBundle.h"
#include "Resources.h"
#include "ext.h"
#include "ext_path.h"
#include "ext_sndfile.h"
#include "ext_sysfile.h"
#include "ext_types.h"
#include "z_dsp.h"
