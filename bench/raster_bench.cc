// Raster images: a 1000 x 1000 grid drawn into an 800 x 800 pixel rectangle.
//
//   fill      filling the 800 x 800 bitmap with one colour: the baseline
//   pass      the completing record's work in-process (resample, colour and
//             draw) less the draw alone, i.e. the resampling-and-colouring pass
//   draw      drawing the finished bitmap into the window (nearest filter)
//   trip      the whole "rh" + "rd" round trip through the client library to
//             a headless pv5 (about 62 data records of 64 KiB)
//
// Each figure is the median of several runs, in Mpixel/s of bitmap pixels,
// and as a ratio to the fill measured in the same run.  Smooth data is what
// images usually hold, noise what they hold at worst.  The colour bracket is
// guessed from evenly spaced levels, found by binary search when the levels
// ascend unevenly, and by the linear walk when they do not ascend.
//
//   raster_bench [PV5_BINARY]
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <random>
#include <vector>

#include "raster.h"
#include "pv5.h"
#include "pv5client.h"

namespace {

constexpr int kGrid = 1000, kSide = 800, kRuns = 15;
constexpr double kPixels = double(kSide) * kSide;
constexpr int kDisplay = 1000;

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

template <typename F>
double median_seconds(F f) {
  std::vector<double> t;
  for (int i = 0; i < kRuns; i++) {
    double a = now();
    f();
    t.push_back(now() - a);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

std::vector<float> smooth_grid() {
  std::vector<float> z(size_t(kGrid) * kGrid);
  for (int r = 0; r < kGrid; r++)
    for (int c = 0; c < kGrid; c++)
      z[size_t(r) * kGrid + c] = 128 + 100 * sinf(c / 37.0f) * cosf(r / 53.0f) + 20 * sinf((c + r) / 11.0f);
  return z;
}

std::vector<float> noise_grid() {
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> d(-10, 265);
  std::vector<float> z(size_t(kGrid) * kGrid);
  for (float &v : z) v = d(rng);
  return z;
}

// 256 levels over 0..255 through a rainbow: evenly spaced, spaced unevenly
// (closer at the bottom), or evenly with the two top levels swapped, which no
// longer ascends.
enum Levels { kEven, kUneven, kUnsorted };
std::vector<float> table(Levels kind) {
  std::vector<float> t;
  for (int k = 0; k < 256; k++) {
    float s = k / 255.0f;
    float v = kind == kUneven ? 255 * s * s : float(k);
    t.insert(t.end(), {v, s, 1 - fabsf(2 * s - 1), 1 - s});
  }
  if (kind == kUnsorted) std::swap(t[4 * 254], t[4 * 255]);
  return t;
}

// The records, built as a client would.
std::vector<unsigned char> rh_record(const std::vector<float> &tab) {
  std::vector<unsigned char> b(sizeof(pv5rh), 0);
  pv5rh *h = reinterpret_cast<pv5rh *>(b.data());
  memcpy(h->hdr.op, "rh", 2);
  h->iw = h->ih = kGrid;
  // 799 user units on a display 1000 wide: round(799 + 1) = 800 pixels.
  h->pxmn = h->pymn = h->dxmn = h->dymn = 0.1f;
  h->pxmx = h->pymx = h->dxmx = h->dymx = 0.1f + 799.0f / kDisplay;
  h->nctab = int32_t(tab.size() / 4);
  memcpy(h->data, tab.data(), tab.size() * sizeof(float));
  return b;
}

std::vector<unsigned char> rd_record(const float *z, int n) {
  std::vector<unsigned char> b(PV5_RD_SIZE(n));
  pv5rd r{};
  memcpy(r.hdr.op, "rd", 2);
  r.hdr.npts = int16_t(n);
  memcpy(b.data(), &r, sizeof r);
  memcpy(b.data() + sizeof r, z, size_t(n) * sizeof(float));
  return b;
}

// Header and all but the last sample, untimed; then the completing record,
// timed.
double completion_seconds(const std::vector<float> &z, const std::vector<float> &tab) {
  std::vector<unsigned char> hdr = rh_record(tab);
  std::vector<std::vector<unsigned char>> recs;
  const int per = 16000;
  size_t total = z.size() - 1;
  for (size_t done = 0; done < total; done += per)
    recs.push_back(rd_record(z.data() + done, int(std::min<size_t>(per, total - done))));
  std::vector<unsigned char> last = rd_record(z.data() + total, 1);
  std::vector<double> t;
  for (int i = 0; i < kRuns; i++) {
    raster(0, true, hdr.data());
    for (auto &r : recs) raster(0, false, r.data());
    double a = now();
    if (raster(0, false, last.data()) != 0) fprintf(stderr, "raster_bench: record refused\n");
    t.push_back(now() - a);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// raster's drawing step, on an opaque bitmap of the same size.
double draw_seconds() {
  std::vector<uint32_t> bmap(size_t(kSide) * kSide, 0xff336699u);
  float lo = 0.1f * kDisplay, hi = (0.1f + 799.0f / kDisplay) * kDisplay;
  return median_seconds([&] { raster_draw(gc[0], bmap.data(), kSide, kSide, lo, lo, hi, hi); });
}

double fill_seconds() {
  std::vector<uint32_t> bmap(size_t(kSide) * kSide);
  volatile uint32_t colour = 0xff336699u;
  return median_seconds([&] {
    std::fill(bmap.begin(), bmap.end(), uint32_t(colour));
    asm volatile("" : : "r"(bmap.data()) : "memory");
  });
}

void line(const char *what, double secs, double fill) {
  printf("  %-36s %8.2f ms %9.1f Mpixel/s   %6.1f x the fill time\n", what, secs * 1e3,
         kPixels / secs / 1e6, secs / fill);
}

int trip(const char *server, const std::vector<float> &z, const std::vector<float> &tab, double fill) {
  pv5c *h = pv5c_open();
  pv5c_options o;
  pv5c_options_init(&o);
  o.server = server;
  o.headless = 1;
  o.display_w = kDisplay;
  o.display_h = kDisplay;
  if (pv5c_start(h, &o) != PV5C_OK) {
    fprintf(stderr, "raster_bench: %s\n", pv5c_error(h));
    pv5c_close(h);
    return 1;
  }
  int32_t reply = 0;
  pv5c_cr(h, 0, 0, 0, 1, 1, &reply);
  float pix[4] = {0.1f, 0.1f, 0.1f + 799.0f / kDisplay, 0.1f + 799.0f / kDisplay};
  int rc = PV5C_OK;
  double s = median_seconds([&] {
    int r = pv5c_grid(h, 0, 0, kGrid, kGrid, pix, pix, int(tab.size() / 4), tab.data(), z.data(), &reply);
    if (r != PV5C_OK || reply != 0) rc = r ? r : -100;
  });
  if (rc != PV5C_OK) fprintf(stderr, "raster_bench: grid failed: %s\n", pv5c_error(h));
  line("trip rh + rd (smooth, even levels)", s, fill);
  printf("  %-36s %8.1f Msample/s through the buffer\n", "", double(kGrid) * kGrid / s / 1e6);
  pv5c_stop(h, nullptr);
  pv5c_close(h);
  return rc != PV5C_OK;
}

}  // namespace

int main(int argc, char **argv) {
  plat_options opt{};
  opt.backend = PLAT_HEADLESS;
  opt.display_w = opt.display_h = kDisplay;
  char err[256] = "";
  if (plat_open(&opt, err, sizeof err) != 0) {
    fprintf(stderr, "raster_bench: %s\n", err);
    return 1;
  }
  window_table_init();
  create(0, true, 0, 0, 1, 1);

  std::vector<float> smooth = smooth_grid(), noise = noise_grid();
  std::vector<float> even = table(kEven), uneven = table(kUneven), unsorted = table(kUnsorted);
  double fill = fill_seconds();
  double draw = draw_seconds();
  printf("raster: %d x %d grid into %d x %d pixels, median of %d runs\n", kGrid, kGrid, kSide, kSide, kRuns);
  line("fill (baseline)", fill, fill);
  line("draw (cairo, nearest)", draw, fill);
  struct Case {
    const char *name;
    const std::vector<float> &z, &tab;
  } cases[] = {
      {"pass smooth, even levels (guess)", smooth, even},
      {"pass noise, even levels (guess)", noise, even},
      {"pass smooth, uneven levels (binary)", smooth, uneven},
      {"pass noise, uneven levels (binary)", noise, uneven},
      {"pass smooth, unsorted levels (walk)", smooth, unsorted},
  };
  for (const Case &c : cases) line(c.name, completion_seconds(c.z, c.tab) - draw, fill);

  int status = 0;
  const char *server = argc > 1 ? argv[1] : nullptr;
#ifdef PV5_BIN
  if (!server) server = PV5_BIN;
#endif
  if (server) status = trip(server, smooth, even, fill);
  plat_close();
  return status;
}
