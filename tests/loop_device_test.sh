#!/usr/bin/env bash
# The real program against a real block device: a loop device that carries an ext2 file system
# is dev/sdb (physical drive 1) of the program's device root.
# - mounted: the card is listed with its mount; a write is refused, names the mount, and
#   changes nothing; reading back works;
# - write-protected: a write is refused with the write-protect text;
# - held by another program, nothing mounted: refused with the system's text for a disk in use;
# - fixed (sysfs removable 0) with a boot record or a GPT header, as drive 1 and named with
#   --card: refused, and nothing written;
# - unmounted and fixed without one: the slot is written and reads back byte for byte, nothing
#   else changes; UNDO puts it back, and a PUT and a DEL after it, in turn;
# - pulled (detached): a write fails with the system's reason, and nothing else changes;
# - named with --card, directly, through a by-id style link and as a card file: written, read
#   back and listed; while mounted, refused with the mount named;
# - a Ctrl-C during a backup of a card file: the volume under way saved whole, the run stopped;
# - two writers at once on the device and on a card file: each waits for the other's claim.
# Usage: loop_device_test.sh PROGRAM DEVICE_ROOT WORK_DIRECTORY
# Exits 77 (skipped), saying why, where loop devices or mounting are not permitted.
set -uo pipefail
program=$1 root=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
SLOT=819200
# shellcheck source=checks.sh
source "$here/checks.sh"

skip() {
  echo "SKIPPED: $*"
  exit 77
}

[ "$(id -u)" -eq 0 ] || skip "loop devices and mounts need root"
for command in losetup mount umount mountpoint mkfs.ext2 blockdev; do
  command -v "$command" >/dev/null || skip "$command is not installed"
done

loop=
holder=
mnt=$work/mnt
release() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null && wait "$holder"
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  [ -n "$loop" ] && losetup -d "$loop"
  rm -rf "$work" "$root"
}
trap release EXIT
rm -rf "$work" "$root"
mkdir -p "$work" "$mnt" "$root/dev" "$root/sys/block/sda" "$root/work" "$root/proc/self"

truncate -s $((4 * SLOT)) "$work/card.img"
mkfs.ext2 -q -F "$work/card.img" || { echo "FAIL: mkfs.ext2"; exit 1; }
loop=$(losetup --find --show "$work/card.img" 2>&1) || { reason=$loop; loop=; skip "no loop device: $reason"; }
# Drive 0 is an ordinary file; drive 1 is the loop device, removable as a card reader's disk is,
# with the kernel's own size and read-only attributes.
truncate -s 1M "$root/dev/sda"
ln -s "$loop" "$root/dev/sdb"
mkdir "$root/sys/block/sdb"
echo 1 >"$root/sys/block/sdb/removable"
ln -s "/sys/block/$(basename "$loop")/size" "/sys/block/$(basename "$loop")/ro" "$root/sys/block/sdb"
ln -s /proc/self/mountinfo "$root/proc/self/mountinfo"
printf '\001\000\000\000' >"$root/work/slotpCFG"
bash "$here/make_full_image.sh" "$root/work/image.dsk" "$work/expected.slot"
mount "$loop" "$mnt" 2>"$work/mount.err" || skip "mounting is not permitted: $(cat "$work/mount.err")"

export XDG_STATE_HOME=$work/state  # UNDO's store, not the user's
run() { # run ARGS...: the program as "slotpush" in the root's work folder, as a user runs it
  (cd "$root/work" && exec -a ./slotpush "$program" "$@") >"$work/out" 2>&1
  status=$?
  output=$(cat "$work/out")
}
# The image a slot of the device holds: its even bytes.
image_of_slot() { # image_of_slot VOLUME
  dd if="$loop" bs=$SLOT skip=$(($1 - 1)) count=1 status=none |
    perl -e 'local $/; my $d = <STDIN>; print join "", map { substr($d, 2 * $_, 1) } 0 .. length($d) / 2 - 1'
}

