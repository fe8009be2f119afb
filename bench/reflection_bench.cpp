// The per-frame costs of reflection access against the simulated engine: a cached property read,
// a layout build, and one engine function call through the stack-block pattern.
#include <benchmark/benchmark.h>

#include "host/reflection.h"
#include "sim/game_classes.h"
#include "sim/game_objects.h"

namespace {

using namespace kvr;

struct Scene {
  sim::World world;
  sim::GameClasses game = sim::RegisterGameClasses(world);
  sim::ThugObjects thug =
      sim::SpawnThug(world, game, *game.bossAIController, *game.bossThug, L"Thug", {1, 2, 3});
  Scene() { host::SetHost(&world); }
  ~Scene() { host::SetHost(nullptr); }
};

class FlatNav final : public aps::INav {
 public:
  bool ProjectPoint(const aps::Vec3& p, aps::Vec3& out) override {
    out = {p.x, p.y, 0};
    return true;
  }
  bool FindPath(const aps::Vec3&, const aps::Vec3&, aps::Route&) override { return false; }
  bool HasLineOfSight(const aps::Vec3&, const aps::Vec3&) override { return true; }
};

void BM_ReadThugState(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    float health = 0, max = 0;
    bool alive = false;
    aps::Vec3 location;
    host::UObject* root = nullptr;
    host::ReadFloatProperty(scene.thug.pawn, L"Health", health);
    host::ReadFloatProperty(scene.thug.pawn, L"MaxHealth", max);
    host::ReadBoolProperty(scene.thug.pawn, L"bIsAlive", alive);
    host::ReadPointerProperty(scene.thug.pawn, L"RootComponent", root);
    host::ReadVec3Property(root, L"RelativeLocation", location);
    benchmark::DoNotOptimize(health + max + location.x + alive);
  }
  state.SetItemsProcessed(state.iterations() * 5);
}
BENCHMARK(BM_ReadThugState);

void BM_BuildRaycastLayout(benchmark::State& state) {
  Scene scene;
  host::UObject* navsys = scene.world.FindObject(sim::kNavigationSystemPath);
  host::ParamLayout layout;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        host::BuildParamLayout(layout, navsys, L"NavigationRaycast",
                               {L"WorldContextObject", L"RayStart", L"RayEnd", L"HitLocation",
                                L"FilterClass", L"Querier", L"ReturnValue"}));
  }
}
BENCHMARK(BM_BuildRaycastLayout);

void BM_ProjectPointCall(benchmark::State& state) {
  Scene scene;
  FlatNav nav;
  scene.world.SetNavigation(&nav);
  host::UObject* navsys = scene.world.FindObject(sim::kNavigationSystemPath);
  host::ParamLayout layout;
  host::BuildParamLayout(layout, navsys, L"K2_ProjectPointToNavigation", {});
  for (auto _ : state) {
    host::ParamBlock block(layout);
    block.SetObject(L"WorldContextObject", scene.thug.pawn);
    block.SetVec3(L"Point", {10, 20, 30});
    block.SetVec3(L"QueryExtent", {50, 50, 250});
    block.Call(navsys);
    aps::Vec3 out;
    block.GetVec3(L"ProjectedLocation", out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_ProjectPointCall);

}  // namespace
