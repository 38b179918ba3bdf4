#!/bin/bash
# Start-up time and resident memory of the program against an empty Qt window, side by side
# in one run: each is started RUNS times, in turn, and the preloaded qarn3_drive library notes
# when its first window is on the screen (exposed) and the resident memory then. The program
# starts on the demonstration waveform in a data folder made once (the demonstration files and
# the setup file already there, as on every start but the first).
#   bench/startup.sh BUILD_DIR [RUNS] [QARN3]
# BUILD_DIR holds bench/empty_window and bench/libqarn3_drive.so; QARN3 is the program
# (default BUILD_DIR/app/qarn3). Under Xvfb when it is installed (the X11 platform, as on a
# desktop), else on Qt's offscreen platform. Prints the medians and their ratios.
set -euo pipefail
build=$(realpath "${1:?usage: bench/startup.sh BUILD_DIR [RUNS] [QARN3]}")
runs=${2:-20}
qarn3=$(realpath "${3:-$build/app/qarn3}")
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
(cd "$work/data" && QARN3_DRIVE_EXPOSED="$work/warm" QARN3_DRIVE_T0=0 LD_PRELOAD="$drive" \
    "$qarn3" QARN3Pulse.owf 2> /dev/null) || true
(QARN3_DRIVE_EXPOSED="$work/warm" QARN3_DRIVE_T0=0 LD_PRELOAD="$drive" "$empty") || true

measure() { # FILE PROGRAM ARGS...
    local file=$1
    shift
    (cd "$work/data" && QARN3_DRIVE_EXPOSED="$file" QARN3_DRIVE_T0=$(date +%s%N) \
        LD_PRELOAD="$drive" "$@" 2> /dev/null) || true
}
for _ in $(seq "$runs"); do
    measure "$work/empty.txt" "$empty"
    measure "$work/qarn3.txt" "$qarn3" QARN3Pulse.owf
done

median() { # FILE COLUMN
    sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
e_ms=$(median "$work/empty.txt" 1)
q_ms=$(median "$work/qarn3.txt" 1)
e_kb=$(median "$work/empty.txt" 2)
q_kb=$(median "$work/qarn3.txt" 2)
echo "platform: $platform, $runs runs each (medians)"
echo "empty Qt window:  $e_ms ms to the first exposed window, $e_kb KiB resident"
echo "qarn3:            $q_ms ms to the first exposed window, $q_kb KiB resident"
awk -v a="$q_ms" -v b="$e_ms" -v c="$q_kb" -v d="$e_kb" \
    'BEGIN { printf "ratio:            %.2f x the time, %.2f x the memory\n", a / b, c / d }'
