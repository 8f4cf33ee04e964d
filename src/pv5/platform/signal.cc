// The signal source: a self-pipe.  The handler writes the 4-byte signal
// number into it and does nothing else; the loop reads it and makes the SGNL
// event.  Writes of 4 bytes to a pipe are atomic, so reads stay aligned.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include "internal.h"

static bool hooked[NSIG];

static void signal_handler(int sig) {
  int saved = errno;
  int32_t s = sig;
  // A full pipe already holds signals the loop has yet to see: dropping
  // this one loses nothing the loop would do differently.
  ssize_t r = write(plat.sigpipe[1], &s, sizeof s);
  (void)r;
  errno = saved;
}

int plat_signal_install(int sig) {
  if (sig <= 0 || sig >= NSIG) {
    errno = EINVAL;
    return -1;
  }
  if (plat.sigpipe[0] < 0 && pipe2(plat.sigpipe, O_NONBLOCK | O_CLOEXEC) < 0) {
    plat.sigpipe[0] = plat.sigpipe[1] = -1;
    return -1;
  }
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = signal_handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  if (sigaction(sig, &sa, nullptr) < 0) return -1;
  hooked[sig] = true;
  return 0;
}

int plat_signal_take(plat_event *ev) {
  if (plat.sigpipe[0] < 0) return 0;
  int32_t s;
  ssize_t n;
  do {
    n = read(plat.sigpipe[0], &s, sizeof s);
  } while (n < 0 && errno == EINTR);
  if (n != sizeof s) return 0;
  *ev = plat_event{kPlatClassSignal, uint32_t(s), nullptr, 0, 0, 0};
  return 1;
}

void plat_signal_close() {
  for (int s = 1; s < NSIG; s++) {
    if (hooked[s]) signal(s, SIG_DFL);
    hooked[s] = false;
  }
  if (plat.sigpipe[0] >= 0) {
    close(plat.sigpipe[0]);
    close(plat.sigpipe[1]);
  }
  plat.sigpipe[0] = plat.sigpipe[1] = -1;
}
