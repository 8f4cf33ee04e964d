// The X11 backend: one top-level X window per plot window, presented by
// painting the cairo backing store (and the overlay) onto a cairo-xlib
// surface of the window.
//
// Requests that change what other X clients can see (mapping, titles,
// bounds, explicit flushes, destruction) end with XSync: they run inside a
// command, and a client that got the reply may look at the screen at once.
// Presents when the loop goes idle only flush the output buffer.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <vector>

#include "internal.h"

static Display *dpy;
static Window root;
static Visual *visual;
static XErrorHandler old_error_handler;
static bool detectable_repeat;
static bool keydown[256];  // keys held, to tell auto-repeat from a press

enum { A_PROTOCOLS, A_DELETE, A_NET_NAME, A_UTF8, A_NET_ICON, A_NET_STATE, A_NET_HIDDEN, A_NET_PID,
       A_NET_ACTIVE, A_COUNT };
static const char *atom_names[A_COUNT] = {"WM_PROTOCOLS",      "WM_DELETE_WINDOW",     "_NET_WM_NAME",
                                          "UTF8_STRING",       "_NET_WM_ICON",         "_NET_WM_STATE",
                                          "_NET_WM_STATE_HIDDEN", "_NET_WM_PID",       "_NET_ACTIVE_WINDOW"};
static Atom atoms[A_COUNT];

// Requests on windows that the user or a window manager took away meanwhile
// (focus on a window just unmapped, a window already gone) fail harmlessly;
// anything else is worth a line.  Xlib's default handler would exit.
static int x_error(Display *d, XErrorEvent *e) {
  if (e->error_code == BadMatch || e->error_code == BadWindow) return 0;
  char text[128];
  XGetErrorText(d, e->error_code, text, sizeof text);
  fprintf(stderr, "pv5:X error: %s (request %d)\n", text, int(e->request_code));
  return 0;
}

static int x_open(const plat_options *, char *err, int errlen) {
  dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    const char *name = getenv("DISPLAY");
    if (name && *name) {
      plat_errtext(err, errlen, "Unable to open X display %s", name);
    } else {
      plat_errtext(err, errlen, "Unable to open X display: DISPLAY is not set");
    }
    return -1;
  }
  fcntl(ConnectionNumber(dpy), F_SETFD, FD_CLOEXEC);
  int scr = DefaultScreen(dpy);
  root = RootWindow(dpy, scr);
  visual = DefaultVisual(dpy, scr);
  plat.display_w = DisplayWidth(dpy, scr);
  plat.display_h = DisplayHeight(dpy, scr);
  XInternAtoms(dpy, const_cast<char **>(atom_names), A_COUNT, False, atoms);
  Bool supported = False;
  XkbSetDetectableAutoRepeat(dpy, True, &supported);
  detectable_repeat = supported;
  old_error_handler = XSetErrorHandler(x_error);
  return 0;
}

static void x_close() {
  if (!dpy) return;
  XSetErrorHandler(old_error_handler);
  XCloseDisplay(dpy);
  dpy = nullptr;
  for (bool &k : keydown) k = false;
}

static int x_fd() { return dpy ? ConnectionNumber(dpy) : -1; }
static void x_idle() { XFlush(dpy); }

static plat_window *lookup(Window w) {
  for (plat_window *p = plat.windows; p; p = p->next)
    if (p->xid == w) return p;
  return nullptr;
}

static void set_icon(plat_window *win, cairo_surface_t *icon) {
  int w = cairo_image_surface_get_width(icon), h = cairo_image_surface_get_height(icon);
  int stride = cairo_image_surface_get_stride(icon);
  const unsigned char *d = cairo_image_surface_get_data(icon);
  std::vector<unsigned long> v;  // format-32 properties travel as longs
  v.reserve(size_t(2 + w * h));
  v.push_back(static_cast<unsigned long>(w));
  v.push_back(static_cast<unsigned long>(h));
  for (int y = 0; y < h; y++) {
    const uint32_t *row = reinterpret_cast<const uint32_t *>(d + y * stride);
    for (int x = 0; x < w; x++) {
      uint32_t p = row[x], a = p >> 24;
      // cairo premultiplies alpha; the property wants it straight.
      uint32_t r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
      if (a && a < 255) {
        r = r * 255 / a;
        g = g * 255 / a;
        b = b * 255 / a;
      }
      v.push_back((a << 24) | (r << 16) | (g << 8) | b);
    }
  }
  XChangeProperty(dpy, win->xid, atoms[A_NET_ICON], XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char *>(v.data()), int(v.size()));
}