# --- Mounted: listed with its mount; no write, and the mount is named; reading back still works
mv "$root/work/slotpCFG" "$work/slotpCFG"
run image.dsk 2 <<<n
check "mounted: listed" "$(printf 'List of All Possible Flash Drives\n%s\n\n 1) /dev/sdb 0mb  mounted on %s\n\n\nUse this drive? (Y/N): ' ---------------------------------  "$mnt")" "$output"
mv "$work/slotpCFG" "$root/work/slotpCFG"
cat "$loop" >"$work/before"
run image.dsk 2
check "mounted: status of a refused write" 253 "$status"
check "mounted: outcome" "slotpull failed: /dev/sdb: it could not be claimed: The disk is in use: $loop is mounted on $mnt." "$output"
run --card "$loop" image.dsk 2
check "mounted, named: status of a refused write" 253 "$status"
check "mounted, named: outcome" "slotpull failed: $loop: it could not be claimed: The disk is in use: $loop is mounted on $mnt." "$output"
checks=$((checks + 1))
cmp -s "$loop" "$work/before" || fail "mounted: the device changed"
run FLASH 1
check "read back while mounted: status" 0 "$status"
checks=$((checks + 1))
cmp -s "$root/work/FLASH" <(image_of_slot 1) || fail "read back while mounted: FLASH differs from slot 1"
umount "$mnt"

# --- Write-protected
blockdev --setro "$loop"
run image.dsk 2
check "write-protected: status" 253 "$status"
check "write-protected: outcome" "slotpull failed: /dev/sdb: it could not be claimed: The media is write protected." "$output"
blockdev --setrw "$loop"

# --- Held by another program with nothing mounted: the system's own text for a disk in use
perl -MFcntl -e '$| = 1; sysopen(my $d, $ARGV[0], O_RDONLY | O_EXCL) or exit 1; print "held\n"; sleep 30' "$loop" >"$work/held" &
holder=$!
for _ in $(seq 100); do [ -s "$work/held" ] && break; sleep 0.05; done
run image.dsk 2
check "held, nothing mounted: refused" "253 slotpull failed: /dev/sdb: it could not be claimed: The disk is in use by the system or another program." "$status $output"
kill "$holder" && wait "$holder"
holder=

# --- Fixed from here on: with a partition table it is a PC's disk and is refused untouched; a
# raw fixed card (a CF-to-IDE adapter's) is written below.
echo 0 >"$root/sys/block/sdb/removable"
entry=$root/sys/block/$(basename "$loop")  # the device's own, which a named --card reaches
mkdir "$entry" && echo 0 >"$entry/removable" && ln -s "/sys/block/$(basename "$loop")/size" "$entry"
cat "$loop" >"$work/before"
for signature in '510 \x55\xAA' '512 EFI PART'; do
  printf "${signature#* }" | dd of="$loop" bs=1 seek="${signature%% *}" conv=notrunc status=none
  for card in /dev/sdb "$loop"; do
    run $([ "$card" == "$loop" ] && echo --card "$loop") image.dsk 2
    check "fixed, $card, ${signature#* } at ${signature%% *}: refused" "253 slotpull failed: $card is a fixed disk with partitions, not a card; nothing was written." "$status $output"
  done
  dd if="$work/before" of="$loop" bs=512 count=2 conv=notrunc status=none
done
checks=$((checks + 1))
cmp -s "$loop" "$work/before" || fail "fixed with a partition table: the device changed"

# --- Unmounted: the slot is written, nothing else changes, and it reads back
cat "$loop" >"$work/before"
run image.dsk 2
check "unmounted: status" 0 "$status"
check "unmounted: outcome" "$(printf 'Volume 2 on /dev/sdb was empty; it now holds ?????#*18?.\nslotpull succeeded.')" "$output"
checks=$((checks + 3))
cmp -s -i $SLOT:0 -n $SLOT "$loop" "$work/expected.slot" || fail "unmounted: slot 2 bytes differ"
cmp -s -n $SLOT "$loop" "$work/before" || fail "unmounted: slot 1 changed"
cmp -s -i $((2 * SLOT)):$((2 * SLOT)) "$loop" "$work/before" || fail "unmounted: slots 3 and 4 changed"
run FLASH 2
check "read back: status" 0 "$status"
checks=$((checks + 1))
cmp -s "$root/work/FLASH" "$root/work/image.dsk" || fail "read back: FLASH differs from the image"
run UNDO
check "UNDO of the write: status" 0 "$status"
checks=$((checks + 1))
cmp -s "$loop" "$work/before" || fail "UNDO of the write: the device is not as it was before it"

