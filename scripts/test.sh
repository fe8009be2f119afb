#!/usr/bin/env bash
# Runs every test: the native suite (debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer), short fuzz runs, the Windows build under Wine with the DLL and
# player package checks, and the stress run under ThreadSanitizer.
#
#   scripts/test.sh [STAGE...]   stages: native fuzz wine stress (default: all, in that order)
#
# Each stage builds what it runs, then runs it. The builds run one after the other with both
# cores; a stage's tests run in the background while the next stage builds (the tests mostly
# use one core), one stage's tests at a time. Test output is kept in build/test-logs/ and
# printed whole, stage by stage, so that it never interleaves. A compiler or linker warning in a
# build counts as a failed test. The closing lines give each stage's times and the totals.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh" || exit 1

logs="$root/build/test-logs"
rm -rf "$logs"
mkdir -p "$logs"

# --- the stages: name, build command, run command (one line each) -----------------------------
all_stages=()
declare -A stage_build stage_run
stage() { all_stages+=("$1"); stage_build[$1]=$2; stage_run[$1]=$3; }
stage native "build native debug" run_native
stage fuzz "build fuzz fuzz" run_fuzz
stage wine "build_wine" run_wine
stage soak "build soak release kvr-sim kvr_mod" run_soak
stage stress "build stress tsan" "run_script stress scripts/stress.sh 30"

