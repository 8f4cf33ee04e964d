// Server lifetime and the handshake: creating the names, spawning pv5,
// waiting for posts while watching the child, stopping and cleaning up.
//
// Every wait is a loop of short sem_clockwait slices with a waitpid(WNOHANG)
// between them, so a post is taken the moment it comes while a server that
// dies is noticed within one slice.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "client_internal.h"

namespace {

constexpr int kSliceMs = 20;
unsigned g_counter;  // for unique default names within this process

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void sleep_ms(int ms) {
  timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// "exit status 1", "signal 9 (Killed)".
void describe_status(const pv5c *h, char *out, size_t cap) {
  if (!h->reaped || h->wstatus == -1)
    snprintf(out, cap, "unknown status");
  else if (WIFEXITED(h->wstatus))
    snprintf(out, cap, "exit status %d", WEXITSTATUS(h->wstatus));
  else if (WIFSIGNALED(h->wstatus))
    snprintf(out, cap, "signal %d (%s)", WTERMSIG(h->wstatus), strsignal(WTERMSIG(h->wstatus)));
  else
    snprintf(out, cap, "wait status %d", h->wstatus);
}

// Collects the child's status if it has ended; answers true when it is gone.
bool child_gone(pv5c *h) {
  if (h->reaped || h->pid <= 0) return true;
  int st;
  pid_t r = waitpid(h->pid, &st, WNOHANG);
  if (r == h->pid) {
    h->reaped = true;
    h->wstatus = st;
    return true;
  }
  if (r < 0 && errno == ECHILD) {  // reaped behind our back
    h->reaped = true;
    h->wstatus = -1;
    return true;
  }
  return false;
}

// Waits up to timeout_ms (< 0: forever) for the child to end.
bool reap(pv5c *h, int timeout_ms) {
  int64_t end = now_ms() + timeout_ms;
  int nap = 1;
  while (!child_gone(h)) {
    if (timeout_ms >= 0 && now_ms() >= end) return false;
    sleep_ms(nap);
    if (nap < 10) nap++;
  }
  return true;
}

void kill_and_reap(pv5c *h) {
  if (h->pid > 0 && !child_gone(h)) {
    kill(h->pid, SIGKILL);
    reap(h, -1);
  }
}

// Takes one post within timeout_ms (< 0: forever).  PV5C_OK, PV5C_ETIMEOUT,
// PV5C_EDIED (the child ended without posting) or PV5C_ESYS.
int wait_post(pv5c *h, int timeout_ms) {
  int64_t end = now_ms() + timeout_ms;
  for (;;) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_nsec += kSliceMs * 1000000L;
    if (ts.tv_nsec >= 1000000000L) {
      ts.tv_sec++;
      ts.tv_nsec -= 1000000000L;
    }
    if (sem_clockwait(h->sem, CLOCK_MONOTONIC, &ts) == 0) return PV5C_OK;
    if (errno == EINTR) continue;
    if (errno != ETIMEDOUT) return pv5c_fail(h, PV5C_ESYS, "waiting on semaphore %s: %s", h->name, strerror(errno));
    if (child_gone(h)) {
      // A post made just before the end still counts.
      return sem_trywait(h->sem) == 0 ? PV5C_OK : PV5C_EDIED;
    }
    if (timeout_ms >= 0 && now_ms() >= end) return PV5C_ETIMEOUT;
  }
}

void remove_names(pv5c *h, int *sem_left, int *shm_left) {
  sem_t *s = sem_open(h->name, 0);
  if (s != SEM_FAILED) {
    sem_close(s);
    sem_unlink(h->name);
    if (sem_left) *sem_left = 1;
  }
  int fd = shm_open(h->name, O_RDONLY, 0);
  if (fd >= 0) {
    close(fd);
    shm_unlink(h->name);
    if (shm_left) *shm_left = 1;
  }
}

// Releases everything of this process's side; the names are removed by
// remove_names.
void release(pv5c *h) {
  if (h->sem) sem_close(h->sem);
  h->sem = nullptr;
  if (h->buf) munmap(h->buf, h->size);
  h->buf = nullptr;
  if (h->sock >= 0) close(h->sock);
  h->sock = -1;
  h->running = false;
  h->pending = false;
}

// A failed start: nothing may be left behind.
int abort_start(pv5c *h, int code) {
  kill_and_reap(h);
  remove_names(h, nullptr, nullptr);
  release(h);
  h->pid = 0;
  return code;
}

sockaddr_un endpoint(const char *name, socklen_t *len) {
  sockaddr_un a;
  memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  // Abstract namespace: a leading 0 byte, then "pv5." N with no terminator.
  int n = snprintf(a.sun_path + 1, sizeof a.sun_path - 1, "pv5.%s", name);
  *len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + n);
  return a;
}

