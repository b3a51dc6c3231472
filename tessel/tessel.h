// tessel~: an additive synthesizer.  Up to 100 table-lookup sine partials,
// each set by a list message, share one transposition and one frequency
// shift (each a stored value plus a signal inlet plus a sine LFO), are dealt
// round-robin over one to eight signal outlets and scaled sample by sample
// by the signal at the left inlet.
//
// The main thread runs creation, the messages and dsp; the audio thread runs
// tessel_perform.  Fields that cross between them are single 32-bit words
// accessed through shared_load/shared_store.
#pragma once

#include <cstdint>

#include "ext.h"
#include "tessel_bank.h"
#include "z_dsp.h"

struct t_tessel {
    t_pxobject x_obj;    // signal-object header; z_disabled is read per vector
    float *mem;          // the one work block: sine table, then the accumulation buffers
    int32_t vec_size;    // samples per vector, from the latest dsp call
    float sr;            // sample rate in Hz, from the latest dsp call
    float max_freq;      // exclusive bound for a listed frequency: sr * 0.5 - 1
    int32_t n_partials;  // partials in use, 1..100, fixed at creation
    int32_t n_outputs;   // signal outlets, 1..8, fixed at creation
    // Twice the 100 partials a box can have.  Nothing needs the second
    // hundred: a list sets one partial (number, frequency, amplitude), not
    // frequency/amplitude pairs, and only entries below n_partials are ever
    // read or written.  It stays because the record's layout is fixed: the
    // fields after the table at their offsets, the size as registered.
    t_partial partials[200];
    float transpo_lfo_f;           // Hz
    float transpo_lfo_depth;       // semitones; 0 freezes the LFO
    float transpo_lfo_phase;       // table position, advanced once per vector
    float shift_lfo_f;             // Hz
    float shift_lfo_depth;         // Hz; 0 freezes the LFO
    float shift_lfo_phase;         // table position, advanced once per vector
    float *sin_table;              // TESSEL_TABLE_SIZE entries at the start of mem
    float *out_buf[8];             // accumulation buffer of each outlet, inside mem; addresses
                                   // its first sample, as the loops index it from 0
    int32_t transpo_connected;     // a signal reaches the transposition inlet
    int32_t shift_connected;       // a signal reaches the frequency-shift inlet
    float transpo;                 // semitones
    float shift;                   // Hz
    const char *inlet_assist[3];   // help texts, left to right
    const char *outlet_assist[8];  // help texts of all eight possible outlets
};

// The class, created by main.
extern t_messlist *tessel_class;

// Work block size for a given outlet count: the table, then one 2048-sample
// buffer per outlet.  The size is not stored; free computes it again.
inline int32_t tessel_block_bytes(int32_t n_outputs) {
    return TESSEL_TABLE_BYTES + TESSEL_BUFFER_BYTES * n_outputs;
}

void *tessel_new(int32_t n_partials, int32_t n_outputs);
void tessel_free(t_tessel *x);
void tessel_assist(t_tessel *x, void *box, int32_t msg, int32_t index, char *dst);

void tessel_list(t_tessel *x, t_symbol *s, short argc, t_atom *argv);
void tessel_reset(t_tessel *x);
void tessel_set_transpo(t_tessel *x, double value);
void tessel_set_transpo_lfo_f(t_tessel *x, double value);
void tessel_set_transpo_lfo_depth(t_tessel *x, double value);
void tessel_set_shift(t_tessel *x, double value);
void tessel_set_shift_lfo_f(t_tessel *x, double value);
void tessel_set_shift_lfo_depth(t_tessel *x, double value);
void tessel_reset_transpo_shift(t_tessel *x);

void tessel_dsp(t_tessel *x, t_signal **sp, short *count);
t_int *tessel_perform(t_int *w);
