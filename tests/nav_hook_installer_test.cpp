// The navmesh hook installer on navmesh objects of the simulated engine whose slots point into
// a made-up game executable: the fingerprint, the exact build, the one accepted FindPath, the
// query extent by reflection or fallback, the swap and its restore.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "mod_fixture.h"
#include "nav/navmesh_table.h"
#include "sim/game_objects.h"

namespace kvr {
namespace {

constexpr uint64_t kLoad = 0x140000000ull;
using Rvas = std::array<uint64_t, 5>;  // FindPath, hierarchical, TestPath, TestHier., Raycast
constexpr Rvas kExactBuild = {0x2CEA790, 0x2CEA790, 0x2D01F50, 0x2D01B80, 0x2CF70E0};
constexpr Rvas kOtherBuild = {0x1A00010, 0x1A00010, 0x1B00020, 0x1B00030, 0x1C00040};

class NavHookInstaller : public test::ModFixture {
 protected:
  NavHookInstaller() {
    rt_ = &StartMod();
    // A game executable loaded at kLoad whose code spans 48 MiB.
    rt_->codeSection = {kLoad, kLoad + 0x1000, kLoad + 0x3000000};
  }

  game::NavMeshRecord& Navmesh(const wchar_t* name, const Rvas& rvas,
                               const aps::Vec3& extent = {50, 50, 250}) {
    void* slots[sim::kNavSlotCount];
    for (int i = 0; i < sim::kNavSlotCount; ++i)
      slots[i] = reinterpret_cast<void*>(kLoad + rvas[static_cast<size_t>(i)]);
    host::UObject* navmesh = sim::SpawnNavMesh(world_, classes_, name, slots, extent);
    game::NavMeshRecord& r = rt_->game.navmeshes[navmesh];
    r.navmesh = navmesh;
    r.id = world_.GetInternalIndex(navmesh);
    return r;
  }
  const std::string& Install(game::NavMeshRecord& r) {
    std::lock_guard<std::mutex> lock(rt_->stateLock);
    game::InstallNavHooks(*rt_, r);
    return r.status;
  }
  static uintptr_t Hook() { return reinterpret_cast<uintptr_t>(&game::FindPathHook); }
  static uintptr_t Slot(const game::NavMeshRecord& r, uint32_t offset) {
    return game::ReadSlot(r.navmesh, offset);
  }

