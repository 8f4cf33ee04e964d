// Finding a window for the X test helpers: "root", a window id (decimal or
// 0x hex), or the exact title of a top-level window (WM_NAME), also below a
// window manager's frame.
#ifndef PV5_TOOLS_XWIN_H
#define PV5_TOOLS_XWIN_H

#include <X11/Xlib.h>
#include <stdlib.h>
#include <string.h>

static Window xwin_titled(Display *d, Window w, const char *title, int depth) {
  char *name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    bool same = strcmp(name, title) == 0;
    XFree(name);
    if (same) return w;
  }
  if (depth == 0) return 0;
  Window r, parent, *kids = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &r, &parent, &kids, &n)) {
    for (unsigned i = 0; i < n && !found; i++) found = xwin_titled(d, kids[i], title, depth - 1);
    if (kids) XFree(kids);
  }
  return found;
}

// Answers the window, or 0 when there is none.
static inline Window xwin_find(Display *d, const char *which) {
  if (strcmp(which, "root") == 0) return DefaultRootWindow(d);
  char *end;
  unsigned long id = strtoul(which, &end, 0);
  if (*which && *end == 0) return Window(id);
  return xwin_titled(d, DefaultRootWindow(d), which, 2);
}

#endif  // PV5_TOOLS_XWIN_H
