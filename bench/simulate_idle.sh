#!/usr/bin/env bash
# Idle cost of `kstbell --simulate`: CPU share of one core and resident memory over a window
# of polling, measured from /proc. Usage: bench/simulate_idle.sh [seconds] [kstbell binary]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
bin="${2:-build/release/app/kstbell}"
[ -x "$bin" ] || { echo "no program at $bin: build the release preset first" >&2; exit 1; }

QT_QPA_PLATFORM=offscreen "$bin" --simulate >/dev/null 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT

sleep 3  # start-up and first identification are not idle time
ticks_per_s=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
start_cpu=$(cpu)
start_ns=$(date +%s%N)
sleep "$seconds"
end_cpu=$(cpu)
end_ns=$(date +%s%N)

rss_kib=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
hwm_kib=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
awk -v c=$((end_cpu - start_cpu)) -v hz="$ticks_per_s" -v ns=$((end_ns - start_ns)) \
    -v rss="$rss_kib" -v hwm="$hwm_kib" 'BEGIN {
  wall = ns / 1e9
  printf "idle window: %.1f s\n", wall
  printf "cpu share of one core: %.3f %%\n", 100 * (c / hz) / wall
  printf "resident memory: %.1f MiB (peak %.1f MiB)\n", rss / 1024, hwm / 1024
}'
