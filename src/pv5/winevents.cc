// What the user does to plot windows: closing one empties its slot, moving
// or resizing one gives it a new drawing context scaled to its new content
// width.  create() installs QuartzEventHandler on every plot window; it runs
// from the application loop between commands and from the cursor's nested
// loop, which is why a bounds change of the current window also moves the
// overlay and redraws the cross hair when a cursor is up (cgc not null).
#include "pv5.h"

// The slot holding win, or -1.  The table is searched before the window is
// asked for its tag, so a stray event for a window that is no longer in the
// table is never followed into a released object.
static int32_t slot_of(const plat_window *win) {
  for (int32_t k = 0; k < PV5_NWIN; k++) {
    if (EventWindow[k] == win) return k;
  }
  return -1;
}

// Empties the slot first, so that nothing reached from here on sees a
// window being taken apart, then releases what it held, each exactly once.
static void close_slot(int32_t slot) {
  plat_window *win = EventWindow[slot];
  if (cgc && cwin == win) {  // the cursor's window: its loop sees the slot empty and ends
    plat_overlay_end(win);
    cgc = nullptr;
  }
  EventWindow[slot] = nullptr;
  wvis[slot] = 0;
  cairo_destroy(gc[slot]);
  gc[slot] = nullptr;
  plat_window_dispose(win);
}

// The new backing store starts without the plot; the client redraws it.
static int32_t rescale_slot(int32_t slot) {
  plat_window *win = EventWindow[slot];
  plat_rect r;
  plat_window_content_bounds(win, &r);
  float xsiz = float(r.right - r.left);
  cairo_t *ctx = plat_context_create(win);
  if (!ctx) return -1;  // keep the old context: drawing into it is harmless
  cairo_destroy(gc[slot]);
  gc[slot] = ctx;
  int32_t status = cairo_status(ctx) == CAIRO_STATUS_SUCCESS ? 0 : -1;
  gcprep(ctx);
  cairo_scale(ctx, xsiz / width, xsiz / width);
  if (cgc && slot == cur && cwin == win) {
    plat_overlay_update_bounds(win);
    crosshair(cwin, cgc, 0, cx, cy);
  }
  return status;
}

int32_t QuartzEventHandler(const plat_event *ev, void *) {
  if (!ev || ev->cls != kPlatClassWindow || !ev->win) return kPlatNotHandled;
  int32_t slot = slot_of(ev->win), tag;
  if (slot < 0) return kPlatNotHandled;
  if (!plat_window_tag(ev->win, &tag) || tag != slot) return kPlatNotHandled;
  switch (ev->kind) {
    case kPlatWindowClose:
      close_slot(slot);
      // Not handled, as for any close; the platform never disposes of a
      // window itself, so it is not released twice.
      return kPlatNotHandled;
    case kPlatWindowBoundsChanged:
      return rescale_slot(slot);
    default:
      return kPlatNotHandled;
  }
}
