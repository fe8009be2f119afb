// The real main.dll in the stand-in host with a real window and Direct3D 11 swap chain (under
// Wine: Xvfb and Mesa): the overlay installs from the mod's start-up, the menu key sent as a
// window message opens the menu over the host's picture, a click changes a setting that the
// game adopts and saves, a resize goes through the hooked ResizeBuffers, and faults injected
// into the overlay's frame stop it after the sixth while the host keeps presenting.
//
// A second scenario plays the living arena on the window (kvr-sim play --window): the seven tabs,
// a setting clicked into effect in the arena and saved, and the route lines checked against
// where the player's camera puts the routes the thugs walk.
//
// Each scenario runs in its own kvr-sim process: the swap-chain hooks are installed once per
// process, and other tests here load main.dll too.
#include <windows.h>

#include <cstdio>
#include <regex>

#include "overlay_support.h"
#include "screen_places.h"
#include "sim/png_file.h"
#include "test_support.h"

namespace kvr::test {
namespace {

std::string ProgramDir() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring p(path);
  p.resize(p.find_last_of(L"\\/"));
  return std::string(p.begin(), p.end());
}

std::string RunProgram(const std::string& command) {
  std::string out;
  // cmd.exe drops the outermost pair of quotes, so the whole line gets one more pair.
  if (FILE* pipe = _popen(("\"" + command + " 2>&1\"").c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof(buffer), pipe)) out += buffer;
    _pclose(pipe);
  }
  return out;
}

struct Rgb {
  int r, g, b;
};

::testing::AssertionResult Near(const sim::Image& image, int x, int y, Rgb want) {
  if (x >= image.width || y >= image.height) return ::testing::AssertionFailure() << "outside";
  const uint8_t* p = image.At(x, y);
  if (std::abs(p[0] - want.r) <= 3 && std::abs(p[1] - want.g) <= 3 && std::abs(p[2] - want.b) <= 3)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "pixel " << x << "," << y << " is " << int(p[0]) << "," << int(p[1]) << "," << int(p[2])
         << " not " << want.r << "," << want.g << "," << want.b;
}

sim::Image Load(const std::string& path) {
  sim::Image image;
  std::string error;
  EXPECT_TRUE(sim::ReadPng(path, image, error)) << path << ": " << error;
  return image;
}

constexpr Rgb kSky{20, 70, 110};
constexpr Rgb kFloor{60, 60, 60};
constexpr Rgb kTitleBar{77, 51, 13};  // the menu's active title bar
constexpr Rgb kActiveTab{140, 97, 26};

// Where the menu lays out its widgets: the same code, headless, on the same display size.
class PresentTest : public OverlayFixture {
 protected:
  PresentTest() : OverlayFixture(ImVec2(1280, 720)) { Frame(3); }
  std::string ClickStep(const std::string& label) {
    const auto item = Item(label);
    EXPECT_TRUE(item) << label;
    if (!item) return "";
    const ImVec2 c = item->Centre();
    return "click " + std::to_string(int(c.x)) + " " + std::to_string(int(c.y)) + "; ";
  }
};

constexpr Rgb kInactiveTab{64, 46, 20};
constexpr int kRoutePictures = 4;  // pictures taken of the routes beside the moved menu

// Of two checks of route pictures, the one that speaks better: enough samples first, then the
// larger coloured share. The game runs on its own thread while the script counts frames, so
// how many routes lie beside the menu at one moment, and whether a thug re-planned between the
// mod's last snapshot and the picture, varies; the best picture must match (a wrong projection
// matches in none: shifted by 12 pixels, 14 of 57 points).
RouteCheck Better(const RouteCheck& had, const RouteCheck& one) {
  const bool enough = one.samples >= 6, hadEnough = had.samples >= 6;
  if (enough && (!hadEnough || one.coloured * had.samples > had.coloured * one.samples)) return one;
  if (!enough && !hadEnough && one.samples > had.samples) return one;
  return had;
}

