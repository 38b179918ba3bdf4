#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs every test, builds the Debian
# package and checks it with lintian, then builds and runs every test once more under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== build (warnings are errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQARN3_WERROR=ON
cmake --build build -j "$jobs"
echo "== tests"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Debian package"
(cd build && cpack -G DEB)
dpkg-deb --info build/qarn3_*.deb
dpkg-deb --contents build/qarn3_*.deb
echo "== lintian"
lintian --fail-on error build/qarn3_*.deb

echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQARN3_WERROR=ON \
    -DQARN3_SANITIZE=ON -DQARN3_BENCHMARKS=OFF
cmake --build build-asan -j "$jobs"
echo "== tests under sanitizers"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
