// The real pv5, headless, through the client library: the handshake, the
// replies and result slots, the protocol-error line, processor-time
// accounting, stopping, bounds mends, and messages of other ids.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <semaphore.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/pv5test.h"

namespace {

std::vector<unsigned char> header(const char op[2], int16_t wnum, int16_t npts) {
  pv5hdr h;
  memset(&h, 0, sizeof h);
  h.op[0] = op[0];
  h.op[1] = op[1];
  h.wnum = wnum;
  h.npts = npts;
  std::vector<unsigned char> r(sizeof h);
  memcpy(r.data(), &h, sizeof h);
  return r;
}

template <typename T>
void append(std::vector<unsigned char> *rec, T v) {
  size_t n = rec->size();
  rec->resize(n + sizeof v);
  memcpy(rec->data() + n, &v, sizeof v);
}

size_t count_lines_starting(const std::string &text, const std::string &prefix) {
  size_t n = 0;
  for (size_t i = 0; i < text.size();) {
    size_t e = text.find('\n', i);
    if (text.compare(i, prefix.size(), prefix) == 0) n++;
    if (e == std::string::npos) break;
    i = e + 1;
  }
  return n;
}

TEST(Protocol, DisplaySizeAndRatios) {
  Server s;
  ASSERT_EQ(s.start_headless(), PV5C_OK) << pv5c_error(s.h);
  float w = 0, ratio = 0;
  int32_t r = 99;
  ASSERT_EQ(pv5c_gd(s.h, &w, &ratio, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(w, 1280.0f);
  EXPECT_EQ(ratio, 0.8f);

  // A failed "gr" leaves the record's own wnum and npts bytes in slot 1.
  ASSERT_EQ(pv5c_gr(s.h, 7, &ratio, &r), PV5C_OK);
  EXPECT_EQ(r, -1);
  std::vector<unsigned char> hdr = header("gr", 7, 0);
  EXPECT_EQ(memcmp(static_cast<char *>(pv5c_buffer(s.h)) + PV5_SLOT1_OFF, hdr.data() + 4, 4), 0);

  // Window 1 of a 0.4 x 0.3 display-width rectangle: height / width.
  ASSERT_EQ(pv5c_cr(s.h, 1, 0.1f, 0.1f, 0.5f, 0.4f, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(pv5c_gr(s.h, 1, &ratio, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  EXPECT_FLOAT_EQ(ratio, 0.75f);
}

TEST(Protocol, DisplaySizeOption) {
  Server s;
  ASSERT_EQ(s.start_headless(1440, 900), PV5C_OK) << pv5c_error(s.h);
  float w = 0, ratio = 0;
  int32_t r = 99;
  ASSERT_EQ(pv5c_gd(s.h, &w, &ratio, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(w, 1440.0f);
  EXPECT_EQ(ratio, 0.625f);
}

struct OpcodeCase {
  std::vector<unsigned char> rec;
  int32_t reply;
  std::string line;  // the expected protocol-error line, or "" for none
};

TEST(Protocol, OpcodeMatchingAndBotchLine) {
  Server s;
  ASSERT_EQ(s.start_headless(), PV5C_OK) << pv5c_error(s.h);
  std::vector<unsigned char> crxy = header("cr", 2, 0);
  crxy[2] = 'X';
  crxy[3] = 'Y';
  for (float c : {0.1f, 0.1f, 0.3f, 0.3f}) append(&crxy, c);
  const OpcodeCase cases[] = {
      {crxy, 0, ""},
      {header("xx", 3, 7), -1, "pv5:Protocol botch: xx(7878) 3 7\n"},
      {header("CR", 1, -2), -1, "pv5:Protocol botch: CR(4352) 1 -2\n"},
      {header("c\0", 0, 0), -1, std::string("pv5:Protocol botch: c") + '\0' + "(630) 0 0\n"},
      {header("\x90\x41", 4, 5), -1, "pv5:Protocol botch: \x90\x41(ffffff9041) 4 5\n"},
  };
  for (const OpcodeCase &c : cases) {
    size_t before = s.stderr_text().size();
    int32_t r = 99;
    ASSERT_EQ(pv5c_raw(s.h, c.rec.data(), c.rec.size(), &r), PV5C_OK) << pv5c_error(s.h);
    EXPECT_EQ(r, c.reply) << c.line;
    // The line is written before the post, so it is there now.
    EXPECT_EQ(s.stderr_text().substr(before), c.line);
  }
}

TEST(Protocol, ProcessorTimesGrow) {
  Server s;
  ASSERT_EQ(s.start_headless(), PV5C_OK) << pv5c_error(s.h);
  float t1, dt1, sys1, t2, dt2, sys2;
  int32_t r;
  ASSERT_EQ(pv5c_ru(s.h, &t1, &dt1, &sys1, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  // The first command takes in everything since start-up.
  EXPECT_GT(sys1, 0.0f);
  EXPECT_GE(t1 * 1.0001f + 1e-6f, dt1 + sys1);

  // Real work between the two: a few thousand antialiased segments.
  std::vector<float> x(2000), y(2000);
  for (size_t i = 0; i < x.size(); i++) {
    x[i] = float(i % 97) / 97.0f;
    y[i] = float(i % 89) / 89.0f * 0.2f;
  }
  pv5c_line l = {int(x.size()), 3, 2, 0, x.data(), y.data()};
  ASSERT_EQ(pv5c_cr(s.h, 1, 0.0f, 0.0f, 0.5f, 0.4f, &r), PV5C_OK);
  for (int i = 0; i < 5; i++) ASSERT_EQ(pv5c_dr(s.h, 1, &l, &r), PV5C_OK);

  ASSERT_EQ(pv5c_ru(s.h, &t2, &dt2, &sys2, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  EXPECT_GT(dt2, dt1);
  EXPECT_GE(sys2, sys1);
  EXPECT_GE(t2, t1);
  EXPECT_GE(t2 * 1.0001f + 1e-6f, dt2 + sys2);
}

TEST(Protocol, TermStopsCleanlyWithoutPost) {
  Server s;
  ASSERT_EQ(s.start_headless(), PV5C_OK) << pv5c_error(s.h);
  std::string name = pv5c_name(s.h);
  pv5c_stopinfo info;
  ASSERT_EQ(pv5c_stop(s.h, &info), PV5C_OK) << pv5c_error(s.h);
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_EQ(info.signal, 0);
  EXPECT_EQ(info.sem_left, 0) << "pv5 should remove the semaphore name";
  EXPECT_EQ(info.shm_left, 0) << "pv5 should remove the shared-memory name";
  EXPECT_EQ(info.posts, 0);
  EXPECT_FALSE(file_exists("/dev/shm" + name));
}

TEST(Protocol, OtherMessageIdsGetNoPost) {
  Server s;
  ASSERT_EQ(s.start_headless(), PV5C_OK) << pv5c_error(s.h);
  for (int32_t id : {31, 0, -1, 15}) ASSERT_EQ(pv5c_send_id(s.h, id), PV5C_OK);
  float w;
  int32_t r;
  ASSERT_EQ(pv5c_gd(s.h, &w, nullptr, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(w, 1280.0f);
  // Once the server has ended, every post it ever made is on the
  // semaphore: a stray one for the datagrams above would show here.
  pv5c_stopinfo info;
  ASSERT_EQ(pv5c_stop(s.h, &info), PV5C_OK) << pv5c_error(s.h);
  EXPECT_EQ(info.posts, 0);
  EXPECT_EQ(info.exit_code, 0);
}

// Records whose counts run past a 4096-byte buffer, or are negative: -1,
// one "pv5:" line, and nothing drawn.
TEST(Protocol, RecordsThatOverrunAreRefused) {
  Server s;
  pv5c_options o = headless_options();
  o.size = 4096;
  std::string snaps = s.snapshot_dir();
  o.snapshot_dir = snaps.c_str();
  ASSERT_EQ(s.start(o), PV5C_OK) << pv5c_error(s.h);
  int32_t r;
  ASSERT_EQ(pv5c_cr(s.h, 1, 0.0f, 0.0f, 0.5f, 0.25f, &r), PV5C_OK);
  ASSERT_EQ(r, 0);

  // A valid first group (a thick line across the middle), then the bad one.
  auto dr = [](int16_t second_npts) {
    std::vector<unsigned char> rec = header("dr", 0, 2);
    append(&rec, pv5drg{2, 20, 1, 0});
    for (float v : {0.0f, 1.0f, 0.25f, 0.25f}) append(&rec, v);
    append(&rec, pv5drg{second_npts, 1, 1, 0});
    return rec;
  };
  auto fi = [](int16_t npts) {
    std::vector<unsigned char> rec = header("fi", 0, 1);
    append(&rec, pv5fig{0, npts});
    return rec;
  };
  std::vector<unsigned char> st = header("st", 0, 0);
  for (int16_t v : {1, 1, 0, 300}) append(&st, v);
  const std::vector<unsigned char> cases[] = {dr(1000), dr(-1), fi(600), fi(-3), header("rd", 1, 2000), st};
  for (const auto &rec : cases) {
    size_t before = s.stderr_text().size();
    ASSERT_EQ(pv5c_raw(s.h, rec.data(), rec.size(), &r), PV5C_OK) << pv5c_error(s.h);
    EXPECT_EQ(r, -1) << std::string(rec.begin(), rec.begin() + 2);
    std::string added = s.stderr_text().substr(before);
    EXPECT_EQ(count_lines_starting(added, "pv5:"), 1u) << added;
  }
  ASSERT_EQ(pv5c_fl(s.h, &r), PV5C_OK);
  ASSERT_EQ(r, 0);
  Image img;
  ASSERT_TRUE(load_png(s.snapshot(1), &img));
  for (int x = 0; x < img.w; x += 7)
    ASSERT_EQ(img.at(x, img.h / 2), 0xffffffu) << "the valid first group was drawn at x " << x;

  // The server still serves.
  float w;
  ASSERT_EQ(pv5c_gd(s.h, &w, nullptr, &r), PV5C_OK);
  EXPECT_EQ(r, 0);
}

// With no valid current window, drawing and flushing answer -1.
TEST(Protocol, DrawingWithoutWindowIsRefused) {
  Server s;
  ASSERT_EQ(s.start_headless(), PV5C_OK) << pv5c_error(s.h);
  float x[2] = {0, 1}, y[2] = {0, 1};
  pv5c_line l = {2, 1, 1, 0, x, y};
  pv5c_poly p = {0, 2, x, y};
  int32_t r;
  ASSERT_EQ(pv5c_de(s.h, 0, &r), PV5C_OK);  // the hidden start-up window
  EXPECT_EQ(r, 0);
  ASSERT_EQ(pv5c_de(s.h, 0, &r), PV5C_OK);
  EXPECT_EQ(r, -1);
  for (int pass = 0; pass < 2; pass++) {
    ASSERT_EQ(pv5c_dr(s.h, 1, &l, &r), PV5C_OK);
    EXPECT_EQ(r, -1);
    ASSERT_EQ(pv5c_fi(s.h, 1, &p, &r), PV5C_OK);
    EXPECT_EQ(r, -1);
    ASSERT_EQ(pv5c_fl(s.h, &r), PV5C_OK);
    EXPECT_EQ(r, -1);
    ASSERT_EQ(pv5c_cr(s.h, 9, 0, 0, 0.2f, 0.2f, &r), PV5C_OK);  // cur becomes 9
    EXPECT_EQ(r, -1);
  }
}

}  // namespace