// Seven tabs, in the menu's order.
constexpr const char* kTabs[] = {"Status", "Pathfinding", "Neural Network", "Rewards",
                                 "Thugs",  "General",     "Verification"};

TEST_F(PresentTest, MenuAndOverlayOnARealSwapChain) {
  TempDir dir;
  const std::string d = dir.Path().string();
  const auto title = Item(overlay::kMenuTitle);
  const auto status = Item("Status");
  ASSERT_TRUE(title && status);
  const int titleX = int(title->min.x) + 300, titleY = int(title->min.y) + 8;
  // Two faults while the menu draws (between saving the game's render targets and putting them
  // back), then faults on the back-buffer request up to the sixth; after it the menu key and
  // clicks are the game's again.
  const std::string script =
      "wait 10; shot " + d + "\\before.png; key F9; wait 8; " + ClickStep("Enabled") + "wait 10; " +
      ClickStep("Save settings to config.ini") + "wait 10; shot " + d +
      "\\menu.png; drawfaults 2; shot " + d + "\\drawfaults.png; resize 1024 640; wait 10; shot " +
      d + "\\resized.png; faults 8; wait 20; shot " + d +
      "\\after.png; key F9; wait 8; click 640 360; shot " + d + "\\key.png";
  const std::string out = RunProgram("\"" + ProgramDir() + "\\kvr-sim.exe\" boot --mod-dir \"" + d +
                                     "\" --window --ticks 10 --script \"" + script + "\"");

  const std::string p = "[KorvathNeuralNav] ";
  EXPECT_NE(out.find(p + "overlay: swap-chain hooks installed (vtable slots 8/13 from the Windows "
                         "SDK); menu key F9\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(p + "overlay ready on DirectX 11 (1280x720) - press F9 in a level for the "
                         "menu\n"),
            std::string::npos);
  // The click on Enabled reached the game thread, and the save button wrote the file.
  EXPECT_NE(out.find(p + "master switch OFF"), std::string::npos);
  EXPECT_NE(out.find(p + "config.ini saved\n"), std::string::npos);
  EXPECT_NE(ReadFile(dir.File("config.ini")).find("\nEnabled = 0"), std::string::npos);
  EXPECT_NE(out.find("step: resize 1024x640: 0x0\n"), std::string::npos) << out;
  // While the menu drew, its key and clicks stayed from the game; six faults stopped it, and the
  // key and click after that reached the game (down and up each). The faults inside the drawing
  // left the host's render target bound and held as the host left it.
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      out, m,
      std::regex(R"(presented (\d+) frames; the game saw 2 key and 2 click messages; 6 injected )"
                 R"(faults fired; the host's render target was left unbound or held in 0 frames)")))
      << out;

  const sim::Image before = Load(dir.File("before.png"));
  EXPECT_TRUE(Near(before, titleX, titleY, kSky));
  EXPECT_TRUE(Near(before, 640, 700, kFloor));
  const sim::Image menu = Load(dir.File("menu.png"));
  EXPECT_EQ(menu.width, 1280);
  EXPECT_TRUE(Near(menu, titleX, titleY, kTitleBar));
  EXPECT_TRUE(Near(menu, int(status->min.x) + 3, int(status->max.y) - 3, kActiveTab));
  EXPECT_TRUE(Near(menu, 1000, 30, kSky));  // the host's picture around the menu
  const sim::Image drawFaults = Load(dir.File("drawfaults.png"));
  EXPECT_TRUE(Near(drawFaults, titleX, titleY, kTitleBar)) << "two faults do not stop the menu";
  EXPECT_TRUE(Near(drawFaults, 1000, 30, kSky));
  const sim::Image resized = Load(dir.File("resized.png"));
  EXPECT_EQ(resized.width, 1024);
  EXPECT_EQ(resized.height, 640);
  EXPECT_TRUE(Near(resized, titleX, titleY, kTitleBar));
  const sim::Image after = Load(dir.File("after.png"));
  EXPECT_EQ(after.width, 1024);
  EXPECT_TRUE(Near(after, titleX, titleY, kSky));  // the overlay stopped; the host did not
  const sim::Image key = Load(dir.File("key.png"));
  EXPECT_TRUE(Near(key, titleX, titleY, kSky)) << "the menu key opened nothing";
}

