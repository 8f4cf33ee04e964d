// Raster images: the record sequence (header, data, completion), the limits a
// header is refused for, and the pixels that reach the window, checked
// against the resampling rule worked out pixel by pixel with lookup().
//
// The headless display is 256 pixels wide, so one plot unit is 256 user
// units and halves of a user unit are exact in plot coordinates.  Window 0 is
// 384 pixels wide (context scale 1.5): a 2 x 2 user-unit image becomes a
// 3 x 3 bitmap on exactly 3 x 3 device pixels.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <random>
#include <vector>

#include "pv5.h"

namespace {

constexpr float kDisplay = 256;

typedef std::vector<unsigned char> Buf;

void put(Buf &b, size_t off, const void *p, size_t n) {
  if (b.size() < off + n) b.resize(off + n, 0);
  memcpy(b.data() + off, p, n);
}

struct Rect {
  float l, b, r, t;  // user units
};

// An "rh" record exactly as long as the dispatcher guarantees: the fixed part
// and the nctab entries.  ctab holds level, red, green, blue per entry.
Buf rh(int32_t iw, int32_t ih, Rect pix, Rect dat, const std::vector<float> &ctab,
       int32_t nctab = -1) {
  if (nctab < 0) nctab = (int32_t)(ctab.size() / 4);
  Buf b;
  int16_t hw[2] = {0, 0};
  put(b, 0, "rh\0\0", 4);
  put(b, 4, hw, 4);
  int32_t ints[3] = {0, iw, ih};
  put(b, 8, ints, 12);
  float f[8] = {pix.l / kDisplay, pix.b / kDisplay, pix.r / kDisplay, pix.t / kDisplay,
                dat.l / kDisplay, dat.b / kDisplay, dat.r / kDisplay, dat.t / kDisplay};
  put(b, 20, f, 32);
  put(b, 52, &nctab, 4);
  if (!ctab.empty()) put(b, 56, ctab.data(), 4 * ctab.size());
  return b;
}

Buf rd(int16_t wnum, const float *z, int16_t n) {
  Buf b;
  put(b, 0, "rd\0\0", 4);
  put(b, 4, &wnum, 2);
  put(b, 6, &n, 2);
  if (n > 0) put(b, 8, z, 4 * (size_t)n);
  return b;
}

// The records are heap blocks of their exact size: the sanitizer build
// catches any read past them.
int32_t header(const Buf &b) { return raster(0, true, b.data()); }
int32_t data(int16_t wnum, const std::vector<float> &z, size_t from = 0, int n = -1) {
  if (n < 0) n = (int)(z.size() - from);
  Buf b = rd(wnum, z.data() + from, (int16_t)n);
  return raster(wnum, false, b.data());
}

// 0xRRGGBB of device pixel (x, y) of window k, y counted up from the bottom.
uint32_t pixel(int k, int x, int y) {
  cairo_surface_t *s = cairo_get_target(gc[k]);
  cairo_surface_flush(s);
  int h = cairo_image_surface_get_height(s);
  const unsigned char *row =
      cairo_image_surface_get_data(s) + (size_t)(h - 1 - y) * cairo_image_surface_get_stride(s);
  uint32_t v;
  memcpy(&v, row + 4 * x, 4);
  return v & 0xffffff;
}

uint64_t digest(int k) {
  cairo_surface_t *s = cairo_get_target(gc[k]);
  cairo_surface_flush(s);
  const unsigned char *d = cairo_image_surface_get_data(s);
  size_t n = (size_t)cairo_image_surface_get_stride(s) * cairo_image_surface_get_height(s);
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; i++) h = (h ^ d[i]) * 1099511628211ull;
  return h;
}

uint32_t grey(int v) { return (uint32_t)(v << 16 | v << 8 | v); }

void paint(int k, double r, double g, double b) {
  cairo_set_source_rgb(gc[k], r, g, b);
  cairo_paint(gc[k]);
}

const std::vector<float> kBlackWhite30 = {0, 0, 0, 0, 30, 1, 1, 1};
// The 2 x 2 grid: bottom row 0, 10; top row 20, 30.
const std::vector<float> kGrid2 = {0, 10, 20, 30};
const Rect kSquare2 = {0, 0, 2, 2};

class Raster : public ::testing::Test {
 protected:
  void SetUp() override {
    static bool opened = false;
    if (!opened) {
      plat_options opt{};
      opt.backend = PLAT_HEADLESS;
      opt.display_w = (int)kDisplay;
      opt.display_h = (int)kDisplay;
      char err[256] = "";
      ASSERT_EQ(plat_open(&opt, err, sizeof err), 0) << err;
      opened = true;
    }
    window_table_init();
    ASSERT_EQ(create(0, true, 0, 0, 1.5f, 1.5f), 0);
    // A header with no colour table is refused and ends whatever raster an
    // earlier test left in progress.
    ASSERT_EQ(header(rh(2, 2, kSquare2, kSquare2, {})), 1);
  }
};

