#!/usr/bin/env bash
# Runs the whole test suite again and again with every core kept busy beside
# it, and says which tests failed. A test that races the machine's speed
# shows up here long before it fails for somebody else.
#
# Usage: scripts/stress-tests.sh [RUNS] [BUILD_DIR]
#   RUNS       how many runs in a row (default 20)
#   BUILD_DIR  a built tree (default build; build-asan for the sanitizer build)
# Logs go to $STRESS_LOGS (default a new folder under /tmp). Exits 1 when any
# run failed.
set -uo pipefail

runs=${1:-20}
build=${2:-build}
cores=$(nproc)
logs=${STRESS_LOGS:-$(mktemp -d /tmp/tavrin-stress.XXXXXX)}
mkdir -p "$logs"
[ -f "$build/CTestTestfile.cmake" ] || { echo "stress-tests: $build is not a built tree; run make build first" >&2; exit 2; }

busy=()
stop_busy() {
  [ ${#busy[@]} -gt 0 ] && kill "${busy[@]}" 2>/dev/null
  wait 2>/dev/null
}
trap stop_busy EXIT
trap 'exit 130' INT TERM
for _ in $(seq "$cores"); do
  bash -c 'while :; do :; done' &
  busy+=($!)
done
echo "stress-tests: $runs runs of $build with $cores busy loops; logs in $logs"

export QT_QPA_PLATFORM=offscreen
failed_runs=0
declare -A failures=()
for run in $(seq "$runs"); do
  log="$logs/run-$run.log"
  start=$(date +%s)
  if ctest --test-dir "$build" -j"$cores" --output-on-failure >"$log" 2>&1; then
    status=passed
  else
    status=FAILED
    failed_runs=$((failed_runs + 1))
    # Failed test programs, then the failed cases inside them.
    while read -r name; do
      failures["$name"]=$((${failures["$name"]:-0} + 1))
    done < <(sed -n '/The following tests FAILED/,$p' "$log" | sed -n 's/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p'
             grep -o '^\[  FAILED  \] [A-Za-z0-9_/.]*' "$log" | sort -u | sed 's/^\[  FAILED  \] /  /')
  fi
  printf 'run %d/%d: %s in %ds\n' "$run" "$runs" "$status" $(($(date +%s) - start))
done

echo "stress-tests: $((runs - failed_runs)) of $runs runs passed"
if [ "$failed_runs" -gt 0 ]; then
  echo "failed (runs):"
  for name in "${!failures[@]}"; do printf '  %-60s %d\n' "$name" "${failures[$name]}"; done | sort
  exit 1
fi
