#!/usr/bin/env bash
# Builds a libFuzzer target with clang and runs it for a given time.
#   fuzz/run.sh TARGET [SECONDS]     e.g. fuzz/run.sh rings 600
# Targets: the fuzz_*.cpp files beside this script. Needs the Debian packages clang and
# libclang-rt-14-dev (installed when missing). Findings land in fuzz/out/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target name, for example rings}
seconds=${2:-60}
for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y "$p"; }
done
case "$target" in
    rings) sources=(fuzz/fuzz_rings.cpp link/protocol.cpp) ;;
    *)
        src="fuzz/fuzz_${target}.cpp"
        [ -f "$src" ] || { echo "no fuzz target $target" >&2; exit 2; }
        extra_var="FUZZ_SOURCES_${target}"
        # shellcheck disable=SC2206
        sources=("$src" ${!extra_var:-})
        ;;
esac
out=fuzz/out/$target
mkdir -p "$out/corpus"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -I. "${sources[@]}" -o "$out/fuzzer"
"$out/fuzzer" -max_total_time="$seconds" -max_len=4096 -artifact_prefix="$out/" "$out/corpus"
