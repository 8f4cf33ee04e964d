// pv5_bench: what a command costs through the client library, against the
// floor the protocol allows, all measured in one run.
//
//   round trips   "ru" and "fl" commands per second to a headless pv5,
//                 against a bare semaphore + datagram ping-pong between two
//                 processes (the same two kernel objects, nothing else);
//   drawing       line segments per second for "dr" records of 1000-point
//                 polylines, against cairo stroking the same polylines into
//                 a surface of the same size in this process.
//
// usage: pv5_bench [PV5_PATH]
#include <cairo.h>
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <semaphore.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "pv5client.h"

namespace {

double now_s() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

[[noreturn]] void die(const char *what, pv5c *h) {
  fprintf(stderr, "pv5_bench: %s: %s\n", what, h ? pv5c_error(h) : strerror(errno));
  exit(1);
}

// The floor: a child that posts the semaphore for every datagram it gets.
double pingpong_per_s(int n) {
  char name[64];
  snprintf(name, sizeof name, "/pv5bench-%d", int(getpid()));
  sem_t *sem = sem_open(name, O_CREAT | O_EXCL, 0600, 0);
  if (sem == SEM_FAILED) die("sem_open", nullptr);
  sem_unlink(name);
  sockaddr_un a;
  memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  int len = snprintf(a.sun_path + 1, sizeof a.sun_path - 1, "pv5bench.%d", int(getpid()));
  socklen_t alen = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + len);
  int srv = socket(AF_UNIX, SOCK_DGRAM, 0);
  if (srv < 0 || bind(srv, reinterpret_cast<sockaddr *>(&a), alen) != 0) die("bind", nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    int32_t id;
    while (recv(srv, &id, sizeof id, 0) == ssize_t(sizeof id) && id == 30) sem_post(sem);
    _exit(0);
  }
  close(srv);
  int cli = socket(AF_UNIX, SOCK_DGRAM, 0);
  if (connect(cli, reinterpret_cast<sockaddr *>(&a), alen) != 0) die("connect", nullptr);
  int32_t id = 30;
  for (int i = 0; i < n / 10; i++) {  // warm up
    send(cli, &id, sizeof id, 0);
    sem_wait(sem);
  }
  double t0 = now_s();
  for (int i = 0; i < n; i++) {
    send(cli, &id, sizeof id, 0);
    sem_wait(sem);
  }
  double rate = n / (now_s() - t0);
  id = 0;
  send(cli, &id, sizeof id, 0);
  waitpid(pid, nullptr, 0);
  close(cli);
  sem_close(sem);
  return rate;
}

double commands_per_s(pv5c *h, bool flush, int n) {
  int32_t r;
  for (int i = 0; i < n / 10; i++)
    if ((flush ? pv5c_fl(h, &r) : pv5c_ru(h, nullptr, nullptr, nullptr, &r)) != PV5C_OK) die("warm-up", h);
  double t0 = now_s();
  for (int i = 0; i < n; i++)
    if ((flush ? pv5c_fl(h, &r) : pv5c_ru(h, nullptr, nullptr, nullptr, &r)) != PV5C_OK) die("command", h);
  return n / (now_s() - t0);
}

// Random walks across the window, in plot coordinates (x 0..1, y 0..0.8).
std::vector<std::vector<float>> polylines(int count, int npts) {
  std::vector<std::vector<float>> v(size_t(count), std::vector<float>(size_t(2 * npts)));
  unsigned seed = 12345;
  auto rnd = [&] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 8) & 0xffff) / 65535.0f;
  };
  for (auto &p : v) {
    float x = rnd(), y = rnd() * 0.8f;
    for (int i = 0; i < npts; i++) {
      x += (rnd() - 0.5f) * 0.02f;
      y += (rnd() - 0.5f) * 0.02f;
      x = x < 0 ? 0 : x > 1 ? 1 : x;
      y = y < 0 ? 0 : y > 0.8f ? 0.8f : y;
      p[size_t(i)] = x;
      p[size_t(npts + i)] = y;
    }
  }
  return v;
}

