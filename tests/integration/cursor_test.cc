// The graphic cursor end to end: "cc" and "ct" sent through the client
// library to a real pv5, answered by scripted user actions (headless --input)
// written while the command is pending.
//
// Window 1 is 400 x 300 pixels at (200, 100) on a display 1000 pixels wide:
// global pixel (h, v) inside it is plot ((h - 200) / 400, (400 - v) / 400).
#include <signal.h>
#include <sys/wait.h>

#include "cursor_fixture.h"

namespace {

using cursortest::HeadlessServer;
using cursortest::sh;
using cursortest::X11Server;
using cursortest::kWaitMs;
using cursortest::Picture;

// True once process pid has ended (a zombie, waiting for the client library
// to reap it).
bool Exited(int pid) {
  long long end = cursortest::now_ms() + kWaitMs;
  std::string path = "/proc/" + std::to_string(pid) + "/stat";
  while (cursortest::now_ms() < end) {
    std::ifstream f(path);
    std::string stat;
    std::getline(f, stat);
    size_t paren = stat.rfind(')');
    if (!f || paren == std::string::npos || stat.compare(paren, 3, ") Z") == 0) return true;
    cursortest::pause_briefly();
  }
  return false;
}

class Cursor : public HeadlessServer {
 protected:
  void SetUp() override {
    HeadlessServer::SetUp();
    Start();
    Window1();
  }

  // Sends "cc", acts, and waits for the answer.
  void Cc(const std::string &lines, int32_t want_ch, float want_x, float want_y, int opts = 0) {
    ASSERT_EQ(pv5c_cc_send(h, opts, 0, 0), PV5C_OK) << pv5c_error(h);
    Act(lines);
    float x = -9, y = -9;
    int32_t ch = -9, reply = -9;
    ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, &x, &y, &ch, &reply), PV5C_OK) << pv5c_error(h);
    EXPECT_EQ(reply, 0);
    EXPECT_EQ(ch, want_ch);
    EXPECT_FLOAT_EQ(x, want_x);
    EXPECT_FLOAT_EQ(y, want_y);
  }
};

TEST_F(Cursor, KeyAnswersCc) {
  Cc("pointer 300 250\nkey q\n", 113, 0.25f, 0.375f);
  // The mouse stays where the user left it: the next cursor starts there.
  Cc("key w\n", 'w', 0.25f, 0.375f);
}

// The text lands at offsets 12 on, with its terminating 0.
TEST_F(Cursor, TextAnswersCt) {
  struct {
    const char *lines;
    std::string want;
  } cases[] = {
      {"key a\nkey b\nkey return\n", std::string("ab\0", 3)},
      {"key escape\n", std::string("\0", 1)},
      {"text ab\nkey backspace\nkey return\n", std::string("ab\b\0", 4)},
      {"key shift\nkey c\nkey return\n", std::string("c\0", 2)},  // an unknown action is skipped
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.lines);
    ASSERT_EQ(pv5c_ct_send(h, 0, 0, 0), PV5C_OK) << pv5c_error(h);
    Act(c.lines);
    int32_t reply = -9;
    char text[64];
    ASSERT_EQ(pv5c_ct_wait(h, kWaitMs, nullptr, nullptr, text, sizeof text, &reply), PV5C_OK);
    EXPECT_EQ(reply, 0);
    const char *buf = static_cast<const char *>(pv5c_buffer(h));
    EXPECT_EQ(std::string(buf + 12, c.want.size()), c.want);
    EXPECT_STREQ(text, c.want.c_str());
  }
}

// The mouse never in the content: the centre, 0.5 and 0.5 * 300 / 400.  The
// right and bottom edges are inside; beyond them the cross hair stays put.
TEST_F(Cursor, MousePositions) {
  Cc("key k\n", 'k', 0.5f, 0.375f);
  Cc("pointer 600 400\nkey k\n", 'k', 1.0f, 0.0f);
  Cc("pointer 200 100\nkey k\n", 'k', 0.0f, 0.75f);
  Cc("pointer 300 250\npointer 601 250\npointer 300 401\nkey k\n", 'k', 0.25f, 0.375f);
  Cc("click 500 400\nkey k\n", 'k', 0.75f, 0.0f);  // a click moves it and ends nothing
}

