# Sourced by the whole-program benchmarks: the CPU ticks a process and
# everything it started have used (exited children through cutime/cstime,
# running ones directly).

tck=$(getconf CLK_TCK)
# Ticks of a process: own and reaped children's user and system time.
ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 + $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
descendants() {
  local p c
  for p in "$@"; do
    for c in $(cat /proc/"$p"/task/*/children 2>/dev/null); do echo "$c"; descendants "$c"; done
  done
}
# Ticks of a process and all its living descendants.
total() {
  local sum=0 p
  for p in "$1" $(descendants "$1"); do sum=$((sum + $(ticks "$p"))); done
  echo "$sum"
}
