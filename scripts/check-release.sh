#!/usr/bin/env bash
# Installs the player package the way a player does - unzipped into a fresh, empty Mods folder -
# and loads the packaged main.dll under Wine in the stand-in mod host (kvr-sim.exe boot). The
# package passes when it holds exactly the four files (README.txt and THIRD-PARTY-NOTICES.txt
# plain ASCII), the mod reads the shipped config.ini
# (all 62 settings, nothing missing), leaves it as shipped, and saves a brain beside it.
#
# Usage: scripts/check-release.sh ZIP [WINDOWS_BUILD_DIR]   (default build/windows)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
zip=$(realpath "$1")
winbuild=$(realpath "${2:-$root/build/windows}")
fail() { echo "check-release: $*"; exit 1; }

fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
mods="$fresh/Mods"
mkdir -p "$mods"
unzip -q "$zip" -d "$mods" || fail "cannot unzip $zip"
mod="$mods/KorvathPalimarNeuralNav"
listing=$(cd "$mods" && find . -type f | sort | tr '\n' ' ')
expected="./KorvathPalimarNeuralNav/README.txt ./KorvathPalimarNeuralNav/THIRD-PARTY-NOTICES.txt ./KorvathPalimarNeuralNav/config.ini ./KorvathPalimarNeuralNav/dlls/main.dll ./KorvathPalimarNeuralNav/presets/tuned.ini "
[ "$listing" = "$expected" ] || fail "unexpected contents: $listing"
grep -q "^- Press F9 to open or close the menu" <(tr -d '\r' <"$mod/README.txt") ||
  fail "README.txt does not name the menu key"
# Plain text for Notepad: ASCII only, and no Markdown marks left in the player's guide.
for txt in README.txt THIRD-PARTY-NOTICES.txt; do
  LC_ALL=C grep -qP '[^\x00-\x7F]' "$mod/$txt" && fail "$txt is not plain ASCII text"
done
grep -qE '`|\*\*|^#' "$mod/README.txt" && fail "README.txt still has Markdown marks"
for notice in "Omar Cornut" "Mikko Mononen" "winpthreads" "mingw-w64 project"; do
  grep -q "$notice" "$mod/THIRD-PARTY-NOTICES.txt" || fail "THIRD-PARTY-NOTICES.txt lacks $notice"
done
shipped=$(sha256sum "$mod/config.ini" | cut -d' ' -f1)

log=$(cd "$winbuild" && "$root/scripts/wine.sh" ./kvr-sim.exe boot --mod-dir "$mod" \
  --mod-binary "$mod/dlls/main.dll" --ticks 60 2>&1) || fail "boot failed: $log"
grep -q "by Dunmere (Halvenor) - config.ini: 62 settings read, 0 missing" <<<"$log" ||
  fail "the mod did not read the shipped config.ini: $log"
grep -q "fresh brain (no saved brain yet)" <<<"$log" || fail "unexpected brain status: $log"
[ "$(sha256sum "$mod/config.ini" | cut -d' ' -f1)" = "$shipped" ] ||
  fail "the mod rewrote the shipped config.ini"
[ -s "$mod/brain.kvrb" ] || fail "the mod saved no brain.kvrb beside config.ini"
echo "check-release: $(basename "$zip") installs into a fresh Mods folder and loads under Wine"
echo "$log" | head -n 2
