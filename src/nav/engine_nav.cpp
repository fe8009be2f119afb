#include "nav/engine_nav.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "nav/engine_records.h"
#include "nav/hook_runtime.h"

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

// One engine function called through ProcessEvent with its parameter offsets looked up once,
// when the navigation for a reshape is made, rather than by name on each of the build's calls.
// Unusable (every call fails) when the layout is not valid or a parameter is missing or would
// not fit the block.
class BoundCall {
 public:
  struct Param {
    std::wstring_view name;
    int32_t bytes;
  };
  static constexpr int kMaxParams = 6;

  BoundCall(const host::ParamLayout* layout, host::UObject* target,
            std::initializer_list<Param> params)
      : layout_(layout), target_(target) {
    valid_ = layout && layout->valid && target && params.size() <= kMaxParams;
    int i = 0;
    for (const Param& p : params) {
      if (!valid_) break;
      const int32_t offset = host::ParamOffset(*layout, p.name);
      valid_ = offset >= 0 && static_cast<int64_t>(offset) + p.bytes <= layout->size;
      offsets_[i++] = offset;
    }
  }
  bool Valid() const { return valid_; }

  // A zeroed block: parameters nobody writes (FilterClass) stay zero, the engine's default.
  void Begin() { std::memset(block_, 0, layout_->size); }
  template <typename T>
  void Put(int param, const T& value) {
    std::memcpy(block_ + offsets_[param], &value, sizeof value);
  }
  template <typename T>
  T Get(int param) const {
    T value;
    std::memcpy(&value, block_ + offsets_[param], sizeof value);
    return value;
  }
  bool Call() {
    host::IHost* h = host::Host();
    if (!h) return false;
    h->ProcessEvent(target_, layout_->function, block_);
    return true;
  }

 private:
  const host::ParamLayout* layout_;
  host::UObject* target_;
  bool valid_ = false;
  int32_t offsets_[kMaxParams] = {};
  alignas(16) unsigned char block_[host::kMaxParamBlock];
};

class EngineNav final : public aps::INav {
 public:
  explicit EngineNav(const EngineNavContext& c)
      : c_(c),
        project_(c.projectLayout, c.navigationSystem,
                 {{L"WorldContextObject", 8},
                  {L"Point", 12},
                  {L"NavData", 8},
                  {L"QueryExtent", 12},
                  {L"ProjectedLocation", 12},
                  {L"ReturnValue", 1}}),
        raycast_(c.raycastLayout, c.navigationSystem,
                 {{L"WorldContextObject", 8},
                  {L"RayStart", 12},
                  {L"RayEnd", 12},
                  {L"Querier", 8},
                  {L"ReturnValue", 1}}) {}

  bool ProjectPoint(const aps::Vec3& point, aps::Vec3& projected) override {
    enum { kWorld, kPoint, kNavData, kExtent, kProjected, kReturn };
    if (!project_.Valid()) return false;
    project_.Begin();
    project_.Put(kWorld, c_.worldContext);
    project_.Put(kPoint, point);
    project_.Put(kNavData, c_.navData);
    project_.Put(kExtent, c_.queryExtent);
    if (!project_.Call() || project_.Get<uint8_t>(kReturn) == 0) return false;
    const aps::Vec3 out = project_.Get<aps::Vec3>(kProjected);
    if (!Finite(out)) return false;
    projected = out;
    return true;
  }

  bool FindPath(const aps::Vec3& from, const aps::Vec3& to, aps::Route& points) override {
    if (!c_.engineFindPath || !c_.query || !c_.agent) return false;
    // A plain byte copy: no engine copy operation runs, and nothing of it needs cleaning up.
    alignas(16) unsigned char query[engine::kPathQuerySize];
    std::memcpy(query, c_.query, sizeof query);
    // A re-plan's query names the thug's own path object to fill: a leg must get a path of its
    // own, or each leg would overwrite the path being reshaped (and a build that finds no arc
    // would leave the last leg in it). Zeroed, the copied shared pointer holds nothing, so
    // dropping the copy without the engine's clean-up stays right.
    std::memset(query + engine::kQueryPathToFill, 0, engine::kQueryPathToFillSize);
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
    enum { kWorld, kStart, kEnd, kQuerier, kReturn };
    if (!raycast_.Valid()) return false;
    raycast_.Begin();
    raycast_.Put(kWorld, c_.worldContext);
    raycast_.Put(kStart, from);
    raycast_.Put(kEnd, to);
    raycast_.Put(kQuerier, c_.querier);
    // The engine reports a hit as true: only a clear "no hit" is a line of sight.
    return raycast_.Call() && raycast_.Get<uint8_t>(kReturn) == 0;
  }

 private:
  const EngineNavContext& c_;
  BoundCall project_;
  BoundCall raycast_;
};

}  // namespace

EngineNavContext MakeEngineNavContext(const NavState& nav, const NavMeshRecord& record,
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
  c.navigationSystem = nav.navigationSystem;
  c.projectLayout = &nav.projectLayout;
  c.raycastLayout = &nav.raycastLayout;
  return c;
}

void WithEngineNav(const EngineNavContext& context, void (*use)(aps::INav& nav, void* user),
                   void* user) {
  EngineNav nav(context);
  use(nav, user);
}

}  // namespace kvr::game
