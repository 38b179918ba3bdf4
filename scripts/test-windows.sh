#!/usr/bin/env bash
# Tests the Windows build under Wine, after making it (scripts/build-windows.sh):
#   1. the cross-built headless tests (tests/windows-tests.cmake);
#   2. qarn3-analyze.exe on the demonstration waveforms and on generated ones, in every
#      output format, on files it must refuse and on names beyond ASCII, against what the
#      Linux build prints and its exit status, byte for byte;
#   3. the program under Xvfb, worked by the operator's script: a test record session in
#      demonstration mode to "Test Timeout" (its texts against the Linux program's, the files
#      and records it wrote, a screenshot), then a live test over the COM link against the
#      analyzer simulator on a pseudo-terminal that Wine shows as COM5 (its readings against
#      the Linux program's over the same link).
#   bash scripts/test-windows.sh [OUT_FOLDER]   (screenshots and texts go to OUT_FOLDER,
#                                                 default build-windows/test-out)
# QARN3_LINUX_BUILD names a Linux release build to compare with (CI's own); without it one is
# made in build-windows/linux.
set -euo pipefail
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
# The output folder as the caller named it; one that exists must be an earlier run's.
out=$(realpath -m "${1:-$(dirname "$0")/../build-windows/test-out}")
if [ -d "$out" ] && [ -n "$(ls -A "$out")" ] && [ ! -f "$out/wineboot.log" ]; then
    echo "$out holds files of its own: name an empty or new folder" >&2
    exit 2
fi
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/build-windows.sh

triplet=x86_64-w64-mingw32
cache=${XDG_CACHE_HOME:-$HOME/.cache}/qarn3/windows-qt-$(sed -n 's/^qt_version=//p' \
    scripts/build-windows.sh)
build=$root/build-windows/build
folder=$root/build-windows/QARN3
linux=$root/build-windows/linux
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
for p in xdotool x11-apps netpbm; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "$p"
done

# The Linux side of the comparisons: a release build with the benchmarks' tools, the one
# QARN3_LINUX_BUILD names (CI's own) or one made here.
echo "== the Linux tools to compare with"
if [ -n "${QARN3_LINUX_BUILD:-}" ]; then
    linux=$(realpath "$QARN3_LINUX_BUILD")
else
    bash scripts/install-deps.sh
    cmake -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQARN3_TESTS=OFF \
        -DQARN3_BENCHMARKS=ON >"$root/build-windows/linux-configure.log" 2>&1
fi
cmake --build "$linux" --target qarn3 qarn3-analyze make_waves qarn3_drive qarn3-analyzer-sim \
    -j "$(nproc)" >"$root/build-windows/linux-build.log" 2>&1 || {
    tail -30 "$root/build-windows/linux-build.log" >&2
    exit 1
}

