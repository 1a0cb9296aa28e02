#!/usr/bin/env bash
# GET against an independent reader of TI disks, MAME's imgtool: every file that imgtool put on
# a disk (a program, DIS/FIX, DIS/VAR, INT/FIX and INT/VAR files, one split over two runs)
# comes off the disk, and off a card volume the disk was written into, equal to what imgtool get
# gives in bytes 0-15 and in its body. The TIFILES files are built from bytes here.
# Usage: imgtool_test.sh PROGRAM WORK_DIRECTORY
# Exits 77 (skipped), saying why, where imgtool is not installed.
set -uo pipefail
program=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=checks.sh
source "$here/checks.sh"
command -v imgtool >/dev/null || { echo "SKIPPED: imgtool (Debian's mame-tools) is not installed"; exit 77; }
rm -rf "$work" && mkdir -p "$work/pc" "$work/card" && cd "$work" || exit 1
trap 'cd / && rm -rf "$work"' EXIT

tifiles() { # tifiles NAME FLAGS RECORDS_PER_SECTOR EOF RECORD_LENGTH LEVEL3 SECTORS: NAME.tfi
  perl -e 'my ($n, $f, $r, $e, $l, $c, $s) = @ARGV; srand(length($n) * 7 + $s);
    print pack("a8 n C4 n A10", "\x07TIFILES", $s, $f, $r, $e, $l, $c, $n), "\0" x 102,
      join("", map { chr(int(rand(256))) } 1 .. 256 * $s)' "$@" >"$1.tfi"
}
imgtool create v9t9 disk.dsk --sides=2 --tracks=40 --sectors=20 >/dev/null 2>&1
tifiles GAP 1 0 0 0 0 30
tifiles LOAD 1 0 40 0 0 36
tifiles TEXT 0 3 0 80 9 3
tifiles NOTES 128 3 100 80 2 2
tifiles SCORES 2 2 0 128 4 2
tifiles LOG 130 1 20 254 5 1
tifiles SPLIT 1 0 0 0 0 50
tifiles BIG 1 0 0 0 0 1460
for file in GAP LOAD TEXT NOTES SCORES LOG BIG; do imgtool put v9t9 disk.dsk $file.tfi $file >/dev/null; done
imgtool del v9t9 disk.dsk GAP >/dev/null  # SPLIT then fills the gap and runs on past BIG
imgtool put v9t9 disk.dsk SPLIT.tfi SPLIT >/dev/null
truncate -s $((4 * 819200)) card.img
"$program" --card card.img disk.dsk 3 >/dev/null || fail "the disk was not written into volume 3"
(cd pc && "$program" GET ../disk.dsk >out) || fail "GET of the image file: $(cat pc/out)"
(cd card && "$program" --card ../card.img GET 3 >out) || fail "GET of volume 3: $(cat card/out)"
check "GET of volume 3: its count" "7 files saved." "$(tail -1 card/out)"
for file in LOAD TEXT NOTES SCORES LOG BIG SPLIT; do
  imgtool get v9t9 disk.dsk $file $file.ref >/dev/null
  for from in pc card; do
    checks=$((checks + 2))
    cmp -s -n 16 $from/$file $file.ref || fail "$from: $file differs in bytes 0-15"
    cmp -s -i 128 $from/$file $file.ref || fail "$from: $file differs in its body"
  done
done
summary
