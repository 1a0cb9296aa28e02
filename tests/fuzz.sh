#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on a seed corpus the project's own code makes, two at
# a time (each is single-threaded; the machine has two cores). Fails on any crash, sanitizer
# report, leak or broken property.
# Usage: tests/fuzz.sh [BUILD_DIR] [SECONDS_PER_TARGET]
set -euo pipefail
build=${1:-build/fuzz}
seconds=${2:-30}
corpus=$build/corpus
rm -rf "$corpus"
"$build/fuzz/make_fuzz_seeds" "$corpus"

fuzz() { # fuzz TARGET: runs it, then says how far it got or why it failed
  local target=$1
  mkdir -p "$build/artifacts/$target"
  if ! "$build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$target/" "$corpus/$target" 2>"$build/$target.log"; then
    tail -40 "$build/$target.log"
    echo "fuzz target $target failed" >&2
    return 1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/$target.log" |
    sed "s/^/  $target: /"
}

status=0
for pair in "image_rules answer" "volume_number drive_choice" "disk_directory disk_change" \
  "file_contents undo_record"; do
  echo "== fuzzing $pair for ${seconds}s each"
  pids=()
  for target in $pair; do
    fuzz "$target" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
done
exit $status
