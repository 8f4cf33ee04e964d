// Starts Xvfb with -displayfd and waits on that descriptor (never a sleep):
// the display number arrives when the server is ready.  Its output goes to
// /dev/null, so nothing of it can hold a pipe open.
#include "common/xvfb.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t g_pid = 0;
std::string g_display;

const char *kXvfb = "Xvfb";
const int kReadyTimeoutMs = 30000;

void stop_xvfb() {
  if (g_pid > 0) {
    kill(g_pid, SIGTERM);
    waitpid(g_pid, nullptr, 0);
    g_pid = 0;
  }
}

bool on_path(const char *prog) {
  const char *path = getenv("PATH");
  std::string p = path ? path : "/usr/bin:/bin";
  size_t i = 0;
  for (;;) {
    size_t e = p.find(':', i);
    std::string dir = p.substr(i, e == std::string::npos ? std::string::npos : e - i);
    std::string f = (dir.empty() ? "." : dir) + "/" + prog;
    if (access(f.c_str(), X_OK) == 0) return true;
    if (e == std::string::npos) return false;
    i = e + 1;
  }
}

}  // namespace

bool xvfb_available() { return on_path(kXvfb); }

std::string xvfb_display(std::string *err) {
  if (!g_display.empty()) return g_display;
  if (!xvfb_available()) {
    *err = "Xvfb is not installed";
    return "";
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *err = std::string("pipe: ") + strerror(errno);
    return "";
  }
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    int fd = dup(fds[1]);  // a copy without close-on-exec
    char fdtext[16];
    snprintf(fdtext, sizeof fdtext, "%d", fd);
    execlp(kXvfb, kXvfb, "-displayfd", fdtext, "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
           static_cast<char *>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    *err = std::string("fork: ") + strerror(errno);
    return "";
  }
  g_pid = pid;
  atexit(stop_xvfb);
  std::string num;
  for (;;) {
    pollfd p = {fds[0], POLLIN, 0};
    int r = poll(&p, 1, kReadyTimeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) {
      *err = "Xvfb did not report a display within 30 s";
      break;
    }
    char c;
    ssize_t n = read(fds[0], &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *err = "Xvfb ended without reporting a display";
      break;
    }
    if (c == '\n') {
      g_display = ":" + num;
      break;
    }
    num += c;
  }
  close(fds[0]);
  if (g_display.empty()) stop_xvfb();
  return g_display;
}

bool xvfb_export_display(std::string *err) {
  std::string d = xvfb_display(err);
  if (d.empty()) return false;
  setenv("DISPLAY", d.c_str(), 1);
  return true;
}
