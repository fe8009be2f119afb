#!/usr/bin/env bash
# Prints the notices of the third-party code linked into main.dll, as their licences require a
# copy with every binary: Dear ImGui (MIT), Recast/Detour (zlib), and what the static MinGW-w64
# runtime brings in: winpthreads (MIT/expat) and the runtime's own start-up code (ZPL-2.1). The GCC runtime (libgcc,
# libstdc++) is under the GCC Runtime Library Exception, which asks for no notice; it is named
# for completeness. Licence texts come from the sources the build used, never retyped.
#
# Usage: scripts/third-party-notices.sh   (plain ASCII text on standard output)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mingw_copyright=/usr/share/doc/mingw-w64-common/copyright

section() {
  echo
  echo "$1"
  printf '%*s\n' "${#1}" '' | tr ' ' '-'
  echo "$2"
  echo
}

echo "Third-party software in KorvathPalimarNeuralNav's main.dll"
echo "=========================================================="
section "Dear ImGui (the in-game menu)" "https://github.com/ocornut/imgui"
cat "$root/third_party/imgui/LICENSE.txt"
section "Recast & Detour (navigation meshes and path queries)" \
  "https://github.com/recastnavigation/recastnavigation"
cat "$root/third_party/recastnavigation/License.txt"
section "MinGW-w64 winpthreads (threads of the C++ runtime)" "https://www.mingw-w64.org"
echo "Copyright (c) 2011-2016 mingw-w64 project"
echo
# The expat text of the Debian copyright file (the "License: expat" paragraph that has a body),
# without its one-blank indent and "." lines.
awk '/^License: expat$/ {f = 1; next}
     f && /^ / {print; got = 1; next}
     f && got {exit}
     {f = 0}' "$mingw_copyright" |
  sed -e 's/^ //' -e 's/^\.$//'
section "MinGW-w64 runtime (start-up and C library glue)" "https://www.mingw-w64.org"
echo "Copyright (c) 2009-2016 the mingw-w64 project"
echo
# The licence paragraph of "Files: *" (ZPL-2.1) in the same file.
awk '/^Files: \*$/ {f = 1; next}
     f && /^License:/ {lic = 1; next}
     f && lic && /^ / {print; next}
     f && lic {exit}' "$mingw_copyright" |
  sed -e 's/^ //' -e 's/^\.$//'
section "GCC runtime (libgcc, libstdc++)" "https://gcc.gnu.org"
echo "Linked under the GCC Runtime Library Exception, version 3.1."
