// The headless input script: the grammar, line by line, and the events and
// window changes a script produces, read from a FIFO as a test driving the
// server would write it.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/input.h"
#include "platform/internal.h"
#include "platform/platform.h"

namespace {

TEST(InputParse, Lines) {
  struct Case {
    const char *line;
    int status;
    plat_input_verb verb;
    int a, b, c;
    const char *text;
  } cases[] = {
      {"key q", 0, PLAT_IN_KEY, 'q', 0, 0, ""},
      {"key return", 0, PLAT_IN_KEY, 13, 0, 0, ""},
      {"key escape", 0, PLAT_IN_KEY, 27, 0, 0, ""},
      {"key backspace", 0, PLAT_IN_KEY, 8, 0, 0, ""},
      {"key tab", 0, PLAT_IN_KEY, 9, 0, 0, ""},
      {"  key   space  ", 0, PLAT_IN_KEY, 32, 0, 0, ""},
      {"key 7", 0, PLAT_IN_KEY, '7', 0, 0, ""},
      {"text ab c", 0, PLAT_IN_TEXT, 0, 0, 0, "ab c"},
      {"text  x", 0, PLAT_IN_TEXT, 0, 0, 0, " x"},
      {"pointer 10 -20", 0, PLAT_IN_POINTER, 10, -20, 0, ""},
      {"click 0 0", 0, PLAT_IN_CLICK, 0, 0, 0, ""},
      {"close 4", 0, PLAT_IN_CLOSE, 4, 0, 0, ""},
      {"move 1 300 200", 0, PLAT_IN_MOVE, 1, 300, 200, ""},
      {"resize 0 640 480", 0, PLAT_IN_RESIZE, 0, 640, 480, ""},
      {"", 0, PLAT_IN_NONE, 0, 0, 0, ""},
      {"   ", 0, PLAT_IN_NONE, 0, 0, 0, ""},
      {"# a comment", 0, PLAT_IN_NONE, 0, 0, 0, ""},
      // Refused: unknown verbs, wrong arities, junk numbers, empty sizes.
      {"jump 1 2", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"key", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"key enter", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"key a b", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"text", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"pointer 10", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"pointer 10 20 30", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"pointer 1x 2", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"click 99999999999 1", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"close", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"resize 0 0 480", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"resize 0 640 -1", -1, PLAT_IN_NONE, 0, 0, 0, ""},
      {"KEY q", -1, PLAT_IN_NONE, 0, 0, 0, ""},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.line);
    plat_input_action a;
    ASSERT_EQ(plat_input_parse(k.line, &a), k.status);
    if (k.status < 0) continue;
    EXPECT_EQ(a.verb, k.verb);
    EXPECT_EQ(a.a, k.a);
    EXPECT_EQ(a.b, k.b);
    EXPECT_EQ(a.c, k.c);
    EXPECT_EQ(a.text, k.text);
  }
}

class Script : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/plat_fifo_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    fifo_ = dir_ + "/input";
    ASSERT_EQ(mkfifo(fifo_.c_str(), 0600), 0);
    plat_options o{};
    o.backend = PLAT_HEADLESS;
    o.input_path = fifo_.c_str();
    char err[256];
    ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
    writer_ = open(fifo_.c_str(), O_WRONLY);
    ASSERT_GE(writer_, 0);
  }
  void TearDown() override {
    if (writer_ >= 0) close(writer_);
    plat_close();
    unlink(fifo_.c_str());
    rmdir(dir_.c_str());
  }
  void Write(const std::string &s) { ASSERT_EQ(write(writer_, s.data(), s.size()), ssize_t(s.size())); }
  plat_event Next() {
    plat_event ev{};
    EXPECT_EQ(plat_receive_next_event(&ev, 10000), 0);
    return ev;
  }
  std::string dir_, fifo_;
  int writer_ = -1;
};

