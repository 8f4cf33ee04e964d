// Shared-memory files: created, written, read back through another open,
// sized, and removed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "filelib.h"

namespace {

class MemFile : public ::testing::Test {
 protected:
  std::string pfx;
  void SetUp() override {
    pfx = "/pmt" + std::to_string(getpid()) + ".";
    int n = int(pfx.size());
    zmempfx(pfx.data(), n);
    rstmsg();
  }
  void TearDown() override {
    for (const char *name : {"img", "other"}) shm_unlink((pfx + name).c_str());
    zmempfx("", 0);
  }
  off_t objsize(const char *name) {
    struct stat st;
    int fd = shm_open((pfx + name).c_str(), O_RDONLY, 0);
    if (fd < 0) return -1;
    fstat(fd, &st);
    close(fd);
    return st.st_size;
  }
};

TEST_F(MemFile, CreatedWrittenReadBackAndRemoved) {
  int u = 0, err, size = 100;
  znfile(u, "|img  ", 6, "DATA", 4, size, err);
  ASSERT_EQ(err, 0);
  ASSERT_LT(u, 0);
  EXPECT_EQ(objsize("img"), 400);
  int32_t words[3] = {11, 22, 33}, three = 3, at5 = 5;
  zwabs(u, words, three, at5, err);
  EXPECT_EQ(err, 0);
  int cerr;
  zclose(u, "|img", 4, cerr);
  EXPECT_EQ(cerr, 0);

  // The object outlives its descriptor; a read-only open sees the words.
  int r = 0, len = 100;
  zopen(r, "|img", 4, "RODATA", 6, len, err);
  ASSERT_EQ(err, 0);
  int32_t back[3] = {};
  zrabs(r, back, three, at5, err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(back[2], 33);
  zwabs(r, words, three, at5, err);  // read-only
  EXPECT_EQ(err, 115);
  zclose(r, "|img", 4, cerr);

  // A size of 0 leaves the length as it was.
  int zero = 0;
  zopenm(u, "img", 3, zero, zero, err);
  ASSERT_EQ(err, 0);
  zclosem(u);
  EXPECT_EQ(objsize("img"), 400);

  ASSERT_EQ(shm_unlink((pfx + "img").c_str()), 0);
  EXPECT_EQ(objsize("img"), -1);
}

TEST_F(MemFile, MissingObjectFailsWithTheCreateLine) {
  fflush(stderr);
  char path[] = "/tmp/memerrXXXXXX";
  int fd = mkstemp(path);
  int saved = dup(2);
  dup2(fd, 2);
  int u = 0, err, len = 100;
  zopen(u, "|other", 6, "DATA", 4, len, err);
  int bad = -1, mode = 2;
  zopenm(u, "img", 3, mode, bad, err);  // cannot be sized: closed and removed
  int err2 = err;
  fflush(stderr);
  dup2(saved, 2);
  close(saved);
  char buf[512] = {};
  ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
  close(fd);
  unlink(path);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(kmmsg.message_lines[0], 19), "Number  101 |other ");
  std::string out(buf, n);
  EXPECT_EQ(out,
            "**Unable to create shared memory file other: No such file or directory\n"
            "**Unable to size shared memory file img to -1: Invalid argument\n");
  EXPECT_EQ(err2, 2);
  EXPECT_EQ(objsize("img"), -1);
}

TEST_F(MemFile, PrefixAndDeblank) {
  EXPECT_STREQ(deblank("  pre  ", 7), "  pre");
  EXPECT_STREQ(deblank("   ", 3), " ");
  EXPECT_STREQ(deblank("abc", 0), "");
  std::string longname(1100, 'n');
  EXPECT_EQ(strlen(deblank(longname.data(), 1100)), 1024u);

  // With prefix "/px..." and name "|img  " the object is prefix + "img".
  int u = 0, err, size = 1;
  znfile(u, "|img  ", 6, "DATAFILE", 8, size, err);
  ASSERT_EQ(err, 0);
  zclosem(u);
  EXPECT_EQ(objsize("img"), 4);
}

}  // namespace
