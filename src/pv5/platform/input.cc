// The headless input source.  Lines are turned into events one at a time,
// and only when the queue is empty, so every action takes effect in script
// order relative to the events before it.  A FIFO is opened read-write and
// non-blocking: we hold a writer ourselves, so a test closing its end never
// makes the FIFO read as endless end-of-file.  A regular file is read to
// its end once.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "input.h"
#include "internal.h"

static int in_fd = -1;
static bool in_eof;
static bool in_skip;  // dropping the rest of an overlong line
static std::string in_buf;
static const size_t kMaxLine = 4096;

// --------------------------------------------------------------- parsing

static bool int_token(const char **p, int *v) {
  while (**p == ' ' || **p == '\t') (*p)++;
  char *end;
  errno = 0;
  long n = strtol(*p, &end, 10);
  if (end == *p || errno || n < -1000000 || n > 1000000) return false;
  if (*end && *end != ' ' && *end != '\t') return false;
  *p = end;
  *v = int(n);
  return true;
}

static bool at_end(const char *p) {
  while (*p == ' ' || *p == '\t') p++;
  return *p == 0;
}

int plat_input_parse(const char *line, plat_input_action *act) {
  *act = plat_input_action{};
  const char *p = line;
  while (*p == ' ' || *p == '\t') p++;
  if (*p == 0 || *p == '#') return 0;
  const char *w = p;
  while (*p && *p != ' ' && *p != '\t') p++;
  std::string verb(w, size_t(p - w));

  if (verb == "text") {
    if (*p == 0) return -1;
    act->verb = PLAT_IN_TEXT;
    act->text = p + 1;  // the rest of the line after one separator
    return 0;
  }
  if (verb == "key") {
    while (*p == ' ' || *p == '\t') p++;
    const char *k = p;
    while (*p && *p != ' ' && *p != '\t') p++;
    std::string name(k, size_t(p - k));
    if (!at_end(p) || name.empty()) return -1;
    static const struct {
      const char *name;
      int ch;
    } keys[] = {{"return", 13}, {"escape", 27}, {"backspace", 8}, {"tab", 9}, {"space", 32}};
    act->verb = PLAT_IN_KEY;
    if (name.size() == 1) {
      act->a = (unsigned char)name[0];
      return 0;
    }
    for (const auto &k2 : keys) {
      if (name == k2.name) {
        act->a = k2.ch;
        return 0;
      }
    }
    return -1;
  }
  static const struct {
    const char *name;
    plat_input_verb verb;
    int nargs;
  } verbs[] = {{"pointer", PLAT_IN_POINTER, 2}, {"click", PLAT_IN_CLICK, 2}, {"close", PLAT_IN_CLOSE, 1},
               {"move", PLAT_IN_MOVE, 3},       {"resize", PLAT_IN_RESIZE, 3}};
  for (const auto &v : verbs) {
    if (verb != v.name) continue;
    int *args[3] = {&act->a, &act->b, &act->c};
    for (int i = 0; i < v.nargs; i++)
      if (!int_token(&p, args[i])) return -1;
    if (!at_end(p)) return -1;
    if (v.verb == PLAT_IN_RESIZE && (act->b < 1 || act->c < 1)) return -1;
    act->verb = v.verb;
    return 0;
  }
  return -1;
}

// --------------------------------------------------------------- acting

static void post(uint32_t cls, uint32_t kind, plat_window *win, int x, int y, int ch) {
  plat_event ev = {cls, kind, win, x, y, ch};
  plat_post(&ev);
}

static void act_on(const plat_input_action &a, const std::string &line) {
  switch (a.verb) {
    case PLAT_IN_NONE:
      return;
    case PLAT_IN_KEY:
      post(kPlatClassKeyboard, kPlatKeyRawKeyDown, nullptr, 0, 0, a.a);
      return;
    case PLAT_IN_TEXT:
      for (unsigned char c : a.text) post(kPlatClassKeyboard, kPlatKeyRawKeyDown, nullptr, 0, 0, c);
      return;
    case PLAT_IN_POINTER:
    case PLAT_IN_CLICK: {
      plat.mouse_x = a.a;
      plat.mouse_y = a.b;
      plat_window *w = plat_window_at(a.a, a.b);
      if (a.verb == PLAT_IN_POINTER) {
        post(kPlatClassMouse, kPlatMouseMoved, w, a.a, a.b, 0);
      } else {
        post(kPlatClassMouse, kPlatMouseDown, w, a.a, a.b, 0);
        post(kPlatClassMouse, kPlatMouseUp, w, a.a, a.b, 0);
      }
      return;
    }
    default:
      break;
  }
  plat_window *w = plat_window_by_tag(a.a);
  if (!w) {
    fprintf(stderr, "pv5:input: no window %d: %s\n", a.a, line.c_str());
    return;
  }
  if (a.verb == PLAT_IN_CLOSE) {
    post(kPlatClassWindow, kPlatWindowClose, w, 0, 0, 0);
    return;
  }
  plat_rect r = w->bounds;
  if (a.verb == PLAT_IN_MOVE) {
    r = {a.c, a.b, a.c + (r.bottom - r.top), a.b + (r.right - r.left)};
  } else {
    r.right = r.left + a.b;
    r.bottom = r.top + a.c;
  }
  plat_window_apply_bounds(w, &r);
  post(kPlatClassWindow, kPlatWindowBoundsChanged, w, 0, 0, 0);
}

static void run_line(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  plat_input_action a;
  if (plat_input_parse(line.c_str(), &a) < 0) {
    fprintf(stderr, "pv5:input: unknown action skipped: %s\n", line.c_str());
    return;
  }
  act_on(a, line);
}

// --------------------------------------------------------------- source

int plat_input_open(const char *path, char *err, int errlen) {
  struct stat st;
  int fd = -1;
  if (stat(path, &st) == 0) {
    fd = S_ISFIFO(st.st_mode) ? open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC)
                              : open(path, O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    plat_errtext(err, errlen, "cannot open input %s: %s", path, strerror(errno));
    return -1;
  }
  in_fd = fd;
  in_eof = false;
  in_skip = false;
  in_buf.clear();
  return 0;
}

void plat_input_close() {
  if (in_fd >= 0) close(in_fd);
  in_fd = -1;
  in_eof = false;
  in_skip = false;
  in_buf.clear();
}

int plat_input_fd() { return in_eof ? -1 : in_fd; }

bool plat_input_step() {
  if (in_fd < 0) return false;
  for (;;) {
    size_t nl = in_buf.find('\n');
    if (nl != std::string::npos && in_skip) {
      in_buf.erase(0, nl + 1);
      in_skip = false;
      continue;
    }
    if (nl != std::string::npos) {
      std::string line = in_buf.substr(0, nl);
      in_buf.erase(0, nl + 1);
      run_line(line);
      return true;
    }
    if (in_eof) {
      if (in_buf.empty() || in_skip) return false;
      std::string line;
      line.swap(in_buf);
      run_line(line);  // a last line without its line end
      return true;
    }
    if (in_buf.size() > kMaxLine) {
      if (!in_skip) fprintf(stderr, "pv5:input: line longer than %zu bytes skipped\n", kMaxLine);
      in_buf.clear();
      in_skip = true;
    }
    char chunk[4096];
    ssize_t n = read(in_fd, chunk, sizeof chunk);
    if (n > 0) {
      in_buf.append(chunk, size_t(n));
    } else if (n == 0) {
      in_eof = true;
    } else if (errno != EINTR) {
      if (errno != EAGAIN) in_eof = true;
      return false;
    }
  }
}
