// Vector drawing, read back as pixels: dash patterns in user units, colours
// from the table, fills by the non-zero winding rule, and plot coordinates
// that scale with the window's width.
#include <cmath>

#include "logic_fixture.h"

using namespace pv5test;

namespace {

class Path : public Logic {
 protected:
  void SetUp() override {
    Logic::SetUp();
    // Window 1: 1000 x 200, one user unit a pixel.  Window 2: 500 x 100,
    // half a pixel a unit.
    ASSERT_EQ(run(cr(1, 0.0f, 0.0f, 1.0f, 0.2f)), 0);
    ASSERT_EQ(run(cr(2, 0.3f, 0.0f, 0.5f, 0.4f)), 0);
  }
  // Draws into window k (plot coordinates) and reads device pixels back.
  int32_t draw(int k, const Rec &r) {
    cur = k;
    return run(r);
  }
};

bool dark(uint32_t p) { return (p & 0xff) < 0x20 && (p >> 8 & 0xff) < 0x20 && (p >> 16) < 0x20; }
bool white(uint32_t p) { return p == 0xffffff; }

TEST_F(Path, DashesAreInUserUnitsFromAFullDash) {
  const struct {
    const char *name;
    int k;
    int16_t style, width;   // width in user units
    std::vector<int> dash;  // on, off, ... in device pixels
  } cases[] = {
      {"style 2, 3 on 1 off", 1, 2, 2, {3, 1}},
      {"style 3", 1, 3, 2, {3, 4, 3, 1}},
      {"style 6", 1, 6, 2, {4, 7}},
      {"style 4 at half scale", 2, 4, 4, {2, 2}},
      {"solid", 2, 1, 4, {}},
      {"style 0 is solid", 1, 0, 2, {}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(run(Rec("er", (int16_t)c.k)), 0);
    // A horizontal line along device row 10 (user y = 10 / scale).
    float y = c.k == 1 ? 0.010f : 0.020f;
    ASSERT_EQ(draw(c.k, dr({{c.width, c.style, 0, {0.0f, 0.2f}, {y, y}}})), 0);
    int period = 0;
    for (int d : c.dash) period += d;
    for (int col = 0; col < 40; col++) {
      bool on = true;
      if (period) {
        int pos = col % period;
        for (size_t i = 0; i < c.dash.size(); i++) {
          if (pos < c.dash[i]) {
            on = i % 2 == 0;
            break;
          }
          pos -= c.dash[i];
        }
      }
      uint32_t p = pixel(c.k, col, 10);
      EXPECT_TRUE(on ? dark(p) : white(p)) << "column " << col << " " << std::hex << p;
    }
  }
}

TEST_F(Path, ColoursComeFromTheTable) {
  // Before any table, everything is black.
  ASSERT_EQ(draw(1, dr({{10, 1, 2, {0.0f, 0.1f}, {0.05f, 0.05f}}})), 0);
  EXPECT_EQ(pixel(1, 50, 50), 0x000000u);
  ASSERT_EQ(draw(1, fi({{0, 0, 4, {0.2f, 0.3f, 0.3f, 0.2f}, {0.0f, 0.0f, 0.1f, 0.1f}}})), 0);
  EXPECT_EQ(pixel(1, 250, 50), 0x000000u);

  ASSERT_EQ(run(st(1, 10, 0, {1, 0, 0, 0, 1, 0, 0, 0, 1})), 0);  // red, green, blue
  const struct {
    int16_t color;
    uint32_t want;
  } cases[] = {{0, 0xff0000}, {1, 0x00ff00}, {2, 0x0000ff}, {3, 0xff0000}, {-1, 0xff0000}, {999, 0xff0000}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.color);
    ASSERT_EQ(draw(1, dr({{10, 1, c.color, {0.0f, 0.1f}, {0.05f, 0.05f}}})), 0);
    EXPECT_EQ(pixel(1, 50, 50), c.want);
    ASSERT_EQ(draw(1, fi({{0, 0, c.color, {0.2f, 0.3f, 0.3f, 0.2f}, {0.0f, 0.0f, 0.1f, 0.1f}}})), 0);
    EXPECT_EQ(pixel(1, 250, 50), c.want);
  }
}

TEST_F(Path, FillsUseNonZeroWindingAndCloseImplicitly) {
  auto px = [](std::vector<float> v) {
    for (float &f : v) f /= 1000.0f;
    return v;
  };
  // A style-3 wide line first: the fills after it must show no outline.
  ASSERT_EQ(draw(1, dr({{10, 3, 0, {}, {}}})), 0);
  // Bow-tie: both lobes, not the triangles between them.
  const Group bowtie{0, 0, 0, px({0, 100, 100, 0}), px({0, 100, 0, 100})};
  // Pentagram: its centre is wound twice, so non-zero paints it.
  std::vector<float> sx_, sy_;
  for (int i = 0; i < 5; i++) {
    double a = M_PI / 2 + i * 4 * M_PI / 5;
    sx_.push_back(300 + 90 * cos(a));
    sy_.push_back(100 + 90 * sin(a));
  }
  const Group star{0, 0, 0, px(sx_), px(sy_)};
  // A triangle given by three points, closed by the fill.
  const Group tri{0, 0, 0, px({500, 600, 550}), px({0, 0, 100})};
  ASSERT_EQ(draw(1, fi({bowtie, star, tri})), 0);

  const struct {
    int x, y;
    bool painted;
  } probes[] = {
      {10, 50, true},   {90, 50, true},    {50, 10, false},  {50, 90, false},  // bow-tie
      {300, 100, true}, {300, 180, true},  {300, 195, false},                  // star
      {550, 30, true},  {510, 90, false},  {550, 103, false},                  // triangle
  };
  for (const auto &p : probes) {
    uint32_t v = pixel(1, p.x, p.y);
    EXPECT_TRUE(p.painted ? v == 0 : white(v)) << p.x << "," << p.y << " " << std::hex << v;
  }
}

TEST_F(Path, PlotCoordinatesScaleWithTheWindowWidth) {
  // From plot x 0 to 1 spans the content of either window.
  for (int k : {1, 2}) {
    SCOPED_TRACE(k);
    int w = k == 1 ? 1000 : 500;
    ASSERT_EQ(draw(k, dr({{4, 1, 0, {0.0f, 1.0f}, {0.05f, 0.05f}}})), 0);
    int row = k == 1 ? 50 : 25;
    EXPECT_TRUE(dark(pixel(k, 0, row)));
    EXPECT_TRUE(dark(pixel(k, w / 2, row)));
    EXPECT_TRUE(dark(pixel(k, w - 1, row)));
    EXPECT_TRUE(white(pixel(k, w / 2, row + 5)));
  }
}

TEST_F(Path, ShortGroupsDrawNothingAndWidthZeroIsOnePixel) {
  uint64_t before = picture_digest();
  ASSERT_EQ(draw(2, dr({{20, 1, 0, {0.5f}, {0.05f}}, {20, 1, 0, {}, {}}})), 0);
  ASSERT_EQ(draw(2, fi({{0, 0, 0, {0.5f}, {0.05f}}})), 0);
  EXPECT_EQ(picture_digest(), before);

  // Width 0 along device row 10 (user y 21, the pixel's centre line).
  ASSERT_EQ(draw(2, dr({{0, 1, 0, {0.0f, 1.0f}, {0.021f, 0.021f}}})), 0);
  EXPECT_TRUE(dark(pixel(2, 100, 10)));
  EXPECT_TRUE(white(pixel(2, 100, 9)));
  EXPECT_TRUE(white(pixel(2, 100, 11)));
}

}  // namespace
