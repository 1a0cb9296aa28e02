#!/usr/bin/env bash
# The whole tool against dd on the same disk: N runs each of writing volume 5 and of reading it
# back, taken in turns (tool, dd, tool, dd ...), with the medians, the median of the ratios and
# each side's peak resident memory. dd writes the same pre-interleaved 819200 bytes at the same
# offset and syncs them before it returns; the tool's write also reads the slot back from the
# card and compares it, which dd does not. The disk is a loop device where this machine allows
# one (as root), and the file behind it otherwise. Targets: a write within 1.25 times dd's time,
# a read-back within 1.10 times. The write is also taken against its limit, a small C program
# (verified_write.c) that writes the slot with one call, syncs it, reads it back past the cache
# and compares it: target within 1.10 times. The write kept for UNDO is taken against the same
# program keeping the old slot first (read, written into a file and synced): within 1.10 times;
# every other write here is made with --no-undo. A PUT of a one-sector file is taken against a
# whole-volume write of the same disk, in turns, with the bytes each reads from the card and
# writes to it and its syncs (by strace, where it is installed; goal for the PUT: at most 40 KiB
# read and 2 syncs). BENCH_DISK=file measures on the file even as root.
# Usage: bench/compare_with_dd.sh [RUNS]   (after: cmake --workflow --preset bench)
source "$(dirname "$0")/bench_root.sh"
runs=${1:-21}
export XDG_STATE_HOME=$build/state  # UNDO's store, not the user's

SLOT=819200
VOLUME=5
make_root $((8 * SLOT))
head -c $((8 * SLOT)) /dev/zero >"$build/disk.img"
loop=$([ "${BENCH_DISK:-}" != file ] && [ "$(id -u)" -eq 0 ] &&
  losetup --find --show "$build/disk.img" 2>/dev/null || true)
trap '[ -n "$loop" ] && losetup -d "$loop"' EXIT
if [ -n "$loop" ]; then
  ln -s "$loop" "$root/dev/sda"
  disk="a loop device ($loop)"
else
  ln -s "$build/disk.img" "$root/dev/sda"
  disk="a file-backed disk"
fi
work=$root/work
cd "$work"

# A full image the tool leaves as it is, and the slot it becomes.
bash "$source/tests/make_full_image.sh" image.dsk slot.bin

