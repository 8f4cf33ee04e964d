// The raster colour table's inner routines, shared by lookup.cc and the raster
// builder (raster.cc) and reachable from tests.  lookup() itself is declared
// in pv5.h.
#ifndef PV5_LOOKUP_H
#define PV5_LOOKUP_H

#include <stdint.h>

// Where the bracket walk of lookup stops for z: the first k in 1 .. ntab-1
// whose level ct[k].v >= z, or ntab when none does (then both ends of the
// bracket are the last entry).  Entry 0's level is never compared.  Needs
// ntab >= 1.
int32_t lookup_bracket_linear(float z);
// The same answer by binary search; valid only when lookup_ascending().
int32_t lookup_bracket_binary(float z);
// True when ct[1 .. ntab-1].v never descend (no NaN), so the walk's stopping
// test is monotone and binary search finds the same stop.
bool lookup_ascending();

// Colours n values as lookup does, writing each pixel as a native-endian
// 0xFFRRGGBB word (opaque, the bytes lookup would put in 1..3).  Needs
// ntab >= 1.
void lookup_row(const float *z, int32_t n, uint32_t *words);

#endif  // PV5_LOOKUP_H
