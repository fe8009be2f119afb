#!/usr/bin/env bash
# The save kill test at length: a child process saves brain.kvrb and config.ini in a loop and is
# killed at random moments (SIGKILL natively, TerminateProcess under Wine); after every kill both
# files must load and be one complete save. scripts/test.sh runs it with 200 kills each way;
# this runs ROUNDS (default 2000) each way on the builds test.sh made.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
rounds="${1:-2000}"
[ -x build/debug/kvr-tests ] && [ -f build/windows/kvr-tests.exe ] ||
  { echo "kill-test: run scripts/test.sh first (it builds both test programs)" >&2; exit 1; }
export KVR_KILL_TEST_ROUNDS="$rounds"
echo "== native, $rounds kills"
./build/debug/kvr-tests --gtest_filter='SaveKill.*' --gtest_color=no
echo "== Windows build under Wine, $rounds kills"
(cd build/windows && "$root/scripts/wine.sh" ./kvr-tests.exe --gtest_filter='SaveKill.*' --gtest_color=no)
