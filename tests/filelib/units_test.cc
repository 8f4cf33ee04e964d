// Unit numbers and the unit layer on real files in a scratch directory.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "common/nobody.h"
#include "filelib.h"

namespace {

// Runs fn in a forked child that cannot override file permissions: as root
// the child first drops to the user nobody (its group, no supplementary
// groups), since root may open any file.  fn's answer comes back through a
// pipe.  False when the child could not drop its rights.
bool asplainuser(const std::function<std::string()> &fn, std::string &answer) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    close(fds[0]);
    if (!drop_root_to_nobody()) _exit(77);
    std::string got = fn();
    ssize_t n = write(fds[1], got.data(), got.size());
    _exit(n == ssize_t(got.size()) ? 0 : 1);
  }
  close(fds[1]);
  answer.clear();
  char buf[1024];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) answer.append(buf, n);
  close(fds[0]);
  int ws = 0;
  waitpid(pid, &ws, 0);
  return WIFEXITED(ws) && WEXITSTATUS(ws) == 0;
}

class Units : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/unitsXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    rstmsg();
  }
  void TearDown() override {
    for (int u = 1; u <= ulmaxunit; u++)
      if (u != ulstdout && ulisopen(u)) ulclose(u);
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    rstmsg();
  }
  std::string path(const char *name) { return dir + "/" + name; }
  void make(const std::string &p, const std::string &content, mode_t mode = 0644) {
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, content.data(), content.size()), ssize_t(content.size()));
    close(fd);
  }
  std::string line1() {
    const char *t = kmmsg.message_lines[0];
    int n = 0;
    for (int i = 0; i < 160 && t[i]; i++)
      if (t[i] != ' ') n = i + 1;
    return std::string(t, n);
  }
  // zopen with a C string name and type.
  void zo(int &unit, const std::string &name, const char *type, int &err) {
    int nl = int(name.size()), tl = int(strlen(type)), len = 100;
    zopen(unit, name.data(), nl, type, tl, len, err);
  }
  void zn(int &unit, const std::string &name, const char *type, int &err) {
    int nl = int(name.size()), tl = int(strlen(type)), size = 100;
    znfile(unit, name.data(), nl, type, tl, size, err);
  }
};

TEST_F(Units, FreeUnitsCountDownFrom19) {
  int unit, err;
  zgtfun(unit, err);
  EXPECT_EQ(unit, 19);
  EXPECT_EQ(err, 0);
  int scratch = 0;
  for (int u = 19; u >= 1; u--) {
    if (u == ulstdout) continue;
    zo(u, "unused", "SCRATCH", err);
    ASSERT_EQ(err, 0) << u;
    if (u == 19) {
      zgtfun(scratch, err);
      EXPECT_EQ(scratch, 18);
    }
  }
  zgtfun(unit, err);
  EXPECT_EQ(unit, 0);
  EXPECT_EQ(err, 116);
  EXPECT_EQ(cmmsg.error_number, 0);  // no message
}

TEST_F(Units, MissingFilesAndDirectoriesGive108WithTheName) {
  int unit = 19, err;
  std::string missing = path("none");
  zo(unit, missing, "TEXT", err);
  EXPECT_EQ(err, 108);
  EXPECT_EQ(line1(), "Number  108 " + missing);
  zo(unit, dir, "TEXT", err);
  EXPECT_EQ(err, 108);
  zo(unit, missing, "data", err);  // missing comes before a bad type
  EXPECT_EQ(err, 108);
  bool exists = true;
  int dl = int(dir.size());
  zinquire(dir.data(), dl, exists);
  EXPECT_FALSE(exists);
}

TEST_F(Units, TypeKeywords) {
  std::string f = path("f");
  make(f, "hello\n");
  int unit = 19, err;
  zo(unit, f, "data", err);
  EXPECT_EQ(err, 101);
  EXPECT_EQ(line1(), "Number  101 " + f + " (Bad value for file type = data )");

  zo(unit, f, "DATAFILE", err);
  EXPECT_EQ(err, 101);
  int d = 0;
  zn(d, f, "DATAFILE", err);  // znfile looks at four characters only
  EXPECT_EQ(err, 0);
  EXPECT_LT(d, 0);
  int cerr;
  zclose(d, f.data(), int(f.size()), cerr);
  struct stat st;
  ASSERT_EQ(stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);  // truncated

  zn(d, f, "NOPE", err);
  EXPECT_EQ(err, 101);

  // "DATA" followed by blanks is "DATA"; a name with trailing blanks opens.
  std::string padded = f + "     ";
  int u = 0;
  zo(u, padded, "DATA    ", err);
  EXPECT_EQ(err, 0);
  EXPECT_LT(u, 0);
  zclose(u, padded.data(), int(padded.size()), cerr);
  EXPECT_EQ(cerr, 0);
  EXPECT_EQ(fcntl(-u, F_GETFD), -1);  // closed
}

