# The steps of a test run, some of them at once, and what they came to. Source this file after
# setting `logs` to an empty folder; then:
#  - step NAME CMD...: runs CMD with its output in $logs/NAME.log and the environment variable
#    STEP set to NAME; leaves $logs/NAME.step ("start wall status", start and wall in seconds of
#    the calling shell's SECONDS) and $logs/NAME.time (processor seconds, "user system"). A step
#    that counts tests writes "passed failed" into $logs/$STEP.result itself.
#  - await NAME: waits until step NAME (run by another lane) has ended; fails when it failed.
#  - after NEED... -- NAME CMD...: runs step NAME once every NEED has ended well; when one of them
#    failed, NAME is not run and counts as one failure.
#  - steps_count: prints "passed failed" over every step. A step that failed counts as at least
#    one failure, whatever its result says; one that ended well without a result (a build)
#    counts nothing.
#  - steps_failures: prints the end of the log of each step that failed.
#  - steps_table: prints when each step started, how long it took and its processor time.

step() {
  local name="$1" start=$SECONDS status=0
  shift
  echo "scripts/test: $name (at ${start} s)"
  STEP="$name" /usr/bin/time -o "$logs/$name.time" -f "%U %S" "$@" >"$logs/$name.log" 2>&1 ||
    status=$?
  echo "$start $((SECONDS - start)) $status" >"$logs/$name.step"
  if [ "$status" -eq 0 ]; then
    echo "scripts/test: $name done in $((SECONDS - start)) s"
  else
    echo "scripts/test: $name FAILED after $((SECONDS - start)) s (log: $logs/$name.log)"
  fi
  return "$status"
}

await() {
  until [ -f "$logs/$1.step" ]; do sleep 1; done
  [ "$(cut -d' ' -f3 <"$logs/$1.step")" -eq 0 ]
}

after() {
  local needs=() need
  while [ "$1" != "--" ]; do
    needs+=("$1")
    shift
  done
  shift
  for need in "${needs[@]}"; do
    if ! await "$need"; then
      echo "scripts/test: $1 not run: $need failed"
      echo "0 1" >"$logs/$1.result"
      return 0
    fi
  done
  step "$@" || true
}

steps_count() {
  local passed=0 failed=0 file name status p f
  for file in "$logs"/*.step "$logs"/*.result; do
    [ -f "$file" ] || continue
    name="${file##*/}"
    name="${name%.*}"
    # Each step once: through its .step file, or through its .result when it never ran.
    [ "${file##*.}" = result ] && [ -f "$logs/$name.step" ] && continue
    status=0
    [ -f "$logs/$name.step" ] && read -r _ _ status <"$logs/$name.step"
    p=0
    f=0
    [ -f "$logs/$name.result" ] && read -r p f <"$logs/$name.result"
    if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then f=1; fi
    passed=$((passed + p))
    failed=$((failed + f))
  done
  echo "$passed $failed"
}

steps_failures() {
  local file name status
  for file in "$logs"/*.step; do
    [ -f "$file" ] || continue
    name="$(basename "$file" .step)"
    read -r _ _ status <"$file"
    if [ "$status" -ne 0 ]; then
      echo "---- scripts/test: $name failed; the end of $logs/$name.log:"
      tail -n 300 "$logs/$name.log"
    fi
  done
}

steps_table() {
  local start name wall cpu file
  printf 'scripts/test: %-33s %6s %6s %10s\n' "step times" "start" "wall" "processor"
  while read -r start name; do
    read -r _ wall _ <"$logs/$name.step"
    cpu="-"
    if [ -f "$logs/$name.time" ]; then
      # The last line: a step that failed has "Command exited with non-zero status N" first.
      cpu="$(steps_minutes "$(awk 'END {printf "%d", $1 + $2}' "$logs/$name.time")")"
    fi
    printf '  %-44s %6s %6s %10s\n' "$name" "$(steps_minutes "$start")" \
      "$(steps_minutes "$wall")" "$cpu"
  done < <(for file in "$logs"/*.step; do
    [ -f "$file" ] && echo "$(cut -d' ' -f1 <"$file") $(basename "$file" .step)"
  done | sort -n)
}

steps_minutes() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }
