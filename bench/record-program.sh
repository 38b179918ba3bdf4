#!/bin/bash
# Runs the program unattended through a whole test, worked by the preloaded qarn3_drive
# library, and keeps everything it wrote and showed in OUT, so that two builds can be compared
# with diff -r:
#   bench/record-program.sh QARN3 DRIVE_SO OUT demo|panel|usb|com [ANALYZER_SIM]
# demo: a demonstration test on the pulse waveform named on the command line (RUN, the test to
#       its time-out, Save Data, the viewer's Save, Calibrate and SAVE, Exit).
# panel: the demonstration test recorded through the test record panel (View/Test Record):
#       the breaker, the session and a typed band's test point typed into it, Start
#       recording, RUN, the shots stored; Save Data and the viewer; a must-not-trip test point
#       on another pole (Use test point), RESET and RUN again, End session, Exit. OUT/records/ gets the
#       records file as qarn3-records exports it (CSV and JSON Lines, and its schema version)
#       and as sqlite3 reads it (schema, pragmas, rows), its times and ids masked as
#       bench/records-common.sh says; the tool is the build's own (beside the program's
#       folder) or QARN3_RECORDS.
# usb:  a live test through the simulated USB analyzer (QARN3_SIMULATED_ANALYZER) playing the
#       pulse waveform; besides, RESET, a range change, Calibrate and SAVE (sent to the
#       analyzer), Exit. OUT/exchanges.txt lists every packet the analyzer received.
# com:  the same through qarn3-analyzer-sim on a pseudo-terminal (ANALYZER_SIM); OUT/
#       exchanges.txt lists every byte it received.
# OUT gets the data folder's files (data/), the boxes the program showed (boxes.txt), the
# windows' texts at each snapshot (*.txt) and the debug dump without its one varying line.
set -euo pipefail
qarn3=$(realpath "${1:?usage: bench/record-program.sh QARN3 DRIVE_SO OUT demo|panel|usb|com [SIM]}")
drive=$(realpath "${2:?usage}")
out=${3:?usage}
scenario=${4:?usage}
sim=${5:-}
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
tree=$(cd "$(dirname "$0")/.." && pwd)
day0=$(date -u +%F)
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
panel)
    args=(QARN3Pulse.owf)
    steps="wait-text Press RUN to start DEMO;menu &Test Record;wait-button Start recor&ding"
    steps+=";snapshot panel-shown;field &Site=North Plant;field &Breaker=Q1;field Maker=Maker"
    steps+=";field Model=M-400;field Serial=SN-1;field &In (A)=400;field Trip unit=LT 1.0, ST 4"
    steps+=";field Location=Bay 4;tab Session;field &Operator=Ann;field Condition=as-left"
    steps+=";field Notes=after the repair;tab Test point;field &Pole=B;field &Kind=short-time"
    steps+=";field T&arget=3;click Band;field min s=0.1;field max s=0.5;snapshot panel-typed"
    steps+=";click Start recor&ding;wait-button E&nd session;snapshot recording;click RUN"
    steps+=";wait-text Test Timeout;wait-gone storing…;snapshot ended;menu &Save Data"
    steps+=";sleep 1500;click Analyze;snapshot viewer;click Save;click Exit;tab Test point"
    steps+=";field &Pole=C;field &Kind=ground-fault;field T&arget=0.5;click Must not trip, hold"
    steps+=";field s=1.5;click &Use test point;snapshot point2;click RESET;wait-button RUN"
    steps+=";click RUN;wait-text Test Timeout"
    steps+=";wait-gone storing…;snapshot ended2;click E&nd session"
    steps+=";wait-button Start recor&ding;snapshot session-ended;menu E&xit"
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
# The records file holds random ids and the clock's times: it is kept as the tool exports it
# and as sqlite3 reads it, masked (bench/records-common.sh), its size and mode in files.txt.
rm -f "$out"/data/QARN3.db*
if [ "$scenario" = panel ]; then
    # shellcheck source=bench/records-common.sh
    . "$tree/bench/records-common.sh"
    build=$(dirname "$(dirname "$qarn3")")
    records_tool=${QARN3_RECORDS:-}
    for d in recordstool records; do # the tool's folder, and the one it had before
        [ -n "$records_tool" ] || [ ! -x "$build/$d/qarn3-records" ] || records_tool=$build/$d/qarn3-records
    done
    mkdir "$out/records"
    db="$work/data/QARN3.db"
    find "$work/data" -name 'QARN3.db*' -printf '%P %s %m\n' | sort > "$out/records/files.txt"
    for form in csv jsonl; do
        env -i PATH=/usr/bin:/bin HOME="$work" TZ=UTC LC_ALL=C.UTF-8 QARN3_DATA_DIR="$work/data" \
            "$records_tool" --db "$db" export --format "$form" > "$out/records/export.$form" \
            2> "$out/records/export-$form.err" || echo "status $?" >> "$out/records/export-$form.err"
    done
    env -i PATH=/usr/bin:/bin HOME="$work" TZ=UTC LC_ALL=C.UTF-8 QARN3_DATA_DIR="$work/data" \
        "$records_tool" --db "$db" schema > "$out/records/schema.out" 2>&1 || true
    records_dump "$db" "$out/records/records"
fi
# The simulator's link (com) is not the program's file.
rm -f "$out/data/analyzer"
# Paths of the run's folder and the debug lines' times are what differs from run to run.
for f in "$out"/*.txt "$out/data/QARN3.osf" "$out/data/qarn3.dbg"; do
    [ -f "$f" ] && sed -i "s|$work|WORK|g" "$f"
done
# A live stream's samples reach the program in ticks of varying size: the elapsed time and the
# bars of a snapshot vary from run to run, and are masked.
if [ "$scenario" = usb ] || [ "$scenario" = com ]; then
    sed -i -E 's/^bar: .*/bar: (live)/; s/^label: *[0-9]+\.[0-9]{4}$/label: (elapsed)/' "$out"/*.txt
fi
# Before RUN the demonstration's clock runs on while the panel's fields are typed: the
# snapshots then show a varying elapsed time, masked.
if [ "$scenario" = panel ]; then
    sed -i -E 's/^label: *[0-9]+\.[0-9]{4}$/label: (elapsed)/' "$out"/panel-*.txt "$out/recording.txt"
fi
if [ -f "$out/data/qarn3.dbg" ]; then
    sed -i 's/ at: [0-9.]*\r$/\r/' "$out/data/qarn3.dbg"
    # A tick that found the live stream empty (a late chunk) is logged now and then: such
    # lines are dropped, with the lines' numbers.
    if [ "$scenario" = usb ] || [ "$scenario" = com ]; then
        sed -i -E '/^[0-9]+: RxDataCount <= 0 \r$/d; s/^[0-9]+: //' "$out/data/qarn3.dbg"
    fi
fi
[ "$scenario" = panel ] && records_normalise "$work" "$day0" "$out/records"
find "$out/data" -type f -printf '%P %s %m\n' | sort > "$out/files.txt"
echo "$scenario: exit status $status; $(wc -l < "$out/files.txt") files in $out/data"
exit "$status"
