#!/usr/bin/env bash
# Installs what the tests need, then runs every test of the project, one stage
# after the other: native build and unit tests, the same under the sanitizers,
# the fuzzers, the Windows cross builds and their imports, the Windows
# contract suite and the end-to-end tests under Wine, and the database
# fixtures. A failing stage does not stop the run; stages that need its result
# are marked failed without running. Each stage's output goes to
# build-ci/logs/<stage>.log (the end of it is shown when the stage fails).
# The last line is "N passed, N failed"; the exit code is non-zero when any
# stage failed.
#
# scripts/test.sh STAGE... runs only the stages named (see the list at the
# end, e.g. "win64-build wine-e2e"); a stage whose prerequisite was not
# selected runs all the same.
#
# Environment: QUENWICK_FUZZ_SECONDS (per fuzzer, default 60),
# QUENWICK_JOBS (parallel build jobs, default: the number of cores).
set -uo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"
cd "$QUENWICK_ROOT" || exit 1

FUZZ_SECONDS=${QUENWICK_FUZZ_SECONDS:-60}
LOG_DIR=$QUENWICK_CI_DIR/logs
# Lines of a failed stage's log shown on the terminal.
FAILURE_TAIL_LINES=80
# A stage function exits with this code to say it had nothing to run.
SKIP=77

mkdir -p "$LOG_DIR"
# Nothing any stage runs may wait for a key press.
exec </dev/null

names=()
results=()
times=()
notes=()
declare -A result_of=()

# record NAME RESULT SECONDS NOTE
record() {
  names+=("$1")
  results+=("$2")
  times+=("$3")
  notes+=("$4")
  result_of[$1]=$2
}

selected=("$@")

# stage NAME FUNCTION [NEEDED_STAGE...]
stage() {
  local name=$1 fn=$2
  shift 2
  if [ ${#selected[@]} -gt 0 ] && [[ " ${selected[*]} " != *" $name "* ]]; then
    return
  fi
  local needed
  for needed in "$@"; do
    case ${result_of[$needed]:-PASS} in
      PASS) ;;
      SKIP)
        echo "==> $name: skipped ($needed was skipped)"
        record "$name" SKIP 0 "$needed was skipped"
        return
        ;;
      *)
        echo "==> $name: not run ($needed did not pass)"
        record "$name" FAIL 0 "not run: $needed did not pass"
        return
        ;;
    esac
  done

  local log=$LOG_DIR/$name.log
  echo "==> $name"
  local start=$SECONDS
  ( set -euo pipefail; "$fn" ) >"$log" 2>&1
  local rc=$?
  local elapsed=$((SECONDS - start))
  local note
  note=$(grep -E '^note: ' "$log" | tail -n 1 | cut -c7-)

  if [ $rc -eq 0 ]; then
    record "$name" PASS "$elapsed" "$note"
  elif [ $rc -eq $SKIP ]; then
    echo "    skipped: $note"
    record "$name" SKIP "$elapsed" "$note"
  else
    echo "    FAILED (exit $rc); last lines of $log:"
    tail -n "$FAILURE_TAIL_LINES" "$log" | sed 's/^/    | /'
    record "$name" FAIL "$elapsed" "${note:-exit $rc, see build-ci/logs/$name.log}"
  fi
}

# A stage prints "note: ..." for the summary table.
note() { echo "note: $*"; }

# --- Stages -----------------------------------------------------------------

deps() {
  scripts/install-deps.sh
}

native_build() {
  configure_and_build "$QUENWICK_CI_DIR/native" -DQUENWICK_WERROR=ON -DQUENWICK_BENCHMARKS=ON
}

native_tests() {
  ctest --test-dir "$QUENWICK_CI_DIR/native" --output-on-failure --no-tests=error
}

# A Debug build: the program's and the libraries' assertions are live here.
asan_build() {
  configure_and_build "$QUENWICK_CI_DIR/asan" -DCMAKE_BUILD_TYPE=Debug -DQUENWICK_WERROR=ON \
    -DQUENWICK_SANITIZE=ON
}

# LeakSanitizer stops the whole process with a fatal error where ptrace is
# restricted (some containers); a tiny leaking program tells whether it works
# here before the tests rely on it.
leak_sanitizer_works() {
  local probe_dir
  probe_dir=$(mktemp -d)
  printf '#include <stdlib.h>\nvoid* volatile kept;\nint main(void){kept=malloc(7);kept=0;return 0;}\n' \
    >"$probe_dir/leak.c"
  local works=1
  if cc -fsanitize=address -g "$probe_dir/leak.c" -o "$probe_dir/leak" 2>/dev/null; then
    ASAN_OPTIONS=detect_leaks=1 "$probe_dir/leak" >"$probe_dir/out" 2>&1
    grep -q 'LeakSanitizer: detected memory leaks' "$probe_dir/out" || works=0
  else
    works=0
  fi
  rm -rf "$probe_dir"
  [ $works -eq 1 ]
}

asan_tests() {
  if leak_sanitizer_works; then
    export ASAN_OPTIONS=detect_leaks=1
  else
    # Leak checking cannot run in this environment; the address and undefined
    # behaviour checks still do.
    export ASAN_OPTIONS=detect_leaks=0
    note "LeakSanitizer unavailable here (ptrace restricted): leaks not checked"
  fi
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  ctest --test-dir "$QUENWICK_CI_DIR/asan" --output-on-failure --no-tests=error
}

