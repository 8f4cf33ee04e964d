// Block transfers at absolute offsets, cut into pieces at multiples of 512
// bytes of the file: one first piece up to the next boundary, then pieces of
// exactly 512 bytes, then one last piece for the rest.  A piece that comes
// back short ends the 512-byte run, and the rest is then asked for at once.
//
// The 512-byte pieces are handed to the kernel up to IOV_MAX at a time, one
// iovec entry each: the file sees the same pieces in the same order at the
// same places, but a 64 MiB raster takes 128 calls instead of 131072, which
// is most of the converter's time otherwise.  A short vectored call stands
// for a short piece (the pieces before it came back whole), so the outcome is
// the one of piece-by-piece calls.
#include <limits.h>
#include <unistd.h>

#include "filelib.h"

ssize_t (*zio_readv)(int fd, const struct iovec *iov, int cnt) = readv;
ssize_t (*zio_writev)(int fd, const struct iovec *iov, int cnt) = writev;

namespace {

const int64_t kpiece = 512;
const int kbatch = IOV_MAX < 1024 ? IOV_MAX : 1024;

ssize_t one(int fd, char *at, int64_t n, bool write) {
  struct iovec iov = {at, size_t(n)};
  return write ? zio_writev(fd, &iov, 1) : zio_readv(fd, &iov, 1);
}

}  // namespace

bool zxfer(const int &fd, void *buf, const int64_t &nbytes, const int64_t &pos, const bool &write,
           const bool &seek) {
  char *base = static_cast<char *>(buf);
  // Unit 0 and the positive units of the unit layer are no descriptors.
  if (fd <= 0) return nbytes == 0;
  if (seek) lseek(fd, off_t(pos), SEEK_SET);
  if (nbytes < 0) return false;
  int64_t done = 0;
  int64_t rem = pos % kpiece;
  if (rem != 0 && nbytes > 0) {
    int64_t first = kpiece - rem < nbytes ? kpiece - rem : nbytes;
    ssize_t n = one(fd, base, first, write);
    if (n < 0) return false;
    done = n;
  }
  struct iovec iov[kbatch];
  while (nbytes - done >= kpiece) {
    int64_t cnt = (nbytes - done) / kpiece;
    if (cnt > kbatch) cnt = kbatch;
    for (int64_t i = 0; i < cnt; i++) iov[i] = {base + done + i * kpiece, size_t(kpiece)};
    ssize_t n = write ? zio_writev(fd, iov, int(cnt)) : zio_readv(fd, iov, int(cnt));
    if (n < 0) return false;
    done += n;
    if (n < cnt * kpiece) break;
  }
  if (nbytes - done > 0) {
    ssize_t n = one(fd, base + done, nbytes - done, write);
    if (n < 0) return false;
    done += n;
  }
  return done == nbytes;
}

// Byte counts and positions are formed in 64 bits, so every 32-bit count and
// offset is safe (a 32-bit product would overflow from 2^29 words on).
void zrabs(const int &unit, void *array, const int &count, const int &offset, int &err) {
  err = 0;
  int fd = -unit;
  int64_t nbytes = int64_t(count) * 4, pos = int64_t(offset) * 4;
  static const bool reading = false, seek = true;
  if (!zxfer(fd, array, nbytes, pos, reading, seek)) err = 114;
}

void zwabs(const int &unit, const void *array, const int &count, const int &offset, int &err) {
  err = 0;
  int fd = -unit;
  int64_t nbytes = int64_t(count) * 4, pos = int64_t(offset) * 4;
  static const bool writing = true;
  bool seek = offset >= 0;
  if (!zxfer(fd, const_cast<void *>(array), nbytes, pos, writing, seek)) err = 115;
}

void zrwerr(const int &number) {
  static const char error[] = "ERROR";
  static const int len = 5;
  setmsg(error, len, number);
}
