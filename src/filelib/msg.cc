// The numbered message system.  A failing routine starts a message
// (setmsg), appends words and numbers (apcmsg, apimsg) and leaves it in the
// global state; a caller may write it out (outmsg) or clear it (clrmsg).
//
// A message has up to five lines of 160 characters; the first line holds 150.
// Its type (1 to 6) selects the prefix outmsg writes: 1 an "ERROR" line with
// the number, 2 " WARNING: ", 6 " ==> ", any other one blank.  Which types
// go to which units, the type names and the numbered texts are the
// configuration; left empty, every message has type 3, numbers show as
// "Number" and the number, and nothing is written.
#include <string.h>

#include "filelib.h"
#include "textnum.h"

cmmsg_block cmmsg;
kmmsg_block kmmsg;

namespace {

const int kline = 160;
const int kfirst = 150;

}  // namespace

void setmsg(const char *type, const int &tlen, const int &number) {
  clrmsg();
  typmsg(type, tlen);
  if (number >= 100) {
    char work[kline];
    getmsg(number, work, kline);
    apcmsg(work, kline);
  }
  cmmsg.error_number = number;
}

void clrmsg() {
  for (int i = 0; i < cmmsg.line_count && i < 5; i++) memset(kmmsg.message_lines[i], ' ', kline);
  cmmsg.error_number = 0;
  cmmsg.message_type = 0;
  cmmsg.line_column = 0;
  cmmsg.line_count = 1;
}

void typmsg(const char *type, const int &tlen) {
  static const int upper = 1, one = 1;
  char c = ' ';
  if (tlen >= 1) modcase(upper, type, tlen, one, &c, one);
  // Unnamed entries (still NUL) match nothing.
  cmmsg.message_type = 3;
  for (int k = 0; k < 6; k++) {
    if (kmmsg.type_names[k][0] != '\0' && kmmsg.type_names[k][0] == c) {
      cmmsg.message_type = k + 1;
      return;
    }
  }
}

void apcmsg(const char *text, const int &len) {
  // Appending before any message was started starts from a cleared one.
  if (cmmsg.line_count < 1) cmmsg.line_count = 1;
  int n = indexb(text, len);
  int limit = cmmsg.line_count == 1 ? kfirst : kline;
  if (n + cmmsg.line_column >= limit) {
    if (cmmsg.line_count <= 4) {
      cmmsg.line_count++;
      cmmsg.line_column = 0;
    } else if (cmmsg.auto_output) {
      outmsg();
      int type = cmmsg.message_type;
      clrmsg();
      cmmsg.message_type = type;
    } else {
      memset(kmmsg.message_lines[4], ' ', kline);
      cmmsg.line_column = 0;
    }
  }
  if (n == 0) {
    cmmsg.line_column++;
    return;
  }
  char *line = kmmsg.message_lines[cmmsg.line_count - 1];
  int col = cmmsg.line_column;  // characters before the text
  for (int i = 0; i < n + 2 && col + i < kline; i++) line[col + i] = i < n ? text[i] : ' ';
  cmmsg.line_column = col + n + 1;
}

void apimsg(const int &value) {
  static const int worklen = 8;
  char work[worklen];
  cnvita(value, work, worklen);
  ljust(work, worklen);
  apcmsg(work, worklen);
}

void getmsg(const int &number, char *text, const int &len) {
  for (int k = 0; k < cmmsg.table_count && k < 400; k++) {
    if (cmmsg.table_numbers[k] != number) continue;
    if (len < 1) return;
    int n = len < kline ? len : kline;
    memcpy(text, kmmsg.table_texts[k], n);
    if (len > n) memset(text + n, ' ', len - n);
    return;
  }
  if (len < 1) return;
  // "Number" and the number in five columns: 11 characters, cut to fit.
  char work[11];
  memcpy(work, "Number", 6);
  static const int cols = 5;
  cnvita(number, work + 6, cols);
  int n = len < 11 ? len : 11;
  memcpy(text, work, n);
  if (len > n) memset(text + n, ' ', len - n);
}

void outmsg() {
  char out[8 + 4 + 2 + kline];
  for (int line = 1; line <= cmmsg.line_count && line <= 5; line++) {
    const char *text = kmmsg.message_lines[line - 1];
    int k = indexb(text, kline);
    int o = 0;
    if (line == 1 && cmmsg.message_type == 1) {
      memcpy(out, " \aERROR ", 8);
      o = 8;
      int num = cmmsg.error_number;
      if (num > 999) {
        static const int four = 4;
        cnvita(num, out + o, four);
        o += 4;
      } else {
        static const int three = 3;
        out[o++] = ' ';
        cnvita(num, out + o, three);
        o += 3;
      }
      out[o++] = ':';
      out[o++] = ' ';
    } else if (line == 1 && cmmsg.message_type == 2) {
      memcpy(out, " WARNING: ", 10);
      o = 10;
    } else if (line == 1 && cmmsg.message_type == 6) {
      memcpy(out, " ==> ", 5);
      o = 5;
    } else {
      out[o++] = ' ';
    }
    // An empty line is written as one character; a never-blanked line reads
    // as a blank one.
    if (k == 0) {
      out[o++] = text[0] == '\0' ? ' ' : text[0];
    } else {
      memcpy(out + o, text, k);
      o += k;
    }
    for (int j = 0; j < cmmsg.unit_count && j < 5; j++) {
      int type = cmmsg.message_type;
      if (type < 1 || type > 6 || !cmmsg.send_switch[j][type - 1]) continue;
      ulwrite(cmmsg.output_units[j], out, o);
    }
  }
}
