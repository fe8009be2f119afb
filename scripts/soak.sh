#!/usr/bin/env bash
# The soak: the living arena with 32 thugs for SIMULATED_HOURS (default 24) with the mod as a
# long session sees it - controllers and pawns churn, the brain autosaves, the master switch
# flips every simulated ten minutes and the mod is hot-reloaded (uninstalled and started again,
# its brain saved and loaded) every simulated hour. Fails unless resident memory grows at most
# 2% from the end of the first hour to the end, handles and threads stay flat, brain.kvrb keeps
# one size, every episode judged is an episode end in the log and the log grows by a bounded
# number of bytes per hour.
#
#   scripts/soak.sh [SIMULATED_HOURS] [--wine]
#
# Natively it runs the release build of kvr-sim (sanitizer builds hold freed memory back, which
# would read as growth); with --wine the Windows build's kvr-sim.exe under Wine, which reads its
# figures from Windows itself. The mod folder is a fresh temporary one.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
hours=24
wine=0
for arg in "$@"; do
  case "$arg" in
    --wine) wine=1 ;;
    ''|*[!0-9]*) echo "usage: scripts/soak.sh [SIMULATED_HOURS] [--wine]" >&2; exit 2 ;;
    *) hours=$arg ;;
  esac
done
"$root/scripts/deps.sh" >/dev/null || exit 1
mod=$(mktemp -d)
trap 'rm -rf "$mod"' EXIT
logs="$root/build/test-logs"
mkdir -p "$logs"
log="$logs/soak$([ "$wine" -eq 1 ] && echo -wine).log"

if [ "$wine" -eq 1 ]; then
  cmake --preset windows >/dev/null && cmake --build --preset windows --target kvr-sim kvr_mod ||
    exit 1
  (cd build/windows && "$root/scripts/wine.sh" ./kvr-sim.exe soak --hours "$hours" \
    --mod-dir "Z:$mod") 2>&1 | tr -d '\r' | tee "$log"
else
  cmake --preset release >/dev/null && cmake --build --preset release --target kvr-sim kvr_mod ||
    exit 1
  ./build/release/kvr-sim soak --hours "$hours" --mod-dir "$mod" 2>&1 | tee "$log"
fi
status=${PIPESTATUS[0]}
last=$(tail -n 1 "$log")
if [ "$status" -eq 0 ] && [[ "$last" =~ ^soak:\ passed,\ $hours\ simulated\ hours,\ resident\ memory\ [0-9.]+\ MiB\ after\ the\ first\ hour,\ [0-9.]+\ MiB\ at\ the\ end$ ]]; then
  exit 0
fi
echo "soak: FAILED (kvr-sim exited with $status; see $log)"
exit 1
