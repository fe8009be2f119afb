// The simulated engine as the mod's host: object queries, names, ProcessEvent, deletion and its
// notices, the game thread, the allocator and the navigation system's functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "host/reflection.h"
#include "platform/clock.h"
#include "platform/steady_clock.h"
#include "sim/game_classes.h"
#include "sim/game_objects.h"

namespace kvr::sim {
namespace {

using host::UObject;

class SimEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = RegisterGameClasses(world_);
    host::SetHost(&world_);
  }
  void TearDown() override { host::SetHost(nullptr); }

  bool Contains(const std::vector<UObject*>& v, const UObject* o) {
    return std::find(v.begin(), v.end(), o) != v.end();
  }

  World world_;
  GameClasses game_;
};

TEST_F(SimEngineTest, FindAllOfReturnsSubclassesDefaultsAndArchetypesAlike) {
  ThugObjects base = SpawnThug(world_, game_, *game_.baseAIController, *game_.thug, L"Base", {});
  ThugObjects boss =
      SpawnThug(world_, game_, *game_.bossAIController, *game_.bossThug, L"Boss", {});
  SpawnOptions archetype;
  archetype.flags = host::kObjectFlagArchetype;
  UObject* templ = world_.Spawn(*game_.armedAIController, L"Template", archetype);

  std::vector<UObject*> found;
  world_.FindAllOf(L"BP_BaseAIController_C", found);
  EXPECT_TRUE(Contains(found, base.controller));
  EXPECT_TRUE(Contains(found, boss.controller));
  EXPECT_TRUE(Contains(found, templ));
  EXPECT_TRUE(Contains(found, game_.baseAIController->defaultObject));
  EXPECT_EQ(world_.GetObjectFlags(game_.baseAIController->defaultObject),
            host::kObjectFlagClassDefault);
  EXPECT_EQ(world_.GetObjectFlags(templ), host::kObjectFlagArchetype);

  world_.FindAllOf(L"BP_BossThugAIController_C", found);
  EXPECT_TRUE(Contains(found, boss.controller));
  EXPECT_FALSE(Contains(found, base.controller));

  world_.SetNullsInFindAllOf(true);
  world_.FindAllOf(L"RecastNavMesh", found);
  ASSERT_EQ(found.size(), 3u);  // null, the class default object, null
  EXPECT_EQ(found.front(), nullptr);
  EXPECT_EQ(found.back(), nullptr);
  world_.FindAllOf(L"NoSuchClass", found);
  EXPECT_TRUE(found.empty());
}

TEST_F(SimEngineTest, ObjectsAnswerClassNameIndexAndPath) {
  ThugObjects t =
      SpawnThug(world_, game_, *game_.armedAIController, *game_.armedThug, L"Thug_7", {});
  EXPECT_EQ(world_.GetName(t.pawn), L"Thug_7");
  host::UClass* cls = world_.GetClassPrivate(t.pawn);
  EXPECT_EQ(world_.GetName(host::AsObject(cls)), L"BP_ArmedThug_C");
  EXPECT_EQ(world_.FindObject(world_.PathOf(t.pawn)), t.pawn);
  EXPECT_EQ(world_.FindObject(L"/Game/Blueprints.BP_ArmedThug_C"), host::AsObject(cls));
  EXPECT_EQ(world_.FindObject(kNavigationSystemPath), game_.navigationSystemDefault);
  EXPECT_EQ(world_.FindObject(L"/Script/NavigationSystem.Default__Nope"), nullptr);
  EXPECT_EQ(world_.GetObjectFlags(nullptr), 0u);
  EXPECT_EQ(world_.GetInternalIndex(nullptr), -1);
  EXPECT_EQ(world_.GetClassPrivate(nullptr), nullptr);
  // A spawned thug starts from its class defaults.
  float health = 0;
  ASSERT_TRUE(host::ReadFloatProperty(t.pawn, L"Health", health));
  EXPECT_EQ(health, 100.0f);
  EXPECT_TRUE(world_.GetBool(t.pawn, L"bIsAlive"));
  EXPECT_FALSE(world_.GetBool(t.pawn, L"IsBoss"));
  // Names are unique paths within the level.
  EXPECT_EQ(world_.Spawn(*game_.thug, L"Thug_7"), nullptr);
}

