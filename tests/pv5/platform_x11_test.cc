// The X11 backend against a real X server: an Xvfb started by the test
// itself (skipped only when the Xvfb binary is missing).  A second X
// connection plays the user and the window manager: it reads titles and
// geometry, sends the close request, moves the window and types keys.
// GoogleTest goes before Xlib, whose macros (None, Bool) clash with it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "common/xvfb.h"
#include "platform/internal.h"
#include "platform/platform.h"

namespace {

class X11 : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!xvfb_available()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_TRUE(xvfb_export_display(&why)) << why;
    display_ = getenv("DISPLAY");
    user_ = XOpenDisplay(display_.c_str());
    ASSERT_NE(user_, nullptr);
    plat_options o{};
    o.backend = PLAT_X11;
    char err[256];
    ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
  }
  void TearDown() override {
    plat_close();
    if (user_) XCloseDisplay(user_);
  }
  // The next event the platform delivers, waiting generously.
  plat_event Next() {
    plat_event ev{};
    EXPECT_EQ(plat_receive_next_event(&ev, 20000), 0);
    return ev;
  }
  std::string Title(Window w, const char *prop) {
    Atom a = XInternAtom(user_, prop, False), type;
    int fmt;
    unsigned long n, after;
    unsigned char *data = nullptr;
    std::string s;
    if (XGetWindowProperty(user_, w, a, 0, 1024, False, AnyPropertyType, &type, &fmt, &n, &after, &data) ==
            Success &&
        data)
      s.assign(reinterpret_cast<char *>(data), n);
    if (data) XFree(data);
    return s;
  }
  void SendKey(Window w, KeySym ks, bool press) {
    XEvent e{};
    e.xkey.type = press ? KeyPress : KeyRelease;
    e.xkey.display = user_;
    e.xkey.window = w;
    e.xkey.root = DefaultRootWindow(user_);
    e.xkey.time = 1000;
    e.xkey.keycode = XKeysymToKeycode(user_, ks);
    e.xkey.same_screen = True;
    XSendEvent(user_, w, False, press ? KeyPressMask : KeyReleaseMask, &e);
    XSync(user_, False);
  }
  std::string display_;
  Display *user_ = nullptr;
};

TEST_F(X11, WindowHasTitleAndGeometryAndFlushPresentsPixels) {
  int w, h;
  plat_display_size(&w, &h);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 1024);
  plat_rect r = {100, 200, 400, 600};  // 400 x 300 at (200, 100)
  plat_window *win = plat_window_create(&r);
  ASSERT_NE(win, nullptr);
  plat_window_set_title(win, "TQV 1 - active");
  plat_window_show(win);
  Window xw = Window(win->xid);

  EXPECT_EQ(Title(xw, "WM_NAME"), "TQV 1 - active");
  EXPECT_EQ(Title(xw, "_NET_WM_NAME"), "TQV 1 - active");
  XWindowAttributes wa;
  ASSERT_TRUE(XGetWindowAttributes(user_, xw, &wa));
  EXPECT_EQ(wa.map_state, IsViewable);
  int gx, gy;
  Window child;
  XTranslateCoordinates(user_, xw, DefaultRootWindow(user_), 0, 0, &gx, &gy, &child);
  EXPECT_EQ(gx, 200);
  EXPECT_EQ(gy, 100);
  EXPECT_EQ(wa.width, 400);
  EXPECT_EQ(wa.height, 300);

  cairo_t *c = plat_context_create(win);
  cairo_set_source_rgb(c, 1, 0, 0);
  cairo_rectangle(c, 0, 0, 20, 10);  // lower-left corner
  cairo_fill(c);
  cairo_destroy(c);
  plat_window_flush(win);
  XImage *img = XGetImage(user_, xw, 0, 0, 400, 300, AllPlanes, ZPixmap);
  ASSERT_NE(img, nullptr);
  EXPECT_EQ(XGetPixel(img, 5, 295) & 0xffffff, 0xff0000u);
  EXPECT_EQ(XGetPixel(img, 200, 150) & 0xffffff, 0xffffffu);
  XDestroyImage(img);

  // A changed title is visible to others as soon as the call returns.
  plat_window_set_title(win, "TQV 1 - inactive");
  EXPECT_EQ(Title(xw, "_NET_WM_NAME"), "TQV 1 - inactive");
}

