// Basic types of the host object interface: symbols, atoms, object headers
// and the method pointer every registration call takes.
//
// Widths follow the host's 32-bit ABI on every platform: a "long" of the
// host is int32_t here, never the platform's long.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Argument type codes for setup/addmess and for atoms.
enum e_max_atomtypes {
    A_NOTHING = 0,  // ends a type list
    A_LONG = 1,
    A_FLOAT = 2,
    A_SYM = 3,
    A_DEFLONG = 5,  // optional integer, 0 when absent
    A_DEFSYM = 7,   // optional symbol, the empty symbol when absent
    A_GIMME = 8,    // selector plus the atoms as they came
    A_CANT = 9      // called by the host only, with its own prototype
};

typedef struct symbol {
    char *s_name;   // the interned text
    void *s_thing;  // reserved for the host
} t_symbol;

union word {
    int32_t w_long;
    float w_float;
    t_symbol *w_sym;
    void *w_obj;
};

typedef struct atom {
    short a_type;
    union word a_w;
} t_atom;

// Opaque class record; a plug-in keeps a pointer to it in its class slot.
typedef struct messlist t_messlist;
typedef t_messlist t_class;

// The header that begins every instance record.  Plug-ins never touch its
// fields; the host keeps the instance's box there.
typedef struct object {
    t_messlist *o_messlist;  // the class
    void *o_box;             // the host's box of this instance
} t_object;

// A method pointer as registration calls take it: the one function type that
// converts to and from every other without a warning.  The host casts it back
// to the prototype the registered argument types describe before calling it.
typedef void (*method)(void);

// Pointer-sized integer used in DSP argument blocks.
typedef intptr_t t_int;

// Four-character code, compared as a big-endian integer.
typedef uint32_t t_fourcc;

#define FOUR_CHAR_CODE(a, b, c, d)                                                \
    ((t_fourcc)(((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | \
                ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d)))

#ifdef __cplusplus
}
#endif
