#!/bin/bash
# Keeps everything qarn3-analyze gives for the demonstration waveforms and COUNT generated
# ones (make_waves, seed 7) under several sets of options and in every output form, in OUT,
# so that two builds can be compared with diff -r (byte for byte):
#   bench/record-analysis.sh QARN3_ANALYZE MAKE_WAVES OUT [COUNT]
# Names in the output are relative to the work folder, so that two runs agree. The exit
# status and standard error of each run are kept beside its output, as are --help and the
# answers to a few wrong command lines.
set -euo pipefail
analyze=$(realpath "${1:?usage: bench/record-analysis.sh QARN3_ANALYZE MAKE_WAVES OUT [COUNT]}")
make_waves=$(realpath "${2:?usage}")
out=${3:?usage}
count=${4:-300}
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
work=$(mktemp -d /tmp/qarn3-analysis-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir waves demo
"$make_waves" waves "$count" 7 > /dev/null
"$analyze" --make-demo demo > /dev/null

# One run: NAME, then the arguments. Output, errors and status go to OUT/NAME.*.
run() {
    local name=$1
    shift
    local status=0
    "$analyze" "$@" > "$out/$name.out" 2> "$out/$name.err" || status=$?
    echo "$status" > "$out/$name.status"
}

option_sets=("" "--range 3 --max-on 0.5" "--max-on 0 --max-off 0" "--mode long --range 6"
    "--cycles" "--cycles --mains 50")
i=0
for options in "${option_sets[@]}"; do
    i=$((i + 1))
    for format in text jsonl json csv; do
        # shellcheck disable=SC2086
        run "demo-$i-$format" $options --format "$format" demo
        # shellcheck disable=SC2086
        run "waves-$i-$format" $options --format "$format" -j 2 waves
    done
    # shellcheck disable=SC2086
    run "demo-$i-json1" $options --json demo/QARN3Pulse.owf
done
run export-pulse --export-csv demo/QARN3Pulse.owf
run export-long --export-csv demo/QARN3Long.owf
run help --help
run no-file
run unknown-option --frobnicate demo
run bad-number --range x demo
run bad-range --range 9 demo
run bad-format --format xml demo
run bad-mains --cycles --mains 55 demo
run missing-value --range
run missing-file nothere.owf
run export-with-option --export-csv demo/QARN3Pulse.owf --range 3
run export-two --export-csv demo/QARN3Pulse.owf demo/QARN3Long.owf
run output-file -o "$work/o.csv" --format csv demo
cp "$work/o.csv" "$out/output-file.csv"
echo "analysis: $(ls "$out" | wc -l) files in $out"
