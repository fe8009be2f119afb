// The arc builder's navigation (aps::INav) on the engine's own navigation, for one reshape:
//   ProjectPoint    K2_ProjectPointToNavigation on the navigation system, with the navmesh
//                   and its query extent;
//   FindPath        the navmesh's own FindPath (the pointer saved before hooking, so a leg never
//                   re-enters the hook) with a byte copy of the query being reshaped;
//   HasLineOfSight  NavigationRaycast, which reports a hit as true.
// Every failure (missing layout, no navigation system, failed query, non-finite projection) is
// a plain false.
//
// The navigation object itself is internal: it lives on the stack of WithEngineNav for exactly
// one use and owns nothing. Game thread only, inside the path hook under the state lock.
#pragma once
#include <type_traits>

#include "aps/aps.h"
#include "host/reflection.h"
#include "nav/navmesh_table.h"

namespace kvr::game {

struct NavState;

// Everything one reshape's navigation borrows; nothing is owned.
struct EngineNavContext {
  const void* query = nullptr;            // the engine's PathQuery being reshaped (read only)
  const void* agent = nullptr;            // its AgentProperties
  host::UObject* worldContext = nullptr;  // the thug's pawn
  host::UObject* querier = nullptr;       // the thug's controller
  host::UObject* navData = nullptr;       // the navmesh the query runs on
  aps::Vec3 queryExtent{50.0f, 50.0f, 250.0f};
  FindPathFn engineFindPath = nullptr;  // the engine's own, never the hooked slot
  host::UObject* navigationSystem = nullptr;
  const host::ParamLayout* projectLayout = nullptr;
  const host::ParamLayout* raycastLayout = nullptr;
};

// The context of a reshape on `record`'s navmesh, with the navigation system and layouts the
// per-frame update found.
EngineNavContext MakeEngineNavContext(const NavState& nav, const NavMeshRecord& record,
                                      const void* query, const void* agent, host::UObject* pawn,
                                      host::UObject* controller);

// Runs `use` with an engine navigation over `context`.
void WithEngineNav(const EngineNavContext& context, void (*use)(aps::INav& nav, void* user),
                   void* user);

template <typename F>
void WithEngineNav(const EngineNavContext& context, F&& use) {
  WithEngineNav(
      context,
      [](aps::INav& nav, void* user) { (*static_cast<std::remove_reference_t<F>*>(user))(nav); },
      const_cast<void*>(static_cast<const void*>(&use)));
}

}  // namespace kvr::game
