#!/usr/bin/env bash
# GET, PUT and DEL against an independent reader and writer of TI disks, MAME's imgtool: every
# file that imgtool put on a disk (a program, DIS/FIX, DIS/VAR, INT/FIX and INT/VAR files, one
# split over two runs) comes off the disk, and off a card volume the disk was written into, equal
# to what imgtool get gives in bytes 0-15 and in its body; and the other way, every file PUT into
# a volume (one split, one that leaves no sector free), read back and taken off by imgtool, equals
# the TIFILES file it came from, and DEL gives back the free count; text, a BASIC listing, COPY,
# REN and PROTECT as imgtool sees them. The TIFILES files are built from bytes here.
# Usage: imgtool_test.sh PROGRAM WORK_DIRECTORY
# Exits 77 (skipped), saying why, where imgtool is not installed.
set -uo pipefail
program=$1 work=$2
export XDG_STATE_HOME=$work/state  # UNDO's store, not the user's
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

# The other way: PUT into volume 4 of an empty imgtool disk, DEL one to leave a gap that SPLIT
# fills and runs on from, one file that takes every sector left, and DEL back to the start.
imgtool create v9t9 empty.dsk --sides=2 --tracks=40 --sectors=20 >/dev/null 2>&1
"$program" --card card.img empty.dsk 4 >/dev/null || fail "the empty disk was not written"
free_line() { "$program" --card card.img DIR 4 | head -1; }
before=$(free_line)
"$program" --card card.img PUT 4 GAP.tfi LOAD.tfi TEXT.tfi NOTES.tfi SCORES.tfi LOG.tfi >out ||
  fail "PUT: $(cat out)"
"$program" --card card.img DEL 4 GAP >out || fail "DEL: $(cat out)"
"$program" --card card.img PUT 4 SPLIT.tfi >out || fail "PUT of SPLIT: $(cat out)"
left=$(sed -n 's/.* \([0-9]*\) sectors free\.$/\1/p' out)
tifiles REST 1 0 0 0 0 $((left - 1))
"$program" --card card.img PUT 4 REST.tfi >out || fail "PUT of REST: $(cat out)"
check "PUT: the last file fills the disk" "1 file put; 0 sectors free." "$(tail -1 out)"
"$program" --card card.img FLASH 4 back.dsk >/dev/null || fail "volume 4 was not read back"
imgtool dir v9t9 back.dsk >dir.out 2>&1 || fail "imgtool dir: $(cat dir.out)"
check "imgtool dir counts the files" 1 "$(grep -c ' 7 File(s)' dir.out)"
for file in LOAD TEXT NOTES SCORES LOG SPLIT REST; do
  imgtool get v9t9 back.dsk $file $file.back >/dev/null
  checks=$((checks + 2))
  cmp -s -n 16 $file.back $file.tfi || fail "put: $file differs in bytes 0-15"
  cmp -s -i 128 $file.back $file.tfi || fail "put: $file differs in its body"
done
"$program" --card card.img DEL 4 LOAD TEXT NOTES SCORES LOG SPLIT REST >out || fail "DEL: $(cat out)"
check "DEL gives back the free count" "$before" "$(free_line)"

# Contents: text PUT --text is a DIS/VAR 80 file whose records imgtool reads back one a line; a
# listing PUT --basic goes out through imgtool onto another disk and comes back the same listing;
# COPY, REN and PROTECT show in imgtool's catalogue.
printf 'HELLO WORLD\nSECOND LINE\r\n\nlast' >notes.txt
printf '10 PRINT "HI"\n20 GOTO 10\n' >hi.bas
for words in "PUT 4 notes.txt --text" "PUT 4 hi.bas --basic" "COPY 3 4 LOAD" "REN 4 LOAD GAME" \
  "PROTECT 4 GAME"; do
  "$program" --card card.img $words >out || fail "$words: $(cat out)"
done
"$program" --card card.img FLASH 4 contents.dsk >/dev/null || fail "volume 4 was not read back"
imgtool get v9t9 contents.dsk NOTES notes.tfi >/dev/null
check "--text: flags, records a sector, EOF offset, record length, level 3" 80031e500001 \
  "$(od -A n -t x1 -j 10 -N 6 notes.tfi | tr -d ' \n')"
records=$(perl -0777 -ne '$b = substr($_, 128); for ($s = 0; $s < length($b); $s += 256) {
  for ($p = $s; (my $l = ord(substr($b, $p, 1))) != 255; $p += 1 + $l) { print substr($b, $p + 1, $l), "\n" } }' notes.tfi)
check "--text: imgtool's records" "$(printf 'HELLO WORLD\nSECOND LINE\n\nlast')" "$records"
imgtool get v9t9 contents.dsk HI hi.tfi >/dev/null && imgtool get v9t9 contents.dsk GAME game.tfi >/dev/null
imgtool create v9t9 other.dsk --sides=2 --tracks=40 --sectors=20 >/dev/null 2>&1
imgtool put v9t9 other.dsk hi.tfi PROG >/dev/null
check "--basic: the listing after imgtool" "$(cat hi.bas)" "$("$program" GET other.dsk PROG - --text)"
checks=$((checks + 1))
cmp -s -i 128 game.tfi LOAD.tfi || fail "COPY: GAME differs from LOAD in its body"
check "REN and PROTECT: imgtool's catalogue" "GAME R/O" \
  "$(imgtool dir v9t9 contents.dsk | awk '$1 == "GAME" || $1 == "LOAD" { print $1, $NF }')"

# A 360-sector imgtool disk read back with --trim is the disk written; a formatted volume opens.
imgtool create v9t9 small.dsk --sides=1 --tracks=40 --sectors=9 >/dev/null 2>&1
imgtool put v9t9 small.dsk LOAD.tfi LOAD >/dev/null
"$program" --card card.img small.dsk 2 >/dev/null || fail "small.dsk was not written"
"$program" --card card.img FLASH 2 trimmed.dsk --trim >/dev/null || fail "FLASH --trim failed"
checks=$((checks + 2))
cmp -s trimmed.dsk small.dsk || fail "--trim: the read-back differs from the disk written"
imgtool dir v9t9 trimmed.dsk 2>&1 | grep -q ' 1 File(s)' || fail "--trim: imgtool dir does not open it"
"$program" --card card.img FORMAT 2 BLANK >/dev/null && "$program" --card card.img FLASH 2 blank.dsk >/dev/null
check "FORMAT: imgtool dir opens it" 1 "$(imgtool dir v9t9 blank.dsk 2>&1 | grep -c ' 0 File(s)')"
summary
