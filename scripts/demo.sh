#!/usr/bin/env bash
# The main job, shown on a throw-away Windows machine: builds quenwick.exe for
# 64-bit Windows, makes a new Wine prefix that cannot reach this machine's
# files, plants four rogue infections on it (machines described by the
# Definitions' own fixtures in definitions/fixtures/, planted by
# tests/e2e/fixture_machine.py: files, registry data, running programs, a file
# held open by another program), runs "quenwick.exe /silent /norestart" there
# as a script would, and shows what was found and cleaned, what is left, and
# what is registered for deletion at the next start; then restarts the machine,
# which completes the cleaning. The prefix is deleted afterwards
# (QUENWICK_DEMO_KEEP=1 keeps it and prints where it is).
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$QUENWICK_ROOT"

exec </dev/null
scripts/install-deps.sh

# --- Build --------------------------------------------------------------------
mkdir -p "$QUENWICK_CI_DIR/logs"
build_log=$QUENWICK_CI_DIR/logs/demo-build.log
echo "Building quenwick.exe for 64-bit Windows (log: ${build_log#"$QUENWICK_ROOT"/})..."
# The stand-ins for the rogues' programs are the end-to-end tests' small
# Windows programs: one that keeps running, one that records how it was started.
if ! { build_win64 &&
       cmake --build "$QUENWICK_CI_DIR/win64" -j "$QUENWICK_JOBS" \
         --target quenwick_e2e_program_rogue quenwick_e2e_program_uninstaller; } >"$build_log" 2>&1; then
  tail -n 40 "$build_log"
  echo "demo: the Windows build failed" >&2
  exit 1
fi
exe=$QUENWICK_CI_DIR/win64/quenwick.exe
rogue=$QUENWICK_CI_DIR/win64/tests/e2e/e2e-rogue.exe
uninstaller=$QUENWICK_CI_DIR/win64/tests/e2e/e2e-uninstaller.exe
planter=tests/e2e/fixture_machine.py

# The infections: machines described by the fixtures of four Definitions.
fixtures=(
  definitions/fixtures/cleaner2009-freeware/installed.toml                   # Run value, running program
  definitions/fixtures/antispy-safeguard/installed.toml                      # user's shell, three programs
  definitions/fixtures/advansed-spyware-detector/installed.toml              # Userinit logon value repaired
  definitions/fixtures/antivirus-doktor-2009/no-uninstall-entry-in-use.toml  # a file held open
)

# --- A throw-away machine ---------------------------------------------------------
work=$(mktemp -d "${TMPDIR:-/tmp}/quenwick-demo-XXXXXX")
cleanup() {
  # Ends the programs the demo started in the prefix, and its server.
  wineserver -k >/dev/null 2>&1 || true
  if [ "${QUENWICK_DEMO_KEEP:-0}" = 1 ]; then
    echo "The demo machine is kept: WINEPREFIX=$work/pfx"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

section() { printf '\n=== %s\n' "$*"; }

echo "Making a new Wine prefix..."
make_wine_prefix "$work"   # sets WINEPREFIX and HOME; no Z: drive, no links to a home
drive_c=$WINEPREFIX/drive_c

section "Planting four rogue infections (simulated C:\\Users\\User is this prefix's C:\\users\\$(basename "$(find "$drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)")):"
python3 "$planter" plant --rogue "$rogue" --uninstaller "$uninstaller" "${fixtures[@]}"

# --- The run ------------------------------------------------------------------------
cp "$exe" "$drive_c/quenwick.exe"
section 'C:\> quenwick.exe /silent /norestart'
status=0
# Output through a file: the prefix's background processes inherit the handle
# and would keep a pipe open until they end.
(cd "$drive_c" && wine 'C:\quenwick.exe' /silent /norestart >"$work/output.txt") || status=$?
tr -d '\r' <"$work/output.txt"
echo "(exit code $status)"

# No Wine program may start between the run and reading the registered
# deletions: its start would carry them out.
section "What happened to each infection (the fixtures' expectations, checked on this machine):"
checked=0
python3 "$planter" check --output "$work/output.txt" || checked=$?

section "What is left of the planted traces (kept: not the rogue's; waiting: deleted at the next start):"
python3 "$planter" left || true

section "Registered for deletion at the next start (PendingFileRenameOperations):"
pending=$(python3 tests/e2e/winehelper.py pending-renames "$WINEPREFIX")
if [ -n "$pending" ]; then echo "$pending" | sed 's/^/  /'; else echo "  (nothing)"; fi

# --- The restart that completes the cleaning ----------------------------------------
section "After a restart of the machine (wineboot -r), which carries out the registered deletions:"
(cd "$drive_c" && wineboot -r >/dev/null 2>&1)
wineserver -w
left=0
python3 "$planter" left || left=$?

if [ "$status" -ne 0 ] || [ "$checked" -ne 0 ] || [ "$left" -ne 0 ]; then
  echo
  echo "demo: the run did not do what the fixtures expect (see above)" >&2
  exit 1
fi
echo
echo "Done: every infection was found and removed; nothing else on the machine changed."