const int kNpts = 1000, kGroups = 10, kRecords = 60;
const float kDisplayW = 1280, kWinFrac = 0.75f;  // window 960 x 768

double dr_segments_per_s(pv5c *h, const std::vector<std::vector<float>> &pl) {
  std::vector<pv5c_line> lines;
  for (const auto &p : pl) lines.push_back({kNpts, 1, 1, 0, p.data(), p.data() + kNpts});
  int32_t r;
  if (pv5c_dr(h, kGroups, lines.data(), &r) != PV5C_OK || r != 0) die("dr", h);  // warm up
  double t0 = now_s();
  for (int i = 0; i < kRecords; i++)
    if (pv5c_dr(h, kGroups, lines.data() + (i % 5) * kGroups, &r) != PV5C_OK) die("dr", h);
  return double(kRecords) * kGroups * (kNpts - 1) / (now_s() - t0);
}

// The same strokes with cairo in this process: the drawing floor.
double cairo_segments_per_s(const std::vector<std::vector<float>> &pl) {
  int w = int(kDisplayW * kWinFrac), ht = int(kDisplayW * 0.6f);
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, ht);
  cairo_t *cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_translate(cr, 0, ht);
  cairo_scale(cr, w / kDisplayW, -w / kDisplayW);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_width(cr, 1);
  cairo_set_source_rgb(cr, 0, 0, 0);
  auto stroke = [&](const std::vector<float> &p) {
    cairo_new_path(cr);
    cairo_move_to(cr, p[0] * kDisplayW, p[size_t(kNpts)] * kDisplayW);
    for (int i = 1; i < kNpts; i++) cairo_line_to(cr, p[size_t(i)] * kDisplayW, p[size_t(kNpts + i)] * kDisplayW);
    cairo_stroke(cr);
  };
  for (int g = 0; g < kGroups; g++) stroke(pl[size_t(g)]);
  double t0 = now_s();
  for (int i = 0; i < kRecords; i++)
    for (int g = 0; g < kGroups; g++) stroke(pl[size_t((i % 5) * kGroups + g)]);
  double rate = double(kRecords) * kGroups * (kNpts - 1) / (now_s() - t0);
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return rate;
}

}  // namespace

int main(int argc, char **argv) {
  // The same allocator settings as pv5, so the floor is a fair one.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  pv5c *h = pv5c_open();
  pv5c_options o;
  pv5c_options_init(&o);
  o.server = argc > 1 ? argv[1] : PV5_BIN;
  o.headless = 1;
  o.size = 1 << 20;
  if (pv5c_start(h, &o) != PV5C_OK) die("start", h);
  int32_t r;
  if (pv5c_cr(h, 1, 0.0f, 0.0f, kWinFrac, 0.6f, &r) != PV5C_OK || r != 0) die("cr", h);

  const int n = 20000;
  double floor = pingpong_per_s(n);
  double ru = commands_per_s(h, false, n);
  double fl = commands_per_s(h, true, n);
  printf("round trips (%d each)\n", n);
  printf("  semaphore + datagram ping-pong  %9.0f /s\n", floor);
  printf("  \"ru\" through pv5client         %9.0f /s   %.2f of the ping-pong\n", ru, ru / floor);
  printf("  \"fl\" through pv5client         %9.0f /s   %.2f of the ping-pong\n", fl, fl / floor);

  auto pl = polylines(5 * kGroups, kNpts);
  double base = cairo_segments_per_s(pl);
  double dr = dr_segments_per_s(h, pl);
  printf("line segments (%d records of %d polylines of %d points, 960 x 768 window)\n", kRecords, kGroups, kNpts);
  printf("  cairo in this process           %9.0f /s\n", base);
  printf("  \"dr\" through pv5               %9.0f /s   %.2f of cairo alone\n", dr, dr / base);

  pv5c_stopinfo info;
  if (pv5c_stop(h, &info) != PV5C_OK) die("stop", h);
  pv5c_close(h);
  return 0;
}
