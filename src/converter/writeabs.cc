// The grey-image writer: the byte-unit twin of zwabs.
#include "converter.h"
#include "filelib.h"

void writeabs(const int &unit, const void *array, const int &count, const int &offset, int &err) {
  err = 0;
  int fd = -unit;
  int64_t nbytes = count, pos = offset;
  static const bool writing = true, seek = true;
  if (!zxfer(fd, const_cast<void *>(array), nbytes, pos, writing, seek)) {
    err = 115;
    zrwerr(err);
  }
}
