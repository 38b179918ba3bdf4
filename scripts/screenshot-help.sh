#!/usr/bin/env bash
# Screenshot of the help window under Xvfb, open at a page of the operator's guide.
#   scripts/screenshot-help.sh [OUT.png] [PAGE]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-screenshot-help.png}
page=${2:-first-test.html}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target qarn3-helpshot
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    build/tests/qarn3-helpshot build/app/QARN3.qch "$out" "$page"
echo "screenshot: $out"
