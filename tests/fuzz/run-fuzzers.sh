#!/bin/sh
# Runs each fuzz target for SECONDS from a fresh seed corpus: valid databases
# for the loader, the shipped Definition sources and fixtures for the tool's
# readers. Exits non-zero when a target finds a crash, leak, timeout or
# out-of-memory input; the input is left in BUILD_DIR/fuzz-findings/.
#
#   tests/fuzz/run-fuzzers.sh BUILD_DIR SECONDS
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build=$1
seconds=$2
fuzz="$build/tests/fuzz"
work="$build/fuzz-work"
findings="$build/fuzz-findings"
rm -rf "$work"
mkdir -p "$work/seed-database" "$work/seed-resource" "$work/corpus-database" "$work/corpus-resource" \
  "$work/seed-sources" "$work/corpus-sources" "$findings"

"$fuzz/make_seed_corpus" "$work/seed-database" "$work/seed-resource"
# Every source and fixture under its own name (fixtures share case names).
root=$(cd "$(dirname "$0")/../.." && pwd)
n=0
for file in $(find "$root/definitions" "$root/tests/tool" -name '*.toml' | sort); do
  n=$((n + 1))
  cp "$file" "$work/seed-sources/$n.toml"
done

status=0
run() {
  target=$1
  corpus=$2
  seeds=$3
  echo "== $target for ${seconds}s"
  # -rss_limit_mb bounds the memory a damaged count or declared size could
  # make the loader take; -timeout catches hangs.
  if ! "$fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" "$seeds"; then
    echo "!! $target found a failing input; see $findings" >&2
    status=1
  fi
}
run fuzz_parse_database "$work/corpus-database" "$work/seed-database"
run fuzz_load_resource "$work/corpus-resource" "$work/seed-resource"
run fuzz_read_sources "$work/corpus-sources" "$work/seed-sources"
exit $status
