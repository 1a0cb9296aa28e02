# Checks for the shell tests, sourced by them: each counts, a failing one says what it saw, and
# summary closes the run with the "N passed, N failed" line and its status.
failures=0
checks=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
check() { # check DESCRIPTION EXPECTED ACTUAL
  checks=$((checks + 1))
  [ "$2" == "$3" ] || fail "$1: expected [$2], got [$3]"
}
summary() {
  echo "$((checks - failures)) passed, $failures failed"
  [ "$failures" -eq 0 ]
}