TEST_F(SimEngineTest, NumberedNamesShareOneNameEntry) {
  const size_t before = world_.Names().Count();
  for (int i = 0; i < 50; ++i) {
    const std::wstring name = L"Thug_" + std::to_wstring(i);
    ThugObjects t = SpawnThug(world_, game_, *game_.armedAIController, *game_.armedThug, name, {});
    EXPECT_EQ(world_.GetName(t.pawn), name);
    DestroyThug(world_, t);
  }
  // Spawned objects are numbered versions of a few base names, never new table entries.
  EXPECT_LE(world_.Names().Count(), before + 4);
  const ThugObjects nine =
      SpawnThug(world_, game_, *game_.armedAIController, *game_.armedThug, L"Thug_9", {});
  EXPECT_EQ(world_.GetName(nine.controller), L"Thug_Controller_9");
  // Texts the engine would not split keep their whole text.
  for (const wchar_t* whole : {L"Thug_07", L"Thug_", L"_5", L"Thug_1234567890", L"Thug_7x"}) {
    ThugObjects t = SpawnThug(world_, game_, *game_.armedAIController, *game_.armedThug, whole, {});
    EXPECT_EQ(world_.GetName(t.pawn), whole);
  }
  EXPECT_NE(world_.Names().Find(L"Thug_07"), 0u);
  EXPECT_EQ(world_.Names().Find(L"Thug_7"), 0u);
}

TEST_F(SimEngineTest, InternalIndexIsStableAndReusedOnlyAfterAFrame) {
  UObject* a = world_.Spawn(*game_.thug, L"A");
  UObject* b = world_.Spawn(*game_.thug, L"B");
  const int32_t indexA = world_.GetInternalIndex(a);
  const int32_t indexB = world_.GetInternalIndex(b);
  EXPECT_NE(indexA, indexB);
  ASSERT_TRUE(world_.Destroy(a));
  EXPECT_FALSE(world_.Destroy(a));
  EXPECT_FALSE(world_.IsAlive(a));
  EXPECT_EQ(world_.GetInternalIndex(b), indexB);
  UObject* c = world_.Spawn(*game_.thug, L"C");
  EXPECT_NE(world_.GetInternalIndex(c), indexA);  // not before the memory is collected
  world_.Tick(0.01);
  UObject* d = world_.Spawn(*game_.thug, L"D");
  EXPECT_EQ(world_.GetInternalIndex(d), indexA);
  EXPECT_FALSE(world_.Destroy(game_.thug->defaultObject));
}

TEST_F(SimEngineTest, NameLookupIsFindOnly) {
  EXPECT_EQ(world_.FindNameIndex(L"SomethingNobodyNamed"), 0u);
  EXPECT_EQ(world_.FindNameIndex(L"SomethingNobodyNamed"), 0u);
  const uint32_t tick = world_.FindNameIndex(L"ReceiveTick");
  ASSERT_NE(tick, 0u);
  UObject* pawn = world_.Spawn(*game_.thug, L"Pawn");
  host::UFunction* f = world_.GetFunctionByNameInChain(pawn, L"ReceiveTick");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(world_.GetNameIndex(host::AsObject(f)), tick);
  EXPECT_NE(world_.GetNameIndex(pawn), tick);

  World bare(false);  // no game classes: the tick function's name does not exist yet
  EXPECT_EQ(bare.FindNameIndex(L"ReceiveTick"), 0u);
  EXPECT_EQ(bare.SteadyClock(), nullptr);  // on the real clock, it offers none
}

TEST_F(SimEngineTest, PreCallbacksRunBeforeTheNativeBody) {
  ThugObjects t = SpawnThug(world_, game_, *game_.baseAIController, *game_.thug, L"T", {});
  std::vector<std::string> order;
  world_.RegisterProcessEventPreCallback([&](UObject* o, host::UFunction* f, void* params) {
    order.push_back(f ? "pre:" + std::to_string(world_.GetNameIndex(host::AsObject(f)))
                      : "pre:null");
    if (o == t.movement) {
      order.push_back(world_.GetBool(t.movement, L"bUseRVOAvoidance") ? "flag:on" : "flag:off");
    }
  });
  host::ParamLayout layout;
  ASSERT_TRUE(host::BuildParamLayout(layout, t.movement, L"SetAvoidanceEnabled", {L"bEnable"}));
  host::ParamBlock block(layout);
  block.SetByte(L"bEnable", 1);
  ASSERT_TRUE(block.Call(t.movement));
  EXPECT_TRUE(world_.GetBool(t.movement, L"bUseRVOAvoidance"));
  const std::string name = std::to_string(world_.FindNameIndex(L"SetAvoidanceEnabled"));
  EXPECT_EQ(order, (std::vector<std::string>{"pre:" + name, "flag:off"}));

  order.clear();
  world_.ProcessEvent(t.movement, nullptr, nullptr);  // reaches the callbacks, runs nothing
  EXPECT_EQ(order.front(), "pre:null");
}

