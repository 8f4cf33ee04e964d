// The user's window actions end to end on a headless pv5: closing, moving and
// resizing plot windows between commands and while the cursor is up.
//
// Window 1 is 400 x 300 pixels at (200, 100) on a display 1000 pixels wide
// (HeadlessServer::Window1).
#include "cursor_fixture.h"

namespace {

using cursortest::HeadlessServer;
using cursortest::sh;
using cursortest::tool;
using cursortest::X11Server;
using cursortest::kWaitMs;
using cursortest::Picture;

class WinEvents : public HeadlessServer {};

// A closed window leaves its slot empty: "de" answers -1, retitling skips
// it, "cr" builds a new one, and the window is released exactly once.
TEST_F(WinEvents, CloseEmptiesTheSlot) {
  Start();
  Window1();
  int32_t reply = -9;
  ASSERT_EQ(pv5c_cr(h, 2, 0.5f, 0.5f, 0.7f, 0.7f, &reply), PV5C_OK);
  Act("close 1\n");
  ASSERT_TRUE(WaitLog("dispose 1", 1)) << Log();
  int titles = LogCount("title 1 TQV 2 - inactive") + LogCount("title 1 TQV 2 - active");

  ASSERT_EQ(pv5c_de(h, 1, &reply), PV5C_OK);
  EXPECT_EQ(reply, -1);
  ASSERT_EQ(pv5c_er(h, 2, &reply), PV5C_OK);  // retitles the windows there are
  EXPECT_EQ(reply, 0);
  ASSERT_EQ(pv5c_gr(h, 1, nullptr, &reply), PV5C_OK);
  EXPECT_EQ(reply, -1);
  EXPECT_EQ(LogCount("title 1 TQV 2 - inactive") + LogCount("title 1 TQV 2 - active"), titles);

  ASSERT_EQ(pv5c_cr(h, 1, 0.1f, 0.2f, 0.6f, 0.4f, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);
  EXPECT_EQ(LogCount("title 1 TQV 2 - active"), 2) << Log();
  float ratio = 0;
  ASSERT_EQ(pv5c_gr(h, 1, &ratio, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);
  EXPECT_FLOAT_EQ(ratio, 0.75f);
  ASSERT_EQ(pv5c_de(h, 1, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);
  EXPECT_EQ(LogCount("dispose 1"), 2);  // the closed one and the destroyed one
}

// Closing the cursor's window ends the interaction: -1, the last position,
// character slot 0 ("ct": an empty text), the slot empty, one release.
TEST_F(WinEvents, CloseWhileTheCursorIsUp) {
  Start();
  for (bool text : {false, true}) {
    SCOPED_TRACE(text);
    Window1();
    int disposed = LogCount("dispose 1");
    ASSERT_EQ(text ? pv5c_ct_send(h, 0, 0, 0) : pv5c_cc_send(h, 0, 0, 0), PV5C_OK);
    Act(text ? "pointer 300 250\ntext abc\nclose 1\n" : "pointer 300 250\nclose 1\n");
    float x = -9, y = -9;
    int32_t reply = -9;
    ASSERT_EQ(pv5c_wait(h, kWaitMs, &reply), PV5C_OK) << pv5c_error(h);
    EXPECT_EQ(reply, -1);
    const unsigned char *buf = static_cast<const unsigned char *>(pv5c_buffer(h));
    memcpy(&x, buf + 4, 4);
    memcpy(&y, buf + 8, 4);
    EXPECT_FLOAT_EQ(x, 0.25f);
    EXPECT_FLOAT_EQ(y, 0.375f);
    int32_t ch = -9;
    memcpy(&ch, buf + 12, 4);
    if (text)
      EXPECT_EQ(buf[12], 0);
    else
      EXPECT_EQ(ch, 0);
    EXPECT_EQ(LogCount("dispose 1"), disposed + 1);
    ASSERT_EQ(pv5c_de(h, 1, &reply), PV5C_OK);
    EXPECT_EQ(reply, -1);
    // The current window is gone: a new cursor answers at once.
    ASSERT_EQ(pv5c_cc(h, 0, 0, 0, kWaitMs, nullptr, nullptr, nullptr, &reply), PV5C_OK);
    EXPECT_EQ(reply, -1);
    EXPECT_EQ(LogCount("dispose 1"), disposed + 1);
  }
}

// Closing another window while the cursor is up leaves the cursor running.
TEST_F(WinEvents, CloseOfAnotherWindowDuringTheCursor) {
  Start();
  int32_t reply = -9;
  ASSERT_EQ(pv5c_cr(h, 2, 0.5f, 0.5f, 0.7f, 0.7f, &reply), PV5C_OK);
  Window1();
  ASSERT_EQ(pv5c_cc_send(h, 0, 0, 0), PV5C_OK);
  Act("pointer 300 250\nclose 2\nkey k\n");
  float x = -9, y = -9;
  int32_t ch = -9;
  ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, &x, &y, &ch, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);
  EXPECT_EQ(ch, 'k');
  EXPECT_FLOAT_EQ(x, 0.25f);
  EXPECT_EQ(LogCount("dispose 2"), 1);
  ASSERT_EQ(pv5c_de(h, 2, &reply), PV5C_OK);
  EXPECT_EQ(reply, -1);
}

// Resizing the current window while the cursor is up moves the overlay onto
// the new content and redraws the cross hair at its last offset from the
// lower-left corner, without the rubber band.
TEST_F(WinEvents, ResizeWhileTheCursorIsUp) {
  Start();
  Window1();
  CursorUp(false, 2, 0.9f, 0.0f);  // band from pixel 360, 0 up
  Picture p;
  ActAndSnap("pointer 300 250\n", 1, &p);  // cross hair at pixel 100, 150 up
  ASSERT_EQ(p.h(), 300);
  EXPECT_TRUE(p.dark(100, 280));
  EXPECT_TRUE(p.dark(380, 150));
  EXPECT_TRUE(p.dark(230, 225));  // on the band

  ActAndSnap("resize 1 500 200\n", 1, &p);
  ASSERT_EQ(p.w(), 500);
  ASSERT_EQ(p.h(), 200);
  EXPECT_TRUE(p.dark(100, 190));   // vertical line, still 100 pixels in
  EXPECT_TRUE(p.dark(480, 50));    // horizontal line 150 up, across the new width
  EXPECT_TRUE(p.white(230, 125));  // no band
  EXPECT_TRUE(p.white(300, 150));

  Act("key k\n");
  int32_t reply = -9;
  ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, nullptr, nullptr, nullptr, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);
  ASSERT_TRUE(Snap(1, &p));
  EXPECT_TRUE(p.white(100, 190));  // the overlay is gone with the answer
}

// A moved or resized window gets a context scaled to its new width: a line
// from plot x 0 to 1 spans the content.  Display 1200 wide; window 1 starts
// 600 x 480 and becomes 600 (moved), then 300, then 900 pixels wide.
TEST_F(WinEvents, ContextFollowsTheWidth) {
  Start(1200, 900);
  int32_t reply = -9;
  ASSERT_EQ(pv5c_cr(h, 1, 0.1f, 0.1f, 0.6f, 0.5f, &reply), PV5C_OK);
  struct {
    const char *action, *bounds;
    int w, h;
  } cases[] = {
      {"move 1 50 60\n", "bounds 1 60 50 540 650", 600, 480},
      {"resize 1 300 200\n", "bounds 1 60 50 260 350", 300, 200},
      {"resize 1 900 400\n", "bounds 1 60 50 460 950", 900, 400},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.action);
    Act(c.action);
    ASSERT_TRUE(WaitLog(c.bounds, 1)) << Log();
    float x[] = {0, 1}, y[] = {0.1f, 0.1f};
    pv5c_line line = {2, 12, 1, 0, x, y};  // 12 of 1200 units: 1% of the width
    ASSERT_EQ(pv5c_er(h, 1, &reply), PV5C_OK);
    ASSERT_EQ(pv5c_dr(h, 1, &line, &reply), PV5C_OK);
    ASSERT_EQ(pv5c_fl(h, &reply), PV5C_OK);
    Picture p;
    ASSERT_TRUE(Snap(1, &p));
    ASSERT_EQ(p.w(), c.w);
    ASSERT_EQ(p.h(), c.h);
    int row = c.h - c.w / 10;  // 0.1 of the width up
    EXPECT_TRUE(p.dark(1, row));
    EXPECT_TRUE(p.dark(c.w / 2, row));
    EXPECT_TRUE(p.dark(c.w - 2, row));
    EXPECT_TRUE(p.white(c.w / 2, row - 10));
    float ratio = 0;
    ASSERT_EQ(pv5c_gr(h, 1, &ratio, &reply), PV5C_OK);
    EXPECT_FLOAT_EQ(ratio, float(c.h) / float(c.w));
  }
}

// ------------------------------------------------------------ under Xvfb
// Window 1 is 512 x 384 pixels at (256, 128) on the 1280-pixel screen.

class WinEventsX11 : public X11Server {};

// WM_DELETE_WINDOW between commands empties the slot; "cr" builds anew.
TEST_F(WinEventsX11, CloseBox) {
  std::string xid = XWindow1();
  ASSERT_FALSE(xid.empty());
  ASSERT_EQ(sh(tool("xsendclose") + " " + xid), 0);
  ASSERT_TRUE(WaitLog("dispose 1", 1)) << Log();
  int32_t reply = -9;
  ASSERT_EQ(pv5c_de(h, 1, &reply), PV5C_OK);
  EXPECT_EQ(reply, -1);
  ASSERT_FALSE(XWindow1().empty());
  ASSERT_EQ(pv5c_de(h, 1, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);
  EXPECT_EQ(LogCount("dispose 1"), 2);
}

// Closing the cursor's window ends the interaction with -1 at the last
// position; the window is released once.
TEST_F(WinEventsX11, CloseWhileTheCursorIsUp) {
  std::string xid = XWindow1();
  ASSERT_FALSE(xid.empty());
  CursorUp(false, 0, 0, 0);
  PointerTo(384, 320);
  ASSERT_EQ(sh(tool("xsendclose") + " " + xid), 0);
  float x = -9, y = -9;
  int32_t ch = -9, reply = -9;
  ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, &x, &y, &ch, &reply), PV5C_OK) << pv5c_error(h);
  EXPECT_EQ(reply, -1);
  EXPECT_EQ(ch, 0);
  EXPECT_FLOAT_EQ(x, 0.25f);
  EXPECT_FLOAT_EQ(y, 0.375f);
  EXPECT_EQ(LogCount("dispose 1"), 1);
  ASSERT_EQ(pv5c_de(h, 1, &reply), PV5C_OK);
  EXPECT_EQ(reply, -1);
}

