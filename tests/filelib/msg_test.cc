// The message system: building messages, wrapping and overflow, writing them
// out through the unit layer, and the text utilities.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "filelib.h"

namespace {

std::string line(int k) {
  const char *t = kmmsg.message_lines[k - 1];
  int n = 0;
  for (int i = 0; i < 160 && t[i]; i++)
    if (t[i] != ' ') n = i + 1;
  return std::string(t, n);
}

void app(const std::string &s) {
  int n = int(s.size());
  apcmsg(s.data(), n);
}

void set(const char *type, int number) {
  int n = int(strlen(type));
  setmsg(type, n, number);
}

// Lines that were never blanked still hold NULs, and their trimmed length
// then ends just before the first NUL, so the two blanks after a text count:
// this puts the lines in the state of a message system that has been used.
void blankall() {
  cmmsg.line_count = 5;
  clrmsg();
}

class Msg : public ::testing::Test {
 protected:
  void SetUp() override { rstmsg(); }
  void TearDown() override { rstmsg(); }
};

TEST_F(Msg, EmptyConfigurationGivesNumberTextAndTypeThree) {
  set("ERROR", 50);
  EXPECT_EQ(cmmsg.error_number, 50);
  EXPECT_EQ(cmmsg.message_type, 3);
  EXPECT_EQ(cmmsg.line_count, 1);
  EXPECT_EQ(cmmsg.line_column, 0);
  EXPECT_EQ(line(1), "");

  set("ERROR", 108);
  EXPECT_EQ(line(1), "Number  108");
  EXPECT_EQ(cmmsg.line_column, 12);
  app("/tmp/x");
  EXPECT_EQ(line(1), "Number  108 /tmp/x");
}

TEST_F(Msg, BlankTextAddsOneColumn) {
  clrmsg();
  app("abc");
  app("     ");
  app("de");
  EXPECT_EQ(line(1), "abc  de");
  EXPECT_EQ(cmmsg.line_column, 8);
}

TEST_F(Msg, WrapsAtColumn150OnLineOneAnd160Later) {
  clrmsg();
  app(std::string(140, 'a'));  // column 141
  app(std::string(8, 'b'));    // ends at 149: still fits
  EXPECT_EQ(cmmsg.line_count, 1);
  app("c");  // 150 + 1 reaches the limit
  EXPECT_EQ(cmmsg.line_count, 2);
  EXPECT_EQ(line(2), "c");
  app(std::string(157, 'd'));  // 2 + 157 = 159: fits on line 2
  EXPECT_EQ(cmmsg.line_count, 2);
  app("e");  // 160: next line
  EXPECT_EQ(cmmsg.line_count, 3);

  // A text longer than a line is cut at column 160 but counts whole, so the
  // next text starts a new line.
  clrmsg();
  app(std::string(170, 'x'));
  EXPECT_EQ(cmmsg.line_count, 2);
  EXPECT_EQ(line(2), std::string(160, 'x'));
  EXPECT_EQ(cmmsg.line_column, 171);
  app("y");
  EXPECT_EQ(cmmsg.line_count, 3);
}

TEST_F(Msg, SixthLineReplacesTheFifthWithoutAutoOutput) {
  clrmsg();
  for (int i = 0; i < 5; i++) app(std::string(149, char('a' + i)));
  EXPECT_EQ(cmmsg.line_count, 5);
  app(std::string(155, 'z'));
  EXPECT_EQ(cmmsg.line_count, 5);
  EXPECT_EQ(line(5), std::string(155, 'z'));
  EXPECT_EQ(line(4), std::string(149, 'd'));
}

TEST_F(Msg, NumbersAndTextsFromTheTable) {
  int err;
  textmsg(101, "Cannot open", 11, err);
  set("ERROR", 101);
  EXPECT_EQ(line(1), "Cannot open");
  apimsg(-42);
  EXPECT_EQ(line(1), "Cannot open -42");
  apimsg(123456789);
  EXPECT_EQ(line(1), "Cannot open -42 ********");

  char out[12];
  getmsg(101, out, 12);
  EXPECT_EQ(std::string(out, 12), "Cannot open ");
  getmsg(123456, out, 12);
  EXPECT_EQ(std::string(out, 12), "Number***** ");
}

TEST_F(Msg, TypeFromFirstLetterOfConfiguredNames) {
  namemsg(1, "ERROR", 5);
  namemsg(2, "WARNING", 7);
  set("warning", 0);
  EXPECT_EQ(cmmsg.message_type, 2);
  set("Whatever", 0);
  EXPECT_EQ(cmmsg.message_type, 2);
  set("note", 0);
  EXPECT_EQ(cmmsg.message_type, 3);
  rstmsg();
  set("WARNING", 0);
  EXPECT_EQ(cmmsg.message_type, 3);
}

TEST_F(Msg, OutmsgFormatsEachTypeAndLine) {
  blankall();
  // Standard output goes to a file for the duration of the test.
  char path[] = "/tmp/msgoutXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  fflush(stdout);
  int saved = dup(1);
  dup2(fd, 1);

  namemsg(1, "ERROR", 5);
  namemsg(2, "WARNING", 7);
  namemsg(6, "INFO", 4);
  int on[6] = {1, 1, 1, 1, 1, 1}, off[6] = {0, 0, 0, 0, 0, 0}, err;
  unitmsg(ulstdout, on, err);
  unitmsg(ulstdout, off, err);  // a unit with every type switched off
  set("ERROR", 7);
  app("seven");
  outmsg();
  set("ERROR", 1234);
  app("big");
  outmsg();
  set("WARNING", 0);
  app("careful");
  outmsg();
  set("INFO", 0);
  app("note");
  outmsg();
  set("other", 0);
  app(std::string(149, 'a'));
  app("second");
  outmsg();

  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string got(4096, '\0');
  ssize_t n = pread(fd, &got[0], got.size(), 0);
  close(fd);
  unlink(path);
  got.resize(n > 0 ? n : 0);
  std::string want = std::string(" \aERROR    7: seven\n") + " \aERROR 1234: Number 1234 big\n" +
                     " WARNING: careful\n" + " ==> note\n" + " " + std::string(149, 'a') + "\n" +
                     " second\n";
  EXPECT_EQ(got, want);
  EXPECT_EQ(want.find("seven"), 14u);  // the text starts in column 15
}

TEST_F(Msg, AutoOutputWritesTheFullMessageAndRestarts) {
  blankall();
  char path[] = "/tmp/msgautoXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  fflush(stdout);
  int saved = dup(1);
  dup2(fd, 1);
  namemsg(2, "WARNING", 7);
  int on[6] = {0, 1, 0, 0, 0, 0}, err;
  unitmsg(ulstdout, on, err);
  automsg(1);
  set("WARNING", 77);
  for (int i = 0; i < 5; i++) app(std::string(149, char('a' + i)));
  app(std::string(155, 'f'));
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  EXPECT_EQ(cmmsg.line_count, 1);
  EXPECT_EQ(cmmsg.error_number, 0);
  EXPECT_EQ(cmmsg.message_type, 2);
  EXPECT_EQ(line(1), std::string(155, 'f'));
  struct stat st;
  fstat(fd, &st);
  close(fd);
  unlink(path);
  // five lines: the prefix and the blanks make 10 + 149 and then 4 x (1 + 149)
  // characters, each with its line end
  EXPECT_EQ(st.st_size, 10 + 149 + 1 + 4 * (1 + 149 + 1));
}

TEST_F(Msg, NeverBlankedLineKeepsTheBlanksAfterItsText) {
  char path[] = "/tmp/msgnulXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  fflush(stdout);
  int saved = dup(1);
  dup2(fd, 1);
  int on[6] = {1, 1, 1, 1, 1, 1}, err;
  unitmsg(ulstdout, on, err);
  set("X", 0);  // the first message: its lines were never blanked
  outmsg();     // an empty line: one blank character
  app("seven");
  outmsg();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  char buf[64];
  ssize_t n = pread(fd, buf, sizeof buf, 0);
  close(fd);
  unlink(path);
  EXPECT_EQ(std::string(buf, n > 0 ? n : 0), "  \n seven  \n");
}

TEST(MsgText, CnvitaLjustModcase) {
  struct {
    int value, len;
    const char *want;
  } cases[] = {{-5, 3, " -5"}, {1000, 3, "***"}, {42, 6, "    42"}, {0, 1, "0"}, {-10, 2, "**"}};
  for (auto &c : cases) {
    char out[16];
    cnvita(c.value, out, c.len);
    EXPECT_EQ(std::string(out, c.len), c.want) << c.value;
  }
  char t[] = "   ab";
  ljust(t, 5);
  EXPECT_EQ(std::string(t, 5), "ab   ");
  char b[] = "     ";
  ljust(b, 5);
  EXPECT_EQ(std::string(b, 5), "     ");

  const char in[] = "it's a 'b'";
  char up[12] = "##########!";
  modcase(1, in, 10, 10, up, 11);
  EXPECT_EQ(std::string(up, 11), "IT's a 'B'!");
  char low[4] = "xyz";
  modcase(0, "AB\"C", 4, 4, low, 3);  // only three fit
  EXPECT_EQ(std::string(low, 3), "ab\"");
}

}  // namespace
