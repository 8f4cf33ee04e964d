// pv5ctl's commands: a table of {name, handler} rows; each handler parses
// its words, calls the client library and prints one reply line.
#include "ctl_script.h"

#include <errno.h>
#include <math.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

namespace {

const int kCursorForever = -1;

struct Line {
  std::vector<std::string> words;  // words[0] is the command
  char *err;
  size_t errlen;
};

int bad(Line &l, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
int bad(Line &l, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(l.err, l.errlen, fmt, ap);
  va_end(ap);
  return -1;
}

bool to_int(const std::string &w, int *v) {
  errno = 0;
  char *end;
  long x = strtol(w.c_str(), &end, 10);  // "08" is eight, as a user means it
  if (w.empty() || *end || errno || x < INT32_MIN || x > INT32_MAX) return false;
  *v = int(x);
  return true;
}

bool to_float(const std::string &w, float *v) {
  errno = 0;
  char *end;
  double x = strtod(w.c_str(), &end);
  if (w.empty() || *end || errno == ERANGE) return false;
  *v = float(x);
  return true;
}

// Parses words[first .. first+n) as ints or floats.
int ints(Line &l, size_t first, size_t n, int *out) {
  for (size_t i = 0; i < n; i++)
    if (!to_int(l.words[first + i], &out[i])) return bad(l, "bad integer '%s'", l.words[first + i].c_str());
  return 0;
}
int floats(Line &l, size_t first, size_t n, float *out) {
  for (size_t i = 0; i < n; i++)
    if (!to_float(l.words[first + i], &out[i])) return bad(l, "bad number '%s'", l.words[first + i].c_str());
  return 0;
}

int arity(Line &l, size_t n, const char *usage) {
  if (l.words.size() != n + 1) return bad(l, "usage: %s", usage);
  return 0;
}

int lib(Line &l, pv5c *h, int rc) {
  if (rc == PV5C_OK) return 0;
  return bad(l, "%s", pv5c_error(h));
}

// Splits the words after the command at ";" into groups.
std::vector<std::vector<std::string>> groups(const Line &l) {
  std::vector<std::vector<std::string>> g(1);
  for (size_t i = 1; i < l.words.size(); i++) {
    if (l.words[i] == ";")
      g.emplace_back();
    else
      g.back().push_back(l.words[i]);
  }
  return g;
}

// Trailing "R G B" triples (st) become planar reds, greens, blues.
int colour_triples(Line &l, size_t first, std::vector<float> *planar, int *n) {
  size_t k = l.words.size() - first;
  if (k % 3) return bad(l, "colours come as R G B triples");
  *n = int(k / 3);
  std::vector<float> t(k);
  if (k && floats(l, first, k, t.data())) return -1;
  planar->assign(k, 0.f);
  for (int i = 0; i < *n; i++)
    for (int c = 0; c < 3; c++) (*planar)[size_t(c * *n + i)] = t[size_t(3 * i + c)];
  return 0;
}

int do_cr(Line &l, pv5c *h, FILE *out) {
  int w;
  float c[4];
  if (arity(l, 5, "cr W TOP LEFT RIGHT BOTTOM") || ints(l, 1, 1, &w) || floats(l, 2, 4, c)) return -1;
  int32_t r;
  if (lib(l, h, pv5c_cr(h, w, c[0], c[1], c[2], c[3], &r))) return -1;
  fprintf(out, "cr %d\n", r);
  return 0;
}

int do_window(Line &l, pv5c *h, FILE *out) {  // de, er, gr
  const std::string &op = l.words[0];
  int w;
  if (arity(l, 1, (op + " W").c_str()) || ints(l, 1, 1, &w)) return -1;
  int32_t r;
  float ratio = 0;
  int rc = op == "de" ? pv5c_de(h, w, &r) : op == "er" ? pv5c_er(h, w, &r) : pv5c_gr(h, w, &ratio, &r);
  if (lib(l, h, rc)) return -1;
  if (op == "gr" && r == 0)
    fprintf(out, "gr %d %g\n", r, ratio);
  else
    fprintf(out, "%s %d\n", op.c_str(), r);
  return 0;
}

int do_fl(Line &l, pv5c *h, FILE *out) {
  int32_t r;
  if (arity(l, 0, "fl") || lib(l, h, pv5c_fl(h, &r))) return -1;
  fprintf(out, "fl %d\n", r);
  return 0;
}

int do_st(Line &l, pv5c *h, FILE *out) {
  if (l.words.size() < 4) return bad(l, "usage: st STYLE WIDTH COLOR [R G B]...");
  int v[3], n = 0;
  std::vector<float> rgb;
  if (ints(l, 1, 3, v) || colour_triples(l, 4, &rgb, &n)) return -1;
  int32_t r;
  if (lib(l, h, pv5c_st(h, v[0], v[1], v[2], n, rgb.data(), &r))) return -1;
  fprintf(out, "st %d\n", r);
  return 0;
}

// Points "X Y X Y ..." into separate x and y arrays.
int points(Line &l, const std::vector<std::string> &w, size_t first, std::vector<float> *x, std::vector<float> *y) {
  size_t k = w.size() - first;
  if (k % 2) return bad(l, "points come as X Y pairs");
  x->resize(k / 2);
  y->resize(k / 2);
  for (size_t i = 0; i < k; i++) {
    float v;
    if (!to_float(w[first + i], &v)) return bad(l, "bad number '%s'", w[first + i].c_str());
    (i % 2 ? *y : *x)[i / 2] = v;
  }
  return 0;
}

int do_dr(Line &l, pv5c *h, FILE *out) {
  auto gs = groups(l);
  std::vector<std::vector<float>> xs(gs.size()), ys(gs.size());
  std::vector<pv5c_line> lines(gs.size());
  for (size_t g = 0; g < gs.size(); g++) {
    const auto &w = gs[g];
    int v[3];
    if (w.size() < 3) return bad(l, "usage: dr WIDTH STYLE COLOR X Y ... [; WIDTH STYLE COLOR X Y ...]");
    for (int i = 0; i < 3; i++)
      if (!to_int(w[size_t(i)], &v[i])) return bad(l, "bad integer '%s'", w[size_t(i)].c_str());
    if (points(l, w, 3, &xs[g], &ys[g])) return -1;
    lines[g] = {int(xs[g].size()), v[0], v[1], v[2], xs[g].data(), ys[g].data()};
  }
  int32_t r;
  if (lib(l, h, pv5c_dr(h, int(lines.size()), lines.data(), &r))) return -1;
  fprintf(out, "dr %d\n", r);
  return 0;
}

int do_fi(Line &l, pv5c *h, FILE *out) {
  auto gs = groups(l);
  std::vector<std::vector<float>> xs(gs.size()), ys(gs.size());
  std::vector<pv5c_poly> polys(gs.size());
  for (size_t g = 0; g < gs.size(); g++) {
    const auto &w = gs[g];
    int c;
    if (w.empty()) return bad(l, "usage: fi COLOR X Y ... [; COLOR X Y ...]");
    if (!to_int(w[0], &c)) return bad(l, "bad integer '%s'", w[0].c_str());
    if (points(l, w, 1, &xs[g], &ys[g])) return -1;
    polys[g] = {c, int(xs[g].size()), xs[g].data(), ys[g].data()};
  }
  int32_t r;
  if (lib(l, h, pv5c_fi(h, int(polys.size()), polys.data(), &r))) return -1;
  fprintf(out, "fi %d\n", r);
  return 0;
}

// The shared tail of "rh" and "grid": 8 rectangle numbers, then the table.
int raster_header(Line &l, size_t first, float rect[8], std::vector<float> *tab, int *n) {
  if (l.words.size() < first + 8) return bad(l, "the image and grid rectangles need 8 numbers");
  size_t k = l.words.size() - first - 8;
  if (k % 4) return bad(l, "colour table entries come as LEVEL R G B");
  *n = int(k / 4);
  tab->resize(k);
  return floats(l, first, 8, rect) || (k && floats(l, first + 8, k, tab->data())) ? -1 : 0;
}

int do_rh(Line &l, pv5c *h, FILE *out) {
  if (l.words.size() < 5) return bad(l, "usage: rh W OPTS IW IH PX0 PY0 PX1 PY1 DX0 DY0 DX1 DY1 [LEVEL R G B]...");
  int v[4], n;
  float rect[8];
  std::vector<float> tab;
  if (ints(l, 1, 4, v) || raster_header(l, 5, rect, &tab, &n)) return -1;
  int32_t r;
  if (lib(l, h, pv5c_rh(h, v[0], v[1], v[2], v[3], rect, rect + 4, n, tab.data(), &r))) return -1;
  fprintf(out, "rh %d\n", r);
  return 0;
}

int do_rd(Line &l, pv5c *h, FILE *out) {
  if (l.words.size() < 2) return bad(l, "usage: rd W V...");
  int w;
  std::vector<float> s(l.words.size() - 2);
  if (ints(l, 1, 1, &w) || floats(l, 2, s.size(), s.data())) return -1;
  int32_t r;
  if (lib(l, h, pv5c_rd(h, w, int(s.size()), s.data(), &r))) return -1;
  fprintf(out, "rd %d\n", r);
  return 0;
}

// grid W FILE IW IH rect... table...: the samples are native float32.
int do_grid(Line &l, pv5c *h, FILE *out) {
  if (l.words.size() < 5) return bad(l, "usage: grid W FILE IW IH PX0 PY0 PX1 PY1 DX0 DY0 DX1 DY1 [LEVEL R G B]...");
  int w, dims[2], n;
  float rect[8];
  std::vector<float> tab;
  if (ints(l, 1, 1, &w) || ints(l, 3, 2, dims) || raster_header(l, 5, rect, &tab, &n)) return -1;
  if (dims[0] < 1 || dims[1] < 1) return bad(l, "grid size %d x %d", dims[0], dims[1]);
  size_t count = size_t(dims[0]) * size_t(dims[1]);
  const std::string &path = l.words[2];
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) return bad(l, "cannot open %s: %s", path.c_str(), strerror(errno));
  std::vector<float> s(count);
  size_t got = fread(s.data(), sizeof(float), count, f);
  fclose(f);
  if (got != count) return bad(l, "%s holds %zu samples, %zu needed", path.c_str(), got, count);
  int32_t r;
  if (lib(l, h, pv5c_grid(h, w, 0, dims[0], dims[1], rect, rect + 4, n, tab.data(), s.data(), &r))) return -1;
  fprintf(out, "grid %d\n", r);
  return 0;
}

// Prints text with quotes, escaping what is not plain printable ASCII.
void quoted(FILE *out, const char *t) {
  fputc('"', out);
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(t); *p; p++) {
    if (*p == '"' || *p == '\\')
      fprintf(out, "\\%c", *p);
    else if (*p < 32 || *p > 126)
      fprintf(out, "\\x%02x", *p);
    else
      fputc(*p, out);
  }
  fputc('"', out);
}

