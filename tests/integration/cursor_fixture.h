// A headless pv5 driven through the client library, with the user's actions
// scripted into a FIFO given as --input, and what it showed read back from
// its snapshots and events log.  Shared by the cursor and window-event tests.
#ifndef PV5_TESTS_CURSOR_FIXTURE_H
#define PV5_TESTS_CURSOR_FIXTURE_H

#include <cairo.h>
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/pixels.h"
#include "common/xvfb.h"
#include "pv5client/pv5client.h"

namespace cursortest {

// Generous: these only bound a wait for something that does happen.
constexpr int kWaitMs = 30000;

inline long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

inline void pause_briefly() {
  timespec ts{0, 5 * 1000 * 1000};
  nanosleep(&ts, nullptr);
}

// A snapshot PNG held as an image surface.
struct Picture {
  cairo_surface_t *s = nullptr;
  Picture() = default;
  Picture(const Picture &) = delete;
  Picture &operator=(const Picture &) = delete;
  ~Picture() { reset(); }
  void reset() {
    if (s) cairo_surface_destroy(s);
    s = nullptr;
  }
  bool load(const std::string &path) {
    reset();
    s = cairo_image_surface_create_from_png(path.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) return true;
    reset();
    return false;
  }
  int w() const { return s ? cairo_image_surface_get_width(s) : 0; }
  int h() const { return s ? cairo_image_surface_get_height(s) : 0; }
  // Darkest green value in the 3 x 3 block around pixel (x, y), y down;
  // 255 outside the picture.
  int darkest(int x, int y) const { return s ? darkest_green(s, x, y) : 255; }
  bool dark(int x, int y) const { return darkest(x, y) < 128; }
  bool white(int x, int y) const { return darkest(x, y) > 220; }
};

class HeadlessServer : public ::testing::Test {
 protected:
  pv5c *h = nullptr;
  std::string dir;
  int fifo = -1;

