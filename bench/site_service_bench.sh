#!/usr/bin/env bash
# kstbelld against a site of simulated horns in a separate kstbell-sim process on 127.0.78.x,
# timed from the simulator's own relay log (--relay-log: a wall-clock stamp per relay change),
# each measurement beside a baseline in the same run:
#   spread    a bell on all horns at one instant: each relay on after the instant, each off
#             after the ring's end; beside kstbellctl relay on/off for the same horns.
#   idle      the service polling every horn: processor share and resident memory sampled every
#             10 s; beside the plain-socket poller cli_raw doing the same polls.
#   ring-end  100 rings of 1 to 3 s on four horns of the site: relay off after each ring's end;
#             beside kstbellctl relay off on one horn (process start included).
#   restart   kill -9 of the service in the middle of a bell, the ring ending while it is down,
#             then a restart: relay off after the restart began; and restarts before the end.
# Usage: bench/site_service_bench.sh [PART...]   (default: all four, about 15 minutes)
# Environment: BUILD (default build/release; builds what it needs), HORNS (500), IDLE_S (300),
# PERIOD_MS (3100), REPLY_WAIT_MS (1000), PARALLEL (64, horns talked to at once), SERVICE (another
# kstbelld to measure, an older build say). Everything it starts is stopped when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD:-build/release}"
horns="${HORNS:-500}"
idle_s="${IDLE_S:-300}"
period_ms="${PERIOD_MS:-3100}"
reply_wait_ms="${REPLY_WAIT_MS:-1000}"
parallel="${PARALLEL:-64}"
parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(spread idle ring-end restart)
for part in "${parts[@]}"; do
  case "$part" in spread | idle | ring-end | restart) ;; *)
    echo "unknown part $part: spread, idle, ring-end or restart" >&2
    exit 2
    ;;
  esac
done

cmake --build --preset "$(basename "$build")" --target kstbelld kstbell-sim kstbellctl cli_raw \
  >/dev/null
service="${SERVICE:-$build/service/kstbelld}"
sim="$build/sim/kstbell-sim"
ctl="$build/cli/kstbellctl"
raw="$build/bench/cli_raw"
unset STATE_DIRECTORY  # the service would take it over --state-dir

