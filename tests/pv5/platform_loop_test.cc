// The platform's event loop and its sources, on the headless backend: the
// message endpoint, the signal pipe, the order in which the loop takes its
// sources, and the disposal of windows in the middle of a dispatch.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/internal.h"
#include "platform/platform.h"

namespace {

std::vector<plat_event> seen;

int32_t record_and_quit_on_work(const plat_event *ev, void *) {
  seen.push_back(*ev);
  if (ev->cls == kPlatClassWork) plat_quit_app_loop();
  return kPlatHandled;
}

int32_t record_and_quit_on_signal(const plat_event *ev, void *) {
  seen.push_back(*ev);
  if (ev->cls == kPlatClassSignal) plat_quit_app_loop();
  return kPlatHandled;
}

sockaddr_un port_address(const std::string &name, socklen_t *len) {
  sockaddr_un a;
  memset(&a, 0, sizeof a);
  a.sun_family = AF_UNIX;
  std::string full = "pv5." + name;
  memcpy(a.sun_path + 1, full.data(), full.size());
  *len = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + full.size());
  return a;
}

void send_datagram(const std::string &name, const void *data, size_t n) {
  socklen_t len;
  sockaddr_un a = port_address(name, &len);
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(sendto(fd, data, n, 0, reinterpret_cast<sockaddr *>(&a), len), ssize_t(n)) << strerror(errno);
  close(fd);
}

void send_id(const std::string &name, int32_t id) { send_datagram(name, &id, sizeof id); }

class Loop : public ::testing::Test {
 protected:
  void SetUp() override {
    seen.clear();
    name_ = "plattest." + std::to_string(getpid()) + "." +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void Open(const char *input = nullptr) {
    plat_options o{};
    o.backend = PLAT_HEADLESS;
    o.input_path = input;
    char err[256];
    ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
  }
  void TearDown() override { plat_close(); }
  std::string name_;
};

TEST_F(Loop, DatagramBecomesWorkEventAndBadOnesAreDropped) {
  Open();
  ASSERT_EQ(plat_msgport_open(name_.c_str()), 0);
  plat_set_app_handler(record_and_quit_on_work, nullptr);

  const char shortmsg[3] = {30, 0, 0};
  send_datagram(name_, shortmsg, sizeof shortmsg);
  if (getuid() == 0) {
    // Another user's datagram, sent for real from a child that became nobody.
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (setuid(65534) != 0) _exit(2);
      socklen_t len;
      sockaddr_un a = port_address(name_, &len);
      int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
      int32_t id = 99;
      _exit(sendto(fd, &id, 4, 0, reinterpret_cast<sockaddr *>(&a), len) == 4 ? 0 : 1);
    }
    int st;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  }
  unsigned char longmsg[40] = {};
  int32_t id = 30;
  memcpy(longmsg, &id, 4);
  send_datagram(name_, longmsg, sizeof longmsg);  // extra bytes are ignored

  plat_run_app_loop();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].cls, kPlatClassWork);
  EXPECT_EQ(seen[0].kind, 30u);
  EXPECT_EQ(seen[0].win, nullptr);
}

TEST_F(Loop, SecondBindOfTheSameNameFails) {
  Open();
  ASSERT_EQ(plat_msgport_open(name_.c_str()), 0);
  socklen_t len;
  sockaddr_un a = port_address(name_, &len);
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), len), -1);
  EXPECT_EQ(errno, EADDRINUSE);
  close(fd);
  // One endpoint per process, whatever its name.
  EXPECT_EQ(plat_msgport_open((name_ + "x").c_str()), -1);

  // The name goes away with the endpoint; someone else holding it makes
  // ours fail.
  plat_close();
  fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), len), 0) << strerror(errno);
  Open();
  EXPECT_EQ(plat_msgport_open(name_.c_str()), -1);
  EXPECT_EQ(errno, EADDRINUSE);
  close(fd);
}

