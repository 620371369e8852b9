#!/usr/bin/env bash
# Idle cost of `kstbell --simulate`: CPU share of one core, resident memory, and the slope of
# resident memory over a window of polling (a least-squares fit of one sample a second), all
# from /proc. A program that keeps what it traces or serves would show a steady slope.
# Usage: bench/simulate_idle.sh [seconds] [kstbell binary]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
bin="${2:-build/release/app/kstbell}"
[ -x "$bin" ] || { echo "no program at $bin: build the release preset first" >&2; exit 1; }

QT_QPA_PLATFORM=offscreen "$bin" --simulate >/dev/null 2>&1 &
pid=$!
samples="$(mktemp)"
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -f "$samples"' EXIT

sleep 3  # start-up and first identification are not idle time
ticks_per_s=$(getconf CLK_TCK)
cpu() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
rss() { awk '/^VmRSS/ { print $2 }' "/proc/$pid/status"; }
start_cpu=$(cpu)
start_ns=$(date +%s%N)
for ((i = 0; i < seconds; i++)); do
  echo "$(( ($(date +%s%N) - start_ns) / 1000000 )) $(rss)" >>"$samples"
  sleep 1
done
end_cpu=$(cpu)
end_ns=$(date +%s%N)

hwm_kib=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
awk -v c=$((end_cpu - start_cpu)) -v hz="$ticks_per_s" -v ns=$((end_ns - start_ns)) \
    -v hwm="$hwm_kib" '
{ t = $1 / 1000; n++; sx += t; sy += $2; sxx += t * t; sxy += t * $2; last = $2; if (n == 1) first = $2 }
END {
  wall = ns / 1e9
  slope = (n > 1) ? (n * sxy - sx * sy) / (n * sxx - sx * sx) : 0  # KiB per second
  printf "idle window: %.1f s, %d samples\n", wall, n
  printf "cpu share of one core: %.3f %%\n", 100 * (c / hz) / wall
  printf "resident memory: %.1f MiB at the start, %.1f MiB at the end (peak %.1f MiB)\n", first / 1024, last / 1024, hwm / 1024
  printf "resident memory slope: %.3f KiB/s (%.1f MiB a day)\n", slope, slope * 86400 / 1024
}' "$samples"
