#include "host/mod_runtime.h"
#include "nav/navmesh_table.h"

namespace kvr::game {

void InstallNavHooks(host::ModRuntime& /*rt*/, NavMeshRecord& /*record*/) {
  // Navmeshes are recorded and watched; their slots are left as the engine made them until the
  // verified installer is in place.
}

}  // namespace kvr::game