# --- counting (run commands run in a subshell; they report through $result) -------------------
passed=0
failed=0
count() { # log-file: adds the gtest totals of one run
  local p f
  p=$(grep -Eo '^\[  PASSED  \] [0-9]+' "$1" | grep -Eo '[0-9]+$' | tail -n 1)
  f=$(grep -Eo '^\[  FAILED  \] [0-9]+ tests?, listed below' "$1" | grep -Eo '[0-9]+' | tail -n 1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  grep -q '^\[  PASSED  \]' "$1" || failed=$((failed + 1))
}
verdict() { # status: one passed or failed check
  if [ "$1" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

# --- builds -------------------------------------------------------------------------------------
# build STAGE PRESET [TARGET...]: configures and builds; warnings fail the stage's build check.
build() {
  local stage=$1 preset=$2 log="$logs/build-$1-$2.log" targets=()
  shift 2
  [ $# -gt 0 ] && targets=(--target "$@")
  echo "== $stage: build ($preset preset${targets:+: $*})"
  cmake --preset "$preset" >"$log" 2>&1 && cmake --build --preset "$preset" "${targets[@]}" 2>&1 |
    tee -a "$log" | grep -Ev '^\[[0-9]+/[0-9]+\] '
  local status=${PIPESTATUS[0]}
  [ "$status" -eq 0 ] || { tail -n 40 "$log"; echo "$stage: $preset build FAILED"; return 1; }
  warnings "$preset" "$log"
}

# The compilers (GCC, clang, mingw-w64 GCC) and linkers all say "warning:"; the third-party
# libraries are built with -w. A fresh build must print none.
warnings() { # preset log
  local found
  found=$(grep -E 'warning:' "$2" | grep -v '^ninja: ')
  if [ -n "$found" ]; then
    echo "$found" | head -n 20
    echo "$1 build: $(grep -c . <<<"$found") warning line(s) (see $2)"
    echo 1 >>"$logs/build-warnings"
  fi
  return 0
}

# The Windows build: main.dll, the Windows test program and kvr-sim.exe (the player package
# check boots it); the native kvr-config writes the package's config.ini.
build_wine() {
  build wine windows kvr-tests kvr_mod kvr-sim &&
    build wine debug kvr-config
}

# --- runs ---------------------------------------------------------------------------------------
run_native() {
  ASAN_OPTIONS=detect_leaks=1 ./build/debug/kvr-tests --gtest_color=no >"$logs/native.log" 2>&1
  cat "$logs/native.log"
  count "$logs/native.log"
}

run_wine() {
  # Windows programs get a virtual screen (Xvfb with Mesa) when there is no display, as on CI.
  local screen=()
  [ -n "${DISPLAY:-}" ] || screen=(xvfb-run -a -s "-screen 0 1600x1000x24")
  (cd build/windows && "${screen[@]}" "$root/scripts/wine.sh" ./kvr-tests.exe --gtest_color=no) \
    >"$logs/wine.log" 2>&1
  cat "$logs/wine.log"
  count "$logs/wine.log"
  "$root/scripts/check-dll.sh" build/windows/main.dll
  verdict $?
  # The player package, installed into a fresh Mods folder and loaded under Wine.
  local zip
  if zip=$(KVR_NATIVE_BUILD="$root/build/debug" "$root/scripts/release.sh" "$root/build/package") &&
    "$root/scripts/check-release.sh" "$zip" build/windows; then
    verdict 0
  else
    echo "release package check FAILED"
    verdict 1
  fi
}

run_fuzz() { # a short run of each target (clang, libFuzzer with sanitizers)
  local target work name corpus
  for target in build/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    work=$(mktemp -d)
    name=$(basename "$target")
    corpus="${name#fuzz_}" # fuzz_brain_file reads fuzz/corpus/brain
    if "$target" -runs=20000 -max_total_time=60 "$work" "fuzz/corpus/${corpus%%_*}" >"$logs/$name.log" 2>&1; then
      echo "$name: $(grep -Eo 'Done [0-9]+ runs' "$logs/$name.log" | tail -n 1), no finding"
      verdict 0
    else
      tail -n 30 "$logs/$name.log"
      echo "$name: FAILED"
      verdict 1
    fi
    rm -rf "$work"
  done
}

# One simulated hour of the soak natively, then under Wine (which builds what it lacks when the
# stage runs alone).
run_soak() {
  # (soak.sh keeps its own soak.log and soak-wine.log beside these)
  run_script soak-hour scripts/soak.sh 1
  run_script soak-hour-wine scripts/soak.sh 1 --wine
}

# run_script NAME COMMAND...: one check, passed when the command succeeds; its output goes to
# build/test-logs/NAME.log, and its lines "<word...>: ..." starting with NAME are shown.
run_script() {
  local name=$1
  shift
  if "$@" >"$logs/$name.log" 2>&1; then
    grep -E '^[a-z][a-z ]*: ' "$logs/$name.log" | grep -v '^==' | tail -n 20
    verdict 0
  else
    tail -n 60 "$logs/$name.log"
    verdict 1
  fi
}

# --- the pipeline -------------------------------------------------------------------------------
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=("${all_stages[@]}")
for s in "${stages[@]}"; do
  [ -n "${stage_run[$s]:-}" ] || { echo "test.sh: no stage '$s' (stages: ${all_stages[*]})"; exit 2; }
done

now() { date +%s; }
start=$(now)
runner=""   # the background run of the previous stage
printed=()  # stages whose run output is shown
declare -A build_secs run_secs

# Starts a stage's run once the previous one is done; it writes its output and totals to files.
start_run() { # stage
  local s=$1 prev=$runner
  (
    while [ -n "$prev" ] && [ ! -f "$logs/run-$prev.done" ]; do sleep 1; done
    t0=$(now)
    passed=0 failed=0
    eval "${stage_run[$s]}" >"$logs/run-$s.out" 2>&1
    echo "$passed $failed $(($(now) - t0))" >"$logs/run-$s.totals"
    touch "$logs/run-$s.done"
  ) &
  runner=$s
}

# Shows the output of every finished run, in stage order; with "wait", waits for them all.
show_runs() {
  local s p f secs
  for s in "${stages[@]}"; do
    [[ " ${printed[*]} " == *" $s "* ]] && continue
    [ -n "${build_secs[$s]:-}" ] || return 0
    if [ ! -f "$logs/run-$s.done" ]; then
      [ "${1:-}" = wait ] || return 0
      while [ ! -f "$logs/run-$s.done" ]; do sleep 1; done
    fi
    echo "== $s: tests"
    cat "$logs/run-$s.out"
    read -r p f secs <"$logs/run-$s.totals"
    passed=$((passed + p))
    failed=$((failed + f))
    run_secs[$s]=$secs
    printed+=("$s")
  done
}

for s in "${stages[@]}"; do
  show_runs
  t0=$(now)
  if eval "${stage_build[$s]}"; then
    build_secs[$s]=$(($(now) - t0))
    start_run "$s"
  else
    build_secs[$s]=$(($(now) - t0))
    failed=$((failed + 1))
    printf '0 0 0\n' >"$logs/run-$s.totals"
    echo "$s: not run" >"$logs/run-$s.out"
    touch "$logs/run-$s.done"
  fi
done
show_runs wait
wait

if [ -f "$logs/build-warnings" ]; then
  failed=$((failed + $(wc -l <"$logs/build-warnings")))
fi

echo
echo "stage times (wall; a stage's tests overlap the next stage's build):"
for s in "${stages[@]}"; do
  printf '  %-8s build %4d s   tests %4d s\n' "$s" "${build_secs[$s]}" "${run_secs[$s]:-0}"
done
printf '  %-8s %d s\n' total $(($(now) - start))
echo "tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
