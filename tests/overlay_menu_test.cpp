// The in-game menu, drawn by a real ImGui context through the overlay's frame code and clicked
// with the virtual cursor: settings reach the shared record, buttons set their requests, and
// every tab shows what the snapshot holds.
#include <gtest/gtest.h>

#include "overlay_support.h"

namespace kvr::test {
namespace {

game::MenuSnapshot SampleSnapshot() {
  game::MenuSnapshot s;
  s.navmeshCount = 2;
  s.hookedCount = 1;
  s.thugsTracked = 3;
  s.avoidanceOn = 2;
  s.outcomes[static_cast<int>(aps::ReshapeOutcome::kThugRequest)] = 41;
  s.outcomes[static_cast<int>(aps::ReshapeOutcome::kReshaped)] = 37;
  s.outcomes[static_cast<int>(aps::ReshapeOutcome::kStickyReplan)] = 5;
  s.layerSizes = {12, 16, 12, 7};
  s.totalEpisodes = 321;
  s.generation = 4;
  s.styles[1] = {4, 2.0};
  s.genomes = {{0, 1, 9, 2, 0.5}, {1, 3, 2, 1, 0.25}};
  game::ThugRow fresh;
  fresh.pawnClassName = "BP_Grunt_C";
  fresh.genome = 1;
  game::ThugRow boss;
  boss.pawnClassName = "BP_Boss_C";
  boss.boss = true;
  boss.currentStyle = 5;
  boss.explored = true;
  boss.lastReward = 0.75f;
  boss.distanceToPlayer = 1234.0f;
  boss.healthFraction = 0.5f;
  s.thugs = {fresh, boss};
  s.brainStatus = "loaded brain.kvrb: 321 episodes, generation 4";
  s.configStatus = "config.ini saved";
  s.statusRows = {{"Brain", 1, "all good"},
                  {"Player", 0, "not in a level"},
                  {"Crash guard", -1, "3 faults caught"}};
  return s;
}

class MenuTest : public OverlayFixture {
 protected:
  MenuTest() {
    Publish(SampleSnapshot());
    Frame(3);  // a new window is laid out before it is shown
  }
  void OpenTab(const char* name) {
    ASSERT_TRUE(Click(name)) << name;
    Frame();
  }
  uint32_t Requests() const {
    return shared_.requestSaveSettings << 0 | shared_.requestReloadSettings << 1 |
           shared_.requestSaveBrain << 2 | shared_.requestResetBrain << 3 |
           shared_.requestEvolveNow << 4;
  }
};

TEST_F(MenuTest, EveryTabIsReachableAndShowsItsContent) {
  const std::pair<const char*, const char*> tabs[] = {
      {"Status", "Approach styles chosen by the network"},
      {"Pathfinding", "Local avoidance"},
      {"Neural Network", "Evolve one generation now"},
      {"Rewards", "How each approach is judged (reward = sigmoid(sharpness x raw score))."},
      {"Thugs", "Live thugs, nearest first."},
      {"General", "BlockGameInputWhileMenuOpen"},
      {"Verification", "Recent log (also in UE4SS.log)"},
  };
  for (const auto& [tab, text] : tabs) {
    OpenTab(tab);
    EXPECT_TRUE(Shows(text)) << tab;
  }
  EXPECT_TRUE(Shows(std::string(overlay::kMenuTitle)));
  EXPECT_TRUE(
      Shows("F9 closes this menu. Changes apply instantly; 'Save settings' writes config.ini."));
}

TEST_F(MenuTest, StatusTabCountsInMenuOrderAndColoursTheState) {
  const auto texts = Texts();
  EXPECT_TRUE(FindText(texts, "Thug path requests                     41"));
  EXPECT_TRUE(FindText(texts, "reshaped into APS arcs                 37"));
  EXPECT_TRUE(FindText(texts, "Re-plans that kept their style         5"));
  EXPECT_TRUE(FindText(texts, "Reshape cost 0.00 ms avg, 0.00 ms max, 0 navmesh queries avg"));
  EXPECT_TRUE(FindText(texts, "thugs tracked: 3 | local avoidance on: 2 | navmeshes hooked: 1/2"));
  const DrawnText* waiting = FindText(texts, "WAITING FOR THUG PATHS");
  ASSERT_TRUE(waiting);
  EXPECT_EQ(waiting->colour, ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 0.78f, 0.25f, 1.0f)));
  // Arc Left: 4 episodes, reward sum 2.0, in its own colour; a style without episodes has no
  // average yet: a grey "-", never 0.000.
  const DrawnText* arcLeft = FindText(texts, "Arc Left");
  ASSERT_TRUE(arcLeft);
  EXPECT_EQ(arcLeft->colour, IM_COL32(64, 192, 255, 255));
  EXPECT_TRUE(FindText(texts, "0.500"));
  EXPECT_FALSE(FindText(texts, "0.000"));
  int dashes = 0;
  for (const DrawnText& t : texts)
    dashes += t.text == "-" &&
              t.colour == ImGui::ColorConvertFloat4ToU32(ImVec4(0.65f, 0.65f, 0.70f, 1.0f));
  EXPECT_EQ(dashes, aps::kStyleCount - 1);

