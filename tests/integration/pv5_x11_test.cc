// pv5 on a real X display (a private Xvfb, no window manager): window
// titles, content geometry from "cr" coordinates, and a screenshot whose
// plot pixels equal the headless snapshot of the same commands (both draw
// with cairo into RGB24, so antialiasing is the same).
//
// What the server asks of the X server reaches it a little after the reply,
// so each check waits, generously, for the condition it expects.
// gtest before Xlib, whose macros (None, Bool) would break its headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <math.h>
#include <string>
#include <vector>

#include "support/pv5test.h"
#include "common/xvfb.h"

namespace {

const int kWaitMs = 30000;

int ignore_x_errors(Display *, XErrorEvent *) { return 0; }

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

bool wait_until(const std::function<bool()> &cond) {
  for (int64_t end = now_ms() + kWaitMs; now_ms() < end; usleep(5000))
    if (cond()) return true;
  return cond();
}

std::string title_of(Display *d, Window w) {
  char *name = nullptr;
  std::string s;
  if (XFetchName(d, w, &name) && name) s = name;
  if (name) XFree(name);
  return s;
}

// The viewable top-level windows titled "TQV ...", by title.
std::vector<std::pair<std::string, Window>> plot_windows(Display *d) {
  std::vector<std::pair<std::string, Window>> found;
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  XSync(d, False);
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &kids, &n)) return found;
  for (unsigned i = 0; i < n; i++) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, kids[i], &a) || a.map_state != IsViewable) continue;
    std::string t = title_of(d, kids[i]);
    if (t.compare(0, 4, "TQV ") == 0) found.push_back({t, kids[i]});
  }
  if (kids) XFree(kids);
  return found;
}

Window find_window(Display *d, const std::string &title) {
  for (auto &p : plot_windows(d))
    if (p.first == title) return p.second;
  return 0;
}

bool titles_are(Display *d, std::vector<std::string> want) {
  std::vector<std::string> got;
  for (auto &p : plot_windows(d)) got.push_back(p.first);
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  return got == want;
}

bool screenshot(Display *d, Window w, Image *img) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(d, w, &a)) return false;
  XImage *x = XGetImage(d, w, 0, 0, unsigned(a.width), unsigned(a.height), AllPlanes, ZPixmap);
  if (!x) return false;
  img->w = a.width;
  img->h = a.height;
  img->px.resize(size_t(a.width) * size_t(a.height));
  for (int y = 0; y < a.height; y++)
    for (int i = 0; i < a.width; i++) img->px[size_t(y) * size_t(a.width) + size_t(i)] = XGetPixel(x, i, y) & 0xffffff;
  XDestroyImage(x);
  return true;
}

// Pixels whose channels differ by more than tol.
long differing(const Image &a, const Image &b, int tol) {
  if (a.w != b.w || a.h != b.h) return -1;
  long n = 0;
  for (size_t i = 0; i < a.px.size(); i++)
    for (int sh = 0; sh < 24; sh += 8) {
      int d = int((a.px[i] >> sh) & 0xff) - int((b.px[i] >> sh) & 0xff);
      if (d > tol || d < -tol) {
        n++;
        break;
      }
    }
  return n;
}

// A plot with antialiased diagonals, dashes, colours and a fill, in window 1
// at content x 128..768, y 128..640 of a 1280-pixel-wide display.
void draw_plot(pv5c *h) {
  int32_t r;
  ASSERT_EQ(pv5c_cr(h, 1, 0.1f, 0.1f, 0.6f, 0.5f, &r), PV5C_OK);
  ASSERT_EQ(r, 0);
  const float rgb[12] = {0.1f, 0.9f, 0.2f, 0.0f, 0.3f, 0.1f, 0.6f, 0.5f, 0.8f, 0.2f, 0.1f, 0.9f};
  ASSERT_EQ(pv5c_st(h, 1, 2, 0, 4, rgb, &r), PV5C_OK);
  std::vector<float> x, y;
  for (int i = 0; i <= 200; i++) {
    x.push_back(0.05f + 0.9f * float(i) / 200.0f);
    y.push_back(0.4f + 0.3f * sinf(float(i) * 0.08f));
  }
  float ax[2] = {0.05f, 0.95f}, ay[2] = {0.05f, 0.05f}, bx[2] = {0.05f, 0.05f}, by[2] = {0.05f, 0.75f};
  float dx[3] = {0.1f, 0.9f, 0.5f}, dy[3] = {0.1f, 0.3f, 0.7f};
  pv5c_line lines[4] = {{2, 3, 1, 0, ax, ay},
                        {2, 3, 1, 0, bx, by},
                        {int(x.size()), 4, 2, 1, x.data(), y.data()},
                        {3, 2, 5, 3, dx, dy}};
  ASSERT_EQ(pv5c_dr(h, 4, lines, &r), PV5C_OK);
  ASSERT_EQ(r, 0);
  float px[5] = {0.6f, 0.85f, 0.8f, 0.65f, 0.9f}, py[5] = {0.15f, 0.2f, 0.35f, 0.3f, 0.1f};
  pv5c_poly p = {2, 5, px, py};
  ASSERT_EQ(pv5c_fi(h, 1, &p, &r), PV5C_OK);
  ASSERT_EQ(r, 0);
  ASSERT_EQ(pv5c_fl(h, &r), PV5C_OK);
  ASSERT_EQ(r, 0);
}

