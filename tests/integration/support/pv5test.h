// Helpers for tests that run the real pv5 (and pv5ctl): temporary folders, a
// server started through the client library with its standard error
// captured, programs run to completion with their output captured, and PNG
// snapshots read back with cairo.
#ifndef PV5_TEST_PV5TEST_H
#define PV5_TEST_PV5TEST_H

#include <cairo.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "pv5client.h"

struct TempDir {
  std::string path;
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
};

std::string read_file(const std::string &path);
bool write_file(const std::string &path, const std::string &data);
bool file_exists(const std::string &path);

// Options for a headless pv5 from this build.
pv5c_options headless_options();

// One server driven through the library; its standard error goes to a file
// in its own temporary folder, where its snapshots go too (snapshot_dir()).
struct Server {
  pv5c *h = nullptr;
  TempDir dir;
  int err_fd = -1;
  Server();
  ~Server();
  Server(const Server &) = delete;
  Server &operator=(const Server &) = delete;
  // Starts pv5 with o (stderr_fd is set here); answers the library's status.
  int start(pv5c_options o);
  // Headless, snapshots into snapshot_dir(), with the given display size.
  int start_headless(int display_w = 0, int display_h = 0);
  std::string snapshot_dir() const { return dir.path; }
  std::string snapshot(int k) const { return dir.path + "/window" + std::to_string(k) + ".png"; }
  std::string stderr_text() const;
};

struct RunResult {
  int exit_code = -1;  // -1 when it did not exit normally
  bool timed_out = false;
  std::string out, err;
};
// Runs argv[0] (a path) with stdin from the text, to its end or the timeout
// (then SIGKILL), and collects its standard output and error.
RunResult run_program(const std::vector<std::string> &argv, const std::string &stdin_text = "",
                      int timeout_ms = 60000);

// A PNG (or a screenshot) as 0xRRGGBB pixels.
struct Image {
  int w = 0, h = 0;
  std::vector<uint32_t> px;
  uint32_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};
bool load_png(const std::string &path, Image *img);
// Copies an RGB24 or ARGB32 surface (alpha dropped).
void image_from_surface(cairo_surface_t *s, Image *img);

#endif