int do_cursor(Line &l, pv5c *h, FILE *out) {
  const std::string &op = l.words[0];
  int opts;
  float a[2];
  if (arity(l, 3, (op + " OPTS AX AY").c_str()) || ints(l, 1, 1, &opts) || floats(l, 2, 2, a)) return -1;
  fflush(out);  // the user is about to answer: show what came before
  int32_t r, ch = 0;
  float x = 0, y = 0;
  if (op == "cc") {
    if (lib(l, h, pv5c_cc(h, opts, a[0], a[1], kCursorForever, &x, &y, &ch, &r))) return -1;
    fprintf(out, "cc %d %g %g %d\n", r, x, y, ch);
    return 0;
  }
  std::vector<char> text(pv5c_size(h) + 1);
  if (lib(l, h, pv5c_ct(h, opts, a[0], a[1], kCursorForever, &x, &y, text.data(), text.size(), &r))) return -1;
  fprintf(out, "ct %d %g %g ", r, x, y);
  quoted(out, text.data());
  fputc('\n', out);
  return 0;
}

int do_gd(Line &l, pv5c *h, FILE *out) {
  int32_t r;
  float w, ratio;
  if (arity(l, 0, "gd") || lib(l, h, pv5c_gd(h, &w, &ratio, &r))) return -1;
  fprintf(out, "gd %d %g %g\n", r, w, ratio);
  return 0;
}