  game::MenuSnapshot aside = SampleSnapshot();
  aside.reshapingDisabled = true;
  aside.pathSafetyStatus = "self-test failed: path start moved";
  Publish(aside);
  Frame();
  const auto asideTexts = Texts();
  const DrawnText* stepped = FindText(asideTexts, "STEPPED ASIDE");
  ASSERT_TRUE(stepped);
  EXPECT_EQ(stepped->colour, ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 0.42f, 0.35f, 1.0f)));
  EXPECT_TRUE(Shows("self-test failed: path start moved"));
}

TEST_F(MenuTest, EachRequestButtonSetsExactlyItsFlag) {
  const std::pair<const char*, uint32_t> buttons[] = {
      {"Save settings to config.ini", 1}, {"Reload config.ini", 2}, {"Save brain now", 4}};
  for (const auto& [label, bit] : buttons) {
    ASSERT_TRUE(Click(label)) << label;
    EXPECT_EQ(Requests(), bit) << label;
    shared_.requestSaveSettings = shared_.requestReloadSettings = shared_.requestSaveBrain = 0;
  }
  OpenTab("Neural Network");
  ASSERT_TRUE(Click("Evolve one generation now"));
  EXPECT_EQ(Requests(), 16u);
}

TEST_F(MenuTest, ResetBrainNeedsTheConfirmation) {
  OpenTab("Neural Network");
  ASSERT_TRUE(Click("Reset brain (forget everything)"));
  Frame();
  EXPECT_EQ(Requests(), 0u);
  EXPECT_TRUE(Shows("Start a brand-new population? Everything learned so far is lost"));
  ASSERT_TRUE(Click("Cancel"));
  Frame();
  EXPECT_EQ(Requests(), 0u);
  EXPECT_FALSE(Item("Yes, reset"));

  ASSERT_TRUE(Click("Reset brain (forget everything)"));
  Frame();
  ASSERT_TRUE(Click("Yes, reset"));
  EXPECT_EQ(Requests(), 8u);
  Frame();
  EXPECT_FALSE(Item("Yes, reset"));  // the popup closed
}

