// The window event handler against the window table, on the headless
// backend, with events handed to the windows the way the loop does it.
// Display 1200 x 900; window 0 is 600 x 480 pixels at (120, 120).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "pv5.h"

namespace {

int app_calls;
const plat_window *app_saw;
int32_t record_app(const plat_event *ev, void *) {
  app_calls++;
  app_saw = ev->win;
  return kPlatNotHandled;
}

class WinEventsTest : public ::testing::Test {
 protected:
  std::string dir;

  void SetUp() override {
    char tmpl[] = "/tmp/pv5winevXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    plat_options o{};
    o.backend = PLAT_HEADLESS;
    o.display_w = 1200;
    o.display_h = 900;
    o.snapshot_dir = dir.c_str();
    char err[256] = "";
    ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
    window_table_init();
    app_calls = 0;
    app_saw = nullptr;
    plat_set_app_handler(record_app, nullptr);
    ASSERT_EQ(create(0, true, 0.1f, 0.1f, 0.6f, 0.5f), 0);
  }

  void TearDown() override {
    for (int32_t k = 0; k < PV5_NWIN; k++) destroy(k);
    plat_close();
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }

  static int32_t Send(uint32_t cls, uint32_t kind, plat_window *win, plat_window *target) {
    plat_event ev{};
    ev.cls = cls;
    ev.kind = kind;
    ev.win = win;
    return plat_send_event_to_window(target, &ev);
  }