int create_names(pv5c *h, const pv5c_options *o) {
  for (int attempt = 0;; attempt++) {
    if (o->name)
      snprintf(h->name, sizeof h->name, "%s", o->name);
    else
      snprintf(h->name, sizeof h->name, "/pv5-%d-%u", int(getpid()), g_counter++);
    h->sem = sem_open(h->name, O_CREAT | O_EXCL, 0600, 0);
    if (h->sem != SEM_FAILED) break;
    h->sem = nullptr;
    if (errno == EEXIST && !o->name && attempt < 100) continue;
    return pv5c_fail(h, PV5C_ESYS, "cannot create semaphore %s: %s", h->name, strerror(errno));
  }
  int fd = shm_open(h->name, O_CREAT | O_EXCL | O_RDWR, 0600);
  if (fd < 0) {
    int e = errno;
    sem_close(h->sem);
    h->sem = nullptr;
    sem_unlink(h->name);
    return pv5c_fail(h, PV5C_ESYS, "cannot create shared memory %s: %s", h->name, strerror(e));
  }
  const char *what = "size";
  if (ftruncate(fd, off_t(h->size)) == 0) {
    what = "map";
    void *p = mmap(nullptr, h->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (p != MAP_FAILED) h->buf = p;
  }
  int e = errno;
  close(fd);
  if (!h->buf) {
    remove_names(h, nullptr, nullptr);
    release(h);
    return pv5c_fail(h, PV5C_ESYS, "cannot %s shared memory %s (%zu bytes): %s", what, h->name, h->size,
                     strerror(e));
  }
  return PV5C_OK;
}

int spawn(pv5c *h, const pv5c_options *o) {
  const char *server = o->server ? o->server : "pv5";
  char size[32], pid[32], dsize[48];
  snprintf(size, sizeof size, "%zu", h->size);
  snprintf(pid, sizeof pid, "%d", int(getpid()));
  snprintf(dsize, sizeof dsize, "%dx%d", o->display_w, o->display_h);
  size_t nextra = 0;
  while (o->extra_args && o->extra_args[nextra]) nextra++;
  const char **argv = static_cast<const char **>(calloc(16 + nextra, sizeof(char *)));
  if (!argv) return pv5c_fail(h, PV5C_ESYS, "out of memory");
  size_t n = 0;
  argv[n++] = server;
  argv[n++] = h->name;
  argv[n++] = size;
  argv[n++] = pid;
  if (o->headless) argv[n++] = "--headless";
  if (o->snapshot_dir) {
    argv[n++] = "--snapshot-dir";
    argv[n++] = o->snapshot_dir;
  }
  if (o->input) {
    argv[n++] = "--input";
    argv[n++] = o->input;
  }
  if (o->display_w > 0 && o->display_h > 0) {
    argv[n++] = "--display-size";
    argv[n++] = dsize;
  }
  for (size_t i = 0; i < nextra; i++) argv[n++] = o->extra_args[i];
  argv[n] = nullptr;

  // The exec's outcome comes back through a close-on-exec pipe: EOF means
  // the exec succeeded, 4 bytes are the errno of a failed one.
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    free(argv);
    return pv5c_fail(h, PV5C_ESYS, "pipe: %s", strerror(errno));
  }
  pid_t parent = getpid();
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (o->stderr_fd >= 0 && o->stderr_fd != 2) dup2(o->stderr_fd, 2);
    // A server whose client has died should not linger.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    char *const *args = const_cast<char *const *>(argv);
    if (strchr(server, '/'))
      execv(server, args);
    else
      execvp(server, args);
    int e = errno;
    if (write(fds[1], &e, sizeof e) < 0) {
    }
    _exit(127);
  }
  int fork_errno = errno;
  free(argv);
  close(fds[1]);
  if (child < 0) {
    close(fds[0]);
    return pv5c_fail(h, PV5C_ESYS, "fork: %s", strerror(fork_errno));
  }
  h->pid = child;
  h->reaped = false;
  int e = 0;
  ssize_t got;
  do got = read(fds[0], &e, sizeof e);
  while (got < 0 && errno == EINTR);
  close(fds[0]);
  if (got == ssize_t(sizeof e)) {
    reap(h, -1);
    h->pid = 0;
    return pv5c_fail(h, PV5C_EDIED, "cannot run %s: %s", server, strerror(e));
  }
  return PV5C_OK;
}

}  // namespace