work="$(mktemp -d)"
sim_pid=""
service_pid=""
locks=""
cleanup() {
  for pid in "$service_pid" "$sim_pid"; do
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  done
  rm -rf "$work"
  [ -z "$locks" ] || rm -rf "$locks"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Every request takes a horn's lock file, made and removed each time: on a real system
# /run/lock is a tmpfs. Where it is on a disk (a container), ext4 looks for a free inode past the
# recently deleted ones, and its cost grows with the requests of the last minutes: the locks go
# to a tmpfs then, so that the numbers are those of a real system.
if [ -z "${KSTBELL_LOCK_DIR:-}" ] && [ "$(stat -f -c %T /run/lock)" != tmpfs ] &&
  [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ]; then
  locks="$(mktemp -d /dev/shm/kstbell-bench-locks.XXXXXX)"
  export KSTBELL_LOCK_DIR="$locks"
  echo "horn locks in $locks: /run/lock is no tmpfs here"
fi

now_us() { echo $(($(date +%s%N) / 1000)); }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
hz="$(getconf CLK_TCK)"

# The address of horn I (from 0) as kstbell-sim --count serves them from 127.0.78.1: host parts
# .0 and .255 are skipped.
address() { echo "127.0.$((78 + $1 / 254)).$(($1 % 254 + 1))"; }

# Starts kstbell-sim with N horns and a fresh relay log; sets port.
start_sim() {
  : >"$work/relay.log"
  "$sim" --bind 127.0.78.1 --port 0 --count "$1" --quiet --relay-log "$work/relay.log" \
    >"$work/sim.out" &
  sim_pid=$!
  for _ in $(seq 100); do
    port="$(grep -so 'port [0-9]*' "$work/sim.out" | cut -d' ' -f2 || true)"
    [ -n "$port" ] && return 0
    sleep 0.05
  done
  echo "kstbell-sim did not start" >&2
  exit 1
}
stop_sim() { kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""; }

# The site file: every horn of the simulator, groups h0..h3 of one horn each, the bells given
# as lines of the day plan, the same plan every day, in UTC.
write_site() {
  local bells="$1"
  {
    printf '[site]\nname = "bench"\ntime_zone = "UTC"\n\n'
    printf '[poll]\nperiod_ms = %s\nreply_wait_ms = %s\nparallel = %s\n\n' "$period_ms" \
      "$reply_wait_ms" "$parallel"
    printf '[devices]\nport = %s\naddresses = [\n' "$port"
    for i in $(seq 0 $((horns - 1))); do printf '  "%s",\n' "$(address "$i")"; done
    printf ']\n\n[groups]\n'
    for i in 0 1 2 3; do printf 'h%s = ["%s"]\n' "$i" "$(address "$i")"; done
    printf '\n[schedule.week]\n'
    for d in monday tuesday wednesday thursday friday saturday sunday; do
      printf '%s = "bench"\n' "$d"
    done
    printf '\n[schedule.day_plans.bench]\nbells = [\n%s]\n' "$bells"
  } >"$work/site.toml"
  "$service" --check-config --config "$work/site.toml" >/dev/null
}

# A bell line of the day plan at the second S since 1970.
bell() { printf '  { time = "%s", group = "%s", tone = 1, duration_s = %s },\n' \
  "$(date -u -d "@$1" +%H:%M:%S)" "$2" "$3"; }

# Starts the service on the site file and the bench's state folder; sets service_pid and
# started_us (just before the program starts).
start_service() {
  started_us="$(now_us)"
  "$service" --config "$work/site.toml" --state-dir "$work/state" 2>>"$work/service.log" &
  service_pid=$!
}
stop_service() {
  kill "$service_pid"; wait "$service_pid" 2>/dev/null || true; service_pid=""
}
kill_service() {
  kill -9 "$service_pid"; wait "$service_pid" 2>/dev/null || true; service_pid=""
}
fresh_state() { rm -rf "$work/state" "$work/service.log"; mkdir -p "$work/state"; }

# Sleeps until the wall clock reaches the microsecond stamp.
sleep_until_us() {
  local left=$(($1 - $(now_us)))
  [ "$left" -le 0 ] || sleep "$(awk -v us="$left" 'BEGIN{printf "%.3f", us / 1e6}')"
}

# Median, 99th percentile and largest of the numbers on standard input (ms).
stats() {
  sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "no samples"; exit }
    p = int(0.99 * NR + 0.999); if (p < 1) p = 1
    printf "median %.1f ms, p99 %.1f ms, max %.1f ms (%d)", v[int((NR + 1) / 2)], v[p], v[NR], NR }'
}
# Smallest and largest, and their difference (ms).
spread() {
  sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END {
    if (NR == 0) { print "no samples"; exit }
    printf "first %.1f ms, last %.1f ms, spread %.1f ms (%d)", lo, hi, hi - lo, NR }'
}
# For every horn, ms from the stamp FROM_US to its first relay change to STATE (on or off) at
# or after FROM_US.
changes_after() {
  awk -v from="$1" -v want="$2" '
    $1 >= from && !seen[$2] && (want == "on" ? $3 != 0 : $3 == 0) {
      seen[$2] = 1; printf "%.3f\n", ($1 - from) / 1000 }' "$work/relay.log"
}

# kstbellctl switching the horns of a devices file: ms from the command's start to each relay
# reaching STATE.
ctl_switch() {
  local devices="$1" state="$2" t0
  t0="$(now_us)"
  "$ctl" --port "$port" --devices "$devices" --json --quiet relay "$state" --tone 1 >/dev/null
  changes_after "$t0" "$state"
}

