// The X11 backend (being written).
#include "internal.h"

static int x_open(const plat_options *, char *err, int errlen) {
  plat_errtext(err, errlen, "X11 backend not available yet");
  return -1;
}
static void x_close() {}

const plat_ops plat_x11_ops = {x_open,  x_close, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
