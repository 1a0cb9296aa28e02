#!/usr/bin/env bash
# Line and branch coverage of the tool's own code (src/front, src/transfer, src/device) over
# the test suite, from gcov. Prints the totals and every line no test ran; fails below the
# minimum line coverage.
# Usage: tests/coverage.sh [BUILD_DIR] [MINIMUM_PERCENT]
set -euo pipefail
build=$(cd "${1:-build/coverage}" && pwd)
minimum=${2:-95}
source_root=$(cd "$(dirname "$0")/.." && pwd)
work=$build/gcov
rm -rf "$work"
mkdir -p "$work"
cd "$work"
find "$build/CMakeFiles/slotpush_core.dir" -name '*.gcda' -print0 |
  xargs -0 gcov --branch-probabilities --branch-counts --preserve-paths >/dev/null 2>&1

# Each .gcov file names its source; a header seen by several files counts once, line by line.
awk -v root="$source_root/" '
  FNR == 1 { keep = 0 }
  /^ *-: *0:Source:/ {
    path = substr($0, index($0, "Source:") + 7)
    sub(root, "", path)
    keep = path ~ /^src\/(front|transfer|device)\// && path !~ /_test\.cpp$/
    next
  }
  !keep { next }
  /^ *(#####|[0-9]+\*?): *[0-9]+:/ {
    split($0, field, ":")
    count = field[1]; gsub(/[ *]/, "", count)
    line = field[2] + 0
    key = path ":" line
    if (!(key in lines)) { lines[key] = 0; text[key] = substr($0, length(field[1]) + length(field[2]) + 3) }
    if (count != "#####") lines[key] = 1
    last_line = key
    next
  }
  /^branch/ && last_line != "" {
    id = last_line "#" (++branch_index[last_line])
    if (!(id in branches)) branches[id] = 0
    if ($0 ~ /taken [1-9]/) branches[id] = 1
    next
  }
  /^ *(-|=====|\$\$\$\$\$): *[0-9]+:/ { last_line = ""; next }
  END {
    for (key in lines) {
      total++
      if (lines[key]) covered++; else print key ": " text[key] > "missed"
    }
    for (id in branches) { btotal++; if (branches[id]) bcovered++ }
    printf "line coverage:   %d of %d lines, %.1f%%\n", covered, total, 100 * covered / total > "totals"
    printf "branch coverage: %d of %d branches taken, %.1f%%\n", bcovered, btotal, 100 * bcovered / btotal > "totals"
    print 100 * covered / total > "line_percent"
  }' $(find . -name '*.gcov')

if [ -s missed ]; then
  echo "Lines no test ran:"
  sort -t: -k1,1 -k2,2n missed | sed 's/^/  /'
fi
cat totals

percent=$(cat line_percent)
if awk -v p="$percent" -v m="$minimum" 'BEGIN { exit !(p < m) }'; then
  echo "line coverage ${percent}% is below the minimum of ${minimum}%" >&2
  exit 1
fi
