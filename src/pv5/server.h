// Start-up, shutdown and the record executor: what pv5.h does not already
// declare.  Tests drive dispatch() on a buffer of their own, without events or
// a semaphore.
#ifndef PV5_SERVER_H
#define PV5_SERVER_H

#include <semaphore.h>
#include <stddef.h>
#include <stdint.h>

#include "platform/platform.h"

// ------------------------------------------------ start-up (server.cc)
extern int32_t pid;  // the client's process id; recorded, never read
extern sem_t *sem;   // semaphore N; AppEventHandler posts it when not null
extern int fd;       // descriptor of the shared-memory object N; -1 before

// The command line, split: three positionals and the platform options.
struct server_args {
  const char *name;  // N
  const char *size;  // S, as text (converted as atol does)
  const char *pid;   // P, as text
  plat_options opt;
};

// Splits argv.  Answers 0, or -1 with a one-line reason in err (no "pv5:").
int server_parse_args(int argc, char **argv, server_args *args, char *err, size_t errlen);

// Runs start-up, the event loop and the normal stop; never returns.  Every
// start-up failure ends the process with status 1, after the abandon path
// once the semaphore is open.
[[noreturn]] void server_run(const server_args *args);

// Posts the semaphore once, closes it, removes both names and exits 1.
[[noreturn]] void abandon(const char *name);

// ------------------------------------------------ dispatcher (dispatch.cc)
// Executes the record at buf[0..size) and writes its reply there.  Every byte
// the record and its reply use is checked against size first; a record that
// does not fit is answered -1 with a "pv5:" line and changes nothing.
// Answers the reply word (also when size is too small to hold it).
int32_t dispatch(unsigned char *buf, size_t size);

#endif  // PV5_SERVER_H