TEST_F(SimEngineTest, TickSendsReceiveTickToTickingActorsOnly) {
  ThugObjects t = SpawnThug(world_, game_, *game_.baseAIController, *game_.thug, L"T", {});
  const uint32_t tickName = world_.FindNameIndex(L"ReceiveTick");
  std::vector<const UObject*> ticked;
  float delta = 0;
  world_.RegisterProcessEventPreCallback([&](UObject* o, host::UFunction* f, void* params) {
    if (world_.GetNameIndex(host::AsObject(f)) != tickName) return;
    ticked.push_back(o);
    std::memcpy(&delta, params, sizeof(delta));
  });
  // The clock a mod in another module is offered is the one the frames advance.
  host::IHost::ClockFn clock = world_.SteadyClock();
  ASSERT_NE(clock, nullptr);
  const uint64_t offered = clock();
  const double before = platform::SteadySeconds();
  world_.Tick(0.25);
  EXPECT_NEAR(platform::SteadySeconds() - before, 0.25, 1e-9);  // the simulated clock
  EXPECT_EQ(clock() - offered, 250'000'000u);
  EXPECT_EQ(delta, 0.25f);
  EXPECT_TRUE(std::find(ticked.begin(), ticked.end(), t.controller) != ticked.end());
  EXPECT_TRUE(std::find(ticked.begin(), ticked.end(), t.pawn) != ticked.end());
  EXPECT_TRUE(std::find(ticked.begin(), ticked.end(), t.root) == ticked.end());
  ticked.clear();
  world_.Destroy(t.pawn);
  world_.Tick(0.25);
  EXPECT_TRUE(std::find(ticked.begin(), ticked.end(), t.pawn) == ticked.end());
}

// An object under construction (spawned hidden, as a thug spawned off the game thread is) is
// passed by every look-up and by the frame's ticking until it is revealed; then it is found
// with every value written before.
TEST_F(SimEngineTest, AHiddenObjectIsFoundAndTickedOnlyOnceRevealed) {
  const uint32_t tickName = world_.FindNameIndex(L"ReceiveTick");
  std::vector<const UObject*> ticked;
  world_.RegisterProcessEventPreCallback([&](UObject* o, host::UFunction* f, void*) {
    if (world_.GetNameIndex(host::AsObject(f)) == tickName) ticked.push_back(o);
  });
  UObject* pawn = world_.Spawn(*game_.thug, L"Building", {.ticks = true, .hidden = true});
  ASSERT_NE(pawn, nullptr);
  *world_.Field<float>(pawn, L"Health") = 42.0f;
  std::vector<UObject*> found;
  world_.FindAllOf(L"BP_ThugBase_C", found);
  EXPECT_FALSE(Contains(found, pawn));
  EXPECT_EQ(world_.FindObject(world_.PathOf(pawn)), nullptr);
  world_.Tick(0.1);
  EXPECT_EQ(std::count(ticked.begin(), ticked.end(), pawn), 0);
  EXPECT_TRUE(world_.IsAlive(pawn)) << "it is in the object array all the same";
  EXPECT_GE(world_.GetInternalIndex(pawn), 0);

  world_.Reveal(pawn);
  world_.FindAllOf(L"BP_ThugBase_C", found);
  ASSERT_TRUE(Contains(found, pawn));
  EXPECT_EQ(*world_.Field<float>(pawn, L"Health"), 42.0f);
  EXPECT_EQ(world_.FindObject(world_.PathOf(pawn)), pawn);
  world_.Tick(0.1);
  EXPECT_EQ(std::count(ticked.begin(), ticked.end(), pawn), 1);
  // Classes are found by path as before (they have no slot in the object array).
  EXPECT_NE(world_.FindObject(L"/Game/Blueprints.BP_ThugBase_C"), nullptr);

  // The spawn helpers reveal what they made, wired up: a thug is found whole.
  const ThugObjects t =
      SpawnThug(world_, game_, *game_.bossAIController, *game_.bossThug, L"B", {});
  world_.FindAllOf(L"BP_BaseAIController_C", found);
  ASSERT_TRUE(Contains(found, t.controller));
  EXPECT_EQ(*world_.Field<UObject*>(t.controller, L"Pawn"), t.pawn);
  EXPECT_EQ(world_.FindObject(world_.PathOf(t.root)), t.root);
}

