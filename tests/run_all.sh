#!/usr/bin/env bash
# Builds and runs every test of the project, one part after another; stops at the first that
# fails. Each part can be run alone with the command it prints.
set -euo pipefail
cd "$(dirname "$0")/.."
fuzz_seconds=${SLOTPUSH_FUZZ_SECONDS:-30}

step() {
  echo
  echo "==== $*"
  "$@"
}

step cmake --workflow --preset test
step cmake --workflow --preset sanitize
step cmake --workflow --preset coverage
step bash tests/coverage.sh build/coverage 95
step cmake --workflow --preset fuzz
step bash tests/fuzz.sh build/fuzz "$fuzz_seconds"
step cmake --workflow --preset bench
step cmake --workflow --preset package
step cmake --workflow --preset package-windows
step bash tests/check_packages.sh build/package/slotpush_*_amd64.deb build/windows-zip/slotpush-*-windows.zip
step cmake --workflow --preset windows-x86_64
step cmake --workflow --preset windows-i686
