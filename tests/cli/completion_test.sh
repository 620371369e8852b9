#!/usr/bin/env bash
# kstbellctl's bash completion offers the verbs, sub-verbs, values and options of what is typed.
set -euo pipefail
source /usr/share/bash-completion/bash_completion
source "$1"

offered() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _kstbellctl kstbellctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  echo "${COMPREPLY[*]}"
}

failed=0
expect() {
  local want=$1
  shift
  local got
  got=$(offered "$@")
  if [ "$got" != "$want" ]; then
    echo "completing '$*': got '$got', want '$want'" >&2
    failed=1
  fi
}

expect "config" kstbellctl con
expect "show save diff apply" kstbellctl --json -d 127.0.0.1 config ""
expect "on off" kstbellctl relay ""
expect "--tone" kstbellctl relay on --ton
expect "0 1 2 3" kstbellctl relay on --tone ""
expect "ap station" kstbellctl --simulate wifi-mode ""
expect "--dry-run" kstbellctl config apply --dry
expect "--simulate --sim-state" kstbellctl --sim
expect "log" kstbellctl site ""
expect "bell_fired bell_missed" kstbellctl site log --kind bell_
expect "--state-dir" kstbellctl site log --state
expect "start stop list" kstbellctl --service http://127.0.0.1:8786 alarm ""
expect "--for" kstbellctl ring ground --f
expect "--service --service-ca" kstbellctl --serv
exit $failed
