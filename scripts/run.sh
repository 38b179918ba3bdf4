#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it in demonstration mode on the
# built-in pulse waveform. Without a display it runs the headless analysis tool on the same
# waveform instead. Extra arguments go to the program (for example another waveform file).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)" --target qarn3 qarn3-analyze
data=${QARN3_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/QARN3}
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    if [ $# -eq 0 ]; then set -- QARN3Pulse.owf; fi
    exec build/app/qarn3 "$@"
fi
echo "No display: running the headless analysis of the demonstration waveform instead."
build/engine/qarn3-analyze --make-demo "$data"
exec build/engine/qarn3-analyze "$data/QARN3Pulse.owf"
