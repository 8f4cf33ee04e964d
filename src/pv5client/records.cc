// One helper per opcode: each checks its counts and that the whole record
// fits the buffer before writing a byte, lays the record out at offset 0 as
// the wire format says, and runs the handshake.
#include <limits.h>
#include <string.h>

#include "client_internal.h"

namespace {

char *buf(pv5c *h) { return static_cast<char *>(h->buf); }

void put_hdr(pv5c *h, const char *op, int wnum, int npts) {
  pv5hdr hd;
  memset(&hd, 0, sizeof hd);
  hd.op[0] = op[0];
  hd.op[1] = op[1];
  hd.wnum = int16_t(wnum);
  hd.npts = int16_t(npts);
  memcpy(buf(h), &hd, sizeof hd);
}

void put(pv5c *h, size_t off, const void *p, size_t n) {
  if (n) memcpy(buf(h) + off, p, n);
}

float slot_f(pv5c *h, size_t off) {
  float v;
  memcpy(&v, buf(h) + off, sizeof v);
  return v;
}

bool fits16(int v) { return v >= INT16_MIN && v <= INT16_MAX; }

// A header-only record: "de", "er", "fl", "gd", "gr", "ru".
int bare(pv5c *h, const char *op, int wnum, int32_t *reply) {
  int rc = pv5c_check_room(h, sizeof(pv5hdr));
  if (rc != PV5C_OK) return rc;
  if (!fits16(wnum)) return pv5c_fail(h, PV5C_EARG, "window number %d does not fit 16 bits", wnum);
  put_hdr(h, op, wnum, 0);
  return pv5c_command(h, sizeof(pv5hdr), reply);
}

int cursor_send(pv5c *h, const char *op, int opts, float ax, float ay) {
  int rc = pv5c_check_room(h, sizeof(pv5cc));
  if (rc != PV5C_OK) return rc;
  put_hdr(h, op, 0, 0);
  int32_t o = opts;
  float pos[2] = {ax, ay};
  put(h, offsetof(pv5cc, opts), &o, sizeof o);
  put(h, offsetof(pv5cc, pos), pos, sizeof pos);
  return pv5c_send(h);
}

// Reads the x and y slots once the reply word says the cursor answered.
int cursor_wait(pv5c *h, int timeout_ms, float *x, float *y, int32_t *reply) {
  int32_t r;
  int rc = pv5c_wait(h, timeout_ms, &r);
  if (rc != PV5C_OK) return rc;
  if (reply) *reply = r;
  if (x) *x = slot_f(h, PV5_SLOT1_OFF);
  if (y) *y = slot_f(h, PV5_SLOT2_OFF);
  return PV5C_OK;
}

}  // namespace

size_t pv5c_dr_size(int ngroups, const pv5c_line *lines) {
  if (ngroups < 0 || ngroups > INT16_MAX || (ngroups > 0 && !lines)) return 0;
  size_t n = sizeof(pv5hdr);
  for (int g = 0; g < ngroups; g++) {
    if (lines[g].npts < 0 || lines[g].npts > INT16_MAX) return 0;
    n += PV5_DRG_SIZE(lines[g].npts);
  }
  return n;
}

size_t pv5c_fi_size(int ngroups, const pv5c_poly *polys) {
  if (ngroups < 0 || ngroups > INT16_MAX || (ngroups > 0 && !polys)) return 0;
  size_t n = sizeof(pv5hdr);
  for (int g = 0; g < ngroups; g++) {
    if (polys[g].npts < 0 || polys[g].npts > INT16_MAX) return 0;
    n += PV5_FIG_SIZE(polys[g].npts);
  }
  return n;
}

