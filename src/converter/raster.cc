// The conversion's arithmetic: range scan, power-law normalisation and pixel
// bytes, done in place in one store so that a large raster costs one buffer.
//
// Why in place is safe: sample j is read (bytes 4j..4j+3 of the store)
// before its pixel is written, and its pixel never lands beyond byte 4j + 3:
// an x window word at 4j, a grey byte at j + j / width (<= 2j), and the pad
// byte of row r at (r + 1)(width + 1) - 1, which is before the next row's
// first sample at 4 (r + 1) width.
#include <limits.h>
#include <math.h>
#include <string.h>
#include <sys/mman.h>

#include "converter.h"

namespace {

const int64_t khuge = int64_t(2) << 20;

struct scale {
  float p, a, d;
  bool unit;       // p is 1: powf(x, 1) is x exactly, so it is skipped
  unsigned flip;  // 0, or 255 for reversed video
};

scale makescale(float p, float lo, float hi, bool reverse) {
  float a = powf(lo, p), b = powf(hi, p);
  return scale{p, a, b - a, p == 1.0f, reverse ? 255u : 0u};
}

// Pixel byte of sample x.  v above 1 loses one (it is not clamped); v that is
// not above 0, NaN included, becomes 0.  255 v is truncated toward zero; a
// level beyond the 32-bit range is taken as INT_MIN, as the x86 conversion
// gives it, so its byte is 0.
inline unsigned pixel(float x, const scale &s) {
  float xp = s.unit ? x : powf(x, s.p);
  float v = (xp - s.a) / s.d;
  if (v > 1.0f) v = v - 1.0f;
  if (!(v > 0.0f)) v = 0.0f;
  float f = v * 255.0f;
  int32_t level = f < 2147483648.0f ? int32_t(f) : INT_MIN;
  return (uint32_t(level) & 255u) ^ s.flip;
}

}  // namespace

// Large stores are mapped directly and marked for huge pages: faulting a
// 64 MiB raster in 4 KiB pages costs more than the whole conversion.
void *rasalloc(const int64_t &bytes) {
  if (bytes <= 0) return nullptr;
  size_t len = size_t(bytes);
  if (bytes >= khuge) len = size_t((bytes + khuge - 1) / khuge * khuge);
  void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  if (bytes >= khuge) madvise(p, len, MADV_HUGEPAGE);
  return p;
}

void rasfree(void *store, const int64_t &bytes) {
  if (!store || bytes <= 0) return;
  size_t len = size_t(bytes);
  if (bytes >= khuge) len = size_t((bytes + khuge - 1) / khuge * khuge);
  munmap(store, len);
}

void rrange(const float *data, const int &n, float &lo, float &hi) {
  float l = 1.0e30f, h = 0.0f;
  for (int i = 0; i < n; i++) {
    float x = data[i];
    if (x > h) h = x;
    if (x < l) l = x;
  }
  lo = l;
  hi = h;
}

void rxwin(void *data, const int &n, const float &p, const float &lo, const float &hi,
           const bool &reverse) {
  scale s = makescale(p, lo, hi, reverse);
  unsigned char *store = static_cast<unsigned char *>(data);
  for (int64_t i = 0; i < n; i++) {
    float x;
    memcpy(&x, store + 4 * i, 4);
    unsigned char b = static_cast<unsigned char>(pixel(x, s));
    unsigned char word[4] = {0, b, b, b};
    memcpy(store + 4 * i, word, 4);
  }
}

void rgrey(void *data, int &width, int &length, const float &p, const float &lo, const float &hi,
           const bool &reverse) {
  scale s = makescale(p, lo, hi, reverse);
  unsigned char *store = static_cast<unsigned char *>(data);
  unsigned char pad = reverse ? 255 : 0;
  int64_t w = width, l = length;
  int64_t wout = w + (w & 1);
  for (int64_t r = 0; r < l; r++) {
    const unsigned char *src = store + 4 * r * w;
    unsigned char *dst = store + r * wout;
    for (int64_t c = 0; c < w; c++) {
      float x;
      memcpy(&x, src + 4 * c, 4);
      dst[c] = static_cast<unsigned char>(pixel(x, s));
    }
    if (wout != w) dst[w] = pad;
  }
  if (l & 1) memset(store + l * wout, pad, size_t(wout));
  width = int(wout);
  length = int(l + (l & 1));
}
