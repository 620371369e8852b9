#!/usr/bin/env bash
# The cache lock of scripts/build-windows: a second user is told who holds the cache and either
# stops (no-wait) or waits until the holder ends, however it ends, and then holds it itself.
set -euo pipefail
lib="$1"
dir="$(mktemp -d)"
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$dir"' EXIT
fail() {
  echo "cache lock: $*" >&2
  exit 1
}
wait_for() { # file pattern
  for _ in $(seq 50); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}
# A shell that takes the lock as WHO, says so and then holds it until killed.
holder() {
  exec bash -c '. "$1"; cache_lock "$2" "$3" "$4" || exit $?; echo "$3 holds it"; exec sleep 60' \
    sh "$lib" "$dir/cache" "$1" "${2:-wait}"
}

holder first >"$dir/first.out" 2>&1 &
first=$!
pids+=("$first")
wait_for "$dir/first.out" "first holds it" || fail "the first user did not get the free cache"

status=0
(holder second no-wait) >"$dir/second.out" 2>&1 || status=$?
[ "$status" -eq 75 ] || fail "no-wait ended with $status while the cache was held, not 75"
grep -q "in use by pid $first (first in " "$dir/second.out" ||
  fail "no-wait did not name the holder: $(cat "$dir/second.out")"

holder third >"$dir/third.out" 2>&1 &
pids+=("$!")
wait_for "$dir/third.out" "in use by pid $first (first in .*); waiting" ||
  fail "the waiting user did not name the holder: $(cat "$dir/third.out")"
sleep 0.5
! grep -q "third holds it" "$dir/third.out" || fail "the waiting user got the cache while it was held"

# Killed outright, the holder cannot clean up; the lock goes with its process all the same.
kill -KILL "$first"
wait "$first" 2>/dev/null || true
wait_for "$dir/third.out" "third holds it" || fail "the waiting user did not get the cache"
grep -q "^pid [0-9]* (third in " "$dir/cache/kstbell.lock" ||
  fail "the lock file does not name its new holder: $(cat "$dir/cache/kstbell.lock")"
echo "cache lock: no-wait names the holder, a waiter waits and takes over from a killed holder"
