// The message endpoint: an abstract AF_UNIX datagram socket "pv5." N.
//
// SO_PASSCRED is set before bind, so every datagram arrives with its
// sender's credentials, filled in by the kernel and unforgeable; only our
// own uid may drive the server.  The first 4 bytes of a datagram are the
// message id (native int32); the rest is ignored.
#include <errno.h>
#include <stddef.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "internal.h"

int plat_msgport_open(const char *name) {
  if (plat.msgfd >= 0) {
    errno = EALREADY;  // one endpoint per process
    return -1;
  }
  sockaddr_un addr;
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  size_t len = strlen(name);
  // Abstract name: a leading NUL, then "pv5." N, not NUL-terminated.
  if (4 + len > sizeof addr.sun_path - 1) {
    errno = ENAMETOOLONG;
    return -1;
  }
  memcpy(addr.sun_path + 1, "pv5.", 4);
  memcpy(addr.sun_path + 5, name, len);
  socklen_t alen = socklen_t(offsetof(sockaddr_un, sun_path) + 5 + len);

  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_PASSCRED, &on, sizeof on) < 0 ||
      bind(fd, reinterpret_cast<sockaddr *>(&addr), alen) < 0) {
    int e = errno;
    close(fd);
    errno = e;
    return -1;
  }
  plat.msgfd = fd;
  return 0;
}

void plat_msgport_close() {
  if (plat.msgfd >= 0) close(plat.msgfd);
  plat.msgfd = -1;
}

// Takes one datagram; answers 1 with a WORK event, 0 when none is waiting.
// Datagrams from other users or shorter than 4 bytes are dropped.
int plat_msgport_take(plat_event *ev) {
  if (plat.msgfd < 0) return 0;
  for (;;) {
    unsigned char data[16];
    union {
      cmsghdr align;
      char buf[CMSG_SPACE(sizeof(ucred))];
    } ctl;
    iovec iov = {data, sizeof data};
    msghdr msg;
    memset(&msg, 0, sizeof msg);
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = ctl.buf;
    msg.msg_controllen = sizeof ctl.buf;
    ssize_t n = recvmsg(plat.msgfd, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n < 0) {
      if (errno == EINTR) continue;
      return 0;
    }
    bool ours = false;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_CREDENTIALS &&
          c->cmsg_len >= CMSG_LEN(sizeof(ucred))) {
        ucred cr;
        memcpy(&cr, CMSG_DATA(c), sizeof cr);
        ours = cr.uid == getuid();
      }
    }
    if (!ours || n < 4) continue;
    int32_t id;
    memcpy(&id, data, 4);
    *ev = plat_event{kPlatClassWork, uint32_t(id), nullptr, 0, 0, 0};
    return 1;
  }
}