TEST_F(Raster, TwoByTwoGridGivesThreeByThreeBitmap) {
  paint(0, 1, 0, 0);
  ASSERT_EQ(header(rh(2, 2, kSquare2, kSquare2, kBlackWhite30)), 0);
  ASSERT_EQ(data(0, kGrid2), 0);
  // Values bottom up: 0 5 10 / 10 15 20 / 20 25 30 (the top row from the top
  // grid row alone); 255/30 per unit, halves to even.
  const int want[3][3] = {{0, 42, 85}, {85, 128, 170}, {170, 212, 255}};
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++) EXPECT_EQ(pixel(0, x, y), grey(want[y][x])) << x << "," << y;
  EXPECT_EQ(pixel(0, 3, 1), 0xff0000u);  // nothing outside the rectangle
  EXPECT_EQ(pixel(0, 1, 3), 0xff0000u);
}

TEST_F(Raster, DrawsOnceWhenTheLastSampleArrives) {
  std::vector<float> z(2500);
  for (int i = 0; i < 2500; i++) z[i] = (float)(i % 50 + i / 50) * 0.3f;
  uint64_t blank = digest(0);
  EXPECT_EQ(header(rh(50, 50, {10, 10, 60, 60}, {10, 10, 60, 60}, kBlackWhite30)), 0);
  EXPECT_EQ(data(0, z, 0, 1000), 0);
  EXPECT_EQ(data(0, z, 1000, 1000), 0);
  EXPECT_EQ(digest(0), blank);
  EXPECT_EQ(data(0, z, 2000, 500), 0);
  EXPECT_NE(digest(0), blank);
  // The raster is over: more data is refused and draws nothing.
  uint64_t drawn = digest(0);
  EXPECT_EQ(data(0, z, 0, 10), 1);
  EXPECT_EQ(digest(0), drawn);
}

TEST_F(Raster, DataWithoutAHeaderIsRefused) {
  uint64_t blank = digest(0);
  EXPECT_EQ(data(0, kGrid2), 1);
  EXPECT_EQ(data(0, kGrid2, 0, 0), 1);
  EXPECT_EQ(digest(0), blank);
}

TEST_F(Raster, SecondHeaderDiscardsTheFirst) {
  paint(0, 1, 0, 0);
  ASSERT_EQ(header(rh(2, 2, {0, 0, 2, 2}, {0, 0, 2, 2}, kBlackWhite30)), 0);
  ASSERT_EQ(data(0, kGrid2, 0, 3), 0);
  // The second raster needs its own four samples, wherever the first stood.
  ASSERT_EQ(header(rh(2, 2, {4, 0, 6, 2}, {4, 0, 6, 2}, kBlackWhite30)), 0);
  ASSERT_EQ(data(0, kGrid2, 0, 2), 0);
  EXPECT_EQ(pixel(0, 7, 1), 0xff0000u);
  ASSERT_EQ(data(0, kGrid2, 2, 2), 0);
  EXPECT_EQ(pixel(0, 7, 1), grey(128));
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++) EXPECT_EQ(pixel(0, x, y), 0xff0000u) << "first raster drawn";
}

TEST_F(Raster, RefusesHeadersOutsideTheLimits) {
  struct Case {
    const char *name;
    int32_t iw, ih;
    Rect pix;
    int32_t nctab;
  };
  const Rect ok = kSquare2;
  const Case cases[] = {
      {"iw 0", 0, 2, ok, 2},
      {"ih negative", 2, -1, ok, 2},
      {"grid beyond 32 bits", 65536, 65536, ok, 2},
      {"nctab 0", 2, 2, ok, 0},
      {"nctab 257", 2, 2, ok, 257},
      {"nctab negative", 2, 2, ok, -3},
      {"bitmap 1 wide", 2, 2, {0, 0, 0, 2}, 2},
      {"bitmap turned over", 2, 2, {2, 0, 0, 2}, 2},
      {"bitmap beyond the limit", 2, 2, {0, 0, 2, 20000}, 2},
      {"NaN rectangle", 2, 2, {0, 0, NAN, 2}, 2},
      {"infinite rectangle", 2, 2, {0, 0, INFINITY, 2}, 2},
  };
  paint(0, 1, 0, 0);
  uint64_t before = digest(0);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    // A raster in progress beforehand is dropped by the refused header too.
    ASSERT_EQ(header(rh(2, 2, ok, ok, kBlackWhite30)), 0);
    std::vector<float> ctab = kBlackWhite30;
    if (c.nctab >= 1 && c.nctab <= 256) ctab.resize(4 * (size_t)c.nctab, 0.0f);
    else ctab.clear();
    EXPECT_EQ(header(rh(c.iw, c.ih, c.pix, ok, ctab, c.nctab)), 1);
    EXPECT_EQ(data(0, kGrid2), 1);
    EXPECT_EQ(digest(0), before);
  }
}

