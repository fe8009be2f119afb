#!/usr/bin/env bash
# The mod DLL must export start_mod and uninstall_mod and import no compiler-runtime DLL
# (the game folder has none).
set -uo pipefail
dll="$1"
dump=$(x86_64-w64-mingw32-objdump -p "$dll") || { echo "check-dll: cannot read $dll"; exit 1; }
ok=0
for sym in start_mod uninstall_mod; do
  if ! grep -Eq "\] ${sym}\$" <<<"$dump"; then echo "check-dll: $sym is not exported"; ok=1; fi
done
imports=$(grep -E 'DLL Name:' <<<"$dump" | awk '{print $3}')
bad=$(grep -Ei '^(libgcc|libstdc\+\+|libwinpthread|msvcp|vcruntime)' <<<"$imports")
if [ -n "$bad" ]; then echo "check-dll: imports compiler-runtime DLLs: $bad"; ok=1; fi
[ $ok -eq 0 ] && echo "check-dll: $dll exports start_mod and uninstall_mod; imports: $(echo $imports)"
exit $ok
