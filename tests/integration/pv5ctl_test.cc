// pv5ctl run as a process: a script of every command and its reply lines,
// one-line errors with exit status 1, and the cursor answered through a
// headless --input FIFO while pv5ctl waits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/pv5test.h"

namespace {

std::string float_file(const TempDir &t, const std::vector<float> &v) {
  std::string path = t.path + "/grid.f32";
  write_file(path, std::string(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(float)));
  return path;
}

TEST(Pv5ctl, ScriptOfEveryCommand) {
  TempDir t;
  std::string grid = float_file(t, {0, 1, 2, 3});
  std::string script =
      "# a comment, then a blank line\n"
      "\n"
      "gd\n"
      "gr 7\n"
      "gr 08   # decimal, not octal\n"
      "cr 1 0 0 0.5 0.4   # 500 x 400\n"
      "gr 1\n"
      "st 2 3 1  1 0 0  0 0 1\n"
      "dr 2 2 1 0.1 0.1 0.9 0.1 ; 1 1 0 0.1 0.2 0.9 0.2 0.5 0.5\n"
      "fi 0 0.1 0.3 0.3 0.3 0.2 0.5\n"
      "rh 1 0 2 2 0.6 0.5 0.8 0.7 0 0 1 1 0 0 0 0 3 1 1 1\n"
      "rd 1 0 1 2 3\n"
      "grid 1 " + grid + " 2 2 0.6 0.2 0.8 0.4 0 0 1 1 0 0 0 0 3 1 1 1\n"
      "raw 78780000 03000700\n"
      "send 31\n"
      "er 1\n"
      "fl\n"
      "de 1\n"
      "de 1\n"
      "ru\n";
  std::string script_path = t.path + "/script";
  ASSERT_TRUE(write_file(script_path, script));
  // The snapshot folder does not exist yet: pv5ctl makes it.
  std::string snaps = t.path + "/snaps";
  RunResult r = run_program({PV5CTL_BIN, "--headless", "--display-size", "1000x800", "--snapshot-dir", snaps,
                             script_path});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "pv5:Protocol botch: xx(7878) 3 7\n");
  std::string expected =
      "gd 0 1000 0.8\n"
      "gr -1\n"
      "gr -1\n"
      "cr 0\n"
      "gr 0 0.8\n"
      "st 0\n"
      "dr 0\n"
      "fi 0\n"
      "rh 0\n"
      "rd 0\n"
      "grid 0\n"
      "raw -1\n"
      "send 31\n"
      "er 0\n"
      "fl 0\n"
      "de 0\n"
      "de -1\n";
  ASSERT_GE(r.out.size(), expected.size()) << r.out;
  EXPECT_EQ(r.out.substr(0, expected.size()), expected);
  std::string last = r.out.substr(expected.size());
  float t1, dt, dtsys;
  EXPECT_EQ(sscanf(last.c_str(), "ru 0 %g %g %g\n", &t1, &dt, &dtsys), 3) << last;
  EXPECT_TRUE(file_exists(snaps + "/window1.png"));
}

struct ErrorCase {
  std::vector<std::string> args;  // after the program, before the script
  std::string script;
  std::string out;  // stdout before the failure
  std::string err;  // exactly, or the start of it when it ends in "..."
};

