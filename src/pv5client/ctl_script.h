// The script language of pv5ctl: one command a line, executed against a
// running server, each answered by one line of output.
#ifndef PV5CTL_SCRIPT_H
#define PV5CTL_SCRIPT_H

#include <stdio.h>

#include "pv5client.h"

// Runs one script line (comments and blank lines do nothing) and prints its
// reply line to out.  Answers 0, or -1 with a one-line reason in err (a
// malformed line, or a failure of the client library).  A reply word of -1
// from the server is an answer, not a failure.
int ctl_run_line(pv5c *h, const char *line, FILE *out, char *err, size_t errlen);

// The script commands, for the usage text.
extern const char kCtlScriptHelp[];

#endif
