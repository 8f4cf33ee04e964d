// Snapshots and the events log, for batch jobs and tests that look at the
// server from outside.  A snapshot is written on every flush (not on idle
// presents): flushes happen inside a command, before its reply, so a client
// that got the reply finds the picture already there.  Each one goes to a
// temporary name first and is renamed into place, so a reader never sees a
// half-written file.
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "internal.h"

int plat_snapshot_open(const char *dir, char *err, int errlen) {
  struct stat st;
  errno = 0;
  if (stat(dir, &st) < 0 || !S_ISDIR(st.st_mode)) {
    plat_errtext(err, errlen, "snapshot directory %s: %s", dir,
                 errno ? strerror(errno) : "not a directory");
    return -1;
  }
  std::string log = std::string(dir) + "/events.log";
  int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    plat_errtext(err, errlen, "%s: %s", log.c_str(), strerror(errno));
    return -1;
  }
  plat.snapshot_dir = dir;
  plat.logfd = fd;
  return 0;
}

void plat_snapshot_close() {
  if (plat.logfd >= 0) close(plat.logfd);
  plat.logfd = -1;
  plat.snapshot_dir.clear();
}

// One line, one write: a reader tailing the log sees whole lines.
void plat_log(const char *fmt, ...) {
  if (plat.logfd < 0) return;
  char line[512];
  va_list ap;
  va_start(ap, fmt);
  int n = vsnprintf(line, sizeof line - 1, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (n > int(sizeof line) - 2) n = int(sizeof line) - 2;
  line[n++] = '\n';
  ssize_t r = write(plat.logfd, line, size_t(n));
  (void)r;
}

void plat_log_bounds(const plat_window *win) {
  if (!win->tagged) return;
  const plat_rect &b = win->bounds;
  plat_log("bounds %d %d %d %d %d", int(win->tag), b.top, b.left, b.bottom, b.right);
}

void plat_snapshot_write(plat_window *win) {
  if (plat.snapshot_dir.empty() || !win->tagged) return;
  char name[64], tmp[96];
  snprintf(name, sizeof name, "/window%d.png", int(win->tag));
  snprintf(tmp, sizeof tmp, "/.window%d.png.%d.tmp", int(win->tag), int(getpid()));
  std::string path = plat.snapshot_dir + name, tpath = plat.snapshot_dir + tmp;

  cairo_surface_t *pic = win->store;
  cairo_surface_t *mixed = nullptr;
  if (win->ov) {
    mixed = cairo_image_surface_create(CAIRO_FORMAT_RGB24, win->w, win->h);
    cairo_t *c = cairo_create(mixed);
    plat_window_composite(win, c);
    cairo_destroy(c);
    pic = mixed;
  }
  cairo_status_t st = cairo_surface_write_to_png(pic, tpath.c_str());
  if (mixed) cairo_surface_destroy(mixed);
  if (st != CAIRO_STATUS_SUCCESS || rename(tpath.c_str(), path.c_str()) < 0) {
    fprintf(stderr, "pv5:Unable to write snapshot %s: %s\n", path.c_str(),
            st != CAIRO_STATUS_SUCCESS ? cairo_status_to_string(st) : strerror(errno));
    unlink(tpath.c_str());
  }
}
