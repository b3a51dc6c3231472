// The real Max SDK's headers, and the adapter's own names for what the SDK
// and the plug-ins' Max API declarations both name.  Every adapter source
// includes this first and max.hpp second: from max.hpp on, t_atom,
// t_symbol, t_object, method, A_FLOAT, post, gensym and the rest mean the
// plug-ins' declarations, and the SDK's are reached through the names
// below, bound before max.hpp takes the plain ones over.
//
// The SDK's folders are on the include path after the project's own
// (-idirafter), so its headers are named with their folder here, and the
// project's ext.h, z_dsp.h and ext_path.h still win wherever they are
// named plainly.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <cstdarg>
#include <cstdint>

#include "max-includes/ext.h"
#include "max-includes/ext_obex.h"
#include "msp-includes/z_dsp.h"

namespace maxsdk {

using Atom = ::t_atom;
using Symbol = ::t_symbol;
using Object = ::t_object;
using PxObject = ::t_pxobject;
using Class = ::t_class;
using Method = ::method;
using AtomLong = ::t_atom_long;
using AtomFloat = ::t_atom_float;
using FileHandle = ::t_filehandle;
using MaxErr = ::t_max_err;
using Qelem = ::t_qelem;
using PerfRoutine64 = ::t_perfroutine64;

inline constexpr short kLong = A_LONG;
inline constexpr short kFloat = A_FLOAT;
inline constexpr short kSym = A_SYM;
inline constexpr short kGimme = A_GIMME;
inline constexpr short kCant = A_CANT;
inline constexpr short kNothing = A_NOTHING;

// The buffer sizes the SDK's file calls write into.
inline constexpr int kFilenameChars = MAX_FILENAME_CHARS;
inline constexpr int kPathChars = MAX_PATH_CHARS;
inline constexpr short kReadPerm = READ_PERM;
inline constexpr int kAssistInlet = ASSIST_INLET;

// The SDK's functions that share a name with one of the plug-ins'
// declarations, or that a macro of its own names.
inline Symbol *sym(const char *s) { return ::gensym(s); }
inline Class *class_new(const char *name, Method make, Method destroy, long size) {
    return ::class_new(name, make, destroy, size, nullptr, A_GIMME, 0);
}
// A method Max calls with the selector and the atoms of the message.
inline void add_gimme(Class *c, Method m, const char *name) { ::class_addmethod(c, m, name, A_GIMME, 0); }
// A method with its own prototype, called by Max itself (dsp64, assist).
inline void add_cant(Class *c, Method m, const char *name) { ::class_addmethod(c, m, name, A_CANT, 0); }
inline void add_plain(Class *c, Method m, const char *name) { ::class_addmethod(c, m, name, 0); }
inline void add_long(Class *c, Method m, const char *name) { ::class_addmethod(c, m, name, A_LONG, 0); }
inline void add_float(Class *c, Method m, const char *name) { ::class_addmethod(c, m, name, A_FLOAT, 0); }
inline void register_box_class(Class *c) { ::class_register(::gensym("box"), c); }
inline void dsp_init(Class *c) { ::class_dspinit(c); }

inline void *alloc_object(Class *c) { return ::object_alloc(c); }
inline void free_object(void *x) { ::object_free(x); }
inline void signal_setup(PxObject *x, long n) { ::z_dsp_setup(x, n); }
inline void signal_free(PxObject *x) { ::z_dsp_free(x); }
inline void add_perform64(Object *chain, Object *x, PerfRoutine64 f, void *userparam) {
    ::dsp_add64(chain, x, f, 0, userparam);
}
inline float samplerate() { return ::sys_getsr(); }

inline void *new_outlet(void *x, const char *type) { return ::outlet_new(x, type); }
inline void send_int(void *o, AtomLong n) { ::outlet_int(static_cast<t_outlet *>(o), n); }
inline void send_float(void *o, double f) { ::outlet_float(static_cast<t_outlet *>(o), f); }
inline void send_bang(void *o) { ::outlet_bang(static_cast<t_outlet *>(o)); }
inline void send_list(void *o, short ac, Atom *av) {
    ::outlet_list(static_cast<t_outlet *>(o), nullptr, ac, av);
}
inline void send_anything(void *o, Symbol *s, short ac, Atom *av) {
    ::outlet_anything(static_cast<t_outlet *>(o), s, ac, av);
}

// Console lines: with an object, Max shows its box beside the line and can
// take the user to it.  Post and error of the SDK's own are avoided: their
// names are generic enough for another loaded library to shadow them.
inline void post_text(Object *x, const char *text) { ::object_post(x, "%s", text); }
inline void error_text(Object *x, const char *text) { ::object_error(x, "%s", text); }
inline void alert_text(const char *text) { ::ouchstring("%s", text); }

inline char *newptr(long size) { return ::sysmem_newptr(size); }
inline void freeptr(void *p) { ::sysmem_freeptr(p); }

inline bool on_main_thread() { return ::systhread_ismainthread() != 0; }

inline Qelem *qelem_new(void *owner, Method fn) { return static_cast<Qelem *>(::qelem_new(owner, fn)); }
inline void qelem_set(Qelem *q) { ::qelem_set(q); }
inline void qelem_free(Qelem *q) { ::qelem_free(q); }

inline short locate_file(char *name, short *path, uint32_t *type, uint32_t *types, short n) {
    return ::locatefile_extended(name, path, type, types, n);
}
inline short file_dialog(char *name, short *path, uint32_t *type, uint32_t *types, short n) {
    return ::open_dialog(name, path, type, types, n);
}
inline short open_sysfile(const char *name, short path, FileHandle *fh, short perm) {
    return ::path_opensysfile(name, path, fh, perm);
}
inline MaxErr set_file_pos(FileHandle fh, long long offset_from_start) {
    return ::sysfile_setpos(fh, SYSFILE_FROMSTART, static_cast<t_ptr_int>(offset_from_start));
}
inline MaxErr file_pos(FileHandle fh, t_ptr_size *pos) { return ::sysfile_getpos(fh, pos); }
inline MaxErr file_eof(FileHandle fh, t_ptr_size *eof) { return ::sysfile_geteof(fh, eof); }
inline MaxErr read_file(FileHandle fh, t_ptr_size *count, void *buf) {
    return ::sysfile_read(fh, count, buf);
}
inline MaxErr close_file(FileHandle fh) { return ::sysfile_close(fh); }
inline MaxErr absolute_path(short path, const char *name, char *out) {
    return ::path_toabsolutesystempath(path, name, out);
}

}  // namespace maxsdk
