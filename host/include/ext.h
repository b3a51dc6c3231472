// The host object interface: class registration, instance creation, outlets,
// console, memory, symbols and deferral.
#pragma once

#include "ext_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define MAXAPI_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define MAXAPI_PRINTF(fmt, args)
#endif

// --- registration --------------------------------------------------------

// Creates the class into *ident.  The variadic part is the creation
// argument types, ended by 0 (A_NOTHING).  menufun is unused and must be 0.
// (The types are all variadic: va_start after a short parameter would be
// undefined, since a short is promoted when passed.)
void setup(t_messlist **ident, method makefun, method freefun, int32_t size, method menufun, ...);

// Binds a message of the class being set up.  The variadic part is the
// argument types, ended by 0.
void addmess(method f, const char *selector, ...);

// Binds "bang" of the class being set up.
void addbang(method f);

// Makes a new instance of the class: a record of the registered size whose
// header the host has filled and whose other bytes are zero.
void *newobject(void *cls);

// What an "assist" method (registered A_CANT) is asked for: the help text
// of an inlet or of an outlet.
enum t_assist_function { ASSIST_INLET = 1, ASSIST_OUTLET };

// --- outlets -------------------------------------------------------------

// Each new outlet stands to the left of those made before it.
void *outlet_new(void *x, const char *type);
void *intout(void *x);
void *listout(void *x);
void *bangout(void *x);
void *floatout(void *x);

// Each returns after every receiver of the message has run.
void *outlet_int(void *o, int32_t n);
void *outlet_float(void *o, double f);
void *outlet_bang(void *o);
void *outlet_list(void *o, t_symbol *s, short ac, t_atom *av);
void *outlet_anything(void *o, t_symbol *s, short ac, t_atom *av);

// --- console -------------------------------------------------------------

void post(const char *fmt, ...) MAXAPI_PRINTF(1, 2);
void error(const char *fmt, ...) MAXAPI_PRINTF(1, 2);
// An alert shown to the user rather than a console line.
void ouchstring(const char *fmt, ...) MAXAPI_PRINTF(1, 2);

// --- memory --------------------------------------------------------------

// Blocks of 0 to 32767 bytes; any other size gives null.  Free with the size
// asked for.
char *getbytes(int32_t size);
void freebytes(void *p, int32_t size);
// Large blocks, 32-bit size.
char *t_getbytes(int32_t size);
void t_freebytes(void *p, int32_t size);

// Relocatable blocks (handles), as the resource calls hand out.
typedef char **t_handle;
void disposhandle(char **h);

// --- symbols and text ----------------------------------------------------

t_symbol *gensym(const char *s);
// Copies a length-prefixed string (first byte the length) into a
// NUL-terminated text: the characters, then a NUL.
void ptoccpy(char *dst, const unsigned char *src);

// --- deferral ------------------------------------------------------------

// Queues fn(x, s, ac, av) to run later on the main thread.  fn has the
// prototype void (*)(void *, t_symbol *, short, t_atom *).
void defer_low(void *x, method fn, t_symbol *s, short ac, t_atom *av);

// --- atoms ---------------------------------------------------------------

void atom_setlong(t_atom *a, int32_t n);
void atom_setfloat(t_atom *a, float f);
void atom_setsym(t_atom *a, t_symbol *s);

#ifdef __cplusplus
}
#endif