# --- PUT and DEL on the device: only their sectors of volume 4, each written past the cache
perl -e 'print pack("A10 n C a3 x40 C x199", "LOOP", 1600, 20, "DSK", 3), "\0" x (256 * 1599)' >"$root/work/ti.dsk"
perl -e 'print pack("a8 n C x5 A10", "\x07TIFILES", 2, 1, "HELLO"), "\0" x 102, "H" x 512' >"$root/work/HELLO.tfi"
run ti.dsk 4
cat "$loop" >"$work/before"
run PUT 4 HELLO.tfi
check "PUT on the device" "0 HELLO (PROGRAM, 3 sectors) from HELLO.tfi put on volume 4 on /dev/sdb.
1 file put; 1595 sectors free." "$status $output"
checks=$((checks + 1))
cmp -s -n $((3 * SLOT)) "$loop" "$work/before" || fail "PUT: slots 1 to 3 changed"
run DEL 4 HELLO
check "DEL on the device" "0 HELLO (PROGRAM, 3 sectors) deleted from volume 4 on /dev/sdb.
1 file deleted; 1598 sectors free." "$status $output"
run UNDO && run UNDO
check "DEL and PUT undone in turn" "0 Volume 4 on /dev/sdb holds LOOP again.
UNDO took back PUT 4 HELLO.tfi of WHEN." "$status $(sed 's/ of [-0-9: ]*\.$/ of WHEN./' <<<"$output")"
checks=$((checks + 1))
cmp -s "$loop" "$work/before" || fail "DEL and PUT undone: the device is not as it was before PUT"

# --- Two writers at once, for real, on the device and on a card file, 50 times each: two PUTs
# into one volume each wait for the other's claim, so neither says "put" of a file the disk then
# lacks; a PUT racing a whole-volume write leaves a sound disk, the new one with or without it.
perl -e 'print pack("a8 n C x5 A10", "\x07TIFILES", 1, 1, "A"), "\0" x 102, "A" x 256' >"$root/work/A.tfi"
perl -e 'print pack("a8 n C x5 A10", "\x07TIFILES", 1, 1, "B"), "\0" x 102, "B" x 256' >"$root/work/B.tfi"
cp "$root/work/ti.dsk" "$root/work/other.dsk"
(cd "$root/work" && "$program" PUT other.dsk HELLO.tfi >/dev/null)
truncate -s $((4 * SLOT)) "$work/race.img"
for card in "$loop" "$work/race.img"; do
  lost=0
  unsound=0
  for _ in $(seq 50); do
    (cd "$root/work" && "$program" --card "$card" ti.dsk 4 >/dev/null &&
      { "$program" --card "$card" PUT 4 A.tfi >"$work/put.a" 2>&1 &
        "$program" --card "$card" PUT 4 B.tfi >"$work/put.b" 2>&1 & wait; } &&
      "$program" --card "$card" DIR 4 >"$work/dir" 2>&1)
    for file in a b; do
      name=$(tr a-z A-Z <<<$file)
      grep -q "^$name (PROGRAM" "$work/put.$file" && ! grep -q "^$name " "$work/dir" && lost=$((lost + 1))
    done
    (cd "$root/work" && { "$program" --card "$card" PUT 4 A.tfi >/dev/null 2>&1 &
      "$program" --card "$card" other.dsk 4 >/dev/null 2>&1 & wait; } &&
      "$program" --card "$card" DIR 4 >"$work/dir" 2>&1) || unsound=$((unsound + 1))
    grep -q "^HELLO " "$work/dir" || unsound=$((unsound + 1))
  done
  check "$card: two PUTs at once, 50 times: no file said put and lost" 0 "$lost"
  check "$card: a PUT racing a whole-volume write, 50 times: the new disk whole" 0 "$unsound"
done
# A card file held past the claim's two seconds by another writer's flock: refused as a claim.
flock -x "$work/race.img" sleep 4 &
sleep 0.3
run --card "$work/race.img" CLEAR 4
check "held card file: refused" "253 slotpull failed: $work/race.img: it could not be claimed: The process cannot access the file because it is being used by another process." "$status $output"
wait

