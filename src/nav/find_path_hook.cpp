#include "host/mod_runtime.h"
#include "nav/navmesh_table.h"
#include "platform/clock.h"

namespace kvr::game {

namespace {
// Set while this thread is inside the hook, so a query issued from inside reshaping never
// tries to take the state lock a second time.
thread_local bool t_insideHook = false;
}  // namespace

void* FindPathHook(void* result, const void* agent, const void* query) {
  host::ModRuntime& rt = host::ModRuntime::Get();
  // The engine's own path always comes first, whatever happens afterwards.
  const FindPathFn engine = rt.game.acceptedFindPath.load(std::memory_order_acquire);
  void* const answer = engine ? engine(result, agent, query) : result;
  if (rt.shuttingDown || rt.gameExitSeen || t_insideHook) return answer;
  if (platform::CurrentThreadId() != rt.tickGate.gameThreadId.load()) return answer;
  // Reshaping of thug paths hangs off here (game thread, state lock, re-entry flag set).
  return answer;
}

}  // namespace kvr::game
