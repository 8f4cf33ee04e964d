// Vector drawing: one open polyline or one filled polygon per call, in the
// current window, with the line state and colour table of style.cc.
#include "pv5.h"

int32_t pathop(bool fill, int32_t n, const float *x, const float *y) {
  // Fewer than two points make no line and no area.
  if (n < 2 || !window_valid(cur)) return 0;
  cairo_t *c = gc[cur];

  double r = 0, g = 0, b = 0;  // black without a table
  if (ncolor > 0) {
    const cent &e = tcolor[(linecolor >= 0 && linecolor < ncolor) ? linecolor : 0];
    r = e.r, g = e.g, b = e.b;
  }
  cairo_set_source_rgba(c, r, g, b, 1.0);

  if (!fill) {
    // Width 0 is the thinnest line the screen can show, one pixel, as
    // PostScript has it; cairo itself would draw nothing.
    double w = linewidth;
    if (w == 0) {
      double dy = 0;
      w = 1;
      cairo_device_to_user_distance(c, &w, &dy);
    }
    cairo_set_line_width(c, w);
    // Dashes in user units, so the pattern scales with the window.
    const lstyle &ls = linestyles[linestyle];
    double dash[6];
    for (int32_t i = 0; i < ls.nseg; i++) dash[i] = ls.segs[i];
    cairo_set_dash(c, dash, ls.nseg, 0.0);
  }

  // Each polyline its own path: one long path costs cairo far more.
  cairo_new_path(c);
  cairo_move_to(c, x[0] * sx, y[0] * sy);
  for (int32_t i = 1; i < n; i++) cairo_line_to(c, x[i] * sx, y[i] * sy);
  if (fill)
    cairo_fill(c);  // closes the path implicitly; non-zero winding (gcprep)
  else
    cairo_stroke(c);
  return 0;
}
