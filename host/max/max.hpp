// The Max API declarations as the adapter implements them, included after
// sdk.hpp.  Functions carry the names of names.h (maxad_post, ...), the
// names the plug-in objects were compiled to call.  Types and constants
// that the SDK already declares are given other names while the
// declarations are read, so both sets live in one source; the plain names
// then stand for the plug-ins' declarations for the rest of the source,
// and the SDK's are reached through maxsdk:: (sdk.hpp).
#pragma once

#ifndef _EXT_H_
#error "include sdk.hpp before max.hpp"
#endif

// Macros of the SDK that the declarations define again.
#undef getbytes
#undef freebytes
#undef FOUR_CHAR_CODE
#undef READ_PERM
#undef MAX_FILENAME_CHARS

#include "names.h"

#define e_max_atomtypes plugin_e_max_atomtypes
#define symbol plugin_symbol
#define t_symbol plugin_t_symbol
#define atom plugin_atom
#define t_atom plugin_t_atom
#define word plugin_word
#define object plugin_object
#define t_object plugin_t_object
#define messlist plugin_messlist
#define t_messlist plugin_t_messlist
#define t_class plugin_t_class
#define method plugin_method
#define t_int plugin_t_int
#define t_pxobject plugin_t_pxobject
#define t_signal plugin_t_signal
#define t_perfroutine plugin_t_perfroutine
#define t_filehandle plugin_t_filehandle
#define t_sysfile_pos_mode plugin_t_sysfile_pos_mode
#define SYSFILE_ATMARK PLUGIN_SYSFILE_ATMARK
#define SYSFILE_FROMSTART PLUGIN_SYSFILE_FROMSTART
#define SYSFILE_FROMLEOF PLUGIN_SYSFILE_FROMLEOF
#define SYSFILE_FROMMARK PLUGIN_SYSFILE_FROMMARK
#define A_NOTHING PLUGIN_A_NOTHING
#define A_LONG PLUGIN_A_LONG
#define A_FLOAT PLUGIN_A_FLOAT
#define A_SYM PLUGIN_A_SYM
#define A_DEFLONG PLUGIN_A_DEFLONG
#define A_DEFSYM PLUGIN_A_DEFSYM
#define A_GIMME PLUGIN_A_GIMME
#define A_CANT PLUGIN_A_CANT
#define t_assist_function plugin_t_assist_function
#define ASSIST_INLET PLUGIN_ASSIST_INLET
#define ASSIST_OUTLET PLUGIN_ASSIST_OUTLET

// The project's own headers: named plainly, they are found before the
// SDK's, which sit later on the include path.
#include "CFBundle.h"
#include "Resources.h"
#include "ext.h"
#include "ext_path.h"
#include "ext_sndfile.h"
#include "ext_sysfile.h"
#include "ext_types.h"
#include "z_dsp.h"

#ifndef MAXAPI_PRINTF
#error "the SDK's ext.h was read where the plug-ins' declarations were meant"
#endif
