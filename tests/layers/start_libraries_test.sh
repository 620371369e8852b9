#!/usr/bin/env bash
# The command-line programs start as small tools: none of them loads Qt, and libsystemd (with the
# compression and crypto libraries behind it) only when a Wi-Fi survey runs, not at start.
# kstbellctl loads the HTTP client (cpp-httplib, OpenSSL, brotli, zlib) and SQLite only with its
# module, when a verb of the site service or site log runs: not for --help, --version or a verb
# of horns; and the libraries it loads are counted from a run, so a verb that does load them
# shows that the count sees them.
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

# The libraries a run of kstbellctl loads, one file name a line (the dynamic loader's own record,
# dlopen included).
loaded() {
  LD_DEBUG=files "$ctl" "$@" 2>&1 >/dev/null | sed -n 's/.*file=\([^ ]*\) .*/\1/p' |
    xargs -r -n 1 basename | sort -u
}
heavy='^(lib(ssl|crypto|sqlite3|cpp-httplib|brotli(dec|enc|common)|z|systemd)\.so|kstbellctl-service\.so)'
for program in "$@"; do
  [ "$(basename "$program")" = kstbellctl ] || continue
  ctl="$program"
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
  echo token >"$work/token"
  chmod 600 "$work/token"
  mkdir "$work/state"
  # The heavy libraries each run must load (the start of their names), the others none of them.
  while IFS='|' read -r expect args; do
    # shellcheck disable=SC2086
    got="$(loaded $args | grep -E "$heavy" | tr '\n' ' ' || true)"
    for library in $expect; do
      grep -qE -- "(^| )$library" <<<"$got" || {
        echo "kstbellctl $args: loads no $library (it loaded: ${got:-none of them})" >&2
        status=1
      }
    done
    if [ -z "$expect" ] && [ -n "$got" ]; then
      echo "kstbellctl $args loads: $got" >&2
      status=1
    fi
  done <<EOT
|--help
|--version
|--simulate info
|--simulate --json status
|ring --help
kstbellctl-service.so libcpp-httplib libssl libcrypto libbrotlidec libz libsqlite3|--service http://127.0.0.1:9 --token-file $work/token --timeout 1000 ring g
kstbellctl-service.so libsqlite3|site log --state-dir $work/state
EOT
  [ "$status" -eq 0 ] && echo "start libraries: kstbellctl loads the HTTP client and SQLite only for the site service's verbs"
done
exit "$status"
