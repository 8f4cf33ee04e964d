// The dispatcher: opcode matching, the protocol-error line, the bounds checks
// in front of every operation, commands without a window, and the
// processor-time accounting of AppEventHandler.
#include <semaphore.h>
#include <signal.h>

#include <algorithm>

#include "logic_fixture.h"

using namespace pv5test;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

using namespace std::string_literals;

namespace {

using Dispatch = Logic;

struct OpcodeCase {
  const char *name;
  unsigned char op[4];
  int16_t wnum, npts;
  int32_t reply;
  std::string err;  // exact standard-error output
};

TEST_F(Dispatch, MatchesExactlyTwoBytesAndReportsTheRest) {
  const OpcodeCase cases[] = {
      {"bytes 2 and 3 ignored", {'c', 'r', 'X', 'Y'}, 0, 0, 0, ""},
      {"case matters", {'C', 'R', 0, 0}, 0, 0, -1, "pv5:Protocol botch: CR(4352) 0 0\n"},
      {"second byte 0", {'c', 0, 'r', 0}, 1, 2, -1, "pv5:Protocol botch: c\0(630) 1 2\n"s},
      {"unknown", {'x', 'x', 0, 0}, 3, 7, -1, "pv5:Protocol botch: xx(7878) 3 7\n"},
      {"high bytes as signed chars", {0x80, 'A', 0, 0}, -2, 0, -1,
       "pv5:Protocol botch: \x80" "A(ffffff8041) -2 0\n"},
  };
  for (const OpcodeCase &c : cases) {
    SCOPED_TRACE(c.name);
    Rec r("", c.wnum, c.npts);
    memcpy(r.b.data(), c.op, 4);
    r.f32(0).f32(0).f32(0.25f).f32(0.25f);  // a window geometry, for "cr"
    CaptureStderr();
    EXPECT_EQ(run(r), c.reply);
    EXPECT_EQ(GetCapturedStderr(), c.err);
  }
}

// What a refused record must leave alone.
struct State {
  int32_t cur, linestyle, linewidth, linecolor, ncolor;
  int occupied;
  uint64_t picture;
  bool operator==(const State &o) const {
    return cur == o.cur && linestyle == o.linestyle && linewidth == o.linewidth &&
           linecolor == o.linecolor && ncolor == o.ncolor && occupied == o.occupied &&
           picture == o.picture;
  }
};

State snapshot() {
  State s{cur, linestyle, linewidth, linecolor, ncolor, 0, picture_digest()};
  for (int k = 0; k < PV5_NWIN; k++) s.occupied |= EventWindow[k] ? 1 << k : 0;
  return s;
}

struct FitCase {
  const char *name;
  Rec rec;
  size_t need;  // the bytes the record and its reply use
};

// Each record is run in a block one byte short of what it needs (refused,
// nothing changed) and in one of exactly that size (accepted).
TEST_F(Dispatch, RecordsAndRepliesMustFitTheBuffer) {
  const Group line{3, 2, 1, {0.0f, 0.2f, 0.1f}, {0.0f, 0.2f, 0.1f}};
  const Group two{1, 1, 2, {0.0f, 0.2f}, {0.2f, 0.0f}};
  const FitCase cases[] = {
      {"cr", cr(1, 0.1f, 0.1f, 0.3f, 0.3f), 24},
      {"st colours read", st(3, 2, 1, std::vector<float>(30, 0.5f)), 16 + 12 * 10},
      {"st without colours", Rec("st").s16(3).s16(2).s16(1).s16(0), 16},
      {"dr last group", dr({line, two}), 8 + 32 + 24},
      {"dr group head", dr({line, {1, 1, 2, {}, {}}}), 8 + 32 + 8},
      {"fi", fi({{0, 0, 4, {0.0f, 0.2f, 0.2f}, {0.0f, 0.0f, 0.2f}}}), 8 + 4 + 24},
      {"rh fixed part", Rec("rh").s32(0).pad_to(56), 56},
      {"rh colour table", Rec("rh").pad_to(52).s32(4).pad_to(56 + 64), 56 + 64},
      {"rd", Rec("rd", 0, 100).pad_to(8 + 400), 8 + 400},
      {"cc", Rec("cc").s32(0).f32(0).f32(0), 20},
      {"gd reply", Rec("gd"), 12},
      {"gr reply", Rec("gr"), 8},
      {"ru reply", Rec("ru"), 16},
  };
  for (const FitCase &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_GE(c.need, 8u);
    // Without a window the cursor answers -1 silently instead of waiting for
    // a key, so a missed check shows as a missing line, not as a hang.
    bool cursor = strncmp((const char *)c.rec.b.data(), "cc", 2) == 0;
    int32_t saved = cur;
    if (cursor) cur = -1;
    State before = snapshot();
    CaptureStderr();
    EXPECT_EQ(run(c.rec, c.need - 1), -1);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err.rfind("pv5:", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(snapshot() == before);
    cur = saved;
  }
  // Accepted at exactly the size it needs (the cursor is left out: it would
  // wait for a key).
  for (const FitCase &c : cases) {
    if (strncmp((const char *)c.rec.b.data(), "cc", 2) == 0) continue;
    SCOPED_TRACE(c.name);
    CaptureStderr();
    run(c.rec, c.need);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(err.find("transmit buffer"), std::string::npos) << err;
  }
}

TEST_F(Dispatch, NegativeCountsAndBigColourTablesAreRefused) {
  Rec negheader = dr({});
  negheader.b[6] = 0xff, negheader.b[7] = 0xff;  // npts -1
  Rec neggroup = dr({{1, 1, 1, {0.0f, 0.1f}, {0.0f, 0.1f}}, {1, 2, 3, {0.0f, 0.1f}, {0.1f, 0.0f}}});
  int16_t minus3 = -3;
  memcpy(neggroup.b.data() + 8 + 24, &minus3, 2);  // second group's npts
  Rec negfill = fi({{2, 0, 0, {0.0f, 0.1f, 0.1f}, {0.0f, 0.0f, 0.1f}}});
  memcpy(negfill.b.data() + 8 + 2, &minus3, 2);
  Rec big = st(4, 3, 2, std::vector<float>(3 * 256, 1.0f));
  int16_t n257 = 257;
  memcpy(big.b.data() + 14, &n257, 2);
  big.pad_to(16 + 12 * 257);
  Rec negcolours = st(4, 3, 2, {});
  memcpy(negcolours.b.data() + 14, &minus3, 2);  // nctable

  const std::pair<const char *, Rec> cases[] = {{"dr header", negheader},
                                                {"dr group", neggroup},
                                                {"fi group", negfill},
                                                {"st 257", big},
                                                {"st colour count negative", negcolours}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.first);
    State before = snapshot();
    CaptureStderr();
    EXPECT_EQ(run(c.second), -1);
    EXPECT_EQ(GetCapturedStderr().rfind("pv5:", 0), 0u);
    EXPECT_TRUE(snapshot() == before);
  }
  // 256 colours are the most a record carries, and are taken.
  Rec full = st(4, 3, 2, std::vector<float>(3 * 256, 1.0f));
  EXPECT_EQ(run(full), 0);
  EXPECT_EQ(ncolor, 256);
}

TEST_F(Dispatch, TooSmallForAHeader) {
  CaptureStderr();
  std::vector<unsigned char> out;
  EXPECT_EQ(run(Rec("ru"), 4, &out), -1);
  EXPECT_EQ(GetCapturedStderr().rfind("pv5:", 0), 0u);
  int32_t reply;
  memcpy(&reply, out.data(), 4);
  EXPECT_EQ(reply, -1);
}

// Drawing, flushing and the cursor need the current window to exist.
TEST_F(Dispatch, CommandsWithoutACurrentWindowAnswerMinusOne) {
  const Rec recs[] = {
      dr({{1, 1, 1, {0.0f, 0.2f}, {0.0f, 0.2f}}}),
      fi({{1, 0, 0, {0.0f, 0.2f, 0.2f}, {0.0f, 0.0f, 0.2f}}}),
      Rec("fl"),
      Rec("cc").s32(0).f32(0).f32(0),
      Rec("ct").s32(0).f32(0).f32(0),
  };
  ASSERT_EQ(run(cr(2, 0.3f, 0.3f, 0.5f, 0.5f)), 0);
  ASSERT_EQ(run(Rec("de", 2)), 0);  // cur stays 2, an empty slot
  EXPECT_EQ(cur, 2);
  for (int32_t c : {2, 9, -1}) {
    cur = c;
    for (const Rec &r : recs) {
      SCOPED_TRACE(std::string((const char *)r.b.data(), 2) + " with cur " + std::to_string(c));
      uint64_t before = picture_digest();
      EXPECT_EQ(run(r), -1);
      EXPECT_EQ(picture_digest(), before);
    }
  }
}

TEST_F(Dispatch, OperationsGetTheRecordsFields) {
  std::vector<unsigned char> out;
  // "cr" for a number outside the table answers -1 and still becomes current.
  EXPECT_EQ(run(cr(9, 0.1f, 0.1f, 0.2f, 0.2f)), -1);
  EXPECT_EQ(cur, 9);
  EXPECT_EQ(run(cr(3, 0.1f, 0.1f, 0.3f, 0.3f)), 0);
  EXPECT_EQ(cur, 3);
  EXPECT_EQ(run(Rec("fl")), 0);
  // "de" of the current window leaves cur alone.
  EXPECT_EQ(run(Rec("de", 3)), 0);
  EXPECT_EQ(cur, 3);
  // "er" makes current, then erases.
  EXPECT_EQ(run(Rec("er", 0)), 0);
  EXPECT_EQ(cur, 0);
  // "dr" groups pass style, width, colour; the last group's state stays.
  EXPECT_EQ(run(dr({{4, 2, 1, {0.0f, 0.1f}, {0.0f, 0.1f}}, {7, 3, 2, {0.0f, 0.1f}, {0.1f, 0.0f}}})), 0);
  EXPECT_EQ(linecolor, 2);
  EXPECT_EQ(linewidth, 7);
  EXPECT_EQ(linestyle, 2);
  // "fi" sets only the colour index.
  EXPECT_EQ(run(fi({{1, 1, 5, {0.0f, 0.1f, 0.1f}, {0.0f, 0.0f, 0.1f}}})), 0);
  EXPECT_EQ(linecolor, 5);
  EXPECT_EQ(linewidth, 7);
  EXPECT_EQ(run(dr({})), 0);
  // "st" hands over the planar colour floats.
  EXPECT_EQ(run(st(2, 1, 0, {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f})), 0);
  ASSERT_EQ(ncolor, 2);
  EXPECT_FLOAT_EQ(tcolor[1].r, 0.2f);
  EXPECT_FLOAT_EQ(tcolor[1].g, 0.4f);
  EXPECT_FLOAT_EQ(tcolor[1].b, 0.6f);
  // "gd" and "gr" answer in the slots.
  EXPECT_EQ(run(Rec("gd"), 12, &out), 0);
  EXPECT_EQ(slot(out, 4), 1000.0f);
  EXPECT_EQ(slot(out, 8), 0.8f);
  EXPECT_EQ(run(Rec("gr", 0), 8, &out), 0);
  EXPECT_EQ(slot(out, 4), 1.0f);  // the start-up window is square
  // A failed "gr" leaves the record's wnum and npts in slot 1.
  EXPECT_EQ(run(Rec("gr", 7, 0x1234), 8, &out), -1);
  EXPECT_EQ(out[4], 7);
  EXPECT_EQ(out[6], 0x34);
}

// AppEventHandler around "ru": the post, the sums and the events it declines.
TEST_F(Dispatch, AccountingAroundEachCommand) {
  // A zigzag of 1000 points: a command that takes processor time.
  Group zig{3, 1, 0, {}, {}};
  for (int i = 0; i < 1000; i++) {
    zig.x.push_back((i % 50) / 50.0f);
    zig.y.push_back(i % 2 ? 0.2f : 0.0f);
  }
  const Rec busy = dr({zig});
  std::vector<uint32_t> words(busy.size() / 4 + 1);
  unsigned char *buf = reinterpret_cast<unsigned char *>(words.data());
  shmbuf = buf;
  shmsize = words.size() * 4;
  sem_t s;
  ASSERT_EQ(sem_init(&s, 0, 0), 0);
  sem = &s;
  const plat_event work{kPlatClassWork, PV5_MSG_WORK, nullptr, 0, 0, 0};

  auto command = [&](const Rec &r) {
    memcpy(buf, r.b.data(), r.size());
    EXPECT_EQ(AppEventHandler(&work, nullptr), kPlatHandled);
    EXPECT_EQ(sem_trywait(&s), 0) << "one post per command";
    EXPECT_NE(sem_trywait(&s), 0);
    int32_t reply;
    memcpy(&reply, buf, 4);
    EXPECT_EQ(reply, 0);
  };
  auto ru = [&](float *slots) {
    command(Rec("ru"));
    memcpy(slots, buf + 4, 12);
  };

  float a[3], b[3];
  ru(a);
  // The first command takes in all processor time since the process started.
  EXPECT_GT(a[2], 0.0f);
  // Draw until the command time moves (getrusage is not finely grained).
  for (int i = 0; i < 100000 && dt <= a[1]; i++) command(busy);
  ru(b);
  EXPECT_GT(b[1], a[1]);
  EXPECT_GE(b[2], a[2]);
  // Up to rounding, command time plus time between commands is all of it.
  EXPECT_NEAR(dt + dtsys, tout, 1e-3f * tout + 1e-4f);
  EXPECT_GE(b[0] + 1e-4f, b[1] + b[2]);

  // Other message ids and other signals are not ours; neither posts.
  plat_event other = work;
  other.kind = 31;
  EXPECT_EQ(AppEventHandler(&other, nullptr), kPlatNotHandled);
  other = {kPlatClassSignal, (uint32_t)SIGINT, nullptr, 0, 0, 0};
  EXPECT_EQ(AppEventHandler(&other, nullptr), kPlatNotHandled);
  EXPECT_NE(sem_trywait(&s), 0);
  // The termination signal ends the loop, without a post.
  other.kind = SIGTERM;
  EXPECT_EQ(AppEventHandler(&other, nullptr), kPlatHandled);
  EXPECT_TRUE(plat_quit_requested());
  EXPECT_NE(sem_trywait(&s), 0);

  sem = nullptr;
  sem_destroy(&s);
  shmbuf = nullptr;
  shmsize = 0;
}

}  // namespace
