// The line state and the line colour table that style() keeps.
#include "logic_fixture.h"

using namespace pv5test;

namespace {

using Style = Logic;

TEST_F(Style, StyleNumbersWidthsAndColourIndexes) {
  const struct {
    int32_t lstyle, lwidth, lfcolor;
    int32_t want_style, want_width;
  } cases[] = {
      {0, 1, 0, 0, 1},   {-3, 0, 7, 0, 0}, {1, 5, -2, 0, 5}, {2, -2, 3, 1, 0},
      {6, 9, 300, 5, 9}, {7, 1, 1, 5, 1},  {40, 2, 0, 5, 2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.lstyle);
    EXPECT_EQ(style(c.lstyle, c.lwidth, c.lfcolor, 0, nullptr), 0);
    EXPECT_EQ(linestyle, c.want_style);
    EXPECT_EQ(linewidth, c.want_width);
    EXPECT_EQ(linecolor, c.lfcolor);  // stored unchecked
    EXPECT_EQ(ncolor, 0);             // no colours: the table is left alone
    EXPECT_EQ(tcolor, nullptr);
  }
}

// Planar floats: nc reds, nc greens, nc blues.
std::vector<float> planar(const std::vector<cent> &cs) {
  std::vector<float> f;
  for (const cent &c : cs) f.push_back(c.r);
  for (const cent &c : cs) f.push_back(c.g);
  for (const cent &c : cs) f.push_back(c.b);
  return f;
}

void expect_entry(int i, cent want) {
  SCOPED_TRACE(i);
  EXPECT_FLOAT_EQ(tcolor[i].r, want.r);
  EXPECT_FLOAT_EQ(tcolor[i].g, want.g);
  EXPECT_FLOAT_EQ(tcolor[i].b, want.b);
}

TEST_F(Style, ColourTableGrowsButNeverShrinks) {
  const std::vector<cent> four = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.25f, 0.5f, 0.75f}};
  std::vector<float> f = planar(four);
  style(1, 1, 0, 4, f.data());
  ASSERT_EQ(ncolor, 4);
  for (int i = 0; i < 4; i++) expect_entry(i, four[i]);

  // Two colours overwrite the first two entries and keep the rest.
  const std::vector<cent> two = {{0.1f, 0.2f, 0.3f}, {0.4f, 0.5f, 0.6f}};
  f = planar(two);
  style(1, 1, 0, 2, f.data());
  EXPECT_EQ(ncolor, 4);
  expect_entry(0, two[0]);
  expect_entry(1, two[1]);
  expect_entry(2, four[2]);
  expect_entry(3, four[3]);

  // A "dr" group (no colours) leaves it alone.
  style(3, 2, 1, 0, nullptr);
  EXPECT_EQ(ncolor, 4);
  expect_entry(3, four[3]);

  // Five replace the storage.
  std::vector<cent> five;
  for (int i = 0; i < 5; i++) five.push_back({i / 10.0f, i / 20.0f, i / 40.0f});
  f = planar(five);
  style(1, 1, 0, 5, f.data());
  ASSERT_EQ(ncolor, 5);
  for (int i = 0; i < 5; i++) expect_entry(i, five[i]);
}

}  // namespace
