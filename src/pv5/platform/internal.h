// What the platform's own files share: the window object, the backend table
// and the process-wide state.  Nothing outside src/pv5/platform/ (and its
// tests) includes this.
//
// How it fits together: loop.cc owns the event queue and the poll() loop;
// msgport.cc and signal.cc are two of its sources, input.cc (headless) and
// the X11 backend the others.  window.cc implements the window API over the
// backend table below; headless.cc and x11.cc fill that table in.
// snapshot.cc writes the PNG snapshots and the events log.
#ifndef PV5_PLATFORM_INTERNAL_H
#define PV5_PLATFORM_INTERNAL_H

#include <deque>
#include <string>

#include "platform.h"

struct plat_window {
  plat_rect bounds;        // content, global pixels
  int w, h;                // backing-store size: the content size, at least 1
  std::string title;
  bool tagged;
  int32_t tag;
  plat_handler handler;
  void *user;
  cairo_surface_t *store;  // RGB24 backing store
  // The overlay: an ARGB32 surface at least as large as the content, so that
  // its context survives resizes; only its top-left ow x oh pixels count.
  cairo_surface_t *ov;
  cairo_t *ovctx;
  int ow, oh, ovcap_w, ovcap_h;
  bool shown, active, collapsed;
  bool dirty;              // present when the loop is next idle
  bool disposed;           // gone from the screen, freed after the dispatch
  plat_window *next;       // live windows, topmost first; or the doomed list
  // X11 backend
  unsigned long xid;
  cairo_surface_t *xsurf;
  bool mapped, reparented;
};

// One backend: the headless stand-in or X11.
struct plat_ops {
  int (*open)(const plat_options *opt, char *err, int errlen);
  void (*close)();
  int (*fd)();       // display connection to poll, or -1
  void (*pump)();    // turn what the display has queued into events
  void (*idle)();    // push pending output before blocking
  int (*window_create)(plat_window *win);
  void (*window_destroy)(plat_window *win);
  void (*window_show)(plat_window *win);
  void (*window_title)(plat_window *win);
  void (*window_bounds)(plat_window *win);  // the server moved or resized it
  void (*window_select)(plat_window *win);
  void (*present)(plat_window *win, bool now);
  void (*global_mouse)(int *x, int *y);
  void (*beep)();
  void (*icon)(cairo_surface_t *argb);
};

extern const plat_ops plat_headless_ops;
extern const plat_ops plat_x11_ops;

struct plat_state {
  const plat_ops *ops;
  bool opened;
  int display_w, display_h;
  plat_window *windows;   // live, topmost first
  plat_window *doomed;    // disposed, waiting for the dispatch to end
  int depth;              // handlers running (nested)
  std::deque<plat_event> queue;
  plat_handler app;
  void *app_user;
  bool quit, running;
  int msgfd;
  int sigpipe[2];
  std::string snapshot_dir;
  int logfd;
  plat_record record;
  int mouse_x, mouse_y;   // headless mouse
  cairo_surface_t *icon;  // ARGB32, or null
};
extern plat_state plat;

// loop.cc
void plat_post(const plat_event *ev);
void plat_purge_window(plat_window *win);
void plat_loop_reset();

// window.cc
// The window moved or was resized: new bounds, a new white backing store
// keeping what fits of the old picture at its top-left, the overlay fitted.
void plat_window_apply_bounds(plat_window *win, const plat_rect *r);
plat_window *plat_window_by_tag(int32_t tag);
plat_window *plat_window_at(int x, int y);
void plat_window_free(plat_window *win);
void plat_present_dirty();
// Paints the backing store and the overlay onto ctx (device space, y down).
void plat_window_composite(plat_window *win, cairo_t *ctx);

// msgport.cc, signal.cc
int plat_msgport_take(plat_event *ev);
void plat_msgport_close();
int plat_signal_take(plat_event *ev);
void plat_signal_close();

// input.cc
int plat_input_open(const char *path, char *err, int errlen);
void plat_input_close();
int plat_input_fd();
// Turns the next scripted line into events; answers false when no complete
// line is available now.
bool plat_input_step();

// snapshot.cc
int plat_snapshot_open(const char *dir, char *err, int errlen);
void plat_snapshot_close();
void plat_snapshot_write(plat_window *win);
void plat_log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void plat_log_bounds(const plat_window *win);

void plat_errtext(char *err, int errlen, const char *fmt, ...) __attribute__((format(printf, 3, 4)));

#endif  // PV5_PLATFORM_INTERNAL_H
