#!/usr/bin/env bash
# kstbelld's HTTP front under load, side by side in one run, on loopback only:
#  1. 500 simulated horns; the service's polls per second for a window with no API client;
#  2. the same window with 50 concurrent wrk clients on GET /api/v1/horns: wrk's latency
#     percentiles, and the polls per second meanwhile (polling must keep its period);
#  3. kstbelld's processor time over a window with no event stream, then over the same window
#     with 100 open event streams (a ring every 10 s in both, so the streams carry changes):
#     the difference as a share of one core.
# Polls are counted from the service's own metrics (kstbell_poll_duration_seconds_count).
# Usage: bench/web_bench.sh [load-seconds] [stream-seconds] [kstbelld binary]
set -euo pipefail
cd "$(dirname "$0")/.."

load_s="${1:-20}"
stream_s="${2:-60}"
bin="${3:-build/release/service/kstbelld}"
horns=500
[ -x "$bin" ] || { echo "no program at $bin: build the release preset first" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is missing (scripts/setup installs it)" >&2; exit 1; }

work="$(mktemp -d)"
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The demo site on the simulated horns, with the front on a free loopback port.
cat >"$work/site.toml" <<'EOF'
[site]
name = "Bench site"
time_zone = "UTC"
[devices]
addresses = ["127.0.78.1"]
[http]
listen = "127.0.0.1:0"
# Every wrk connection comes from 127.0.0.1.
connections_per_client = 128
EOF
"$bin" --simulate "$horns" --config "$work/site.toml" --state-dir "$work/state" \
  >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do grep -q "password" "$work/out" 2>/dev/null && break; sleep 0.1; done
url="$(sed -n 's/^kstbelld: the page is at \(.*\)\/$/\1/p' "$work/out")"
password="$(sed -n 's/.* with the password //p' "$work/out")"
[ -n "$url" ] || { echo "kstbelld did not start:" >&2; cat "$work/err" >&2; exit 1; }
case "$url" in http://127.*) ;; *) echo "not a loopback address: $url" >&2; exit 1 ;; esac

curl -s -c "$work/jar" -H 'Content-Type: application/json' \
  -d "{\"user\":\"demo\",\"password\":\"$password\"}" "$url/api/v1/session" >"$work/login"
cookie="$(awk '$6 == "kstbell_session" { print $6 "=" $7 }' "$work/jar")"
csrf="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["csrf"])' "$work/login")"

metric() { curl -s -H "Cookie: $cookie" "$url/metrics" | awk -v m="$1" '$1 == m { print $2 }'; }
polls() { metric kstbell_poll_duration_seconds_count; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
ring() {
  curl -s -o /dev/null -H "Cookie: $cookie" -H "X-CSRF-Token: $csrf" \
    -H 'Content-Type: application/json' -d '{"group":"all","tone":1,"duration_s":2}' \
    "$url/api/v1/ring"
}
# Rings every 10 s for a window, in the background.
ringer() { for ((i = 0; i < $1; i += 10)); do ring; sleep 10; done; }

# Every horn answering before anything is measured.
for _ in $(seq 300); do
  online="$(curl -s -H "Cookie: $cookie" "$url/api/v1/health" |
    python3 -c 'import json,sys; print(json.load(sys.stdin)["horns"]["online"])')"
  [ "$online" = "$horns" ] && break
  sleep 0.2
done
echo "horns online: $online of $horns"

# 1 and 2: polls per second without and with the API's load.
p0="$(polls)"; sleep "$load_s"; p1="$(polls)"
wrk -t2 -c50 -d"${load_s}s" --latency -H "Cookie: $cookie" "$url/api/v1/horns" >"$work/wrk"
p2="$(polls)"
awk -v a="$p0" -v b="$p1" -v c="$p2" -v s="$load_s" -v n="$horns" 'BEGIN {
  printf "polls per second, no API client: %.1f (%.2f per horn)\n", (b - a) / s, (b - a) / s / n
  printf "polls per second, 50 wrk clients: %.1f (%.2f per horn)\n", (c - b) / s, (c - b) / s / n
}'
echo "GET /api/v1/horns, 50 connections, ${load_s} s:"
awk '/Requests\/sec|Transfer\/sec|^ +50%|^ +90%|^ +99%|requests in|Non-2xx|Socket errors/' \
  "$work/wrk" | sed 's/^ */  /'

# 3: processor time without and with 100 open event streams.
hz=$(getconf CLK_TCK)
ringer "$stream_s" & r=$!
c0=$(cpu_ticks); sleep "$stream_s"; c1=$(cpu_ticks)
wait "$r"
python3 - "$url" "$cookie" 100 "$stream_s" >"$work/streams" <<'EOF' &
# Opens the streams, reads everything they send for the window, then says how much came.
import selectors, socket, sys, time, urllib.parse
url, cookie, count, seconds = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
host = urllib.parse.urlparse(url)
sel = selectors.DefaultSelector()
for _ in range(count):
    s = socket.create_connection((host.hostname, host.port))
    s.sendall(f"GET /api/v1/events HTTP/1.1\r\nHost: {host.netloc}\r\nCookie: {cookie}\r\n"
              "Accept: text/event-stream\r\n\r\n".encode())
    s.setblocking(False)
    sel.register(s, selectors.EVENT_READ)
received, events, ended = 0, 0, 0
end = time.monotonic() + seconds
while time.monotonic() < end:
    for key, _ in sel.select(timeout=max(0.0, end - time.monotonic())):
        data = key.fileobj.recv(65536)
        if not data:
            ended += 1
            sel.unregister(key.fileobj)
            continue
        received += len(data)
        events += data.count(b"\nevent: ") + data.startswith(b"event: ")
print(f"{count} streams, {seconds:.0f} s: {events} events, {received / 1e6:.1f} MB, "
      f"{ended} ended early")
EOF
s=$!
sleep 2  # the streams open and take their snapshots before the window starts
ringer "$stream_s" & r=$!
c2=$(cpu_ticks); sleep "$stream_s"; c3=$(cpu_ticks)
wait "$r"; wait "$s"
cat "$work/streams"
awk -v a=$((c1 - c0)) -v b=$((c3 - c2)) -v hz="$hz" -v s="$stream_s" 'BEGIN {
  printf "kstbelld processor time, no stream: %.2f s in %d s (%.1f %% of one core)\n", a / hz, s, 100 * a / hz / s
  printf "kstbelld processor time, 100 streams: %.2f s in %d s (%.1f %% of one core)\n", b / hz, s, 100 * b / hz / s
  printf "the streams cost: %.1f %% of one core\n", 100 * (b - a) / hz / s
}'