// The kernel's own list of sockets shows the bound name: a 0 byte (shown as
// '@'), "pv5." and N exactly, leading '/' included, nothing after it.
TEST_F(Loop, EndpointNameIsPv5DotFollowedByTheNameExactly) {
  Open();
  std::string n = "/" + name_;
  ASSERT_EQ(plat_msgport_open(n.c_str()), 0);
  FILE *f = fopen("/proc/net/unix", "r");
  ASSERT_NE(f, nullptr);
  char line[512];
  int found = 0;
  std::string want = " @pv5." + n + "\n";
  while (fgets(line, sizeof line, f)) {
    std::string l = line;
    if (l.size() >= want.size() && l.compare(l.size() - want.size(), want.size(), want) == 0) found++;
  }
  fclose(f);
  EXPECT_EQ(found, 1) << "no socket named @pv5." << n;
}

// While a command runs no other command is taken: the nested loop does not
// read the endpoint, and the second datagram waits for the first to finish.
int nested_answer = -2;
int32_t nested_work(const plat_event *ev, void *) {
  seen.push_back(*ev);
  if (ev->cls != kPlatClassWork) return kPlatNotHandled;
  if (seen.size() == 1) {
    plat_event inner;
    nested_answer = plat_receive_next_event(&inner, 0);
  } else {
    plat_quit_app_loop();
  }
  return kPlatHandled;
}

TEST_F(Loop, NestedLoopNeverReadsTheEndpoint) {
  Open();
  ASSERT_EQ(plat_msgport_open(name_.c_str()), 0);
  plat_set_app_handler(nested_work, nullptr);
  send_id(name_, 30);
  send_id(name_, 31);
  plat_run_app_loop();
  EXPECT_EQ(nested_answer, 1);  // timed out: the waiting datagram is not its business
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].kind, 31u);
}

// A client that sends a command and then writes scripted input has its
// command run first, even when both are already waiting.
int32_t record_until_key(const plat_event *ev, void *) {
  seen.push_back(*ev);
  if (ev->cls == kPlatClassKeyboard) plat_quit_app_loop();
  return kPlatHandled;
}

TEST_F(Loop, DatagramGoesBeforeWaitingInput) {
  char path[] = "/tmp/plat_input_XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "key a\n", 6), 6);
  close(fd);
  Open(path);
  ASSERT_EQ(plat_msgport_open(name_.c_str()), 0);
  plat_set_app_handler(record_until_key, nullptr);
  send_id(name_, 30);
  plat_run_app_loop();
  unlink(path);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].cls, kPlatClassWork);
  EXPECT_EQ(seen[1].cls, kPlatClassKeyboard);
  EXPECT_EQ(seen[1].ch, 'a');
}

// The same when the client does both while the loop is between looking at
// the endpoint and reading the input: the command went out first, so it is
// waiting by the time the input is read, and it still runs first.
namespace racer {
std::string name;
int fifo = -1;
bool done;
void pump() {  // runs after the endpoint was found empty, before the input
  if (done) return;
  done = true;
  send_id(name, 30);
  ASSERT_EQ(write(fifo, "key a\n", 6), 6);
}
}  // namespace racer

TEST_F(Loop, DatagramSentJustBeforeInputGoesFirstWhateverTheTiming) {
  char dir[] = "/tmp/plat_race_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/input";
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  Open(path.c_str());
  racer::fifo = open(path.c_str(), O_WRONLY);
  ASSERT_GE(racer::fifo, 0);
  ASSERT_EQ(plat_msgport_open(name_.c_str()), 0);
  racer::name = name_;
  racer::done = false;
  plat_ops ops = plat_headless_ops;
  ops.pump = racer::pump;
  const plat_ops *saved = plat.ops;
  plat.ops = &ops;
  plat_set_app_handler(record_until_key, nullptr);
  plat_run_app_loop();
  plat.ops = saved;
  close(racer::fifo);
  unlink(path.c_str());
  rmdir(dir);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].cls, kPlatClassWork);
  EXPECT_EQ(seen[1].cls, kPlatClassKeyboard);
}