// Size hints so that a window manager keeps the requested position and
// size, with the position meaning the content's top-left (static gravity).
static void set_hints(plat_window *win) {
  XSizeHints *sh = XAllocSizeHints();
  sh->flags = USPosition | USSize | PPosition | PSize | PMinSize | PWinGravity;
  sh->x = win->bounds.left;
  sh->y = win->bounds.top;
  sh->width = win->w;
  sh->height = win->h;
  sh->min_width = sh->min_height = 1;
  sh->win_gravity = StaticGravity;
  XSetWMNormalHints(dpy, win->xid, sh);
  XFree(sh);
}

static int x_window_create(plat_window *win) {
  XSetWindowAttributes a;
  a.background_pixel = WhitePixel(dpy, DefaultScreen(dpy));
  a.bit_gravity = NorthWestGravity;  // a resize keeps the top-left, like the store
  a.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask | ButtonPressMask |
                 ButtonReleaseMask | PointerMotionMask | FocusChangeMask | PropertyChangeMask;
  win->xid = XCreateWindow(dpy, root, win->bounds.left, win->bounds.top, unsigned(win->w), unsigned(win->h),
                           0, CopyFromParent, InputOutput, CopyFromParent,
                           CWBackPixel | CWBitGravity | CWEventMask, &a);
  if (!win->xid) return -1;
  set_hints(win);
  XSetWMProtocols(dpy, win->xid, &atoms[A_DELETE], 1);
  XClassHint ch;
  ch.res_name = const_cast<char *>("pv5");
  ch.res_class = const_cast<char *>("Pv5");
  XSetClassHint(dpy, win->xid, &ch);
  long pid = getpid();
  XChangeProperty(dpy, win->xid, atoms[A_NET_PID], XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char *>(&pid), 1);
  if (plat.icon) set_icon(win, plat.icon);
  win->xsurf = cairo_xlib_surface_create(dpy, win->xid, visual, win->w, win->h);
  return 0;
}

static void x_window_destroy(plat_window *win) {
  if (win->xsurf) {
    cairo_surface_finish(win->xsurf);
    cairo_surface_destroy(win->xsurf);
    win->xsurf = nullptr;
  }
  XDestroyWindow(dpy, win->xid);
  XSync(dpy, False);
}

static void x_window_show(plat_window *win) {
  XMapRaised(dpy, win->xid);
  XSync(dpy, False);
}

static void x_window_title(plat_window *win) {
  const std::string &t = win->title;
  XStoreName(dpy, win->xid, t.c_str());
  XChangeProperty(dpy, win->xid, atoms[A_NET_NAME], atoms[A_UTF8], 8, PropModeReplace,
                  reinterpret_cast<const unsigned char *>(t.data()), int(t.size()));
  XSync(dpy, False);
}

static void x_window_bounds(plat_window *win) {
  set_hints(win);
  XMoveResizeWindow(dpy, win->xid, win->bounds.left, win->bounds.top, unsigned(win->w), unsigned(win->h));
  cairo_xlib_surface_set_size(win->xsurf, win->w, win->h);
  XSync(dpy, False);
}

static void x_window_select(plat_window *win) {
  XRaiseWindow(dpy, win->xid);
  if (win->shown && !win->collapsed) XSetInputFocus(dpy, win->xid, RevertToParent, CurrentTime);
  // A window manager decides about focus itself; ask it politely as well.
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = win->xid;
  e.xclient.message_type = atoms[A_NET_ACTIVE];
  e.xclient.format = 32;
  e.xclient.data.l[0] = 1;  // from an application
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XFlush(dpy);
}

static void x_present(plat_window *win, bool now) {
  if (!win->shown || !win->xsurf) return;
  cairo_t *c = cairo_create(win->xsurf);
  plat_window_composite(win, c);
  cairo_destroy(c);
  cairo_surface_flush(win->xsurf);
  if (now) XSync(dpy, False);
}

static void x_global_mouse(int *x, int *y) {
  Window r, child;
  int wx, wy;
  unsigned mask;
  if (!XQueryPointer(dpy, root, &r, &child, x, y, &wx, &wy, &mask)) *x = *y = -1;
}

static void x_beep() {
  XBell(dpy, 0);
  XFlush(dpy);
}

static void x_icon(cairo_surface_t *icon) {
  for (plat_window *w = plat.windows; w; w = w->next) set_icon(w, icon);
  XFlush(dpy);
}

// ---------------------------------------------------------------- events

static void post(uint32_t cls, uint32_t kind, plat_window *win, int x, int y, int ch) {
  plat_event ev = {cls, kind, win, x, y, ch};
  plat_post(&ev);
}

static bool hidden_by_wm(Window w) {
  Atom type;
  int fmt;
  unsigned long n, after;
  unsigned char *data = nullptr;
  bool hidden = false;
  if (XGetWindowProperty(dpy, w, atoms[A_NET_STATE], 0, 64, False, XA_ATOM, &type, &fmt, &n, &after, &data) ==
          Success &&
      data) {
    const Atom *a = reinterpret_cast<const Atom *>(data);
    for (unsigned long i = 0; i < n; i++) hidden = hidden || a[i] == atoms[A_NET_HIDDEN];
  }
  if (data) XFree(data);
  return hidden;
}

