// Plot windows over the backend table: backing stores, contexts, the cursor's
// overlay, titles, bounds and tags.  What is the same on every backend lives
// here; the backend only puts things on a screen.
#include "internal.h"

static cairo_surface_t *white_store(int w, int h) {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t *c = cairo_create(s);
  cairo_set_source_rgb(c, 1, 1, 1);
  cairo_paint(c);
  cairo_destroy(c);
  return s;
}

static int span(int lo, int hi) { return hi - lo > 0 ? hi - lo : 1; }

plat_window *plat_window_create(const plat_rect *content) {
  if (!plat.opened || !content) return nullptr;
  plat_window *win = new plat_window{};
  win->bounds = *content;
  win->w = span(content->left, content->right);
  win->h = span(content->top, content->bottom);
  win->store = white_store(win->w, win->h);
  if (cairo_surface_status(win->store) != CAIRO_STATUS_SUCCESS || plat.ops->window_create(win) < 0) {
    cairo_surface_destroy(win->store);
    delete win;
    return nullptr;
  }
  win->next = plat.windows;
  plat.windows = win;
  return win;
}

void plat_window_free(plat_window *win) {
  if (win->ovctx) cairo_destroy(win->ovctx);
  if (win->ov) cairo_surface_destroy(win->ov);
  cairo_surface_destroy(win->store);
  delete win;
}

void plat_window_dispose(plat_window *win) {
  if (!win || win->disposed) return;
  win->disposed = true;
  plat.ops->window_destroy(win);
  if (win->tagged) plat_log("dispose %d", int(win->tag));
  plat_window **p = &plat.windows;
  while (*p && *p != win) p = &(*p)->next;
  if (*p) *p = win->next;
  plat_purge_window(win);
  // A handler up the chain may still hold the pointer (the cursor compares
  // it, the application handler gets the same event): free it once the
  // outermost dispatch is over.
  if (plat.depth > 0) {
    win->next = plat.doomed;
    plat.doomed = win;
  } else {
    plat_window_free(win);
  }
}

void plat_window_show(plat_window *win) {
  if (!win || win->disposed) return;
  win->shown = true;
  win->collapsed = false;
  plat.ops->window_show(win);
  win->dirty = true;
}

void plat_window_set_title(plat_window *win, const char *title) {
  if (!win || win->disposed || !title || win->title == title) return;
  win->title = title;
  plat.ops->window_title(win);
  if (win->tagged) plat_log("title %d %s", int(win->tag), title);
}

const char *plat_window_title(const plat_window *win) { return win ? win->title.c_str() : ""; }

void plat_window_content_bounds(const plat_window *win, plat_rect *r) {
  if (win) *r = win->bounds;
}

// Fits the overlay to the content: cleared, and its context's origin moved
// to the new lower-left corner.  The overlay surface never shrinks, so the
// context handed out stays valid; a content larger than the surface shows
// the overlay's top-left part only.
static void overlay_fit(plat_window *win) {
  if (!win->ovctx) return;
  win->ow = win->w < win->ovcap_w ? win->w : win->ovcap_w;
  win->oh = win->h < win->ovcap_h ? win->h : win->ovcap_h;
  cairo_t *c = win->ovctx;
  cairo_save(c);
  cairo_identity_matrix(c);
  cairo_reset_clip(c);
  cairo_set_operator(c, CAIRO_OPERATOR_CLEAR);
  cairo_paint(c);
  cairo_restore(c);
  cairo_matrix_t m;
  cairo_matrix_init(&m, 1, 0, 0, -1, 0, win->oh);
  cairo_set_matrix(c, &m);
}

void plat_window_apply_bounds(plat_window *win, const plat_rect *r) {
  win->bounds = *r;
  int w = span(r->left, r->right), h = span(r->top, r->bottom);
  if (w != win->w || h != win->h) {
    cairo_surface_t *s = white_store(w, h);
    cairo_t *c = cairo_create(s);
    cairo_set_source_surface(c, win->store, 0, 0);  // top-left stays put
    cairo_paint(c);
    cairo_destroy(c);
    cairo_surface_destroy(win->store);
    win->store = s;
    win->w = w;
    win->h = h;
    overlay_fit(win);
  }
  plat_log_bounds(win);
}

