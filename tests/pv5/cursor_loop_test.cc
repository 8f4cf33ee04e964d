// The graphic cursor on the headless backend: each test opens the platform
// with a scripted input file, builds plot window 1 (400 x 300 pixels, content
// from x 200 to 600 and y 100 to 400 on a display 1000 pixels wide) and runs
// cursor() until the script answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "common/pixels.h"
#include "cursor.h"
#include "pv5.h"

namespace {

struct Answer {
  int32_t status;
  float x, y;
  unsigned char res[32];
  int32_t key() const {
    int32_t k;
    memcpy(&k, res, sizeof k);
    return k;
  }
};

// The overlay as last presented, read back from the snapshot.
struct Picture {
  cairo_surface_t *s = nullptr;
  ~Picture() {
    if (s) cairo_surface_destroy(s);
  }
  int w() const { return cairo_image_surface_get_width(s); }
  int h() const { return cairo_image_surface_get_height(s); }
  // Darkest green value in a 3 x 3 block around device pixel (x, y), y down.
  int darkest(int x, int y) const { return darkest_green(s, x, y); }
};

// The overlay comes off the screen when the interaction ends, so the picture
// is taken while it runs: a mouse-up goes on to the application handler
// after the cross hair has been redrawn, and this handler reads the snapshot
// of window 1 at that moment.
cairo_surface_t *captured;
std::string capture_path;
int32_t capture_on_mouse_up(const plat_event *ev, void *) {
  if (ev->cls == kPlatClassMouse && ev->kind == kPlatMouseUp) {
    if (captured) cairo_surface_destroy(captured);
    captured = cairo_image_surface_create_from_png(capture_path.c_str());
  }
  return kPlatNotHandled;
}

class CursorTest : public ::testing::Test {
 protected:
  std::string dir;

