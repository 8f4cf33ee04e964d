// The raster colour table and lookup: a data value is placed between two
// neighbouring levels of ct and its colour interpolated linearly between
// theirs, then scaled to bytes.  Arithmetic is in 32-bit floats, rounding to
// nearest with halves to even, and only the low eight bits of each channel are
// kept (no clamp), so values outside the table wrap exactly as clients expect.
//
// lookup is the per-pixel reference.  The raster builder colours whole rows
// through lookup_row, which must give the same bytes: it finds the bracket by
// binary search when the levels ascend (after two cheap guesses: the bracket
// the value would have if the levels were evenly spaced, and the previous
// pixel's), and by the linear walk otherwise.
#include "lookup.h"

#include <math.h>

#include "pv5.h"

tab ct[PV5_RH_MAXCOLORS];
int32_t ntab;

// Round half to even as lrintf does in the default rounding mode, kept to the
// low eight bits.  Adding 1.5 * 2^23 pushes |v| < 2^22 into the range where a
// float's spacing is 1, so the hardware's own rounding does the work without
// a library call; larger values (and NaN) take lrintf.
static inline uint32_t rnd8(float v) {
  if (fabsf(v) < 4194304.0f) {
    float r = (v + 12582912.0f) - 12582912.0f;
    return uint32_t(int32_t(r)) & 0xffu;
  }
  return uint32_t(lrintf(v)) & 0xffu;
}

// The colour of z for a bracket stop k (see lookup_bracket_linear), as an
// opaque 0xFFRRGGBB word.  Forced inline: it is the body of the row loop.
// nt is ntab, passed in so that the row loop keeps it in a register (the
// stores of pixel words could otherwise alias it).
__attribute__((always_inline)) static inline uint32_t colour(float z, int32_t k, int32_t nt) {
  int32_t i = k, j = k - 1;
  if (k >= nt) i = j = nt - 1;
  const tab &lo = ct[j], &hi = ct[i];
  float diff = hi.v - lo.v;
  float f = z - lo.v;
  if (diff > 0) f = f / diff;
  uint32_t r = rnd8((lo.r + (hi.r - lo.r) * f) * 255.0f);
  uint32_t g = rnd8((lo.g + (hi.g - lo.g) * f) * 255.0f);
  uint32_t b = rnd8((lo.b + (hi.b - lo.b) * f) * 255.0f);
  return 0xff000000u | r << 16 | g << 8 | b;
}

int32_t lookup_bracket_linear(float z) {
  int32_t i = 1;
  while (i < ntab && !(ct[i].v >= z)) i++;
  return i;
}

int32_t lookup_bracket_binary(float z) {
  // First k in [1, ntab) with ct[k].v >= z, else ntab.  The test is written
  // as the walk writes it, so a NaN z (never >=) runs off the end just as the
  // walk does.  The answer lies in [k, k + n]; each step halves n with a
  // conditional move instead of a branch, since the direction taken is as
  // good as random on noisy data.
  int32_t k = 1, n = ntab - 1;
  if (n == 0) return 1;
  while (n > 1) {
    int32_t half = n / 2;
    k = ct[k + half].v >= z ? k : k + half;
    n -= half;
  }
  return k + !(ct[k].v >= z);
}

bool lookup_ascending() {
  for (int32_t k = 2; k < ntab; k++)
    if (!(ct[k].v >= ct[k - 1].v)) return false;
  return true;
}

void lookup(float z, unsigned char *l) {
  l[0] = 0;
  if (ntab <= 0) {  // no table yet: black
    l[1] = l[2] = l[3] = 0;
    return;
  }
  uint32_t w = colour(z, lookup_bracket_linear(z), ntab);
  l[1] = (unsigned char)(w >> 16);
  l[2] = (unsigned char)(w >> 8);
  l[3] = (unsigned char)w;
}

// True when the walk for z stops at k: k is past every level below z and is
// the end or a level at or above z.
static inline bool stops_at(int32_t k, float z, int32_t nt) {
  return (k >= nt || ct[k].v >= z) && (k == 1 || !(ct[k - 1].v >= z));
}

void lookup_row(const float *z, int32_t n, uint32_t *words) {
  const int32_t nt = ntab;
  if (!lookup_ascending()) {
    for (int32_t i = 0; i < n; i++) words[i] = colour(z[i], lookup_bracket_linear(z[i]), nt);
    return;
  }
  // Colour tables usually have evenly spaced levels, and then the stop can be
  // read off by proportion.  The guess is only a guess: it is checked, and
  // binary search has the last word, so uneven tables and rounding cost time,
  // never a different bracket.
  float v1 = nt > 1 ? ct[1].v : 0.0f, span = nt > 2 ? ct[nt - 1].v - v1 : 0.0f;
  float per = span > 0 ? float(nt - 2) / span : 0.0f;
  int32_t k = 1;
  for (int32_t i = 0; i < n; i++) {
    float v = z[i];
    float t = (v - v1) * per;
    int32_t g = 1;
    if (t >= float(nt)) {
      g = nt;
    } else if (t > 0.0f) {
      int32_t ti = int32_t(t);
      g = 1 + ti + (float(ti) < t);  // 1 + ceil(t)
      if (g > nt) g = nt;
    }
    if (stops_at(g, v, nt)) k = g;
    else if (!stops_at(k, v, nt)) k = lookup_bracket_binary(v);
    words[i] = colour(v, k, nt);
  }
}