class RecordingListener final : public host::IDeleteListener {
 public:
  void NotifyUObjectDeleted(const UObject* object, int32_t index) override {
    std::lock_guard<std::mutex> lock(mutex);
    deleted.push_back(object);
    indices.push_back(index);
    threads.push_back(platform::CurrentThreadId());
    if (world) names.push_back(world->GetName(object));  // memory still valid here
  }
  void OnUObjectArrayShutdown() override {
    ++shutdowns;
    if (removeSelfOnShutdown && world) world->RemoveUObjectDeleteListener(this);
  }
  std::mutex mutex;
  World* world = nullptr;
  bool removeSelfOnShutdown = false;
  std::vector<const UObject*> deleted;
  std::vector<int32_t> indices;
  std::vector<uint32_t> threads;
  std::vector<std::wstring> names;
  int shutdowns = 0;
};

TEST_F(SimEngineTest, DeleteNoticesArriveOnTheDeletingThread) {
  RecordingListener listener;
  listener.world = &world_;
  world_.AddUObjectDeleteListener(&listener);
  UObject* victim = world_.Spawn(*game_.thug, L"Victim");
  const int32_t index = world_.GetInternalIndex(victim);
  uint32_t deleter = 0;
  std::thread other([&] {
    deleter = platform::CurrentThreadId();
    world_.Destroy(victim);
  });
  other.join();
  ASSERT_EQ(listener.deleted.size(), 1u);
  EXPECT_EQ(listener.deleted[0], victim);
  EXPECT_EQ(listener.indices[0], index);
  EXPECT_EQ(listener.threads[0], deleter);
  EXPECT_NE(listener.threads[0], platform::CurrentThreadId());
  EXPECT_EQ(listener.names[0], L"Victim");

  world_.RemoveUObjectDeleteListener(&listener);
  world_.Destroy(world_.Spawn(*game_.thug, L"Unheard"));
  EXPECT_EQ(listener.deleted.size(), 1u);
}

TEST_F(SimEngineTest, DeletingWhileTheGameThreadTicksIsSafe) {
  RecordingListener listener;
  world_.AddUObjectDeleteListener(&listener);
  std::vector<ThugObjects> thugs;
  for (int i = 0; i < 20; ++i) {
    thugs.push_back(SpawnThug(world_, game_, *game_.baseAIController, *game_.thug,
                              L"Thug_" + std::to_wstring(i), {}));
  }
  // Every ReceiveTick reads the pawn's health, so a freed pawn would show up under ASan.
  std::atomic<float> sink{0};
  world_.RegisterProcessEventPreCallback([&](UObject* o, host::UFunction*, void*) {
    float h = 0;
    if (host::Host() && world_.Field<float>(o, L"Health")) h = *world_.Field<float>(o, L"Health");
    sink.store(h);
  });
  std::mutex m;
  std::condition_variable cv;
  uint64_t seen = 0;
  world_.AddFrameHook([&](World& w, double) {
    std::lock_guard<std::mutex> lock(m);
    seen = w.FrameCount();
    cv.notify_all();
  });
  ASSERT_TRUE(world_.StartGameThread({}));
  EXPECT_FALSE(world_.StartGameThread({}));
  std::thread deleter([&] {
    for (const ThugObjects& t : thugs) DestroyThug(world_, t);
  });
  deleter.join();
  {
    std::unique_lock<std::mutex> lock(m);
    const uint64_t target = world_.FrameCount() + 3;
    cv.wait(lock, [&] { return seen >= target; });
  }
  world_.StopGameThread();
  EXPECT_EQ(listener.deleted.size(), 80u);
  world_.RemoveUObjectDeleteListener(&listener);
}

