// Command-line tokens: the arguments are joined into one command string and
// split again at blanks, so an argument holding blanks gives several tokens
// and an empty one none.
#include <string.h>

#include "converter.h"
#include "filelib.h"
#include "textnum.h"

namespace {

int nargs;
char **args;

}  // namespace

void zargs(const int &argc, char **argv) {
  nargs = argc > 0 ? argc - 1 : 0;
  args = argv;
}

void zgimsg(char *text, const int &len) {
  if (len <= 0) return;
  if (nargs == 0) {
    memset(text, ' ', len);
    return;
  }
  int p = 1;
  for (int k = 1;; k++) {
    const char *arg = args[k];
    int room = len - p + 1;
    int n = int(strnlen(arg, room));
    memcpy(text + p - 1, arg, n);
    memset(text + p - 1 + n, ' ', room - n);
    int e = indexb(text, len);
    if (e + 1 <= len) text[e] = ' ';
    if (e + 2 >= len) {
      static const char warning[] = " warning:  command string too long.";
      static const int wlen = sizeof warning - 1;
      ulwrite(ulstdout, warning, wlen);
      return;
    }
    if (k == nargs) return;
    p = e + 2;
  }
}

void parser(char (*tokens)[ptoklen], int *lengths, int &count, const int &maxtok) {
  char cmd[pcmdlen];
  static const int cmdlen = pcmdlen;
  zgimsg(cmd, cmdlen);
  int first = 0;
  while (first < pcmdlen && cmd[first] == ' ') first++;
  count = 0;
  if (first == pcmdlen) return;
  bool open = true;
  int start = first;
  for (int i = first; i < pcmdlen; i++) {
    if (cmd[i] == ' ' || cmd[i] == '\0') {
      if (!open) continue;
      int n = i - start;
      if (count < maxtok) {
        int keep = n < ptoklen ? n : ptoklen;
        memcpy(tokens[count], cmd + start, keep);
        memset(tokens[count] + keep, ' ', ptoklen - keep);
        lengths[count] = n;
      }
      count++;
      open = false;
    } else if (!open) {
      open = true;
      start = i;
    }
  }
}
