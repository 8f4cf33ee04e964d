// A private X server for tests: one Xvfb per test program, started on first
// use and ended when the program exits.
#ifndef PV5_TEST_XVFB_H
#define PV5_TEST_XVFB_H

#include <string>

// True when the Xvfb program is installed (tests skip when it is not).
bool xvfb_available();
// The display name (":N") of the running Xvfb, starting it on first call
// with a 1280x1024x24 screen.  Empty, with the reason in *err, when it could
// not be started.  The server is ready when this returns: Xvfb writes its
// display number to -displayfd only once it accepts connections.
std::string xvfb_display(std::string *err);
// Sets DISPLAY to the Xvfb's display, so that child processes use it.
// Answers false (with *err) when there is none.
bool xvfb_export_display(std::string *err);

#endif
