#!/bin/bash
# Checks that two builds of qarn3-analyze give the same readings for every pulse of COUNT
# generated waveform files under a few sets of options: run before and after a change to the
# engine's or the reader's speed, which must not change a single reading.
#   bench/compare-readings.sh BEFORE_ANALYZE AFTER_ANALYZE MAKE_WAVES [COUNT]
# BEFORE_ANALYZE may be a build that takes one file at a time; each file is analysed alone by
# both builds. The text forms must be equal byte for byte; the JSON forms must hold the same
# strings, flags and sample counts, and numbers equal to six significant digits (the most an
# older build writes). AFTER must also give, for the whole folder at once (on one worker and on
# all cores), exactly what it gives for each file alone. Exit status 0 when everything agrees.
set -euo pipefail
before=${1:?usage: bench/compare-readings.sh BEFORE_ANALYZE AFTER_ANALYZE MAKE_WAVES [COUNT]}
after=${2:?usage}
make_waves=${3:?usage}
count=${4:-300}
work=$(mktemp -d /tmp/qarn3-compare-XXXXXX)
trap 'rm -rf "$work"' EXIT

"$make_waves" "$work" "$count" 7
option_sets=("" "--range 3 --max-on 0.5" "--max-on 0 --max-off 0" "--mode long --range 6")
pulses=0
failed=0
for options in "${option_sets[@]}"; do
    : > "$work/after-one.json"
    for f in "$work"/*.owf; do
        # shellcheck disable=SC2086
        b_text=$("$before" $options "$f") || true
        # shellcheck disable=SC2086
        a_text=$("$after" $options "$f") || true
        if [ "$b_text" != "$a_text" ]; then
            echo "DIFFERENT text: $f ($options)"
            diff <(echo "$b_text") <(echo "$a_text") || true
            failed=1
        fi
        # shellcheck disable=SC2086
        "$before" $options --json "$f" >> "$work/before.json" || true
        # shellcheck disable=SC2086
        "$after" $options --json "$f" | tee -a "$work/after.json" >> "$work/after-one.json" || true
        pulses=$((pulses + $(grep -c '^Pulse ' <<< "$a_text" || true)))
    done
    # The files of a folder one after another on one worker (whose buffers each file reuses)
    # and on all cores give what each file alone gives.
    for jobs in "-j 1" ""; do
        # shellcheck disable=SC2086
        "$after" $options $jobs --format jsonl "$work" > "$work/after-many.json" || true
        if ! cmp -s "$work/after-one.json" "$work/after-many.json"; then
            echo "DIFFERENT when the folder is analysed at once ($options $jobs)"
            diff "$work/after-one.json" "$work/after-many.json" | head -20 || true
            failed=1
        fi
    done
done
python3 - "$work/before.json" "$work/after.json" <<'PY' || failed=1
import json, sys
def same(a, b, where):
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k], where + "." + k) for k in a)
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y, where) for x, y in zip(a, b))
    if isinstance(a, float) or isinstance(b, float):
        ok = float("%.6g" % b) == float("%.6g" % a)
    else:
        ok = a == b
    if not ok:
        print("DIFFERENT", where, a, b)
    return ok
before = open(sys.argv[1]).read().splitlines()
after = open(sys.argv[2]).read().splitlines()
if len(before) != len(after):
    sys.exit("DIFFERENT number of results: %d before, %d after" % (len(before), len(after)))
bad = sum(not same(json.loads(b), json.loads(a), json.loads(a)["file"])
          for b, a in zip(before, after))
sys.exit(1 if bad else 0)
PY
runs=$((count * ${#option_sets[@]}))
if [ "$failed" = 0 ]; then
    echo "same readings: $runs analyses of $count files, $pulses pulses"
else
    echo "readings differ (see above)"
    exit 1
fi
