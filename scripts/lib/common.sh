# Shared by scripts/test.sh and scripts/demo.sh: where things are built and
# how. Sourced, not run.

QUENWICK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# Every build the scripts make lives under build-ci/, one folder per kind, and
# is reused by the next run.
QUENWICK_CI_DIR=$QUENWICK_ROOT/build-ci
QUENWICK_JOBS=${QUENWICK_JOBS:-$(nproc 2>/dev/null || echo 2)}

QUENWICK_WIN64_TOOLCHAIN=$QUENWICK_ROOT/cmake/toolchains/mingw-w64-x86_64.cmake
QUENWICK_WIN32_TOOLCHAIN=$QUENWICK_ROOT/cmake/toolchains/mingw-w64-i686.cmake

# configure_and_build BUILD_DIR [CMAKE_ARGS...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$QUENWICK_ROOT" -B "$dir" "$@"
  cmake --build "$dir" -j "$QUENWICK_JOBS"
}

# The x86_64 Windows build that the Wine stages and the demo run.
build_win64() {
  configure_and_build "$QUENWICK_CI_DIR/win64" \
    -DCMAKE_TOOLCHAIN_FILE="$QUENWICK_WIN64_TOOLCHAIN" -DQUENWICK_WERROR=ON
}

# Wine settings for a throw-away prefix: no Mono or Gecko install dialogs, no
# debug chatter.
export_wine_quiet() {
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# make_wine_prefix DIR: a new Wine prefix in DIR/pfx that cannot touch the
# caller's files. HOME points into DIR while the prefix is made, so the
# profile folders (Desktop, Documents, ...) that Wine links to the home folder
# link into DIR; those links are then replaced with real, empty folders, and
# the Z: drive (the whole Linux file system) is removed. Sets WINEPREFIX.
make_wine_prefix() {
  local dir=$1
  mkdir -p "$dir/home"
  export HOME=$dir/home
  export WINEPREFIX=$dir/pfx
  export_wine_quiet
  wineboot -i >/dev/null 2>&1
  wineserver -w
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm -f "$link"
      mkdir -p "$link"
    fi
  done
  rm -f "$WINEPREFIX/dosdevices/z:"
}