part_spread() {
  echo "## spread: a bell on $horns horns"
  start_sim "$horns"
  fresh_state
  local t0 duration=5
  t0=$(($(date +%s) + 25))  # time for the service to start and poll every horn once
  write_site "$(bell "$t0" all "$duration")"
  start_service
  sleep_until_us $(((t0 + duration + 5) * 1000000))
  stop_service
  local on off
  on="$(changes_after $((t0 * 1000000)) on)"
  off="$(changes_after $(((t0 + duration) * 1000000)) off)"
  echo "relay on after the bell's instant: $(spread <<<"$on"); $(stats <<<"$on")"
  echo "relay off after the ring's end:    $(spread <<<"$off"); $(stats <<<"$off")"
  grep -m1 'ring 1 started' "$work/service.log" || true

  for i in $(seq 0 $((horns - 1))); do address "$i"; done >"$work/devices"
  on="$(ctl_switch "$work/devices" on)"
  off="$(ctl_switch "$work/devices" off)"
  echo "baseline, kstbellctl relay on for the same horns, after its start:  $(spread <<<"$on")"
  echo "baseline, kstbellctl relay off for the same horns, after its start: $(spread <<<"$off")"
  stop_sim
}

part_idle() {
  echo "## idle: $horns horns polled every $period_ms ms for $idle_s s, a day's bells loaded"
  start_sim "$horns"
  fresh_state
  # 48 bells a day, none within the window.
  local bells="" start end h m at
  start=$(date +%s)
  end=$((start + idle_s + 120))
  for h in $(seq 0 23); do
    for m in 0 30; do
      at=$(date -u -d "$(date -u +%F) $h:$m:00" +%s)
      for t in "$at" $((at + 86400)); do
        if [ "$t" -ge "$start" ] && [ "$t" -le "$end" ]; then continue 2; fi
      done
      bells+="$(bell "$at" all 5)"$'\n'
    done
  done
  write_site "$bells"
  start_service
  sleep 5  # start-up and the first round of polls are not idle time
  local samples="$work/idle.samples" a b t_a t_b i
  : >"$samples"
  a="$(ticks "$service_pid")"
  t_a="$(now_us)"
  local first_ticks="$a" first_us="$t_a"
  for i in $(seq 1 $((idle_s / 10))); do
    sleep_until_us $((first_us + i * 10000000))
    b="$(ticks "$service_pid")"
    t_b="$(now_us)"
    echo "$((i * 10)) $(rss_kib "$service_pid") $(awk -v t=$((b - a)) -v hz="$hz" \
      -v us=$((t_b - t_a)) 'BEGIN{printf "%.2f", 100 * t / hz / (us / 1e6)}')" \
      "$(cut -d' ' -f1 /proc/loadavg)" >>"$samples"
    a="$b"
    t_a="$t_b"
  done
  local hwm total
  hwm="$(awk '/^VmHWM/ {print $2}' "/proc/$service_pid/status")"
  total="$(awk -v t=$((b - first_ticks)) -v hz="$hz" -v us=$((t_b - first_us)) \
    'BEGIN{printf "%.2f", 100 * t / hz / (us / 1e6)}')"
  stop_service
  awk -v hwm="$hwm" -v total="$total" '
    NR == 1 { r0 = $2; c0 = $3 } { r = $2; c = $3; if ($2 > rmax) rmax = $2; if ($3 > cmax) cmax = $3 }
    END {
      printf "resident memory: first %.1f MiB, last %.1f MiB, max %.1f MiB (peak %.1f MiB)\n",
        r0 / 1024, r / 1024, rmax / 1024, hwm / 1024
      printf "processor, %% of one core per 10 s: first %.2f, last %.2f, max %.2f; whole window %.2f\n",
        c0, c, cmax, total }' "$samples"
  echo "samples (s, KiB resident, % of one core, load average):"
  tr '\n' ';' <"$samples" | sed 's/;$/\n/'
  local base rounds=$((31000 / period_ms))
  base="$("$raw" "$port" 127.0.78.1 "$horns" 16 216 "$rounds" "$period_ms")"
  echo "baseline, cli_raw polling the same horns for $rounds rounds: $base" \
    "($(awk -v line="$base" -v s="$((rounds * period_ms))" \
      'BEGIN{split(line, f, "cpu_ms="); printf "%.2f", 100 * f[2] / s}') % of one core)"
  stop_sim
}

