// The window table: five slots, each a platform window with the cairo context
// everything is drawn through, and the operations the dispatcher calls on it.
//
// Plot coordinates are in units of the content width.  Drawing multiplies
// them by sx = sy = display width, and each context is scaled by
// content width / display width, which brings them back to the window.
//
// The cursor overlay is tied to its plot window by the platform, so there are
// no window groups here.
#include <stdio.h>

#include "pv5.h"

plat_window *EventWindow[PV5_NWIN];
cairo_t *gc[PV5_NWIN];
uint8_t wvis[PV5_NWIN];
int32_t cur;
float width, height;
float sx, sy;

namespace {

// A screen coordinate from a product that may be anything the client sent:
// truncated toward zero and held to 16 bits.
int pix16(float v) {
  if (!(v == v)) return 0;
  if (v > 32767.0f) return 32767;
  if (v < -32768.0f) return -32768;
  return (int)v;
}

// Context first: it holds the window's backing store.
void release(int32_t wix) {
  cairo_destroy(gc[wix]);
  gc[wix] = nullptr;
  plat_window_dispose(EventWindow[wix]);
  EventWindow[wix] = nullptr;
  wvis[wix] = 0;
}

}  // namespace

bool window_valid(int32_t wix) { return wix >= 0 && wix < PV5_NWIN && EventWindow[wix]; }

void window_table_init() {
  for (int32_t i = 0; i < PV5_NWIN; i++)
    if (EventWindow[i]) release(i);
  int w = 0, h = 0;
  plat_display_size(&w, &h);
  width = (float)w;
  height = (float)h;
  sx = sy = width;
  cur = 0;
}

void gcprep(cairo_t *ctx) {
  cairo_set_antialias(ctx, CAIRO_ANTIALIAS_DEFAULT);  // antialiased on image surfaces
  cairo_set_line_join(ctx, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(ctx, CAIRO_LINE_CAP_BUTT);
  cairo_set_fill_rule(ctx, CAIRO_FILL_RULE_WINDING);
}

int32_t create(int32_t wix, bool show, float xl, float yl, float xh, float yh) {
  if (wix < 0 || wix >= PV5_NWIN) return -1;
  if (EventWindow[wix]) {
    if (wvis[wix]) {  // shown: keeps its place and size
      setactive(wix);
      return 0;
    }
    release(wix);  // the hidden start-up window is rebuilt
  }
  // All four edges are fractions of the display width; xl is the top edge.
  plat_rect r;
  r.top = pix16(width * xl);
  r.left = pix16(width * yl);
  r.right = pix16(width * xh);
  r.bottom = pix16(width * yh);
  plat_window *w = plat_window_create(&r);
  if (!w) {
    fprintf(stderr, "pv5:Unable to create window %d\n", wix + 1);
    return -1;
  }
  EventWindow[wix] = w;
  // Scaled by the requested width, whatever the window system made of it.
  float xsiz = (float)(r.right - r.left);
  gc[wix] = plat_context_create(w);
  gcprep(gc[wix]);
  cairo_scale(gc[wix], xsiz / width, xsiz / width);
  setactive(wix);
  plat_window_set_tag(w, wix);
  wvis[wix] = show;
  if (show) plat_window_show(w);
  plat_window_set_handler(w, QuartzEventHandler, w);
  return 0;
}

int32_t destroy(int32_t wix) {
  if (!window_valid(wix)) return -1;
  release(wix);
  return 0;
}

void setactive(int32_t wix) {
  char title[64];
  for (int32_t i = 0; i < PV5_NWIN; i++) {
    if (!EventWindow[i]) continue;
    snprintf(title, sizeof title, "TQV %d - %s", i + 1, i == wix ? "active" : "inactive");
    plat_window_set_title(EventWindow[i], title);
  }
}

int32_t erase(int32_t wix) {
  if (!window_valid(wix)) return -1;
  // Painting covers the whole backing store, the content area exactly,
  // whatever size the window system gave the window.
  cairo_set_source_rgba(gc[wix], 1.0, 1.0, 1.0, 1.0);
  cairo_paint(gc[wix]);
  plat_window_synchronize(EventWindow[wix]);
  return 0;
}

int32_t flush(int32_t wix) {
  if (!window_valid(wix)) return -1;
  plat_window_flush(EventWindow[wix]);
  return 0;
}

int32_t getrootsize(int32_t wix, float *value) {
  if (!window_valid(wix)) return -1;
  plat_rect r;
  plat_window_content_bounds(EventWindow[wix], &r);
  float w = (float)(r.right - r.left);
  value[0] = w > 0 ? (float)(r.bottom - r.top) / w : 0.0f;
  return 0;
}

int32_t getratio(float *value) {
  value[0] = width;
  value[1] = height / width;
  return 0;
}
