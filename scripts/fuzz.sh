#!/usr/bin/env bash
# Runs every fuzz target of a build for a few seconds each; any crash fails.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-20}
status=0
for target in "$build"/bin/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  dirs=("$corpus")
  [ -d "$seeds" ] && dirs+=("$seeds")
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -print_final_stats=0 \
       -artifact_prefix="$build/" "${dirs[@]}" >"$build/$name.log" 2>&1; then
    echo "fuzz: $name FAILED"; tail -n 40 "$build/$name.log"; status=1
  fi
done
exit $status