  mod::ModRuntime* rt_ = nullptr;
};

TEST_F(NavHookInstaller, ExactBuildIsHookedWithItsReflectedQueryExtentAndRestored) {
  game::NavMeshRecord& r = Navmesh(L"RecastNavMesh-Default", kExactBuild, {40, 60, 200});
  const std::string expected =
      "navmesh " + std::to_string(r.id) +
      " hooked: FindPath RVA 0x2CEA790 (exact verified build), TestPath 0x2D01F50, "
      "TestHierarchical 0x2D01B80, Raycast 0x2CF70E0; query extent at +0x26C (reflection; "
      "dump says +0x26C) = (40, 60, 200)";
  EXPECT_EQ(Install(r), expected);
  EXPECT_EQ(Count(expected), 1);
  EXPECT_TRUE(r.hooked);
  EXPECT_TRUE(rt_->game.exactBuild);
  EXPECT_EQ(reinterpret_cast<uint64_t>(rt_->game.acceptedFindPath.load()), kLoad + 0x2CEA790);
  EXPECT_EQ(reinterpret_cast<uint64_t>(r.savedFindPath), kLoad + 0x2CEA790);
  EXPECT_EQ(reinterpret_cast<uint64_t>(r.savedFindPathHierarchical), kLoad + 0x2CEA790);
  EXPECT_EQ(rt_->game.queryExtentStatus,
            "query extent at +0x26C (reflection; dump says +0x26C) = (40, 60, 200)");
  EXPECT_EQ(r.queryExtent.x, 40.0f);
  EXPECT_EQ(r.queryExtent.y, 60.0f);
  EXPECT_EQ(r.queryExtent.z, 200.0f);
  // Only the two FindPath slots change hands.
  EXPECT_EQ(Slot(r, game::kSlotFindPath), Hook());
  EXPECT_EQ(Slot(r, game::kSlotFindPathHierarchical), Hook());
  EXPECT_EQ(Slot(r, game::kSlotTestPath), kLoad + 0x2D01F50);
  EXPECT_EQ(Slot(r, game::kSlotRaycast), kLoad + 0x2CF70E0);

  // Already carrying the hook: marked hooked, nothing said.
  r.hooked = false;
  EXPECT_EQ(Install(r), expected);
  EXPECT_TRUE(r.hooked);
  EXPECT_EQ(Count(expected), 1);

  std::lock_guard<std::mutex> lock(rt_->stateLock);
  game::RestoreNavHooks(rt_->game.navmeshes);
  EXPECT_FALSE(r.hooked);
  EXPECT_EQ(Slot(r, game::kSlotFindPath), kLoad + 0x2CEA790);
  EXPECT_EQ(Slot(r, game::kSlotFindPathHierarchical), kLoad + 0x2CEA790);
  EXPECT_EQ(reinterpret_cast<uint64_t>(r.savedFindPath), kLoad + 0x2CEA790) << "kept for later";
}

TEST_F(NavHookInstaller, SlotsThatBreakTheFingerprintAreLeftUntouched) {
  struct Case {
    const wchar_t* name;
    Rvas rvas;
  };
  const Case cases[] = {
      {L"TwoFindPaths", {0x100, 0x200, 0x300, 0x400, 0x500}},
      {L"TestPathTwice", {0x100, 0x100, 0x300, 0x300, 0x500}},
      {L"RaycastIsFindPath", {0x100, 0x100, 0x300, 0x400, 0x100}},
      {L"TestPathIsFindPath", {0x100, 0x100, 0x100, 0x400, 0x500}},
      {L"RaycastOutsideTheCode", {0x100, 0x100, 0x300, 0x400, 0x3000000}},
      {L"FindPathBeforeTheCode", {0x10, 0x10, 0x300, 0x400, 0x500}},
  };
  for (const Case& c : cases) {
    game::NavMeshRecord& r = Navmesh(c.name, c.rvas);
    const std::string expected = "navmesh " + std::to_string(r.id) +
                                 ": path-function slots do not match the verified layout (left "
                                 "untouched)";
    EXPECT_EQ(Install(r), expected);
    EXPECT_EQ(Count(expected), 1);
    EXPECT_FALSE(r.hooked);
    EXPECT_EQ(r.savedFindPath, nullptr);
    EXPECT_EQ(Slot(r, game::kSlotFindPath), kLoad + c.rvas[0]);
    EXPECT_EQ(Slot(r, game::kSlotFindPathHierarchical), kLoad + c.rvas[1]);
  }
  EXPECT_EQ(rt_->game.acceptedFindPath.load(), nullptr);

  // Without a known code section nothing passes.
  rt_->codeSection = {};
  game::NavMeshRecord& r = Navmesh(L"NoCodeSection", kExactBuild);
  EXPECT_NE(Install(r).find("do not match the verified layout"), std::string::npos);
}

TEST_F(NavHookInstaller, AnotherBuildIsHookedButOnlyOneFindPathIsEverAccepted) {
  game::NavMeshRecord& first = Navmesh(L"First", kOtherBuild);
  EXPECT_EQ(Install(first), "navmesh " + std::to_string(first.id) +
                                " hooked: FindPath RVA 0x1A00010 (same structure, different "
                                "build), TestPath 0x1B00020, TestHierarchical 0x1B00030, Raycast "
                                "0x1C00040; query extent at +0x26C (reflection; dump says +0x26C) "
                                "= (50, 50, 250)");
  EXPECT_FALSE(rt_->game.exactBuild);

  // Same structure, but its FindPath is another function.
  Rvas other = kOtherBuild;
  other[0] = other[1] = 0x1A00400;
  game::NavMeshRecord& second = Navmesh(L"Second", other);
  EXPECT_EQ(Install(second), "different FindPath implementation (left untouched)");
  EXPECT_EQ(Count("different FindPath implementation (left untouched)"), 1);
  EXPECT_FALSE(second.hooked);
  EXPECT_EQ(Slot(second, game::kSlotFindPath), kLoad + 0x1A00400);
  EXPECT_EQ(reinterpret_cast<uint64_t>(rt_->game.acceptedFindPath.load()), kLoad + 0x1A00010);

  // A third with the accepted FindPath goes in; the exact-build flag follows the last accepted.
  game::NavMeshRecord& third = Navmesh(L"Third", kOtherBuild);
  EXPECT_NE(Install(third).find(" hooked: "), std::string::npos);
  EXPECT_TRUE(third.hooked);
}

TEST_F(NavHookInstaller, QueryExtentIsTakenOnlyWhenTheEngineCouldUseIt) {
  struct Case {
    aps::Vec3 extent;
    aps::Vec3 kept;
    const char* text;
  };
  const Case cases[] = {
      {{0, 50, 250}, {50, 50, 250}, "(0, 50, 250)"},
      {{20000, 50, 250}, {50, 50, 250}, "(20000, 50, 250)"},
      {{50, 50, 12000}, {50, 50, 250}, "(50, 50, 12000)"},
      {{50, -5, 250}, {50, 50, 250}, "(50, -5, 250)"},
      {{30, 20000, 90}, {30, 20000, 90}, "(30, 20000, 90)"},  // y has no upper bound
  };
  int n = 0;
  for (const Case& c : cases) {
    game::NavMeshRecord& r =
        Navmesh((L"Extent" + std::to_wstring(n++)).c_str(), kOtherBuild, c.extent);
    Install(r);
    EXPECT_EQ(rt_->game.queryExtentStatus,
              std::string("query extent at +0x26C (reflection; dump says +0x26C) = ") + c.text);
    EXPECT_EQ(r.queryExtent.x, c.kept.x) << c.text;
    EXPECT_EQ(r.queryExtent.y, c.kept.y) << c.text;
    EXPECT_EQ(r.queryExtent.z, c.kept.z) << c.text;
  }
}

TEST_F(NavHookInstaller, ANavmeshWithoutReflectionFallsBackToTheDumpOffset) {
  // Raw memory with the five slots and a value at +620, but no class the engine knows.
  test::FakeNavMesh raw;
  const uint64_t slots[5] = {kLoad + 0x1100, kLoad + 0x1100, kLoad + 0x1200, kLoad + 0x1300,
                             kLoad + 0x1400};
  std::memcpy(raw.bytes + game::kSlotFindPath, slots, sizeof slots);
  const float extent[3] = {70.4f, 80.6f, 150.0f};
  std::memcpy(raw.bytes + 620, extent, sizeof extent);
  game::NavMeshRecord& r = rt_->game.navmeshes[raw.Object()];
  r.navmesh = raw.Object();
  r.id = 7;
  EXPECT_EQ(Install(r),
            "navmesh 7 hooked: FindPath RVA 0x1100 (same structure, different build), TestPath "
            "0x1200, TestHierarchical 0x1300, Raycast 0x1400; query extent at +0x26C (dump "
            "fallback; dump says +0x26C) = (70, 81, 150)");
  EXPECT_EQ(r.queryExtent.x, 70.4f);
  EXPECT_EQ(raw.Slot(game::kSlotFindPath), Hook());
  std::lock_guard<std::mutex> lock(rt_->stateLock);
  game::RestoreNavHooks(rt_->game.navmeshes);
  EXPECT_EQ(raw.Slot(game::kSlotFindPath), kLoad + 0x1100);
  rt_->game.navmeshes.clear();
}

TEST_F(NavHookInstaller, RestoreLeavesASlotSomebodyElseChangedSince) {
  game::NavMeshRecord& r = Navmesh(L"Shared", kOtherBuild);
  Install(r);
  ASSERT_TRUE(r.hooked);
  // Another mod put its own function over ours in the hierarchical slot.
  game::ExchangeSlot(r.navmesh, game::kSlotFindPathHierarchical, kLoad + 0x999);
  std::lock_guard<std::mutex> lock(rt_->stateLock);
  game::RestoreNavHooks(rt_->game.navmeshes);
  EXPECT_EQ(Slot(r, game::kSlotFindPath), kLoad + 0x1A00010);
  EXPECT_EQ(Slot(r, game::kSlotFindPathHierarchical), kLoad + 0x999);
  EXPECT_FALSE(r.hooked);
  EXPECT_TRUE(r.slotTakenOver);
  // The navmesh goes with this test's world: nothing can put the hook back into it, so the next
  // mod object need not inherit this one's FindPath.
  rt_->game.navmeshes.clear();
}

TEST_F(NavHookInstaller, AHookWithNoAcceptedFindPathAnswersAPlainFailure) {
  // A slot still holding the hook of a mod object that has gone: nothing to ask, so the caller
  // gets a failed, empty result rather than what its record happened to hold.
  ASSERT_EQ(rt_->game.acceptedFindPath.load(), nullptr);
  unsigned char result[24], agent[16] = {}, query[136] = {};
  std::memset(result, 0xCD, sizeof result);
  EXPECT_EQ(game::FindPathHook(result, agent, query), result);
  for (unsigned char byte : result) EXPECT_EQ(byte, 0);
  EXPECT_EQ(rt_->game.pathHook.hookCalls, 0u);
}

}  // namespace
}  // namespace kvr
