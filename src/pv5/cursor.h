// Graphic cursor internals shared with the window event handler and the
// tests: the point type and the inclusive point-in-rectangle test.
#ifndef PV5_CURSOR_H
#define PV5_CURSOR_H

#include <stdint.h>

#include "platform/platform.h"

// A point in global pixels, y down.
struct Point {
  int v, h;
};

// 1 when pt lies in r with all four edges counted as inside, else 0.  The
// right and bottom edges belong to the content too, so a pointer resting on
// the last pixel column or row still places the cross hair.
int32_t MyPtInRect(Point pt, const plat_rect *r);

#endif  // PV5_CURSOR_H
