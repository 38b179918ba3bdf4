#!/usr/bin/env bash
# Mutation check: applies single-line slips to the sources one at a time, rebuilds only the
# test targets each slip names, runs them and counts the slips the tests catch.
#
#   scripts/mutate.sh LIST [BUILD_DIR]
#
# LIST holds one slip a line (blank lines and lines starting with '#' are skipped):
#
#   FILE LINE TARGETS SED-SUBSTITUTION
#
#   engine/engine.cpp 412 test_engine,test_analysis s/mag > Threshold/mag >= Threshold/
#
# FILE is relative to the repository, LINE the line the substitution is applied to, TARGETS
# the comma-separated test executables that should catch it, and the rest of the line the sed
# substitution. When the code has moved and the substitution no longer changes LINE, the one
# line it does change is taken instead (and reported); a slip that changes no line, or more
# than one, is reported as stale. BUILD_DIR (default build) must be configured already.
#
# Each slip is caught when a target fails to pass (a failing or hanging test), survives when
# all pass, and is not viable when it does not compile. Sources are restored after each slip
# and on interruption. Needs a clean tree for the files it touches.
set -uo pipefail
cd "$(dirname "$0")/.."

list=${1:?usage: scripts/mutate.sh LIST [BUILD_DIR]}
build=${2:-build}
timeout_s=${MUTATE_TIMEOUT:-300}
export QT_QPA_PLATFORM=offscreen
[ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ] || {
    echo "mutate: $build is not a configured build folder" >&2
    exit 2
}

backup=$(mktemp -d)
current=""
# The restored file gets a new time stamp (no cp -p), so that the next build recompiles what
# was built from the slip.
restore() {
    if [ -n "$current" ]; then
        cp "$backup/original" "$current"
        current=""
    fi
}
trap 'restore; rm -rf "$backup"; exit 130' INT TERM
trap 'restore; rm -rf "$backup"' EXIT

caught=0 survived=0 notbuilt=0 stale=0 n=0
survivors=()
all_targets=()

while IFS= read -r entry || [ -n "$entry" ]; do
    case "$entry" in '' | '#'*) continue ;; esac
    read -r file line targets expr <<<"$entry"
    n=$((n + 1))
    label="#$n $file:$line $expr"
    if [ ! -f "$file" ]; then
        echo "STALE     $label (no such file)"
        stale=$((stale + 1))
        continue
    fi
    cp -p "$file" "$backup/original"
    current=$file
    sed -i "${line}${expr}" "$file"
    if cmp -s "$file" "$backup/original"; then
        # The code moved: look for the one line the substitution changes.
        sed "$expr" "$backup/original" >"$backup/anywhere"
        moved=$(diff "$backup/original" "$backup/anywhere" | grep -E '^[0-9]+c[0-9]+$' || true)
        if [ "$(printf '%s\n' "$moved" | grep -c .)" != 1 ]; then
            restore
            echo "STALE     $label (changes $(printf '%s\n' "$moved" | grep -c .) lines)"
            stale=$((stale + 1))
            continue
        fi
        line=${moved%%c*}
        cp "$backup/anywhere" "$file"
        label="$label (now line $line)"
    fi

    IFS=, read -r -a names <<<"$targets"
    all_targets+=("${names[@]}")
    if ! nice -n 10 cmake --build "$build" --target "${names[@]}" >"$backup/build.log" 2>&1; then
        echo "NOT-BUILT $label"
        notbuilt=$((notbuilt + 1))
        restore
        continue
    fi
    result=SURVIVED
    for t in "${names[@]}"; do
        exe=$(find "$build" -type f -name "$t" -perm -u+x | head -n 1)
        if [ -z "$exe" ] || ! timeout "$timeout_s" "$exe" --gtest_brief=1 >"$backup/test.log" 2>&1; then
            result=CAUGHT
            break
        fi
    done
    restore
    if [ "$result" = CAUGHT ]; then
        caught=$((caught + 1))
        echo "CAUGHT    $label"
    else
        survived=$((survived + 1))
        survivors+=("$label")
        echo "SURVIVED  $label"
    fi
done <"$list"

# Leave the build matching the restored sources.
if [ ${#all_targets[@]} -gt 0 ]; then
    mapfile -t unique < <(printf '%s\n' "${all_targets[@]}" | sort -u)
    nice -n 10 cmake --build "$build" --target "${unique[@]}" >/dev/null 2>&1
fi

tried=$((caught + survived))
echo
echo "slips: $n, built and run: $tried, caught: $caught, survived: $survived," \
    "not built: $notbuilt, stale: $stale"
for s in "${survivors[@]}"; do
    echo "  survivor: $s"
done
