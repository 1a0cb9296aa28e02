#!/usr/bin/env bash
# Static checks of the Windows program, standing in for the old machines CI cannot run:
# - it imports no DLL or function that allowed_imports.txt does not allow;
# - its header names the oldest Windows it claims (4.0 for 32-bit, 5.2 for 64-bit);
# - the 32-bit program holds no instruction that a 486 lacks;
# - it carries the application manifest, byte for byte, as resource 1 of type 24.
# Usage: check_program.sh OBJDUMP OBJCOPY PROGRAM.exe ARCHITECTURE
set -euo pipefail
objdump=$1 objcopy=$2 program=$3 arch=$4
here=$(dirname "$0")
allowed=$here/allowed_imports.txt
manifest=$here/../../src/windows/slotpush.manifest
bad=0
fail() {
  echo "FAIL: $*"
  bad=1
}

headers=$("$objdump" -p "$program")

# --- Imports
imports=$(awk '
  /DLL Name:/ { dll = $3; next }
  dll != "" && /^$/ { dll = ""; next }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll, $3 }' <<<"$headers")
[ -n "$imports" ] || fail "no imports found in $program"
while read -r dll function; do
  awk -v dll="$dll" -v fn="$function" -v arch="$arch" '
      !/^#/ && NF >= 2 && tolower($1) == tolower(dll) && $2 == fn && (NF == 2 || $3 == arch) { found = 1 }
      END { exit !found }' "$allowed" || fail "import not allowed for $arch: $dll $function"
done <<<"$imports"
echo "$(wc -l <<<"$imports") imports checked for $arch"

# --- The oldest Windows the header claims
[ "$arch" == i686 ] && want="4 0" || want="5 2"
for field in OSystemVersion SubsystemVersion; do
  got=$(awk -v f="$field" '$1 == "Major" f { major = $2 } $1 == "Minor" f { minor = $2 }
                           END { print major, minor }' <<<"$headers")
  [ "$got" == "$want" ] || fail "$field is [$got], expected [$want]"
done

# --- Instructions beyond the 486 (the 64-bit program only ever meets 64-bit processors)
if [ "$arch" == i686 ]; then
  beyond_486='\b(cmov[a-z]*|fcmov[a-z]*|f(u)?comip?|cpuid|rdtsc|rdpmc|cmpxchg8b|sysenter|sysexit|fxsave|fxrstor|fisttp[a-z]*|popcnt|lzcnt|tzcnt|movbe)\b|%(mm[0-7]|[xy]mm[0-9]+)\b'
  found=$("$objdump" -d --no-show-raw-insn "$program" | grep -E "^ +[0-9a-f]+:" | grep -E "$beyond_486" || true)
  [ -z "$found" ] || fail "instructions a 486 lacks:"$'\n'"$(head -20 <<<"$found")"
  echo "$("$objdump" -d "$program" | grep -cE '^ +[0-9a-f]+:') instructions checked for the 486"
fi

# --- The manifest
grep -qE 'Type Table:.*IDs: 1' <<<"$headers" && grep -q 'Entry: ID: 0x000018' <<<"$headers" ||
  fail "no resource of type 24 (RT_MANIFEST)"
xmllint --noout "$manifest" || fail "the manifest is not well-formed XML"
resources=$(mktemp)
trap 'rm -f "$resources"' EXIT
"$objcopy" -O binary --only-section=.rsrc "$program" "$resources"
perl -e 'local $/; open my $r, "<:raw", $ARGV[0] or die; open my $m, "<:raw", $ARGV[1] or die;
         my ($rsrc, $manifest) = (<$r>, <$m>); exit(index($rsrc, $manifest) < 0)' \
  "$resources" "$manifest" || fail "the resources do not hold the manifest byte for byte"

[ "$bad" -eq 0 ] && echo "$(basename "$program") ($arch): imports, header, instructions and manifest as required"
exit $bad
