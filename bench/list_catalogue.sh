#!/usr/bin/env bash
# The catalogue of a whole card: `slotpush LIST 1-` on a file-backed 2 GiB card (2621 whole
# volumes, a sparse file, every tenth volume written by the tool), RUNS runs, their median time,
# and the bytes the program's read calls returned (counted by strace). Targets: under 0.5 s and
# under 2 MiB of reads.
# Usage: bench/list_catalogue.sh [RUNS]   (after: cmake --workflow --preset bench)
source "$(dirname "$0")/bench_root.sh"
runs=${1:-11}
command -v strace >/dev/null || { echo "strace is needed to count the bytes read" >&2; exit 1; }

CARD=$((2 * 1024 * 1024 * 1024))
make_root "$CARD"
truncate -s "$CARD" "$build/card.img"
trap 'rm -f "$build/card.img"' EXIT
ln -s "$build/card.img" "$root/dev/sda"
cd "$root/work"
bash "$source/tests/make_full_image.sh" image.dsk slot.bin
for volume in $(seq 1 10 2621); do "$tool" image.dsk "$volume" >/dev/null; done

times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$tool" LIST 1- >/dev/null
  times+=($((($(date +%s%N) - start) / 1000)))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
read_bytes=$(strace -e trace=read,pread64 -e signal=none "$tool" LIST 1- 2>&1 >/dev/null |
  awk -F'= ' '/^(read|pread64)\(/ && $NF ~ /^[0-9]+$/ { s += $NF } END { print s + 0 }')
lines=$("$tool" LIST 1- | wc -l)
echo "LIST 1- on a 2 GiB file-backed card ($lines lines): median ${median} us of $runs runs," \
  "$read_bytes bytes read"
[ "$median" -lt 500000 ] && [ "$read_bytes" -lt $((2 * 1024 * 1024)) ] ||
  { echo "FAIL: over the target (0.5 s, 2 MiB)"; exit 1; }
