// The event queue and the poll() loop on the main thread.
//
// Sources, in the order the application loop takes them: the signal pipe,
// then one datagram from the message endpoint (dispatched before anything
// else is read, so a client that sends a command and then acts as the user
// sees its command run first), then the display or the headless input.  The
// nested loop of the cursor takes the same sources except the endpoint: no
// command starts while another runs.  Windows marked for presenting are
// presented when the loop has nothing left to do, just before it blocks.
#include <errno.h>
#include <poll.h>
#include <time.h>

#include <algorithm>

#include "internal.h"

void plat_post(const plat_event *ev) { plat.queue.push_back(*ev); }

void plat_purge_window(plat_window *win) {
  auto &q = plat.queue;
  q.erase(std::remove_if(q.begin(), q.end(), [win](const plat_event &e) { return e.win == win; }),
          q.end());
}

void plat_loop_reset() {
  plat.queue.clear();
  plat.app = nullptr;
  plat.app_user = nullptr;
  plat.quit = false;
  plat.running = false;
  plat.depth = 0;
}

void plat_set_app_handler(plat_handler fn, void *user) {
  plat.app = fn;
  plat.app_user = user;
}

void plat_quit_app_loop() { plat.quit = true; }
bool plat_quit_requested() { return plat.quit; }

static void free_doomed() {
  while (plat.doomed) {
    plat_window *w = plat.doomed;
    plat.doomed = w->next;
    plat_window_free(w);
  }
}

int32_t plat_send_event_to_window(plat_window *win, const plat_event *ev) {
  int32_t st = kPlatNotHandled;
  plat.depth++;
  // A disposed window's handler has had its last event: the close that
  // disposed of it must not reach it twice.
  if (win && !win->disposed && win->handler) st = win->handler(ev, win->user);
  if (st == kPlatNotHandled && plat.app) st = plat.app(ev, plat.app_user);
  if (--plat.depth == 0) free_doomed();
  return st;
}

// A display or headless-input event, if one is ready without blocking.
static bool take_user_event(plat_event *ev) {
  if (plat.ops && plat.ops->pump) plat.ops->pump();
  while (plat.queue.empty() && plat_input_step()) {
  }
  if (plat.queue.empty()) return false;
  *ev = plat.queue.front();
  plat.queue.pop_front();
  return true;
}

// Presents what waits to be presented, then blocks until a source is
// readable or timeout_ms passes.
static bool any_dirty() {
  for (plat_window *w = plat.windows; w; w = w->next)
    if (w->dirty) return true;
  return false;
}

static void wait_idle(bool with_msg, int timeout_ms) {
  // Presenting and flushing talk to the display, and the display library
  // reads whatever arrives meanwhile into its own queue, where it no longer
  // makes the connection readable: pump it before blocking.  Events go back
  // to the caller; an Expose only marks a window, so present again.
  for (;;) {
    plat_present_dirty();
    if (plat.ops && plat.ops->idle) plat.ops->idle();
    if (plat.ops && plat.ops->pump) plat.ops->pump();
    if (!plat.queue.empty()) return;
    if (!any_dirty()) break;
  }
  pollfd fds[4];
  int n = 0;
  if (plat.sigpipe[0] >= 0) fds[n++] = {plat.sigpipe[0], POLLIN, 0};
  if (with_msg && plat.msgfd >= 0) fds[n++] = {plat.msgfd, POLLIN, 0};
  int dfd = plat.ops && plat.ops->fd ? plat.ops->fd() : -1;
  if (dfd >= 0) fds[n++] = {dfd, POLLIN, 0};
  int ifd = plat_input_fd();
  if (ifd >= 0) fds[n++] = {ifd, POLLIN, 0};
  // Nothing to wait for and no time limit would block forever; a loop with
  // no sources at all can only be ended by a handler, which cannot run.
  if (n == 0 && timeout_ms < 0) timeout_ms = 100;
  poll(fds, n, timeout_ms);  // EINTR: the signal is in the pipe, seen next round
}

void plat_run_app_loop() {
  if (plat.running) return;
  plat.running = true;
  plat.quit = false;
  while (!plat.quit) {
    plat_event ev;
    if (plat_signal_take(&ev) || plat_msgport_take(&ev)) {
      plat_send_event_to_window(ev.win, &ev);
      continue;
    }
    if (take_user_event(&ev)) {
      // A client may send a command and write input while this loop is
      // between the endpoint and the input.  The command went out first, so
      // it is waiting now: it runs first, the event stays at the front.
      plat_event cmd;
      if (plat_msgport_take(&cmd)) {
        plat.queue.push_front(ev);
        ev = cmd;
      }
      plat_send_event_to_window(ev.win, &ev);
      continue;
    }
    wait_idle(true, -1);
  }
  plat.running = false;
}

static long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

int plat_receive_next_event(plat_event *ev, int timeout_ms) {
  long long deadline = timeout_ms >= 0 ? now_ms() + timeout_ms : 0;
  for (;;) {
    if (plat.quit) return -1;
    if (plat_signal_take(ev) || take_user_event(ev)) return 0;
    int left = -1;
    if (timeout_ms >= 0) {
      long long rest = deadline - now_ms();
      if (rest <= 0) {
        plat_present_dirty();
        return 1;
      }
      left = int(rest);
    }
    wait_idle(false, left);
  }
}
