#!/usr/bin/env bash
# Installs everything the project needs on a Debian 12 machine (run as root) and fetches the
# two libraries that are built from Debian source packages. Safe to run again: it only does
# what is missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
third="$root/third_party"
stamp="$third/.deps-ok"

packages=(
  build-essential cmake ninja-build pkg-config git
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 xvfb xauth libgl1-mesa-dri libglfw3-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev clang-format lld llvm
  libcli11-dev nlohmann-json3-dev zip unzip
  ca-certificates
)

IMGUI_VER=1.90.1+ds
IMGUI_SHA=ecce377df0f90b292f15dcbd83d438bddc162b2388c881132bde18c787572a1c
RECAST_VER=1.6.0+dfsg
RECAST_SHA=d2f4a25e6e21d72f0cea4dd45152c790ffb312d7675582126602242102bdfec7

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The mirror the machine already uses; no host name lives in the repository.
mirror_uri() {
  local uri=""
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources)
  fi
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $0 ~ /debian/ {for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) {print $i; exit}}' \
      /etc/apt/sources.list)
  fi
  echo "$uri"
}

sha_ok() { [ -f "$1" ] && [ "$(sha256sum "$1" | cut -d' ' -f1)" = "$2" ]; }

fetch_sources() {
  local apt_dir="$third/apt" uri
  uri=$(mirror_uri)
  [ -n "$uri" ] || { echo "deps: cannot find the Debian mirror in the apt sources" >&2; exit 1; }
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/etc/sources.list.d" \
    "$apt_dir/etc/preferences.d" "$third/downloads"
  printf 'deb-src %s trixie main\ndeb-src %s sid main\n' "$uri" "$uri" > "$apt_dir/etc/sources.list"
  local opts=(-o "Dir::Etc::SourceList=$apt_dir/etc/sources.list"
    -o "Dir::Etc::SourceParts=$apt_dir/etc/sources.list.d"
    -o "Dir::Etc::Preferences=$apt_dir/etc/preferences"
    -o "Dir::Etc::PreferencesParts=$apt_dir/etc/preferences.d"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
    -o "APT::Sandbox::User=root" -o "Acquire::Languages=none")
  apt-get "${opts[@]}" update -qq
  # apt may report an error for a missing .dsc after the tarballs arrived; the checksums decide.
  (cd "$third/downloads" &&
    apt-get "${opts[@]}" source --download-only "imgui=${IMGUI_VER}-1" >/dev/null 2>&1 || true)
  (cd "$third/downloads" &&
    apt-get "${opts[@]}" source --download-only "recastnavigation=${RECAST_VER}-3" >/dev/null 2>&1 || true)
}

unpack() { # tarball sha dest
  local tarball="$1" sha="$2" dest="$3"
  sha_ok "$tarball" "$sha" || { echo "deps: bad or missing $tarball" >&2; exit 1; }
  rm -rf "$dest" "$dest.tmp" && mkdir -p "$dest.tmp"
  tar xf "$tarball" -C "$dest.tmp"
  local top
  top=$(find "$dest.tmp" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  mv "$top" "$dest" && rm -rf "$dest.tmp"
}

if [ ! -f "$stamp" ]; then
  imgui_tar="$third/downloads/imgui_${IMGUI_VER}.orig.tar.xz"
  recast_tar="$third/downloads/recastnavigation_${RECAST_VER}.orig.tar.xz"
  if ! sha_ok "$imgui_tar" "$IMGUI_SHA" || ! sha_ok "$recast_tar" "$RECAST_SHA"; then
    fetch_sources
  fi
  imgui_tar=$(ls "$third"/downloads/imgui_${IMGUI_VER}.orig.tar.* | head -n 1)
  recast_tar=$(ls "$third"/downloads/recastnavigation_${RECAST_VER}.orig.tar.* | head -n 1)
  unpack "$imgui_tar" "$IMGUI_SHA" "$third/imgui"
  unpack "$recast_tar" "$RECAST_SHA" "$third/recastnavigation"
  touch "$stamp"
fi
echo "deps: ready"
