// Pixels of headless snapshots: dash patterns, colours from the line colour
// table, black without one, non-zero-winding fills, and scaling with the
// window's width.
//
// The display is 1000 x 800, and window 1 is made 1000 pixels wide, so one
// user unit is one pixel there and plot x maps to pixel 1000 x; plot y maps
// to pixel row (content height - 1000 y).
#include <gtest/gtest.h>
#include <math.h>

#include <string>
#include <vector>

#include "support/pv5test.h"

namespace {

const uint32_t kWhite = 0xffffff, kBlack = 0x000000;
const uint32_t kRed = 0xff0000, kGreen = 0x00ff00, kBlue = 0x0000ff;

struct Snapshots : ::testing::Test {
  Server s;
  int32_t r = 99;
  void SetUp() override {
    ASSERT_EQ(s.start_headless(1000, 800), PV5C_OK) << pv5c_error(s.h);
    ASSERT_EQ(pv5c_cr(s.h, 1, 0.0f, 0.0f, 1.0f, 0.5f, &r), PV5C_OK);  // 1000 x 500
    ASSERT_EQ(r, 0);
  }
  // Flushes the current window and loads window k's snapshot.
  Image flushed(int k = 1) {
    Image img;
    EXPECT_EQ(pv5c_fl(s.h, &r), PV5C_OK);
    EXPECT_EQ(r, 0);
    EXPECT_TRUE(load_png(s.snapshot(k), &img));
    return img;
  }
  void line(float x0, float y0, float x1, float y1, int width, int style, int color) {
    float x[2] = {x0, x1}, y[2] = {y0, y1};
    pv5c_line l = {2, width, style, color, x, y};
    ASSERT_EQ(pv5c_dr(s.h, 1, &l, &r), PV5C_OK);
    ASSERT_EQ(r, 0);
  }
  void fill(const std::vector<float> &x, const std::vector<float> &y, int color) {
    pv5c_poly p = {color, int(x.size()), x.data(), y.data()};
    ASSERT_EQ(pv5c_fi(s.h, 1, &p, &r), PV5C_OK);
    ASSERT_EQ(r, 0);
  }
};

struct DashCase {
  int style;                  // as sent
  std::vector<int> on_off;    // the pattern it must show, in pixels; empty: solid
};

TEST_F(Snapshots, DashPatternsInUserUnits) {
  const DashCase cases[] = {
      {1, {}}, {0, {}}, {-3, {}}, {2, {3, 1}}, {3, {3, 4, 3, 1}}, {4, {4, 4}},
      {5, {3, 4, 3, 1, 3, 1}}, {6, {4, 7}}, {7, {4, 7}}, {40, {4, 7}},
  };
  for (const DashCase &c : cases) {
    SCOPED_TRACE("style " + std::to_string(c.style));
    ASSERT_EQ(pv5c_er(s.h, 1, &r), PV5C_OK);
    // Width 2 centred on a pixel edge: rows 249 and 250, from x 100 to 900.
    line(0.1f, 0.25f, 0.9f, 0.25f, 2, c.style, 0);
    Image img = flushed();
    int period = 0;
    for (int v : c.on_off) period += v;
    for (int row : {249, 250}) {
      for (int x = 90; x < 910; x++) {
        bool on = x >= 100 && x < 900;
        if (on && period) {
          int p = (x - 100) % period, k = 0;
          while (p >= c.on_off[size_t(k)]) p -= c.on_off[size_t(k++)];
          on = k % 2 == 0;
        }
        ASSERT_EQ(img.at(x, row), on ? kBlack : kWhite) << "x " << x << " row " << row;
      }
    }
    EXPECT_EQ(img.at(500, 248), kWhite);
    EXPECT_EQ(img.at(500, 251), kWhite);
  }
}

TEST_F(Snapshots, ColoursFromTheTable) {
  const float rgb[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // planar: reds, greens, blues
  ASSERT_EQ(pv5c_st(s.h, 1, 4, 0, 3, rgb, &r), PV5C_OK);
  ASSERT_EQ(r, 0);
  // Colour indexes 0..2 take their entries; 3 (= the count) and -1 take entry 0.
  const struct {
    int color;
    uint32_t expect;
  } cases[] = {{0, kRed}, {1, kGreen}, {2, kBlue}, {3, kRed}, {-1, kRed}};
  std::vector<std::vector<float>> xs, ys;
  std::vector<pv5c_line> lines;
  for (size_t i = 0; i < 5; i++) {
    float y = 0.05f + 0.08f * float(i);
    xs.push_back({0.1f, 0.9f});
    ys.push_back({y, y});
  }
  for (size_t i = 0; i < 5; i++) lines.push_back({2, 4, 1, cases[i].color, xs[i].data(), ys[i].data()});
  ASSERT_EQ(pv5c_dr(s.h, 5, lines.data(), &r), PV5C_OK);  // several polylines, one record
  ASSERT_EQ(r, 0);
  // A fill takes the colour of its group, and keeps it for what follows.
  fill({0.1f, 0.2f, 0.2f, 0.1f}, {0.44f, 0.44f, 0.48f, 0.48f}, 2);
  Image img = flushed();
  for (size_t i = 0; i < 5; i++) {
    int row = 500 - int(1000 * (0.05f + 0.08f * float(i)) + 0.5f);
    EXPECT_EQ(img.at(500, row), cases[i].expect) << "colour " << cases[i].color;
    EXPECT_EQ(img.at(500, row - 1), cases[i].expect) << "colour " << cases[i].color;
  }
  EXPECT_EQ(img.at(150, 500 - 460), kBlue);
  EXPECT_EQ(img.at(50, 500 - 460), kWhite);
}

TEST_F(Snapshots, BlackWithoutATable) {
  line(0.1f, 0.25f, 0.9f, 0.25f, 4, 1, 5);
  fill({0.1f, 0.2f, 0.2f, 0.1f}, {0.4f, 0.4f, 0.45f, 0.45f}, 3);
  Image img = flushed();
  EXPECT_EQ(img.at(500, 250), kBlack);
  EXPECT_EQ(img.at(150, 500 - 425), kBlack);
  EXPECT_EQ(img.at(500, 200), kWhite);
}

TEST_F(Snapshots, SelfCrossingFillsUseNonZeroWinding) {
  // Bow tie: both lobes painted, the gaps above and below the crossing not.
  fill({0.1f, 0.4f, 0.4f, 0.1f}, {0.1f, 0.4f, 0.1f, 0.4f}, 0);
  // Pentagram: its centre is wound twice, so non-zero fills it.
  std::vector<float> px, py;
  for (int i = 0; i < 5; i++) {
    double a = 1.5707963 + i * 2 * 2.0 * 3.14159265 / 5;
    px.push_back(float(0.7 + 0.15 * cos(a)));
    py.push_back(float(0.25 + 0.15 * sin(a)));
  }
  fill(px, py, 0);
  Image img = flushed();
  auto at = [&](float x, float y) { return img.at(int(1000 * x), 500 - int(1000 * y)); };
  EXPECT_EQ(at(0.15f, 0.25f), kBlack) << "left lobe";
  EXPECT_EQ(at(0.35f, 0.25f), kBlack) << "right lobe";
  EXPECT_EQ(at(0.25f, 0.37f), kWhite) << "above the crossing";
  EXPECT_EQ(at(0.25f, 0.13f), kWhite) << "below the crossing";
  EXPECT_EQ(at(0.7f, 0.25f), kBlack) << "pentagram centre";
  EXPECT_EQ(at(0.7f, 0.39f), kBlack) << "pentagram top point";
  EXPECT_EQ(at(0.6f, 0.37f), kWhite) << "between two points";
}

// The same plot in a window half as wide is the same picture at half scale,
// line widths and dashes included.
TEST_F(Snapshots, DrawingScalesWithTheWindowWidth) {
  ASSERT_EQ(pv5c_cr(s.h, 2, 0.0f, 0.0f, 0.5f, 0.25f, &r), PV5C_OK);  // 500 x 250
  ASSERT_EQ(r, 0);
  float ratio;
  ASSERT_EQ(pv5c_gr(s.h, 2, &ratio, &r), PV5C_OK);
  EXPECT_EQ(ratio, 0.5f);
  Image big, small;
  for (int k : {1, 2}) {
    ASSERT_EQ(pv5c_er(s.h, k, &r), PV5C_OK);
    fill({0.2f, 0.6f, 0.6f, 0.2f}, {0.1f, 0.1f, 0.3f, 0.3f}, 0);
    line(0.1f, 0.4f, 0.9f, 0.4f, 8, 4, 0);  // dashes 4 on 4 off, 8 wide
    (k == 1 ? big : small) = flushed(k);
  }
  ASSERT_EQ(big.w, 1000);
  ASSERT_EQ(big.h, 500);
  ASSERT_EQ(small.w, 500);
  ASSERT_EQ(small.h, 250);
  // The rectangle: x 200..600, rows 200..400 in the big one; halved in the small.
  EXPECT_EQ(big.at(200, 200), kBlack);
  EXPECT_EQ(big.at(599, 399), kBlack);
  EXPECT_EQ(big.at(199, 300), kWhite);
  EXPECT_EQ(big.at(600, 300), kWhite);
  EXPECT_EQ(small.at(100, 100), kBlack);
  EXPECT_EQ(small.at(299, 199), kBlack);
  EXPECT_EQ(small.at(99, 150), kWhite);
  EXPECT_EQ(small.at(300, 150), kWhite);
  // The dashed line: 8 rows and 4-pixel dashes big, 4 rows and 2 small.
  for (int x = 100; x < 900; x++) {
    bool on = (x - 100) % 8 < 4;
    ASSERT_EQ(big.at(x, 96), on ? kBlack : kWhite) << x;
    ASSERT_EQ(big.at(x, 103), on ? kBlack : kWhite) << x;
  }
  EXPECT_EQ(big.at(100, 95), kWhite);
  EXPECT_EQ(big.at(100, 104), kWhite);
  for (int x = 50; x < 450; x++) {
    bool on = (x - 50) % 4 < 2;
    ASSERT_EQ(small.at(x, 48), on ? kBlack : kWhite) << x;
    ASSERT_EQ(small.at(x, 51), on ? kBlack : kWhite) << x;
  }
  EXPECT_EQ(small.at(50, 47), kWhite);
  EXPECT_EQ(small.at(50, 52), kWhite);
}

}  // namespace