// The ImGui frame runs where faults are trapped, so it takes no lock: a change made in it waits
// for the end of the frame, which publishes it under the settings lock.
TEST_F(MenuTest, ASettingChangedInTheFrameIsPublishedAfterIt) {
  OpenTab("Pathfinding");
  const uint64_t before = shared_.settingsVersion;
  finishFrames_ = false;
  const auto box = Item("ArcPaths");
  ASSERT_TRUE(box);
  MoveTo(box->Centre());
  Button(true);
  Button(false);  // the frame the box toggles in, and no frame after it
  EXPECT_FALSE(copies_.settings.ArcPaths);
  EXPECT_TRUE(shared_.sharedSettings.ArcPaths) << "published from inside the frame";
  EXPECT_EQ(shared_.settingsVersion, before);
  overlay::FinishOverlayFrame(shared_, copies_);
  EXPECT_FALSE(shared_.sharedSettings.ArcPaths);
  EXPECT_EQ(shared_.settingsVersion, before + 1);
  EXPECT_EQ(copies_.settingsVersion, before + 1);
  overlay::FinishOverlayFrame(shared_, copies_);
  EXPECT_EQ(shared_.settingsVersion, before + 1) << "published once";

  // Nobody finishing the frame: the next frame's copy publishes it before it copies (the
  // click's last frame is such a next frame).
  ASSERT_TRUE(Click("ArcPaths"));
  EXPECT_TRUE(shared_.sharedSettings.ArcPaths);
  EXPECT_EQ(shared_.settingsVersion, before + 2);
  EXPECT_TRUE(copies_.settings.ArcPaths) << "not copied back over";
}

TEST_F(MenuTest, ASettingChangedInItsWidgetReachesTheSharedRecord) {
  const uint64_t before = shared_.settingsVersion;
  OpenTab("Pathfinding");
  ASSERT_TRUE(Click("ArcPaths"));
  EXPECT_FALSE(shared_.sharedSettings.ArcPaths);
  EXPECT_EQ(shared_.settingsVersion, before + 1);
  EXPECT_EQ(copies_.settingsVersion, shared_.settingsVersion);

  // A slider dragged to its left end publishes on every frame the value moves, clamped.
  const auto slider = Item("MinArcDistance");
  ASSERT_TRUE(slider);
  MoveTo(slider->Centre());
  Button(true);
  const uint64_t mid = shared_.settingsVersion;
  EXPECT_GT(mid, before + 1);
  MoveTo(ImVec2(slider->min.x - 50, slider->Centre().y));
  EXPECT_GT(shared_.settingsVersion, mid);
  Button(false);
  EXPECT_EQ(shared_.sharedSettings.MinArcDistance, 0.0f);
  // The next frame keeps the menu's record: nothing is copied back over it.
  Frame();
  EXPECT_FALSE(copies_.settings.ArcPaths);
  EXPECT_EQ(copies_.settings.MinArcDistance, 0.0f);
}

TEST_F(MenuTest, ATypedValueBeyondItsRangeIsStoredClamped) {
  OpenTab("Neural Network");
  ASSERT_TRUE(Click("EvolveEveryEpisodes"));  // the field is active, its text selected
  ImGui::GetIO().AddInputCharacter('3');
  Frame();
  ImGui::GetIO().AddKeyEvent(ImGuiKey_Enter, true);
  Frame();
  ImGui::GetIO().AddKeyEvent(ImGuiKey_Enter, false);
  Frame();
  EXPECT_EQ(shared_.sharedSettings.EvolveEveryEpisodes, 4);
}

TEST_F(MenuTest, TheKeyPickerPublishesAtOnceAndWarnsAboutTakenKeys) {
  OpenTab("General");
  EXPECT_FALSE(Shows("belong to"));
  ASSERT_TRUE(ClickBeside("MenuKey"));
  Frame();
  const uint64_t before = shared_.settingsVersion;
  ASSERT_TRUE(Click("F7"));
  EXPECT_EQ(shared_.sharedSettings.MenuKey, 118);
  EXPECT_EQ(shared_.settingsVersion, before + 1);
  const auto texts = Texts();
  const DrawnText* warning =
      FindText(texts, "F7/F8 belong to KorvathPalimarThugs - pick another key");
  ASSERT_TRUE(warning);
  EXPECT_EQ(warning->colour, ImGui::ColorConvertFloat4ToU32(ImVec4(1.0f, 0.42f, 0.35f, 1.0f)));
  EXPECT_TRUE(Shows("F7 closes this menu."));
  EXPECT_EQ(input_.menuKey.load(), 118);  // handed to the window procedure
}