int pv5c_cr(pv5c *h, int wnum, float top, float left, float right, float bottom, int32_t *reply) {
  int rc = pv5c_check_room(h, sizeof(pv5cr));
  if (rc != PV5C_OK) return rc;
  if (!fits16(wnum)) return pv5c_fail(h, PV5C_EARG, "window number %d does not fit 16 bits", wnum);
  put_hdr(h, "cr", wnum, 0);
  float c[4] = {top, left, right, bottom};
  put(h, offsetof(pv5cr, coords), c, sizeof c);
  return pv5c_command(h, sizeof(pv5cr), reply);
}

int pv5c_de(pv5c *h, int wnum, int32_t *reply) { return bare(h, "de", wnum, reply); }
int pv5c_er(pv5c *h, int wnum, int32_t *reply) { return bare(h, "er", wnum, reply); }
int pv5c_fl(pv5c *h, int32_t *reply) { return bare(h, "fl", 0, reply); }

int pv5c_st(pv5c *h, int style, int width, int color, int ncolors, const float *rgb, int32_t *reply) {
  if (ncolors < 0 || ncolors > PV5_ST_MAXCOLORS || (ncolors > 0 && !rgb))
    return pv5c_fail(h, PV5C_EARG, "colour count %d outside 0..%d", ncolors, PV5_ST_MAXCOLORS);
  if (!fits16(style) || !fits16(width) || !fits16(color))
    return pv5c_fail(h, PV5C_EARG, "style, width or colour does not fit 16 bits");
  size_t len = offsetof(pv5st, data) + 3 * sizeof(float) * size_t(ncolors);
  int rc = pv5c_check_room(h, len);
  if (rc != PV5C_OK) return rc;
  put_hdr(h, "st", 0, 0);
  int16_t f[4] = {int16_t(style), int16_t(width), int16_t(color), int16_t(ncolors)};
  put(h, offsetof(pv5st, lstyle), f, sizeof f);
  put(h, offsetof(pv5st, data), rgb, 3 * sizeof(float) * size_t(ncolors));
  return pv5c_command(h, len, reply);
}

int pv5c_dr(pv5c *h, int ngroups, const pv5c_line *lines, int32_t *reply) {
  size_t len = pv5c_dr_size(ngroups, lines);
  if (!len) return pv5c_fail(h, PV5C_EARG, "bad group or point count in a \"dr\" record");
  for (int g = 0; g < ngroups; g++) {
    const pv5c_line &l = lines[g];
    if (!fits16(l.width) || !fits16(l.style) || !fits16(l.color))
      return pv5c_fail(h, PV5C_EARG, "group %d: width, style or colour does not fit 16 bits", g);
    if (l.npts > 0 && (!l.x || !l.y)) return pv5c_fail(h, PV5C_EARG, "group %d has no points", g);
  }
  int rc = pv5c_check_room(h, len);
  if (rc != PV5C_OK) return rc;
  put_hdr(h, "dr", 0, ngroups);
  size_t off = sizeof(pv5hdr);
  for (int g = 0; g < ngroups; g++) {
    const pv5c_line &l = lines[g];
    pv5drg grp = {int16_t(l.npts), int16_t(l.width), int16_t(l.style), int16_t(l.color)};
    put(h, off, &grp, sizeof grp);
    size_t n = size_t(l.npts) * sizeof(float);
    put(h, off + sizeof grp, l.x, n);
    put(h, off + sizeof grp + n, l.y, n);
    off += PV5_DRG_SIZE(l.npts);
  }
  return pv5c_command(h, len, reply);
}

