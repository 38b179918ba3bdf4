#!/usr/bin/env bash
# Installs what is missing, builds the release build with warnings as errors, runs every test
# (also under a German and an Arabic locale), builds the Debian package, checks that every
# program in it carries the hardening flags (hardening-check) and the package with lintian,
# then builds and runs every test once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (a debug build).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

echo "== release build (warnings are errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQARN3_WERROR=ON
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
echo "== hardening of the packaged programs"
# hardening-check judges fortification by the checked functions (__*_chk) a program imports.
# A program whose fortifiable calls all have sizes proven safe when compiled, or unknown until
# run (libstdc++'s inline string code), imports none, and hardening-check then guesses "no".
# For such a program fortification is checked where it is decided instead: every file of the
# build was compiled with -D_FORTIFY_SOURCE=2. Any other "no" fails, and so does any hardening
# tag of lintian's but its own guess of the same kind (hardening-no-fortify-functions).
if grep '"command"' build/compile_commands.json | grep -vq -- '-D_FORTIFY_SOURCE=2'; then
    echo "a file was compiled without -D_FORTIFY_SOURCE=2" >&2
    exit 1
fi
unpacked=$(mktemp -d)
dpkg-deb -x build/qarn3_*.deb "$unpacked"
status=0
for program in "$unpacked"/usr/bin/*; do
    hardening-check "$program" || {
        hardening-check --nofortify "$program" >/dev/null &&
            echo " Fortify Source: every file was compiled with -D_FORTIFY_SOURCE=2"
    } || status=1
done
rm -rf "$unpacked"
[ "$status" -eq 0 ] || { echo "a packaged program lacks a hardening flag" >&2; exit 1; }
echo "== lintian"
lintian --fail-on error --display-info build/qarn3_*.deb | tee build/lintian.txt
if grep 'hardening-' build/lintian.txt | grep -vq 'hardening-no-fortify-functions'; then
    echo "lintian finds a hardening flag missing" >&2
    exit 1
fi

echo "== build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQARN3_WERROR=ON \
    -DQARN3_SANITIZE=ON -DQARN3_BENCHMARKS=OFF
cmake --build build-asan -j "$jobs"
echo "== tests under sanitizers"
ctest --test-dir build-asan --output-on-failure -j "$jobs"
