# Shared by the benchmark scripts, sourced: the bench build's program and its stand-in for /,
# with one disk, sda, of the given size in the stand-in sysfs (after: cmake --workflow --preset
# bench). The drive-choice file beside the program names drive 0, so no question is asked.
# Sets: source (the project), build, tool, root.
set -euo pipefail
source=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$source/build/bench
tool=$build/slotpush
root=$build/root
[ -x "$tool" ] || { echo "build it first: cmake --workflow --preset bench" >&2; exit 1; }

make_root() {  # make_root DISK_BYTES
  rm -rf "$root"
  mkdir -p "$root/sys/block/sda" "$root/dev" "$root/work"
  echo 0 >"$root/sys/block/sda/removable"
  echo $(($1 / 512)) >"$root/sys/block/sda/size"
  printf '\x00\x00\x00\x00' >"$build/slotpCFG"
}
