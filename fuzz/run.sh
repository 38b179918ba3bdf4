#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one for a given time.
#   fuzz/run.sh TARGET [SECONDS]     e.g. fuzz/run.sh rings 600
# Targets: rings (receive rings and sample decoder), waveform (waveform file reader),
# comtrade (COMTRADE recording reader),
# calimage (calibration image parser), setup (setup file reader), site (site file reader),
# curves (trip curves CSV reader), tripunits (trip-unit profiles CSV reader).
# Needs clang and libclang-rt-14-dev (installed when missing). Findings land in
# fuzz/out/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target: rings, waveform, comtrade, calimage, setup, site, curves or tripunits}
seconds=${2:-60}
bash scripts/install-deps.sh
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y "$p"; }
done
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQARN3_FUZZ=ON -DQARN3_SANITIZE=ON -DQARN3_TESTS=OFF -DQARN3_BENCHMARKS=OFF \
    -DQARN3_WERROR=OFF >/dev/null
cmake --build build-fuzz --target "fuzz_$target"
out=fuzz/out/$target
mkdir -p "$out/corpus"
export QT_QPA_PLATFORM=offscreen
build-fuzz/fuzz/fuzz_$target -max_total_time="$seconds" -max_len=130000 -rss_limit_mb=4096 \
    -artifact_prefix="$out/" "$out/corpus"
