// pv5: a plot display server driven by one client process.
//
// The client creates a named semaphore and a shared-memory object, both
// called N, and starts `pv5 N S P [options]`.  pv5 maps the S-byte transmit
// buffer, opens the display (X11, or memory only with --headless), builds a
// hidden window 0, binds the message endpoint "pv5." N and posts the semaphore
// once: ready.  From then on the client writes one command record at offset 0
// of the buffer, sends a datagram carrying the message id 30 and waits on the
// semaphore; the platform loop turns the datagram into a WORK event,
// AppEventHandler (dispatch.cc) checks that the record and its reply fit the
// buffer, runs the operation its two-letter opcode selects, writes the reply
// over the start of the record and posts.  SIGTERM reaches the loop through a
// self-pipe as a SGNL event, which ends the loop; pv5 then removes both names
// and exits 0.  Everything runs on one thread, one command at a time.
//
// Where to read: protocol.h (the records), then server.cc (start-up and
// stop), dispatch.cc (the opcode table and the bounds checks), window.cc (the
// five window slots and their cairo contexts), style.cc and path.cc (line
// state and vector drawing), raster.cc and cursor.cc (images and the graphic
// cursor), winevents.cc (what the user does to windows).  Nothing here talks
// to X: platform/platform.h is the whole of the layer below.
#include <stdio.h>

#include "server.h"

int main(int argc, char **argv) {
  server_args args;
  char err[256];
  if (server_parse_args(argc, argv, &args, err, sizeof err) != 0) {
    fprintf(stderr,
            "pv5:%s; usage: pv5 N S P [--headless] [--display-size WxH] [--snapshot-dir DIR] "
            "[--input PATH]\n",
            err);
    return 1;
  }
  server_run(&args);
}