TEST_F(Script, KeysTextAndMouse) {
  plat_rect r = {100, 100, 200, 300};
  plat_window *win = plat_window_create(&r);
  plat_window_show(win);
  Write("key q\ntext a b\nkey return\npointer 150 120\nclick 5 6\n");
  std::vector<int> keys;
  for (int i = 0; i < 5; i++) {
    plat_event ev = Next();
    ASSERT_EQ(ev.cls, kPlatClassKeyboard);
    ASSERT_EQ(ev.kind, kPlatKeyRawKeyDown);
    keys.push_back(ev.ch);
  }
  EXPECT_EQ(keys, (std::vector<int>{'q', 'a', ' ', 'b', 13}));

  plat_event ev = Next();
  EXPECT_EQ(ev.cls, kPlatClassMouse);
  EXPECT_EQ(ev.kind, kPlatMouseMoved);
  EXPECT_EQ(ev.win, win);
  EXPECT_EQ(ev.x, 150);
  EXPECT_EQ(ev.y, 120);
  int x, y;
  plat_global_mouse(&x, &y);
  EXPECT_EQ(x, 150);
  EXPECT_EQ(y, 120);
  ev = Next();
  EXPECT_EQ(ev.kind, kPlatMouseDown);
  EXPECT_EQ(ev.win, nullptr);  // outside every window
  ev = Next();
  EXPECT_EQ(ev.kind, kPlatMouseUp);
  plat_global_mouse(&x, &y);
  EXPECT_EQ(x, 5);

  // Closing the writer does not make the loop spin on end-of-file.
  close(writer_);
  writer_ = -1;
  EXPECT_EQ(plat_receive_next_event(&ev, 50), 1);
}

TEST_F(Script, WindowActionsChangeBoundsBeforeTheirEvent) {
  plat_rect r = {100, 100, 200, 300};  // 200 x 100
  plat_window *win = plat_window_create(&r);
  plat_window_set_tag(win, 2);
  cairo_t *c = plat_context_create(win);
  cairo_set_source_rgb(c, 1, 0, 0);
  cairo_paint(c);
  cairo_destroy(c);

  Write("move 2 10 20\nresize 2 50 60\nbogus line\nclose 7\nclose 2\n");
  plat_event ev = Next();
  EXPECT_EQ(ev.cls, kPlatClassWindow);
  EXPECT_EQ(ev.kind, kPlatWindowBoundsChanged);
  EXPECT_EQ(ev.win, win);
  plat_rect b;
  plat_window_content_bounds(win, &b);
  EXPECT_EQ(b.left, 10);
  EXPECT_EQ(b.top, 20);
  EXPECT_EQ(b.right, 210);
  EXPECT_EQ(b.bottom, 120);

  ev = Next();
  EXPECT_EQ(ev.kind, kPlatWindowBoundsChanged);
  plat_window_content_bounds(win, &b);
  EXPECT_EQ(b.right - b.left, 50);
  EXPECT_EQ(b.bottom - b.top, 60);
  EXPECT_EQ(cairo_image_surface_get_height(win->store), 60);
  // The unknown line and the close of a window that does not exist are
  // skipped (with a line on standard error); the next action still comes.
  ev = Next();
  EXPECT_EQ(ev.kind, kPlatWindowClose);
  EXPECT_EQ(ev.win, win);
}

TEST_F(Script, PartialLinesWaitForTheirEnd) {
  Write("key");
  plat_event ev;
  EXPECT_EQ(plat_receive_next_event(&ev, 20), 1);
  Write(" x\n");
  ev = Next();
  EXPECT_EQ(ev.ch, 'x');
}

TEST(InputFile, RegularFileIsReadToItsEndIncludingALastLineWithoutNewline) {
  char path[] = "/tmp/plat_in_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "key a\nkey b", 11), 11);
  close(fd);
  plat_options o{};
  o.backend = PLAT_HEADLESS;
  o.input_path = path;
  char err[256];
  ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
  plat_event ev;
  ASSERT_EQ(plat_receive_next_event(&ev, 1000), 0);
  EXPECT_EQ(ev.ch, 'a');
  ASSERT_EQ(plat_receive_next_event(&ev, 1000), 0);
  EXPECT_EQ(ev.ch, 'b');
  EXPECT_EQ(plat_receive_next_event(&ev, 20), 1);
  plat_close();
  unlink(path);

  o.input_path = "/nonexistent/input";
  EXPECT_EQ(plat_open(&o, err, sizeof err), -1);
  EXPECT_NE(std::string(err).find("/nonexistent/input"), std::string::npos);
}

}  // namespace