int do_ru(Line &l, pv5c *h, FILE *out) {
  int32_t r;
  float t, dt, dtsys;
  if (arity(l, 0, "ru") || lib(l, h, pv5c_ru(h, &t, &dt, &dtsys, &r))) return -1;
  fprintf(out, "ru %d %g %g %g\n", r, t, dt, dtsys);
  return 0;
}

// raw HEX...: the bytes of a record, for malformed ones.
int do_raw(Line &l, pv5c *h, FILE *out) {
  std::vector<unsigned char> rec;
  for (size_t i = 1; i < l.words.size(); i++) {
    const std::string &w = l.words[i];
    if (w.size() % 2) return bad(l, "hex bytes come in pairs: '%s'", w.c_str());
    for (size_t k = 0; k < w.size(); k += 2) {
      char *end;
      char two[3] = {w[k], w[k + 1], 0};
      long b = strtol(two, &end, 16);
      if (*end) return bad(l, "bad hex '%s'", w.c_str());
      rec.push_back(static_cast<unsigned char>(b));
    }
  }
  if (rec.empty()) return bad(l, "usage: raw HEX...");
  int32_t r;
  if (lib(l, h, pv5c_raw(h, rec.data(), rec.size(), &r))) return -1;
  fprintf(out, "raw %d\n", r);
  return 0;
}

