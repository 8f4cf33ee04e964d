// Start-up and shutdown: the command line, the semaphore and the transmit
// buffer, the display, the hidden window 0, the icon, the two event sources,
// the ready post, the loop, and the stop.  Each start-up failure either exits
// before the semaphore is open or takes the abandon path, whose post wakes a
// client waiting for the ready post so it finds out at once.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <malloc.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "pv5.h"
#include "server.h"

unsigned char *shmbuf;
size_t shmsize;
int32_t pid;
sem_t *sem;
int fd = -1;

namespace {

bool parse_size(const char *s, int *w, int *h) {
  char *end;
  errno = 0;
  long a = strtol(s, &end, 10);
  if (end == s || *end != 'x' || a <= 0 || a > 32767 || errno) return false;
  const char *t = end + 1;
  long b = strtol(t, &end, 10);
  if (end == t || *end || b <= 0 || b > 32767 || errno) return false;
  *w = (int)a;
  *h = (int)b;
  return true;
}

// The icon beside the executable (the build tree), else where install puts it.
void set_icon() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n > 0) {
    exe[n] = 0;
    char *slash = strrchr(exe, '/');
    if (slash) *slash = 0;
    const char *tails[] = {"/pv5.png", "/../share/pv5/pv5.png"};
    char path[PATH_MAX + 32];
    for (const char *t : tails) {
      snprintf(path, sizeof path, "%s%s", exe, t);
      if (access(path, R_OK) == 0 && plat_set_icon(path) == 0) return;
    }
  }
  fprintf(stderr, "pv5:Unable to locate icon\n");
}

}  // namespace

int server_parse_args(int argc, char **argv, server_args *args, char *err, size_t errlen) {
  *args = server_args();
  args->opt.backend = PLAT_X11;
  int npos = 0;
  bool sized = false;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    if (npos < 3) {
      const char **pos[] = {&args->name, &args->size, &args->pid};
      *pos[npos++] = a;
      continue;
    }
    const char *val = i + 1 < argc ? argv[i + 1] : nullptr;
    if (strcmp(a, "--headless") == 0) {
      args->opt.backend = PLAT_HEADLESS;
    } else if (strcmp(a, "--display-size") == 0 && val) {
      if (!parse_size(val, &args->opt.display_w, &args->opt.display_h)) {
        snprintf(err, errlen, "bad --display-size %s (want WxH, e.g. 1280x1024)", val);
        return -1;
      }
      sized = true;
      i++;
    } else if (strcmp(a, "--snapshot-dir") == 0 && val) {
      args->opt.snapshot_dir = val;
      i++;
    } else if (strcmp(a, "--input") == 0 && val) {
      args->opt.input_path = val;
      i++;
    } else {
      snprintf(err, errlen, "bad option %s", a);
      return -1;
    }
  }
  if (npos < 3) {
    snprintf(err, errlen, "missing arguments");
    return -1;
  }
  if (args->opt.backend != PLAT_HEADLESS && (sized || args->opt.input_path)) {
    snprintf(err, errlen, "--display-size and --input need --headless");
    return -1;
  }
  return 0;
}

void abandon(const char *name) {
  sem_post(sem);
  sem_close(sem);
  sem_unlink(name);
  shm_unlink(name);
  exit(1);
}

void server_run(const server_args *args) {
  const char *name = args->name;
  // glibc would otherwise hand memory back and refault it on every stroke.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 64 << 20);

  pid = (int32_t)atol(args->pid);
  sem = sem_open(name, 0);
  if (sem == SEM_FAILED) {
    fprintf(stderr, "pv5:Unable to link to semaphore %s: %s\n", name, strerror(errno));
    exit(1);
  }
  long size = atol(args->size);
  fd = shm_open(name, O_RDWR, 0400);
  if (fd < 0) {
    fprintf(stderr, "pv5:Unable to open shared memory transmit buffer %s: %s\n", name, strerror(errno));
    abandon(name);
  }
  void *m = mmap(nullptr, (size_t)size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (m == MAP_FAILED) {
    fprintf(stderr, "pv5:Unable to mmap shared memory transmit buffer size %ld: %s\n", size,
            strerror(errno));
    abandon(name);
  }
  shmbuf = static_cast<unsigned char *>(m);
  // Bytes of the mapping past the object's end would fault when touched, so
  // records are checked against the smaller of the two.
  shmsize = (size_t)size;
  struct stat st;
  if (fstat(fd, &st) == 0 && (size_t)st.st_size < shmsize) shmsize = (size_t)st.st_size;

  char err[256] = "";
  if (plat_open(&args->opt, err, sizeof err) != 0) {
    fprintf(stderr, "pv5:%s\n", err[0] ? err : "Unable to open the display");
    abandon(name);
  }
  window_table_init();
  create(0, false, 0.0f, 0.0f, 0.25f, 0.25f);  // hidden until a "cr" for 0
  set_icon();
  plat_set_app_handler(AppEventHandler, nullptr);
  if (plat_msgport_open(name) != 0) {
    fprintf(stderr, "pv5:Unable to initialize signalling port\n");
    abandon(name);
  }
  if (plat_signal_install(SIGTERM) != 0) {
    // Abandoned rather than left: a client waiting for the ready post wakes.
    fprintf(stderr, "pv5:Unable to create CFRunLoopSource!\n");
    abandon(name);
  }
  dt = dtsys = 0;
  sx = sy = width;
  sem_post(sem);

  plat_run_app_loop();

  sem_close(sem);
  sem_unlink(name);
  shm_unlink(name);
  plat_close();
  exit(0);
}
