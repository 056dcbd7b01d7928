#!/usr/bin/env bash
# The main job, shown on a throw-away Windows machine: builds quenwick.exe for
# 64-bit Windows, makes a new Wine prefix that cannot reach this machine's
# files, plants traces of rogue software on it, runs
# "quenwick.exe /silent /norestart" there as a script would, and shows what
# was found and cleaned, what is left, and what is registered for deletion at
# the next start. The prefix is deleted afterwards (QUENWICK_DEMO_KEEP=1
# keeps it and prints where it is).
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$QUENWICK_ROOT"

exec </dev/null
scripts/install-deps.sh

# --- Build --------------------------------------------------------------------
mkdir -p "$QUENWICK_CI_DIR/logs"
build_log=$QUENWICK_CI_DIR/logs/demo-build.log
echo "Building quenwick.exe for 64-bit Windows (log: ${build_log#"$QUENWICK_ROOT"/})..."
if ! build_win64 >"$build_log" 2>&1; then
  tail -n 40 "$build_log"
  echo "demo: the Windows build failed" >&2
  exit 1
fi
exe=$QUENWICK_CI_DIR/win64/quenwick.exe

# --- A throw-away machine ---------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/quenwick-demo-XXXXXX")
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ "${QUENWICK_DEMO_KEEP:-0}" = 1 ]; then
    echo "The demo machine is kept: WINEPREFIX=$work/pfx"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

echo "Making a new Wine prefix..."
make_wine_prefix "$work"   # sets WINEPREFIX and HOME; no Z: drive, no links to a home
drive_c=$WINEPREFIX/drive_c
user_dir=$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)

# --- Infections -------------------------------------------------------------------
# Plants what the demo cleans. Files are written from Linux; registry data goes
# through regedit with a .reg file on C:. For now these are harmless traces
# that no Definition of the shipped database names, so nothing is expected to
# be found; rogue infections from the project's fixtures replace them here.
plant_infections() {
  mkdir -p "$drive_c/Program Files/Quenwick Demo/"
  printf 'not a program\r\n' >"$drive_c/Program Files/Quenwick Demo/demo.exe"
  printf 'demo trace\r\n' >"$user_dir/Desktop/Quenwick Demo.txt"
  cat >"$drive_c/demo-plant.reg" <<'REG'
REGEDIT4

[HKEY_LOCAL_MACHINE\SOFTWARE\Quenwick Demo]
"Version"="1.0"

[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run]
"Quenwick Demo"="\"C:\\Program Files\\Quenwick Demo\\demo.exe\" /autostart"
REG
  (cd "$drive_c" && wine regedit /s 'C:\demo-plant.reg')
  rm -f "$drive_c/demo-plant.reg"
}

# The planted traces, read from the prefix's files (no Wine program may start
# between the run and reading the registered deletions: its start would carry
# them out).
show_traces() {
  local path
  for path in "$drive_c/Program Files/Quenwick Demo/demo.exe" "$user_dir/Desktop/Quenwick Demo.txt"; do
    if [ -e "$path" ]; then echo "  present: ${path#"$drive_c"/}"; else echo "  gone:    ${path#"$drive_c"/}"; fi
  done
  grep -q -F '[Software\\Quenwick Demo]' "$WINEPREFIX/system.reg" &&
    echo "  present: HKLM\\SOFTWARE\\Quenwick Demo" || echo "  gone:    HKLM\\SOFTWARE\\Quenwick Demo"
  grep -q -F '"Quenwick Demo"=' "$WINEPREFIX/user.reg" &&
    echo "  present: HKCU\\...\\Run \"Quenwick Demo\"" || echo "  gone:    HKCU\\...\\Run \"Quenwick Demo\""
}

echo "Planting traces..."
plant_infections
wineserver -w
echo "Before the run:"
show_traces

# --- The run ------------------------------------------------------------------------
cp "$exe" "$drive_c/quenwick.exe"
echo
echo "C:\\> quenwick.exe /silent /norestart"
status=0
# Output through a file: the prefix's background processes inherit the handle
# and would keep a pipe open until they end.
(cd "$drive_c" && wine 'C:\quenwick.exe' /silent /norestart >"$work/output.txt") || status=$?
tr -d '\r' <"$work/output.txt"
wineserver -w
echo "(exit code $status)"

echo
echo "After the run:"
show_traces
echo "Registered for deletion at the next start:"
pending=$(python3 tests/e2e/winehelper.py pending-renames "$WINEPREFIX")
if [ -n "$pending" ]; then echo "$pending" | sed 's/^/  /'; else echo "  (nothing)"; fi

# --- The restart that completes the cleaning ----------------------------------------
echo
echo "After a restart of the machine (wineboot -r), which carries out the registered deletions:"
(cd "$drive_c" && wineboot -r >/dev/null 2>&1)
wineserver -w
show_traces
exit "$status"
