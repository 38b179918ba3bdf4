#!/usr/bin/env bash
# Measures the serial receive path on a continuous stream: starts the analyzer simulator on a
# pseudo-terminal and, for SECONDS (default 600), runs against it either build/bench/comstream
# (the serial component, the COM link and the engine on the 200 ms tick, no windows) or, with
# --program, the program itself with its windows (offscreen, or with --xvfb on an X server of
# its own; a live test with no time limits). Either way CPU use and resident memory are
# printed once a minute.
#   bash bench/comstream.sh [--program [--xvfb]] [--chunk N] [--interval MS] [--garble N]
#                           [SECONDS] [BUILD_DIR]
# --chunk and --interval pace the simulator's writes (48 characters every 10 ms is how
# USB-serial adapters deliver the stream); --garble N garbles every N-th pair (50: 2 %).
set -euo pipefail
program=0
xvfb=0
sim_args=(--loop)
while [ $# -gt 0 ]; do
    case $1 in
    --program) program=1 ;;
    --xvfb) xvfb=1 ;;
    --chunk | --interval | --garble)
        sim_args+=("$1" "$2")
        shift
        ;;
    *) break ;;
    esac
    shift
done
seconds=${1:-600}
build=${2:-build}
work=$(mktemp -d)
"$build/link/qarn3-analyzer-sim" "${sim_args[@]}" >"$work/sim.out" 2>/dev/null &
sim=$!
pid=
trap '[ -n "$pid" ] && kill $pid 2>/dev/null; kill $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do
    [ -s "$work/sim.out" ] && break
    sleep 0.1
done
port=$(head -n1 "$work/sim.out")
echo "simulator: ${sim_args[*]}"

if [ $program = 0 ]; then
    "$build/bench/comstream" "$port" "$seconds"
else
    # CPU nanoseconds of every thread of the process.
    cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.0f\n", s}'; }
    rss_kib() { awk '/^VmRSS/ {print $2}' /proc/"$1"/status; }
    printf '4\r\n0.00\r\n0.00\r\nQARN3.odf\r\n%s\r\n4\r\n0\r\n1000\r\n100.00\r\n' "$port" \
        >"$work/QARN3.osf"
    export QARN3_DATA_DIR=$work QARN3_PROG_DIR=$work QARN3_UNATTENDED=
    if [ $xvfb = 1 ]; then
        QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
            sh -c 'echo $$ >"$1/pid"; exec "$2"' sh "$work" "$build/app/qarn3" \
            >"$work/program.out" 2>&1 &
    else
        QT_QPA_PLATFORM=offscreen sh -c 'echo $$ >"$1/pid"; exec "$2"' sh "$work" \
            "$build/app/qarn3" >"$work/program.out" 2>&1 &
    fi
    sleep 5 # start-up: the hardware check and the calibration read
    pid=$(cat "$work/pid")
    echo "minute  cpu%  rss_kib"
    start_ns=$(cpu_ns $pid)
    start_rss=$(rss_kib $pid)
    last_ns=$start_ns
    elapsed=0
    while [ $elapsed -lt "$seconds" ]; do
        step=$((seconds - elapsed < 60 ? seconds - elapsed : 60))
        sleep $step
        elapsed=$((elapsed + step))
        kill -0 $pid 2>/dev/null || {
            echo "the program ended"
            exit 1
        }
        now_ns=$(cpu_ns $pid)
        awk -v m=$elapsed -v c=$((now_ns - last_ns)) -v s=$step -v r="$(rss_kib $pid)" \
            'BEGIN {printf "%6.1f  %4.2f  %7d\n", m / 60, c / s / 1e7, r}'
        last_ns=$now_ns
    done
    awk -v c=$((now_ns - start_ns)) -v s="$seconds" -v a="$start_rss" -v b="$(rss_kib $pid)" \
        'BEGIN {printf "total: %d s, cpu %.2f %% of one core, rss %d -> %d KiB\n", s, c / s / 1e7, a, b}'
fi
ps -o pid=,time=,rss= -p $sim | awk '{print "simulator: cpu time " $2 ", rss " $3 " KiB"}'
