#!/usr/bin/env bash
# The command-line programs start as small tools: none of them loads Qt, and libsystemd (with the
# compression and crypto libraries behind it) only when a Wi-Fi survey runs, not at start.
# Usage: start_libraries_test.sh PROGRAM...
set -euo pipefail
status=0
for program in "$@"; do
  needed="$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
  [ -n "$needed" ] || { echo "no libraries listed for $program" >&2; exit 1; }
  if bad="$(grep -E '^lib(Qt|systemd)' <<<"$needed")"; then
    echo "$program loads at start: $(echo $bad)" >&2
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "start libraries: no Qt, no libsystemd in $*"
exit "$status"
