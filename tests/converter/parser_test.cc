// Command-line tokens: joining the arguments into the command string and
// splitting it again.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "converter.h"

namespace {

struct parsed {
  int count;
  std::vector<std::string> tokens;
  std::vector<int> lengths;
  std::string out;  // what went to standard output
};

parsed parse(std::vector<std::string> args) {
  std::vector<char *> argv{const_cast<char *>("pixmill")};
  for (auto &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int argc = int(argv.size()) - 1;
  zargs(argc, argv.data());

  char path[] = "/tmp/parserXXXXXX";
  int fd = mkstemp(path);
  fflush(stdout);
  int saved = dup(1);
  dup2(fd, 1);
  char tokens[15][ptoklen];
  int lengths[15], count = -1;
  parser(tokens, lengths, count, 15);
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  char buf[256];
  ssize_t n = pread(fd, buf, sizeof buf, 0);
  close(fd);
  unlink(path);

  parsed p{count, {}, {}, std::string(buf, n > 0 ? n : 0)};
  for (int i = 0; i < count && i < 15; i++) {
    p.tokens.emplace_back(tokens[i], ptoklen);
    p.lengths.push_back(lengths[i]);
  }
  return p;
}

std::string tok(const std::string &word) { return word + std::string(32 - word.size(), ' '); }

const char kwarn[] = " warning:  command string too long.\n";

TEST(Parser, SevenArguments) {
  parsed p = parse({"a.bin", "out.img", "512", "512", "g", "0.5", "n"});
  EXPECT_EQ(p.count, 7);
  EXPECT_EQ(p.tokens[2], tok("512"));
  EXPECT_EQ(p.lengths[2], 3);
  EXPECT_EQ(p.tokens[6], tok("n"));
  EXPECT_EQ(p.out, "");
}

TEST(Parser, BlanksInsideAndEmptyArguments) {
  parsed p = parse({"512 512", "", "  x  "});
  EXPECT_EQ(p.count, 3);
  EXPECT_EQ(p.tokens[0], tok("512"));
  EXPECT_EQ(p.tokens[1], tok("512"));
  EXPECT_EQ(p.tokens[2], tok("x"));
  EXPECT_EQ(parse({}).count, 0);
  EXPECT_EQ(parse({"   "}).count, 0);
  EXPECT_EQ(parse({""}).count, 0);
}

TEST(Parser, LongWordsAreCutButKeepTheirLength) {
  std::string forty(40, 'w');
  parsed p = parse({forty, "b"});
  EXPECT_EQ(p.count, 2);
  EXPECT_EQ(p.tokens[0], std::string(32, 'w'));
  EXPECT_EQ(p.lengths[0], 40);
}

TEST(Parser, CommandStringTooLong) {
  parsed p = parse({std::string(199, 'a'), "never seen"});
  EXPECT_EQ(p.out, kwarn);
  EXPECT_EQ(p.count, 1);
  EXPECT_EQ(p.lengths[0], 199);

  p = parse({std::string(250, 'a')});
  EXPECT_EQ(p.out, kwarn);
  EXPECT_EQ(p.count, 0);  // the word reaches position 200

  p = parse({std::string(100, 'a'), std::string(97, 'b')});  // ends at 198
  EXPECT_EQ(p.out, kwarn);
  EXPECT_EQ(p.count, 2);

  p = parse({std::string(100, 'a'), std::string(96, 'b')});
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.count, 2);
}

TEST(Parser, TokensBeyondTheStoreAreCountedNotStored) {
  std::vector<std::string> many(20, "t");
  parsed p = parse(many);
  EXPECT_EQ(p.count, 20);
  EXPECT_EQ(p.tokens.size(), 15u);
}

}  // namespace
