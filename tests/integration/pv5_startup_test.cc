// Start-up failures of pv5, run directly with names the test makes itself,
// and through the client library, which must turn every failing or hanging
// server into a clear error and leave nothing behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/pv5test.h"

namespace {

std::string unique_name(const char *what) {
  static int k = 0;
  return "/pv5st-" + std::to_string(getpid()) + "-" + what + "-" + std::to_string(k++);
}

bool sem_exists(const std::string &n) {
  sem_t *s = sem_open(n.c_str(), 0);
  if (s == SEM_FAILED) return false;
  sem_close(s);
  return true;
}

bool shm_exists(const std::string &n) {
  int fd = shm_open(n.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  close(fd);
  return true;
}

RunResult run_pv5(const std::string &name, const std::string &size) {
  return run_program({PV5_BIN, name, size, std::to_string(getpid()), "--headless"});
}

TEST(StartupFailure, NoSemaphore) {
  std::string n = unique_name("nosem");
  // A shared-memory object of that name must survive the failed start.
  int fd = shm_open(n.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  close(fd);
  RunResult r = run_pv5(n, "4096");
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, "pv5:Unable to link to semaphore " + n + ": No such file or directory\n");
  EXPECT_TRUE(shm_exists(n));
  shm_unlink(n.c_str());
}

// Failures after the semaphore is open: one post, both names removed.
struct AbandonCase {
  const char *label;
  bool make_shm;
  const char *size;
  std::string expected_prefix;
};

TEST(StartupFailure, AbandonPostsOnceAndRemovesNames) {
  const AbandonCase cases[] = {
      {"noshm", false, "4096", "pv5:Unable to open shared memory transmit buffer "},
      {"nomap", true, "-1", "pv5:Unable to mmap shared memory transmit buffer size -1: "},
  };
  for (const AbandonCase &c : cases) {
    SCOPED_TRACE(c.label);
    std::string n = unique_name(c.label);
    sem_t *s = sem_open(n.c_str(), O_CREAT | O_EXCL, 0600, 0);
    ASSERT_NE(s, SEM_FAILED);
    if (c.make_shm) {
      int fd = shm_open(n.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(ftruncate(fd, 4096), 0);
      close(fd);
    }
    RunResult r = run_pv5(n, c.size);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.compare(0, c.expected_prefix.size(), c.expected_prefix), 0) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    int posts = 0;
    while (sem_trywait(s) == 0) posts++;
    EXPECT_EQ(posts, 1);
    sem_close(s);
    EXPECT_FALSE(sem_exists(n));
    EXPECT_FALSE(shm_exists(n));
    sem_unlink(n.c_str());
    shm_unlink(n.c_str());
  }
}

// Through the library: a server that cannot open a display fails at
// start-up with its exit status, its "pv5:" line, and no names left.
TEST(ClientStart, ServerFailingAtStartupIsAClearError) {
  Server s;
  pv5c_options o = headless_options();
  o.headless = 0;
  std::string name = unique_name("nodisplay");
  o.name = name.c_str();
  const char *old = getenv("DISPLAY");
  std::string saved = old ? old : "";
  setenv("DISPLAY", ":65000", 1);  // nothing listens there
  int rc = s.start(o);
  if (old)
    setenv("DISPLAY", saved.c_str(), 1);
  else
    unsetenv("DISPLAY");
  EXPECT_EQ(rc, PV5C_EDIED);
  EXPECT_NE(std::string(pv5c_error(s.h)).find("exit status 1"), std::string::npos) << pv5c_error(s.h);
  std::string err = s.stderr_text();
  EXPECT_EQ(err.compare(0, 4, "pv5:"), 0) << err;
  EXPECT_FALSE(sem_exists(name));
  EXPECT_FALSE(shm_exists(name));
  EXPECT_FALSE(pv5c_running(s.h));
}

TEST(ClientStart, MissingServerProgram) {
  pv5c *h = pv5c_open();
  pv5c_options o = headless_options();
  o.server = "/nonexistent/pv5";
  std::string name = unique_name("noprog");
  o.name = name.c_str();
  EXPECT_EQ(pv5c_start(h, &o), PV5C_EDIED);
  EXPECT_EQ(std::string(pv5c_error(h)), "cannot run /nonexistent/pv5: No such file or directory");
  EXPECT_FALSE(sem_exists(name));
  EXPECT_FALSE(shm_exists(name));
  pv5c_close(h);
}

// A "server" that never posts: the start gives up, kills it, cleans up.
TEST(ClientStart, ServerThatNeverPostsTimesOut) {
  TempDir t;
  std::string fake = t.path + "/pv5";
  ASSERT_TRUE(write_file(fake, "#!/bin/sh\nexec sleep 600\n"));
  ASSERT_EQ(chmod(fake.c_str(), 0700), 0);
  pv5c *h = pv5c_open();
  pv5c_options o = headless_options();
  o.server = fake.c_str();
  o.start_timeout_ms = 300;
  std::string name = unique_name("hang");
  o.name = name.c_str();
  EXPECT_EQ(pv5c_start(h, &o), PV5C_ETIMEOUT);
  EXPECT_NE(std::string(pv5c_error(h)).find("did not become ready"), std::string::npos) << pv5c_error(h);
  EXPECT_FALSE(sem_exists(name));
  EXPECT_FALSE(shm_exists(name));
  pv5c_close(h);
}

// A server that dies while a command is pending: the wait ends with its
// status instead of hanging; stopping afterwards cleans up.
TEST(ClientStart, ServerDyingWhileCommandPending) {
  Server s;
  ASSERT_EQ(s.start_headless(), PV5C_OK) << pv5c_error(s.h);
  ASSERT_EQ(kill(pv5c_pid(s.h), SIGSTOP), 0);  // holds the command back
  memcpy(pv5c_buffer(s.h), "ru\0\0\0\0\0\0", 8);
  ASSERT_EQ(pv5c_send(s.h), PV5C_OK);
  ASSERT_EQ(kill(pv5c_pid(s.h), SIGKILL), 0);
  int32_t r;
  EXPECT_EQ(pv5c_wait(s.h, -1, &r), PV5C_EDIED);
  EXPECT_NE(std::string(pv5c_error(s.h)).find("signal 9"), std::string::npos) << pv5c_error(s.h);
  std::string name = pv5c_name(s.h);
  pv5c_stopinfo info;
  EXPECT_EQ(pv5c_stop(s.h, &info), PV5C_EDIED);
  EXPECT_EQ(info.signal, SIGKILL);
  EXPECT_EQ(info.sem_left, 1);
  EXPECT_EQ(info.shm_left, 1);
  EXPECT_FALSE(sem_exists(name));
  EXPECT_FALSE(shm_exists(name));
}

TEST(ClientStart, CallsOutOfStateAndOversizeRecords) {
  pv5c *h = pv5c_open();
  int32_t r;
  EXPECT_EQ(pv5c_send(h), PV5C_ESTATE);
  EXPECT_EQ(pv5c_fl(h, &r), PV5C_ESTATE);
  EXPECT_EQ(pv5c_stop(h, nullptr), PV5C_ESTATE);
  pv5c_close(h);

  Server s;
  pv5c_options o = headless_options();
  o.size = 1024;
  ASSERT_EQ(s.start(o), PV5C_OK) << pv5c_error(s.h);
  std::vector<float> x(100, 0.5f);
  pv5c_line l = {100, 1, 1, 0, x.data(), x.data()};
  // 8 + 8 + 800 bytes fit; two such groups do not.
  EXPECT_EQ(pv5c_dr(s.h, 1, &l, &r), PV5C_OK);
  pv5c_line two[2] = {l, l};
  EXPECT_EQ(pv5c_dr(s.h, 2, two, &r), PV5C_ETOOBIG);
  EXPECT_EQ(pv5c_st(s.h, 1, 1, 0, 300, x.data(), &r), PV5C_EARG);
  // A pending command blocks the next one until it is waited for.
  ASSERT_EQ(pv5c_send(s.h), PV5C_OK);
  EXPECT_EQ(pv5c_fl(s.h, &r), PV5C_ESTATE);
  EXPECT_EQ(pv5c_wait(s.h, 0, &r), PV5C_OK);
  EXPECT_EQ(pv5c_fl(s.h, &r), PV5C_OK);
}

}  // namespace
