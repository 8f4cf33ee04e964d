#include "support/pv5test.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

int remove_entry(const char *path, const struct stat *, int, FTW *) { return remove(path); }

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

TempDir::TempDir() {
  const char *base = getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/pv5test-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  if (mkdtemp(buf.data())) path = buf.data();
}

TempDir::~TempDir() {
  if (!path.empty()) nftw(path.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string read_file(const std::string &path) {
  std::string s;
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return s;
  char b[4096];
  size_t n;
  while ((n = fread(b, 1, sizeof b, f)) > 0) s.append(b, n);
  fclose(f);
  return s;
}

bool write_file(const std::string &path, const std::string &data) {
  FILE *f = fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
  return fclose(f) == 0 && ok;
}

bool file_exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

pv5c_options headless_options() {
  pv5c_options o;
  pv5c_options_init(&o);
  o.server = PV5_BIN;
  o.headless = 1;
  return o;
}

Server::Server() {
  h = pv5c_open();
  std::string p = dir.path + "/stderr.txt";
  err_fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
}

Server::~Server() {
  pv5c_close(h);
  if (err_fd >= 0) close(err_fd);
}

int Server::start(pv5c_options o) {
  o.stderr_fd = err_fd;
  return pv5c_start(h, &o);
}

int Server::start_headless(int display_w, int display_h) {
  pv5c_options o = headless_options();
  o.snapshot_dir = dir.path.c_str();
  o.display_w = display_w;
  o.display_h = display_h;
  return start(o);
}

std::string Server::stderr_text() const { return read_file(dir.path + "/stderr.txt"); }

RunResult run_program(const std::vector<std::string> &argv, const std::string &stdin_text, int timeout_ms) {
  RunResult r;
  TempDir t;
  std::string in = t.path + "/in", out = t.path + "/out", err = t.path + "/err";
  write_file(in, stdin_text);
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int i = open(in.c_str(), O_RDONLY);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (i < 0 || o < 0 || e < 0) _exit(126);
    dup2(i, 0);
    dup2(o, 1);
    dup2(e, 2);
    execv(args[0], args.data());
    _exit(127);
  }
  if (pid < 0) return r;
  int64_t end = now_ms() + timeout_ms;
  int st = 0;
  for (;;) {
    pid_t w = waitpid(pid, &st, WNOHANG);
    if (w == pid) break;
    if (w < 0 && errno != EINTR) break;
    if (now_ms() >= end) {
      r.timed_out = true;
      kill(pid, SIGKILL);
      waitpid(pid, &st, 0);
      break;
    }
    usleep(2000);
  }
  if (!r.timed_out && WIFEXITED(st)) r.exit_code = WEXITSTATUS(st);
  r.out = read_file(out);
  r.err = read_file(err);
  return r;
}

void image_from_surface(cairo_surface_t *s, Image *img) {
  cairo_surface_flush(s);
  img->w = cairo_image_surface_get_width(s);
  img->h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  const unsigned char *data = cairo_image_surface_get_data(s);
  img->px.assign(size_t(img->w) * size_t(img->h), 0);
  for (int y = 0; y < img->h; y++) {
    const uint32_t *row = reinterpret_cast<const uint32_t *>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < img->w; x++) img->px[size_t(y) * size_t(img->w) + size_t(x)] = row[x] & 0xffffffu;
  }
}

bool load_png(const std::string &path, Image *img) {
  cairo_surface_t *s = cairo_image_surface_create_from_png(path.c_str());
  bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
  if (ok) image_from_surface(s, img);
  cairo_surface_destroy(s);
  return ok;
}