static void on_configure(plat_window *win, const XConfigureEvent &e) {
  int x = e.x, y = e.y;
  // Real events of a window a manager has reparented are relative to its
  // frame; synthetic ones from the manager are in root coordinates.
  if (win->reparented && !e.send_event) {
    Window child;
    XTranslateCoordinates(dpy, win->xid, root, 0, 0, &x, &y, &child);
  }
  plat_rect r = {y, x, y + e.height, x + e.width};
  const plat_rect &b = win->bounds;
  if (r.top == b.top && r.left == b.left && r.bottom == b.bottom && r.right == b.right) return;
  plat_window_apply_bounds(win, &r);
  cairo_xlib_surface_set_size(win->xsurf, win->w, win->h);
  post(kPlatClassWindow, kPlatWindowBoundsChanged, win, 0, 0, 0);
}

// Without detectable auto-repeat, a repeat is a release immediately followed
// by a press of the same key at the same time.
static bool release_is_repeat(const XKeyEvent &e) {
  if (detectable_repeat || !XEventsQueued(dpy, QueuedAfterReading)) return false;
  XEvent next;
  XPeekEvent(dpy, &next);
  return next.type == KeyPress && next.xkey.keycode == e.keycode && next.xkey.time == e.time;
}

static void on_key(XKeyEvent &e) {
  unsigned kc = e.keycode & 255;
  if (keydown[kc]) return;  // auto-repeat
  keydown[kc] = true;
  char buf[8];
  KeySym ks;
  // Modifier keys alone give no characters and so no key down.
  if (XLookupString(&e, buf, sizeof buf, &ks, nullptr) > 0)
    post(kPlatClassKeyboard, kPlatKeyRawKeyDown, nullptr, 0, 0, (unsigned char)buf[0]);
}

static void translate(XEvent &e) {
  plat_window *win = lookup(e.xany.window);
  switch (e.type) {
    case KeyPress:
      on_key(e.xkey);
      return;
    case KeyRelease:
      if (!release_is_repeat(e.xkey)) keydown[e.xkey.keycode & 255] = false;
      return;
    case FocusIn:
    case FocusOut:
      if (e.xfocus.mode == NotifyGrab || e.xfocus.mode == NotifyUngrab) return;
      for (bool &k : keydown) k = false;  // releases went elsewhere
      if (win) win->active = e.type == FocusIn;
      return;
    default:
      break;
  }
  if (!win) return;
  switch (e.type) {
    case MotionNotify: {
      // Only the latest position matters; skip ones already superseded.
      XEvent next;
      if (XEventsQueued(dpy, QueuedAlready)) {
        XPeekEvent(dpy, &next);
        if (next.type == MotionNotify && next.xmotion.window == e.xmotion.window) return;
      }
      post(kPlatClassMouse, kPlatMouseMoved, win, e.xmotion.x_root, e.xmotion.y_root, 0);
      return;
    }
    case ButtonPress:
    case ButtonRelease:
      post(kPlatClassMouse, e.type == ButtonPress ? kPlatMouseDown : kPlatMouseUp, win, e.xbutton.x_root,
           e.xbutton.y_root, 0);
      return;
    case ClientMessage:
      // The close box: only an event; the server decides and disposes.
      if (e.xclient.message_type == atoms[A_PROTOCOLS] && Atom(e.xclient.data.l[0]) == atoms[A_DELETE])
        post(kPlatClassWindow, kPlatWindowClose, win, 0, 0, 0);
      return;
    case ConfigureNotify:
      on_configure(win, e.xconfigure);
      return;
    case ReparentNotify:
      win->reparented = e.xreparent.parent != root;
      return;
    case Expose:
      win->dirty = true;
      return;
    case MapNotify:
      win->mapped = true;
      win->collapsed = false;
      return;
    case UnmapNotify:
      // We never unmap a shown window ourselves: this is iconification.
      win->mapped = false;
      win->collapsed = win->shown;
      return;
    case PropertyNotify:
      if (e.xproperty.atom == atoms[A_NET_STATE]) {
        if (hidden_by_wm(win->xid)) {
          win->collapsed = true;
        } else if (win->mapped) {
          win->collapsed = false;
        }
      }
      return;
    default:
      return;
  }
}

// Queued events do not make the connection readable: drain them first.
static void x_pump() {
  while (XPending(dpy)) {
    XEvent e;
    XNextEvent(dpy, &e);
    translate(e);
  }
}

const plat_ops plat_x11_ops = {
    x_open,        x_close,          x_fd,          x_pump,         x_idle,
    x_window_create, x_window_destroy, x_window_show, x_window_title, x_window_bounds,
    x_window_select, x_present,      x_global_mouse, x_beep,        x_icon,
};
