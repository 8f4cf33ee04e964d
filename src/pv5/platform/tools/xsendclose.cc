// xsendclose WINDOW: asks a window to close the way a window manager's close
// box does, with WM_PROTOCOLS / WM_DELETE_WINDOW sent by XSendEvent (unlike
// destroying it).  WINDOW is "root", an id or an exact title.
#include <X11/Xlib.h>
#include <stdio.h>

#include "xwin.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: xsendclose WINDOW\n");
    return 2;
  }
  Display *d = XOpenDisplay(nullptr);
  if (!d) {
    fprintf(stderr, "xsendclose: cannot open display\n");
    return 1;
  }
  Window w = xwin_find(d, argv[1]);
  if (!w) {
    fprintf(stderr, "xsendclose: no window %s\n", argv[1]);
    return 1;
  }
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  Status ok = XSendEvent(d, w, False, NoEventMask, &e);
  XSync(d, False);
  XCloseDisplay(d);
  return ok ? 0 : 1;
}
