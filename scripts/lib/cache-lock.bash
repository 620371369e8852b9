# One user of a shared cache folder at a time, for scripts that build into it.
# Source this file, then call cache_lock FOLDER WHO [wait|no-wait]:
#  - takes an exclusive flock(1) on FOLDER/kstbell.lock, held until the calling shell exits
#    (the kernel drops it then, also when the shell is killed, so a lock is never stale);
#  - when another process holds it, says who (the holder writes its pid, program, work tree
#    and start time into the lock file) and waits for it, or with no-wait returns 75;
#  - once held, writes this process's own line into the lock file.
# The lock file is never removed: removing it while another process waits on it would let a
# third one lock a new file of the same name beside them.

cache_lock() {
  local folder=$1 who=$2 mode=${3:-wait} file holder
  file=$folder/kstbell.lock
  mkdir -p "$folder" || return 1
  # Opened for reading and writing so that opening it does not empty the holder's line.
  exec {cache_lock_fd}<>"$file" || return 1
  if ! flock -n "$cache_lock_fd"; then
    holder=$(head -n 1 "$file" 2>/dev/null)
    holder=${holder:-a process that has not said who it is}
    if [ "$mode" = no-wait ]; then
      echo "$who: the cache $folder is in use by $holder" >&2
      return 75
    fi
    echo "$who: the cache $folder is in use by $holder; waiting for it to finish" >&2
    flock "$cache_lock_fd" || return 1
    echo "$who: the cache is free now; going on" >&2
  fi
  printf 'pid %s (%s in %s, since %s)\n' "$$" "$who" "$PWD" "$(date '+%Y-%m-%d %H:%M:%S')" \
    >"$file"
}
