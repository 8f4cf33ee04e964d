// The dispatcher: one row per opcode, a bounds check in front of every
// operation, and the processor-time accounting around each command.
//
// The client can write anything into the buffer, so every handler first
// proves that the whole record it is about to read (every group, every count)
// and the whole reply it is about to write lie inside the mapped size; only
// then does it read fields and call the operation.  A record that fails the
// proof changes nothing and is answered -1.  The buffer is page-aligned (or,
// in tests, 4-byte aligned), so float arrays are handed on in place.
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>

#include "pv5.h"
#include "server.h"

float dt, dtsys, tout;

namespace {

int16_t s16(const unsigned char *p) {
  int16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

int32_t s32(const unsigned char *p) {
  int32_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

float f32(const unsigned char *p) {
  float v;
  memcpy(&v, p, sizeof v);
  return v;
}

void put_f32(unsigned char *p, float v) { memcpy(p, &v, sizeof v); }

const float *floats(const unsigned char *p) { return reinterpret_cast<const float *>(p); }

// True when need bytes fit; otherwise says so on stderr.
bool fits(const char *op, size_t need, size_t size) {
  if (need <= size) return true;
  fprintf(stderr, "pv5:Record \"%s\" needs %zu bytes, more than the %zu-byte transmit buffer\n", op,
          need, size);
  return false;
}

bool count_ok(const char *op, int32_t n) {
  if (n >= 0) return true;
  fprintf(stderr, "pv5:Record \"%s\" has a negative count %d\n", op, n);
  return false;
}

// Walks the groups of a "dr" or "fi" record without drawing: each group has
// a head of headlen bytes with its point count at cntoff, then 8 bytes a point.
bool groups_fit(const char *op, const unsigned char *buf, size_t size, size_t headlen, size_t cntoff) {
  int32_t ngroups = s16(buf + 6);
  if (!count_ok(op, ngroups)) return false;
  size_t off = 8;
  for (int32_t g = 0; g < ngroups; g++) {
    if (!fits(op, off + headlen, size)) return false;
    int32_t n = s16(buf + off + cntoff);
    if (!count_ok(op, n)) return false;
    off += headlen + 8 * (size_t)n;
    if (!fits(op, off, size)) return false;
  }
  return true;
}

int32_t do_cr(unsigned char *buf, size_t size) {
  if (!fits("cr", sizeof(pv5cr), size)) return -1;
  int32_t wnum = s16(buf + 4);
  int32_t r = create(wnum, true, f32(buf + 8), f32(buf + 12), f32(buf + 16), f32(buf + 20));
  cur = wnum;  // also for a number outside the table, as the client asked
  return r;
}

int32_t do_de(unsigned char *buf, size_t) { return destroy(s16(buf + 4)); }

int32_t do_st(unsigned char *buf, size_t size) {
  if (!fits("st", offsetof(pv5st, data), size)) return -1;
  int32_t nc = s16(buf + 14);
  if (!count_ok("st", nc)) return -1;
  if (nc > PV5_ST_MAXCOLORS) {
    fprintf(stderr, "pv5:Record \"st\" has %d colours, more than %d\n", nc, PV5_ST_MAXCOLORS);
    return -1;
  }
  // Only the colours named are read, so a short buffer may carry a short table.
  if (nc > 0 && !fits("st", offsetof(pv5st, data) + 12 * (size_t)nc, size)) return -1;
  return style(s16(buf + 8), s16(buf + 10), s16(buf + 12), nc, floats(buf + offsetof(pv5st, data)));
}

int32_t do_er(unsigned char *buf, size_t) {
  cur = s16(buf + 4);
  setactive(cur);
  return erase(cur);
}

int32_t do_fl(unsigned char *, size_t) { return flush(cur); }

int32_t do_dr(unsigned char *buf, size_t size) {
  if (!groups_fit("dr", buf, size, sizeof(pv5drg), offsetof(pv5drg, npts))) return -1;
  if (!window_valid(cur)) return -1;
  int32_t ngroups = s16(buf + 6);
  const unsigned char *g = buf + 8;
  for (int32_t i = 0; i < ngroups; i++) {
    int32_t n = s16(g + offsetof(pv5drg, npts));
    // style, width, colour: the group stores width before style
    style(s16(g + offsetof(pv5drg, style)), s16(g + offsetof(pv5drg, width)),
          s16(g + offsetof(pv5drg, color)), 0, nullptr);
    const float *x = floats(g + sizeof(pv5drg));
    pathop(false, n, x, x + n);
    g += PV5_DRG_SIZE(n);
  }
  return 0;
}

int32_t do_fi(unsigned char *buf, size_t size) {
  if (!groups_fit("fi", buf, size, sizeof(pv5fig), offsetof(pv5fig, npts))) return -1;
  if (!window_valid(cur)) return -1;
  int32_t ngroups = s16(buf + 6);
  const unsigned char *g = buf + 8;
  for (int32_t i = 0; i < ngroups; i++) {
    int32_t n = s16(g + offsetof(pv5fig, npts));
    linecolor = s16(g + offsetof(pv5fig, color));
    const float *x = floats(g + sizeof(pv5fig));
    pathop(true, n, x, x + n);
    g += PV5_FIG_SIZE(n);
  }
  return 0;
}

int32_t do_rh(unsigned char *buf, size_t size) {
  if (!fits("rh", offsetof(pv5rh, data), size)) return -1;
  // raster refuses a table size outside 1..256 by itself; within it, the
  // table it copies must be here.
  int32_t nctab = s32(buf + offsetof(pv5rh, nctab));
  if (nctab >= 1 && nctab <= PV5_RH_MAXCOLORS &&
      !fits("rh", offsetof(pv5rh, data) + 16 * (size_t)nctab, size))
    return -1;
  return raster(s16(buf + 4), true, buf);
}

int32_t do_rd(unsigned char *buf, size_t size) {
  int32_t n = s16(buf + 6);
  // A negative count goes on to raster, which refuses it.
  if (n >= 0 && !fits("rd", PV5_RD_SIZE(n), size)) return -1;
  return raster(s16(buf + 4), false, buf);
}

int32_t do_cursor(bool string, const char *op, unsigned char *buf, size_t size) {
  if (!fits(op, sizeof(pv5cc), size)) return -1;
  if (!window_valid(cur)) return -1;
  int32_t opts = s32(buf + offsetof(pv5cc, opts));
  float px = f32(buf + offsetof(pv5cc, pos)), py = f32(buf + offsetof(pv5cc, pos) + 4);
  return cursor(string, opts, px, py, reinterpret_cast<float *>(buf + PV5_SLOT1_OFF),
                reinterpret_cast<float *>(buf + PV5_SLOT2_OFF), buf + PV5_SLOT3_OFF,
                size - PV5_SLOT3_OFF);
}

int32_t do_cc(unsigned char *buf, size_t size) { return do_cursor(false, "cc", buf, size); }
int32_t do_ct(unsigned char *buf, size_t size) { return do_cursor(true, "ct", buf, size); }

int32_t do_gd(unsigned char *buf, size_t size) {
  if (!fits("gd", PV5_SLOT2_OFF + 4, size)) return -1;
  return getratio(reinterpret_cast<float *>(buf + PV5_SLOT1_OFF));
}

int32_t do_gr(unsigned char *buf, size_t size) {
  if (!fits("gr", PV5_SLOT1_OFF + 4, size)) return -1;
  return getrootsize(s16(buf + 4), reinterpret_cast<float *>(buf + PV5_SLOT1_OFF));
}

int32_t do_ru(unsigned char *buf, size_t size) {
  if (!fits("ru", PV5_SLOT3_OFF + 4, size)) return -1;
  struct rusage r;
  getrusage(RUSAGE_SELF, &r);
  double total = ((r.ru_utime.tv_sec + r.ru_utime.tv_usec * 1e-6) + r.ru_stime.tv_sec) +
                 r.ru_stime.tv_usec * 1e-6;
  put_f32(buf + PV5_SLOT1_OFF, (float)total);
  put_f32(buf + PV5_SLOT2_OFF, dt);
  put_f32(buf + PV5_SLOT3_OFF, dtsys);
  return 0;
}

struct op_row {
  char op[3];
  int32_t (*fn)(unsigned char *buf, size_t size);
};

// Tried in this order; the first exact two-byte match wins.
const op_row ops[] = {
    {"cr", do_cr}, {"de", do_de}, {"st", do_st}, {"er", do_er}, {"fl", do_fl},
    {"dr", do_dr}, {"fi", do_fi}, {"rh", do_rh}, {"rd", do_rd}, {"cc", do_cc},
    {"ct", do_ct}, {"gd", do_gd}, {"gr", do_gr}, {"ru", do_ru},
};

// T(r): user plus system time in seconds, the integer parts summed first.
double cputime(const struct rusage &r) {
  return (double)(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
         (double)(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
}

}  // namespace

int32_t dispatch(unsigned char *buf, size_t size) {
  if (size < sizeof(pv5hdr)) {
    fprintf(stderr, "pv5:Transmit buffer of %zu bytes cannot hold a record\n", size);
    int32_t r = -1;
    if (size >= sizeof r) memcpy(buf, &r, sizeof r);
    return r;
  }
  int32_t r = -1;
  const op_row *row = nullptr;
  for (const op_row &o : ops)
    if (strncmp(reinterpret_cast<const char *>(buf), o.op, 2) == 0) {
      row = &o;
      break;
    }
  if (row) {
    r = row->fn(buf, size);
  } else {
    // Each byte as a signed char: 0x80 and up print as ffffff80 and so on.
    int b0 = (signed char)buf[0], b1 = (signed char)buf[1];
    fprintf(stderr, "pv5:Protocol botch: %c%c(%1x%1x) %d %d\n", b0, b1, (unsigned)b0, (unsigned)b1,
            s16(buf + 4), s16(buf + 6));
  }
  memcpy(buf + PV5_REPLY_OFF, &r, sizeof r);
  return r;
}

int32_t AppEventHandler(const plat_event *ev, void *) {
  if (ev->cls == kPlatClassSignal && ev->kind == SIGTERM) {
    plat_quit_app_loop();
    return kPlatHandled;
  }
  if (ev->cls != kPlatClassWork || ev->kind != PV5_MSG_WORK) return kPlatNotHandled;

  struct rusage r0, r1;
  getrusage(RUSAGE_SELF, &r0);
  dtsys = (float)((double)dtsys + (cputime(r0) - (double)tout));
  dispatch(shmbuf, shmsize);
  if (sem) sem_post(sem);
  // The command's own time, with the post: the client may already run.
  getrusage(RUSAGE_SELF, &r1);
  long ds = (long)((r1.ru_utime.tv_sec - r0.ru_utime.tv_sec) + (r1.ru_stime.tv_sec - r0.ru_stime.tv_sec));
  long dus = (long)((r1.ru_utime.tv_usec - r0.ru_utime.tv_usec) +
                    (r1.ru_stime.tv_usec - r0.ru_stime.tv_usec));
  dt = (float)((double)dt + ((double)ds + (double)dus * 1e-6));
  tout = (float)cputime(r1);
  return kPlatHandled;
}