// A real resize while the cursor is up: the overlay fits the new content and
// the cross hair is redrawn at its offset from the lower-left corner; after
// the answer the window's context spans the new width.
TEST_F(WinEventsX11, ResizeWhileTheCursorIsUp) {
  std::string xid = XWindow1();
  ASSERT_FALSE(xid.empty());
  CursorUp(false, 0, 0, 0);
  PointerTo(384, 320);  // content pixel 128, 192 up
  int before = LogCount("flush 1");
  ASSERT_EQ(sh("xdotool windowsize --sync " + xid + " 640 256"), 0);
  ASSERT_TRUE(WaitLog("bounds 1 128 256 384 896", 1)) << Log();
  ASSERT_TRUE(WaitLog("flush 1", before + 1)) << Log();
  Picture p;
  Grab(xid, dir + "/resized.png", &p);
  ASSERT_EQ(p.w(), 640);
  ASSERT_EQ(p.h(), 256);
  EXPECT_TRUE(p.dark(128, 200));  // vertical line, 128 pixels in
  EXPECT_TRUE(p.dark(600, 64));   // horizontal line 192 up, across the new width
  EXPECT_TRUE(p.white(300, 150));

  ASSERT_EQ(sh("xdotool mousemove --sync 300 300 key k"), 0);
  float x = -9;
  int32_t ch = -9, reply = -9;
  ASSERT_EQ(pv5c_cc_wait(h, kWaitMs, &x, nullptr, &ch, &reply), PV5C_OK) << pv5c_error(h);
  EXPECT_EQ(reply, 0);
  EXPECT_EQ(ch, 'k');
  EXPECT_FLOAT_EQ(x, 44.0f / 640.0f);

  float lx[] = {0, 1}, ly[] = {0.1f, 0.1f};
  pv5c_line line = {2, 12, 1, 0, lx, ly};
  ASSERT_EQ(pv5c_dr(h, 1, &line, &reply), PV5C_OK);
  ASSERT_EQ(pv5c_fl(h, &reply), PV5C_OK);
  Grab(xid, dir + "/redrawn.png", &p);
  EXPECT_TRUE(p.dark(2, 256 - 64));
  EXPECT_TRUE(p.dark(637, 256 - 64));
}

}  // namespace
