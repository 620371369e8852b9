#!/usr/bin/env bash
# The Windows window program locating, identifying and polling a horn across a real network
# boundary, under Wine, the way tests/e2e/netns_e2e.sh proves it for Linux.
#
# usage: netns_e2e.sh RELEASE_FOLDER LINUX_KSTBELL_SIM HELPERS_FOLDER OUTPUT_FOLDER
#   RELEASE_FOLDER     the unpacked Windows release (kstbell.exe and its DLLs)
#   HELPERS_FOLDER     tests/wine built for Windows: wlanapi.dll (the stand-in for the Wi-Fi
#                      service's client library) and click_window.exe
#   OUTPUT_FOLDER      pictures and logs are kept here
#
# Two network namespaces of this run's own, joined by a veth pair and to nothing else:
#   device side  192.168.77.1/24, where the Linux kstbell-sim listens on port 13577
#   PC side      "wlan0" at 192.168.77.23/24, and "wlan1", a second interface with no address
#                but the ones a case gives it; Wine, Xvfb and kstbell.exe run here, in a Wine
#                prefix of this run's own, with the stand-in loaded in place of Wine's
#                wlanapi.dll (WINEDLLOVERRIDES). The stand-in reports Wi-Fi interfaces for the
#                adapters that hold the addresses each case names, so the IP Helper survey
#                and the WLAN API survey meet exactly as on Windows.
# The cases, each with the program's own words:
#   linked          wlan0 connected: "Get Device Linked!!", the horn's MAC and firmware; a click
#                   on "Relay Output" reaches the simulator as a relay request
#   two networks    wlan0 and wlan1 connected, both on the horn's network: "Same multiple IP
#                   found!!"
#   no Wi-Fi        no interface: "Device not found!!"
#   other network   only wlan1 connected, at 10.66.0.23: "Device not found!!"
#
# Nothing is configured in the host's own namespace; everything made here is removed on exit.
# Exit status: 0 passed, 1 failed, 2 usage, 77 skipped (no root, or namespaces not allowed).

set -uo pipefail

readonly SKIP_STATUS=77
readonly DEVICE_IP=192.168.77.1
readonly PC_IP=192.168.77.23
readonly SECOND_IP=192.168.77.24
readonly OTHER_IP=10.66.0.23
readonly DEVICE_PORT=13577
readonly HORN_MAC=02:4B:7A:3C:60:01
readonly RUN_LIMIT_S=90
# The relay button in the main window's client area: Panel1 at (194, 131), the button at
# (101, 41) in it, 70 x 25.
readonly RELAY_X=$((194 + 101 + 35)) RELAY_Y=$((131 + 41 + 12))

fail() {
  echo "Wine E2E: FAILED: $*" >&2
  exit 1
}
skip() {
  echo "SKIPPED: $*"
  exit "$SKIP_STATUS"
}

if [ $# -ne 4 ]; then
  sed -n '5,10p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
fi
release=$(readlink -f -- "$1")
sim=$(readlink -f -- "$2")
helpers=$(readlink -f -- "$3")
out=$(readlink -f -- "$4")
here=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")" && pwd)
check_window=$here/../../cross/windows/check-window.py
[ -f "$release/kstbell.exe" ] || fail "no kstbell.exe in $release"
[ -x "$sim" ] || fail "no simulator at $2"
for helper in wlanapi.dll click_window.exe; do
  [ -f "$helpers/$helper" ] || fail "no $helper in $helpers"
done
for tool in ip wine wineserver xvfb-run timeout; do
  command -v "$tool" >/dev/null || fail "'$tool' not found (run scripts/build-windows once)"
done

if [ "$(id -u)" -ne 0 ]; then
  skip "network namespaces need root (running as uid $(id -u))"
fi

# ---- bookkeeping and cleanup --------------------------------------------------------------------

readonly dev_ns="kstbell-wdev-$$"
readonly pc_ns="kstbell-wpc-$$"
created_ns=()
sim_pid=""
work=""

