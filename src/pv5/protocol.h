// The transmit-buffer protocol between pv5 and its client, defined once for
// both sides.  Every record starts at offset 0 of the shared buffer; the reply
// is written over the start of the record.  Numbers are in native byte order
// (client and server always share a machine); floats are IEEE 754 binary32.
#ifndef PV5_PROTOCOL_H
#define PV5_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The only message id that makes the server execute a record. */
#define PV5_MSG_WORK 30

/* Limits implied by the record layouts. */
#define PV5_NWIN 5
#define PV5_ST_MAXCOLORS 256
#define PV5_RH_MAXCOLORS 256

/* Common 8-byte header.  op[0..1] is the opcode; op[2..3] are never read. */
typedef struct pv5hdr {
  char op[4];
  int16_t wnum;
  int16_t npts;
} pv5hdr;

/* "cr": create or re-show a window.  coords are fractions of the display
   width: top, left, right, bottom (in that order). */
typedef struct pv5cr {
  pv5hdr hdr;
  float coords[4];
} pv5cr;

/* "st": line style, width, colour index and the line colour table.  data holds
   nctable reds, then nctable greens, then nctable blues. */
typedef struct pv5st {
  pv5hdr hdr;
  int16_t lstyle;
  int16_t lwidth;
  int16_t lfcolor;
  int16_t nctable;
  float data[768];
} pv5st;

/* One "dr" group: npts x values then npts y values follow it. */
typedef struct pv5drg {
  int16_t npts;
  int16_t width;
  int16_t style;
  int16_t color;
  /* float data[2 * npts]; */
} pv5drg;

/* One "fi" group: colour before count, the reverse of pv5drg. */
typedef struct pv5fig {
  int16_t color;
  int16_t npts;
  /* float data[2 * npts]; */
} pv5fig;

/* "rh": raster header.  data holds nctab entries of (level, r, g, b). */
typedef struct pv5rh {
  pv5hdr hdr;
  int32_t opts;
  int32_t iw;
  int32_t ih;
  float pxmn, pymn, pxmx, pymx;
  float dxmn, dymn, dxmx, dymx;
  int32_t nctab;
  float data[1024];
} pv5rh;

/* "rd": raster data; hdr.npts samples follow. */
typedef struct pv5rd {
  pv5hdr hdr;
  /* float data[npts]; */
} pv5rd;

/* "cc" and "ct": graphic cursor. */
typedef struct pv5cc {
  pv5hdr hdr;
  int32_t opts;
  float pos[2];
} pv5cc;
typedef pv5cc pv5ct;

/* Reply: word at offset 0, result slots at 4, 8 and 12 ("ct" text runs on
   from 12 to its terminating 0 byte). */
#define PV5_REPLY_OFF 0
#define PV5_SLOT1_OFF 4
#define PV5_SLOT2_OFF 8
#define PV5_SLOT3_OFF 12

/* Cursor option bits. */
#define PV5_CURSOR_BEEP 1
#define PV5_CURSOR_RUBBERBAND 2

/* Byte sizes of groups and records, for both sides' bounds checks. */
#define PV5_DRG_SIZE(n) (8 + 8 * (size_t)(n))
#define PV5_FIG_SIZE(n) (4 + 8 * (size_t)(n))
#define PV5_RD_SIZE(n) (8 + 4 * (size_t)(n))

#ifdef __cplusplus
}  // extern "C"
#endif

#ifdef __cplusplus
#define PV5_STATIC_ASSERT static_assert
#else
#define PV5_STATIC_ASSERT _Static_assert
#endif

PV5_STATIC_ASSERT(sizeof(pv5hdr) == 8, "pv5hdr is 8 bytes");
PV5_STATIC_ASSERT(offsetof(pv5hdr, op) == 0, "op at 0");
PV5_STATIC_ASSERT(offsetof(pv5hdr, wnum) == 4, "wnum at 4");
PV5_STATIC_ASSERT(offsetof(pv5hdr, npts) == 6, "npts at 6");

