// Small text utilities of the message system.
#include <stdio.h>
#include <string.h>

#include "filelib.h"

void cnvita(const int &value, char *text, const int &len) {
  if (len < 1) return;
  char digits[16];
  int n = snprintf(digits, sizeof digits, "%d", value);
  if (n > len) {
    memset(text, '*', len);
    return;
  }
  memset(text, ' ', len - n);
  memcpy(text + len - n, digits, n);
}

void ljust(char *text, const int &len) {
  if (len <= 0) return;
  int p = 0;
  while (p < len && text[p] == ' ') p++;
  if (p == 0 || p == len) return;
  memmove(text, text + p, len - p);
  memset(text + len - p, ' ', p);
}

void modcase(const int &dir, const char *in, const int &inlen, const int &count, char *out,
             const int &outlen) {
  bool quoted = false;
  for (int i = 0; i < count && i < inlen; i++) {
    char c = in[i];
    if (c == '"' || c == '\'') {
      quoted = !quoted;
    } else if (!quoted) {
      if (dir && c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
      if (!dir && c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    if (i < outlen) out[i] = c;
  }
}
