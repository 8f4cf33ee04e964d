// State of one client handle, shared by the files of the library.
#ifndef PV5CLIENT_INTERNAL_H
#define PV5CLIENT_INTERNAL_H

#include <semaphore.h>
#include <stdarg.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/un.h>

#include "pv5client.h"

struct pv5c {
  char name[96];       // N as given to pv5
  size_t size;         // S
  sem_t *sem;          // our handle of semaphore N, or null
  void *buf;           // the mapped buffer, or null
  int sock;            // datagram socket connected to "pv5." N, or -1
  pid_t pid;           // the server, or 0
  bool reaped;         // the server's status has been collected
  int wstatus;         // its wait status once reaped
  bool running;        // started and not yet stopped
  bool pending;        // a record was sent and its post not yet taken
  int reply_timeout_ms;
  int stop_timeout_ms;
  char err[512];
};

// Fills h->err like printf; answers code, so failures read `return fail(...)`.
int pv5c_fail(pv5c *h, int code, const char *fmt, ...) __attribute__((format(printf, 3, 4)));
// Checks that a record of len bytes fits the buffer and no command is
// pending; answers PV5C_OK or a failure.
int pv5c_check_room(pv5c *h, size_t len);

#endif
