// Raster images.  A grid of samples is far larger than one record, so it
// arrives in pieces: an "rh" header (grid size, where the grid lies, where the
// image goes, the colour table), then "rd" records with the samples in order.
// The state of the one raster in progress lives here between records.  The
// record that brings the last sample resamples the grid bilinearly onto a
// bitmap of one pixel per user unit, colours it through the raster colour
// table and draws it into the window that record names.
//
// Resampling is separable and done in one pass: for each bitmap row, one row
// of iw values is interpolated between two grid rows, then every pixel
// interpolates once along it.  Where a column falls on the grid depends only
// on the column, so that is worked out once per image, not once per pixel.
// The arithmetic is in 32-bit floats, step for step as the protocol defines
// it, so every pixel has the value lookup() would give it.
//
// Limits the records cannot express are refused with 1: a bitmap side above
// kMaxSide (a careless pixel rectangle must not take the machine's memory), a
// grid larger than 32 bits can count, a colour table outside 1..256.
// Unpainted pixels stay transparent so the plot beneath shows through.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "lookup.h"
#include "pv5.h"
#include "raster.h"

static const int32_t kMaxSide = 16384;

static uint8_t inactive = 1;
static int32_t iw, ih;      // samples per grid row, grid rows
static int32_t ndat, nrem;  // samples in the grid, samples still to come
static float *zdat;         // the sample store, row 0 (the bottom) first
static uint32_t *bmap;      // the bitmap, reserved by the header, top row first
static float xpmn, ypmn, xpmx, ypmx;  // where the image goes, user units
static float xdmn, ydmn, xdmx, ydmx;  // where the grid lies, user units
static int32_t bw, bh;                // bitmap size in pixels

static_assert(sizeof(tab) == 16, "a colour table entry is four floats on the wire");

static void release() {
  free(zdat);
  free(bmap);
  zdat = nullptr;
  bmap = nullptr;
  inactive = 1;
}

static int32_t geti(const unsigned char *p, size_t off) {
  int32_t v;
  memcpy(&v, p + off, sizeof v);
  return v;
}

static float getf(const unsigned char *p, size_t off) {
  float v;
  memcpy(&v, p + off, sizeof v);
  return v;
}

// The bitmap side for an extent in user units, round(hi - lo + 1), or 0 when
// it is below 2 (the steps divide by side - 1), above the limit, or NaN.
static int32_t side(float lo, float hi) {
  float n = nearbyintf(hi - lo + 1.0f);
  if (!(n >= 2.0f && n <= float(kMaxSide))) return 0;
  return int32_t(n);
}

static int32_t header(const unsigned char *p) {
  release();  // a raster still in progress is dropped without drawing
  int32_t nctab = geti(p, offsetof(pv5rh, nctab));
  if (nctab < 1 || nctab > PV5_RH_MAXCOLORS) return 1;
  ntab = nctab;
  memcpy(ct, p + offsetof(pv5rh, data), size_t(nctab) * sizeof(tab));

  iw = geti(p, offsetof(pv5rh, iw));
  ih = geti(p, offsetof(pv5rh, ih));
  if (iw < 1 || ih < 1 || int64_t(iw) * ih > INT32_MAX) return 1;
  ndat = iw * ih;
  xpmn = getf(p, offsetof(pv5rh, pxmn)) * sx;
  ypmn = getf(p, offsetof(pv5rh, pymn)) * sy;
  xpmx = getf(p, offsetof(pv5rh, pxmx)) * sx;
  ypmx = getf(p, offsetof(pv5rh, pymx)) * sy;
  xdmn = getf(p, offsetof(pv5rh, dxmn)) * sx;
  ydmn = getf(p, offsetof(pv5rh, dymn)) * sy;
  xdmx = getf(p, offsetof(pv5rh, dxmx)) * sx;
  ydmx = getf(p, offsetof(pv5rh, dymx)) * sy;
  bw = side(xpmn, xpmx);
  bh = side(ypmn, ypmx);
  if (bw == 0 || bh == 0) return 1;

  // calloc: pixels the image never paints must read as transparent.
  zdat = (float *)malloc(size_t(ndat) * sizeof(float));
  bmap = (uint32_t *)calloc(size_t(bw) * size_t(bh), sizeof(uint32_t));
  if (!zdat || !bmap) {
    release();
    return 1;
  }
  inactive = 0;
  nrem = ndat;
  return 0;
}