// The cross hair shows over the plot while the cursor is up, with the rubber
// band and a beep for opts 3; the plot is intact once the answer is in.
TEST_F(Cursor, CrossHairOverThePlot) {
  float bx[] = {0.05f, 0.15f, 0.15f, 0.05f}, by[] = {0.6f, 0.6f, 0.7f, 0.7f};
  pv5c_poly block = {0, 4, bx, by};  // black square, pixels 20..60, rows 20..60
  int32_t reply = -9;
  ASSERT_EQ(pv5c_fi(h, 1, &block, &reply), PV5C_OK);
  ASSERT_EQ(reply, 0);

  for (int opts : {3, 0}) {
    SCOPED_TRACE(opts);
    int beeps = LogCount("beep");
    // Anchor plot (0.25, 0.125): overlay pixel 100, 50 up.
    CursorUp(false, opts, 0.25f, 0.125f);
    Picture p;
    ActAndSnap("pointer 500 150\n", 1, &p);  // cross hair at pixel 300, 250 up (row 50)
    ASSERT_EQ(p.w(), 400);
    EXPECT_TRUE(p.dark(300, 200));           // vertical line
    EXPECT_TRUE(p.dark(150, 50));            // horizontal line
    EXPECT_TRUE(p.dark(40, 40));             // the plot under it
    EXPECT_EQ(p.dark(200, 150), opts == 3);  // midway along the band
    EXPECT_TRUE(p.white(100, 200));
    Act("key x\n");
    float x, y;
    int32_t ch;
    ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, &x, &y, &ch, &reply), PV5C_OK);
    EXPECT_EQ(reply, 0);
    EXPECT_EQ(ch, 'x');
    EXPECT_EQ(LogCount("beep"), beeps + (opts & 1));

    ASSERT_TRUE(Snap(1, &p));  // after the answer: the plot alone
    EXPECT_TRUE(p.white(300, 200));
    EXPECT_TRUE(p.white(150, 50));
    EXPECT_TRUE(p.white(200, 150));
    EXPECT_TRUE(p.dark(40, 40));
    EXPECT_TRUE(p.dark(20, 60));
  }
}

// No window to point at: the answer comes at once, with no beep, whether the
// current number is out of range or names an empty slot.
TEST_F(Cursor, NoCurrentWindowAnswersAtOnce) {
  int32_t reply = -9;
  for (int w : {3, 7}) {
    ASSERT_EQ(pv5c_er(h, w, &reply), PV5C_OK);
    ASSERT_EQ(pv5c_cc_send(h, 1, 0, 0), PV5C_OK);
    ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, nullptr, nullptr, nullptr, &reply), PV5C_OK) << w;
    EXPECT_EQ(reply, -1);
    ASSERT_EQ(pv5c_ct(h, 1, 0, 0, kWaitMs, nullptr, nullptr, nullptr, 0, &reply), PV5C_OK);
    EXPECT_EQ(reply, -1);
  }
  EXPECT_EQ(LogCount("beep"), 0);
  ASSERT_EQ(pv5c_er(h, 1, &reply), PV5C_OK);
  Cc("key k\n", 'k', 0.5f, 0.375f);  // no key was eaten meanwhile
}

// The termination signal while the cursor is up ends the interaction: the
// client gets -1 and an empty text, and the server stops normally.
TEST_F(Cursor, TerminationWhileTheCursorIsUp) {
  CursorUp(true, 0, 0, 0);
  Picture p;
  ActAndSnap("pointer 300 250\nkey a\n", 1, &p);
  ASSERT_EQ(kill(pv5c_pid(h), SIGTERM), 0);
  float x = -9, y = -9;
  int32_t reply = -9;
  char text[16] = "junk";
  ASSERT_EQ(pv5c_ct_wait(h, kWaitMs, &x, &y, text, sizeof text, &reply), PV5C_OK) << pv5c_error(h);
  EXPECT_EQ(reply, -1);
  EXPECT_FLOAT_EQ(x, 0.25f);
  EXPECT_FLOAT_EQ(y, 0.375f);
  EXPECT_EQ(static_cast<const char *>(pv5c_buffer(h))[12], 0);
  // Let it finish on its own: a second signal during its shutdown would be
  // the client's doing, not the server's.
  ASSERT_TRUE(Exited(pv5c_pid(h)));
  pv5c_stopinfo info;
  ASSERT_EQ(pv5c_stop(h, &info), PV5C_OK) << pv5c_error(h);
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_EQ(info.signal, 0);
}

