#!/usr/bin/env bash
# Screenshots of the records windows under Xvfb: the test record panel docked beside the main
# window's place after a demonstration test on three poles, and the records window with that
# session's time-current plot; then the records window on a session judged by the sample trip
# unit's settings, and that breaker's latest report beside it (SETTINGS.pdf); last the records
# window on a breaker tested over four years, on its history tab.
#   scripts/screenshot-records.sh [PANEL.png] [BROWSER.png] [SETTINGS.png] [HISTORY.png]
set -euo pipefail
cd "$(dirname "$0")/.."
panel=${1:-screenshot-panel.png}
browser=${2:-screenshot-records.png}
settings=${3:-screenshot-settings.png}
history=${4:-screenshot-history.png}
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target qarn3-records-shot
data=$(mktemp -d)
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x900x24" \
    build/tests/qarn3-records-shot "$panel" "$browser" "$data" records/curves/sample.csv \
    records/tripunits/sample.csv "$settings" "$history"
rm -rf "$data"
echo "screenshots: $panel $browser $settings $history (report ${settings%.png}.pdf)"
