#!/usr/bin/env bash
# The steps of scripts/test: a test step waits for its build in another lane and is not run when
# that build failed; a step that fails counts as a failure whatever its result says, and its log
# is printed; the counts add up over every step.
set -euo pipefail
lib="$1"
logs="$(mktemp -d)"
trap 'rm -rf "$logs"' EXIT
fail() {
  echo "test steps: $*" >&2
  exit 1
}
# shellcheck source=/dev/null
. "$lib"

result() { echo "$1 $2" >"$logs/$STEP.result"; }
export logs
export -f result

{
  # A build in another lane that the tests below must wait for.
  step "slow build" bash -c 'sleep 1; echo built' &
  step "broken build" bash -c 'echo "no such header"; exit 2' || true
  after "slow build" -- "tests of the slow build" bash -c 'result 5 0'
  after "broken build" -- "tests of the broken build" bash -c 'echo ran; result 9 0'
  step "tests that fail after passing some" bash -c 'result 3 0; exit 1' || true
  step "tests with a failure" bash -c 'result 2 1; echo "Expected: 1"; exit 1' || true
  wait
} >"$logs/run.out"

read -r passed failed < <(steps_count)
[ "$passed" -eq 10 ] || fail "passed $passed, expected 10 (5, 3 and 2)"
[ "$failed" -eq 4 ] || fail "failed $failed, expected 4 (the broken build, its tests, two runs)"
[ -f "$logs/tests of the broken build.log" ] && fail "the tests of a broken build were run"
grep -q "tests of the broken build not run: broken build failed" "$logs/run.out" ||
  fail "no word that the tests of the broken build were not run"

failures="$(steps_failures)"
for name in "broken build" "tests that fail after passing some" "tests with a failure"; do
  grep -q -- "---- scripts/test: $name failed" <<<"$failures" || fail "no log shown for $name"
done
grep -q "no such header" <<<"$failures" || fail "the broken build's output is not shown"
grep -q "slow build" <<<"$failures" && fail "the log of a step that passed is shown"

# The table lists every step that ran, in the order they started.
table="$(steps_table)"
[ "$(grep -c '^  ' <<<"$table")" -eq 5 ] || fail "the table has not five steps: $table"
grep -q "tests of the slow build" <<<"$table" || fail "the table misses a step: $table"
echo "test steps: counts, waits, skipped tests and failure logs as expected"