  void SetUp() override {
    char tmpl[] = "/tmp/pv5cursorXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }

  void TearDown() override {
    for (int32_t k = 0; k < PV5_NWIN; k++) destroy(k);
    plat_close();
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }

  // Opens the platform with the script as its input and builds window 1.
  void Start(const char *script) {
    std::string in = dir + "/input";
    FILE *f = fopen(in.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fputs(script, f);
    fclose(f);
    plat_options o{};
    o.backend = PLAT_HEADLESS;
    o.display_w = 1000;
    o.display_h = 800;
    o.snapshot_dir = dir.c_str();
    o.input_path = in.c_str();
    char err[256] = "";
    ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
    window_table_init();
    ASSERT_EQ(create(1, true, 0.1f, 0.2f, 0.6f, 0.4f), 0);
    cur = 1;
    capture_path = dir + "/window1.png";
    plat_set_app_handler(capture_on_mouse_up, nullptr);
  }

  Answer Run(bool string, int32_t opts = 0, float px = 0, float py = 0, size_t reslen = 32) {
    Answer a;
    memset(a.res, 0xee, sizeof a.res);
    a.x = a.y = -99;
    a.status = cursor(string, opts, px, py, &a.x, &a.y, a.res, reslen);
    return a;
  }

  // Takes the picture captured at the script's last click.
  void Captured(Picture *p) {
    ASSERT_NE(captured, nullptr);
    p->s = captured;
    captured = nullptr;
    ASSERT_EQ(cairo_surface_status(p->s), CAIRO_STATUS_SUCCESS);
  }
};

TEST(MyPtInRect, AllFourEdgesCountAsInside) {
  plat_rect r{100, 200, 400, 600};  // top, left, bottom, right
  struct {
    int h, v, in;
  } cases[] = {
      {200, 100, 1}, {600, 100, 1}, {200, 400, 1}, {600, 400, 1}, {350, 250, 1},
      {199, 250, 0}, {601, 250, 0}, {350, 99, 0},  {350, 401, 0}, {-1, -1, 0},
  };
  for (const auto &c : cases) {
    Point pt{c.v, c.h};
    EXPECT_EQ(MyPtInRect(pt, &r), c.in) << c.h << "," << c.v;
  }
}

TEST_F(CursorTest, KeyAnswersCharacterAndPlotPosition) {
  Start("pointer 300 250\nkey q\n");
  Answer a = Run(false);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.key(), 113);
  EXPECT_FLOAT_EQ(a.x, 0.25f);   // 100 of 400 pixels from the left
  EXPECT_FLOAT_EQ(a.y, 0.375f);  // 150 pixels up, in units of the width
  EXPECT_EQ(cgc, nullptr);
}

TEST_F(CursorTest, TextAnswers) {
  struct {
    const char *script;
    std::string want;  // with its terminating 0
  } cases[] = {
      {"text ab\nkey return\n", std::string("ab\0", 3)},
      {"key escape\n", std::string("\0", 1)},
      {"text a\nkey backspace\nkey b\nkey return\n", std::string("a\bb\0", 4)},
      {"text x y\nkey escape\n", std::string("x y\0", 4)},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script);
    Start(c.script);
    Answer a = Run(true);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(std::string((const char *)a.res, c.want.size()), c.want);
    EXPECT_EQ(a.res[c.want.size()], 0xee);  // nothing beyond the text
    destroy(1);
    plat_close();
  }
}

// The text stops where the buffer ends; the last byte is its terminating 0,
// and the bytes past the buffer are never written.
TEST_F(CursorTest, TextStopsGrowingAtTheEndOfTheBuffer) {
  Start("text abcdef\nkey return\n");
  Answer a = Run(true, 0, 0, 0, 4);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(std::string((const char *)a.res, 4), std::string("abc\0", 4));
  EXPECT_EQ(a.res[4], 0xee);
}

// The headless mouse starts off-screen; a second interaction starts where
// the first left the mouse.
TEST_F(CursorTest, StartPositionComesFromTheMouse) {
  Start("key a\npointer 400 100\nkey b\nkey c\n");
  Answer a = Run(false);
  EXPECT_EQ(a.key(), 'a');
  EXPECT_FLOAT_EQ(a.x, 0.5f);  // the centre: 0.5 and 0.5 * height / width
  EXPECT_FLOAT_EQ(a.y, 0.375f);
  a = Run(false);
  EXPECT_EQ(a.key(), 'b');
  a = Run(false);  // started with the mouse on the top edge
  EXPECT_EQ(a.key(), 'c');
  EXPECT_FLOAT_EQ(a.x, 0.5f);
  EXPECT_FLOAT_EQ(a.y, 0.75f);
}

TEST_F(CursorTest, PointerEdgesAndOutside) {
  struct {
    const char *script;
    float x, y;
  } cases[] = {
      {"pointer 600 400\nkey k\n", 1.0f, 0.0f},             // bottom-right corner inside
      {"pointer 200 100\nkey k\n", 0.0f, 0.75f},            // top-left corner inside
      {"pointer 300 250\npointer 601 250\nkey k\n", 0.25f, 0.375f},  // outside: stays
      {"pointer 300 250\npointer 300 99\nkey k\n", 0.25f, 0.375f},
      {"pointer 300 250\nclick 500 400\nkey k\n", 0.75f, 0.0f},  // a click moves, not ends
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script);
    Start(c.script);
    Answer a = Run(false);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.key(), 'k');
    EXPECT_FLOAT_EQ(a.x, c.x);
    EXPECT_FLOAT_EQ(a.y, c.y);
    destroy(1);
    plat_close();
  }
}

// opts 3 beeps once and draws the rubber band from the anchor (plot 0.25,
// 0.125: overlay pixel 100, 50 up) to the cross hair at pixel 300, 250 up.
TEST_F(CursorTest, BeepAndRubberBand) {
  for (int32_t opts : {3, 0}) {
    SCOPED_TRACE(opts);
    Start("pointer 500 150\nclick 5 5\nkey k\n");
    Answer a = Run(false, opts, 0.25f, 0.125f);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(plat_headless_record()->beeps, opts & 1);
    Picture p;
    Captured(&p);
    ASSERT_EQ(p.w(), 400);
    ASSERT_EQ(p.h(), 300);
    EXPECT_LT(p.darkest(300, 20), 128);   // vertical line at x 300
    EXPECT_LT(p.darkest(20, 50), 128);    // horizontal line at 250 up = row 50
    EXPECT_GT(p.darkest(20, 150), 200);   // plot elsewhere untouched
    // Midway along the band: pixel 200, 150 up = row 150.
    if (opts & 2)
      EXPECT_LT(p.darkest(200, 150), 160);
    else
      EXPECT_GT(p.darkest(200, 150), 200);
    destroy(1);
    plat_close();
  }
}

TEST_F(CursorTest, NoWindowAnswersAtOnce) {
  Start("key q\n");
  for (int32_t w : {-1, 2, 5, 99}) {
    cur = w;
    Answer a = Run(false, 1);
    EXPECT_EQ(a.status, -1) << w;
    EXPECT_EQ(a.res[0], 0xee);
  }
  EXPECT_EQ(plat_headless_record()->beeps, 0);
  cur = 1;
  EXPECT_EQ(Run(false).key(), 'q');  // the key is still there for a real cursor
}