TEST_F(Raster, OverrunningDataRecordCompletesTheGrid) {
  std::vector<float> z = kGrid2;
  z.push_back(1e9f);
  z.push_back(-1e9f);
  ASSERT_EQ(header(rh(2, 2, kSquare2, kSquare2, kBlackWhite30)), 0);
  EXPECT_EQ(data(0, z), 0);
  EXPECT_EQ(pixel(0, 1, 1), grey(128));  // the first four samples were used
  EXPECT_EQ(pixel(0, 2, 2), grey(255));
  EXPECT_EQ(data(0, kGrid2), 1);
}

TEST_F(Raster, NegativeCountIsRefusedAndChangesNothing) {
  paint(0, 1, 0, 0);
  ASSERT_EQ(header(rh(2, 2, kSquare2, kSquare2, kBlackWhite30)), 0);
  ASSERT_EQ(data(0, kGrid2, 0, 2), 0);
  Buf neg = rd(0, nullptr, -5);
  EXPECT_EQ(raster(0, false, neg.data()), 1);
  EXPECT_EQ(pixel(0, 1, 1), 0xff0000u);
  EXPECT_EQ(data(0, kGrid2, 2, 2), 0);  // the raster went on as if it had not come
  EXPECT_EQ(pixel(0, 1, 1), grey(128));
}

TEST_F(Raster, CompletingRecordNamesTheWindow) {
  ASSERT_EQ(create(2, true, 0, 0, 1.5f, 1.5f), 0);
  paint(0, 1, 0, 0);
  paint(2, 1, 0, 0);
  uint64_t w0 = digest(0), w2 = digest(2);
  // A missing or out-of-range window: nothing drawn, the raster is over.
  for (int16_t missing : {3, 7, -1}) {
    SCOPED_TRACE(missing);
    ASSERT_EQ(header(rh(2, 2, kSquare2, kSquare2, kBlackWhite30)), 0);
    EXPECT_EQ(data(0, kGrid2, 0, 2), 0);
    EXPECT_EQ(data(missing, kGrid2, 2, 2), 0);
    EXPECT_EQ(data(0, kGrid2, 2, 2), 1);
    EXPECT_EQ(digest(0), w0);
    EXPECT_EQ(digest(2), w2);
  }
  // Records for different windows: the last one decides.
  ASSERT_EQ(header(rh(2, 2, kSquare2, kSquare2, kBlackWhite30)), 0);
  EXPECT_EQ(data(0, kGrid2, 0, 2), 0);
  EXPECT_EQ(data(2, kGrid2, 2, 2), 0);
  EXPECT_EQ(digest(0), w0);
  EXPECT_EQ(pixel(2, 1, 1), grey(128));
}

TEST_F(Raster, UnpaintedPixelsLetThePlotShowThrough) {
  paint(0, 1, 0, 0);
  // The grid starts 1.5 user units up: bitmap row 0 lies more than one
  // spacing below it (unpainted), row 1 half a spacing below (extrapolated
  // from the first two grid rows: -10, -5, 0), row 2 half way up (10 15 20).
  ASSERT_EQ(header(rh(2, 2, kSquare2, {0, 1.5f, 2, 2.5f}, kBlackWhite30)), 0);
  ASSERT_EQ(data(0, kGrid2), 0);
  for (int x = 0; x < 3; x++) EXPECT_EQ(pixel(0, x, 0), 0xff0000u);
  // -85 and -42.5 -> -42 keep their low eight bits.
  EXPECT_EQ(pixel(0, 0, 1), grey(171));
  EXPECT_EQ(pixel(0, 1, 1), grey(214));
  EXPECT_EQ(pixel(0, 2, 1), grey(0));
  EXPECT_EQ(pixel(0, 0, 2), grey(85));
  EXPECT_EQ(pixel(0, 1, 2), grey(128));
  EXPECT_EQ(pixel(0, 2, 2), grey(170));

  // A grid of one row paints nothing at all.
  uint64_t before = digest(0);
  ASSERT_EQ(header(rh(2, 1, {4, 0, 6, 2}, {4, 0, 6, 2}, kBlackWhite30)), 0);
  ASSERT_EQ(data(0, {5, 25}), 0);
  EXPECT_EQ(digest(0), before);
}

