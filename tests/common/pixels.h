// Pixel reading shared by the tests that look at pictures.
#ifndef PV5_TEST_PIXELS_H
#define PV5_TEST_PIXELS_H

#include <cairo.h>
#include <stdint.h>
#include <string.h>

// Darkest green value in the 3 x 3 block around pixel (x, y) of an RGB24 or
// ARGB32 image surface, y down; 255 when the block lies outside it.  Thin
// antialiased black lines show as a dark green channel wherever they fall.
inline int darkest_green(cairo_surface_t *s, int x, int y) {
  const unsigned char *d = cairo_image_surface_get_data(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s), best = 255;
  for (int j = y - 1; j <= y + 1; j++)
    for (int i = x - 1; i <= x + 1; i++) {
      if (i < 0 || j < 0 || i >= w || j >= h) continue;
      uint32_t p;
      memcpy(&p, d + j * stride + i * 4, 4);
      int g = (p >> 8) & 0xff;
      if (g < best) best = g;
    }
  return best;
}

#endif
