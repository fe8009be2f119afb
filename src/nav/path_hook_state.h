// What the path hook keeps between queries: the live self-test of the engine's path memory and
// the counters and cost statistics the menu shows. Guarded by the state lock; reset only by a
// restart of the process.
#pragma once
#include <array>
#include <cstdint>

#include "aps/aps.h"
#include "aps/nav_memo.h"
#include "aps/reshape_outcome.h"

namespace kvr::game {

struct PathHookState {
  // Self-test of the path memory layout on live thug paths: pending, then enabled after three
  // passes or disabled (HookRuntime::reshapingDisabled) after five failures without a pass.
  int32_t selfTestPasses = 0;
  int32_t selfTestFailures = 0;
  bool reshapingEnabled = false;

  uint64_t hookCalls = 0;  // every call that reached the reshaping step
  std::array<uint64_t, aps::kReshapeOutcomeCount> outcomes{};  // indexed by ReshapeOutcome
  uint64_t faultsCaught = 0;                                   // faults inside reshaping

  // Builder cost over all arc attempts.
  double totalBuildMs = 0.0;
  double largestBuildMs = 0.0;
  double totalNavQueries = 0.0;  // asked by the builder
  double totalNavRepeats = 0.0;  // of those, answered by the build's memo, not the engine

  // Scratch routes of one reshape: the engine's points and the builder's result. Kept here,
  // not on the stack, because a fault inside reshaping abandons the call without running any
  // destructor; they also keep their capacity, so a steady game does not allocate per path.
  aps::Route engineRoute;
  aps::Route newRoute;
  aps::NavMemoStore navMemo;  // one build's answers, emptied at the start of each build
};

}  // namespace kvr::game
