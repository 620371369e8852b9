#!/usr/bin/env bash
# kstbellctl finds its module of the site service's verbs beside itself (the build tree) or where
# the package installs it (MODULE_DIR: its folder from the program's), and without it, or
# with a file that is not the module, says which file those verbs need and why, and exits 1,
# while every other verb works as before. The service is a small HTTP server on 127.0.0.1 that
# answers a ring.
# Usage: service_module_test.sh KSTBELLCTL MODULE MODULE_DIR
set -euo pipefail
ctl="$1"
module="$2"
module_dir="$3"
work="$(mktemp -d)"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

python3 - "$work/port" <<'PY' &
import http.server, json, sys
class Service(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        self.rfile.read(int(self.headers.get("Content-Length", 0)))
        ok = self.path == "/api/v1/ring" and self.headers.get("Authorization") == "Bearer token1"
        body = json.dumps({"ring": {"id": 7, "horns": ["127.0.0.5"], "end": "2027-01-07T08:00:10Z",
                                    "switched_on": ["127.0.0.5"]}} if ok else
                          {"error": {"kind": "not_found", "message": self.path}}).encode()
        self.send_response(200 if ok else 404)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Service)
open(sys.argv[1] + ".new", "w").write(str(server.server_port))
__import__("os").rename(sys.argv[1] + ".new", sys.argv[1])
server.serve_forever()
PY
server_pid=$!
for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.05; done
port="$(cat "$work/port")"
echo token1 >"$work/token"
chmod 600 "$work/token"
mkdir "$work/state"

# The layouts: the program where it was built, with its module beside it; a copy installed as
# the package installs the two; a copy alone; a copy with a library that is no module of it.
for layout in installed alone foreign; do
  mkdir -p "$work/$layout/bin/$module_dir"
  cp "$ctl" "$work/$layout/bin/kstbellctl"
done
cp "$module" "$work/installed/bin/$module_dir/kstbellctl-service.so"
zlib="$(ldconfig -p | sed -n 's/.*libz\.so\.1 (libc6,x86-64) => //p' | head -n 1)"
cp "$zlib" "$work/foreign/bin/$module_dir/kstbellctl-service.so"
rmdir "$work/alone/bin/$module_dir"
alone="$(realpath -m "$work/alone/bin/$module_dir/kstbellctl-service.so")"
foreign="$(realpath -m "$work/foreign/bin/$module_dir/kstbellctl-service.so")"

ring="--json --service http://127.0.0.1:$port --token-file $work/token ring ground"
need="kstbellctl: the site service's verbs need"
failed=0
# layout | arguments | exit code | what stdout and stderr together hold
while IFS='|' read -r layout args code want; do
  case $layout in
    built) program="$ctl" ;;
    *) program="$work/$layout/bin/kstbellctl" ;;
  esac
  set +e
  # shellcheck disable=SC2086
  got="$("$program" $args 2>&1)"
  got_code=$?
  set -e
  if [ "$got_code" != "$code" ] || [[ "$got" != *"$want"* ]]; then
    echo "$layout: kstbellctl $args: exit $got_code, '$got'; want exit $code, '$want'" >&2
    failed=1
  fi
done <<EOT
built|$ring|0|{"service":"http://127.0.0.1:$port","ok":true,"result":{"id":7,
installed|$ring|0|"ok":true,"result":{"id":7,
installed|site log --state-dir $work/state|1|kstbellctl: the site service's log cannot be read: $work/state/kstbelld.db
alone|$ring|1|$need $alone: cannot open shared object file: No such file or directory
alone|site log --state-dir $work/state|1|$need $alone: cannot open shared object file
alone|--service http://127.0.0.1:$port --token-file $work/token stop-all|1|$need $alone:
foreign|$ring|1|$need $foreign: it has no kstbellctl_service_module: it is not kstbellctl's module
alone|--simulate --json info|0|"ok":true
alone|ring --help|0|--for DURATION
alone|site log --help|0|--kind KIND
alone|ring ground|2|ring asks the site service: give its address with --service URL
EOT
# Without its module a verb's message is all the program says.
lines="$( { "$work/alone/bin/kstbellctl" $ring 2>&1 || true; } | wc -l)"
[ "$lines" -eq 1 ] || { echo "alone: kstbellctl $ring said $lines lines, want 1" >&2; failed=1; }
[ "$failed" -eq 0 ] && echo "service module: found beside the program and where it is installed; its absence told"
exit "$failed"
