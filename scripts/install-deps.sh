#!/usr/bin/env bash
# Installs everything Quenwick's builds, tests and demo need on a Debian 12
# machine: the native toolchain and test libraries, clang for the fuzzers, the
# MinGW-w64 cross compilers and zlib for Windows, Wine, and the X tools that
# drive message boxes. Safe to run again: when every package is already there
# it does nothing and returns at once.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev googletest libbenchmark-dev libtomlplusplus-dev zlib1g-dev
  clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
  wine64
  xvfb xdotool x11-apps imagemagick
  python3
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  if [ "$status" != "install ok installed" ]; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages already installed"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq "${missing[@]}" >/dev/null
echo "install-deps: done"
