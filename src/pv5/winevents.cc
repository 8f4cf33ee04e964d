// Window events: not built yet; the user's window actions are left alone.
#include "pv5.h"

int32_t QuartzEventHandler(const plat_event *, void *) { return kPlatNotHandled; }
