// Headless plot windows: backing stores and their orientation, resizes that
// keep the top-left picture, the overlay, presenting, and the snapshots and
// events log written for outside observers.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/internal.h"
#include "platform/platform.h"

namespace {

uint32_t pixel(cairo_surface_t *s, int x, int y) {
  cairo_surface_flush(s);
  const unsigned char *d = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  return *reinterpret_cast<const uint32_t *>(d + y * stride + 4 * x) & 0xffffff;
}

const uint32_t kWhite = 0xffffff, kRed = 0xff0000, kBlack = 0, kBlue = 0x0000ff;

void fill(cairo_t *c, double r, double g, double b, double x, double y, double w, double h) {
  cairo_set_source_rgb(c, r, g, b);
  cairo_rectangle(c, x, y, w, h);
  cairo_fill(c);
}

std::string slurp(const std::string &path) {
  std::ifstream f(path);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/plat_snap_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void Open(bool snapshots) {
    plat_options o{};
    o.backend = PLAT_HEADLESS;
    o.display_w = 1000;
    o.display_h = 800;
    o.snapshot_dir = snapshots ? dir_.c_str() : nullptr;
    char err[256];
    ASSERT_EQ(plat_open(&o, err, sizeof err), 0) << err;
  }
  void TearDown() override {
    plat_close();
    std::string cmd = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    DIR *d = opendir(dir_.c_str());
    while (dirent *e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
    return names;
  }
  std::string dir_;
};

TEST_F(Windows, NewWindowIsWhiteAndContextsHaveTheirOriginAtLowerLeft) {
  Open(false);
  int w, h;
  plat_display_size(&w, &h);
  EXPECT_EQ(w, 1000);
  EXPECT_EQ(h, 800);
  plat_rect r = {100, 50, 180, 150};  // 100 wide, 80 high
  plat_window *win = plat_window_create(&r);
  ASSERT_NE(win, nullptr);
  EXPECT_EQ(pixel(win->store, 50, 40), kWhite);
  cairo_t *c = plat_context_create(win);
  fill(c, 1, 0, 0, 0, 0, 10, 10);  // lower-left corner
  cairo_destroy(c);
  EXPECT_EQ(pixel(win->store, 5, 75), kRed);
  EXPECT_EQ(pixel(win->store, 5, 5), kWhite);
  plat_rect b;
  plat_window_content_bounds(win, &b);
  EXPECT_EQ(b.top, 100);
  EXPECT_EQ(b.right, 150);
}

TEST_F(Windows, ResizeKeepsTheTopLeftPictureOnWhite) {
  Open(false);
  plat_rect r = {0, 0, 80, 100};
  plat_window *win = plat_window_create(&r);
  cairo_t *c = plat_context_create(win);
  fill(c, 1, 0, 0, 0, 70, 10, 10);   // top-left corner, in y-up units
  fill(c, 0, 0, 1, 90, 0, 10, 10);   // bottom-right corner
  cairo_destroy(c);

  struct Case {
    int w, h;
  } cases[] = {{50, 40}, {200, 100}};
  for (const Case &k : cases) {
    plat_rect nr = {0, 0, k.h, k.w};
    plat_window_set_content_bounds(win, &nr);
    SCOPED_TRACE(k.w);
    ASSERT_EQ(cairo_image_surface_get_width(win->store), k.w);
    ASSERT_EQ(cairo_image_surface_get_height(win->store), k.h);
    EXPECT_EQ(pixel(win->store, 5, 5), kRed);
    EXPECT_EQ(pixel(win->store, k.w - 1, k.h - 1), kWhite);
  }
  // The blue corner fell off at 50 x 40 and does not come back.
  EXPECT_EQ(pixel(win->store, 95, 75), kWhite);
  // A new context's origin is the new lower-left corner.
  c = plat_context_create(win);
  fill(c, 0, 0, 0, 0, 0, 1, 1);
  cairo_destroy(c);
  EXPECT_EQ(pixel(win->store, 0, 99), kBlack);
}

TEST_F(Windows, OverlayContextSurvivesResizesAndNeverTouchesThePlot) {
  Open(false);
  plat_rect r = {0, 0, 100, 100};
  plat_window *win = plat_window_create(&r);
  cairo_t *oc = plat_overlay_begin(win);
  ASSERT_NE(oc, nullptr);
  EXPECT_EQ(plat_overlay_begin(win), oc);  // one per window
  fill(oc, 0, 0, 1, 0, 0, 5, 5);
  EXPECT_EQ(pixel(win->store, 2, 97), kWhite);  // the plot is untouched

  plat_rect nr = {0, 0, 60, 300};  // wider than before, lower
  plat_window_set_content_bounds(win, &nr);
  plat_overlay_update_bounds(win);
  // Cleared, with its origin at the new lower-left corner.
  fill(oc, 0, 0, 1, 250, 0, 1, 1);
  cairo_surface_t *mix = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 300, 60);
  cairo_t *m = cairo_create(mix);
  plat_window_composite(win, m);
  cairo_destroy(m);
  EXPECT_EQ(pixel(mix, 250, 59), kBlue);
  EXPECT_EQ(pixel(mix, 2, 57), kWhite);  // the old mark was cleared
  cairo_surface_destroy(mix);
  plat_overlay_end(win);
  EXPECT_EQ(win->ov, nullptr);
}

TEST_F(Windows, SynchronizePresentsWhenIdleAndFlushAtOnce) {
  Open(false);
  plat_rect r = {0, 0, 10, 10};
  plat_window *win = plat_window_create(&r);
  int before = plat_headless_record()->presents;
  plat_window_synchronize(win);
  EXPECT_EQ(plat_headless_record()->presents, before);
  plat_event ev;
  EXPECT_EQ(plat_receive_next_event(&ev, 0), 1);
  EXPECT_EQ(plat_headless_record()->presents, before + 1);
  EXPECT_EQ(plat_receive_next_event(&ev, 0), 1);  // once
  EXPECT_EQ(plat_headless_record()->presents, before + 1);
  plat_window_flush(win);
  EXPECT_EQ(plat_headless_record()->presents, before + 2);
  plat_beep();
  EXPECT_EQ(plat_headless_record()->beeps, 1);
}

TEST_F(Windows, FlushWritesSnapshotWithOverlayAndReplacesItAtomically) {
  Open(true);
  plat_rect r = {20, 10, 60, 70};  // 60 x 40
  plat_window *win = plat_window_create(&r);
  plat_window *untagged = plat_window_create(&r);
  plat_window_set_title(win, "TQV 4 - active");
  plat_window_set_tag(win, 3);
  cairo_t *c = plat_context_create(win);
  fill(c, 1, 0, 0, 0, 0, 60, 40);
  cairo_destroy(c);
  plat_window_flush(win);
  plat_window_flush(untagged);
  std::string png = dir_ + "/window3.png";

  // Hold the first picture open: replacing it by rename leaves what a
  // reader already opened intact, writing in place would not.
  int held = open(png.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  struct stat st1;
  ASSERT_EQ(fstat(held, &st1), 0);

  cairo_t *oc = plat_overlay_begin(win);
  fill(oc, 0, 0, 1, 0, 0, 3, 3);  // lower-left corner of the overlay
  plat_overlay_flush(win);

  cairo_surface_t *img = cairo_image_surface_create_from_png(png.c_str());
  ASSERT_EQ(cairo_surface_status(img), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(img), 60);
  EXPECT_EQ(cairo_image_surface_get_height(img), 40);
  EXPECT_EQ(pixel(img, 1, 38), kBlue);
  EXPECT_EQ(pixel(img, 30, 20), kRed);
  cairo_surface_destroy(img);
  EXPECT_EQ(pixel(win->store, 1, 38), kRed);  // the overlay stays off the plot

  struct stat st2, st1now;
  ASSERT_EQ(stat(png.c_str(), &st2), 0);
  ASSERT_EQ(fstat(held, &st1now), 0);
  EXPECT_NE(st1.st_ino, st2.st_ino);
  EXPECT_EQ(st1now.st_size, st1.st_size);
  close(held);

  // Ending the overlay takes the cross hair off the picture as well.
  plat_overlay_end(win);
  img = cairo_image_surface_create_from_png(png.c_str());
  EXPECT_EQ(pixel(img, 1, 38), kRed);
  cairo_surface_destroy(img);

  std::vector<std::string> files = Files();
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"events.log", "window3.png"}));  // no temporaries

  plat_beep();
  plat_window_dispose(win);
  EXPECT_EQ(slurp(dir_ + "/events.log"),
            "bounds 3 20 10 60 70\n"
            "title 3 TQV 4 - active\n"
            "flush 3\n"
            "flush 3\n"
            "flush 3\n"
            "beep\n"
            "dispose 3\n");
}

TEST_F(Windows, OpenFailsWithAReasonForAMissingSnapshotDirectory) {
  plat_options o{};
  o.backend = PLAT_HEADLESS;
  std::string missing = dir_ + "/nope";
  o.snapshot_dir = missing.c_str();
  char err[256] = "";
  EXPECT_EQ(plat_open(&o, err, sizeof err), -1);
  EXPECT_NE(std::string(err).find("nope"), std::string::npos) << err;
  // Nothing was left half open: a second open works.
  o.snapshot_dir = nullptr;
  EXPECT_EQ(plat_open(&o, err, sizeof err), 0) << err;
}

}  // namespace
