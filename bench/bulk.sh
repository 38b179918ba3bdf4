#!/bin/bash
# Times qarn3-analyze over COUNT demonstration-size waveform files against reading the same
# files with cat, warm cache, and prints both and their ratio. The target: the analysis costs
# at most twice the reading.
#   bench/bulk.sh BUILD_DIR [COUNT] [RUNS]
# BUILD_DIR holds bench/make_waves and engine/qarn3-analyze (a release build).
set -euo pipefail
build=${1:?usage: bench/bulk.sh BUILD_DIR [COUNT] [RUNS]}
count=${2:-1000}
runs=${3:-3}
work=$(mktemp -d /tmp/qarn3-bulk-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$build/bench/make_waves" "$work" "$count" 1
files=("$work"/*.owf)
echo "files: ${#files[@]} ($(du -sh "$work" | cut -f1)), cores: $(nproc)"

# Seconds of the fastest of RUNS runs of a command, its standard output to $sink.
sink=/dev/null
best() {
    local fastest=""
    for _ in $(seq "$runs"); do
        local start end took
        start=$(date +%s.%N)
        "$@" > "$sink"
        end=$(date +%s.%N)
        took=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
        fastest=$(awk -v t="$took" -v f="$fastest" 'BEGIN { print (f == "" || t < f) ? t : f }')
    done
    awk -v f="$fastest" 'BEGIN { printf "%.3f", f }'
}

cat "${files[@]}" > /dev/null # warm the cache
read_s=$(best cat "${files[@]}")
# On some machines cat into /dev/null or a pipe is far slower than into a file: both are
# timed and the analysis is set against the faster.
sink="$work/copy"
read_file_s=$(best cat "${files[@]}")
rm -f "$work/copy"
sink=/dev/null
fastest_read=$(awk -v a="$read_s" -v b="$read_file_s" 'BEGIN { print (a < b) ? a : b }')
csv_s=$(best "$build/engine/qarn3-analyze" --format csv "$work")
text_s=$(best "$build/engine/qarn3-analyze" "$work")
one_s=$(best "$build/engine/qarn3-analyze" -j 1 --format csv "$work")
echo "cat > /dev/null:            $read_s s"
echo "cat > file:                 $read_file_s s"
echo "qarn3-analyze --format csv: $csv_s s ($(awk -v a="$csv_s" -v b="$fastest_read" 'BEGIN { printf "%.1f", a / b }') x the faster cat)"
echo "qarn3-analyze (text):       $text_s s"
echo "qarn3-analyze -j 1 csv:     $one_s s"
