// Graphic cursor: not built yet; answers -1 at once.
#include "pv5.h"

plat_window *cwin;
cairo_t *cgc;
float cx, cy;

int32_t cursor(bool, int32_t, float, float, float *, float *, unsigned char *, size_t) { return -1; }

void crosshair(plat_window *, cairo_t *, int32_t, float, float) {}
