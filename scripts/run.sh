#!/usr/bin/env bash
# The main job: builds the mod and its tools, then runs the real mod module in the simulated
# engine host the way the mod host runs it (start-up, ticks, shutdown), natively and - with the
# Windows main.dll - under Wine, in example mod folders laid out as the mod host expects
# (<ModName>/dlls/main.dll, config.ini and brain.kvrb beside dlls/). It then checks the files
# the mod wrote and previews an approach route on the default arena.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"
cmake --preset release >/dev/null
cmake --build --preset release --target kvr-sim kvr-config kvr-brain kvr_mod
example="$root/build/example"
mkdir -p "$example"

echo "== the mod in the simulated engine (native build)"
./build/release/kvr-sim boot --mod-dir "$example/native/KorvathPalimarNeuralNav" --ticks 120

echo "== main.dll in the stand-in host under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows --target kvr-sim kvr_mod
windir="$example/KorvathPalimarNeuralNav"
(cd build/windows && "$root/scripts/wine.sh" ./kvr-sim.exe boot --mod-dir "$windir" --ticks 120)

echo "== what the mod wrote"
./build/release/kvr-config check "$windir/config.ini" | head -n 4
./build/release/kvr-brain info "$windir/brain.kvrb" --config "$windir/config.ini" | head -n 8

echo "== a Weave Left approach on the default arena"
./build/release/kvr-sim route --level default --from -2500,-2500,0 --to 2500,2000,0 --style 5 \
  --svg "$example/weave-left.svg" | tail -n 6
echo "example mod folder: $windir (route picture: $example/weave-left.svg)"
