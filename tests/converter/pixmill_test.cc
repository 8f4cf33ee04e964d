// pixmill run as a process on small real files: exact output bytes, exact
// message lines, exit status, and what is (not) created.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/nobody.h"

namespace {

typedef std::vector<unsigned char> bytes;

struct result {
  int status;  // exit status, or -1 when it did not exit normally
  std::string out;
};

const int kNoPlainUser = 77;

// Runs pixmill with args; address_space (bytes) limits its memory when set.
// plain runs it without root's power over file permissions: as root, it
// drops to the user nobody first (exit status kNoPlainUser when it cannot).
result run(const std::vector<std::string> &args, rlim_t address_space = 0, bool plain = false) {
  int fds[2];
  if (pipe(fds) != 0) return {-1, ""};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    if (address_space) {
      struct rlimit rl = {address_space, address_space};
      setrlimit(RLIMIT_AS, &rl);
    }
    if (plain && !drop_root_to_nobody()) _exit(kNoPlainUser);
    std::vector<char *> argv{const_cast<char *>(PIXMILL_BIN)};
    for (auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(PIXMILL_BIN, argv.data());
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) out.append(buf, n);
  close(fds[0]);
  int ws = 0;
  waitpid(pid, &ws, 0);
  return {WIFEXITED(ws) ? WEXITSTATUS(ws) : -1, out};
}

bytes be(const std::vector<float> &samples) {
  bytes b;
  for (float f : samples) {
    uint32_t u;
    memcpy(&u, &f, 4);
    for (int s = 24; s >= 0; s -= 8) b.push_back((u >> s) & 255);
  }
  return b;
}

class Pixmill : public ::testing::Test {
 protected:
  std::string dir;
  void SetUp() override {
    char tmpl[] = "/tmp/pixmXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::string path(const std::string &name) { return dir + "/" + name; }
  void put(const std::string &p, const bytes &b, mode_t mode = 0644) {
    int fd = open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, b.data(), b.size()), ssize_t(b.size()));
    close(fd);
    chmod(p.c_str(), mode);
  }
  bool exists(const std::string &p) { return access(p.c_str(), F_OK) == 0; }
  bytes get(const std::string &p) {
    bytes b;
    int fd = open(p.c_str(), O_RDONLY);
    if (fd < 0) return b;
    unsigned char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) b.insert(b.end(), buf, buf + n);
    close(fd);
    return b;
  }
};

const float kNaN = NAN;

