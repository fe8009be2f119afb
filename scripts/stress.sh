#!/usr/bin/env bash
# The stress run under ThreadSanitizer: builds kvr-stress with the tsan preset (the mod, the
# simulated engine, Dear ImGui and Recast/Detour all instrumented) and runs it for N seconds
# (default 30): the game thread ticking the mod's update with routes reshaped, two engine
# threads planning through the hooked navmesh slots, a thread destroying and creating thugs,
# and a render thread copying the menu snapshot and the settings, drawing the menu, raising
# the menu's requests and flipping the master switch. Fails on any race report (the first one
# stops the run) and on any failed check of what happened.
#
#   scripts/stress.sh [SECONDS] [more kvr-stress options]
#
# No suppressions: every report is about our code or the code we build. ASLR needs no help on
# this machine (vm.mmap_rnd_bits = 28); a kernel with more randomness than the runtime's memory
# layout allows makes TSan stop with "unexpected memory mapping", and then the run is retried
# once without address randomisation (setarch -R).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-30}
[ $# -gt 0 ] && shift
"$root/scripts/deps.sh" >/dev/null || exit 1
cmake --preset tsan >/dev/null && cmake --build --preset tsan || exit 1

export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
log="$root/build/tsan/stress.log"
echo "== ./build/tsan/kvr-stress --seconds $seconds $* (TSAN_OPTIONS=$TSAN_OPTIONS)"
./build/tsan/kvr-stress --seconds "$seconds" "$@" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ] && grep -q "unexpected memory mapping" "$log"; then
  echo "== ThreadSanitizer cannot map its memory with this ASLR; again without randomisation"
  setarch "$(uname -m)" -R ./build/tsan/kvr-stress --seconds "$seconds" "$@" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
fi
if grep -q "WARNING: ThreadSanitizer" "$log"; then
  echo "stress: ThreadSanitizer reported (see $log)"
  exit 1
fi
[ "$status" -eq 0 ] && echo "stress: passed, no ThreadSanitizer report" || echo "stress: FAILED ($status)"
exit "$status"