void plat_window_set_content_bounds(plat_window *win, const plat_rect *r) {
  if (!win || win->disposed || !r) return;
  plat_window_apply_bounds(win, r);
  plat.ops->window_bounds(win);
}

void plat_window_set_tag(plat_window *win, int32_t tag) {
  if (!win) return;
  win->tagged = true;
  win->tag = tag;
  // From now on the window is observable from outside: say where it is.
  plat_log_bounds(win);
  if (!win->title.empty()) plat_log("title %d %s", int(tag), win->title.c_str());
}

bool plat_window_tag(const plat_window *win, int32_t *tag) {
  if (!win || !win->tagged) return false;
  if (tag) *tag = win->tag;
  return true;
}

void plat_window_set_handler(plat_window *win, plat_handler fn, void *user) {
  if (!win) return;
  win->handler = fn;
  win->user = user;
}

bool plat_window_is_active(const plat_window *win) { return win && !win->disposed && win->active; }
bool plat_window_is_collapsed(const plat_window *win) { return win && win->collapsed; }

void plat_window_select(plat_window *win) {
  if (!win || win->disposed) return;
  plat.ops->window_select(win);
}

plat_window *plat_window_by_tag(int32_t tag) {
  for (plat_window *w = plat.windows; w; w = w->next)
    if (w->tagged && w->tag == tag) return w;
  return nullptr;
}

plat_window *plat_window_at(int x, int y) {
  for (plat_window *w = plat.windows; w; w = w->next) {
    const plat_rect &b = w->bounds;
    if (w->shown && x >= b.left && x < b.right && y >= b.top && y < b.bottom) return w;
  }
  return nullptr;
}

cairo_t *plat_context_create(plat_window *win) {
  if (!win) return nullptr;
  cairo_t *c = cairo_create(win->store);
  cairo_translate(c, 0, win->h);
  cairo_scale(c, 1, -1);
  return c;
}

void plat_window_composite(plat_window *win, cairo_t *c) {
  cairo_save(c);
  cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(c, win->store, 0, 0);
  cairo_paint(c);
  if (win->ov) {
    cairo_surface_flush(win->ov);
    cairo_set_operator(c, CAIRO_OPERATOR_OVER);
    cairo_rectangle(c, 0, 0, win->ow, win->oh);
    cairo_clip(c);
    cairo_set_source_surface(c, win->ov, 0, 0);
    cairo_paint(c);
  }
  cairo_restore(c);
}

static void flush_now(plat_window *win) {
  cairo_surface_flush(win->store);
  plat.ops->present(win, true);
  win->dirty = false;
  plat_snapshot_write(win);
  if (win->tagged) plat_log("flush %d", int(win->tag));
}

void plat_window_flush(plat_window *win) {
  if (win && !win->disposed) flush_now(win);
}

void plat_window_synchronize(plat_window *win) {
  if (win) win->dirty = true;
}

void plat_present_dirty() {
  for (plat_window *w = plat.windows; w; w = w->next) {
    if (!w->dirty) continue;
    w->dirty = false;
    cairo_surface_flush(w->store);
    plat.ops->present(w, false);
  }
}

cairo_t *plat_overlay_begin(plat_window *win) {
  if (!win) return nullptr;
  if (win->ovctx) return win->ovctx;
  win->ovcap_w = win->w > plat.display_w ? win->w : plat.display_w;
  win->ovcap_h = win->h > plat.display_h ? win->h : plat.display_h;
  win->ov = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, win->ovcap_w, win->ovcap_h);
  win->ovctx = cairo_create(win->ov);
  overlay_fit(win);
  return win->ovctx;
}

void plat_overlay_update_bounds(plat_window *win) {
  if (win) overlay_fit(win);
}

void plat_overlay_flush(plat_window *win) {
  if (win && !win->disposed) flush_now(win);
}

void plat_overlay_end(plat_window *win) {
  if (!win || !win->ovctx) return;
  cairo_destroy(win->ovctx);
  cairo_surface_destroy(win->ov);
  win->ovctx = nullptr;
  win->ov = nullptr;
  // Take the cross hair off the screen before the command answers.
  if (!win->disposed) flush_now(win);
}
