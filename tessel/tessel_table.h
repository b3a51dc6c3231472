// The sine table every oscillator of an instance reads: its size and how it
// is filled.  Plain data and a declaration only, because the paths built for
// wider instruction sets include it (see tessel_paths.h).
#pragma once

#include <cstdint>

// Positions per cycle: the bank's phases count them, and the paths wrap at
// them.
inline constexpr int32_t TESSEL_TABLE_SIZE = 5000;

// Fills table[0..n) with one period of a sine, computed in double precision.
void init_sin(float *table, int32_t n);
