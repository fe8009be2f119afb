// kvr-viewer on a virtual screen (Xvfb with Mesa): the living arena with the mod linked in, seen
// from the player's camera or from above. The picture is read back from the window's own pixels
// and checked against where the viewer says the frame put things (PATH.txt): thug bodies at
// their projected centres unless a wall stands in front of them, the mod's route lines along the
// projected points of the very snapshot the overlay drew; and the mod's menu over it all.
#include <gtest/gtest.h>

#include <cstdlib>

#include "run_tool.h"
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

bool OnPicture(const Body& b, const sim::Image& image) {
  return b.radius >= 4 && b.centre.x >= 0 && b.centre.y >= 0 && b.centre.x < image.width &&
         b.centre.y < image.height;
}

// Checks that every thug in plain sight on the picture, not covered by the player's body, shows
// in the thugs' colour where the projection puts it; answers how many were checked.
int ShownThugs(const sim::Image& image, const ScreenPlaces& places) {
  int shown = 0;
  for (const Body& thug : places.thugs) {
    if (!thug.sight.empty() || !OnPicture(thug, image) ||
        (!places.players.empty() && Overlap(thug, places.players[0])))
      continue;
    ++shown;
    EXPECT_GT(BodyShare(image, thug, 200, 60, 50), 0.4f) << thug.centre.x << "," << thug.centre.y;
  }
  return shown;
}

// From above a body is a few pixels across and the routes are drawn over it (the overlay draws
// over everything), so some of its colour within its outline is all that is asked.
bool SeenFromAbove(const sim::Image& image, const Body& b) {
  const int r = static_cast<int>(b.radius) + 1;
  const int x = static_cast<int>(b.centre.x), y = static_cast<int>(b.centre.y);
  return Count(image, 200, 60, 50, std::max(0, x - r), std::max(0, y - r), x + r + 1, y + r + 1) >=
         3;
}

// A level made for the depth test: the player starts facing +x (its yaw starts at 0), and every
// thug spawns behind a long, high wall across its view, close enough to be on the picture.
constexpr const char* kWallLevel = R"({
 "name": "wall",
 "floor": {"min": [-2500, -2500], "max": [2500, 2500], "z": 0},
 "walls": [{"from": [600, -1600], "to": [600, 1600], "thickness": 40, "height": 300}],
 "player": {"start": [0, 0]},
 "spawns": [[1300, -250], [1300, 0], [1300, 250]]
})";

// The player starts with its back to a long, high wall, nearer to it than the camera's distance
// behind the player: a camera left at its distance would look at the wall's back.
constexpr const char* kBackToTheWallLevel = R"({
 "name": "back to the wall",
 "floor": {"min": [-2500, -2500], "max": [2500, 2500], "z": 0},
 "walls": [{"from": [-300, -1600], "to": [-300, 1600], "thickness": 40, "height": 300}],
 "player": {"start": [0, 0]},
 "spawns": [[1500, -300], [1500, 300]]
})";

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
  // Every thug in plain view that the player's body does not cover is where the projection
  // puts it.
  ASSERT_EQ(places.players.size(), 1u);
  EXPECT_GE(ShownThugs(plain, places), 1);
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

TEST_F(ViewerTest, BodiesAreSolidAndAWallInFrontHidesThem) {
  const std::string level = dir_.File("wall.json");
  WriteFile(level, kWallLevel);
  const std::string args = "--level " + level + " --thugs 3 --warmup 0.5";
  const sim::Image behind = Shot("behind.png", args);
  const ScreenPlaces places = ReadPlaces(dir_.File("behind.png.txt"));
  // Every thug stands on the picture, and behind the wall from the player's camera ...
  ASSERT_EQ(places.thugs.size(), 3u) << out_;
  for (const Body& thug : places.thugs) {
    EXPECT_TRUE(OnPicture(thug, behind)) << thug.centre.x << "," << thug.centre.y;
    EXPECT_EQ(thug.sight, "hidden") << thug.centre.x << "," << thug.centre.y;
    // ... so the depth test leaves none of its body on the picture.
    EXPECT_LT(BodyShare(behind, thug, 200, 60, 50), 0.02f);
  }
  EXPECT_LT(Count(behind, 200, 60, 50, 0, 0, behind.width, behind.height), 20);
  // From above the wall hides none of them: there they are.
  const sim::Image above = Shot("above.png", args + " --top-down");
  const ScreenPlaces seen = ReadPlaces(dir_.File("above.png.txt"));
  ASSERT_EQ(seen.thugs.size(), 3u);
  for (const Body& thug : seen.thugs) {
    EXPECT_EQ(thug.sight, "");
    EXPECT_TRUE(SeenFromAbove(above, thug)) << thug.centre.x << "," << thug.centre.y;
  }
}

