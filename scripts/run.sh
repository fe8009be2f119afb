#!/usr/bin/env bash
# The main job: builds the tools and lays out an example mod folder as the mod host expects
# (<ModName>/dlls/main.dll with config.ini beside dlls/), writes a fresh documented config.ini
# there and checks it the way the mod reads it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/deps.sh"
cmake --preset release >/dev/null
cmake --build --preset release --target kvr-config
mod="$root/build/example/KorvathPalimarNeuralNav"
mkdir -p "$mod/dlls"
if cmake --preset windows >/dev/null && cmake --build --preset windows --target kvr_mod; then
  cp build/windows/main.dll "$mod/dlls/main.dll"
fi
./build/release/kvr-config default "$mod/config.ini"
./build/release/kvr-config check "$mod/config.ini"
echo "example mod folder: $mod"
