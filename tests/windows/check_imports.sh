#!/usr/bin/env bash
# Fails when the program imports a DLL or a function that allowed_imports.txt does not allow.
# Usage: check_imports.sh OBJDUMP PROGRAM.exe ARCHITECTURE
set -euo pipefail
objdump=$1 program=$2 arch=$3
allowed=$(dirname "$0")/allowed_imports.txt

imports=$("$objdump" -p "$program" | awk '
  /DLL Name:/ { dll = $3; next }
  dll != "" && /^$/ { dll = ""; next }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }')
[ -n "$imports" ] || { echo "no imports found in $program" >&2; exit 1; }

bad=0
while read -r dll function; do
  if ! awk -v dll="$dll" -v fn="$function" -v arch="$arch" '
      !/^#/ && NF >= 2 && tolower($1) == tolower(dll) && $2 == fn && (NF == 2 || $3 == arch) { found = 1 }
      END { exit !found }' "$allowed"; then
    echo "not allowed for $arch: $dll $function"
    bad=1
  fi
done <<<"$imports"
echo "$(wc -l <<<"$imports") imports of $(basename "$program") checked for $arch"
exit $bad
