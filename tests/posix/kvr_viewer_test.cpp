// kvr-viewer on a virtual screen (Xvfb with Mesa): the arena, the routes the mod's arc builder
// planned on it and the mod's menu, read back from the window's own pixels.
#include <gtest/gtest.h>

#include <cstdlib>

#include "aps/aps.h"
#include "sim/png_file.h"
#include "test_support.h"

namespace kvr::test {
namespace {

int Near(const uint8_t* p, int r, int g, int b) {
  return std::abs(p[0] - r) + std::abs(p[1] - g) + std::abs(p[2] - b);
}

// Pixels within a small distance of the colour, inside the rectangle.
int Count(const sim::Image& image, int r, int g, int b, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < std::min(y1, image.height); ++y)
    for (int x = x0; x < std::min(x1, image.width); ++x) n += Near(image.At(x, y), r, g, b) < 40;
  return n;
}

class ViewerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!std::getenv("DISPLAY") && std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "no display and no xvfb-run";
  }
  sim::Image Shot(const std::string& args) {
    const std::string screen =
        std::getenv("DISPLAY") ? "" : "xvfb-run -a -s '-screen 0 1600x1000x24' ";
    // RunTool prefixes the build folder; xvfb-run goes in front through the shell.
    const std::string path = dir_.File("shot.png");
    const std::string command =
        "ASAN_OPTIONS=detect_leaks=0 " + screen + std::string(KVR_BINARY_DIR) +
        "/kvr-viewer --frames 6 --screenshot " + path + " " + args + " 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
      char buffer[4096];
      size_t n;
      while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
      EXPECT_EQ(pclose(pipe), 0) << out;
    }
    sim::Image image;
    std::string error;
    EXPECT_TRUE(sim::ReadPng(path, image, error)) << error << "\n" << out;
    return image;
  }
  TempDir dir_;
};

TEST_F(ViewerTest, ArenaRoutesAndMenu) {
  const sim::Image plain = Shot("");
  ASSERT_EQ(plain.width, 1280);
  ASSERT_EQ(plain.height, 720);
  // Every approach style planned on the arena shows in its colour (blended at alpha 230).
  for (int style = 1; style < aps::kStyleCount; ++style) {
    const uint32_t c = aps::Style(style).colour;
    EXPECT_GE(Count(plain, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 0, 0, 1280, 720), 40)
        << aps::Style(style).name;
  }
  // The floor's checker and the sky above the arena.
  EXPECT_GT(Count(plain, 72, 96, 74, 0, 360, 1280, 720), 10000);
  EXPECT_GT(Count(plain, 89, 122, 158, 0, 0, 1280, 40), 10000);
  EXPECT_EQ(Count(plain, 77, 51, 13, 60, 60, 820, 80), 0);  // no menu

  const sim::Image menu = Shot("--menu");
  EXPECT_GT(Count(menu, 77, 51, 13, 60, 60, 820, 80), 5000);   // the menu's title bar
  EXPECT_GT(Count(menu, 140, 97, 26, 60, 85, 820, 110), 100);  // its active tab
}

}  // namespace
}  // namespace kvr::test
