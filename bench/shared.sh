#!/usr/bin/env bash
# A company's shared records database at scale: starts a throwaway PostgreSQL server, makes the
# schema as qarn3-records does, fills it with one million shots (shared_data.sql) and runs
# bench_shared (the browse query, a site received, 1,000 new shots synced), then a sync of
# 1,000 new shots through the command itself. Usage: bench/shared.sh [BUILD-FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d "${TMPDIR:-/tmp}/qarn3-bench-shared-XXXXXX")
chmod 0755 "$work" # the server's user must reach its folder inside
trap 'bash scripts/pg-server.sh stop "$work/server"; rm -rf "$work"' EXIT
bash scripts/pg-server.sh start "$work/server"
set -a
. "$work/server/env"
set +a
createdb qarn3_bench
uri="postgresql://$PGUSER@/qarn3_bench?host=$PGHOST&port=$PGPORT"
"$build/recordstool/qarn3-records" --db "$uri" schema
echo "== one million shots"
start=$(date +%s.%N)
psql --quiet -v ON_ERROR_STOP=1 --dbname=qarn3_bench --file=bench/shared_data.sql >/dev/null
echo "made in $(echo "$(date +%s.%N) - $start" | bc) s, $(psql -Atc \
    "SELECT pg_size_pretty(pg_database_size('qarn3_bench'))" qarn3_bench)"
QARN3_BENCH_PG=$uri "$build/bench/bench_shared"

echo "== qarn3-records sync of 1,000 new shots (make_waves files imported on a laptop)"
mkdir "$work/waves"
"$build/bench/make_waves" "$work/waves" 375 7 >/dev/null
laptop="$work/laptop.db"
"$build/recordstool/qarn3-records" --db "$laptop" sync --to "$uri" --site "Site 42" >/dev/null
"$build/recordstool/qarn3-records" --db "$laptop" import --site "Site 42" --breaker Q3 \
    --rating 400 --pole A --kind long-time --multiple 3 --band 0.1,0.5 "$work/waves" >/dev/null
"$build/recordstool/qarn3-records" --db "$laptop" export | tail -n +2 | wc -l
time "$build/recordstool/qarn3-records" --db "$laptop" sync --to "$uri"