int pv5c_fail(pv5c *h, int code, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(h->err, sizeof h->err, fmt, ap);
  va_end(ap);
  return code;
}

int pv5c_check_room(pv5c *h, size_t len) {
  if (!h->running) return pv5c_fail(h, PV5C_ESTATE, "no server is running");
  if (h->pending) return pv5c_fail(h, PV5C_ESTATE, "a command is still pending");
  if (len > h->size)
    return pv5c_fail(h, PV5C_ETOOBIG, "record of %zu bytes does not fit the %zu-byte buffer", len, h->size);
  return PV5C_OK;
}

pv5c *pv5c_open(void) {
  pv5c *h = static_cast<pv5c *>(calloc(1, sizeof(pv5c)));
  if (h) h->sock = -1;
  return h;
}

void pv5c_close(pv5c *h) {
  if (!h) return;
  if (h->pid > 0 || h->running) pv5c_stop(h, nullptr);
  release(h);
  free(h);
}

void pv5c_options_init(pv5c_options *o) {
  memset(o, 0, sizeof *o);
  o->stderr_fd = -1;
}

int pv5c_start(pv5c *h, const pv5c_options *o) {
  if (h->running || h->pid > 0) return pv5c_fail(h, PV5C_ESTATE, "a server is already attached");
  pv5c_options defaults;
  if (!o) {
    pv5c_options_init(&defaults);
    o = &defaults;
  }
  h->err[0] = 0;
  if (o->size < 0 || (o->size > 0 && size_t(o->size) < sizeof(pv5hdr) + 8))
    return pv5c_fail(h, PV5C_EARG, "buffer size %ld is too small", o->size);
  if (o->name && (o->name[0] != '/' || strlen(o->name) >= 96 || strchr(o->name + 1, '/')))
    return pv5c_fail(h, PV5C_EARG, "bad name \"%s\": one '/' first, at most 95 characters", o->name);
  h->size = o->size ? size_t(o->size) : PV5C_DEFAULT_SIZE;
  h->reply_timeout_ms = o->reply_timeout_ms ? o->reply_timeout_ms : PV5C_DEFAULT_REPLY_TIMEOUT_MS;
  h->stop_timeout_ms = o->stop_timeout_ms > 0 ? o->stop_timeout_ms : PV5C_DEFAULT_STOP_TIMEOUT_MS;
  int start_ms = o->start_timeout_ms > 0 ? o->start_timeout_ms : PV5C_DEFAULT_START_TIMEOUT_MS;
  h->pending = false;

  int rc = create_names(h, o);
  if (rc != PV5C_OK) return rc;
  h->sock = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (h->sock < 0) {
    int e = errno;
    abort_start(h, 0);
    return pv5c_fail(h, PV5C_ESYS, "socket: %s", strerror(e));
  }
  rc = spawn(h, o);
  if (rc != PV5C_OK) {
    char keep[sizeof h->err];
    memcpy(keep, h->err, sizeof keep);
    abort_start(h, 0);
    memcpy(h->err, keep, sizeof keep);
    return rc;
  }

  rc = wait_post(h, start_ms);
  char st[96];
  if (rc == PV5C_ETIMEOUT) {
    abort_start(h, 0);
    return pv5c_fail(h, PV5C_ETIMEOUT, "pv5 did not become ready within %d ms (killed)", start_ms);
  }
  if (rc == PV5C_EDIED) {
    abort_start(h, 0);
    describe_status(h, st, sizeof st);
    return pv5c_fail(h, PV5C_EDIED, "pv5 failed at start-up (%s)", st);
  }
  if (rc != PV5C_OK) return abort_start(h, rc);

  // A start-up that fails after opening the semaphore also posts once, then
  // removes the names and exits; its endpoint was never bound.  A bound
  // endpoint tells a real ready post from that one.
  socklen_t len;
  sockaddr_un a = endpoint(h->name, &len);
  if (connect(h->sock, reinterpret_cast<sockaddr *>(&a), len) != 0) {
    int e = errno;
    if (reap(h, h->stop_timeout_ms)) {
      describe_status(h, st, sizeof st);
      abort_start(h, 0);
      return pv5c_fail(h, PV5C_EDIED, "pv5 failed at start-up (%s)", st);
    }
    abort_start(h, 0);
    return pv5c_fail(h, PV5C_ESYS, "pv5 posted but its endpoint pv5.%s is unreachable: %s", h->name,
                     strerror(e));
  }
  h->running = true;
  return PV5C_OK;
}

