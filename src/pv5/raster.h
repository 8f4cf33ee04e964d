// The raster builder's drawing step, reachable from the benchmark so that it
// measures the very code the server runs.
#ifndef PV5_RASTER_H
#define PV5_RASTER_H

#include <cairo.h>
#include <stdint.h>

// Draws a bw x bh block of native-endian ARGB32 pixels, stored top row first,
// into the rectangle (x0, y0) .. (x1, y1) of a y-up context, with no
// smoothing: the block's row 0 goes to the top edge.
void raster_draw(cairo_t *ctx, uint32_t *pixels, int32_t bw, int32_t bh, float x0, float y0, float x1,
                 float y1);

#endif  // PV5_RASTER_H