struct X11 : ::testing::Test {
  static Display *d;
  Server s;
  static void SetUpTestSuite() {
    std::string err;
    if (!xvfb_available() || !xvfb_export_display(&err)) return;
    d = XOpenDisplay(nullptr);
    XSetErrorHandler(ignore_x_errors);
  }
  static void TearDownTestSuite() {
    if (d) XCloseDisplay(d);
    d = nullptr;
  }
  void SetUp() override {
    if (!xvfb_available()) GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_NE(d, nullptr) << "cannot open the Xvfb display";
    pv5c_options o = headless_options();
    o.headless = 0;
    std::string snaps = s.snapshot_dir();
    o.snapshot_dir = snaps.c_str();
    ASSERT_EQ(s.start(o), PV5C_OK) << pv5c_error(s.h) << "\n" << s.stderr_text();
  }
};
Display *X11::d = nullptr;

TEST_F(X11, TitlesAndContentGeometry) {
  int32_t r;
  float w;
  ASSERT_EQ(pv5c_gd(s.h, &w, nullptr, &r), PV5C_OK);
  EXPECT_EQ(w, 1280.0f);  // the X screen's width
  // The second value is the left edge: window 1 is right of window 0.
  ASSERT_EQ(pv5c_cr(s.h, 0, 0.05f, 0.05f, 0.3f, 0.25f, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(pv5c_cr(s.h, 1, 0.05f, 0.35f, 0.6f, 0.25f, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  ASSERT_TRUE(wait_until([&] { return titles_are(d, {"TQV 1 - inactive", "TQV 2 - active"}); }))
      << s.stderr_text();
  struct {
    const char *title;
    int x, y, w, h;
  } want[] = {{"TQV 1 - inactive", 64, 64, 320, 256}, {"TQV 2 - active", 448, 64, 320, 256}};
  for (auto &c : want) {
    SCOPED_TRACE(c.title);
    Window win = find_window(d, c.title);
    ASSERT_NE(win, 0u);
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(d, win, &a));
    EXPECT_EQ(a.width, c.w);
    EXPECT_EQ(a.height, c.h);
    int gx = -1, gy = -1;
    Window child;
    ASSERT_TRUE(XTranslateCoordinates(d, win, DefaultRootWindow(d), 0, 0, &gx, &gy, &child));
    EXPECT_EQ(gx, c.x);
    EXPECT_EQ(gy, c.y);
  }
  // "er" makes window 0 current and retitles both; "de" takes window 1 away.
  ASSERT_EQ(pv5c_er(s.h, 0, &r), PV5C_OK);
  EXPECT_TRUE(wait_until([&] { return titles_are(d, {"TQV 1 - active", "TQV 2 - inactive"}); }));
  ASSERT_EQ(pv5c_de(s.h, 1, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(wait_until([&] { return titles_are(d, {"TQV 1 - active"}); }));
  float ratio;
  ASSERT_EQ(pv5c_gr(s.h, 0, &ratio, &r), PV5C_OK);
  EXPECT_EQ(ratio, 0.8f);
}

TEST_F(X11, ScreenshotEqualsHeadlessSnapshot) {
  draw_plot(s.h);
  Server headless;
  ASSERT_EQ(headless.start_headless(1280, 1024), PV5C_OK) << pv5c_error(headless.h);
  draw_plot(headless.h);
  Image want;
  ASSERT_TRUE(load_png(headless.snapshot(1), &want));
  ASSERT_EQ(want.w, 640);
  ASSERT_EQ(want.h, 512);

  // The X11 server's own snapshot of its backing store is the same picture.
  Image own;
  ASSERT_TRUE(load_png(s.snapshot(1), &own));
  EXPECT_EQ(differing(own, want, 0), 0);

  Window win = 0;
  ASSERT_TRUE(wait_until([&] { return (win = find_window(d, "TQV 2 - active")) != 0; }));
  Image shot;
  long diff = -1;
  wait_until([&] { return screenshot(d, win, &shot) && (diff = differing(shot, want, 0)) == 0; });
  EXPECT_EQ(diff, 0) << "pixels of the screenshot differ from the headless snapshot";
  // And it is a real plot, not a blank window.
  long ink = 0;
  for (uint32_t p : shot.px) ink += p != 0xffffff;
  EXPECT_GT(ink, 5000);
}

}  // namespace