part_ring_end() {
  echo "## ring-end: 100 rings of 1 to 3 s on four of $horns horns"
  start_sim "$horns"
  fresh_state
  # Horn j rings every 5 s from T0 + j, for 1, 2 or 3 s in turn: 25 rings each.
  local t0 bells="" k j
  t0=$(($(date +%s) + 20))
  : >"$work/rings"
  for k in $(seq 0 24); do
    for j in 0 1 2 3; do
      local at=$((t0 + 5 * k + j)) d=$(((k + j) % 3 + 1))
      bells+="$(bell "$at" "h$j" "$d")"$'\n'
      echo "$(address "$j") $(((at + d) * 1000000))" >>"$work/rings"
    done
  done
  write_site "$bells"
  start_service
  sleep_until_us $(((t0 + 5 * 24 + 3 + 3 + 5) * 1000000))
  stop_service
  # Each ring's end against the first relay off of its horn at or after it.
  awk 'NR == FNR { end[++n] = $2; horn[n] = $1; next }
       $3 == 0 { off[$2] = off[$2] " " $1 }
       END {
         for (i = 1; i <= n; i++) {
           k = split(off[horn[i]], t, " ")
           for (j = 1; j <= k; j++) if (t[j] >= end[i] - 500000) { printf "%.3f\n", (t[j] - end[i]) / 1000; break }
         }
       }' "$work/rings" "$work/relay.log" >"$work/ring-end.ms"
  echo "relay off after the ring's end: $(stats <"$work/ring-end.ms"); min $(sort -g "$work/ring-end.ms" | head -1) ms"
  echo "target: under one poll period + one reply wait = $((period_ms + reply_wait_ms)) ms"

  address 0 >"$work/one"
  : >"$work/ctl.ms"
  for _ in $(seq 10); do
    ctl_switch "$work/one" on >/dev/null
    ctl_switch "$work/one" off >>"$work/ctl.ms"
  done
  echo "baseline, kstbellctl relay off on one horn, after its start: $(stats <"$work/ctl.ms")"
  stop_sim
}

part_restart() {
  local runs=5 duration=3
  echo "## restart: kill -9 during a bell on $horns horns, $runs runs"
  start_sim "$horns"
  fresh_state
  # A bell every 25 s; in the first three runs the service is killed 1.5 s into the ring and
  # started again 1 s after its end (as the unit's RestartSec=1 would); in the last two it is
  # started again 0.5 s after the kill, while the ring still runs.
  local t0 bells="" r
  t0=$(($(date +%s) + 25))
  for r in $(seq 0 $((runs - 1))); do bells+="$(bell $((t0 + 25 * r)) all "$duration")"$'\n'; done
  write_site "$bells"
  start_service
  for r in $(seq 0 $((runs - 1))); do
    local at=$((t0 + 25 * r)) off
    sleep_until_us $((at * 1000000 + 1500000))
    local on_count
    on_count="$(changes_after $((at * 1000000)) on | wc -l)"
    kill_service
    if [ "$r" -lt 3 ]; then
      sleep_until_us $(((at + duration + 1) * 1000000))
      start_service
      sleep 4
      off="$(changes_after $((at * 1000000 + 1500000)) off)"
      off="$(awk -v s="$started_us" -v a="$((at * 1000000 + 1500000))" \
        '{ printf "%.3f\n", $1 - (s - a) / 1000 }' <<<"$off")"
      echo "run $((r + 1)): $on_count horns on at the kill; relay off after the restart began: $(stats <<<"$off")"
    else
      sleep 0.5
      start_service
      sleep_until_us $(((at + duration + 4) * 1000000))
      off="$(changes_after $(((at + duration) * 1000000)) off)"
      echo "run $((r + 1)): $on_count horns on at the kill, restarted 2 s into the ring;" \
        "relay off after the ring's end: $(stats <<<"$off")"
    fi
  done
  stop_service
  grep -c 'taken up after the restart' "$work/service.log" | sed 's/^/restarts that took up a ring: /'
  stop_sim
}

for part in "${parts[@]}"; do
  "part_${part//-/_}"
  echo
done
