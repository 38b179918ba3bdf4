#!/usr/bin/env bash
# The throwaway PostgreSQL server of the shared-database tests, as a CTest fixture.
#
#   tests/pg-fixture.sh start DIR   a fresh server in DIR (one a killed run left is removed
#                                   first); always succeeds: DIR/env for the tests, or DIR/skip
#                                   with the reason no server could be had, which the tests
#                                   print when they skip (a failed set-up would fail them all)
#   tests/pg-fixture.sh stop DIR    stops it, and any server a test started in a folder of
#                                   DIR and could not stop (killed, timed out), and removes DIR
set -u
cmd=${1:-}
dir=${2:-}
server="$(dirname "$0")/../scripts/pg-server.sh"

# Stops the servers of DIR's folders, then DIR's own, and removes DIR.
stop_all() {
    local sub
    for sub in "$1"/*/; do
        [ -f "$sub/env" ] || [ -f "$sub/server-dir" ] || [ -d "$sub/data" ] || continue
        bash "$server" stop "${sub%/}" || true
    done
    bash "$server" stop "$1"
}

case "$cmd" in
start)
    [ -d "$dir" ] && { stop_all "$dir" >/dev/null 2>&1 || true; }
    rm -rf "$dir"
    if ! reason=$(bash "$server" start "$dir" 2>&1); then
        bash "$server" stop "$dir" >/dev/null 2>&1 || true
        mkdir -p "$dir"
        printf '%s\n' "$reason" >"$dir/skip"
        echo "the PostgreSQL tests will be skipped: $reason"
    fi
    exit 0
    ;;
stop)
    [ -d "$dir" ] || exit 0
    stop_all "$dir"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