int pv5c_fi(pv5c *h, int ngroups, const pv5c_poly *polys, int32_t *reply) {
  size_t len = pv5c_fi_size(ngroups, polys);
  if (!len) return pv5c_fail(h, PV5C_EARG, "bad group or point count in an \"fi\" record");
  for (int g = 0; g < ngroups; g++) {
    if (!fits16(polys[g].color)) return pv5c_fail(h, PV5C_EARG, "group %d: colour does not fit 16 bits", g);
    if (polys[g].npts > 0 && (!polys[g].x || !polys[g].y))
      return pv5c_fail(h, PV5C_EARG, "group %d has no points", g);
  }
  int rc = pv5c_check_room(h, len);
  if (rc != PV5C_OK) return rc;
  put_hdr(h, "fi", 0, ngroups);
  size_t off = sizeof(pv5hdr);
  for (int g = 0; g < ngroups; g++) {
    const pv5c_poly &p = polys[g];
    pv5fig grp = {int16_t(p.color), int16_t(p.npts)};
    put(h, off, &grp, sizeof grp);
    size_t n = size_t(p.npts) * sizeof(float);
    put(h, off + sizeof grp, p.x, n);
    put(h, off + sizeof grp + n, p.y, n);
    off += PV5_FIG_SIZE(p.npts);
  }
  return pv5c_command(h, len, reply);
}

int pv5c_rh(pv5c *h, int wnum, int opts, int iw, int ih, const float pix[4], const float dat[4], int nctab,
            const float *ctab, int32_t *reply) {
  if (nctab < 0 || nctab > PV5_RH_MAXCOLORS || (nctab > 0 && !ctab))
    return pv5c_fail(h, PV5C_EARG, "colour table size %d outside 0..%d", nctab, PV5_RH_MAXCOLORS);
  if (!fits16(wnum)) return pv5c_fail(h, PV5C_EARG, "window number %d does not fit 16 bits", wnum);
  if (!pix || !dat) return pv5c_fail(h, PV5C_EARG, "no image or grid rectangle");
  // The unused tail of the table is never read, so it is not sent.
  size_t len = offsetof(pv5rh, data) + 4 * sizeof(float) * size_t(nctab);
  int rc = pv5c_check_room(h, len);
  if (rc != PV5C_OK) return rc;
  put_hdr(h, "rh", wnum, 0);
  int32_t ints[3] = {opts, iw, ih};
  put(h, offsetof(pv5rh, opts), ints, sizeof ints);
  put(h, offsetof(pv5rh, pxmn), pix, 4 * sizeof(float));
  put(h, offsetof(pv5rh, dxmn), dat, 4 * sizeof(float));
  int32_t nc = nctab;
  put(h, offsetof(pv5rh, nctab), &nc, sizeof nc);
  put(h, offsetof(pv5rh, data), ctab, 4 * sizeof(float) * size_t(nctab));
  return pv5c_command(h, len, reply);
}

int pv5c_rd(pv5c *h, int wnum, int n, const float *samples, int32_t *reply) {
  if (n < 0 || n > INT16_MAX || (n > 0 && !samples))
    return pv5c_fail(h, PV5C_EARG, "sample count %d outside 0..%d", n, INT16_MAX);
  if (!fits16(wnum)) return pv5c_fail(h, PV5C_EARG, "window number %d does not fit 16 bits", wnum);
  size_t len = PV5_RD_SIZE(n);
  int rc = pv5c_check_room(h, len);
  if (rc != PV5C_OK) return rc;
  put_hdr(h, "rd", wnum, n);
  put(h, sizeof(pv5hdr), samples, size_t(n) * sizeof(float));
  return pv5c_command(h, len, reply);
}

int pv5c_grid(pv5c *h, int wnum, int opts, int iw, int ih, const float pix[4], const float dat[4], int nctab,
              const float *ctab, const float *samples, int32_t *reply) {
  if (iw < 1 || ih < 1 || !samples) return pv5c_fail(h, PV5C_EARG, "empty grid %d x %d", iw, ih);
  size_t total = size_t(iw) * size_t(ih);
  int32_t r = 0;
  int rc = pv5c_rh(h, wnum, opts, iw, ih, pix, dat, nctab, ctab, &r);
  if (reply) *reply = r;
  if (rc != PV5C_OK || r != 0) return rc;
  if (!h->running || h->size < PV5_RD_SIZE(1)) return pv5c_fail(h, PV5C_ETOOBIG, "buffer too small for samples");
  size_t per = (h->size - sizeof(pv5hdr)) / sizeof(float);
  if (per > size_t(INT16_MAX)) per = INT16_MAX;
  for (size_t done = 0; done < total;) {
    size_t n = total - done < per ? total - done : per;
    rc = pv5c_rd(h, wnum, int(n), samples + done, &r);
    if (reply) *reply = r;
    if (rc != PV5C_OK || r != 0) return rc;
    done += n;
  }
  return PV5C_OK;
}

