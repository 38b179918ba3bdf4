#!/usr/bin/env bash
# Measures the serial receive path on a continuous stream: starts the analyzer simulator on a
# pseudo-terminal and runs build/bench/comstream against it for SECONDS (default 600), which
# prints CPU use and resident memory once a minute.
#   bash bench/comstream.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
seconds=${1:-600}
build=${2:-build}
out=$(mktemp)
"$build/link/qarn3-analyzer-sim" --loop >"$out" 2>/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do
    [ -s "$out" ] && break
    sleep 0.1
done
port=$(head -n1 "$out")
"$build/bench/comstream" "$port" "$seconds"
ps -o pid=,time=,rss= -p $sim | awk '{print "simulator: cpu time " $2 ", rss " $3 " KiB"}'
