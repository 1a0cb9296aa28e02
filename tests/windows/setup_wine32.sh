#!/usr/bin/env bash
# Sets up 32-bit Wine in a folder of its own, leaving the system's packages alone: Debian's
# wine32:i386 does not install beside wine64 on these machines (the i386 security index fails
# to download, and the Multi-Arch libraries then do not match the amd64 ones).
#
# apt runs with a private configuration (its own lists, cache and empty status) against the
# machine's own Debian main archive, downloads the i386 packages and patchelf, and they are
# unpacked into CACHE/root. The 32-bit wine and wineserver32 are pointed at that folder's
# loader and libraries. Idempotent: a finished folder is used as it is.
# Usage: setup_wine32.sh CACHE   (then CACHE/root/usr/lib/wine/{wine,wineserver32} run)
set -euo pipefail
cache=$1
root=$cache/root
done_marker=$cache/ready
[ -f "$done_marker" ] && exit 0

packages=(wine32 libwine libc6 libgcc-s1 libz-mingw-w64 patchelf:amd64)
rm -rf "$cache"
mkdir -p "$cache/apt/lists/partial" "$cache/apt/archives/partial" "$cache/debs" "$root"
: >"$cache/apt/status"

# The archive apt already takes the release's main component from.
. /etc/os-release
archive=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 'Identifier: Packages' |
  awk -v release="$VERSION_CODENAME" '$2 == release && $3 == "main" { print $1; exit }')
[ -n "$archive" ] || { echo "apt names no archive for $VERSION_CODENAME main" >&2; exit 1; }
echo "deb [arch=i386,amd64] $archive $VERSION_CODENAME main" >"$cache/apt/sources.list"
apt_options=(-o "Dir::State=$cache/apt" -o "Dir::State::Lists=$cache/apt/lists"
  -o "Dir::State::status=$cache/apt/status" -o "Dir::Cache=$cache/apt"
  -o "Dir::Etc::SourceList=$cache/apt/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
  -o APT::Architecture=i386 -o APT::Architectures::=i386 -o APT::Architectures::=amd64
  -o Debug::NoLocking=1 -o APT::Sandbox::User=root -qq)

attempt() {  # attempt WHAT COMMAND...: three tries, a pause between them
  local try
  for try in 1 2 3; do
    "${@:2}" && return 0
    echo "$1 failed (try $try of 3)" >&2
    sleep $((try * 5))
  done
  return 1
}
attempt "reading the package lists" apt-get "${apt_options[@]}" update
(cd "$cache/debs" && attempt "downloading ${packages[*]}" apt-get "${apt_options[@]}" download "${packages[@]}")
for deb in "$cache"/debs/*.deb; do dpkg-deb -x "$deb" "$root"; done

patchelf=$root/usr/bin/patchelf
for program in wine wineserver32; do
  "$patchelf" --set-interpreter "$root/lib/ld-linux.so.2" \
    --set-rpath "$root/lib/i386-linux-gnu:$root/usr/lib/i386-linux-gnu" "$root/usr/lib/wine/$program"
done

# zlib1.dll becomes one of Wine's own, as libwine's install script makes it.
zlib=$(echo "$root"/usr/i686-w64-mingw32/lib/zlib1.dll)
{
  head -c 64 "$zlib"
  printf 'Wine builtin DLL'
  head -c 16 /dev/zero
  tail -c +97 "$zlib"
} >"$root/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"

rm -rf "$cache/debs" "$cache/apt"
touch "$done_marker"
echo "32-bit Wine is ready in $root"