int pv5c_stop(pv5c *h, pv5c_stopinfo *info) {
  pv5c_stopinfo local;
  if (!info) info = &local;
  memset(info, 0, sizeof *info);
  if (h->pid <= 0) return pv5c_fail(h, PV5C_ESTATE, "no server is running");
  int rc = PV5C_OK;
  if (!child_gone(h)) {
    kill(h->pid, SIGTERM);
    if (!reap(h, h->stop_timeout_ms)) {
      kill_and_reap(h);
      rc = pv5c_fail(h, PV5C_ETIMEOUT, "pv5 did not stop within %d ms of SIGTERM (killed)", h->stop_timeout_ms);
    }
  }
  if (h->wstatus != -1 && WIFEXITED(h->wstatus)) {
    info->exit_code = WEXITSTATUS(h->wstatus);
  } else {
    info->exit_code = -1;
    if (h->wstatus != -1 && WIFSIGNALED(h->wstatus)) info->signal = WTERMSIG(h->wstatus);
  }
  // The server is gone: whatever is on the semaphore now stays there.
  while (h->sem && sem_trywait(h->sem) == 0) info->posts++;
  remove_names(h, &info->sem_left, &info->shm_left);
  release(h);
  h->pid = 0;
  if (rc == PV5C_OK && info->exit_code != 0) {
    char st[96];
    describe_status(h, st, sizeof st);
    rc = pv5c_fail(h, PV5C_EDIED, "pv5 ended with %s", st);
  }
  return rc;
}

const char *pv5c_error(const pv5c *h) { return h->err; }
const char *pv5c_name(const pv5c *h) { return h->name; }
size_t pv5c_size(const pv5c *h) { return h->running ? h->size : 0; }
void *pv5c_buffer(pv5c *h) { return h->running ? h->buf : nullptr; }
int pv5c_pid(const pv5c *h) { return int(h->pid); }
int pv5c_running(const pv5c *h) { return h->running ? 1 : 0; }

int pv5c_send_id(pv5c *h, int32_t id) {
  if (!h->running) return pv5c_fail(h, PV5C_ESTATE, "no server is running");
  for (;;) {
    if (send(h->sock, &id, sizeof id, 0) == ssize_t(sizeof id)) return PV5C_OK;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == ENOBUFS) {  // the server's queue is full
      if (child_gone(h)) break;
      sleep_ms(1);
      continue;
    }
    int e = errno;
    if (reap(h, h->stop_timeout_ms)) break;
    return pv5c_fail(h, PV5C_ESYS, "sending to pv5.%s: %s", h->name, strerror(e));
  }
  char st[96];
  describe_status(h, st, sizeof st);
  h->running = false;
  return pv5c_fail(h, PV5C_EDIED, "pv5 has ended (%s)", st);
}

int pv5c_send(pv5c *h) {
  if (h->pending) return pv5c_fail(h, PV5C_ESTATE, "a command is still pending");
  int rc = pv5c_send_id(h, PV5_MSG_WORK);
  if (rc == PV5C_OK) h->pending = true;
  return rc;
}

int pv5c_wait(pv5c *h, int timeout_ms, int32_t *reply) {
  if (!h->pending) return pv5c_fail(h, PV5C_ESTATE, "no command is pending");
  int ms = timeout_ms ? timeout_ms : h->reply_timeout_ms;
  int rc = wait_post(h, ms);
  if (rc == PV5C_OK) {
    h->pending = false;
    if (reply) memcpy(reply, static_cast<char *>(h->buf) + PV5_REPLY_OFF, sizeof *reply);
    return PV5C_OK;
  }
  if (rc == PV5C_ETIMEOUT) return pv5c_fail(h, rc, "no reply from pv5 within %d ms", ms);
  if (rc == PV5C_EDIED) {
    char st[96];
    describe_status(h, st, sizeof st);
    h->pending = false;
    h->running = false;
    return pv5c_fail(h, rc, "pv5 ended (%s) while a command was pending", st);
  }
  return rc;
}

int pv5c_trywait(pv5c *h) {
  if (!h->sem) return 0;
  return sem_trywait(h->sem) == 0 ? 1 : 0;
}

int pv5c_command(pv5c *h, size_t len, int32_t *reply) {
  int rc = pv5c_check_room(h, len);
  if (rc != PV5C_OK) return rc;
  rc = pv5c_send(h);
  if (rc != PV5C_OK) return rc;
  return pv5c_wait(h, 0, reply);
}

int pv5c_raw(pv5c *h, const void *rec, size_t len, int32_t *reply) {
  int rc = pv5c_check_room(h, len);
  if (rc != PV5C_OK) return rc;
  memcpy(h->buf, rec, len);
  return pv5c_command(h, len, reply);
}
