#include "nav/engine_nav.h"

#include <atomic>
#include <cmath>

#include "game/game_state.h"
#include "nav/engine_records.h"

namespace kvr::game {

namespace {

// Drops the reference a FindPath result holds, the way the engine's shared pointers do: the
// path object goes with the last shared reference (controller slot 0), the controller itself
// with the last weak one (slot 1, argument 1). Both counts may be touched by engine threads.
void ReleasePathReference(void* controller) {
  if (!controller) return;
  using DestroyObject = void (*)(void* self);
  using DeleteSelf = void (*)(void* self, uint32_t flags);
  auto* bytes = static_cast<unsigned char*>(controller);
  auto* const* vtable = engine::ReadAt<void* const*>(controller, 0);
  std::atomic_ref<int32_t> shared(
      *reinterpret_cast<int32_t*>(bytes + engine::kControllerSharedCount));
  if (shared.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  reinterpret_cast<DestroyObject>(vtable[0])(controller);
  std::atomic_ref<int32_t> weak(*reinterpret_cast<int32_t*>(bytes + engine::kControllerWeakCount));
  if (weak.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  reinterpret_cast<DeleteSelf>(vtable[1])(controller, 1);
}

bool Finite(const aps::Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

class EngineNav final : public aps::INav {
 public:
  explicit EngineNav(const EngineNavContext& c) : c_(c) {}

  bool ProjectPoint(const aps::Vec3& point, aps::Vec3& projected) override {
    if (!c_.projectLayout || !c_.projectLayout->valid || !c_.navigationSystem) return false;
    host::ParamBlock block(*c_.projectLayout);
    block.SetObject(L"WorldContextObject", c_.worldContext);
    block.SetVec3(L"Point", point);
    block.SetObject(L"NavData", c_.navData);
    block.SetVec3(L"QueryExtent", c_.queryExtent);
    uint8_t ok = 0;
    aps::Vec3 out;
    if (!block.Call(c_.navigationSystem) || !block.GetByte(L"ReturnValue", ok) || !ok ||
        !block.GetVec3(L"ProjectedLocation", out) || !Finite(out))
      return false;
    projected = out;
    return true;
  }

  bool FindPath(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points) override {
    if (!c_.engineFindPath || !c_.query || !c_.agent) return false;
    // A plain byte copy: no engine copy operation runs, and nothing of it needs cleaning up.
    alignas(16) unsigned char query[engine::kPathQuerySize];
    std::memcpy(query, c_.query, sizeof query);
    engine::WriteAt(query, engine::kQueryStart, from);
    engine::WriteAt(query, engine::kQueryEnd, to);
    alignas(16) unsigned char result[engine::kPathResultSize] = {};
    c_.engineFindPath(result, c_.agent, query);

    const void* path = engine::ReadAt<void*>(result, engine::kResultPath);
    bool ok = engine::ReadAt<int32_t>(result, engine::kResultCode) == engine::kResultSuccess &&
              path && !engine::PathIsPartial(path);
    if (ok) {
      const engine::PathPoints array = engine::ReadPathPoints(path);
      ok = array.Usable();
      if (ok) {
        points.resize(static_cast<size_t>(array.count));
        std::memcpy(points.data(), array.points, points.size() * sizeof(aps::NavPoint));
      }
    }
    ReleasePathReference(engine::ReadAt<void*>(result, engine::kResultController));
    return ok;
  }

  bool HasLineOfSight(const aps::Vec3& from, const aps::Vec3& to) override {
    if (!c_.raycastLayout || !c_.raycastLayout->valid || !c_.navigationSystem) return false;
    host::ParamBlock block(*c_.raycastLayout);
    block.SetObject(L"WorldContextObject", c_.worldContext);
    block.SetVec3(L"RayStart", from);
    block.SetVec3(L"RayEnd", to);
    block.SetObject(L"Querier", c_.querier);
    uint8_t hit = 1;
    // The engine reports a hit as true: only a clear "no hit" is a line of sight.
    return block.Call(c_.navigationSystem) && block.GetByte(L"ReturnValue", hit) && hit == 0;
  }

 private:
  const EngineNavContext& c_;
};

}  // namespace

EngineNavContext MakeEngineNavContext(const GameState& game, const NavMeshRecord& record,
                                      const void* query, const void* agent, host::UObject* pawn,
                                      host::UObject* controller) {
  EngineNavContext c;
  c.query = query;
  c.agent = agent;
  c.worldContext = pawn;
  c.querier = controller;
  c.navData = record.navmesh;
  c.queryExtent = record.queryExtent;
  c.engineFindPath = record.savedFindPath;
  c.navigationSystem = game.navigationSystem;
  c.projectLayout = &game.projectLayout;
  c.raycastLayout = &game.raycastLayout;
  return c;
}

void WithEngineNav(const EngineNavContext& context, void (*use)(aps::INav& nav, void* user),
                   void* user) {
  EngineNav nav(context);
  use(nav, user);
}

}  // namespace kvr::game
