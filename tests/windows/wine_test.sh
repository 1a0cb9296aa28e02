#!/usr/bin/env bash
# The Windows program under Wine: usage, version banners and the family each one leads to,
# writing and reading slots of a file-backed physical drive, a drive that is not there, and a
# card file named with --card.
# Usage: wine_test.sh PROGRAM.exe WORK_DIRECTORY
# A 32-bit program runs under the 32-bit Wine that setup_wine32.sh provides; it is skipped (exit
# 77) only on a machine whose kernel runs no 32-bit program.
set -uo pipefail
program=$1
work=$2
tests=$(cd "$(dirname "$0")/.." && pwd)

SLOT=819200
# shellcheck source=../checks.sh
source "$tests/checks.sh"

# A 32-bit program runs under a 32-bit Wine of its own, set up once and kept between runs.
if [[ $(od -An -tx1 -j $(($(od -An -tu4 -j 60 -N 4 "$program") + 4)) -N 2 "$program") == " 4c 01" ]]; then
  wine32=${SLOTPUSH_WINE32_CACHE:-${XDG_CACHE_HOME:-${HOME:-$work}/.cache}/slotpush/wine32}
  bash "$tests/windows/setup_wine32.sh" "$wine32" ||
    { echo "FAIL: 32-bit Wine could not be set up in $wine32 (see above)"; exit 1; }
  # Some kernels run no 32-bit program at all (their log says "32-bit emulation disabled"):
  # execve refuses the 32-bit loader itself with ENOEXEC. Only there is this run skipped.
  refusal=$(LC_ALL=C bash -c '"$0" --help' "$wine32/root/lib/ld-linux.so.2" 2>&1 >/dev/null)
  if [[ $? -ne 0 && $refusal == *"Exec format error"* ]]; then
    echo "SKIPPED: this machine runs no 32-bit programs: the Wine run of the 32-bit program is skipped; its static checks ran"
    exit 77
  fi
  wine=$wine32/root/usr/lib/wine/wine
  export WINESERVER=$wine32/root/usr/lib/wine/wineserver32 WINEARCH=win32
else
  command -v wine >/dev/null || { echo "FAIL: Wine is not installed"; exit 1; }
  wine=wine
  export WINESERVER=wineserver
fi

rm -rf "$work"
mkdir -p "$work/prefix" "$work/run" "$work/tmp"
# Wine's own temporary folders go under the work folder, not the system's.
export WINEPREFIX=$work/prefix WINEDEBUG=-all LANG=C.UTF-8 DISPLAY= TMPDIR=$work/tmp
"$WINESERVER" -p
trap '"$WINESERVER" -k 2>/dev/null' EXIT
"$wine" wineboot --init </dev/null >/dev/null 2>&1
cp "$program" "$work/run/slotpush.exe"
cd "$work/run" || exit 1

# Runs the program with the given input line; sets status and output (line ends made Unix).
run() {  # run INPUT ARGS...
  local input=$1
  shift
  printf '%s' "$input" | "$wine" ./slotpush.exe "$@" >"$work/stdout" 2>"$work/stderr"
  status=${PIPESTATUS[1]}
  output=$(tr -d '\r' <"$work/stdout")
}
set_version() {
  "$wine" reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}
store_drive() {  # the drive-choice file beside the program: four bytes, little-endian
  printf "\\x$(printf %02x "$1")\\x00\\x00\\x00" >slotpush.CFG
}

# --- Usage
run "" only-one-argument
check "usage status" 1 "$status"
check "usage text" "$(cat "$tests/usage.txt")" "$output"

# --- Banners, and the family each platform leads to (seen in which devices are probed)
header=$'List of All Possible Flash Drives\n---------------------------------\n\n'
none="$header         ** None **
No removable drive was found; name the card with --card PATH."
# 32-bit Wine has a VWIN32 driver: its Z: (the Unix root) is a fixed disk, and is offered alone.
[ "$wine" == wine ] && listed_9x=$none || listed_9x="$header"$'Z: 32mb\n\n\nUse this drive? (Y/N): '
while IFS='|' read -r version family banner; do
  set_version "$version"
  rm -f slotpush.CFG
  printf '\n' | WINEDEBUG=-all,+file "$wine" ./slotpush.exe image.dsk 1 >"$work/stdout" 2>"$work/trace"
  status=${PIPESTATUS[1]}
  output=$(tr -d '\r' <"$work/stdout")
  check "$version: status" 255 "$status"
  [ "$family" == 9x ] && listing=$listed_9x || listing=$none
  check "$version: banner and listing" "$banner"$'\n'"$listing" "$output"
  vwin32=$(grep -c 'CreateFileW L"\\\\\\\\.\\\\VWIN32"' "$work/trace")
  physical=$(grep -c 'CreateFileW L"\\\\\\\\.\\\\PHYSICALDRIVE[0-9]*"' "$work/trace")
  if [ "$family" == 9x ]; then
    check "$version: the 9x listing probes 26 letters through VWIN32" "26 0" "$vwin32 $physical"
  else
    check "$version: the NT listing probes 16 physical drives" "0 16" "$vwin32 $physical"
  fi
