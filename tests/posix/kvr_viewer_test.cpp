// kvr-viewer on a virtual screen (Xvfb with Mesa): the living arena with the mod linked in, seen
// from the player's camera. The picture is read back from the window's own pixels and checked
// against where the viewer says the frame put things (PATH.txt): thug bodies at their projected
// centres, the mod's route lines along the projected points of the very snapshot the overlay
// drew; and the mod's menu over it all.
#include <gtest/gtest.h>

#include <cstdlib>

#include "screen_places.h"

namespace kvr::test {
namespace {

// Pixels within a small distance of the colour, inside the rectangle.
int Count(const sim::Image& image, int r, int g, int b, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < std::min(y1, image.height); ++y) {
    for (int x = x0; x < std::min(x1, image.width); ++x) {
      const uint8_t* p = image.At(x, y);
      n += std::abs(p[0] - r) + std::abs(p[1] - g) + std::abs(p[2] - b) < 40;
    }
  }
  return n;
}

bool Overlap(const Body& a, const Body& b) {
  return std::hypot(a.centre.x - b.centre.x, a.centre.y - b.centre.y) < a.radius + b.radius;
}

class ViewerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!std::getenv("DISPLAY") && std::system("command -v xvfb-run >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "no display and no xvfb-run";
  }
  sim::Image Shot(const std::string& name, const std::string& args) {
    const std::string screen =
        std::getenv("DISPLAY") ? "" : "xvfb-run -a -s '-screen 0 1600x1000x24' ";
    const std::string path = dir_.File(name);
    const std::string command = "ASAN_OPTIONS=detect_leaks=0 " + screen +
                                std::string(KVR_BINARY_DIR) + "/kvr-viewer --frames 6 --mod-dir " +
                                dir_.File("mod") + " --screenshot " + path + " " + args + " 2>&1";
    std::string& out = out_;
    out.clear();
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
  std::string out_;  // what the last run printed
};

TEST_F(ViewerTest, LivingArenaWithTheModsRoutesAndMenu) {
  const sim::Image plain = Shot("plain.png", "--thugs 12 --seed 2 --log");
  ASSERT_EQ(plain.width, 1280);
  ASSERT_EQ(plain.height, 720);
  const ScreenPlaces places = ReadPlaces(dir_.File("plain.png.txt"));
  // The mod published routes with a camera, and the overlay drew them where they project.
  const RouteCheck routes = CheckRoutes(plain, places);
  EXPECT_GE(routes.samples, 4);
  EXPECT_GE(routes.coloured * 10, routes.samples * 8)
      << routes.coloured << " of " << routes.samples;
  // Every thug in view that the player's body does not cover is where the projection puts it.
  ASSERT_EQ(places.players.size(), 1u);
  int thugs = 0;
  for (const Body& thug : places.thugs) {
    if (thug.radius < 4 || thug.centre.x < 0 || thug.centre.y < 0 || thug.centre.x >= 1280 ||
        thug.centre.y >= 720 || Overlap(thug, places.players[0]))
      continue;
    ++thugs;
    EXPECT_GT(BodyShare(plain, thug, 200, 60, 50), 0.4f) << thug.centre.x << "," << thug.centre.y;
  }
  EXPECT_GE(thugs, 1);
  EXPECT_GT(BodyShare(plain, places.players[0], 60, 120, 230), 0.4f);
  // The floor's checker and the sky above the arena; no menu.
  EXPECT_GT(Count(plain, 72, 96, 74, 0, 360, 1280, 720), 10000);
  EXPECT_GT(Count(plain, 89, 122, 158, 0, 0, 1280, 40), 10000);
  EXPECT_EQ(Count(plain, 77, 51, 13, 60, 60, 820, 80), 0);
  // The mod played in the viewer: it hooked the arena's navmesh and reshaped thug routes.
  EXPECT_NE(out_.find("[KorvathNeuralNav] reshaped BP_"), std::string::npos) << out_;
  EXPECT_NE(ReadFile(dir_.File("mod/config.ini")).find("\nShowPathOverlay = 1"), std::string::npos);

  const sim::Image menu = Shot("menu.png", "--thugs 12 --seed 2 --menu");
  EXPECT_GT(Count(menu, 77, 51, 13, 60, 60, 820, 80), 5000);   // the menu's title bar
  EXPECT_GT(Count(menu, 140, 97, 26, 60, 85, 820, 110), 100);  // its active tab
}

}  // namespace
}  // namespace kvr::test