TEST_F(Pixmill, ExamplesByteForByte) {
  struct {
    std::vector<float> samples;
    std::vector<std::string> args;  // width length imagetype power videotype [header]
    bytes want;
  } cases[] = {
      {{0, 1}, {"2", "1", "x", "1", "n"}, {0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 255, 255, 255}},
      {{0, 1}, {"2", "1", "g", "1", "n"}, {0x00, 0xff, 0, 0}},
      {{0, 1}, {"2", "1", "grey", "1", "reverse"}, {0xff, 0x00, 0xff, 0xff}},
      {{1, 2, 3}, {"3", "1", "g", "1", "n"}, {0x00, 0x7f, 0xff, 0, 0, 0, 0, 0}},
      {{-3, 1, 0}, {"3", "1", "xwin", "2", "n"},
       {0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 255, 255, 255, 0, 31, 31, 31}},
      // all equal: 0/0 is NaN, which becomes level 0
      {{5, 5}, {"2", "1", "g", "1", "n"}, {0, 0, 0, 0}},
      // all negative: hi stays 0.0
      {{-4, -2}, {"2", "1", "g", "1", "n"}, {0, 0x7f, 0, 0}},
      // negative smallest sample, power not whole: lo^p is NaN
      {{-1, 4, 9}, {"3", "1", "g", "0.5", "n"}, {0, 0, 0, 0, 0, 0, 0, 0}},
      // power 0
      {{1, 2}, {"2", "1", "g", "0", "n"}, {0, 0, 0, 0}},
      // NaN samples are passed over and get level 0 (255 in reversed video)
      {{kNaN, 1, 0, 0.5f}, {"2", "2", "g", "1", "r"}, {0xff, 0x00, 0xff, 0x80}},
      // odd width and length in reversed video: pad bytes 255
      {{0, 1, 1, 0}, {"1", "4", "g", "1", "r"}, {0xff, 0xff, 0x00, 0xff, 0x00, 0xff, 0xff, 0xff}},
      // the x window image is never padded
      {{0, 1, 1}, {"1", "3", "x", "1", "r"}, {0, 0, 0, 1, 0, 0, 0, 3, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (auto &c : cases) {
    put(path("in"), be(c.samples));
    std::vector<std::string> args{path("in"), path("out")};
    args.insert(args.end(), c.args.begin(), c.args.end());
    result r = run(args);
    EXPECT_EQ(r.status, 0) << c.args[2];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(get(path("out")), c.want) << c.args[0] << "x" << c.args[1] << " " << c.args[2];
  }
}

TEST_F(Pixmill, HeaderLengthSkipsWords) {
  std::vector<float> s{99, -99, 7, 0, 1};
  put(path("in"), be(s));
  // 7 tokens: header 0, the first two samples; 8 tokens: from byte 12
  EXPECT_EQ(run({path("in"), path("a"), "2", "1", "g", "1", "n"}).status, 0);
  EXPECT_EQ(get(path("a")), (bytes{0xff, 0x00, 0, 0}));
  EXPECT_EQ(run({path("in"), path("b"), "2", "1", "g", "1", "n", "3"}).status, 0);
  EXPECT_EQ(get(path("b")), (bytes{0x00, 0xff, 0, 0}));
  // past the end of the file
  result r = run({path("in"), path("c"), "2", "1", "g", "1", "n", "4"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " Error reading file " + path("in") + std::string(32 - path("in").size(), ' ') +
                       "(pixmill).\n");
  EXPECT_FALSE(exists(path("c")));
}

// A plain reading of the conversion, kept apart from the program's own
// in-place code: separate arrays, one step after the other.
bytes reference(const std::vector<float> &x, int w, int l, float p, char type, bool rev) {
  float lo = 1.0e30f, hi = 0.0f;
  for (float s : x) {
    if (s > hi) hi = s;
    if (s < lo) lo = s;
  }
  float a = powf(lo, p), d = powf(hi, p) - a;
  std::vector<unsigned char> pix;
  for (float s : x) {
    float v = (powf(s, p) - a) / d;
    if (v > 1.0f) v -= 1.0f;
    if (!(v > 0.0f)) v = 0.0f;
    unsigned char b = (unsigned char)(int)(v * 255.0f);
    pix.push_back(rev ? 255 - b : b);
  }
  bytes out;
  if (type == 'x') {
    for (int v : {w, l})
      for (int s = 24; s >= 0; s -= 8) out.push_back((v >> s) & 255);
    for (unsigned char b : pix) out.insert(out.end(), {0, b, b, b});
    return out;
  }
  unsigned char pad = rev ? 255 : 0;
  int wp = w + (w & 1);
  for (int r = 0; r < l; r++) {
    out.insert(out.end(), pix.begin() + r * w, pix.begin() + (r + 1) * w);
    if (wp != w) out.push_back(pad);
  }
  if (l & 1) out.insert(out.end(), wp, pad);
  return out;
}

TEST_F(Pixmill, RastersBeyond512000SamplesMatchTheReference) {
  const int w = 1001, l = 601;  // 601601 samples, both odd
  std::vector<float> x(size_t(w) * l);
  for (size_t i = 0; i < x.size(); i++) x[i] = float((i * 7919) % 10007) * 0.37f - 300.0f;
  x[5] = 1e-3f;
  put(path("in"), be(x));
  struct {
    const char *type, *power, *video;
  } cases[] = {{"g", "0.5", "n"}, {"g", "1", "r"}, {"x", "2", "n"}, {"x", "1", "r"}};
  for (auto &c : cases) {
    result r = run({path("in"), path("out"), std::to_string(w), std::to_string(l), c.type, c.power, c.video});
    ASSERT_EQ(r.status, 0) << r.out;
    bytes want = reference(x, w, l, strtof(c.power, nullptr), c.type[0], c.video[0] == 'r');
    bytes got = get(path("out"));
    ASSERT_EQ(got.size(), want.size()) << c.type << c.power << c.video;
    EXPECT_TRUE(got == want) << c.type << " " << c.power << " " << c.video;
  }
}

TEST_F(Pixmill, ErrorsPrintOneLineExitOneAndCreateNothing) {
  put(path("in"), be({0, 1, 2, 3}));
  const std::string in = path("in"), out = path("out");
  const std::string usage =
      " usage: pixmill file outfile width length                  imagetype power videotype "
      "[header_length]\n";
  auto padded = [](const std::string &name) { return name + std::string(32 - name.size(), ' '); };
  struct {
    std::vector<std::string> args;
    std::string line;
  } cases[] = {
      {{in, out, "2", "1", "g", "1"}, usage},
      {{in, out, "2", "1", "g", "1", "n", "0", "extra"}, usage},
      {{}, usage},
      {{in, out, "2", "1", "G", "1", "n"},
       " input error - imagetype options are g - for grey images or x - for x window images.\n"},
      {{path("none"), out, "2", "1", "g", "1", "n"},
       " Error reading file " + padded(path("none")) + "(pixmill).\n"},
      {{in, out, "3", "2", "g", "1", "n"}, " Error reading file " + padded(in) + "(pixmill).\n"},
      {{in, out, "abc", "1", "g", "1", "n"}, " input error - width must be a positive integer.\n"},
      {{in, out, "0", "1", "g", "1", "n"}, " input error - width must be a positive integer.\n"},
      {{in, out, "-2", "1", "g", "1", "n"}, " input error - width must be a positive integer.\n"},
      {{in, out, "2", "1.5", "g", "1", "n"}, " input error - length must be a positive integer.\n"},
      {{in, out, "2", "1", "g", "1x", "n"}, " input error - power must be a number.\n"},
      {{in, out, "2", "1", "g", "1", "n", "-1"},
       " input error - header_length must be a non-negative integer.\n"},
      {{in, out, "2", "1", "g", "1", "n", "h"},
       " input error - header_length must be a non-negative integer.\n"},
      {{in, out, "100000", "100000", "x", "1", "n"}, " input error - width times length is too large.\n"},
      {{in, out, "46339", "46341", "g", "1", "n"}, " input error - width times length is too large.\n"},
      {{in, path("no/dir/out"), "2", "1", "g", "1", "n"}, " error - opening imagefile.\n"},
  };
  for (auto &c : cases) {
    result r = run(c.args);
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_EQ(r.out, c.line);
    EXPECT_FALSE(exists(out)) << c.line;
  }
  EXPECT_EQ(get(in), be({0, 1, 2, 3}));
}

TEST_F(Pixmill, ReadOnlyInputConvertsAndLongNamesAreCut) {
  std::string name32 = path(std::string(32 - dir.size() - 1, 'n'));
  ASSERT_EQ(name32.size(), 32u);
  put(name32, be({0, 1}), 0444);
  // Root could open the input for writing too, so pixmill runs as a user
  // who may only read it (and create files in the directory).
  ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
  result r = run({name32 + "ignored", path("o"), "2", "1", "x", "1", "n"}, 0, true);
  if (r.status == kNoPlainUser) GTEST_SKIP() << "no way to run pixmill without root's rights";
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(get(path("o")).size(), 16u);
}

TEST_F(Pixmill, FailedWriteIsReported) {
  put(path("in"), be({0, 1}));
  for (const char *type : {"g", "x"}) {
    result r = run({path("in"), "/dev/full", "2", "1", type, "1", "n"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, " error - writing imagefile.\n");
  }
}

TEST_F(Pixmill, TooLittleMemoryIsReported) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs more address space than the limit leaves";
#else
  put(path("in"), be({0, 1}));
  result r = run({path("in"), path("out"), "20000", "20000", "x", "1", "n"}, rlim_t(256) << 20);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " error - not enough memory for the raster.\n");
  EXPECT_FALSE(exists(path("out")));
#endif
}

TEST_F(Pixmill, SharedMemoryFiles) {
  std::string in = "pmin" + std::to_string(getpid()), out = "pmout" + std::to_string(getpid());
  int fd = shm_open(in.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  bytes b = be({0, 1});
  ASSERT_EQ(write(fd, b.data(), b.size()), 8);
  close(fd);
  result r = run({"|" + in, "|" + out, "2", "1", "x", "1", "n"});
  EXPECT_EQ(r.status, 0) << r.out;
  fd = shm_open(out.c_str(), O_RDONLY, 0);
  ASSERT_GE(fd, 0);
  unsigned char got[400];
  struct stat st;
  fstat(fd, &st);
  EXPECT_EQ(st.st_size, 400);  // created at the size of 100 words
  ASSERT_EQ(pread(fd, got, 16, 0), 16);
  close(fd);
  EXPECT_EQ(bytes(got, got + 16), (bytes{0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 255, 255, 255}));
  shm_unlink(in.c_str());
  shm_unlink(out.c_str());
  r = run({"|" + in, path("o"), "2", "1", "x", "1", "n"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.substr(0, 20), " Error reading file ");
}

}  // namespace
