// Block I/O at word offsets: the cut into 512-byte pieces, watched through
// the transfer hooks, and the results on real files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "filelib.h"

namespace {

// Every call with the sizes of its pieces, and where the file stood.
struct call {
  off_t at;
  std::vector<size_t> pieces;
};
std::vector<call> calls;
// When set, the next vectored call of more than one piece moves only this
// many bytes, as a pipe or a slow device might.
ssize_t shortby = -1;

std::vector<size_t> sizes(const struct iovec *iov, int cnt) {
  std::vector<size_t> s;
  for (int i = 0; i < cnt; i++) s.push_back(iov[i].iov_len);
  return s;
}

ssize_t rv(int fd, const struct iovec *iov, int cnt) {
  calls.push_back({lseek(fd, 0, SEEK_CUR), sizes(iov, cnt)});
  if (shortby >= 0 && cnt > 1) {
    ssize_t n = read(fd, iov[0].iov_base, shortby);
    shortby = -1;
    return n;
  }
  return readv(fd, iov, cnt);
}

ssize_t wv(int fd, const struct iovec *iov, int cnt) {
  calls.push_back({lseek(fd, 0, SEEK_CUR), sizes(iov, cnt)});
  return writev(fd, iov, cnt);
}

// All pieces in order, whatever calls they came in.
std::vector<size_t> pieces() {
  std::vector<size_t> all;
  for (auto &c : calls) all.insert(all.end(), c.pieces.begin(), c.pieces.end());
  return all;
}

std::vector<size_t> rep(size_t n, size_t size) { return std::vector<size_t>(n, size); }
std::vector<size_t> cat(std::vector<size_t> a, const std::vector<size_t> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class Block : public ::testing::Test {
 protected:
  std::string file;
  int unit = 0;
  void SetUp() override {
    char tmpl[] = "/tmp/blockXXXXXX";
    int fd = mkstemp(tmpl);
    ASSERT_GE(fd, 0);
    file = tmpl;
    std::vector<int32_t> words(5000);
    for (int i = 0; i < 5000; i++) words[i] = i;
    ASSERT_EQ(write(fd, words.data(), 20000), 20000);
    unit = -fd;
    calls.clear();
    shortby = -1;
    zio_readv = rv;
    zio_writev = wv;
  }
  void TearDown() override {
    zio_readv = readv;
    zio_writev = writev;
    close(-unit);
    unlink(file.c_str());
  }
};

TEST_F(Block, ReadsAreCutAt512ByteBoundaries) {
  struct {
    int count, offset;
    std::vector<size_t> want;
  } cases[] = {
      {1000, 0, cat(rep(7, 512), {416})},
      {1000, 100, cat(cat({112}, rep(7, 512)), {304})},
      {1, 1, {4}},
      {128, 0, rep(1, 512)},
      {0, 7, {}},
  };
  for (auto &c : cases) {
    calls.clear();
    std::vector<int32_t> got(c.count + 1, -1);
    int err;
    zrabs(unit, got.data(), c.count, c.offset, err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(pieces(), c.want) << c.count << " at " << c.offset;
    for (int i = 0; i < c.count; i++) ASSERT_EQ(got[i], c.offset + i);
    EXPECT_EQ(got[c.count], -1);
    // Every piece after the first starts on a 512-byte boundary of the file.
    for (size_t k = 1; k < calls.size(); k++) EXPECT_EQ(calls[k].at % 512, 0);
  }
}

TEST_F(Block, LargeTransfersBatchWholePiecesIntoFewCalls) {
  std::vector<int32_t> big(300000, 7);
  int err, n = 300000, at0 = 0;
  zwabs(unit, big.data(), n, at0, err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(pieces(), cat(rep(2343, 512), {384}));
  EXPECT_LE(calls.size(), 2343u / 1024 + 2);
  calls.clear();
  std::vector<int32_t> back(300000, 0);
  zrabs(unit, back.data(), n, at0, err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(back, big);
}

TEST_F(Block, AShortPieceEndsTheRunAndTheRestComesInOneRead) {
  std::vector<int32_t> got(1000, -1);
  int err, n = 1000, at0 = 0;
  shortby = 700;  // one whole piece and a short one
  zrabs(unit, got.data(), n, at0, err);
  EXPECT_EQ(err, 0);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].pieces, std::vector<size_t>{4000 - 700});
  for (int i = 0; i < 1000; i++) ASSERT_EQ(got[i], i);
}

TEST_F(Block, ReadingPastTheEndFailsButKeepsWhatWasThere) {
  std::vector<int32_t> got(100, -1);
  int err, n = 100, at = 4950;
  zrabs(unit, got.data(), n, at, err);
  EXPECT_EQ(err, 114);
  for (int i = 0; i < 50; i++) ASSERT_EQ(got[i], 4950 + i);
  // Positive units and unit 0 are no descriptors.
  int one = 1, u19 = 19, u0 = 0, zero = 0;
  zrabs(u19, got.data(), one, zero, err);
  EXPECT_EQ(err, 114);
  zwabs(u0, got.data(), one, zero, err);
  EXPECT_EQ(err, 115);
  zrabs(u0, got.data(), zero, zero, err);
  EXPECT_EQ(err, 0);
}

TEST_F(Block, WritesBuildTheWindowImageLayout) {
  ASSERT_EQ(ftruncate(-unit, 0), 0);
  int32_t w = 2, l = 1, px[2] = {10, 20};
  int err, one = 1, two = 2, at0 = 0, at1 = 1, at2 = 2, here = -1;
  zwabs(unit, px, two, at2, err);  // alone: 8 zero bytes before it
  ASSERT_EQ(err, 0);
  int32_t back[4];
  ASSERT_EQ(pread(-unit, back, 16, 0), 16);
  EXPECT_EQ(back[0], 0);
  EXPECT_EQ(back[1], 0);
  zwabs(unit, &w, one, at0, err);
  zwabs(unit, &l, one, at1, err);
  zwabs(unit, px, two, here, err);  // at the current position: after word 1
  ASSERT_EQ(err, 0);
  ASSERT_EQ(pread(-unit, back, 16, 0), 16);
  EXPECT_EQ(back[0], 2);
  EXPECT_EQ(back[1], 1);
  EXPECT_EQ(back[2], 10);
  EXPECT_EQ(back[3], 20);
}

TEST_F(Block, FailedWritesGive115AndZrwerrStartsTheMessage) {
  int fd = open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  int u = -fd, err, n = 10, at0 = 0;
  int32_t words[10] = {};
  zwabs(u, words, n, at0, err);
  EXPECT_EQ(err, 115);
  close(fd);
  rstmsg();
  zrwerr(err);
  EXPECT_EQ(cmmsg.error_number, 115);
  EXPECT_EQ(std::string(kmmsg.message_lines[0], 11), "Number  115");
}

}  // namespace