PV5_STATIC_ASSERT(sizeof(pv5cr) == 24, "pv5cr is 24 bytes");
PV5_STATIC_ASSERT(offsetof(pv5cr, coords) == 8, "coords at 8");

PV5_STATIC_ASSERT(sizeof(pv5st) == 3088, "pv5st is 3088 bytes");
PV5_STATIC_ASSERT(offsetof(pv5st, lstyle) == 8, "lstyle at 8");
PV5_STATIC_ASSERT(offsetof(pv5st, lwidth) == 10, "lwidth at 10");
PV5_STATIC_ASSERT(offsetof(pv5st, lfcolor) == 12, "lfcolor at 12");
PV5_STATIC_ASSERT(offsetof(pv5st, nctable) == 14, "nctable at 14");
PV5_STATIC_ASSERT(offsetof(pv5st, data) == 16, "st data at 16");

PV5_STATIC_ASSERT(sizeof(pv5drg) == 8, "pv5drg header is 8 bytes");
PV5_STATIC_ASSERT(offsetof(pv5drg, npts) == 0, "drg npts at 0");
PV5_STATIC_ASSERT(offsetof(pv5drg, width) == 2, "drg width at 2");
PV5_STATIC_ASSERT(offsetof(pv5drg, style) == 4, "drg style at 4");
PV5_STATIC_ASSERT(offsetof(pv5drg, color) == 6, "drg color at 6");

PV5_STATIC_ASSERT(sizeof(pv5fig) == 4, "pv5fig header is 4 bytes");
PV5_STATIC_ASSERT(offsetof(pv5fig, color) == 0, "fig color at 0");
PV5_STATIC_ASSERT(offsetof(pv5fig, npts) == 2, "fig npts at 2");

PV5_STATIC_ASSERT(sizeof(pv5rh) == 4152, "pv5rh is 4152 bytes");
PV5_STATIC_ASSERT(offsetof(pv5rh, opts) == 8, "opts at 8");
PV5_STATIC_ASSERT(offsetof(pv5rh, iw) == 12, "iw at 12");
PV5_STATIC_ASSERT(offsetof(pv5rh, ih) == 16, "ih at 16");
PV5_STATIC_ASSERT(offsetof(pv5rh, pxmn) == 20, "pxmn at 20");
PV5_STATIC_ASSERT(offsetof(pv5rh, pymn) == 24, "pymn at 24");
PV5_STATIC_ASSERT(offsetof(pv5rh, pxmx) == 28, "pxmx at 28");
PV5_STATIC_ASSERT(offsetof(pv5rh, pymx) == 32, "pymx at 32");
PV5_STATIC_ASSERT(offsetof(pv5rh, dxmn) == 36, "dxmn at 36");
PV5_STATIC_ASSERT(offsetof(pv5rh, dymn) == 40, "dymn at 40");
PV5_STATIC_ASSERT(offsetof(pv5rh, dxmx) == 44, "dxmx at 44");
PV5_STATIC_ASSERT(offsetof(pv5rh, dymx) == 48, "dymx at 48");
PV5_STATIC_ASSERT(offsetof(pv5rh, nctab) == 52, "nctab at 52");
PV5_STATIC_ASSERT(offsetof(pv5rh, data) == 56, "rh data at 56");

PV5_STATIC_ASSERT(sizeof(pv5rd) == 8, "pv5rd header is 8 bytes");

PV5_STATIC_ASSERT(sizeof(pv5cc) == 20, "pv5cc is 20 bytes");
PV5_STATIC_ASSERT(offsetof(pv5cc, opts) == 8, "cursor opts at 8");
PV5_STATIC_ASSERT(offsetof(pv5cc, pos) == 12, "cursor pos at 12");

#endif /* PV5_PROTOCOL_H */
