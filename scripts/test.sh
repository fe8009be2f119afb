#!/usr/bin/env bash
# Runs every test: the native suite (debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer), the Windows build under Wine, short fuzz runs and the stress run
# under ThreadSanitizer.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" || exit 1

passed=0
failed=0
count() { # log-file: adds the gtest totals of one run
  local p f
  p=$(grep -Eo '^\[  PASSED  \] [0-9]+' "$1" | grep -Eo '[0-9]+$' | tail -n 1)
  f=$(grep -Eo '^\[  FAILED  \] [0-9]+ tests?, listed below' "$1" | grep -Eo '[0-9]+' | tail -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
}
logs="$root/build/test-logs"
mkdir -p "$logs"

echo "== native build (debug, sanitizers)"
if cmake --preset debug >/dev/null && cmake --build --preset debug; then
  ASAN_OPTIONS=detect_leaks=1 ./build/debug/kvr-tests --gtest_color=no 2>&1 | tee "$logs/native.log"
  count "$logs/native.log"
  grep -q '^\[  PASSED  \]' "$logs/native.log" || failed=$((failed + 1))
else
  echo "native build FAILED"
  failed=$((failed + 1))
fi

echo "== Windows build (mingw-w64) and tests under Wine"
# Windows programs get a virtual screen (Xvfb with Mesa) when there is no display, as on CI.
screen=()
[ -n "${DISPLAY:-}" ] || screen=(xvfb-run -a -s "-screen 0 1600x1000x24")
if cmake --preset windows >/dev/null && cmake --build --preset windows; then
  (cd build/windows && "${screen[@]}" "$root/scripts/wine.sh" ./kvr-tests.exe --gtest_color=no) 2>&1 | tee "$logs/wine.log"
  count "$logs/wine.log"
  grep -q '^\[  PASSED  \]' "$logs/wine.log" || failed=$((failed + 1))
  if "$root/scripts/check-dll.sh" build/windows/main.dll; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
  # The player package, installed into a fresh Mods folder and loaded under Wine.
  if zip=$(KVR_NATIVE_BUILD="$root/build/debug" "$root/scripts/release.sh" "$root/build/package") &&
    "$root/scripts/check-release.sh" "$zip" build/windows; then
    passed=$((passed + 1))
  else
    echo "release package check FAILED"
    failed=$((failed + 1))
  fi
else
  echo "Windows build FAILED"
  failed=$((failed + 1))
fi

echo "== fuzz targets, a short run each (clang, libFuzzer with sanitizers)"
if cmake --preset fuzz >/dev/null && cmake --build --preset fuzz; then
  for target in build/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    work=$(mktemp -d)
    name=$(basename "$target")
    corpus="${name#fuzz_}"  # fuzz_brain_file reads fuzz/corpus/brain
    if "$target" -runs=20000 -max_total_time=60 "$work" "fuzz/corpus/${corpus%%_*}" >"$logs/$name.log" 2>&1; then
      echo "$name: $(grep -Eo 'Done [0-9]+ runs' "$logs/$name.log" | tail -n 1), no finding"
      passed=$((passed + 1))
    else
      tail -n 30 "$logs/$name.log"
      echo "$name: FAILED"
      failed=$((failed + 1))
    fi
    rm -rf "$work"
  done
else
  echo "fuzz build FAILED"
  failed=$((failed + 1))
fi

echo "== stress under ThreadSanitizer (30 s; scripts/stress.sh)"
# Every thread of the game on the mod at once; any race report or failed check fails it. The
# instrumented build of the mod and the simulator costs about 5.5 CPU minutes from cold.
if "$root/scripts/stress.sh" 30 >"$logs/stress.log" 2>&1; then
  grep -E '^(stress|game thread|engine threads|churn thread|render thread):' "$logs/stress.log"
  passed=$((passed + 1))
else
  tail -n 60 "$logs/stress.log"
  failed=$((failed + 1))
fi

echo
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
