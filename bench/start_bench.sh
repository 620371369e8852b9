#!/usr/bin/env bash
# kstbellctl's start against a small command-line tool's, side by side in one hyperfine run:
# `kstbellctl --help`, one `kstbellctl status` of a horn in a kstbell-sim process on loopback, and
# `mosquitto_pub --help` (Debian's mosquitto-clients) as the yardstick. Prints a table with each
# command's times and their ratios to mosquitto_pub's; the target is a ratio within 1.2. On a
# busy machine the medians and the processor times are steadier than the means.
# Then the package's program: a stripped copy of kstbellctl (its module of the site service
# beside it) and `mosquitto_pub --help` in alternating pairs, each pair a few runs of one after a
# few of the other, the order turned from pair to pair; prints the median of the pairs' ratios,
# which a load that changes during the sitting moves least.
# Usage: bench/start_bench.sh [BUILD_DIR]   (default build/release; builds what it needs)
# Environment: KSTBELL_BENCH_RUNS (runs per command, default 300), KSTBELL_BENCH_PAIRS (default
# 30), KSTBELL_BENCH_CTL (a kstbellctl to time in the pairs instead of the build's, e.g. an
# earlier build's).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
runs="${KSTBELL_BENCH_RUNS:-300}"
for tool in hyperfine mosquitto_pub python3 strip; do
  command -v "$tool" >/dev/null || { echo "start_bench: $tool is missing; run scripts/setup" >&2; exit 1; }
done
if [ ! -f "$build/CMakeCache.txt" ]; then cmake --preset "$(basename "$build")" >/dev/null; fi
cmake --build "$build" --target kstbellctl kstbell-sim >/dev/null
ctl="$build/cli/kstbellctl"
sim="$build/sim/kstbell-sim"
work="$(mktemp -d)"
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --bind 127.0.78.1 --port 0 --quiet >"$work/sim.out" &
sim_pid=$!
port=""
for _ in $(seq 100); do
  port="$(grep -oE ':[0-9]+' "$work/sim.out" | head -n 1 | tr -d : || true)"
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "start_bench: kstbell-sim did not start" >&2; exit 1; }
status=("$ctl" --port "$port" -d 127.0.78.1 --json status)
# The status must work before it is timed: hyperfine ignores exit codes here, because
# mosquitto_pub --help exits 1.
"${status[@]}" | grep -q '"ok":true' || { echo "start_bench: the status failed" >&2; exit 1; }

# hyperfine runs one command after the other; in rounds with the order turned each time, a
# busy spell of the machine falls on all three alike. It warns about outliers and ignored exit
# codes on stderr; its errors still show.
names=("kstbellctl --help" "kstbellctl status" "mosquitto_pub --help")
commands=("$ctl --help" "${status[*]}" "mosquitto_pub --help")
rounds=5
for round in $(seq 0 $((rounds - 1))); do
  args=()
  for i in 0 1 2; do
    k=$(((i + round) % 3))
    args+=(-n "${names[$k]}" "${commands[$k]}")
  done
  hyperfine --shell=none --ignore-failure --warmup 10 --runs $((runs / rounds)) --style none \
    --export-json "$work/round-$round.json" "${args[@]}" 2>&1 >/dev/null |
    grep -vE 'Warning|^ *$' || true
done

python3 - "$work"/round-*.json <<'EOF'
import json
import statistics
import sys

runs = {}
for path in sys.argv[1:]:
    for r in json.load(open(path))["results"]:
        # Times per run; processor time only as each round's mean, weighted by its runs.
        entry = runs.setdefault(r["command"], {"times": [], "cpu": []})
        entry["times"] += r["times"]
        entry["cpu"] += [r["user"] + r["system"]] * len(r["times"])

def stats(name):
    t = runs[name]["times"]
    return statistics.mean(t), statistics.stdev(t), statistics.median(t), statistics.mean(runs[name]["cpu"])

base_mean, _, base_median, _ = stats("mosquitto_pub --help")
print("| command | mean ± σ | median | processor (user + system) | ratio of means "
      "| ratio of medians | target |")
print("|---|---|---|---|---|---|---|")
for name in ("kstbellctl --help", "kstbellctl status", "mosquitto_pub --help"):
    mean, sd, median, cpu = stats(name)
    target = "" if name.startswith("mosquitto") else "≤ 1.2"
    print(f"| `{name}` | {mean * 1000:.2f} ± {sd * 1000:.2f} ms | {median * 1000:.2f} ms "
          f"| {cpu * 1000:.2f} ms | {mean / base_mean:.2f} | {median / base_median:.2f} "
          f"| {target} |")
print(f"({len(runs['mosquitto_pub --help']['times'])} runs each)")
EOF
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

# The pairs, on a stripped copy as the package installs it.
pairs="${KSTBELL_BENCH_PAIRS:-30}"
pair_runs=10
pair_ctl="${KSTBELL_BENCH_CTL:-$ctl}"
mkdir "$work/stripped"
strip -o "$work/stripped/kstbellctl" "$pair_ctl"
module="$(dirname "$pair_ctl")/kstbellctl-service.so"
if [ -f "$module" ]; then strip -o "$work/stripped/kstbellctl-service.so" "$module"; fi
pair_names=("kstbellctl --help" "mosquitto_pub --help")
pair_commands=("$work/stripped/kstbellctl --help" "mosquitto_pub --help")
for pair in $(seq 0 $((pairs - 1))); do
  args=()
  for i in 0 1; do
    k=$(((i + pair) % 2))
    args+=(-n "${pair_names[$k]}" "${pair_commands[$k]}")
  done
  hyperfine -N --ignore-failure --warmup 3 --runs "$pair_runs" --style none \
    --export-json "$work/pair-$pair.json" "${args[@]}" 2>&1 >/dev/null |
    grep -vE 'Warning|^ *$' || true
done
python3 - "$pair_runs" "$work"/pair-*.json <<'EOF'
import json
import statistics
import sys

ratios, ctl, base = [], [], []
for path in sys.argv[2:]:
    medians = {r["command"]: statistics.median(r["times"])
               for r in json.load(open(path))["results"]}
    ctl.append(medians["kstbellctl --help"])
    base.append(medians["mosquitto_pub --help"])
    ratios.append(ctl[-1] / base[-1])
low, _, high = statistics.quantiles(ratios, n=4)
print(f"stripped `kstbellctl --help` against `mosquitto_pub --help`, {len(ratios)} alternating "
      f"pairs of {sys.argv[1]} runs each: medians {statistics.median(ctl) * 1000:.2f} ms against "
      f"{statistics.median(base) * 1000:.2f} ms, ratio {statistics.median(ratios):.2f} "
      f"(quartiles {low:.2f} to {high:.2f}; target ≤ 1.2)")
EOF
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
