// The headless backend: windows live in memory only.  It records what a
// screen would have shown (frames presented, beeps) for tests; the snapshots
// and the events log make the rest visible from outside the process.
#include "internal.h"

static int hl_open(const plat_options *opt, char *err, int errlen) {
  int w = opt->display_w, h = opt->display_h;
  if (w == 0 && h == 0) {
    w = 1280;
    h = 1024;
  }
  if (w <= 0 || h <= 0) {
    plat_errtext(err, errlen, "invalid display size %dx%d", w, h);
    return -1;
  }
  plat.display_w = w;
  plat.display_h = h;
  return 0;
}

static void hl_close() {}
static int hl_fd() { return -1; }
static int hl_window_create(plat_window *) { return 0; }
static void hl_window_destroy(plat_window *) {}
static void hl_window_title(plat_window *) {}
static void hl_window_bounds(plat_window *) {}

// One active window at a time, raised to the top: what a desktop does.
static void hl_window_select(plat_window *win) {
  for (plat_window *w = plat.windows; w; w = w->next) w->active = w == win;
  plat_window **p = &plat.windows;
  while (*p && *p != win) p = &(*p)->next;
  if (*p) {
    *p = win->next;
    win->next = plat.windows;
    plat.windows = win;
  }
}

// A window shown comes to the front and takes the focus.
static void hl_window_show(plat_window *win) { hl_window_select(win); }

static void hl_present(plat_window *, bool) { plat.record.presents++; }

static void hl_global_mouse(int *x, int *y) {
  *x = plat.mouse_x;
  *y = plat.mouse_y;
}

static void hl_beep() { plat.record.beeps++; }
static void hl_icon(cairo_surface_t *) {}

const plat_ops plat_headless_ops = {
    hl_open,         hl_close,          hl_fd,         nullptr,          nullptr,
    hl_window_create, hl_window_destroy, hl_window_show, hl_window_title, hl_window_bounds,
    hl_window_select, hl_present,       hl_global_mouse, hl_beep,        hl_icon,
};