TEST_F(MenuTest, AnEnumPicksByName) {
  OpenTab("Neural Network");
  ASSERT_TRUE(ClickBeside("HiddenActivation"));
  Frame();
  ASSERT_TRUE(Click("ReLU"));
  EXPECT_EQ(shared_.sharedSettings.HiddenActivation, 1);
  EXPECT_TRUE(Shows("ReLU"));
}

TEST_F(MenuTest, NetworkAndThugTablesShowTheSnapshot) {
  OpenTab("Neural Network");
  auto texts = Texts();
  EXPECT_TRUE(
      FindText(texts, "Network: 12 - 16 - 12 - 7 neurons | episodes learned: 321 | generation: 4"));
  EXPECT_TRUE(FindText(texts, "#1"));
  EXPECT_TRUE(FindText(texts, "50%"));  // fitness bar of genome 0 prints its percentage
  OpenTab("Thugs");
  texts = Texts();
  // Nearest first as the snapshot sorted them; cells of a row read as one run (narrow columns
  // cut long texts): name, metres, health, genome, style.
  const DrawnText* fresh = FindText(texts, "BP_Grunt_C");
  const DrawnText* boss = FindText(texts, "BP_Boss_C");
  ASSERT_TRUE(fresh && boss);
  EXPECT_LT(fresh->at.y, boss->at.y);
  EXPECT_EQ(fresh->text, "BP_Grunt_C0.00%1-");  // no style decided yet: "-"
  for (const char* part : {"(boss", "12.3", "50%", "WeaveLeft(exp"})
    EXPECT_NE(boss->text.find(part), std::string::npos) << part << " in " << boss->text;
  EXPECT_TRUE(FindText(texts, "0.750"));
  EXPECT_TRUE(FindText(texts, "Network outputs"));  // the header is not cut by its column
  // No reward yet: a grey "-" on the fresh thug's row.
  int greyDashes = 0;
  for (const DrawnText& t : texts) {
    greyDashes += t.text == "-" && std::abs(t.at.y - fresh->at.y) < 8.0f &&
                  t.colour == ImGui::ColorConvertFloat4ToU32(ImVec4(0.65f, 0.65f, 0.70f, 1.0f));
  }
  EXPECT_EQ(greyDashes, 1);
}

TEST_F(MenuTest, VerificationTagsAndTheLogFollowingNewLines) {
  for (int i = 0; i < 60; ++i) shared_.recentLog.push_back("line " + std::to_string(i));
  OpenTab("Verification");
  Frame(2);
  const auto texts = Texts();
  EXPECT_EQ(FindText(texts, "[ OK ]")->colour, IM_COL32(115, 235, 115, 255));
  EXPECT_TRUE(FindText(texts, "[WAIT]"));
  EXPECT_TRUE(FindText(texts, "[FAIL]"));
  EXPECT_TRUE(FindText(texts, "3 faults caught"));
  EXPECT_TRUE(FindText(texts, "line 59"));
  EXPECT_FALSE(FindText(texts, "line 0"));
  {
    std::lock_guard<std::mutex> lock(shared_.settingsLock);
    shared_.recentLog.push_back("the newest line");
  }
  Frame(2);
  EXPECT_TRUE(Shows("the newest line"));
}

TEST_F(MenuTest, TheCloseButtonClosesTheMenu) {
  ImGuiWindow* window = ImGui::FindWindowByName(overlay::kMenuTitle);
  ASSERT_TRUE(window);
  const ImGuiID close = window->GetID("#CLOSE");
  const overlay::ProbedItem* item = probe_.FindId(close);
  ASSERT_TRUE(item);
  ClickAt(item->Centre());
  EXPECT_FALSE(input_.menuOpen.load());
}

}  // namespace
}  // namespace kvr::test
