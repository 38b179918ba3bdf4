#!/usr/bin/env bash
# Installs what is missing, builds the release build with warnings as errors, runs every test
# (also under a German and an Arabic locale), builds the Debian package, checks that every
# program in it carries the hardening flags (hardening-check) and the package with lintian,
# then builds and runs every test once more under AddressSanitizer and
# UndefinedBehaviorSanitizer (a debug build), and last the Windows build under Wine
# (scripts/test-windows.sh; Qt for Windows is built the first time only, into the cache).
# Compilations are kept by ccache in the same cache, so that a run after the first compiles
# only what changed. It ends by saying what each stage took and what came from the cache.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc)
export HOME=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/qarn3
qt_cache=$cache/windows-qt-$(sed -n 's/^qt_version=//p' scripts/build-windows.sh)
mkdir -p "$cache"
chmod 700 "$cache"
export CCACHE_DIR=${CCACHE_DIR:-$cache/ccache} CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-4G}
# Paths below the checkout are hashed as relative ones, so that a clone made elsewhere finds
# the compilations of the one before.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
ccache --zero-stats >/dev/null
launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
stages=()
stage_start=$SECONDS
stage_name=
stage() { # the next stage's name; the one before it is timed
    [ -n "$stage_name" ] && stages+=("$(printf '%5d s  %s' $((SECONDS - stage_start)) "$stage_name")")
    stage_name=$1
    stage_start=$SECONDS
    [ -n "$1" ] && echo "== $1"
    return 0
}
qt="Qt for Windows: not reached"
# What the run did, said whether it passed or not.
summary() {
    local status=$?
    [ -n "$stage_name" ] && [ "$status" -ne 0 ] && stage_name="$stage_name (FAILED)"
    stage ""
    echo "== what this run did"
    printf '%s\n' "${stages[@]}"
    echo "$qt"
    echo "ccache ($CCACHE_DIR): $(ccache --print-stats 2>/dev/null | awk -F'\t' '
        $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" {hit += $2}
        $1 == "cache_miss" {miss = $2}
        END {printf "%d compilations from the cache, %d compiled", hit, miss}')"
    return "$status"
}
trap summary EXIT
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

stage "release build (warnings are errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DQARN3_WERROR=ON "${launcher[@]}"
cmake --build build -j "$jobs"
stage "tests"
ctest --test-dir build --output-on-failure -j "$jobs"
# The shared database's tests skip, saying why, where no PostgreSQL server could be started.
grep -h -m 1 "no PostgreSQL server" build/Testing/Temporary/LastTest.log || true
# Nothing the program writes or shows may follow the C library's number locale, which Qt
# sets from the environment: the suite again with a decimal comma and an Arabic point.
for l in de_DE.UTF-8 ar_EG.UTF-8; do
    stage "tests under LC_ALL=$l"
    LC_ALL=$l ctest --test-dir build --output-on-failure -j "$jobs"
done

stage "Debian package, its hardening and lintian"
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

stage "build with AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQARN3_WERROR=ON \
    -DQARN3_SANITIZE=ON -DQARN3_BENCHMARKS=OFF "${launcher[@]}"
cmake --build build-asan -j "$jobs"
stage "tests under sanitizers"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

# The Windows build, its tests under Wine against the release build above.
if [ -f "$qt_cache/install/.complete" ]; then
    qt="Qt for Windows: reused from the cache ($qt_cache, built $(date -r \
        "$qt_cache/install/.complete" '+%Y-%m-%d %H:%M'))"
else
    qt="Qt for Windows: built in this run into $qt_cache, reused by later runs"
fi
stage "the Windows build and its tests under Wine"
QARN3_LINUX_BUILD=build bash scripts/test-windows.sh build-windows/test-out
