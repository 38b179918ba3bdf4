#!/usr/bin/env bash
# Screenshot under Xvfb during a demonstration test: of the main window, with "viewer" of
# the waveform viewer zoomed to the last captured pulse with both cursors on it, or with
# "cycles" of the viewer zoomed to it with its cycle table shown, or with "records" of the main
# window with the test record panel beside it, recording the test's pulses.
#   scripts/screenshot.sh [OUT.png] [SECONDS] [viewer|cycles|records]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-screenshot-main.png}
seconds=${2:-3.6}
mode=${3:-main}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target qarn3-screenshot
data=$(mktemp -d)
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    build/tests/qarn3-screenshot "$out" "$seconds" "$data" "$mode"
rm -rf "$data"
echo "screenshot: $out"