// Closing the cursor's own window ends the interaction: -1, the last position,
// character slot 0 (an empty text), the slot empty and the window released
// once (the sanitizer build catches a second release).
TEST_F(CursorTest, ClosingTheCurrentWindowEndsTheInteraction) {
  for (bool string : {false, true}) {
    SCOPED_TRACE(string);
    Start(string ? "pointer 300 250\ntext ab\nclose 1\nkey z\n" : "pointer 300 250\nclose 1\nkey z\n");
    Answer a = Run(string);
    EXPECT_EQ(a.status, -1);
    EXPECT_FLOAT_EQ(a.x, 0.25f);
    EXPECT_FLOAT_EQ(a.y, 0.375f);
    if (string)
      EXPECT_EQ(a.res[0], 0);
    else
      EXPECT_EQ(a.key(), 0);
    EXPECT_EQ(EventWindow[1], nullptr);
    EXPECT_EQ(gc[1], nullptr);
    EXPECT_EQ(cgc, nullptr);
    EXPECT_EQ(destroy(1), -1);
    EXPECT_EQ(Run(false).status, -1);
    plat_close();
  }
}

// Closing another window while the cursor is up empties that slot only.
TEST_F(CursorTest, ClosingAnotherWindowKeepsTheCursor) {
  Start("pointer 300 250\nclose 2\nkey y\n");
  ASSERT_EQ(create(2, true, 0.5f, 0.5f, 0.7f, 0.7f), 0);
  cur = 1;
  Answer a = Run(false);
  EXPECT_EQ(a.status, 0);
  EXPECT_EQ(a.key(), 'y');
  EXPECT_EQ(EventWindow[2], nullptr);
  EXPECT_NE(EventWindow[1], nullptr);
}

// A resize of the current window moves the overlay onto the new content and
// redraws the cross hair at its last offset from the lower-left corner.
TEST_F(CursorTest, ResizeRedrawsTheCrossHair) {
  Start("pointer 300 250\nresize 1 500 200\nclick 5 5\nkey r\n");
  Answer a = Run(false, 2, 0.9f, 0.0f);
  EXPECT_EQ(a.status, 0);
  Picture p;
  Captured(&p);
  ASSERT_EQ(p.w(), 500);
  ASSERT_EQ(p.h(), 200);
  EXPECT_LT(p.darkest(100, 10), 128);   // vertical line still 100 pixels in
  EXPECT_LT(p.darkest(450, 50), 128);   // horizontal line 150 up, across the new width
  EXPECT_GT(p.darkest(230, 125), 200);  // redrawn without the rubber band
  // The window's own context now scales plot x 1 to the new width.
  double ux = sx, uy = 0;
  cairo_user_to_device(gc[1], &ux, &uy);
  EXPECT_NEAR(ux, 500, 1e-3);
}

// A resize of another window replaces its context and leaves the cursor be.
TEST_F(CursorTest, ResizeOfAnotherWindow) {
  Start("pointer 300 250\nresize 2 300 100\nclick 5 5\nkey r\n");
  ASSERT_EQ(create(2, true, 0.5f, 0.5f, 0.7f, 0.7f), 0);
  cur = 1;
  Answer a = Run(false);
  EXPECT_EQ(a.status, 0);
  EXPECT_FLOAT_EQ(a.x, 0.25f);
  double ux = sx, uy = 0;
  cairo_user_to_device(gc[2], &ux, &uy);
  EXPECT_NEAR(ux, 300, 1e-3);
  Picture p;
  Captured(&p);
  EXPECT_EQ(p.w(), 400);
  EXPECT_LT(p.darkest(100, 20), 128);  // the cross hair still up in window 1
}

// The server told to stop while the cursor is up: the interaction ends as for
// a closed window, and the window stays in the table.
int32_t quit_on_signal(const plat_event *ev, void *) {
  if (ev->cls != kPlatClassSignal) return kPlatNotHandled;
  plat_quit_app_loop();
  return kPlatHandled;
}

TEST_F(CursorTest, StopRequestEndsTheInteraction) {
  Start("pointer 300 250\n");
  plat_set_app_handler(quit_on_signal, nullptr);
  ASSERT_EQ(plat_signal_install(SIGUSR1), 0);
  raise(SIGUSR1);
  Answer a = Run(true);
  EXPECT_EQ(a.status, -1);
  EXPECT_EQ(a.res[0], 0);
  EXPECT_EQ(cgc, nullptr);
  EXPECT_NE(EventWindow[1], nullptr);
}

}  // namespace