done <<'EOF'
win95|9x|Microsoft Windows 95 
win98|9x|Microsoft Windows 98 SE 
winme|9x|Microsoft Windows Millennium Edition
nt40|nt|Microsoft Windows NT Workstation 4.0 Service Pack 6a (Build 1381)
win2k|nt|Microsoft Windows 2000 Workstation 5.0 Service Pack 4 (Build 2195)
winxp|nt|Microsoft Windows XP Workstation 5.1 Service Pack 3 (Build 2600)
win2003|nt|Microsoft Windows Server 2003, Workstation 5.2 Service Pack 2 (Build 3790)
win81|nt|Workstation 6.3  (Build 9600)
win10|nt|Workstation 10.0  (Build 18362)
EOF
set_version win10

# --- A stored drive 1 backed by an ordinary file: slots written and read back
# A full 1600-sector image that is already normalised: "DSK", 1600 sectors, all in use.
bash "$tests/make_full_image.sh" image.dsk expected.slot
disk=$work/disk.img
rm -f "$disk"
truncate -s $((2624 * SLOT)) "$disk"
ln -sf "$disk" "$WINEPREFIX/dosdevices/physicaldrive1"
store_drive 1

zero_between() {  # zero_between FROM TO: the disk holds only zeros in [FROM, TO)
  [ "$2" -le "$1" ] || cmp -s -i "$1:0" -n $(($2 - $1)) "$disk" /dev/zero
}
written=()
for volume in 1 2 2623; do
  run "" image.dsk "$volume"
  check "write volume $volume: status" 0 "$status"
  check "write volume $volume: outcome" "Volume $volume on \\\\.\\PHYSICALDRIVE1 was empty; it now holds ?????#*18?.
slotpull succeeded." "$output"
  start=$(((volume - 1) * SLOT))
  checks=$((checks + 1))
  cmp -s -i "$start:0" -n $SLOT "$disk" expected.slot || fail "volume $volume: slot bytes differ"
  written+=("$start")
  # Every byte outside the slots written so far is still zero.
  previous=0
  for slot_start in $(printf '%s\n' "${written[@]}" | sort -n); do
    checks=$((checks + 1))
    zero_between "$previous" "$slot_start" || fail "volume $volume: bytes before $slot_start changed"
    previous=$((slot_start + SLOT))
  done
  checks=$((checks + 1))
  zero_between "$previous" $((2624 * SLOT)) || fail "volume $volume: bytes after $previous changed"

  rm -f FLASH
  run "" FLASH "$volume"
  check "read back volume $volume: status" 0 "$status"
  check "read back volume $volume: outcome" "Volume $volume on \\\\.\\PHYSICALDRIVE1 (?????#*18?) saved as FLASH.
slotpull succeeded." "$output"
  checks=$((checks + 1))
  cmp -s FLASH image.dsk || fail "read back volume $volume: FLASH differs from the image"
done

# --- The catalogue of the card's last volumes, and its end
run "" LIST 2622-
check "LIST: status" 0 "$status"
check "LIST: lines" "   Volume  Name        Sectors  Free  Prot
     2622  (empty)
     2623  ?????#*18?     1600     0
     2624  (empty)
The card ends after volume 2624." "$output"

# --- No wildcard expansion: with two matches, "*.dsk" still reaches the program as one name
cp image.dsk other.dsk
run "" '*.dsk' 5
check "*.dsk: status of an image that does not open" 254 "$status"
check "*.dsk: outcome" "slotpull failed: " "${output:0:17}"
checks=$((checks + 1))
zero_between $((4 * SLOT)) $((5 * SLOT)) || fail "*.dsk: volume 5 was written"

# --- A stored drive with no device behind it
store_drive 5
run "" image.dsk 1
check "absent drive: status of a failed open" 247 "$status"
check "absent drive: outcome" 'slotpull failed: \\.\PHYSICALDRIVE5: ' "${output:0:37}"

