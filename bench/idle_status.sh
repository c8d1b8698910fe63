#!/usr/bin/env bash
# CPU time and peak memory of `sntool status` left waiting on a cradle with no
# pager. Usage: bench/idle_status.sh [BUILD_DIR] [SECONDS]   (default build/normal, 10)
set -euo pipefail
build=${1:-build/normal}
seconds=${2:-10}
tmp=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null; kill $sim 2>/dev/null; rm -rf "$tmp"' EXIT
mkfifo "$tmp/in"
"$build/cli/pagersim" --link "$tmp/cradle" --removed <"$tmp/in" >"$tmp/sim.out" &
sim=$!
exec 3>"$tmp/in"
for _ in $(seq 100); do grep -q '^link:' "$tmp/sim.out" 2>/dev/null && break; sleep 0.05; done
"$build/bench/measure_command" "$build/cli/sntool" --port "$tmp/cradle" --timeout "$seconds" status >/dev/null 2>"$tmp/err" || true
grep measured "$tmp/err"