TEST_F(SimEngineTest, ShutdownNotifiesOnceAndListenersMayLeaveFromTheNotice) {
  RecordingListener stays, leaves;
  leaves.world = &world_;
  leaves.removeSelfOnShutdown = true;
  world_.AddUObjectDeleteListener(&leaves);
  world_.AddUObjectDeleteListener(&stays);
  world_.Spawn(*game_.thug, L"Someone");
  world_.Shutdown();
  world_.Shutdown();
  EXPECT_EQ(leaves.shutdowns, 1);
  EXPECT_EQ(stays.shutdowns, 1);
  EXPECT_TRUE(leaves.deleted.empty());  // the teardown itself sends no per-object notices
  EXPECT_EQ(world_.LiveObjectCount(), 0u);
  EXPECT_EQ(world_.Spawn(*game_.thug, L"Late"), nullptr);
  std::vector<UObject*> found;
  world_.FindAllOf(L"BP_ThugBase_C", found);
  EXPECT_TRUE(found.empty());
}

TEST_F(SimEngineTest, EngineAllocatorAlignsTracksAndCanBeSwitchedOff) {
  ASSERT_TRUE(world_.HasEngineAllocator());
  void* block = world_.Malloc(100 * 32, 16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
  EXPECT_EQ(world_.LiveAllocations(), 1);
  world_.Free(block);
  EXPECT_EQ(world_.LiveAllocations(), 0);
  world_.Free(block);  // a second free is caught, not passed on
  EXPECT_EQ(world_.BadFrees(), 1);
  EXPECT_EQ(world_.Malloc(64, 64), nullptr);

  world_.SetEngineAllocatorEnabled(false);
  EXPECT_FALSE(world_.HasEngineAllocator());
  EXPECT_EQ(world_.Malloc(64, 16), nullptr);
  world_.Malloc(64, 16);  // still nothing; and a leftover engine block is released with the world
  world_.SetEngineAllocatorEnabled(true);
  EXPECT_NE(world_.Malloc(64, 16), nullptr);
}

TEST_F(SimEngineTest, NavmeshCarriesSlotsAndQueryExtentFoundByReflection) {
  int codeA = 0, codeB = 0, codeC = 0, codeD = 0;
  void* const slots[kNavSlotCount] = {&codeA, &codeA, &codeB, &codeC, &codeD};
  UObject* navmesh = SpawnNavMesh(world_, game_, L"RecastNavMesh-Default", slots, {60, 70, 300});
  ASSERT_NE(navmesh, nullptr);
  auto* raw = reinterpret_cast<void**>(reinterpret_cast<unsigned char*>(navmesh) + 0x2B8);
  EXPECT_EQ(raw[0], &codeA);
  EXPECT_EQ(raw[1], &codeA);
  EXPECT_EQ(raw[4], &codeD);
  SetNavSlot(navmesh, 0, &codeB);
  EXPECT_EQ(NavSlot(navmesh, 0), &codeB);

  // The way the hook installer finds it: NavDataConfig, then its struct's DefaultQueryExtent.
  host::FProperty* config = world_.GetPropertyByNameInChain(navmesh, L"NavDataConfig");
  ASSERT_NE(config, nullptr);
  host::UStruct* type = world_.GetStructPropertyStruct(config);
  ASSERT_NE(type, nullptr);
  int32_t offset = -1;
  for (host::FProperty* p = world_.GetFirstProperty(type); p;
       p = world_.GetNextFieldAsProperty(p)) {
    if (world_.GetFieldName(p) == L"DefaultQueryExtent") {
      offset = world_.GetOffset(config) + world_.GetOffset(p);
    }
  }
  EXPECT_EQ(offset, kDefaultQueryExtentOffset);
  const auto* extent =
      reinterpret_cast<const float*>(reinterpret_cast<unsigned char*>(navmesh) + offset);
  EXPECT_EQ(extent[0], 60.0f);
  EXPECT_EQ(extent[2], 300.0f);
  EXPECT_EQ(world_.GetStructPropertyStruct(world_.GetPropertyByNameInChain(navmesh, L"CellSize")),
            nullptr);
}

TEST_F(SimEngineTest, PlayerCameraFunctionsAnswerThroughProcessEvent) {
  PlayerObjects p = SpawnPlayer(world_, game_, L"Player", {1, 2, 3});
  ASSERT_NE(p.cameraManager, nullptr);
  *world_.Field<aps::Vec3>(p.cameraManager, L"ViewLocation") = {10, 20, 30};
  *world_.Field<aps::Vec3>(p.cameraManager, L"ViewRotation") = {-10, 45, 0};
  UObject* manager = nullptr;
  ASSERT_TRUE(host::ReadPointerProperty(p.controller, L"PlayerCameraManager", manager));
  host::ParamLayout location, rotation, fov;
  ASSERT_TRUE(host::BuildParamLayout(location, manager, L"GetCameraLocation", {L"ReturnValue"}));
  ASSERT_TRUE(host::BuildParamLayout(rotation, manager, L"GetCameraRotation", {L"ReturnValue"}));
  ASSERT_TRUE(host::BuildParamLayout(fov, manager, L"GetFOVAngle", {L"ReturnValue"}));
  aps::Vec3 v;
  float angle = 0;
  host::ParamBlock a(location), b(rotation), c(fov);
  ASSERT_TRUE(a.Call(manager) && a.GetVec3(L"ReturnValue", v));
  EXPECT_EQ(v.z, 30.0f);
  ASSERT_TRUE(b.Call(manager) && b.GetVec3(L"ReturnValue", v));
  EXPECT_EQ(v.y, 45.0f);
  ASSERT_TRUE(c.Call(manager) && c.GetFloat(L"ReturnValue", angle));
  EXPECT_EQ(angle, 90.0f);
  UObject* local = nullptr;
  uint8_t aspect = 0;
  ASSERT_TRUE(host::ReadPointerProperty(p.controller, L"Player", local));
  ASSERT_TRUE(host::ReadByteProperty(local, L"AspectRatioAxisConstraint", aspect));
  EXPECT_EQ(aspect, 1);
}

// A corridor: open for x in [0, 1000]; a wall at x = 600 blocks lines crossing it.
class CorridorNav final : public aps::INav {
 public:
  bool ProjectPoint(const aps::Vec3& p, aps::Vec3& out) override {
    ++projections;
    if (p.x < 0 || p.x > 1000) return false;
    out = {p.x, 0.0f, 5.0f};
    return true;
  }
  bool FindPath(const aps::Vec3&, const aps::Vec3&, aps::Route&) override { return false; }
  bool HasLineOfSight(const aps::Vec3& a, const aps::Vec3& b) override {
    return std::max(a.x, b.x) < 600 || std::min(a.x, b.x) > 600;
  }
  int projections = 0;
};

TEST_F(SimEngineTest, NavigationFunctionsAnswerThroughTheLevelNavigation) {
  UObject* navsys = world_.FindObject(kNavigationSystemPath);
  host::ParamLayout project, raycast;
  ASSERT_TRUE(host::BuildParamLayout(project, navsys, L"K2_ProjectPointToNavigation", {}));
  ASSERT_TRUE(host::BuildParamLayout(raycast, navsys, L"NavigationRaycast", {}));
  auto ray = [&](float fromX, float toX, aps::Vec3& hit) {
    host::ParamBlock block(raycast);
    block.SetVec3(L"RayStart", {fromX, 0, 0});
    block.SetVec3(L"RayEnd", {toX, 0, 0});
    block.Call(navsys);
    uint8_t blocked = 0xAA;
    block.GetByte(L"ReturnValue", blocked);
    block.GetVec3(L"HitLocation", hit);
    return blocked;
  };
  aps::Vec3 hit;
  EXPECT_EQ(ray(100, 900, hit), 0);  // no level: nothing blocks

  CorridorNav nav;
  world_.SetNavigation(&nav);
  EXPECT_EQ(ray(100, 500, hit), 0);
  EXPECT_EQ(hit.x, 500.0f);
  EXPECT_EQ(ray(100, 900, hit), 1);
  EXPECT_NEAR(hit.x, 600.0f, 5.0f);

  host::ParamBlock block(project);
  block.SetVec3(L"Point", {250, 40, 90});
  block.Call(navsys);
  uint8_t ok = 0;
  aps::Vec3 projected;
  ASSERT_TRUE(block.GetByte(L"ReturnValue", ok) && block.GetVec3(L"ProjectedLocation", projected));
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(projected.x, 250.0f);
  EXPECT_EQ(projected.z, 5.0f);
  EXPECT_EQ(nav.projections, 1);
  world_.SetNavigation(nullptr);
}

}  // namespace
}  // namespace kvr::sim