TEST_F(X11, CloseRequestMoveAndKeysBecomeEvents) {
  plat_rect r = {100, 100, 300, 400};
  plat_window *win = plat_window_create(&r);
  plat_window_show(win);
  Window xw = Window(win->xid);

  // The close box: an event, and the window stays until the server acts.
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = xw;
  e.xclient.message_type = XInternAtom(user_, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(user_, "WM_DELETE_WINDOW", False));
  XSendEvent(user_, xw, False, NoEventMask, &e);
  XSync(user_, False);
  plat_event ev;
  do ev = Next();
  while (ev.cls != kPlatClassWindow && !HasFailure());
  EXPECT_EQ(ev.kind, kPlatWindowClose);
  EXPECT_EQ(ev.win, win);

  // Moved and resized by someone else: new global bounds and backing store.
  XMoveResizeWindow(user_, xw, 50, 60, 200, 100);
  XSync(user_, False);
  do ev = Next();
  while (ev.cls != kPlatClassWindow && !HasFailure());
  EXPECT_EQ(ev.kind, kPlatWindowBoundsChanged);
  plat_rect b;
  plat_window_content_bounds(win, &b);
  EXPECT_EQ(b.left, 50);
  EXPECT_EQ(b.top, 60);
  EXPECT_EQ(b.right, 250);
  EXPECT_EQ(b.bottom, 160);
  EXPECT_EQ(cairo_image_surface_get_width(win->store), 200);

  // Keys: a held key's repeats, and a modifier alone, give no key down.
  SendKey(xw, XK_Shift_L, true);
  SendKey(xw, XK_q, true);
  SendKey(xw, XK_q, true);  // auto-repeat
  SendKey(xw, XK_q, false);
  SendKey(xw, XK_Shift_L, false);
  SendKey(xw, XK_Return, true);
  SendKey(xw, XK_Return, false);
  SendKey(xw, XK_Escape, true);
  SendKey(xw, XK_BackSpace, true);
  int keys[4] = {};
  for (int &k : keys) {
    do ev = Next();
    while (ev.cls != kPlatClassKeyboard && !HasFailure());
    k = ev.ch;
  }
  EXPECT_EQ(keys[0], 'q');
  EXPECT_EQ(keys[1], 13);
  EXPECT_EQ(keys[2], 27);
  EXPECT_EQ(keys[3], 8);
  // Nothing more than those four: the close request sent after them comes
  // next (events from one client arrive in order).
  XSendEvent(user_, xw, False, NoEventMask, &e);
  XSync(user_, False);
  do ev = Next();
  while (ev.cls != kPlatClassWindow && ev.cls != kPlatClassKeyboard && !HasFailure());
  EXPECT_EQ(ev.cls, kPlatClassWindow);
  EXPECT_EQ(ev.kind, kPlatWindowClose);

  plat_window_dispose(win);
  XWindowAttributes wa;
  EXPECT_EQ(plat.windows, nullptr);
  XSync(user_, False);
  XSetErrorHandler([](Display *, XErrorEvent *) { return 0; });
  EXPECT_FALSE(XGetWindowAttributes(user_, xw, &wa));  // gone from the screen
}

TEST_F(X11, PointerPositionIsGlobal) {
  plat_rect r = {100, 100, 300, 400};
  plat_window *win = plat_window_create(&r);
  plat_window_show(win);
  XWarpPointer(user_, None, DefaultRootWindow(user_), 0, 0, 0, 0, 150, 130);
  XSync(user_, False);
  int x, y;
  plat_global_mouse(&x, &y);
  EXPECT_EQ(x, 150);
  EXPECT_EQ(y, 130);
  plat_event ev;
  do ev = Next();
  while (ev.cls != kPlatClassMouse && !HasFailure());
  EXPECT_EQ(ev.kind, kPlatMouseMoved);
  EXPECT_EQ(ev.win, win);
  EXPECT_EQ(ev.x, 150);
  EXPECT_EQ(ev.y, 130);
}

int open_descriptors() {
  int n = 0;
  if (DIR *d = opendir("/proc/self/fd")) {
    while (readdir(d)) n++;
    closedir(d);
  }
  return n;
}

// A long-running server opens and disposes of windows (and tests open and
// close the platform) many times: nothing may pile up.
TEST_F(X11, ManyWindowsAndReopensLeaveNoDescriptorsBehind) {
  plat_close();
  int before = open_descriptors();
  for (int round = 0; round < 4; round++) {
    plat_options o{};
    o.backend = PLAT_X11;
    char err[256];
    ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
    ASSERT_EQ(plat_signal_install(SIGUSR1), 0);
    for (int i = 0; i < 6; i++) {
      plat_rect r = {10 + i, 10, 110 + i, 210};
      plat_window *w = plat_window_create(&r);
      ASSERT_NE(w, nullptr);
      plat_window_show(w);
      cairo_set_source_rgb(plat_overlay_begin(w), 1, 0, 0);
      plat_window_flush(w);
      if (i % 2) plat_window_dispose(w);  // the rest go with plat_close
    }
    plat_event ev;
    while (plat_receive_next_event(&ev, 0) == 0) {
    }
    plat_close();
  }
  EXPECT_EQ(open_descriptors(), before);
  plat_options o{};
  o.backend = PLAT_X11;
  char err[256];
  ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;  // for TearDown
}

TEST(X11NoDisplay, OpenFailsWithAReason) {
  const char *old = getenv("DISPLAY");
  std::string saved = old ? old : "";
  setenv("DISPLAY", ":9999", 1);
  plat_options o{};
  o.backend = PLAT_X11;
  char err[256] = "";
  EXPECT_EQ(plat_open(&o, err, sizeof err), -1);
  EXPECT_NE(std::string(err).find(":9999"), std::string::npos) << err;
  if (old) {
    setenv("DISPLAY", saved.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
}

}  // namespace
