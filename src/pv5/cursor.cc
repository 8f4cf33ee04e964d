// The graphic cursor.  A "cc" or "ct" command puts a transparent overlay over
// the current plot window's content, draws a full-window cross hair (and, if
// asked, a rubber band from an anchor) into it, and runs a nested event loop
// until the user answers at the keyboard: one key for "cc", a line of text
// for "ct".  Events the loop does not consume go on to the current window, so
// the user can still move, resize and close plot windows meanwhile
// (winevents.cc).  The plot's own backing store is never drawn into.
//
// cx and cy hold the cross hair's offset from the overlay's lower-left corner
// in units of the display width: multiplied by sx (= width) they are overlay
// pixels.  The answer divides them by the content width again, which puts it
// in plot coordinates.
#include "cursor.h"

#include <string.h>

#include "pv5.h"

plat_window *cwin;
cairo_t *cgc;
float cx, cy;

int32_t MyPtInRect(Point pt, const plat_rect *r) {
  return pt.h >= r->left && pt.h <= r->right && pt.v >= r->top && pt.v <= r->bottom;
}

// A content extent in pixels as a divisor: a degenerate window must not turn
// the position into NaN, which would also put the overlay context into a
// permanent error state.
static float extent(int lo, int hi) { return hi > lo ? float(hi - lo) : 1.0f; }

// Places the cross hair at global point pt of content rectangle r.
static void place(Point pt, const plat_rect *r, float xsiz, float ysiz) {
  cx = (pt.h - r->left) / xsiz;
  cy = (r->bottom - pt.v) / ysiz;
  cx = (xsiz / width) * cx;
  cy = (ysiz / width) * cy;
}

static void store_int(unsigned char *res, size_t reslen, int32_t v) {
  if (reslen >= sizeof v) memcpy(res, &v, sizeof v);
}

int32_t cursor(bool string, int32_t opts, float px, float py, float *x, float *y,
               unsigned char *res, size_t reslen) {
  // Without a window no key can answer, and the client would wait forever.
  // A cursor already up cannot be nested either (no command runs meanwhile).
  if (!window_valid(cur) || cgc) return -1;
  plat_window *win = EventWindow[cur];

  plat_rect r;
  plat_window_content_bounds(win, &r);
  cgc = plat_overlay_begin(win);
  if (!cgc) return -1;
  cwin = win;
  plat_window_select(win);
  float xsiz = extent(r.left, r.right), ysiz = extent(r.top, r.bottom);
  if (opts & PV5_CURSOR_BEEP) plat_beep();
  plat_window_flush(win);

  Point pt;
  plat_global_mouse(&pt.h, &pt.v);
  if (MyPtInRect(pt, &r) && !plat_window_is_collapsed(win)) {
    place(pt, &r, xsiz, ysiz);
  } else {
    cx = (xsiz / width) * 0.5f;
    cy = (ysiz / width) * 0.5f;
  }
  float ox = px * xsiz / width, oy = py * xsiz / width;
  crosshair(cwin, cgc, opts, ox, oy);

  // 0 when a key answered; -1 when the window went away or the server is
  // stopping, so the client is not left waiting for a key that cannot come.
  int32_t status = 0;
  size_t n = 0;  // "ct" bytes stored so far
  for (;;) {
    plat_event ev;
    int got = plat_receive_next_event(&ev, -1);
    if (got < 0) {
      status = -1;
      break;
    }
    if (got > 0) continue;
    if (ev.cls == kPlatClassKeyboard && ev.kind == kPlatKeyRawKeyDown) {
      unsigned char c = (unsigned char)(ev.ch & 0xff);
      if (!string) {
        store_int(res, reslen, c);
        break;
      }
      if (c == 13 || c == 27) c = 0;
      // The text stops growing where the buffer ends: the last byte that
      // fits is kept for the terminating 0.
      if (n + 1 < reslen || (c == 0 && n < reslen)) res[n++] = c;
      if (c == 0) break;
      continue;
    }
    if (ev.cls == kPlatClassMouse) {
      plat_window_content_bounds(win, &r);
      Point at = {ev.y, ev.x};
      if (MyPtInRect(at, &r) && !plat_window_is_collapsed(win)) {
        xsiz = extent(r.left, r.right);
        ysiz = extent(r.top, r.bottom);
        place(at, &r, xsiz, ysiz);
        crosshair(cwin, cgc, opts, ox, oy);
      }
    }
    plat_send_event_to_window(win, &ev);
    if (EventWindow[cur] != win) {  // the user closed it
      status = -1;
      break;
    }
  }

  // A closed window took its overlay with it (winevents.cc) and may already
  // be gone: only a window still in the table is touched.
  if (cgc && EventWindow[cur] == win) plat_overlay_end(win);
  cgc = nullptr;
  cwin = nullptr;
  *x = cx * width / xsiz;
  *y = cy * width / xsiz;
  if (status != 0) {
    if (string) {
      if (reslen > 0) res[0] = 0;
    } else {
      store_int(res, reslen, 0);
    }
  }
  return status;
}

void crosshair(plat_window *win, cairo_t *ctx, int32_t opts, float ox, float oy) {
  // The overlay lives inside its plot window here, so it never has to be
  // brought forward or kept in front of other windows' layers.
  if (!win || !ctx) return;
  plat_rect r;
  plat_window_content_bounds(win, &r);
  int right = r.right - r.left, bottom = r.bottom - r.top;
  if (right <= 0 || bottom <= 0) return;

  cairo_save(ctx);
  cairo_set_operator(ctx, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(ctx, 0, 0, right, bottom);
  cairo_fill(ctx);
  cairo_restore(ctx);

  cairo_new_path(ctx);
  cairo_move_to(ctx, 0, sx * cy);
  cairo_line_to(ctx, sx, sx * cy);
  cairo_move_to(ctx, sx * cx, 0);
  cairo_line_to(ctx, sx * cx, (float(bottom) / float(right)) * sx);
  if (opts & PV5_CURSOR_RUBBERBAND) {
    cairo_move_to(ctx, sx * ox, sx * oy);
    cairo_line_to(ctx, sx * cx, sx * cy);
  }
  cairo_set_source_rgba(ctx, 0, 0, 0, 1);
  cairo_set_line_width(ctx, 1);
  cairo_set_dash(ctx, nullptr, 0, 0);
  cairo_stroke(ctx);
  plat_overlay_flush(win);
}
