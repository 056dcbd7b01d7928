#!/bin/sh
# Runs the Windows contract suite under Wine in a throw-away prefix.
#   tests/contract/run-under-wine.sh BUILD_DIR [gtest arguments...]
# BUILD_DIR is an x86_64 cross build (cmake/toolchains/mingw-w64-x86_64.cmake)
# in which quenwick_contract_tests has been built. Exits with the suite's
# status: non-zero when a test fails or the suite cannot run.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [gtest arguments...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift
exe="$build_dir/tests/quenwick_contract_tests.exe"
if [ ! -f "$exe" ]; then
  echo "$0: $exe not found; build the target quenwick_contract_tests first" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quenwick-contract.XXXXXX")
cleanup() {
  # Let the prefix's server finish before its folder goes away.
  WINEPREFIX="$work/prefix" wineserver -w 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# A new prefix links the profile's Desktop, Documents, ... to $HOME; a
# temporary home keeps the tests away from the real one.
mkdir -p "$work/home"
export HOME="$work/home"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko install dialogs
unset DISPLAY                             # the suite shows no windows

wineboot -i >"$work/wineboot.log" 2>&1 || {
  cat "$work/wineboot.log" >&2
  echo "$0: wineboot failed" >&2
  exit 2
}
# And in case a link still points outside: real, empty folders instead.
find "$WINEPREFIX/drive_c/users" -mindepth 2 -maxdepth 2 -type l | while read -r link; do
  rm -f "$link"
  mkdir -p "$link"
done

# The suite runs from C: so that nothing it does depends on the host path.
mkdir -p "$WINEPREFIX/drive_c/quenwick-tests"
cp "$exe" "$WINEPREFIX/drive_c/quenwick-tests/"

status=0
wine 'C:\quenwick-tests\quenwick_contract_tests.exe' "$@" || status=$?
wineserver -w
exit "$status"
