// Text to single precision.
//
// Accepted: optional blanks, an optional sign, an integer part, optionally
// "." and a fraction, optionally "E" or "e" and an exponent, then a blank or
// the end of the text (anything after that blank is ignored).  Every part may
// be empty.  Each part is converted by cnvati through a 12-character work
// field, so a sign is accepted only as the first character of a part.
//
// err: 0 success; 1 blank text, a bad character, "." outside the integer
// part, a second exponent mark, or an exponent mark at position 1; 2 bad
// integer part before "."; 3 bad fraction before the exponent mark; 4 bad
// number without "." or exponent; 5 bad fraction at the end; 6 bad exponent;
// 7 bad integer part before the exponent mark.
#include <math.h>
#include <string.h>

#include "textnum.h"

namespace {

enum { kInt, kFrac, kExp };

// Converts text[from, to) (0-based) through a 12-character work field.
void field(const char *text, int from, int to, int32_t &value, int &err) {
  static const int worklen = 12;
  char work[worklen];
  int n = to - from;
  if (n > worklen) n = worklen;
  memset(work, ' ', worklen);
  if (n > 0) memcpy(work, text + from, n);
  value = 0;
  cnvati(work, worklen, value, err);
}

}  // namespace

void cnvatf(const char *text, const int &len, float &value, int &err) {
  static const char kok[] = "0123456789+-";
  err = 0;
  int i = 0;
  while (i < len && text[i] == ' ') i++;
  if (i >= len) {
    err = 1;
    return;
  }
  float sign = 1.0f;
  if (text[i] == '-' || text[i] == '+') {
    if (text[i] == '-') sign = -1.0f;
    i++;
    if (i >= len || text[i] == ' ') {
      value = 0.0f * sign;
      return;
    }
  }
  int state = kInt, start = i, k = 0, e;
  int32_t ipart = 0, fpart = 0, expo = 0;
  for (; i < len && text[i] != ' '; i++) {
    char c = text[i];
    if (c == '.') {
      if (state != kInt) {
        err = 1;
        return;
      }
      field(text, start, i, ipart, e);
      if (e) {
        err = 2;
        return;
      }
      state = kFrac;
      start = i + 1;
    } else if (c == 'E' || c == 'e') {
      if (i == 0 || state == kExp) {
        err = 1;
        return;
      }
      if (state == kInt) {
        field(text, start, i, ipart, e);
        if (e) {
          err = 7;
          return;
        }
      } else {
        field(text, start, i, fpart, e);
        if (e) {
          err = 3;
          return;
        }
        k = i - start;
      }
      state = kExp;
      start = i + 1;
    } else if (!memchr(kok, c, 12)) {
      err = 1;
      return;
    }
  }
  if (state == kInt) {
    field(text, start, i, ipart, e);
    if (e) {
      err = 4;
      return;
    }
  } else if (state == kFrac) {
    field(text, start, i, fpart, e);
    if (e) {
      err = 5;
      return;
    }
    k = i - start;
  } else {
    field(text, start, i, expo, e);
    if (e) {
      err = 6;
      return;
    }
  }
  float frac = float(fpart) / powf(10.0f, float(k));
  float v = (float(ipart) + frac) * sign;
  if (expo != 0) v *= powf(10.0f, float(expo));
  value = v;
  err = 0;
}
