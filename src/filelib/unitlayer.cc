// The unit layer: units 1 to ulmaxunit, each open on one file with fixed
// settings.  Sequential units go through stdio (formatted lines, or
// unformatted records between two 4-byte length marks); direct units read and
// write whole records at (rec - 1) * reclen with pread and pwrite.  Unit 6 is
// standard output, connected from the start and never closed.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "filelib.h"

namespace {

struct ulunit {
  bool open;
  int fd;
  FILE *fp;  // sequential units only
  int access, form, reclen;
  bool writing;  // the last stdio operation was a write
};

ulunit units[ulmaxunit + 1];

// A name with its trailing blanks dropped, NUL-terminated; false when it does
// not fit.
bool ulpath(const char *name, int nlen, char (&path)[PATH_MAX]) {
  while (nlen > 0 && name[nlen - 1] == ' ') nlen--;
  if (nlen < 0) nlen = 0;
  if (nlen >= PATH_MAX) return false;
  memcpy(path, name, nlen);
  path[nlen] = '\0';
  return true;
}

int errstatus() { return errno ? errno : EIO; }

// Scratch files live unnamed in /tmp; where O_TMPFILE is not supported, a
// named file is made and unlinked at once.
int scratchfd() {
  int fd = open("/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  char tmpl[] = "/tmp/pixmillXXXXXX";
  fd = mkostemp(tmpl, O_CLOEXEC);
  if (fd >= 0) unlink(tmpl);
  return fd;
}

int openfd(const char *name, int nlen, int status, int &fd) {
  if (status == ulscratch) {
    fd = scratchfd();
    return fd < 0 ? errstatus() : 0;
  }
  char path[PATH_MAX];
  if (!ulpath(name, nlen, path)) return ENAMETOOLONG;
  if (status == ulnew) {
    fd = open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd < 0 ? errstatus() : 0;
  }
  fd = open(path, O_RDWR | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == ETXTBSY))
    fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errstatus();
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    close(fd);
    return EISDIR;
  }
  return 0;
}

ulunit *getunit(int unit, int &status) {
  if (unit == ulstdout) {
    ulunit &u = units[ulstdout];
    if (!u.open) u = ulunit{true, STDOUT_FILENO, stdout, ulseq, ulfmt, 0, true};
    status = 0;
    return &u;
  }
  if (unit < 1 || unit > ulmaxunit) {
    status = uleunit;
    return nullptr;
  }
  if (!units[unit].open) {
    status = ulenotopen;
    return nullptr;
  }
  status = 0;
  return &units[unit];
}

// A sequential write makes its record the last one of the file, as on tape:
// the first write after opening or reading cuts off what followed.
int startwrite(ulunit &u) {
  if (u.writing) return 0;
  if (fseeko(u.fp, 0, SEEK_CUR) != 0) return errstatus();
  off_t at = ftello(u.fp);
  struct stat st;
  if (fstat(u.fd, &st) == 0 && S_ISREG(st.st_mode) && at < st.st_size && ftruncate(u.fd, at) != 0)
    return errstatus();
  u.writing = true;
  return 0;
}

int startread(ulunit &u) {
  if (!u.writing) return 0;
  if (fflush(u.fp) != 0 || fseeko(u.fp, 0, SEEK_CUR) != 0) return errstatus();
  u.writing = false;
  return 0;
}

}  // namespace

int ulopen(const int &unit, const char *name, const int &nlen, const int &status, const int &access,
           const int &form, const int &reclen) {
  if (unit < 1 || unit > ulmaxunit) return uleunit;
  if (ulisopen(unit)) return uleopen;
  if (status < ulold || status > ulscratch || (access != ulseq && access != uldirect) ||
      (form != ulfmt && form != ulunfmt) || (access == uldirect && reclen <= 0))
    return ulesettings;
  int fd = -1;
  int st = openfd(name, nlen, status, fd);
  if (st) return st;
  FILE *fp = nullptr;
  if (access == ulseq) {
    bool readonly = (fcntl(fd, F_GETFL) & O_ACCMODE) == O_RDONLY;
    fp = fdopen(fd, readonly ? "r" : "r+");
    if (!fp) {
      st = errstatus();
      close(fd);
      return st;
    }
  }
  units[unit] = ulunit{true, fd, fp, access, form, access == uldirect ? reclen : 0, false};
  return 0;
}

bool ulisopen(const int &unit) {
  if (unit == ulstdout) return true;
  return unit >= 1 && unit <= ulmaxunit && units[unit].open;
}