  // Device x of plot x 1 in window k's context: the content width it fits.
  static double PlotWidth(int k) {
    double x = sx, y = 0;
    cairo_user_to_device(gc[k], &x, &y);
    return x;
  }
};

// Only window events for windows in the table are taken; the table is
// searched before the window is asked for its tag.
TEST_F(WinEventsTest, OtherEventsAreLeftAlone) {
  plat_rect r{10, 10, 60, 60};
  plat_window *stranger = plat_window_create(&r);
  plat_window_set_tag(stranger, 0);  // claims slot 0 but is not in it
  plat_window *w0 = EventWindow[0];
  cairo_t *g0 = gc[0];
  struct {
    uint32_t cls, kind;
    plat_window *win;
  } cases[] = {
      {kPlatClassKeyboard, kPlatKeyRawKeyDown, w0},
      {kPlatClassMouse, kPlatMouseDown, w0},
      {kPlatClassSignal, 15, nullptr},
      {kPlatClassWindow, kPlatWindowClose, nullptr},
      {kPlatClassWindow, kPlatWindowClose, stranger},
      {kPlatClassWindow, kPlatWindowBoundsChanged, stranger},
      {kPlatClassWindow, 99, w0},
  };
  for (const auto &c : cases) {
    plat_event ev{};
    ev.cls = c.cls;
    ev.kind = c.kind;
    ev.win = c.win;
    EXPECT_EQ(QuartzEventHandler(&ev, w0), kPlatNotHandled) << c.cls << " " << c.kind;
  }
  EXPECT_EQ(EventWindow[0], w0);
  EXPECT_EQ(gc[0], g0);
  plat_window_dispose(stranger);
}

// A close empties the slot and releases the window once; the event still
// goes on to the application handler, which may compare the pointer.
TEST_F(WinEventsTest, CloseEmptiesTheSlot) {
  ASSERT_EQ(create(3, true, 0.2f, 0.2f, 0.4f, 0.4f), 0);
  plat_window *w3 = EventWindow[3];
  EXPECT_EQ(Send(kPlatClassWindow, kPlatWindowClose, w3, w3), kPlatNotHandled);
  EXPECT_EQ(app_calls, 1);
  EXPECT_EQ(app_saw, w3);
  EXPECT_EQ(EventWindow[3], nullptr);
  EXPECT_EQ(gc[3], nullptr);
  EXPECT_EQ(wvis[3], 0);

  EXPECT_EQ(destroy(3), -1);
  setactive(0);  // retitling skips the empty slot
  EXPECT_STREQ(plat_window_title(EventWindow[0]), "TQV 1 - active");
  ASSERT_EQ(create(3, true, 0.2f, 0.2f, 0.4f, 0.4f), 0);  // built anew
  ASSERT_NE(EventWindow[3], nullptr);
  EXPECT_STREQ(plat_window_title(EventWindow[3]), "TQV 4 - active");
  EXPECT_STREQ(plat_window_title(EventWindow[0]), "TQV 1 - inactive");
  EXPECT_EQ(destroy(3), 0);
}

// A close handed to another window's target (as the cursor loop does) acts
// on the window the event names.
TEST_F(WinEventsTest, CloseSentThroughAnotherWindow) {
  ASSERT_EQ(create(2, true, 0.2f, 0.2f, 0.4f, 0.4f), 0);
  plat_window *w2 = EventWindow[2];
  Send(kPlatClassWindow, kPlatWindowClose, w2, EventWindow[0]);
  EXPECT_EQ(EventWindow[2], nullptr);
  EXPECT_NE(EventWindow[0], nullptr);
  // A second close for the released window finds no slot.
  plat_event ev{kPlatClassWindow, kPlatWindowClose, nullptr, 0, 0, 0};
  ev.win = EventWindow[0];
  EXPECT_EQ(QuartzEventHandler(&ev, nullptr), kPlatNotHandled);
  EXPECT_EQ(EventWindow[0], nullptr);
  EXPECT_EQ(QuartzEventHandler(&ev, nullptr), kPlatNotHandled);
}

// Moves and resizes give the window a new context scaled to its new width:
// plot x 1 lands on the right edge, and drawing reaches the screen.
TEST_F(WinEventsTest, BoundsChangeRescalesTheContext) {
  plat_window *w0 = EventWindow[0];
  EXPECT_NEAR(PlotWidth(0), 600, 1e-3);
  struct {
    plat_rect r;
    double width;
  } cases[] = {
      {{120, 120, 600, 720}, 600},  // unchanged
      {{200, 300, 680, 900}, 600},  // moved only
      {{200, 300, 400, 600}, 300},  // narrower
      {{100, 100, 900, 1300}, 1200},
  };
  for (const auto &c : cases) {
    plat_window_set_content_bounds(w0, &c.r);
    EXPECT_EQ(Send(kPlatClassWindow, kPlatWindowBoundsChanged, w0, w0), 0);
    EXPECT_EQ(EventWindow[0], w0);
    EXPECT_NEAR(PlotWidth(0), c.width, 1e-3);
    EXPECT_EQ(cairo_status(gc[0]), CAIRO_STATUS_SUCCESS);
  }
  EXPECT_EQ(app_calls, 0);

  // A line from plot (0, 0.1) to (1, 0.1) spans the 300-pixel content.
  plat_rect r{200, 300, 400, 600};
  plat_window_set_content_bounds(w0, &r);
  Send(kPlatClassWindow, kPlatWindowBoundsChanged, w0, w0);
  cairo_set_source_rgb(gc[0], 0, 0, 0);
  cairo_set_line_width(gc[0], 4 * sx / 300);
  cairo_move_to(gc[0], 0, 0.1 * sy);
  cairo_line_to(gc[0], sx, 0.1 * sy);
  cairo_stroke(gc[0]);
  ASSERT_EQ(flush(0), 0);
  std::string path = dir + "/window0.png";
  cairo_surface_t *s = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(s), 300);
  ASSERT_EQ(cairo_image_surface_get_height(s), 200);
  const unsigned char *d = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  int row = 200 - 30;  // 0.1 * 300 pixels up
  for (int x : {1, 150, 298}) {
    uint32_t p;
    memcpy(&p, d + row * stride + x * 4, 4);
    EXPECT_EQ(p & 0xffffff, 0u) << x;
  }
  cairo_surface_destroy(s);
}

}  // namespace
