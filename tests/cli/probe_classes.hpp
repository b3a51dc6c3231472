// Two small classes that make the command-line host's output visible without
// depending on the real plug-ins: "probe" (control) and "ramp~" (signal).
#pragma once

// probe [N]: refuses N < 0.  Two outlets: 0 (left) messages, 1 (right) ints
// and bangs.
//   int N        -> outlet 1: int N
//   bang         -> outlet 1: bang
//   float F      -> outlet 0: float F
//   list ...     -> outlet 0: list ...
//   echo ...     -> outlet 0: echo ...
//   later ...    -> deferred, then outlet 0: later ...
//   find NAME    -> outlet 0: found NAME TEXT, or missing (WAVE files only;
//                   TEXT is the start of the file, so tests can tell copies
//                   in different folders apart)
//   choose       -> outlet 0: chose NAME TEXT, or cancelled (the file dialog)
//   say SYM / complain SYM / alarm SYM -> post / error / ouchstring
int probe_setup();

// ramp~ [N]: one signal inlet, N signal outlets (1 when absent, refused
// outside 1..4); outlet j carries the input times j + 1, zeros while
// disabled.
int ramp_setup();

// Counts of creations and frees since the process started.
extern int probe_live;
extern int ramp_live;
