// The signal (MSP) interface: signal objects, the DSP chain and perform
// routines.
#pragma once

#include "ext_types.h"

#ifdef __cplusplus
extern "C" {
#endif

// Header of every signal object's record.
typedef struct t_pxobject {
    t_object z_ob;
    int32_t z_in;        // number of signal inlets
    void *z_proxy;       // reserved for the host
    int32_t z_disabled;  // non-zero while the host has the object disabled
    short z_count;       // reserved for the host
    short z_misc;        // reserved for the host
} t_pxobject;

// Description of one signal inlet or outlet as the dsp method sees it.
typedef struct t_signal {
    int32_t s_n;   // samples per vector
    float *s_vec;  // the samples
    float s_sr;    // sample rate
    int32_t s_refcount;
    int32_t s_zero;
} t_signal;

// A perform routine: gets w with w[1..n] the arguments given to dsp_add and
// returns w + n + 1.
typedef t_int *(*t_perfroutine)(t_int *w);

// The dsp method a signal class binds with A_CANT has this prototype:
//   void (*)(void *x, t_signal **sp, short *count)
// sp holds the inlets left to right, then the outlets left to right; count
// holds one connection count per signal inlet.
typedef void (*t_dspmethod)(void *x, t_signal **sp, short *count);

// Makes the class being set up a signal class.
void z_add_signalmethod(void);
// Gives the instance n signal inlets.
void z_dsp_setup(t_pxobject *x, short nsignals);
// Takes the instance out of the DSP chain; first call of its free function.
void z_dsp_free(t_pxobject *x);

// Appends a perform routine with n pointer-sized arguments to the chain.
void dsp_add(t_perfroutine f, int n, ...);
void set_zero(float *f, int32_t n);

// The sample rate of the running chain, or the host's default before one ran.
float sys_getsr(void);

#ifdef __cplusplus
}
#endif