  void SetUp() override {
    char tmpl[] = "/tmp/pv5curXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }

  void TearDown() override {
    if (fifo >= 0) close(fifo);
    if (h) pv5c_close(h);
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }

  // Starts pv5 headless on a display display_w pixels wide.
  void Start(int display_w = 1000, int display_h = 800) {
    std::string in = dir + "/input";
    ASSERT_EQ(mkfifo(in.c_str(), 0600), 0);
    h = pv5c_open();
    ASSERT_NE(h, nullptr);
    pv5c_options o;
    pv5c_options_init(&o);
    o.server = PV5_BIN;
    o.headless = 1;
    o.snapshot_dir = dir.c_str();
    o.input = in.c_str();
    o.display_w = display_w;
    o.display_h = display_h;
    ASSERT_EQ(pv5c_start(h, &o), PV5C_OK) << pv5c_error(h);
    // The server holds the FIFO open read-write, so this does not block.
    fifo = open(in.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fifo, 0) << strerror(errno);
  }

  // Window 1 with content from x 200 to 600 and y 100 to 400 (400 x 300)
  // on the 1000-pixel display; it becomes the current window.
  void Window1() {
    int32_t reply = 99;
    ASSERT_EQ(pv5c_cr(h, 1, 0.1f, 0.2f, 0.6f, 0.4f, &reply), PV5C_OK) << pv5c_error(h);
    ASSERT_EQ(reply, 0);
  }

  // The user does what the lines say.
  void Act(const std::string &lines) {
    ASSERT_EQ(write(fifo, lines.data(), lines.size()), ssize_t(lines.size()));
  }

  std::string Log() const {
    std::ifstream f(dir + "/events.log");
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }

  // Lines of the events log equal to line.
  int LogCount(const std::string &line) const {
    std::istringstream in(Log());
    std::string l;
    int n = 0;
    while (std::getline(in, l))
      if (l == line) n++;
    return n;
  }

  // Waits until the events log holds at least n lines equal to line.
  bool WaitLog(const std::string &line, int n) const {
    long long end = now_ms() + kWaitMs;
    while (now_ms() < end) {
      if (LogCount(line) >= n) return true;
      pause_briefly();
    }
    return false;
  }

  // Acts, then waits for the window's next presented frame and loads it.
  void ActAndSnap(const std::string &lines, int k, Picture *p) {
    std::string flushed = "flush " + std::to_string(k);
    int before = LogCount(flushed);
    Act(lines);
    ASSERT_TRUE(WaitLog(flushed, before + 1)) << Log();
    ASSERT_TRUE(p->load(dir + "/window" + std::to_string(k) + ".png"));
  }

  // Sends "cc" (or "ct" when text) for window k and waits until the cross
  // hair is up: the cursor presents the plot, then the plot with the overlay.
  void CursorUp(bool text, int opts, float ax, float ay, int k = 1) {
    std::string flushed = "flush " + std::to_string(k);
    int before = LogCount(flushed);
    ASSERT_EQ(text ? pv5c_ct_send(h, opts, ax, ay) : pv5c_cc_send(h, opts, ax, ay), PV5C_OK)
        << pv5c_error(h);
    ASSERT_TRUE(WaitLog(flushed, before + 2)) << Log();
  }

  bool Snap(int k, Picture *p) { return p->load(dir + "/window" + std::to_string(k) + ".png"); }
};

// ------------------------------------------------------------ under Xvfb

// A program built beside pv5: the platform's X helpers live in its
// platform/ folder.
inline std::string tool(const char *name) {
  std::string bin = PV5_BIN;
  return bin.substr(0, bin.rfind('/')) + "/platform/" + name;
}

// Runs a shell command; its exit status.
inline int sh(const std::string &cmd) {
  int st = system(cmd.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The first line a shell command prints.
inline std::string sh_line(const std::string &cmd) {
  FILE *f = popen(cmd.c_str(), "r");
  if (!f) return "";
  char line[256] = "";
  if (!fgets(line, sizeof line, f)) line[0] = 0;
  pclose(f);
  std::string s = line;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

// pv5 on the Xvfb display, with snapshots and the events log in dir.
class X11Server : public HeadlessServer {
 protected:
  static std::string skip;

  static void SetUpTestSuite() {
    skip.clear();
    if (!xvfb_export_display(&skip)) return;
    if (access("/usr/bin/xdotool", X_OK) != 0) skip = "xdotool is not installed";
    if (skip.empty() && access(tool("xsendclose").c_str(), X_OK) != 0) skip = "xsendclose not built";
    if (skip.empty() && access(tool("xgrab").c_str(), X_OK) != 0) skip = "xgrab not built";
  }
  void SetUp() override {
    if (!skip.empty()) GTEST_SKIP() << skip;
    HeadlessServer::SetUp();
    h = pv5c_open();
    ASSERT_NE(h, nullptr);
    pv5c_options o;
    pv5c_options_init(&o);
    o.server = PV5_BIN;
    o.snapshot_dir = dir.c_str();
    ASSERT_EQ(pv5c_start(h, &o), PV5C_OK) << pv5c_error(h);
  }

  // Window 1 at (256, 128), 512 x 384 pixels on the 1280-pixel screen; its
  // X window id for xdotool.
  std::string XWindow1() {
    int32_t reply = -9;
    EXPECT_EQ(pv5c_cr(h, 1, 0.1f, 0.2f, 0.6f, 0.4f, &reply), PV5C_OK) << pv5c_error(h);
    EXPECT_EQ(reply, 0);
    EXPECT_EQ(pv5c_fl(h, &reply), PV5C_OK);
    std::string id;
    long long end = now_ms() + kWaitMs;
    while (id.empty() && now_ms() < end) {
      id = sh_line("xdotool search --name '^TQV 2 - active$' 2>/dev/null");
      if (id.empty()) pause_briefly();
    }
    EXPECT_FALSE(id.empty());
    return id;
  }

  // Moves the pointer (and so the focus) and waits for the cross hair to
  // follow: one more frame of window k.
  void PointerTo(int gx, int gy, int k = 1) {
    std::string flushed = "flush " + std::to_string(k);
    int before = LogCount(flushed);
    ASSERT_EQ(sh("xdotool mousemove --sync " + std::to_string(gx) + " " + std::to_string(gy)), 0);
    ASSERT_TRUE(WaitLog(flushed, before + 1)) << Log();
  }

  // What the X window shows now, through XGetImage.
  void Grab(const std::string &xid, const std::string &out, Picture *p) {
    ASSERT_EQ(sh(tool("xgrab") + " " + xid + " '" + out + "'"), 0);
    ASSERT_TRUE(p->load(out));
  }
};

inline std::string X11Server::skip;

}  // namespace cursortest

#endif  // PV5_TESTS_CURSOR_FIXTURE_H
