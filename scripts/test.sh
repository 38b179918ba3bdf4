#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors, runs every test (also under a
# German and an Arabic locale), builds the Debian package and checks it with lintian, then
# builds and runs every test once more under AddressSanitizer and UndefinedBehaviorSanitizer.
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
# The shared database's tests skip, saying why, where no PostgreSQL server could be started.
grep -h -m 1 "no PostgreSQL server" build/Testing/Temporary/LastTest.log || true
# Nothing the program writes or shows may follow the C library's number locale, which Qt
# sets from the environment: the suite again with a decimal comma and an Arabic point.
for l in de_DE.UTF-8 ar_EG.UTF-8; do
    echo "== tests under LC_ALL=$l"
    LC_ALL=$l ctest --test-dir build --output-on-failure -j "$jobs"
done

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
