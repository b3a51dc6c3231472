// brindle~: reads the markers of a sound file (AIFF, AIFC, WAVE or Sound
// Designer II) and sends their count on the right outlet, then one
// name/time list per marker on the left, times in milliseconds or frames.
//
// Everything runs on the host's main thread.  A file is never opened inside
// a message: open and a name in the box queue brindle_opendefered with
// defer_low.  What an open loads stays held until the next open or the
// box's end, so every bang reads the same data again.
#pragma once

#include <cstdint>

#include "Resources.h"
#include "brindle_core.h"
#include "ext.h"
#include "ext_path.h"
#include "ext_sndfile.h"
#include "ext_sysfile.h"

struct t_brindle {
    t_object ob;              // the host's header
    void *listOutlet;         // left outlet: one (name, time) list per marker
    void *countOutlet;        // right outlet: the marker count, before the lists
    t_sndfileinfo info;       // AIFF/AIFC only: rate and the marker chunk copy we own
    int32_t peakMode;         // 1: drop one trailing blank from AIFF/AIFC names
    int32_t outputMode;       // 0: milliseconds as floats; 1: sample frames as integers
    uint8_t outputOnOpen;     // non-zero: an open that succeeds sends the markers at once
    char fileName[256];       // current file, 255 characters and the NUL
    short pathId;             // host path id of the folder holding fileName
    t_fourcc fileType;        // AIFF, AIFC, WAVE, Sd2f, or BRINDLE_NO_FILE
    t_filehandle fileHandle;  // open only while a WAVE header is walked
    int32_t sampleRate;       // WAVE (from fmt) and Sound Designer II (from STR ) rate
    t_dynMemory cueChunk;     // WAVE cue chunk data
    t_dynMemory listChunk;    // WAVE adtl list data
    t_dynMemory smplChunk;    // WAVE first sample-loop chunk data
    Handle rateResource;      // Sound Designer II STR  1001, detached, ours
    Handle markerResource;    // Sound Designer II sdML 1000, detached, ours
    int32_t waveRuns;         // brindle_wave runs of this box under way, nested ones included
    uint8_t waveRefused;      // non-zero: a run's table was refused while another run was reading
};

// No file opened yet: four ASCII zeros, not the integer 0.
constexpr t_fourcc BRINDLE_NO_FILE = FOUR_CHAR_CODE('0', '0', '0', '0');
constexpr t_fourcc BRINDLE_AIFF = FOUR_CHAR_CODE('A', 'I', 'F', 'F');
constexpr t_fourcc BRINDLE_AIFC = FOUR_CHAR_CODE('A', 'I', 'F', 'C');
constexpr t_fourcc BRINDLE_WAVE = FOUR_CHAR_CODE('W', 'A', 'V', 'E');
constexpr t_fourcc BRINDLE_SD2 = FOUR_CHAR_CODE('S', 'd', '2', 'f');

// Registration and defer_low take every method as one generic pointer; the
// host casts it back to the prototype the argument types describe.
template <class R, class... A>
method brindle_method(R (*f)(A...)) {
    return reinterpret_cast<method>(reinterpret_cast<void (*)()>(f));
}

// The class, created by main.
extern t_messlist *brindle_class;

void *brindle_new(t_symbol *s);
void brindle_free(t_brindle *x);
void brindle_assist(t_brindle *x, void *box, int32_t kind, int32_t index, char *dst);
void brindle_peakMode(t_brindle *x, int32_t v);
void brindle_outputMode(t_brindle *x, int32_t v);
void brindle_bang(t_brindle *x);
void brindle_search(t_brindle *x);

void brindle_open(t_brindle *x, t_symbol *s);
void brindle_opendefered(t_brindle *x, t_symbol *s, short argc, t_atom *argv);

// The readers (brindle_readers.cpp): each sends the count and the markers
// of the data held.  brindle_free, the class's free method, is theirs too:
// it gives back what an open loaded.
void brindle_aiff(t_brindle *x);
void brindle_SDII(t_brindle *x);
void brindle_wave(t_brindle *x);

// Copies the Sound Designer II rate and marker resources out of the file's
// resource fork; 0, or the Resource Manager's error code.
int32_t LoadResources(const char *name, short pathId, Handle *rate, Handle *markers);
// Walks the open WAVE file's chunks into the record.
void brindle_loadwaveheader(t_brindle *x);
// Gives a block back to the host's freebytes if one is held, and marks it
// not held.
void freedynMemory(t_dynMemory *d);