# --- Named on the command line: the device itself, a by-id style link to it, and a card file
mkdir -p "$work/by-id"
ln -s "$loop" "$work/by-id/usb-CF_Card_0001-0:0"
truncate -s $((4 * SLOT)) "$work/file.img"
# The link writes over what the device itself wrote.
held=("was empty" "held ?????#*18?" "was empty")
cards=("$loop" "$work/by-id/usb-CF_Card_0001-0:0" "$work/file.img")
for i in 0 1 2; do
  card=${cards[$i]}
  rm -f "$root/work/FLASH"
  run --card "$card" image.dsk 3
  check "$card: write" "0 Volume 3 on $card ${held[$i]}; it now holds ?????#*18?.
slotpull succeeded." "$status $output"
  run --card "$card" FLASH 3
  check "$card: read back" 0 "$status"
  checks=$((checks + 1))
  cmp -s "$root/work/FLASH" "$root/work/image.dsk" || fail "$card: FLASH differs from the image"
  cat "$loop" >"$work/before"
  run --card "$card" FLASH 3 "$loop"
  check "$card: a read-back into the device" "4 slotpull failed: the output file '$loop' is a device, not a file; nothing was written." "$status $output"
  checks=$((checks + 1))
  cmp -s "$loop" "$work/before" || fail "$card: a read-back into the device changed it"
  run --card "$card" LIST 3
  check "$card: list" "0 $(printf 'Volume  Name        Sectors  Free  Prot\n     3  ?????#*18?     1600     0')" "$status $output"
done

# --- A Ctrl-C (SIGINT) during a backup of a card file into a folder that holds an earlier one:
# the volume under way is saved whole, the run says it stopped, and no file is cut short.
truncate -s $((60 * SLOT)) "$work/many.img"
many=()
for _ in $(seq 60); do many+=(image.dsk); done
run --card "$work/many.img" "${many[@]}" 1
run --card "$work/many.img" FLASH 1- "$work/many"
run --card "$work/many.img" NAME 1 NEW
("$program" --card "$work/many.img" FLASH 1- "$work/many" >"$work/stopped" 2>&1
 echo $? >"$work/stopped.status") &
backup=$!
for _ in $(seq 1000); do [ -e "$work/many/0001-NEW.dsk" ] && break; sleep 0.005; done
pkill -INT -f -- "--card $work/many.img FLASH" || fail "the backup ended before its Ctrl-C"
wait "$backup"
check "an interrupted backup: status and its stop" "130 Stopped by Ctrl-C." "$(cat "$work/stopped.status") $(tail -2 "$work/stopped" | head -1)"
check "an interrupted backup: every file whole" "409600" "$(stat -c %s "$work"/many/* | sort -u | tr '\n' ' ' | xargs)"

# --- Pulled between choosing and writing: the detached device has no bytes to position in.
# A detach while udev still probes the device only takes effect at its last close: wait until
# the kernel has let go of it, and run only while no one else has taken the device up.
backing=/sys/block/$(basename "$loop")/loop/backing_file
losetup -d "$loop"
for _ in $(seq 100); do
  [ -e "$backing" ] || break
  sleep 0.05
done
if [ -e "$backing" ]; then
  fail "pulled: $loop is still attached (to $(cat "$backing")) 5 s after its detach"
  [ "$(cat "$backing")" == "$work/card.img" ] || loop=  # another's now: not ours to detach
else
  loop_name=$loop
  loop=
  run --no-undo image.dsk 2
  check "pulled: status of a failed write" 253 "$status"
  check "pulled: outcome" "slotpull failed: volume 2 on /dev/sdb: the write failed: Invalid argument" "$output"
  run image.dsk 2
  check "pulled, kept for UNDO: refused at the keeping" "254 slotpull failed: volume 2 on /dev/sdb: what it held could not be read to be kept for UNDO: Invalid argument" "$status $output"
  [ -e "$backing" ] && fail "pulled: another took $loop_name up meanwhile; the step proves nothing"
fi
checks=$((checks + 1))
cmp -s "$root/dev/sda" <(head -c 1M /dev/zero) || fail "drive 0 changed"

summary
