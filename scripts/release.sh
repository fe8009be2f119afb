#!/usr/bin/env bash
# Builds the player package: KorvathPalimarNeuralNav-<version>-win64.zip holding
#   KorvathPalimarNeuralNav/dlls/main.dll   the Windows mod
#   KorvathPalimarNeuralNav/config.ini      the default settings, written by the mod's own writer
#   KorvathPalimarNeuralNav/presets/tuned.ini  a tuned tactics profile (data/presets/tuned.ini)
#   KorvathPalimarNeuralNav/README.txt      the player's guide (packaging/README.txt and the
#                                           mod host notes of docs/PLAYER.md), plain text
#   KorvathPalimarNeuralNav/THIRD-PARTY-NOTICES.txt   the licences of the code linked into
#                                           main.dll (scripts/third-party-notices.sh)
# The version is the one the mod's config writer puts in the file's banner.
#
# Usage: scripts/release.sh [OUT_DIR]   (default build/package; prints the zip's path last)
# KVR_NATIVE_BUILD names the native build folder whose kvr-config writes config.ini
# (default build/release, built here when missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=$(realpath -m "${1:-$root/build/package}")
native="${KVR_NATIVE_BUILD:-$root/build/release}"
"$root/scripts/deps.sh" >/dev/null

cmake --preset windows >/dev/null
cmake --build --preset windows --target kvr_mod >/dev/null
if [ -z "${KVR_NATIVE_BUILD:-}" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target kvr-config >/dev/null
fi

version=$("$native/kvr-config" default |
  sed -n 's/^; KorvathPalimarNeuralNav v\([0-9][0-9.]*\) .*/\1/p' | head -n 1)
[ -n "$version" ] || { echo "release: cannot read the version from the config banner" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mod="$stage/KorvathPalimarNeuralNav"
mkdir -p "$mod/dlls"
cp build/windows/main.dll "$mod/dlls/main.dll"
"$native/kvr-config" default "$mod/config.ini"
mkdir -p "$mod/presets"
sed 's/$/\r/' data/presets/tuned.ini > "$mod/presets/tuned.ini"
scripts/player-readme.sh "$version" > "$mod/README.txt"
scripts/third-party-notices.sh | sed 's/$/\r/' > "$mod/THIRD-PARTY-NOTICES.txt"

mkdir -p "$out"
zip="$out/KorvathPalimarNeuralNav-$version-win64.zip"
rm -f "$zip"
(cd "$stage" && zip -q -r -X "$zip" KorvathPalimarNeuralNav)
echo "$zip"