// Fills bmap.  Answers false when the scratch storage cannot be had.
static bool build() {
  // fint has one padding zero after the row so the last column can share the
  // two-point formula with weights 1 and 0; cix/cw0/cw1 are per column.
  float *fint = (float *)malloc((size_t(iw) + 1) * sizeof(float));
  float *zrow = (float *)malloc(size_t(bw) * sizeof(float));
  int32_t *cix = (int32_t *)malloc(size_t(bw) * sizeof(int32_t));
  float *cw0 = (float *)malloc(size_t(bw) * sizeof(float));
  float *cw1 = (float *)malloc(size_t(bw) * sizeof(float));
  bool ok = fint && zrow && cix && cw0 && cw1;
  if (ok) {
    fint[iw] = 0.0f;
    float ih_p = (ypmx - ypmn) / float(bh - 1);
    float iw_p = (xpmx - xpmn) / float(bw - 1);

    // Columns.  x is monotone in ic (every step rounds monotonically), so the
    // painted columns are one run c0 .. c1-1.
    int32_t c0 = bw, c1 = 0;
    for (int32_t ic = 0; ic < bw; ic++) {
      float px = float(ic) * iw_p + xpmn;
      float x = (px - xdmn) / (xdmx - xdmn) * float(iw - 1);
      // Truncation toward zero: x in (-1, 0) still lands on column 0 and
      // extrapolates; NaN and infinities are unpainted.
      if (!(x > -1.0f && x < 2147483648.0f)) continue;
      int32_t ix = int32_t(x);
      if (ix > iw - 1) continue;
      float g = ix == iw - 1 ? 0.0f : x - float(ix);  // last column: its sample alone
      cix[ic] = ix;
      cw0[ic] = 1.0f - g;
      cw1[ic] = g;
      if (c0 == bw) c0 = ic;
      c1 = ic + 1;
    }

    for (int32_t ir = 0; ir < bh && c0 < c1 && ih >= 2; ir++) {
      float py = float(ir) * ih_p + ypmn;
      float y = (py - ydmn) / (ydmx - ydmn) * float(ih - 1);
      if (!(y > -1.0f && y < 2147483648.0f)) continue;
      int32_t r = int32_t(y);
      if (r > ih - 1) continue;
      const float *z0 = zdat + size_t(r) * size_t(iw);
      if (r == ih - 1) {
        // At or above the top grid row but within one spacing: the top row
        // alone, as columns on the right take the last sample of their row.
        memcpy(fint, z0, size_t(iw) * sizeof(float));
      } else {
        float f = y - float(r), f1 = 1.0f - f;
        const float *z1 = z0 + iw;
        for (int32_t i = 0; i < iw; i++) fint[i] = f1 * z0[i] + z1[i] * f;
      }
      for (int32_t ic = c0; ic < c1; ic++) {
        int32_t ix = cix[ic];
        zrow[ic - c0] = cw0[ic] * fint[ix] + fint[ix + 1] * cw1[ic];
      }
      // Bitmap row ir counts from the bottom; memory keeps the top row first.
      lookup_row(zrow, c1 - c0, bmap + size_t(bh - 1 - ir) * size_t(bw) + c0);
    }
  }
  free(fint);
  free(zrow);
  free(cix);
  free(cw0);
  free(cw1);
  return ok;
}

void raster_draw(cairo_t *ctx, uint32_t *pixels, int32_t bw, int32_t bh, float x0, float y0, float x1,
                 float y1) {
  cairo_surface_t *img = cairo_image_surface_create_for_data(
      (unsigned char *)pixels, CAIRO_FORMAT_ARGB32, bw, bh, bw * 4);
  cairo_save(ctx);
  cairo_translate(ctx, x0, y1);
  cairo_scale(ctx, double(x1 - x0) / bw, -double(y1 - y0) / bh);
  cairo_set_source_surface(ctx, img, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(ctx), CAIRO_FILTER_NEAREST);
  cairo_rectangle(ctx, 0, 0, bw, bh);
  cairo_fill(ctx);
  cairo_restore(ctx);
  // Detach anything cairo might still hold on the pixels before they are freed.
  cairo_surface_finish(img);
  cairo_surface_destroy(img);
}

static int32_t data(int32_t wix, const unsigned char *p) {
  if (inactive) return 1;
  int16_t npts;
  memcpy(&npts, p + offsetof(pv5hdr, npts), sizeof npts);
  if (npts < 0) return 1;
  // Samples beyond the grid are dropped; the grid is then complete.
  int32_t n = npts < nrem ? npts : nrem;
  memcpy(zdat + (ndat - nrem), p + sizeof(pv5hdr), size_t(n) * sizeof(float));
  nrem -= n;
  if (nrem > 0) return 0;
  // Only the completing record's window counts; a missing one gets nothing.
  if (window_valid(wix) && build()) raster_draw(gc[wix], bmap, bw, bh, xpmn, ypmn, xpmx, ypmx);
  release();
  return 0;
}

int32_t raster(int32_t wix, bool hdr, const unsigned char *p) {
  return hdr ? header(p) : data(wix, p);
}
