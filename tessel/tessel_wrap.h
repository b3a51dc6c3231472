// The phase wrap of the bank and of the paths' general partials.  An inline
// function: never included by the paths built for wider instruction sets
// (tessel_path_generic.h), which could otherwise leave the linker a copy of
// it built for an instruction set the machine lacks (see tessel_paths.h).
#pragma once

#include <cmath>
#include <cstdint>

#include "tessel_table.h"

// Brings a phase back into [0, 5000).  A phase already in range is kept with
// its fraction; one at or past 5000 becomes its integer part modulo 5000,
// by integer arithmetic while the integer part fits 32 bits and by fmodf
// past that (fmodf of an integer-valued float is exact, so both give the
// same).  A phase that is infinite or not a number restarts at 0; a
// negative finite one (only a negative sample rate makes one) is folded up
// the same way.
inline float tessel_wrap_phase(float p) {
    constexpr float top = TESSEL_TABLE_SIZE;
    if (p >= 0.0f && p < top) return p;
    if (p >= top && p < 2147483648.0f) return static_cast<float>(static_cast<int32_t>(p) % TESSEL_TABLE_SIZE);
    if (!std::isfinite(p)) return 0.0f;
    const float r = std::fmod(std::trunc(p), top);
    return r < 0.0f ? r + top : r + 0.0f;  // + 0 turns -0 into 0
}
