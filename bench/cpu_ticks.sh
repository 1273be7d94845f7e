# Sourced by the whole-program benchmarks: the CPU ticks a process and
# everything it started have used (exited children through cutime/cstime,
# running ones directly). Only shell built-ins run while a measurement is
# taken, so that the measuring starts no program the monitor would show.

tck=$(getconf CLK_TCK)
# Ticks of a process: own and reaped children's user and system time.
ticks() {
  local stat fields
  read -r stat 2>/dev/null < "/proc/$1/stat" || { echo 0; return; }
  read -ra fields <<< "${stat##*) }"
  echo $((fields[11] + fields[12] + fields[13] + fields[14]))
}
descendants() {
  local p f c kids
  for p in "$@"; do
    for f in /proc/"$p"/task/*/children; do
      kids=()
      # The list ends without a newline: read fails but fills it.
      read -ra kids 2>/dev/null < "$f" || true
      for c in "${kids[@]}"; do echo "$c"; descendants "$c"; done
    done
  done
}
# Ticks of a process and all its living descendants.
total() {
  local sum=0 p
  for p in "$1" $(descendants "$1"); do sum=$((sum + $(ticks "$p"))); done
  echo "$sum"
}
