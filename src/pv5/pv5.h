// The display server's process-wide state and the operations the dispatcher
// calls.  Each block of state is owned by one module (named beside it) and
// lives until the process ends; everything runs on the event-loop thread.
#ifndef PV5_PV5_H
#define PV5_PV5_H

#include <cairo.h>
#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"
#include "protocol.h"

// ------------------------------------------------ transmit buffer (server.cc)
extern unsigned char *shmbuf;  // the mapped transmit buffer
extern size_t shmsize;         // S, its size in bytes

// ------------------------------------------------ window table (window.cc)
extern plat_window *EventWindow[PV5_NWIN];  // null: slot empty
extern cairo_t *gc[PV5_NWIN];               // context of the slot's window
extern uint8_t wvis[PV5_NWIN];              // created shown
extern int32_t cur;                         // current window number, any value
extern float width, height;                 // main display size in pixels
extern float sx, sy;                        // plot units to user units (= width)

// Empties all slots and reads the display size; start-up calls it before
// creating the hidden window 0.
void window_table_init();
int32_t create(int32_t wix, bool show, float xl, float yl, float xh, float yh);
int32_t destroy(int32_t wix);
void setactive(int32_t wix);
void gcprep(cairo_t *ctx);
int32_t erase(int32_t wix);
int32_t flush(int32_t wix);
int32_t getrootsize(int32_t wix, float *value);
int32_t getratio(float *value);
// True when wix names an occupied slot.
bool window_valid(int32_t wix);

// ------------------------------------------------ drawing state (style.cc)
struct lstyle {
  int32_t nseg;
  const float *segs;
};
extern const lstyle linestyles[6];
extern int32_t linestyle, linewidth, linecolor;
struct cent {
  float r, g, b;
};
extern cent *tcolor;
extern int32_t ncolor;
struct tab {
  float v, r, g, b;
};
extern tab ct[PV5_RH_MAXCOLORS];
extern int32_t ntab;

int32_t style(int32_t lstyle, int32_t lwidth, int32_t lfcolor, int32_t nc, const float *ents);
void lookup(float z, unsigned char *l);

// ------------------------------------------------ vector drawing (path.cc)
int32_t pathop(bool fill, int32_t n, const float *x, const float *y);

// ------------------------------------------------ raster images (raster.cc)
// p points at a whole "rh" or "rd" record; the dispatcher has checked that the
// record lies inside the buffer.
int32_t raster(int32_t wix, bool hdr, const unsigned char *p);

// ------------------------------------------------ graphic cursor (cursor.cc)
extern plat_window *cwin;  // the window carrying the overlay while the cursor is up
extern cairo_t *cgc;       // overlay context; null unless a cursor interaction runs
extern float cx, cy;       // cross-hair position, in display-width units
// res points at result slot 3; reslen is the room from there to the end of
// the buffer.  Answers 0, or -1 when the current window does not exist.
int32_t cursor(bool string, int32_t opts, float px, float py, float *x, float *y,
               unsigned char *res, size_t reslen);
void crosshair(plat_window *win, cairo_t *ctx, int32_t opts, float ox, float oy);

// ------------------------------------------------ window events (winevents.cc)
int32_t QuartzEventHandler(const plat_event *ev, void *user);

// ------------------------------------------------ dispatcher (dispatch.cc)
extern float dt, dtsys, tout;
int32_t AppEventHandler(const plat_event *ev, void *user);

#endif  // PV5_PV5_H
