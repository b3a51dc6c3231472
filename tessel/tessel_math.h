// The two double-precision functions of tessel~: the sine that fills the
// table and the power of two that makes the transposition ratio.  They are
// the project's own, not the C library's, so that every platform computes
// the same bits: the sine of Windows' C runtime (msvcrt) is the x87 one,
// which misses sin(π) in the fourth digit, so a table built with it differs
// from one built on Linux.  Each is within a little over half an ulp of the
// exact value; rounded to single precision, as tessel~ uses them, they give
// what the GNU C library's sin and pow give (checked for every table entry
// and for transpositions over the whole useful range).
#pragma once

// sin(x) for |x| up to a few thousand; every table angle is below 2π.
double tessel_sin(double x);

// 2 to the power y: +inf at and above 1024, 0 below -1080, NaN for NaN.
double tessel_exp2(double y);
