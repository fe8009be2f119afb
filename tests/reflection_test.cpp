// Reflection access against the simulated engine: the property cache, typed reads at reflected
// offsets, parameter layouts and the call pattern.
#include <gtest/gtest.h>

#include <cmath>

#include "host/reflection.h"
#include "sim/game_classes.h"
#include "sim/game_objects.h"

namespace kvr::host {
namespace {

using sim::World;

class ReflectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = sim::RegisterGameClasses(world_);
    SetHost(&world_);
  }
  void TearDown() override { SetHost(nullptr); }

  World world_;
  sim::GameClasses game_;
};

TEST_F(ReflectionTest, MissingPropertyIsAskedOnceThenAnsweredFromCache) {
  UObject* pawn = world_.Spawn(*game_.thug, L"Thug");
  PropertyCache& cache = GlobalPropertyCache();
  const uint64_t before = cache.EngineLookups();
  EXPECT_EQ(FindPropertyCached(pawn, L"NoSuchProperty"), nullptr);
  EXPECT_EQ(cache.EngineLookups(), before + 1);
  // The engine now has the property, but the cached miss still answers: the engine is not
  // asked again for this class.
  game_.thug->AddFloat(L"NoSuchProperty");
  EXPECT_EQ(FindPropertyCached(pawn, L"NoSuchProperty"), nullptr);
  EXPECT_EQ(cache.EngineLookups(), before + 1);
  // Another class is another key.
  UObject* movement = world_.Spawn(*game_.movementComponent, L"Movement");
  EXPECT_EQ(FindPropertyCached(movement, L"NoSuchProperty"), nullptr);
  EXPECT_EQ(cache.EngineLookups(), before + 2);
}

TEST_F(ReflectionTest, SameNameOnTwoClassesKeepsEachOffset) {
  sim::Class& a = world_.DefineClass(L"/Script/Test", L"TestA", game_.object);
  a.AddInt32(L"Padding");
  a.AddFloat(L"Health");
  sim::Class& b = world_.DefineClass(L"/Script/Test", L"TestB", game_.object);
  b.AddObject(L"Something");
  b.AddInt32(L"Other");
  b.AddFloat(L"Health");
  UObject* objectA = world_.Spawn(a, L"A");
  UObject* objectB = world_.Spawn(b, L"B");
  *world_.Field<float>(objectA, L"Health") = 11.0f;
  *world_.Field<float>(objectB, L"Health") = 22.0f;

  FProperty* pa = FindPropertyCached(objectA, L"Health");
  FProperty* pb = FindPropertyCached(objectB, L"Health");
  ASSERT_NE(pa, nullptr);
  ASSERT_NE(pb, nullptr);
  EXPECT_NE(world_.GetOffset(pa), world_.GetOffset(pb));
  float health = 0;
  ASSERT_TRUE(ReadFloatProperty(objectA, L"Health", health));
  EXPECT_EQ(health, 11.0f);
  ASSERT_TRUE(ReadFloatProperty(objectB, L"Health", health));
  EXPECT_EQ(health, 22.0f);
  // Read again in the other order: still each class's own entry.
  ASSERT_TRUE(ReadFloatProperty(objectA, L"Health", health));
  EXPECT_EQ(health, 11.0f);
}

TEST_F(ReflectionTest, ReadsFollowObjectReferencesAndKeepOutputsOnMisses) {
  sim::ThugObjects thug = sim::SpawnThug(world_, game_, *game_.baseAIController, *game_.thug,
                                         L"Thug", {100.0f, -200.0f, 30.0f});
  UObject* pawn = nullptr;
  ASSERT_TRUE(ReadPointerProperty(thug.controller, L"Pawn", pawn));
  EXPECT_EQ(pawn, thug.pawn);
  UObject* root = nullptr;
  ASSERT_TRUE(ReadPointerProperty(pawn, L"RootComponent", root));
  aps::Vec3 location;
  ASSERT_TRUE(ReadVec3Property(root, L"RelativeLocation", location));
  EXPECT_EQ(location.x, 100.0f);
  EXPECT_EQ(location.y, -200.0f);
  EXPECT_EQ(location.z, 30.0f);

  float value = 7.0f;
  EXPECT_FALSE(ReadFloatProperty(pawn, L"Stamina", value));
  EXPECT_EQ(value, 7.0f);
  EXPECT_FALSE(ReadFloatProperty(nullptr, L"Health", value));
  UObject* none = pawn;
  EXPECT_FALSE(ReadPointerProperty(root, L"Pawn", none));
  EXPECT_EQ(none, pawn);
  // Defaults come from the class default object chain.
  ASSERT_TRUE(ReadFloatProperty(pawn, L"DangerFearDodgingTreshold", value));
  EXPECT_EQ(value, 1.0f);
}

