#!/usr/bin/env bash
# Locating, identifying and polling across a real network boundary.
#
# usage: netns_e2e.sh PATH_TO_KSTBELL PATH_TO_KSTBELL_SIM
#
# Two network namespaces of this run's own, joined by a veth pair and to nothing else:
#   device side  192.168.77.1/24, where kstbell-sim listens on port 13577 (the horn in AP mode)
#   PC side      "wlan0" at 192.168.77.23/24, where kstbell runs unmodified and offscreen
# A private dbus-daemon carries a NetworkManager mock that reports wlan0 as a connected Wi-Fi
# device. kstbell has to find the horn through its real host-network survey, ask for its
# information and then poll its status; the simulator's log shows whether it did.
#
# Nothing is configured in the host's own namespace and no namespace gets a default route.
# Everything made here is removed on exit, also when a step fails or the run is interrupted.
#
# Exit status: 0 passed, 1 failed, 2 usage, 77 skipped (no root, or namespaces not allowed).

set -uo pipefail

readonly SKIP_STATUS=77
readonly DEVICE_IP=192.168.77.1
readonly PC_IP=192.168.77.23
readonly DEVICE_PORT=13577
readonly PC_IF=wlan0
readonly DEVICE_IF=horn0
readonly SSID="KST horn"
readonly BSSID=02:4B:7A:3C:60:01
readonly SCREENSHOT_DELAY_MS=8000
# Every wait has a limit, and together they stay inside the 60 s that CTest allows: a run that
# CTest has to kill could not clean up after itself.
readonly KSTBELL_LIMIT_S=20
readonly MOCK_SETUP_LIMIT_S=15
readonly START_LIMIT_TENTHS=50 # 5 s each for the simulator and the bus to come up

fail() {
    echo "E2E: FAILED: $*" >&2
    exit 1
}

skip() {
    echo "SKIPPED: $*"
    exit "$SKIP_STATUS"
}

