// FindPathHook: what the navmesh's FindPath slots call once the mod is installed. The engine's
// own FindPath always runs first and its result record is always what the caller gets back;
// only on the game thread, under the state lock, may the path's points be reshaped.
#include <cstring>

#include "host/log.h"
#include "nav/engine_records.h"
#include "nav/hook_runtime.h"
#include "nav/navmesh_table.h"
#include "platform/clock.h"
#include "platform/fault_trap.h"

namespace kvr::game {

namespace {

constexpr const char* kFaultMessage =
    "a fault was caught inside path reshaping - reshaping disabled for this session (game "
    "unaffected)";

// Set while this thread is inside the hook, so a query issued from inside reshaping never
// tries to take the state lock a second time.
thread_local bool t_insideHook = false;

// The calling thread's id, asked of the system once per thread: the hook runs for every path
// query of every engine thread, and on some systems the question is a system call.
uint32_t ThisThreadId() {
  thread_local const uint32_t id = platform::CurrentThreadId();
  return id;
}

struct ReshapeCall {
  const PathReshaper& reshaper;
  void* result;
  const void* agent;
  const void* query;
};

// A fault while reshaping means the engine's memory is not what the mod believes it is: stop
// touching it for the rest of the process, and let the game go on with engine paths.
void DisableAfterFault(HookRuntime& rt) {
  ++rt.nav->pathHook.faultsCaught;
  ++rt.totalFaults;
  rt.reshapingDisabled = true;
  rt.pathSafetyStatus = kFaultMessage;
  Log(kFaultMessage);
}

}  // namespace

void* FindPathHook(void* result, const void* agent, const void* query) {
  HookRuntime* const served = PathHookRuntime();
  const FindPathFn engineFindPath =
      served ? served->nav->acceptedFindPath.load(std::memory_order_acquire) : nullptr;
  if (!engineFindPath) {
    // Only a slot hooked by a mod object that is gone can get here: with no engine function
    // to ask, the caller gets a plain failure rather than whatever its record held.
    if (result) std::memset(result, 0, engine::kPathResultSize);
    return result;
  }
  HookRuntime& rt = *served;
  void* const answer = engineFindPath(result, agent, query);
  // Inside the update (engine code it called plans a path) the state lock is already held by
  // this thread; waiting for it would never end.
  if (rt.shuttingDown || rt.gameExitSeen || t_insideHook || InsideUpdate()) return answer;
  if (ThisThreadId() != rt.tickGate.gameThreadId.load()) return answer;
  if (!rt.reshaper.reshape) return answer;

  std::lock_guard<std::mutex> lock(rt.stateLock);
  // Shutdown or the engine's exit may have come while this query waited for the lock: the mod
  // has stepped aside (and saved its last brain), so nothing may be decided, learnt or written.
  if (rt.shuttingDown || rt.gameExitSeen) return answer;
  t_insideHook = true;
  // The trap's body owns nothing: a fault abandons it where it stood, so its state lives in
  // ReshapeCall and in the path hook's own scratch routes.
  ReshapeCall call{rt.reshaper, result, agent, query};
  const platform::TrapResult outcome = platform::RunTrapped(
      [](void* c) {
        auto* call = static_cast<ReshapeCall*>(c);
        call->reshaper.reshape(call->reshaper.user, call->result, call->agent, call->query);
      },
      &call);
  t_insideHook = false;
  if (outcome != platform::TrapResult::kCompleted) DisableAfterFault(rt);
  return answer;
}

}  // namespace kvr::game