TEST_F(ReflectionTest, BoolPropertiesUseByteOffsetAndFieldMask) {
  UObject* movement = world_.Spawn(*game_.movementComponent, L"Movement");
  FProperty* rvo = FindPropertyCached(movement, L"bUseRVOAvoidance");
  ASSERT_NE(rvo, nullptr);
  // A bitfield past the first byte: both the byte offset and the mask matter.
  EXPECT_EQ(world_.GetBoolByteOffset(rvo), 1);
  EXPECT_EQ(world_.GetBoolFieldMask(rvo), 0x02);

  bool on = true;
  ASSERT_TRUE(ReadBoolProperty(movement, L"bUseRVOAvoidance", on));
  EXPECT_FALSE(on);
  // Every neighbouring flag set: the avoidance flag still reads false.
  for (const wchar_t* flag : {L"bOrientRotationToMovement", L"bForceMaxAccel",
                              L"bCanWalkOffLedgesWhenCrouching", L"bNetworkSkipProxyPrediction"}) {
    ASSERT_TRUE(world_.SetBool(movement, flag, true));
  }
  ASSERT_TRUE(ReadBoolProperty(movement, L"bUseRVOAvoidance", on));
  EXPECT_FALSE(on);
  ASSERT_TRUE(WriteBoolProperty(movement, L"bUseRVOAvoidance", true));
  EXPECT_TRUE(world_.GetBool(movement, L"bUseRVOAvoidance"));
  EXPECT_TRUE(world_.GetBool(movement, L"bNetworkSkipProxyPrediction"));
  ASSERT_TRUE(WriteBoolProperty(movement, L"bUseRVOAvoidance", false));
  EXPECT_FALSE(world_.GetBool(movement, L"bUseRVOAvoidance"));
  EXPECT_TRUE(world_.GetBool(movement, L"bForceMaxAccel"));
  // A property that is not a bool is no bool, whatever its bytes hold.
  EXPECT_FALSE(ReadBoolProperty(movement, L"AvoidanceWeight", on));
  EXPECT_FALSE(WriteBoolProperty(movement, L"AvoidanceWeight", true));

  // A plain bool takes the whole byte.
  UObject* boss = world_.Spawn(*game_.bossThug, L"Boss");
  FProperty* isBoss = FindPropertyCached(boss, L"IsBoss");
  ASSERT_NE(isBoss, nullptr);
  EXPECT_EQ(world_.GetBoolFieldMask(isBoss), 0xFF);
  ASSERT_TRUE(ReadBoolProperty(boss, L"IsBoss", on));
  EXPECT_TRUE(on);
}

class ParamLayoutTest : public ReflectionTest {
 protected:
  // A function with the raycast's parameters, minus any listed in `skip`.
  sim::Function& DefineRaycastLike(std::wstring_view name, std::wstring_view skip) {
    if (!testClass_) {
      testClass_ = &world_.DefineClass(L"/Script/Test", L"LayoutOwner", game_.object);
      world_.CreateDefaultObject(*testClass_);
    }
    sim::Function& f = world_.DefineFunction(*testClass_, name);
    for (const wchar_t* p : {L"WorldContextObject", L"FilterClass", L"Querier"}) {
      if (skip != p) f.AddObject(p);
    }
    for (const wchar_t* p : {L"RayStart", L"RayEnd", L"HitLocation"}) {
      if (skip != p) f.AddStruct(p, world_.VectorStruct());
    }
    f.AddBool(L"ReturnValue");
    f.Seal();
    return f;
  }
  UObject* Owner() { return testClass_->defaultObject; }

  sim::Class* testClass_ = nullptr;
};

TEST_F(ParamLayoutTest, BlockSizeMustBeOneTo512) {
  sim::Function& f = DefineRaycastLike(L"Cast", L"");
  const auto required = {std::wstring_view(L"RayStart"), std::wstring_view(L"ReturnValue")};
  ParamLayout layout;
  EXPECT_TRUE(BuildParamLayout(layout, Owner(), L"Cast", required));

  f.parmsSize = 600;  // every name present, but too large for a stack block
  EXPECT_FALSE(BuildParamLayout(layout, Owner(), L"Cast", required));
  EXPECT_FALSE(layout.valid);
  EXPECT_EQ(layout.size, 600);
  EXPECT_NE(layout.function, nullptr);

  f.parmsSize = 512;
  EXPECT_TRUE(BuildParamLayout(layout, Owner(), L"Cast", required));
  f.parmsSize = 513;
  EXPECT_FALSE(BuildParamLayout(layout, Owner(), L"Cast", required));
  f.parmsSize = 0;
  EXPECT_FALSE(BuildParamLayout(layout, Owner(), L"Cast", required));
}

