#!/usr/bin/env bash
# The Windows program under Wine: usage, version banners and the family each one leads to,
# writing and reading slots of a file-backed physical drive, and a drive that is not there.
# Usage: wine_test.sh PROGRAM.exe WORK_DIRECTORY
# Exits 77 (skipped) when this machine's Wine cannot run the program.
set -uo pipefail
program=$1
work=$2
tests=$(cd "$(dirname "$0")/.." && pwd)

SLOT=819200
failures=0
checks=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
check() {  # check DESCRIPTION EXPECTED ACTUAL
  checks=$((checks + 1))
  [ "$2" == "$3" ] || fail "$1: expected [$2], got [$3]"
}

if ! command -v wine >/dev/null; then
  echo "SKIPPED: Wine is not installed"
  exit 77
fi
if [[ $(od -An -tx1 -j $(($(od -An -tu4 -j 60 -N 4 "$program") + 4)) -N 2 "$program") == " 4c 01" ]] &&
  [ ! -x /usr/lib/wine/wine ]; then
  echo "SKIPPED: $(basename "$program") is a 32-bit program and this machine has no 32-bit Wine"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/prefix" "$work/run"
export WINEPREFIX=$work/prefix WINEDEBUG=-all LANG=C.UTF-8 DISPLAY=
wineserver -p
trap 'wineserver -k 2>/dev/null' EXIT
wineboot --init </dev/null >/dev/null 2>&1
cp "$program" "$work/run/slotpush.exe"
cd "$work/run" || exit 1

# Runs the program with the given input line; sets status and output (line ends made Unix).
run() {  # run INPUT ARGS...
  local input=$1
  shift
  printf '%s' "$input" | wine ./slotpush.exe "$@" >"$work/stdout" 2>"$work/stderr"
  status=${PIPESTATUS[1]}
  output=$(tr -d '\r' <"$work/stdout")
}
set_version() {
  wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1
}
store_drive() {  # the drive-choice file beside the program: four bytes, little-endian
  printf "\\x$(printf %02x "$1")\\x00\\x00\\x00" >slotpush.CFG
}

# --- Usage
run "" only-one-argument
check "usage status" 1 "$status"
check "usage text" "$(printf '\nslotpush Version 1.0\n\nUsage:    slotpush <DSK file> <volume#>\nExample:  slotpush c:\\ti_dsk\\dm5.dsk 5')" "$output"

# --- Banners, and the family each platform leads to (seen in which devices are probed)
none=$'List of All Possible Flash Drives\n---------------------------------\n\n         ** None **'
while IFS='|' read -r version family banner; do
  set_version "$version"
  rm -f slotpush.CFG
  printf '\n' | WINEDEBUG=-all,+file wine ./slotpush.exe image.dsk 1 >"$work/stdout" 2>"$work/trace"
  status=${PIPESTATUS[1]}
  output=$(tr -d '\r' <"$work/stdout")
  check "$version: status" 255 "$status"
  check "$version: banner and listing" "$banner"$'\n'"$none" "$output"
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
win10|nt|Workstation 6.2  (Build 9200)
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
  check "write volume $volume: outcome" "slotpull succeeded." "$output"
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
  check "read back volume $volume: outcome" "slotpull succeeded." "$output"
  checks=$((checks + 1))
  cmp -s FLASH image.dsk || fail "read back volume $volume: FLASH differs from the image"
done

# --- A stored drive with no device behind it
store_drive 5
run "" image.dsk 1
check "absent drive: status of a failed open" 247 "$status"
check "absent drive: outcome" "slotpull failed: " "${output:0:17}"

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