work=$(mktemp -d "${TMPDIR:-/tmp}/qarn3-wine-XXXXXX")
xvfb=
cleanup() {
    # Whatever this run started and left running (the simulator, a program's run).
    pkill -P $$ 2>/dev/null || true
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
rm -rf "$out"
mkdir -p "$out"
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
echo "== a Wine prefix"
wineboot -i >"$out/wineboot.log" 2>&1
# The DLLs beside the programs, for the tests in the build tree too.
export WINEPATH="Z:${folder//\//\\}"
failed=0

# Every Windows program, a console one too, makes a window of its own for its messages: the
# display comes first, on a number no other server holds.
display=
for n in $(shuf -i 90-199); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x900x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
    xvfb=$!
    sleep 2
    kill -0 "$xvfb" 2>/dev/null && { display=:$n; break; }
    xvfb=
done
[ -n "$display" ] || { echo "Xvfb did not start (see $out/xvfb.log)" >&2; exit 1; }
export DISPLAY=$display

echo "== the headless tests under Wine"
# Qt's plugins beside the tests and the driven program, as beside the program, and the
# offscreen platform for the tests.
cp -r "$folder/platforms" "$folder/sqldrivers" "$folder/styles" "$folder/imageformats" \
    "$build/tests/"
cp "$cache/install/plugins/platforms/qoffscreen.dll" "$build/tests/platforms/"
cp "$cache/install/bin/Qt6Test.dll" "$build/tests/"
for t in "$build"/tests/test_*.exe; do
    name=$(basename "$t" .exe)
    filter=$(sed -n "s/^$name //p" "$root/tests/windows-skipped.txt" | tr -d '\n')
    start=$(date +%s)
    if (cd "$work" && QT_QPA_PLATFORM=offscreen timeout 900 wine "$t" \
        ${filter:+--gtest_filter=-$filter} >"$out/$name.log" 2>&1); then
        echo "passed  $name: $(grep -c '^\[       OK \]' "$out/$name.log") tests in" \
            "$(($(date +%s) - start)) s"
    else
        echo "FAILED  $name (see $out/$name.log)"
        grep "^\[  FAILED  \]" "$out/$name.log" | head -20 || true
        failed=1
    fi
done

echo "== qarn3-analyze.exe against Linux's"
mkdir -p "$work/w/demo" "$work/w/generated"
"$linux/bench/make_waves" "$work/w/demo" --demo
"$linux/bench/make_waves" "$work/w/generated" 40 7
# And what it refuses: a missing file, files cut short, garbled or empty, a COMTRADE
# configuration that ends early, a range out of bounds.
mkdir -p "$work/w/bad"
head -c 3000 "$work/w/demo/QARN3Pulse.owf" >"$work/w/bad/cut.owf"
seq 1 40 | tr '\n' '\377' >"$work/w/bad/garbled.owf"
: >"$work/w/bad/empty.owf"
printf 'North,1,2013\r\n' >"$work/w/bad/early.cfg"
# Names beyond ASCII, on the command line and in a folder.
mkdir -p "$work/w/Prüfstand"
cp "$work/w/demo/QARN3Pulse.owf" "$work/w/Prüfstand/Тест 試験.owf"
cp "$work/w/demo/QARN3Long.owf" "$work/w/Prüfung.owf"
compared=0
for args in "demo" "generated" "--format json demo generated" "--format jsonl generated" \
    "--format csv demo generated" "--cycles demo" "--range 2 --max-off 0 generated" \
    "--mode long demo" "missing.owf" "bad" "--format json bad/cut.owf" "--range 9 demo" \
    "--format jsonl Prüfstand Prüfung.owf"; do
    linux_rc=0 win_rc=0
    (cd "$work/w" && "$linux/engine/qarn3-analyze" $args >"$work/linux.out" 2>"$work/linux.err") ||
        linux_rc=$?
    (cd "$work/w" && LC_ALL=C.UTF-8 wine "$folder/qarn3-analyze.exe" $args >"$work/win.out" \
        2>"$work/win.err") ||
        win_rc=$?
    if cmp -s "$work/linux.out" "$work/win.out" && cmp -s "$work/linux.err" "$work/win.err" &&
        [ "$linux_rc" -eq "$win_rc" ]; then
        compared=$((compared + 1))
    else
        echo "DIFFERS qarn3-analyze $args (exit status $linux_rc on Linux, $win_rc under Wine)"
        diff "$work/linux.out" "$work/win.out" | head -10 || true
        diff "$work/linux.err" "$work/win.err" | head -10 || true
        failed=1
    fi
done
echo "qarn3-analyze.exe printed what Linux's printed, byte for byte, in $compared runs"

echo "== the program under Wine: a demonstration test, then a live one over COM5"
demo_steps="wait-text Press RUN to start DEMO;menu &Test Record;wait-button Start recor&ding"
demo_steps+=";field &Site=North Plant;field &Breaker=Q1;field &In (A)=400;tab Session"
demo_steps+=";field &Operator=Ann;tab Test point;field &Pole=B;field &Kind=short-time"
demo_steps+=";field T&arget=3;click Band;field min s=0.1;field max s=0.5"
demo_steps+=";click Start recor&ding;wait-button E&nd session;click RUN"
demo_steps+=";wait-text Test Timeout;wait-gone storing…;snapshot ended;sleep 6000"
demo_steps+=";menu &Save Data;sleep 1500;click Analyze;snapshot viewer;click Save;click Exit"
demo_steps+=";click E&nd session;wait-button Start recor&ding;snapshot session-ended;menu E&xit"
live_steps="wait-text Armed - Initiate test current;snapshot armed;wait-text Test Timeout"
live_steps+=";snapshot ended;menu &Save Data;sleep 1500;click Analyze;snapshot viewer;click Save"
live_steps+=";click Exit;menu E&xit"
setup() { # folder source: range 4, 5 s limits, the shunt of 1000 A at 100 mV
    printf '4\r\n5.00\r\n5.00\r\nQARN3.odf\r\n%s\r\n4\r\n0\r\n1000\r\n100.00\r\n' "$2" \
        >"$1/QARN3.osf"
}
run_program() { # name steps data texts program... (the demonstration waveform named)
    local name=$1 steps=$2 data=$3 texts=$4
    shift 4
    mkdir -p "$data" "$texts" "$work/runtime-$name"
    chmod 700 "$work/runtime-$name"
    (cd "$data" && env LC_ALL=C.UTF-8 LANG=C.UTF-8 TZ=UTC XDG_RUNTIME_DIR="$work/runtime-$name" \
        QARN3_DATA_DIR="$data" QARN3_UNATTENDED=OK QARN3_DRIVE="$steps" QARN3_DRIVE_OUT="$texts" \
        DISPLAY="$display" timeout 300 "$@" >"$out/$name.log" 2>&1)
}
# Dates are each system's: Qt writes them in the regional settings' short form on Windows
# ("12/10/2026"), in the locale's on Linux ("10 Dec 2026"); the rest must match.
masked() { sed -E 's/^(window: QARN-3 Rev: |label: Calibration Date ).*/\1(date)/' "$1"; }
compare_texts() { # what linux-texts windows-texts snapshot...
    local what=$1 left=$2 right=$3
    shift 3
    for snap in "$@"; do
        if [ ! -f "$right/$snap.txt" ] || ! cmp -s <(masked "$left/$snap.txt") \
            <(masked "$right/$snap.txt"); then
            echo "DIFFERS $what: the window's texts at $snap"
            diff <(masked "$left/$snap.txt") <(masked "$right/$snap.txt") | head -20 || true
            failed=1
        fi
    done
}
drive_linux=(env QT_QPA_PLATFORM=offscreen LD_PRELOAD="$linux/bench/libqarn3_drive.so"
    "$linux/app/qarn3")
# Wine's own glyph drawing leaves the line edits' texts out; Qt's font engine draws them.
drive_windows=(wine "$build/tests/qarn3-driven.exe" -platform windows:fontengine=freetype)

# Demonstration mode, both at once; the screenshot once the test has ended (the script
# waits six seconds there).
run_program linux-demo "$demo_steps" "$work/linux-demo" "$work/linux-demo-texts" \
    "${drive_linux[@]}" QARN3Pulse.owf &
linux_run=$!
run_program windows-demo "$demo_steps" "$work/win-demo" "$out/windows-demo-texts" \
    "${drive_windows[@]}" QARN3Pulse.owf &
win_run=$!
for _ in $(seq 1 240); do
    [ -f "$out/windows-demo-texts/ended.txt" ] && break
    sleep 1
done
sleep 2
xwd -root -display "$display" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out/windows-demo.png"
wait "$linux_run" || { echo "FAILED the Linux program's demonstration run"; failed=1; }
wait "$win_run" ||
    { echo "FAILED the demonstration run under Wine (see $out/windows-demo.log)"; failed=1; }
# The session's end shows how long the idle feed has run since: a matter of the pace.
compare_texts demonstration "$work/linux-demo-texts" "$out/windows-demo-texts" ended viewer
[ -f "$out/windows-demo-texts/session-ended.txt" ] ||
    { echo "FAILED the session did not end under Wine"; failed=1; }
grep -q "Test Timeout" "$out/windows-demo-texts/ended.txt" 2>/dev/null ||
    { echo "FAILED no Test Timeout under Wine"; failed=1; }
for f in QARN3Pulse.owf QARN3.osf QARN3.db; do
    [ -f "$work/win-demo/$f" ] || { echo "FAILED the program under Wine wrote no $f"; failed=1; }
done
ls -l "$work/win-demo" >"$out/windows-demo-data-folder.txt"

# Live over the COM link: the simulator on a pseudo-terminal, which Wine shows as COM5, and
# the device store's entry of the analyzer's USB serial port, which the discovery reads.
"$linux/link/qarn3-analyzer-sim" >"$work/sim.out" 2>"$out/sim.err" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
ln -sfn "$(head -1 "$work/sim.out")" "$WINEPREFIX/dosdevices/com5"
key='HKLM\SYSTEM\CurrentControlSet\Enum\USB\Vid_04d8&Pid_fdcf\RQM20090414'
wine reg add "$key" /v FriendlyName /t REG_SZ /d "QARN-3 Analyzer (COM5)" /f >/dev/null
wine reg add "$key\\Device Parameters" /v PortName /t REG_SZ /d COM5 /f >/dev/null
mkdir -p "$work/win-com"
setup "$work/win-com" COM
run_program windows-com "$live_steps" "$work/win-com" "$out/windows-com-texts" \
    "${drive_windows[@]}" ||
    { echo "FAILED the live COM run under Wine (see $out/windows-com.log)"; failed=1; }
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
# The same through the Linux program, on a fresh simulator.
"$linux/link/qarn3-analyzer-sim" >"$work/sim2.out" 2>/dev/null &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim2.out" ] && break; sleep 0.1; done
mkdir -p "$work/linux-com"
setup "$work/linux-com" "$(head -1 "$work/sim2.out")"
run_program linux-com "$live_steps" "$work/linux-com" "$work/linux-com-texts" \
    "${drive_linux[@]}" || { echo "FAILED the Linux program's live COM run"; failed=1; }
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
# Live, the readings and the captured waveform must match; the port's name and how far the
# stream's clock had gone when the test ended are each run's own.
for d in "$work/linux-com-texts" "$out/windows-com-texts"; do
    grep -E '^(field|list):|Test Timeout' "$d/ended.txt" >"$d/readings.txt" 2>/dev/null || true
done
compare_texts "live COM" "$work/linux-com-texts" "$out/windows-com-texts" readings viewer
grep -q "COM5 on " "$out/windows-com-texts/ended.txt" 2>/dev/null ||
    { echo "FAILED the live test under Wine did not run on COM5"; failed=1; }
echo "screenshot: $out/windows-demo.png"
[ "$failed" -eq 0 ] && echo "Windows build: every test passed under Wine"
exit "$failed"
