// Text to 32-bit integer.
#include "textnum.h"

void cnvati(const char *text, const int &len, int32_t &value, int &err) {
  static const char kok[] = "0123456789";
  err = 0;
  int n = indexb(text, len);
  if (n > 16) {
    err = 2;
    return;
  }
  // The sum is kept modulo 2^32, so an overlong number wraps rather than
  // failing; the weights 1, 10, 100, ... wrap the same way.
  uint32_t digits = 0;
  uint32_t sign = 1;
  // Position 1 is looked at even for a blank text, so a leading blank reads
  // as the number 0.
  for (int i = 1; i <= n || (i == 1 && len >= 1); i++) {
    char c = text[i - 1];
    if (c == '+' || c == '-') {
      if (i != 1) {
        err = 1;
        return;
      }
      sign = c == '-' ? UINT32_MAX : 1;
    } else if (c == ' ') {
      break;
    } else {
      int d = 0;
      while (d < 10 && kok[d] != c) d++;
      if (d == 10) {
        err = 1;
        return;
      }
      digits = digits * 10u + uint32_t(d);
    }
  }
  value = int32_t(sign * digits);
}
