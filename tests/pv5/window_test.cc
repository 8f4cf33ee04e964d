// The window table on a headless display 1000 x 800: geometry from "cr"
// coordinates, context scale, titles, the hidden start-up window, destroy,
// and the answers for empty slots.
#include <cmath>

#include "logic_fixture.h"

using namespace pv5test;

namespace {

using Window = Logic;

plat_rect bounds(int k) {
  plat_rect r;
  plat_window_content_bounds(EventWindow[k], &r);
  return r;
}

struct GeometryCase {
  int16_t wnum;
  float top, left, right, bottom;  // the record's coords, in order
  plat_rect want;                  // top, left, bottom, right in pixels
  double scale;
  float rootsize;
};

TEST_F(Window, CreateTakesTopLeftRightBottomInDisplayWidths) {
  const GeometryCase cases[] = {
      // the hidden start-up window 0 is replaced by a shown one
      {0, 0.1f, 0.1f, 0.6f, 0.5f, {100, 100, 500, 600}, 0.5, 0.8f},
      // the second value is the left edge
      {1, 0.1f, 0.2f, 0.6f, 0.5f, {100, 200, 500, 600}, 0.4, 1.0f},
      // vertical edges are display widths too: 0.75 of 1000 is below 800
      {4, 0.05f, 0.0f, 1.0f, 0.75f, {50, 0, 750, 1000}, 1.0, 0.7f},
  };
  for (const GeometryCase &c : cases) {
    SCOPED_TRACE(c.wnum);
    EXPECT_EQ(run(cr(c.wnum, c.top, c.left, c.right, c.bottom)), 0);
    ASSERT_TRUE(window_valid(c.wnum));
    EXPECT_EQ(wvis[c.wnum], 1);
    plat_rect r = bounds(c.wnum);
    EXPECT_EQ(r.top, c.want.top);
    EXPECT_EQ(r.left, c.want.left);
    EXPECT_EQ(r.bottom, c.want.bottom);
    EXPECT_EQ(r.right, c.want.right);
    cairo_matrix_t m;
    cairo_get_matrix(gc[c.wnum], &m);
    EXPECT_NEAR(std::fabs(m.xx), c.scale, 1e-6);
    EXPECT_NEAR(std::fabs(m.yy), c.scale, 1e-6);
    float v = -1;
    EXPECT_EQ(getrootsize(c.wnum, &v), 0);
    EXPECT_FLOAT_EQ(v, c.rootsize);
  }
}

TEST_F(Window, AShownWindowStaysWhereItIs) {
  ASSERT_EQ(run(cr(2, 0.1f, 0.1f, 0.3f, 0.3f)), 0);
  plat_window *w = EventWindow[2];
  EXPECT_EQ(run(cr(2, 0.2f, 0.3f, 0.6f, 0.7f)), 0);
  EXPECT_EQ(EventWindow[2], w);
  plat_rect r = bounds(2);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 300);
}

TEST_F(Window, TitlesFollowTheCurrentWindow) {
  ASSERT_EQ(run(cr(3, 0.1f, 0.1f, 0.3f, 0.3f)), 0);
  EXPECT_STREQ(plat_window_title(EventWindow[0]), "TQV 1 - inactive");
  EXPECT_STREQ(plat_window_title(EventWindow[3]), "TQV 4 - active");
  EXPECT_EQ(run(Rec("er", 0)), 0);
  EXPECT_STREQ(plat_window_title(EventWindow[0]), "TQV 1 - active");
  EXPECT_STREQ(plat_window_title(EventWindow[3]), "TQV 4 - inactive");
  // A second "cr" for a shown window retitles.
  EXPECT_EQ(run(cr(3, 0.5f, 0.5f, 0.6f, 0.6f)), 0);
  EXPECT_STREQ(plat_window_title(EventWindow[3]), "TQV 4 - active");
  // A number naming no window leaves every window inactive.
  EXPECT_EQ(run(Rec("er", 7)), -1);
  EXPECT_EQ(cur, 7);
  EXPECT_STREQ(plat_window_title(EventWindow[0]), "TQV 1 - inactive");
  EXPECT_STREQ(plat_window_title(EventWindow[3]), "TQV 4 - inactive");
  // destroy does not retitle the others
  EXPECT_EQ(run(Rec("er", 3)), 0);
  EXPECT_EQ(run(Rec("de", 3)), 0);
  EXPECT_STREQ(plat_window_title(EventWindow[0]), "TQV 1 - inactive");
}