if [ $# -ne 2 ]; then
    echo "usage: $0 PATH_TO_KSTBELL PATH_TO_KSTBELL_SIM" >&2
    exit 2
fi
kstbell=$(readlink -f -- "$1")
sim=$(readlink -f -- "$2")
here=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
[ -x "$kstbell" ] || fail "no program at $1"
[ -x "$sim" ] || fail "no simulator at $2"
[ -f "$here/nm_mock_wifi.py" ] || fail "nm_mock_wifi.py is missing next to $0"

# The Debian package installs the mock for the system interpreter, which an interpreter found
# first on PATH (a virtualenv, pyenv) may not see.
python=/usr/bin/python3
[ -x "$python" ] || python=python3

# ---- what the machine has to offer ------------------------------------------------------------

# Missing packages are a broken setup, not a reason to skip: scripts/setup installs them.
command -v ip >/dev/null || fail "'ip' not found (Debian package iproute2; run scripts/setup)"
command -v dbus-daemon >/dev/null ||
    fail "'dbus-daemon' not found (Debian package dbus; run scripts/setup)"
command -v timeout >/dev/null || fail "'timeout' not found (Debian package coreutils)"
"$python" -c 'import dbus, dbusmock' 2>/dev/null ||
    fail "$python cannot import dbusmock (Debian package python3-dbusmock; run scripts/setup)"

if [ "$(id -u)" -ne 0 ]; then
    skip "network namespaces need root (running as uid $(id -u))"
fi

# ---- bookkeeping and cleanup --------------------------------------------------------------------

readonly dev_ns="kstbell-dev-$$"
readonly pc_ns="kstbell-pc-$$"
created_ns=()
pids=()
work=""

stop_pid() {
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || return 0
    for ((i = 0; i < 20; ++i)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

cleanup() {
    local status=$? pid ns
    trap - EXIT INT TERM HUP
    for pid in "${pids[@]}"; do
        stop_pid "$pid"
    done
    for ns in "${created_ns[@]}"; do
        # Whatever still runs in a namespace of this run was started by this run.
        for pid in $(ip netns pids "$ns" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null
        done
        ip netns delete "$ns" 2>/dev/null
    done
    for ns in "${created_ns[@]}"; do
        if [ -e "/run/netns/$ns" ]; then
            echo "E2E: FAILED: network namespace $ns could not be removed" >&2
            status=1
        fi
    done
    if [ -n "$work" ]; then
        rm -rf -- "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

work=$(mktemp -d /tmp/kstbell-e2e.XXXXXX) || fail "cannot create a temporary folder"
readonly work

show_log() {
    local title=$1 file=$2
    echo "---- $title ($file) ----" >&2
    if [ -s "$file" ]; then tail -n 40 -- "$file" >&2; else echo "(empty)" >&2; fi
}

# Waits until file holds a line matching pattern; fails when pid ends first or time runs out.
wait_for_line() {
    local file=$1 pattern=$2 pid=$3 what=$4 i
    for ((i = 0; i < START_LIMIT_TENTHS; ++i)); do
        if grep -q -- "$pattern" "$file" 2>/dev/null; then return 0; fi
        if ! kill -0 "$pid" 2>/dev/null; then
            show_log "$what output" "$file"
            fail "$what ended before it was ready"
        fi
        sleep 0.1
    done
    show_log "$what output" "$file"
    fail "$what was not ready after $((START_LIMIT_TENTHS / 10)) s"
}

# ---- two namespaces and a cable between them ---------------------------------------------------

for ns in "$dev_ns" "$pc_ns"; do
    [ -e "/run/netns/$ns" ] && fail "a network namespace named $ns exists already"
done

if ! ip netns add "$dev_ns" 2>"$work/netns.err"; then
    skip "cannot create a network namespace: $(head -n 1 "$work/netns.err")"
fi
created_ns+=("$dev_ns")
ip netns add "$pc_ns" || fail "cannot create the network namespace $pc_ns"
created_ns+=("$pc_ns")

# The pair is made inside the PC namespace with its other end put straight into the device
# namespace: neither end ever appears in the host's namespace.
ip -n "$pc_ns" link add "$PC_IF" type veth peer name "$DEVICE_IF" netns "$dev_ns" ||
    fail "cannot create the veth pair"
# Loopback up, one address on the pair's end, that end up; no routes beyond the /24.
configure_end() {
    local ns=$1 interface=$2 address=$3
    ip -n "$ns" link set lo up || return 1
    ip -n "$ns" addr add "$address/24" dev "$interface" || return 1
    ip -n "$ns" link set "$interface" up
}
configure_end "$dev_ns" "$DEVICE_IF" "$DEVICE_IP" || fail "cannot configure the device namespace"
configure_end "$pc_ns" "$PC_IF" "$PC_IP" || fail "cannot configure the PC namespace"

for ns in "$dev_ns" "$pc_ns"; do
    [ -z "$(ip -n "$ns" -4 route show default)" ] || fail "namespace $ns has a default route"
done
ip -n "$pc_ns" -4 -o addr show dev "$PC_IF" | grep -q "inet $PC_IP/24" ||
    fail "$PC_IF in $pc_ns does not have $PC_IP/24"
# An end of the pair in the host's namespace would name one of ours as its peer's namespace.
if ip -o link show | grep -qE "link-netns ($dev_ns|$pc_ns)( |\$)"; then
    fail "an end of the veth pair showed up in the host's namespace"
fi

# ---- the horn ---------------------------------------------------------------------------------

ip netns exec "$dev_ns" "$sim" --bind "$DEVICE_IP" --port "$DEVICE_PORT" \
    >"$work/sim.out" 2>"$work/sim.log" </dev/null &
sim_pid=$!
pids+=("$sim_pid")
wait_for_line "$work/sim.out" "kstbell-sim listening on $DEVICE_IP:$DEVICE_PORT" "$sim_pid" \
    "kstbell-sim"

# ---- the PC's NetworkManager, on a bus of this run's own ---------------------------------------

# No service folders: nothing is ever activated on this bus.
cat >"$work/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF

ip netns exec "$pc_ns" env -u DBUS_SYSTEM_BUS_ADDRESS -u DBUS_SESSION_BUS_ADDRESS \
    dbus-daemon --nofork --config-file="$work/bus.conf" --print-address=1 \
    >"$work/bus.address" 2>"$work/bus.log" </dev/null &
bus_pid=$!
pids+=("$bus_pid")
wait_for_line "$work/bus.address" "^unix:" "$bus_pid" "dbus-daemon"
bus_address=$(head -n 1 "$work/bus.address")

ip netns exec "$pc_ns" env DBUS_SYSTEM_BUS_ADDRESS="$bus_address" \
    DBUS_SESSION_BUS_ADDRESS="$bus_address" \
    "$python" -m dbusmock --template networkmanager >"$work/mock.log" 2>&1 </dev/null &
pids+=("$!")

if ! timeout -k 2 "$MOCK_SETUP_LIMIT_S" ip netns exec "$pc_ns" "$python" "$here/nm_mock_wifi.py" \
    "$bus_address" "$PC_IF" "$SSID" "$BSSID" >"$work/mock.setup" 2>&1 </dev/null; then
    show_log "mock setup" "$work/mock.setup"
    show_log "NetworkManager mock" "$work/mock.log"
    fail "cannot give the NetworkManager mock its Wi-Fi device"
fi

# ---- the program, as an operator would start it ------------------------------------------------

mkdir -m 700 "$work/run" "$work/home" "$work/xdg" || fail "cannot create folders in $work"
screenshot="$work/e2e.png"
started=$SECONDS
(
    cd "$work/run" &&
        exec timeout -k 3 "$KSTBELL_LIMIT_S" ip netns exec "$pc_ns" env \
            -u DISPLAY -u WAYLAND_DISPLAY \
            HOME="$work/home" XDG_RUNTIME_DIR="$work/xdg" \
            QT_QPA_PLATFORM=offscreen \
            DBUS_SYSTEM_BUS_ADDRESS="$bus_address" DBUS_SESSION_BUS_ADDRESS="$bus_address" \
            KSTBELL_SCREENSHOT="$screenshot" KSTBELL_SCREENSHOT_DELAY_MS="$SCREENSHOT_DELAY_MS" \
            "$kstbell"
) >"$work/kstbell.out" 2>"$work/kstbell.err" </dev/null &
kstbell_pid=$!
pids+=("$kstbell_pid")
wait "$kstbell_pid"
kstbell_status=$?
echo "E2E: kstbell ran for $((SECONDS - started)) s and exited with $kstbell_status"

# ---- what happened -----------------------------------------------------------------------------

report_and_fail() {
    show_log "kstbell stdout" "$work/kstbell.out"
    show_log "kstbell stderr" "$work/kstbell.err"
    show_log "kstbell-sim log" "$work/sim.log"
    fail "$*"
}

[ "$kstbell_status" -ne 124 ] || report_and_fail "kstbell was still running after ${KSTBELL_LIMIT_S} s"
[ "$kstbell_status" -eq 0 ] || report_and_fail "kstbell exited with $kstbell_status"
grep -qxF -- "$screenshot" "$work/kstbell.out" ||
    report_and_fail "kstbell did not report the saved picture"
[ -s "$screenshot" ] || report_and_fail "no picture at $screenshot"
[ "$(head -c 8 -- "$screenshot" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
    report_and_fail "$screenshot is no PNG file"

echo "E2E: requests seen by kstbell-sim:"
grep -E '^kstbell-sim: request [0-9]+ ' "$work/sim.log" | sed 's/^kstbell-sim: /  /'

info_count=$(grep -c '^kstbell-sim: request 33 (0x21):' "$work/sim.log")
status_count=$(grep -c '^kstbell-sim: request 216 (0xD8):' "$work/sim.log")
first_request=$(grep -m 1 -E '^kstbell-sim: request [0-9]+ ' "$work/sim.log" | cut -d ' ' -f 3)

[ "$info_count" -ge 1 ] || report_and_fail "no get-information request (33) reached the simulator"
[ "$first_request" = 33 ] ||
    report_and_fail "the first request was $first_request, not get-information (33)"
[ "$status_count" -ge 1 ] || report_and_fail "no status request (216) reached the simulator"
if grep -qE '^kstbell-sim: (unknown code|short request|wrong magic|request incomplete)' "$work/sim.log"; then
    report_and_fail "the simulator saw a malformed request"
fi

# The simulator ends cleanly on SIGTERM; under the sanitizers a leak or an error shows here.
kill -TERM "$sim_pid" 2>/dev/null
for ((i = 0; i < 30; ++i)); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$sim_pid" 2>/dev/null && report_and_fail "kstbell-sim did not end on SIGTERM"
wait "$sim_pid"
sim_status=$?
[ "$sim_status" -eq 0 ] || report_and_fail "kstbell-sim exited with $sim_status"

# The simulator listens only in the device namespace, so its requests came over the pair.
rx_packets=$(ip netns exec "$dev_ns" cat "/sys/class/net/$DEVICE_IF/statistics/rx_packets")
[ "${rx_packets:-0}" -gt 0 ] || report_and_fail "nothing arrived over the veth pair"

echo "E2E: $info_count get-information, $status_count status request(s); $rx_packets packets over the pair"
echo "E2E: passed"
