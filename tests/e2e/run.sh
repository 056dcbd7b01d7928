#!/usr/bin/env bash
# Builds the end-to-end executables in a 64-bit Windows build and runs the
# end-to-end tests under Wine. Further arguments go to unittest (-k PATTERN
# selects tests by name).
#   tests/e2e/run.sh BUILD_DIR [UNITTEST_ARGS...]
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR [UNITTEST_ARGS...]" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd)
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

cmake --build "$build_dir" --target quenwick_e2e -j "$(nproc 2>/dev/null || echo 2)"

export QUENWICK_E2E_MANIFEST=$build_dir/tests/e2e/e2e_manifest.json
# Only the standard library is used; the system's Python is the one every
# Debian machine has.
python=/usr/bin/python3
[ -x "$python" ] || python=python3
cd "$here"
exec "$python" run_tests.py "$@"
