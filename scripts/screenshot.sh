#!/usr/bin/env bash
# Screenshot of the main window under Xvfb during a demonstration test.
#   scripts/screenshot.sh [OUT.png] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-screenshot-main.png}
seconds=${2:-3.6}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target qarn3-screenshot
data=$(mktemp -d)
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    build/tests/qarn3-screenshot "$out" "$seconds" "$data"
rm -rf "$data"
echo "screenshot: $out"
