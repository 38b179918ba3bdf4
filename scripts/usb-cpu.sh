#!/usr/bin/env bash
# Measures the processor time the whole program (reader thread included) takes during a live
# test against the simulated USB analyzer: SECONDS (default 60) of sampling after start-up,
# in a display of its own under Xvfb, unattended. Prints the share of one core.
#     bash scripts/usb-cpu.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
program=${QARN3_PROGRAM:-build/app/qarn3}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi
data=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$data"' EXIT
# Range 5, limits 5 s, source USB, pulse test, 1000 A / 100 mV.
printf '5\r\n5.00\r\n5.00\r\nQARN3.odf\r\nUSB\r\n2\r\n0\r\n  1000\r\n100.00\r\n' >"$data/QARN3.osf"
QARN3_DATA_DIR=$data QARN3_PROG_DIR=$data QARN3_UNATTENDED= \
    QARN3_SIMULATED_ANALYZER=QARN3Pulse.owf "$program" 2>"$data/boxes.txt" &
pid=$!
sleep 10 # start-up: hardware check, reset, calibration read-back, start of sampling
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(cpu)
s0=$(date +%s.%N)
sleep "$seconds"
t1=$(cpu)
s1=$(date +%s.%N)
threads=$(ls "/proc/$pid/task" | wc -l)
# Unattended, every box is echoed: the hardware check's box means no analyzer was found.
if grep -q 'Hardware Not Found' "$data/boxes.txt"; then
    cat "$data/boxes.txt" >&2
    echo "not a live test: the simulated analyzer was not found" >&2
    exit 1
fi
awk -v t0="$t0" -v t1="$t1" -v s0="$s0" -v s1="$s1" -v hz="$hz" -v n="$threads" 'BEGIN {
    used = (t1 - t0) / hz; wall = s1 - s0;
    printf "%.1f s of processor time in %.1f s of live test: %.2f %% of one core (%d threads)\n",
        used, wall, 100 * used / wall, n }'