// A mod host's console presenting with Direct3D 11 on a window of its own thread, before the
// game's window presents: the overlay waits for the game's swap chain and binds there once (the
// game's 1280x720, never the console's), and the menu key then goes to the menu, not the game.
TEST_F(PresentTest, TheOverlayBindsToTheGamesSwapChainNotTheFirstThatPresents) {
  TempDir dir;
  const std::string d = dir.Path().string();
  const std::string out =
      RunProgram("\"" + ProgramDir() + "\\kvr-sim.exe\" boot --mod-dir \"" + d +
                 "\" --window --foreign-window --ticks 10 --script \"wait 10; key F9; wait 8\"");

  const std::string ready = "[KorvathNeuralNav] overlay ready on DirectX 11 (1280x720)";
  ASSERT_NE(out.find(ready), std::string::npos) << out;
  EXPECT_EQ(out.find("overlay ready", out.find(ready) + ready.size()), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(the game saw 0 key and 0 click messages)")))
      << out;
}

// The mod host's reload (uninstall, start again) in the middle of the game, three times over:
// each start installs the hooks for real, the menu key opens the menu again, and the window's
// procedure chain holds the overlay's procedure once (a double would toggle twice or never
// return). After the last uninstall the game's window is its own again, and a resize succeeds
// (the overlay holds nothing of the old back buffer).
TEST_F(PresentTest, TheMenuComesBackAfterTheModIsReloaded) {
  TempDir dir;
  const std::string d = dir.Path().string();
  const auto title = Item(overlay::kMenuTitle);
  ASSERT_TRUE(title);
  const int titleX = int(title->min.x) + 300, titleY = int(title->min.y) + 8;
  const auto shot = [&](const std::string& name) { return "shot " + d + "\\" + name + "; "; };
  const std::string script = "wait 10; key F9; wait 8; " + shot("first.png") +
                             "reload; reload; reload; wait 10; " + shot("reloaded.png") +
                             "key F9; wait 8; " + shot("again.png") + "key F9; wait 4; " +
                             shot("closed.png") + "uninstall; key F9; wait 8; " +
                             shot("uninstalled.png") + "resize 1024 640; wait 5";
  const std::string out = RunProgram("\"" + ProgramDir() + "\\kvr-sim.exe\" boot --mod-dir \"" + d +
                                     "\" --window --ticks 10 --script \"" + script + "\"");

  const std::string installed =
      "[KorvathNeuralNav] overlay: swap-chain hooks installed (vtable slots 8/13 from the "
      "Windows SDK); menu key F9\n";
  size_t installs = 0;
  for (size_t at = out.find(installed); at != std::string::npos; at = out.find(installed, at + 1))
    ++installs;
  EXPECT_EQ(installs, 4u) << out;
  EXPECT_EQ(out.find("FAILED"), std::string::npos) << out;
  EXPECT_NE(out.find("step: resize 1024x640: 0x0\n"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(the game saw 2 key and 0 click messages)")))
      << out;

  EXPECT_TRUE(Near(Load(dir.File("first.png")), titleX, titleY, kTitleBar));
  EXPECT_TRUE(Near(Load(dir.File("reloaded.png")), titleX, titleY, kSky))
      << "the removal closed the menu";
  EXPECT_TRUE(Near(Load(dir.File("again.png")), titleX, titleY, kTitleBar));
  EXPECT_TRUE(Near(Load(dir.File("closed.png")), titleX, titleY, kSky)) << "one toggle per key";
  EXPECT_TRUE(Near(Load(dir.File("uninstalled.png")), titleX, titleY, kSky));
}

// The living arena played by kvr-sim with the real main.dll, presented on the window: the menu
// key opens the menu, every tab is clicked and becomes the active one, a click on the
// LocalAvoidance box switches the engine's avoidance off on the arena's thugs, "Save settings"
// writes it to config.ini, and with the menu dragged aside the picture shows the mod's route
// lines where the player's camera puts the routes the thugs walk.
TEST_F(PresentTest, LivingArenaMenuTabsSettingAndRoutes) {
  TempDir dir;
  const std::string d = dir.Path().string();
  const auto title = Item(overlay::kMenuTitle);
  ASSERT_TRUE(title);
  std::optional<overlay::ProbedItem> tabs[7];
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(tabs[i] = Item(kTabs[i])) << kTabs[i];
  ASSERT_TRUE(Click("Pathfinding"));
  Frame();
  const auto avoidance = Item("LocalAvoidance");
  ASSERT_TRUE(avoidance);
  ASSERT_LT(avoidance->max.y, 690.0f) << "the box is scrolled out of the menu";
  ASSERT_TRUE(Click("Status"));
  Frame();

  const auto at = [](ImVec2 c) {
    return std::to_string(int(c.x)) + " " + std::to_string(int(c.y));
  };
  const auto shot = [&](const std::string& name) { return "shot " + d + "\\" + name + "; "; };
  // The mouse waits outside the menu for each picture, so no tab is drawn as hovered.
  const std::string away = "move 1200 650; ";
  std::string script = "wait 90; key F9; wait 8; ";
  for (int i = 0; i < 7; ++i) {
    script +=
        "click " + at(tabs[i]->Centre()) + "; " + away + shot("tab" + std::to_string(i) + ".png");
    if (i == 1)
      script += "click " + at(avoidance->Centre()) + "; wait 10; " + away + shot("avoid.png");
  }
  script += "click " + at(tabs[0]->Centre()) + "; wait 4; " +
            ClickStep("Save settings to config.ini") + "wait 10; ";
  // The menu's title bar dragged 840 pixels right: the menu stays open over the right edge.
  // Several pictures of the routes beside it; the best one must match (see Better).
  const ImVec2 grip(title->min.x + 240, title->min.y + 8);
  script += "drag " + at(grip) + " " + at(ImVec2(grip.x + 840, grip.y)) + "; wait 5; " + away;
  for (int i = 0; i < kRoutePictures; ++i)
    script += shot("routes" + std::to_string(i) + ".png") + "wait 20; ";
  // The window made smaller while the game keeps its back buffer's size until later: the
  // picture is stretched onto the window, so the routes are placed on the back buffer and a
  // click lands where the stretched picture shows the menu (client pixels scaled by 0.8, 8/9).
  const ImVec2 sx(1024.0f / 1280.0f, 640.0f / 720.0f);
  const ImVec2 pathfindingTab(tabs[1]->Centre().x + 840, tabs[1]->Centre().y);
  script += "resize 1024 640 held; wait 5; ";
  for (int i = 0; i < kRoutePictures; ++i)
    script += shot("stretched" + std::to_string(i) + ".png") + "wait 20; ";
  script += "click " + at(ImVec2(pathfindingTab.x * sx.x, pathfindingTab.y * sx.y)) + "; move " +
            at(ImVec2(1200 * sx.x, 650 * sx.y)) + "; " + shot("stretchedtab.png");
  script += "buffers; wait 10; ";
  for (int i = 0; i < kRoutePictures; ++i)
    script += shot("resized" + std::to_string(i) + ".png") + "wait 20; ";
  const std::string out = RunProgram("\"" + ProgramDir() +
                                     "\\kvr-sim.exe\" play --thugs 12 --seed 2 --minutes 0.1 "
                                     "--mod-dir \"" +
                                     d + "\" --window --script \"" + script + "\"");

  const std::string p = "[KorvathNeuralNav] ";
  EXPECT_NE(out.find(p + "overlay: swap-chain hooks installed (vtable slots 8/13 from the Windows "
                         "SDK); menu key F9"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(p + "overlay ready on DirectX 11 (1280x720)"), std::string::npos);
  EXPECT_NE(out.find("mod: " + d +
                     " (config.ini written with the defaults and VerboseLog = 1 and "
                     "ShowPathOverlay = 1)"),
            std::string::npos);
  ASSERT_NE(out.find("\\resized" + std::to_string(kRoutePictures - 1) + ".png: "),
            std::string::npos)
      << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(the game saw 0 key and 0 click messages)")));

  // Each tab, once clicked, is the active one and the one before it is not.
  for (int i = 0; i < 7; ++i) {
    const sim::Image tab = Load(dir.File("tab" + std::to_string(i) + ".png"));
    EXPECT_TRUE(Near(tab, int(tabs[i]->min.x) + 4, int(tabs[i]->max.y) - 3, kActiveTab))
        << kTabs[i];
    const int other = i == 0 ? 1 : i - 1;
    EXPECT_TRUE(Near(tab, int(tabs[other]->min.x) + 4, int(tabs[other]->max.y) - 3, kInactiveTab))
        << kTabs[i];
  }
  // The box's click reached the game: every live thug avoided before, none after.
  const ScreenPlaces before = ReadPlaces(dir.File("tab1.png.txt"));
  const ScreenPlaces after = ReadPlaces(dir.File("avoid.png.txt"));
  EXPECT_GT(before.liveThugs, 0);
  EXPECT_EQ(before.avoiding, before.liveThugs);
  EXPECT_GT(after.liveThugs, 0);
  EXPECT_EQ(after.avoiding, 0);
  EXPECT_NE(out.find(p + "config.ini saved"), std::string::npos);
  const std::string ini = ReadFile(dir.File("config.ini"));
  EXPECT_NE(ini.find("\nLocalAvoidance = 0"), std::string::npos) << ini;
  EXPECT_NE(ini.find("\nShowPathOverlay = 1"), std::string::npos);

  // The menu, open at its new place, and the routes beside it where the projection puts them:
  // on the full picture, on the stretched one (the back buffer still 1280x720), and on the
  // picture resized at last.
  const int titleY = int(title->min.y) + 8;
  const Rect menu{title->min.x + 840, title->min.y, 1280, title->min.y + 640};
  for (const std::string set : {"routes", "stretched", "resized"}) {
    RouteCheck check;
    for (int i = 0; i < kRoutePictures; ++i) {
      const std::string name = dir.File(set + std::to_string(i) + ".png");
      const sim::Image routes = Load(name);
      EXPECT_EQ(routes.width, set == "resized" ? 1024 : 1280) << name;
      const int titleX = int(title->min.x) + (set == "resized" ? 900 : 300 + 840);
      EXPECT_TRUE(Near(routes, titleX, titleY, kTitleBar)) << name;
      EXPECT_FALSE(Near(routes, int(title->min.x) + 300, titleY, kTitleBar)) << name;
      check = Better(check, CheckRoutes(routes, ReadPlaces(name + ".txt"), {menu}));
    }
    EXPECT_GE(check.samples, 6) << set;
    EXPECT_GE(check.coloured * 10, check.samples * 8)
        << set << ": " << check.coloured << " of " << check.samples;
  }
  // The click on the stretched picture landed on the tab it shows.
  const sim::Image tab = Load(dir.File("stretchedtab.png"));
  EXPECT_TRUE(Near(tab, int(tabs[1]->min.x) + 844, int(tabs[1]->max.y) - 3, kActiveTab));
  EXPECT_TRUE(Near(tab, int(tabs[0]->min.x) + 844, int(tabs[0]->max.y) - 3, kInactiveTab));
  // A resize goes through the hooked ResizeBuffers and the overlay goes on drawing.
  EXPECT_NE(out.find("step: buffers\n"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(in 0 frames)"))) << out;
}

}  // namespace
}  // namespace kvr::test
