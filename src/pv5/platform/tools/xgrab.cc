// xgrab WINDOW OUT.png: saves what a window (or "root", the whole screen)
// shows as a PNG, through XGetImage.  WINDOW is "root", an id or an exact
// title.  The window must be mapped.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <stdint.h>
#include <stdio.h>

#include "xwin.h"

static bool failed;
static int on_error(Display *, XErrorEvent *) {
  failed = true;
  return 0;
}

// Brings a masked channel of a TrueColor pixel to 8 bits.
static unsigned channel(unsigned long px, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) shift++;
  unsigned long max = mask >> shift, v = (px & mask) >> shift;
  return unsigned(v * 255 / max);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: xgrab WINDOW OUT.png\n");
    return 2;
  }
  Display *d = XOpenDisplay(nullptr);
  if (!d) {
    fprintf(stderr, "xgrab: cannot open display\n");
    return 1;
  }
  XSetErrorHandler(on_error);
  Window w = xwin_find(d, argv[1]);
  XWindowAttributes wa;
  if (!w || !XGetWindowAttributes(d, w, &wa) || failed) {
    fprintf(stderr, "xgrab: no window %s\n", argv[1]);
    return 1;
  }
  XImage *img = XGetImage(d, w, 0, 0, unsigned(wa.width), unsigned(wa.height), AllPlanes, ZPixmap);
  if (!img || failed) {
    fprintf(stderr, "xgrab: cannot read window %s (is it mapped?)\n", argv[1]);
    return 1;
  }
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, wa.width, wa.height);
  unsigned char *data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < wa.height; y++) {
    uint32_t *row = reinterpret_cast<uint32_t *>(data + y * stride);
    for (int x = 0; x < wa.width; x++) {
      unsigned long px = XGetPixel(img, x, y);
      row[x] = (channel(px, img->red_mask) << 16) | (channel(px, img->green_mask) << 8) |
               channel(px, img->blue_mask);
    }
  }
  cairo_surface_mark_dirty(s);
  cairo_status_t st = cairo_surface_write_to_png(s, argv[2]);
  cairo_surface_destroy(s);
  XDestroyImage(img);
  XCloseDisplay(d);
  if (st != CAIRO_STATUS_SUCCESS) {
    fprintf(stderr, "xgrab: %s: %s\n", argv[2], cairo_status_to_string(st));
    return 1;
  }
  return 0;
}
