// Unit numbers: finding a free unit, opening by type keyword, creating,
// testing for existence, and closing whatever a unit number stands for.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "filelib.h"
#include "textnum.h"

namespace {

const char kerror[] = "ERROR";
const int kerrorlen = 5;

// The whole type word, trailing blanks ignored, equals kw.
bool istype(const char *type, int tlen, const char *kw) {
  int n = indexb(type, tlen);
  return n == int(strlen(kw)) && memcmp(type, kw, n) == 0;
}

bool memname(const char *name, int nlen) { return nlen >= 1 && name[0] == '|'; }

void say(const char *piece) {
  int n = int(strlen(piece));
  apcmsg(piece, n);
}

// Starts the 101 message: the name, then the note, and for a unit-layer
// failure its status number in parentheses.
void openfailed(const char *name, int nlen, const char *note) {
  static const int n101 = 101;
  setmsg(kerror, kerrorlen, n101);
  apcmsg(name, nlen);
  say(note);
}

}  // namespace

void zgtfun(int &unit, int &err) {
  err = 0;
  for (int u = 19; u >= 1; u--) {
    if (!ulisopen(u)) {
      unit = u;
      return;
    }
  }
  unit = 0;
  err = 116;
}

void zinquire(const char *name, const int &nlen, bool &exists) {
  exists = false;
  if (!ulexists(name, nlen)) return;
  int isdir = 0;
  if (ulstat(name, nlen, isdir) != 0) return;
  exists = !isdir;
}

void zopen(int &unit, const char *name, const int &nlen, const char *type, const int &tlen,
           const int &length, int &err) {
  err = 0;
  int status = 0;
  if (istype(type, tlen, "SCRATCH")) {
    static const char none[] = "";
    static const int zero = 0;
    status = ulopen(unit, none, zero, ulscratch, ulseq, ulfmt, zero);
  } else {
    if (!memname(name, nlen)) {
      bool exists;
      zinquire(name, nlen, exists);
      if (!exists) {
        static const int n108 = 108;
        err = 108;
        setmsg(kerror, kerrorlen, n108);
        apcmsg(name, nlen);
        return;
      }
    }
    if (istype(type, tlen, "DATA") || istype(type, tlen, "RODATA")) {
      int readonly = type[0] == 'R' && type[1] == 'O';
      int code = 0;
      if (memname(name, nlen)) {
        int rest = nlen - 1;
        zopenm(unit, name + 1, rest, readonly, 0, code);
      } else {
        static const int mustexist = 0;
        zopenc(unit, name, nlen, mustexist, readonly, code);
      }
      if (code == 0) return;
      err = 101;
      openfailed(name, nlen, code == 1 ? "(Insufficient access rights.)" : "(System error occurred.)");
      return;
    }
    if (istype(type, tlen, "TEXT") || istype(type, tlen, "ROTEXT") || istype(type, tlen, "READ")) {
      status = ulopen(unit, name, nlen, ulold, ulseq, ulfmt, length);
    } else if (istype(type, tlen, "ROUNFR")) {
      status = ulopen(unit, name, nlen, ulold, ulseq, ulunfmt, length);
    } else if (istype(type, tlen, "RODIR")) {
      status = ulopen(unit, name, nlen, ulold, uldirect, ulunfmt, length);
    } else {
      err = 101;
      openfailed(name, nlen, "(Bad value for file type =");
      apcmsg(type, tlen);
      say(")");
      return;
    }
  }
  if (status == 0) return;
  err = 101;
  // The note is 27 characters: it labels the unit layer's status number.
  openfailed(name, nlen, "(Open failed, unit status =");
  apimsg(status);
  say(")");
}

void znfile(int &unit, const char *name, const int &nlen, const char *type, const int &tlen,
            const int &size, int &err) {
  err = 0;
  int code = 0;
  if (tlen >= 4 && memcmp(type, "DATA", 4) == 0) {
    if (memname(name, nlen)) {
      static const int create = 2;
      int rest = nlen - 1;
      zopenm(unit, name + 1, rest, create, size, code);
    } else {
      static const int create = 1, readwrite = 0;
      zopenc(unit, name, nlen, create, readwrite, code);
    }
  } else if (tlen >= 4 && memcmp(type, "TEXT", 4) == 0) {
    bool exists;
    zinquire(name, nlen, exists);
    static const int zero = 0;
    code = ulopen(unit, name, nlen, exists ? ulold : ulnew, ulseq, ulfmt, zero);
  } else {
    code = 1;
  }
  if (code != 0) err = 101;
}

void zopenc(int &unit, const char *name, const int &nlen, const int &create, const int &readonly,
            int &err) {
  err = 0;
  static const int maxpath = 1024;
  char path[maxpath + 1];
  int n = nlen < maxpath ? nlen : maxpath;
  if (n < 0) n = 0;
  memcpy(path, name, n);
  while (n > 1 && path[n - 1] == ' ') n--;
  path[n] = '\0';
  int flags = (readonly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
  if (create == 1) flags |= O_CREAT | O_TRUNC;
  int fd = open(path, flags, 0666);
  if (fd < 0) {
    err = errno == EACCES ? 1 : 2;
    return;
  }
  unit = -fd;
}

int zclosec(const int &unit) { return close(-unit); }

void zclose(const int &unit, const char *name, const int &nlen, int &err) {
  err = 0;
  int rc = 0;
  if (unit < 0) {
    rc = memname(name, nlen) ? zclosem(unit) : zclosec(unit);
  } else if (ulisopen(unit)) {
    rc = ulclose(unit);
  }
  if (rc != 0) err = 115;
}