TEST(Pv5ctl, ErrorsAreOneLineAndExitOne) {
  TempDir t;
  std::string name = "/pv5ctl-test-" + std::to_string(getpid());
  const ErrorCase cases[] = {
      {{}, "gd\nzz 1\ngd\n", "gd 0 1280 0.8\n", "pv5ctl: line 2: unknown command 'zz'\n"},
      {{}, "cr 1 0 0\n", "", "pv5ctl: line 1: usage: cr W TOP LEFT RIGHT BOTTOM\n"},
      {{}, "dr 1 1 0 0.1\n", "", "pv5ctl: line 1: points come as X Y pairs\n"},
      {{}, "st 1 1 0 1 0\n", "", "pv5ctl: line 1: colours come as R G B triples\n"},
      {{}, "gr x\n", "", "pv5ctl: line 1: bad integer 'x'\n"},
      {{}, "grid 1 /nonexistent/f 2 2 0 0 1 1 0 0 1 1 0 0 0 0\n", "",
       "pv5ctl: line 1: cannot open /nonexistent/f: No such file or directory\n"},
      {{"--size", "64"}, "dr 1 1 0  0 0 1 1 0 1 1 0  0 0 1 1 0 1 1 0\n", "",
       "pv5ctl: line 1: record of 80 bytes does not fit the 64-byte buffer\n"},
      {{"--server", "/nonexistent/pv5"}, "gd\n", "", "pv5ctl: cannot run /nonexistent/pv5: No such file or directory\n"},
      {{"--display-size", "big"}, "gd\n", "", "pv5ctl: bad display size 'big' (WxH)\n"},
      {{"--bogus"}, "gd\n", "", "pv5ctl: unknown option '--bogus'\n..."},
  };
  for (const ErrorCase &c : cases) {
    SCOPED_TRACE(c.err);
    std::vector<std::string> argv = {PV5CTL_BIN, "--headless", "--name", name};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    argv.push_back("-");
    RunResult r = run_program(argv, c.script);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, c.out);
    if (c.err.size() > 3 && c.err.compare(c.err.size() - 3, 3, "...") == 0)
      EXPECT_EQ(r.err.compare(0, c.err.size() - 3, c.err, 0, c.err.size() - 3), 0) << r.err;
    else
      EXPECT_EQ(r.err, c.err);
    // The server was stopped and no name is left behind.
    EXPECT_FALSE(file_exists("/dev/shm" + name));
    EXPECT_FALSE(file_exists("/dev/shm/sem." + name.substr(1)));
  }
}

int64_t now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int count_lines(const std::string &text, const std::string &line) {
  std::istringstream in(text);
  std::string l;
  int n = 0;
  while (std::getline(in, l)) n += l == line;
  return n;
}

// Waits (generously) until the events log holds n lines equal to line.
bool wait_log(const std::string &log, const std::string &line, int n) {
  for (int64_t end = now_ms() + 30000; now_ms() < end; usleep(5000))
    if (count_lines(read_file(log), line) >= n) return true;
  return false;
}

// The cursor through pv5ctl: the key and the text typed into the headless
// input while pv5ctl waits come back on its reply lines.
TEST(Pv5ctl, CursorAnsweredThroughInput) {
  TempDir t;
  std::string fifo = t.path + "/input", out = t.path + "/out", script = t.path + "/script";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int fd = open(fifo.c_str(), O_RDWR);  // never blocks, and keeps the FIFO open
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(write_file(script, "cr 1 0 0 0.5 0.4\ncc 0 0 0\nct 0 0 0\ngd\n"));
  pid_t pid = fork();
  if (pid == 0) {
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(o, 1);
    execl(PV5CTL_BIN, PV5CTL_BIN, "--headless", "--display-size", "1000x800", "--snapshot-dir", t.path.c_str(),
          "--input", fifo.c_str(), script.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  // The cross hair is up once the cursor has presented the plot, then the
  // plot with its overlay.
  std::string log = t.path + "/events.log";
  EXPECT_TRUE(wait_log(log, "flush 1", 2)) << read_file(log);
  std::string keys = "key q\n";
  EXPECT_EQ(write(fd, keys.data(), keys.size()), ssize_t(keys.size()));
  EXPECT_TRUE(wait_log(log, "flush 1", 4)) << read_file(log);
  keys = "text a b\nkey return\n";
  EXPECT_EQ(write(fd, keys.data(), keys.size()), ssize_t(keys.size()));
  int st = 0;
  int64_t end = now_ms() + 30000;
  while (waitpid(pid, &st, WNOHANG) == 0 && now_ms() < end) usleep(5000);
  if (now_ms() >= end) {
    kill(pid, SIGKILL);
    waitpid(pid, &st, 0);
  }
  close(fd);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  // The mouse never entered the window: the centre, y = 0.5 * 400 / 500.
  EXPECT_EQ(read_file(out), "cr 0\ncc 0 0.5 0.4 113\nct 0 0.5 0.4 \"a b\"\ngd 0 1000 0.8\n");
}

}  // namespace
