// Opening and closing the platform, and the calls that only pick the backend.
// plat_open and plat_close mirror each other step by step; closing what was
// never opened does nothing.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "internal.h"

plat_state plat = [] {
  plat_state s{};
  s.msgfd = -1;
  s.sigpipe[0] = s.sigpipe[1] = -1;
  s.logfd = -1;
  return s;
}();

void plat_errtext(char *err, int errlen, const char *fmt, ...) {
  if (!err || errlen <= 0) return;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(err, size_t(errlen), fmt, ap);
  va_end(ap);
}

int plat_open(const plat_options *opt, char *err, int errlen) {
  if (plat.opened) {
    plat_errtext(err, errlen, "platform already open");
    return -1;
  }
  plat_options none{};
  if (!opt) opt = &none;
  plat_loop_reset();
  plat.record = plat_record{};
  plat.mouse_x = plat.mouse_y = -1;  // off-screen until the input moves it
  plat.ops = opt->backend == PLAT_X11 ? &plat_x11_ops : &plat_headless_ops;
  if (plat.ops->open(opt, err, errlen) < 0) {
    plat.ops = nullptr;
    return -1;
  }
  plat.opened = true;
  if (opt->snapshot_dir && plat_snapshot_open(opt->snapshot_dir, err, errlen) < 0) {
    plat_close();
    return -1;
  }
  if (opt->backend == PLAT_HEADLESS && opt->input_path &&
      plat_input_open(opt->input_path, err, errlen) < 0) {
    plat_close();
    return -1;
  }
  if (opt->icon_path) plat_set_icon(opt->icon_path);
  return 0;
}

void plat_close() {
  if (!plat.opened) return;
  plat_input_close();
  while (plat.windows) plat_window_dispose(plat.windows);
  while (plat.doomed) {
    plat_window *w = plat.doomed;
    plat.doomed = w->next;
    plat_window_free(w);
  }
  if (plat.icon) cairo_surface_destroy(plat.icon);
  plat.icon = nullptr;
  plat_snapshot_close();
  plat_signal_close();
  plat_msgport_close();
  plat.ops->close();
  plat.ops = nullptr;
  plat_loop_reset();
  plat.opened = false;
}

void plat_display_size(int *w, int *h) {
  *w = plat.display_w;
  *h = plat.display_h;
}

int plat_set_icon(const char *png_path) {
  if (!png_path) return -1;
  cairo_surface_t *img = cairo_image_surface_create_from_png(png_path);
  if (cairo_surface_status(img) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(img);
    return -1;
  }
  // Desktops show icons small; a large PNG would make a huge property.
  int w = cairo_image_surface_get_width(img), h = cairo_image_surface_get_height(img);
  int side = w > h ? w : h;
  double k = side > 128 ? 128.0 / side : 1.0;
  int iw = int(w * k) > 0 ? int(w * k) : 1, ih = int(h * k) > 0 ? int(h * k) : 1;
  cairo_surface_t *icon = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, iw, ih);
  cairo_t *c = cairo_create(icon);
  cairo_scale(c, k, k);
  cairo_set_source_surface(c, img, 0, 0);
  cairo_paint(c);
  cairo_destroy(c);
  cairo_surface_destroy(img);
  cairo_surface_flush(icon);
  if (plat.icon) cairo_surface_destroy(plat.icon);
  plat.icon = icon;
  if (plat.ops && plat.ops->icon) plat.ops->icon(icon);
  return 0;
}

void plat_global_mouse(int *x, int *y) {
  if (plat.ops) {
    plat.ops->global_mouse(x, y);
  } else {
    *x = *y = -1;
  }
}

void plat_beep() {
  if (!plat.ops) return;
  plat.ops->beep();
  plat_log("beep");
}

const plat_record *plat_headless_record() { return &plat.record; }