# --- A card file named on the command line: written, read back, listed; past its end refused
truncate -s $((3 * SLOT)) card.img
run "" --card card.img image.dsk 2
check "--card card.img: write" "0 Volume 2 on card.img was empty; it now holds ?????#*18?.
slotpull succeeded." "$status $output"
checks=$((checks + 1))
cmp -s -i "$SLOT:0" -n $SLOT card.img expected.slot || fail "--card card.img: slot 2 bytes differ"
# UNDO, kept in the prefix's %LOCALAPPDATA%: the volume empty again; then written once more.
kept=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/slotpush/*.undo' | wc -l)
run "" --card card.img UNDO
check "--card card.img: UNDO from %LOCALAPPDATA%" "1 0 Volume 2 on card.img is empty again.
UNDO took back image.dsk 2 of WHEN." "$((kept > 0)) $status $(sed 's/ of [-0-9: ]*\.$/ of WHEN./' <<<"$output")"
checks=$((checks + 1))
cmp -s card.img <(head -c $((3 * SLOT)) /dev/zero) || fail "--card card.img: UNDO left the card changed"
# Written again where neither folder is named, as on Windows 95: kept beside the program.
"$wine" cmd /c "set LOCALAPPDATA=&& set APPDATA=&& slotpush.exe --card card.img image.dsk 2" >/dev/null
check "no %LOCALAPPDATA% or %APPDATA%: kept beside the program" 00000001.undo "$(ls slotpush-undo)"
rm -f FLASH
run "" --card card.img FLASH 2 saved.dsk
check "--card card.img: read back into a named file" "0 Volume 2 on card.img (?????#*18?) saved as saved.dsk.
slotpull succeeded." "$status $output"
checks=$((checks + 1))
cmp -s saved.dsk image.dsk || fail "--card card.img: saved.dsk differs from the image"
[ -e FLASH ] && fail "--card card.img: FLASH was written beside saved.dsk"
run "" --card card.img LIST 1-
check "--card card.img: LIST" "0 Volume  Name        Sectors  Free  Prot
     1  (empty)
     2  ?????#*18?     1600     0
     3  (empty)
The card ends after volume 3." "$status $output"
run "" --card card.img image.dsk 4
check "--card card.img: past its end" "255 slotpull failed: volume 4 is past the card's end; its last whole volume is 3." "$status $output"
run "" FLASH 2 .\\card.img --card=card.img
check "--card card.img: the card is never an output file" "4 slotpull failed: the output file '.\\card.img' is the card itself; nothing was written." "$status $output"
cmp -s -i "$SLOT:0" -n $SLOT card.img expected.slot || fail "--card card.img: the card changed"
checks=$((checks + 1))
# PUT into an image file: written beside it and renamed over it, at its own 360 sectors; DEL
# from the card file's volume 3, sector by sector.
perl -e 'print pack("A10 n C a3 x40 C x199", "WINE", 360, 9, "DSK", 3), "\0" x (256 * 359)' >ti.dsk
perl -e 'print pack("a8 n C x5 A10", "\x07TIFILES", 2, 1, "HELLO"), "\0" x 102, "H" x 512' >HELLO.tfi
run "" PUT ti.dsk HELLO.tfi
check "PUT into an image file" "0 HELLO (PROGRAM, 3 sectors) from HELLO.tfi put on the image file 'ti.dsk'.
1 file put; 355 sectors free." "$status $output"
check "PUT: the image file keeps its size, nothing left beside it" "92160 ti.dsk" "$(stat -c %s ti.dsk) $(ls ti.dsk*)"
run "" --card card.img ti.dsk 3
run "" --card card.img DEL 3 HELLO
check "DEL from a volume" "0 HELLO (PROGRAM, 3 sectors) deleted from volume 3 on card.img.
1 file deleted; 1598 sectors free." "$status $output"
# A backup of every volume into a folder it makes, written back onto an empty card.
run "" --card card.img FLASH 1- backup
check "backup" "0 2 volumes saved, 1 empty." "$status $(tail -1 <<<"$output")"
truncate -s $((3 * SLOT)) empty.img
run "" --card empty.img RESTORE backup
check "restore: status" 0 "$status"
checks=$((checks + 1))
cmp -s empty.img card.img || fail "restore: the card differs from the one saved"
run "" --card empty.img FORMAT 1 NEW
run "" --card empty.img FIND n?w
check "FORMAT, then FIND" "0 Volume  Disk        File        Type          Size
     1  NEW
1 found; 52224 bytes read." "$status $output"
# GET never saves over the disk it reads; a link planted where an earlier run put a file beside
# an image is never followed (it names the card here), and the card is left as it was.
run "" GET ti.dsk HELLO ti.dsk --force
check "GET into the disk it reads" "4 slotpull failed: the output file 'ti.dsk' is the disk being read; nothing was written." "$status $output"
run "" DEL ti.dsk HELLO
ln -s card.img ti.dsk.slotpush-old
ln -s card.img ti.dsk.slotpush-new
cp card.img card.before
run "" PUT ti.dsk HELLO.tfi
check "PUT beside planted links" "0 1 file put; 355 sectors free." "$status $(tail -1 <<<"$output")"
checks=$((checks + 1))
cmp -s card.img card.before || fail "PUT beside planted links: the card changed"
# Text both ways: lines ending in LF, CR LF or nothing come back with CR LF, Windows' own end;
# COPY takes a file from the image onto a volume.
printf 'ONE\nTWO\r\nTHREE' >notes.txt
printf 'ONE\r\nTWO\r\nTHREE\r\n' >expected.txt
run "" PUT ti.dsk notes.txt --text
run "" GET ti.dsk NOTES back.txt --text
check "GET --text" "0 NOTES (DIS/VAR 80, 2 sectors) from the image file 'ti.dsk' saved as back.txt, 3 lines of text." "$status $output"
checks=$((checks + 1))
cmp -s back.txt expected.txt || fail "GET --text: not the lines put, each ending in CR LF"
run "" --card card.img COPY ti.dsk 3 HELLO
check "COPY onto a volume" "0 1 file copied; 1595 sectors free." "$status $(tail -1 <<<"$output")"
# Two PUTs into one volume of a card file at once, five times: the card file's share mode keeps
# the second writer waiting, so both files are on the disk afterwards.
for f in A B; do
  perl -e 'print pack("a8 n C x5 A10", "\x07TIFILES", 1, 1, $ARGV[0]), "\0" x 102, "x" x 256' "$f" >"$f.tfi"
done
both=0
for _ in 1 2 3 4 5; do
  run "" --card card.img ti.dsk 3
  "$wine" ./slotpush.exe --card card.img PUT 3 A.tfi >/dev/null 2>&1 &
  "$wine" ./slotpush.exe --card card.img PUT 3 B.tfi >/dev/null 2>&1 &
  wait
  run "" --card card.img DIR 3
  grep -q "^A " <<<"$output" && grep -q "^B " <<<"$output" && both=$((both + 1))
done
check "two PUTs at once on a card file, five times: both files put" 5 "$both"
# A Ctrl-C during a backup into a folder that holds an earlier one: the volume under way is
# saved, the run stops and says so, and every file of the folder is whole, old or new.
many=()
for _ in $(seq 120); do many+=(ti.dsk); done
truncate -s $((120 * SLOT)) many.img
run "" --card many.img "${many[@]}" 1
run "" --card many.img FLASH 1- many
perl -e 'print pack("A10 n C a3 x40 C x199", "NEW", 360, 9, "DSK", 3), "\0" x (256 * 359)' >new.dsk
run "" --card many.img NAME 1 NEW
many=()
for _ in $(seq 120); do many+=(new.dsk); done
run "" --no-undo --card many.img "${many[@]}" 1  # 98 MB over whole volumes: past UNDO's bound
("$wine" ./slotpush.exe --card many.img FLASH 1- many >"$work/stdout" 2>"$work/stderr"
 echo $? >"$work/status") &
backup=$!
for _ in $(seq 1000); do [ -e many/0003-NEW.dsk ] && break; sleep 0.01; done
pkill -INT -f "slotpush.exe --card many.img FLASH" || fail "the backup ended before its Ctrl-C"
wait "$backup"
check "an interrupted backup: status and last lines" "130 Stopped by Ctrl-C." \
  "$(cat "$work/status") $(tr -d '\r' <"$work/stdout" | tail -2 | head -1)"
whole=$(for file in many/*; do echo "$(stat -c %s "$file") $(head -c 4 "$file" | tr -d ' ')"; done | sort -u | tr '\n' ' ')
check "an interrupted backup: every file whole, old or new" "409600 NEW 409600 WINE " "$whole"
run "" --card nosuch.img LIST 1
check "--card nosuch.img: status" 255 "$status"
check "--card nosuch.img: outcome" "slotpull failed: nosuch.img: " "${output:0:29}"

summary