fuzzers() {
  if [ ! -x tests/fuzz/run-fuzzers.sh ] && [ ! -f tests/fuzz/run-fuzzers.sh ]; then
    note "no tests/fuzz/run-fuzzers.sh in this tree"
    return $SKIP
  fi
  # Only the fuzz targets: the rest of the tree would link the instrumented
  # library without the sanitizer runtimes.
  CC=clang CXX=clang++ cmake -S "$QUENWICK_ROOT" -B "$QUENWICK_CI_DIR/fuzz" \
    -DQUENWICK_FUZZERS=ON -DQUENWICK_TESTS=OFF
  cmake --build "$QUENWICK_CI_DIR/fuzz" -j "$QUENWICK_JOBS" \
    --target fuzz_parse_database fuzz_load_resource fuzz_read_sources make_seed_corpus
  bash tests/fuzz/run-fuzzers.sh "$QUENWICK_CI_DIR/fuzz" "$FUZZ_SECONDS"
  note "${FUZZ_SECONDS} s per fuzzer"
}

# have_toolchain FILE: a tree without the Windows build skips its stages.
have_toolchain() {
  if [ ! -f "$1" ]; then
    note "no ${1#"$QUENWICK_ROOT"/} in this tree"
    return 1
  fi
}
win64_build() {
  have_toolchain "$QUENWICK_WIN64_TOOLCHAIN" || return $SKIP
  build_win64
}
win32_build() {
  have_toolchain "$QUENWICK_WIN32_TOOLCHAIN" || return $SKIP
  # 32-bit programs cannot run here, so the Windows test programs are not
  # built for it: only the program, with its warnings and imports checked.
  configure_and_build "$QUENWICK_CI_DIR/win32" \
    -DCMAKE_TOOLCHAIN_FILE="$QUENWICK_WIN32_TOOLCHAIN" -DQUENWICK_WERROR=ON -DQUENWICK_TESTS=OFF
}

# The program must start on a bare Windows: it may import only DLLs that
# every Windows has (the C++ runtime, winpthread and zlib are linked in). The
# build checks each executable it links; this stage checks the shipped one
# again and lists its imports in the summary.
# check_imports OBJDUMP EXE
check_imports() {
  local objdump=$1 exe=$2
  if [ ! -f cmake/QuenwickCheckImports.cmake ]; then
    note "no cmake/QuenwickCheckImports.cmake in this tree"
    return $SKIP
  fi
  cmake -DEXECUTABLE="$exe" -DOBJDUMP="$objdump" -P cmake/QuenwickCheckImports.cmake
  note "$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z\n' 'a-z ')"
}
win64_imports() { check_imports x86_64-w64-mingw32-objdump "$QUENWICK_CI_DIR/win64/quenwick.exe"; }
win32_imports() { check_imports i686-w64-mingw32-objdump "$QUENWICK_CI_DIR/win32/quenwick.exe"; }

wine_contract() {
  if [ ! -f tests/contract/run-under-wine.sh ]; then
    note "no tests/contract/run-under-wine.sh in this tree"
    return $SKIP
  fi
  bash tests/contract/run-under-wine.sh "$QUENWICK_CI_DIR/win64"
}

wine_e2e() {
  if [ ! -f tests/e2e/run.sh ]; then
    note "no tests/e2e/run.sh in this tree"
    return $SKIP
  fi
  bash tests/e2e/run.sh "$QUENWICK_CI_DIR/win64"
}

# The shipped database: its sources must lint without errors or warnings
# (every Definition with a fixture that finds it and a look-alike that it must
# not find), every fixture under definitions/ must pass against the simulated
# machine, and the users' catalogue must be the one the sources give.
fixture_tests() {
  local tool=$QUENWICK_CI_DIR/native/tools/quenwick-db/quenwick-db
  if [ ! -x "$tool" ]; then
    note "no quenwick-db tool built"
    return 1
  fi
  "$tool" lint definitions/ --werror
  "$tool" test definitions/
  "$tool" catalogue definitions/ -o docs/catalogue.md --check
  note "$("$tool" test definitions/ | tail -n 1)"
}

# --- Run ----------------------------------------------------------------------

# name, function, the stages whose success it needs.
STAGES=(
  "deps           deps"
  "native-build   native_build   deps"
  "native-tests   native_tests   native-build"
  "asan-build     asan_build     deps"
  "asan-tests     asan_tests     asan-build"
  "fuzzers        fuzzers        deps"
  "win64-build    win64_build    deps"
  "win64-imports  win64_imports  win64-build"
  "win32-build    win32_build    deps"
  "win32-imports  win32_imports  win32-build"
  "wine-contract  wine_contract  win64-build"
  "wine-e2e       wine_e2e       win64-build"
  "fixture-tests  fixture_tests  native-build"
)

known=" $(for row in "${STAGES[@]}"; do echo -n "${row%% *} "; done)"
for name in "${selected[@]}"; do
  if [[ "$known" != *" $name "* ]]; then
    echo "unknown stage '$name'; the stages are:$known" >&2
    exit 2
  fi
done

run_start=$SECONDS
for row in "${STAGES[@]}"; do
  # shellcheck disable=SC2086  # the row is split into its words on purpose
  stage $row
done

passed=0
failed=0
echo
printf '%-15s %-6s %7s  %s\n' STAGE RESULT TIME NOTE
for i in "${!names[@]}"; do
  printf '%-15s %-6s %4d:%02d  %s\n' "${names[$i]}" "${results[$i]}" \
    $((times[i] / 60)) $((times[i] % 60)) "${notes[$i]}"
  case ${results[$i]} in
    PASS) passed=$((passed + 1)) ;;
    FAIL) failed=$((failed + 1)) ;;
  esac
done
total=$((SECONDS - run_start))
printf 'total %d:%02d; logs in build-ci/logs/\n' $((total / 60)) $((total % 60))
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
