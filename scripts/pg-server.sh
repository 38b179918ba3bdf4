#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests of the shared records database.
#
#   scripts/pg-server.sh start DIR   make DIR (which must not exist), initdb into it and start a
#                                    server that listens only on a Unix socket in DIR; writes
#                                    DIR/env (PGHOST, PGPORT, PGUSER, PGDATABASE) for the tests to source
#   scripts/pg-server.sh stop DIR    stop that server and remove DIR
#
# The server runs as the invoking user, or as "postgres" when invoked as root (the server
# refuses to run as root). The role QARN3_PG_SUPERUSER (default qarn3_admin) is the superuser
# and is trusted on the socket; every other role logs in with its password. Exit status 77
# with the reason on standard error when no server can be had here, so callers can skip.
set -euo pipefail

cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
superuser=${QARN3_PG_SUPERUSER:-qarn3_admin}
port=5432

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    echo "PostgreSQL is not installed (no initdb under /usr/lib/postgresql)" >&2
    exit 77
fi

as_server() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$cmd" in
start)
    if [ "$(id -u)" -eq 0 ] && ! id postgres >/dev/null 2>&1; then
        echo "no postgres user to run the server as" >&2
        exit 77
    fi
    mkdir -m 0700 "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    if ! as_server "$bindir/initdb" -D "$dir/data" -U "$superuser" -A trust -E UTF8 \
        --locale=C.UTF-8 >"$dir/initdb.log" 2>&1; then
        echo "initdb failed:" >&2
        cat "$dir/initdb.log" >&2
        exit 77
    fi
    cat >"$dir/data/pg_hba.conf" <<EOF
local all $superuser trust
local all all scram-sha-256
EOF
    cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
port = $port
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 40
EOF
    if ! as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 start \
        >/dev/null; then
        echo "the server did not start:" >&2
        cat "$dir/server.log" >&2
        exit 77
    fi
    printf 'PGHOST=%s\nPGPORT=%s\nPGUSER=%s\nPGDATABASE=postgres\n' "$dir" "$port" "$superuser" >"$dir/env"
    chmod 0644 "$dir/env"
    ;;
stop)
    [ -d "$dir" ] || exit 0
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_server "$bindir/pg_ctl" -D "$dir/data" -m immediate -w -t 30 stop >/dev/null || true
    fi
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
