#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ -x build/app/qarn3 ]; then
    exec build/app/qarn3 "$@"
fi
echo "The program's main window is not built yet; only the tests can be run:"
echo "    bash scripts/test.sh"
