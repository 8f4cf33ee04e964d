/* pv5client: the client side of the pv5 transmit-buffer protocol.
 *
 * A client owns the semaphore and the shared-memory buffer of one name N: it
 * creates both, starts pv5 with N, the buffer size S and its own pid, waits
 * for the ready post, then drives the server one record at a time (write the
 * record at offset 0, send a datagram with message id 30 to the abstract
 * AF_UNIX name "pv5." N, wait for the post, read the reply over the record)
 * and finally stops it with SIGTERM.
 *
 * Plain C API, usable from C, C++ and Python's ctypes.  Every call returns a
 * status (PV5C_OK or a negative PV5C_E* value) and leaves a one-line reason
 * in pv5c_error() when it fails.  The server's own reply word, which is a
 * different thing (0, -1 or 1), comes back through an optional out pointer.
 * Any wait also watches the child: a server that dies or never answers comes
 * back as an error with its exit status, never as a hang.
 *
 * One handle drives one server; handles are independent of each other but a
 * handle must not be used from two threads at once.
 */
#ifndef PV5CLIENT_H
#define PV5CLIENT_H

#include <stddef.h>
#include <stdint.h>

#include "pv5/protocol.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Status values. */
#define PV5C_OK 0
#define PV5C_ESYS (-1)     /* a system call failed */
#define PV5C_EDIED (-2)    /* the server exited (or could not be started) */
#define PV5C_ETIMEOUT (-3) /* no post within the time allowed */
#define PV5C_ETOOBIG (-4)  /* the record does not fit the buffer or its counts */
#define PV5C_EARG (-5)     /* a bad argument */
#define PV5C_ESTATE (-6)   /* not running, or a command already pending */

/* Defaults used where an option is 0. */
#define PV5C_DEFAULT_SIZE 65536
#define PV5C_DEFAULT_START_TIMEOUT_MS 20000
#define PV5C_DEFAULT_REPLY_TIMEOUT_MS 30000
#define PV5C_DEFAULT_STOP_TIMEOUT_MS 10000

typedef struct pv5c pv5c;

typedef struct pv5c_options {
  const char *server;       /* pv5 to run: a path, or a name looked up in PATH; null: "pv5" */
  const char *name;         /* N, starting with '/'; null: a unique "/pv5-<pid>-<k>" */
  long size;                /* S in bytes; 0: PV5C_DEFAULT_SIZE */
  int headless;             /* pass --headless */
  const char *snapshot_dir; /* --snapshot-dir DIR, or null */
  const char *input;        /* --input PATH, or null */
  int display_w, display_h; /* --display-size WxH when both are > 0 */
  const char *const *extra_args; /* more arguments after those, null-terminated; or null */
  int stderr_fd;            /* the child's standard error goes here; -1: inherited */
  int start_timeout_ms;     /* wait for the ready post; 0: default */
  int reply_timeout_ms;     /* wait for a reply; 0: default, < 0: forever */
  int stop_timeout_ms;      /* wait for the exit after SIGTERM (then SIGKILL); 0: default */
} pv5c_options;

/* What pv5c_stop found. */
typedef struct pv5c_stopinfo {
  int exit_code;  /* exit status, or -1 when killed by a signal */
  int signal;     /* the signal that ended it, or 0 */
  int sem_left;   /* the semaphore name was still there (and was removed by us) */
  int shm_left;   /* the shared-memory name was still there (and was removed by us) */
  int posts;      /* posts found on the semaphore after the server had ended */
} pv5c_stopinfo;

/* One polyline of a "dr" record and one polygon of an "fi" record. */
typedef struct pv5c_line {
  int npts, width, style, color;
  const float *x, *y;
} pv5c_line;
typedef struct pv5c_poly {
  int color, npts;
  const float *x, *y;
} pv5c_poly;

/* ---- handle and server lifetime ---- */

/* A new idle handle (null only when out of memory). */
pv5c *pv5c_open(void);
/* Stops the server if it still runs, removes what names remain, frees h.
   Null is a no-op. */
void pv5c_close(pv5c *h);
/* Fills o with the defaults (all zero, stderr_fd -1). */
void pv5c_options_init(pv5c_options *o);
/* Creates the semaphore and the buffer, spawns the server and waits for its
   ready post.  On failure nothing is left behind (child reaped, names
   removed) and the error names the cause, with the exit status of a server
   that failed at start-up.  The server is sent SIGTERM by the kernel when
   the thread that started it ends, so a client that crashes leaves no
   server behind: start it from a thread that outlives its use. */
int pv5c_start(pv5c *h, const pv5c_options *o);
/* SIGTERM, reap (SIGKILL after the stop timeout), remove the names that
   remain, unmap.  info may be null.  Also reaps a server that already died. */