int pv5c_cc_send(pv5c *h, int opts, float ax, float ay) { return cursor_send(h, "cc", opts, ax, ay); }
int pv5c_ct_send(pv5c *h, int opts, float ax, float ay) { return cursor_send(h, "ct", opts, ax, ay); }

int pv5c_cc_wait(pv5c *h, int timeout_ms, float *x, float *y, int32_t *ch, int32_t *reply) {
  int rc = cursor_wait(h, timeout_ms, x, y, reply);
  if (rc == PV5C_OK && ch) memcpy(ch, buf(h) + PV5_SLOT3_OFF, sizeof *ch);
  return rc;
}

int pv5c_ct_wait(pv5c *h, int timeout_ms, float *x, float *y, char *text, size_t cap, int32_t *reply) {
  int rc = cursor_wait(h, timeout_ms, x, y, reply);
  if (rc != PV5C_OK || !text || cap == 0) return rc;
  // The text runs from slot 3 to its 0 byte, never past the buffer's end.
  const char *src = buf(h) + PV5_SLOT3_OFF;
  size_t avail = h->size - PV5_SLOT3_OFF;
  size_t n = 0;
  while (n < avail && src[n] && n + 1 < cap) n++;
  memcpy(text, src, n);
  text[n] = 0;
  return rc;
}

int pv5c_cc(pv5c *h, int opts, float ax, float ay, int timeout_ms, float *x, float *y, int32_t *ch,
            int32_t *reply) {
  int rc = pv5c_cc_send(h, opts, ax, ay);
  return rc != PV5C_OK ? rc : pv5c_cc_wait(h, timeout_ms, x, y, ch, reply);
}

int pv5c_ct(pv5c *h, int opts, float ax, float ay, int timeout_ms, float *x, float *y, char *text, size_t cap,
            int32_t *reply) {
  int rc = pv5c_ct_send(h, opts, ax, ay);
  return rc != PV5C_OK ? rc : pv5c_ct_wait(h, timeout_ms, x, y, text, cap, reply);
}

int pv5c_gd(pv5c *h, float *width, float *ratio, int32_t *reply) {
  int32_t r;
  int rc = bare(h, "gd", 0, &r);
  if (rc != PV5C_OK) return rc;
  if (reply) *reply = r;
  if (width) *width = slot_f(h, PV5_SLOT1_OFF);
  if (ratio) *ratio = slot_f(h, PV5_SLOT2_OFF);
  return PV5C_OK;
}

int pv5c_gr(pv5c *h, int wnum, float *ratio, int32_t *reply) {
  int32_t r;
  int rc = bare(h, "gr", wnum, &r);
  if (rc != PV5C_OK) return rc;
  if (reply) *reply = r;
  if (ratio) *ratio = slot_f(h, PV5_SLOT1_OFF);
  return PV5C_OK;
}

int pv5c_ru(pv5c *h, float *total, float *dt, float *dtsys, int32_t *reply) {
  int32_t r;
  int rc = bare(h, "ru", 0, &r);
  if (rc != PV5C_OK) return rc;
  if (reply) *reply = r;
  if (total) *total = slot_f(h, PV5_SLOT1_OFF);
  if (dt) *dt = slot_f(h, PV5_SLOT2_OFF);
  if (dtsys) *dtsys = slot_f(h, PV5_SLOT3_OFF);
  return PV5C_OK;
}