TEST_F(ParamLayoutTest, MissingRequiredNameOrFunctionIsInvalid) {
  DefineRaycastLike(L"CastWithoutHit", L"HitLocation");
  ParamLayout layout;
  EXPECT_FALSE(BuildParamLayout(layout, Owner(), L"CastWithoutHit",
                                {L"WorldContextObject", L"RayStart", L"RayEnd", L"HitLocation",
                                 L"FilterClass", L"Querier", L"ReturnValue"}));
  EXPECT_FALSE(layout.valid);
  EXPECT_GE(ParamOffset(layout, L"RayEnd"), 0);
  EXPECT_EQ(ParamOffset(layout, L"HitLocation"), -1);
  EXPECT_EQ(ParamOffset(layout, L"NotAParameter"), -1);

  EXPECT_FALSE(BuildParamLayout(layout, Owner(), L"NoSuchFunction", {}));
  EXPECT_EQ(layout.function, nullptr);
  EXPECT_FALSE(BuildParamLayout(layout, nullptr, L"CastWithoutHit", {}));
  // A failed build leaves nothing of an earlier one behind.
  EXPECT_TRUE(layout.offsets.empty());
  EXPECT_EQ(layout.size, 0);
}

TEST_F(ParamLayoutTest, NavigationLayoutsMatchTheEngineBlocks) {
  UObject* navsys = world_.FindObject(sim::kNavigationSystemPath);
  ASSERT_NE(navsys, nullptr);
  ParamLayout project, raycast;
  ASSERT_TRUE(BuildParamLayout(project, navsys, L"K2_ProjectPointToNavigation",
                               {L"WorldContextObject", L"Point", L"NavData", L"FilterClass",
                                L"QueryExtent", L"ProjectedLocation", L"ReturnValue"}));
  ASSERT_TRUE(BuildParamLayout(raycast, navsys, L"NavigationRaycast",
                               {L"WorldContextObject", L"RayStart", L"RayEnd", L"HitLocation",
                                L"FilterClass", L"Querier", L"ReturnValue"}));
  EXPECT_EQ(project.size, 0x40);
  EXPECT_EQ(ParamOffset(project, L"ReturnValue"), 0x3C);
  EXPECT_EQ(raycast.size, 0x48);
  EXPECT_EQ(ParamOffset(raycast, L"Querier"), 0x38);
}

// A flat floor at z = 0 for |x|, |y| < 1000 with a wall along x = 500.
class FloorNav final : public aps::INav {
 public:
  bool ProjectPoint(const aps::Vec3& p, aps::Vec3& out) override {
    if (std::fabs(p.x) >= 1000 || std::fabs(p.y) >= 1000) return false;
    out = {p.x, p.y, 0.0f};
    return true;
  }
  bool FindPath(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points) override {
    return false;
  }
  bool HasLineOfSight(const aps::Vec3& a, const aps::Vec3& b) override {
    return (a.x < 500) == (b.x < 500);
  }
};

TEST_F(ParamLayoutTest, CallPatternRunsTheEngineFunctionOnAStackBlock) {
  UObject* navsys = world_.FindObject(sim::kNavigationSystemPath);
  ParamLayout project;
  ASSERT_TRUE(BuildParamLayout(project, navsys, L"K2_ProjectPointToNavigation",
                               {L"Point", L"ProjectedLocation", L"ReturnValue"}));
  FloorNav nav;
  auto projectPoint = [&](const aps::Vec3& point, aps::Vec3& out) {
    ParamBlock block(project);
    EXPECT_TRUE(block.SetVec3(L"Point", point));
    EXPECT_TRUE(block.SetVec3(L"QueryExtent", {50, 50, 250}));
    EXPECT_TRUE(block.Call(navsys));
    uint8_t ok = 0;
    EXPECT_TRUE(block.GetByte(L"ReturnValue", ok));
    EXPECT_TRUE(block.GetVec3(L"ProjectedLocation", out));
    return ok != 0;
  };
  aps::Vec3 out;
  EXPECT_FALSE(projectPoint({10, 20, 30}, out));  // no level loaded
  world_.SetNavigation(&nav);
  ASSERT_TRUE(projectPoint({10, 20, 30}, out));
  EXPECT_EQ(out.x, 10.0f);
  EXPECT_EQ(out.z, 0.0f);
  EXPECT_FALSE(projectPoint({5000, 0, 0}, out));

  ParamBlock block(project);
  EXPECT_FALSE(block.SetVec3(L"NoSuchParameter", {}));
  EXPECT_FALSE(block.SetVec3(L"ReturnValue", {}));  // would run past the block's end
  ParamLayout invalid;
  ParamBlock never(invalid);
  EXPECT_FALSE(never.Call(navsys));
}

TEST(ReflectionWithoutHost, EverythingMisses) {
  SetHost(nullptr);
  int dummy[16] = {};
  auto* object = reinterpret_cast<UObject*>(dummy);
  EXPECT_EQ(FindPropertyCached(object, L"Health"), nullptr);
  float value = 3.0f;
  EXPECT_FALSE(ReadFloatProperty(object, L"Health", value));
  ParamLayout layout;
  EXPECT_FALSE(BuildParamLayout(layout, object, L"Anything", {}));
}

}  // namespace
}  // namespace kvr::host
