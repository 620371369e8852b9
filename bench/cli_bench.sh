#!/usr/bin/env bash
# kstbellctl against simulated horns in a separate kstbell-sim process on 127.0.78.x, each
# measurement beside its plain-socket baseline (cli_raw) in the same run.
# Usage: bench/cli_bench.sh [BUILD_DIR]   (default build/release; builds what it needs)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
preset="$(basename "$build")"
cmake --build --preset "$preset" --target kstbellctl kstbell-sim cli_raw >/dev/null
ctl="$build/cli/kstbellctl"
sim="$build/sim/kstbell-sim"
raw="$build/bench/cli_raw"
work="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Starts kstbell-sim with N horns from 127.0.78.1 and more switches; sets port.
start_sim() {
  local count="$1"; shift
  "$sim" --bind 127.0.78.1 --port 0 --count "$count" --quiet "$@" >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 100); do
    port="$(grep -o 'port [0-9]*' "$work/sim.out" | cut -d' ' -f2 || true)"
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "kstbell-sim did not start" >&2
  exit 1
}
stop_sim() { kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz="$(getconf CLK_TCK)"

echo "| what | kstbellctl | baseline (plain sockets) | target |"
echo "|---|---|---|---|"

# 1. scan of a /24 that holds 50 horns.
start_sim 50
t0="$(now_ms)"
found="$("$ctl" --port "$port" --json --quiet scan 127.0.78.0/24 | grep -c '"ok":true' || true)"
t1="$(now_ms)"
base="$("$raw" "$port" 127.0.78.1 254 256 33)"
echo "| scan of a /24 with 50 horns | $found found in $((t1 - t0)) ms | ${base} | all 50 in < 500 ms |"
stop_sim

# 2. scan of 254 addresses that accept and never answer.
start_sim 254 --never-answer
t0="$(now_ms)"
"$ctl" --port "$port" --json --quiet scan 127.0.78.0/24 >/dev/null || true
t1="$(now_ms)"
base="$("$raw" "$port" 127.0.78.1 254 256 33)"
echo "| scan of 254 silent addresses | $((t1 - t0)) ms | ${base} | < 1000 + 500 ms |"
stop_sim

# 3. status of 1,000 horns: wall time and resident memory.
start_sim 1000
{ echo 127.0.78.0/24; echo 127.0.79.0/24; echo 127.0.80.0/24
  for i in $(seq 1 238); do echo "127.0.81.$i"; done; } >"$work/devices"
t0="$(now_ms)"
/usr/bin/time -f "%M" -o "$work/rss" "$ctl" --port "$port" --devices "$work/devices" --json status \
  >"$work/status.out"
t1="$(now_ms)"
ok="$(grep -c '"ok":true' "$work/status.out" || true)"
base="$("$raw" "$port" 127.0.78.1 1000 64 216)"
echo "| status of 1,000 horns | $ok answered in $((t1 - t0)) ms, $(( $(cat "$work/rss") / 1024 )) MiB resident | ${base} | < 1000 ms, < 100 MiB |"

# 4. watch of the same 1,000 horns at the 3.1 s period: processor time over 31 s (ten rounds),
# after the first rounds.
seconds=31
"$ctl" --port "$port" --devices "$work/devices" --quiet watch >/dev/null &
watch_pid=$!
sleep 4
a="$(ticks "$watch_pid")"
sleep "$seconds"
b="$(ticks "$watch_pid")"
kill -INT "$watch_pid"; wait "$watch_pid" || true
watch_pct="$(awk -v t=$((b - a)) -v hz="$hz" -v s="$seconds" 'BEGIN{printf "%.1f", 100 * t / hz / s}')"
base="$("$raw" "$port" 127.0.78.1 1000 16 216 10 3100)"
base_pct="$(awk -v line="$base" 'BEGIN{split(line, f, "cpu_ms="); printf "%.1f", f[2] / 310}')"
echo "| watch of 1,000 horns every 3.1 s | ${watch_pct} % of one core | ${base_pct} % of one core (10 rounds, 16 at once) | < 5 % |"

# 5. one status through the program (process start included) against one plain exchange.
runs=20
total=0
for _ in $(seq "$runs"); do
  t0="$(date +%s%N)"
  "$ctl" --port "$port" -d 127.0.78.1 --json status >/dev/null
  t1="$(date +%s%N)"
  total=$((total + t1 - t0))
done
start_total=0
for _ in $(seq "$runs"); do
  t0="$(date +%s%N)"
  "$ctl" --help >/dev/null
  t1="$(date +%s%N)"
  start_total=$((start_total + t1 - t0))
done
base="$("$raw" "$port" 127.0.78.1 1 1 216 20 0)"
echo "| one status | $((total / runs / 1000)) µs per run ($((start_total / runs / 1000)) µs of it starting the program: --help) | ${base} (one exchange) | process start dominates |"
stop_sim