TEST_F(Loop, RaisedSignalBecomesSignalEvent) {
  Open();
  ASSERT_EQ(plat_signal_install(SIGUSR1), 0);
  ASSERT_EQ(plat_signal_install(SIGUSR2), 0);
  plat_set_app_handler(record_and_quit_on_signal, nullptr);
  raise(SIGUSR2);
  plat_run_app_loop();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].cls, kPlatClassSignal);
  EXPECT_EQ(seen[0].kind, uint32_t(SIGUSR2));

  // The nested loop sees signals too, and answers -1 once quit is asked.
  raise(SIGUSR1);
  plat_event ev;
  plat.quit = false;
  ASSERT_EQ(plat_receive_next_event(&ev, 5000), 0);
  EXPECT_EQ(ev.cls, kPlatClassSignal);
  EXPECT_EQ(ev.kind, uint32_t(SIGUSR1));
  EXPECT_EQ(plat_receive_next_event(&ev, 0), 1);
  plat_quit_app_loop();
  EXPECT_EQ(plat_receive_next_event(&ev, -1), -1);
}

TEST_F(Loop, SignalHandlerKeepsErrnoEvenWhenThePipeIsFull) {
  Open();
  ASSERT_EQ(plat_signal_install(SIGUSR1), 0);
  // More signals than a pipe holds: the later writes fail inside the
  // handler, and the interrupted code must not notice.
  for (int i = 0; i < 20000; i++) {
    errno = EDOM;
    raise(SIGUSR1);
    ASSERT_EQ(errno, EDOM) << "after signal " << i;
  }
  plat_event ev;
  int n = 0;
  while (plat_receive_next_event(&ev, 0) == 0) {
    ASSERT_EQ(ev.kind, uint32_t(SIGUSR1));
    n++;
  }
  EXPECT_GT(n, 0);
  EXPECT_LT(n, 20000);
}

// ------------------------------------------------ disposal during dispatch

int close_calls;
int32_t dispose_on_close(const plat_event *ev, void *) {
  if (ev->cls == kPlatClassWindow && ev->kind == kPlatWindowClose) {
    close_calls++;
    plat_window_dispose(ev->win);
  }
  return kPlatNotHandled;
}

std::string title_seen_by_app;
int32_t app_reads_window(const plat_event *ev, void *) {
  seen.push_back(*ev);
  // The window was disposed further down the chain; the object must still
  // be there for this handler (ASan reports it otherwise).
  if (ev->win) title_seen_by_app = plat_window_title(ev->win);
  return kPlatHandled;
}

TEST_F(Loop, DisposedWindowLivesUntilTheDispatchEndsAndIsClosedOnce) {
  Open();
  plat_rect r = {10, 10, 110, 210};
  plat_window *w = plat_window_create(&r);
  ASSERT_NE(w, nullptr);
  plat_window_set_title(w, "TQV 1 - active");
  plat_window_set_handler(w, dispose_on_close, nullptr);
  plat_set_app_handler(app_reads_window, nullptr);
  close_calls = 0;

  // Two close requests and a move are queued for the window: only the first
  // close reaches it; disposal drops the rest from the queue.
  plat_event close_ev = {kPlatClassWindow, kPlatWindowClose, w, 0, 0, 0};
  plat_event moved = {kPlatClassWindow, kPlatWindowBoundsChanged, w, 0, 0, 0};
  plat_post(&close_ev);
  plat_post(&close_ev);
  plat_post(&moved);
  plat_event ev;
  ASSERT_EQ(plat_receive_next_event(&ev, 0), 0);
  plat.depth++;  // as inside a command, like the cursor's nested loop
  plat_send_event_to_window(ev.win, &ev);
  EXPECT_EQ(close_calls, 1);
  EXPECT_EQ(title_seen_by_app, "TQV 1 - active");
  EXPECT_EQ(plat.windows, nullptr);
  EXPECT_EQ(plat.doomed, w);
  EXPECT_EQ(plat_receive_next_event(&ev, 0), 1);  // nothing left for it

  // The cursor hands the same event on again: the disposed window's handler
  // is not called a second time, the application still sees it.
  title_seen_by_app.clear();
  plat_send_event_to_window(w, &close_ev);
  EXPECT_EQ(close_calls, 1);
  EXPECT_EQ(title_seen_by_app, "TQV 1 - active");
  plat_window_dispose(w);  // and a second disposal does nothing
  plat.depth--;
  plat_event other = {kPlatClassWork, 30, nullptr, 0, 0, 0};
  plat_send_event_to_window(nullptr, &other);  // the outermost dispatch ends
  EXPECT_EQ(plat.doomed, nullptr);
}

