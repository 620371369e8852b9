#!/usr/bin/env bash
# kstbell-bridge's processor time with silent horns beside none, in one run: bridge_bench with
# --silent 0 and --silent K, one after the other, REPEAT times, each with the load average of the
# machine when it began, then the spread of each case and their ratio. The horns' lock files go
# to a folder on a disk (not a tmpfs), as /run/lock is on many machines.
# Usage: bench/bridge_silent_bench.sh
# Environment: BUILD (default build/release; builds what it needs), WINDOW_S (60), COUNT (1000),
# SILENT (10), REPEAT (3), LOCK_DIR (a new folder under /var/tmp, removed at the end),
# KSTBELL_BENCH_BRIDGE / KSTBELL_BENCH_SIM (other programs to measure, see bridge_bench).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD:-build/release}"
window_s="${WINDOW_S:-60}"
count="${COUNT:-1000}"
silent="${SILENT:-10}"
repeat="${REPEAT:-3}"

cmake --build "$build" --target bridge_bench >/dev/null
bench="$build/bench/bridge_bench"

locks=""
if [ -z "${LOCK_DIR:-}" ]; then
  locks="$(mktemp -d /var/tmp/kstbell-bench-locks.XXXXXX)"
  LOCK_DIR="$locks/locks"
fi
export KSTBELL_LOCK_DIR="$LOCK_DIR"
results="$(mktemp)"
cleanup() {
  rm -f "$results"
  [ -z "$locks" ] || rm -rf "$locks"
}
trap cleanup EXIT
echo "lock folder $KSTBELL_LOCK_DIR ($(stat -f -c %T "$(dirname "$KSTBELL_LOCK_DIR")"))"

for ((i = 1; i <= repeat; i++)); do
  for k in 0 "$silent"; do
    load="$(cut -d' ' -f1-3 /proc/loadavg)"
    out="$("$bench" --window "$window_s" --count "$count" --silent "$k" --samples 10 2>&1)" || true
    cpu="$(sed -n 's/^bridge processor time: \([0-9.]*\) %.*/\1/p' <<<"$out")"
    [ -n "$cpu" ] || { echo "bridge_bench --silent $k failed:"; echo "$out"; exit 1; }
    commanded="$(sed -n 's/^siren\/set OFF -> state topic: *median \([0-9]*\) ms.*/\1/p' <<<"$out")"
    printf 'run %d  silent %-4s  %6s %% of one core  (siren/set median %s ms)  load %s\n' \
      "$i" "$k" "$cpu" "$commanded" "$load"
    echo "$k $cpu" >>"$results"
  done
done

awk -v silent="$silent" '
  { n[$1]++; sum[$1] += $2
    if (!($1 in lo) || $2 < lo[$1]) lo[$1] = $2
    if (!($1 in hi) || $2 > hi[$1]) hi[$1] = $2 }
  END {
    for (k in n) printf "silent %-4s  mean %5.2f %%  spread %.2f to %.2f %%  (%d runs)\n",
      k, sum[k] / n[k], lo[k], hi[k], n[k]
    if (n[0] && n[silent] && sum[0] > 0)
      printf "with %s silent / with none: %.2f\n", silent, (sum[silent] / n[silent]) / (sum[0] / n[0])
  }' "$results"