int pv5c_stop(pv5c *h, pv5c_stopinfo *info);

const char *pv5c_error(const pv5c *h);
const char *pv5c_name(const pv5c *h);
size_t pv5c_size(const pv5c *h);
void *pv5c_buffer(pv5c *h);
int pv5c_pid(const pv5c *h);
/* 1 while a server is attached (started and not yet stopped). */
int pv5c_running(const pv5c *h);

/* ---- the raw handshake ---- */

/* Sends one datagram with message id 30; the reply is then pending. */
int pv5c_send(pv5c *h);
/* Sends one datagram with any message id; nothing becomes pending. */
int pv5c_send_id(pv5c *h, int32_t id);
/* Waits for the pending reply; timeout_ms 0: the handle's default, < 0:
   forever (still watching the child).  reply may be null. */
int pv5c_wait(pv5c *h, int timeout_ms, int32_t *reply);
/* Takes one post if there is one: 1 taken, 0 none. */
int pv5c_trywait(pv5c *h);
/* The record of len bytes is already at the start of the buffer: send it
   and wait for the reply. */
int pv5c_command(pv5c *h, size_t len, int32_t *reply);
/* Copies a record of len bytes into the buffer, sends it, waits. */
int pv5c_raw(pv5c *h, const void *rec, size_t len, int32_t *reply);

/* ---- one helper a opcode; reply may be null everywhere ---- */

/* coords: top, left, right, bottom, fractions of the display width. */
int pv5c_cr(pv5c *h, int wnum, float top, float left, float right, float bottom,
            int32_t *reply);
int pv5c_de(pv5c *h, int wnum, int32_t *reply);
/* rgb: ncolors reds, then ncolors greens, then ncolors blues (as on the
   wire); may be null when ncolors is 0.  At most 256 colours. */
int pv5c_st(pv5c *h, int style, int width, int color, int ncolors, const float *rgb,
            int32_t *reply);
int pv5c_er(pv5c *h, int wnum, int32_t *reply);
int pv5c_fl(pv5c *h, int32_t *reply);
/* Several polylines in one record. */
int pv5c_dr(pv5c *h, int ngroups, const pv5c_line *lines, int32_t *reply);
int pv5c_fi(pv5c *h, int ngroups, const pv5c_poly *polys, int32_t *reply);
/* pix, dat: left, bottom, right, top of the image and of the grid; ctab:
   nctab entries of level, red, green, blue. */
int pv5c_rh(pv5c *h, int wnum, int opts, int iw, int ih, const float pix[4],
            const float dat[4], int nctab, const float *ctab, int32_t *reply);
int pv5c_rd(pv5c *h, int wnum, int n, const float *samples, int32_t *reply);
/* A whole grid: the header, then iw * ih samples in data records cut to fit
   the buffer.  Stops at the first record answered non-zero; reply is the
   last reply received. */
int pv5c_grid(pv5c *h, int wnum, int opts, int iw, int ih, const float pix[4],
              const float dat[4], int nctab, const float *ctab, const float *samples,
              int32_t *reply);
/* The graphic cursor: send and wait in one call, or split so the caller can
   act (move the pointer, type) while the command is pending.  The text of
   "ct" is copied into text (cap bytes, always 0-terminated). */
int pv5c_cc(pv5c *h, int opts, float ax, float ay, int timeout_ms, float *x, float *y,
            int32_t *ch, int32_t *reply);
int pv5c_cc_send(pv5c *h, int opts, float ax, float ay);
int pv5c_cc_wait(pv5c *h, int timeout_ms, float *x, float *y, int32_t *ch, int32_t *reply);
int pv5c_ct(pv5c *h, int opts, float ax, float ay, int timeout_ms, float *x, float *y,
            char *text, size_t cap, int32_t *reply);
int pv5c_ct_send(pv5c *h, int opts, float ax, float ay);
int pv5c_ct_wait(pv5c *h, int timeout_ms, float *x, float *y, char *text, size_t cap,
                 int32_t *reply);
int pv5c_gd(pv5c *h, float *width, float *ratio, int32_t *reply);
int pv5c_gr(pv5c *h, int wnum, float *ratio, int32_t *reply);
int pv5c_ru(pv5c *h, float *total, float *dt, float *dtsys, int32_t *reply);

/* Byte sizes of records, as the helpers compute them (0 for bad counts). */
size_t pv5c_dr_size(int ngroups, const pv5c_line *lines);
size_t pv5c_fi_size(int ngroups, const pv5c_poly *polys);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* PV5CLIENT_H */
