# shellcheck shell=bash
# The pass/fail count of a self-checking script (sourced, not run). Its last line is always
# "N passed, M failed", and it exits 0 only if something passed and nothing failed.

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL $*"
}
# check NAME COMMAND...: runs the command as one named check.
check() {
  if "${@:2}"; then
    echo "ok:   $1"
    pass
  else
    fail "$1"
  fi
}
# A script whose checks never ran has not passed either.
finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 && $passed -gt 0 ]]
  exit
}
