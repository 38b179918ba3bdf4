#!/bin/bash
# Runs the program unattended through a whole test, worked by the preloaded qarn3_drive
# library, and keeps everything it wrote and showed in OUT, so that two builds can be compared
# with diff -r:
#   bench/record-program.sh QARN3 DRIVE_SO OUT demo|usb|com [ANALYZER_SIM]
# demo: a demonstration test on the pulse waveform named on the command line (RUN, the test to
#       its time-out, Save Data, the viewer's Save, Calibrate and SAVE, Exit).
# usb:  a live test through the simulated USB analyzer (QARN3_SIMULATED_ANALYZER) playing the
#       pulse waveform; besides, RESET, a range change, Calibrate and SAVE (sent to the
#       analyzer), Exit. OUT/exchanges.txt lists every packet the analyzer received.
# com:  the same through qarn3-analyzer-sim on a pseudo-terminal (ANALYZER_SIM); OUT/
#       exchanges.txt lists every byte it received.
# OUT gets the data folder's files (data/), the boxes the program showed (boxes.txt), the
# windows' texts at each snapshot (*.txt) and the debug dump without its one varying line.
set -euo pipefail
qarn3=$(realpath "${1:?usage: bench/record-program.sh QARN3 DRIVE_SO OUT demo|usb|com [SIM]}")
drive=$(realpath "${2:?usage}")
out=${3:?usage}
scenario=${4:?usage}
sim=${5:-}
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
work=$(mktemp -d /tmp/qarn3-record-XXXXXX)
simpid=
cleanup() {
    [ -n "$simpid" ] && kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/prog" "$work/data" "$work/runtime"
chmod 700 "$work/data" "$work/runtime"
# The caption shows the program file's date: the same for every build.
cp "$qarn3" "$work/prog/qarn3"
touch -d "2026-01-02 03:04:05" "$work/prog/qarn3"

setup() { # source name
    printf '4\r\n5,00\r\n5,00\r\nQARN3.odf\r\n%s\r\n4\r\n0\r\n1000\r\n100,00\r\n' "$1" |
        sed 's/,/./g' > "$work/data/QARN3.osf"
}

args=()
answers=""
# Each step that waits inside (Save Data, SAVE) is given the time to finish before the next.
live_steps="wait-text Armed - Initiate test current;snapshot armed;wait-text Test Timeout"
live_steps+=";snapshot ended;menu &Save Data;sleep 1500;click Analyze;snapshot viewer;click Save"
live_steps+=";click Exit;click RESET;wait-text Armed - Initiate test current;snapshot reset"
live_steps+=";range 1;sleep 1500;menu &Calibrate;type 6917;click OK;snapshot calibration"
live_steps+=";click SAVE;wait-text Test Timeout;snapshot ended2;menu E&xit"
case "$scenario" in
demo)
    args=(QARN3Pulse.owf)
    steps="wait-text Press RUN to start DEMO;snapshot start;click RUN;wait-text Test Timeout"
    steps+=";snapshot ended;menu &Save Data;sleep 1500;click Analyze;snapshot viewer"
    steps+=";click Save;click Exit;menu &Calibrate;type 6917;click OK;snapshot calibration"
    steps+=";click SAVE;sleep 1000;snapshot saved;click RUN;wait-text Test Timeout"
    steps+=";snapshot ended2;key -;key +;key +;snapshot keys;menu E&xit"
    # The pulse waveform is made by the program at start; the command line names it.
    ;;
usb)
    setup USB
    export QARN3_SIMULATED_ANALYZER=QARN3Pulse.owf
    export QARN3_SIMULATED_ANALYZER_LOG="$out/exchanges.txt"
    steps=$live_steps
    answers=OK
    ;;
com)
    [ -x "$sim" ] || { echo "com needs the analyzer simulator" >&2; exit 2; }
    "$sim" --link "$work/analyzer" --command-log "$out/exchanges.txt" > "$work/sim.out" \
        2> "$work/sim.err" &
    simpid=$!
    for _ in $(seq 50); do [ -L "$work/analyzer" ] && break; sleep 0.1; done
    setup "$work/analyzer"
    steps=$live_steps
    answers=OK
    ;;
*)
    echo "unknown scenario $scenario" >&2
    exit 2
    ;;
esac

status=0
(
    cd "$work/data"
    env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANG=C.UTF-8 TZ=UTC \
        XDG_RUNTIME_DIR="$work/runtime" HOME="$work" \
        QARN3_DATA_DIR="$work/data" QARN3_PROG_DIR="$work/prog" \
        QARN3_UNATTENDED="$answers" QARN3_DRIVE="$steps" QARN3_DRIVE_OUT="$out" \
        LD_PRELOAD="$drive" "$work/prog/qarn3" "${args[@]}" 2> "$work/stderr.txt"
) || status=$?
if [ -n "$simpid" ]; then
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
    simpid=
fi
grep '^\[box\]' "$work/stderr.txt" | sed "s|$work|WORK|g" > "$out/boxes.txt" || true
grep -v '^\[box\]' "$work/stderr.txt" > "$out/stderr-other.txt" || true
rm -rf "$out/data"
cp -a "$work/data" "$out/data"
# The simulator's link (com) is not the program's file.
rm -f "$out/data/analyzer"
# Paths of the run's folder and the debug lines' times are what differs from run to run.
for f in "$out"/*.txt "$out/data/QARN3.osf" "$out/data/qarn3.dbg"; do
    [ -f "$f" ] && sed -i "s|$work|WORK|g" "$f"
done
# A live stream's samples reach the program in ticks of varying size: the elapsed time and the
# bars of a snapshot vary from run to run, and are masked.
if [ "$scenario" != demo ]; then
    sed -i -E 's/^bar: .*/bar: (live)/; s/^label: *[0-9]+\.[0-9]{4}$/label: (elapsed)/' "$out"/*.txt
fi
if [ -f "$out/data/qarn3.dbg" ]; then
    sed -i 's/ at: [0-9.]*\r$/\r/' "$out/data/qarn3.dbg"
    # A tick that found the live stream empty (a late chunk) is logged now and then: such
    # lines are dropped, with the lines' numbers.
    if [ "$scenario" != demo ]; then
        sed -i -E '/^[0-9]+: RxDataCount <= 0 \r$/d; s/^[0-9]+: //' "$out/data/qarn3.dbg"
    fi
fi
find "$out/data" -type f -printf '%P %s %m\n' | sort > "$out/files.txt"
echo "$scenario: exit status $status; $(wc -l < "$out/files.txt") files in $out/data"
exit "$status"
