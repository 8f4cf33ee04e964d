// Raster images end to end: a headless pv5 sent grids through the client
// library (header, then data records cut to the buffer), its window
// snapshots read back pixel by pixel.
//
// The display is 256 pixels wide, so one plot unit is 256 user units.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "support/pv5test.h"

namespace {

const float kBlackWhite30[] = {0, 0, 0, 0, 30, 1, 1, 1};

uint32_t grey(int v) { return uint32_t(v << 16 | v << 8 | v); }

// Starts pv5 headless on a 256 x 256 display with an S-byte buffer.
void start(Server &s, long size) {
  pv5c_options o = headless_options();
  o.display_w = o.display_h = 256;
  o.snapshot_dir = s.dir.path.c_str();
  o.size = size;
  ASSERT_EQ(s.start(o), PV5C_OK) << pv5c_error(s.h) << s.stderr_text();
}

TEST(RasterEndToEnd, TwoByTwoGridInTheSnapshot) {
  Server s;
  ASSERT_NO_FATAL_FAILURE(start(s, 0));
  int32_t reply = 99;
  // Window 1, 384 pixels wide: a 2 x 2 user-unit image is 3 x 3 pixels.
  ASSERT_EQ(pv5c_cr(s.h, 1, 0, 0, 1.5f, 1.5f, &reply), PV5C_OK);
  ASSERT_EQ(reply, 0);
  ASSERT_EQ(pv5c_er(s.h, 1, &reply), PV5C_OK);
  const float rect[4] = {0, 0, 2 / 256.0f, 2 / 256.0f};
  const float z[4] = {0, 10, 20, 30};  // bottom row, then top row
  ASSERT_EQ(pv5c_grid(s.h, 1, 0, 2, 2, rect, rect, 2, kBlackWhite30, z, &reply), PV5C_OK)
      << pv5c_error(s.h);
  EXPECT_EQ(reply, 0);
  ASSERT_EQ(pv5c_fl(s.h, &reply), PV5C_OK);

  Image img;
  ASSERT_TRUE(load_png(s.snapshot(1), &img));
  ASSERT_EQ(img.w, 384);
  ASSERT_EQ(img.h, 384);
  // Bottom up: 0 5 10 / 10 15 20 / 20 25 30, in the content's bottom-left
  // corner; the snapshot counts rows down from the top.
  const int want[3][3] = {{0, 42, 85}, {85, 128, 170}, {170, 212, 255}};
  for (int y = 0; y < 3; y++)
    for (int x = 0; x < 3; x++) EXPECT_EQ(img.at(x, 383 - y), grey(want[y][x])) << x << "," << y;
  EXPECT_EQ(img.at(3, 383), 0xffffffu);
  EXPECT_EQ(img.at(0, 380), 0xffffffu);
}

// A grid larger than one record: 257 x 9 samples through a buffer of 4160
// bytes (1038 samples a record, so three data records).  Window 2 is 257
// pixels wide, so the 257-pixel bitmap covers it one pixel per pixel.  The
// lower grid rows rise left to right, the upper ones fall; the red channel
// reads the value back (levels 0 and 256, red 0 and 256/255).
TEST(RasterEndToEnd, GridInSeveralRecordsDrawsTheWholeImage) {
  Server s;
  ASSERT_NO_FATAL_FAILURE(start(s, 4160));
  int32_t reply = 99;
  ASSERT_EQ(pv5c_cr(s.h, 2, 0, 0, 257 / 256.0f, 257 / 256.0f, &reply), PV5C_OK);
  ASSERT_EQ(reply, 0);
  ASSERT_EQ(pv5c_er(s.h, 2, &reply), PV5C_OK);
  const int iw = 257, ih = 9;
  std::vector<float> z(size_t(iw) * ih);
  for (int r = 0; r < ih; r++)
    for (int c = 0; c < iw; c++) z[size_t(r) * iw + c] = float(r <= 4 ? c : 256 - c);
  const float rect[4] = {0, 0, 1, 1};
  const float ctab[8] = {0, 0, 0, 0, 256, 256 / 255.0f, 0, 0};
  ASSERT_EQ(pv5c_grid(s.h, 2, 0, iw, ih, rect, rect, 2, ctab, z.data(), &reply), PV5C_OK)
      << pv5c_error(s.h);
  EXPECT_EQ(reply, 0);
  ASSERT_EQ(pv5c_fl(s.h, &reply), PV5C_OK);

  Image img;
  ASSERT_TRUE(load_png(s.snapshot(2), &img));
  ASSERT_EQ(img.w, 257);
  // Grid rows are 32 pixels apart; rows 4 and 5 blend between 128 and 160.
  int bad = 0;
  for (int y = 0; y < 257 && bad < 5; y++) {
    if (y > 128 && y < 160) continue;
    for (int x = 0; x < 257 && bad < 5; x++) {
      uint32_t want = uint32_t((y <= 128 ? x : 256 - x) & 255) << 16;
      uint32_t got = img.at(x, 256 - y);
      if (got != want) {
        bad++;
        ADD_FAILURE() << "pixel " << x << "," << y << std::hex << ": got " << got << " want " << want;
      }
    }
  }
}

TEST(RasterEndToEnd, RefusedRecordsAnswerOne) {
  Server s;
  ASSERT_NO_FATAL_FAILURE(start(s, 0));
  int32_t reply = 99;
  const float z[4] = {0, 10, 20, 30};
  ASSERT_EQ(pv5c_rd(s.h, 0, 4, z, &reply), PV5C_OK);
  EXPECT_EQ(reply, 1);  // no header yet
  const float rect[4] = {0, 0, 2 / 256.0f, 2 / 256.0f};
  ASSERT_EQ(pv5c_rh(s.h, 0, 0, 2, 2, rect, rect, 2, kBlackWhite30, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);
  pv5hdr neg = {{'r', 'd', 0, 0}, 0, -3};
  ASSERT_EQ(pv5c_raw(s.h, &neg, sizeof neg, &reply), PV5C_OK);
  EXPECT_EQ(reply, 1);  // a negative count changes nothing...
  ASSERT_EQ(pv5c_rd(s.h, 0, 4, z, &reply), PV5C_OK);
  EXPECT_EQ(reply, 0);  // ...so these four samples complete the grid
  ASSERT_EQ(pv5c_rd(s.h, 0, 4, z, &reply), PV5C_OK);
  EXPECT_EQ(reply, 1);
  const float huge[4] = {0, 0, 100, 100};  // 25601 pixels a side
  ASSERT_EQ(pv5c_rh(s.h, 0, 0, 2, 2, huge, rect, 2, kBlackWhite30, &reply), PV5C_OK);
  EXPECT_EQ(reply, 1);
  ASSERT_EQ(pv5c_rd(s.h, 0, 4, z, &reply), PV5C_OK);
  EXPECT_EQ(reply, 1);
  EXPECT_EQ(s.stderr_text(), "");
}

}  // namespace
