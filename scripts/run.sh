#!/usr/bin/env bash
# The main job: builds the mod and the simulator, then plays a match on the default arena - the
# real mod module loaded the way the mod host loads it, twelve thugs approaching a player who
# shoots back, half an hour of simulated time - and prints the summary. The mod starts from a
# fresh folder (build/example/KorvathPalimarNeuralNav, laid out as under the mod host's Mods
# folder) with a brain seeded from the match's seed, so the run replays exactly. The report
# (summary.json, learning.csv, learning.svg, routes.svg, and the config.ini, brain.kvrb and
# log the mod wrote) lands in build/example/report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"
cmake --preset release >/dev/null
cmake --build --preset release --target kvr-sim kvr-config kvr-brain kvr_mod
example="$root/build/example"
mod="$example/KorvathPalimarNeuralNav"
rm -rf "$mod" "$example/report"
mkdir -p "$example"

echo "== a match in the arena: 12 thugs, 30 simulated minutes, the network learning"
./build/release/kvr-sim match --level default --thugs 12 --minutes 30 --seed 1 \
  --mod-dir "$mod" --report "$example/report"

echo "== what the mod wrote"
./build/release/kvr-config check "$mod/config.ini" | head -n 1
./build/release/kvr-brain info "$mod/brain.kvrb" --config "$mod/config.ini" | head -n 4
echo "pictures: $example/report/learning.svg and $example/report/routes.svg"
