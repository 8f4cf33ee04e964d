// Shared by the server-logic unit tests: a headless display 1000 x 800, a
// fresh window table and drawing state for every test, records built field by
// field, and pixels read back from a window's backing store.
#ifndef PV5_TESTS_LOGIC_FIXTURE_H
#define PV5_TESTS_LOGIC_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "pv5.h"
#include "server.h"

namespace pv5test {

constexpr int kDisplayW = 1000, kDisplayH = 800;

inline void open_display() {
  static bool opened = false;
  if (opened) return;
  plat_options opt{};
  opt.backend = PLAT_HEADLESS;
  opt.display_w = kDisplayW;
  opt.display_h = kDisplayH;
  char err[256] = "";
  ASSERT_EQ(plat_open(&opt, err, sizeof err), 0) << err;
  opened = true;
}

// Start-up state: every slot empty but the hidden window 0, line state zero,
// no colour table.
inline void reset_server() {
  open_display();
  window_table_init();
  free(tcolor);
  tcolor = nullptr;
  ncolor = 0;
  linestyle = linewidth = linecolor = 0;
  dt = dtsys = tout = 0;
  create(0, false, 0.0f, 0.0f, 0.25f, 0.25f);
}

// A record, field by field, in native byte order.
struct Rec {
  std::vector<unsigned char> b;
  Rec(const char *op, int16_t wnum = 0, int16_t npts = 0) {
    char o[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && op[i]; i++) o[i] = op[i];
    raw(o, 4);
    s16(wnum).s16(npts);
  }
  Rec &raw(const void *p, size_t n) {
    b.insert(b.end(), (const unsigned char *)p, (const unsigned char *)p + n);
    return *this;
  }
  Rec &s16(int16_t v) { return raw(&v, 2); }
  Rec &s32(int32_t v) { return raw(&v, 4); }
  Rec &f32(float v) { return raw(&v, 4); }
  Rec &floats(const std::vector<float> &v) {
    for (float f : v) f32(f);
    return *this;
  }
  Rec &pad_to(size_t n) {
    if (b.size() < n) b.resize(n, 0);
    return *this;
  }
  size_t size() const { return b.size(); }
};

// One polyline or polygon of a "dr" or "fi" record.
struct Group {
  int16_t width, style, color;
  std::vector<float> x, y;
};

inline Rec dr(const std::vector<Group> &gs) {
  Rec r("dr", 0, (int16_t)gs.size());
  for (const Group &g : gs)
    r.s16((int16_t)g.x.size()).s16(g.width).s16(g.style).s16(g.color).floats(g.x).floats(g.y);
  return r;
}

inline Rec fi(const std::vector<Group> &gs) {
  Rec r("fi", 0, (int16_t)gs.size());
  for (const Group &g : gs) r.s16(g.color).s16((int16_t)g.x.size()).floats(g.x).floats(g.y);
  return r;
}

inline Rec st(int16_t lstyle, int16_t lwidth, int16_t lfcolor, const std::vector<float> &rgb_planar) {
  Rec r("st");
  r.s16(lstyle).s16(lwidth).s16(lfcolor).s16((int16_t)(rgb_planar.size() / 3)).floats(rgb_planar);
  return r.pad_to(sizeof(pv5st));
}

inline Rec cr(int16_t wnum, float top, float left, float right, float bottom) {
  return Rec("cr", wnum).f32(top).f32(left).f32(right).f32(bottom);
}

// Runs a record in a heap block of exactly size bytes (the record's own size
// by default), so that the sanitizer build catches any byte read or written
// past it.  out receives the block afterwards.
inline int32_t run(const Rec &r, size_t size = 0, std::vector<unsigned char> *out = nullptr) {
  if (size == 0) size = r.size();
  unsigned char *buf = static_cast<unsigned char *>(malloc(size));
  memset(buf, 0, size);
  memcpy(buf, r.b.data(), r.size() < size ? r.size() : size);
  int32_t reply = dispatch(buf, size);
  if (out) out->assign(buf, buf + size);
  free(buf);
  return reply;
}

inline float slot(const std::vector<unsigned char> &b, size_t off) {
  float v;
  memcpy(&v, b.data() + off, 4);
  return v;
}

// 0xRRGGBB of device pixel (x, y) of window k's backing store, y counted up
// from the content's bottom row.
inline uint32_t pixel(int k, int x, int y) {
  cairo_surface_t *s = cairo_get_target(gc[k]);
  cairo_surface_flush(s);
  int h = cairo_image_surface_get_height(s);
  const unsigned char *row = cairo_image_surface_get_data(s) + (size_t)(h - 1 - y) * cairo_image_surface_get_stride(s);
  uint32_t v;
  memcpy(&v, row + 4 * x, 4);
  return v & 0xffffff;
}

// A digest of every occupied window's pixels, to show nothing was drawn.
inline uint64_t picture_digest() {
  uint64_t h = 1469598103934665603ull;
  for (int k = 0; k < PV5_NWIN; k++) {
    if (!EventWindow[k]) continue;
    cairo_surface_t *s = cairo_get_target(gc[k]);
    cairo_surface_flush(s);
    const unsigned char *d = cairo_image_surface_get_data(s);
    size_t n = (size_t)cairo_image_surface_get_stride(s) * cairo_image_surface_get_height(s);
    for (size_t i = 0; i < n; i++) h = (h ^ d[i]) * 1099511628211ull;
  }
  return h;
}

class Logic : public ::testing::Test {
 protected:
  void SetUp() override { reset_server(); }
};

}  // namespace pv5test

#endif  // PV5_TESTS_LOGIC_FIXTURE_H
