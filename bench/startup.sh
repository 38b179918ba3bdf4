#!/bin/bash
# Start-up time and resident memory of the program against an empty Qt window, side by side
# in one run: each is started RUNS times, in turn, and the preloaded qarn3_drive library notes
# when its first window is on the screen (exposed) and the resident memory then. The program
# starts on the demonstration waveform in a data folder made once (the demonstration files and
# the setup file already there, as on every start but the first).
#   bench/startup.sh BUILD_DIR [RUNS] [QARN3...]
# BUILD_DIR holds bench/empty_window and bench/libqarn3_drive.so; QARN3 is the program
# (default BUILD_DIR/app/qarn3); several (two builds) are started in turn with the empty
# window, so that all share the machine's load of the moment. Under Xvfb when it is installed
# (the X11 platform, as on a desktop), else on Qt's offscreen platform. Prints the medians and
# their ratios to the empty window's.
set -euo pipefail
build=$(realpath "${1:?usage: bench/startup.sh BUILD_DIR [RUNS] [QARN3]}")
runs=${2:-20}
programs=()
for p in "${@:3}"; do programs+=("$(realpath "$p")"); done
[ ${#programs[@]} -gt 0 ] || programs=("$build/app/qarn3")
empty=$build/bench/empty_window
drive=$build/bench/libqarn3_drive.so
work=$(mktemp -d /tmp/qarn3-startup-XXXXXX)
xvfb=
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/data" "$work/prog" "$work/runtime"
chmod 700 "$work/data" "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work" QARN3_DATA_DIR="$work/data"
export QARN3_PROG_DIR="$work/prog" QARN3_UNATTENDED=

if command -v Xvfb > /dev/null; then
    for display in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$display" ] && continue
        Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp > /dev/null 2>&1 &
        xvfb=$!
        break
    done
    export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    platform="xcb under Xvfb"
else
    export QT_QPA_PLATFORM=offscreen
    platform=offscreen
fi

# Once, unmeasured: the program makes its demonstration and setup files; a run of each warms
# the caches.
for p in "${programs[@]}"; do
    (cd "$work/data" && QARN3_DRIVE_EXPOSED="$work/warm" QARN3_DRIVE_T0=0 LD_PRELOAD="$drive" \
        "$p" QARN3Pulse.owf 2> /dev/null) || true
done
(QARN3_DRIVE_EXPOSED="$work/warm" QARN3_DRIVE_T0=0 LD_PRELOAD="$drive" "$empty") || true

measure() { # FILE PROGRAM ARGS...
    local file=$1
    shift
    (cd "$work/data" && QARN3_DRIVE_EXPOSED="$file" QARN3_DRIVE_T0=$(date +%s%N) \
        LD_PRELOAD="$drive" "$@" 2> /dev/null) || true
}
for _ in $(seq "$runs"); do
    measure "$work/empty.txt" "$empty"
    for i in "${!programs[@]}"; do
        measure "$work/program$i.txt" "${programs[$i]}" QARN3Pulse.owf
    done
done

median() { # FILE COLUMN
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
e_ms=$(median "$work/empty.txt" 1)
e_kb=$(median "$work/empty.txt" 2)
e_cpu=$(median "$work/empty.txt" 3)
echo "platform: $platform, $runs runs each, in turn (medians)"
echo "empty Qt window: $e_ms ms to the first exposed window, $e_kb KiB resident, $e_cpu ms of CPU"
for i in "${!programs[@]}"; do
    ms=$(median "$work/program$i.txt" 1)
    kb=$(median "$work/program$i.txt" 2)
    cpu=$(median "$work/program$i.txt" 3)
    awk -v n="${programs[$i]}" -v a="$ms" -v b="$e_ms" -v c="$kb" -v d="$e_kb" -v e="$cpu" \
        -v f="$e_cpu" 'BEGIN { printf "%s: %s ms (%.2f x), %s KiB (%.2f x), %s ms of CPU (%.2f x)\n",
                       n, a, a / b, c, c / d, e, e / f }'
done