int do_send(Line &l, pv5c *h, FILE *out) {
  int id;
  if (arity(l, 1, "send ID") || ints(l, 1, 1, &id) || lib(l, h, pv5c_send_id(h, id))) return -1;
  fprintf(out, "send %d\n", id);
  return 0;
}

int do_sleep(Line &l, pv5c *, FILE *out) {
  float s;
  if (arity(l, 1, "sleep SECONDS") || floats(l, 1, 1, &s)) return -1;
  if (!(s >= 0 && s < 86400)) return bad(l, "sleep %g: out of range", s);
  fflush(out);
  timespec ts = {time_t(s), long(fmodf(s, 1.f) * 1e9f)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
  return 0;
}

struct Command {
  const char *name;
  int (*fn)(Line &, pv5c *, FILE *);
};

const Command kCommands[] = {
    {"cr", do_cr},    {"de", do_window}, {"st", do_st},     {"er", do_window}, {"fl", do_fl},
    {"dr", do_dr},    {"fi", do_fi},     {"rh", do_rh},     {"rd", do_rd},     {"grid", do_grid},
    {"cc", do_cursor}, {"ct", do_cursor}, {"gd", do_gd},    {"gr", do_window}, {"ru", do_ru},
    {"raw", do_raw},  {"send", do_send}, {"sleep", do_sleep},
};

}  // namespace

const char kCtlScriptHelp[] =
    "script commands, one a line (# starts a comment):\n"
    "  cr W TOP LEFT RIGHT BOTTOM      create or show window W (fractions of the display width)\n"
    "  de W | er W | fl                destroy, erase (and make current), flush the current window\n"
    "  st STYLE WIDTH COLOR [R G B]... line state and the line colour table\n"
    "  dr WIDTH STYLE COLOR X Y X Y... [; WIDTH STYLE COLOR X Y...]  polylines, one record\n"
    "  fi COLOR X Y X Y... [; COLOR X Y...]                          filled polygons\n"
    "  rh W OPTS IW IH PX0 PY0 PX1 PY1 DX0 DY0 DX1 DY1 [LEVEL R G B]...  raster header\n"
    "  rd W V...                       raster samples\n"
    "  grid W FILE IW IH PX0 PY0 PX1 PY1 DX0 DY0 DX1 DY1 [LEVEL R G B]...\n"
    "                                  a whole grid from a file of native float32 samples\n"
    "  cc OPTS AX AY | ct OPTS AX AY   graphic cursor: prints x, y and the key or \"text\"\n"
    "  gd | gr W | ru                  display size, window aspect ratio, processor times\n"
    "  raw HEX...                      the bytes of any record\n"
    "  send ID                         a bare datagram with message id ID (no reply)\n"
    "  sleep SECONDS                   pause\n"
    "each command prints one line: its name, the reply word, then the result slots\n";

int ctl_run_line(pv5c *h, const char *text, FILE *out, char *err, size_t errlen) {
  Line l;
  l.err = err;
  l.errlen = errlen;
  std::string s(text);
  size_t hash = s.find('#');
  if (hash != std::string::npos) s.erase(hash);
  const char *sep = " \t\r\n";
  for (size_t i = s.find_first_not_of(sep); i != std::string::npos;) {
    size_t e = s.find_first_of(sep, i);
    l.words.push_back(s.substr(i, e == std::string::npos ? std::string::npos : e - i));
    i = e == std::string::npos ? e : s.find_first_not_of(sep, e);
  }
  if (l.words.empty()) return 0;
  for (const Command &c : kCommands)
    if (l.words[0] == c.name) return c.fn(l, h, out);
  return bad(l, "unknown command '%s'", l.words[0].c_str());
}
