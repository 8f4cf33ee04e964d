// Shared-memory files: names beginning with "|" open POSIX shared-memory
// objects named by a process-wide prefix followed by the rest of the name.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "filelib.h"

namespace {

char *shmpfx;  // heap copy, or none
char fname[1025];

}  // namespace

char *deblank(const char *text, const int &len) {
  int n = len < 1024 ? len : 1024;
  if (n < 0) n = 0;
  memcpy(fname, text, n);
  while (n > 1 && fname[n - 1] == ' ') n--;
  fname[n] = '\0';
  return fname;
}

void zmempfx(const char *prefix, const int &len) {
  char *name = deblank(prefix, len);
  free(shmpfx);
  shmpfx = nullptr;
  if (name[0] == '\0') return;
  shmpfx = strdup(name);
}

// With no prefix set the object is named by the file name alone.
void zopenm(int &unit, const char *name, const int &nlen, const int &mode, const int &size, int &err) {
  int flags = (mode & 1) ? O_RDONLY : O_RDWR;
  if (mode & 2) flags |= O_CREAT;
  char *prepared = deblank(name, nlen);
  const char *pfx = shmpfx ? shmpfx : "";
  size_t plen = strlen(pfx), nl = strlen(prepared);
  char *object = static_cast<char *>(malloc(plen + nl + 1));
  if (!object) {
    err = 2;
    return;
  }
  memcpy(object, pfx, plen);
  memcpy(object + plen, prepared, nl + 1);
  int fd = shm_open(object, flags, 0600);
  if (fd < 0) {
    fprintf(stderr, "**Unable to create shared memory file %s: %s\n", prepared, strerror(errno));
    free(object);
    err = 2;
    return;
  }
  err = 0;
  if (size != 0 && ftruncate(fd, off_t(size) * 4) != 0) {
    fprintf(stderr, "**Unable to size shared memory file %s to %d: %s\n", prepared, size, strerror(errno));
    close(fd);
    shm_unlink(object);
    free(object);
    err = 2;
    return;
  }
  free(object);
  unit = -fd;
}

int zclosem(const int &unit) { return close(-unit); }
