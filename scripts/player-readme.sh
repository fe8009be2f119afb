#!/usr/bin/env bash
# Prints the player's README.txt of the release package: packaging/README.txt with the version,
# then the notes on mod host versions (docs/PLAYER.md without its title and Markdown marks:
# headings underlined, no bold or code marks), plain text with Windows line ends for Notepad.
#
# Usage: scripts/player-readme.sh VERSION
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=${1:?usage: player-readme.sh VERSION}
{
  sed "s/@VERSION@/$version/g" "$root/packaging/README.txt"
  if [ -f "$root/docs/PLAYER.md" ]; then
    echo
    sed -e '1{/^# /d}' -e 's/^## \(.*\)$/\1\n----------------/' -e 's/\*\*//g' -e 's/`//g' \
      "$root/docs/PLAYER.md"
  fi
} | sed 's/$/\r/'
