#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on a seed corpus the project's own code makes.
# Fails on any crash, sanitizer report, leak or broken property.
# Usage: tests/fuzz.sh [BUILD_DIR] [SECONDS_PER_TARGET]
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-30}
corpus=$build/corpus
rm -rf "$corpus"
"$build/fuzz/make_fuzz_seeds" "$corpus"
for target in image_rules answer volume_number drive_choice; do
  echo "== fuzzing $target for ${seconds}s"
  mkdir -p "$build/artifacts/$target"
  "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target/" "$corpus/$target" 2>"$build/$target.log" ||
    { tail -40 "$build/$target.log"; echo "fuzz target $target failed" >&2; exit 1; }
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$target.log" |
    sed "s/^/  $target: /"
done
