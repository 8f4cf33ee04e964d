// Character scans and the trimmed length of a text.
#include "textnum.h"

int indexa(const char *text, const int &len, const char &ch, const int &dir, const int &match) {
  if (len <= 0) return 0;
  int start = dir ? 1 : len, end = dir ? len + 1 : 0, step = dir ? 1 : -1;
  for (int i = start; i != end; i += step) {
    bool same = text[i - 1] == ch;
    if (same == (match != 0)) return i;
  }
  return 0;
}

int indexb(const char *text, const int &len) {
  static const char blank = ' ', nul = '\0';
  static const int backward = 0, forward = 1, differs = 0, equals = 1;
  int last = indexa(text, len, blank, backward, differs);
  int firstnul = indexa(text, len, nul, forward, equals);
  if (firstnul > 0 && firstnul - 1 < last) return firstnul - 1;
  return last;
}
