// pv5ctl: starts a pv5 server through the client library, drives it from a
// small text script (a file, or standard input), one command a line, and
// prints one reply line per command on standard output.  At the end of the
// script it stops the server with SIGTERM.  Errors are single "pv5ctl:"
// lines on standard error and exit status 1.
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ctl_script.h"
#include "pv5client.h"

namespace {

void usage(FILE *f) {
  fprintf(f,
          "usage: pv5ctl [options] [SCRIPT | -]\n"
          "  --server PATH        pv5 to run (default: pv5 beside pv5ctl, then PATH)\n"
          "  --headless           no display: windows in memory only\n"
          "  --snapshot-dir DIR   write DIR/window<k>.png on every flush\n"
          "  --display-size WxH   headless display size\n"
          "  --input PATH         headless scripted user actions\n"
          "  --size BYTES         transmit buffer size (default %d)\n"
          "  --name /N            name of the semaphore, buffer and endpoint\n"
          "  --timeout SECONDS    reply timeout (cursor commands wait for the user)\n"
          "%s",
          PV5C_DEFAULT_SIZE, kCtlScriptHelp);
}

// pv5 beside this program, or in the build tree's sibling folder, else the
// bare name for a PATH search.
std::string default_server() {
  char self[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    self[n] = 0;
    std::string dir(self);
    dir.erase(dir.rfind('/') + 1);
    for (const char *rel : {"pv5", "../pv5/pv5"}) {
      std::string p = dir + rel;
      if (access(p.c_str(), X_OK) == 0) return p;
    }
  }
  return "pv5";
}

[[noreturn]] void die(const char *fmt, const char *a) {
  fprintf(stderr, "pv5ctl: ");
  fprintf(stderr, fmt, a);
  fputc('\n', stderr);
  exit(1);
}

}  // namespace

int main(int argc, char **argv) {
  pv5c_options o;
  pv5c_options_init(&o);
  std::string server = "";
  const char *script = nullptr;
  for (int i = 1; i < argc; i++) {
    std::string a = argv[i];
    auto value = [&]() -> const char * {
      if (i + 1 >= argc) die("%s needs a value", argv[i]);
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else if (a == "--server") {
      server = value();
    } else if (a == "--headless") {
      o.headless = 1;
    } else if (a == "--snapshot-dir") {
      o.snapshot_dir = value();
    } else if (a == "--display-size") {
      const char *v = value();
      if (sscanf(v, "%dx%d", &o.display_w, &o.display_h) != 2 || o.display_w < 1 || o.display_h < 1)
        die("bad display size '%s' (WxH)", v);
    } else if (a == "--input") {
      o.input = value();
    } else if (a == "--size") {
      const char *v = value();
      char *end;
      o.size = strtol(v, &end, 10);
      if (*end || o.size < 1) die("bad size '%s'", v);
    } else if (a == "--name") {
      o.name = value();
    } else if (a == "--timeout") {
      const char *v = value();
      char *end;
      double s = strtod(v, &end);
      if (*end || !(s > 0 && s < 1e6)) die("bad timeout '%s'", v);
      o.reply_timeout_ms = int(s * 1000);
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      fprintf(stderr, "pv5ctl: unknown option '%s'\n", a.c_str());
      usage(stderr);
      return 1;
    } else if (!script) {
      script = argv[i];
    } else {
      die("more than one script: '%s'", argv[i]);
    }
  }
  if (server.empty()) server = default_server();
  o.server = server.c_str();
  // Snapshots are what a headless run is for: make their folder if need be.
  if (o.snapshot_dir && mkdir(o.snapshot_dir, 0777) != 0 && errno != EEXIST) {
    fprintf(stderr, "pv5ctl: cannot make the snapshot folder %s: %s\n", o.snapshot_dir, strerror(errno));
    return 1;
  }

  FILE *in = stdin;
  if (script && strcmp(script, "-") != 0) {
    in = fopen(script, "r");
    if (!in) {
      fprintf(stderr, "pv5ctl: cannot open %s: %s\n", script, strerror(errno));
      return 1;
    }
  }

  pv5c *h = pv5c_open();
  if (!h) die("%s", "out of memory");
  if (pv5c_start(h, &o) != PV5C_OK) {
    fprintf(stderr, "pv5ctl: %s\n", pv5c_error(h));
    pv5c_close(h);
    return 1;
  }

  int status = 0;
  char *line = nullptr;
  size_t cap = 0;
  char err[600];
  for (int n = 1; getline(&line, &cap, in) >= 0; n++) {
    if (ctl_run_line(h, line, stdout, err, sizeof err) != 0) {
      fflush(stdout);
      fprintf(stderr, "pv5ctl: line %d: %s\n", n, err);
      status = 1;
      break;
    }
  }
  free(line);
  if (in != stdin) fclose(in);
  fflush(stdout);

  pv5c_stopinfo info;
  if (pv5c_stop(h, &info) != PV5C_OK && status == 0) {
    fprintf(stderr, "pv5ctl: %s\n", pv5c_error(h));
    status = 1;
  }
  pv5c_close(h);
  return status;
}