// ------------------------------------------------ a display library's queue

// A display connection like Xlib's: flushing output may read incoming events
// into the library's own queue, where they no longer make the connection
// readable.  The loop must take them before it blocks in poll(), and an
// Expose among them (no event, only a window to repaint) must be presented.
namespace fakedisplay {
int never_readable[2] = {-1, -1};
int on_wire;               // events the next flush reads into the library
bool library_queue;        // one read in, not yet pumped
plat_window *exposed;      // pumping it repaints this window; else a key
int polled_with_queued;    // poll() entered while an event sat unseen
int polled_with_dirty;     // poll() entered with a window left to repaint

int fd() {
  if (library_queue) polled_with_queued++;
  for (plat_window *w = plat.windows; w; w = w->next)
    if (w->dirty) polled_with_dirty++;
  return never_readable[0];
}
void pump() {
  if (!library_queue) return;
  library_queue = false;
  if (exposed) {
    exposed->dirty = true;
    return;
  }
  plat_event ev = {kPlatClassKeyboard, kPlatKeyRawKeyDown, nullptr, 0, 0, 'k'};
  plat_post(&ev);
}
void idle() {
  if (on_wire > 0) {
    on_wire--;
    library_queue = true;
  }
}
void close_display() {}
}  // namespace fakedisplay

class LoopOverDisplay : public Loop {
 protected:
  void SetUp() override {
    Loop::SetUp();
    Open();
    ASSERT_EQ(pipe(fakedisplay::never_readable), 0);
    ops_ = plat_headless_ops;
    ops_.fd = fakedisplay::fd;
    ops_.pump = fakedisplay::pump;
    ops_.idle = fakedisplay::idle;
    ops_.close = fakedisplay::close_display;
    saved_ = plat.ops;
    plat.ops = &ops_;
    fakedisplay::on_wire = 1;
    fakedisplay::library_queue = false;
    fakedisplay::exposed = nullptr;
    fakedisplay::polled_with_queued = fakedisplay::polled_with_dirty = 0;
  }
  void TearDown() override {
    plat.ops = saved_;
    close(fakedisplay::never_readable[0]);
    close(fakedisplay::never_readable[1]);
    Loop::TearDown();
  }
  plat_ops ops_;
  const plat_ops *saved_ = nullptr;
};

TEST_F(LoopOverDisplay, EventReadInWhileFlushingIsTakenBeforeBlocking) {
  plat_event ev{};
  // Bounded only so that the fault fails instead of hanging the run.
  ASSERT_EQ(plat_receive_next_event(&ev, 10000), 0);
  EXPECT_EQ(fakedisplay::polled_with_queued, 0);
  EXPECT_EQ(ev.cls, kPlatClassKeyboard);
  EXPECT_EQ(ev.ch, 'k');
}

TEST_F(LoopOverDisplay, ExposeReadInWhileFlushingIsRepaintedBeforeBlocking) {
  plat_rect r = {10, 10, 110, 210};
  plat_window *w = plat_window_create(&r);
  ASSERT_NE(w, nullptr);
  plat_window_show(w);
  fakedisplay::exposed = w;
  plat_event ev{};
  int presents = plat_headless_record()->presents;
  EXPECT_EQ(plat_receive_next_event(&ev, 50), 1);  // no event comes: a timeout
  EXPECT_EQ(fakedisplay::polled_with_queued, 0);
  EXPECT_EQ(fakedisplay::polled_with_dirty, 0);
  EXPECT_EQ(plat_headless_record()->presents, presents + 2);  // shown, exposed
}

}  // namespace
