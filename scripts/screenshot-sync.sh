#!/usr/bin/env bash
# Screenshots of Records/Database... and Records/Sync under Xvfb, against a throwaway
# PostgreSQL server: the password box, the database dialog after its test, the progress
# dialog and a sync's summary, as ui-sync-*.png in OUTDIR.
#   scripts/screenshot-sync.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath "${1:-.}")
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target qarn3-syncshot
work=$(mktemp -d)
trap 'bash scripts/pg-server.sh stop "$work/pg" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
bash scripts/pg-server.sh start "$work/pg"
# shellcheck disable=SC1091
. "$work/pg/env"
mkdir -m 0700 "$work/data"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x800x24" \
    build/tests/qarn3-syncshot "$out" "$work/data" \
    "postgresql://$PGUSER@/postgres?host=$PGHOST&port=$PGPORT" store/roles.sql
echo "screenshots: $out/ui-sync-*.png"
