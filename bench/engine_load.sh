#!/usr/bin/env bash
# Measures the whole engine under load: 500 extra idle processes and 200
# loopback TCP connections, then tavrin-engine for SECONDS (default 60).
# Usage: bench/engine_load.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
source "$(dirname "$0")/load.sh"
trap stop_load EXIT

start_load
"$build/bin/tavrin-engine" --seconds "$seconds" | tail -n 5