// The resampling rule worked out pixel by pixel, for comparison: the colour
// of bitmap pixel (ic, ir) (ir from the bottom), or -1 when it is unpainted.
// Every product and sum is rounded to a float on its own, as the rule has it:
// a compiler that fuses a multiply and an add into one rounding (GCC does by
// default for C++ wherever the target has FMA) changes pixels, and this
// reference must not follow it.
float mul(float a, float b) {
  volatile float r = a * b;
  return r;
}
float add(float a, float b) {
  volatile float r = a + b;
  return r;
}

struct Geometry {
  int32_t iw, ih;
  Rect pix, dat;  // user units
};

// lookup's colour for z, one rounding per operation.
int64_t reference_colour(float z) {
  int32_t i = 1;
  while (i < ntab && !(ct[i].v >= z)) i++;
  int32_t j = i - 1;
  if (i >= ntab) i = j = ntab - 1;
  float diff = ct[i].v - ct[j].v, f = z - ct[j].v;
  if (diff > 0) f = f / diff;
  auto channel = [&](float lo, float hi) -> int64_t {
    return lrintf(mul(add(lo, mul(hi - lo, f)), 255.0f)) & 0xff;
  };
  return channel(ct[j].r, ct[i].r) << 16 | channel(ct[j].g, ct[i].g) << 8 |
         channel(ct[j].b, ct[i].b);
}

int64_t reference_pixel(const Geometry &g, const std::vector<float> &z, int32_t ic, int32_t ir) {
  int32_t bw = (int32_t)lrintf(g.pix.r - g.pix.l + 1), bh = (int32_t)lrintf(g.pix.t - g.pix.b + 1);
  float ih_p = (g.pix.t - g.pix.b) / (float)(bh - 1), iw_p = (g.pix.r - g.pix.l) / (float)(bw - 1);
  float py = add(mul((float)ir, ih_p), g.pix.b);
  float y = (py - g.dat.b) / (g.dat.t - g.dat.b) * (float)(g.ih - 1);
  if (g.ih < 2 || y <= -1 || y >= g.ih) return -1;
  int32_t r = (int32_t)y;
  float f = y - (float)r;
  float px = add(mul((float)ic, iw_p), g.pix.l);
  float x = (px - g.dat.l) / (g.dat.r - g.dat.l) * (float)(g.iw - 1);
  if (x <= -1 || x >= g.iw) return -1;
  int32_t ix = (int32_t)x;
  float gx = x - (float)ix;
  auto row = [&](int32_t i) {
    if (r == g.ih - 1) return z[(size_t)r * g.iw + i];
    return add(mul(1 - f, z[(size_t)r * g.iw + i]), mul(z[(size_t)(r + 1) * g.iw + i], f));
  };
  float v = ix < g.iw - 1 ? add(mul(1 - gx, row(ix)), mul(row(ix + 1), gx)) : row(g.iw - 1);
  return reference_colour(v);
}

TEST_F(Raster, EveryPixelFollowsTheResamplingRule) {
  // Window 1 is 257 pixels wide (scale 257/256): a 256-unit image is a
  // 257-pixel bitmap on exactly 257 device pixels.
  ASSERT_EQ(create(1, true, 0, 0, 257 / kDisplay, 257 / kDisplay), 0);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> val(-5, 35);
  const Geometry geos[] = {
      {7, 5, {0, 0, 256, 256}, {20.5f, -10, 230, 200}},   // unpainted on every side
      {40, 33, {0, 0, 256, 256}, {0, 0, 256, 256}},       // shared edges
      {3, 9, {0, 0, 256, 256}, {240, 250, 10, 3}},        // the grid mirrored both ways
  };
  const std::vector<float> tables[] = {
      {-5, 0, 0, 1, 0, 0, 0.5f, 1, 12, 1, 1, 0, 30, 1, 0, 0},  // ascending: binary search
      {0, 0, 0, 0, 20, 1, 0, 0, 10, 0, 1, 0, 30, 0, 0, 1},     // not ascending: the walk
  };
  for (const Geometry &g : geos) {
    for (const std::vector<float> &t : tables) {
      paint(1, 0, 0, 1);
      std::vector<float> z((size_t)g.iw * g.ih);
      for (float &v : z) v = val(rng);
      ASSERT_EQ(header(rh(g.iw, g.ih, g.pix, g.dat, t)), 0);
      ASSERT_EQ(data(1, z), 0);
      int bad = 0;
      for (int32_t ir = 0; ir < 257 && bad < 5; ir++)
        for (int32_t ic = 0; ic < 257 && bad < 5; ic++) {
          int64_t want = reference_pixel(g, z, ic, ir);
          uint32_t got = pixel(1, ic, ir);
          if (want < 0) want = 0x0000ff;  // the blue beneath
          if (got != (uint32_t)want) {
            bad++;
            ADD_FAILURE() << "iw " << g.iw << " pixel " << ic << "," << ir << ": got " << std::hex
                          << got << " want " << want;
          }
        }
    }
  }
}

}  // namespace
