// mkraster OUT WIDTH LENGTH [HEADER_WORDS]: writes a sample raster for
// pixmill, big-endian float32, row after row, after HEADER_WORDS zero words.
// The pattern (rings over a slope) shows the grey scale and any padding.
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "textnum.h"

int main(int argc, char **argv) {
  if (argc < 4 || argc > 5) {
    fprintf(stderr, "usage: mkraster OUT WIDTH LENGTH [HEADER_WORDS]\n");
    return 2;
  }
  long w = atol(argv[2]), l = atol(argv[3]), h = argc == 5 ? atol(argv[4]) : 0;
  if (w <= 0 || l <= 0 || h < 0) {
    fprintf(stderr, "mkraster: bad size\n");
    return 2;
  }
  FILE *f = fopen(argv[1], "wb");
  if (!f) {
    perror(argv[1]);
    return 1;
  }
  float zero = 0.0f;
  for (long i = 0; i < h; i++) fwrite(&zero, 4, 1, f);
  float *row = static_cast<float *>(malloc(sizeof(float) * w));
  if (!row) return 1;
  const int count = int(w);
  for (long y = 0; y < l; y++) {
    for (long x = 0; x < w; x++) {
      double u = (x - w / 2.0) / w, v = (y - l / 2.0) / l;
      double r = sqrt(u * u + v * v);
      row[x] = float(100.0 * (1.0 + cos(40.0 * r)) * (1.0 - r) + 50.0 * double(x) / w);
    }
    swap_bytes32(row, count);
    fwrite(row, sizeof(float), w, f);
  }
  free(row);
  if (fclose(f) != 0) {
    perror(argv[1]);
    return 1;
  }
  return 0;
}