TEST_F(Units, AccessRightsOfDataAndRodata) {
  std::string ro = path("ro"), none = path("none");
  make(ro, "abcd", 0444);
  make(none, "abcd", 0000);
  int u = 0, err, cerr;
  zo(u, ro, "RODATA", err);
  EXPECT_EQ(err, 0);
  char buf[4];
  int one = 1, at0 = 0;
  zrabs(u, buf, one, at0, err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  zclose(u, ro.data(), int(ro.size()), cerr);

  // The refusals, seen by a user without root's rights, who may enter the
  // scratch directory and read ro but neither write it nor open none.
  ASSERT_EQ(chmod(dir.c_str(), 0711), 0);
  std::string answer;
  bool ran = asplainuser(
      [&] {
        std::string got;
        for (const std::string *name : {&ro, &none}) {
          int v = 0, e;
          zo(v, *name, name == &ro ? "DATA" : "RODATA", e);
          got += std::to_string(e) + " " + line1() + "\n";
        }
        int v = 0, e, c;
        zo(v, ro, "RODATA", e);  // reading alone is allowed
        got += std::to_string(e) + "\n";
        zclose(v, ro.data(), int(ro.size()), c);
        return got;
      },
      answer);
  if (!ran) GTEST_SKIP() << "no way to run the check without root's rights";
  EXPECT_EQ(answer, "101 Number  101 " + ro + " (Insufficient access rights.)\n" + "101 Number  101 " +
                        none + " (Insufficient access rights.)\n" + "0\n");
}

TEST_F(Units, ZopencNamesAndResultCodes) {
  int u = 0, err;
  std::string f = path("made");
  zopenc(u, f.data(), int(f.size()), 1, 0, err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(zclosec(u), 0);
  std::string inmissing = path("no/such");
  int before = u;
  zopenc(u, inmissing.data(), int(inmissing.size()), 0, 0, err);
  EXPECT_EQ(err, 2);
  EXPECT_EQ(u, before);
  zopenc(u, "", 0, 0, 1, err);  // empty path
  EXPECT_EQ(err, 2);
}

TEST_F(Units, TextUnitsWriteReadAndTruncate) {
  std::string f = path("t.txt");
  int u = 19, err;
  zn(u, f, "TEXT", err);  // new file
  ASSERT_EQ(err, 0);
  EXPECT_TRUE(ulisopen(u));
  EXPECT_EQ(ulwrite(u, "first", 5), 0);
  EXPECT_EQ(ulwrite(u, "second line", 11), 0);
  int cerr;
  zclose(u, f.data(), int(f.size()), cerr);
  EXPECT_FALSE(ulisopen(u));

  zo(u, f, "READ", err);
  ASSERT_EQ(err, 0);
  char text[8];
  int got;
  EXPECT_EQ(ulread(u, text, 8, got), 0);
  EXPECT_EQ(std::string(text, 8), "first   ");
  EXPECT_EQ(got, 5);
  // A write after a read becomes the last line of the file.
  EXPECT_EQ(ulwrite(u, "replaced", 8), 0);
  EXPECT_EQ(ulclose(u), 0);
  zo(u, f, "TEXT", err);
  EXPECT_EQ(ulread(u, text, 8, got), 0);
  EXPECT_EQ(ulread(u, text, 8, got), 0);
  EXPECT_EQ(std::string(text, got), "replaced");
  EXPECT_EQ(ulread(u, text, 8, got), uleeof);
  EXPECT_EQ(ulrrec(u, 0, text, 8, got), ulemode);  // formatted, not records
  ulclose(u);

  // znfile "TEXT" on an existing file opens it as it is.
  zn(u, f, "TEXT", err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(ulread(u, text, 8, got), 0);
  EXPECT_EQ(std::string(text, got), "first");
}

TEST_F(Units, UnformattedAndDirectRecords) {
  std::string f = path("recs");
  ASSERT_EQ(ulopen(5, f.data(), int(f.size()), ulnew, ulseq, ulunfmt, 0), 0);
  EXPECT_EQ(ulopen(5, f.data(), int(f.size()), ulold, ulseq, ulunfmt, 0), uleopen);
  int a[3] = {1, 2, 3}, b[2] = {7, 8};
  EXPECT_EQ(ulwrec(5, 0, a, 12), 0);
  EXPECT_EQ(ulwrec(5, 0, b, 8), 0);
  EXPECT_EQ(ulwrite(5, "x", 1), ulemode);
  ulclose(5);

  int u = 9, err, got, back[3] = {0, 0, 0};
  zo(u, f, "ROUNFR", err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(ulrrec(u, 0, back, 8, got), 0);  // a shorter read skips the rest
  EXPECT_EQ(got, 8);
  EXPECT_EQ(ulrrec(u, 0, back, 12, got), 0);
  EXPECT_EQ(got, 8);
  EXPECT_EQ(back[0], 7);
  EXPECT_EQ(ulrrec(u, 0, back, 12, got), uleeof);
  ulclose(u);

  std::string g = path("direct");
  ASSERT_EQ(ulopen(4, g.data(), int(g.size()), ulnew, uldirect, ulunfmt, 16), 0);
  EXPECT_EQ(ulwrec(4, 3, "third", 5), 0);
  EXPECT_EQ(ulwrec(4, 1, "first", 5), 0);
  EXPECT_EQ(ulwrec(4, 1, "seventeen chars!!", 17), ulerecord);
  ulclose(4);
  struct stat st;
  stat(g.c_str(), &st);
  EXPECT_EQ(st.st_size, 48);

  zo(u, g, "RODIR", err);  // record length from the length argument: 100
  ASSERT_EQ(err, 0);
  char rec[16];
  EXPECT_EQ(ulrrec(u, 1, rec, 16, got), uleeof);  // the file holds no 100-byte record
  ulclose(u);
  ASSERT_EQ(ulopen(u, g.data(), int(g.size()), ulold, uldirect, ulunfmt, 16), 0);
  EXPECT_EQ(ulrrec(u, 3, rec, 16, got), 0);
  EXPECT_EQ(std::string(rec, 5), "third");
  EXPECT_EQ(rec[5], 0);  // padded with zeros
  EXPECT_EQ(ulrrec(u, 2, rec, 16, got), 0);
  EXPECT_EQ(rec[0], 0);
  EXPECT_EQ(ulrrec(u, 4, rec, 16, got), uleeof);
}

TEST_F(Units, OpenFailuresCarryTheUnitStatus) {
  int u = 3, err;
  ASSERT_EQ(ulopen(u, "", 0, ulscratch, ulseq, ulfmt, 0), 0);
  zo(u, "anything", "SCRATCH", err);  // unit 3 is already open
  EXPECT_EQ(err, 101);
  EXPECT_EQ(line1(), "Number  101 anything (Open failed, unit status = 5002 )");
  EXPECT_EQ(std::string("(Open failed, unit status =").size(), 27u);

  EXPECT_EQ(ulopen(0, "x", 1, ulold, ulseq, ulfmt, 0), uleunit);
  EXPECT_EQ(ulopen(100, "x", 1, ulold, ulseq, ulfmt, 0), uleunit);
  EXPECT_EQ(ulopen(7, "x", 1, ulold, uldirect, ulfmt, 0), ulesettings);
  EXPECT_EQ(ulopen(7, "/nonexistent/x", 14, ulold, ulseq, ulfmt, 0), ENOENT);
  std::string f = path("exists");
  make(f, "");
  EXPECT_EQ(ulopen(7, f.data(), int(f.size()), ulnew, ulseq, ulfmt, 0), EEXIST);
}

TEST_F(Units, ScratchFilesLeaveNothing) {
  int u = 12, err;
  zo(u, "ignored", "SCRATCH", err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(ulwrite(u, "data", 4), 0);
  int cerr;
  zclose(u, "ignored", 7, cerr);
  EXPECT_EQ(cerr, 0);
  EXPECT_FALSE(ulisopen(u));
  zclose(u, "ignored", 7, cerr);  // closing a closed unit does nothing
  EXPECT_EQ(cerr, 0);
  EXPECT_TRUE(ulisopen(ulstdout));
  EXPECT_EQ(ulclose(ulstdout), 0);
  EXPECT_TRUE(ulisopen(ulstdout));
}

}  // namespace
