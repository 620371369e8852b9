#!/usr/bin/env bash
# kstbellctl's start against a small command-line tool's, side by side in one hyperfine run:
# `kstbellctl --help`, one `kstbellctl status` of a horn in a kstbell-sim process on loopback, and
# `mosquitto_pub --help` (Debian's mosquitto-clients) as the yardstick. Prints a table with each
# command's times and their ratios to mosquitto_pub's; the target is a ratio within 1.2. On a
# busy machine the medians and the processor times are steadier than the means.
# Usage: bench/start_bench.sh [BUILD_DIR]   (default build/release; builds what it needs)
# Environment: KSTBELL_BENCH_RUNS (runs per command, default 300).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
runs="${KSTBELL_BENCH_RUNS:-300}"
for tool in hyperfine mosquitto_pub python3; do
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

# hyperfine warns about outliers and ignored exit codes on stderr; its errors still show.
hyperfine --shell=none --ignore-failure --warmup 20 --runs "$runs" --style none \
  --export-json "$work/times.json" \
  -n "kstbellctl --help" "$ctl --help" \
  -n "kstbellctl status" "${status[*]}" \
  -n "mosquitto_pub --help" "mosquitto_pub --help" 2>&1 >/dev/null | grep -vE 'Warning|^ *$' || true

python3 - "$work/times.json" <<'EOF'
import json
import sys

results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
base = results["mosquitto_pub --help"]
print("| command | mean ± σ | median | processor (user + system) | ratio of means "
      "| ratio of medians | target |")
print("|---|---|---|---|---|---|---|")
for name, r in results.items():
    target = "" if name.startswith("mosquitto") else "≤ 1.2"
    cpu = r["user"] + r["system"]
    print(f"| `{name}` | {r['mean'] * 1000:.2f} ± {r['stddev'] * 1000:.2f} ms "
          f"| {r['median'] * 1000:.2f} ms | {cpu * 1000:.2f} ms "
          f"| {r['mean'] / base['mean']:.2f} | {r['median'] / base['median']:.2f} | {target} |")
EOF
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
