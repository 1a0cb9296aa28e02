#!/usr/bin/env bash
# FIND over a whole card: `slotpush FIND LOAD` on a file-backed 4 GiB card (5242 whole volumes, a
# sparse file, every tenth volume a TI disk with a file on it), RUNS runs, their median time,
# and the bytes read: as FIND counts them, per volume, and as the program's read calls returned
# them (counted by strace, the drive-choice file's 4 bytes among them). Target: under 1 s.
# Usage: bench/find_on_card.sh [RUNS]   (after: cmake --workflow --preset bench)
source "$(dirname "$0")/bench_root.sh"
runs=${1:-11}

CARD=$((4 * 1024 * 1024 * 1024))
make_root "$CARD"
truncate -s "$CARD" "$build/card.img"
trap 'rm -f "$build/card.img"' EXIT
ln -s "$build/card.img" "$root/dev/sda"
cd "$root/work"
perl -e 'print pack("A10 n C a3 x40 C x199", "BENCH", 1600, 20, "DSK", 3), "\0" x (256 * 1599)' >ti.dsk
perl -e 'print pack("a8 n C x5 A10", "\x07TIFILES", 2, 1, "LOAD"), "\0" x 102, "L" x 512' >LOAD.tfi
"$tool" PUT ti.dsk LOAD.tfi >/dev/null
volumes=$((CARD / 819200))
for volume in $(seq 1 10 "$volumes"); do "$tool" ti.dsk "$volume" >/dev/null; done

times=()
for _ in $(seq "$runs"); do
  start=$(date +%s%N)
  "$tool" FIND LOAD >/dev/null
  times+=($((($(date +%s%N) - start) / 1000)))
done
median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
summary=$("$tool" FIND LOAD | tail -1)
counted=$(sed 's/.*; \([0-9]*\) bytes read\./\1/' <<<"$summary")
traced="?"
command -v strace >/dev/null &&
  traced=$(strace -e trace=read,pread64 -e signal=none "$tool" FIND LOAD 2>&1 >/dev/null |
    awk -F'= ' '/^(read|pread64)\(/ && $NF ~ /^[0-9]+$/ { s += $NF } END { print s + 0 }')
echo "FIND LOAD on a 4 GiB file-backed card ($volumes volumes; $summary): median ${median} us of" \
  "$runs runs; $((counted / volumes)) bytes read per volume on average ($traced by strace)"
[ "$median" -lt 1000000 ] || { echo "FAIL: over the target (1 s)"; exit 1; }
