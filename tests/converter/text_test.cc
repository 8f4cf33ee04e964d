// Trimmed lengths, text to number and byte order, as tables of cases.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>

#include "textnum.h"

namespace {

TEST(Index, ScansAndTrimmedLength) {
  const char blanks[] = "     ";
  EXPECT_EQ(indexa(blanks, 5, ' ', 0, 0), 0);
  EXPECT_EQ(indexa("abcab", 5, 'b', 0, 1), 5);
  EXPECT_EQ(indexa("abcab", 5, 'b', 1, 1), 2);
  EXPECT_EQ(indexa("aab", 3, 'a', 1, 0), 3);
  EXPECT_EQ(indexa("abc", 0, 'a', 1, 1), 0);
  EXPECT_EQ(indexb("ab        ", 10), 2);
  const char nul[12] = {'a', 'b', '\0', 'c', 'd', 'e', 'f', 'g', 'h', 'i', ' ', ' '};
  EXPECT_EQ(indexb(nul, 12), 2);
  const char nulfirst[4] = {'\0', 'x', ' ', ' '};
  EXPECT_EQ(indexb(nulfirst, 4), 0);
  EXPECT_EQ(indexb("    ", 4), 0);
}

TEST(Cnvati, Table) {
  struct {
    const char *text;
    int err;
    int32_t value;  // expected on success
  } cases[] = {
      {"123", 0, 123},
      {"-45", 0, -45},
      {"+7", 0, 7},
      {"12 34", 0, 12},
      {" 99", 0, 0},  // leading blank: the number ends at once
      {"", 0, 0},
      {"3000000000", 0, -1294967296},
      {"0000000000000007", 0, 7},  // 16 characters
      {"1-2", 1, 0},
      {"12a", 1, 0},
      {"1.5", 1, 0},
      {"12345678901234567", 2, 0},
  };
  for (auto &c : cases) {
    std::string field = std::string(c.text) + std::string(32 - strlen(c.text), ' ');
    int32_t value = 4242;
    int err = -1;
    cnvati(field.data(), 32, value, err);
    EXPECT_EQ(err, c.err) << c.text;
    EXPECT_EQ(value, c.err ? 4242 : c.value) << c.text;  // untouched on error
  }
  // Position 1 is looked at even when the trimmed length is 0.
  const char nul[3] = {'\0', ' ', ' '};
  int32_t v = 5;
  int err;
  cnvati(nul, 3, v, err);
  EXPECT_EQ(err, 1);
}

TEST(Cnvatf, Table) {
  struct {
    const char *text;
    int err;
    float value;
  } cases[] = {
      {"1.5", 0, 1.5f},
      {"-2.25e2", 0, -225.0f},
      {".5", 0, 0.5f},
      {"5.", 0, 5.0f},
      {"1e3", 0, 1000.0f},
      {"1.5e-3", 0, 1.5f * powf(10.0f, -3.0f)},
      {"12 34", 0, 12.0f},
      {"  0.5", 0, 0.5f},
      {"+e3", 0, 0.0f},
      {"0.1", 0, 1.0f / 10.0f},
      {"e3", 1, 0},
      {"1.2.3", 1, 0},
      {"1e2e3", 1, 0},
      {"1e2.5", 1, 0},
      {"1,5", 1, 0},
      {"", 1, 0},
      {"1-2", 4, 0},
      {"1.2-3", 5, 0},
      {"1-.5", 2, 0},
      {"1.2-3e4", 3, 0},
      {"1e2-3", 6, 0},
      {"1-2e4", 7, 0},
  };
  for (auto &c : cases) {
    std::string field = std::string(c.text) + std::string(32 - strlen(c.text), ' ');
    float value = 42.0f;
    int err = -1;
    cnvatf(field.data(), 32, value, err);
    EXPECT_EQ(err, c.err) << c.text;
    if (c.err == 0)
      EXPECT_EQ(value, c.value) << c.text;
    else
      EXPECT_EQ(value, 42.0f) << c.text;
  }
  for (const char *minus : {"-", "- 5"}) {
    float value = 1.0f;
    int err = -1;
    cnvatf(minus, int(strlen(minus)), value, err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(value, 0.0f);
    EXPECT_TRUE(signbit(value)) << minus;
  }
  // The divisor counts every fraction digit, also past the 12 kept.
  float value;
  int err;
  cnvatf("0.12345678901234", 16, value, err);
  EXPECT_EQ(err, 0);
  int32_t kept = int32_t(uint32_t(123456789012ULL));  // 12 digits, wrapped
  EXPECT_EQ(value, float(kept) / powf(10.0f, 14.0f));
}

TEST(ByteOrder, SwapsOnThisHost) {
  ASSERT_EQ(endian_type(), 1) << "these cases are written for a little-endian host";
  unsigned char w[4] = {0, 0, 0, 2};
  swap_bytes32(w, 1);
  EXPECT_EQ(memcmp(w, "\x02\0\0\0", 4), 0);
  swap_bytes32(w, 1);
  EXPECT_EQ(memcmp(w, "\0\0\0\x02", 4), 0);

  unsigned char one[4] = {0x3f, 0x80, 0, 0};
  swap_bytes32(one, 1);
  float f;
  memcpy(&f, one, 4);
  EXPECT_EQ(f, 1.0f);

  unsigned char two[16];
  for (int i = 0; i < 16; i++) two[i] = (unsigned char)i;
  swap_bytes64(two, 2);
  const unsigned char want64[16] = {7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8};
  EXPECT_EQ(memcmp(two, want64, 16), 0);

  unsigned char h[4] = {1, 2, 3, 4};
  swap_bytes16(h, 2);
  const unsigned char want16[4] = {2, 1, 4, 3};
  EXPECT_EQ(memcmp(h, want16, 4), 0);
  for (int bad : {0, -3}) {
    swap_bytes16(h, bad);
    swap_bytes32(h, bad);
    swap_bytes64(two, bad);
    EXPECT_EQ(memcmp(h, want16, 4), 0);
  }
}

}  // namespace
