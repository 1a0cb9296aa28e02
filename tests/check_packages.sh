#!/usr/bin/env bash
# The packages as a user gets them: the .deb passes lintian and its program runs from where it
# unpacks; the zip holds both Windows programs, and a README and the licence with Windows line
# ends; both carry the MIT licence.
# Usage: check_packages.sh DEB ZIP
set -uo pipefail
deb=$1 zip=$(realpath "$2")
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

TMPDIR=$scratch lintian --fail-on error "$deb"
check "lintian finds no error in $deb" 0 "$?"
dpkg-deb -x "$deb" "$scratch/deb"
usage=$("$scratch/deb/usr/bin/slotpush" 2>&1)
check "the unpacked program: usage status" 1 "$?"
check "the unpacked program: usage text" "slotpush Version 1.0" "$(sed -n 2p <<<"$usage")"
check "the .deb's copyright names the licence" "License: Expat" \
  "$(grep -m1 '^License:' "$scratch/deb/usr/share/doc/slotpush/copyright")"

entries=$(cmake -E tar tf "$zip" | grep -v '/$' | sort | paste -sd ' ')
check "the zip's files" "LICENSE.txt README.txt slotpush.exe x64/slotpush.exe" "$entries"
(cd "$scratch" && cmake -E tar xf "$zip" README.txt LICENSE.txt)
for text in README.txt LICENSE.txt; do
  check "$text: lines that do not end in CR LF" 0 "$(grep -vc $'\r$' "$scratch/$text")"
done
check "LICENSE.txt: the licence" "MIT License" "$(head -1 "$scratch/LICENSE.txt" | tr -d '\r')"
summary
