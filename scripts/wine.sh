#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's own prefix (created on first use,
# reused afterwards), quietly and without the Mono/Gecko installers.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
export WINEPREFIX="${KVR_WINEPREFIX:-$root/build/windows/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;${WINEDLLOVERRIDES:-}"
mkdir -p "$WINEPREFIX"
exec "$wine" "$@"