int ulclose(const int &unit) {
  int st;
  ulunit *u = getunit(unit, st);
  if (!u) return st;
  if (unit == ulstdout) return fflush(stdout) == 0 ? 0 : errstatus();
  int rc = u->fp ? fclose(u->fp) : close(u->fd);
  int err = rc == 0 ? 0 : errstatus();
  *u = ulunit{};
  return err;
}

int ulwrite(const int &unit, const char *text, const int &len) {
  int st;
  ulunit *u = getunit(unit, st);
  if (!u) return st;
  if (u->access != ulseq || u->form != ulfmt) return ulemode;
  if ((st = startwrite(*u))) return st;
  errno = 0;
  if ((len > 0 && fwrite(text, 1, len, u->fp) != size_t(len)) || fputc('\n', u->fp) == EOF)
    return errstatus();
  // Lines to standard output go out at once, so that they keep their order
  // with anything else the process writes.
  if (unit == ulstdout && fflush(u->fp) != 0) return errstatus();
  return 0;
}

int ulread(const int &unit, char *text, const int &len, int &got) {
  int st;
  got = 0;
  ulunit *u = getunit(unit, st);
  if (!u) return st;
  if (u->access != ulseq || u->form != ulfmt || unit == ulstdout) return ulemode;
  if ((st = startread(*u))) return st;
  int c;
  while ((c = getc(u->fp)) != EOF && c != '\n') {
    if (got < len) text[got] = char(c);
    got++;
  }
  if (ferror(u->fp)) return errstatus();
  if (c == EOF && got == 0) return uleeof;
  for (int i = got; i < len; i++) text[i] = ' ';
  return 0;
}

int ulwrec(const int &unit, const int &rec, const void *buf, const int &nbytes) {
  int st;
  ulunit *u = getunit(unit, st);
  if (!u) return st;
  if (nbytes < 0) return ulerecord;
  if (u->access == ulseq) {
    if (u->form != ulunfmt || rec != 0) return ulemode;
    if ((st = startwrite(*u))) return st;
    int32_t mark = nbytes;
    errno = 0;
    if (fwrite(&mark, 4, 1, u->fp) != 1 || fwrite(buf, 1, nbytes, u->fp) != size_t(nbytes) ||
        fwrite(&mark, 4, 1, u->fp) != 1)
      return errstatus();
    return 0;
  }
  if (rec < 1 || nbytes > u->reclen) return ulerecord;
  char *record = static_cast<char *>(malloc(u->reclen));
  if (!record) return ENOMEM;
  memcpy(record, buf, nbytes);
  memset(record + nbytes, u->form == ulfmt ? ' ' : 0, u->reclen - nbytes);
  ssize_t n = pwrite(u->fd, record, u->reclen, off_t(rec - 1) * u->reclen);
  st = n == u->reclen ? 0 : n < 0 ? errstatus() : EIO;
  free(record);
  return st;
}

int ulrrec(const int &unit, const int &rec, void *buf, const int &nbytes, int &got) {
  int st;
  got = 0;
  ulunit *u = getunit(unit, st);
  if (!u) return st;
  if (nbytes < 0) return ulerecord;
  if (u->access == ulseq) {
    if (u->form != ulunfmt || rec != 0 || unit == ulstdout) return ulemode;
    if ((st = startread(*u))) return st;
    int32_t mark, tail;
    if (fread(&mark, 4, 1, u->fp) != 1) return ferror(u->fp) ? errstatus() : uleeof;
    if (mark < 0) return EIO;
    int take = mark < nbytes ? mark : nbytes;
    if (fread(buf, 1, take, u->fp) != size_t(take) || fseeko(u->fp, mark - take, SEEK_CUR) != 0 ||
        fread(&tail, 4, 1, u->fp) != 1 || tail != mark)
      return EIO;
    got = take;
    return 0;
  }
  if (rec < 1) return ulerecord;
  char *record = static_cast<char *>(malloc(u->reclen));
  if (!record) return ENOMEM;
  ssize_t n = pread(u->fd, record, u->reclen, off_t(rec - 1) * u->reclen);
  if (n == u->reclen) {
    got = nbytes < u->reclen ? nbytes : u->reclen;
    memcpy(buf, record, got);
    st = 0;
  } else {
    st = n < 0 ? errstatus() : uleeof;
  }
  free(record);
  return st;
}

bool ulexists(const char *name, const int &nlen) {
  char path[PATH_MAX];
  return ulpath(name, nlen, path) && access(path, F_OK) == 0;
}

int ulstat(const char *name, const int &nlen, int &isdir) {
  char path[PATH_MAX];
  isdir = 0;
  if (!ulpath(name, nlen, path)) return ENAMETOOLONG;
  struct stat st;
  if (stat(path, &st) != 0) return errstatus();
  isdir = S_ISDIR(st.st_mode);
  return 0;
}