// ------------------------------------------------------------ under Xvfb
// Window 1 is 512 x 384 pixels at (256, 128) on the 1280-pixel screen:
// global pixel (h, v) inside it is plot ((h - 256) / 512, (512 - v) / 512).

class CursorX11 : public X11Server {};

// Real pointer and keys: the cross hair follows the pointer over the plot,
// "q" answers, and the plot is intact afterwards.  The two screenshots are
// also left in the working directory for people to look at.
TEST_F(CursorX11, CrossHairOverThePlotAndKey) {
  std::string xid = XWindow1();
  ASSERT_FALSE(xid.empty());
  float bx[] = {0.05f, 0.15f, 0.15f, 0.05f}, by[] = {0.6f, 0.6f, 0.7f, 0.7f};
  pv5c_poly block = {0, 4, bx, by};  // black square, columns and rows 26..76
  int32_t reply = -9;
  ASSERT_EQ(pv5c_fi(h, 1, &block, &reply), PV5C_OK);
  ASSERT_EQ(pv5c_fl(h, &reply), PV5C_OK);

  CursorUp(false, 3, 0.5f, 0.0f);  // beep, and a band from pixel 256 at the bottom
  PointerTo(384, 320);             // content pixel 128, row 192
  Picture p;
  Grab(xid, dir + "/up.png", &p);
  ASSERT_EQ(p.w(), 512);
  ASSERT_EQ(p.h(), 384);
  EXPECT_TRUE(p.dark(128, 300));  // vertical line
  EXPECT_TRUE(p.dark(400, 192));  // horizontal line
  EXPECT_TRUE(p.dark(50, 50));    // the plot under the overlay
  EXPECT_TRUE(p.dark(192, 288));  // midway along the band
  EXPECT_TRUE(p.white(400, 300));
  sh("cp '" + dir + "/up.png' cursor_x11_crosshair.png");

  ASSERT_EQ(sh("xdotool key q"), 0);
  float x = -9, y = -9;
  int32_t ch = -9;
  ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, &x, &y, &ch, &reply), PV5C_OK) << pv5c_error(h);
  EXPECT_EQ(reply, 0);
  EXPECT_EQ(ch, 113);
  EXPECT_FLOAT_EQ(x, 0.25f);
  EXPECT_FLOAT_EQ(y, 0.375f);
  EXPECT_EQ(LogCount("beep"), 1);

  Grab(xid, dir + "/after.png", &p);
  EXPECT_TRUE(p.white(128, 300));
  EXPECT_TRUE(p.white(400, 192));
  EXPECT_TRUE(p.white(192, 288));
  EXPECT_TRUE(p.dark(50, 50));
  sh("cp '" + dir + "/after.png' cursor_x11_after.png");
}

// A line of text from real keys; shift alone adds nothing, escape ends it.
TEST_F(CursorX11, TextFromTheKeyboard) {
  ASSERT_FALSE(XWindow1().empty());
  struct {
    const char *keys;
    const char *want;
  } cases[] = {
      {"xdotool type ab && xdotool key shift BackSpace c Return", "ab\bc"},
      {"xdotool key Escape", ""},
  };
  int step = 0;
  for (const auto &c : cases) {
    SCOPED_TRACE(c.keys);
    CursorUp(true, 0, 0, 0);
    PointerTo(300 + 10 * step++, 200);  // the focus follows the pointer
    ASSERT_EQ(sh(c.keys), 0);
    char text[64] = "junk";
    int32_t reply = -9;
    ASSERT_EQ(pv5c_ct_wait(h, kWaitMs, nullptr, nullptr, text, sizeof text, &reply), PV5C_OK)
        << pv5c_error(h);
    EXPECT_EQ(reply, 0);
    EXPECT_STREQ(text, c.want);
  }
}

}  // namespace
