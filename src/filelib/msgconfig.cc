// Filling the message configuration.  pixmill itself never does: its
// messages keep the empty configuration and are never written.
#include <string.h>

#include "filelib.h"

void rstmsg() {
  memset(&cmmsg, 0, sizeof cmmsg);
  memset(&kmmsg, 0, sizeof kmmsg);
}

void namemsg(const int &k, const char *name, const int &len) {
  if (k < 1 || k > 6) return;
  char *dst = kmmsg.type_names[k - 1];
  int n = len < 8 ? len : 8;
  if (n < 0) n = 0;
  memset(dst, ' ', 8);
  memcpy(dst, name, n);
}

void unitmsg(const int &unit, const int *sends, int &err) {
  err = 0;
  if (cmmsg.unit_count >= 5) {
    err = 1;
    return;
  }
  int j = cmmsg.unit_count++;
  cmmsg.output_units[j] = unit;
  for (int t = 0; t < 6; t++) cmmsg.send_switch[j][t] = sends[t] != 0;
}

void automsg(const int &on) { cmmsg.auto_output = on; }

void textmsg(const int &number, const char *text, const int &len, int &err) {
  err = 0;
  if (cmmsg.table_count >= 400) {
    err = 1;
    return;
  }
  int k = cmmsg.table_count++;
  cmmsg.table_numbers[k] = number;
  int n = len < 160 ? len : 160;
  if (n < 0) n = 0;
  memset(kmmsg.table_texts[k], ' ', 160);
  memcpy(kmmsg.table_texts[k], text, n);
}