cleanup() {
  local status=$? pid ns
  trap - EXIT INT TERM HUP
  if [ -n "$sim_pid" ]; then kill -TERM "$sim_pid" 2>/dev/null; fi
  for ns in "${created_ns[@]}"; do
    # Whatever still runs in a namespace of this run was started by this run.
    for pid in $(ip netns pids "$ns" 2>/dev/null); do
      kill -KILL "$pid" 2>/dev/null
    done
    ip netns delete "$ns" 2>/dev/null
  done
  for ns in "${created_ns[@]}"; do
    if [ -e "/run/netns/$ns" ]; then
      echo "Wine E2E: FAILED: network namespace $ns could not be removed" >&2
      status=1
    fi
  done
  if [ -n "$work" ]; then rm -rf -- "$work"; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

work=$(mktemp -d /tmp/kstbell-wine-e2e.XXXXXX) || fail "cannot create a temporary folder"
readonly work
mkdir -p "$out"

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
# namespace: neither end ever appears in the host's namespace. wlan1 is a pair of its own with
# both ends in the PC namespace.
ip -n "$pc_ns" link add wlan0 type veth peer name horn0 netns "$dev_ns" ||
  fail "cannot create the veth pair"
ip -n "$pc_ns" link add wlan1 type veth peer name wlan1-end || fail "cannot create wlan1"
ip -n "$dev_ns" link set lo up && ip -n "$dev_ns" addr add "$DEVICE_IP/24" dev horn0 &&
  ip -n "$dev_ns" link set horn0 up || fail "cannot configure the device namespace"
ip -n "$pc_ns" link set lo up && ip -n "$pc_ns" addr add "$PC_IP/24" dev wlan0 &&
  ip -n "$pc_ns" link set wlan0 up && ip -n "$pc_ns" link set wlan1 up &&
  ip -n "$pc_ns" link set wlan1-end up || fail "cannot configure the PC namespace"
for ns in "$dev_ns" "$pc_ns"; do
  [ -z "$(ip -n "$ns" -4 route show default)" ] || fail "namespace $ns has a default route"
done

# ---- the horn ---------------------------------------------------------------------------------

ip netns exec "$dev_ns" "$sim" --bind "$DEVICE_IP" --port "$DEVICE_PORT" \
  >"$work/sim.out" 2>"$out/wine-e2e-sim.log" </dev/null &
sim_pid=$!
for ((i = 0; i < 50; ++i)); do
  grep -q "listening on $DEVICE_IP:$DEVICE_PORT" "$work/sim.out" && break
  kill -0 "$sim_pid" 2>/dev/null || fail "kstbell-sim ended before it was ready"
  sleep 0.1
done
grep -q "listening on $DEVICE_IP:$DEVICE_PORT" "$work/sim.out" || fail "kstbell-sim did not start"

# ---- Wine on the PC side ----------------------------------------------------------------------

# The release with the stand-in beside kstbell.exe: Wine finds its own wlanapi.dll in the
# system folder first, so a native one must be in the program's folder. A copy, so that the
# release itself never holds it.
cp -r "$release" "$work/app"
cp "$helpers/wlanapi.dll" "$helpers/click_window.exe" "$work/app/"

# Every Wine process of a case runs inside the PC namespace on one virtual display, and the
# case waits for all of them to end: the Wine server, and with it the network driver that
# answers the adapter survey, lives in the namespace too.
in_pc() {
  ip netns exec "$pc_ns" env -u DISPLAY -u WAYLAND_DISPLAY \
    WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all \
    WINEDLLOVERRIDES="mscoree,mshtml=;wlanapi=n" HOME="$work" \
    timeout -k 5 "$RUN_LIMIT_S" xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$@"
}
started=$SECONDS
in_pc sh -c 'wineboot --init && wineserver -w' >"$out/wine-e2e-wineboot.log" 2>&1 ||
  fail "could not create the Wine prefix in the PC namespace"
for font in /usr/share/wine/fonts/*.ttf; do
  cp -n "$font" "$work/prefix/drive_c/windows/Fonts/"
done
echo "Wine E2E: Wine prefix in the PC namespace in $((SECONDS - started)) s"

# Runs kstbell.exe for case $1 with the stand-in reporting interfaces $2; the picture goes to
# $out/wine-e2e-$1.png. With a third argument "click", clicks "Relay Output" once the simulator
# has been polled.
run_case() {
  local name=$1 interfaces=$2 click=${3:-} delay=5000 status=0
  [ -n "$click" ] && delay=20000
  # shellcheck disable=SC2016 # expanded by the inner shell
  in_pc env KSTBELL_WLAN_STANDIN="$interfaces" KSTBELL_SCREENSHOT="$name.png" \
    KSTBELL_SCREENSHOT_DELAY_MS="$delay" CLICK="$click" SIM_LOG="$out/wine-e2e-sim.log" \
    RELAY_X="$RELAY_X" RELAY_Y="$RELAY_Y" bash -c '
      cd "$0"
      wine kstbell.exe &
      program=$!
      if [ -n "$CLICK" ]; then
        # Linked and polled: the simulator has answered a status request.
        for ((i = 0; i < 300; ++i)); do
          grep -q "request 216 " "$SIM_LOG" && break
          sleep 0.1
        done
        wine click_window.exe "KST-Bell-QZ" "$RELAY_X" "$RELAY_Y" 10 || echo "click failed"
      fi
      wait "$program"
      rc=$?
      wineserver -w
      exit $rc' "$work/app" >"$out/wine-e2e-$name.log" 2>&1 || status=$?
  [ -f "$work/app/$name.png" ] ||
    fail "$name: no picture (kstbell.exe ended with $status): $(tail -5 "$out/wine-e2e-$name.log")"
  cp "$work/app/$name.png" "$out/wine-e2e-$name.png"
  cp "$work/app/$name.png.txt" "$out/wine-e2e-$name.png.txt"
  return $status
}

check_case() {
  local name=$1
  shift
  /usr/bin/python3 "$check_window" "$out/wine-e2e-$name.png" 386 248 "$@" | sed 's/^/  /'
  [ "${PIPESTATUS[0]}" -eq 0 ] || fail "$name: the window does not say what it should"
}

# ---- linked ------------------------------------------------------------------------------------

run_case linked "$PC_IP" click || fail "linked: kstbell.exe failed: $(tail -5 "$out/wine-e2e-linked.log")"
grep -q "wlanapi stand-in: {.*} $PC_IP (an adapter's) connected" "$out/wine-e2e-linked.log" ||
  fail "linked: the stand-in found no adapter at $PC_IP: $(grep stand-in "$out/wine-e2e-linked.log")"
# The window also confirms the relay switch it asked for.
check_case linked "Label4: Get Device Linked!!" "Panel0: Dev MAC: $HORN_MAC" \
  "Panel1: IP: $DEVICE_IP" "Panel0: Set DO Done! DI:00"
firmware=$(grep -m1 -o 'FW: V[0-9][^ ]*' "$out/wine-e2e-linked.png.txt") ||
  fail "linked: no firmware version in the window"
grep -q "clicked" "$out/wine-e2e-linked.log" || fail "linked: the relay button was not clicked"
sim_log=$out/wine-e2e-sim.log
first_request=$(grep -m 1 -E '^kstbell-sim: request [0-9]+ ' "$sim_log" | cut -d ' ' -f 3)
[ "$first_request" = 33 ] || fail "the first request was '$first_request', not get-information (33)"
status_count=$(grep -c '^kstbell-sim: request 216 ' "$sim_log")
[ "$status_count" -ge 1 ] || fail "no status request (216) reached the simulator"
relay=$(grep -m 1 '^kstbell-sim: request 208 ' "$sim_log") ||
  fail "the click on Relay Output did not reach the simulator"
# Its bytes: magic (4), code, loop, value, tone. The relay was off, so the click switches it on.
[ "$(echo "${relay#*bytes: }" | cut -d ' ' -f 7)" = 01 ] ||
  fail "the relay request does not switch the relay on: $relay"
if grep -qE '^kstbell-sim: (unknown code|short request|wrong magic|request incomplete)' "$sim_log"; then
  fail "the simulator saw a malformed request"
fi
echo "Wine E2E: linked over wlan0: $HORN_MAC, $firmware, $status_count status requests;" \
  "relay: ${relay#kstbell-sim: }"

# ---- the three ways of not finding the horn ------------------------------------------------------
# None of them may reach the horn: the program asks nothing of a device it did not locate.
requests_linked=$(grep -c '^kstbell-sim: request ' "$sim_log")

ip -n "$pc_ns" addr add "$SECOND_IP/24" dev wlan1 || fail "cannot give wlan1 $SECOND_IP"
run_case two-networks "$PC_IP;$SECOND_IP" || true
check_case two-networks "Label4: Same multiple IP found!!"
ip -n "$pc_ns" addr del "$SECOND_IP/24" dev wlan1

run_case no-wifi "" || true
check_case no-wifi "Label4: Device not found!!"

ip -n "$pc_ns" addr add "$OTHER_IP/24" dev wlan1 || fail "cannot give wlan1 $OTHER_IP"
run_case other-network "$OTHER_IP" || true
check_case other-network "Label4: Device not found!!"
grep -q "wlanapi stand-in: {.*} $OTHER_IP (an adapter's) connected" \
  "$out/wine-e2e-other-network.log" || fail "other network: the stand-in found no adapter"

requests_after=$(grep -c '^kstbell-sim: request ' "$sim_log")
[ "$requests_after" -eq "$requests_linked" ] ||
  fail "$((requests_after - requests_linked)) requests reached the simulator without a located horn"
echo "Wine E2E: two networks, no Wi-Fi and another network each said so, asking the horn nothing"
echo "Wine E2E: passed"