now() { date +%s%N; }
time_of() {  # nanoseconds one command takes, its output dropped; it must succeed
  local start
  start=$(now)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  echo $(($(now) - start))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
peak_kb() {  # the command's peak resident memory; the usage text ends with status 1
  { /usr/bin/time -v "$@" 2>&1 >/dev/null || true; } | awk '/Maximum resident set size/ { print $6 }'
}

compare() {  # compare NAME TARGET -- TOOL COMMAND -- DD COMMAND
  local name=$1 target=$2
  shift 3
  local tool_cmd=() dd_cmd=()
  while [ "$1" != "--" ]; do tool_cmd+=("$1"); shift; done
  shift
  dd_cmd=("$@")
  local t d tool_times=() dd_times=() ratios=()
  for ((i = 0; i < runs; i++)); do
    t=$(time_of "${tool_cmd[@]}")
    d=$(time_of "${dd_cmd[@]}")
    tool_times+=("$t")
    dd_times+=("$d")
    ratios+=("$(awk -v t="$t" -v d="$d" 'BEGIN { printf "%.4f", t / d }')")
  done
  local tool_median dd_median ratio_median
  tool_median=$(printf '%s\n' "${tool_times[@]}" | median)
  dd_median=$(printf '%s\n' "${dd_times[@]}" | median)
  ratio_median=$(printf '%s\n' "${ratios[@]}" | median)
  printf '%-11s slotpush %7.2f ms   dd %7.2f ms   median ratio %.3f   peak RSS slotpush %s KiB, dd %s KiB\n' \
    "$name" "$(awk -v n="$tool_median" 'BEGIN { print n / 1e6 }')" \
    "$(awk -v n="$dd_median" 'BEGIN { print n / 1e6 }')" "$ratio_median" \
    "$(peak_kb "${tool_cmd[@]}")" "$(peak_kb "${dd_cmd[@]}")"
  awk -v r="$ratio_median" -v t="$target" 'BEGIN { exit !(r <= t) }' ||
    echo "  target missed: $name takes more than $target times dd's time"
}

echo "$runs runs each, taken in turns, on $disk"
compare write 1.25 -- "$tool" --no-undo image.dsk $VOLUME -- \
  dd if=slot.bin of="$root/dev/sda" bs=$SLOT seek=$((VOLUME - 1)) count=1 conv=notrunc,fdatasync
compare read 1.10 -- "$tool" FLASH $VOLUME -- \
  dd if="$root/dev/sda" of=FLASH.dd bs=$SLOT skip=$((VOLUME - 1)) count=1
cc -O2 -o "$build/verified_write" "$source/bench/verified_write.c"
compare "write/limit" 1.10 -- "$tool" --no-undo image.dsk $VOLUME -- \
  "$build/verified_write" "$root/dev/sda" slot.bin $(((VOLUME - 1) * SLOT))
# Kept for UNDO: the old slot (a whole disk) read and flushed into the store first, on both sides.
rm -rf "$XDG_STATE_HOME"
compare "kept/limit" 1.10 -- "$tool" image.dsk $VOLUME -- \
  "$build/verified_write" "$root/dev/sda" slot.bin $(((VOLUME - 1) * SLOT)) "$build/kept.slot"
cmp -s FLASH image.dsk || { echo "the read-back differs from the image written" >&2; exit 1; }

usage_kb=$(peak_kb "$tool")
write_kb=$(peak_kb "$tool" image.dsk $VOLUME)
echo "peak RSS: usage text $usage_kb KiB, a write $write_kb KiB, $((write_kb - usage_kb)) KiB more (target: at most 3072)"
[ $((write_kb - usage_kb)) -le 3072 ] || echo "  target missed: a write needs more than 3 MiB above the usage text"

# A PUT of a one-sector file against a whole-volume write of the empty TI disk it goes into;
# after each PUT the file is deleted again, untimed.
perl -e 'print pack("A10 n C a3 x40 C x199", "BENCH", 1600, 20, "DSK", 3), "\0" x (256 * 1599)' >ti.dsk
perl -e 'print pack("a8 n C x5 A10", "\x07TIFILES", 1, 1, "SMALL"), "\0" x 102, "S" x 256' >SMALL.tfi
"$tool" ti.dsk $VOLUME >/dev/null
put_times=() write_times=()
for ((i = 0; i < runs; i++)); do
  put_times+=("$(time_of "$tool" PUT $VOLUME SMALL.tfi)")
  "$tool" DEL $VOLUME SMALL >/dev/null
  write_times+=("$(time_of "$tool" ti.dsk $VOLUME)")
done
card_io() {  # what the command reads from the card and writes to it, and its syncs, by strace
  command -v strace >/dev/null || { echo "? bytes read, ? written, ? syncs"; return; }
  strace -f -e trace=openat,read,pread64,write,pwrite64,fdatasync,fsync,close -o "$build/trace" \
    "$@" >/dev/null
  awk '
    { call = $2; sub(/\(.*/, "", call); fd = $2; sub(/^[a-z0-9]*\(/, "", fd); sub(/[,)].*/, "", fd) }
    call == "openat" && /dev\/sda"/ && $NF ~ /^[0-9]+$/ { card[$NF] = 1 }
    call == "close" { delete card[fd] }
    !(fd in card) { next }
    call == "read" || call == "pread64" { r += $NF }
    call == "write" || call == "pwrite64" { w += $NF }
    call == "fdatasync" || call == "fsync" { s++ }
    END { printf "%d bytes read, %d written, %d syncs\n", r, w, s }' "$build/trace"
}
put_io=$(card_io "$tool" PUT $VOLUME SMALL.tfi)
"$tool" DEL $VOLUME SMALL >/dev/null
printf 'put         slotpush PUT %.2f ms (%s)   whole-volume write %.2f ms (%s)\n' \
  "$(printf '%s\n' "${put_times[@]}" | median | awk '{ print $1 / 1e6 }')" "$put_io" \
  "$(printf '%s\n' "${write_times[@]}" | median | awk '{ print $1 / 1e6 }')" \
  "$(card_io "$tool" ti.dsk $VOLUME)"
