// The raster colour lookup: values at, between, above and below the levels,
// the rounding and low-eight-bits wrap, and the fast row path (binary search
// with a guess) giving exactly the bytes of the per-pixel walk.
#include <gtest/gtest.h>
#include <math.h>

#include <algorithm>
#include <random>
#include <vector>

#include "lookup.h"
#include "pv5.h"

namespace {

void load(const std::vector<tab> &t) {
  ntab = (int32_t)t.size();
  for (size_t i = 0; i < t.size(); i++) ct[i] = t[i];
}

struct Rgb {
  int r, g, b;
};

Rgb look(float z) {
  unsigned char l[4] = {9, 9, 9, 9};
  lookup(z, l);
  EXPECT_EQ(l[0], 0);
  return {l[1], l[2], l[3]};
}

struct Case {
  float z;
  Rgb want;
};

void check(const std::vector<tab> &t, const std::vector<Case> &cases) {
  load(t);
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "z = " << c.z);
    Rgb got = look(c.z);
    EXPECT_EQ(got.r, c.want.r);
    EXPECT_EQ(got.g, c.want.g);
    EXPECT_EQ(got.b, c.want.b);
  }
}

TEST(Lookup, BlackToWhite) {
  check({{0, 0, 0, 0}, {10, 1, 1, 1}},
        {
            {5, {128, 128, 128}},    // 127.5: halves go to even
            {10, {255, 255, 255}},   // at the top level
            {20, {255, 255, 255}},   // above the top: the last colour
            {0, {0, 0, 0}},          // at the bottom level
            {-10, {1, 1, 1}},        // -255 keeps its low eight bits
            {2.5f, {64, 64, 64}},    // 63.75
            {-0.0f, {0, 0, 0}},
        });
}

TEST(Lookup, BracketsBetweenNeighbouringLevels) {
  // Three levels, each channel its own ramp.
  check({{0, 1, 0, 0}, {10, 0, 1, 0}, {30, 0, 0, 1}},
        {
            {0, {255, 0, 0}},
            {4, {153, 102, 0}},   // 0.4 of the way: 153, 102
            {10, {0, 255, 0}},    // exactly a level: that entry
            {15, {0, 191, 64}},   // 191.25, 63.75
            {30, {0, 0, 255}},
            {31, {0, 0, 255}},
            {-5, {126, 128, 0}},  // extrapolated: 382.5 -> 382 (low bits 126), -127.5 -> -128 (128)
        });
}

TEST(Lookup, EntryZeroIsNeverCompared) {
  // Entry 0's level lies above entry 1's: the walk still starts at 1.
  check({{50, 1, 1, 1}, {10, 0, 0, 0}, {20, 1, 0, 0}},
        {
            {5, {210, 210, 210}},   // stops at 1; diff -40 is not > 0, so f stays -45: 46 * 255 wraps to 210
            {15, {128, 0, 0}},      // between 1 and 2
            {25, {255, 0, 0}},      // past the end: the last entry
        });
}

TEST(Lookup, SingleEntryAndLargeColours) {
  check({{3, 0.2f, 0.6f, 1}}, {{-100, {51, 153, 255}}, {3, {51, 153, 255}}, {1e30f, {51, 153, 255}}});
  // No clamp: big products keep their low eight bits, through both rounding
  // ranges (below and above 2^22).
  check({{0, 0, 0, 0}, {1, 100, 20000, 1e6f}}, {{1, {25500 & 255, 5100000 & 255, 255000000 & 255}}});
}

// A table of n levels: ascending with repeats, shuffled, or evenly spaced
// (the row path's guess then hits; float steps make the levels not quite
// even).
enum Kind { kShuffled, kAscending, kEven };
std::vector<tab> random_table(std::mt19937 &rng, int n, Kind kind) {
  std::uniform_int_distribution<int> lev(-20, 20);
  std::uniform_real_distribution<float> col(-0.2f, 1.2f);
  std::vector<float> v(n);
  for (float &x : v) x = lev(rng) * 0.5f;
  if (kind == kAscending) std::sort(v.begin() + 1, v.end());
  float step = 24.0f / (float)n;
  if (kind == kEven)
    for (int i = 0; i < n; i++) v[i] = -12.0f + (float)i * step;
  std::vector<tab> t(n);
  for (int i = 0; i < n; i++) t[i] = {v[i], col(rng), col(rng), col(rng)};
  return t;
}

// Values that hit levels exactly, fall between them, lie far outside, and
// the ones that make comparisons false.
std::vector<float> probe_values(std::mt19937 &rng) {
  std::vector<float> z = {NAN, INFINITY, -INFINITY, -0.0f, 1e30f, -1e30f};
  std::uniform_int_distribution<int> q(-48, 48);
  for (int i = 0; i < 400; i++) z.push_back(q(rng) * 0.25f);
  return z;
}

TEST(Lookup, BinarySearchStopsWhereTheWalkStops) {
  std::mt19937 rng(7);
  for (int trial = 0; trial < 300; trial++) {
    int n = 1 + trial % 256;
    load(random_table(rng, n, trial % 2 ? kAscending : kEven));
    ASSERT_TRUE(lookup_ascending());
    for (float z : probe_values(rng)) {
      ASSERT_EQ(lookup_bracket_binary(z), lookup_bracket_linear(z)) << "ntab " << n << " z " << z;
    }
  }
}

TEST(Lookup, RowPathGivesTheBytesOfLookup) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; trial++) {
    int n = 1 + (trial * 37) % 256;
    Kind kind = Kind(trial % 3);
    bool ascending = kind != kShuffled;
    load(random_table(rng, n, kind));
    std::vector<float> z = probe_values(rng);
    for (int i = 0; i < n; i++) z.push_back(ct[i].v);  // every level exactly
    // A smooth stretch too, where the previous pixel's bracket is the guess.
    for (int i = 0; i < 200; i++) z.push_back(-11 + i * 0.11f);
    std::vector<uint32_t> w(z.size());
    lookup_row(z.data(), (int32_t)z.size(), w.data());
    for (size_t i = 0; i < z.size(); i++) {
      unsigned char l[4];
      lookup(z[i], l);
      uint32_t want = 0xff000000u | uint32_t(l[1]) << 16 | uint32_t(l[2]) << 8 | l[3];
      ASSERT_EQ(w[i], want) << "ntab " << n << " ascending " << ascending << " z " << z[i];
    }
  }
}

TEST(Lookup, DescendingOrNaNLevelsAreNotTakenAsAscending) {
  load({{0, 0, 0, 0}, {1, 0, 0, 0}, {3, 0, 0, 0}, {2, 0, 0, 0}});
  EXPECT_FALSE(lookup_ascending());
  load({{0, 0, 0, 0}, {1, 0, 0, 0}, {NAN, 0, 0, 0}, {2, 0, 0, 0}});
  EXPECT_FALSE(lookup_ascending());
  load({{9, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}});  // entry 0 does not count; repeats do not break it
  EXPECT_TRUE(lookup_ascending());
}

}  // namespace
