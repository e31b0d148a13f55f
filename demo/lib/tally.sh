# shellcheck shell=bash
# The pass/fail count of a self-checking script (sourced, not run). Its last line is always
# "N passed, M failed", and it exits 0 only if nothing failed.

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL $*"
}
finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 ]]
  exit
}