TEST_F(Window, DestroyTwiceThenCreateAgain) {
  ASSERT_EQ(run(cr(1, 0.1f, 0.1f, 0.3f, 0.3f)), 0);
  EXPECT_EQ(run(Rec("de", 1)), 0);
  EXPECT_FALSE(window_valid(1));
  EXPECT_EQ(gc[1], nullptr);
  EXPECT_EQ(wvis[1], 0);
  EXPECT_EQ(run(Rec("de", 1)), -1);
  EXPECT_EQ(run(cr(1, 0.2f, 0.2f, 0.4f, 0.4f)), 0);
  EXPECT_EQ(bounds(1).left, 200);
  for (int16_t bad : {-1, 5, 300}) EXPECT_EQ(run(Rec("de", bad)), -1);
}

TEST_F(Window, EmptySlotsAndNumbersOutsideTheTableAnswerMinusOne) {
  for (int32_t k : {-1, 2, 5}) {
    SCOPED_TRACE(k);
    float v = 42.0f;
    EXPECT_EQ(erase(k), -1);
    EXPECT_EQ(flush(k), -1);
    EXPECT_EQ(getrootsize(k, &v), -1);
    EXPECT_EQ(v, 42.0f);  // nothing written
    if (k < 0 || k > 4) {
      EXPECT_EQ(create(k, true, 0, 0, 0.1f, 0.1f), -1);
    }
  }
}

TEST_F(Window, EraseWhitensTheWholeContent) {
  ASSERT_EQ(run(cr(1, 0.1f, 0.1f, 0.4f, 0.3f)), 0);  // 300 x 200
  cairo_save(gc[1]);
  cairo_identity_matrix(gc[1]);
  cairo_set_source_rgb(gc[1], 0, 0, 0);
  cairo_paint(gc[1]);
  cairo_restore(gc[1]);
  ASSERT_EQ(pixel(1, 299, 199), 0u);
  EXPECT_EQ(run(Rec("er", 1)), 0);
  for (auto p : {std::pair<int, int>{0, 0}, {299, 0}, {0, 199}, {299, 199}, {150, 100}})
    EXPECT_EQ(pixel(1, p.first, p.second), 0xffffffu) << p.first << "," << p.second;
}

TEST_F(Window, DisplaySize) {
  float v[2];
  EXPECT_EQ(getratio(v), 0);
  EXPECT_EQ(v[0], 1000.0f);
  EXPECT_EQ(v[1], 0.8f);
  EXPECT_EQ(sx, 1000.0f);
  EXPECT_EQ(sy, 1000.0f);
}

TEST_F(Window, StartUpWindowIsHiddenAndCurrentUntilACrRebuildsIt) {
  EXPECT_EQ(cur, 0);
  ASSERT_TRUE(window_valid(0));
  EXPECT_EQ(wvis[0], 0);
  plat_rect r = bounds(0);
  EXPECT_EQ(r.right - r.left, 250);
  EXPECT_EQ(r.bottom - r.top, 250);
  // Drawing before any "cr" goes to it.
  EXPECT_EQ(run(dr({{8, 1, 0, {0.0f, 1.0f}, {0.5f, 0.5f}}})), 0);  // 2 pixels wide
  EXPECT_EQ(pixel(0, 125, 125), 0u);
  EXPECT_EQ(run(cr(0, 0.1f, 0.2f, 0.3f, 0.4f)), 0);
  EXPECT_EQ(wvis[0], 1);
  r = bounds(0);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.right, 300);
  EXPECT_EQ(pixel(0, 50, 50), 0xffffffu);  // a new, white window
}

}  // namespace
