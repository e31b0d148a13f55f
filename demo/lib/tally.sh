# shellcheck shell=bash
# The pass/fail count of a self-checking script (sourced, not run). Its last line is always
# "N passed, M failed", and it exits 0 only if something passed and nothing failed. The test
# scripts count named, timed steps on it (tests/system/lib/steps.sh).

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
  failed=$((failed + 1))
  echo "FAIL $*"
}
# A script whose checks never ran has not passed either.
finish() {
  echo "$passed passed, $failed failed"
  [[ $failed -eq 0 && $passed -gt 0 ]]
  exit
}