TEST_F(ViewerTest, TheCameraComesInFrontOfAWallBehindThePlayer) {
  const std::string level = dir_.File("back.json");
  WriteFile(level, kBackToTheWallLevel);
  const sim::Image shot = Shot("back.png", "--level " + level + " --thugs 2 --warmup 0.5");
  const ScreenPlaces places = ReadPlaces(dir_.File("back.png.txt"));
  // The arena, not the wall: sky over the floor, the player's body, and both thugs ahead.
  EXPECT_GT(Count(shot, 89, 122, 158, 0, 0, 1280, 40), 10000);
  EXPECT_GT(Count(shot, 72, 96, 74, 0, 400, 1280, 720), 50000);
  ASSERT_EQ(places.players.size(), 1u);
  EXPECT_EQ(places.players[0].sight, "");
  EXPECT_GT(BodyShare(shot, places.players[0], 60, 120, 230), 0.4f);
  ASSERT_EQ(places.thugs.size(), 2u);
  EXPECT_EQ(ShownThugs(shot, places), 2);
}

TEST_F(ViewerTest, TopDownShowsTheWholeArenaWithEveryThugAndItsRoute) {
  const sim::Image plain = Shot("plain.png", "--thugs 12 --seed 2");
  const sim::Image above = Shot("above.png", "--thugs 12 --seed 2 --top-down");
  const ScreenPlaces places = ReadPlaces(dir_.File("above.png.txt"));
  // Every live thug is on the picture, nearly all in plain sight from above (one may stand
  // close to a wall's foot).
  ASSERT_GE(places.thugs.size(), 8u);
  size_t inSight = 0;
  for (const Body& thug : places.thugs) {
    EXPECT_TRUE(OnPicture(thug, above)) << thug.centre.x << "," << thug.centre.y;
    if (!thug.sight.empty()) continue;
    ++inSight;
    EXPECT_TRUE(SeenFromAbove(above, thug)) << thug.centre.x << "," << thug.centre.y;
  }
  EXPECT_GE(inSight * 10, places.thugs.size() * 8);
  // The mod's routes are drawn where the top-down camera puts them.
  const RouteCheck routes = CheckRoutes(above, places);
  EXPECT_GE(routes.samples, 4);
  EXPECT_GE(routes.coloured * 10, routes.samples * 8)
      << routes.coloured << " of " << routes.samples;
  // No sky: the picture is the floor seen from above, with the dark ground around it, while
  // the player's camera sees the sky over the arena.
  EXPECT_GT(Count(plain, 89, 122, 158, 0, 0, 1280, 40), 10000);
  EXPECT_EQ(Count(above, 89, 122, 158, 0, 0, 1280, 720), 0);
  EXPECT_GT(Count(above, 72, 96, 74, 340, 0, 940, 720), 50000);
}

// Refused before any window or play: a screenshot is the last of a fixed number of frames.
TEST(ViewerArguments, ScreenshotWithoutFramesIsRefused) {
  TempDir dir;
  for (const std::string frames : {"", "--frames 0 "}) {
    const ToolRun run = RunTool("kvr-viewer", frames + "--screenshot " + dir.File("shot.png"));
    EXPECT_NE(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("--screenshot needs --frames N"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir.File("shot.png")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("shot.png.txt")));
  }
}

}  // namespace
}  // namespace kvr::test
